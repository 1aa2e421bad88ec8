// Shared set-up for the map control tests: one QApplication for the whole
// program, a fake clock, a temporary cache folder and helpers that make tile
// pictures and replies.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QTimer>
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>

#include "map/drawmap.h"
#include "platform/clock.h"

inline QApplication& MapApp() {
  static int argc = 1;
  static char name[] = "test_map";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

inline Bytes EncodePicture(const QImage& img, const char* format, int quality = -1) {
  QByteArray out;
  QBuffer buf(&out);
  buf.open(QIODevice::WriteOnly);
  img.save(&buf, format, quality);
  return Bytes(out.begin(), out.end());
}

// A 256 x 256 tile in one colour (Qt pixel value).
inline QImage SolidTile(QRgb colour, int size = 256) {
  QImage img(size, size, QImage::Format_RGB32);
  img.fill(colour);
  return img;
}

// A tile reply: header (x, y, z, map, source, unused, format, unused) + picture.
inline Bytes TileReply(int x, int y, int z, int map, int source, uint8_t format,
                       const Bytes& picture) {
  Bytes b(26, 0);
  auto put = [&](size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
  };
  put(0, x);
  put(4, y);
  put(8, z);
  put(12, map);
  put(16, source);
  b[24] = format;
  b.resize(26 + picture.size());
  if (!picture.empty()) std::copy(picture.begin(), picture.end(), b.begin() + 26);
  return b;
}

inline double RealNow() {
  return plat::UnixToDateTime(static_cast<int64_t>(std::time(nullptr)));
}

class MapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MapApp();
    clock_ = std::make_unique<plat::FakeClock>(100000, RealNow());
    plat::SetClock(clock_.get());
    dir_ = std::filesystem::temp_directory_path() /
           ("svcdesk_map_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    map_.reset();
    plat::SetClock(nullptr);
    std::filesystem::remove_all(dir_);
  }

  // A control of w x h with map 1 as the tile map, every screen on map 1 at
  // the given centre and zoom, laid out as `layout`.
  TDrawMap& Make(int w = 1504, int h = 883, const std::string& layout = DefaultLayout(),
                 double lon = 37.6173, double lat = 55.7558, int zoom = 15) {
    map_ = std::make_unique<TDrawMap>();
    map_->Timer()->stop();
    map_->resize(w, h);
    map_->TileCacheDir = CacheDir();
    map_->MapFrames[1].Active = true;
    map_->MapFrames[1].Kind = kMapKindTiles;
    // Centres first, so that the start-up locating already binds the right tiles.
    for (int s = 1; s <= TDrawMap::kScreens; ++s) {
      stru_ya& ya = map_->Screens[static_cast<size_t>(s)];
      ya.CenterLon = lon;
      ya.CenterLat = lat;
      ya.Zoom = zoom;
      ya.MapIndex = 1;
    }
    map_->Initialize();
    map_->ApplyLayout();
    map_->BuildScreen(1, 1);
    map_->SetLayout(layout);
    for (int s = 1; s <= TDrawMap::kScreens; ++s) {
      stru_ya& ya = map_->Screens[static_cast<size_t>(s)];
      ya.CenterLon = lon;
      ya.CenterLat = lat;
      ya.Zoom = zoom;
      ya.TileSource = 0;
      ya.MapIndex = 1;
    }
    for (int s = 1; s <= TDrawMap::kScreens; ++s) map_->LocateScreen(s);
    return *map_;
  }

  static std::string DefaultLayout() {
    std::string s;
    for (int i = 0; i < 64; ++i) s += "01";
    return s;
  }
  std::string CacheDir() const { return (dir_ / "cache").string(); }

  std::unique_ptr<plat::FakeClock> clock_;
  std::filesystem::path dir_;
  std::unique_ptr<TDrawMap> map_;
};
