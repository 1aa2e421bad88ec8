// A small workstation stand-in for the server tests: its own socket, its own
// sending (every packet resent until acknowledged), reassembly with duplicate
// filtering, and the file hand-shake ("sendfile" -> "startrecivefile"). It
// speaks through the shared datagram code only.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "foundation/json.h"
#include "link/datagram.h"
#include "platform/udp_socket.h"

struct ClientMessage {
  uint8_t type = 0;  // 0 text, 1 file, 2/3 raw
  int64_t count = 0;
  Bytes data;
  std::string file_name;  // files: the name the server offered
  std::string Text() const { return std::string(data.begin(), data.end()); }
};

class TestClient {
 public:
  explicit TestClient(uint16_t server_port);
  ~TestClient();

  // Sends a text through its own little window (all packets, resent until acknowledged).
  bool Send(const std::string& text, int timeout_ms = 10000);
  // Sends a text as one datagram without waiting (as the workstation's SendOne).
  void SendOne(const std::string& text);
  // Logs in; true on "regok" (tid then holds the connection identifier).
  bool Login(const std::string& user, const std::string& password, std::string* answer = nullptr,
             int timeout_ms = 15000);

  // Waits for the next message for which pred holds; messages before it are kept.
  bool WaitFor(const std::function<bool(const ClientMessage&)>& pred, ClientMessage& out,
               int timeout_ms = 15000);
  bool WaitText(const std::string& command, ClientMessage& out, int timeout_ms = 15000);
  bool WaitFile(const std::string& name, Bytes& out, int timeout_ms = 20000);
  // Asks for a table; returns the table file as delivered (inflated when zipped).
  bool LoadTable(const std::string& name, const std::string& md5_members, Bytes& file,
                 std::string* announce = nullptr);
  std::vector<ClientMessage> Drain();

  std::string tid;
  uint8_t tidb[16] = {};

 private:
  void ReceiveLoop();
  void Handle(const uint8_t* d, size_t n);

  plat::UdpSocket sock_;
  plat::Ipv4Addr server_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mu_;
  std::condition_variable cv_;
  int64_t count_ = 0;
  std::set<std::pair<int64_t, uint32_t>> acked_;  // (count, TPacket) acknowledged by the server
  struct Partial {
    uint8_t type = 0;
    Bytes buf;
    std::set<uint32_t> got;
    uint32_t all = 0;
  };
  std::map<int64_t, Partial> partial_;
  std::set<int64_t> done_;
  std::vector<ClientMessage> inbox_;
  std::string offered_;  // name of the file the server offered
};
