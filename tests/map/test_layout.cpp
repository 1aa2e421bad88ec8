// Layout texts, screen bounds and the band-touch rule.
#include <gtest/gtest.h>

#include "map/layout.h"
#include "map_fixture.h"

using namespace mapdraw;

namespace {
std::string Repeat(const std::string& s, int n) {
  std::string r;
  for (int i = 0; i < n; ++i) r += s;
  return r;
}
}  // namespace

TEST(MapLayout, ParsesColumnByColumn) {
  struct Case {
    std::string text;
    int cells;
    bool complete;
  } cases[] = {
      {Repeat("01", 64), 64, true},
      {"0203", 2, true},
      {"0264", 2, true},
      {"02651", 1, false},                   // 65 is beyond the 64 screens
      {"02x1", 1, false},                    // not decimal
      {"02-1", 1, false},                    // a sign is not a digit
      {Repeat("01", 64) + "02", 64, false},  // more than 64 pairs
      {"027", 2, true},                      // a lone digit at the end is a number
      {"", 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TLayout l{};
    for (auto& col : l) col.fill(9);
    bool complete = false;
    EXPECT_EQ(ParseLayoutText(c.text, l, &complete), c.cells);
    EXPECT_EQ(complete, c.complete);
    // Cells beyond those read keep their old numbers.
    if (c.cells < 64) {
      EXPECT_EQ(l[static_cast<size_t>(c.cells / 8)][static_cast<size_t>(c.cells % 8)], 9);
    }
  }
  TLayout l{};
  ParseLayoutText("0102030405060708091011", l);
  EXPECT_EQ(l[0][0], 1);
  EXPECT_EQ(l[0][7], 8);
  EXPECT_EQ(l[1][0], 9);  // column 2 row 1
  EXPECT_EQ(l[1][2], 11);
}

TEST(MapLayout, TextRoundTripAndSingleScreen) {
  TLayout l{};
  l[0][0] = 5;
  l[2][2] = 5;
  l[7][7] = 64;
  std::string t = LayoutText(l);
  ASSERT_EQ(t.size(), 128u);
  EXPECT_EQ(t.substr(0, 4), "0500");
  EXPECT_EQ(t.substr(126), "64");
  TLayout back{};
  ParseLayoutText(t, back);
  EXPECT_EQ(back, l);
  EXPECT_EQ(SingleScreenLayout(7), Repeat("07", 64));
  EXPECT_EQ(SingleScreenLayout(12), Repeat("12", 64));
}

TEST(MapLayout, BoundsCoverTheScreensCells) {
  std::array<stru_ya, 65> screens;
  TLayout l{};
  l[0][0] = 5;  // cell (1,1)
  l[2][2] = 5;  // cell (3,3): not contiguous, the bounding rectangle counts
  l[7][7] = 2;
  LayoutBounds(l, 1504, 883, screens);
  EXPECT_TRUE(screens[5].Active);
  EXPECT_EQ(screens[5].Bounds.Left, 0);
  EXPECT_EQ(screens[5].Bounds.Top, 0);
  EXPECT_EQ(screens[5].Bounds.Right, 564);   // trunc(3 * 1504 / 8)
  EXPECT_EQ(screens[5].Bounds.Bottom, 331);  // trunc(3 * 883 / 8) = 331.125
  EXPECT_EQ(screens[2].Bounds.Left, 1316);
  EXPECT_EQ(screens[2].Bounds.Top, 772);  // trunc(7 * 883 / 8) = 772.625
  EXPECT_EQ(screens[2].Bounds.Right, 1504);
  EXPECT_EQ(screens[2].Bounds.Bottom, 883);
  EXPECT_FALSE(screens[1].Active);
  EXPECT_EQ(screens[1].Bounds.Left, 100000);
  EXPECT_EQ(screens[1].Bounds.Right, 0);
}

TEST(MapLayout, TouchedCellsByCornersAndCentres) {
  const int cw = 800, ch = 800;  // cells of 100 x 100
  // From the centre of cell (1,1) to the centre of cell (4,8).
  TCellMask m = TouchedCells(50, 50, 350, 750, cw, ch);
  int count = 0;
  for (int c = 0; c < 8; ++c)
    for (int r = 0; r < 8; ++r)
      if (m[static_cast<size_t>(c)][static_cast<size_t>(r)]) {
        ++count;
        EXPECT_LT(c, 4);
      }
  EXPECT_EQ(count, 32);
  // A corner on the rectangle's edge counts.
  m = TouchedCells(100, 100, 100, 100, cw, ch);
  EXPECT_TRUE(m[0][0] && m[1][0] && m[0][1] && m[1][1]);
  EXPECT_FALSE(m[2][2]);
  // Dragged up or to the left: nothing.
  m = TouchedCells(350, 750, 50, 50, cw, ch);
  for (auto& col : m)
    for (bool b : col) EXPECT_FALSE(b);
}

class MapLayoutControl : public MapTest {};

TEST_F(MapLayoutControl, DefaultLayoutGivesScreenOneTheWholeControl) {
  TDrawMap& m = Make(1504, 883);
  EXPECT_TRUE(m.Screens[1].Active);
  EXPECT_EQ(m.Screens[1].Bounds.Left, 0);
  EXPECT_EQ(m.Screens[1].Bounds.Top, 0);
  EXPECT_EQ(m.Screens[1].Bounds.Right, 1504);
  EXPECT_EQ(m.Screens[1].Bounds.Bottom, 883);
  EXPECT_EQ(m.Screens[1].Surface.Width(), 1504);
  EXPECT_EQ(m.Screens[1].Surface.Height(), 883);
  for (int s = 2; s <= 64; ++s) EXPECT_FALSE(m.Screens[static_cast<size_t>(s)].Active) << s;
  EXPECT_EQ(m.TekScreen, Repeat("01", 64));
}

TEST_F(MapLayoutControl, ShortAndBrokenTextsKeepTheRest) {
  TDrawMap& m = Make(800, 800);
  m.SetLayout("0202");  // column 1, rows 1-2 become screen 2
  EXPECT_EQ(m.Layout[0][0], 2);
  EXPECT_EQ(m.Layout[0][2], 1);
  EXPECT_TRUE(m.Screens[2].Active);
  EXPECT_EQ(m.Screens[2].Bounds.Bottom, 200);
  EXPECT_EQ(m.TekScreen.substr(0, 6), "020201");
  EXPECT_EQ(m.TekScreen.size(), 128u);
  // A broken pair ends the reading; the cells before it count and the
  // layout stays consistent with its text.
  m.SetLayout("0303zz04");
  EXPECT_EQ(m.Layout[0][0], 3);
  EXPECT_EQ(m.Layout[0][1], 3);
  EXPECT_EQ(m.Layout[0][2], 1);
  EXPECT_EQ(m.TekScreen.substr(0, 6), "030301");
  EXPECT_FALSE(m.Screens[2].Active);
  EXPECT_TRUE(m.Screens[3].Active);
}
