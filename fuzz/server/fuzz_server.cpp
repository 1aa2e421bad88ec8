// The server's datagram and message handling fed arbitrary bytes, without
// sockets. The input is a list of steps: [kind][length, 2 bytes][bytes]:
//   kind 0: the bytes as one datagram
//   kind 1: the bytes as a text message cut into valid packets (after a log-in)
//   kind 2: time moves on by the first byte times 50 ms
// Everything the server sends is acknowledged back, so transfers run to the end.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "link/datagram.h"
#include "server/core.h"
#include "server/log.h"

namespace {

struct World {
  srv::ServerCore core;
  std::vector<std::vector<uint8_t>> sent;
  explicit World(const srv::CoreOptions& o) : core(o) {}
};

World& TheWorld() {
  static World* w = [] {
    srv::SetLogLevel(srv::LogLevel::kQuiet);
    srv::CoreOptions o;
    o.data_dir = (std::filesystem::temp_directory_path() /
                  ("svcdesk-fuzz-server-" + std::to_string(getpid())))
                     .string();
    o.history_name = "hx8_20261211";
    auto* world = new World(o);
    world->core.Open();
    world->core.store().AddUser("u", "p");
    world->core.store().Add("photo", {{"numobj", "1"}, {"file", "a.jpg"}});
    srv::HistoryEvent e;
    e.technician = "t";
    world->core.AppendHistory(e);
    world->core.SetSender([world](const plat::Ipv4Addr&, const std::vector<uint8_t>& d) {
      if (world->sent.size() < 4096) world->sent.push_back(d);
    });
    return world;
  }();
  return *w;
}

void SendText(World& w, const plat::Ipv4Addr& from, const std::string& text, int64_t& count,
              const uint8_t tid[16], int64_t now) {
  if (text.empty()) return;
  ++count;
  const uint32_t all = static_cast<uint32_t>((text.size() - 1) / kPacketData + 1);
  for (uint32_t k = 0; k < all; ++k) {
    zag_ex h;
    h.pos = k * static_cast<uint32_t>(kPacketData);
    h.Size = static_cast<uint32_t>(text.size());
    h.count = count;
    h.AllPacket = all;
    h.TPacket = k + 1;
    std::memcpy(h.TID, tid, 16);
    size_t len = std::min<size_t>(kPacketData, text.size() - h.pos);
    auto payload = MakePayload(reinterpret_cast<const uint8_t*>(text.data()) + h.pos, len);
    h.sizepacket = static_cast<uint32_t>(payload.size());
    auto dg = BuildDatagram(h, payload.data(), payload.size());
    w.core.HandleDatagram(from, dg.data(), dg.size(), now);
  }
}

// Acknowledges what the server sent; remembers the token of a "regok".
void Answer(World& w, const plat::Ipv4Addr& from, uint8_t tid[16], int64_t now) {
  for (int round = 0; round < 8 && !w.sent.empty(); ++round) {
    auto sent = std::move(w.sent);
    w.sent.clear();
    for (const auto& d : sent) {
      zag_ex h;
      if (!DecodeDatagram(d.data(), d.size(), h) || h.typepacket == kTypeProbe) continue;
      if (h.typepacket == kTypeText && h.AllPacket == 1) {
        auto data = DatagramData(d.data(), d.size(), h);
        std::string t(data.begin(), data.end());
        if (t.find("\"regok\"") != std::string::npos) std::memcpy(tid, h.TID, 16);
      }
      auto ack = BuildAck(h);
      w.core.HandleDatagram(from, ack.data(), ack.size(), now);
    }
    w.core.Tick(now);
  }
  w.sent.clear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  World& w = TheWorld();
  static uint16_t port = 1000;
  static int64_t now = 1000000;
  plat::Ipv4Addr from{0x7F000001u, ++port};
  uint8_t tid[16] = {};
  int64_t count = 0;
  bool logged_in = false;
  size_t p = 0;
  while (p + 3 <= size) {
    uint8_t kind = data[p];
    size_t n = std::min<size_t>(size - p - 3, data[p + 1] | data[p + 2] << 8);
    const uint8_t* body = data + p + 3;
    p += 3 + n;
    switch (kind % 3) {
      case 0:
        w.core.HandleDatagram(from, body, n, now);
        break;
      case 1:
        if (!logged_in) {
          SendText(w, from,
                   "{\"$c$\":\"reg\",\"id\":\"x\",\"username\":\"u\",\"password\":\"p\","
                   "\"keepalive\":1,\"zip\":0,\"ver\":\"1\"}",
                   count, tid, now);
          Answer(w, from, tid, now);
          logged_in = true;
        }
        SendText(w, from, std::string(reinterpret_cast<const char*>(body), n), count, tid, now);
        break;
      case 2:
        now += (n ? body[0] : 1) * 50;
        w.core.Tick(now);
        break;
    }
    Answer(w, from, tid, now);
  }
  // Every session of this input falls silent and is forgotten.
  now += 60000;
  w.core.Tick(now);
  w.sent.clear();
  return 0;
}
