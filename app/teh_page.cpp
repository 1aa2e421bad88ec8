#include "app/teh_page.h"

#include <QPoint>
#include <cmath>
#include <utility>

#include "app/history/history.h"
#include "app/records/records.h"
#include "foundation/fifo.h"
#include "foundation/json.h"
#include "link/waker.h"
#include "map/drawmap.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text1251.h"
#include "tables/base_client.h"

namespace {

constexpr int kMapNumber = 1;
constexpr int kScreenCount = TDrawMap::kScreens;

std::string DefaultLayout() {
  std::string s;
  for (int i = 0; i < kScreenCount; ++i) s += "01";
  return s;
}

int32_t LittleEndian32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}

// The longest of the label's texts by character count; the earlier wins a tie.
const std::string& Longest(const std::string& a, const std::string& b, const std::string& c) {
  const std::string* best = &a;
  if (b.size() > best->size()) best = &b;
  if (c.size() > best->size()) best = &c;
  return *best;
}

}  // namespace

TTehPage::TTehPage(Links links) : l_(std::move(links)) {
  TDrawMap* m = l_.Map;
  if (m == nullptr) return;
  // The window's own handlers of the map's window events: the surface events
  // and keys go back to the control, a press gives it the keyboard.
  m->OnInitializeSurface = [](TDrawMap* s) { s->InitializeSurface(s); };
  m->OnFinalizeSurface = [](TDrawMap* s) { s->FinalizeSurface(s); };
  m->OnRestoreSurface = [](TDrawMap* s) { s->RestoreSurface(s); };
  m->OnKeyDown = [](TDrawMap* s, int& key, TShiftState shift) { s->KeyDown(key, shift); };
  m->OnKeyUp = [](TDrawMap* s, int& key, TShiftState shift) { s->KeyUp(key, shift); };
  m->OnMouseDown = [](TDrawMap* s, TMouseButton, TShiftState, int, int) { s->setFocus(); };
  auto wheel = [this](bool down) {
    return [this, down](TDrawMap* s, TShiftState, QPoint pos, bool& handled) {
      // The cursor zooms keep the point under the wheel in place.
      s->MouseX = pos.x();
      s->MouseY = pos.y();
      MouseWheel(down);
      handled = true;
    };
  };
  m->OnMouseWheelDown = wheel(true);
  m->OnMouseWheelUp = wheel(false);
}

TTehPage::~TTehPage() {
  TDrawMap* m = l_.Map;
  if (m == nullptr) return;
  m->OnSendDataU = nullptr;
  m->OnSavePoint = nullptr;
  m->OnSaveScreen = nullptr;
  m->OnMouseWheelDown = nullptr;
  m->OnMouseWheelUp = nullptr;
}

void TTehPage::PrepareMap(const std::string& cache, const std::string& dir) {
  TDrawMap* m = l_.Map;
  m->Working = false;  // until the link reports "connected"
  m->OnSendDataU = [this](TDrawMap*, const std::string& data) { OnSendDataU(data); };
  m->OnSavePoint = [this](TDrawMap*, int screen, float lon, float lat, int zoom) {
    OnSavePoint(screen, lon, lat, zoom);
  };
  m->OnSaveScreen = [this](TDrawMap*, const std::string& layout) { OnSaveScreen(layout); };
  m->OnSendData = nullptr;
  m->ShowFrames = true;
  m->ShowTechnicians = true;
  m->DefaultPhoto = FileToBase64(plat::JoinPath(plat::CurrentDir(), "men.jpg"));
  m->TileCacheDir = cache.empty() ? dir + "cache" : cache;
  // Without the folder the map still works, from memory only.
  plat::ForceDirectories(m->TileCacheDir);
}

void TTehPage::StartMap() {
  TDrawMap* m = l_.Map;
  m->MapFrames[kMapNumber].Kind = kMapKindTiles;
  m->MapFrames[kMapNumber].Active = true;
  m->Initialize();
  m->ApplyLayout();
  m->BuildScreen(kMapNumber, 1);
}

void TTehPage::ApplyMainSettings() {
  TDrawMap* m = l_.Map;
  TGFDataS& d = *l_.ScreenData;
  const int g = d.FindGroup("Main");
  m->ShowPark = d.GetByte(g, d.FindPar(g, "ShowPark"), 0) != 0;
  m->ShowPathNapr = d.GetByte(g, d.FindPar(g, "ShowPathNapr"), 0) != 0;
  m->ShowPathTitle = d.GetByte(g, d.FindPar(g, "ShowPathTitle"), 0) != 0;
  std::string layout = d.GetString(g, d.FindPar(g, "TekScreen"), 0);
  // A file without a layout would leave the control without a single screen.
  if (layout.empty()) layout = DefaultLayout();
  m->SetLayout(layout);
}

void TTehPage::ApplyScreenSettings() {
  TDrawMap* m = l_.Map;
  TGFDataS& d = *l_.ScreenData;
  const int g = d.FindGroup("ya");
  const int clon = d.FindPar(g, "CLon"), clat = d.FindPar(g, "CLat");
  const int cz = d.FindPar(g, "CZ"), no = d.FindPar(g, "NumberO"), maps = d.FindPar(g, "Maps");
  // Records the file lacks read as zeros.
  for (int i = 1; i <= kScreenCount; ++i) {
    stru_ya& ya = m->Screens[static_cast<size_t>(i)];
    ya.CenterLon = d.GetSingle(g, clon, i - 1);
    ya.CenterLat = d.GetSingle(g, clat, i - 1);
    ya.Zoom = d.GetInteger(g, cz, i - 1);
    ya.NumberO = d.GetInteger(g, no, i - 1);
    ya.TileSource = d.GetInteger(g, maps, i - 1);
    ya.MapIndex = kMapNumber;
  }
  for (int i = 1; i <= kScreenCount; ++i) m->LocateScreen(i);
}

void TTehPage::Timer1Timer() {
  std::string message;
  if (l_.ReadJSON != nullptr && l_.ReadJSON->GetSoobD(message)) Dispatch(message);

  // History that arrives before the objects are indexed waits (the flag stays set).
  if (l_.History == nullptr || !l_.History->REfresh.load()) return;
  if (l_.ObjectIndexReady == nullptr || !l_.ObjectIndexReady->load()) return;
  l_.History->REfresh = false;
  RebuildTehWork();
  RebuildTechnicians();
}

void TTehPage::Dispatch(const std::string& message) {
  const std::string c = GetValueFromJSON(message, "$c$");
  if (c == "connected") {
    if (l_.Map != nullptr) l_.Map->Working = true;
  } else if (c == "getfileok") {
    if (l_.OnGetFileOk) l_.OnGetFileOk(GetValueFromJSON(message, "name"));
  } else if (c == "oldup") {
    OldUp(message);
  }
}

void TTehPage::OldUp(const std::string& message) {
  if (l_.Map == nullptr) return;
  Bytes bytes;
  HexToBytes(GetValueFromJSON(message, "data"), bytes);
  TGFDataS set;
  if (!set.FromBytes(bytes) || set.Groups() < 1) return;
  if (set.GetString(0, 1, 0) != "Put_OSM") return;
  Bytes tile;
  if (!set.GetBytes(0, set.FindPar(0, "data"), 0, tile)) return;
  // -1 in front: the server has no such tile.
  if (tile.size() < 4 || LittleEndian32(tile.data()) == -1) return;
  l_.Map->PutTile(tile);
}

void TTehPage::Timer2Timer() {
  TDrawMap* m = l_.Map;
  if (m == nullptr || m->LayoutDragging) return;
  m->FullRepaint = true;
  m->Present();
}

void TTehPage::OnSendDataU(const std::string& data) {
  // A full queue drops the request; the map asks again for what is still awaited.
  if (l_.Soob != nullptr) l_.Soob->PutSoob(data);
}

void TTehPage::OnSavePoint(int screen, float lon, float lat, int zoom) {
  if (l_.ScreenData == nullptr) return;
  TGFDataS& d = *l_.ScreenData;
  const int g = d.FindGroup("ya");
  const int r = screen - 1;
  if (g < 0 || r < 0 || r >= d.RecordCount(g)) return;
  // A zero leaves the stored value as it is.
  if (lon != 0) d.SetSingle(g, d.FindPar(g, "CLon"), r, lon);
  if (lat != 0) d.SetSingle(g, d.FindPar(g, "CLat"), r, lat);
  if (zoom != 0) d.SetInteger(g, d.FindPar(g, "CZ"), r, zoom);
  d.Save();
}

void TTehPage::OnSaveScreen(const std::string& layout) {
  if (l_.ScreenData == nullptr) return;
  TGFDataS& d = *l_.ScreenData;
  const int g = d.FindGroup("Main");
  d.SetString(g, d.FindPar(g, "TekScreen"), 0, layout);
  d.Save();
}

void TTehPage::MouseWheel(bool down) {
  TDrawMap* m = l_.Map;
  const double now = plat::Now();
  const bool act = now - LastWheelTime > plat::EncodeTime(0, 0, 1) / 20;
  LastWheelTime = now;
  if (!act || m == nullptr || !m->ValidScreen(m->CurrentScreen)) return;
  if (m->Screens[static_cast<size_t>(m->CurrentScreen)].NumberO != 0) {
    if (down)
      m->ZoomInCenter();
    else
      m->ZoomOutCenter();
  } else {
    if (down)
      m->ZoomOutAtCursor();
    else
      m->ZoomInAtCursor();
  }
}

int32_t TTehPage::ObjectPosition(int32_t n) const {
  if (l_.Objects == nullptr || l_.ObjectIndex == nullptr) return 0;
  if (n < 0 || static_cast<size_t>(n) >= l_.ObjectIndex->size()) return 0;
  const int32_t p = (*l_.ObjectIndex)[static_cast<size_t>(n)];
  // The table may have shrunk since the index was built.
  if (p < 1 || p > l_.Objects->Count()) return 0;
  return p;
}

void TTehPage::RebuildTehWork() {
  if (l_.History == nullptr) return;
  const THistoryData history = l_.History->Snapshot();
  replay_.Rebuild(history, [this](int32_t n, std::string& address) {
    auto lock =
        l_.Objects != nullptr ? l_.Objects->Lock() : std::unique_lock<std::recursive_mutex>();
    const int32_t p = ObjectPosition(n);
    if (p == 0) return false;
    address =
        l_.Objects->FieldAsString("addrnp", p) + " - " + l_.Objects->FieldAsString("address", p);
    return true;
  });
}

int32_t TTehPage::RoundHalfEven(double v) {
  if (std::isnan(v)) return 0;
  if (v > 1e9) return 1000000000;
  if (v < -1e9) return -1000000000;
  // The default floating-point rounding is to nearest, ties to even.
  return static_cast<int32_t>(std::nearbyint(v));
}

void TTehPage::RebuildTechnicians() {
  TDrawMap* m = l_.Map;
  if (m == nullptr) return;
  std::vector<stru_tehnik>& list = m->MapFrames[kMapNumber].Technicians;
  list.clear();
  const stru_ya* ya = m->ValidScreen(m->CurrentScreen)
                          ? &m->Screens[static_cast<size_t>(m->CurrentScreen)]
                          : nullptr;
  for (const stru_tehwork& e : replay_.TehWork()) {
    stru_tehnik t;
    t.Name = e.Name;
    t.Line2 = std::to_string(e.ObjectNumber) + " " + e.ObjectName;
    t.Line3 = e.Address;
    t.Status = e.Status;
    t.WorkKind = e.WorkKind;
    t.StartMinute = e.StartMinute;
    t.EndMinute = e.EndMinute;
    // An object the table does not hold gives no position: the marker stays at 0, 0.
    if (l_.Objects != nullptr) {
      auto lock = l_.Objects->Lock();
      if (const int32_t p = ObjectPosition(e.ObjectNumber); p != 0) {
        t.Lon = l_.Objects->FieldAsFloat("karta_x", p);
        t.Lat = l_.Objects->FieldAsFloat("karta_y", p);
      }
    }
    if (ya != nullptr) {
      const double w = ya->Bounds.Right - ya->Bounds.Left;
      const double h = ya->Bounds.Bottom - ya->Bounds.Top;
      const int32_t x = RoundHalfEven(w / 2) - ya->CenterOffsetX -
                        RoundHalfEven((ya->TileWestLon - t.Lon) / ya->LonPerPixel);
      const int32_t y = RoundHalfEven(h / 2) - ya->CenterOffsetY -
                        RoundHalfEven((ya->TileNorthLat - t.Lat) / ya->LatPerPixel);
      t.BoxLeft = x - 24;
      t.BoxTop = y - 24;
      t.BoxBottom = y + 24;
      if (ya->Surface.Exists()) {
        t.BoxRight =
            x + 29 +
            m->SurfaceTextWidth(m->CurrentScreen, Longest(e.Name, e.ObjectName, e.Address));
      }
    }
    list.push_back(std::move(t));
  }
}
