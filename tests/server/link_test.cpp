// The workstation's real link against the in-process server.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "link/client_udp.h"
#include "platform/crypto.h"
#include "platform/files.h"
#include "server_fixture.h"

namespace {

bool Eventually(const std::function<bool()>& pred, int timeout_ms = 20000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pred();
}

// Waits for a notice on ReadJSON whose command is c (others are dropped).
bool WaitNotice(client_udp& link, const std::string& c, std::string& out, int timeout_ms = 20000) {
  return Eventually(
      [&] {
        std::string m;
        while (link.ReadJSON.GetSoobD(m)) {
          if (GetValueFromJSON(m, "$c$") == c) {
            out = m;
            return true;
          }
        }
        return false;
      },
      timeout_ms);
}

class RealLinkTest : public ServerTest, public ::testing::WithParamInterface<uint64_t> {};

TEST_P(RealLinkTest, LogsInKeepsAliveFetchesAndStoresAPhoto) {
  srv::FaultSettings f;
  if (GetParam()) {
    f.drop = 0.1;
    f.dup = 0.05;
    f.reorder = 0.05;
    f.seed = GetParam();
  }
  SCOPED_TRACE("fault seed " + std::to_string(GetParam()));
  StartServer(f);
  Bytes photo(5000);
  std::mt19937 rng(static_cast<uint32_t>(GetParam()));
  for (auto& b : photo) b = static_cast<uint8_t>(rng());
  ASSERT_TRUE(server_->With([&](srv::ServerCore& s) { return s.PutPhoto("x.jpg", photo); }));
  std::string work = FreshDir("w");
  std::filesystem::create_directories(work);
  {
    client_udp link("7C3F0A52-6D1B-4E97-A0C4-93B5E27D6F10", server_->port(), "127.0.0.1", work);
    ASSERT_TRUE(link.Started());
    link.SetCredentials("op", kPassword);
    link.Connect = true;
    std::string m;
    ASSERT_TRUE(WaitNotice(link, "connected", m));
    EXPECT_TRUE(link.Connected.load());
    EXPECT_EQ(link.tId.size(), 36u);

    ASSERT_TRUE(link.Soob.PutSoob(
        "{\"$c$\":\"getfile\",\"nameinserv\":\"photo\\\\x.jpg\",\"name\":\"L1.jpg\"}"));
    ASSERT_TRUE(WaitNotice(link, "getfileok", m));
    EXPECT_EQ(GetValueFromJSON(m, "name"), "L1.jpg");
    Bytes got;
    ASSERT_TRUE(plat::ReadWholeFile(link.TempDir() + "/L1.jpg", got));
    EXPECT_EQ(got, photo);

    Bytes turned(2500, 7);
    ASSERT_TRUE(link.Soob.PutSoob(
        "{\"$c$\":\"putfilebase64\",\"nameinserv\":\"photo\\\\x.jpg\",\"data\":\"" +
        plat::Base64Encode(turned.data(), turned.size()) + "\"}"));
    EXPECT_TRUE(Eventually([&] {
      Bytes disk;
      return plat::ReadWholeFile(dir_ + "/photo/x.jpg", disk) && disk == turned;
    }));
    // Tiles: the answers reach the main window's queue by the link's last rule.
    ASSERT_TRUE(link.Soob.PutSoob(
        "{\"$c$\":\"get_osm\",\"map\":1,\"maps\":0,\"data\":[{\"x\":2,\"y\":1,\"z\":2}]}"));
    ASSERT_TRUE(WaitNotice(link, "oldup", m));
    Bytes rs;
    HexToBytes(GetValueFromJSON(m, "data"), rs);
    EXPECT_GT(rs.size(), 100u);
    // Keep-alives flow once the link is ready.
    EXPECT_TRUE(Eventually([&] {
      for (const std::string& c : server_->ReceivedCommands())
        if (GetValueFromJSON(c, "$c$") == "testex") return true;
      return false;
    }));
    EXPECT_TRUE(link.Connected.load());
    link.Terminate();
  }
  // The farewell is a single datagram: only without loss is it sure to arrive.
  if (!GetParam()) {
    EXPECT_TRUE(Eventually([&] { return server_->LoggedIn() == 0; }, 10000));
  }
  std::filesystem::remove_all(work);
}

INSTANTIATE_TEST_SUITE_P(Faults, RealLinkTest, ::testing::Values(0u, 11u));

}  // namespace
