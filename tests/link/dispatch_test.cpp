#include <gtest/gtest.h>

#include <filesystem>

#include "link/datagram.h"
#include "tests/link/link_fixture.h"

namespace {

using link_test::Eventually;
using link_test::LinkTest;

class RecordingHooks : public TLinkHooks {
 public:
  std::mutex m;
  std::vector<std::string> calls;
  void Add(const std::string& s) {
    std::lock_guard<std::mutex> g(m);
    calls.push_back(s);
  }
  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> g(m);
    return calls;
  }
  void OnGetArchiveOk(client_udp&, const std::string& t) override { Add("archive " + t); }
  void OnHistoryFromFile(client_udp&, const std::string& t) override { Add("history " + t); }
  void OnTableRawFromFile(client_udp&, const std::string& t) override { Add("table " + t); }
  void OnRefreshDataDatabase(client_udp&, const std::string& t) override { Add("record " + t); }
  void OnRaw(client_udp&, const std::vector<uint8_t>& raw) override {
    Add("raw " + std::string(raw.begin(), raw.end()));
  }
};

TEST_F(LinkTest, DispatchTableForwardsConsumesAndUnwraps) {
  Connected();
  const char* forwarded[] = {
      "{\"$c$\":\"bitrix_call\",\"a\":1}",
      "{\"$c$\":\"texttowav\"}",
      "{\"$c$\":\"objectnotification\"}",
      "{\"$c$\":\"netyesadddatadatabase\"}",
      "{\"$c$\":\"sendfilenotfind\"}",
      "{\"$c$\":\"reglkok\"}",
      "{\"$c$\":\"regpinok\"}",
      "{\"$c$\":\"regpinerror\"}",
      "{\"$c$\":\"xbitrix\"}",
      "{\"$c$\":\"oldup\",\"data\":\"00FF\"}",
      "{\"$c$\":\"netadddatadatabase\"}",
      "{\"a\":1}",
  };
  const char* consumed[] = {
      "{\"$c$\":\"refreshtid\"}",      "{\"$c$\":\"queuezag\"}",
      "{\"$c$\":\"filetoserverok\"}",  "{\"$c$\":\"putfilebase64ok\"}",
      "{\"$c$\":\"testex\"}",          "{\"$c$\":\"testex\",\"messages\":{}}",
      "{\"$c$\":\"getarchiveok\"}",    "{\"$c$\":\"tablerawfromfile\"}",
      "{\"$c$\":\"historyfromfile\"}", "{\"$c$\":\"refreshdatadatabase\"}",
  };
  for (const char* t : consumed) peer_.Send(t);
  for (const char* t : forwarded) peer_.Send(t);
  peer_.Send("{\"$c$\":\"mobiltech\",\"data\":{\"a\":1}}");
  peer_.Send("{\"$c$\":\"zz_end\"}");
  ASSERT_TRUE(WaitNotice("zz_end"));
  std::vector<std::string> expect(std::begin(forwarded), std::end(forwarded));
  expect.push_back("\"a\":1");
  expect.push_back("{\"$c$\":\"zz_end\"}");
  std::vector<std::string> got = Notices();
  got.erase(got.begin());  // "connected"
  EXPECT_EQ(got, expect);
}

TEST_F(LinkTest, RoutingOfNewlkMultiPacketAndLinkTexts) {
  client_udp& l = Connected();
  // One packet with "newlk" goes to the side queue; type 20 always to the dispatcher.
  peer_.Send("{\"$c$\":\"newlk\",\"n\":1}");
  peer_.Send("{\"$c$\":\"newlk\",\"n\":2}", kTypeLink);
  // Several packets: straight to the main window unless they mention testex.
  std::string big = "{\"$c$\":\"bigone\",\"x\":\"" + std::string(2500, 'y') + "\"}";
  peer_.Send(big);
  peer_.Send("{\"$c$\":\"testex\",\"pad\":\"" + std::string(1500, 'p') +
             "\",\"messages\":{\"filename\":\"m1.dat\"}}");
  ASSERT_TRUE(WaitNotice("tosoob"));
  EXPECT_TRUE(HasNotice("{\"$c$\":\"newlk\",\"n\":2}"));
  EXPECT_TRUE(HasNotice(big));
  EXPECT_TRUE(HasNotice("{\"$c$\":\"tosoob\",\"data\":\"messages\"}"));
  EXPECT_FALSE(HasNotice("{\"$c$\":\"newlk\",\"n\":1}"));
  EXPECT_EQ(l.SoobNewLk.Items(), 1);
  std::string req;
  ASSERT_TRUE(peer_.WaitText("getfile", 10000, &req));
  const std::string& tid = peer_.Tid;
  EXPECT_EQ(req, "{\"$c$\":\"getfile\",\"nameinserv\":\"client9\\\\" + tid +
                     "\\\\m1.dat\",\"tid\":\"" + tid + "\",\"name\":\"m1.dat\",\"delete\":1}");
}

TEST_F(LinkTest, DeliveryRowsAndRawMessagesReachTheHooks) {
  RecordingHooks hooks;
  link_test::LinkGuard guard{link_};
  client_udp& l = MakeLink();
  l.SetHooks(&hooks);
  Connected();
  peer_.Send("{\"$c$\":\"getarchiveok\",\"name\":\"a\"}");
  peer_.Send("{\"$c$\":\"historyfromfile\",\"filename\":\"h\"}");
  peer_.Send("{\"$c$\":\"tablerawfromfile\",\"name\":\"t\"}");
  peer_.Send("{\"$c$\":\"refreshdatadatabase\",\"pos\":\"1\"}");
  peer_.Send("RAWONE", kTypeRaw2);
  peer_.Send(std::string(3000, 'r'), kTypeRaw3);
  ASSERT_TRUE(Eventually([&] { return hooks.Calls().size() == 6; }));
  std::vector<std::string> calls = hooks.Calls();
  EXPECT_EQ(calls[0], "archive {\"$c$\":\"getarchiveok\",\"name\":\"a\"}");
  EXPECT_EQ(calls[1], "history {\"$c$\":\"historyfromfile\",\"filename\":\"h\"}");
  EXPECT_EQ(calls[2], "table {\"$c$\":\"tablerawfromfile\",\"name\":\"t\"}");
  EXPECT_EQ(calls[3], "record {\"$c$\":\"refreshdatadatabase\",\"pos\":\"1\"}");
  EXPECT_EQ(calls[4], "raw RAWONE");
  EXPECT_EQ(calls[5], "raw " + std::string(3000, 'r'));
}

TEST_F(LinkTest, ServerErrorsAndMalformedRawEndTheConnection) {
  struct Case {
    const char* text;
    uint8_t type;
    int code;
  };
  const Case cases[] = {
      {"{\"$c$\":\"startrecivefileerror\"}", kTypeText, 12},
      {"{\"$c$\":\"startrecivefileerror2\"}", kTypeText, 9},
      {"", kTypeRaw2, 5},  // a raw packet without data
  };
  client_udp& l = Connected();
  int regs = 1;
  for (const Case& c : cases) {
    peer_.Send(c.text, c.type);
    ASSERT_TRUE(WaitNotice("disconnected")) << c.code;
    EXPECT_EQ(notices_[seen_ - 1],
              "{\"$c$\":\"disconnected\",\"p\":" + std::to_string(c.code) + "}");
    ++regs;
    ASSERT_TRUE(peer_.WaitFor([&] { return peer_.Count("reg") == regs; }));
    ASSERT_TRUE(WaitNotice("connected"));
    ASSERT_TRUE(Eventually([&] { return l.Connected.load(); }));
  }
  // The malformed packet is described in the log.
  link_.reset();
  std::string log;
  for (const auto& e : std::filesystem::directory_iterator(dir_.File("logs")))
    log += link_test::ReadFile(e.path().string());
  EXPECT_NE(log.find(" - -------> 0 2 0 0 0 1 "), std::string::npos) << log.substr(0, 2000);
}

TEST_F(LinkTest, DatagramsFromOtherAddressesAreIgnored) {
  client_udp& l = Connected();
  zag_ex h;
  h.count = 1000;
  h.AllPacket = 1;
  h.TPacket = 1;
  plat::UdpSocket s;
  ASSERT_TRUE(s.Open(0));
  uint32_t lo = 0;
  plat::ParseIpv4("127.0.0.1", lo);
  std::vector<uint8_t> payload = MakePayload(std::string("{\"$c$\":\"intruder\"}"));
  h.sizepacket = static_cast<uint32_t>(payload.size());
  std::vector<uint8_t> dg = BuildDatagram(h, payload.data(), payload.size());
  ASSERT_TRUE(s.SendTo({lo, l.locport}, dg.data(), dg.size()));
  peer_.Send("{\"$c$\":\"zz_end\"}");
  ASSERT_TRUE(WaitNotice("zz_end"));
  EXPECT_FALSE(HasNotice("{\"$c$\":\"intruder\"}"));
  // Not even acknowledged.
  EXPECT_FALSE(s.WaitReadable(100));
}

// Writes a backlog by hand: the workstation only drains it.
void WriteBacklog(const std::string& dir, const std::vector<std::string>& texts) {
  std::filesystem::create_directories(dir + "/dd8");
  std::string index(16, '\0');
  uint8_t* p = reinterpret_cast<uint8_t*>(index.data());
  PutLe32(p, 0x0FEEFFFF);
  PutLe32(p + 4, static_cast<uint32_t>(texts.size()));
  std::string data;
  for (const std::string& t : texts) {
    uint8_t len[4];
    PutLe32(len, static_cast<uint32_t>(t.size()));
    data += std::string("\xFF\xFF", 2) + std::string(reinterpret_cast<char*>(len), 4) + t +
            std::string("\xFE\xFF", 2);
  }
  link_test::WriteFile(dir + "/dd8/backsoob.dat", index);
  link_test::WriteFile(dir + "/dd8/bs0.dat", data);
}

TEST_F(LinkTest, BacklogIsDrainedAfterLogInAndSurvivesALoss) {
  WriteBacklog(dir_.Path(), {"{\"$c$\":\"b1\"}", "{\"$c$\":\"b2\"}"});
  peer_.SetWithholdAcks(true);
  client_udp& l = MakeLink();
  l.Connect = true;
  ASSERT_TRUE(peer_.WaitText("b1"));
  // Never acknowledged: the connection is lost (code 2) and the entry stays.
  ASSERT_TRUE(WaitNotice("disconnected", 20000));
  EXPECT_EQ(notices_[seen_ - 1], "{\"$c$\":\"disconnected\",\"p\":2}");
  EXPECT_EQ(l.Back.FCount(), 2);
  peer_.SetWithholdAcks(false);
  ASSERT_TRUE(peer_.WaitText("b2", 20000));
  ASSERT_TRUE(Eventually([&] { return l.Back.FCount() == 0; }));
  std::vector<std::string> texts = peer_.Texts();
  std::vector<std::string> drained;
  for (const auto& t : texts)
    if (t == "{\"$c$\":\"b1\"}" || t == "{\"$c$\":\"b2\"}") drained.push_back(t);
  ASSERT_GE(drained.size(), 2u);
  EXPECT_EQ(drained.back(), "{\"$c$\":\"b2\"}");
  EXPECT_EQ(drained[drained.size() - 2], "{\"$c$\":\"b1\"}");
}

}  // namespace
