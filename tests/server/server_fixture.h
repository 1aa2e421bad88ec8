// A server in-process on an ephemeral port with its data in a fresh folder.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/text1251.h"
#include "server/log.h"
#include "server/server.h"
#include "test_client.h"

inline std::string FreshDir(const std::string& tag) {
  static std::atomic<int> n{0};
  std::string d =
      (std::filesystem::temp_directory_path() /
       ("svcdesk-server-" + tag + "-" + std::to_string(getpid()) + "-" + std::to_string(n++)))
          .string();
  std::filesystem::remove_all(d);
  return d;
}

// A password with a quote and a backslash: the workstation sends it unescaped.
inline const std::string kPassword = "p\"w\\1";

class ServerTest : public ::testing::Test {
 protected:
  void StartServer(srv::FaultSettings faults = {}, int objects = 20) {
    // SVCDESK_SERVER_LOG=1 shows the server's log while debugging a test.
    srv::SetLogLevel(getenv("SVCDESK_SERVER_LOG") ? srv::LogLevel::kDebug : srv::LogLevel::kQuiet);
    dir_ = FreshDir("t");
    srv::ServerOptions o;
    o.port = 0;
    o.data_dir = dir_;
    o.live_event_ms = 0;
    o.faults = faults;
    o.history_name = "hx8_20261211";
    server_ = std::make_unique<srv::Server>(o);
    ASSERT_TRUE(server_->Start());
    server_->AddUser("op", kPassword);
    server_->With([&](srv::ServerCore& c) {
      c.store().Begin();
      for (int i = 0; i < objects; ++i)
        c.store().Add("object",
                      {{"name", plat::Utf8ToCp1251("Объект ") + std::to_string(i)},
                       {"addrcity", plat::Utf8ToCp1251(i % 2 ? "Казань" : "Зеленодольск")},
                       {"addrnp", plat::Utf8ToCp1251("Советский")},
                       {"address", "street " + std::to_string(i % 7)},
                       {"number", std::to_string(100 + i)},
                       {"karta_x", std::to_string(49.1 + i * 0.001)},
                       {"karta_y", "55.79"},
                       {"phone", "+7 843 200-00-" + std::to_string(i % 100)},
                       {"dogdate", "01.02.2024 10:20:30"}});
      c.store().Commit();
    });
  }
  void TearDown() override {
    server_.reset();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  std::unique_ptr<TestClient> Client() {
    auto c = std::make_unique<TestClient>(server_->port());
    return c;
  }

  std::string dir_;
  std::unique_ptr<srv::Server> server_;
};
