// Test-side builders of table files, update forms and cache images. Written
// independently of the loader: bytes are put one by one, little-endian.
#pragma once
#include <zlib.h>

#include <atomic>
#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/regional.h"

namespace tw {

inline void Put(std::string& s, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline std::string I32(int32_t v) {
  std::string s;
  Put(s, static_cast<uint32_t>(v), 4);
  return s;
}
inline std::string U16(uint16_t v) {
  std::string s;
  Put(s, v, 2);
  return s;
}
inline std::string U8(uint8_t v) {
  return std::string(1, static_cast<char>(v));
}
inline std::string I64(int64_t v) {
  std::string s;
  Put(s, static_cast<uint64_t>(v), 8);
  return s;
}
inline std::string F32(float v) {
  std::string s;
  Put(s, std::bit_cast<uint32_t>(v), 4);
  return s;
}
inline std::string F64(double v) {
  std::string s;
  Put(s, std::bit_cast<uint64_t>(v), 8);
  return s;
}
// A short string in a field of `width` bytes; the filler is 0xEE so that a
// reader that looks past the length shows it.
inline std::string Fixed(const std::string& t, size_t width) {
  std::string s = U8(static_cast<uint8_t>(t.size())) + t;
  s.resize(width, '\xEE');
  return s;
}
inline std::string Short(const std::string& t) {
  return U8(static_cast<uint8_t>(t.size())) + t;
}

struct Col {
  int32_t n_abs;
  std::string name;
  uint8_t type;
  int32_t size;
  int32_t spr = 0;
  int32_t list = 0;     // dictionary entries or pool bytes
  std::string payload;  // block bytes after the descriptor
  bool block = true;
};

inline std::string Desc(const Col& c) {
  return I32(c.n_abs) + Fixed(c.name, 16) + U8(c.type) + I32(c.size) + I32(c.spr) + I32(0) +
         I32(c.list);
}

inline std::string Header(const std::string& name, int32_t r, int32_t b, int32_t d) {
  return Fixed(name, 9) + I32(r) + I32(b) + I32(d);
}

inline std::string TableFile(const std::string& name, int32_t r, const std::vector<Col>& cols) {
  int32_t blocks = 0;
  for (const Col& c : cols) blocks += c.block ? 1 : 0;
  std::string s = Header(name, r, blocks, static_cast<int32_t>(cols.size()));
  for (const Col& c : cols) s += Desc(c);
  for (const Col& c : cols)
    if (c.block) s += Desc(c) + c.payload;
  return s;
}

inline std::string Zlib(const std::string& in) {
  uLongf n = compressBound(in.size());
  std::string out(n, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(in.data()),
            in.size(), 6);
  out.resize(n);
  return out;
}

inline void WriteFile(const std::filesystem::path& p, const std::string& bytes) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}
inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The scrambler stream, written out again from its definition: byte i from
// offset 2 is XORed with T[s + i] ^ T[t - i] (indices mod 256).
inline std::string Unscramble(std::string b, const uint8_t* table) {
  if (b.size() < 3) return b;
  uint8_t s = static_cast<uint8_t>(b[0]), t = static_cast<uint8_t>(b[1]);
  for (size_t i = 2; i < b.size(); ++i, ++s, --t)
    b[i] = static_cast<char>(b[i] ^ table[s] ^ table[t]);
  return b;
}

// A fresh working folder per test.
inline std::filesystem::path FreshDir(const std::string& tag) {
  static std::atomic<int> seq{0};
  auto p =
      std::filesystem::temp_directory_path() /
      ("svcdesk_tables_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(seq++));
  std::filesystem::remove_all(p);
  std::filesystem::create_directories(p);
  return p;
}

inline void FixedRegional() {
  plat::Regional r;
  r.ShortDateFormat = "dd.MM.yyyy";
  r.LongTimeFormat = "hh:mm:ss";
  r.DecimalSeparator = ',';
  r.DateSeparator = '.';
  r.TimeSeparator = ':';
  plat::SetRegional(r);
}

}  // namespace tw
