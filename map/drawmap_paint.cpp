// TDrawMap: building screen pictures (tiles, technicians, badge, zoom bar)
// and presenting them on the primary surface with frames and the layout grid.
#include <QPainter>
#include <algorithm>

#include "map/canvas.h"
#include "map/drawmap.h"
#include "map/layout.h"
#include "map/projection.h"
#include "map/technician_label.h"
#include "map/tile_pictures.h"
#include "platform/clock.h"
#include "platform/crypto.h"
#include "platform/text1251.h"

using mapdraw::TCanvas;

namespace {

int NowMinute() {
  int h = 0, m = 0, s = 0, ms = 0;
  plat::DecodeTime(plat::Now(), h, m, s, ms);
  return h * 60 + m;
}

// Canvas settings saved and put back around a drawing that uses its own.
struct TCanvasState {
  explicit TCanvasState(mapdraw::TSurface& s)
      : s_(s), pen_(s.Pen), brush_(s.Brush), font_(s.Font) {}
  ~TCanvasState() {
    s_.Pen = pen_;
    s_.Brush = brush_;
    s_.Font = font_;
  }
  mapdraw::TSurface& s_;
  mapdraw::TPen pen_;
  mapdraw::TBrush brush_;
  mapdraw::TFont font_;
};

}  // namespace

void TDrawMap::BuildScreen(int map, int screen) {
  if (!ValidScreen(screen)) return;
  stru_ya& ya = Screens[static_cast<size_t>(screen)];
  if (ya.MapIndex == 0 && map != 0) ya.MapIndex = map;
  if (!CanDraw() || !ya.Surface.Exists()) return;
  const int64_t started = plat::TickMs();
  {
    TCanvas c(ya.Surface);
    c.Fill(mapdraw::clMapBack);
  }
  if (map >= 0 && map < kMaps && MapFrames[static_cast<size_t>(map)].Kind == kMapKindTiles) {
    DrawTiles(ya.Surface, ya, map);
    if (ShowTechnicians) DrawTechnicians(ya.Surface, ya, map);
    const int w = ya.Surface.Width();
    TCanvas c(ya.Surface);
    if (ya.NumberO > 0) {
      c.Pen() = mapdraw::TPen{};
      c.Brush() = mapdraw::TBrush{mapdraw::clBlack, mapdraw::TBrushStyle::bsSolid};
      c.Rectangle(w - 24, 4, w - 10, 20);
      c.Font().Color = mapdraw::clWhite;
      c.Font().Style = mapdraw::fsBold;
      c.Font().Size = 8;
      c.TextOut(w - 21, 5, W1251("Н"));
    }
    if (screen == CurrentScreen && ZoomBarVisible) {
      c.Release();
      DrawZoomBar(ya.Surface, ya);
    }
    c.Release();
    // The tile licence asks for visible attribution.
    TCanvasState keep(ya.Surface);
    TCanvas a(ya.Surface);
    a.Font() = mapdraw::TFont{7, mapdraw::clGray, 0};
    a.Brush() = mapdraw::TBrush{mapdraw::clWhite, mapdraw::TBrushStyle::bsSolid};
    const std::string& note = W1251("© OpenStreetMap contributors");
    a.TextOut(w - a.TextWidth(note) - 2, ya.Surface.Height() - a.TextHeight(note) - 1, note);
  }
  ya.Dirty = true;
  if (OnRefreshTime) OnRefreshTime(this, static_cast<int>(plat::TickMs() - started));
}

void TDrawMap::DrawTiles(mapdraw::TSurface& s, const stru_ya& ya, int map) {
  if (!TTileTable::ValidSource(ya.TileSource)) return;
  const TTileSource& tiles = MapFrames[static_cast<size_t>(map)].Tiles[ya.TileSource];
  const int hw = ya.Bounds.Width() / 2, hh = ya.Bounds.Height() / 2;
  TCanvas c(s);
  for (const TVisibleTile& t : ya.VisibleTiles) {
    if (!TTileSource::ValidSlot(t.Slot)) continue;
    const stru_OSM& slot = tiles[t.Slot];
    // A slot handed to another tile since the screen was located is not this
    // tile's picture.
    if (!slot.Used || slot.X != t.X || slot.Y != t.Y || slot.Z != ya.Zoom) continue;
    if (slot.Data.size() < 2) {
      if (slot.Requested) {
        c.Font().Size = 15;
        c.Font().Color = mapdraw::clBlack;
        c.Font().Style = 0;
        c.Brush().Style = mapdraw::TBrushStyle::bsClear;
        c.TextOut(hw - t.DX + 100, hh - t.DY + 100, W1251("Загрузка"));
      }
      continue;
    }
    const uint64_t id = tiles.DataId(t.Slot);
    const QImage* picture = pictures_->Find(id);
    if (!picture)
      picture = pictures_->Put(id, mapdraw::DecodeTile(slot.Data.data(), slot.Data.size()));
    if (picture && !picture->isNull()) c.Draw(hw - t.DX, hh - t.DY, *picture);
  }
}

void TDrawMap::ClearPictureCache() {
  pictures_->Clear();
}

QImage TDrawMap::PhotoPicture(const std::string& base64) {
  if (base64.empty()) return QImage();
  if (base64 == photo_text_) return photo_picture_;
  std::vector<uint8_t> bytes;
  QImage picture;
  if (plat::Base64Decode(base64, bytes)) picture = mapdraw::DecodeJpeg(bytes.data(), bytes.size());
  photo_text_ = base64;
  photo_picture_ = picture;
  return picture;
}

void TDrawMap::DrawTechnicians(mapdraw::TSurface& s, stru_ya& ya, int map) {
  auto& list = MapFrames[static_cast<size_t>(map)].Technicians;
  if (list.empty()) return;
  const std::string& on_site = W1251("На объекте");
  const int now = NowMinute();
  TCanvas c(s);
  for (stru_tehnik& t : list) {
    const QPoint p = mapdraw::GeoToScreen(ya, t.Lon, t.Lat);
    const int sx = p.x(), sy = p.y();
    // Far off the screen: nothing of the label can show.
    if (sx < -100000 || sx > 100000 || sy < -100000 || sy > 100000) continue;
    const std::string status = mapdraw::StatusLine(t);
    const std::string label = mapdraw::LabelText(t);
    c.Font().Color = t.Status == on_site ? mapdraw::clBlue : mapdraw::clBlack;
    c.Font().Size = 8;
    c.Font().Style = 0;
    c.Brush() = mapdraw::TBrush{mapdraw::clWhite, mapdraw::TBrushStyle::bsSolid};
    c.Pen() = mapdraw::TPen{};
    const int w = c.TextWidth(label);
    if (!SelectedTechnician.empty() && t.Name == SelectedTechnician) {
      c.Rectangle(sx - 27, sy - 27, sx + 32 + w, sy + 27);
      c.Rectangle(sx - 26, sy - 26, sx + 31 + w, sy + 26);
    }
    c.Rectangle(sx - 24, sy - 24, sx + 29 + w, sy + 24);
    t.BoxLeft = sx - 24;
    t.BoxRight = sx + 29 + w;
    t.BoxTop = sy - 24;
    t.BoxBottom = sy + 24;
    QImage photo = PhotoPicture(t.Photo.empty() ? DefaultPhoto : t.Photo);
    if (!photo.isNull()) c.Draw(sx - 23, sy - 23, photo);
    c.TextOut(sx + 27, sy - 23, t.Name);
    c.TextOut(sx + 27, sy - 12, t.Line2);
    c.TextOut(sx + 27, sy - 1, t.Line3);
    c.TextOut(sx + 27, sy + 10, status);
    const std::string time = mapdraw::TimeText(t, now);
    c.TextOut(sx + 30 + c.TextWidth(status + " "), sy + 10, time);
  }
}

void TDrawMap::DrawZoomBar(mapdraw::TSurface& s, const stru_ya& ya) {
  TCanvas c(s);
  c.Pen() = mapdraw::TPen{};
  for (int i = 1; i <= 16; ++i) {
    c.Brush() = mapdraw::TBrush{ya.Zoom == 19 - i ? mapdraw::clBlue : mapdraw::clWhite,
                                mapdraw::TBrushStyle::bsSolid};
    c.Rectangle(2, 8 * i + 2, 20, 8 * i + 8);
  }
}

void TDrawMap::Present() {
  if (!CanDraw()) return;
  TCanvas c(Primary);
  if (FullRepaint) c.Fill(mapdraw::clSilver);
  for (int s = 1; s <= kScreens; ++s) {
    stru_ya& ya = Screens[static_cast<size_t>(s)];
    if (!ya.Active || !FullRepaint) continue;
    try {
      BuildScreen(ya.MapIndex, s);
      ya.Dirty = true;
      NeedRedraw = true;
    } catch (...) {
    }
  }
  try {
    for (int s = 1; s <= kScreens; ++s) {
      stru_ya& ya = Screens[static_cast<size_t>(s)];
      if (!ya.Active || !ya.Dirty) continue;
      const TBounds& b = ya.Bounds;
      c.FillRect(b.Left + 1, b.Top + 1, b.Right - 1, b.Bottom - 1, mapdraw::clMapBack);
      c.Draw(b.Left + 1, b.Top + 1, ya.Surface);
      ya.Dirty = false;
    }
  } catch (...) {
  }
  c.Release();
  if (ShowFrames) {
    try {
      DrawFrames();
    } catch (...) {
    }
  }
  if (LayoutEdit) {
    try {
      DrawLayoutGrid();
    } catch (...) {
    }
  }
  FullRepaint = false;
  Flip();
}

namespace {

void Outline(TCanvas& c, const TBounds& b, int inset) {
  c.MoveTo(b.Left + inset, b.Top + inset);
  c.LineTo(b.Right - inset, b.Top + inset);
  c.LineTo(b.Right - inset, b.Bottom - inset);
  c.LineTo(b.Left + inset, b.Bottom - inset);
  c.LineTo(b.Left + inset, b.Top + inset);
}

void Cross(TCanvas& c, const TBounds& b) {
  const int w = b.Width(), h = b.Height();
  c.Pen() = mapdraw::TPen{mapdraw::clBlue, 1, mapdraw::TPenStyle::psDot, mapdraw::TPenMode::pmCopy};
  c.MoveTo(b.Left + 1, b.Top + 1 + h / 2);
  c.LineTo(b.Right - 1, b.Top + 1 + h / 2);
  c.MoveTo(b.Left + 1 + w / 2, b.Top + 1);
  c.LineTo(b.Left + 1 + w / 2, b.Bottom + 1);
}

}  // namespace

void TDrawMap::DrawScreenFrame(const stru_ya& ya, bool selected) {
  TCanvas c(Primary);
  const TBounds& b = ya.Bounds;
  if (selected && Maximized) {
    Cross(c, b);
  } else if (selected) {
    c.Pen() = mapdraw::TPen{mapdraw::clFuchsia, 1};
    Outline(c, b, 2);
    c.Pen() = mapdraw::TPen{mapdraw::clBlack, 1};
    Outline(c, b, 1);
    Cross(c, b);
  } else {
    c.Pen() = mapdraw::TPen{mapdraw::clBlack, 1};
    Outline(c, b, 1);
    c.Pen() = mapdraw::TPen{mapdraw::clMapBack, 1};
    Outline(c, b, 2);
  }
  c.Pen() = mapdraw::TPen{};
}

void TDrawMap::DrawFrames() {
  for (int s = 1; s <= kScreens; ++s) {
    const stru_ya& ya = Screens[static_cast<size_t>(s)];
    if (ya.Active) DrawScreenFrame(ya, ya.Selected);
  }
}

namespace {

void GridLines(TCanvas& c, int cw, int ch) {
  c.Pen() =
      mapdraw::TPen{mapdraw::clBlack, 1, mapdraw::TPenStyle::psDot, mapdraw::TPenMode::pmCopy};
  for (int i = 1; i <= 7; ++i) {
    const int y = mapdraw::CellEdge(i, ch), x = mapdraw::CellEdge(i, cw);
    c.MoveTo(0, y);
    c.LineTo(cw, y);
    c.MoveTo(x, 0);
    c.LineTo(x, ch);
  }
  c.Pen() = mapdraw::TPen{};
}

}  // namespace

void TDrawMap::DrawLayoutGrid() {
  const int cw = width(), ch = height();
  TCanvas c(Primary);
  GridLines(c, cw, ch);
  c.Brush().Style = mapdraw::TBrushStyle::bsClear;
  for (int col = 0; col < kGrid; ++col) {
    for (int row = 0; row < kGrid; ++row) {
      const double x = mapdraw::CellCenterX(col, cw), y = mapdraw::CellCenterY(row, ch);
      for (int s = 1; s <= kScreens; ++s) {
        const TBounds& b = Screens[static_cast<size_t>(s)].Bounds;
        if (Screens[static_cast<size_t>(s)].Active && b.Left < x && x < b.Right && b.Top < y &&
            y < b.Bottom) {
          c.TextOut(static_cast<int>(x), static_cast<int>(y), std::to_string(s));
          break;
        }
      }
    }
  }
  c.Brush().Style = mapdraw::TBrushStyle::bsSolid;
}

void TDrawMap::DrawBandPicture(int x, int y) {
  if (!CanDraw()) return;
  {
    TCanvas c(Primary);
    c.Fill(mapdraw::clSilver);
    for (int s = 1; s <= kScreens; ++s) {
      const stru_ya& ya = Screens[static_cast<size_t>(s)];
      if (ya.Active) c.Draw(ya.Bounds.Left + 1, ya.Bounds.Top + 1, ya.Surface);
    }
    c.Pen() =
        mapdraw::TPen{mapdraw::clBlack, 1, mapdraw::TPenStyle::psDot, mapdraw::TPenMode::pmNotXor};
    c.Brush().Style = mapdraw::TBrushStyle::bsClear;
    c.Rectangle(BandX, BandY, x, y);
    c.Pen() = mapdraw::TPen{};
    c.Brush().Style = mapdraw::TBrushStyle::bsSolid;
  }
  if (!Maximized && ValidScreen(CurrentScreen))
    DrawScreenFrame(Screens[static_cast<size_t>(CurrentScreen)], true);
  {
    TCanvas c(Primary);
    GridLines(c, width(), height());
  }
  Flip();
}
