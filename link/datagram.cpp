#include "link/datagram.h"

#include <cstring>

#include "foundation/scrambler.h"

namespace {

// Seed bytes only vary the scrambler's stream; they protect nothing, so a
// fast generator per thread does (a system random call per datagram costs
// as much as sending it).
void Seeds(uint8_t* out) {
  thread_local uint64_t s = [] {
    uint64_t v = 0;
    uint8_t b[8];
    Random2Byte(b);
    Random2Byte(b + 2);
    Random2Byte(b + 4);
    Random2Byte(b + 6);
    for (uint8_t x : b) v = (v << 8) | x;
    return v | 1;
  }();
  s ^= s << 13;
  s ^= s >> 7;
  s ^= s << 17;
  out[0] = static_cast<uint8_t>(s);
  out[1] = static_cast<uint8_t>(s >> 8);
}

}  // namespace

void MakeSeeds(uint8_t* out2) {
  Seeds(out2);
}

void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutLe64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint16_t GetLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t GetLe32(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

uint64_t GetLe64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void EncodeZag(const zag_ex& h, uint8_t* o) {
  PutLe16(o + 0, h.zag);
  o[2] = h.typepacket;
  PutLe32(o + 3, h.sizepacket);
  PutLe32(o + 7, h.SizeFirst);
  PutLe32(o + 11, h.SizeSecond);
  PutLe32(o + 15, h.pos);
  PutLe32(o + 19, h.Size);
  PutLe64(o + 23, static_cast<uint64_t>(h.count));
  PutLe32(o + 31, h.AllPacket);
  PutLe32(o + 35, h.TPacket);
  std::memcpy(o + 39, h.TID, 16);
}

zag_ex DecodeZag(const uint8_t* in) {
  zag_ex h;
  h.zag = GetLe16(in + 0);
  h.typepacket = in[2];
  h.sizepacket = GetLe32(in + 3);
  h.SizeFirst = GetLe32(in + 7);
  h.SizeSecond = GetLe32(in + 11);
  h.pos = GetLe32(in + 15);
  h.Size = GetLe32(in + 19);
  h.count = static_cast<int64_t>(GetLe64(in + 23));
  h.AllPacket = GetLe32(in + 31);
  h.TPacket = GetLe32(in + 35);
  std::memcpy(h.TID, in + 39, 16);
  return h;
}

size_t BuildDatagram(const zag_ex& h, const uint8_t* payload, size_t n, uint8_t* out) {
  Seeds(out);
  EncodeZag(h, out + 2);
  EnDecS(out, kZagSize, kScramblerKey);
  if (n > 0 && payload != nullptr) std::memcpy(out + kDatagramHead, payload, n);
  return kDatagramHead + n;
}

std::vector<uint8_t> BuildDatagram(const zag_ex& h, const uint8_t* payload, size_t n) {
  std::vector<uint8_t> out(kDatagramHead + n);
  BuildDatagram(h, payload, n, out.data());
  return out;
}

std::vector<uint8_t> MakePayload(const uint8_t* data, size_t n) {
  std::vector<uint8_t> out(n + 2);
  Seeds(out.data());
  if (n > 0) std::memcpy(out.data() + 2, data, n);
  EnDec(out, kScramblerKey);
  return out;
}

bool DecodeDatagram(const uint8_t* data, size_t len, zag_ex& h) {
  if (data == nullptr || len < kDatagramHead || len > kMaxDatagram) return false;
  uint8_t head[kDatagramHead];
  std::memcpy(head, data, kDatagramHead);
  EnDecS(head, kZagSize, kScramblerKey);
  zag_ex d = DecodeZag(head + 2);
  if (d.zag != kZagMagic) return false;
  if (static_cast<uint64_t>(d.sizepacket) + kDatagramHead != len) return false;
  h = d;
  return true;
}

std::vector<uint8_t> DatagramData(const uint8_t* data, size_t len, const zag_ex& h) {
  std::vector<uint8_t> out;
  size_t n = h.sizepacket;
  if (len < kDatagramHead || n > len - kDatagramHead || n < 3) return out;
  std::vector<uint8_t> payload(data + kDatagramHead, data + kDatagramHead + n);
  EnDec(payload, kScramblerKey);
  out.assign(payload.begin() + 2, payload.end());
  return out;
}

std::vector<uint8_t> BuildAck(const zag_ex& received) {
  zag_ex a = received;
  a.typepacket = kTypeAck;
  a.sizepacket = 0;
  return BuildDatagram(a);
}

std::vector<uint8_t> BuildTextDatagram(std::string_view text, int64_t count, const uint8_t tid[16],
                                       uint8_t type) {
  std::vector<uint8_t> payload = MakePayload(text);
  zag_ex h;
  h.typepacket = type;
  h.sizepacket = static_cast<uint32_t>(payload.size());
  h.pos = 0;
  h.Size = static_cast<uint32_t>(payload.size());
  h.count = count;
  h.AllPacket = 1;
  h.TPacket = 1;
  if (tid != nullptr) std::memcpy(h.TID, tid, 16);
  return BuildDatagram(h, payload.data(), payload.size());
}

void EncodePod(const stru_Pod& p, uint8_t* o) {
  o[0] = p.command;
  std::memcpy(o + 1, p.ip, 16);
  PutLe16(o + 17, p.port);
  PutLe64(o + 19, static_cast<uint64_t>(p.Packet));
  PutLe32(o + 27, p.number);
}

std::vector<uint8_t> EncodePod(const stru_Pod& p) {
  std::vector<uint8_t> out(kPodSize);
  EncodePod(p, out.data());
  return out;
}

bool DecodePod(const uint8_t* data, size_t len, stru_Pod& p) {
  if (data == nullptr || len != kPodSize || data[0] != kSoobAck) return false;
  p.command = data[0];
  std::memcpy(p.ip, data + 1, 16);
  p.port = GetLe16(data + 17);
  p.Packet = static_cast<int64_t>(GetLe64(data + 19));
  p.number = GetLe32(data + 27);
  return true;
}
