#include "tests/link/test_peer.h"

#include <cstring>

namespace {

std::string Command(const std::string& text) {
  // Enough JSON for the peer: the value after "$c$":".
  size_t p = text.find("\"$c$\":\"");
  if (p == std::string::npos) return "";
  p += 7;
  size_t e = text.find('"', p);
  return e == std::string::npos ? "" : text.substr(p, e - p);
}

std::string Member(const std::string& text, const std::string& key) {
  size_t p = text.find("\"" + key + "\":\"");
  if (p == std::string::npos) return "";
  p += key.size() + 4;
  std::string out;
  for (; p < text.size() && text[p] != '"'; ++p) {
    if (text[p] == '\\' && p + 1 < text.size()) ++p;
    out += text[p];
  }
  return out;
}

}  // namespace

TestPeer::TestPeer(const std::string& ip, uint16_t port) : rng_(1) {
  uint32_t addr = 0;
  plat::ParseIpv4(ip, addr);
  sock_.Open(port, addr);
  port_ = sock_.LocalPort();
  thread_ = std::thread([this] { Run(); });
}

TestPeer::~TestPeer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

int64_t TestPeer::NowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool TestPeer::Chance(double p) {
  if (p <= 0) return false;
  return std::uniform_real_distribution<double>(0, 1)(rng_) < p;
}

void TestPeer::SetFaults(const Faults& f) {
  std::lock_guard<std::mutex> g(m_);
  faults_ = f;
  rng_.seed(f.seed);
}

void TestPeer::SetWithholdAcks(bool on) {
  std::lock_guard<std::mutex> g(m_);
  withhold_ = on;
}

void TestPeer::SetLogin(Login mode) {
  std::lock_guard<std::mutex> g(m_);
  login_ = mode;
}

void TestPeer::SetRecording(bool on) {
  std::lock_guard<std::mutex> g(m_);
  record_ = on;
}

void TestPeer::SetWindow(int slots, int rto_ms) {
  std::lock_guard<std::mutex> g(m_);
  window_ = slots;
  rto_ = rto_ms;
}

void TestPeer::Send(const std::string& text, uint8_t type) {
  SendBytes(std::vector<uint8_t>(text.begin(), text.end()), type);
}

void TestPeer::SendBytes(const std::vector<uint8_t>& data, uint8_t type) {
  std::lock_guard<std::mutex> g(m_);
  queue_.push_back({type, data});
}

void TestPeer::SendDatagram(const std::vector<uint8_t>& dg) {
  std::lock_guard<std::mutex> g(m_);
  Raw(dg);
}

void TestPeer::SendPacket(zag_ex h, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> payload = MakePayload(data.data(), data.size());
  h.sizepacket = static_cast<uint32_t>(payload.size());
  SendDatagram(BuildDatagram(h, payload.data(), payload.size()));
}

int64_t TestPeer::NextCount() {
  std::lock_guard<std::mutex> g(m_);
  return ++count_;
}

void TestPeer::ServeFile(const std::string& name, std::vector<uint8_t> bytes) {
  std::lock_guard<std::mutex> g(m_);
  served_[name] = std::move(bytes);
}

void TestPeer::OnText(std::function<void(TestPeer&, const std::string&)> f) {
  std::lock_guard<std::mutex> g(m_);
  onText_ = std::move(f);
}

std::vector<std::string> TestPeer::Texts() {
  std::lock_guard<std::mutex> g(m_);
  return texts_;
}

std::vector<TestPeer::Received> TestPeer::Datagrams() {
  std::lock_guard<std::mutex> g(m_);
  return dgrams_;
}

std::map<int64_t, std::vector<uint8_t>> TestPeer::Files() {
  std::lock_guard<std::mutex> g(m_);
  return files_;
}

int TestPeer::Count(const std::string& command) {
  std::lock_guard<std::mutex> g(m_);
  int n = 0;
  for (const std::string& t : texts_)
    if (Command(t) == command) ++n;
  return n;
}

bool TestPeer::Idle() {
  std::lock_guard<std::mutex> g(m_);
  return queue_.empty() && !tr_.active;
}

void TestPeer::ClearRecords() {
  std::lock_guard<std::mutex> g(m_);
  texts_.clear();
  dgrams_.clear();
  files_.clear();
}

bool TestPeer::WaitFor(const std::function<bool()>& pred, int timeout_ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return pred();
}

bool TestPeer::WaitText(const std::string& command, int timeout_ms, std::string* out) {
  return WaitFor(
      [&] {
        std::lock_guard<std::mutex> g(m_);
        for (const std::string& t : texts_)
          if (Command(t) == command) {
            if (out != nullptr) *out = t;
            return true;
          }
        return false;
      },
      timeout_ms);
}

void TestPeer::Raw(const std::vector<uint8_t>& dg) {
  if (client_.port == 0) return;
  sock_.SendTo(client_, dg.data(), dg.size());
}

void TestPeer::Emit(const std::vector<uint8_t>& dg) {
  if (Chance(faults_.loss)) return;
  if (Chance(faults_.reorder)) {
    held_.push_back(dg);
    return;
  }
  Raw(dg);
  if (Chance(faults_.dup)) Raw(dg);
  for (const auto& h : held_) Raw(h);
  held_.clear();
}

void TestPeer::Run() {
  std::vector<uint8_t> buf(65536);
  while (!stop_) {
    int got = 0;
    for (; got < 512; ++got) {
      plat::Ipv4Addr from;
      int n = sock_.RecvFrom(buf.data(), buf.size(), from);
      if (n < 0) break;
      OnDatagram(buf.data(), static_cast<size_t>(n), from);
    }
    bool busy;
    {
      std::lock_guard<std::mutex> g(m_);
      Pump(NowMs());
      if (!held_.empty() && !tr_.active) {
        for (const auto& h : held_) Raw(h);
        held_.clear();
      }
      busy = tr_.active || !queue_.empty() || !held_.empty();
    }
    if (got == 0) sock_.WaitReadable(busy ? 1 : 10);
  }
}

void TestPeer::OnDatagram(const uint8_t* d, size_t n, const plat::Ipv4Addr& from) {
  std::vector<std::string> complete;
  std::function<void(TestPeer&, const std::string&)> handler;
  {
    std::lock_guard<std::mutex> g(m_);
    client_ = from;
    if (Chance(faults_.loss)) {
      ++droppedIn_;
      return;
    }
    zag_ex h;
    if (!DecodeDatagram(d, n, h)) return;
    if (h.typepacket == kTypeAck) {
      if (record_) dgrams_.push_back({h, {}});
      if (tr_.active && h.count == tr_.count && h.TPacket >= 1) tr_.inflight.erase(h.TPacket - 1);
      return;
    }
    Received r{h, DatagramData(d, n, h)};
    if (record_) dgrams_.push_back(r);
    if (h.typepacket != kTypeText && h.typepacket != kTypeFile) return;
    if (!withhold_) Emit(BuildAck(h));
    if (done_.count(h.count)) return;
    auto& part = partial_[h.count];
    if (part.first.size() != h.Size) part.first.assign(h.Size, 0);
    // A single datagram's Size counts its payload seeds too.
    size_t room = part.first.size() > h.pos ? part.first.size() - h.pos : 0;
    std::memcpy(part.first.data() + h.pos, r.data.data(), std::min(room, r.data.size()));
    part.second.insert(h.TPacket);
    if (part.second.size() < h.AllPacket) return;
    std::vector<uint8_t> whole = std::move(part.first);
    if (h.AllPacket == 1) whole = r.data;
    partial_.erase(h.count);
    done_.insert(h.count);
    if (h.typepacket == kTypeFile) {
      files_[h.count] = whole;
      return;
    }
    std::string text(whole.begin(), whole.end());
    texts_.push_back(text);
    complete.push_back(text);
    handler = onText_;
  }
  for (const std::string& t : complete) {
    HandleText(t);
    if (handler) handler(*this, t);
  }
}

void TestPeer::HandleText(const std::string& text) {
  std::string c = Command(text);
  std::lock_guard<std::mutex> g(m_);
  if (c == "reg") {
    // A new connection: the link numbers its messages from 1 again.
    done_.clear();
    partial_.clear();
    if (login_ == Login::kAccept)
      queue_.push_back({kTypeText, [&] {
                          std::string t =
                              "{\"$c$\":\"regok\",\"tid\":\"" + Tid + "\"" + RegOkExtra + "}";
                          return std::vector<uint8_t>(t.begin(), t.end());
                        }()});
    else if (login_ == Login::kDeny) {
      std::string t = "{\"$c$\":\"accessdenied\"}";
      queue_.push_back({kTypeText, std::vector<uint8_t>(t.begin(), t.end())});
    }
  } else if (c == "getfile") {
    auto it = served_.find(Member(text, "name"));
    if (it != served_.end()) {
      std::string t = "{\"$c$\":\"sendfile\",\"name\":\"" + it->first + "\"}";
      queue_.push_back({kTypeText, std::vector<uint8_t>(t.begin(), t.end())});
      pendingFile_ = it->first;
      offerTime_ = NowMs();
      offers_ = 1;
    }
  } else if (c == "startrecivefile") {
    auto it = served_.find(pendingFile_);
    if (it != served_.end() && offerTime_ != 0) queue_.push_back({kTypeFile, it->second});
    offerTime_ = 0;
  }
}

void TestPeer::SendPacketIndex(uint32_t i, int64_t now) {
  const std::vector<uint8_t>& data = tr_.msg.data;
  size_t pos = static_cast<size_t>(i) * kPacketData;
  size_t n = std::min(kPacketData, data.size() - std::min(pos, data.size()));
  std::vector<uint8_t> payload = MakePayload(data.data() + pos, n);
  zag_ex h;
  h.typepacket = tr_.msg.type;
  h.sizepacket = static_cast<uint32_t>(payload.size());
  h.pos = static_cast<uint32_t>(pos);
  h.Size = static_cast<uint32_t>(data.size());
  h.count = tr_.count;
  h.AllPacket = tr_.all;
  h.TPacket = i + 1;
  Emit(BuildDatagram(h, payload.data(), payload.size()));
  auto& st = tr_.inflight[i];
  st.first = now;
  ++st.second;
}

void TestPeer::Pump(int64_t now) {
  // The acceptance travels as a lone datagram and can be lost: offer again.
  if (offerTime_ != 0 && now - offerTime_ > 300 && offers_ < 8) {
    offerTime_ = now;
    ++offers_;
    std::string t = "{\"$c$\":\"sendfile\",\"name\":\"" + pendingFile_ + "\"}";
    queue_.push_back({kTypeText, std::vector<uint8_t>(t.begin(), t.end())});
  }
  if (!tr_.active) {
    if (queue_.empty()) return;
    tr_ = Transit();
    tr_.active = true;
    tr_.msg = std::move(queue_.front());
    queue_.pop_front();
    tr_.count = ++count_;
    tr_.all = tr_.msg.data.empty()
                  ? 1
                  : static_cast<uint32_t>((tr_.msg.data.size() - 1) / kPacketData + 1);
  }
  // Timeouts are looked for every few milliseconds, not on every pass.
  const bool scan = now - lastScan_ >= 5;
  if (scan) lastScan_ = now;
  for (auto& [i, st] : tr_.inflight) {
    if (!scan) break;
    if (now - st.first < rto_) continue;
    if (st.second > 200) {
      // The link is gone: give the message up.
      tr_.active = false;
      return;
    }
    SendPacketIndex(i, now);
  }
  while (tr_.next < tr_.all && static_cast<int>(tr_.inflight.size()) < window_)
    SendPacketIndex(tr_.next++, now);
  if (tr_.next >= tr_.all && tr_.inflight.empty()) tr_.active = false;
}
