#include "platform/text1251.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace {

// glibc's own converter as the reference; empty when it rejects the byte.
std::string IconvToUtf8(unsigned char byte) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<no iconv>";
  char in[1] = {static_cast<char>(byte)};
  char out[8] = {};
  char* pin = in;
  char* pout = out;
  size_t inleft = 1, outleft = sizeof out;
  const size_t r = iconv(cd, &pin, &inleft, &pout, &outleft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return {};
  return std::string(out, sizeof out - outleft);
}

TEST(Text1251, EveryHighByteMatchesIconv) {
  for (int b = 0x80; b <= 0xFF; ++b) {
    const std::string in(1, static_cast<char>(b));
    const std::string ref = IconvToUtf8(static_cast<unsigned char>(b));
    const std::string ours = plat::Cp1251ToUtf8(in);
    if (ref.empty()) {
      // Only 0x98 is unassigned; it reads as the replacement character.
      EXPECT_EQ(b, 0x98);
      EXPECT_EQ(ours, "\xEF\xBF\xBD");
      EXPECT_EQ(plat::Utf8ToCp1251(ours), "?");
      continue;
    }
    EXPECT_EQ(ours, ref) << std::hex << b;
    EXPECT_EQ(plat::Utf8ToCp1251(ref), in) << std::hex << b;
  }
}

TEST(Text1251, AsciiAndMixedTextRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) {
    if (b != 0x98) all.push_back(static_cast<char>(b));
  }
  EXPECT_EQ(plat::Utf8ToCp1251(plat::Cp1251ToUtf8(all)), all);
  EXPECT_EQ(plat::Utf8ToCp1251("Техники: ok"), "\xD2\xE5\xF5\xED\xE8\xEA\xE8: ok");
}

TEST(Text1251, UnmappableAndMalformedBecomeQuestionMarks) {
  struct C {
    std::string utf8, cp1251;
  };
  const C cases[] = {
      {"\xE4\xB8\xAD", "?"},        // a CJK character
      {"\xF0\x9F\x98\x80x", "?x"},  // outside the BMP
      {"\xC3\xA9", "?"},            // é has no form here
      {"a\xD0", "a?"},              // truncated sequence
      {"\x80z", "?z"},              // stray continuation byte
      {"\xC0\xAF", "??"},           // overlong '/'
      {"\xED\xA0\x80", "???"},      // surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(plat::Utf8ToCp1251(c.utf8), c.cp1251) << c.utf8;
}

TEST(Text1251, LiteralMacroConvertsOnce) {
  const std::string& a = W1251("Фотографии");
  EXPECT_EQ(a.size(), 10u);
  EXPECT_EQ(plat::Cp1251ToUtf8(a), "Фотографии");
  const std::string* first = nullptr;
  for (int i = 0; i < 2; ++i) {
    const std::string& s = W1251("Обед");
    if (first) {
      EXPECT_EQ(first, &s);
    }
    first = &s;
  }
}

}  // namespace
