#include "foundation/json.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/crypto.h"
#include "platform/files.h"
#include "platform/integer_text.h"

namespace {

bool IsNumberChar(char c) {
  return c == '-' || c == '.' || (c >= '0' && c <= '9');
}

bool StartsWith(std::string_view s, size_t pos, std::string_view word) {
  return s.size() - pos >= word.size() && s.compare(pos, word.size(), word) == 0;
}

// Position just past the bracket that balances the one at `open`, or npos when
// the text ends first. Only brackets of the opening kind count, wherever they
// are (inside strings too): messages rely on that.
size_t MatchBracket(std::string_view s, size_t open) {
  const char o = s[open];
  const char c = o == '{' ? '}' : ']';
  int depth = 0;
  for (size_t i = open; i < s.size(); ++i) {
    if (s[i] == o) {
      ++depth;
    } else if (s[i] == c) {
      if (--depth == 0) return i + 1;
    }
  }
  return std::string_view::npos;
}

size_t NumberRunEnd(std::string_view s, size_t pos) {
  while (pos < s.size() && IsNumberChar(s[pos])) ++pos;
  return pos;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string JSONString(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    if (c == '"' || c == '\\' || c == '/') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

std::string GetValueFromJSON(std::string_view message, std::string_view key) {
  std::string pattern;
  pattern.reserve(key.size() + 4);
  pattern.push_back('"');
  pattern.append(key);
  pattern.append("\":");
  size_t pos = message.find(pattern);
  if (pos != std::string_view::npos) {
    pos += pattern.size();
  } else {
    pattern.insert(pattern.size() - 1, 1, ' ');
    pos = message.find(pattern);
    if (pos == std::string_view::npos) return {};
    pos += pattern.size();
  }
  if (pos < message.size() && message[pos] == ' ') ++pos;
  if (pos < message.size() && message[pos] == ':') ++pos;
  if (pos < message.size() && message[pos] == ' ') ++pos;
  if (pos >= message.size()) return {};

  const char first = message[pos];
  if (first == '"') {
    std::string out;
    for (size_t i = pos + 1; i < message.size(); ++i) {
      const char c = message[i];
      if (c == '"') break;
      if (c == '\\' && i + 1 < message.size()) {
        const char n = message[i + 1];
        if (n == '\\' || n == '"' || n == '/') {
          out.push_back(n);
          ++i;
          continue;
        }
      }
      out.push_back(c);
    }
    return out;
  }
  if (first == '{' || first == '[') {
    const size_t end = MatchBracket(message, pos);
    if (end == std::string_view::npos) return {};
    return std::string(message.substr(pos + 1, end - pos - 2));
  }
  if (StartsWith(message, pos, "true")) return "true";
  if (StartsWith(message, pos, "false")) return "false";
  if (IsNumberChar(first))
    return std::string(message.substr(pos, NumberRunEnd(message, pos) - pos));
  return {};
}

bool GetFirstValueFromJSON(std::string& text, std::string& key, std::string& value) {
  key.clear();
  value.clear();
  const size_t q1 = text.find('"');
  if (q1 == std::string::npos) return false;
  text.erase(0, q1 + 1);
  const size_t q2 = text.find('"');
  if (q2 == std::string::npos) return false;
  key.assign(text, 0, q2);
  // The key, its closing quote and the colon after it.
  text.erase(0, std::min(text.size(), q2 + 2));
  if (text.empty()) return false;

  size_t end = 0;  // how much of the front the value takes
  const char first = text[0];
  if (first == '"') {
    size_t i = 1;
    for (; i < text.size(); ++i) {
      char c = text[i];
      if (c == '"') break;
      if (c == '\\') {
        if (++i >= text.size()) break;
        c = text[i];
      }
      value.push_back(c);
    }
    end = std::min(text.size(), i + 1);
  } else if (first == '{' || first == '[') {
    end = MatchBracket(text, 0);
    if (end == std::string::npos) return false;
    value.assign(text, 1, end - 2);
  } else if (text.compare(0, 4, "true") == 0) {
    value = "true";
    end = 4;
  } else if (text.compare(0, 5, "false") == 0) {
    value = "false";
    end = 5;
  } else if (IsNumberChar(first)) {
    end = NumberRunEnd(text, 0);
    value.assign(text, 0, end);
  } else {
    return false;
  }
  text.erase(0, end);
  if (!text.empty() && text[0] == ',') text.erase(0, 1);
  return true;
}

void GetFirstMasFromJSON(std::string& text, std::string& element) {
  element.clear();
  const size_t open = text.find_first_of("{[");
  if (open == std::string::npos) {
    text.clear();
    return;
  }
  text.erase(0, open);
  const size_t end = MatchBracket(text, 0);
  if (end == std::string::npos) return;
  element.assign(text, 0, end);
  text.erase(0, end);
}

void StrToBytes(std::string_view text, Bytes& out) {
  if (text.empty()) return;
  out.assign(text.begin(), text.end());
}

std::string BytesToHex(const uint8_t* data, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out(size * 2, '0');
  for (size_t i = 0; i < size; ++i) {
    out[2 * i] = kDigits[data[i] >> 4];
    out[2 * i + 1] = kDigits[data[i] & 0x0F];
  }
  return out;
}

void HexToBytes(std::string_view hex, Bytes& out) {
  const size_t n = hex.size() / 2;
  out.assign(n, 0);
  for (size_t i = 0; i < n; ++i) {
    const int hi = HexDigit(hex[2 * i]);
    const int lo = HexDigit(hex[2 * i + 1]);
    out[i] = (hi < 0 || lo < 0) ? 0 : static_cast<uint8_t>(hi << 4 | lo);
  }
}

std::string CGuid() {
  return plat::NewGuidText();
}

std::string FileToBase64(const std::string& path) {
  std::string data;
  if (!plat::ReadWholeFile(path, data)) return {};
  return plat::Base64Encode(data);
}

std::string StreamToBase64(const Bytes& stream, size_t pos) {
  if (pos >= stream.size()) return {};
  return plat::Base64Encode(stream.data() + pos, stream.size() - pos);
}

bool TryStrToInt64(std::string_view text, int64_t& v) {
  std::string_view s = TrimSpaces(text);
  bool neg = false;
  int base = 10;
  uint64_t mag = 0;
  if (!plat::SplitIntegerText(s, neg, base, mag)) return false;
  if (base == 16) {
    // Hexadecimal is a bit pattern: "$FFFFFFFFFFFFFFFF" is -1.
    const int64_t bits = static_cast<int64_t>(mag);
    v = neg ? static_cast<int64_t>(0 - static_cast<uint64_t>(bits)) : bits;
    return true;
  }
  const uint64_t limit = neg ? uint64_t{1} << 63 : uint64_t{INT64_MAX};
  if (mag > limit) return false;
  v = neg ? static_cast<int64_t>(0 - mag) : static_cast<int64_t>(mag);
  return true;
}

int64_t StrToInt64Def(std::string_view text, int64_t def) {
  int64_t v;
  return TryStrToInt64(text, v) ? v : def;
}

int StrToIntDef(std::string_view text, int def) {
  int64_t v;
  if (!TryStrToInt64(text, v)) return def;
  if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) {
    // Hexadecimal up to 32 bits is a bit pattern too ("$FFFFFFFF" is -1).
    if (v > 0 && v <= int64_t{UINT32_MAX} &&
        TrimSpaces(text).find_first_of("$xX") != std::string_view::npos)
      return static_cast<int>(static_cast<uint32_t>(v));
    return def;
  }
  return static_cast<int>(v);
}

double StrToFloatDef(std::string_view text, double def) {
  std::string_view s = TrimSpaces(text);
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  if (s.empty()) return def;
  double v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
  if (ec != std::errc() || p != s.data() + s.size() || !std::isfinite(v)) return def;
  return v;
}
