// A scripted server on 127.0.0.1 for the link tests: answers log-ins, sends
// texts, files and hand-made datagrams, withholds, drops, duplicates and
// reorders datagrams on request, and records everything the link sends.
// It has its own small sender and reassembler; it shares with the link only
// the datagram encoding. Time is real time (std::chrono), independent of any
// fake clock the test installs for the link.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "link/datagram.h"
#include "platform/udp_socket.h"

class TestPeer {
 public:
  enum class Login { kAccept, kDeny, kSilent };
  struct Faults {
    double loss = 0;     // each datagram, either direction, is lost with this chance
    double dup = 0;      // each datagram the peer sends goes out twice with this chance
    double reorder = 0;  // each datagram the peer sends is held back behind the next one
    uint32_t seed = 1;
  };
  struct Received {
    zag_ex h;
    std::vector<uint8_t> data;  // the payload's data bytes (unscrambled, no seeds)
  };

  // Binds to ip:port (127.0.0.1 and an ephemeral port by default).
  explicit TestPeer(const std::string& ip = "127.0.0.1", uint16_t port = 0);
  ~TestPeer();
  uint16_t Port() const { return port_; }

  void SetFaults(const Faults& f);
  void SetWithholdAcks(bool on);
  void SetLogin(Login mode);
  void SetWindow(int slots, int rto_ms);
  // Off: datagrams are no longer kept (long transfers in benchmarks).
  void SetRecording(bool on);
  // Answers with "regok" carrying this tid and these extra members (",\"a\":1").
  std::string Tid = "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9";
  std::string RegOkExtra = ",\"version\":\"5.1\",\"n_abs\":7";

  // Queued, sent reliably in order through the peer's window.
  void Send(const std::string& text, uint8_t type = kTypeText);
  void SendBytes(const std::vector<uint8_t>& data, uint8_t type);
  // Sends a datagram as it is, now, without faults.
  void SendDatagram(const std::vector<uint8_t>& dg);
  // Sends a hand-built header + data as one datagram, now.
  void SendPacket(zag_ex h, const std::vector<uint8_t>& data);
  int64_t NextCount();
  // Offers a file when the link asks for it with "getfile" ("name" member).
  void ServeFile(const std::string& name, std::vector<uint8_t> bytes);
  // Called on the peer thread for every complete text from the link (after
  // the built-in log-in answer).
  void OnText(std::function<void(TestPeer&, const std::string&)> f);

  std::vector<std::string> Texts();
  std::vector<Received> Datagrams();
  std::map<int64_t, std::vector<uint8_t>> Files();
  int Count(const std::string& command);
  bool Idle();  // nothing queued or in flight
  // Waits (real time) until pred holds; false on timeout.
  bool WaitFor(const std::function<bool()>& pred, int timeout_ms = 10000);
  bool WaitText(const std::string& command, int timeout_ms = 10000, std::string* out = nullptr);
  void ClearRecords();
  uint64_t DroppedIn() const { return droppedIn_; }

 private:
  struct OutMsg {
    uint8_t type;
    std::vector<uint8_t> data;
  };
  struct Transit {
    bool active = false;
    OutMsg msg;
    int64_t count = 0;
    uint32_t all = 0;
    uint32_t next = 0;
    std::map<uint32_t, std::pair<int64_t, int>> inflight;  // packet index -> (sent ms, tries)
  };
  void Run();
  void OnDatagram(const uint8_t* d, size_t n, const plat::Ipv4Addr& from);
  void Pump(int64_t now);
  void SendPacketIndex(uint32_t i, int64_t now);
  void Emit(const std::vector<uint8_t>& dg);  // with faults
  void Raw(const std::vector<uint8_t>& dg);
  void HandleText(const std::string& text);
  int64_t NowMs() const;
  bool Chance(double p);

  plat::UdpSocket sock_;
  uint16_t port_ = 0;
  std::mutex m_;
  plat::Ipv4Addr client_{};
  Faults faults_;
  std::mt19937 rng_;
  bool withhold_ = false;
  bool record_ = true;
  Login login_ = Login::kAccept;
  int window_ = 64;
  int rto_ = 100;
  int64_t lastScan_ = 0;
  int64_t count_ = 0;
  std::deque<OutMsg> queue_;
  Transit tr_;
  std::vector<std::vector<uint8_t>> held_;
  std::vector<std::string> texts_;
  std::vector<Received> dgrams_;
  std::map<int64_t, std::vector<uint8_t>> files_;
  std::map<int64_t, std::pair<std::vector<uint8_t>, std::set<uint32_t>>> partial_;
  std::set<int64_t> done_;
  std::map<std::string, std::vector<uint8_t>> served_;
  std::string pendingFile_;
  int64_t offerTime_ = 0;  // when the pending file was last offered; 0 once accepted
  int offers_ = 0;
  std::function<void(TestPeer&, const std::string&)> onText_;
  std::atomic<uint64_t> droppedIn_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
