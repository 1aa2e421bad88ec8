#include "link/send_window.h"

#include <algorithm>
#include <cstring>

#include "foundation/scrambler.h"

TSendWindow::TSendWindow() : slots_(kMaxWindow) {}

void TSendWindow::StartText(const std::string& text, int64_t count) {
  PacketA.assign(text.begin(), text.end());
  PacketSend.CountPacket = (static_cast<int64_t>(text.size()) - 1) / kPacketData + 1;
  PacketSend.Size = static_cast<int64_t>(text.size());
  PacketSend.Percent = 0;
  PacketSend.SFile = false;
  PacketSend.typepacket = kTypeText;
  PacketSend.SoobCountOut = count;
  PacketSend.SendCountPacket = 0;
  PacketSend.start_ = true;
  next_ = 0;
  PacketReSend = 0;
}

void TSendWindow::StartFile(int64_t size, int64_t count) {
  PacketA.clear();
  PacketSend.CountPacket = (size - 1) / static_cast<int64_t>(kPacketData) + 1;
  PacketSend.Size = size;
  PacketSend.SFile = true;
  PacketSend.typepacket = kTypeFile;
  PacketSend.SoobCountOut = count;
  PacketSend.SendCountPacket = 0;
  PacketSend.start_ = true;
  next_ = 0;
}

void TSendWindow::Clear() {
  PacketA.clear();
  for (TSlot& s : slots_) s = TSlot();
  PacketSend.start_ = false;
  PacketSend.SFile = false;
  next_ = 0;
  PacketSend.CountPacket = 0;
}

void TSendWindow::FillSlot(TSlot& s, const Reader& fileReader) {
  s.PacketCC = static_cast<uint32_t>(++PacketSend.SendCountPacket);
  const int64_t pos = next_ * static_cast<int64_t>(kPacketData);
  size_t n = static_cast<size_t>(std::min<int64_t>(kPacketData, PacketSend.Size - pos));
  s.PacketS.assign(n + 2, 0);
  if (PacketSend.SFile) {
    size_t got = fileReader ? fileReader(pos, s.PacketS.data() + 2, n) : 0;
    s.PacketS.resize(got + 2);
  } else if (n > 0) {
    std::memcpy(s.PacketS.data() + 2, PacketA.data() + pos, n);
  }
  MakeSeeds(s.PacketS.data());
  EnDec(s.PacketS, kScramblerKey);
  s.PacketSm = static_cast<uint32_t>(pos);
  s.PacketCountSe = 0;
  s.PacketTime = 0;
  s.PacketTimeSend = 0;
  ++next_;
}

int TSendWindow::Fill(const Reader& fileReader) {
  if (!PacketSend.start_) return 0;
  int filled = 0;
  for (int i = 0; i < window_ && next_ < PacketSend.CountPacket; ++i) {
    if (!slots_[i].Free()) continue;
    FillSlot(slots_[i], fileReader);
    ++filled;
    if (PacketSend.SFile) break;
  }
  return filled;
}

bool TSendWindow::Transmit(int64_t now, const uint8_t tid[16], const Sender& send, int& sent) {
  sent = 0;
  if (!PacketSend.start_) return true;
  for (TSlot& s : slots_) {
    if (s.Free() || now < s.PacketTime) continue;
    s.PacketTime = now + PacketTimeOut;
    ++s.PacketCountSe;
    if (s.PacketCountSe > kMaxSends) {
      Clear();
      return false;
    }
    if (s.PacketCountSe > 1) {
      ++PacketReSend;
      ++CountReSend;
    }
    zag_ex h;
    h.typepacket = PacketSend.SFile ? kTypeFile : kTypeText;
    h.sizepacket = static_cast<uint32_t>(s.PacketS.size());
    h.pos = s.PacketSm;
    h.Size = static_cast<uint32_t>(PacketSend.Size);
    h.count = PacketSend.SoobCountOut;
    h.AllPacket = static_cast<uint32_t>(PacketSend.CountPacket);
    h.TPacket = s.PacketCC;
    std::memcpy(h.TID, tid, 16);
    size_t n = BuildDatagram(h, s.PacketS.data(), s.PacketS.size(), SendBuf);
    if (send) send(SendBuf, n);
    s.PacketTimeSend = now;
    ++sent;
  }
  return true;
}

void TSendWindow::OnAck(int64_t packet, uint32_t number, int64_t now) {
  if (!PacketSend.start_ || packet != PacketSend.SoobCountOut || number == 0) return;
  for (TSlot& s : slots_) {
    if (s.Free() || s.PacketCC != number) continue;
    if (s.PacketTimeSend != 0) {
      PacketPing = std::max<int64_t>(1, now - s.PacketTimeSend);
      PacketTimeOutS += PacketPing;
      ++PacketTimeOutC;
      if (PacketSend.CountPacket > 0)
        PacketSend.Percent = static_cast<int>(next_ * 100 / PacketSend.CountPacket);
    }
    s = TSlot();
    return;
  }
}

bool TSendWindow::Complete() const {
  if (!PacketSend.start_ || next_ < PacketSend.CountPacket) return false;
  return BusySlots() == 0;
}

int TSendWindow::BusySlots() const {
  int n = 0;
  for (const TSlot& s : slots_)
    if (!s.Free()) ++n;
  return n;
}

void TSendWindow::MaybeAdapt(int64_t now) {
  if (now - lastAdapt_ < 1000) return;
  lastAdapt_ = now;
  Adapt();
}

void TSendWindow::Adapt() {
  const bool fast = PacketPing < 15;
  if (fast && window_ != kStartWindow) SetWindow(kStartWindow);
  if (PacketTimeOutC > 100) {
    PacketTimeOut = std::max<int64_t>(kMinTimeOut, PacketTimeOutS / PacketTimeOutC * 6);
    PacketTimeOutS = 0;
    PacketTimeOutC = 0;
  }
  // A fast link keeps the standard window; only a slow one earns a larger one.
  if (!fast && PacketTimeOut >= 100 && PacketTimeOut > window_) {
    int target = static_cast<int>(std::min<int64_t>(PacketTimeOut, kMaxWindow));
    if (window_ < target) SetWindow((window_ + target) / 2);
  }
}

void TSendWindow::SetWindow(int n) {
  window_ = std::clamp(n, 1, kMaxWindow);
}

void TSendWindow::AfterLogin(int64_t loginDelayMs) {
  SetWindow(kStartWindow);
  PacketTimeOut = std::max<int64_t>(kMinTimeOut, 3 * loginDelayMs);
}
