// The windowed sender: one text message or one file in transit, cut into
// packets of 960 data bytes, each held in a slot until acknowledged and sent
// again every PacketTimeOut ms, at most 20 times. The window and the timeout
// adapt to the measured acknowledgement delays.
//
// Pure state: the caller passes the time and a function that puts a datagram
// on the wire, so the rules can be driven by hand.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/datagram.h"

struct stru_packetsb {
  bool start_ = false;  // something is in transit
  bool SFile = false;   // it is a file
  uint8_t typepacket = 0;
  int64_t CountPacket = 0;
  int64_t SendCountPacket = 0;
  int64_t SoobCountOut = 0;
  int64_t Size = 0;
  int Percent = 0;
};

class TSendWindow {
 public:
  static constexpr int kStartWindow = 192;
  static constexpr int kMaxWindow = 250;
  static constexpr int kMaxSends = 20;
  static constexpr int64_t kMinTimeOut = 50;

  struct TSlot {
    std::vector<uint8_t> PacketS;  // scrambled payload; empty = free
    uint32_t PacketSm = 0;
    int64_t PacketTime = 0;
    int64_t PacketTimeSend = 0;
    uint32_t PacketCC = 0;
    uint8_t PacketCountSe = 0;
    bool Free() const { return PacketS.empty(); }
  };
  using Sender = std::function<void(const uint8_t*, size_t)>;
  // Reads n bytes at pos of the file in transit into buf; returns bytes read.
  using Reader = std::function<size_t(int64_t pos, uint8_t* buf, size_t n)>;

  TSendWindow();

  // A text message (not empty) becomes the transit, numbered count.
  void StartText(const std::string& text, int64_t count);
  // A file of size bytes, accepted by the server, numbered count.
  void StartFile(int64_t size, int64_t count);
  // The transit ends (completion, give-up or loss of the connection).
  void Clear();

  // Hands out packets to free slots: all free slots for a text, one for a
  // file. Returns the number of slots filled.
  int Fill(const Reader& fileReader);
  // Sends every due slot. False when a packet was due for the 21st time: the
  // transit is cleared and the connection is to be declared lost.
  bool Transmit(int64_t now, const uint8_t tid[16], const Sender& send, int& sent);
  // An acknowledgement of packet `number` of message `packet`.
  void OnAck(int64_t packet, uint32_t number, int64_t now);
  // Every packet handed out and acknowledged.
  bool Complete() const;
  // The adaptation rules, at most once per second while a text is handed out.
  void MaybeAdapt(int64_t now);
  void Adapt();
  // Resizes the window; slots that still hold a packet are kept until acknowledged.
  void SetWindow(int n);
  // After a log-in: 192 slots, timeout 3 x the log-in delay (at least 50 ms).
  void AfterLogin(int64_t loginDelayMs);

  int CountPacketToSend() const { return window_; }
  int64_t NextPacket() const { return next_; }
  bool HandedOut() const { return next_ >= PacketSend.CountPacket; }
  int BusySlots() const;
  const std::vector<TSlot>& Slots() const { return slots_; }

  stru_packetsb PacketSend;
  std::vector<uint8_t> PacketA;
  int64_t PacketTimeOut = 4000;
  int64_t PacketTimeOutS = 0;
  int64_t PacketTimeOutC = 0;
  int64_t PacketPing = 0;
  int64_t PacketReSend = 0;
  int64_t CountReSend = 0;

 private:
  void FillSlot(TSlot& s, const Reader& fileReader);
  std::vector<TSlot> slots_;
  int window_ = kStartWindow;
  int64_t next_ = 0;
  int64_t lastAdapt_ = 0;
  uint8_t SendBuf[kMaxSendDatagram] = {};
};
