#include "app/screen_settings.h"

#include "platform/files.h"

namespace screen {

namespace {

constexpr int32_t kStringSize = 255;

// The field's index, added with the given type when the group lacks it.
int EnsurePar(TGFDataS& data, int g, const char* name, uint8_t type, int32_t size, bool& added) {
  int f = data.FindPar(g, name);
  if (f < 0) {
    f = data.AddPar(g, name, type, size);
    added = true;
  }
  return f;
}

}  // namespace

bool CreateDefaultFile(TGFDataS& data) {
  if (plat::FileExists(data.Path())) return false;
  int main = data.AddGroup("Main");
  int tek = data.AddPar(main, "TekScreen", kGFString, kStringSize);
  std::string layout;
  for (int i = 0; i < kScreens; ++i) layout += "01";
  data.SetString(main, tek, TGFDataS::kAppend, layout);

  int ya = data.AddGroup("ya");
  int clon = data.AddPar(ya, "CLon", kGFSingle, 4);
  int clat = data.AddPar(ya, "CLat", kGFSingle, 4);
  int cz = data.AddPar(ya, "CZ", kGFInteger, 4);
  int maps = data.AddPar(ya, "Maps", kGFInteger, 4);
  for (int i = 0; i < kScreens; ++i) {
    data.SetSingle(ya, clon, TGFDataS::kAppend, 0);
    data.SetSingle(ya, clat, TGFDataS::kCurrent, 0);
    data.SetInteger(ya, cz, TGFDataS::kCurrent, 15);
    data.SetInteger(ya, maps, TGFDataS::kCurrent, 0);
  }
  bool ok = data.Save();
  data.Clear();
  return ok;
}

void RepairMainAndPath(TGFDataS& data) {
  bool added = false;
  int main = data.FindGroup("Main");
  if (main >= 0) {
    EnsurePar(data, main, "ShowPark", kGFBool, 1, added);
    EnsurePar(data, main, "ShowPathNapr", kGFBool, 1, added);
    EnsurePar(data, main, "ShowPathTitle", kGFBool, 1, added);
  }
  int path = data.FindGroup("Path");
  if (path < 0) path = data.AddGroup("Path");
  int no = EnsurePar(data, path, "NumberO", kGFInteger, 4, added);
  int np = EnsurePar(data, path, "NumberP", kGFInteger, 4, added);
  int name = EnsurePar(data, path, "Name", kGFString, kStringSize, added);
  int type = EnsurePar(data, path, "Type", kGFInteger, 4, added);
  data.Save();
  if (data.RecordCount(path) == 0) {
    for (int i = 0; i < 4; ++i) {
      data.SetInteger(path, no, TGFDataS::kAppend, 0);
      data.SetInteger(path, np, TGFDataS::kCurrent, 0);
      data.SetString(path, name, TGFDataS::kCurrent, "");
      data.SetInteger(path, type, TGFDataS::kCurrent, 0);
    }
    data.Save();
  }
}

void RepairScreens(TGFDataS& data) {
  int ya = data.FindGroup("ya");
  if (ya < 0) return;
  bool added = false;
  EnsurePar(data, ya, "NumberO", kGFInteger, 4, added);
  if (added) data.Save();
}

Switches ReadSwitches(TGFDataS& data) {
  Switches s;
  int main = data.FindGroup("Main");
  if (main < 0) return s;
  s.ShowPark = data.GetByte(main, data.FindPar(main, "ShowPark"), 0);
  s.ShowPathNapr = data.GetByte(main, data.FindPar(main, "ShowPathNapr"), 0);
  s.ShowPathTitle = data.GetByte(main, data.FindPar(main, "ShowPathTitle"), 0);
  s.TekScreen = data.GetString(main, data.FindPar(main, "TekScreen"), 0);
  return s;
}

std::vector<Point> ReadPoints(TGFDataS& data) {
  std::vector<Point> points(kScreens);
  int ya = data.FindGroup("ya");
  if (ya < 0) return points;
  int clon = data.FindPar(ya, "CLon"), clat = data.FindPar(ya, "CLat");
  int cz = data.FindPar(ya, "CZ"), no = data.FindPar(ya, "NumberO");
  int maps = data.FindPar(ya, "Maps");
  for (int i = 0; i < kScreens; ++i) {
    Point& p = points[i];
    p.CenterLon = data.GetSingle(ya, clon, i);
    p.CenterLat = data.GetSingle(ya, clat, i);
    p.Zoom = data.GetInteger(ya, cz, i);
    p.NumberO = data.GetInteger(ya, no, i);
    p.TileSource = data.GetInteger(ya, maps, i);
  }
  return points;
}

bool SavePoint(TGFDataS& data, int screen, double lon, double lat, int zoom) {
  int ya = data.FindGroup("ya");
  int r = screen - 1;
  if (ya < 0 || r < 0 || r >= data.RecordCount(ya)) return false;
  if (lon != 0) data.SetSingle(ya, data.FindPar(ya, "CLon"), r, static_cast<float>(lon));
  if (lat != 0) data.SetSingle(ya, data.FindPar(ya, "CLat"), r, static_cast<float>(lat));
  if (zoom != 0) data.SetInteger(ya, data.FindPar(ya, "CZ"), r, zoom);
  return data.Save();
}

bool SaveLayout(TGFDataS& data, const std::string& layout) {
  int main = data.FindGroup("Main");
  if (main < 0) return false;
  data.SetString(main, data.FindPar(main, "TekScreen"), 0, layout);
  return data.Save();
}

}  // namespace screen
