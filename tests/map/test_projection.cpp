// Tile arithmetic, centre offsets, visible tile ranges and point-to-pixel forms.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "map/projection.h"

using namespace mapdraw;

struct CenterCase {
  double lon, lat;
  int z;
  int tile_x, tile_y, off_x, off_y;
  double lon_pp, lat_pp;
};

TEST(MapProjection, LocatesTheCentreTile) {
  const CenterCase cases[] = {
      {0, 0, 1, 1, 1, 0, 0, 0.703125, -0.33223097179611955},
      {0, 0, 3, 4, 4, 0, 0, 0.17578125, -0.16007772683445362},
      {37.6173, 55.7558, 15, 19808, 10243, 2, 92, 4.291534423828125e-05, -2.4149908210813198e-05},
      {-122.4194, 37.7749, 12, 655, 1583, 35, 48, 0.00034332275390625, -0.00027144944739185273},
      {139.6917, 35.6895, 18, 232792, 103219, 100, 34, 5.364418029785156e-06,
       -4.356951453843294e-06},
  };
  for (const CenterCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lon << "," << c.lat << " z" << c.z);
    stru_ya ya;
    ya.CenterLon = c.lon;
    ya.CenterLat = c.lat;
    ya.Zoom = c.z;
    LocateCenter(ya);
    EXPECT_EQ(ya.TileX, c.tile_x);
    EXPECT_EQ(ya.TileY, c.tile_y);
    EXPECT_EQ(ya.CenterOffsetX, c.off_x);
    EXPECT_EQ(ya.CenterOffsetY, c.off_y);
    EXPECT_NEAR(ya.LonPerPixel, c.lon_pp, 1e-15);
    EXPECT_NEAR(ya.LatPerPixel, c.lat_pp, 1e-12);
    EXPECT_LT(ya.LatPerPixel, 0);
    EXPECT_NEAR(ya.TileWestLon, static_cast<double>(TileWestLonOf(c.tile_x, c.z)), 1e-12);
  }
}

TEST(MapProjection, TileEdges) {
  EXPECT_DOUBLE_EQ(static_cast<double>(TileWestLonOf(0, 4)), -180.0);
  EXPECT_DOUBLE_EQ(static_cast<double>(TileWestLonOf(8, 4)), 0.0);
  EXPECT_NEAR(static_cast<double>(TileNorthLatOf(0, 0)), 85.0511287798, 1e-9);
  EXPECT_NEAR(static_cast<double>(TileNorthLatOf(2, 2)), 0.0, 1e-12);
  // Tiles of the southern half have negative north edges.
  EXPECT_LT(TileNorthLatOf(3, 2), 0);
}

TEST(MapProjection, HostileCentresStaySane) {
  stru_ya ya;
  ya.CenterLon = std::numeric_limits<double>::quiet_NaN();
  ya.CenterLat = 1e300;
  ya.Zoom = 15;
  ya.Bounds = {0, 0, 1109, 881};
  LocateCenter(ya);
  BuildVisibleTiles(ya);
  EXPECT_GE(ya.CenterOffsetX, 0);
  EXPECT_LE(ya.CenterOffsetX, 255);
  EXPECT_LE(ya.VisibleTiles.size(), 36u);
  // Zooms outside the arithmetic's range give no tiles.
  ya.CenterLon = 10;
  ya.CenterLat = 10;
  ya.Zoom = 40;
  LocateCenter(ya);
  BuildVisibleTiles(ya);
  EXPECT_TRUE(ya.VisibleTiles.empty());
  EXPECT_EQ(TruncInt(std::nan("")), 0);
  EXPECT_EQ(TruncInt(1e20L), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(TruncInt(-2.7L), -2);
}

struct RangeCase {
  int off_x, off_y;
  int columns, rows;
  int min_dx, min_dy;  // MinX - TileX, MinY - TileY
};

TEST(MapProjection, TileRangeOfA1109By881Screen) {
  const RangeCase cases[] = {
      {0, 0, 6, 4, -3, -2},    {200, 200, 5, 4, -2, -1}, {200, 150, 5, 5, -2, -2},
      {41, 183, 6, 5, -3, -2}, {42, 184, 5, 4, -2, -1},  {213, 71, 5, 4, -2, -2},
      {214, 72, 6, 5, -2, -2},
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "offset " << c.off_x << "," << c.off_y);
    stru_ya ya;
    ya.Zoom = 10;
    ya.TileX = 500;
    ya.TileY = 300;
    ya.CenterOffsetX = c.off_x;
    ya.CenterOffsetY = c.off_y;
    ya.Bounds = {0, 0, 1109, 881};
    TTileRange r = VisibleRange(ya, 1109, 881);
    EXPECT_EQ(r.MaxX - r.MinX + 1, c.columns);
    EXPECT_EQ(r.MaxY - r.MinY + 1, c.rows);
    EXPECT_EQ(r.MinX - ya.TileX, c.min_dx);
    EXPECT_EQ(r.MinY - ya.TileY, c.min_dy);
    BuildVisibleTiles(ya);
    ASSERT_EQ(ya.VisibleTiles.size(), static_cast<size_t>(c.columns * c.rows));
    // Column by column, rows inside; DX/DY from each tile's corner to the centre.
    const TVisibleTile& first = ya.VisibleTiles[0];
    EXPECT_EQ(first.X, r.MinX);
    EXPECT_EQ(first.Y, r.MinY);
    EXPECT_EQ(ya.VisibleTiles[1].X, r.MinX);
    EXPECT_EQ(ya.VisibleTiles[1].Y, r.MinY + 1);
    EXPECT_EQ(first.DX, (ya.TileX - first.X) * 256 + c.off_x);
    EXPECT_EQ(first.DY, (ya.TileY - first.Y) * 256 + c.off_y);
    // Every screen pixel is covered by a tile of the list.
    const int hw = 1109 / 2, hh = 881 / 2;
    int left = 1 << 30, right = -(1 << 30), top = 1 << 30, bottom = -(1 << 30);
    for (const TVisibleTile& t : ya.VisibleTiles) {
      left = std::min(left, hw - t.DX);
      top = std::min(top, hh - t.DY);
      right = std::max(right, hw - t.DX + 256);
      bottom = std::max(bottom, hh - t.DY + 256);
    }
    EXPECT_LE(left, 0);
    EXPECT_LE(top, 0);
    EXPECT_GE(right, 1109);
    EXPECT_GE(bottom, 881);
  }
}

TEST(MapProjection, InactiveScreenHasNoTiles) {
  stru_ya ya;
  ya.Zoom = 5;
  ya.Bounds = {100000, 100000, 0, 0};
  LocateCenter(ya);
  BuildVisibleTiles(ya);
  EXPECT_TRUE(ya.VisibleTiles.empty());
}

TEST(MapProjection, GeographicPointToPixel) {
  stru_ya ya;
  ya.CenterLon = 37.6173;
  ya.CenterLat = 55.7558;
  ya.Zoom = 15;
  ya.Bounds = {300, 100, 1100, 701};  // 800 x 601
  LocateCenter(ya);
  // The centre tile's corner sits at (hw - offset x, hh - offset y).
  QPoint corner = GeoToScreen(ya, ya.TileWestLon, ya.TileNorthLat);
  EXPECT_EQ(corner, QPoint(400 - ya.CenterOffsetX, 300 - ya.CenterOffsetY));
  // The centre itself lands on the middle, within the truncation.
  QPoint mid = GeoToScreen(ya, ya.CenterLon, ya.CenterLat);
  EXPECT_NEAR(mid.x(), 400, 1);
  EXPECT_NEAR(mid.y(), 300, 1);
  // North is up: a point north of the centre has a smaller y.
  QPoint north = GeoToScreen(ya, ya.CenterLon, ya.CenterLat + 100 * -ya.LatPerPixel);
  EXPECT_NEAR(north.y(), mid.y() - 100, 1);
  QPoint east = GeoToScreen(ya, ya.CenterLon + 50 * ya.LonPerPixel, ya.CenterLat);
  EXPECT_NEAR(east.x(), mid.x() + 50, 1);
  // The control form adds Left/Top and uses half sizes without truncation.
  QPoint c = GeoToControl(ya, ya.TileWestLon, ya.TileNorthLat);
  EXPECT_EQ(c.x(), 300 + 400 - ya.CenterOffsetX);
  EXPECT_EQ(c.y(), 100 + static_cast<int>(300.5 - ya.CenterOffsetY));
}

TEST(MapProjection, LinearScaleErrsFarFromTheCentreAtLowZoom) {
  stru_ya ya;
  ya.CenterLon = 0;
  ya.CenterLat = 30;
  ya.Zoom = 3;
  ya.Bounds = {0, 0, 1500, 1500};
  LocateCenter(ya);
  // Latitude 60 is the north edge of some tile row at no zoom; compare the
  // linear placement with the true Mercator y of that latitude.
  const double lat = 60;
  const long double n = 8;
  const long double phi = lat * 0.017453292519943295L;
  const long double merc_y =
      (1 - std::log(std::tan(phi) + 1 / std::cos(phi)) / 3.14159265358979L) / 2 * n * 256;
  const long double centre_y = ya.TileY * 256.0L + ya.CenterOffsetY;
  const int true_y = 750 - static_cast<int>(centre_y - merc_y);
  EXPECT_GT(std::abs(GeoToScreen(ya, 0, lat).y() - true_y), 10);
}
