// Shared pieces of the reliability tests: an in-process server on a chosen or
// ephemeral port with a known data set, and one workstation (its folder, its
// four tables, today's history and the real link with its delivery hooks).
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/history/history.h"
#include "foundation/json.h"
#include "link/client_udp.h"
#include "link/delivery.h"
#include "platform/clock.h"
#include "platform/text1251.h"
#include "server/history.h"
#include "server/log.h"
#include "server/schema.h"
#include "server/server.h"
#include "tables/base_client.h"
#include "tables/field.h"

namespace rel {

inline std::string FreshDir(const std::string& tag) {
  static std::atomic<int> n{0};
  std::string d =
      (std::filesystem::temp_directory_path() /
       ("svcdesk-rel-" + tag + "-" + std::to_string(getpid()) + "-" + std::to_string(n++)))
          .string();
  std::filesystem::remove_all(d);
  return d;
}

inline bool Eventually(const std::function<bool()>& pred, int timeout_ms = 30000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pred();
}

// Time running k times faster for the link and the server alike, so that the
// long waits of the protocol (a lost history request is asked again after 20 s,
// a silent server is given up after 30 s while tables load) fit a test run.
// Installed while no other thread runs, like any clock.
class FastClock : public plat::Clock {
 public:
  explicit FastClock(int k) : base_(&plat::clock()), k_(k), origin_(base_->TickMs()) {
    plat::SetClock(this);
  }
  ~FastClock() override { plat::SetClock(nullptr); }
  int64_t TickMs() override { return origin_ + (base_->TickMs() - origin_) * k_; }
  double Now() override { return base_->Now(); }
  void SleepMs(int ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms > 0 ? (ms + k_ - 1) / k_ : 0));
  }

 private:
  plat::Clock* base_;
  const int64_t k_;
  const int64_t origin_;
};

inline const std::string kPassword = "p\"w\\1";
inline const char* kTables[] = {"object", "mobphoto", "photo", "zamech"};
inline const char* kLinkId = "7C3F0A52-6D1B-4E97-A0C4-93B5E27D6F10";

// A server with `objects` objects, one user and a record in each other table.
inline std::unique_ptr<srv::Server> MakeServer(const std::string& dir, int objects,
                                               srv::FaultSettings faults = {}, uint16_t port = 0) {
  srv::SetLogLevel(getenv("SVCDESK_SERVER_LOG") ? srv::LogLevel::kDebug : srv::LogLevel::kQuiet);
  srv::ServerOptions o;
  o.port = port;
  o.data_dir = dir;
  o.live_event_ms = 0;
  o.faults = faults;
  o.history_name = "hx8_20261211";
  auto s = std::make_unique<srv::Server>(o);
  if (!s->Start()) return nullptr;
  s->AddUser("op", kPassword);
  s->With([&](srv::ServerCore& c) {
    c.store().Begin();
    for (int i = 0; i < objects; ++i)
      c.store().Add("object", {{"name", plat::Utf8ToCp1251("Объект ") + std::to_string(i)},
                               {"addrcity", plat::Utf8ToCp1251(i % 2 ? "Казань" : "Зеленодольск")},
                               {"address", "street " + std::to_string(i % 7)},
                               {"number", std::to_string(100 + i)},
                               {"phone", "+7 843 200-00-" + std::to_string(i % 100)}});
    c.store().Commit();
  });
  s->AddRecord("mobphoto", {{"number", "105"}, {"technik", "tech"}, {"filename", "photo\\m1.jpg"}});
  s->AddRecord("photo", {{"numobj", "3"}, {"file", "p.jpg"}});
  s->AddRecord("zamech", {{"number", "101"}, {"name", "z"}, {"tech", "t1"}, {"city", "c"}});
  return s;
}

inline srv::HistoryEvent Ev(int i) {
  srv::HistoryEvent e;
  e.type = srv::kEvWorkStart;
  e.hour = 10;
  e.minute = i % 60;
  e.object = 100 + i % 20;
  e.object_name = "obj";
  e.technician = "tech " + std::to_string(i % 3);
  e.work_kind = "kind";
  return e;
}

struct Workstation {
  Workstation(uint16_t port, const std::string& dir) : dir(dir) {
    std::filesystem::create_directories(dir);
    for (const char* t : kTables) CreateBaseMain(tables, t, "", true, dir);
    history = std::make_unique<THistory>("hx8_20261211", dir);
    delivery = std::make_unique<TDelivery>(&tables, std::vector<THistory*>{history.get()});
    link = std::make_unique<client_udp>(kLinkId, port, "127.0.0.1", dir);
    link->SetHooks(delivery.get());
    link->SetOnRefreshDatabase([](client_udp&, const std::string&) {});
    link->SetCredentials("op", kPassword);
    link->Connect = true;
  }
  ~Workstation() {
    link->Terminate();
    link.reset();
  }
  TBaseClient& T(const std::string& name) {
    for (auto& t : tables)
      if (t->NameTableS == name) return *t;
    return *tables[0];
  }
  int32_t Count(const std::string& name) {
    auto g = T(name).Lock();
    return T(name).CountRecord;
  }
  std::string Text(const std::string& table, int col, int pos) {
    auto g = T(table).Lock();
    FieldGFB* f = T(table).GetFieldNumberabs(col, pos);
    return f ? f->GetAsString() : std::string();
  }
  bool Loaded() { return link->DatabaseLoad.load(); }
  // Notices on ReadJSON are kept in `seen` as they are read.
  bool WaitNotice(const std::string& c, int timeout_ms = 30000) {
    return Eventually(
        [&] {
          std::string m;
          while (link->ReadJSON.GetSoobD(m)) seen.push_back(m);
          for (; checked < seen.size(); ++checked)
            if (GetValueFromJSON(seen[checked], "$c$") == c) {
              ++checked;
              return true;
            }
          return false;
        },
        timeout_ms);
  }
  bool SawNotice(const std::string& c) {
    std::string m;
    while (link->ReadJSON.GetSoobD(m)) seen.push_back(m);
    for (const auto& s : seen)
      if (GetValueFromJSON(s, "$c$") == c) return true;
    return false;
  }

  std::string dir;
  TBaseList tables;
  std::unique_ptr<THistory> history;
  std::unique_ptr<TDelivery> delivery;
  std::unique_ptr<client_udp> link;
  std::vector<std::string> seen;
  size_t checked = 0;
};

// Every text column of every table equal to the server's, record by record;
// an empty string when they agree, else the first difference.
inline std::string TablesDiffer(Workstation& w, srv::Server& s) {
  for (const char* name : kTables) {
    const int n = s.With([&](srv::ServerCore& c) { return c.store().Table(name)->Count(); });
    if (w.Count(name) != n)
      return std::string(name) + ": " + std::to_string(w.Count(name)) + " records, server " +
             std::to_string(n);
    const auto& cols = srv::FindSchema(name)->cols;
    for (int c = 0; c < static_cast<int>(cols.size()); ++c) {
      const uint8_t t = cols[static_cast<size_t>(c)].type;
      if (t == srv::kColDouble || t == srv::kColDateTime || t == srv::kColCard) continue;
      for (int k = 0; k < n; ++k) {
        std::string want =
            s.With([&](srv::ServerCore& sc) { return sc.store().Table(name)->GetText(k, c); });
        std::string got = w.Text(name, c + 1, k + 1);
        if (got != want)
          return std::string(name) + " column " + cols[static_cast<size_t>(c)].name + " record " +
                 std::to_string(k + 1) + ": '" + got + "', server '" + want + "'";
      }
    }
  }
  return {};
}

inline bool SameHistory(Workstation& w, srv::Server& s) {
  THistoryData d = w.history->Snapshot();
  return s.With([&](srv::ServerCore& c) {
    const Bytes& zag = c.history().Zag();
    const Bytes& zap = c.history().Zap();
    return d.Zag == std::string(zag.begin(), zag.end()) &&
           d.Zap == std::string(zap.begin(), zap.end());
  });
}

}  // namespace rel
