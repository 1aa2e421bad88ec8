#include <gtest/gtest.h>

#include <filesystem>

#include "link/datagram.h"
#include "tests/link/link_fixture.h"

namespace {

namespace fs = std::filesystem;
using link_test::Eventually;
using link_test::LinkTest;
using link_test::RandomBytes;
using link_test::ReadFile;

class FileTest : public LinkTest {
 protected:
  // Offers a file and waits for the link's acceptance.
  void Offer(const std::string& name) {
    int before = peer_.Count("startrecivefile");
    peer_.Send("{\"$c$\":\"sendfile\",\"name\":\"" + name + "\"}");
    ASSERT_TRUE(peer_.WaitFor([&] { return peer_.Count("startrecivefile") == before + 1; }));
  }
  // Packet i (0-based) of a file, sent by hand.
  void Packet(const std::vector<uint8_t>& file, uint32_t i, int64_t count) {
    uint32_t all = file.empty() ? 1 : static_cast<uint32_t>((file.size() - 1) / 960 + 1);
    zag_ex h;
    h.typepacket = kTypeFile;
    h.pos = i * 960;
    h.Size = static_cast<uint32_t>(file.size());
    h.count = count;
    h.AllPacket = all;
    h.TPacket = i + 1;
    size_t end = std::min(file.size(), static_cast<size_t>(i + 1) * 960);
    peer_.SendPacket(h, std::vector<uint8_t>(file.begin() + h.pos, file.begin() + end));
  }
  std::string Temp(const std::string& name) { return dir_.File("temp/" + name); }
  void ExpectDisconnect(int code) {
    ASSERT_TRUE(WaitNotice("disconnected")) << code;
    EXPECT_EQ(notices_[seen_ - 1], "{\"$c$\":\"disconnected\",\"p\":" + std::to_string(code) + "}");
  }
};

TEST_F(FileTest, ThreePacketsInAnyOrderWithADuplicate) {
  Connected();
  Offer("f.bin");
  std::vector<uint8_t> file = RandomBytes(2000, 3);
  int64_t count = peer_.NextCount();
  Packet(file, 2, count);
  Packet(file, 0, count);
  Packet(file, 0, count);
  Packet(file, 1, count);
  std::string notice;
  ASSERT_TRUE(WaitNotice("getfileok", 10000, &notice));
  EXPECT_EQ(notice, "{\"$c$\":\"getfileok\",\"name\":\"f.bin\"}");
  EXPECT_EQ(ReadFile(Temp("f.bin")), std::string(file.begin(), file.end()));
  std::string accept;
  ASSERT_TRUE(peer_.WaitText("startrecivefile", 1000, &accept));
  EXPECT_EQ(accept, "{\"$c$\":\"startrecivefile\"}");
  std::string log = LinkLog();
  // The token's first two bytes, 0x0A and 0x1B, written as decimals.
  EXPECT_NE(log.find(" - sendfile {\"$c$\":\"sendfile\",\"name\":\"f.bin\"} 127.0.0.1:" +
                     std::to_string(peer_.Port()) + " "),
            std::string::npos);
  EXPECT_NE(log.find(" 1027\r\n"), std::string::npos);
  EXPECT_NE(log.find(" - fileok f.bin\r\n"), std::string::npos);
}

TEST_F(FileTest, EmptyFileAndAnExistingFileCutToTheAnnouncedSize) {
  Connected();
  Offer("empty.bin");
  Packet({}, 0, peer_.NextCount());
  ASSERT_TRUE(WaitNotice("getfileok"));
  EXPECT_TRUE(fs::exists(Temp("empty.bin")));
  EXPECT_EQ(fs::file_size(Temp("empty.bin")), 0u);

  link_test::WriteFile(Temp("old.bin"), std::string(5000, 'o'));
  Offer("old.bin");
  std::vector<uint8_t> file = RandomBytes(1500, 4);
  int64_t count = peer_.NextCount();
  Packet(file, 0, count);
  Packet(file, 1, count);
  ASSERT_TRUE(WaitNotice("getfileok"));
  EXPECT_EQ(ReadFile(Temp("old.bin")), std::string(file.begin(), file.end()));
}

TEST_F(FileTest, CompletedFileGoesToTheHookWhenItClaimsIt) {
  struct Claim : TLinkHooks {
    std::mutex m;
    std::string got;
    bool OnFileComplete(client_udp& l, const std::string& name, const std::string& path,
                        int64_t size) override {
      std::lock_guard<std::mutex> g(m);
      got = name + " " + std::to_string(size) + " " + ReadFile(path);
      l.ReadJSON.PutSoob("{\"$c$\":\"tableload\"}");
      return name == "t.bin";
    }
  } hooks;
  link_test::LinkGuard guard{link_};
  client_udp& l = MakeLink();
  l.SetHooks(&hooks);
  Connected();
  Offer("t.bin");
  Packet({'a', 'b'}, 0, peer_.NextCount());
  ASSERT_TRUE(WaitNotice("tableload"));
  {
    std::lock_guard<std::mutex> g(hooks.m);
    EXPECT_EQ(hooks.got, "t.bin 2 ab");
  }
  Offer("other.bin");
  Packet({'c'}, 0, peer_.NextCount());
  EXPECT_TRUE(WaitNotice("getfileok"));
}

TEST_F(FileTest, UnsafeOrUncreatableNamesAreRefusedWithCode3) {
  client_udp& l = Connected();
  fs::create_directories(Temp("adir"));
  const char* names[] = {"../escape.bin", "a/b.bin", "a\\\\b.bin", "/tmp/abs.bin", "", "..",
                         "adir"};
  for (const char* n : names) {
    int accepted = peer_.Count("startrecivefile");
    std::string name = n;
    peer_.Send("{\"$c$\":\"sendfile\",\"name\":\"" + name + "\"}");
    if (name == "adir") {
      // A plain name, accepted; creating it fails when the data comes.
      ASSERT_TRUE(peer_.WaitFor([&] { return peer_.Count("startrecivefile") > accepted; }));
      Packet({'x'}, 0, peer_.NextCount());
    }
    ExpectDisconnect(3);
    if (name != "adir") {
      EXPECT_EQ(peer_.Count("startrecivefile"), accepted) << name;
    }
    ASSERT_TRUE(WaitNotice("connected"));
    ASSERT_TRUE(Eventually([&] { return l.Connected.load(); }));
  }
  EXPECT_FALSE(fs::exists(dir_.File("escape.bin")));
  EXPECT_FALSE(fs::exists("/tmp/abs.bin"));
}

TEST_F(FileTest, DataWithoutOfferIsCode4AndElevenOffersAreCode12) {
  client_udp& l = Connected();
  Packet({'x'}, 0, peer_.NextCount());
  ExpectDisconnect(4);
  ASSERT_TRUE(WaitNotice("connected"));
  ASSERT_TRUE(Eventually([&] { return l.Connected.load(); }));
  for (int i = 0; i < 10; ++i) Offer("again.bin");
  peer_.Send("{\"$c$\":\"sendfile\",\"name\":\"again.bin\"}");
  ExpectDisconnect(12);
}

TEST_F(FileTest, SecondOfferWhileReceivingDropsTheConnectionSilently) {
  client_udp& l = Connected();
  Offer("half.bin");
  std::vector<uint8_t> file = RandomBytes(3000, 5);
  Packet(file, 0, peer_.NextCount());
  ASSERT_TRUE(Eventually([&] { return fs::exists(Temp("half.bin")); }));
  peer_.Send("{\"$c$\":\"sendfile\",\"name\":\"next.bin\"}");
  ASSERT_TRUE(peer_.WaitFor([&] { return peer_.Count("reg") == 2; }));
  ASSERT_TRUE(WaitNotice("connected"));
  for (const auto& n : Notices()) EXPECT_NE(GetValueFromJSON(n, "$c$"), "disconnected");
  (void)l;
}

TEST_F(FileTest, SendingALocalFileTheServerAskedFor) {
  std::vector<uint8_t> file = RandomBytes(5000, 6);
  link_test::WriteFile(dir_.File("up.bin"), std::string(file.begin(), file.end()));
  peer_.OnText([](TestPeer& p, const std::string& t) {
    if (t.find("\"$c$\":\"sendfile\"") != std::string::npos)
      p.Send("{\"$c$\":\"startrecivefile\"}");
  });
  Connected();
  peer_.Send("{\"$c$\":\"filetoserver\",\"name\":\"nothere.bin\",\"nameinserv\":\"x\"}");
  peer_.Send("{\"$c$\":\"filetoserver\",\"name\":\"up.bin\",\"nameinserv\":\"srv\\\\up.bin\"}");
  std::string notice;
  ASSERT_TRUE(WaitNotice("sendfileok", 10000, &notice));
  EXPECT_EQ(notice,
            "{\"$c$\":\"sendfileok\",\"name\":\"up.bin\",\"nameinserv\":\"srv\\\\up.bin\","
            "\"size\":5000}");
  std::string offer;
  ASSERT_TRUE(peer_.WaitText("sendfile", 1000, &offer));
  EXPECT_EQ(offer,
            "{\"$c$\":\"sendfile\",\"name\":\"up.bin\",\"nameinserv\":\"srv\\\\up.bin\","
            "\"tid\":\"" +
                peer_.Tid + "\"}");
  EXPECT_EQ(peer_.Count("sendfile"), 1);  // the missing file was never offered
  auto files = peer_.Files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files.begin()->second, file);
}

TEST_F(FileTest, OfferIsRepeatedUntilAccepted) {
  UseFakeClock();
  link_test::WriteFile(dir_.File("up.bin"), "abc");
  Connected();
  peer_.Send("{\"$c$\":\"filetoserver\",\"name\":\"up.bin\",\"nameinserv\":\"s\"}");
  ASSERT_TRUE(peer_.WaitText("sendfile"));
  for (int i = 2; i <= 4; ++i) {
    Advance(51);
    ASSERT_TRUE(peer_.WaitFor([&] { return peer_.Count("sendfile") == i; })) << i;
  }
  peer_.Send("{\"$c$\":\"startrecivefile\"}");
  ASSERT_TRUE(WaitNotice("sendfileok"));
  EXPECT_EQ(peer_.Files().begin()->second, (std::vector<uint8_t>{'a', 'b', 'c'}));
}

// A 2 MB file from the peer and a 200 KB text to it, byte-exact under loss,
// duplication and reordering.
TEST_F(FileTest, ReliableUnderLossDuplicationAndReordering) {
  client_udp& l = Connected();
  peer_.SetWindow(128, 60);
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    peer_.SetFaults({0.10, 0.05, 0.05, seed});
    std::vector<uint8_t> file = RandomBytes(2 << 20, seed);
    std::string name = "big" + std::to_string(seed) + ".bin";
    peer_.ServeFile(name, file);
    l.Soob.PutSoob("{\"$c$\":\"getfile\",\"name\":\"" + name + "\"}");
    ASSERT_TRUE(WaitNotice("getfileok", 60000));
    EXPECT_EQ(notices_[seen_ - 1], "{\"$c$\":\"getfileok\",\"name\":\"" + name + "\"}");
    std::string got = ReadFile(Temp(name));
    EXPECT_TRUE(got == std::string(file.begin(), file.end()));

    std::vector<uint8_t> pad = RandomBytes(200 * 1024, seed + 10);
    std::string text = "{\"$c$\":\"bulk\",\"x\":\"";
    for (uint8_t b : pad) text += static_cast<char>('a' + b % 26);
    text += "\"}";
    l.Soob.PutSoob(text);
    ASSERT_TRUE(peer_.WaitFor(
        [&] {
          for (const auto& t : peer_.Texts())
            if (t.size() == text.size()) return true;
          return false;
        },
        60000));
    int exact = 0;
    for (const auto& t : peer_.Texts())
      if (t == text) ++exact;
    EXPECT_EQ(exact, 1);
    EXPECT_TRUE(l.Connected);
    peer_.ClearRecords();
  }
}

}  // namespace
