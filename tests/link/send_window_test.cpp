#include "link/send_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Wire {
  std::vector<zag_ex> headers;
  std::vector<std::vector<uint8_t>> data;
  TSendWindow::Sender Sender() {
    return [this](const uint8_t* d, size_t n) {
      zag_ex h;
      ASSERT_TRUE(DecodeDatagram(d, n, h));
      headers.push_back(h);
      data.push_back(DatagramData(d, n, h));
    };
  }
};

const uint8_t kTid[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

TEST(SendWindow, TextIsCutInto960BytePackets) {
  for (size_t len : {1u, 960u, 961u, 2000u}) {
    TSendWindow w;
    std::string text(len, 'x');
    text[len - 1] = 'z';
    w.StartText(text, 3);
    EXPECT_EQ(w.PacketSend.CountPacket, static_cast<int64_t>((len - 1) / 960 + 1)) << len;
    w.Fill(nullptr);
    Wire wire;
    int sent = 0;
    ASSERT_TRUE(w.Transmit(0, kTid, wire.Sender(), sent));
    ASSERT_EQ(sent, w.PacketSend.CountPacket);
    std::string back;
    for (size_t i = 0; i < wire.headers.size(); ++i) {
      const zag_ex& h = wire.headers[i];
      EXPECT_EQ(h.typepacket, kTypeText);
      EXPECT_EQ(h.pos, i * 960);
      EXPECT_EQ(h.Size, len);
      EXPECT_EQ(h.count, 3);
      EXPECT_EQ(h.AllPacket, w.PacketSend.CountPacket);
      EXPECT_EQ(h.TPacket, i + 1);
      EXPECT_EQ(h.TID[15], 16);
      EXPECT_EQ(h.sizepacket, wire.data[i].size() + 2);
      back += std::string(wire.data[i].begin(), wire.data[i].end());
    }
    EXPECT_EQ(back, text);
    if (len == 961) {
      EXPECT_EQ(wire.data[1].size(), 1u);
    }
    for (const zag_ex& h : wire.headers) w.OnAck(3, h.TPacket, 5);
    EXPECT_TRUE(w.Complete());
  }
}

TEST(SendWindow, TwentyTransmissionsThenGiveUp) {
  TSendWindow w;
  w.PacketTimeOut = 100;
  w.StartText("{}", 1);
  w.Fill(nullptr);
  Wire wire;
  int sent = 0;
  int64_t now = 0;
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(w.Transmit(now, kTid, wire.Sender(), sent));
    ASSERT_EQ(sent, 1) << i;
    ASSERT_TRUE(w.Transmit(now + 99, kTid, wire.Sender(), sent));
    ASSERT_EQ(sent, 0);
    now += 100;
  }
  EXPECT_EQ(wire.headers.size(), 20u);
  EXPECT_EQ(w.PacketReSend, 19);
  EXPECT_FALSE(w.Transmit(now, kTid, wire.Sender(), sent));
  EXPECT_FALSE(w.PacketSend.start_);
  EXPECT_EQ(w.BusySlots(), 0);
}

TEST(SendWindow, AcksOfOtherMessagesOrUnknownPacketsAreIgnored) {
  TSendWindow w;
  w.StartText(std::string(3000, 'a'), 8);
  w.Fill(nullptr);
  Wire wire;
  int sent = 0;
  w.Transmit(10, kTid, wire.Sender(), sent);
  w.OnAck(7, 1, 20);
  w.OnAck(8, 99, 20);
  EXPECT_EQ(w.BusySlots(), 4);
  w.OnAck(8, 2, 30);
  EXPECT_EQ(w.BusySlots(), 3);
  EXPECT_EQ(w.PacketPing, 20);
  EXPECT_EQ(w.PacketSend.Percent, 100);
}

TEST(SendWindow, AdaptationGrowsTheWindowOnASlowLinkAndResetsItOnAFastOne) {
  TSendWindow w;
  w.PacketTimeOutS = 101 * 40;
  w.PacketTimeOutC = 101;
  w.PacketPing = 40;
  w.Adapt();
  EXPECT_EQ(w.PacketTimeOut, 240);
  EXPECT_EQ(w.CountPacketToSend(), 216);
  EXPECT_EQ(w.PacketTimeOutC, 0);
  w.PacketPing = 10;
  w.Adapt();
  EXPECT_EQ(w.CountPacketToSend(), 192);
  // The timeout never falls below 50 ms.
  w.PacketTimeOutS = 101;
  w.PacketTimeOutC = 101;
  w.Adapt();
  EXPECT_EQ(w.PacketTimeOut, 50);
}

TEST(SendWindow, AdaptsAtMostOncePerSecond) {
  TSendWindow w;
  w.PacketPing = 40;
  w.PacketTimeOut = 240;
  w.MaybeAdapt(1000);
  EXPECT_EQ(w.CountPacketToSend(), 216);
  w.MaybeAdapt(1500);
  EXPECT_EQ(w.CountPacketToSend(), 216);
  w.MaybeAdapt(2000);
  EXPECT_EQ(w.CountPacketToSend(), 228);
}

TEST(SendWindow, LoginTimeoutHasA50msFloor) {
  TSendWindow w;
  w.SetWindow(230);
  w.AfterLogin(1);
  EXPECT_EQ(w.PacketTimeOut, 50);
  EXPECT_EQ(w.CountPacketToSend(), 192);
  w.AfterLogin(40);
  EXPECT_EQ(w.PacketTimeOut, 120);
}

TEST(SendWindow, ShrinkingKeepsSlotsThatHoldUnacknowledgedPackets) {
  TSendWindow w;
  w.SetWindow(216);
  w.StartText(std::string(960 * 300, 'q'), 2);
  ASSERT_EQ(w.Fill(nullptr), 216);
  w.SetWindow(192);
  Wire wire;
  int sent = 0;
  w.Transmit(0, kTid, wire.Sender(), sent);
  EXPECT_EQ(sent, 216);
  // Acknowledge everything sent, then the rest goes through 192 slots.
  for (const zag_ex& h : wire.headers) w.OnAck(2, h.TPacket, 1);
  EXPECT_EQ(w.BusySlots(), 0);
  EXPECT_EQ(w.Fill(nullptr), 84);
  wire.headers.clear();
  w.Transmit(2, kTid, wire.Sender(), sent);
  for (const zag_ex& h : wire.headers) w.OnAck(2, h.TPacket, 3);
  EXPECT_TRUE(w.Complete());
}

TEST(SendWindow, FileFillsOneSlotPerPassFromTheReader) {
  std::vector<uint8_t> file(2000);
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i);
  TSendWindow w;
  w.StartFile(static_cast<int64_t>(file.size()), 4);
  auto reader = [&](int64_t pos, uint8_t* buf, size_t n) {
    std::copy(file.begin() + pos, file.begin() + pos + static_cast<int64_t>(n), buf);
    return n;
  };
  EXPECT_EQ(w.Fill(reader), 1);
  EXPECT_EQ(w.Fill(reader), 1);
  EXPECT_EQ(w.Fill(reader), 1);
  EXPECT_EQ(w.Fill(reader), 0);
  Wire wire;
  int sent = 0;
  w.Transmit(0, kTid, wire.Sender(), sent);
  ASSERT_EQ(sent, 3);
  EXPECT_EQ(wire.headers[2].typepacket, kTypeFile);
  EXPECT_EQ(wire.data[2].size(), 80u);
  EXPECT_EQ(wire.data[2][0], file[1920]);
}

TEST(SendWindow, EmptyFileIsOnePacketOfSeedsOnly) {
  TSendWindow w;
  w.StartFile(0, 4);
  EXPECT_EQ(w.PacketSend.CountPacket, 1);
  EXPECT_EQ(w.Fill([](int64_t, uint8_t*, size_t) { return size_t{0}; }), 1);
  Wire wire;
  int sent = 0;
  w.Transmit(0, kTid, wire.Sender(), sent);
  ASSERT_EQ(wire.headers.size(), 1u);
  EXPECT_EQ(wire.headers[0].sizepacket, 2u);
}

}  // namespace
