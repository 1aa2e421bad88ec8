#include "platform/integer_text.h"

#include <charconv>

namespace plat {

bool SplitIntegerText(std::string_view s, bool& neg, int& base, uint64_t& mag) {
  neg = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    neg = s[0] == '-';
    s.remove_prefix(1);
  }
  base = 10;
  if (!s.empty() && s[0] == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  mag = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), mag, base);
  return ec == std::errc() && p == s.data() + s.size();
}

}  // namespace plat
