// Putting received packets back together (link thread). A record from the
// receive FIFO (marker byte + datagram) goes in; what comes out is a complete
// text or raw message, a file packet for the file receiver, or a malformed raw
// packet that ends the connection. Routing of completed texts is the caller's.
//
// Everything here is untrusted input: sizes and counts are checked against the
// buffer and against each other before anything is allocated or copied.
#pragma once
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "link/bitmap.h"
#include "link/datagram.h"

struct TAssembled {
  enum Kind {
    kNothing,     // dropped, or a part of a message still incomplete
    kMessage,     // a complete text (type 0 or 20) or raw message (2, 3)
    kFilePacket,  // one packet of an incoming file (type 1)
    kBadPacket,   // a malformed packet: the connection is to be dropped (code 5)
  };
  Kind kind = kNothing;
  zag_ex h;
  bool multi = false;         // the message came in several packets
  std::vector<uint8_t> data;  // message bytes, or the packet's data bytes
  std::string log;            // for kBadPacket: the log line
};

class TReassembly {
 public:
  // Texts and raw messages are held in memory; nothing larger is accepted.
  static constexpr uint32_t kMaxMessage = 64u << 20;
  // The most data bytes one datagram can carry.
  static constexpr uint32_t kMaxPacketData = kMaxDatagram - kDatagramHead - 2;
  static constexpr uint32_t kMinPacketData = 64;

  // maxMessage below kMaxMessage only narrows what is accepted (the fuzzer's
  // way to stay fast).
  explicit TReassembly(std::atomic<int64_t>& lastCountSoob, uint32_t maxMessage = kMaxMessage)
      : LastCountSoob(lastCountSoob), maxMessage_(std::min(maxMessage, kMaxMessage)) {}

  TAssembled Take(const uint8_t* rec, size_t len);
  // Drops partial messages (the connection was lost).
  void Reset();

  // True when AllPacket and TPacket are possible for a message of Size bytes.
  static bool Consistent(const zag_ex& h);

 private:
  struct TBuffer {
    std::vector<uint8_t> bytes;
    TPacketBitmap bits;
    int64_t count = 0;
    uint32_t size = 0;
    uint32_t all = 0;
    bool used = false;
    void Release();
  };
  TAssembled AddPart(TBuffer& b, const zag_ex& h, std::vector<uint8_t>&& data, bool raw);
  std::string BadLine(const TBuffer& b, const zag_ex& h, size_t dataLen) const;

  std::atomic<int64_t>& LastCountSoob;
  const uint32_t maxMessage_;
  TBuffer PacketString;  // multi-packet texts (types 0 and 20)
  TBuffer PacketRAW;     // multi-packet raw messages (types 2 and 3)
};
