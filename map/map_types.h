// The map control's records: screens, map records, technician markers.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "map/surface.h"
#include "map/tile_table.h"

struct TBounds {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
};

// One tile a screen needs: its slot (-1 = none), index and the pixel distance
// from the tile's north-west corner to the screen centre.
struct TVisibleTile {
  int32_t Slot = -1;
  int32_t X = 0, Y = 0;
  int32_t DX = 0, DY = 0;
};

// A technician marker, filled by the main window. Texts are Windows-1251.
struct stru_tehnik {
  std::string Name;
  std::string Status;
  double Lon = 0, Lat = 0;
  std::string Photo;  // Base64 JPEG; empty = the control's DefaultPhoto
  std::string Line2, Line3;
  // Label box in the pixels of the screen surface it was drawn on.
  int32_t BoxLeft = 0, BoxRight = 0, BoxTop = 0, BoxBottom = 0;
  int32_t StartMinute = 0, EndMinute = 0;  // minutes since midnight
  std::string WorkKind;
};

// One map view (screen).
struct stru_ya {
  bool Active = false;
  TBounds Bounds;  // control pixels
  bool Selected = false;
  mapdraw::TSurface Surface;  // W x H off-screen picture
  bool Dirty = false;
  double RefreshAt = 0;  // date-time
  bool RefreshPending = false;
  int32_t MapIndex = 0;
  double CenterLon = 0, CenterLat = 0;
  double LonPerPixel = 0, LatPerPixel = 0;  // LatPerPixel < 0: y grows southwards
  int32_t CenterOffsetX = 0, CenterOffsetY = 0;
  int32_t Zoom = 0;
  int32_t TileX = 0, TileY = 0;
  double TileWestLon = 0, TileNorthLat = 0;
  std::vector<TVisibleTile> VisibleTiles;
  int32_t TileSource = 0;
  int32_t NumberO = 0;
};

// A map record. The system draws map 1, a tile map (Kind 4).
struct TMAPFR {
  bool Active = false;
  uint8_t Kind = 0;
  std::vector<stru_tehnik> Technicians;
  TTileTable Tiles;
};

constexpr uint8_t kMapKindTiles = 4;
