// TDrawMap: construction, surfaces, layout and locating screens.
#include "map/drawmap.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QResizeEvent>
#include <QTimer>

#include "map/canvas.h"
#include "map/layout.h"
#include "map/projection.h"
#include "map/tile_pictures.h"
#include "platform/text1251.h"

namespace {
QString Qt1251(const std::string& s) {
  return QString::fromUtf8(plat::Cp1251ToUtf8(s).c_str());
}
}  // namespace

TDrawMap::TDrawMap(QWidget* parent)
    : QWidget(parent), pictures_(std::make_unique<mapdraw::TPictureCache>(512)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, mapdraw::WinToQColor(mapdraw::clMapBack));
  setPalette(pal);

  Working = true;
  ShowFrames = true;
  Screens[1].Selected = true;
  CurrentScreen = 1;

  popup_ = new QMenu(this);
  maps_menu_ = popup_->addMenu(Qt1251(W1251("Карты")));
  osm_item_ = maps_menu_->addAction(QStringLiteral("OpenStreetMap"));
  osm_item_->setCheckable(true);
  connect(popup_, &QMenu::aboutToShow, this, [this] {
    for (QAction* a : maps_menu_->actions()) a->setChecked(false);
    osm_item_->setChecked(Screens[static_cast<size_t>(CurrentScreen)].TileSource < 1);
  });
  connect(osm_item_, &QAction::triggered, this, [this] { ChooseOpenStreetMap(); });

  timer_ = new QTimer(this);
  timer_->setInterval(5);
  connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
  timer_->start();

  OnInitializeSurface = [this](TDrawMap* s) { InitializeSurface(s); };
  OnFinalizeSurface = [this](TDrawMap* s) { FinalizeSurface(s); };
  OnRestoreSurface = [this](TDrawMap* s) { RestoreSurface(s); };
}

TDrawMap::~TDrawMap() {
  timer_->stop();
  FinalizeSurface(this);
}

bool TDrawMap::CanDraw() const {
  return surfaces_ && Primary.Exists();
}

bool TDrawMap::IsTileMap(int screen) const {
  if (!ValidScreen(screen)) return false;
  int m = Screens[static_cast<size_t>(screen)].MapIndex;
  return m >= 0 && m < kMaps && MapFrames[static_cast<size_t>(m)].Kind == kMapKindTiles;
}

void TDrawMap::Initialize() {
  Primary.SetSize(width(), height());
  Primary.Image.fill(mapdraw::WinToRgb(mapdraw::clMapBack));
  if (OnInitializeSurface) OnInitializeSurface(this);
}

void TDrawMap::Finalize() {
  if (OnFinalizeSurface) OnFinalizeSurface(this);
  Primary.Free();
}

void TDrawMap::InitializeSurface(TDrawMap*) {
  if (!Primary.Exists()) {
    Primary.SetSize(width(), height());
    Primary.Image.fill(mapdraw::WinToRgb(mapdraw::clMapBack));
  }
  for (int s = 1; s <= kScreens; ++s) Screens[static_cast<size_t>(s)].Surface.SetSize(1, 1);
  surfaces_ = true;
  ApplyLayout();
  for (int s = 1; s <= kScreens; ++s) LocateScreen(s);
  NeedRedraw = true;
}

void TDrawMap::FinalizeSurface(TDrawMap*) {
  surfaces_ = false;
  for (int s = 1; s <= kScreens; ++s) Screens[static_cast<size_t>(s)].Surface.Free();
}

void TDrawMap::RestoreSurface(TDrawMap*) {
  if (!Primary.Exists()) return;
  for (int s = 1; s <= kScreens; ++s) Screens[static_cast<size_t>(s)].Surface.SetSize(1, 1);
  surfaces_ = true;
  ApplyLayout();
  FullRepaint = true;
  NeedRedraw = true;
}

void TDrawMap::SetLayout(const std::string& text) {
  TekScreen = text;
  mapdraw::ParseLayoutText(text, Layout);
  ApplyLayout();
  for (int s = 1; s <= kScreens; ++s) LocateScreen(s);
  NeedRedraw = true;
}

void TDrawMap::ApplyLayout() {
  mapdraw::LayoutBounds(Layout, width(), height(), Screens);
  TekScreen = mapdraw::LayoutText(Layout);
  if (!CanDraw()) return;
  for (int s = 1; s <= kScreens; ++s) {
    stru_ya& ya = Screens[static_cast<size_t>(s)];
    if (!ya.Active) continue;
    ya.Surface.SetSize(ya.Bounds.Width(), ya.Bounds.Height());
    ya.Surface.Image.fill(mapdraw::WinToRgb(mapdraw::clMapBack));
    BuildScreen(ya.MapIndex, s);
    ya.Dirty = true;
    NeedRedraw = true;
  }
}

void TDrawMap::LocateScreen(int screen) {
  if (!ValidScreen(screen)) return;
  stru_ya& ya = Screens[static_cast<size_t>(screen)];
  mapdraw::LocateCenter(ya);
  mapdraw::BuildVisibleTiles(ya);
  BindTiles(ya);
  // An inactive screen has no picture to show until a layout gives it cells,
  // and applying that layout rebuilds it.
  if (ya.Active) BuildScreen(ya.MapIndex, screen);
  ya.Dirty = true;
  NeedRedraw = true;
  Present();
}

void TDrawMap::RebuildScreen(int screen) {
  if (!ValidScreen(screen)) return;
  stru_ya& ya = Screens[static_cast<size_t>(screen)];
  BuildScreen(ya.MapIndex, screen);
  ya.Dirty = true;
  NeedRedraw = true;
}

void TDrawMap::SetZoom(int screen, int z) {
  if (!ValidScreen(screen)) return;
  Screens[static_cast<size_t>(screen)].Zoom = z;
  LocateScreen(screen);
  if (OnSavePoint) OnSavePoint(this, screen, 0, 0, z);
}

QPoint TDrawMap::GeoToScreenPixel(int screen, double lon, double lat) const {
  if (!ValidScreen(screen)) return QPoint();
  return mapdraw::GeoToScreen(Screens[static_cast<size_t>(screen)], lon, lat);
}

QPoint TDrawMap::GeoToControlPixel(int screen, double lon, double lat) const {
  if (!ValidScreen(screen)) return QPoint();
  return mapdraw::GeoToControl(Screens[static_cast<size_t>(screen)], lon, lat);
}

int TDrawMap::SurfaceTextWidth(int screen, const std::string& text) const {
  if (!ValidScreen(screen)) return 0;
  const stru_ya& ya = Screens[static_cast<size_t>(screen)];
  if (!ya.Surface.Exists()) return 0;
  return mapdraw::TextWidthIn(ya.Surface.Font, text);
}

void TDrawMap::ReportError(const std::string& text) {
  if (OnError)
    OnError(this, text);
  else
    qWarning("map: %s", plat::Cp1251ToUtf8(text).c_str());
}

void TDrawMap::Flip() {
  update();
}

void TDrawMap::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (Primary.Exists())
    p.drawImage(0, 0, Primary.Image);
  else
    p.fillRect(rect(), mapdraw::WinToQColor(mapdraw::clMapBack));
}

void TDrawMap::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  if (!Primary.Exists()) return;
  // The surfaces follow the client size: made anew, laid out again, and the
  // screens located for their new sizes.
  Primary.SetSize(width(), height());
  Primary.Image.fill(mapdraw::WinToRgb(mapdraw::clSilver));
  if (!surfaces_) return;
  if (OnRestoreSurface) OnRestoreSurface(this);
  for (int s = 1; s <= kScreens; ++s) LocateScreen(s);
}
