// svcdesk-server: the stand-in central server. One UDP socket, one thread that
// receives, sends and keeps time, and the server's working (ServerCore) behind
// a lock so that tests can script it while workstations talk to it.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/udp_socket.h"
#include "server/core.h"
#include "server/faults.h"

namespace srv {

struct ServerOptions {
  std::string bind = "127.0.0.1";
  uint16_t port = 9010;  // 0: an ephemeral port (tests)
  std::string data_dir = "svcdesk-data";
  bool demo = false;
  uint64_t demo_seed = 1;
  int demo_objects = 5000;
  int live_event_ms = 5000;  // demo: a technician event this often; 0 = none
  FaultSettings faults;
  TileOptions tiles;
  std::string history_name;  // empty: "hx8_" + today
  std::string version = SVCDESK_VERSION;
};

class DemoDay;

class Server {
 public:
  explicit Server(ServerOptions o);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Opens the data folder (creating the demo data when asked), binds, starts the thread.
  bool Start();
  void Stop();
  bool Running() const { return running_.load(); }
  uint16_t port() const { return port_; }

  // Runs f on the server's working under its lock.
  template <class F>
  auto With(F&& f) {
    std::lock_guard<std::mutex> lock(mu_);
    return f(*core_);
  }
  void AddUser(const std::string& name, const std::string& password);
  int AddRecord(const std::string& table, const Fields& fields);
  bool EditRecord(const std::string& table, int n_abs, const Fields& fields);
  bool DeleteRecord(const std::string& table, int n_abs);
  bool AppendHistory(const HistoryEvent& e);
  std::vector<std::string> ReceivedCommands();
  int LoggedIn();

 private:
  void Run();
  void Send(const plat::Ipv4Addr& to, const Bytes& d);

  ServerOptions o_;
  std::unique_ptr<ServerCore> core_;
  std::unique_ptr<DemoDay> demo_;
  plat::UdpSocket sock_;
  uint16_t port_ = 0;
  std::mutex mu_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::unique_ptr<FaultLine> in_, out_;
  int64_t next_live_ = 0;
};

}  // namespace srv
