#include "app/state_dump.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <cstring>
#include <utility>

#include "app/teh_page.h"
#include "link/client_udp.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text1251.h"

namespace {

QString Text(const std::string& cp1251) {
  return QString::fromStdString(plat::Cp1251ToUtf8(cp1251));
}

QString TimeText(double dt) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  plat::DecodeDate(dt, y, mo, d);
  plat::DecodeTime(dt, h, mi, s, ms);
  return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
}

QString MinuteText(int32_t m) {
  if (m < 0) return QString::number(m);
  return QString::asprintf("%02d:%02d", m / 60, m % 60);
}

}  // namespace

TStateSnapshot CollectState(client_udp* link, TBaseList* tables, const TTehPage* page) {
  TStateSnapshot s;
  s.Time = plat::Now();
  if (link != nullptr) {
    s.HasLink = true;
    s.Connect = link->Connect;
    s.Connected = link->Connected;
    s.PasOK = link->PasOK;
    s.AD = link->AD;
    s.DatabaseLoad = link->DatabaseLoad;
    s.Hosts = link->host();
    s.Port = link->port();
    s.ReadJSONItems = link->ReadJSON.Items();
    s.SoobItems = link->Soob.Items();
  }
  if (tables != nullptr) {
    for (auto& t : *tables) {
      auto lock = t->Lock();
      s.Tables.push_back({t->NameTable(), t->Count()});
    }
  }
  if (page != nullptr) {
    s.HasTechnicians = true;
    s.Technicians = page->TehWork();
  }
  return s;
}

std::string StateDumpJson(const TStateSnapshot& s) {
  QJsonObject root;
  root["time"] = TimeText(s.Time);
  if (s.HasLink) {
    QJsonObject link;
    QJsonArray hosts;
    for (const std::string& h : s.Hosts) hosts.append(QString::fromStdString(h));
    link["hosts"] = hosts;
    link["port"] = s.Port;
    link["connect"] = s.Connect;
    link["connected"] = s.Connected;
    link["logged_in"] = s.PasOK;
    link["access_denied"] = s.AD;
    link["tables_loaded"] = s.DatabaseLoad;
    link["readjson_queued"] = s.ReadJSONItems;
    link["soob_queued"] = s.SoobItems;
    root["link"] = link;
  } else {
    root["link"] = QJsonValue::Null;
  }
  QJsonObject tables;
  for (const TStateSnapshot::Table& t : s.Tables) tables[Text(t.Name)] = t.Records;
  root["tables"] = tables;
  if (s.HasTechnicians) {
    QJsonArray techs;
    for (const stru_tehwork& e : s.Technicians) {
      QJsonObject t;
      t["name"] = Text(e.Name);
      t["status"] = Text(e.Status);
      t["work_kind"] = Text(e.WorkKind);
      t["at_work"] = e.AtWork;
      t["object"] = e.ObjectNumber;
      t["object_name"] = Text(e.ObjectName);
      t["address"] = Text(e.Address);
      t["open_objects"] = Text(e.OpenObjects);
      t["start_minute"] = e.StartMinute;
      t["end_minute"] = e.EndMinute;
      t["start"] = MinuteText(e.StartMinute);
      t["end"] = MinuteText(e.EndMinute);
      techs.append(t);
    }
    root["technicians"] = techs;
  }
  QByteArray out = QJsonDocument(root).toJson(QJsonDocument::Indented);
  return out.toStdString();
}

std::string TakeStateDumpOption(int& argc, char** argv, bool& bad) {
  bad = false;
  static const char kName[] = "--state-dump";
  constexpr size_t kLen = sizeof(kName) - 1;
  std::string path;
  int out = 1;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, kName) == 0) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        bad = true;
        continue;
      }
      path = argv[++i];
      continue;
    }
    if (std::strncmp(a, kName, kLen) == 0 && a[kLen] == '=') {
      path = a + kLen + 1;
      if (path.empty()) bad = true;
      continue;
    }
    argv[out++] = argv[i];
  }
  argc = out;
  if (argc >= 0) argv[argc] = nullptr;
  return path;
}

TStateDump::TStateDump(std::string path, TCollect collect, QObject* parent, int interval_ms)
    : QObject(parent), path_(std::move(path)), collect_(std::move(collect)) {
  timer_ = new QTimer(this);
  timer_->setInterval(interval_ms);
  connect(timer_, &QTimer::timeout, this, [this] { WriteNow(); });
  timer_->start();
  WriteNow();
}

bool TStateDump::WriteNow() {
  if (path_.empty() || !collect_) return false;
  return plat::WriteFileAtomic(path_, StateDumpJson(collect_()));
}
