#include "map/tile_request.h"

namespace mapdraw {

std::string TileRequestText(int map, int source, const std::vector<TTileAddress>& tiles) {
  std::string s = "{\"$c$\":\"get_osm\",\"map\":" + std::to_string(map) +
                  ",\"maps\":" + std::to_string(source) + ",\"data\":[";
  for (const TTileAddress& t : tiles) {
    s += "{\"x\":" + std::to_string(t.X) + ",\"y\":" + std::to_string(t.Y) +
         ",\"z\":" + std::to_string(t.Z) + "},";
  }
  if (!tiles.empty()) s.pop_back();
  s += "]}";
  return s;
}

void TileRequestRecords(int map, int source, const std::vector<TTileAddress>& tiles,
                        TGFDataS& out) {
  int g = out.AddGroup("main");
  int f_cmd = out.AddPar(g, "command", kGFString, 0);
  int f_map = out.AddPar(g, "map", kGFInteger, 4);
  int f_maps = out.AddPar(g, "maps", kGFInteger, 4);
  out.SetString(g, f_cmd, TGFDataS::kAppend, "Get_OSM");
  out.SetInteger(g, f_map, TGFDataS::kCurrent, map);
  out.SetInteger(g, f_maps, TGFDataS::kCurrent, source);
  int d = out.AddGroup("data");
  int fx = out.AddPar(d, "x", kGFInteger, 4);
  int fy = out.AddPar(d, "y", kGFInteger, 4);
  int fz = out.AddPar(d, "z", kGFInteger, 4);
  for (const TTileAddress& t : tiles) {
    out.SetInteger(d, fx, TGFDataS::kAppend, t.X);
    out.SetInteger(d, fy, TGFDataS::kCurrent, t.Y);
    out.SetInteger(d, fz, TGFDataS::kCurrent, t.Z);
  }
}

}  // namespace mapdraw
