// The integer text both the INI reader and the message readers accept: an
// optional sign, then decimal digits, or hexadecimal after "$" or "0x".
#pragma once
#include <cstdint>
#include <string_view>

namespace plat {

// Splits s (already trimmed) into sign, base and magnitude; false when it is not
// such a number or the magnitude does not fit 64 bits. Range rules are the caller's.
bool SplitIntegerText(std::string_view s, bool& neg, int& base, uint64_t& mag);

}  // namespace plat
