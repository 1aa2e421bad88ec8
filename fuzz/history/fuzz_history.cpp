// History files as they come from disk: the input is cut into the index, the
// records and the string pool; the header is parsed and the index walked, with
// every field of every record looked up in the pool as the replay does.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/history/history.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  // Two 16-bit lengths: the index, then the records; the pool takes the rest.
  size_t zag_len = data[0] | (data[1] << 8), zap_len = data[2] | (data[3] << 8);
  std::string_view rest(reinterpret_cast<const char*>(data) + 4, size - 4);
  zag_len = zag_len < rest.size() ? zag_len : rest.size();
  THistoryData d;
  d.Zag = rest.substr(0, zag_len);
  rest.remove_prefix(zag_len);
  zap_len = zap_len < rest.size() ? zap_len : rest.size();
  d.Zap = rest.substr(0, zap_len);
  d.Memo = rest.substr(zap_len);
  // Each piece on the heap on its own, so a read past one is caught.
  d.Zag.shrink_to_fit();
  d.Zap.shrink_to_fit();
  d.Memo.shrink_to_fit();
  d.ParseHeader();
  THistoryWalk walk(d);
  THistoryRecord r;
  size_t total = 0;
  while (walk.Next(r)) {
    for (size_t at = 0; at <= r.PayloadSize + 4; ++at)
      total += HistoryPoolString(d.Memo, r.I32(at)).size();
    total += r.Hour + r.Minute + r.Second;
  }
  return total == static_cast<size_t>(-1);
}
