// INI files as the program uses them: section and key names are
// case-insensitive, a missing file or key yields the default, every write goes
// to disk at once and keeps the other lines (comments included) as they are.
// Values are Windows-1251 bytes, read and written unchanged.
#pragma once
#include <string>
#include <string_view>

namespace plat {

// The same rules on INI text held in memory (the file's whole content).
// IniFindValue: false when the section or key is missing.
bool IniFindValue(std::string_view text, std::string_view section, std::string_view key,
                  std::string& value);
// The text with the key set: replaced in place, added to its section, or added
// with a new section at the end. Every other line is kept byte for byte.
std::string IniSetValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view value);

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
