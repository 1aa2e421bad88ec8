// The receive path under a flood: valid-looking datagrams from a foreign
// address (another port on the same host) and garbage from the server's own
// address. Nothing foreign is accepted, the link stays up and its queues stay
// within their capacities.
#include <cstring>
#include <random>

#include "link/datagram.h"
#include "platform/udp_socket.h"
#include "reliability_fixture.h"

namespace rel {
namespace {

uint32_t Loopback() {
  uint32_t ip = 0;
  plat::ParseIpv4("127.0.0.1", ip);
  return ip;
}

// Queue lengths within their capacities.
void ExpectBounded(client_udp& l) {
  EXPECT_LE(l.ReadJSON.Items(), client_udp::kJSONCapacity);
  EXPECT_LE(l.SoobEJSON.Items(), client_udp::kJSONCapacity);
  EXPECT_LE(l.SoobERAW.Items(), client_udp::kRawCapacity);
  EXPECT_LE(l.SoobNewLk.Items(), client_udp::kNewLkCapacity);
  EXPECT_LE(l.Net().soobE.Items(), l.Net().soobE.Size());
}

TEST(FloodTest, ForeignDatagramsAreIgnoredAndTheLinkStaysUp) {
  const std::string sdir = FreshDir("s"), wdir = FreshDir("w");
  auto server = MakeServer(sdir, 50);
  ASSERT_TRUE(server);
  {
    Workstation w(server->port(), wdir);
    ASSERT_TRUE(w.WaitNotice("connected"));
    ASSERT_TRUE(Eventually([&] { return w.Loaded(); }));
    // The foreign sender knows the port; the receive path reads no token, so
    // only the address can give it away.
    const uint8_t tid[16] = {};
    plat::UdpSocket foreign;
    ASSERT_TRUE(foreign.Open(0, Loopback()));
    const plat::Ipv4Addr to{Loopback(), w.link->locport};
    for (int i = 0; i < 20000; ++i) {
      std::vector<uint8_t> d;
      if (i % 4 == 3) {
        // A raw record and a table update that would change the tables.
        zag_ex h;
        h.typepacket = kTypeRaw2;
        h.count = 1000000 + i;
        h.AllPacket = 1;
        h.TPacket = 1;
        std::memcpy(h.TID, tid, 16);
        std::vector<uint8_t> p = MakePayload(std::string(40, 'r'));
        h.Size = static_cast<uint32_t>(p.size());
        h.sizepacket = static_cast<uint32_t>(p.size());
        d = BuildDatagram(h, p.data(), p.size());
      } else {
        const std::string text =
            i % 2 ? "{\"$c$\":\"foreignprobe\",\"n\":" + std::to_string(i) + "}"
                  : "{\"$c$\":\"refreshdatadatabase\",\"name\":\"object\",\"pos\":\"1\"}";
        d = BuildTextDatagram(text, 1000000 + i, tid, i % 3 ? kTypeText : kTypeLink);
      }
      foreign.SendTo(to, d.data(), d.size());
      if (i % 500 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ExpectBounded(*w.link);
    EXPECT_FALSE(w.SawNotice("foreignprobe"));
    EXPECT_FALSE(w.SawNotice("disconnected"));
    EXPECT_TRUE(w.link->Connected.load());
    EXPECT_TRUE(w.link->DatabaseLoad.load());
    // The real server is still heard: a change it pushes arrives.
    ASSERT_TRUE(server->EditRecord("object", 3, {{"address", "after the flood"}}));
    EXPECT_TRUE(Eventually([&] {
      return w.Text("object", 6, 3) == "after the flood" || TablesDiffer(w, *server).empty();
    }));
    EXPECT_EQ(TablesDiffer(w, *server), "");
    EXPECT_FALSE(w.SawNotice("foreignprobe"));
    EXPECT_FALSE(w.SawNotice("disconnected"));
  }
  server.reset();
  std::filesystem::remove_all(sdir);
  std::filesystem::remove_all(wdir);
}

// A stand-in "server" socket the link is pointed at: garbage from it is
// dropped, and a valid text from it still gets through afterwards.
TEST(FloodTest, GarbageFromTheServerAddressIsDropped) {
  plat::UdpSocket fake;
  ASSERT_TRUE(fake.Open(0, Loopback()));
  const std::string wdir = FreshDir("w");
  std::filesystem::create_directories(wdir);
  {
    client_udp link(kLinkId, fake.LocalPort(), "127.0.0.1", wdir);
    ASSERT_TRUE(link.Started());
    link.SetCredentials("op", kPassword);
    link.Connect = true;
    // The log-in tells the fake server where the link listens.
    plat::Ipv4Addr from;
    uint8_t buf[2048];
    ASSERT_TRUE(Eventually([&] {
      fake.WaitReadable(100);
      return fake.RecvFrom(buf, sizeof buf, from) > 0;
    }));
    const plat::Ipv4Addr to{Loopback(), link.locport};
    const uint8_t tid[16] = {};  // the link's own is its thread's
    std::mt19937 rng(3);
    for (int i = 0; i < 20000; ++i) {
      std::vector<uint8_t> d;
      switch (i % 5) {
        case 0:  // random bytes of any length
          d.resize(rng() % 1600);
          for (auto& b : d) b = static_cast<uint8_t>(rng());
          break;
        case 1: {  // a good datagram with a wrong size field
          d = BuildTextDatagram("{\"$c$\":\"garbageprobe\"}", i, tid);
          d.push_back(0);
          break;
        }
        case 2: {  // a good datagram cut short
          d = BuildTextDatagram("{\"$c$\":\"garbageprobe\"}", i, tid);
          d.resize(d.size() / 2);
          break;
        }
        case 3: {  // one flipped bit in the header
          d = BuildTextDatagram("{\"$c$\":\"garbageprobe\"}", i, tid);
          d[2 + rng() % 4] ^= 0x10;
          break;
        }
        default: {  // an unknown packet type, and a packet claiming a huge message
          zag_ex h;
          h.typepacket = i % 2 ? 77 : kTypeText;
          h.count = i;
          h.AllPacket = 0xFFFFFFF0u;
          h.TPacket = 5;
          h.pos = 0xFFFFFF00u;
          h.Size = 0xFFFFFFF0u;
          std::vector<uint8_t> p = MakePayload(std::string(100, 'g'));
          h.sizepacket = static_cast<uint32_t>(p.size());
          d = BuildDatagram(h, p.data(), p.size());
        }
      }
      fake.SendTo(to, d.data(), d.size());
      if (i % 500 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ExpectBounded(link);
    std::vector<std::string> seen;
    std::string m;
    while (link.ReadJSON.GetSoobD(m)) seen.push_back(m);
    for (const auto& s : seen) EXPECT_NE(GetValueFromJSON(s, "$c$"), "garbageprobe") << s;
    // After all that a sound text from the server still gets through.
    std::vector<uint8_t> ok = BuildTextDatagram("{\"$c$\":\"soundprobe\"}", 5000000, tid);
    EXPECT_TRUE(Eventually(
        [&] {
          fake.SendTo(to, ok.data(), ok.size());
          std::string t;
          while (link.ReadJSON.GetSoobD(t))
            if (GetValueFromJSON(t, "$c$") == "soundprobe") return true;
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
          return false;
        },
        20000));
    link.Terminate();
  }
  std::filesystem::remove_all(wdir);
}

}  // namespace
}  // namespace rel
