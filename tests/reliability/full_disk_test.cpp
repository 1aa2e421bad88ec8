// A full disk under the working folder (a small tmpfs, mounted only when the
// test may mount: it runs as root in CI and is skipped elsewhere): a table file
// that cannot be written is a lost transfer, not a table loaded empty; the
// table caches keep their previous content; once space is freed the same
// workstation logs in again and loads the tables exact.
#include <sys/mount.h>

#include <map>

#include "platform/files.h"
#include "reliability_fixture.h"

namespace rel {
namespace {

std::map<std::string, std::string> CacheFiles(const std::string& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir + "/temp")) {
    const std::string name = e.path().filename().string();
    if (!e.is_regular_file() || name.find("cache") == std::string::npos) continue;
    std::string data;
    plat::ReadWholeFile(e.path().string(), data);
    out[e.path().string()] = data;
  }
  return out;
}

TEST(FullDiskTest, TableCachesKeepTheirContent) {
  const std::string mnt = FreshDir("disk"), sdir = FreshDir("s");
  std::filesystem::create_directories(mnt);
  if (geteuid() != 0 || mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=4m") != 0) {
    std::filesystem::remove_all(mnt);
    GTEST_SKIP() << "cannot mount a small tmpfs here";
  }
  struct Unmount {
    std::string dir;
    ~Unmount() {
      umount2(dir.c_str(), MNT_DETACH);
      std::filesystem::remove_all(dir);
    }
  } unmount{mnt};
  const std::string wdir = mnt + "/w";
  auto server = MakeServer(sdir, 300);
  ASSERT_TRUE(server);
  {
    Workstation w(server->port(), wdir);
    ASSERT_TRUE(Eventually([&] { return w.Loaded(); }));
  }
  const auto before = CacheFiles(wdir);
  ASSERT_GT(before.size(), 4u);
  // Fill the disk to the last byte.
  {
    plat::File filler;
    ASSERT_TRUE(filler.Open(mnt + "/filler", plat::File::kCreate));
    std::string block(4096, 'f');
    while (filler.Write(block.data(), static_cast<int64_t>(block.size()))) {
    }
    while (filler.Write(block.data(), 1)) {
    }
  }
  // The server's data changes, so the next load would rewrite every cache.
  for (int i = 0; i < 300; ++i)
    server->AddRecord("object",
                      {{"name", "late " + std::to_string(i)}, {"number", std::to_string(900 + i)}});
  {
    Workstation w(server->port(), wdir);
    // A table file that cannot be written is a lost transfer, never a table loaded empty.
    ASSERT_TRUE(w.WaitNotice("disconnected"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(w.SawNotice("tableload"));
    const auto after = CacheFiles(wdir);
    for (const auto& [path, data] : before) {
      auto it = after.find(path);
      ASSERT_NE(it, after.end()) << path << " lost";
      EXPECT_TRUE(it->second == data) << path << " changed on a full disk";
    }
    // Space again: the same workstation logs in again and ends exact.
    std::filesystem::remove(mnt + "/filler");
    ASSERT_TRUE(Eventually([&] { return w.Loaded(); }));
    EXPECT_EQ(TablesDiffer(w, *server), "");
  }
  // And a new start reads the caches back and ends exact.
  {
    Workstation w(server->port(), wdir);
    ASSERT_TRUE(Eventually([&] { return w.Loaded(); }));
    EXPECT_EQ(TablesDiffer(w, *server), "");
  }
  server.reset();
  std::filesystem::remove_all(sdir);
}

}  // namespace
}  // namespace rel
