// One offscreen map control shared by every input of a fuzz run.
#pragma once
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "map/drawmap.h"

inline TDrawMap& FuzzMap(int w, int h) {
  static int argc = 1;
  static char name[] = "fuzz_map";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.debug=false;qt.gui.imageio*=false");
    return new QApplication(argc, argv);
  }();
  (void)app;
  static TDrawMap* map = [w, h] {
    auto* m = new TDrawMap();
    m->Timer()->stop();
    m->resize(w, h);
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("svcdesk_fuzz_map_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    static std::filesystem::path s_dir = dir;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(s_dir, ec);
    });
    m->TileCacheDir = (dir / "cache").string();
    m->MapFrames[1].Active = true;
    m->MapFrames[1].Kind = kMapKindTiles;
    for (int s = 1; s <= TDrawMap::kScreens; ++s) {
      m->Screens[static_cast<size_t>(s)].CenterLon = 37.6;
      m->Screens[static_cast<size_t>(s)].CenterLat = 55.7;
      m->Screens[static_cast<size_t>(s)].Zoom = 12;
      m->Screens[static_cast<size_t>(s)].MapIndex = 1;
    }
    m->Initialize();
    std::string layout;
    for (int i = 0; i < 64; ++i) layout += "01";
    m->SetLayout(layout);
    return m;
  }();
  return *map;
}
