#include "link/reassembly.h"

#include <cstring>

void TReassembly::TBuffer::Release() {
  std::vector<uint8_t>().swap(bytes);
  bits.Clear();
  count = 0;
  size = 0;
  all = 0;
  used = false;
}

void TReassembly::Reset() {
  PacketString.Release();
  PacketRAW.Release();
}

bool TReassembly::Consistent(const zag_ex& h) {
  if (h.AllPacket == 0 || h.TPacket == 0 || h.TPacket > h.AllPacket) return false;
  // Every packet but the last carries at least kMinPacketData bytes (senders
  // fill theirs to 960), and none more than a datagram can hold. This keeps
  // the progress bitmap in proportion to the data it describes.
  uint64_t size = h.Size;
  if (h.AllPacket > size / kMinPacketData + 1) return false;
  if (size > static_cast<uint64_t>(h.AllPacket) * kMaxPacketData) return false;
  return true;
}

std::string TReassembly::BadLine(const TBuffer& b, const zag_ex& h, size_t dataLen) const {
  return "-------> " + std::to_string(b.bytes.size()) + " " + std::to_string(h.sizepacket) + " " +
         std::to_string(h.pos) + " " + std::to_string(h.Size) + " " + std::to_string(dataLen) +
         " " + std::to_string(h.AllPacket) + " " + std::to_string(h.count) + " " +
         std::to_string(b.count);
}

TAssembled TReassembly::Take(const uint8_t* rec, size_t len) {
  TAssembled out;
  if (rec == nullptr || len < 1 || (rec[0] != kSoobData && rec[0] != kSoobLink)) return out;
  const uint8_t* dg = rec + 1;
  size_t n = len - 1;
  zag_ex h;
  if (!DecodeDatagram(dg, n, h)) return out;
  const uint8_t type = h.typepacket;
  if (rec[0] == kSoobLink ? type != kTypeLink : type > kTypeRaw3) return out;
  std::vector<uint8_t> data = DatagramData(dg, n, h);
  const bool raw = type == kTypeRaw2 || type == kTypeRaw3;
  const bool filtered = type != kTypeLink;  // type 20 is never taken as a duplicate

  if (type == kTypeFile) {
    if (h.count < LastCountSoob.load()) return out;
    out.kind = TAssembled::kFilePacket;
    out.h = h;
    out.data = std::move(data);
    return out;
  }

  if (raw && (h.sizepacket < 3 || static_cast<uint64_t>(h.pos) + data.size() > h.Size)) {
    out.kind = TAssembled::kBadPacket;
    out.h = h;
    out.log = BadLine(PacketRAW, h, data.size());
    return out;
  }

  if (h.AllPacket == 1) {
    // A copy of a delivered message can still wait in the FIFO behind the
    // first one; taking it again would run its command twice.
    if (filtered && h.count < LastCountSoob.load()) return out;
    if (h.TPacket != 1) return out;
    if (filtered) LastCountSoob.store(h.count + 1);
    out.kind = TAssembled::kMessage;
    out.h = h;
    out.data = std::move(data);
    return out;
  }
  if (filtered && h.count < LastCountSoob.load()) return out;
  if (h.Size > maxMessage_ || !Consistent(h)) return out;
  TBuffer& b = raw ? PacketRAW : PacketString;
  if (!raw && static_cast<uint64_t>(h.pos) + data.size() > h.Size) {
    out.kind = TAssembled::kBadPacket;
    out.h = h;
    out.log = BadLine(b, h, data.size());
    return out;
  }
  return AddPart(b, h, std::move(data), raw);
}

TAssembled TReassembly::AddPart(TBuffer& b, const zag_ex& h, std::vector<uint8_t>&& data,
                                bool /*raw*/) {
  TAssembled out;
  if (b.used && (b.count != h.count || b.size != h.Size || b.all != h.AllPacket)) {
    // Packets of an older message than the one being collected are stale; a
    // newer message means the old one was abandoned by its sender.
    if (h.count <= b.count) return out;
    b.Release();
  }
  if (!b.used) {
    b.bytes.assign(h.Size, 0);
    b.bits.Create(h.AllPacket);
    b.count = h.count;
    b.size = h.Size;
    b.all = h.AllPacket;
    b.used = true;
  }
  if (!data.empty()) std::memcpy(b.bytes.data() + h.pos, data.data(), data.size());
  bool was = false;
  b.bits.SetBit8(h.TPacket, was);
  if (!b.bits.Complete()) return out;
  if (h.typepacket != kTypeLink) LastCountSoob.store(h.count + 1);
  out.kind = TAssembled::kMessage;
  out.h = h;
  out.multi = true;
  out.data = std::move(b.bytes);
  b.Release();
  return out;
}
