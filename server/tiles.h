// Map tiles for "get_osm": read from a folder of z/x/y.png files, fetched from
// an HTTP tile server (cached on disk), or drawn here (land colour, a grid and
// the tile's z/x/y) so that the map always shows something honest.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/json.h"  // Bytes

namespace srv {

struct TileOptions {
  std::string dir;        // folder of z/x/y.png, tried first
  std::string url;        // template with {z}, {x}, {y}, fetched when set
  std::string cache_dir;  // where fetched tiles are kept
};

class TileSource {
 public:
  explicit TileSource(TileOptions o) : o_(std::move(o)) {}
  // PNG bytes of the tile; empty only when it cannot be had at all.
  Bytes Tile(int z, int x, int y);

 private:
  Bytes FromUrl(int z, int x, int y);
  TileOptions o_;
};

// A 256 x 256 PNG: land colour, a grid, and "z/x/y" written on it.
Bytes RenderTile(int z, int x, int y);

// A 480 x 360 picture for the demo's photo sendings: coloured panels and the
// label digits; JPEG, or PNG when no JPEG coder is at hand; empty without Qt.
Bytes RenderPhoto(uint32_t seed, const std::string& label);

// The "data" of an "oldup" answer: the record set with command "Put_OSM" whose
// field "data" is the tile reply (x, y, z, map, source, 0, format 1 = PNG, 0,
// picture), in hexadecimal.
std::string PutOsmHex(int x, int y, int z, int map, int source, const Bytes& png);

}  // namespace srv
