// The receiving thread: waits on the socket, validates each datagram,
// acknowledges data packets and hands everything to the link thread through
// the receive FIFO `soobE`.
#pragma once
#include <atomic>
#include <cstdint>
#include <thread>

#include "link/datagram.h"
#include "link/link_net.h"

class recieve {
 public:
  explicit recieve(TLinkNet& net) : net_(net) {}
  ~recieve() { Stop(); }
  recieve(const recieve&) = delete;
  recieve& operator=(const recieve&) = delete;

  void Start();
  void Stop();
  // One received datagram (the thread's work, callable directly in tests).
  void Handle(const uint8_t* data, int len, const plat::Ipv4Addr& from);

  // The number the next new message must at least carry.
  std::atomic<int64_t> LastCountSoob{0};

 private:
  void Run();
  // Acknowledges one received packet (`SendPod`).
  void SendPod(const zag_ex& h);
  TLinkNet& net_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
