#include "foundation/backlog.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "tests/foundation/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using found_test::ReadFile;
using found_test::WriteFile;

std::string U32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

std::string Index(int32_t count, int32_t first, int32_t last) {
  return U32(0x0FEEFFFF) + U32(count) + U32(first) + U32(last);
}

std::string Entry(const std::string& text) {
  return "\xFF\xFF" + U32(static_cast<uint32_t>(text.size())) + text + "\xFE\xFF";
}

class BacklogTest : public ::testing::Test {
 protected:
  std::string Folder() { return dir_.File("dd8"); }
  std::string Data(int n) { return dir_.File("dd8/bs" + std::to_string(n) + ".dat"); }
  std::string IndexFile() { return dir_.File("dd8/backsoob.dat"); }
  // A backlog over files written by the test.
  void Prepare(const std::string& index) {
    fs::create_directories(Folder());
    WriteFile(IndexFile(), index);
  }
  TBackSoobString& Open() {
    back_.NameBack = "dd8";
    back_.Init();
    return back_;
  }

  found_test::TempFolder dir_;
  TBackSoobString back_{dir_.Path()};
};

TEST_F(BacklogTest, InitCreatesFolderAndEmptyIndex) {
  TBackSoobString& b = Open();
  EXPECT_TRUE(fs::is_directory(Folder()));
  EXPECT_EQ(ReadFile(IndexFile()), Index(0, 0, 0));
  EXPECT_EQ(ReadFile(IndexFile()).substr(0, 4), std::string("\xFF\xFF\xEE\x0F", 4));
  EXPECT_EQ(b.FCount(), 0);
  EXPECT_EQ(b.FileName(), IndexFile());
  EXPECT_EQ(b.FileNameTek(), Data(0));
  std::string text = "untouched";
  EXPECT_FALSE(b.GetSoob(text));
  EXPECT_TRUE(text.empty());
}

TEST_F(BacklogTest, WithoutANameNothingIsCreated) {
  back_.Init();
  EXPECT_FALSE(fs::exists(Folder()));
  std::string text;
  EXPECT_FALSE(back_.GetSoob(text));
  back_.DeleteAll();
  EXPECT_TRUE(fs::is_empty(dir_.Path()));
}

TEST_F(BacklogTest, IndexIsReadOrReplaced) {
  struct Case {
    const char* what;
    std::string index;
    int32_t count, first, last;
  } cases[] = {
      {"valid", Index(5, 2, 4), 5, 2, 4},
      {"foreign signature", U32(0x12345678) + U32(5) + U32(2) + U32(4), 0, 0, 0},
      {"short", Index(5, 2, 4).substr(0, 10), 0, 0, 0},
      {"negative count", Index(-1, 0, 0), 0, 0, 0},
      {"first after last", Index(1, 3, 2), 0, 0, 0},
  };
  for (const auto& c : cases) {
    Prepare(c.index);
    TBackSoobString b(dir_.Path());
    b.NameBack = "dd8";
    b.Init();
    EXPECT_EQ(b.FCount(), c.count) << c.what;
    EXPECT_EQ(b.FirstNumb(), c.first) << c.what;
    EXPECT_EQ(b.LastNumb(), c.last) << c.what;
    const std::string want = c.count == 5 ? c.index : Index(0, 0, 0);
    EXPECT_EQ(ReadFile(IndexFile()), want) << c.what;
  }
}

TEST_F(BacklogTest, TwoEntriesDrainInOrder) {
  Prepare(Index(2, 0, 0));
  WriteFile(Data(0), Entry("{\"$c$\":\"one\"}") + Entry("second"));
  TBackSoobString& b = Open();
  std::string text;
  ASSERT_TRUE(b.GetSoob(text));
  EXPECT_EQ(text, "{\"$c$\":\"one\"}");
  ASSERT_TRUE(b.GetSoob(text));  // read leaves it in place
  EXPECT_EQ(text, "{\"$c$\":\"one\"}");
  b.DeleteSoob();
  EXPECT_EQ(ReadFile(Data(0)), Entry("second"));
  EXPECT_EQ(b.FCount(), 1);
  EXPECT_EQ(ReadFile(IndexFile()), Index(1, 0, 0));
  ASSERT_TRUE(b.GetSoob(text));
  EXPECT_EQ(text, "second");
  b.DeleteSoob();
  EXPECT_EQ(b.FCount(), 0);
  EXPECT_EQ(ReadFile(Data(0)), "");
  // With FCount 0 a delete does nothing.
  WriteFile(Data(0), Entry("stray"));
  b.DeleteSoob();
  EXPECT_EQ(ReadFile(Data(0)), Entry("stray"));
}

TEST_F(BacklogTest, EmptiedFileIsDeletedAndTheNextFileFollows) {
  Prepare(Index(2, 0, 1));
  WriteFile(Data(0), Entry("a"));
  WriteFile(Data(1), Entry("b"));
  TBackSoobString& b = Open();
  b.DeleteSoob();
  EXPECT_FALSE(fs::exists(Data(0)));
  EXPECT_EQ(b.FirstNumb(), 1);
  EXPECT_EQ(b.FCount(), 1);
  EXPECT_EQ(ReadFile(IndexFile()), Index(1, 1, 1));
  EXPECT_EQ(b.FileNameTek(), Data(1));
  std::string text;
  ASSERT_TRUE(b.GetSoob(text));
  EXPECT_EQ(text, "b");
  // The last file is emptied but kept while it is the only one.
  b.DeleteSoob();
  EXPECT_TRUE(fs::exists(Data(1)));
  EXPECT_EQ(ReadFile(IndexFile()), Index(0, 1, 1));
}

TEST_F(BacklogTest, EmptyOldestFileClearsTheBacklog) {
  Prepare(Index(3, 0, 0));
  WriteFile(Data(0), "");
  TBackSoobString& b = Open();
  std::string text;
  EXPECT_FALSE(b.GetSoob(text));
  EXPECT_EQ(b.FCount(), 0);
  EXPECT_FALSE(fs::exists(Data(0)));
  EXPECT_EQ(ReadFile(IndexFile()), Index(0, 0, 0));
}

// An emptied or missing oldest file is stepped over while newer files exist,
// so their entries are not thrown away with it.
TEST_F(BacklogTest, EmptyOldestFileWithNewerFilesMovesOn) {
  Prepare(Index(2, 3, 5));
  WriteFile(Data(3), "");  // bs4.dat is missing
  WriteFile(Data(5), Entry("kept"));
  TBackSoobString& b = Open();
  std::string text;
  ASSERT_TRUE(b.GetSoob(text));
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(b.FirstNumb(), 5);
  EXPECT_FALSE(fs::exists(Data(3)));
  EXPECT_EQ(ReadFile(IndexFile()), Index(2, 5, 5));
}

// Numbers from a damaged index may span billions of files: the backlog looks
// for the files there are instead of trying each number.
TEST_F(BacklogTest, HugeNumberRangeFindsTheFilesThereAre) {
  Prepare(Index(1, 0, 2000000000));
  WriteFile(Data(1999999999), Entry("far"));
  TBackSoobString& b = Open();
  std::string text;
  ASSERT_TRUE(b.GetSoob(text));
  EXPECT_EQ(text, "far");
  EXPECT_EQ(b.FirstNumb(), 1999999999);
  b.DeleteSoob();
  EXPECT_EQ(b.FCount(), 0);
  EXPECT_FALSE(b.GetSoob(text));  // the last file, empty: the backlog is cleared
  EXPECT_EQ(ReadFile(IndexFile()), Index(0, 0, 0));
  EXPECT_FALSE(fs::exists(Data(1999999999)));
}

TEST_F(BacklogTest, MissingOnlyFileClearsTheBacklog) {
  Prepare(Index(2, 4, 4));
  TBackSoobString& b = Open();
  std::string text;
  EXPECT_FALSE(b.GetSoob(text));
  EXPECT_EQ(b.FCount(), 0);
  EXPECT_EQ(ReadFile(IndexFile()), Index(0, 0, 0));
}

TEST_F(BacklogTest, MarkerSearch) {
  struct Case {
    const char* what;
    std::string bytes;
    bool ok;
    const char* text;
    std::string after_delete;  // what the file holds after one DeleteSoob
    int32_t count_after;       // FCount after it (starts at 5)
  } cases[] = {
      {"leading junk", "junk" + Entry("x") + Entry("y"), true, "x", Entry("y"), 4},
      // The end marker of a broken entry followed by a start marker: the
      // search meets FF FF one byte early and steps over it.
      {"end marker then start", std::string("\x01\xFE\xFF", 3) + Entry("abc"), true, "abc", "", 4},
      {"no start marker", "no markers here", false, "", "", 5},
      {"length past the end", "\xFF\xFF" + U32(1000) + "short\xFE\xFF", false, "", "", 5},
      {"negative length", "\xFF\xFF" + U32(0xFFFFFFF0u) + "\xFE\xFF", false, "", "", 5},
      {"wrong end marker", "\xFF\xFF" + U32(2) + std::string("ab\0\0", 4) + Entry("next"), false,
       "", Entry("next"), 5},
      {"truncated header", "\xFF\xFF\x02", false, "", "", 5},
      {"empty text", Entry("") + Entry("z"), true, "", Entry("z"), 4},
  };
  for (const auto& c : cases) {
    Prepare(Index(5, 0, 0));
    WriteFile(Data(0), c.bytes);
    TBackSoobString b(dir_.Path());
    b.NameBack = "dd8";
    b.Init();
    std::string text = "stale";
    EXPECT_EQ(b.GetSoob(text), c.ok) << c.what;
    EXPECT_EQ(text, c.text) << c.what;
    b.DeleteSoob();
    EXPECT_EQ(ReadFile(Data(0)), c.after_delete) << c.what;
    // Only a real entry lowers the count, so index and files agree.
    EXPECT_EQ(b.FCount(), c.count_after) << c.what;
    EXPECT_EQ(ReadFile(IndexFile()), Index(c.count_after, 0, 0)) << c.what;
  }
}

TEST_F(BacklogTest, DeleteAllRemovesTheDataFilesOnly) {
  Prepare(Index(4, 1, 3));
  for (int n = 0; n <= 4; ++n) WriteFile(Data(n), Entry("m" + std::to_string(n)));
  WriteFile(dir_.File("dd8/bs01.dat"), "other");
  WriteFile(dir_.File("dd8/notes.txt"), "other");
  TBackSoobString& b = Open();
  b.DeleteAll();
  EXPECT_TRUE(fs::exists(Data(0)));  // outside the numbers of the index
  for (int n = 1; n <= 3; ++n) EXPECT_FALSE(fs::exists(Data(n))) << n;
  EXPECT_TRUE(fs::exists(Data(4)));
  EXPECT_TRUE(fs::exists(dir_.File("dd8/bs01.dat")));
  EXPECT_TRUE(fs::exists(dir_.File("dd8/notes.txt")));
  EXPECT_EQ(b.FCount(), 0);
  EXPECT_EQ(ReadFile(IndexFile()), Index(0, 0, 0));
}

// An index that cannot be replaced keeps its old content whole.
TEST_F(BacklogTest, FailedIndexWriteKeepsTheOldIndex) {
  Prepare(Index(2, 0, 0));
  WriteFile(Data(0), Entry("a") + Entry("b"));
  TBackSoobString& b = Open();
  fs::create_directory(IndexFile() + ".tmp");  // the replacement cannot be written
  b.DeleteSoob();
  EXPECT_EQ(ReadFile(IndexFile()), Index(2, 0, 0));
  EXPECT_EQ(ReadFile(Data(0)), Entry("b"));
  EXPECT_EQ(b.FCount(), 1);
}

}  // namespace
