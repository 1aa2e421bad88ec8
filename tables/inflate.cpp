#include "tables/inflate.h"

#include <zlib.h>

#include <algorithm>

namespace tables {

bool InflateZlib(const uint8_t* data, size_t size, std::vector<uint8_t>& out, size_t maxOut) {
  out.clear();
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return false;
  // Table files compress to a third or a quarter; start near the final size.
  size_t cap = std::min(maxOut, std::max<size_t>(size * 4, 4096));
  out.resize(cap);
  size_t inPos = 0, outPos = 0;
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    if (outPos == out.size()) {
      if (out.size() >= maxOut) break;
      out.resize(std::min(maxOut, out.size() * 2));
    }
    const size_t inChunk = std::min<size_t>(size - inPos, 1u << 30);
    const size_t outChunk = std::min<size_t>(out.size() - outPos, 1u << 30);
    zs.next_in = const_cast<Bytef*>(data + inPos);
    zs.avail_in = static_cast<uInt>(inChunk);
    zs.next_out = out.data() + outPos;
    zs.avail_out = static_cast<uInt>(outChunk);
    rc = inflate(&zs, Z_NO_FLUSH);
    inPos += inChunk - zs.avail_in;
    outPos += outChunk - zs.avail_out;
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) break;
    // No progress with input left and room to write: the stream is stuck.
    if (rc == Z_BUF_ERROR && inPos == size && zs.avail_out != 0) break;
  }
  inflateEnd(&zs);
  out.resize(outPos);
  if (rc != Z_STREAM_END) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace tables
