// A tile reply as handed to PutTile: a 26-byte header and the picture bytes.
//   0 x, 4 y, 8 z, 12 map, 16 source (32-bit little-endian signed),
//   20-23 unused, 24 format (1 = PNG), 25 unused, 26... picture.
#pragma once
#include <cstddef>
#include <cstdint>

namespace mapdraw {

struct TTileReply {
  int32_t X = 0, Y = 0, Z = 0;
  int32_t Map = 0, Source = 0;
  uint8_t Format = 0;
  const uint8_t* Picture = nullptr;  // inside the reply
  size_t PictureSize = 0;
};

constexpr size_t kTileHeaderSize = 26;
constexpr uint8_t kTileFormatPng = 1;

// False when the bytes are too short to hold the tile's address (20 bytes).
// Shorter than 28 bytes: no picture (PictureSize 0).
bool ParseTileReply(const uint8_t* data, size_t size, TTileReply& out);

}  // namespace mapdraw
