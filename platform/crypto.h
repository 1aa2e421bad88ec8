// GUIDs, Base64 and MD5 (OpenSSL's libcrypto behind them).
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

// A new random GUID: 36 characters, upper case, no braces; empty on failure.
std::string NewGuidText();

// Standard Base64 with '=' fill and no line breaks.
std::string Base64Encode(const void* data, size_t size);
inline std::string Base64Encode(std::string_view s) { return Base64Encode(s.data(), s.size()); }
// False on text that is not Base64 (white space is skipped).
bool Base64Decode(std::string_view text, std::vector<uint8_t>& out);

std::array<uint8_t, 16> Md5(const void* data, size_t size);
// 32 hexadecimal digits.
std::string Md5HexLower(const void* data, size_t size);
std::string Md5HexUpper(const void* data, size_t size);

// Random bytes for seeds and tokens (not for secrets).
void RandomBytes(void* out, size_t n);

}  // namespace plat
