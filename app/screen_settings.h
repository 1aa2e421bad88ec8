// The screen-settings file of the technicians page: the layout of the 64 map
// screens, each screen's centre and zoom, and the display switches. Built with
// defaults when missing and repaired when an older version wrote it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/records/records.h"

namespace screen {

constexpr int kScreens = 64;

// When the file is missing: writes the default groups "Main" and "ya" and
// clears the container again. False when the file exists or could not be saved.
bool CreateDefaultFile(TGFDataS& data);

// Adds what older files lack (the three switches of "Main", the group "Path"
// with its fields and four empty records), saving after each repair.
void RepairMainAndPath(TGFDataS& data);
// Adds "NumberO" to "ya" when missing and saves.
void RepairScreens(TGFDataS& data);

struct Switches {
  uint8_t ShowPark = 0;
  uint8_t ShowPathNapr = 0;
  uint8_t ShowPathTitle = 0;
  std::string TekScreen;  // the layout text of the first "Main" record
};
Switches ReadSwitches(TGFDataS& data);

struct Point {
  double CenterLon = 0;
  double CenterLat = 0;
  int32_t Zoom = 0;
  int32_t NumberO = 0;
  int32_t TileSource = 0;
};
// Screen i (1-based) is element i - 1; records the file lacks read as zeros.
std::vector<Point> ReadPoints(TGFDataS& data);

// Writes back what the map reports: a centre or zoom of 0 leaves the stored
// value; the layout text goes to the first "Main" record. Both save.
bool SavePoint(TGFDataS& data, int screen, double lon, double lat, int zoom);
bool SaveLayout(TGFDataS& data, const std::string& layout);

}  // namespace screen
