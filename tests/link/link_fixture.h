// A link on a fresh working folder talking to a TestPeer, with a fake clock
// when the test drives the timing rules by hand.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "foundation/json.h"
#include "link/client_udp.h"
#include "platform/clock.h"
#include "tests/link/test_peer.h"

namespace link_test {

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("svcdesk_link_" + std::to_string(getpid()) + "_" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string Path() const { return path_.string(); }
  std::string File(const std::string& rel) const { return (path_ / rel).string(); }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 r(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(r());
  return v;
}

// Polls (real time) until pred holds.
inline bool Eventually(const std::function<bool()>& pred, int timeout_ms = 10000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return pred();
}

// Ends the link before hooks declared ahead of it in a test go away.
struct LinkGuard {
  std::unique_ptr<client_udp>& link;
  ~LinkGuard() { link.reset(); }
};

class LinkTest : public ::testing::Test {
 protected:
  static constexpr const char* kId = "7C3F0A52-6D1B-4E97-A0C4-93B5E27D6F10";

  void TearDown() override {
    link_.reset();
    if (fake_) plat::SetClock(nullptr);
  }
  // Call before MakeLink for the timing tests.
  void UseFakeClock() {
    fake_ = std::make_unique<plat::FakeClock>(100000);
    plat::SetClock(fake_.get());
  }
  void Advance(int64_t ms) { fake_->Advance(ms); }

  client_udp& MakeLink(const std::string& addresses = "127.0.0.1", uint16_t port = 0) {
    link_ = std::make_unique<client_udp>(kId, port ? port : peer_.Port(), addresses, dir_.Path());
    return *link_;
  }
  // Logs in against the peer and waits for the "connected" notice.
  client_udp& Connected(const std::string& user = "ivan", const std::string& pass = "pw") {
    client_udp& l = link_ ? *link_ : MakeLink();
    l.SetCredentials(user, pass);
    l.Connect = true;
    EXPECT_TRUE(WaitNotice("connected"));
    EXPECT_TRUE(Eventually([&] { return l.Connected.load() && l.DatabaseLoad.load(); }));
    return l;
  }
  // Collects ReadJSON notices and waits for one with command c.
  bool WaitNotice(const std::string& c, int timeout_ms = 10000, std::string* out = nullptr) {
    return Eventually(
        [&] {
          Drain();
          for (size_t i = seen_; i < notices_.size(); ++i)
            if (GetValueFromJSON(notices_[i], "$c$") == c) {
              if (out) *out = notices_[i];
              seen_ = i + 1;
              return true;
            }
          return false;
        },
        timeout_ms);
  }
  void Drain() {
    std::string t;
    while (link_ && link_->ReadJSON.GetSoobD(t)) notices_.push_back(t);
  }
  std::vector<std::string> Notices() {
    Drain();
    return notices_;
  }
  bool HasNotice(const std::string& text) {
    Drain();
    for (const auto& n : notices_)
      if (n == text) return true;
    return false;
  }

  // Everything the link logged (ends the link so the log is written out).
  std::string LinkLog() {
    link_.reset();
    std::string log;
    for (const auto& e : std::filesystem::directory_iterator(dir_.File("logs")))
      log += ReadFile(e.path().string());
    return log;
  }

  TempDir dir_;
  TestPeer peer_;
  std::unique_ptr<plat::FakeClock> fake_;
  std::unique_ptr<client_udp> link_;
  std::vector<std::string> notices_;
  size_t seen_ = 0;
};

}  // namespace link_test
