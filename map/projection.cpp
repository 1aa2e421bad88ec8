#include "map/projection.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace mapdraw {

namespace {
constexpr long double kDegToRad = 0.017453292519943295L;
constexpr long double kPi = 3.141592653589793238462643383279502884L;
}  // namespace

int32_t TruncInt(long double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0L) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0L) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(std::trunc(v));
}

bool ZoomUsable(int32_t z) {
  return z >= 0 && z <= kMaxArithmeticZoom;
}

static long double TilesPerAxis(int32_t z) {
  return std::ldexp(1.0L, z);
}

int32_t TileXOf(long double lon, int32_t z) {
  return TruncInt((lon + 180.0L) / 360.0L * TilesPerAxis(z));
}

int32_t TileYOf(long double lat, int32_t z) {
  long double phi = lat * kDegToRad;
  return TruncInt((1.0L - std::log(std::tan(phi) + 1.0L / std::cos(phi)) / kPi) / 2.0L *
                  TilesPerAxis(z));
}

long double TileWestLonOf(long double x, int32_t z) {
  return x / TilesPerAxis(z) * 360.0L - 180.0L;
}

long double TileNorthLatOf(long double y, int32_t z) {
  return std::atan(std::sinh((1.0L - 2.0L * y / TilesPerAxis(z)) * kPi)) * 180.0L / kPi;
}

void LocateCenter(stru_ya& ya) {
  if (!ZoomUsable(ya.Zoom)) return;
  const int32_t z = ya.Zoom;
  ya.TileX = TileXOf(ya.CenterLon, z);
  ya.TileY = TileYOf(ya.CenterLat, z);
  long double west = TileWestLonOf(ya.TileX, z);
  long double north = TileNorthLatOf(ya.TileY, z);
  long double east = TileWestLonOf(static_cast<long double>(ya.TileX) + 1, z);
  long double south = TileNorthLatOf(static_cast<long double>(ya.TileY) + 1, z);
  ya.TileWestLon = static_cast<double>(west);
  ya.TileNorthLat = static_cast<double>(north);
  ya.CenterOffsetX = TruncInt((ya.CenterLon - west) * 256.0L / (east - west));
  ya.CenterOffsetY = TruncInt((ya.CenterLat - north) * 256.0L / (south - north));
  // Only a centre outside the world (a damaged screen file) can land outside
  // its tile; keeping the offset inside bounds the visible tile range.
  ya.CenterOffsetX = std::clamp(ya.CenterOffsetX, 0, 255);
  ya.CenterOffsetY = std::clamp(ya.CenterOffsetY, 0, 255);
  ya.LonPerPixel = static_cast<double>((east - west) / 256.0L);
  ya.LatPerPixel = static_cast<double>((south - north) / 256.0L);
}

TTileRange VisibleRange(const stru_ya& ya, int32_t w, int32_t h) {
  TTileRange r;
  if (!ZoomUsable(ya.Zoom) || w <= 0 || h <= 0) return r;
  const int64_t hw = w / 2, hh = h / 2;
  const int64_t cx = ya.CenterOffsetX, cy = ya.CenterOffsetY;
  int64_t min_x = ya.TileX, max_x = ya.TileX, min_y = ya.TileY, max_y = ya.TileY;
  while (hw - ((ya.TileX - min_x) * 256 + cx) > 0) --min_x;
  while (w > hw - cx + (max_x - ya.TileX) * 256) ++max_x;
  --max_x;
  while (hh - ((ya.TileY - min_y) * 256 + cy) > 0) --min_y;
  while (h > hh - cy + (max_y - ya.TileY) * 256) ++max_y;
  --max_y;
  r.MinX = static_cast<int32_t>(min_x);
  r.MaxX = static_cast<int32_t>(max_x);
  r.MinY = static_cast<int32_t>(min_y);
  r.MaxY = static_cast<int32_t>(max_y);
  return r;
}

void BuildVisibleTiles(stru_ya& ya) {
  ya.VisibleTiles.clear();
  TTileRange r = VisibleRange(ya, ya.Bounds.Width(), ya.Bounds.Height());
  for (int64_t x = r.MinX; x <= r.MaxX; ++x) {
    for (int64_t y = r.MinY; y <= r.MaxY; ++y) {
      TVisibleTile t;
      t.X = static_cast<int32_t>(x);
      t.Y = static_cast<int32_t>(y);
      t.DX = static_cast<int32_t>((ya.TileX - x) * 256 + ya.CenterOffsetX);
      t.DY = static_cast<int32_t>((ya.TileY - y) * 256 + ya.CenterOffsetY);
      ya.VisibleTiles.push_back(t);
    }
  }
}

static int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

QPoint GeoToScreen(const stru_ya& ya, double lon, double lat) {
  const int64_t hw = ya.Bounds.Width() / 2, hh = ya.Bounds.Height() / 2;
  int64_t x = hw - ya.CenterOffsetX - TruncInt((ya.TileWestLon - lon) / ya.LonPerPixel);
  int64_t y = hh - ya.CenterOffsetY - TruncInt((ya.TileNorthLat - lat) / ya.LatPerPixel);
  return QPoint(Clamp32(x), Clamp32(y));
}

QPoint GeoToControl(const stru_ya& ya, double lon, double lat) {
  const double w = ya.Bounds.Width(), h = ya.Bounds.Height();
  float vx = static_cast<float>(w / 2 - ya.CenterOffsetX - (ya.TileWestLon - lon) / ya.LonPerPixel);
  float vy =
      static_cast<float>(h / 2 - ya.CenterOffsetY - (ya.TileNorthLat - lat) / ya.LatPerPixel);
  return QPoint(Clamp32(int64_t{ya.Bounds.Left} + TruncInt(vx)),
                Clamp32(int64_t{ya.Bounds.Top} + TruncInt(vy)));
}

}  // namespace mapdraw
