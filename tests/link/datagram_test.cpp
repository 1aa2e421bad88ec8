#include "link/datagram.h"

#include <gtest/gtest.h>

#include <cstring>

#include "foundation/scrambler.h"
#include "link/bitmap.h"

namespace {

zag_ex SampleHeader() {
  zag_ex h;
  h.typepacket = 1;
  h.sizepacket = 0x11223344;
  h.pos = 0x0A0B0C0D;
  h.Size = 0x01020304;
  h.count = 0x0102030405060708LL;
  h.AllPacket = 0x99;
  h.TPacket = 0x42;
  for (int i = 0; i < 16; ++i) h.TID[i] = static_cast<uint8_t>(0xF0 + i);
  return h;
}

TEST(Datagram, HeaderBytesAreLittleEndianAndPacked) {
  uint8_t b[kZagSize];
  EncodeZag(SampleHeader(), b);
  const uint8_t expect[kZagSize] = {
      0xAA, 0xFF, 0x01, 0x44, 0x33, 0x22, 0x11, 0,
      0,    0,    0,    0,    0,    0,    0,           // zag, type, size, 2x0
      0x0D, 0x0C, 0x0B, 0x0A, 0x04, 0x03, 0x02, 0x01,  // pos, Size
      0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,  // count
      0x99, 0,    0,    0,    0x42, 0,    0,    0,     // AllPacket, TPacket
      0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7,
      0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
  EXPECT_EQ(0, std::memcmp(b, expect, kZagSize));
  EXPECT_EQ(DecodeZag(b), SampleHeader());
}

TEST(Datagram, HeaderIsScrambledWithTheLeadingSeeds) {
  zag_ex h = SampleHeader();
  h.sizepacket = 3;
  const uint8_t payload[3] = {1, 2, 3};
  std::vector<uint8_t> dg = BuildDatagram(h, payload, 3);
  ASSERT_EQ(dg.size(), 60u);
  std::vector<uint8_t> head(dg.begin(), dg.begin() + 57);
  EnDecS(head.data(), 55, 1);
  uint8_t plain[kZagSize];
  EncodeZag(h, plain);
  EXPECT_EQ(0, std::memcmp(head.data() + 2, plain, kZagSize));
  EXPECT_EQ(dg[57], 1);
  EXPECT_EQ(dg[59], 3);
}

TEST(Datagram, EnDecTwiceRestoresTheBuffer) {
  std::vector<uint8_t> buf(1019);
  for (size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> orig = buf;
  EnDec(buf, 1);
  EXPECT_NE(buf, orig);
  EXPECT_EQ(buf[0], orig[0]);
  EnDec(buf, 1);
  EXPECT_EQ(buf, orig);
}

TEST(Datagram, ValidationByLengthMagicAndSize) {
  struct Case {
    const char* what;
    size_t payload;     // bytes after the header
    int64_t sizeDelta;  // sizepacket minus payload
    uint16_t zag;
    bool valid;
  };
  const Case cases[] = {
      {"bare acknowledgement", 0, 0, kZagMagic, true},
      {"full data packet", 962, 0, kZagMagic, true},
      {"longest accepted", 1499 - 57, 0, kZagMagic, true},
      {"1500 bytes", 1500 - 57, 0, kZagMagic, false},
      {"sizepacket one short", 10, -1, kZagMagic, false},
      {"sizepacket one long", 10, 1, kZagMagic, false},
      {"wrong magic", 10, 0, 0xFFAB, false},
  };
  for (const Case& c : cases) {
    zag_ex h;
    h.zag = c.zag;
    h.typepacket = kTypeText;
    h.sizepacket = static_cast<uint32_t>(static_cast<int64_t>(c.payload) + c.sizeDelta);
    std::vector<uint8_t> payload(c.payload, 0x5A);
    std::vector<uint8_t> dg = BuildDatagram(h, payload.data(), payload.size());
    zag_ex got;
    EXPECT_EQ(DecodeDatagram(dg.data(), dg.size(), got), c.valid) << c.what;
  }
  std::vector<uint8_t> shortDg(56, 0);
  zag_ex got;
  EXPECT_FALSE(DecodeDatagram(shortDg.data(), shortDg.size(), got));
}

TEST(Datagram, AckEchoesTheHeaderWithType255AndNoPayload) {
  zag_ex h = SampleHeader();
  std::vector<uint8_t> ack = BuildAck(h);
  ASSERT_EQ(ack.size(), 57u);
  zag_ex a;
  ASSERT_TRUE(DecodeDatagram(ack.data(), ack.size(), a));
  zag_ex expect = h;
  expect.typepacket = kTypeAck;
  expect.sizepacket = 0;
  EXPECT_EQ(a, expect);
}

TEST(Datagram, TextDatagramAndItsData) {
  uint8_t tid[16] = {9, 8, 7};
  std::vector<uint8_t> dg = BuildTextDatagram("{\"$c$\":\"x\"}", 5, tid);
  zag_ex h;
  ASSERT_TRUE(DecodeDatagram(dg.data(), dg.size(), h));
  EXPECT_EQ(h.typepacket, kTypeText);
  EXPECT_EQ(h.sizepacket, 13u);
  EXPECT_EQ(h.Size, 13u);  // the payload's length, seeds included
  EXPECT_EQ(h.pos, 0u);
  EXPECT_EQ(h.count, 5);
  EXPECT_EQ(h.AllPacket, 1u);
  EXPECT_EQ(h.TPacket, 1u);
  EXPECT_EQ(h.TID[0], 9);
  std::vector<uint8_t> data = DatagramData(dg.data(), dg.size(), h);
  EXPECT_EQ(std::string(data.begin(), data.end()), "{\"$c$\":\"x\"}");
}

TEST(Datagram, PodRecordRoundTripAndLength) {
  stru_Pod p;
  p.Packet = -3;
  p.number = 77;
  std::vector<uint8_t> b = EncodePod(p);
  ASSERT_EQ(b.size(), 31u);
  EXPECT_EQ(b[0], 0);
  EXPECT_EQ(b[27], 77);
  stru_Pod q;
  ASSERT_TRUE(DecodePod(b.data(), b.size(), q));
  EXPECT_EQ(q.Packet, -3);
  EXPECT_EQ(q.number, 77u);
  EXPECT_FALSE(DecodePod(b.data(), 30, q));
}

TEST(Bitmap, NinePacketsUseTwoBytesTheSecondStartingAt0xFE) {
  TPacketBitmap b;
  b.Create(9);
  ASSERT_EQ(b.Length(), 2u);
  EXPECT_EQ(b.Bits()[0], 0);
  EXPECT_EQ(b.Bits()[1], 0xFE);
  bool was = false;
  for (uint32_t n = 9; n >= 1; --n) {
    EXPECT_FALSE(b.Complete());
    EXPECT_TRUE(b.SetBit8(n, was));
    EXPECT_FALSE(was);
  }
  EXPECT_TRUE(b.Complete());
  EXPECT_TRUE(b.SetBit8(3, was));
  EXPECT_TRUE(was);
  EXPECT_FALSE(b.SetBit8(0, was));
  EXPECT_FALSE(b.SetBit8(10, was));
}

}  // namespace
