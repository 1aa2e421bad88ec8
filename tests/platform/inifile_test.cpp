#include "platform/inifile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "temp_dir.h"

namespace {

using plat::IniFile;

std::string Slurp(const std::string& path) {
  std::string s;
  plat::ReadWholeFile(path, s);
  return s;
}

TEST(IniFile, MissingFileOrKeyGivesDefault) {
  plat_test::TempDir dir;
  IniFile ini(dir.File("setup.ini"));
  EXPECT_EQ(ini.ReadString("Main", "Host", "def"), "def");
  EXPECT_EQ(ini.ReadInteger("Main", "Port", 7), 7);
  EXPECT_TRUE(ini.ReadBool("Main", "On", true));
  ASSERT_TRUE(plat::WriteFileAtomic(ini.path(), std::string("[Main]\nHost=a\n")));
  EXPECT_EQ(ini.ReadString("Main", "Other", "def"), "def");
  EXPECT_EQ(ini.ReadString("Nope", "Host", "def"), "def");
}

TEST(IniFile, ReadRules) {
  plat_test::TempDir dir;
  IniFile ini(dir.File("setup.ini"));
  const std::string text =
      "Orphan=before any section\r\n"
      "; Port=1 is a comment\r\n"
      "[ServerHost]\r\n"
      "  Host1 =  127.0.0.1  \r\n"
      "PortU=$1F\r\n"
      "Bad=12x\r\n"
      "Quoted=\" a b \"\r\n"
      "Name=\xCF\xF0\xE8\r\n"
      "Empty=\r\n"
      "Flag=0\r\n"
      "Yes=yes\r\n"
      "[serverhost]\r\n"
      "Host1=second section of the same name\r\n"
      "Only=in second\r\n";
  ASSERT_TRUE(plat::WriteFileAtomic(ini.path(), text));
  struct C {
    const char* section;
    const char* key;
    const char* expected;
  };
  const C cases[] = {
      {"SERVERHOST", "host1", "127.0.0.1"},  // names fold case, values are trimmed
      {"ServerHost", "Quoted", " a b "},     // one pair of quotes goes
      {"ServerHost", "Name", "\xCF\xF0\xE8"},
      {"ServerHost", "Empty", ""},
      {"ServerHost", "Port", "<def>"},  // comment lines are not entries
      {"ServerHost", "Orphan", "<def>"},
      {"ServerHost", "Only", "<def>"},  // the first section of a name is the one read
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ini.ReadString(c.section, c.key, "<def>"), c.expected) << c.key;
  }
  EXPECT_EQ(ini.ReadInteger("ServerHost", "PortU", 0), 31);
  EXPECT_EQ(ini.ReadInteger("ServerHost", "Bad", -5), -5);
  EXPECT_EQ(ini.ReadInteger("ServerHost", "Empty", 3), 3);
  EXPECT_FALSE(ini.ReadBool("ServerHost", "Flag", true));
  EXPECT_TRUE(ini.ReadBool("ServerHost", "Yes", true));  // not a number: default
}

TEST(IniFile, WritesCreateUpdateInPlaceAndKeepOtherLines) {
  plat_test::TempDir dir;
  IniFile ini(dir.File("setup.ini"));
  ASSERT_TRUE(ini.WriteString("Main", "User", "ivanov"));
  EXPECT_EQ(Slurp(ini.path()), "[Main]\nUser=ivanov\n");

  const std::string before =
      "; workstation settings\r\n"
      "[ServerHost]\r\n"
      "Host1=10.0.0.1\r\n"
      "PortU=4000\r\n"
      "\r\n"
      "[Main]\r\n"
      "USER = old\r\n"
      "# not a key\r\n";
  ASSERT_TRUE(plat::WriteFileAtomic(ini.path(), before));
  ASSERT_TRUE(ini.WriteString("main", "user", "petrov"));
  ASSERT_TRUE(ini.WriteInteger("ServerHost", "Timeout", 30));
  ASSERT_TRUE(ini.WriteBool("Map", "Grid", true));
  EXPECT_EQ(Slurp(ini.path()),
            "; workstation settings\r\n"
            "[ServerHost]\r\n"
            "Host1=10.0.0.1\r\n"
            "PortU=4000\r\n"
            "Timeout=30\r\n"
            "\r\n"
            "[Main]\r\n"
            "USER=petrov\r\n"
            "# not a key\r\n"
            "[Map]\r\n"
            "Grid=1\r\n");
  // Every write is on disk at once: a second reader sees it.
  EXPECT_EQ(IniFile(ini.path()).ReadString("MAIN", "User", ""), "petrov");
  EXPECT_EQ(IniFile(ini.path()).ReadInteger("ServerHost", "timeout", 0), 30);
}

TEST(IniFile, LastLineWithoutBreakAndHostileValues) {
  plat_test::TempDir dir;
  IniFile ini(dir.File("a.ini"));
  ASSERT_TRUE(plat::WriteFileAtomic(ini.path(), std::string("[S]\nA=1")));
  ASSERT_TRUE(ini.WriteString("S", "B", "2"));
  EXPECT_EQ(Slurp(ini.path()), "[S]\nA=1\nB=2\n");
  // A line break in a value must not smuggle in a key of its own.
  ASSERT_TRUE(ini.WriteString("S", "C", "x\n[S]\nA=evil"));
  EXPECT_EQ(ini.ReadString("S", "A", ""), "1");
  EXPECT_EQ(ini.ReadString("S", "C", ""), "x [S] A=evil");
  EXPECT_FALSE(ini.WriteString("S", "K=V", "1"));
  EXPECT_FALSE(ini.WriteString("", "K", "1"));
  EXPECT_FALSE(ini.WriteString("S", "", "1"));
}

TEST(IniFile, FailedWriteKeepsTheOldFile) {
  if (plat_test::RunningAsRoot()) GTEST_SKIP() << "root ignores folder permissions";
  plat_test::TempDir dir;
  const std::string sub = dir.File("ro");
  ASSERT_TRUE(plat::ForceDirectories(sub));
  IniFile ini(sub + "/setup.ini");
  ASSERT_TRUE(ini.WriteString("Main", "User", "a"));
  std::filesystem::permissions(
      sub, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_FALSE(ini.WriteString("Main", "User", "b"));
  EXPECT_EQ(ini.ReadString("Main", "User", ""), "a");
  std::filesystem::permissions(sub, std::filesystem::perms::owner_all);
}

TEST(IniText, InMemoryRulesMatchTheFile) {
  std::string v;
  EXPECT_FALSE(plat::IniFindValue("", "S", "K", v));
  EXPECT_FALSE(plat::IniFindValue("[S", "S", "K", v));
  EXPECT_TRUE(plat::IniFindValue("[ S ]\nK=1", "s", "k", v));
  EXPECT_EQ(v, "1");
  EXPECT_EQ(plat::IniSetValue("", "S", "K", "1"), "[S]\nK=1\n");
  EXPECT_EQ(plat::IniSetValue("[T]\r\n", "S", "K", "1"), "[T]\r\n[S]\r\nK=1\r\n");
}

}  // namespace
