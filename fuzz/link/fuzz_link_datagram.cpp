// Arbitrary datagrams through the receiving thread's validation and the link
// thread's reassembly, and arbitrary records straight into reassembly.
//
// Input: chunks of [mode byte][u16 length][bytes]. Mode 0: the bytes are a
// datagram from the server. Mode 1: the bytes describe a well-formed header
// and data (so that fuzzing reaches the reassembly rules past the scrambled
// magic). Mode 2: the bytes are a record of the receive FIFO.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "link/bitmap.h"
#include "link/datagram.h"
#include "link/reassembly.h"
#include "link/recieve.h"

namespace {

const plat::Ipv4Addr kServer{0x7F000001, 9010};

void Drain(TLinkNet& net, TReassembly& r, TPacketBitmap& file) {
  std::vector<uint8_t> rec;
  while (net.soobE.GetSoobD(rec)) {
    TAssembled a = r.Take(rec.data(), rec.size());
    if (a.kind == TAssembled::kFilePacket) {
      if (file.Empty() && TReassembly::Consistent(a.h)) file.Create(a.h.AllPacket);
      bool was = false;
      file.SetBit8(a.h.TPacket, was);
      if (file.Complete()) file.Clear();
    } else if (a.kind == TAssembled::kMessage && a.data.size() > (1u << 20)) {
      __builtin_trap();
    }
  }
}

std::vector<uint8_t> Structured(const uint8_t* p, size_t n) {
  if (n < 12) return {};
  static const uint8_t kTypes[8] = {0, 1, 2, 3, 20, 254, 255, 7};
  zag_ex h;
  h.typepacket = kTypes[p[0] & 7];
  const bool wild = p[0] & 0x80;
  uint32_t all = wild ? GetLe32(p + 1) : 1u + p[1] % 9;
  uint32_t per = 1u + p[2] % 200;
  uint32_t tp = wild ? GetLe32(p + 5) : 1u + p[3] % all;
  h.AllPacket = all;
  h.TPacket = tp;
  h.pos = wild ? GetLe32(p + 4) : (tp - 1) * per;
  h.Size = wild ? GetLe32(p + 8) : all * per - p[4] % per;
  h.count = p[9] % 4;
  const uint8_t* data = p + 12;
  size_t len = std::min<size_t>(n - 12, per);
  std::vector<uint8_t> payload = MakePayload(data, len);
  h.sizepacket = static_cast<uint32_t>(payload.size());
  if (p[10] == 0xEE) h.sizepacket ^= 1;
  return BuildDatagram(h, payload.data(), payload.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TLinkNet net;
  net.SetHosts("127.0.0.1");
  net.port = kServer.port;
  recieve rx(net);
  TReassembly r(rx.LastCountSoob, 1u << 20);
  TPacketBitmap file;
  size_t i = 0;
  while (i + 3 <= size) {
    uint8_t mode = data[i] % 3;
    size_t len = std::min<size_t>(GetLe16(data + i + 1) % 1600, size - i - 3);
    const uint8_t* chunk = data + i + 3;
    i += 3 + len;
    if (mode == 0) {
      rx.Handle(chunk, static_cast<int>(len), kServer);
    } else if (mode == 1) {
      std::vector<uint8_t> dg = Structured(chunk, len);
      rx.Handle(dg.data(), static_cast<int>(dg.size()), kServer);
    } else {
      r.Take(chunk, len);
    }
    Drain(net, r, file);
    zag_ex h;
    if (DecodeDatagram(chunk, len, h)) DatagramData(chunk, len, h);
  }
  return 0;
}
