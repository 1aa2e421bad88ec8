// The datagram of the server protocol: two seed bytes, the 55-byte header
// `zag_ex` scrambled with those seeds, then the payload, which carries its own
// two seed bytes. Both ends of the link (the workstation and the stand-in
// server) build and read datagrams through these routines only.
//
// Integers are little-endian and the header is packed; it is encoded field by
// field, never by copying a struct.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Layout sizes.
inline constexpr size_t kZagSize = 55;        // the header
inline constexpr size_t kDatagramHead = 57;   // seeds + header
inline constexpr size_t kMaxDatagram = 1499;  // longest datagram accepted
inline constexpr size_t kPacketData = 960;    // data bytes per packet
inline constexpr size_t kMaxPayload = 962;    // seeds + data
inline constexpr size_t kMaxSendDatagram = 1019;
inline constexpr uint16_t kZagMagic = 0xFFAA;  // bytes AA FF on the wire
inline constexpr int kScramblerKey = 1;        // the workstation always uses table 1

// Packet types (`typepacket`).
enum PacketType : uint8_t {
  kTypeText = 0,     // JSON text, possibly in several packets
  kTypeFile = 1,     // file data
  kTypeRaw2 = 2,     // raw records
  kTypeRaw3 = 3,     // raw records
  kTypeLink = 20,    // JSON text for the link's own dispatcher, never filtered as duplicate
  kTypeProbe = 254,  // the server is alive; no payload, no answer
  kTypeAck = 255,    // acknowledgement: the received header echoed, sizepacket 0
};

// The header. Offsets on the wire are given beside each field.
struct zag_ex {
  uint16_t zag = kZagMagic;  // 0
  uint8_t typepacket = 0;    // 2
  uint32_t sizepacket = 0;   // 3: payload length, its seed bytes included
  uint32_t SizeFirst = 0;    // 7
  uint32_t SizeSecond = 0;   // 11
  uint32_t pos = 0;          // 15: offset of this packet's data in the message
  uint32_t Size = 0;         // 19: length of the whole message or file
  int64_t count = 0;         // 23: message number
  uint32_t AllPacket = 0;    // 31: packets in the message
  uint32_t TPacket = 0;      // 35: serial number of this packet
  uint8_t TID[16] = {};      // 39: connection token
  bool operator==(const zag_ex&) const = default;
};

// Plain (unscrambled) 55 bytes <-> header.
void EncodeZag(const zag_ex& h, uint8_t* out55);
zag_ex DecodeZag(const uint8_t* in55);

// Assembles seeds + scrambled header + payload into out (at least 57 + n bytes)
// and returns the datagram length. The payload is copied as given (a data
// payload is already seed-scrambled, see MakePayload). h.sizepacket is written
// as given, so a caller can build malformed datagrams on purpose.
size_t BuildDatagram(const zag_ex& h, const uint8_t* payload, size_t n, uint8_t* out);
std::vector<uint8_t> BuildDatagram(const zag_ex& h, const uint8_t* payload = nullptr, size_t n = 0);

// A data payload: two random seed bytes, the data, scrambled with key 1.
std::vector<uint8_t> MakePayload(const uint8_t* data, size_t n);
inline std::vector<uint8_t> MakePayload(std::string_view text) {
  return MakePayload(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Two seed bytes at out2[0..1] (what Random2Byte does, from a fast generator).
void MakeSeeds(uint8_t* out2);

// Validation of a received datagram: 57 to 1499 bytes, zag 0xFFAA after
// unscrambling, and sizepacket + 57 equal to the length. On success h holds
// the header. The input is not modified.
bool DecodeDatagram(const uint8_t* data, size_t len, zag_ex& h);

// The data bytes of a validated datagram: the payload unscrambled, without its
// two seeds (empty when the payload holds only its seeds or less).
std::vector<uint8_t> DatagramData(const uint8_t* data, size_t len, const zag_ex& h);

// The acknowledgement of a received packet: its header with typepacket 255 and
// sizepacket 0, fresh seeds, 57 bytes.
std::vector<uint8_t> BuildAck(const zag_ex& received);

// A whole text as one datagram of type 0 (what `SendOne` puts on the wire):
// pos 0, Size = payload length, AllPacket 1, TPacket 1.
std::vector<uint8_t> BuildTextDatagram(std::string_view text, int64_t count, const uint8_t tid[16],
                                       uint8_t type = kTypeText);

// The acknowledgement record the receiving thread hands to the link thread
// (31 bytes, marker byte 0 first).
struct stru_Pod {
  uint8_t command = 0;  // 0
  uint8_t ip[16] = {};  // 1: not filled
  uint16_t port = 0;    // 17: not filled
  int64_t Packet = 0;   // 19: the acknowledged count
  uint32_t number = 0;  // 27: the acknowledged TPacket
};
inline constexpr size_t kPodSize = 31;
void EncodePod(const stru_Pod& p, uint8_t* out31);
std::vector<uint8_t> EncodePod(const stru_Pod& p);
// False unless len is exactly 31 and the first byte is 0.
bool DecodePod(const uint8_t* data, size_t len, stru_Pod& p);

// Markers in front of the records on the receive FIFO `soobE`.
inline constexpr uint8_t kSoobAck = 0;    // a stru_Pod
inline constexpr uint8_t kSoobData = 2;   // a datagram of type 0 to 3
inline constexpr uint8_t kSoobLink = 20;  // a datagram of type 20

// Little-endian field access, for the other binary records of the link.
void PutLe16(uint8_t* p, uint16_t v);
void PutLe32(uint8_t* p, uint32_t v);
void PutLe64(uint8_t* p, uint64_t v);
uint16_t GetLe16(const uint8_t* p);
uint32_t GetLe32(const uint8_t* p);
uint64_t GetLe64(const uint8_t* p);
