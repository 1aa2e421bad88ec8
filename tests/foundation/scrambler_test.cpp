#include "foundation/scrambler.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(Scrambler, TableIsAPermutation) {
  const uint8_t* t = ScramblerTable();
  std::array<int, 256> seen{};
  for (int i = 0; i < 256; ++i) ++seen[t[i]];
  for (int v = 0; v < 256; ++v) EXPECT_EQ(seen[v], 1) << v;
}

// The stream as the server computes it: seeds walk in opposite directions and
// wrap at 256. Long buffers with edge seeds exercise the wrap.
TEST(Scrambler, MatchesTheWireRule) {
  const uint8_t* t = ScramblerTable();
  for (const auto& seeds : std::vector<std::array<uint8_t, 2>>{{0, 0}, {0xFF, 0}, {0x12, 0xFE}}) {
    std::vector<uint8_t> buf(2 + 700);
    buf[0] = seeds[0];
    buf[1] = seeds[1];
    for (size_t i = 2; i < buf.size(); ++i) buf[i] = static_cast<uint8_t>(i * 7);
    const std::vector<uint8_t> plain = buf;
    EnDec(buf, 1);
    uint8_t s = seeds[0], u = seeds[1];
    for (size_t i = 2; i < buf.size(); ++i, ++s, --u) {
      ASSERT_EQ(buf[i], plain[i] ^ t[s] ^ t[u]) << "byte " << i;
    }
    EXPECT_EQ(buf[0], seeds[0]);
    EXPECT_EQ(buf[1], seeds[1]);
  }
}

TEST(Scrambler, TwiceRestoresAndScrambles) {
  std::mt19937 rng(20261211);
  int changed = 0;
  for (size_t len = 3; len < 1100; len += 37) {
    std::vector<uint8_t> buf(len);
    for (auto& b : buf) b = static_cast<uint8_t>(rng());
    const std::vector<uint8_t> orig = buf;
    EnDec(buf, 1);
    changed += buf != orig;
    EnDec(buf, 1);
    ASSERT_EQ(buf, orig) << "seed 20261211, len " << len;
  }
  EXPECT_GT(changed, 0);
}

TEST(Scrambler, ShortBuffersUntouched) {
  for (size_t len = 0; len < 3; ++len) {
    std::vector<uint8_t> buf(len, 0x5A);
    EnDec(buf, 1);
    EXPECT_EQ(buf, std::vector<uint8_t>(len, 0x5A));
  }
}

TEST(Scrambler, EnDecSCoversExactlyN) {
  std::vector<uint8_t> buf(2 + 55 + 10, 0);
  buf[0] = 3;
  buf[1] = 200;
  std::vector<uint8_t> header(buf.begin(), buf.begin() + 57);
  EnDecS(buf.data(), 55, 1);
  EnDec(header, 1);
  EXPECT_TRUE(std::equal(header.begin(), header.end(), buf.begin()));
  for (size_t i = 57; i < buf.size(); ++i) EXPECT_EQ(buf[i], 0) << i;
}

TEST(Scrambler, StrToBytesCCarriesText) {
  const std::string text = "{\"$c$\":\"ping\"}\xCF\xF0";
  const std::vector<uint8_t> p = StrToBytesC(text, 1);
  ASSERT_EQ(p.size(), text.size() + 2);
  std::vector<uint8_t> q = p;
  EnDec(q, 1);
  EXPECT_EQ(std::string(q.begin() + 2, q.end()), text);
  EXPECT_EQ(StrToBytesC("", 1).size(), 2u);
  // Seeds are random: a run of payloads of the same text does not repeat one.
  bool differ = false;
  for (int i = 0; i < 16 && !differ; ++i) differ = StrToBytesC(text, 1) != p;
  EXPECT_TRUE(differ);
}

}  // namespace
