// INI files as the program uses them: section and key names are
// case-insensitive, a missing file or key yields the default, every write goes
// to disk at once and keeps the other lines (comments included) as they are.
// Values are Windows-1251 bytes, read and written unchanged.
#pragma once
#include <string>

namespace plat {

class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) const;
  int ReadInteger(const std::string& section, const std::string& key, int def) const;
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;

  // False when the file could not be written; the old file is then unchanged.
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  bool WriteInteger(const std::string& section, const std::string& key, int value);
  bool WriteBool(const std::string& section, const std::string& key, bool value);

 private:
  std::string path_;
};

}  // namespace plat
