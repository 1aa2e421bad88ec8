// One IPv4 UDP socket: non-blocking, 512 KiB buffers, bound to an ephemeral
// (or given) port. Shared by a sending and a receiving thread: send and receive
// on one socket from two threads is safe at the system level.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

struct Ipv4Addr {
  uint32_t ip = 0;  // host byte order
  uint16_t port = 0;
  bool operator==(const Ipv4Addr&) const = default;
};
// "127.0.0.1" -> address; false when not dotted IPv4 text.
bool ParseIpv4(const std::string& text, uint32_t& ip);
std::string FormatIpv4(uint32_t ip);
// Dotted IPv4 text or a host name (looked up through the system resolver).
bool ResolveIpv4(const std::string& host, uint32_t& ip);

class UdpSocket {
 public:
  UdpSocket() = default;
  ~UdpSocket();
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // Creates, sets 512 KiB buffers, binds to bind_ip:port (0 = any / ephemeral).
  bool Open(uint16_t port = 0, uint32_t bind_ip = 0, int buffer_bytes = 524288);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  uint16_t LocalPort() const;

  bool SendTo(const Ipv4Addr& to, const void* data, size_t size);
  // Non-blocking: the datagram length, 0 for an empty datagram, -1 when nothing waits.
  int RecvFrom(void* buf, size_t cap, Ipv4Addr& from);
  // Waits until a datagram is readable or timeout_ms passes; true if readable.
  bool WaitReadable(int timeout_ms);
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace plat
