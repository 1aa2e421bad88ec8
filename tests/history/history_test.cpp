#include "app/history/history.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "app/history/history_writer.h"

namespace fs = std::filesystem;

namespace {

// A fresh working folder per test.
class HistoryDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(SVCDESK_BINARY_DIR) / "history-test" /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  std::string Dir() const { return dir_.string(); }
  static void WriteFile(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  static std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path dir_;
};

std::string Entry(uint16_t type, int32_t offset) {
  std::string e(1, '\xFF');
  PutLE16(e, type);
  PutLE32(e, offset);
  return e;
}

std::vector<THistoryRecord> WalkAll(const std::string& zag, const std::string& zap, size_t ot) {
  std::vector<THistoryRecord> out;
  THistoryWalk w(zag, zap, ot);
  THistoryRecord r;
  while (w.Next(r)) out.push_back(r);
  return out;
}

}  // namespace

TEST_F(HistoryDir, DayHistoryLivesInYearAndMonthFolders) {
  THistory h("hx8_20211018", Dir());
  EXPECT_EQ(h.Mona, 1);
  EXPECT_TRUE(fs::is_directory(dir_ / "temp"));
  h.ServerPort = "10.0.0.5-9010/";
  EXPECT_EQ(h.NewSoob(h.Name), "2021/10/hx8_20211018");
  EXPECT_TRUE(fs::is_directory(dir_ / "temp" / "10.0.0.5-9010" / "2021" / "10"));
  EXPECT_EQ(h.SegmentPath(THistorySegment::Zag),
            (dir_ / "temp/10.0.0.5-9010/2021/10/hx8_20211018.fz8").string());
}

TEST_F(HistoryDir, NamesGiveTheirFoldersOrNone) {
  const struct {
    const char* name;
    const char* path;
  } cases[] = {
      {"hx8_202110", "2021/10/hx8_202110"},
      {"hx8_2021", "2021/hx8_2021"},
      {"hx8_20211018", "2021/10/hx8_20211018"},
      {"a_b_20211018", "b_20/21/a_b_20211018"},  // only the first "_" separates
      {"hx8_20215", "2021/5/hx8_20215"},
      {"hx8_202", "202/hx8_202"},
      {"hx8_", ""},       // no period
      {"../x_2021", ""},  // would leave the server folder
      {"x_2021/..", ""},
      {"x_20\\21", ""},
      {"x_2021/10", ""},
      {"x_.", ""},
  };
  THistory h("hx8_20211018", Dir());
  h.ServerPort = "127.0.0.1-9010/";
  for (const auto& c : cases) EXPECT_EQ(h.NewSoob(c.name), c.path) << c.name;
  // Nothing was created outside the server folder.
  EXPECT_FALSE(fs::exists(dir_ / "temp" / "x_2021"));
  EXPECT_FALSE(fs::exists(dir_ / "x_2021"));
}

TEST_F(HistoryDir, LoadMovesFlatFilesAndReadsThem) {
  THistoryWriter w(3, 2021, 10, 18);
  const int32_t tech = w.AddString("Ivanov");
  w.AddEvent(kHistWorkStarted, 9, 30, 5, 17, -1, tech, -1);
  const fs::path server = dir_ / "temp" / "srv-1";
  WriteFile(server / "hx8_20211018.fz8", w.Zag());
  WriteFile(server / "hx8_20211018.fp8", w.Zap());
  WriteFile(server / "hx8_20211018.fm8", w.Memo());
  // A stale copy in the new place is replaced by the flat file.
  WriteFile(server / "2021" / "10" / "hx8_20211018.fp8", "old");

  THistory h("hx8_20211018", Dir());
  h.ServerPort = "srv-1/";
  ASSERT_TRUE(h.Load());
  EXPECT_TRUE(h.REfresh);
  for (const char* ext : {".fz8", ".fp8", ".fm8"}) {
    EXPECT_FALSE(fs::exists(server / (std::string("hx8_20211018") + ext))) << ext;
    EXPECT_TRUE(fs::exists(server / "2021" / "10" / (std::string("hx8_20211018") + ext))) << ext;
  }
  const THistoryData d = h.Snapshot();
  EXPECT_EQ(d.Zag, w.Zag());
  EXPECT_EQ(d.Zap, w.Zap());
  EXPECT_EQ(d.Memo, w.Memo());
  EXPECT_EQ(d.TypeFile, 3);
  EXPECT_EQ(d.Ot, 5);
  EXPECT_EQ(d.Year, 2021);
  EXPECT_EQ(d.Month, 10);
  EXPECT_EQ(d.Day, 18);
  const auto recs = WalkAll(d.Zag, d.Zap, d.Ot);
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].Type, kHistWorkStarted);
  EXPECT_EQ(recs[0].Hour, 9);
  EXPECT_EQ(recs[0].Minute, 30);
  EXPECT_EQ(recs[0].Second, 5);
  EXPECT_EQ(recs[0].I32(1), 17);
  EXPECT_EQ(recs[0].I32(5), -1);
  EXPECT_EQ(HistoryPoolString(d.Memo, recs[0].I32(13)), "Ivanov");
}

TEST_F(HistoryDir, LoadWithoutFilesIsEmptyAndRefuseOversizedFiles) {
  THistory h("hx8_20211018", Dir());
  h.ServerPort = "srv/";
  h.PutSegment(THistorySegment::Zap, 0, "abc", 3);
  ASSERT_TRUE(h.Load());
  EXPECT_TRUE(h.Snapshot().Zap.empty());
  EXPECT_TRUE(fs::is_directory(dir_ / "temp" / "srv" / "2021" / "10"));

  // A sparse file over the cap: refused, the store keeps what it had.
  h.PutSegment(THistorySegment::Memo, 0, "m", 1);
  {
    std::ofstream big(h.SegmentPath(THistorySegment::Zap), std::ios::binary);
    big.seekp(THistory::kMaxArray);
    big << 'x';
  }
  h.REfresh = false;
  EXPECT_FALSE(h.Load());
  EXPECT_EQ(h.Snapshot().Memo, "m");
  EXPECT_FALSE(h.REfresh);
}

TEST(HistoryHeader, PeriodFieldsFollowTypeFile) {
  const struct {
    std::string zag;
    uint8_t type, ot;
    uint16_t year, month, day, hour, minute;
  } cases[] = {
      {std::string("\x01\xE5\x07", 3), 1, 3, 2021, 0, 0, 0, 0},
      {std::string("\x02\xE5\x07\x0A", 4), 2, 4, 2021, 10, 0, 0, 0},
      {std::string("\x03\xE5\x07\x0A\x12", 5), 3, 5, 2021, 10, 18, 0, 0},
      {std::string("\x04\xE5\x07\x0A\x12\x09", 6), 4, 6, 2021, 10, 18, 9, 0},
      {std::string("\x05\xE5\x07\x0A\x12\x09\x1E", 7), 5, 7, 2021, 10, 18, 9, 30},
      {std::string("\x03\xE5", 2), 3, 5, 0xE5, 0, 0, 0, 0},    // short header: no reads past it
      {std::string("\x09\xE5\x07", 3), 9, 42, 0, 0, 0, 0, 0},  // unknown type keeps Ot
  };
  for (const auto& c : cases) {
    THistoryData d;
    d.Ot = 42;
    d.Zag = c.zag;
    d.ParseHeader();
    EXPECT_EQ(d.TypeFile, c.type);
    EXPECT_EQ(d.Ot, c.ot) << int(c.type);
    EXPECT_EQ(d.Year, c.year) << int(c.type);
    EXPECT_EQ(d.Month, c.month) << int(c.type);
    EXPECT_EQ(d.Day, c.day) << int(c.type);
    EXPECT_EQ(d.Hour, c.hour) << int(c.type);
    EXPECT_EQ(d.Minute, c.minute) << int(c.type);
  }
  THistoryData empty;
  empty.Ot = 7;
  empty.ParseHeader();
  EXPECT_EQ(empty.Ot, 7);
  EXPECT_EQ(empty.TypeFile, 0);
}

TEST(HistoryWalk, SkipsGarbageAndRecordsOutsideTheRecords) {
  THistoryWriter w(3, 2021, 10, 18);
  w.AddEvent(kHistWorkStarted, 8, 0, 0, 5, -1, 0, 0);     // offset 0, 24 bytes
  w.AddIndexGarbage(std::string("\x01\x02\x00\x7F", 4));  // damaged bytes between entries
  w.AddEvent(kHistWorkEnded1, 9, 15, 0, 7, -1, 0, 0);     // offset 24, 20 bytes
  std::string zag = w.Zag();
  zag += Entry(kHistWorkStarted, -5);              // negative offset
  zag += Entry(kHistWorkStarted, 30);              // needs 24 bytes, only 14 remain
  zag += Entry(0x1234, 44);                        // unknown type: its time must fit, 2 bytes left
  zag += Entry(0x1234, 43);                        // ... and fits in the last 3
  zag += Entry(kHistWorkEnded1, 0x7FFFFFFF);       // far outside
  zag += Entry(kHistWorkEnded1, 24).substr(0, 5);  // cut short by the end of the file
  std::string zap = w.Zap() + std::string("\x0A\x0B", 2);  // 46 bytes

  THistoryWalk walk(zag, zap, 5);
  std::vector<THistoryRecord> recs;
  THistoryRecord r;
  while (walk.Next(r)) recs.push_back(r);
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[0].Type, kHistWorkStarted);
  EXPECT_EQ(recs[0].I32(1), 5);
  EXPECT_EQ(recs[0].PayloadSize, 21u);
  EXPECT_EQ(recs[1].Type, kHistWorkEnded1);
  EXPECT_EQ(recs[1].Hour, 9);
  EXPECT_EQ(recs[1].Minute, 15);
  EXPECT_EQ(recs[1].I32(1), 7);
  EXPECT_EQ(recs[1].PayloadSize, 17u);
  EXPECT_EQ(recs[1].I32(14), 0) << "a field past the payload reads as the default";
  EXPECT_EQ(recs[1].I32(14, -9), -9);
  EXPECT_EQ(recs[2].Type, 0x1234);
  EXPECT_EQ(recs[2].Offset, 43);
  EXPECT_EQ(recs[2].PayloadSize, 0u);
  EXPECT_EQ(walk.Skipped(), 4u);
}

TEST(HistoryWalk, EndsWithoutMarkerOrOnShortData) {
  const std::string zap(100, '\0');
  const struct {
    std::string zag;
    size_t ot;
    size_t count;
  } cases[] = {
      {"", 5, 0},
      {std::string("\x03\xE5\x07\x0A\x12", 5), 5, 0},
      {std::string("\x03\xE5\x07\x0A\x12", 5) + Entry(1, 0), 5, 1},
      {std::string("\x03\xE5\x07\x0A\x12", 5) + Entry(1, 0), 200, 0},  // Ot past the end
      {std::string("\x03\xE5\x07\x0A\x12", 5) + std::string(20, 'x'), 5, 0},
      {std::string("\x03\xE5\x07\x0A\x12", 5) + Entry(1, 0) + "\xFF\x01", 5, 1},
      {std::string("\x03\xE5\x07\x0A\x12", 5) + "zz" + Entry(1, 0) + "zz" + Entry(2, 3), 5, 2},
  };
  for (const auto& c : cases) EXPECT_EQ(WalkAll(c.zag, zap, c.ot).size(), c.count) << c.zag.size();
}

TEST(HistoryPool, ReferencesOutsideThePoolReadEmpty) {
  const std::string memo = std::string(
      "\x03"
      "abc"
      "\x00"
      "\x05"
      "xy",
      8);
  const struct {
    int32_t ref;
    const char* text;
  } cases[] = {{0, "abc"},           {4, ""}, {5, ""}, {-1, ""}, {8, ""}, {1 << 30, ""},
               {-2147483647 - 1, ""}};
  for (const auto& c : cases) EXPECT_EQ(HistoryPoolString(memo, c.ref), c.text) << c.ref;
}

TEST_F(HistoryDir, SegmentsAreBoundedBeforeTheArrayGrows) {
  THistory h("hx8_20211018", Dir());
  EXPECT_TRUE(h.PutSegment(THistorySegment::Zag, 4, "abcd", 4));
  EXPECT_EQ(h.Snapshot().Zag, std::string("\0\0\0\0abcd", 8));
  EXPECT_TRUE(h.PutSegment(THistorySegment::Zag, 2, "XY", 2));
  EXPECT_EQ(h.Snapshot().Zag, std::string("\0\0XYabcd", 8));
  EXPECT_FALSE(h.PutSegment(THistorySegment::Zag, int64_t{1} << 31, "a", 1));
  EXPECT_FALSE(h.PutSegment(THistorySegment::Zag, -1, "a", 1));
  EXPECT_FALSE(h.PutSegment(THistorySegment::Zag, THistory::kMaxArray, "a", 1));
  int64_t m, p, g;
  h.Sizes(m, p, g);
  EXPECT_EQ(g, 8);
  h.ClearSegment(THistorySegment::Zag);
  h.Sizes(m, p, g);
  EXPECT_EQ(g, 0);
}

// The link thread appends while a reader replays copies: every copy walks
// cleanly and the reader never sees fewer records than before.
TEST_F(HistoryDir, ReadersGetConsistentCopiesWhileTheLinkAppends) {
  THistory h("hx8_20211018", Dir());
  THistoryWriter w(3, 2021, 10, 18);
  h.PutSegment(THistorySegment::Zag, 0, w.Zag().data(), w.Zag().size());
  h.ParseHeaderLocked();
  constexpr int kRecords = 2000;
  std::atomic<bool> done{false};
  std::thread link([&] {
    for (int i = 0; i < kRecords; ++i) {
      const size_t zap_at = w.Zap().size(), zag_at = w.Zag().size();
      w.AddEvent(kHistWorkEnded1, 10, 0, 0, i, -1, -1, -1);
      h.PutSegment(THistorySegment::Zap, zap_at, w.Zap().data() + zap_at, w.Zap().size() - zap_at);
      h.PutSegment(THistorySegment::Zag, zag_at, w.Zag().data() + zag_at, w.Zag().size() - zag_at);
      h.REfresh = true;
    }
    done = true;
  });
  size_t last = 0;
  bool sane = true;
  while (!done.load() || h.REfresh.load()) {
    if (!h.REfresh.exchange(false)) {
      std::this_thread::yield();
      continue;
    }
    const THistoryData d = h.Snapshot();
    const auto recs = WalkAll(d.Zag, d.Zap, d.Ot);
    sane = sane && recs.size() >= last;
    for (size_t i = 0; i < recs.size(); ++i)
      sane = sane && recs[i].I32(1) == static_cast<int32_t>(i);
    last = recs.size();
    // Holding the lock works too.
    h.Read([&](const THistoryData& locked) { sane = sane && locked.Zag.size() >= d.Zag.size(); });
  }
  link.join();
  EXPECT_TRUE(sane);
  const THistoryData d = h.Snapshot();
  EXPECT_EQ(WalkAll(d.Zag, d.Zap, d.Ot).size(), static_cast<size_t>(kRecords));
}
