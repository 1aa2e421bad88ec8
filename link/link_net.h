// What the link thread and the receiving thread share: the socket, the server
// addresses, the current address, the keep-alive stamp and the receive FIFO.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/fifo.h"
#include "link/waker.h"
#include "platform/udp_socket.h"

struct TLinkNet {
  static constexpr int kSoobECapacity = 1000;

  TLinkNet() : soobE(kSoobECapacity) {}

  // Splits the comma-separated list into `host` (blanks around entries dropped).
  void SetHosts(const std::string& list);
  // The current server address (`host`[`TekHost`] and `port`); ip 0 when the
  // entry is not an IPv4 address.
  plat::Ipv4Addr SendAddr() const;
  // Only the configured servers may talk to the link.
  bool FromServer(const plat::Ipv4Addr& from) const;
  // Sends to the current address; errors are ignored (resending makes good).
  void Send(const uint8_t* data, size_t n);
  // TekHost moved on by one, wrapping.
  void NextHost();

  plat::UdpSocket FSocket;
  std::vector<std::string> host;
  std::vector<uint32_t> hostIp;  // 0 where an entry does not parse
  uint16_t port = 0;
  std::atomic<int> TekHost{0};
  std::atomic<int64_t> keepAlive{0};
  OchFIFO soobE;
  TWaker waker;
  std::atomic<uint64_t> datagramsIn{0};
  std::atomic<uint64_t> datagramsOut{0};
};
