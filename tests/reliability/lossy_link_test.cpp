// The whole working of a workstation through loss, duplication and reordering:
// log-in, the four tables (fresh, then from the cache), a photo fetched and one
// stored, and the day's history caught up, each byte-exact. CI runs a few fault
// seeds; SVCDESK_RELIABILITY_SEEDS=20 runs twenty.
#include <random>
#include <thread>
#include <vector>

#include "platform/crypto.h"
#include "platform/files.h"
#include "reliability_fixture.h"

namespace rel {
namespace {

int SeedCount() {
  const char* e = getenv("SVCDESK_RELIABILITY_SEEDS");
  int n = e ? atoi(e) : 3;
  return n > 0 ? n : 3;
}

// One seed's run; failures name the seed.
void LossyRound(uint64_t seed) {
  const auto t0 = std::chrono::steady_clock::now();
  auto mark = [&](const char* what) {
    if (getenv("SVCDESK_RELIABILITY_TIMES"))
      fprintf(stderr, "%s %lld ms\n", what,
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - t0)
                                         .count()));
  };
  SCOPED_TRACE("fault seed " + std::to_string(seed) + " (of SVCDESK_RELIABILITY_SEEDS)");
  srv::FaultSettings f;
  f.drop = 0.1;
  f.dup = 0.05;
  f.reorder = 0.05;
  f.seed = seed;
  const std::string sdir = FreshDir("s"), wdir = FreshDir("w");
  auto server = MakeServer(sdir, 400, f);
  ASSERT_TRUE(server);
  Bytes photo(7000);
  std::mt19937 rng(static_cast<uint32_t>(seed));
  for (auto& b : photo) b = static_cast<uint8_t>(rng());
  ASSERT_TRUE(server->With([&](srv::ServerCore& s) { return s.PutPhoto("x.jpg", photo); }));
  for (int i = 0; i < 40; ++i) server->AppendHistory(Ev(i));
  {
    Workstation w(server->port(), wdir);
    ASSERT_TRUE(w.WaitNotice("connected", 30000));
    mark("connected");
    ASSERT_TRUE(Eventually([&] { return w.Loaded(); }, 60000));
    EXPECT_EQ(TablesDiffer(w, *server), "");
    mark("tables");

    ASSERT_TRUE(w.link->Soob.PutSoob(
        "{\"$c$\":\"getfile\",\"nameinserv\":\"photo\\\\x.jpg\",\"name\":\"L1.jpg\"}"));
    ASSERT_TRUE(w.WaitNotice("getfileok"));
    Bytes got;
    ASSERT_TRUE(plat::ReadWholeFile(w.link->TempDir() + "/L1.jpg", got));
    EXPECT_EQ(got, photo);
    mark("photo fetched");

    Bytes turned(3000);
    for (auto& b : turned) b = static_cast<uint8_t>(rng());
    ASSERT_TRUE(w.link->Soob.PutSoob(
        "{\"$c$\":\"putfilebase64\",\"nameinserv\":\"photo\\\\y.jpg\",\"data\":\"" +
        plat::Base64Encode(turned.data(), turned.size()) + "\"}"));
    EXPECT_TRUE(Eventually([&] {
      Bytes disk;
      return plat::ReadWholeFile(sdir + "/photo/y.jpg", disk) && disk == turned;
    }));

    mark("photo stored");
    ASSERT_TRUE(Eventually([&] { return SameHistory(w, *server); }));
    mark("history");
    for (int i = 40; i < 120; ++i) server->AppendHistory(Ev(i));
    EXPECT_TRUE(Eventually([&] { return SameHistory(w, *server); }));
    mark("history grown");
  }
  // A second start loads from the cache, with changes made meanwhile.
  server->AddRecord("photo", {{"numobj", "9"}, {"file", "late.jpg"}});
  ASSERT_TRUE(server->EditRecord("object", 5, {{"address", "moved"}}));
  {
    Workstation w(server->port(), wdir);
    ASSERT_TRUE(Eventually([&] { return w.Loaded(); }, 60000));
    EXPECT_EQ(TablesDiffer(w, *server), "");
    EXPECT_TRUE(Eventually([&] { return SameHistory(w, *server); }));
  }
  mark("cached start");
  server.reset();
  std::filesystem::remove_all(sdir);
  std::filesystem::remove_all(wdir);
}

// The seeds run side by side (each with its own server and folder): a run
// spends most of its time waiting for resends.
TEST(LossyLinkTest, EverythingArrivesExactOverSeveralSeeds) {
  const int n = SeedCount();
  FastClock fast(3);
  for (int first = 0; first < n; first += 4) {
    std::vector<std::thread> runs;
    for (int i = first; i < n && i < first + 4; ++i)
      runs.emplace_back([i] { LossyRound(1000 + static_cast<uint64_t>(i)); });
    for (auto& t : runs) t.join();
  }
}

}  // namespace
}  // namespace rel
