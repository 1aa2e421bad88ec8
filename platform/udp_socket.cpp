#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace plat {

namespace {

sockaddr_in ToSockaddr(const Ipv4Addr& a) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(a.ip);
  sa.sin_port = htons(a.port);
  return sa;
}

}  // namespace

bool ParseIpv4(const std::string& text, uint32_t& ip) {
  in_addr a{};
  if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
  ip = ntohl(a.s_addr);
  return true;
}

std::string FormatIpv4(uint32_t ip) {
  in_addr a{};
  a.s_addr = htonl(ip);
  char buf[INET_ADDRSTRLEN] = {};
  if (!inet_ntop(AF_INET, &a, buf, sizeof buf)) return {};
  return buf;
}

bool ResolveIpv4(const std::string& host, uint32_t& ip) {
  if (host.empty()) return false;
  if (ParseIpv4(host, ip)) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* res = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || res == nullptr) return false;
  bool ok = false;
  for (addrinfo* p = res; p; p = p->ai_next) {
    if (p->ai_family == AF_INET && p->ai_addrlen >= sizeof(sockaddr_in)) {
      ip = ntohl(reinterpret_cast<const sockaddr_in*>(p->ai_addr)->sin_addr.s_addr);
      ok = true;
      break;
    }
  }
  freeaddrinfo(res);
  return ok;
}

UdpSocket::~UdpSocket() {
  Close();
}

bool UdpSocket::Open(uint16_t port, uint32_t bind_ip, int buffer_bytes) {
  Close();
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  if (buffer_bytes > 0) {
    // The kernel may cap these (net.core.*mem_max); a smaller buffer still works.
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer_bytes, sizeof buffer_bytes);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer_bytes, sizeof buffer_bytes);
  }
  const sockaddr_in sa = ToSockaddr({bind_ip, port});
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

void UdpSocket::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

uint16_t UdpSocket::LocalPort() const {
  if (fd_ < 0) return 0;
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
  return ntohs(sa.sin_port);
}

bool UdpSocket::SendTo(const Ipv4Addr& to, const void* data, size_t size) {
  if (fd_ < 0) return false;
  const sockaddr_in sa = ToSockaddr(to);
  for (;;) {
    const ssize_t n =
        ::sendto(fd_, data, size, 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (n >= 0) return static_cast<size_t>(n) == size;
    if (errno != EINTR) return false;
  }
}

int UdpSocket::RecvFrom(void* buf, size_t cap, Ipv4Addr& from) {
  if (fd_ < 0) return -1;
  for (;;) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    const ssize_t n = ::recvfrom(fd_, buf, cap, 0, reinterpret_cast<sockaddr*>(&sa), &len);
    if (n >= 0) {
      from.ip = ntohl(sa.sin_addr.s_addr);
      from.port = ntohs(sa.sin_port);
      return static_cast<int>(n);
    }
    // An ICMP error reported for an earlier send is not a datagram: look again.
    if (errno == EINTR || errno == ECONNREFUSED) continue;
    return -1;
  }
}

bool UdpSocket::WaitReadable(int timeout_ms) {
  if (fd_ < 0) return false;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  for (;;) {
    pollfd p{fd_, POLLIN, 0};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const int r = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
    // An error condition also wakes the caller, whose RecvFrom then clears it.
    if (r > 0) return p.revents != 0;
    if (r == 0) return false;
    if (errno != EINTR) return false;
  }
}

}  // namespace plat
