// The technicians page against a real map control, real queues, a real
// "object" table and a real history store: the timer's message step, tile
// replies, the wheel rule, the saved views and the technicians on the map.
#include <QWheelEvent>
#include <cstring>

#include "foundation/json.h"
#include "map/tile_cache.h"
#include "platform/files.h"
#include "teh_fixture.h"

namespace teh {
namespace {

const std::vector<Obj>& Objects() {
  static const std::vector<Obj> objs = {
      {5, "Банк", "Центральный", "ул. Ленина, 1", 37.62, 55.75},
      {7, "Склад", "Северный", "пр. Мира, 20", 37.64, 55.80},
  };
  return objs;
}

void PutLE(Bytes& b, int32_t v) {
  for (int i = 0; i < 4; ++i)
    b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}

void PutShort(Bytes& b, const std::string& s) {
  b.push_back(static_cast<uint8_t>(s.size()));
  b.insert(b.end(), s.begin(), s.end());
}

// The record set of a tile reply as the server writes it: one group with the
// fields dn_abs, command (short string) and data (fixed-size bytes).
std::string OldUp(const std::string& command, const Bytes& tile) {
  Bytes rs;
  PutLE(rs, 0);
  PutLE(rs, 0);
  rs.insert(rs.end(), 8, 0);  // SaveTime
  PutLE(rs, 0);
  PutLE(rs, 1);  // groups
  PutLE(rs, 1);  // Id
  PutLE(rs, 2);  // NextAutoNo
  PutShort(rs, "osm");
  PutLE(rs, 3);  // fields
  auto field = [&](int id, const std::string& name, uint8_t type, int32_t size) {
    PutLE(rs, id);
    Bytes n(16, 0);
    n[0] = static_cast<uint8_t>(name.size());
    std::memcpy(n.data() + 1, name.data(), name.size());
    rs.insert(rs.end(), n.begin(), n.end());
    rs.push_back(type);
    PutLE(rs, size);
    PutLE(rs, 0);
  };
  field(1, "dn_abs", kGFInteger, 4);
  field(2, "command", kGFString, 0);
  field(3, "data", kGFBytes, static_cast<int32_t>(tile.size()));
  PutLE(rs, 1);  // records
  Bytes rec;
  PutLE(rec, 1);
  PutShort(rec, command);
  rec.insert(rec.end(), tile.begin(), tile.end());
  PutLE(rs, static_cast<int32_t>(rec.size()));
  rs.insert(rs.end(), rec.begin(), rec.end());
  return "{\"$c$\":\"oldup\",\"data\":\"" + BytesToHex(rs) + "\"}";
}

// A tile reply for PutTile: x, y, z, map, source, 4 unused, format, unused, picture.
Bytes TileReply(int32_t x, int32_t y, int32_t z, const std::string& picture) {
  Bytes b;
  PutLE(b, x);
  PutLE(b, y);
  PutLE(b, z);
  PutLE(b, 1);
  PutLE(b, 0);
  PutLE(b, 0);
  b.push_back(0);  // format: not PNG, kept as delivered
  b.push_back(0);
  b.insert(b.end(), picture.begin(), picture.end());
  return b;
}

TEST_F(TehTest, TimerWorksOffOneMessagePerTickInQueueOrder) {
  Make();
  EXPECT_FALSE(map_->Working);  // until the link is connected
  ASSERT_TRUE(read_json_.PutSoob("{\"$c$\":\"connected\"}"));
  ASSERT_TRUE(read_json_.PutSoob("{\"$c$\":\"getfileok\",\"name\":\"a.jpg\"}"));
  ASSERT_TRUE(read_json_.PutSoob("{\"$c$\":\"tableload\",\"name\":\"object\"}"));
  ASSERT_TRUE(read_json_.PutSoob("{\"$c$\":\"getfileok\",\"name\":\"b.jpg\"}"));

  page_->Timer1Timer();
  EXPECT_TRUE(map_->Working);
  EXPECT_TRUE(got_files_.empty());
  EXPECT_EQ(read_json_.Items(), 3);
  page_->Timer1Timer();
  EXPECT_EQ(got_files_, std::vector<std::string>{"a.jpg"});
  page_->Timer1Timer();  // dropped
  EXPECT_EQ(got_files_.size(), 1u);
  EXPECT_EQ(read_json_.Items(), 1);
  page_->Timer1Timer();
  EXPECT_EQ(got_files_, (std::vector<std::string>{"a.jpg", "b.jpg"}));
  EXPECT_EQ(read_json_.Items(), 0);
}

TEST_F(TehTest, OldUpHandsPutOsmTilesToTheMapUnlessTheyStartWithMinusOne) {
  Make();
  TTileSource& tiles = map_->MapFrames[1].Tiles[0];
  ASSERT_FALSE(Screen(1).VisibleTiles.empty());
  const TVisibleTile vt = Screen(1).VisibleTiles[0];
  ASSERT_GE(vt.Slot, 0);
  // An awaited slot for column -1, so that a reply for it would be visible.
  const int minus = tiles.Take(plat::Now());
  tiles.Fill(minus, -1, vt.Y, 15, {}, plat::Now());

  struct Case {
    const char* title;
    std::string message;
    int slot;
    bool stored;
  } cases[] = {
      {"another command", OldUp("Get_OSM", TileReply(vt.X, vt.Y, 15, "JPEGBYTES")), vt.Slot, false},
      {"tile bytes start with -1", OldUp("Put_OSM", TileReply(-1, vt.Y, 15, "JPEGBYTES")), minus,
       false},
      {"not a record set", "{\"$c$\":\"oldup\",\"data\":\"0102ZZ\"}", vt.Slot, false},
      {"too short for a header", OldUp("Put_OSM", Bytes{1, 2}), vt.Slot, false},
      {"a tile", OldUp("Put_OSM", TileReply(vt.X, vt.Y, 15, "JPEGBYTES")), vt.Slot, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    ASSERT_TRUE(read_json_.PutSoob(c.message));
    page_->Timer1Timer();
    EXPECT_EQ(read_json_.Items(), 0);
    EXPECT_EQ(!tiles[c.slot].Data.empty(), c.stored);
  }
  const std::string file = mapdraw::TileFileName(map_->TileCacheDir, 0, 15, vt.X, vt.Y);
  std::string bytes;
  ASSERT_TRUE(plat::ReadWholeFile(file, bytes));
  EXPECT_EQ(bytes, "JPEGBYTES");
}

TEST_F(TehTest, MapTileRequestsGoOntoSoob) {
  Make();
  map_->Working = true;
  map_->Tick();
  std::string text;
  ASSERT_TRUE(soob_.GetSoobD(text));
  EXPECT_EQ(GetValueFromJSON(text, "$c$"), "get_osm");
}

// Sends one wheel step to the control the way Qt delivers it.
void Wheel(TDrawMap& map, bool down, QPoint at) {
  QWheelEvent e(QPointF(at), QPointF(map.mapToGlobal(at)), QPoint(), QPoint(0, down ? -120 : 120),
                Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&map, &e);
}

TEST_F(TehTest, WheelStepsCloserThanOneTwentiethSecondZoomOnce) {
  Make();
  Screen(1).NumberO = 2;  // zooms about the centre
  const QPoint at(400, 300);
  Wheel(*map_, true, at);
  EXPECT_EQ(Screen(1).Zoom, 16);
  for (int i = 0; i < 3; ++i) {
    clock_->Advance(30);  // a wheel turned on: each step is too close to the last
    Wheel(*map_, true, at);
  }
  EXPECT_EQ(Screen(1).Zoom, 16);
  clock_->Advance(60);
  Wheel(*map_, false, at);  // up: out about the centre
  EXPECT_EQ(Screen(1).Zoom, 15);

  Screen(1).NumberO = 0;  // zooms about the cursor: up goes in
  clock_->Advance(60);
  Wheel(*map_, false, at);
  EXPECT_EQ(Screen(1).Zoom, 16);
  clock_->Advance(60);
  Wheel(*map_, true, at);
  EXPECT_EQ(Screen(1).Zoom, 15);
}

TEST_F(TehTest, SavedViewsAndLayoutLandInTheScreenFile) {
  Make();
  auto reload = [&] {
    TGFDataS f(wd_, "default.scr");
    EXPECT_TRUE(f.Load());
    return f;
  };
  // A zoom about the centre reports only the zoom.
  Screen(1).NumberO = 1;
  Wheel(*map_, true, QPoint(10, 10));
  {
    TGFDataS f = reload();
    const int ya = f.FindGroup("ya");
    EXPECT_EQ(f.GetInteger(ya, f.FindPar(ya, "CZ"), 0), 16);
    EXPECT_FLOAT_EQ(f.GetSingle(ya, f.FindPar(ya, "CLon"), 0), 37.6173f);
  }
  // A zoom about the cursor reports the new centre too.
  Screen(1).NumberO = 0;
  clock_->Advance(100);
  Wheel(*map_, false, QPoint(700, 500));
  {
    TGFDataS f = reload();
    const int ya = f.FindGroup("ya");
    EXPECT_EQ(f.GetInteger(ya, f.FindPar(ya, "CZ"), 0), 17);
    EXPECT_FLOAT_EQ(f.GetSingle(ya, f.FindPar(ya, "CLon"), 0),
                    static_cast<float>(Screen(1).CenterLon));
    EXPECT_FLOAT_EQ(f.GetSingle(ya, f.FindPar(ya, "CLat"), 0),
                    static_cast<float>(Screen(1).CenterLat));
    EXPECT_NE(Screen(1).CenterLon, 37.6173);
  }
  // Zeros keep what is stored; screens outside the file change nothing.
  page_->OnSavePoint(3, 0, 44.5f, 0);
  page_->OnSavePoint(65, 1, 1, 1);
  page_->OnSavePoint(0, 1, 1, 1);
  map_->OnSaveScreen(map_.get(), std::string(64, '0') + std::string(64, '1'));
  {
    TGFDataS f = reload();
    const int ya = f.FindGroup("ya");
    EXPECT_EQ(f.RecordCount(ya), 64);
    EXPECT_FLOAT_EQ(f.GetSingle(ya, f.FindPar(ya, "CLon"), 2), 37.6173f);
    EXPECT_FLOAT_EQ(f.GetSingle(ya, f.FindPar(ya, "CLat"), 2), 44.5f);
    EXPECT_EQ(f.GetInteger(ya, f.FindPar(ya, "CZ"), 2), 15);
    const int main = f.FindGroup("Main");
    EXPECT_EQ(f.GetString(main, f.FindPar(main, "TekScreen"), 0),
              std::string(64, '0') + std::string(64, '1'));
  }
}

TEST_F(TehTest, TechniciansWaitForTheObjectIndexThenTakeTheirObjects) {
  Make();
  PutHistory({
      {kHistWorkStarted, 8, 0, 7, "Склад", "Петров", "Заявка"},
      {kHistWorkEnded2, 8, 40, 7, "Склад", "Петров", "Заявка"},
      {kHistWorkStarted, 9, 0, 5, "Банк", "Иванов", "Монтаж"},
      // Lunch names no object: the last object's address does not stay.
      {kHistWorkStarted, 9, 30, 0, nullptr, "Петров", "Обед"},
      {kHistWorkStarted, 10, 15, 99, "Гараж", "Сидоров", "Заявка"},
      {kHistWorkStarted, 10, 20, 7, "Склад", "Кузнецов", "Монтаж"},
      {kHistWorkEnded2, 11, 5, 7, "Склад", "Кузнецов", "Монтаж"},
  });
  page_->Timer1Timer();
  EXPECT_TRUE(Technicians().empty());
  EXPECT_TRUE(history_->REfresh);  // still pending

  LoadObjects(Objects());
  page_->Timer1Timer();
  EXPECT_FALSE(history_->REfresh);
  const auto& t = Technicians();
  ASSERT_EQ(t.size(), 4u);
  struct Want {
    const char* name;
    const char* line2;
    const char* line3;
    const char* status;
    const char* kind;
    double lon, lat;
    int start, end;
  } want[] = {
      {"Петров", "-1 ", "", "Обед", "Обед", 0, 0, 570, 520},
      {"Иванов", "5 Банк", "Центральный - ул. Ленина, 1", "На объекте", "Монтаж", 37.62, 55.75, 540,
       0},
      {"Сидоров", "99 Гараж", "", "На объекте", "Заявка", 0, 0, 615, 0},
      {"Кузнецов", "7 Склад", "Северный - пр. Мира, 20", "В дороге", "Монтаж", 37.64, 55.80, 620,
       665},
  };
  for (size_t i = 0; i < t.size(); ++i) {
    SCOPED_TRACE(want[i].name);
    EXPECT_EQ(t[i].Name, plat::Utf8ToCp1251(want[i].name));
    EXPECT_EQ(t[i].Line2, plat::Utf8ToCp1251(want[i].line2));
    EXPECT_EQ(t[i].Line3, plat::Utf8ToCp1251(want[i].line3));
    EXPECT_EQ(t[i].Status, plat::Utf8ToCp1251(want[i].status));
    EXPECT_EQ(t[i].WorkKind, plat::Utf8ToCp1251(want[i].kind));
    EXPECT_EQ(t[i].Lon, static_cast<double>(static_cast<float>(want[i].lon)));
    EXPECT_EQ(t[i].Lat, static_cast<double>(static_cast<float>(want[i].lat)));
    EXPECT_EQ(t[i].StartMinute, want[i].start);
    EXPECT_EQ(t[i].EndMinute, want[i].end);
    EXPECT_TRUE(t[i].Photo.empty());
  }
  EXPECT_EQ(page_->TehWork().size(), 4u);

  // The history grows: the next tick replays it all again.
  PutHistory({{kHistWorkStarted, 9, 0, 5, "Банк", "Иванов", "Монтаж"},
              {kHistWorkEnded2, 9, 40, 5, "Банк", "Иванов", "Монтаж"}});
  page_->Timer1Timer();
  ASSERT_EQ(Technicians().size(), 1u);
  EXPECT_EQ(Technicians()[0].Status, W1251("В дороге"));
  EXPECT_EQ(Technicians()[0].EndMinute, 580);
}

TEST_F(TehTest, LabelBoxesOnTheCurrentScreenRoundHalfToEven) {
  Make(200, 100);
  const std::string address = W1251("Центральный - ул. Ленина, 1");  // the longest text
  const int text = map_->SurfaceTextWidth(1, address);
  ASSERT_GT(text, 0);
  struct Case {
    int width;
    double lon;  // the tile's west edge is at 37, 1/8 degree per pixel
    int x;       // R(W / 2) - R((37 - lon) * 8)
  } cases[] = {
      {200, 37.0, 100},     // the object at the west edge: the box runs from 76
      {201, 37.3125, 102},  // R(100.5) = 100, R(-2.5) = -2
      {203, 37.4375, 106},  // R(101.5) = 102, R(-3.5) = -4
      {200, 36.6875, 98},   // R(2.5) = 2
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x);
    LoadObjects({{5, "Банк", "Центральный", "ул. Ленина, 1", c.lon, 55.75}});
    stru_ya& ya = Screen(1);
    ya.Bounds.Right = ya.Bounds.Left + c.width;
    ya.CenterOffsetX = 0;
    ya.CenterOffsetY = 3;
    ya.TileWestLon = 37.0;
    ya.LonPerPixel = 0.125;
    ya.TileNorthLat = 56.25;
    ya.LatPerPixel = -0.125;  // Y = R(50) - 3 - R(0.5 / -0.125) = 51
    PutHistory({{kHistWorkStarted, 9, 0, 5, "Банк", "Иванов", "Монтаж"}});
    page_->Timer1Timer();
    ASSERT_EQ(Technicians().size(), 1u);
    const stru_tehnik& t = Technicians()[0];
    EXPECT_EQ(t.BoxLeft, c.x - 24);
    EXPECT_EQ(t.BoxRight, c.x + 29 + text);
    EXPECT_EQ(t.BoxTop, 27);
    EXPECT_EQ(t.BoxBottom, 75);
  }
  // Without a drawing surface the right edge is not set.
  Screen(1).Surface.Free();
  PutHistory({{kHistWorkStarted, 9, 0, 5, "Банк", "Иванов", "Монтаж"}});
  page_->Timer1Timer();
  ASSERT_EQ(Technicians().size(), 1u);
  EXPECT_EQ(Technicians()[0].BoxRight, 0);
  EXPECT_EQ(Technicians()[0].BoxLeft, 98 - 24);
}

}  // namespace
}  // namespace teh
