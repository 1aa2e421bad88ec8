// The whole workstation against the stand-in server with its demo data, on
// loopback: log in through the dialog, load the tables, open the technicians
// page, get tiles drawn, see every technician of the day on the map, and see a
// live event change one of them.
//
// With SVCDESK_SCREENSHOT=file.png the window is saved once everything shows
// (the README's picture is taken this way under Xvfb).
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "app/form1.h"
#include "app/paszas.h"
#include "app/teh_page.h"
#include "foundation/json.h"
#include "link/client_udp.h"
#include "map/drawmap.h"
#include "map/wincolor.h"
#include "server/demo.h"
#include "server/log.h"
#include "server/server.h"
#include "teh_fixture.h"

namespace teh {
namespace {

constexpr double kDemoLon = 49.1088, kDemoLat = 55.7963;

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

// Runs the event loop until done() or the timeout (real time) passes.
bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeout_ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

class TehEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApp();
    srv::SetLogLevel(srv::LogLevel::kQuiet);
    old_ = std::filesystem::current_path();
    dir_ = tw::FreshDir("e2e");
    srv::ServerOptions o;
    o.port = 0;
    o.data_dir = (dir_ / "server").string();
    o.demo = true;
    o.demo_objects = 400;
    o.live_event_ms = 0;  // the test makes the live event itself
    server_ = std::make_unique<srv::Server>(o);
    ASSERT_TRUE(server_->Start());
    // Just after midnight the demo day has not brought every technician out yet.
    const std::tm now = LocalNow();
    if (now.tm_hour * 3600 + now.tm_min * 60 + now.tm_sec < 2400) {
      int object = 1000;
      for (const std::string& name : srv::DemoTechnicians()) {
        srv::HistoryEvent e;
        e.type = srv::kEvWorkStart;
        e.hour = now.tm_hour, e.minute = now.tm_min, e.second = now.tm_sec;
        e.object = object++;
        e.object_name = W1251("Объект");
        e.technician = name;
        e.work_kind = W1251("Монтаж");
        ASSERT_TRUE(server_->AppendHistory(e));
      }
    }

    const std::filesystem::path work = dir_ / "work";
    std::filesystem::create_directories(work);
    std::ofstream(work / "setup.ini")
        << "[ServerHost]\r\nAddress=127.0.0.1\r\nPortU=" << server_->port()
        << "\r\n[Main]\r\nUserDefault=demo\r\n";
    // The screens look at the demo city: the screen file the demo script uses.
    std::filesystem::copy_file(
        std::filesystem::path(SVCDESK_SOURCE_DIR) / "scripts" / "demo.scr",
        work / "default.scr");
    std::filesystem::current_path(work);
  }
  void TearDown() override {
    form_.reset();
    server_.reset();
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }

  std::filesystem::path old_, dir_;
  std::unique_ptr<srv::Server> server_;
  std::unique_ptr<TForm1> form_;
};

// Fills in the login dialog as soon as it shows and presses "Ok".
void AnswerLogin(bool& answered) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* d = qobject_cast<TPasZas*>(w);
    if (d == nullptr || !d->isVisible() || answered) continue;
    d->MaskEdit2->setText(QStringLiteral("demo"));
    d->MaskEdit1->setText(QStringLiteral("demo"));
    d->Button1->click();
    answered = true;
  }
}

// A head-and-shoulders picture for technicians without a photo of their own.
void WriteMenJpg(const char* path) {
  QImage img(46, 46, QImage::Format_RGB32);
  img.fill(QColor(0xDD, 0xE6, 0xEE));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x6B, 0x7B, 0x8C));
  p.drawEllipse(QPointF(23, 17), 9, 10);
  p.drawEllipse(QRectF(6, 30, 34, 30));
  p.end();
  img.save(QString::fromLatin1(path), "JPG", 90);
}

// The zoom at which all the points fit into w x h pixels around their middle.
int FittingZoom(double lon0, double lon1, double lat0, double lat1, int w, int h) {
  for (int z = 17; z > 3; --z) {
    const double lon_px = 360.0 / (256.0 * std::pow(2.0, z));
    const double lat_px = lon_px * std::cos((lat0 + lat1) / 2 * M_PI / 180);
    if ((lon1 - lon0) / lon_px < w - 400 && (lat1 - lat0) / lat_px < h - 120) return z;
  }
  return 4;
}

TEST_F(TehEndToEnd, DemoTechniciansOnTheMapAndALiveEvent) {
  if (std::getenv("SVCDESK_SCREENSHOT") != nullptr) WriteMenJpg("men.jpg");
  form_ = std::make_unique<TForm1>(TForm1::Kind::Desk);
  form_->resize(1504, 883);
  bool answered = false;
  QTimer login;
  QObject::connect(&login, &QTimer::timeout, [&] { AnswerLogin(answered); });
  login.start(50);
  QTimer give_up;  // a login that never finishes must not hang the test
  give_up.setSingleShot(true);
  QObject::connect(&give_up, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<TPasZas*>(w)) d->Button2->click();
  });
  give_up.start(30000);
  ASSERT_TRUE(form_->FormCreate()) << "log-in or table loading did not finish";
  give_up.stop();
  login.stop();
  EXPECT_TRUE(answered);
  form_->show();
  // The demo's screen file was read: every screen looks at the demo city.
  EXPECT_NEAR(form_->DrawMap1->Screens[1].CenterLon, kDemoLon, 1e-4);
  EXPECT_NEAR(form_->DrawMap1->Screens[64].CenterLat, kDemoLat, 1e-4);
  EXPECT_EQ(form_->DrawMap1->Screens[1].Zoom, 12);

  // Tables loaded.
  for (auto& t : form_->Base) {
    auto lock = t->Lock();
    EXPECT_GT(t->Count(), 0) << t->NameTable();
  }
  EXPECT_EQ(form_->Base[form_->NumberObject]->Count(), 400);

  // The technicians page, once the objects are indexed and the day replayed.
  form_->SpeedButton2Click();
  TDrawMap& map = *form_->DrawMap1;
  ASSERT_TRUE(WaitFor([&] { return map.Working && !form_->Teh->TehWork().empty(); }, 15000));
  const size_t demo_count = srv::DemoTechnicians().size();
  ASSERT_TRUE(WaitFor([&] { return form_->Teh->TehWork().size() == demo_count; }, 10000));

  // Every technician stands at a known object; the view is set to show them all.
  double lon0 = 1e9, lon1 = -1e9, lat0 = 1e9, lat1 = -1e9;
  for (const stru_tehnik& t : map.MapFrames[1].Technicians) {
    SCOPED_TRACE(plat::Cp1251ToUtf8(t.Name));
    EXPECT_NE(t.Lon, 0);
    EXPECT_NE(t.Line3, "");
    lon0 = std::min(lon0, t.Lon), lon1 = std::max(lon1, t.Lon);
    lat0 = std::min(lat0, t.Lat), lat1 = std::max(lat1, t.Lat);
  }
  stru_ya& ya = map.Screens[1];
  ya.CenterLon = (lon0 + lon1) / 2 + (lon1 - lon0) * 0.1;  // labels extend to the right
  ya.CenterLat = (lat0 + lat1) / 2;
  map.SetZoom(1, FittingZoom(lon0, lon1, lat0, lat1, ya.Bounds.Width(), ya.Bounds.Height()));
  form_->Teh->RebuildTechnicians();

  // Tiles are asked for and drawn: every visible tile slot gets its picture.
  auto tiles_in = [&] {
    const TTileSource& src = map.MapFrames[1].Tiles[0];
    for (const TVisibleTile& vt : ya.VisibleTiles)
      if (!TTileSource::ValidSlot(vt.Slot) || src[vt.Slot].Data.empty()) return false;
    return !ya.VisibleTiles.empty();
  };
  ASSERT_TRUE(WaitFor(tiles_in, 20000)) << "tiles did not arrive";
  const std::vector<std::string> cmds = server_->ReceivedCommands();
  EXPECT_TRUE(std::any_of(cmds.begin(), cmds.end(), [](const std::string& c) {
    return GetValueFromJSON(c, "$c$") == "get_osm";
  }));
  form_->Timer2Timer();  // recompose now rather than within the second
  if (const char* shot = std::getenv("SVCDESK_SCREENSHOT")) {
    QApplication::processEvents();
    EXPECT_TRUE(form_->grab().save(QString::fromLocal8Bit(shot)));
  }

  const QImage& img = map.Primary.Image;
  const QRgb back = mapdraw::WinToRgb(mapdraw::clMapBack);
  // A tile corner away from the labels shows the tile, not the background.
  int tile_pixels = 0;
  for (int x = 0; x < img.width(); x += 37)
    for (int y = 0; y < img.height(); y += 41)
      if (img.pixel(x, y) != back) ++tile_pixels;
  EXPECT_GT(tile_pixels, 100);
  // Each label where the map puts it: the white box, and where no later label
  // covers it, the text of the name (black, or blue for "На объекте").
  const auto& techs = map.MapFrames[1].Technicians;
  int uncovered = 0;
  for (size_t i = 0; i < techs.size(); ++i) {
    const stru_tehnik& t = techs[i];
    SCOPED_TRACE(plat::Cp1251ToUtf8(t.Name));
    const QPoint p = map.GeoToScreenPixel(1, t.Lon, t.Lat);
    ASSERT_TRUE(img.rect().contains(p)) << p.x() << "," << p.y();
    const QRect name(p.x() + 27, p.y() - 22, 30, 10);
    bool covered = false;
    for (size_t k = i + 1; k < techs.size(); ++k)
      covered = covered || QRect(QPoint(techs[k].BoxLeft, techs[k].BoxTop),
                                 QPoint(techs[k].BoxRight, techs[k].BoxBottom))
                               .intersects(name);
    int white = 0, text = 0;
    for (int x = name.left(); x <= name.right(); ++x)
      for (int y = name.top(); y <= name.bottom(); ++y) {
        if (!img.rect().contains(x, y)) continue;
        const QColor c = img.pixelColor(x, y);
        if (c == Qt::white) ++white;
        if (c.red() < 90 && c.green() < 90) ++text;
      }
    EXPECT_GT(white, 20);
    if (!covered) {
      EXPECT_GT(text, 5);
      ++uncovered;
    }
  }
  EXPECT_GE(uncovered, 2);  // the text test did test something

  // A live event: a technician on the road starts work, or one at work ends it.
  const stru_tehwork who = form_->Teh->TehWork().front();
  srv::HistoryEvent e;
  const std::tm local = LocalNow();
  e.hour = local.tm_hour;
  e.minute = local.tm_min;
  e.second = local.tm_sec;
  e.technician = who.Name;
  if (who.AtWork) {
    // Every open object of the technician ends.
    std::stringstream open(who.OpenObjects);
    for (std::string item; std::getline(open, item, ',');) {
      if (item.empty()) continue;
      e.type = srv::kEvWorkEnd6;
      e.object = std::atoi(item.c_str());
      e.object_name = who.ObjectName;
      e.work_kind = W1251("Монтаж");
      ASSERT_TRUE(server_->AppendHistory(e));
    }
  } else {
    e.type = srv::kEvWorkStart;
    e.object = 1000;
    e.object_name = W1251("Объект");
    e.work_kind = W1251("Монтаж");
    ASSERT_TRUE(server_->AppendHistory(e));
  }
  const std::string want = who.AtWork ? W1251("В дороге") : W1251("На объекте");
  ASSERT_TRUE(WaitFor(
      [&] {
        for (const stru_tehnik& t : map.MapFrames[1].Technicians)
          if (t.Name == who.Name) return t.Status == want;
        return false;
      },
      15000))
      << "the live event did not reach the map";
}

}  // namespace
}  // namespace teh
