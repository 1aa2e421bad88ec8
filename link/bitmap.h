// Progress of a multi-packet message or file: one bit per packet (`SetBit8`).
// Packet n (1-based) is bit (n-1) mod 8 of byte (n-1) div 8; the bits of the
// last byte beyond the packet count are set at creation, so the message is
// complete when every byte is 255.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class TPacketBitmap {
 public:
  void Create(uint32_t allPacket);
  void Clear() {
    bits_.clear();
    full_ = 0;
  }
  bool Empty() const { return bits_.empty(); }
  size_t Length() const { return bits_.size(); }
  uint32_t Packets() const { return packets_; }
  // Sets packet n's bit. False when n is outside 1..Packets(); `was` tells
  // whether the bit was already set.
  bool SetBit8(uint32_t n, bool& was);
  bool Complete() const;
  // 100 x complete bytes div length.
  int Percent() const;
  const std::vector<uint8_t>& Bits() const { return bits_; }

 private:
  std::vector<uint8_t> bits_;
  uint32_t packets_ = 0;
  size_t full_ = 0;  // bytes equal to 255, kept so progress is O(1) per packet
};
