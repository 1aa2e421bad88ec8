// The server's working without sockets: datagrams in, datagrams out, time by hand.
#include "server/core.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "link/datagram.h"
#include "server_fixture.h"

namespace {

class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    srv::SetLogLevel(srv::LogLevel::kQuiet);
    dir_ = FreshDir("core");
    srv::CoreOptions o;
    o.data_dir = dir_;
    o.history_name = "hx8_20261211";
    core_ = std::make_unique<srv::ServerCore>(o);
    ASSERT_TRUE(core_->Open());
    core_->store().AddUser("u", "p");
    core_->SetSender([this](const plat::Ipv4Addr&, const Bytes& d) { out_.push_back(d); });
    ASSERT_TRUE(core_->PutPhoto("a.jpg", Bytes(100, 1)));
  }
  void TearDown() override {
    core_.reset();
    std::filesystem::remove_all(dir_);
  }
  void Text(const std::string& t) {
    auto dg = BuildTextDatagram(t, ++count_, tid_);
    core_->HandleDatagram(from_, dg.data(), dg.size(), now_);
  }
  // Ticks, acknowledges every data packet sent, and returns the texts among them.
  std::vector<std::string> Round(bool ack = true) {
    core_->Tick(now_);
    std::vector<std::string> texts;
    auto sent = std::move(out_);
    out_.clear();
    for (const Bytes& d : sent) {
      zag_ex h;
      if (!DecodeDatagram(d.data(), d.size(), h) || h.typepacket == kTypeProbe) continue;
      if (h.typepacket == kTypeFile) ++file_packets_;
      if (h.typepacket == kTypeText) {
        Bytes data = DatagramData(d.data(), d.size(), h);
        texts.emplace_back(data.begin(), data.end());
        if (GetValueFromJSON(texts.back(), "$c$") == "regok") std::memcpy(tid_, h.TID, 16);
      }
      if (ack) {
        auto a = BuildAck(h);
        core_->HandleDatagram(from_, a.data(), a.size(), now_);
      }
    }
    return texts;
  }
  int Count(const std::vector<std::string>& texts, const std::string& c) {
    int n = 0;
    for (const auto& t : texts) n += GetValueFromJSON(t, "$c$") == c;
    return n;
  }

  std::string dir_;
  std::unique_ptr<srv::ServerCore> core_;
  std::vector<Bytes> out_;
  plat::Ipv4Addr from_{0x7F000001u, 5000};
  uint8_t tid_[16] = {};
  int64_t count_ = 0, now_ = 100000;
  int file_packets_ = 0;
};

TEST_F(CoreTest, OfferIsRepeatedUntilAcceptedAndFileWaitsForIt) {
  Text("{\"$c$\":\"reg\",\"username\":\"u\",\"password\":\"p\",\"keepalive\":1}");
  ASSERT_EQ(Count(Round(), "regok"), 1);
  Text("{\"$c$\":\"getfile\",\"nameinserv\":\"photo\\\\a.jpg\",\"name\":\"x.jpg\"}");
  EXPECT_EQ(Count(Round(), "sendfile"), 1);
  // The acceptance is lost: nothing of the file goes out, the offer comes again.
  now_ += 1000;
  EXPECT_EQ(Count(Round(), "sendfile"), 0);
  now_ += 600;
  EXPECT_EQ(Count(Round(), "sendfile"), 1);
  EXPECT_EQ(file_packets_, 0);
  // A text queued meanwhile waits behind the file.
  Text("{\"$c$\":\"get_osm\",\"map\":1,\"maps\":0,\"data\":[{\"x\":0,\"y\":0,\"z\":0}]}");
  EXPECT_EQ(Count(Round(), "oldup"), 0);
  Text("{\"$c$\":\"startrecivefile\"}");
  Round();
  EXPECT_EQ(file_packets_, 1);
  EXPECT_EQ(Count(Round(), "oldup"), 1);
}

TEST_F(CoreTest, UnacknowledgedPacketsAreResentThenTheWorkstationIsDropped) {
  Text("{\"$c$\":\"reg\",\"username\":\"u\",\"password\":\"p\",\"keepalive\":1}");
  Round(false);  // the "regok" is never acknowledged
  ASSERT_EQ(core_->SessionCount(), 1);
  int sends = 1;
  for (int i = 0; i < 1000 && core_->SessionCount() == 1; ++i) {
    now_ += 100;
    sends += Count(Round(false), "regok");
    if (i % 50 == 0) Text("{\"$c$\":\"testex\"}");  // still heard from, so not silent
  }
  EXPECT_EQ(core_->SessionCount(), 0);
  EXPECT_EQ(sends, srv::Session::kMaxTransmissions);
}

TEST_F(CoreTest, DuplicatesAndStrangersChangeNothing) {
  Text("{\"$c$\":\"reg\",\"username\":\"u\",\"password\":\"p\",\"keepalive\":1}");
  Round();
  // The same change twice (a resent datagram) is applied once.
  auto dg = BuildTextDatagram(
      "{\"$c$\":\"database\",\"command\":\"netadddatadatabase\",\"nametable\":\"photo\",\"fields\":"
      "{\"file\":\"b.jpg\"}}",
      ++count_, tid_);
  core_->HandleDatagram(from_, dg.data(), dg.size(), now_);
  core_->HandleDatagram(from_, dg.data(), dg.size(), now_);
  EXPECT_EQ(core_->store().Table("photo")->Count(), 1);
  // A datagram carrying another token (an earlier log-in) is ignored.
  uint8_t other[16] = {9};
  auto stale = BuildTextDatagram(
      "{\"$c$\":\"database\",\"command\":\"netadddatadatabase\",\"nametable\":\"photo\",\"fields\":"
      "{}}",
      ++count_, other);
  core_->HandleDatagram(from_, stale.data(), stale.size(), now_);
  EXPECT_EQ(core_->store().Table("photo")->Count(), 1);
  // A packet that would end beyond its message is refused, not acknowledged.
  zag_ex h;
  h.pos = 960;
  h.Size = 1000;
  h.count = ++count_;
  h.AllPacket = 2;
  h.TPacket = 2;
  std::memcpy(h.TID, tid_, 16);
  Bytes payload = MakePayload(Bytes(960, 'x').data(), 960);
  h.sizepacket = static_cast<uint32_t>(payload.size());
  auto bad = BuildDatagram(h, payload.data(), payload.size());
  out_.clear();
  core_->HandleDatagram(from_, bad.data(), bad.size(), now_);
  EXPECT_TRUE(out_.empty());
  // Before a log-in nothing is served.
  plat::Ipv4Addr stranger{0x7F000001u, 6000};
  uint8_t zero[16] = {};
  auto get = BuildTextDatagram(
      "{\"$c$\":\"getfile\",\"nameinserv\":\"photo\\\\a.jpg\",\"name\":\"y.jpg\"}", 1, zero);
  core_->HandleDatagram(stranger, get.data(), get.size(), now_);
  out_.clear();
  core_->Tick(now_);
  for (const Bytes& d : out_) {
    zag_ex x;
    ASSERT_TRUE(DecodeDatagram(d.data(), d.size(), x));
    EXPECT_NE(x.typepacket, kTypeText);
  }
}

}  // namespace
