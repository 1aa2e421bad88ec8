#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "temp_dir.h"

namespace {

using plat::File;

TEST(Files, OpenModesReadWriteSeek) {
  plat_test::TempDir dir;
  const std::string p = dir.File("f.bin");
  File f;
  EXPECT_FALSE(f.Open(p, File::kRead));
  EXPECT_FALSE(f.Open(p, File::kReadWrite));
  ASSERT_TRUE(f.Open(p, File::kCreate));
  ASSERT_TRUE(f.Write("hello world", 11));
  EXPECT_EQ(f.Size(), 11);
  EXPECT_EQ(f.Position(), 11);
  ASSERT_TRUE(f.Seek(6));
  char buf[16] = {};
  EXPECT_EQ(f.Read(buf, sizeof buf), 5);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_EQ(f.Read(buf, sizeof buf), 0);
  ASSERT_TRUE(f.Seek(0));
  EXPECT_FALSE(f.ReadExact(buf, 12));  // one byte short
  ASSERT_TRUE(f.Truncate(5));
  EXPECT_EQ(f.Size(), 5);
  EXPECT_FALSE(f.Seek(-1));

  // Moving hands the descriptor over; the moved-from file is closed.
  File g = std::move(f);
  EXPECT_FALSE(f.IsOpen());
  EXPECT_TRUE(g.IsOpen());
  g.Close();

  ASSERT_TRUE(f.Open(p, File::kOpenOrCreate));
  EXPECT_EQ(f.Size(), 5);  // kept
  ASSERT_TRUE(f.Open(p, File::kCreate));
  EXPECT_EQ(f.Size(), 0);                            // emptied
  EXPECT_FALSE(f.Open(dir.Path(), File::kRead, 3));  // a folder is not a file
}

TEST(Files, HelpersOnMissingAndPresent) {
  plat_test::TempDir dir;
  const std::string p = dir.File("a/b/c");
  EXPECT_FALSE(plat::DirectoryExists(p));
  ASSERT_TRUE(plat::ForceDirectories(p));
  EXPECT_TRUE(plat::DirectoryExists(p));
  EXPECT_FALSE(plat::FileExists(p));
  const std::string f = plat::JoinPath(p, "x.txt");
  EXPECT_EQ(plat::FileSize(f), -1);
  EXPECT_FALSE(plat::DeleteFile(f));
  ASSERT_TRUE(plat::WriteFileAtomic(f, std::string("abc")));
  EXPECT_TRUE(plat::FileExists(f));
  EXPECT_EQ(plat::FileSize(f), 3);
  EXPECT_FALSE(plat::FileExists(f + ".tmp"));
  std::string s;
  EXPECT_FALSE(plat::ReadWholeFile(f, s, 2));  // over the limit
  ASSERT_TRUE(plat::ReadWholeFile(f, s));
  EXPECT_EQ(s, "abc");
  std::vector<uint8_t> v;
  ASSERT_TRUE(plat::ReadWholeFile(f, v));
  EXPECT_EQ(v, (std::vector<uint8_t>{'a', 'b', 'c'}));
  EXPECT_TRUE(plat::DeleteFile(f));
  EXPECT_FALSE(plat::ReadWholeFile(f, s));
  EXPECT_FALSE(plat::DeleteFile(p));  // folders are not deleted as files
}

TEST(Files, AtomicReplaceKeepsOldFileWhenFolderIsReadOnly) {
  if (plat_test::RunningAsRoot()) GTEST_SKIP() << "root ignores folder permissions";
  plat_test::TempDir dir;
  const std::string sub = dir.File("ro");
  ASSERT_TRUE(plat::ForceDirectories(sub));
  const std::string f = sub + "/data.bin";
  ASSERT_TRUE(plat::WriteFileAtomic(f, std::string("old content")));
  namespace fs = std::filesystem;
  fs::permissions(sub, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(plat::WriteFileAtomic(f, std::string("new")));
  std::string s;
  ASSERT_TRUE(plat::ReadWholeFile(f, s));
  EXPECT_EQ(s, "old content");
  fs::permissions(sub, fs::perms::owner_all);
}

TEST(Files, AtomicReplaceOverwritesAndNeedsAFolder) {
  plat_test::TempDir dir;
  const std::string f = dir.File("data.bin");
  ASSERT_TRUE(plat::WriteFileAtomic(f, std::string(100000, 'x')));
  ASSERT_TRUE(plat::WriteFileAtomic(f, std::string("short")));
  std::string s;
  ASSERT_TRUE(plat::ReadWholeFile(f, s));
  EXPECT_EQ(s, "short");
  EXPECT_FALSE(plat::WriteFileAtomic(dir.File("no/such/folder/f"), std::string("x")));
  EXPECT_FALSE(plat::WriteFileAtomic("", std::string("x")));
}

TEST(Files, PlainFileNames) {
  const std::pair<const char*, bool> cases[] = {
      {"photo.jpg", true}, {"a b.txt", true}, {"\xCF\xF0.jpg", true}, {"", false},
      {".", false},        {"..", false},     {"../x", false},        {"a/b", false},
      {"a\\b", false},     {"x..y", false},   {"/abs", false},
  };
  for (const auto& [name, ok] : cases) EXPECT_EQ(plat::IsPlainFileName(name), ok) << name;
  EXPECT_FALSE(plat::IsPlainFileName(std::string("a\0b", 3)));
}

TEST(Files, JoinAndCurrentDir) {
  EXPECT_EQ(plat::JoinPath("a", "b"), "a/b");
  EXPECT_EQ(plat::JoinPath("a/", "b"), "a/b");
  EXPECT_EQ(plat::JoinPath("", "b"), "b");
  EXPECT_TRUE(plat::DirectoryExists(plat::CurrentDir()));
}

}  // namespace
