#include "foundation/tlog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>

#include "platform/clock.h"
#include "platform/regional.h"
#include "tests/foundation/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using found_test::ReadFile;
using found_test::WriteFile;

class TLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_regional_ = plat::regional();
    plat::Regional r;
    r.LongTimeFormat = "hh:mm:ss";
    r.TimeSeparator = ':';
    plat::SetRegional(r);
    clock_.SetNow(plat::EncodeDate(2026, 3, 10) + plat::EncodeTime(12, 34, 56));
    plat::SetClock(&clock_);
    fs::create_directories(dir_.File("logs"));
  }
  void TearDown() override {
    log_.reset();
    plat::SetClock(nullptr);
    plat::SetRegional(saved_regional_);
  }

  // A log whose thread is already stopped, so each test drives the passes.
  TLog& StoppedLog(const std::string& name = "udpc") {
    log_ = std::make_unique<TLog>(dir_.Path());
    log_->Stop();
    log_->SetName(name);
    log_->Log = true;
    return *log_;
  }
  std::string LogFile(const std::string& name) { return dir_.File("logs/" + name); }
  void Touch(const std::string& name) { WriteFile(LogFile(name), "x\r\n"); }

  found_test::TempFolder dir_;
  plat::FakeClock clock_;
  plat::Regional saved_regional_;
  std::unique_ptr<TLog> log_;
};

TEST_F(TLogTest, WritesTimeStampedLinesToTodaysFile) {
  TLog& log = StoppedLog();
  EXPECT_TRUE(fs::is_directory(dir_.File("logs")));
  ASSERT_TRUE(log.Add("first"));
  ASSERT_TRUE(log.Add(">>>> second"));
  log.Pass();
  const std::string file = LogFile("udpc_20260310.log");
  EXPECT_EQ(log.TodayFile(), file);
  EXPECT_EQ(ReadFile(file), "12:34:56 - first\r\n12:34:56 - >>>> second\r\n");
  EXPECT_FALSE(log.Buffer.IsSoob());

  // The next pass appends; past midnight the lines go to the new day's file.
  clock_.Advance(1000);
  log.Add("third");
  log.Pass();
  EXPECT_EQ(ReadFile(file), "12:34:56 - first\r\n12:34:56 - >>>> second\r\n12:34:57 - third\r\n");
  clock_.SetNow(plat::EncodeDate(2026, 3, 11) + plat::EncodeTime(0, 0, 1));
  log.Add("fourth");
  log.Pass();
  EXPECT_EQ(ReadFile(LogFile("udpc_20260311.log")), "00:00:01 - fourth\r\n");
}

TEST_F(TLogTest, DisabledLogWritesNothingAndEmptiesTheQueue) {
  TLog& log = StoppedLog();
  log.Log = false;
  log.Add("a");
  log.Add("b");
  log.Pass();
  EXPECT_FALSE(log.Buffer.IsSoob());
  EXPECT_FALSE(fs::exists(LogFile("udpc_20260310.log")));
}

TEST_F(TLogTest, FullBufferRefusesTheLine5001) {
  TLog& log = StoppedLog();
  for (int i = 0; i < 5000; ++i) ASSERT_TRUE(log.Add("line " + std::to_string(i)));
  EXPECT_FALSE(log.Add("line 5000"));
  log.Pass();
  const std::string text = ReadFile(LogFile("udpc_20260310.log"));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5000);
  EXPECT_NE(text.find("12:34:56 - line 4999\r\n"), std::string::npos);
  EXPECT_TRUE(log.Add("after"));
}

// A file that will not open keeps the lines queued (bounded by the buffer)
// until a later pass can write them, on sweep days and on other days alike.
TEST_F(TLogTest, LinesWaitWhileTheFileWillNotOpen) {
  TLog& log = StoppedLog();
  const std::string file = LogFile("udpc_20260310.log");
  fs::create_directory(file);  // a folder in the file's place cannot be opened
  log.Add("a");
  log.Pass();  // the first pass of the day (it sweeps)
  log.Add("b");
  log.Pass();  // no sweep
  EXPECT_EQ(log.Buffer.Items(), 2);
  fs::remove(file);
  log.Pass();
  EXPECT_EQ(ReadFile(file), "12:34:56 - a\r\n12:34:56 - b\r\n");
  EXPECT_FALSE(log.Buffer.IsSoob());
}

struct SweepCase {
  const char* file;
  bool kept;
};

TEST_F(TLogTest, FirstPassRemovesFilesThreeDaysOld) {
  const SweepCase cases[] = {
      {"udpc_20260310.log", true},  // today
      {"udpc_20260309.log", true},      {"udpc_20260308.log", true},
      {"udpc_20260307.log", false},                                   // three days before
      {"udpc_20260101.log", false},     {"udpc_20260320.log", true},  // ahead of today
      {"udpc_20190505.log", false},                                   // before 2020: 1 January 2020
      {"udpc_notadate.log", false},                                   // no readable date
      {"udpc_20260231.log", false},                                   // no such day
      {"udpc_2026.log", false},                                       // month and day default to 1
      {"udpc_202603.log", false},                                     // day defaults to 1
      {"old_udpc_20260310.log", false},  // the date is read after the first '_'
      {"mail_20200101.log", true},       // another log's file, whatever its date
      {"udpcx20200101.log", true},       // no name + '_'
  };
  for (const auto& c : cases) Touch(c.file);
  fs::create_directory(LogFile("udpc_20200101.dir"));  // folders are not files to remove
  TLog& log = StoppedLog();
  log.Pass();
  for (const auto& c : cases) EXPECT_EQ(fs::exists(LogFile(c.file)), c.kept) << c.file;
  EXPECT_TRUE(fs::is_directory(LogFile("udpc_20200101.dir")));
}

TEST_F(TLogTest, SweepRunsOncePerDayAndHonoursLogDay) {
  TLog& log = StoppedLog();
  log.Pass();
  Touch("udpc_20260301.log");
  log.Pass();  // same day: no sweep
  EXPECT_TRUE(fs::exists(LogFile("udpc_20260301.log")));

  clock_.SetNow(plat::EncodeDate(2026, 3, 11) + plat::EncodeTime(8, 0, 0));
  Touch("udpc_20260309.log");
  log.Pass();  // a new day: sweep again
  EXPECT_FALSE(fs::exists(LogFile("udpc_20260301.log")));
  EXPECT_TRUE(fs::exists(LogFile("udpc_20260309.log")));

  log.LogDay = 0;  // 0 keeps everything
  clock_.SetNow(plat::EncodeDate(2026, 4, 1));
  log.Pass();
  EXPECT_TRUE(fs::exists(LogFile("udpc_20260309.log")));
}

TEST_F(TLogTest, NoSweepBeforeTheLogHasAName) {
  Touch("mail_20200101.log");
  TLog& log = StoppedLog("");
  log.Log = false;
  log.Pass();
  EXPECT_TRUE(fs::exists(LogFile("mail_20200101.log")));
  log.SetName("udpc");
  Touch("udpc_20200101.log");
  log.Pass();  // the first named pass sweeps
  EXPECT_FALSE(fs::exists(LogFile("udpc_20200101.log")));
  EXPECT_TRUE(fs::exists(LogFile("mail_20200101.log")));
}

// The writer thread and several writers at once: every line accepted reaches
// the file, including those that arrive while a pass is writing and those
// still queued when the log stops.
TEST_F(TLogTest, ThreadWritesEveryAcceptedLine) {
  log_ = std::make_unique<TLog>(dir_.Path());
  log_->SetName("udpc");
  log_->Log = true;
  constexpr int kWriters = 3, kLines = 4000;
  std::atomic<int> accepted{0};
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w)
    writers.emplace_back([&, w] {
      for (int i = 0; i < kLines; ++i) {
        if (log_->Add("w" + std::to_string(w) + " " + std::to_string(i))) accepted.fetch_add(1);
        if (i % 64 == 0) std::this_thread::yield();
      }
    });
  for (auto& t : writers) t.join();
  // Queued right before the stop: the stop still writes it.
  while (!log_->Add("last")) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  log_->Stop();
  const std::string text = ReadFile(LogFile("udpc_20260310.log"));
  EXPECT_GT(accepted.load(), 0);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), accepted.load() + 1);
  EXPECT_NE(text.find("12:34:56 - last\r\n"), std::string::npos);
  EXPECT_FALSE(log_->Buffer.IsSoob());
}

}  // namespace
