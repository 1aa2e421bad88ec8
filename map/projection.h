// Web-Mercator tile arithmetic (tile (0, 0) at the north-west corner, 2^z
// tiles per axis) in extended precision, and the linear pixel scale of a
// screen's centre tile.
#pragma once
#include <QPoint>
#include <cstdint>

#include "map/map_types.h"

namespace mapdraw {

// Truncation towards zero, saturating at the 32-bit range (NaN gives 0), so a
// hostile centre or zoom from the screen file cannot overflow.
int32_t TruncInt(long double v);

// Zoom levels for which tile arithmetic is done at all; other values give a
// screen without tiles.
constexpr int kMaxArithmeticZoom = 30;
bool ZoomUsable(int32_t z);

int32_t TileXOf(long double lon, int32_t z);
int32_t TileYOf(long double lat, int32_t z);
long double TileWestLonOf(long double x, int32_t z);
long double TileNorthLatOf(long double y, int32_t z);

// Steps 1-4 of locating: centre tile, its edges, the centre's offset inside it
// and the degrees per pixel.
void LocateCenter(stru_ya& ya);
// Steps 5-6: the visible tile range for a W x H screen and the rebuilt
// VisibleTiles list (slots -1), column by column.
struct TTileRange {
  int32_t MinX = 0, MaxX = -1, MinY = 0, MaxY = -1;
};
TTileRange VisibleRange(const stru_ya& ya, int32_t w, int32_t h);
void BuildVisibleTiles(stru_ya& ya);

// A geographic point in the pixels of the screen's own surface.
QPoint GeoToScreen(const stru_ya& ya, double lon, double lat);
// The same point in control pixels (single-precision form).
QPoint GeoToControl(const stru_ya& ya, double lon, double lat);

}  // namespace mapdraw
