#include "server/demo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/clock.h"
#include "platform/text1251.h"
#include "server/log.h"

namespace srv {

namespace {
// The city centre the objects lie around (longitude, latitude).
constexpr double kCentreLon = 49.1088;
constexpr double kCentreLat = 55.7963;

std::string T(const char* utf8) {
  return plat::Utf8ToCp1251(utf8);
}

template <class V>
const typename V::value_type& Pick(std::mt19937_64& rng, const V& v) {
  return v[std::uniform_int_distribution<size_t>(0, v.size() - 1)(rng)];
}
int Uniform(std::mt19937_64& rng, int lo, int hi) {
  return std::uniform_int_distribution<int>(lo, hi)(rng);
}
std::string Num(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.6f", v);
  return b;
}

const std::vector<std::string>& Streets() {
  static const std::vector<std::string> s = [] {
    std::vector<std::string> v;
    for (const char* x :
         {"ул. Баумана",       "ул. Пушкина",     "ул. Кремлёвская", "ул. Островского",
          "ул. Чернышевского", "ул. Декабристов", "пр. Победы",      "ул. Гагарина",
          "ул. Карла Маркса",  "ул. Лесная",      "ул. Садовая",     "ул. Центральная",
          "ул. Школьная",      "ул. Набережная",  "пр. Ямашева",     "ул. Сибирский тракт",
          "ул. Достоевского",  "ул. Тукая",       "ул. Горького",    "ул. Мира"})
      v.push_back(T(x));
    return v;
  }();
  return s;
}

const std::vector<std::string>& Districts() {
  static const std::vector<std::string> s = [] {
    std::vector<std::string> v;
    for (const char* x : {"Вахитовский", "Приволжский", "Советский", "Ново-Савиновский",
                          "Московский", "Кировский", "Авиастроительный"})
      v.push_back(T(x));
    return v;
  }();
  return s;
}

std::string ObjectName(std::mt19937_64& rng, int i) {
  static const std::vector<std::string> kinds = [] {
    std::vector<std::string> v;
    for (const char* x : {"Магазин", "Аптека", "Кафе", "Офис", "Склад", "Салон", "Квартира",
                          "Гараж", "Школа", "Детский сад", "Банк", "Автосервис"})
      v.push_back(T(x));
    return v;
  }();
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    for (const char* x : {"Ромашка", "Берёзка", "Восход", "Радуга", "Север", "Уют", "Огонёк",
                          "Волна", "Заря", "Сокол", "Звезда", "Меридиан", "Вектор", "Гранит"})
      v.push_back(T(x));
    return v;
  }();
  const std::string& kind = Pick(rng, kinds);
  if (kind == kinds[6] || kind == kinds[7]) return kind + " " + std::to_string(i % 300 + 1);
  if (kind == kinds[8] || kind == kinds[9])
    return kind + " " + T("№") + std::to_string(i % 150 + 1);
  return kind + " " + T("«") + Pick(rng, names) + T("»");
}

const std::vector<std::string>& Kinds() {
  static const std::vector<std::string> s = [] {
    std::vector<std::string> v;
    for (const char* x : {"Заявка", "Монтаж", "Обслуживание", "Заявка", "Демонтаж", "Заявка"})
      v.push_back(T(x));
    return v;
  }();
  return s;
}
}  // namespace

const std::vector<std::string>& DemoTechnicians() {
  static const std::vector<std::string> s = [] {
    std::vector<std::string> v;
    for (const char* x : {"Иванов А.П.", "Петров С.В.", "Сидоров И.Н.", "Кузнецов Д.А.",
                          "Смирнов О.Г.", "Васильев М.Е.", "Попов Р.Р.", "Соколов Н.К."})
      v.push_back(T(x));
    return v;
  }();
  return s;
}

Bytes DemoPhoto(int seed, const std::string& caption) {
  return RenderPhoto(static_cast<uint32_t>(seed) * 2654435761u, caption);
}

bool CreateDemoData(ServerCore& core, uint64_t seed, int objects) {
  Store& st = core.store();
  if (st.HasUsers()) return false;
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> spread(0.0, 1.0);
  st.Begin();
  st.AddUser("demo", "demo");
  const double today = plat::Date();
  for (int i = 0; i < objects; ++i) {
    double r = std::abs(spread(rng)) * 0.035,
           a = std::uniform_real_distribution<double>(0, 6.283)(rng);
    Fields f = {
        {"name", ObjectName(rng, i)},
        {"addrcity", T("Казань")},
        {"addrnp", Pick(rng, Districts())},
        {"address", Pick(rng, Streets()) + T(", д. ") + std::to_string(Uniform(rng, 1, 180))},
        {"number", std::to_string(1000 + i)},
        {"karta_x", Num(kCentreLon + r * std::cos(a) * 1.8)},
        {"karta_y", Num(kCentreLat + r * std::sin(a))},
        {"phone", "+7 843 2" + std::to_string(Uniform(rng, 10, 99)) + "-" +
                      std::to_string(Uniform(rng, 10, 99)) + "-" +
                      std::to_string(Uniform(rng, 10, 99))},
        {"dogdate", Num(today - Uniform(rng, 30, 3000))}};
    st.Add("object", f);
  }
  const auto& techs = DemoTechnicians();
  static const char* kDescs[] = {"Фото щита",
                                 "Датчик на входе",
                                 "Повреждён шлейф",
                                 "Установлен извещатель",
                                 "Следы вскрытия двери",
                                 "Клавиатура",
                                 "Неисправна сирена",
                                 "Общий вид объекта"};
  int photo_no = 0;
  const int64_t day_start = static_cast<int64_t>(today - plat::EncodeDate(2000, 1, 1)) * 86400;
  for (int i = 0; i < 40; ++i) {
    int obj = Uniform(rng, 0, objects - 1);
    std::string files;
    int n = Uniform(rng, 1, 3);
    for (int k = 0; k < n; ++k) {
      std::string name = "m" + std::to_string(++photo_no) + ".jpg";
      core.PutPhoto(name, DemoPhoto(photo_no, std::to_string(1000 + obj)));
      files += (k ? "," : "") + std::string("photo\\") + name;
    }
    st.Add("mobphoto", {{"r_dt", std::to_string(day_start + Uniform(rng, 8 * 3600, 17 * 3600))},
                        {"number", std::to_string(1000 + obj)},
                        {"technik", Pick(rng, techs)},
                        {"desc", T(kDescs[Uniform(rng, 0, 7)])},
                        {"zam", Uniform(rng, 0, 4) == 0 ? "1" : "0"},
                        {"filename", files}});
  }
  for (int i = 0; i < 30; ++i) {
    int obj = Uniform(rng, 0, objects - 1);
    std::string name = "p" + std::to_string(i + 1) + ".jpg";
    core.PutPhoto(name, DemoPhoto(1000 + i, std::to_string(1000 + obj)));
    st.Add("photo", {{"numobj", std::to_string(obj + 1)},
                     {"file", name},
                     {"desc", T(kDescs[Uniform(rng, 0, 7)])},
                     {"dt", Num(today - Uniform(rng, 1, 200))}});
  }
  for (int i = 0; i < 20; ++i) {
    int obj = Uniform(rng, 0, objects - 1);
    const Row& o = st.Table("object")->row(obj);
    st.Add("zamech", {{"number", std::to_string(o[6].i)},
                      {"name", o[2].s},
                      {"address", o[5].s},
                      {"city", o[3].s},
                      {"addrnp", o[4].s},
                      {"tech", Pick(rng, techs)},
                      {"zam", T(kDescs[Uniform(rng, 0, 7)])},
                      {"photo", ""},
                      {"dt", Num(today - Uniform(rng, 1, 60))}});
  }
  st.Commit();
  Log("demo data created: " + std::to_string(objects) +
      " objects, 40 photo sendings, user demo/demo");
  return true;
}

DemoDay::DemoDay(ServerCore& core, uint64_t seed) : core_(core), rng_(seed ^ 0xDA1DA1u) {
  for (const std::string& n : DemoTechnicians()) {
    Tech t;
    t.name = n;
    techs_.push_back(t);
  }
}

HistoryEvent DemoDay::Event(uint16_t type, const Tech& t, int sec) const {
  HistoryEvent e;
  e.type = type;
  e.hour = sec / 3600;
  e.minute = sec / 60 % 60;
  e.second = sec % 60;
  e.object = t.object;
  e.technician = t.name;
  e.work_kind = t.kind;
  ServerTable* obj = core_.store().Table("object");
  if (obj && t.object >= 1000 && t.object - 1000 < obj->Count())
    e.object_name = obj->row(t.object - 1000)[2].s;
  return e;
}

void DemoDay::Start(Tech& t, int sec) {
  ServerTable* obj = core_.store().Table("object");
  int n = obj ? obj->Count() : 0;
  t.object = n ? 1000 + Uniform(rng_, 0, n - 1) : 0;
  int h = sec / 3600;
  t.kind = (h == 12 || h == 13) && Uniform(rng_, 0, 2) == 0 ? T("Обед") : Pick(rng_, Kinds());
  uint16_t type = Uniform(rng_, 0, 9) == 0 ? kEvInstrStart : kEvWorkStart;
  if (type == kEvInstrStart) t.kind.clear();
  t.at_work = true;
  Emit(Event(type, t, sec));
}

void DemoDay::End(Tech& t, int sec) {
  static const uint16_t ends[] = {kEvWorkEnd5, kEvWorkEnd6, kEvWorkEnd7};
  uint16_t type = t.kind.empty() ? static_cast<uint16_t>(kEvInstrEnd5) : ends[Uniform(rng_, 0, 2)];
  t.at_work = false;
  Emit(Event(type, t, sec));
}

void DemoDay::Emit(const HistoryEvent& e) {
  if (collect_)
    collect_->push_back(e);
  else
    core_.AppendHistory(e);
}

void DemoDay::FillDay(int now_seconds) {
  if (!core_.history().Zap().empty()) return;
  std::vector<HistoryEvent> day;
  collect_ = &day;
  int start = now_seconds > 9 * 3600 ? 8 * 3600 : 0;
  for (Tech& t : techs_) {
    // Every technician has begun the day, even just after midnight.
    int sec = start + Uniform(rng_, 0, std::clamp(now_seconds - start, 0, 1800));
    Start(t, sec);
    sec += Uniform(rng_, 20, 90) * 60;
    while (sec < now_seconds) {
      if (t.at_work) {
        End(t, sec);
        sec += Uniform(rng_, 10, 40) * 60;
      } else {
        Start(t, sec);
        sec += Uniform(rng_, 20, 90) * 60;
      }
    }
  }
  collect_ = nullptr;
  auto when = [](const HistoryEvent& e) { return e.hour * 3600 + e.minute * 60 + e.second; };
  std::stable_sort(day.begin(), day.end(),
                   [&](const HistoryEvent& a, const HistoryEvent& b) { return when(a) < when(b); });
  for (const HistoryEvent& e : day) core_.history().Append(e, false);
  core_.history().Flush();
  Log("demo day: " + std::to_string(day.size()) + " technician events so far");
}

void DemoDay::Step(int now_seconds) {
  Tech& t = techs_[static_cast<size_t>(Uniform(rng_, 0, static_cast<int>(techs_.size()) - 1))];
  if (t.at_work)
    End(t, now_seconds);
  else
    Start(t, now_seconds);
}

}  // namespace srv
