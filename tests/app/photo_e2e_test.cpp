// The workstation against the stand-in server with its demo data, on loopback:
// log in through the dialog, load the tables, see the first photo, and work the
// page: a record moved into the object's photos and one deleted come back from
// the server as table updates. Both programs, svcdesk and svcphoto.
//
// With SVCDESK_PHOTO_SCREENSHOT=file.png the window is saved once the photo
// shows (the README's picture is taken this way under Xvfb).
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdlib>
#include <fstream>

#include "app/form1.h"
#include "app/form2.h"
#include "app/getpassword.h"
#include "app/paszas.h"
#include "app/photo_image.h"
#include "app/photo_page.h"
#include "app/setup_ini.h"
#include "app/string_grid.h"
#include "fixtures.h"
#include "foundation/json.h"
#include "link/client_udp.h"
#include "platform/clock.h"
#include "platform/inifile.h"
#include "server/log.h"
#include "server/server.h"

namespace {

bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeout_ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

int Count(TBaseClient& t) {
  auto lock = t.Lock();
  return t.Count();
}

class PhotoEndToEnd : public apptest::WorkDirTest,
                      public ::testing::WithParamInterface<TForm1::Kind> {
 protected:
  void SetUp() override {
    WorkDirTest::SetUp();
    srv::SetLogLevel(srv::LogLevel::kQuiet);
    srv::ServerOptions o;
    o.port = 0;
    o.data_dir = (dir_ / "server").string();
    o.demo = true;
    o.demo_objects = 300;
    o.live_event_ms = 0;
    server_ = std::make_unique<srv::Server>(o);
    ASSERT_TRUE(server_->Start());
    const char* key = GetParam() == TForm1::Kind::Desk ? "PortU" : "Port";
    std::ofstream(dir_ / "setup.ini") << "[ServerHost]\r\nAddress=127.0.0.1\r\n"
                                      << key << "=" << server_->port() << "\r\n";
  }
  void TearDown() override {
    form2_.reset();
    form_.reset();
    server_.reset();
    WorkDirTest::TearDown();
  }

  std::unique_ptr<srv::Server> server_;
  std::unique_ptr<TForm1> form_;
  std::unique_ptr<TForm2> form2_;
};

TEST_P(PhotoEndToEnd, LogInLoadShowAndWorkThePhotos) {
  form_ = std::make_unique<TForm1>(GetParam());
  bool answered = false;
  QTimer login;
  QObject::connect(&login, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* d = qobject_cast<TPasZas*>(w);
      if (d == nullptr || !d->isVisible() || answered) continue;
      d->MaskEdit2->setText(QStringLiteral("demo"));
      d->MaskEdit1->setText(QStringLiteral("demo"));
      d->Button1->click();
      answered = true;
    }
  });
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
  form2_ = std::make_unique<TForm2>(form_.get());
  form_->SetForm2(form2_.get());
  form_->show();
  EXPECT_EQ(plat::IniFile(Dir() + "setup.ini").ReadString("Main", "UserDefault", ""), "demo");

  TPhotoPage& page = *form_->PhotoPage;
  TBaseClient& mob = *form_->Base[form_->NumberMobPhoto];
  TBaseClient& photo = *form_->Base[form_->NumberPhoto];
  ASSERT_TRUE(WaitFor([&] { return !page.MobPhotoIdx.empty(); }, 15000));
  EXPECT_EQ(static_cast<int>(page.MobPhotoIdx.size()), Count(mob));
  EXPECT_EQ(form_->Label2->text(),
            QString::fromUtf8("Фотографии ") + QString::number(page.MobPhotoIdx.size()));
  ASSERT_FALSE(page.PhotoIdx.empty());
  ASSERT_TRUE(WaitFor([&] { return !page.Image1->Picture().isNull(); }, 15000))
      << "the first photo did not arrive";

  if (const char* shot = std::getenv("SVCDESK_PHOTO_SCREENSHOT")) {
    if (GetParam() == TForm1::Kind::Desk) {
      form_->resize(1504, 883);
      QApplication::processEvents();
      EXPECT_TRUE(form_->grab().save(QString::fromLocal8Bit(shot)));
    }
  }

  // Find a record whose object exists and move it into the object's photos.
  int row = 0;
  for (int r = 1; r <= static_cast<int>(page.MobPhotoIdx.size()); ++r) {
    page.StringGrid1->SetRow(r);
    page.StringGrid1SelectCell(r);
    if (page.n_absObj != -1 && !page.PhotoIdx.empty()) {
      row = r;
      break;
    }
  }
  ASSERT_GT(row, 0) << "no demo photo belongs to a known object";
  const int mob_before = Count(mob), photo_before = Count(photo);
  const size_t files = page.PhotoIdx.size();
  apptest::AnswerNextDialog([&](QDialog*) {
    form2_->Edit2->setText(QString::fromUtf8("Проверено"));
    form2_->Button1->click();
  });
  page.BitBtn1Click();
  ASSERT_TRUE(WaitFor(
      [&] {
        return Count(mob) == mob_before - 1 &&
               Count(photo) == photo_before + static_cast<int>(files) &&
               static_cast<int>(page.MobPhotoIdx.size()) == mob_before - 1;
      },
      15000))
      << "mobphoto " << Count(mob) << " photo " << Count(photo);
  {
    auto lock = photo.Lock();
    bool found = false;
    for (int v = 1; v <= photo.Count(); ++v) {
      if (photo.FieldAsString("desc", v) == plat::Utf8ToCp1251("Проверено")) found = true;
    }
    EXPECT_TRUE(found);
  }

  // Delete the next one.
  const int left = Count(mob);
  apptest::BoxSeen seen;
  apptest::AnswerNextBox(QMessageBox::Yes, &seen);
  page.BitBtn3Click();
  ASSERT_TRUE(
      WaitFor([&] { return static_cast<int>(page.MobPhotoIdx.size()) == left - 1; }, 15000));
  EXPECT_EQ(Count(mob), left - 1);

  // The server saw the commands; svcphoto's carry no "user".
  int changes = 0;
  for (const std::string& c : server_->ReceivedCommands()) {
    std::string command = GetValueFromJSON(c, "command");
    if (command != "netadddatadatabase" && command != "netdeletedatadatabase") continue;
    ++changes;
    EXPECT_EQ(c.find("\"user\":") != std::string::npos, GetParam() == TForm1::Kind::Desk) << c;
  }
  EXPECT_EQ(changes, static_cast<int>(files) + 2);
}

// The real link against the server: a wrong password is refused, the next
// attempt with the right one logs in and loads the tables.
TEST_P(PhotoEndToEnd, RefusalThenLogIn) {
  form_ = std::make_unique<TForm1>(GetParam());
  form_->FormCreateBeforeLogin();
  TSetupIni ini(Dir());
  TLoginLoop loop(LoginLinkOf(*form_->clientU), ini, plat::TickMs());
  TPasZas& d = *loop.Dialog();
  auto run_until = [&](const std::function<bool()>& done, int timeout_ms) {
    return WaitFor(
        [&] {
          loop.Step(plat::TickMs());
          return done();
        },
        timeout_ms);
  };
  d.MaskEdit2->setText(QStringLiteral("demo"));
  d.MaskEdit1->setText(QStringLiteral("wrong"));
  d.Button1->click();
  ASSERT_TRUE(
      run_until([&] { return d.Label1->text() == QString::fromUtf8("Доступ запрещен"); }, 15000));
  EXPECT_TRUE(d.MaskEdit1->text().isEmpty());
  EXPECT_EQ(d.MaskEdit2->text(), "demo");
  EXPECT_TRUE(d.Button1->isEnabled());
  EXPECT_FALSE(form_->clientU->Connect.load());

  d.MaskEdit1->setText(QStringLiteral("demo"));
  d.Button1->click();
  loop.Step(plat::TickMs());
  EXPECT_EQ(d.Label1->text(), QString::fromUtf8("Соединение..."));
  TLoginLoop::Result r = TLoginLoop::kRunning;
  ASSERT_TRUE(WaitFor(
      [&] {
        r = loop.Step(plat::TickMs());
        return r != TLoginLoop::kRunning;
      },
      30000));
  EXPECT_EQ(r, TLoginLoop::kLoaded);
  EXPECT_EQ(Count(*form_->Base[form_->NumberObject]), 300);
}

INSTANTIATE_TEST_SUITE_P(Programs, PhotoEndToEnd,
                         ::testing::Values(TForm1::Kind::Desk, TForm1::Kind::Photo),
                         [](const auto& info) {
                           return info.param == TForm1::Kind::Desk ? "svcdesk" : "svcphoto";
                         });

}  // namespace
