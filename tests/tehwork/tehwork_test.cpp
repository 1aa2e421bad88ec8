// The technicians replay: event sequences written as a real history and the
// TehWork they must leave behind.
#include <gtest/gtest.h>

#include <map>

#include "app/history/history.h"
#include "app/history/history_writer.h"
#include "app/tehwork/tehwork.h"
#include "platform/text1251.h"

namespace {

struct Ev {
  uint16_t type;
  int h, m;
  int32_t object;
  const char* object_name;  // nullptr: negative reference
  const char* teh;          // UTF-8
  const char* kind;         // UTF-8; nullptr: none
};

struct Want {
  const char* name;
  const char* status;
  bool at_work;
  const char* open;
  int32_t object;
  const char* kind;
  int start, end;
};

struct Case {
  const char* title;
  std::vector<Ev> events;
  std::vector<Want> want;
};

THistoryData Write(const std::vector<Ev>& events) {
  THistoryWriter w(3, 2026, 12, 11);
  std::map<std::string, int32_t> refs;
  auto ref = [&](const char* utf8) -> int32_t {
    if (utf8 == nullptr) return -1;
    auto it = refs.find(utf8);
    if (it != refs.end()) return it->second;
    return refs[utf8] = w.AddString(plat::Utf8ToCp1251(utf8));
  };
  for (const Ev& e : events) {
    const int32_t obj = ref(e.object_name);
    w.AddEvent(e.type, e.h, e.m, 0, e.object, obj, ref(e.teh), ref(e.kind));
  }
  THistoryData d;
  d.Zag = w.Zag();
  d.Zap = w.Zap();
  d.Memo = w.Memo();
  d.ParseHeader();
  return d;
}

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"two objects, ended one by one",
       {{kHistWorkStarted, 9, 0, 5, "Банк", "Иванов", "Монтаж"},
        {kHistWorkStarted, 9, 10, 7, "Склад", "Иванов", "Монтаж"},
        {kHistWorkEnded2, 10, 0, 5, "Банк", "Иванов", "Монтаж"}},
       {{"Иванов", "На объекте", true, ",7,", 5, "Монтаж", 540, 0}}},
      {"last object ended: on the road",
       {{kHistWorkStarted, 9, 0, 5, "Банк", "Иванов", "Монтаж"},
        {kHistWorkStarted, 9, 10, 7, "Склад", "Иванов", "Монтаж"},
        {kHistWorkEnded2, 10, 0, 5, "Банк", "Иванов", "Монтаж"},
        {kHistWorkEnded1, 11, 25, 7, "Склад", "Иванов", "Монтаж"}},
       {{"Иванов", "В дороге", false, "", 5, "Монтаж", 540, 685}}},
      {"lunch, and the alarm-button check changes nothing",
       {{kHistWorkStarted, 12, 0, 3, "Офис", "Петров", "Обед"},
        {kHistWorkStarted, 12, 5, 9, "Дом", "Сидоров", "Проверка тревожных кнопок"},
        {kHistWorkEnded2, 12, 6, 3, "Офис", "Петров", "Проверка тревожных кнопок"}},
       {{"Петров", "Обед", true, ",3,", 3, "Обед", 720, 0}}},
      {"office and exchange stock are statuses of their own",
       {{kHistWorkStarted, 8, 0, 1, "A", "Один", "Офис"},
        {kHistWorkStarted, 8, 1, 2, "B", "Два", "Обменный фонд"}},
       {{"Один", "Офис", true, ",1,", 1, "Офис", 480, 0},
        {"Два", "Обменный фонд", true, ",2,", 2, "Обменный фонд", 481, 0}}},
      {"instruction start for an unknown technician; end creates an entry",
       {{kHistInstructionStarted, 8, 0, 4, "Школа", "Новиков", nullptr},
        {kHistInstructionEnded1, 8, 30, 4, "Школа", "Новиков", nullptr}},
       {{"Новиков", "В дороге", false, "", 4, "", 0, 510}}},
      {"instruction for a known technician",
       {{kHistWorkStarted, 8, 0, 4, "Школа", "Новиков", "Заявка"},
        {kHistWorkEnded3, 8, 20, 4, "Школа", "Новиков", "Заявка"},
        {kHistInstructionStarted, 9, 0, 6, "Сад", "Новиков", nullptr}},
       {{"Новиков", "На объекте", true, ",6,", 6, "Инструктаж", 540, 500}}},
      {",15, does not contain ,5,",
       {{kHistWorkStarted, 8, 0, 15, "Кафе", "Иванов", "Заявка"},
        {kHistWorkEnded2, 9, 0, 5, "Банк", "Петров", "Заявка"}},
       {{"Иванов", "На объекте", true, ",15,", 15, "Заявка", 480, 0},
        {"Петров", "В дороге", false, "", 5, "", 0, 540}}},
      {"an end closes the object for everyone who has it open",
       {{kHistWorkStarted, 8, 0, 5, "Банк", "Иванов", "Заявка"},
        {kHistWorkStarted, 8, 10, 5, "Банк", "Петров", "Заявка"},
        {kHistWorkEnded2, 9, 0, 5, "Банк", "Петров", "Заявка"}},
       {{"Иванов", "В дороге", false, "", 5, "Заявка", 480, 540},
        {"Петров", "В дороге", false, "", 5, "Заявка", 490, 540}}},
      {"no object name: number -1; empty technician ignored",
       {{kHistWorkStarted, 8, 0, 5, nullptr, "Иванов", "Заявка"},
        {kHistWorkStarted, 8, 0, 6, "X", "", "Заявка"}},
       {{"Иванов", "На объекте", true, ",5,", -1, "Заявка", 480, 0}}},
      {"same object started twice is listed once",
       {{kHistWorkStarted, 8, 0, 5, "Банк", "Иванов", "Заявка"},
        {kHistWorkStarted, 8, 5, 5, "Банк", "Иванов", "Заявка"}},
       {{"Иванов", "На объекте", true, ",5,", 5, "Заявка", 480, 0}}},
  };
  return cases;
}

TEST(TehWorkReplay, EventSequences) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.title);
    THistoryData d = Write(c.events);
    TTehWorkReplay replay;
    replay.Rebuild(d, [](int32_t n, std::string& a) {
      if (n != 5) return false;
      a = plat::Utf8ToCp1251("Центр - ул. Ленина, 1");
      return true;
    });
    const auto& got = replay.TehWork();
    ASSERT_EQ(got.size(), c.want.size());
    for (size_t i = 0; i < got.size(); ++i) {
      const Want& w = c.want[i];
      EXPECT_EQ(plat::Cp1251ToUtf8(got[i].Name), w.name);
      EXPECT_EQ(plat::Cp1251ToUtf8(got[i].Status), w.status);
      EXPECT_EQ(got[i].AtWork, w.at_work);
      EXPECT_EQ(got[i].OpenObjects, w.open);
      EXPECT_EQ(got[i].ObjectNumber, w.object);
      EXPECT_EQ(plat::Cp1251ToUtf8(got[i].WorkKind), w.kind);
      EXPECT_EQ(got[i].StartMinute, w.start);
      EXPECT_EQ(got[i].EndMinute, w.end);
    }
  }
}

TEST(TehWorkReplay, AddressFromObjectTableOnlyForKnownObjects) {
  THistoryData d = Write({{kHistWorkStarted, 8, 0, 5, "Банк", "Иванов", "Заявка"},
                          {kHistWorkStarted, 8, 0, 6, "Склад", "Петров", "Заявка"}});
  TTehWorkReplay replay;
  replay.Rebuild(d, [](int32_t n, std::string& a) {
    if (n != 5) return false;
    a = "addr5";
    return true;
  });
  ASSERT_EQ(replay.TehWork().size(), 2u);
  EXPECT_EQ(replay.TehWork()[0].Address, "addr5");
  EXPECT_EQ(plat::Cp1251ToUtf8(replay.TehWork()[0].ObjectName), "Банк");
  EXPECT_EQ(replay.TehWork()[1].Address, "");
  EXPECT_EQ(replay.TehWork()[1].ObjectNumber, 6);
}

TEST(TehWorkReplay, RebuildStartsFromEmptyAndSkipsDamagedIndex) {
  THistoryWriter w(3, 2026, 12, 11);
  const int32_t teh = w.AddString("T");
  const int32_t kind = w.AddString("K");
  w.AddEvent(kHistWorkStarted, 8, 0, 0, 5, teh, teh, kind);
  w.AddIndexGarbage(std::string("\x01\x02\x03", 3));
  w.AddEvent(kHistWorkStarted, 8, 1, 0, 6, teh, teh, kind);
  THistoryData d;
  d.Zag = w.Zag();
  d.Zap = w.Zap();
  d.Memo = w.Memo();
  d.ParseHeader();
  TTehWorkReplay replay;
  replay.Rebuild(d, nullptr);
  replay.Rebuild(d, nullptr);
  ASSERT_EQ(replay.TehWork().size(), 1u);
  EXPECT_EQ(replay.TehWork()[0].OpenObjects, ",5,,6,");
}

}  // namespace
