// The demo data: deterministic from its seed, loadable by the real link, with
// photos behind every sending and a day of technician events.
#include "server/demo.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "link/client_udp.h"
#include "platform/files.h"
#include "server_fixture.h"

namespace {

srv::ServerOptions DemoOptions(const std::string& dir) {
  srv::ServerOptions o;
  o.port = 0;
  o.data_dir = dir;
  o.demo = true;
  o.demo_objects = 400;
  o.live_event_ms = 0;
  o.history_name = "hx8_20261211";
  return o;
}

TEST(DemoTest, SameSeedSameDataAndEverySendingHasItsPhotos) {
  srv::SetLogLevel(srv::LogLevel::kQuiet);
  std::string d1 = FreshDir("demo"), d2 = FreshDir("demo");
  srv::Server s1(DemoOptions(d1)), s2(DemoOptions(d2));
  ASSERT_TRUE(s1.Start());
  ASSERT_TRUE(s2.Start());
  for (const char* t : {"object", "mobphoto", "photo", "zamech"}) {
    Bytes a = s1.With([&](srv::ServerCore& c) { return c.store().Table(t)->TableFile({}); });
    Bytes b = s2.With([&](srv::ServerCore& c) { return c.store().Table(t)->TableFile({}); });
    EXPECT_EQ(a, b) << t;
  }
  s1.With([&](srv::ServerCore& c) {
    srv::ServerTable* m = c.store().Table("mobphoto");
    EXPECT_EQ(m->Count(), 40);
    EXPECT_EQ(c.store().Table("object")->Count(), 400);
    EXPECT_GT(c.store().Table("photo")->Count(), 0);
    EXPECT_GT(c.store().Table("zamech")->Count(), 0);
    for (int k = 0; k < m->Count(); ++k) {
      std::string list = m->GetText(k, m->def().Col("filename"));
      int files = 0;
      for (size_t p = 0; p != std::string::npos;) {
        size_t e = list.find(',', p);
        std::string f = list.substr(p, e == std::string::npos ? e : e - p);
        ASSERT_EQ(f.rfind("photo\\", 0), 0u) << f;
        Bytes jpeg;
        ASSERT_TRUE(plat::ReadWholeFile(c.PhotoDir() + "/" + f.substr(6), jpeg)) << f;
        ASSERT_GT(jpeg.size(), 100u);
        ++files;
        p = e == std::string::npos ? e : e + 1;
      }
      EXPECT_GE(files, 1);
      EXPECT_LE(files, 3);
    }
    EXPECT_EQ(c.store().CheckUser("demo", "demo") > 0, true);
  });
  s1.Stop();
  s2.Stop();
  std::filesystem::remove_all(d1);
  std::filesystem::remove_all(d2);
}

}  // namespace
