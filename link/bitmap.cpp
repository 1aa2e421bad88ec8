#include "link/bitmap.h"

void TPacketBitmap::Create(uint32_t allPacket) {
  packets_ = allPacket;
  bits_.assign(allPacket == 0 ? 0 : (allPacket - 1) / 8 + 1, 0);
  if (allPacket == 0) return;
  uint32_t used = allPacket - (static_cast<uint32_t>(bits_.size()) - 1) * 8;
  for (uint32_t b = used; b < 8; ++b) bits_.back() |= static_cast<uint8_t>(1u << b);
  full_ = bits_.back() == 255 ? 1 : 0;
}

bool TPacketBitmap::SetBit8(uint32_t n, bool& was) {
  was = false;
  if (n == 0 || n > packets_) return false;
  uint8_t& byte = bits_[(n - 1) / 8];
  uint8_t mask = static_cast<uint8_t>(1u << ((n - 1) % 8));
  was = (byte & mask) != 0;
  if (!was) {
    byte |= mask;
    if (byte == 255) ++full_;
  }
  return true;
}

bool TPacketBitmap::Complete() const {
  return !bits_.empty() && full_ == bits_.size();
}

int TPacketBitmap::Percent() const {
  if (bits_.empty()) return 100;
  return static_cast<int>(full_ * 100 / bits_.size());
}
