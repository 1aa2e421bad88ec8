#include "tables/text.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace tables {

namespace {

uint8_t LowerByte(uint8_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDF) return c + 32;  // А..Я
  switch (c) {
    case 0xA8:
      return 0xB8;  // Ё
    case 0xAA:
      return 0xBA;  // Є
    case 0xAF:
      return 0xBF;  // Ї
    case 0xB2:
      return 0xB3;  // І
    case 0xA1:
      return 0xA2;  // Ў
    case 0x80:
      return 0x90;  // Ђ
    case 0x81:
      return 0x83;  // Ѓ
    case 0x8A:
      return 0x9A;  // Љ
    case 0x8C:
      return 0x9C;  // Њ
    case 0x8D:
      return 0x9D;  // Ќ
    case 0x8E:
      return 0x9E;  // Ћ
    case 0x8F:
      return 0x9F;  // Џ
    case 0xA3:
      return 0xBC;  // Ј
    case 0xA5:
      return 0xB4;  // Ґ
    case 0xBD:
      return 0xBE;  // Ѕ
    default:
      return c;
  }
}

// Weights: every byte folded to lower case, then ranked so that ё follows е.
std::array<uint8_t, 256> BuildWeights() {
  auto order = [](uint8_t c) -> int {
    const uint8_t l = LowerByte(c);
    if (l == 0xB8) return 0xE5 * 2 + 1;  // ё right after е
    return l * 2;
  };
  std::array<int, 256> rank{};
  for (int c = 0; c < 256; ++c) rank[c] = order(static_cast<uint8_t>(c));
  std::array<int, 256> sorted = rank;
  std::sort(sorted.begin(), sorted.end());
  auto last = std::unique(sorted.begin(), sorted.end());
  std::array<uint8_t, 256> w{};
  for (int c = 0; c < 256; ++c)
    w[c] = static_cast<uint8_t>(std::lower_bound(sorted.begin(), last, rank[c]) - sorted.begin());
  return w;
}

const std::array<uint8_t, 256>& Weights() {
  static const std::array<uint8_t, 256> w = BuildWeights();
  return w;
}

}  // namespace

char Lower1251(char c) {
  return static_cast<char>(LowerByte(static_cast<uint8_t>(c)));
}

std::string LowerCase1251(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Lower1251(c);
  return out;
}

bool SameText1251(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower1251(a[i]) != Lower1251(b[i])) return false;
  return true;
}

std::string CollationKey(std::string_view s) {
  const auto& w = Weights();
  std::string out(s.size(), '\0');
  for (size_t i = 0; i < s.size(); ++i) out[i] = static_cast<char>(w[static_cast<uint8_t>(s[i])]);
  return out;
}

}  // namespace tables
