#include "platform/udp_socket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <string>

namespace {

using plat::Ipv4Addr;
using plat::UdpSocket;

constexpr uint32_t kLoopback = 0x7F000001;

TEST(Ipv4, ParseAndFormat) {
  uint32_t ip = 0;
  EXPECT_TRUE(plat::ParseIpv4("127.0.0.1", ip));
  EXPECT_EQ(ip, kLoopback);
  EXPECT_EQ(plat::FormatIpv4(0xC0A80A01), "192.168.10.1");
  for (const char* bad : {"", "1.2.3", "1.2.3.256", "a.b.c.d", "1.2.3.4 ", "::1"}) {
    EXPECT_FALSE(plat::ParseIpv4(bad, ip)) << bad;
  }
  EXPECT_TRUE(plat::ResolveIpv4("localhost", ip));
  EXPECT_EQ(ip >> 24, 127u);
}

TEST(UdpSocket, LoopbackExchange) {
  UdpSocket a, b;
  ASSERT_TRUE(a.Open(0, kLoopback));
  ASSERT_TRUE(b.Open(0, kLoopback));
  ASSERT_NE(a.LocalPort(), 0);
  ASSERT_NE(a.LocalPort(), b.LocalPort());

  char buf[2048];
  Ipv4Addr from;
  EXPECT_EQ(b.RecvFrom(buf, sizeof buf, from), -1);  // non-blocking: nothing waits
  EXPECT_FALSE(b.WaitReadable(10));

  const std::string msg(1019, 'q');  // the largest datagram the link sends
  ASSERT_TRUE(a.SendTo({kLoopback, b.LocalPort()}, msg.data(), msg.size()));
  ASSERT_TRUE(a.SendTo({kLoopback, b.LocalPort()}, "", 0));
  ASSERT_TRUE(b.WaitReadable(5000));
  ASSERT_EQ(b.RecvFrom(buf, sizeof buf, from), 1019);
  EXPECT_EQ(std::string(buf, 1019), msg);
  EXPECT_EQ(from, (Ipv4Addr{kLoopback, a.LocalPort()}));
  ASSERT_TRUE(b.WaitReadable(5000));
  EXPECT_EQ(b.RecvFrom(buf, sizeof buf, from), 0);

  // Replies go back to the address the datagram came from.
  ASSERT_TRUE(b.SendTo(from, "ack", 3));
  ASSERT_TRUE(a.WaitReadable(5000));
  ASSERT_EQ(a.RecvFrom(buf, sizeof buf, from), 3);
  EXPECT_EQ(std::string(buf, 3), "ack");
}

TEST(UdpSocket, BuffersAndClosedSocket) {
  UdpSocket s;
  ASSERT_TRUE(s.Open());
  int v = 0;
  socklen_t len = sizeof v;
  ASSERT_EQ(getsockopt(s.fd(), SOL_SOCKET, SO_RCVBUF, &v, &len), 0);
  // The kernel may cap the request below 512 KiB, but never below its default.
  EXPECT_GE(v, 200000);
  const uint16_t port = s.LocalPort();
  UdpSocket clash;
  EXPECT_FALSE(clash.Open(port, 0));  // the port is taken
  s.Close();
  EXPECT_FALSE(s.IsOpen());
  char buf[4];
  Ipv4Addr from;
  EXPECT_EQ(s.RecvFrom(buf, sizeof buf, from), -1);
  EXPECT_FALSE(s.SendTo({kLoopback, port}, "x", 1));
  EXPECT_FALSE(s.WaitReadable(0));
  EXPECT_EQ(s.LocalPort(), 0);
}

}  // namespace
