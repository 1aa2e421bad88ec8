// The server killed in the middle of a table transfer and started again on the
// same port: the workstation reports the loss, logs in again and ends with the
// tables of the new server.
#include "reliability_fixture.h"

namespace rel {
namespace {

bool AskedFor(srv::Server& s, const std::string& table) {
  for (const std::string& c : s.ReceivedCommands())
    if (GetValueFromJSON(c, "command") == "gettableraw" && GetValueFromJSON(c, "name") == table)
      return true;
  return false;
}

TEST(ServerRestartTest, LossReportedThenLoggedInAgainWithTheNewTables) {
  FastClock fast(3);
  const std::string sdir = FreshDir("s"), sdir2 = FreshDir("s2"), wdir = FreshDir("w");
  // Late datagrams keep the transfer going long enough to cut it in the middle.
  srv::FaultSettings slow;
  slow.delay_ms = 30;
  auto server = MakeServer(sdir, 3000, slow);
  ASSERT_TRUE(server);
  const uint16_t port = server->port();
  {
    Workstation w(port, wdir);
    ASSERT_TRUE(Eventually([&] { return AskedFor(*server, "object"); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(w.Loaded());
    server.reset();  // gone without a word
    server = MakeServer(sdir2, 2500, {}, port);
    ASSERT_TRUE(server);
    server->AddRecord("photo", {{"numobj", "8"}, {"file", "second.jpg"}});
    ASSERT_TRUE(w.WaitNotice("disconnected", 45000));
    ASSERT_TRUE(w.WaitNotice("connected", 30000));
    ASSERT_TRUE(Eventually([&] { return w.Loaded(); }, 30000));
    EXPECT_EQ(TablesDiffer(w, *server), "");
    EXPECT_EQ(w.Count("object"), 2500);
    EXPECT_EQ(w.Count("photo"), 2);
  }
  server.reset();
  std::filesystem::remove_all(sdir);
  std::filesystem::remove_all(sdir2);
  std::filesystem::remove_all(wdir);
}

}  // namespace
}  // namespace rel
