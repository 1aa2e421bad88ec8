// The "mixed" table: one column of every type code, three records, and the
// texts each record must read as.
#pragma once
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/text1251.h"
#include "writer.h"

namespace tw {

inline std::vector<Col> MixedColumns() {
  const std::string ivanov = W1251("Иванов");
  const double dt1 = plat::EncodeDate(2024, 3, 5) + plat::EncodeTime(10, 20, 30);
  const double dt3 = plat::EncodeDate(2024, 3, 5);
  std::vector<Col> c;
  c.push_back({1, "n_abs", 1, 4, 0, 0, I32(101) + I32(102) + I32(103)});
  c.push_back({2, "p_d", 3, 1, 0, 0, U8(0) + U8(0) + U8(0)});
  c.push_back({3, "name", 2, 21, 0, 0, Fixed(ivanov, 21) + Fixed("abc", 21) + Fixed("", 21)});
  c.push_back({4, "flag", 4, 1, 0, 0, U8(1) + U8(0) + U8(1)});
  c.push_back({5, "num", 5, 2, 0, 0, U16(7) + U16(65535) + U16(0)});
  c.push_back({6, "flt", 6, 4, 0, 0, F32(1.5f) + F32(-0.25f) + F32(0)});
  c.push_back({7, "dbl", 7, 8, 0, 0, F64(2.5) + F64(-1234.5) + F64(0)});
  c.push_back({8, "cnt", 8, 4, 0, 0, I32(static_cast<int32_t>(4000000000u)) + I32(0) + I32(5)});
  c.push_back({9, "r_dt", 8, 4, 0, 0, I32(86400) + I32(0) + I32(3661)});
  c.push_back({10, "dt", 9, 8, 0, 0, F64(dt1) + F64(0) + F64(dt3)});
  c.push_back({11, "raw", 11, 3, 0, 0,
               U8(1) + U8(2) + U8(3) + U8(0) + U8(0) + U8(0) + U8(255) + U8(0) + U8(9)});
  c.push_back({12, "big", 13, 8, 0, 0, I64(-5) + I64(int64_t{1} << 40) + I64(0)});
  c.push_back({13, "kind", 15, 2, 21, 2,
               I32(1000) + Short(W1251("Охрана")) + I32(2) + Short(W1251("Пожар")) + U16(1000) +
                   U16(2) + U16(0)});
  c.push_back(
      {14, "cls", 16, 1, 11, 2, U16(7) + Short("A") + U16(9) + Short("B") + U8(9) + U8(7) + U8(3)});
  c.push_back({15, "hex", 21, 4, 0, 0, I32(255) + I32(-1) + I32(0x12345)});
  c.push_back({16, "note", 24, 4, 0, 9, I32(0) + I32(6) + I32(-1) + Short("hello") + Short("42")});
  c.push_back({17, "sec", 25, 4, 0, 0, I32(86400) + I32(0) + I32(59)});
  return c;
}

struct TextCase {
  const char* column;
  int v;
  std::string text;
};

inline std::vector<TextCase> MixedTexts() {
  return {
      {"n_abs", 1, "101"},
      {"n_abs", 3, "103"},
      {"p_d", 2, "0"},
      {"name", 1, W1251("Иванов")},
      {"name", 2, "abc"},
      {"name", 3, ""},
      {"flag", 1, "T"},
      {"flag", 2, "F"},
      {"num", 2, "65535"},
      {"flt", 1, "1,5"},
      {"flt", 2, "-0,25"},
      {"dbl", 2, "-1234,5"},
      {"cnt", 1, "4000000000"},
      {"r_dt", 1, "02.01.2000"},
      {"r_dt", 3, "01.01.2000 01:01:01"},
      {"dt", 1, "05.03.2024 10:20:30"},
      {"dt", 2, ""},
      {"dt", 3, "05.03.2024"},
      {"raw", 1, "1 2 3 "},
      {"raw", 3, "255 0 9 "},
      {"big", 1, "-5"},
      {"big", 2, "1099511627776"},
      {"kind", 1, W1251("Охрана")},
      {"kind", 2, W1251("Пожар")},
      {"kind", 3, ""},
      {"cls", 1, "B"},
      {"cls", 2, "A"},
      {"cls", 3, ""},
      {"hex", 1, "00FF"},
      {"hex", 2, "FFFFFFFF"},
      {"hex", 3, "12345"},
      {"note", 1, "hello"},
      {"note", 2, "42"},
      {"note", 3, ""},
      {"sec", 1, "02.01.2000"},
      {"sec", 3, "01.01.2000 00:00:59"},
  };
}

}  // namespace tw

#include <gtest/gtest.h>

#include "tables/base_client.h"

namespace tw {

// A working folder and a registry; LoadTable delivers a table file to a table.
class TableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FixedRegional();
    dir = FreshDir("t");
  }
  void TearDown() override {
    list.clear();
    std::filesystem::remove_all(dir);
  }
  TBaseClient& LoadTable(const std::string& name, const std::vector<Col>& cols, int32_t r,
                         bool cache = false) {
    const int i = CreateBaseMain(list, name, "", cache, dir.string());
    TBaseClient& t = *list[i];
    const auto p = dir / "temp" / ("f" + std::to_string(seq++) + ".dat");
    WriteFile(p, TableFile(name, r, cols));
    t.LoadFromFile(p.string());
    return t;
  }
  TBaseClient& LoadMixed() { return LoadTable("mixed", MixedColumns(), 3); }

  std::filesystem::path dir;
  TBaseList list;
  int seq = 0;
};

}  // namespace tw
