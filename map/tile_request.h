// The "get_osm" tile request of one map record and tile source, as JSON text
// and as a record set.
#pragma once
#include <string>
#include <vector>

#include "app/records/records.h"
#include "map/tile_table.h"

namespace mapdraw {

struct TTileAddress {
  int32_t X = 0, Y = 0, Z = 0;
};

std::string TileRequestText(int map, int source, const std::vector<TTileAddress>& tiles);
// Group "main" (command, map, maps; one record "Get_OSM") and group "data"
// (x, y, z; one record per tile).
void TileRequestRecords(int map, int source, const std::vector<TTileAddress>& tiles, TGFDataS& out);

}  // namespace mapdraw
