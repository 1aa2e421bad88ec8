// Set-up for the technicians page tests: one QApplication, a fake clock, a
// working folder, a real map control, real link queues, a real "object" table
// loaded from a table file, a real history store and the screen-settings file.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../tables/writer.h"
#include "app/history/history.h"
#include "app/history/history_writer.h"
#include "app/records/records.h"
#include "app/teh_page.h"
#include "foundation/fifo.h"
#include "link/waker.h"
#include "map/drawmap.h"
#include "platform/clock.h"
#include "platform/text1251.h"
#include "tables/base_client.h"

namespace teh {

inline void EnsureApp() {
  if (QApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "test_app";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  new QApplication(argc, argv);
}

// One guarded object of the test table.
struct Obj {
  int32_t number;
  const char* name;     // UTF-8
  const char* addrnp;   // UTF-8
  const char* address;  // UTF-8
  double lon, lat;
};

// The "object" table with the object number in the seventh column, as the
// main window's index expects it.
inline std::string ObjectTableFile(const std::vector<Obj>& objs) {
  std::string n_abs, p_d, name, x1, x2, addrnp, address, number, kx, ky;
  int32_t i = 1;
  for (const Obj& o : objs) {
    n_abs += tw::I32(i++);
    p_d += tw::U8(0);
    name += tw::Fixed(plat::Utf8ToCp1251(o.name), 41);
    x1 += tw::U8(0);
    x2 += tw::U8(0);
    addrnp += tw::Fixed(plat::Utf8ToCp1251(o.addrnp), 41);
    address += tw::Fixed(plat::Utf8ToCp1251(o.address), 81);
    number += tw::I32(o.number);
    kx += tw::F64(o.lon);
    ky += tw::F64(o.lat);
  }
  std::vector<tw::Col> c;
  c.push_back({1, "n_abs", 1, 4, 0, 0, n_abs});
  c.push_back({2, "p_d", 3, 1, 0, 0, p_d});
  c.push_back({3, "name", 2, 41, 0, 0, name});
  c.push_back({4, "x1", 3, 1, 0, 0, x1});
  c.push_back({5, "x2", 3, 1, 0, 0, x2});
  c.push_back({6, "addrnp", 2, 41, 0, 0, addrnp});
  c.push_back({7, "number", 1, 4, 0, 0, number});
  c.push_back({8, "address", 2, 81, 0, 0, address});
  c.push_back({9, "karta_x", 7, 8, 0, 0, kx});
  c.push_back({10, "karta_y", 7, 8, 0, 0, ky});
  return tw::TableFile("object", static_cast<int32_t>(objs.size()), c);
}

// A technician event for the history.
struct Ev {
  uint16_t type;
  int h, m;
  int32_t object;
  const char* object_name;  // UTF-8; nullptr: negative reference
  const char* teh;          // UTF-8
  const char* kind;         // UTF-8; nullptr: none
};

class TehTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApp();
    tw::FixedRegional();
    clock_ = std::make_unique<plat::FakeClock>(100000, plat::EncodeDate(2026, 12, 11) + 0.5);
    plat::SetClock(clock_.get());
    dir_ = tw::FreshDir("teh");
    wd_ = dir_.string() + "/";
  }
  void TearDown() override {
    page_.reset();
    map_.reset();
    history_.reset();
    tables_.clear();
    plat::SetClock(nullptr);
    std::filesystem::remove_all(dir_);
  }

  // The map control w x h with the default layout, every screen at the centre
  // and zoom given, and the page wired to it.
  void Make(int w = 800, int h = 600, double lon = 37.6173, double lat = 55.7558, int zoom = 15) {
    map_ = std::make_unique<TDrawMap>();
    map_->Timer()->stop();
    map_->resize(w, h);
    history_ = std::make_unique<THistory>("hx8_20261211", wd_);
    const int i = CreateBaseMain(tables_, "object", "", false, wd_);
    objects_ = tables_[static_cast<size_t>(i)].get();
    screen_ = TGFDataS(wd_, "default.scr");
    WriteDefaultScreens(lon, lat, zoom);

    TTehPage::Links l;
    l.Map = map_.get();
    l.ReadJSON = &read_json_;
    l.Soob = &soob_;
    l.History = history_.get();
    l.Objects = objects_;
    l.ObjectIndex = &index_;
    l.ObjectIndexReady = &index_ready_;
    l.ScreenData = &screen_;
    l.OnGetFileOk = [this](const std::string& name) { got_files_.push_back(name); };
    page_ = std::make_unique<TTehPage>(l);
    page_->PrepareMap(wd_ + "cache", wd_);
    page_->StartMap();
    page_->ApplyMainSettings();
    page_->ApplyScreenSettings();
  }

  void WriteDefaultScreens(double lon, double lat, int zoom) {
    int main = screen_.AddGroup("Main");
    int tek = screen_.AddPar(main, "TekScreen", kGFString, 255);
    std::string layout;
    for (int i = 0; i < 64; ++i) layout += "01";
    screen_.SetString(main, tek, TGFDataS::kAppend, layout);
    screen_.AddPar(main, "ShowPark", kGFBool, 1);
    int ya = screen_.AddGroup("ya");
    int clon = screen_.AddPar(ya, "CLon", kGFSingle, 4);
    int clat = screen_.AddPar(ya, "CLat", kGFSingle, 4);
    int cz = screen_.AddPar(ya, "CZ", kGFInteger, 4);
    int maps = screen_.AddPar(ya, "Maps", kGFInteger, 4);
    int no = screen_.AddPar(ya, "NumberO", kGFInteger, 4);
    for (int i = 0; i < 64; ++i) {
      screen_.SetSingle(ya, clon, TGFDataS::kAppend, static_cast<float>(lon));
      screen_.SetSingle(ya, clat, TGFDataS::kCurrent, static_cast<float>(lat));
      screen_.SetInteger(ya, cz, TGFDataS::kCurrent, zoom);
      screen_.SetInteger(ya, maps, TGFDataS::kCurrent, 0);
      screen_.SetInteger(ya, no, TGFDataS::kCurrent, 0);
    }
    ASSERT_TRUE(screen_.Save());
  }

  // Loads the table and builds the object index the way the main window does.
  void LoadObjects(const std::vector<Obj>& objs) {
    const auto p = dir_ / "temp" / "object.dat";
    tw::WriteFile(p, ObjectTableFile(objs));
    objects_->LoadFromFile(p.string());
    index_.assign(1000000, 0);
    auto lock = objects_->Lock();
    for (int32_t i = 1; i <= objects_->Count(); ++i) {
      const int32_t n = objects_->GetFieldNumber(7, i)->GetAsInteger();
      if (n >= 0 && n < 1000000) index_[static_cast<size_t>(n)] = i;
    }
    index_ready_ = true;
  }

  // Replaces the day's history as the link does when it delivers it.
  void PutHistory(const std::vector<Ev>& events) {
    THistoryWriter w(3, 2026, 12, 11);
    for (const Ev& e : events) {
      const int32_t obj = e.object_name ? w.AddString(plat::Utf8ToCp1251(e.object_name)) : -1;
      const int32_t teh = w.AddString(plat::Utf8ToCp1251(e.teh));
      const int32_t kind = e.kind ? w.AddString(plat::Utf8ToCp1251(e.kind)) : -1;
      w.AddEvent(e.type, static_cast<uint8_t>(e.h), static_cast<uint8_t>(e.m), 0, e.object, obj,
                 teh, kind);
    }
    history_->ClearSegment(THistorySegment::Memo);
    history_->ClearSegment(THistorySegment::Zap);
    history_->ClearSegment(THistorySegment::Zag);
    history_->PutSegment(THistorySegment::Memo, 0, w.Memo().data(), w.Memo().size());
    history_->PutSegment(THistorySegment::Zap, 0, w.Zap().data(), w.Zap().size());
    history_->PutSegment(THistorySegment::Zag, 0, w.Zag().data(), w.Zag().size());
    history_->ParseHeaderLocked();
    history_->REfresh = true;
  }

  const std::vector<stru_tehnik>& Technicians() const { return map_->MapFrames[1].Technicians; }
  stru_ya& Screen(int s) { return map_->Screens[static_cast<size_t>(s)]; }

  std::unique_ptr<plat::FakeClock> clock_;
  std::filesystem::path dir_;
  std::string wd_;
  std::unique_ptr<TDrawMap> map_;
  std::unique_ptr<THistory> history_;
  TBaseList tables_;
  TBaseClient* objects_ = nullptr;
  std::vector<int32_t> index_;
  std::atomic<bool> index_ready_{false};
  TGFDataS screen_;
  OchFIFOJSON read_json_{100};
  TWaker waker_;
  TSoobQueue soob_{100, waker_};
  std::vector<std::string> got_files_;
  std::unique_ptr<TTehPage> page_;
};

}  // namespace teh
