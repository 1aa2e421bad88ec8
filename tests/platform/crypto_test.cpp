#include "platform/crypto.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(Crypto, Md5KnownVectors) {
  // RFC 1321, appendix A.5.
  const std::pair<std::string, std::string> vectors[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [in, hex] : vectors) {
    EXPECT_EQ(plat::Md5HexLower(in.data(), in.size()), hex) << in;
    std::string upper = hex;
    for (char& c : upper) c = static_cast<char>(toupper(c));
    EXPECT_EQ(plat::Md5HexUpper(in.data(), in.size()), upper);
  }
  const auto d = plat::Md5("abc", 3);
  EXPECT_EQ(d[0], 0x90);
  EXPECT_EQ(d[15], 0x72);
}

TEST(Crypto, Base64KnownVectors) {
  // RFC 4648, section 10.
  const std::pair<std::string, std::string> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\xFB\xFF\x00", 3), "+/8A"},
  };
  for (const auto& [raw, text] : vectors) {
    EXPECT_EQ(plat::Base64Encode(raw), text);
    std::vector<uint8_t> out = {1};
    ASSERT_TRUE(plat::Base64Decode(text, out)) << text;
    EXPECT_EQ(std::string(out.begin(), out.end()), raw);
  }
}

TEST(Crypto, Base64DecodeLeniencyAndErrors) {
  struct C {
    const char* text;
    bool ok;
    const char* raw;
  };
  const C cases[] = {
      {"Zm9v\r\nYmFy", true, "foobar"},  // line breaks skipped
      {"Zm9vYg", true, "foob"},          // missing fill tolerated
      {"Zm9vY", false, ""},              // a lone sixth bit group
      {"Zm9v=Zg==", false, ""},          // fill in the middle
      {"Zg=", false, ""},                // fill not closing a group
      {"Z===", false, ""},
      {"Zm9v!", false, ""},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> out;
    EXPECT_EQ(plat::Base64Decode(c.text, out), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(std::string(out.begin(), out.end()), c.raw);
    }
  }
}

TEST(Crypto, GuidsAreWellFormedAndDistinct) {
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    const std::string g = plat::NewGuidText();
    ASSERT_EQ(g.size(), 36u);
    EXPECT_EQ(g[14], '4');  // random GUIDs carry version 4
    EXPECT_EQ(g.find_first_not_of("0123456789ABCDEF-"), std::string::npos) << g;
    seen.insert(g);
  }
  EXPECT_EQ(seen.size(), 50u);
}

TEST(Crypto, RandomBytesFillTheBuffer) {
  std::vector<uint8_t> a(64, 0), b(64, 0);
  plat::RandomBytes(a.data(), a.size());
  plat::RandomBytes(b.data(), b.size());
  EXPECT_NE(a, b);
  EXPECT_NE(a, std::vector<uint8_t>(64, 0));
}

}  // namespace
