#include "map/tile_cache.h"

#include <filesystem>
#include <system_error>

#include "platform/clock.h"
#include "platform/files.h"

namespace mapdraw {

std::string TileSourceDir(const std::string& cache_dir, int source) {
  return cache_dir + std::to_string(source);
}

std::string TileZoomDir(const std::string& cache_dir, int source, int z) {
  return TileSourceDir(cache_dir, source) + "/" + std::to_string(z);
}

std::string TileColumnDir(const std::string& cache_dir, int source, int z, int x) {
  return TileZoomDir(cache_dir, source, z) + "/" + std::to_string(x);
}

std::string TileFileName(const std::string& cache_dir, int source, int z, int x, int y) {
  return TileColumnDir(cache_dir, source, z, x) + "/" + std::to_string(y) + ".png";
}

double TileLifetime() {
  return 14 * plat::EncodeTime(23, 59, 59);
}

double TileFileTime(const std::string& path) {
  std::error_code ec;
  auto t = std::filesystem::last_write_time(path, ec);
  if (ec) return 0;
  auto sys = std::chrono::file_clock::to_sys(t);
  int64_t unix_s = std::chrono::duration_cast<std::chrono::seconds>(sys.time_since_epoch()).count();
  return plat::UnixToDateTime(unix_s);
}

bool KeepFreshTile(const std::string& path, double now) {
  if (!plat::FileExists(path)) return false;
  if (TileFileTime(path) + TileLifetime() < now) plat::DeleteFile(path);
  return plat::FileExists(path);
}

bool ReadTileFile(const std::string& path, Bytes& out) {
  return plat::ReadWholeFile(path, out, kMaxTileFileSize);
}

}  // namespace mapdraw
