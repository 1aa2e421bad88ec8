// The workstation's link with its table and history delivery against the
// in-process server: four tables loaded, a second start from the cache, pushed
// changes reaching two workstations, and the day's history caught up.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/history/history.h"
#include "link/client_udp.h"
#include "link/delivery.h"
#include "server/history.h"
#include "server_fixture.h"
#include "tables/base_client.h"
#include "tables/field.h"

namespace {

bool Eventually(const std::function<bool()>& pred, int timeout_ms = 30000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pred();
}

const char* kTables[] = {"object", "mobphoto", "photo", "zamech"};

// One workstation: its folder, its four tables, today's history and the link.
struct Workstation {
  Workstation(uint16_t port, const std::string& dir) : dir(dir) {
    std::filesystem::create_directories(dir);
    for (const char* t : kTables) CreateBaseMain(tables, t, "", true, dir);
    history = std::make_unique<THistory>("hx8_20261211", dir);
    delivery = std::make_unique<TDelivery>(&tables, std::vector<THistory*>{history.get()});
    link = std::make_unique<client_udp>("7C3F0A52-6D1B-4E97-A0C4-93B5E27D6F10", port, "127.0.0.1",
                                        dir);
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

  std::string dir;
  TBaseList tables;
  std::unique_ptr<THistory> history;
  std::unique_ptr<TDelivery> delivery;
  std::unique_ptr<client_udp> link;
};

srv::HistoryEvent Ev(int i) {
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

bool SameHistory(Workstation& w, srv::Server& s) {
  THistoryData d = w.history->Snapshot();
  return s.With([&](srv::ServerCore& c) {
    const Bytes& zag = c.history().Zag();
    const Bytes& zap = c.history().Zap();
    return d.Zag == std::string(zag.begin(), zag.end()) &&
           d.Zap == std::string(zap.begin(), zap.end());
  });
}

TEST_F(ServerTest, RealLinkLoadsTablesFollowsChangesAndCatchesUpHistory) {
  StartServer({}, 300);
  server_->AddRecord("mobphoto",
                     {{"number", "105"}, {"technik", "tech"}, {"filename", "photo\\m1.jpg"}});
  server_->AddRecord("photo", {{"numobj", "3"}, {"file", "p.jpg"}});
  for (int i = 0; i < 5; ++i) server_->AppendHistory(Ev(i));
  const std::string dir_a = FreshDir("wa"), dir_b = FreshDir("wb");
  {
    Workstation a(server_->port(), dir_a), b(server_->port(), dir_b);
    ASSERT_TRUE(Eventually([&] { return a.Loaded() && b.Loaded(); }));
    EXPECT_EQ(a.Count("object"), 300);
    EXPECT_EQ(b.Count("mobphoto"), 1);
    EXPECT_EQ(a.Count("zamech"), 0);
    EXPECT_EQ(a.Text("object", 7, 6), "105");  // the seventh column is the object number
    EXPECT_EQ(a.Text("object", 3, 6), plat::Utf8ToCp1251("Объект 5"));
    EXPECT_EQ(b.Text("object", 4, 1), plat::Utf8ToCp1251("Зеленодольск"));
    EXPECT_EQ(b.Text("object", 4, 2), plat::Utf8ToCp1251("Казань"));

    // History: the archive first (nothing held), then growth as raw records, then a file.
    ASSERT_TRUE(Eventually([&] { return SameHistory(a, *server_) && SameHistory(b, *server_); }));
    server_->AppendHistory(Ev(5));
    ASSERT_TRUE(Eventually([&] { return SameHistory(a, *server_); }));
    for (int i = 6; i < 300; ++i) server_->AppendHistory(Ev(i));
    ASSERT_TRUE(Eventually([&] { return SameHistory(a, *server_) && SameHistory(b, *server_); }));

    // A change made on one workstation reaches both.
    {
      TBaseClient& photo = a.T("photo");
      auto g = photo.Lock();
      photo.Add();
      photo.FieldSetAsInteger("numobj", 7);
      photo.FieldSetAsString("file", "new.jpg");
      photo.FieldSetAsString("desc", "from a");
      photo.Post();
    }
    ASSERT_TRUE(Eventually([&] { return a.Count("photo") == 2 && b.Count("photo") == 2; }));
    EXPECT_EQ(b.Text("photo", 4, 2), "new.jpg");
    // An edit travels as "refreshdatadatabase", a deletion as a raw notice.
    ASSERT_TRUE(server_->EditRecord("photo", 2, {{"desc", "edited"}}));
    ASSERT_TRUE(Eventually([&] { return b.Text("photo", 5, 2) == "edited"; }));
    ASSERT_TRUE(server_->DeleteRecord("photo", 1));
    ASSERT_TRUE(
        Eventually([&] { return a.Text("photo", 2, 1) == "1" && b.Text("photo", 2, 1) == "1"; }));
  }
  // A second start loads from the cache: the request carries the cached
  // columns' digests and the table file leaves them out.
  const size_t before = server_->ReceivedCommands().size();
  {
    Workstation a(server_->port(), dir_a);
    ASSERT_TRUE(Eventually([&] { return a.Loaded(); }));
    EXPECT_EQ(a.Count("object"), 300);
    EXPECT_EQ(a.Text("object", 3, 300), plat::Utf8ToCp1251("Объект 299"));
  }
  auto cmds = server_->ReceivedCommands();
  bool md5_sent = false;
  for (size_t i = before; i < cmds.size(); ++i)
    if (GetValueFromJSON(cmds[i], "command") == "gettableraw" &&
        GetValueFromJSON(cmds[i], "name") == "object")
      md5_sent = !GetValueFromJSON(GetValueFromJSON(cmds[i], "md5"), "name").empty();
  EXPECT_TRUE(md5_sent);
  std::filesystem::remove_all(dir_a);
  std::filesystem::remove_all(dir_b);
}

class RealLinkFaultyLoadTest : public ServerTest, public ::testing::WithParamInterface<uint64_t> {};

// The four tables through loss, duplication and reordering: every value as the server has it.
TEST_P(RealLinkFaultyLoadTest, TablesArriveExact) {
  srv::FaultSettings f;
  f.drop = 0.1;
  f.dup = 0.05;
  f.reorder = 0.05;
  f.seed = GetParam();
  SCOPED_TRACE("fault seed " + std::to_string(f.seed));
  StartServer(f, 1500);
  server_->AddRecord("zamech", {{"number", "101"}, {"name", "z"}, {"tech", "t1"}, {"city", "c"}});
  const std::string dir = FreshDir("wf");
  {
    Workstation a(server_->port(), dir);
    ASSERT_TRUE(Eventually([&] { return a.Loaded(); }, 60000));
    for (const char* name : kTables) {
      SCOPED_TRACE(name);
      const int n =
          server_->With([&](srv::ServerCore& c) { return c.store().Table(name)->Count(); });
      ASSERT_EQ(a.Count(name), n);
      const auto& cols = srv::FindSchema(name)->cols;
      for (int c = 0; c < static_cast<int>(cols.size()); ++c) {
        const uint8_t t = cols[static_cast<size_t>(c)].type;
        if (t == srv::kColDouble || t == srv::kColDateTime || t == srv::kColCard) continue;
        for (int k = 0; k < n; ++k) {
          std::string want = server_->With(
              [&](srv::ServerCore& s) { return s.store().Table(name)->GetText(k, c); });
          ASSERT_EQ(a.Text(name, c + 1, k + 1), want)
              << "column " << cols[static_cast<size_t>(c)].name << " record " << k + 1;
        }
      }
    }
  }
  std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RealLinkFaultyLoadTest, ::testing::Values(5u, 6u));

}  // namespace
