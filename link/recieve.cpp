#include "link/recieve.h"

#include <vector>

#include "link/datagram.h"
#include "platform/clock.h"

void recieve::Start() {
  if (thread_.joinable()) return;
  stop_.store(false);
  thread_ = std::thread([this] { Run(); });
}

void recieve::Stop() {
  stop_.store(true);
  // Wake the poll at once with an empty datagram to ourselves; it comes from
  // no server, so it is dropped like any stranger's.
  if (thread_.joinable() && net_.FSocket.IsOpen()) {
    uint32_t lo = 0;
    plat::ParseIpv4("127.0.0.1", lo);
    net_.FSocket.SendTo({lo, net_.FSocket.LocalPort()}, "", 0);
  }
  if (thread_.joinable()) thread_.join();
}

void recieve::Run() {
  std::vector<uint8_t> buf(65536);
  while (!stop_.load()) {
    plat::Ipv4Addr from;
    int len = net_.FSocket.RecvFrom(buf.data(), buf.size(), from);
    if (len < 0) {
      // Nothing waiting: sleep in poll until a datagram comes (Stop sends one).
      net_.FSocket.WaitReadable(1000);
      continue;
    }
    Handle(buf.data(), len, from);
  }
}

void recieve::SendPod(const zag_ex& h) {
  std::vector<uint8_t> ack = BuildAck(h);
  net_.Send(ack.data(), ack.size());
}

void recieve::Handle(const uint8_t* data, int len, const plat::Ipv4Addr& from) {
  if (!net_.FromServer(from)) return;
  net_.datagramsIn.fetch_add(1, std::memory_order_relaxed);
  if (len == 0) {
    net_.keepAlive.store(plat::TickMs());
    return;
  }
  zag_ex h;
  if (len < 0 || !DecodeDatagram(data, static_cast<size_t>(len), h)) return;
  const uint8_t type = h.typepacket;
  if (type == kTypeProbe) {
    net_.keepAlive.store(plat::TickMs());
    return;
  }
  if (type == kTypeAck) {
    stru_Pod p;
    p.Packet = h.count;
    p.number = h.TPacket;
    std::vector<uint8_t> rec = EncodePod(p);
    if (net_.soobE.PutSoob(rec)) net_.waker.Wake();
    return;
  }
  if (type > kTypeRaw3 && type != kTypeLink) return;
  std::vector<uint8_t> rec(static_cast<size_t>(len) + 1);
  rec[0] = type == kTypeLink ? kSoobLink : kSoobData;
  std::copy(data, data + len, rec.begin() + 1);
  if (type == kTypeLink || h.count >= LastCountSoob.load()) {
    if (net_.soobE.PutSoob(rec)) {
      SendPod(h);
      net_.waker.Wake();
    }
  } else {
    // Already delivered: the sender lost our acknowledgement.
    SendPod(h);
  }
  net_.keepAlive.store(plat::TickMs());
}
