// Pixel checks on built screen surfaces and on the presented primary surface.
#include <gtest/gtest.h>

#include "map/canvas.h"
#include "map/technician_label.h"
#include "map/wincolor.h"
#include "map_fixture.h"
#include "platform/crypto.h"
#include "platform/text1251.h"

using namespace mapdraw;

TEST(MapColours, WindowsValuesKeepBlueInTheHighByte) {
  EXPECT_EQ(WinToRgb(0xF2EFE9), qRgb(0xE9, 0xEF, 0xF2));
  EXPECT_EQ(WinToRgb(clBlue), qRgb(0, 0, 255));
  EXPECT_EQ(WinToRgb(clFuchsia), qRgb(255, 0, 255));
  EXPECT_EQ(RgbToWin(qRgb(0xE9, 0xEF, 0xF2)), 0xF2EFE9u);
}

TEST(MapCanvas, RectanglesLinesAndNotXor) {
  MapApp();
  TSurface s;
  s.SetSize(40, 30);
  TCanvas c(s);
  c.Fill(clWhite);
  c.Pen() = TPen{clBlack, 1};
  c.Brush() = TBrush{clBlue, TBrushStyle::bsSolid};
  c.Rectangle(5, 5, 15, 10);  // outline x 5..14, y 5..9
  EXPECT_EQ(s.Pixel(5, 5), clBlack);
  EXPECT_EQ(s.Pixel(14, 9), clBlack);
  EXPECT_EQ(s.Pixel(15, 9), clWhite);
  EXPECT_EQ(s.Pixel(6, 6), clBlue);
  // LineTo leaves out its end point; a dotted pen sets every other pixel.
  c.Pen() = TPen{clFuchsia, 1, TPenStyle::psDot};
  c.MoveTo(0, 20);
  c.LineTo(10, 20);
  EXPECT_EQ(s.Pixel(0, 20), clFuchsia);
  EXPECT_EQ(s.Pixel(1, 20), clWhite);
  EXPECT_EQ(s.Pixel(8, 20), clFuchsia);
  EXPECT_EQ(s.Pixel(10, 20), clWhite);
  // Not-xor with a black pen inverts, twice restores.
  c.Pen() = TPen{clBlack, 1, TPenStyle::psSolid, TPenMode::pmNotXor};
  c.Brush().Style = TBrushStyle::bsClear;
  c.Rectangle(20, 2, 30, 12);
  EXPECT_EQ(s.Pixel(20, 2), clBlack);
  EXPECT_EQ(s.Pixel(25, 6), clWhite);
  c.Rectangle(20, 2, 30, 12);
  EXPECT_EQ(s.Pixel(20, 2), clWhite);
}

TEST(MapLabels, TimeAndLabelTexts) {
  stru_tehnik t;
  t.Status = W1251("В дороге");
  t.StartMinute = 520;  // 08:40
  t.EndMinute = 610;    // 10:10
  EXPECT_EQ(TimeText(t, 10 * 60 + 35), "00:25(01:30)");
  t.Status = W1251("На объекте");
  EXPECT_EQ(TimeText(t, 10 * 60 + 35), "01:55");
  EXPECT_EQ(TimeText(t, 8 * 60), "00:00");  // start still to come
  EXPECT_EQ(MinutesText(0), "00:00");
  EXPECT_EQ(MinutesText(23 * 60 + 59), "23:59");
  t.Name = "abcdefghijklmnopqrstuvwxyz0123456789";
  t.WorkKind = "x";
  EXPECT_EQ(LabelText(t), t.Name);
  t.Name = "a";
  t.Line2 = "bb";
  t.Line3 = "cc";
  EXPECT_EQ(LabelText(t), StatusLine(t) + " 99:99 ");
  t.Status = "";
  t.WorkKind = "";
  EXPECT_EQ(LabelText(t), "() 99:99 ");
}

class MapDrawing : public MapTest {
 protected:
  // Loads the centre tile of screen s with a solid PNG picture stored as is.
  void LoadCentreTile(TDrawMap& m, int s, QRgb colour) {
    const stru_ya& ya = m.Screens[static_cast<size_t>(s)];
    m.Tick();
    m.PutTile(
        TileReply(ya.TileX, ya.TileY, ya.Zoom, 1, 0, 0, EncodePicture(SolidTile(colour), "PNG")));
    m.RebuildScreen(s);
  }
  const TVisibleTile& CentreTile(const stru_ya& ya) {
    for (const TVisibleTile& t : ya.VisibleTiles)
      if (t.X == ya.TileX && t.Y == ya.TileY) return t;
    ADD_FAILURE() << "no centre tile";
    return ya.VisibleTiles.front();
  }
  bool AnyDark(const TSurface& s, int l, int t, int r, int b) {
    for (int y = t; y < b; ++y)
      for (int x = l; x < r; ++x)
        if (qGray(WinToRgb(s.Pixel(x, y))) < 128) return true;
    return false;
  }
  bool AnyPixel(const TSurface& s, int l, int t, int r, int b, TColor c) {
    for (int y = t; y < b; ++y)
      for (int x = l; x < r; ++x)
        if (s.Pixel(x, y) == c) return true;
    return false;
  }
};

TEST_F(MapDrawing, BackgroundThenTileAtItsCorner) {
  TDrawMap& m = Make(800, 600);
  const stru_ya& ya = m.Screens[1];
  EXPECT_EQ(ya.Surface.Pixel(400, 300), clMapBack);
  EXPECT_EQ(ya.Surface.Pixel(10, 300), clMapBack);
  LoadCentreTile(m, 1, qRgb(200, 30, 40));
  const int cx = 400 - ya.CenterOffsetX, cy = 300 - ya.CenterOffsetY;
  EXPECT_EQ(ya.Surface.Pixel(cx, cy), RgbToWin(qRgb(200, 30, 40)));
  EXPECT_EQ(ya.Surface.Pixel(cx + 255, cy + 255), RgbToWin(qRgb(200, 30, 40)));
  EXPECT_NE(ya.Surface.Pixel(cx - 1, cy), RgbToWin(qRgb(200, 30, 40)));
  EXPECT_NE(ya.Surface.Pixel(cx + 256, cy + 256), RgbToWin(qRgb(200, 30, 40)));
  // Presented one pixel right of and below the screen's corner.
  m.FullRepaint = true;
  m.Present();
  EXPECT_EQ(m.Primary.Pixel(cx + 1 + 10, cy + 1 + 10), RgbToWin(qRgb(200, 30, 40)));
}

TEST_F(MapDrawing, LoadingTextOnlyOnRequestedTiles) {
  TDrawMap& m = Make(800, 600);
  const stru_ya& ya = m.Screens[1];
  const TVisibleTile& t = CentreTile(ya);
  const int x = 400 - t.DX + 100, y = 300 - t.DY + 100;
  EXPECT_FALSE(AnyDark(ya.Surface, x, y, x + 90, y + 22));  // awaited, not yet asked for
  m.Tick();
  m.RebuildScreen(1);
  EXPECT_TRUE(AnyDark(ya.Surface, x, y, x + 90, y + 22));
  EXPECT_FALSE(AnyDark(ya.Surface, x - 30, y, x - 1, y + 22));
  EXPECT_FALSE(AnyDark(ya.Surface, x, y - 20, x + 90, y - 1));
}

TEST_F(MapDrawing, BadgeForNumberO) {
  TDrawMap& m = Make(800, 600);
  const int w = 800;
  EXPECT_EQ(m.Screens[1].Surface.Pixel(w - 20, 12), clMapBack);
  m.Screens[1].NumberO = 3;
  m.RebuildScreen(1);
  const TSurface& s = m.Screens[1].Surface;
  EXPECT_EQ(s.Pixel(w - 24, 4), clBlack);
  EXPECT_EQ(s.Pixel(w - 11, 19), clBlack);
  EXPECT_EQ(s.Pixel(w - 10, 19), clMapBack);
  EXPECT_TRUE(AnyPixel(s, w - 21, 5, w - 11, 19, clWhite));
  EXPECT_EQ(s.Pixel(w - 23, 18), clBlack);
}

TEST_F(MapDrawing, ZoomBarBoxes) {
  TDrawMap& m = Make(800, 600);
  m.ZoomBarVisible = true;
  m.RebuildScreen(1);
  const TSurface& s = m.Screens[1].Surface;
  // Zoom 15 fills box 4 (y 34 to 40).
  EXPECT_EQ(s.Pixel(10, 36), clBlue);
  EXPECT_EQ(s.Pixel(2, 34), clBlack);
  EXPECT_EQ(s.Pixel(19, 39), clBlack);
  EXPECT_EQ(s.Pixel(10, 12), clWhite);  // box 1
  EXPECT_EQ(s.Pixel(10, 8 * 16 + 4), clWhite);
  EXPECT_EQ(s.Pixel(10, 9), clMapBack);   // between boxes 0 and 1
  EXPECT_EQ(s.Pixel(10, 41), clMapBack);  // between boxes 4 and 5
  m.ZoomBarVisible = false;
  m.RebuildScreen(1);
  EXPECT_EQ(s.Pixel(10, 36), clMapBack);
}

TEST_F(MapDrawing, TechnicianLabelBoxColoursAndSelection) {
  TDrawMap& m = Make(800, 600);
  QImage face(46, 46, QImage::Format_RGB32);
  face.fill(qRgb(0, 160, 0));
  Bytes jpg = EncodePicture(face, "JPEG", 95);
  m.DefaultPhoto = plat::Base64Encode(jpg.data(), jpg.size());
  m.ShowTechnicians = true;
  const stru_ya& ya = m.Screens[1];
  stru_tehnik t;
  t.Name = W1251("Иванов");
  t.Status = W1251("На объекте");
  t.WorkKind = W1251("Ремонт");
  t.Line2 = "12 " + W1251("Склад");
  t.Lon = ya.TileWestLon;
  t.Lat = ya.TileNorthLat;
  m.MapFrames[1].Technicians.push_back(t);
  m.RebuildScreen(1);
  const stru_tehnik& d = m.MapFrames[1].Technicians[0];
  const int sx = 400 - ya.CenterOffsetX, sy = 300 - ya.CenterOffsetY;
  const int w = TextWidthIn(TFont{8, clBlack, 0}, LabelText(t));
  EXPECT_EQ(d.BoxLeft, sx - 24);
  EXPECT_EQ(d.BoxTop, sy - 24);
  EXPECT_EQ(d.BoxBottom, sy + 24);
  EXPECT_EQ(d.BoxRight, sx + 29 + w);
  const TSurface& s = ya.Surface;
  EXPECT_EQ(s.Pixel(sx - 24, sy), clBlack);
  EXPECT_EQ(s.Pixel(sx + 28 + w, sy), clBlack);
  EXPECT_EQ(s.Pixel(sx + 26 + w, sy + 20), clWhite);
  // The default photo, and blue text for a technician on site.
  QRgb photo = WinToRgb(s.Pixel(sx - 23 + 20, sy - 23 + 20));
  EXPECT_NEAR(qGreen(photo), 160, 12);
  EXPECT_LT(qRed(photo), 30);
  EXPECT_TRUE(AnyPixel(s, sx + 27, sy - 23, sx + 27 + w, sy - 12, clBlue));
  EXPECT_EQ(s.Pixel(sx - 27, sy), clMapBack);  // not selected: no heavier frame

  m.SelectedTechnician = t.Name;
  m.MapFrames[1].Technicians[0].Status = W1251("Обед");
  m.RebuildScreen(1);
  EXPECT_EQ(s.Pixel(sx - 27, sy), clBlack);
  EXPECT_EQ(s.Pixel(sx - 26, sy), clBlack);
  EXPECT_EQ(s.Pixel(sx - 25, sy), clWhite);
  EXPECT_FALSE(AnyPixel(s, sx + 27, sy - 23, sx + 27 + w, sy + 21, clBlue));
}

TEST_F(MapDrawing, FramesOfSelectedAndOtherScreens) {
  std::string layout = DefaultLayout();
  layout.replace(0, 2, "02");  // screen 2 in cell (1,1)
  TDrawMap& m = Make(800, 800, layout);
  m.FullRepaint = true;
  m.Present();
  const TSurface& p = m.Primary;
  const TBounds& b1 = m.Screens[1].Bounds;  // selected, current
  const TBounds& b2 = m.Screens[2].Bounds;
  ASSERT_TRUE(m.Screens[1].Selected);
  EXPECT_EQ(p.Pixel(b1.Right - 2, b1.Bottom - 60), clFuchsia);
  EXPECT_EQ(p.Pixel(b1.Right - 1, b1.Bottom - 60), clBlack);
  EXPECT_EQ(p.Pixel(b2.Left + 1, b2.Top + 50), clBlack);
  EXPECT_EQ(p.Pixel(b2.Left + 2, b2.Top + 50), clMapBack);
  EXPECT_EQ(p.Pixel(b2.Right - 1, b2.Top + 50), clBlack);
  // The blue dotted cross through the selected screen's centre.
  const int cy = b1.Top + 1 + b1.Height() / 2;
  int blue = 0;
  for (int x = b1.Left + 1; x < b1.Left + 41; ++x) blue += p.Pixel(x, cy) == clBlue;
  EXPECT_EQ(blue, 20);
  // Maximised: the cross only.
  m.Maximized = true;
  m.FullRepaint = true;
  m.Present();
  EXPECT_NE(p.Pixel(b1.Right - 2, b1.Bottom - 60), clFuchsia);
  blue = 0;
  for (int x = b1.Left + 1; x < b1.Left + 41; ++x) blue += p.Pixel(x, cy) == clBlue;
  EXPECT_EQ(blue, 20);
  // Frames off: nothing on the edges.
  m.Maximized = false;
  m.ShowFrames = false;
  m.FullRepaint = true;
  m.Present();
  EXPECT_NE(p.Pixel(b2.Left + 1, b2.Top + 50), clBlack);
  EXPECT_NE(p.Pixel(b1.Right - 2, b1.Bottom - 60), clFuchsia);
}

TEST_F(MapDrawing, LayoutGridWhileEditing) {
  TDrawMap& m = Make(800, 800);
  m.LayoutEdit = true;
  m.ShowFrames = false;
  m.FullRepaint = true;
  m.Present();
  const TSurface& p = m.Primary;
  int black = 0;
  for (int x = 300; x < 340; ++x) black += p.Pixel(x, 200) == clBlack;
  EXPECT_EQ(black, 20);  // dotted line at y = 2 * 800 / 8
  // The cell number "1" near the centre of cell (0, 0).
  EXPECT_TRUE(AnyDark(p, 50, 50, 62, 66));
}

TEST_F(MapDrawing, AttributionInTheCorner) {
  TDrawMap& m = Make(800, 600);
  const TSurface& s = m.Screens[1].Surface;
  EXPECT_TRUE(AnyPixel(s, 640, 585, 799, 600, clWhite));
  EXPECT_TRUE(AnyPixel(s, 640, 585, 799, 600, clGray) || AnyDark(s, 640, 585, 799, 600));
}

TEST_F(MapDrawing, RefreshTimeReported) {
  TDrawMap& m = Make(800, 600);
  int calls = 0, last = -1;
  m.OnRefreshTime = [&](TDrawMap*, int ms) {
    ++calls;
    last = ms;
  };
  m.RebuildScreen(1);
  EXPECT_EQ(calls, 1);
  EXPECT_GE(last, 0);
}

TEST_F(MapDrawing, SlotHandedToAnotherTileIsNotDrawnHere) {
  TDrawMap& m = Make(800, 600);
  LoadCentreTile(m, 1, qRgb(200, 30, 40));
  const stru_ya& ya = m.Screens[1];
  const int slot = CentreTile(ya).Slot;
  TTileSource& tiles = m.MapFrames[1].Tiles[0];
  tiles.Free(slot);
  tiles.Fill(slot, 1, 1, 15, EncodePicture(SolidTile(qRgb(0, 0, 200)), "PNG"), 1);
  m.RebuildScreen(1);
  const int cx = 400 - ya.CenterOffsetX, cy = 300 - ya.CenterOffsetY;
  EXPECT_EQ(ya.Surface.Pixel(cx + 5, cy + 5), clMapBack);
}

TEST_F(MapDrawing, SurfaceEventsAndResize) {
  TDrawMap& m = Make(800, 600);
  int refreshes = 0;
  m.OnRefreshTime = [&](TDrawMap*, int) { ++refreshes; };
  m.Finalize();
  EXPECT_FALSE(m.CanDraw());
  m.Screens[1].Zoom = 14;
  m.LocateScreen(1);  // still binds its tiles
  EXPECT_FALSE(m.Screens[1].VisibleTiles.empty());
  EXPECT_GE(m.Screens[1].VisibleTiles[0].Slot, 0);
  EXPECT_EQ(refreshes, 0);
  int sent = 0;
  m.OnSendDataU = [&](TDrawMap*, const std::string&) { ++sent; };
  m.Tick();
  EXPECT_EQ(sent, 0);
  m.Initialize();
  EXPECT_TRUE(m.CanDraw());
  EXPECT_GT(refreshes, 0);
  m.Tick();
  EXPECT_EQ(sent, 1);
  m.show();  // a hidden widget gets its resize event only when shown
  m.resize(400, 300);
  EXPECT_EQ(m.Screens[1].Bounds.Right, 400);
  EXPECT_EQ(m.Screens[1].Surface.Width(), 400);
  EXPECT_EQ(m.Primary.Height(), 300);
  EXPECT_LT(m.Screens[1].VisibleTiles.size(), 12u);
  m.RestoreSurface(&m);
  EXPECT_TRUE(m.FullRepaint);
}

TEST_F(MapDrawing, PresentingDrawsInPlace) {
  TDrawMap& m = Make(400, 300);
  m.Present();
  const uchar* before = m.Primary.Image.constBits();
  for (int i = 0; i < 3; ++i) {
    m.FullRepaint = true;
    m.Present();
  }
  EXPECT_EQ(m.Primary.Image.constBits(), before);
  EXPECT_TRUE(m.Primary.Image.isDetached());
}
