// The disk tile cache: one file per tile, named after the cache folder
// followed directly by the source number, then z, x and y folders/names:
// <TileCacheDir><source>/<z>/<x>/<y>.png. The file holds the bytes the slot
// keeps (JPEG for tiles delivered as PNG); the extension does not tell the format.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/json.h"  // Bytes

namespace mapdraw {

std::string TileSourceDir(const std::string& cache_dir, int source);
std::string TileZoomDir(const std::string& cache_dir, int source, int z);
std::string TileColumnDir(const std::string& cache_dir, int source, int z, int x);
std::string TileFileName(const std::string& cache_dir, int source, int z, int x, int y);

// How long a cached tile stays good: 14 times 23:59:59, in days.
double TileLifetime();
// The file's modification time as a date-time; 0 when it cannot be read.
double TileFileTime(const std::string& path);
// Deletes the file when it is older than the lifetime; true if it exists afterwards.
bool KeepFreshTile(const std::string& path, double now);
// Reads a cached tile (bounded); false when missing or unreadable.
bool ReadTileFile(const std::string& path, Bytes& out);

// Tile files larger than this are not read into memory.
constexpr int64_t kMaxTileFileSize = 8 << 20;

}  // namespace mapdraw
