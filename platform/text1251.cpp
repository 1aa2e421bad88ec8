#include "platform/text1251.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace plat {

namespace {

// Unicode code points of the bytes 0x80..0xFF. 0x98 is unassigned.
const uint16_t kHigh[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

constexpr uint16_t kUnassigned = 0xFFFD;

// (code point, byte) sorted by code point, for the way back.
using Reverse = std::array<std::pair<uint16_t, uint8_t>, 127>;

const Reverse& ReverseTable() {
  static const Reverse table = [] {
    Reverse r{};
    size_t n = 0;
    for (int i = 0; i < 128; ++i) {
      if (kHigh[i] != kUnassigned) r[n++] = {kHigh[i], static_cast<uint8_t>(0x80 + i)};
    }
    std::sort(r.begin(), r.end());
    return r;
  }();
  return table;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at s[i]; returns its length, or 0 when malformed
// (overlong forms, surrogates and truncated sequences included).
size_t DecodeUtf8(std::string_view s, size_t i, uint32_t& cp) {
  const auto b0 = static_cast<uint8_t>(s[i]);
  size_t len;
  uint32_t min;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() - i < len) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<uint8_t>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::string Utf8ToCp1251(std::string_view utf8) {
  const Reverse& rev = ReverseTable();
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    uint32_t cp = 0;
    const size_t len = DecodeUtf8(utf8, i, cp);
    if (len == 0) {
      out.push_back('?');
      ++i;
      continue;
    }
    i += len;
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    const auto it = std::lower_bound(rev.begin(), rev.end(),
                                     std::pair<uint16_t, uint8_t>(static_cast<uint16_t>(cp), 0));
    if (cp <= 0xFFFF && it != rev.end() && it->first == cp) {
      out.push_back(static_cast<char>(it->second));
    } else {
      out.push_back('?');
    }
  }
  return out;
}

std::string Cp1251ToUtf8(std::string_view cp1251) {
  std::string out;
  out.reserve(cp1251.size() * 2);
  for (char c : cp1251) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x80) {
      out.push_back(c);
    } else {
      AppendUtf8(out, kHigh[b - 0x80]);
    }
  }
  return out;
}

}  // namespace plat
