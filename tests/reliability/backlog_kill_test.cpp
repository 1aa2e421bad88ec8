// The workstation killed (SIGKILL) while it drains a backlog of 100 entries,
// then started again in the same folder: every entry reaches the server at
// least once and the backlog files read back sound at every step.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "foundation/backlog.h"
#include "link/datagram.h"
#include "platform/files.h"
#include "reliability_fixture.h"

namespace rel {
namespace {

constexpr int kEntries = 100;

std::string Entry(int i) {
  return "{\"$c$\":\"bk\",\"n\":\"" + std::to_string(i) + "\"}";
}

void WriteBacklog(const std::string& dir) {
  std::filesystem::create_directories(dir + "/dd8");
  Bytes index(16, 0);
  PutLe32(index.data(), TBackSoobString::Pref);
  PutLe32(index.data() + 4, kEntries);
  Bytes data;
  for (int i = 0; i < kEntries; ++i) {
    const std::string t = Entry(i);
    uint8_t len[4];
    PutLe32(len, static_cast<uint32_t>(t.size()));
    data.insert(data.end(), {0xFF, 0xFF});
    data.insert(data.end(), len, len + 4);
    data.insert(data.end(), t.begin(), t.end());
    data.insert(data.end(), {0xFE, 0xFF});
  }
  ASSERT_TRUE(plat::WriteFileAtomic(dir + "/dd8/backsoob.dat", index));
  ASSERT_TRUE(plat::WriteFileAtomic(dir + "/dd8/bs0.dat", data));
}

std::set<int> Delivered(srv::Server& s) {
  std::set<int> got;
  for (const std::string& c : s.ReceivedCommands())
    if (GetValueFromJSON(c, "$c$") == "bk") got.insert(atoi(GetValueFromJSON(c, "n").c_str()));
  return got;
}

// Reads a copy of the backlog through: its entries in order, each well formed.
std::vector<int> ReadBack(const std::string& dir, int32_t& count) {
  const std::string copy = FreshDir("copy");
  std::filesystem::create_directories(copy);
  std::filesystem::copy(dir + "/dd8", copy + "/dd8", std::filesystem::copy_options::recursive);
  TBackSoobString b(copy);
  b.NameBack = "dd8";
  b.Init();
  count = b.FCount();
  std::vector<int> out;
  std::string t;
  for (int guard = 0; guard < 2 * kEntries && b.GetSoob(t); ++guard) {
    out.push_back(GetValueFromJSON(t, "$c$") == "bk" ? atoi(GetValueFromJSON(t, "n").c_str()) : -1);
    b.DeleteSoob();
  }
  std::filesystem::remove_all(copy);
  return out;
}

TEST(BacklogKillTest, NoEntryLostAcrossASigkill) {
  FastClock fast(3);
  const std::string sdir = FreshDir("s"), wdir = FreshDir("w");
  WriteBacklog(wdir);
  int port_pipe[2];
  ASSERT_EQ(pipe(port_pipe), 0);
  // The child is forked before this process runs any thread of its own.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(port_pipe[1]);
    uint16_t port = 0;
    if (read(port_pipe[0], &port, sizeof port) != sizeof port) _exit(3);
    {
      Workstation w(port, wdir);
      for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    }
  }
  close(port_pipe[0]);
  auto server = MakeServer(sdir, 30);
  ASSERT_TRUE(server);
  const uint16_t port = server->port();
  ASSERT_EQ(write(port_pipe[1], &port, sizeof port), static_cast<ssize_t>(sizeof port));
  close(port_pipe[1]);
  // Killed part way through the drain.
  const bool some = Eventually([&] { return Delivered(*server).size() >= 37; }, 40000);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(some);
  const size_t before = Delivered(*server).size();
  EXPECT_LT(before, static_cast<size_t>(kEntries));

  // What is left on disk: whole entries, oldest first, none of them forgotten
  // unless the server had it; the count at most one ahead of a delete.
  int32_t count = 0;
  std::vector<int> left = ReadBack(wdir, count);
  ASSERT_FALSE(left.empty());
  EXPECT_TRUE(std::is_sorted(left.begin(), left.end()));
  EXPECT_EQ(left.back(), kEntries - 1);
  EXPECT_GE(left.front(), 0);
  EXPECT_GE(count, static_cast<int32_t>(left.size()));
  EXPECT_LE(count, static_cast<int32_t>(left.size()) + 1);
  const std::set<int> sent = Delivered(*server);
  for (int i = 0; i < left.front(); ++i) EXPECT_TRUE(sent.count(i)) << "entry " << i << " lost";

  // Started again in the same folder: the rest goes out and the backlog empties.
  {
    Workstation w(port, wdir);
    EXPECT_TRUE(Eventually([&] { return Delivered(*server).size() == kEntries; }, 40000));
    EXPECT_TRUE(Eventually([&] { return w.link->Back.FCount() == 0; }, 20000));
  }
  const std::set<int> all = Delivered(*server);
  for (int i = 0; i < kEntries; ++i) EXPECT_TRUE(all.count(i)) << "entry " << i << " never sent";
  server.reset();
  std::filesystem::remove_all(sdir);
  std::filesystem::remove_all(wdir);
}

}  // namespace
}  // namespace rel
