#include "platform/crash.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "platform/files.h"
#include "temp_dir.h"

namespace {

std::string OnlyReport(const std::string& logs) {
  std::string found;
  int count = 0;
  for (const auto& e : std::filesystem::directory_iterator(logs)) {
    ++count;
    found = e.path().string();
  }
  if (count != 1) return {};
  std::string text;
  plat::ReadWholeFile(found, text);
  return text;
}

TEST(CrashHandler, WritesAReportAndStillDies) {
  struct C {
    int sig;
    const char* name;
  };
  for (const C& c : {C{SIGSEGV, "SIGSEGV"}, C{SIGABRT, "SIGABRT"}, C{SIGFPE, "SIGFPE"}}) {
    plat_test::TempDir dir;
    EXPECT_EXIT(
        {
          if (!plat::InstallCrashHandler(dir.Path())) _exit(3);
          raise(c.sig);
        },
        ::testing::KilledBySignal(c.sig), "")
        << c.name;
    const std::string report = OnlyReport(dir.File("logs"));
    EXPECT_NE(report.find(c.name), std::string::npos) << report;
    EXPECT_NE(report.find("backtrace:"), std::string::npos) << report;
  }
}

TEST(CrashHandler, RefusesAFolderItCannotMake) {
  plat_test::TempDir dir;
  ASSERT_TRUE(plat::WriteFileAtomic(dir.File("logs"), std::string("a file, not a folder")));
  EXPECT_FALSE(plat::InstallCrashHandler(dir.Path()));
}

}  // namespace
