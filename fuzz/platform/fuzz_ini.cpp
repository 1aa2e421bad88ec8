// The INI reader and writer on arbitrary file content: a write must always be
// found again by the next read, and nothing may read outside the text.
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/inifile.h"

namespace {

void Check(bool ok) {
  if (!ok) abort();
}

// Names a write would accept.
bool Writable(std::string_view s) {
  if (s.empty() || s.front() == ' ' || s.back() == ' ' || s.front() == '\t' || s.back() == '\t')
    return false;
  if (s.front() == ';' || s.front() == '[') return false;
  return s.find_first_of("\r\n=]") == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<char> buf(data, data + size);
  const std::string_view text(buf.data(), buf.size());

  std::string value;
  for (auto [section, key] : {std::pair<std::string_view, std::string_view>{"ServerHost", "PortU"},
                              {"main", "USER"},
                              {"", ""}}) {
    plat::IniFindValue(text, section, key, value);
  }

  // Section and key from the first two lines of the input, when usable.
  std::string_view section = "Main", key = "User";
  const size_t a = text.find('\n');
  if (a != std::string_view::npos) {
    const size_t b = text.find('\n', a + 1);
    if (b != std::string_view::npos) {
      const std::string_view s = text.substr(0, a), k = text.substr(a + 1, b - a - 1);
      if (Writable(s) && Writable(k)) {
        section = s;
        key = k;
      }
    }
  }
  const std::string updated = plat::IniSetValue(text, section, key, "fuzz value");
  Check(plat::IniFindValue(updated, section, key, value) && value == "fuzz value");
  const std::string again = plat::IniSetValue(updated, section, key, "v2");
  Check(plat::IniFindValue(again, section, key, value) && value == "v2");
  return 0;
}
