#include "platform/crypto.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <random>

namespace plat {

namespace {

const char kHexUpper[] = "0123456789ABCDEF";
const char kHexLower[] = "0123456789abcdef";

std::string Hex(const uint8_t* p, size_t n, const char* digits) {
  std::string out(n * 2, '0');
  for (size_t i = 0; i < n; ++i) {
    out[2 * i] = digits[p[i] >> 4];
    out[2 * i + 1] = digits[p[i] & 0x0F];
  }
  return out;
}

const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int B64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string NewGuidText() {
  uint8_t b[16];
  if (RAND_bytes(b, sizeof b) != 1) return {};
  b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  const std::string h = Hex(b, sizeof b, kHexUpper);
  return h.substr(0, 8) + "-" + h.substr(8, 4) + "-" + h.substr(12, 4) + "-" + h.substr(16, 4) +
         "-" + h.substr(20, 12);
}

std::string Base64Encode(const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const uint32_t v = uint32_t{p[i]} << 16 | uint32_t{p[i + 1]} << 8 | p[i + 2];
    out.push_back(kB64[v >> 18]);
    out.push_back(kB64[(v >> 12) & 63]);
    out.push_back(kB64[(v >> 6) & 63]);
    out.push_back(kB64[v & 63]);
  }
  const size_t rest = size - i;
  if (rest > 0) {
    uint32_t v = uint32_t{p[i]} << 16;
    if (rest == 2) v |= uint32_t{p[i + 1]} << 8;
    out.push_back(kB64[v >> 18]);
    out.push_back(kB64[(v >> 12) & 63]);
    out.push_back(rest == 2 ? kB64[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

bool Base64Decode(std::string_view text, std::vector<uint8_t>& out) {
  out.clear();
  std::string s;
  s.reserve(text.size());
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') s.push_back(c);
  }
  // Fill may only close the last group: "xx==" or "xxx=". A missing fill is
  // tolerated when the tail still carries whole bytes.
  size_t fill = 0;
  while (fill < 2 && fill < s.size() && s[s.size() - 1 - fill] == '=') ++fill;
  if (fill > 0 && s.size() % 4 != 0) return false;
  const size_t data = s.size() - fill;
  if (data % 4 == 1) return false;
  out.reserve(data / 4 * 3 + 2);
  uint32_t acc = 0;
  int bits = 0;
  for (size_t i = 0; i < data; ++i) {
    const int v = B64Value(s[i]);
    if (v < 0) return false;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<uint8_t>(acc >> bits));
      acc &= (1u << bits) - 1;
    }
  }
  return true;
}

std::array<uint8_t, 16> Md5(const void* data, size_t size) {
  std::array<uint8_t, 16> d{};
  unsigned int len = 0;
  EVP_Digest(data, size, d.data(), &len, EVP_md5(), nullptr);
  return d;
}

std::string Md5HexLower(const void* data, size_t size) {
  const auto d = Md5(data, size);
  return Hex(d.data(), d.size(), kHexLower);
}

std::string Md5HexUpper(const void* data, size_t size) {
  const auto d = Md5(data, size);
  return Hex(d.data(), d.size(), kHexUpper);
}

void RandomBytes(void* out, size_t n) {
  if (n == 0) return;
  auto* p = static_cast<uint8_t*>(out);
  bool ok = true;
  for (size_t done = 0; ok && done < n;) {
    const int chunk = static_cast<int>(std::min<size_t>(n - done, 1 << 20));
    ok = RAND_bytes(p + done, chunk) == 1;
    done += static_cast<size_t>(chunk);
  }
  if (ok) return;
  // Seeds only need to differ, not to be secret.
  static thread_local std::mt19937 gen{std::random_device{}()};
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(gen());
}

}  // namespace plat
