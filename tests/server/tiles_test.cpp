// Tile sources in their order: a folder of z/x/y.png, an HTTP server (here a
// tiny one on loopback), and the server's own drawing.
#include "server/tiles.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/files.h"
#include "server_fixture.h"

namespace {

// Answers every request with body; remembers the last request's head.
class TinyHttp {
 public:
  explicit TinyHttp(std::string body) : body_(std::move(body)) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
    port_ = ntohs(a.sin_port);
    listen(fd_, 4);
    thread_ = std::thread([this] {
      for (;;) {
        int c = accept(fd_, nullptr, nullptr);
        if (c < 0 || stop_.load()) {
          if (c >= 0) close(c);
          return;
        }
        char buf[4096];
        ssize_t got = read(c, buf, sizeof buf);
        if (got > 0) head_.assign(buf, static_cast<size_t>(got));
        ++requests_;
        std::string r = "HTTP/1.0 200 OK\r\nContent-Type: image/png\r\nContent-Length: " +
                        std::to_string(body_.size()) + "\r\n\r\n" + body_;
        ssize_t w = write(c, r.data(), r.size());
        (void)w;
        close(c);
      }
    });
  }
  ~TinyHttp() {
    stop_.store(true);
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    thread_.join();
  }
  uint16_t port() const { return port_; }
  std::string head() const { return head_; }
  int requests() const { return requests_.load(); }

 private:
  std::string body_;
  int fd_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  std::string head_;
};

TEST(TileSourceTest, FolderThenHttpWithCacheThenOwnDrawing) {
  std::string dir = FreshDir("tiles");
  std::filesystem::create_directories(dir + "/tiles/3/2");
  ASSERT_TRUE(plat::WriteFileAtomic(dir + "/tiles/3/2/1.png", std::string("folder-tile")));
  TinyHttp http("http-tile");
  srv::TileOptions o;
  o.dir = dir + "/tiles";
  o.url = "http://127.0.0.1:" + std::to_string(http.port()) + "/osm/{z}/{x}/{y}.png";
  o.cache_dir = dir + "/cache";
  srv::TileSource src(o);
  auto text = [](const Bytes& b) { return std::string(b.begin(), b.end()); };
  EXPECT_EQ(text(src.Tile(3, 2, 1)), "folder-tile");
  EXPECT_EQ(http.requests(), 0);
#ifdef SVCDESK_SERVER_TEST_CURL
  EXPECT_EQ(text(src.Tile(4, 5, 6)), "http-tile");
  EXPECT_EQ(http.requests(), 1);
  EXPECT_NE(http.head().find("GET /osm/4/5/6.png"), std::string::npos);
  EXPECT_NE(http.head().find("User-Agent: svcdesk-server/"), std::string::npos);
  EXPECT_EQ(text(src.Tile(4, 5, 6)), "http-tile");  // from the cache
  EXPECT_EQ(http.requests(), 1);
#endif
  // Without a folder or URL the server draws the tile: a PNG.
  srv::TileSource own(srv::TileOptions{});
  Bytes png = own.Tile(2, 1, 3);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png[1], 'P');
  EXPECT_EQ(png[2], 'N');
  EXPECT_TRUE(own.Tile(2, 4, 0).empty());  // outside the world
  std::filesystem::remove_all(dir);
}

}  // namespace
