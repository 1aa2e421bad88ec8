#include "test_client.h"

#include <zlib.h>

#include <cstring>

#include "platform/files.h"

TestClient::TestClient(uint16_t server_port) {
  sock_.Open(0, 0);
  plat::ParseIpv4("127.0.0.1", server_.ip);
  server_.port = server_port;
  thread_ = std::thread([this] { ReceiveLoop(); });
}

TestClient::~TestClient() {
  stop_.store(true);
  thread_.join();
}

void TestClient::ReceiveLoop() {
  std::vector<uint8_t> buf(65536);
  while (!stop_.load()) {
    if (!sock_.WaitReadable(5)) continue;
    plat::Ipv4Addr from;
    int n;
    while ((n = sock_.RecvFrom(buf.data(), buf.size(), from)) >= 0)
      Handle(buf.data(), static_cast<size_t>(n));
  }
}

void TestClient::Handle(const uint8_t* d, size_t n) {
  zag_ex h;
  if (!DecodeDatagram(d, n, h)) return;
  std::lock_guard<std::mutex> lock(mu_);
  if (h.typepacket == kTypeAck) {
    acked_.insert({h.count, h.TPacket});
    cv_.notify_all();
    return;
  }
  if (h.typepacket == kTypeProbe) return;
  auto ack = BuildAck(h);
  sock_.SendTo(server_, ack.data(), ack.size());
  if (done_.count(h.count)) return;
  Bytes data = DatagramData(d, n, h);
  Partial& p = partial_[h.count];
  p.type = h.typepacket;
  p.all = h.AllPacket;
  if (p.buf.size() != h.Size) p.buf.assign(h.Size, 0);
  if (h.pos + data.size() > p.buf.size()) return;
  std::memcpy(p.buf.data() + h.pos, data.data(), data.size());
  p.got.insert(h.pos);
  if (p.got.size() < p.all) return;
  ClientMessage m;
  m.type = p.type;
  m.count = h.count;
  m.data = std::move(p.buf);
  partial_.erase(h.count);
  done_.insert(h.count);
  if (m.type == kTypeFile) m.file_name = offered_;
  if (m.type == kTypeText && GetValueFromJSON(m.Text(), "$c$") == "sendfile") {
    offered_ = GetValueFromJSON(m.Text(), "name");
    auto dg = BuildTextDatagram("{\"$c$\":\"startrecivefile\"}", ++count_, tidb);
    sock_.SendTo(server_, dg.data(), dg.size());
  }
  inbox_.push_back(std::move(m));
  cv_.notify_all();
}

void TestClient::SendOne(const std::string& text) {
  std::lock_guard<std::mutex> lock(mu_);
  auto dg = BuildTextDatagram(text, ++count_, tidb);
  sock_.SendTo(server_, dg.data(), dg.size());
}

bool TestClient::Send(const std::string& text, int timeout_ms) {
  std::unique_lock<std::mutex> lock(mu_);
  const int64_t count = ++count_;
  const uint32_t all = static_cast<uint32_t>((text.size() - 1) / kPacketData + 1);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    int missing = 0;
    for (uint32_t k = 0; k < all; ++k) {
      if (acked_.count({count, k + 1})) continue;
      ++missing;
      zag_ex h;
      h.typepacket = kTypeText;
      h.pos = k * static_cast<uint32_t>(kPacketData);
      h.Size = static_cast<uint32_t>(text.size());
      h.count = count;
      h.AllPacket = all;
      h.TPacket = k + 1;
      std::memcpy(h.TID, tidb, 16);
      size_t len = std::min<size_t>(kPacketData, text.size() - h.pos);
      Bytes payload = MakePayload(reinterpret_cast<const uint8_t*>(text.data()) + h.pos, len);
      h.sizepacket = static_cast<uint32_t>(payload.size());
      auto dg = BuildDatagram(h, payload.data(), payload.size());
      sock_.SendTo(server_, dg.data(), dg.size());
    }
    if (!missing) return true;
    cv_.wait_for(lock, std::chrono::milliseconds(60));
  }
  return false;
}

bool TestClient::WaitFor(const std::function<bool(const ClientMessage&)>& pred, ClientMessage& out,
                         int timeout_ms) {
  std::unique_lock<std::mutex> lock(mu_);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    for (size_t i = 0; i < inbox_.size(); ++i) {
      if (pred(inbox_[i])) {
        out = inbox_[i];
        inbox_.erase(inbox_.begin() + static_cast<long>(i));
        return true;
      }
    }
    if (cv_.wait_until(lock, deadline) == std::cv_status::timeout) {
      for (size_t i = 0; i < inbox_.size(); ++i)
        if (pred(inbox_[i])) {
          out = inbox_[i];
          inbox_.erase(inbox_.begin() + static_cast<long>(i));
          return true;
        }
      return false;
    }
  }
}

bool TestClient::WaitText(const std::string& command, ClientMessage& out, int timeout_ms) {
  return WaitFor(
      [&](const ClientMessage& m) {
        return m.type == kTypeText && GetValueFromJSON(m.Text(), "$c$") == command;
      },
      out, timeout_ms);
}

bool TestClient::WaitFile(const std::string& name, Bytes& out, int timeout_ms) {
  ClientMessage m;
  if (!WaitFor([&](const ClientMessage& x) { return x.type == kTypeFile && x.file_name == name; },
               m, timeout_ms))
    return false;
  out = m.data;
  return true;
}

std::vector<ClientMessage> TestClient::Drain() {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<ClientMessage> all;
  all.swap(inbox_);
  return all;
}

bool TestClient::Login(const std::string& user, const std::string& password, std::string* answer,
                       int timeout_ms) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    count_ = 0;
    acked_.clear();
    done_.clear();
    partial_.clear();
    std::memset(tidb, 0, 16);
  }
  SendOne("{\"$c$\":\"reg\",\"id\":\"7C3F0A52-6D1B-4E97-A0C4-93B5E27D6F10\",\"username\":\"" +
          JSONString(user) + "\",\"password\":\"" + password +
          "\",\"keepalive\":1,\"zip\":0,\"ver\":\"0.0.0.0\"}");
  ClientMessage m;
  if (!WaitFor(
          [](const ClientMessage& x) {
            std::string c = GetValueFromJSON(x.Text(), "$c$");
            return x.type == kTypeText && (c == "regok" || c == "accessdenied");
          },
          m, timeout_ms))
    return false;
  if (answer) *answer = m.Text();
  if (GetValueFromJSON(m.Text(), "$c$") != "regok") return false;
  tid = GetValueFromJSON(m.Text(), "tid");
  static const int pos[16] = {0, 2, 4, 6, 9, 11, 14, 16, 19, 21, 24, 26, 28, 30, 32, 34};
  std::lock_guard<std::mutex> lock(mu_);
  for (int i = 0; i < 16 && tid.size() == 36; ++i) {
    Bytes b;
    HexToBytes(tid.substr(static_cast<size_t>(pos[i]), 2), b);
    tidb[i] = b.empty() ? 0 : b[0];
  }
  return tid.size() == 36;
}

bool TestClient::LoadTable(const std::string& name, const std::string& md5_members, Bytes& file,
                           std::string* announce) {
  if (!Send("{\"$c$\":\"database\",\"command\":\"gettableraw\",\"refresh\":1,\"name\":\"" + name +
            "\",\"md5\":{" + md5_members + "},\"filter\":{}}"))
    return false;
  ClientMessage m;
  if (!WaitText("tablerawfromfile", m)) return false;
  if (announce) *announce = m.Text();
  std::string fname = GetValueFromJSON(m.Text(), "filename");
  if (!Send("{\"$c$\":\"getfile\",\"nameinserv\":\"client9\\\\" + tid + "\\\\" + fname +
            "\",\"name\":\"" + fname + "\",\"delete\":1}"))
    return false;
  Bytes raw;
  if (!WaitFile(fname, raw)) return false;
  if (GetValueFromJSON(m.Text(), "zip") != "1") {
    file = raw;
    return true;
  }
  file.assign(64u << 20, 0);
  uLongf n = static_cast<uLongf>(file.size());
  if (uncompress(file.data(), &n, raw.data(), static_cast<uLong>(raw.size())) != Z_OK) return false;
  file.resize(n);
  return true;
}
