// A fresh folder under the system temp folder, removed with the fixture.
#pragma once
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

namespace plat_test {

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("svcdesk_plat_" + std::to_string(getpid()) + "_" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  std::string Path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

inline bool RunningAsRoot() {
  return geteuid() == 0;
}

}  // namespace plat_test
