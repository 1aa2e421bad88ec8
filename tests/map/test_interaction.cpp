// The control answering synthesized mouse and key events.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <cmath>

#include "map/layout.h"
#include "map_fixture.h"
#include "platform/text1251.h"

namespace {

struct SavePoint {
  int screen;
  float lon, lat;
  int lz;
};

void Move(QWidget* w, QPoint p, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods = {}) {
  QMouseEvent e(QEvent::MouseMove, QPointF(p), QPointF(w->mapToGlobal(p)), Qt::NoButton, buttons,
                mods);
  QCoreApplication::sendEvent(w, &e);
}

}  // namespace

class MapInput : public MapTest {
 protected:
  TDrawMap& MakeShown(int w, int h, const std::string& layout = DefaultLayout(), double lon = 37.6,
                      double lat = 55.7, int zoom = 15) {
    TDrawMap& m = Make(w, h, layout, lon, lat, zoom);
    m.show();
    m.OnSavePoint = [this](TDrawMap*, int s, float lon, float lat, int lz) {
      saves_.push_back({s, lon, lat, lz});
    };
    return m;
  }
  void Click(TDrawMap& m, QPoint p, Qt::MouseButton b = Qt::LeftButton,
             Qt::KeyboardModifiers mods = {}) {
    QTest::mousePress(&m, b, mods, p);
    QTest::mouseRelease(&m, b, mods, p);
  }
  std::vector<SavePoint> saves_;
};

TEST_F(MapInput, DoubleClickWithinAThirdOfASecondMaximisesAndRestores) {
  std::string layout = DefaultLayout();
  layout.replace(0, 2, "02");
  TDrawMap& m = MakeShown(800, 800, layout);
  const std::string normal = m.TekScreen;
  Click(m, {500, 500});  // selects screen 1
  EXPECT_EQ(m.CurrentScreen, 1);
  clock_->Advance(300);
  Click(m, {500, 500});
  EXPECT_TRUE(m.Maximized);
  EXPECT_EQ(m.TekScreen, mapdraw::SingleScreenLayout(1));
  EXPECT_EQ(m.SavedLayout, normal);
  EXPECT_FALSE(m.Screens[2].Active);
  clock_->Advance(100);
  Click(m, {500, 500});  // a single press again
  EXPECT_TRUE(m.Maximized);
  clock_->Advance(1000);
  Click(m, {500, 500});
  clock_->Advance(200);
  Click(m, {500, 500});
  EXPECT_FALSE(m.Maximized);
  EXPECT_EQ(m.TekScreen, normal);
  EXPECT_TRUE(m.Screens[2].Active);
  // Presses further apart than a third of a second are two single presses.
  clock_->Advance(1000);
  Click(m, {500, 500});
  clock_->Advance(340);
  Click(m, {500, 500});
  EXPECT_FALSE(m.Maximized);
}

TEST_F(MapInput, ClickSelectsTheCurrentScreen) {
  std::string layout = DefaultLayout();
  layout.replace(0, 2, "02");
  TDrawMap& m = MakeShown(800, 800, layout);
  Click(m, {50, 50});
  EXPECT_EQ(m.CurrentScreen, 2);
  EXPECT_TRUE(m.Screens[2].Selected);
  EXPECT_FALSE(m.Screens[1].Selected);
  clock_->Advance(1000);
  Click(m, {700, 700});
  EXPECT_EQ(m.CurrentScreen, 1);
  EXPECT_FALSE(m.Screens[2].Selected);
}

TEST_F(MapInput, DraggingNorthStopsAt85) {
  TDrawMap& m = MakeShown(800, 800, DefaultLayout(), 37.6, 55.7, 3);
  QTest::mousePress(&m, Qt::LeftButton, {}, {400, 100});
  for (int y = 150; y <= 700; y += 50) Move(&m, {400, y}, Qt::LeftButton);
  EXPECT_TRUE(m.Dragging);
  QTest::mouseRelease(&m, Qt::LeftButton, {}, {400, 700});
  EXPECT_FALSE(m.Dragging);
  EXPECT_DOUBLE_EQ(m.Screens[1].CenterLat, 85.0);
  ASSERT_FALSE(saves_.empty());
  const SavePoint& last = saves_.back();
  EXPECT_EQ(last.screen, 1);
  EXPECT_FLOAT_EQ(last.lat, 85.0f);
  EXPECT_EQ(last.lz, 0);
  EXPECT_NEAR(last.lon, 37.6, 1e-4);
}

TEST_F(MapInput, PanningMovesTheCentreByThePixelScale) {
  TDrawMap& m = MakeShown(800, 800);
  const double lon0 = m.Screens[1].CenterLon, lpp = m.Screens[1].LonPerPixel;
  QTest::mousePress(&m, Qt::LeftButton, {}, {400, 400});
  Move(&m, {300, 400}, Qt::LeftButton);
  EXPECT_NEAR(m.Screens[1].CenterLon, lon0 + 100 * lpp, 1e-12);
  // Outside the current screen nothing moves.
  Move(&m, {900, 400}, Qt::LeftButton);
  EXPECT_NEAR(m.Screens[1].CenterLon, lon0 + 100 * lpp, 1e-12);
  QTest::mouseRelease(&m, Qt::LeftButton, {}, {300, 400});
  EXPECT_FALSE(m.Dragging);
}

TEST_F(MapInput, RightClickOpensTheMenuRightDragDoesNot) {
  TDrawMap& m = MakeShown(800, 800);
  Click(m, {400, 400}, Qt::RightButton);
  EXPECT_TRUE(m.PopupMenu()->isVisible());
  EXPECT_TRUE(saves_.empty());
  m.PopupMenu()->hide();
  clock_->Advance(1000);
  QTest::mousePress(&m, Qt::RightButton, {}, {400, 400});
  Move(&m, {350, 380}, Qt::RightButton);
  QTest::mouseRelease(&m, Qt::RightButton, {}, {350, 380});
  EXPECT_FALSE(m.PopupMenu()->isVisible());
  EXPECT_FALSE(saves_.empty());
}

TEST_F(MapInput, MapsMenuChecksAndChoosesOpenStreetMap) {
  TDrawMap& m = MakeShown(800, 800);
  m.Screens[1].TileSource = 2;
  QMetaObject::invokeMethod(m.PopupMenu(), "aboutToShow");
  EXPECT_FALSE(m.OpenStreetMapItem()->isChecked());
  m.Screens[1].TileSource = 0;
  QMetaObject::invokeMethod(m.PopupMenu(), "aboutToShow");
  EXPECT_TRUE(m.OpenStreetMapItem()->isChecked());
  m.Screens[1].TileSource = 5;
  m.OpenStreetMapItem()->trigger();
  EXPECT_EQ(m.Screens[1].TileSource, 0);
  EXPECT_EQ(m.PopupMenu()->actions().size(), 1);
  EXPECT_EQ(m.PopupMenu()->actions()[0]->text(), QString::fromUtf8("Карты"));
}

TEST_F(MapInput, ZoomBarBoxes) {
  TDrawMap& m = MakeShown(800, 800);
  Move(&m, {10, 60}, Qt::NoButton);
  EXPECT_TRUE(m.ZoomBarVisible);
  struct {
    int y, zoom;
  } cases[] = {{12, 18},        {8 * 16 + 5, 3}, {9, 3},
               {8 * 4 + 2, 15}, {8 * 4 + 9, 15}, {8 * 5 + 8, 14}};
  for (auto c : cases) {
    clock_->Advance(1000);
    Click(m, {10, c.y});
    EXPECT_EQ(m.Screens[1].Zoom, c.zoom) << "y " << c.y;
  }
  // x must be beyond 1 pixel from the left edge.
  clock_->Advance(1000);
  Click(m, {1, 12});
  EXPECT_EQ(m.Screens[1].Zoom, 14);
  EXPECT_TRUE(saves_.empty());
  Move(&m, {30, 60}, Qt::NoButton);
  EXPECT_FALSE(m.ZoomBarVisible);
}

TEST_F(MapInput, KeypadKeysZoomAboutTheCentre) {
  TDrawMap& m = MakeShown(800, 800, DefaultLayout(), 37.6, 55.7, 17);
  QTest::keyClick(&m, Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_EQ(m.Screens[1].Zoom, 18);
  ASSERT_EQ(saves_.size(), 1u);
  EXPECT_EQ(saves_[0].lz, 18);
  EXPECT_EQ(saves_[0].lon, 0);
  QTest::keyClick(&m, Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_EQ(m.Screens[1].Zoom, 18);
  EXPECT_EQ(saves_.size(), 1u);
  QTest::keyClick(&m, Qt::Key_Minus, Qt::KeypadModifier);
  EXPECT_EQ(m.Screens[1].Zoom, 17);
  m.Screens[1].Zoom = 3;
  int key = VK_SUBTRACT;
  m.KeyDown(key, 0);
  EXPECT_EQ(m.Screens[1].Zoom, 3);
}

TEST_F(MapInput, WheelZoomAtTheCentreKeepsTheCentre) {
  TDrawMap& m = MakeShown(800, 800);
  const double lon = m.Screens[1].CenterLon, lat = m.Screens[1].CenterLat;
  Move(&m, {400, 400}, Qt::NoButton);
  m.ZoomInAtCursor();
  EXPECT_EQ(m.Screens[1].Zoom, 16);
  EXPECT_NEAR(m.Screens[1].CenterLon, lon, 2 * m.Screens[1].LonPerPixel);
  EXPECT_NEAR(m.Screens[1].CenterLat, lat, -2 * m.Screens[1].LatPerPixel);
  ASSERT_EQ(saves_.size(), 1u);
  EXPECT_EQ(saves_[0].lz, 16);
  EXPECT_NE(saves_[0].lon, 0);
  // Off centre, the point under the cursor stays put.
  Move(&m, {100, 650}, Qt::NoButton);
  const stru_ya& ya = m.Screens[1];
  auto lon_at = [&] { return ya.TileWestLon - (400.0 - 100 - ya.CenterOffsetX) * ya.LonPerPixel; };
  const double before = lon_at();
  m.ZoomOutAtCursor();
  EXPECT_EQ(ya.Zoom, 15);
  EXPECT_NEAR(lon_at(), before, 2 * ya.LonPerPixel);
}

TEST_F(MapInput, WheelZoomOnASharedEdgeZoomsBothScreens) {
  std::string layout = DefaultLayout();
  for (int c = 4; c < 8; ++c)
    for (int r = 0; r < 8; ++r) layout.replace(static_cast<size_t>((c * 8 + r) * 2), 2, "02");
  TDrawMap& m = MakeShown(800, 800, layout);
  ASSERT_EQ(m.Screens[1].Bounds.Right, 400);
  ASSERT_EQ(m.Screens[2].Bounds.Left, 400);
  Move(&m, {400, 300}, Qt::NoButton);
  m.ZoomInAtCursor();
  EXPECT_EQ(m.Screens[1].Zoom, 16);
  EXPECT_EQ(m.Screens[2].Zoom, 16);
  EXPECT_EQ(saves_.size(), 2u);
}

TEST_F(MapInput, ShiftBandGivesTheTouchedCellsToTheLowestFreeScreen) {
  TDrawMap& m = MakeShown(800, 800);
  std::vector<std::string> saved;
  m.OnSaveScreen = [&](TDrawMap*, const std::string& s) { saved.push_back(s); };
  QTest::keyClick(&m, Qt::Key_F11, Qt::AltModifier);
  EXPECT_TRUE(m.LayoutEdit);
  QTest::keyPress(&m, Qt::Key_Shift, Qt::ShiftModifier);
  EXPECT_TRUE(m.LayoutDragging);
  QTest::mousePress(&m, Qt::LeftButton, Qt::ShiftModifier, {50, 50});
  Move(&m, {200, 400}, Qt::LeftButton, Qt::ShiftModifier);
  // The band is drawn inverted over the picture.
  EXPECT_NE(m.Primary.Pixel(50, 50), mapdraw::clSilver);
  QTest::mouseRelease(&m, Qt::LeftButton, Qt::ShiftModifier, {350, 750});
  QTest::keyRelease(&m, Qt::Key_Shift, Qt::NoModifier);
  EXPECT_FALSE(m.LayoutDragging);
  EXPECT_TRUE(m.Screens[1].Active);
  EXPECT_EQ(m.Screens[1].Bounds.Left, 0);
  EXPECT_EQ(m.Screens[1].Bounds.Right, 400);
  EXPECT_EQ(m.Screens[1].Bounds.Bottom, 800);
  for (int c = 4; c < 8; ++c)
    for (int r = 0; r < 8; ++r)
      EXPECT_EQ(m.Layout[static_cast<size_t>(c)][static_cast<size_t>(r)], 0);
  EXPECT_TRUE(saved.empty());
  QTest::keyClick(&m, Qt::Key_F11, Qt::AltModifier);
  EXPECT_FALSE(m.LayoutEdit);
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].size(), 128u);
  std::string ones;
  for (int i = 0; i < 32; ++i) ones += "01";
  EXPECT_EQ(saved[0], ones + std::string(64, '0'));
}

TEST_F(MapInput, NewBandScreenTakesTheLowestInactiveNumber) {
  std::string layout = DefaultLayout();
  layout.replace(0, 2, "02");  // screens 1 and 2 in use
  TDrawMap& m = MakeShown(800, 800, layout);
  int key = VK_F11;
  m.KeyDown(key, ssAlt);
  m.KeyDown(key = VK_SHIFT, ssShift);
  ASSERT_TRUE(m.LayoutDragging);
  // A band over cells of columns 7-8, rows 7-8 only (screen 1's cells).
  m.MouseDown(TMouseButton::mbLeft, ssLeft | ssShift, 650, 650);
  m.MouseUp(TMouseButton::mbLeft, ssShift, 790, 790);
  // Screen 1 lost all its cells; the band became screen 1 again (lowest free).
  EXPECT_EQ(m.Layout[7][7], 1);
  EXPECT_EQ(m.Layout[6][6], 1);
  EXPECT_EQ(m.Layout[5][5], 0);
  EXPECT_EQ(m.Layout[0][0], 2);
  EXPECT_EQ(m.Screens[1].Bounds.Left, 600);
}

TEST_F(MapInput, AltF11TwiceRaisesOnSaveScreenOnce) {
  TDrawMap& m = MakeShown(800, 800);
  int calls = 0;
  std::string text;
  m.OnSaveScreen = [&](TDrawMap*, const std::string& s) {
    ++calls;
    text = s;
  };
  QTest::keyClick(&m, Qt::Key_F11, Qt::AltModifier);
  EXPECT_EQ(calls, 0);
  QTest::keyClick(&m, Qt::Key_F11, Qt::AltModifier);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(text, DefaultLayout());
  QTest::keyClick(&m, Qt::Key_F11);  // without Alt
  EXPECT_FALSE(m.LayoutEdit);
}

TEST_F(MapInput, TechnicianPickedByItsLabelBox) {
  std::string layout = DefaultLayout();
  for (int c = 4; c < 8; ++c)
    for (int r = 0; r < 8; ++r) layout.replace(static_cast<size_t>((c * 8 + r) * 2), 2, "02");
  TDrawMap& m = MakeShown(800, 800, layout);
  m.ShowTechnicians = true;
  stru_tehnik a, b;
  a.Name = W1251("Петров");
  a.Lon = m.Screens[2].CenterLon;
  a.Lat = m.Screens[2].CenterLat;
  b.Name = W1251("Сидоров");
  b.Lon = a.Lon;
  b.Lat = a.Lat;
  m.MapFrames[1].Technicians = {a, b};
  Click(m, {700, 700});  // screen 2, the right half, becomes current
  ASSERT_EQ(m.CurrentScreen, 2);
  m.RebuildScreen(2);
  const stru_tehnik& d = m.MapFrames[1].Technicians[0];
  const TBounds& bounds = m.Screens[2].Bounds;
  ASSERT_EQ(bounds.Left, 400);
  // Label boxes are in surface pixels; the surface sits at (Left + 1, Top + 1).
  QPoint inside(bounds.Left + 1 + d.BoxLeft + 5, bounds.Top + 1 + d.BoxTop + 5);
  clock_->Advance(1000);
  Click(m, inside);
  EXPECT_EQ(m.SelectedTechnician, b.Name);  // the last one in array order wins
  clock_->Advance(1000);
  Click(m, {inside.x(), inside.y() - 100});
  EXPECT_TRUE(m.SelectedTechnician.empty());
  // The same surface position without the screen's offset is not a hit.
  clock_->Advance(1000);
  Click(m, {bounds.Left + 1 + d.BoxRight + 3, inside.y()});
  EXPECT_TRUE(m.SelectedTechnician.empty());
  // With Ctrl the selection is left alone.
  clock_->Advance(1000);
  Click(m, inside);
  clock_->Advance(1000);
  Click(m, {inside.x(), inside.y() - 100}, Qt::LeftButton, Qt::ControlModifier);
  EXPECT_EQ(m.SelectedTechnician, b.Name);
}
