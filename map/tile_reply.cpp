#include "map/tile_reply.h"

#include <cstring>

namespace mapdraw {

static int32_t ReadI32(const uint8_t* p) {
  uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
               static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  int32_t r;
  std::memcpy(&r, &v, 4);
  return r;
}

bool ParseTileReply(const uint8_t* data, size_t size, TTileReply& out) {
  out = TTileReply{};
  if (data == nullptr || size < 20) return false;
  out.X = ReadI32(data);
  out.Y = ReadI32(data + 4);
  out.Z = ReadI32(data + 8);
  out.Map = ReadI32(data + 12);
  out.Source = ReadI32(data + 16);
  if (size > 27) {
    out.Format = data[24];
    out.Picture = data + kTileHeaderSize;
    out.PictureSize = size - kTileHeaderSize;
  }
  return true;
}

}  // namespace mapdraw
