#include "platform/inifile.h"

#include <charconv>
#include <vector>

#include "platform/files.h"
#include "platform/integer_text.h"

namespace plat {

namespace {

// setup.ini is a few hundred bytes; anything past this is not ours to load.
constexpr int64_t kMaxIniBytes = int64_t{16} << 20;

// Case folding of ASCII and of the Windows-1251 Cyrillic letters.
unsigned char Fold(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 0xC0 && c <= 0xDF) return static_cast<unsigned char>(c + 32);
  if (c == 0xA8) return 0xB8;
  return c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(static_cast<unsigned char>(a[i])) != Fold(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

struct Line {
  size_t begin;  // offset of the line in the text
  size_t end;    // offset past its content, before the line break
  size_t next;   // offset of the following line
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) {
      lines.push_back({pos, text.size(), text.size()});
      break;
    }
    size_t end = nl;
    if (end > pos && text[end - 1] == '\r') --end;
    lines.push_back({pos, end, nl + 1});
    pos = nl + 1;
  }
  return lines;
}

// "[name]" -> name; false for any other line.
bool SectionName(std::string_view line, std::string_view& name) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return false;
  const size_t close = line.find(']');
  if (close == std::string_view::npos) return false;
  name = Trim(line.substr(1, close - 1));
  return true;
}

// "key=value" -> key, value; comments and lines without '=' are not entries.
bool Entry(std::string_view line, std::string_view& key, std::string_view& value) {
  line = Trim(line);
  if (line.empty() || line.front() == ';') return false;
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  key = Trim(line.substr(0, eq));
  value = Trim(line.substr(eq + 1));
  return !key.empty();
}

struct Located {
  bool section = false;
  size_t section_line = 0;  // index of the section header
  size_t last_line = 0;     // last non-blank line of the section
  bool key = false;
  size_t key_line = 0;
};

// The first section of that name and the first entry of that key in it, as
// the Windows profile functions find them.
Located Locate(std::string_view text, const std::vector<Line>& lines, std::string_view section,
               std::string_view key) {
  Located at;
  bool inside = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = text.substr(lines[i].begin, lines[i].end - lines[i].begin);
    std::string_view name;
    if (SectionName(line, name)) {
      if (inside) break;
      if (SameName(name, section)) {
        inside = true;
        at.section = true;
        at.section_line = at.last_line = i;
      }
      continue;
    }
    if (!inside) continue;
    if (!Trim(line).empty()) at.last_line = i;
    std::string_view k, v;
    if (Entry(line, k, v) && SameName(k, key)) {
      at.key = true;
      at.key_line = i;
      break;
    }
  }
  return at;
}

bool ValidName(std::string_view s) {
  const std::string_view t = Trim(s);
  return !t.empty() && t.size() == s.size() && s.find_first_of("\r\n") == std::string_view::npos;
}

bool ParseInt(std::string_view s, int& v) {
  s = Trim(s);
  bool neg = false;
  int base = 10;
  uint64_t mag = 0;
  if (!plat::SplitIntegerText(s, neg, base, mag)) return false;
  int64_t r;
  if (base == 16) {
    if (mag > UINT32_MAX) return false;
    r = static_cast<int32_t>(static_cast<uint32_t>(mag));
  } else {
    if (mag > uint64_t{INT32_MAX} + (neg ? 1 : 0)) return false;
    r = static_cast<int64_t>(mag);
  }
  v = static_cast<int>(neg ? -r : r);
  return true;
}

}  // namespace

bool IniFindValue(std::string_view text, std::string_view section, std::string_view key,
                  std::string& value) {
  const std::vector<Line> lines = SplitLines(text);
  const Located at = Locate(text, lines, section, key);
  if (!at.key) return false;
  const Line& l = lines[at.key_line];
  std::string_view k, v;
  Entry(text.substr(l.begin, l.end - l.begin), k, v);
  // One pair of enclosing quotes is not part of the value.
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  value.assign(v);
  return true;
}

std::string IniSetValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view value) {
  const std::vector<Line> lines = SplitLines(text);
  const Located at = Locate(text, lines, section, key);
  // New lines follow the file's own line breaks.
  const std::string eol =
      !lines.empty() && lines[0].next > lines[0].end + 1 ? std::string("\r\n") : std::string("\n");
  std::string out;
  out.reserve(text.size() + section.size() + key.size() + value.size() + 8);
  if (at.key) {
    const Line& l = lines[at.key_line];
    std::string_view k, v;
    Entry(text.substr(l.begin, l.end - l.begin), k, v);
    // Keep the key as the file spells it.
    out.append(text.substr(0, l.begin));
    out.append(k).append("=").append(value);
    out.append(text.substr(l.end));
    return out;
  }
  if (at.section) {
    const Line& l = lines[at.last_line];
    out.append(text.substr(0, l.next));
    if (l.next == l.end) out.append(eol);  // the last line had no line break
    out.append(key).append("=").append(value).append(eol);
    out.append(text.substr(l.next));
    return out;
  }
  out.append(text);
  if (!out.empty() && out.back() != '\n') out.append(eol);
  out.append("[").append(section).append("]").append(eol);
  out.append(key).append("=").append(value).append(eol);
  return out;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& def) const {
  std::string text;
  if (!ReadWholeFile(path_, text, kMaxIniBytes)) return def;
  std::string value;
  return IniFindValue(text, section, key, value) ? value : def;
}

int IniFile::ReadInteger(const std::string& section, const std::string& key, int def) const {
  const std::string s = ReadString(section, key, "");
  int v;
  return ParseInt(s, v) ? v : def;
}

bool IniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
  if (!ValidName(section) || !ValidName(key) || key.find('=') != std::string::npos ||
      section.find(']') != std::string::npos || key.front() == ';' || key.front() == '[')
    return false;
  // A line break inside a value would start a line of its own in the file.
  std::string clean = value;
  for (char& c : clean) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  std::string text;
  if (FileExists(path_)) {
    if (!ReadWholeFile(path_, text, kMaxIniBytes)) return false;
  }
  return WriteFileAtomic(path_, IniSetValue(text, section, key, clean));
}

bool IniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  return WriteString(section, key, std::to_string(value));
}

bool IniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}

}  // namespace plat
