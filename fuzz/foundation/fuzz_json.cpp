// The JSON text routines and the hexadecimal decoder on arbitrary text: they
// read every message from the network, so they must stay inside their input
// and keep their round-trip promises.
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/json.h"

namespace {

void Check(bool ok) {
  if (!ok) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly-sized copy so any read past the end is caught.
  const std::vector<char> buf(data, data + size);
  const std::string_view text(buf.data(), buf.size());

  // A key taken from the input's first line, and the keys messages use.
  const size_t nl = text.find('\n');
  const std::string_view own_key = text.substr(0, nl == std::string_view::npos ? 0 : nl);
  for (std::string_view key : {own_key, std::string_view("$c$"), std::string_view("data"),
                               std::string_view("p"), std::string_view("")}) {
    const std::string v = GetValueFromJSON(text, key);
    Check(v.size() <= text.size());
  }

  std::string rest(text);
  std::string key, value;
  while (GetFirstValueFromJSON(rest, key, value)) {
    Check(key.size() + value.size() <= text.size());
  }
  Check(rest.size() <= text.size());

  rest.assign(text);
  std::string element;
  for (;;) {
    const size_t before = rest.size();
    GetFirstMasFromJSON(rest, element);
    if (element.empty()) break;
    Check(rest.size() < before);
    Check(element.front() == '{' || element.front() == '[');
  }

  // Any text survives escaping and reading back.
  const std::string original(text);
  Check(GetValueFromJSON("{\"v\":\"" + JSONString(original) + "\"}", "v") == original);

  Bytes bytes;
  HexToBytes(text, bytes);
  Check(bytes.size() == text.size() / 2);
  Bytes back;
  HexToBytes(BytesToHex(bytes), back);
  Check(back == bytes);
  StrToIntDef(text, 0);
  StrToFloatDef(text, 0);
  return 0;
}
