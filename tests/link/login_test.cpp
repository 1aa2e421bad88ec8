#include "link/login.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/link/link_fixture.h"

namespace {

using link_test::Eventually;
using link_test::LinkTest;

// History objects and tables as the delivery code would report them.
class ScriptedHooks : public TLinkHooks {
 public:
  std::atomic<bool> tables{false};
  std::atomic<bool> loaded{false};
  std::atomic<int> requests{0};
  std::atomic<int> attempts{0};
  std::vector<THistorySizes> history;
  void OnLoginAttempt(client_udp&) override { ++attempts; }
  bool HasTables(client_udp&) override { return tables; }
  bool AllTablesLoaded(client_udp&) override { return loaded; }
  void RequestNextTable(client_udp& l) override {
    ++requests;
    l.StartLoadDatabase = true;
  }
  std::vector<THistorySizes> KeepAliveHistory(client_udp&) override { return history; }
};

TEST(LoginTexts, RegEscapesUserNameAndPassword) {
  EXPECT_EQ(RegText("ID", "a\"b\\c", "p\"w\\", 1, "0", "8.0.0.1"),
            "{\"$c$\":\"reg\",\"id\":\"ID\",\"username\":\"a\\\"b\\\\c\",\"password\":"
            "\"p\\\"w\\\\\",\"keepalive\":1,\"zip\":0,\"ver\":\"8.0.0.1\"}");
  EXPECT_EQ(GetVer(), "8.0.0.1");
}

TEST(LoginTexts, TidBytesFromTheDigitPairs) {
  uint8_t b[16];
  TidToBytes("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9", b);
  const uint8_t expect[16] = {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F, 0x60, 0x71,
                              0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9};
  EXPECT_EQ(0, std::memcmp(b, expect, 16));
  TidToBytes("0A1B2C3D4E5F60718293A4B5C6D7E8F9", b);  // 32 characters: no token
  EXPECT_EQ(0, std::memcmp(b, std::vector<uint8_t>(16, 0).data(), 16));
  TidToBytes("ZZ1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9", b);
  EXPECT_EQ(b[0], 0);
  EXPECT_EQ(b[1], 0x1B);
}

TEST_F(LinkTest, NothingIsSentUntilConnectThenTheRequestIsMessageOne) {
  client_udp& l = MakeLink();
  ASSERT_TRUE(l.Started());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(peer_.Datagrams().empty());
  l.SetCredentials("iv\"an", "p\"w");
  l.Connect = true;
  std::string reg;
  ASSERT_TRUE(peer_.WaitText("reg", 10000, &reg));
  EXPECT_EQ(reg, RegText(kId, "iv\"an", "p\"w", 1, "0", GetVer()));
  const zag_ex h = peer_.Datagrams().front().h;
  EXPECT_EQ(h.typepacket, kTypeText);
  EXPECT_EQ(h.count, 1);
  EXPECT_EQ(h.AllPacket, 1u);
  EXPECT_EQ(h.TPacket, 1u);
  EXPECT_EQ(h.Size, reg.size() + 2);
  EXPECT_EQ(0, std::memcmp(h.TID, std::vector<uint8_t>(16, 0).data(), 16));
}

TEST_F(LinkTest, AcceptanceNoticeTokenAndFarewell) {
  peer_.RegOkExtra = ",\"version\":\"5.1\",\"n_abs\":7,\"lkuser_n_abs\":12";
  client_udp& l = MakeLink();
  l.Connect = true;
  std::string notice;
  ASSERT_TRUE(WaitNotice("connected", 10000, &notice));
  EXPECT_EQ(notice,
            "{\"$c$\":\"connected\",\"ver_serv\":\"5.1\",\"data\":{\"$c$\":\"regok\","
            "\"tid\":\"" +
                peer_.Tid +
                "\",\"version\":\"5.1\",\"n_abs\":7,"
                "\"lkuser_n_abs\":12},\"lkuser_n_abs\":12}");
  ASSERT_TRUE(Eventually([&] { return l.Connected && l.PasOK && l.DatabaseLoad; }));
  EXPECT_FALSE(l.AD);
  // Everything after the log-in carries the token.
  l.Soob.PutSoob("{\"$c$\":\"hello\"}");
  ASSERT_TRUE(peer_.WaitText("hello"));
  for (const auto& r : peer_.Datagrams()) {
    if (r.h.typepacket == kTypeText && r.h.count > 1) {
      EXPECT_EQ(r.h.TID[0], 0x0A);
    }
  }
  std::string log = LinkLog();
  EXPECT_NE(log.find(" - >>>> {\"$c$\":\"hello\"}\r\n"), std::string::npos);
  EXPECT_NE(log.find(" - {\"$c$\":\"testex\"} 0 0\r\n"), std::string::npos);
  EXPECT_TRUE(peer_.WaitText("closeclient"));
  EXPECT_TRUE(peer_.Texts().back() == "{\"$c$\":\"closeclient\"}");
}

TEST_F(LinkTest, RefusalThenTenSecondsBetweenAttempts) {
  UseFakeClock();
  peer_.SetLogin(TestPeer::Login::kDeny);
  client_udp& l = MakeLink();
  l.Connect = true;
  ASSERT_TRUE(WaitNotice("accessdenied"));
  EXPECT_TRUE(HasNotice("{\"$c$\":\"accessdenied\"}"));
  ASSERT_TRUE(Eventually([&] { return l.AD.load(); }));
  EXPECT_FALSE(l.Connected);
  EXPECT_FALSE(l.PasOK);
  Advance(4001);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(peer_.Count("reg"), 1);
  Advance(6000);
  EXPECT_TRUE(peer_.WaitFor([&] { return peer_.Count("reg") == 2; }));
}

TEST_F(LinkTest, KeepAliveWithAndWithoutHistory) {
  UseFakeClock();
  ScriptedHooks hooks;
  link_test::LinkGuard guard{link_};
  hooks.history = {{"h_2026", 10, 20, 30}, {"h2", 0, 1, 2}};
  client_udp& l = MakeLink();
  l.SetHooks(&hooks);
  Connected();
  std::string t;
  ASSERT_TRUE(peer_.WaitText("testex", 10000, &t));
  EXPECT_EQ(t,
            "{\"$c$\":\"testex\",\"history\":[{\"name\":\"h_2026\",\"smmemo\":\"10\",\"smzap\":"
            "\"20\",\"smzag\":\"30\"},{\"name\":\"h2\",\"smmemo\":\"0\",\"smzap\":\"1\","
            "\"smzag\":\"2\"}]}");
  // The history part waits 20 s for its answer; the pass that sends the
  // keep-alive clears the stop only after it, so it returns one second later.
  int withHistory = -1;
  for (int i = 2; i <= 25 && withHistory < 0; ++i) {
    Advance(1001);
    ASSERT_TRUE(peer_.WaitFor([&] { return peer_.Count("testex") == i; })) << i;
    std::string last = peer_.Texts().back();
    if (last.find("\"history\":[") != std::string::npos)
      withHistory = i;
    else
      EXPECT_EQ(last, "{\"$c$\":\"testex\"}");
  }
  EXPECT_EQ(withHistory, 22);
}

TEST_F(LinkTest, SilenceOfTenSecondsDropsTheLogInWithCode1) {
  UseFakeClock();
  client_udp& l = Connected();
  peer_.SetWithholdAcks(true);
  // Let acknowledgements already on their way arrive before time moves.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  Advance(9900);
  ASSERT_TRUE(peer_.WaitText("testex"));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(l.Connected);
  Advance(200);
  ASSERT_TRUE(WaitNotice("disconnected"));
  EXPECT_TRUE(HasNotice("{\"$c$\":\"disconnected\",\"p\":1}"));
  // A new attempt goes out at once.
  EXPECT_TRUE(peer_.WaitFor([&] { return peer_.Count("reg") == 2; }));
}

TEST_F(LinkTest, PacketNeverAcknowledgedEndsWithCode2After20Transmissions) {
  UseFakeClock();
  client_udp& l = Connected();
  peer_.SetWithholdAcks(true);
  EXPECT_EQ(l.Window().PacketTimeOut, 50);  // the floor: the log-in took 0 ms here
  l.Soob.PutSoob("{\"$c$\":\"never\"}");
  auto sends = [&] {
    int n = 0;
    for (const auto& r : peer_.Datagrams())
      if (std::string(r.data.begin(), r.data.end()) == "{\"$c$\":\"never\"}") ++n;
    return n;
  };
  for (int i = 1; i <= 20; ++i) {
    ASSERT_TRUE(peer_.WaitFor([&] { return sends() == i; })) << i;
    Advance(50);
  }
  ASSERT_TRUE(WaitNotice("disconnected"));
  EXPECT_TRUE(HasNotice("{\"$c$\":\"disconnected\",\"p\":2}"));
  EXPECT_EQ(sends(), 20);
  EXPECT_FALSE(l.Soob.IsSoob());
}

TEST_F(LinkTest, LoadingStateUntilTablesReportThenCode7AfterThirtySeconds) {
  UseFakeClock();
  ScriptedHooks hooks;
  link_test::LinkGuard guard{link_};
  hooks.tables = true;
  client_udp& l = MakeLink();
  l.SetHooks(&hooks);
  l.Connect = true;
  ASSERT_TRUE(WaitNotice("connected"));
  ASSERT_TRUE(Eventually([&] { return hooks.requests.load() == 1; }));
  EXPECT_TRUE(l.Connected);
  EXPECT_FALSE(l.DatabaseLoad);
  // Loading: no keep-alive; 30 s without file data drops the log-in.
  Advance(29000);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(peer_.Count("testex"), 0);
  EXPECT_TRUE(l.Connected);
  Advance(1001);
  ASSERT_TRUE(WaitNotice("disconnected"));
  EXPECT_TRUE(HasNotice("{\"$c$\":\"disconnected\",\"p\":7}"));
  // Next log-in; this time the tables report their data.
  ASSERT_TRUE(WaitNotice("connected"));
  hooks.loaded = true;
  ASSERT_TRUE(Eventually([&] { return l.DatabaseLoad.load(); }));
  Advance(1001);
  EXPECT_TRUE(peer_.WaitText("testex"));
  EXPECT_EQ(hooks.attempts.load(), 2);
}

TEST(LinkRotation, AttemptsGoRoundTheAddressesAndALossSkipsOne) {
  plat::FakeClock fake(100000);
  plat::SetClock(&fake);
  {
    TestPeer p1("127.0.0.1");
    TestPeer p2("127.0.0.2", p1.Port());
    TestPeer p3("127.0.0.3", p1.Port());
    TestPeer* peers[3] = {&p1, &p2, &p3};
    for (TestPeer* p : peers) p->SetLogin(TestPeer::Login::kSilent);
    link_test::TempDir dir;
    client_udp l("X", p1.Port(), "127.0.0.1, 127.0.0.2,127.0.0.3", dir.Path());
    l.Connect = true;
    auto regs = [&] { return p1.Count("reg") + p2.Count("reg") + p3.Count("reg"); };
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(p1.WaitFor([&] { return peers[i]->Count("reg") == 1; })) << i;
      EXPECT_EQ(regs(), i + 1);
      if (i == 2) p1.SetLogin(TestPeer::Login::kAccept);
      fake.Advance(4001);
    }
    ASSERT_TRUE(Eventually([&] { return l.Connected.load(); }))
        << "regs " << p1.Count("reg") << " " << p2.Count("reg") << " " << p3.Count("reg")
        << ", p1 datagrams " << p1.Datagrams().size() << ", tick " << fake.TickMs()
        << ", ConnectTime " << l.ConnectTime.load() << ", TekHost " << l.TekHost();
    EXPECT_EQ(p1.Count("reg"), 2);
    EXPECT_EQ(l.TekHost(), 0);
    p1.SetWithholdAcks(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    fake.Advance(10001);
    ASSERT_TRUE(p1.WaitFor([&] { return p3.Count("reg") == 2; }));
    EXPECT_EQ(p2.Count("reg"), 1);
  }
  plat::SetClock(nullptr);
}

}  // namespace
