// TDrawMap: mouse, keys, zooming, maximising, the maps menu and layout editing.
#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "map/drawmap.h"
#include "map/layout.h"
#include "map/projection.h"
#include "platform/clock.h"

namespace {

TMouseButton ButtonOf(Qt::MouseButton b) {
  if (b == Qt::RightButton) return TMouseButton::mbRight;
  if (b == Qt::MiddleButton) return TMouseButton::mbMiddle;
  return TMouseButton::mbLeft;
}

bool Inside(const TBounds& b, int x, int y) {
  return x >= b.Left && x < b.Right && y >= b.Top && y < b.Bottom;
}

}  // namespace

int TDrawMap::ScreenAtCell(int x, int y) const {
  const double cw = width(), ch = height();
  if (cw <= 0 || ch <= 0) return 0;
  const int col = static_cast<int>(std::trunc(x / (cw / 8))) + 1;
  const int row = static_cast<int>(std::trunc(y / (ch / 8))) + 1;
  if (x < 0 || y < 0 || col < 1 || col > kGrid || row < 1 || row > kGrid) return 0;
  return Layout[static_cast<size_t>(col - 1)][static_cast<size_t>(row - 1)];
}

void TDrawMap::SelectScreenAt(int x, int y) {
  const int s = ScreenAtCell(x, y);
  if (!ValidScreen(s) || !Screens[static_cast<size_t>(s)].Active) return;
  for (int i = 1; i <= kScreens; ++i) Screens[static_cast<size_t>(i)].Selected = false;
  Screens[static_cast<size_t>(s)].Selected = true;
  if (s == CurrentScreen) return;
  CurrentScreen = s;
  for (int i = 1; i <= kScreens; ++i) LocateScreen(i);
  NeedRedraw = true;
  Present();
}

void TDrawMap::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  RightDown = (shift & ssRight) != 0;
  LeftDown = (shift & ssLeft) != 0;
  DownX = x;
  DownY = y;
  stru_ya& cur = Screens[static_cast<size_t>(CurrentScreen)];

  if (LeftDown && !(shift & (ssCtrl | ssShift))) {
    SelectedTechnician.clear();
    const int m = cur.MapIndex;
    if (m >= 0 && m < kMaps) {
      // Label boxes are in the pixels of the screen's surface, which sits at
      // (Left + 1, Top + 1) on the control.
      const int lx = x - cur.Bounds.Left - 1, ly = y - cur.Bounds.Top - 1;
      for (const stru_tehnik& t : MapFrames[static_cast<size_t>(m)].Technicians) {
        if (t.BoxLeft < lx && lx < t.BoxRight && t.BoxTop < ly && ly < t.BoxBottom)
          SelectedTechnician = t.Name;
      }
    }
    RebuildScreen(CurrentScreen);
  }

  ClickTime = plat::Now();
  if (ClickTime - LastClickTime >= plat::EncodeTime(0, 0, 1) / 3) {
    LastClickTime = ClickTime;
  } else if (shift & (ssAlt | ssCtrl)) {
    RebuildScreen(CurrentScreen);
    LastClickTime = ClickTime;
  } else if (LeftDown && IsTileMap(CurrentScreen)) {
    ToggleMaximize();
    // A third press must not count as another double click.
    LastClickTime = ClickTime - 1;
  }

  SelectScreenAt(x, y);
  if (LeftDown || RightDown) {
    DragX = x;
    DragY = y;
  }
  if (LeftDown && LayoutEdit) {
    BandX = x;
    BandY = y;
  }
  if (LeftDown) ZoomBarClick(x, y);
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TDrawMap::MouseMove(TShiftState shift, int x, int y) {
  MouseX = x;
  MouseY = y;
  UpdateZoomBar(x, y);
  const stru_ya& cur = Screens[static_cast<size_t>(CurrentScreen)];
  if ((shift & (ssLeft | ssRight)) && !LayoutDragging && IsTileMap(CurrentScreen) &&
      Inside(cur.Bounds, x, y))
    PanTo(x, y);
  if ((shift & ssLeft) && LayoutDragging) DrawBandPicture(x, y);
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TDrawMap::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (CanDraw()) {
    if (Dragging) FinishPan(x, y);
    if (LayoutDragging) ApplyBand(x, y);
    if (x == DownX && y == DownY && RightDown) ShowPopup();
  }
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TDrawMap::PanTo(int x, int y) {
  Dragging = true;
  setCursor(Qt::ArrowCursor);
  stru_ya& ya = Screens[static_cast<size_t>(CurrentScreen)];
  ya.CenterLon += (DragX - x) * ya.LonPerPixel;
  ya.CenterLat += (DragY - y) * ya.LatPerPixel;
  ya.CenterLat = std::clamp(ya.CenterLat, -85.0, 85.0);
  ya.CenterLon = std::clamp(ya.CenterLon, -180.0, 180.0);
  LocateScreen(CurrentScreen);
  if (OnSavePoint)
    OnSavePoint(this, CurrentScreen, static_cast<float>(ya.CenterLon),
                static_cast<float>(ya.CenterLat), 0);
  DragX = x;
  DragY = y;
}

void TDrawMap::FinishPan(int x, int y) {
  const TBounds& b = Screens[static_cast<size_t>(CurrentScreen)].Bounds;
  x = std::clamp(x, b.Left, std::max(b.Left, b.Right));
  y = std::clamp(y, b.Top, std::max(b.Top, b.Bottom));
  RebuildScreen(CurrentScreen);
  if (b.Left < x && x < b.Right && b.Top < y && y < b.Bottom) PanTo(x, y);
  Screens[static_cast<size_t>(CurrentScreen)].Dirty = true;
  NeedRedraw = true;
  Tick();
  Dragging = false;
}

void TDrawMap::ToggleMaximize() {
  if (Maximized) {
    Maximized = false;
    SetLayout(SavedLayout);
  } else {
    Maximized = true;
    SavedLayout = TekScreen;
    SetLayout(mapdraw::SingleScreenLayout(CurrentScreen));
  }
  LocateScreen(CurrentScreen);
  RebuildScreen(CurrentScreen);
  Screens[static_cast<size_t>(CurrentScreen)].Dirty = true;
  NeedRedraw = true;
}

void TDrawMap::ZoomCenter(int delta) {
  stru_ya& ya = Screens[static_cast<size_t>(CurrentScreen)];
  const int z = ya.Zoom + delta;
  if (z < kMinZoom || z > kMaxZoom) return;
  ya.Zoom = z;
  LocateScreen(CurrentScreen);
  if (OnSavePoint) OnSavePoint(this, CurrentScreen, 0, 0, z);
}

void TDrawMap::ZoomInCenter() {
  ZoomCenter(+1);
}
void TDrawMap::ZoomOutCenter() {
  ZoomCenter(-1);
}
void TDrawMap::ZoomInAtCursor() {
  ZoomAtCursor(+1);
}
void TDrawMap::ZoomOutAtCursor() {
  ZoomAtCursor(-1);
}

void TDrawMap::ZoomAtCursor(int delta) {
  for (int s = 1; s <= kScreens; ++s) {
    stru_ya& ya = Screens[static_cast<size_t>(s)];
    const TBounds& b = ya.Bounds;
    if (!ya.Active || MouseX < b.Left || MouseX > b.Right || MouseY < b.Top || MouseY > b.Bottom)
      continue;
    if (!IsTileMap(s)) continue;
    const int z = ya.Zoom + delta;
    if (z < kMinZoom || z > kMaxZoom) continue;
    const double x = MouseX - b.Left, y = MouseY - b.Top;
    const double w = b.Width(), h = b.Height();
    auto lon_at = [&] { return ya.TileWestLon - (w / 2 - x - ya.CenterOffsetX) * ya.LonPerPixel; };
    auto lat_at = [&] { return ya.TileNorthLat - (h / 2 - y - ya.CenterOffsetY) * ya.LatPerPixel; };
    const double old_lon = lon_at(), old_lat = lat_at();
    ya.Zoom = z;
    mapdraw::LocateCenter(ya);
    ya.CenterLon -= lon_at() - old_lon;
    ya.CenterLat -= lat_at() - old_lat;
    LocateScreen(s);
    if (OnSavePoint)
      OnSavePoint(this, s, static_cast<float>(ya.CenterLon), static_cast<float>(ya.CenterLat),
                  ya.Zoom);
  }
}

void TDrawMap::UpdateZoomBar(int x, int y) {
  const TBounds& b = Screens[static_cast<size_t>(CurrentScreen)].Bounds;
  const bool visible =
      IsTileMap(CurrentScreen) && x >= b.Left && x <= b.Left + 20 && y >= b.Top && y <= b.Top + 136;
  if (visible == ZoomBarVisible) return;
  ZoomBarVisible = visible;
  RebuildScreen(CurrentScreen);
}

void TDrawMap::ZoomBarClick(int x, int y) {
  if (!ZoomBarVisible) return;
  stru_ya& ya = Screens[static_cast<size_t>(CurrentScreen)];
  const int dx = x - ya.Bounds.Left, dy = y - ya.Bounds.Top;
  if (!(1 < dx && dx <= 20)) return;
  for (int i = 1; i <= 16; ++i) {
    if (8 * i + 2 <= dy && dy <= 8 * i + 8) {
      ya.Zoom = 19 - i;
      LocateScreen(CurrentScreen);
      return;
    }
  }
}

void TDrawMap::KeyDown(int& key, TShiftState shift) {
  if (key == VK_ADD)
    ZoomInCenter();
  else if (key == VK_SUBTRACT)
    ZoomOutCenter();
  else if (key == VK_F11 && (shift & ssAlt))
    ToggleLayoutEdit();
  if ((shift & ssShift) && LayoutEdit && !LayoutDragging) {
    LayoutDragging = true;
    setCursor(Qt::PointingHandCursor);
  }
}

void TDrawMap::KeyUp(int&, TShiftState shift) {
  if (!(shift & ssShift) && LayoutEdit && LayoutDragging) {
    LayoutDragging = false;
    setCursor(Qt::ArrowCursor);
  }
}

void TDrawMap::ToggleLayoutEdit() {
  LayoutEdit = !LayoutEdit;
  if (!LayoutEdit) {
    LayoutDragging = false;
    if (OnSaveScreen) OnSaveScreen(this, TekScreen);
    for (int s = 1; s <= kScreens; ++s) LocateScreen(s);
  }
  FullRepaint = true;
  Present();
}

void TDrawMap::ApplyBand(int x, int y) {
  const int cw = width(), ch = height();
  mapdraw::TCellMask touched = mapdraw::TouchedCells(BandX, BandY, x, y, cw, ch);
  for (int c = 0; c < kGrid; ++c) {
    for (int r = 0; r < kGrid; ++r) {
      if (!touched[static_cast<size_t>(c)][static_cast<size_t>(r)]) continue;
      const double cx = mapdraw::CellCenterX(c, cw), cy = mapdraw::CellCenterY(r, ch);
      for (int s = 1; s <= kScreens; ++s) {
        stru_ya& ya = Screens[static_cast<size_t>(s)];
        const TBounds& b = ya.Bounds;
        if (!ya.Active || !(b.Left < cx && cx < b.Right && b.Top < cy && cy < b.Bottom)) continue;
        ya.Active = false;
        ya.Dirty = true;
        for (auto& column : Layout)
          for (uint8_t& cell : column)
            if (cell == s) cell = 0;
      }
    }
  }
  int n = 0;
  for (int s = 1; s <= kScreens && n == 0; ++s)
    if (!Screens[static_cast<size_t>(s)].Active) n = s;
  if (n != 0) {
    for (int c = 0; c < kGrid; ++c)
      for (int r = 0; r < kGrid; ++r)
        if (touched[static_cast<size_t>(c)][static_cast<size_t>(r)])
          Layout[static_cast<size_t>(c)][static_cast<size_t>(r)] = static_cast<uint8_t>(n);
  }
  ApplyLayout();
  FullRepaint = true;
  NeedRedraw = true;
}

void TDrawMap::ShowPopup() {
  popup_->popup(mapToGlobal(QPoint(MouseX, MouseY)));
}

void TDrawMap::ChooseOpenStreetMap() {
  Screens[static_cast<size_t>(CurrentScreen)].TileSource = 0;
  LocateScreen(CurrentScreen);
  FullRepaint = true;
  Present();
}

// Qt's events, in the form of the control's own handlers.

void TDrawMap::mousePressEvent(QMouseEvent* e) {
  const QPoint p = e->position().toPoint();
  MouseDown(ButtonOf(e->button()), ShiftFromQt(e->modifiers(), e->buttons()), p.x(), p.y());
}

void TDrawMap::mouseMoveEvent(QMouseEvent* e) {
  const QPoint p = e->position().toPoint();
  MouseMove(ShiftFromQt(e->modifiers(), e->buttons()), p.x(), p.y());
}

void TDrawMap::mouseReleaseEvent(QMouseEvent* e) {
  const QPoint p = e->position().toPoint();
  MouseUp(ButtonOf(e->button()), ShiftFromQt(e->modifiers(), e->buttons()), p.x(), p.y());
}

void TDrawMap::wheelEvent(QWheelEvent* e) {
  const int dy = e->angleDelta().y();
  if (dy == 0) return;
  const QPoint p = e->position().toPoint();
  bool handled = false;
  TShiftState shift = ShiftFromQt(e->modifiers(), e->buttons());
  if (dy < 0 && OnMouseWheelDown) OnMouseWheelDown(this, shift, p, handled);
  if (dy > 0 && OnMouseWheelUp) OnMouseWheelUp(this, shift, p, handled);
  e->setAccepted(handled);
}

void TDrawMap::keyPressEvent(QKeyEvent* e) {
  int key = VirtualKeyFromQt(e->key(), e->modifiers());
  TShiftState shift = ShiftFromQt(e->modifiers(), Qt::NoButton);
  // Window systems differ on whether a modifier's own event carries it; the
  // handlers want the state after the key went down.
  if (e->key() == Qt::Key_Shift) shift |= ssShift;
  if (OnKeyDown)
    OnKeyDown(this, key, shift);
  else
    KeyDown(key, shift);
}

void TDrawMap::keyReleaseEvent(QKeyEvent* e) {
  int key = VirtualKeyFromQt(e->key(), e->modifiers());
  TShiftState shift = ShiftFromQt(e->modifiers(), Qt::NoButton);
  if (e->key() == Qt::Key_Shift) shift &= ~ssShift;
  if (OnKeyUp)
    OnKeyUp(this, key, shift);
  else
    KeyUp(key, shift);
}
