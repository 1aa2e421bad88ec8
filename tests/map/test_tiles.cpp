// Tile slots, binding screens to the memory and disk cache, the tick's
// requests and storing replies.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/records/records.h"
#include "map/projection.h"
#include "map/tile_cache.h"
#include "map/tile_request.h"
#include "map_fixture.h"
#include "platform/files.h"

using namespace mapdraw;
namespace fs = std::filesystem;

TEST(MapTileSlots, TakesLowestFreeThenEvictsOldestLowestOnTies) {
  TTileSource src;
  for (int i = 0; i < TTileSource::kAssignable; ++i) {
    int slot = src.Take(1e9);
    ASSERT_EQ(slot, i);
    // Slots 10 and 20 share the oldest time; 10 must go first.
    double use = (i == 10 || i == 20) ? 100.0 : 200.0 + i;
    src.Fill(slot, i, 0, 5, Bytes{1, 2}, use);
  }
  EXPECT_EQ(src.UsedCount(), 999u);
  int a = src.Take(1e9);
  EXPECT_EQ(a, 10);
  EXPECT_FALSE(src[10].Used);
  EXPECT_EQ(src.Find(10, 0, 5), -1);
  src.Fill(a, 1000, 0, 5, {}, 300);
  EXPECT_EQ(src.Take(1e9), 20);
  src.Fill(20, 1001, 0, 5, {}, 300);
  // Touching moves a slot out of the eviction order's front.
  src.Touch(0, 5000);
  EXPECT_EQ(src.Take(1e9), 1);
  // Slot 999 is never handed out.
  EXPECT_FALSE(src[999].Used);
}

TEST(MapTileSlots, AwaitedSlotsInSlotOrderAndDeferred) {
  TTileSource src;
  for (int i = 0; i < 5; ++i) src.Fill(src.Take(1e9), i, i, 3, {}, 1);
  src.SetData(2, Bytes{9, 9});
  src.Defer(3, 5000);
  std::vector<int> due = src.TakeAwaited(1000);
  EXPECT_EQ(due, (std::vector<int>{0, 1, 4}));
  EXPECT_TRUE(src[0].Requested);
  EXPECT_TRUE(src.TakeAwaited(1000).empty());
  EXPECT_EQ(src.TakeAwaited(5000), (std::vector<int>{3}));
  EXPECT_FALSE(src.HasAwaited());
  // A requested slot whose reply was refused goes back to awaited.
  src.SetRequested(0, false);
  EXPECT_TRUE(src.HasAwaited());
}

TEST(MapTileRequest, TextAndRecordSet) {
  std::vector<TTileAddress> tiles = {{1, 2, 3}, {40, 50, 6}};
  EXPECT_EQ(TileRequestText(1, 7, tiles),
            "{\"$c$\":\"get_osm\",\"map\":1,\"maps\":7,\"data\":[{\"x\":1,\"y\":2,\"z\":3},"
            "{\"x\":40,\"y\":50,\"z\":6}]}");
  TGFDataS rs;
  TileRequestRecords(1, 7, tiles, rs);
  int g = rs.FindGroup("main");
  ASSERT_EQ(g, 0);
  EXPECT_EQ(rs.GetString(g, rs.FindPar(g, "command"), 0), "Get_OSM");
  EXPECT_EQ(rs.GetInteger(g, rs.FindPar(g, "maps"), 0), 7);
  int d = rs.FindGroup("data");
  ASSERT_EQ(rs.RecordCount(d), 2);
  EXPECT_EQ(rs.GetInteger(d, rs.FindPar(d, "x"), 1), 40);
  EXPECT_EQ(rs.GetInteger(d, rs.FindPar(d, "z"), 1), 6);
  // Survives the byte form the link carries.
  TGFDataS back;
  ASSERT_TRUE(back.FromBytes(rs.ToBytes()));
  EXPECT_EQ(back.GetInteger(1, back.FindPar(1, "y"), 0), 2);
}

TEST(MapTileCache, FileNamesFollowTheFolderScheme) {
  EXPECT_EQ(TileFileName("/w/cache", 0, 15, 19808, 10243), "/w/cache0/15/19808/10243.png");
  EXPECT_EQ(TileColumnDir("/w/cache", 12, 3, 4), "/w/cache12/3/4");
  EXPECT_NEAR(TileLifetime(), 13.999838, 1e-6);
}

class MapTiles : public MapTest {
 protected:
  struct Sent {
    std::vector<std::string> texts;
    int records = 0;
    std::string order;  // 'R' record set, 'T' text, in raising order
  };
  void Capture(TDrawMap& m) {
    m.OnSendData = [this](TDrawMap*, TGFDataS& rs) {
      sent_.order += 'R';
      sent_.records = rs.RecordCount(rs.FindGroup("data"));
    };
    m.OnSendDataU = [this](TDrawMap*, const std::string& t) {
      sent_.order += 'T';
      sent_.texts.push_back(t);
    };
  }
  // A control of 1109 x 881 whose one screen needs 6 x 5 = 30 tiles at zoom 10.
  TDrawMap& Make30() {
    const int z = 10, x = 600, y = 300;
    stru_ya probe;
    probe.Zoom = z;
    double lon = static_cast<double>(TileWestLonOf(x, z)) + 20.5 * (360.0 / 1024 / 256);
    double north = static_cast<double>(TileNorthLatOf(y, z));
    double south = static_cast<double>(TileNorthLatOf(y + 1, z));
    double lat = north + 100.5 * (south - north) / 256;
    TDrawMap& m = Make(1109, 881, DefaultLayout(), lon, lat, z);
    EXPECT_EQ(m.Screens[1].CenterOffsetX, 20);
    EXPECT_EQ(m.Screens[1].CenterOffsetY, 100);
    return m;
  }
  Sent sent_;
};

TEST_F(MapTiles, ThirtyMissingTilesLeaveInOneRequestInSlotOrder) {
  TDrawMap& m = Make30();
  Capture(m);
  const auto& tiles = m.Screens[1].VisibleTiles;
  ASSERT_EQ(tiles.size(), 30u);
  std::vector<TTileAddress> expect;
  std::vector<std::pair<int, TTileAddress>> by_slot;
  for (const TVisibleTile& t : tiles) {
    ASSERT_GE(t.Slot, 0);
    by_slot.push_back({t.Slot, {t.X, t.Y, 10}});
  }
  std::sort(by_slot.begin(), by_slot.end(), [](auto& a, auto& b) { return a.first < b.first; });
  for (auto& p : by_slot) expect.push_back(p.second);
  m.Tick();
  ASSERT_EQ(sent_.texts.size(), 1u);
  EXPECT_EQ(sent_.texts[0], TileRequestText(1, 0, expect));
  EXPECT_EQ(sent_.records, 30);
  EXPECT_EQ(sent_.order, "RT");
  m.Tick();
  EXPECT_EQ(sent_.texts.size(), 1u);
  EXPECT_TRUE(m.MapFrames[1].Tiles[0][tiles[0].Slot].Requested);
}

TEST_F(MapTiles, NothingIsRequestedWhileNotWorkingOrForMapZero) {
  TDrawMap& m = Make30();
  Capture(m);
  m.Working = false;
  m.Tick();
  EXPECT_TRUE(sent_.texts.empty());
  m.Working = true;
  m.MapFrames[1].Active = false;
  m.Tick();
  EXPECT_TRUE(sent_.texts.empty());
}

TEST_F(MapTiles, CachedTilesSendNothingAndFillTheSlots) {
  TDrawMap& first = Make30();
  std::vector<TVisibleTile> tiles = first.Screens[1].VisibleTiles;
  Bytes jpeg = EncodePicture(SolidTile(qRgb(10, 200, 30)), "JPEG");
  for (const TVisibleTile& t : tiles) {
    std::string name = TileFileName(CacheDir(), 0, 10, t.X, t.Y);
    ASSERT_TRUE(plat::ForceDirectories(TileColumnDir(CacheDir(), 0, 10, t.X)));
    ASSERT_TRUE(plat::WriteFileAtomic(name, jpeg));
  }
  TDrawMap& m = Make30();
  Capture(m);
  m.Tick();
  EXPECT_TRUE(sent_.texts.empty());
  for (const TVisibleTile& t : m.Screens[1].VisibleTiles) {
    ASSERT_GE(t.Slot, 0);
    EXPECT_EQ(m.MapFrames[1].Tiles[0][t.Slot].Data, jpeg);
  }
}

TEST_F(MapTiles, StaleCacheFilesAreDeletedAndRequested) {
  TDrawMap& first = Make30();
  std::vector<TVisibleTile> tiles = first.Screens[1].VisibleTiles;
  Bytes jpeg = EncodePicture(SolidTile(qRgb(10, 200, 30)), "JPEG");
  auto write = [&](const TVisibleTile& t, int age_days) {
    std::string name = TileFileName(CacheDir(), 0, 10, t.X, t.Y);
    plat::ForceDirectories(TileColumnDir(CacheDir(), 0, 10, t.X));
    plat::WriteFileAtomic(name, jpeg);
    fs::last_write_time(name, fs::file_time_type::clock::now() - std::chrono::hours(24 * age_days));
    return name;
  };
  std::string fresh = write(tiles[0], 13);
  std::string stale = write(tiles[1], 15);
  TDrawMap& m = Make30();
  Capture(m);
  EXPECT_TRUE(plat::FileExists(fresh));
  EXPECT_FALSE(plat::FileExists(stale));
  m.Tick();
  ASSERT_EQ(sent_.texts.size(), 1u);
  EXPECT_EQ(sent_.texts[0].find("{\"x\":" + std::to_string(tiles[0].X) +
                                ",\"y\":" + std::to_string(tiles[0].Y) + ","),
            std::string::npos);
  EXPECT_NE(sent_.texts[0].find("{\"x\":" + std::to_string(tiles[1].X) +
                                ",\"y\":" + std::to_string(tiles[1].Y) + ","),
            std::string::npos);
}

TEST_F(MapTiles, EdgeOfTheWorldTilesGetNoSlot) {
  TDrawMap& m = Make(1504, 883, DefaultLayout(), -179.0, 80.0, 2);
  Capture(m);
  int outside = 0;
  for (const TVisibleTile& t : m.Screens[1].VisibleTiles) {
    bool in = t.X >= 0 && t.X <= 3 && t.Y >= 0 && t.Y <= 3;
    if (!in) {
      ++outside;
      EXPECT_EQ(t.Slot, -1);
    } else {
      EXPECT_GE(t.Slot, 0);
    }
  }
  EXPECT_GT(outside, 0);
  m.Tick();
  ASSERT_EQ(sent_.texts.size(), 1u);
  EXPECT_EQ(sent_.texts[0].find("\"x\":-"), std::string::npos);
  EXPECT_EQ(sent_.texts[0].find("\"y\":-"), std::string::npos);
}

TEST_F(MapTiles, SameTileOnTwoScreensSharesOneSlot) {
  std::string layout = DefaultLayout();
  layout.replace(0, 2, "02");
  TDrawMap& m = Make(1504, 883, layout);
  const TVisibleTile* on1 = nullptr;
  for (const TVisibleTile& t : m.Screens[1].VisibleTiles)
    if (t.X == m.Screens[1].TileX && t.Y == m.Screens[1].TileY) on1 = &t;
  const TVisibleTile* on2 = nullptr;
  for (const TVisibleTile& t : m.Screens[2].VisibleTiles)
    if (t.X == m.Screens[2].TileX && t.Y == m.Screens[2].TileY) on2 = &t;
  ASSERT_TRUE(on1 && on2);
  EXPECT_EQ(on1->Slot, on2->Slot);
}

TEST_F(MapTiles, RepliesInPngAndOtherFormats) {
  TDrawMap& m = Make30();
  Capture(m);
  m.Tick();
  const auto tiles = m.Screens[1].VisibleTiles;
  const TVisibleTile& a = tiles[0];
  const TVisibleTile& b = tiles[1];
  m.Screens[1].RefreshPending = false;

  Bytes png = EncodePicture(SolidTile(qRgb(200, 10, 10)), "PNG");
  m.PutTile(TileReply(a.X, a.Y, 10, 1, 0, 1, png));
  const stru_OSM& sa = m.MapFrames[1].Tiles[0][a.Slot];
  ASSERT_GE(sa.Data.size(), 2u);
  EXPECT_EQ(sa.Data[0], 0xFF);  // JPEG start of image
  EXPECT_EQ(sa.Data[1], 0xD8);
  EXPECT_FALSE(sa.Requested);
  Bytes on_disk;
  ASSERT_TRUE(plat::ReadWholeFile(TileFileName(CacheDir(), 0, 10, a.X, a.Y), on_disk));
  EXPECT_EQ(on_disk, sa.Data);
  EXPECT_TRUE(m.Screens[1].RefreshPending);
  QImage decoded = QImage::fromData(on_disk.data(), static_cast<int>(on_disk.size()), "JPEG");
  EXPECT_NEAR(qRed(decoded.pixel(128, 128)), 200, 6);

  Bytes raw = {0x11, 0x22, 0x33, 0x44, 0x55};
  m.PutTile(TileReply(b.X, b.Y, 10, 1, 0, 0, raw));
  EXPECT_EQ(m.MapFrames[1].Tiles[0][b.Slot].Data, raw);
  ASSERT_TRUE(plat::ReadWholeFile(TileFileName(CacheDir(), 0, 10, b.X, b.Y), on_disk));
  EXPECT_EQ(on_disk, raw);

  // The pending rebuild happens on the next tick.
  m.Tick();
  EXPECT_FALSE(m.Screens[1].RefreshPending);
}

TEST_F(MapTiles, TwentySevenBytesFreeTheSlotTwentyEightStoreTwo) {
  TDrawMap& m = Make30();
  m.Tick();
  const auto tiles = m.Screens[1].VisibleTiles;
  Bytes r27 = TileReply(tiles[0].X, tiles[0].Y, 10, 1, 0, 0, Bytes{0x7});
  ASSERT_EQ(r27.size(), 27u);
  m.PutTile(r27);
  EXPECT_FALSE(m.MapFrames[1].Tiles[0][tiles[0].Slot].Used);
  Bytes r28 = TileReply(tiles[1].X, tiles[1].Y, 10, 1, 0, 0, Bytes{0xAB, 0xCD});
  m.PutTile(r28);
  EXPECT_EQ(m.MapFrames[1].Tiles[0][tiles[1].Slot].Data, (Bytes{0xAB, 0xCD}));
}

TEST_F(MapTiles, RepliesNobodyWaitsForAreIgnored) {
  TDrawMap& m = Make30();
  m.Tick();
  const TVisibleTile t = m.Screens[1].VisibleTiles[0];
  const Bytes pic = {1, 2, 3};
  m.PutTile(TileReply(t.X, t.Y, 11, 1, 0, 0, pic));   // other zoom
  m.PutTile(TileReply(t.X, t.Y, 10, 1, 5, 0, pic));   // other source
  m.PutTile(TileReply(t.X, t.Y, 10, 7, 0, 0, pic));   // no such map
  m.PutTile(TileReply(t.X, t.Y, 10, 1, 70, 0, pic));  // no such source
  m.PutTile(TileReply(t.X, t.Y, 10, 1, -1, 0, pic));
  Bytes short_reply = TileReply(t.X, t.Y, 10, 1, 0, 0, {});
  short_reply.resize(19);
  m.PutTile(short_reply);
  m.PutTile(nullptr, 0);
  const stru_OSM& s = m.MapFrames[1].Tiles[0][t.Slot];
  EXPECT_TRUE(s.Used);
  EXPECT_TRUE(s.Data.empty());
  EXPECT_TRUE(s.Requested);
  EXPECT_FALSE(fs::exists(TileSourceDir(CacheDir(), 5)));
}

TEST_F(MapTiles, BrokenPngIsLoggedAndAskedForAgainAfterAPause) {
  TDrawMap& m = Make30();
  Capture(m);
  std::vector<std::string> errors;
  m.OnError = [&](TDrawMap*, const std::string& e) { errors.push_back(e); };
  m.Tick();
  ASSERT_EQ(sent_.texts.size(), 1u);
  const TVisibleTile t = m.Screens[1].VisibleTiles[0];
  m.PutTile(TileReply(t.X, t.Y, 10, 1, 0, 1, Bytes{'x', 'P', 'N', 'G', 0, 1, 2}));
  EXPECT_EQ(errors.size(), 1u);
  const stru_OSM& s = m.MapFrames[1].Tiles[0][t.Slot];
  EXPECT_TRUE(s.Used);
  EXPECT_TRUE(s.Data.empty());
  EXPECT_FALSE(s.Requested);
  m.Tick();
  EXPECT_EQ(sent_.texts.size(), 1u);  // not on the very next tick
  clock_->Advance(2500);
  m.Tick();
  ASSERT_EQ(sent_.texts.size(), 2u);
  EXPECT_NE(sent_.texts[1].find("{\"x\":" + std::to_string(t.X) + ",\"y\":" + std::to_string(t.Y)),
            std::string::npos);
  // A second failure waits longer.
  m.PutTile(TileReply(t.X, t.Y, 10, 1, 0, 1, Bytes{'x', 'P', 'N', 'G', 0, 1, 2}));
  clock_->Advance(2500);
  m.Tick();
  EXPECT_EQ(sent_.texts.size(), 2u);
  clock_->Advance(2000);
  m.Tick();
  EXPECT_EQ(sent_.texts.size(), 3u);
}

TEST_F(MapTiles, FoldersAreCreatedOnTheFirstReply) {
  TDrawMap& m = Make30();
  m.Tick();
  const TVisibleTile t = m.Screens[1].VisibleTiles[3];
  EXPECT_FALSE(fs::exists(TileSourceDir(CacheDir(), 0)));
  m.PutTile(TileReply(t.X, t.Y, 10, 1, 0, 0, Bytes{1, 2, 3}));
  EXPECT_TRUE(fs::is_directory(TileColumnDir(CacheDir(), 0, 10, t.X)));
  EXPECT_TRUE(fs::exists(TileFileName(CacheDir(), 0, 10, t.X, t.Y)));
}
