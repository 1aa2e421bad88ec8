// TDrawMap: the map control of the technicians page. It divides its client
// area into an 8 x 8 grid of cells showing up to 64 map views (screens), each
// with its own centre and zoom, built from 256 x 256 tiles that arrive through
// the server link, plus the technicians the main window hands to it.
//
// The control composes a primary surface from 64 off-screen surfaces and
// presents it in its paint event. Everything runs on the main thread.
//
// Screens are numbered 1-64 (Screens[0] is unused); Layout is indexed
// [column - 1][row - 1]. Texts are Windows-1251.
#pragma once
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "foundation/json.h"  // Bytes
#include "map/map_types.h"
#include "map/shift_state.h"
#include "map/surface.h"

class QMenu;
class QAction;
class QTimer;
class TGFDataS;
namespace mapdraw {
class TPictureCache;
}

class TDrawMap;

// Published events; each passes the control as Sender.
using TSavePoint = std::function<void(TDrawMap* Sender, int screen, float Lon, float Lat, int LZ)>;
using TSaveScreen = std::function<void(TDrawMap* Sender, const std::string& screen)>;
// The record set belongs to the control and lives only during the call.
using TSendData = std::function<void(TDrawMap* Sender, TGFDataS& data)>;
using TSendDataU = std::function<void(TDrawMap* Sender, const std::string& data)>;
using TRefreshTime = std::function<void(TDrawMap* Sender, int msec)>;
using TGetPoint = std::function<void(TDrawMap* Sender, QPoint Point)>;
using TStartCam = std::function<void(TDrawMap* Sender, const std::string& camid)>;
using TFillObjTamir = std::function<void(TDrawMap* Sender, Bytes& o)>;
using TSetObj = std::function<void(TDrawMap* Sender, int num)>;
using TShowPathNapr = std::function<void(TDrawMap* Sender, bool ShowPathNapr)>;
using TShowPathTitle = std::function<void(TDrawMap* Sender, bool ShowPathTitle)>;
using TSurfaceEvent = std::function<void(TDrawMap* Sender)>;
// The control's standard mouse and key events (raised by its own handlers).
using TMouseEvent =
    std::function<void(TDrawMap* Sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TDrawMap* Sender, TShiftState shift, int x, int y)>;
using TMouseWheelEvent =
    std::function<void(TDrawMap* Sender, TShiftState shift, QPoint pos, bool& handled)>;
using TKeyEvent = std::function<void(TDrawMap* Sender, int& key, TShiftState shift)>;
// Failures the control reports instead of raising (a tile that does not
// decode, a cache folder that cannot be made). Windows-1251 text.
using TMapError = std::function<void(TDrawMap* Sender, const std::string& text)>;

class TDrawMap : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kScreens = 64;
  static constexpr int kGrid = 8;
  static constexpr int kMaps = 2;
  static constexpr int kTileSize = 256;
  static constexpr int kMinZoom = 3;
  static constexpr int kMaxZoom = 18;

  explicit TDrawMap(QWidget* parent = nullptr);
  ~TDrawMap() override;

  // Drawing surfaces. Initialize creates the primary surface at the client size
  // and raises OnInitializeSurface; Finalize raises OnFinalizeSurface and drops
  // the primary surface. The control can draw while its surfaces exist.
  void Initialize();
  void Finalize();
  bool CanDraw() const;
  void InitializeSurface(TDrawMap* Sender);
  void FinalizeSurface(TDrawMap* Sender);
  void RestoreSurface(TDrawMap* Sender);

  // Layout and screens.
  void SetLayout(const std::string& text);
  void ApplyLayout();
  void LocateScreen(int screen);
  void RebuildScreen(int screen);
  void BuildScreen(int map, int screen);
  void Present();
  void SetZoom(int screen, int z);

  // Tiles: a reply from the server (header, format byte, picture bytes).
  void PutTile(const Bytes& data) { PutTile(data.data(), data.size()); }
  void PutTile(const uint8_t* data, size_t size);
  // The periodic tick (the control's 5 ms timer runs it).
  void Tick();

  // Interaction. Key codes are virtual-key codes (shift_state.h).
  void KeyDown(int& key, TShiftState shift);
  void KeyUp(int& key, TShiftState shift);
  void ZoomInCenter();
  void ZoomOutCenter();
  void ZoomInAtCursor();
  void ZoomOutAtCursor();
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void MouseMove(TShiftState shift, int x, int y);
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y);

  // Geographic point to pixel: on the screen's own surface, and in control
  // pixels (single-precision form, for positions on the current screen).
  QPoint GeoToScreenPixel(int screen, double lon, double lat) const;
  QPoint GeoToControlPixel(int screen, double lon, double lat) const;
  // Pixel width of a text in the screen surface's current font (0 without a surface).
  int SurfaceTextWidth(int screen, const std::string& text) const;
  bool ValidScreen(int screen) const { return screen >= 1 && screen <= kScreens; }
  bool IsTileMap(int screen) const;

  // Forgets the decoded tile pictures (they are decoded again when drawn).
  void ClearPictureCache();

  QMenu* PopupMenu() const { return popup_; }
  QAction* OpenStreetMapItem() const { return osm_item_; }
  QTimer* Timer() const { return timer_; }

  // Control state; the main window writes some of it directly.
  std::array<std::array<uint8_t, kGrid>, kGrid> Layout{};  // [column - 1][row - 1], 0 = none
  std::array<stru_ya, kScreens + 1> Screens;               // 1-64
  std::array<TMAPFR, kMaps> MapFrames;
  int CurrentScreen = 1;
  std::string TekScreen;
  bool NeedRedraw = false;
  bool FullRepaint = false;
  bool LayoutEdit = false;
  bool LayoutDragging = false;
  bool Working = true;
  std::string TileCacheDir;
  std::string DefaultPhoto;  // Base64 JPEG
  bool ShowFrames = true;
  bool ShowTechnicians = false;
  bool ShowPark = false, ShowPathNapr = false, ShowPathTitle = false;
  std::string SelectedTechnician;
  int MouseX = 0, MouseY = 0;
  bool ZoomBarVisible = false;

  // Interaction state (control pixels).
  bool LeftDown = false, RightDown = false;
  int DownX = 0, DownY = 0;
  int DragX = 0, DragY = 0;
  bool Dragging = false;
  double LastClickTime = 0, ClickTime = 0;  // date-times
  bool Maximized = false;
  std::string SavedLayout;
  int BandX = 0, BandY = 0;

  mapdraw::TSurface Primary;  // what the paint event shows

  // Published events.
  TSavePoint OnSavePoint;
  TSaveScreen OnSaveScreen;
  TSendData OnSendData;
  TSendDataU OnSendDataU;
  TRefreshTime OnRefreshTime;
  TGetPoint OnGetPoint;
  TStartCam OnStartCam;
  TFillObjTamir OnFillObjTamir;
  TSetObj OnSetObj, OnSetSObj;
  TShowPathNapr OnShowPathNapr;
  TShowPathTitle OnShowPathTitle;
  TSurfaceEvent OnInitializeSurface, OnFinalizeSurface, OnRestoreSurface;
  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TMouseWheelEvent OnMouseWheelDown, OnMouseWheelUp;
  // When set, key events go to these (the window forwards them to KeyDown /
  // KeyUp); when not set the control calls KeyDown / KeyUp itself.
  TKeyEvent OnKeyDown, OnKeyUp;
  TMapError OnError;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;

 private:
  // Tiles.
  void BindTiles(stru_ya& ya);
  void SendRequests(int map);
  void ReportError(const std::string& text);
  // Drawing.
  void DrawTiles(mapdraw::TSurface& s, const stru_ya& ya, int map);
  void DrawTechnicians(mapdraw::TSurface& s, stru_ya& ya, int map);
  void DrawZoomBar(mapdraw::TSurface& s, const stru_ya& ya);
  void DrawFrames();
  void DrawScreenFrame(const stru_ya& ya, bool selected);
  void DrawLayoutGrid();
  void DrawBandPicture(int x, int y);
  QImage PhotoPicture(const std::string& base64);
  void Flip();
  // Interaction.
  void SelectScreenAt(int x, int y);
  void PanTo(int x, int y);
  void FinishPan(int x, int y);
  void ToggleMaximize();
  void ZoomAtCursor(int delta);
  void ZoomCenter(int delta);
  void ZoomBarClick(int x, int y);
  void UpdateZoomBar(int x, int y);
  void ApplyBand(int x, int y);
  void ToggleLayoutEdit();
  void ShowPopup();
  void ChooseOpenStreetMap();
  int ScreenAtCell(int x, int y) const;

  QMenu* popup_ = nullptr;
  QMenu* maps_menu_ = nullptr;
  QAction* osm_item_ = nullptr;
  QTimer* timer_ = nullptr;
  bool surfaces_ = false;
  double last_second_ = 0;
  std::unique_ptr<mapdraw::TPictureCache> pictures_;
  std::string photo_text_;  // last decoded photo (Base64) and its picture
  QImage photo_picture_;
};
