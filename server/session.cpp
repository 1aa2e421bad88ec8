#include "server/session.h"

#include <algorithm>
#include <cstring>

namespace srv {

namespace {
constexpr size_t kMaxPartials = 64;
constexpr uint64_t kMaxPartialBytes = 256u << 20;
constexpr int64_t kAcceptWaitMs = 1500;
constexpr int kMaxOffers = 10;
constexpr size_t kMaxDoneSet = 20000;
}  // namespace

Session::Session(plat::Ipv4Addr a, int64_t now) : addr(a), last_heard(now), last_sent(now) {}

void Session::ResetIncoming() {
  partial_.clear();
  done_.clear();
  done_floor_ = 0;
  partial_bytes_ = 0;
}

void Session::ResetOutgoing() {
  queue_.clear();
  active_ = false;
  item_ = OutItem{};
  phase_ = Phase::kIdle;
  slots_.clear();
  tx_data_ = nullptr;
}

bool Session::IsDone(int64_t count) const {
  return count <= done_floor_ || done_.count(count);
}

void Session::MarkDone(int64_t count) {
  done_.insert(count);
  while (!done_.empty() && *done_.begin() <= done_floor_ + 1) {
    done_floor_ = std::max(done_floor_, *done_.begin());
    done_.erase(done_.begin());
  }
  // A sender that skips numbers must not make the set grow without bound.
  while (done_.size() > kMaxDoneSet) {
    done_floor_ = *done_.begin();
    done_.erase(done_.begin());
  }
}

bool Session::Receive(const zag_ex& h, const Bytes& data, std::vector<InMessage>& done) {
  if (h.count <= 0) return true;
  if (h.AllPacket == 1) {
    if (IsDone(h.count)) return true;
    MarkDone(h.count);
    done.push_back(InMessage{h.typepacket, h.count, data});
    return true;
  }
  const uint32_t size = h.Size, all = h.AllPacket;
  if (all == 0 || size == 0 || size > kMaxMessage || all != (size - 1) / kPacketData + 1 ||
      h.pos % kPacketData != 0 || h.pos >= size || data.empty() ||
      data.size() != std::min<size_t>(kPacketData, size - h.pos))
    return false;
  if (IsDone(h.count)) return true;
  auto it = partial_.find(h.count);
  if (it == partial_.end()) {
    if (partial_.size() >= kMaxPartials || partial_bytes_ + size > kMaxPartialBytes) return false;
    Partial p;
    p.type = h.typepacket;
    p.size = size;
    p.all = all;
    p.buf.assign(size, 0);
    p.got.assign(all, false);
    partial_bytes_ += size;
    it = partial_.emplace(h.count, std::move(p)).first;
  }
  Partial& p = it->second;
  if (p.size != size || p.all != all || p.type != h.typepacket) return false;
  const uint32_t idx = h.pos / static_cast<uint32_t>(kPacketData);
  std::memcpy(p.buf.data() + h.pos, data.data(), data.size());
  if (!p.got[idx]) {
    p.got[idx] = true;
    ++p.have;
  }
  if (p.have == p.all) {
    done.push_back(InMessage{p.type, h.count, std::move(p.buf)});
    partial_bytes_ -= p.size;
    partial_.erase(it);
    MarkDone(h.count);
  }
  return true;
}

void Session::StartTransfer(uint8_t type, const Bytes* data, int64_t /*now*/) {
  tx_type_ = type;
  tx_data_ = data;
  tx_count_ = ++count_out_;
  tx_packets_ = data->empty() ? 1 : static_cast<uint32_t>((data->size() - 1) / kPacketData + 1);
  next_k_ = serial_ = acked_ = 0;
  slots_.assign(kWindow, Slot{});
}

void Session::FinishItem(int64_t /*now*/) {
  auto done = std::move(item_.on_done);
  active_ = false;
  phase_ = Phase::kIdle;
  item_ = OutItem{};
  tx_data_ = nullptr;
  slots_.clear();
  if (done) done();
}

void Session::AcceptFile(int64_t now) {
  if (!active_ || (phase_ != Phase::kWaitAccept && phase_ != Phase::kOffer)) return;
  phase_ = Phase::kFileData;
  StartTransfer(kTypeFile, &item_.data, now);
}

void Session::OnAck(const zag_ex& h, int64_t now) {
  if (!active_ || !tx_data_ || h.count != tx_count_) return;
  for (Slot& s : slots_) {
    if (!s.used || s.tpacket != h.TPacket) continue;
    if (s.tx == 1) srtt_ = 0.875 * srtt_ + 0.125 * static_cast<double>(now - s.sent_at);
    s = Slot{};
    ++acked_;
    break;
  }
  if (next_k_ < tx_packets_ || acked_ < tx_packets_) return;
  if (phase_ == Phase::kOffer) {
    phase_ = Phase::kWaitAccept;
    wait_until_ = now + kAcceptWaitMs;
    tx_data_ = nullptr;
    slots_.clear();
  } else {
    FinishItem(now);
  }
}

void Session::SendPacket(Slot& s, int64_t now, const SendFn& send) {
  zag_ex h;
  h.typepacket = tx_type_;
  h.pos = s.k * static_cast<uint32_t>(kPacketData);
  h.Size = static_cast<uint32_t>(tx_data_->size());
  h.count = tx_count_;
  h.AllPacket = tx_packets_;
  h.TPacket = s.tpacket;
  std::memcpy(h.TID, tidb, 16);
  size_t len =
      std::min<size_t>(kPacketData, tx_data_->size() - std::min<size_t>(h.pos, tx_data_->size()));
  Bytes payload = MakePayload(tx_data_->data() + std::min<size_t>(h.pos, tx_data_->size()), len);
  h.sizepacket = static_cast<uint32_t>(payload.size());
  send(addr, BuildDatagram(h, payload.data(), payload.size()));
  s.sent_at = now;
  last_sent = now;
}

bool Session::Tick(int64_t now, const SendFn& send) {
  if (!active_ && !queue_.empty()) {
    item_ = std::move(queue_.front());
    queue_.pop_front();
    active_ = true;
    offers_ = 0;
    if (item_.type == kTypeFile) {
      phase_ = Phase::kOffer;
      std::string offer = "{\"$c$\":\"sendfile\",\"name\":\"" + JSONString(item_.offer_name) +
                          "\",\"size\":" + std::to_string(item_.data.size()) + "}";
      offer_text_.assign(offer.begin(), offer.end());
      StartTransfer(kTypeText, &offer_text_, now);
    } else {
      phase_ = Phase::kSending;
      StartTransfer(item_.type, &item_.data, now);
    }
  }
  if (!active_) return true;
  if (phase_ == Phase::kWaitAccept) {
    if (now < wait_until_) return true;
    if (++offers_ >= kMaxOffers) {
      FinishItem(now);  // the workstation does not take the file
      return true;
    }
    phase_ = Phase::kOffer;
    StartTransfer(kTypeText, &offer_text_, now);
  }
  if (!tx_data_) return true;
  for (Slot& s : slots_) {
    if (next_k_ >= tx_packets_) break;
    if (s.used) continue;
    s = Slot{};
    s.used = true;
    s.k = next_k_++;
    s.tpacket = ++serial_;
    s.due = now;
  }
  const int64_t rto = std::clamp<int64_t>(static_cast<int64_t>(3 * srtt_) + 20, 50, 2000);
  for (Slot& s : slots_) {
    if (!s.used || s.due > now) continue;
    if (s.tx >= kMaxTransmissions) return false;
    if (s.tx > 0) ++retransmissions_;
    SendPacket(s, now, send);
    ++s.tx;
    s.due = now + std::min<int64_t>(rto << std::min(s.tx - 1, 5), 4000);
  }
  return true;
}

}  // namespace srv
