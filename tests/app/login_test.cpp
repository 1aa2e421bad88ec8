// The login dialog and the start-up loop: the texts the operator sees at each
// moment, refusal and retry, cancel, and the last user name in setup.ini.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstdlib>

#include "app/getpassword.h"
#include "app/paszas.h"
#include "app/setup_ini.h"
#include "app/splash.h"
#include "fixtures.h"
#include "platform/inifile.h"
#include "platform/keyboard.h"

namespace {

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// The link's flags, driven by the test.
struct FakeLink {
  std::atomic<bool> Connect{false}, Connected{false}, PasOK{false}, AD{false}, DatabaseLoad{false};
  std::atomic<int64_t> ConnectTime{12345};
  std::string user, password, base;
  int credentials = 0;
  TLoginLink Link() {
    TLoginLink l;
    l.Connect = &Connect;
    l.Connected = &Connected;
    l.PasOK = &PasOK;
    l.AD = &AD;
    l.DatabaseLoad = &DatabaseLoad;
    l.ConnectTime = &ConnectTime;
    l.SetCredentials = [this](const std::string& u, const std::string& p) {
      user = u;
      password = p;
      ++credentials;
    };
    l.LoadBaseName = [this] { return base; };
    return l;
  }
};

class LoginTest : public apptest::WorkDirTest {};

TEST_F(LoginTest, StatusTextsRefusalRetryAndLoading) {
  plat::IniFile(Dir() + "setup.ini").WriteString("Main", "UserDefault", "ivan");
  TSetupIni ini(Dir());
  FakeLink fl;
  TLoginLoop loop(fl.Link(), ini, 1000);
  TPasZas& d = *loop.Dialog();
  EXPECT_EQ(d.MaskEdit2->text(), "ivan");
  EXPECT_EQ(d.MaskEdit1->echoMode(), QLineEdit::Password);
  EXPECT_EQ(loop.Step(1001), TLoginLoop::kRunning);
  EXPECT_FALSE(fl.Connect.load());

  d.MaskEdit1->setText("se\"cret");
  QTest::mouseClick(d.Button1, Qt::LeftButton);
  EXPECT_EQ(d.push, 1);
  EXPECT_FALSE(d.Button1->isEnabled());
  EXPECT_EQ(d.Label1->text(), U("Соединение"));

  loop.Step(2000);
  EXPECT_EQ(d.push, 0);
  EXPECT_TRUE(fl.Connect.load());
  EXPECT_EQ(fl.ConnectTime.load(), 0);
  EXPECT_EQ(fl.user, "ivan");
  EXPECT_EQ(fl.password, "se\"cret");
  EXPECT_EQ(d.Label1->text(), U("Соединение..."));
  EXPECT_EQ(plat::IniFile(Dir() + "setup.ini").ReadString("Main", "UserDefault", ""), "ivan");
  EXPECT_FALSE(d.Button1->isEnabled());

  loop.Step(7000);  // exactly 5 s: not yet
  EXPECT_EQ(d.Label1->text(), U("Соединение..."));
  loop.Step(7001);
  EXPECT_EQ(d.Label1->text(), U("Нет связи"));

  // Refused: password cleared, user kept, "Ok" back, no further attempts.
  fl.AD = true;
  loop.Step(8000);
  EXPECT_EQ(d.Label1->text(), U("Доступ запрещен"));
  EXPECT_TRUE(d.MaskEdit1->text().isEmpty());
  EXPECT_EQ(d.MaskEdit2->text(), "ivan");
  EXPECT_TRUE(d.Button1->isEnabled());
  EXPECT_FALSE(fl.AD.load() || fl.Connect.load() || fl.Connected.load());

  // A second attempt with Enter in the user-name field, another user.
  d.MaskEdit2->setText("petr");
  d.MaskEdit1->setText("x");
  QTest::keyClick(d.MaskEdit2, Qt::Key_Return);
  EXPECT_EQ(d.push, 1);
  loop.Step(9000);
  EXPECT_EQ(fl.credentials, 2);
  EXPECT_EQ(fl.user, "petr");
  EXPECT_EQ(d.Label1->text(), U("Соединение..."));
  EXPECT_TRUE(fl.Connect.load());
  EXPECT_EQ(plat::IniFile(Dir() + "setup.ini").ReadString("Main", "UserDefault", ""), "petr");

  // Accepted: the splash shows the table being loaded.
  fl.Connected = true;
  fl.PasOK = true;
  fl.base = "mobphoto";
  loop.Step(20000);  // long after the attempt, but connected: no "Нет связи"
  EXPECT_EQ(d.Label1->text(), U("Соединение..."));
  EXPECT_TRUE(loop.Splash()->isVisible());
  EXPECT_EQ(loop.Splash()->Label1->text(), U("Загрузка базы - mobphoto"));
  fl.base = "photo";
  loop.Step(20001);
  EXPECT_EQ(loop.Splash()->Label1->text(), U("Загрузка базы - photo"));
  EXPECT_EQ(loop.Splash()->size(), QSize(550, 350));

  // Loaded only once the state holds for a second pass.
  fl.DatabaseLoad = true;
  EXPECT_EQ(loop.Step(20002), TLoginLoop::kRunning);
  fl.DatabaseLoad = false;
  EXPECT_EQ(loop.Step(20003), TLoginLoop::kRunning);
  fl.DatabaseLoad = true;
  EXPECT_EQ(loop.Step(20004), TLoginLoop::kRunning);
  EXPECT_EQ(loop.Step(20005), TLoginLoop::kLoaded);
  EXPECT_FALSE(d.isVisible());
}

TEST_F(LoginTest, CancelEndsTheLoopEvenWhileConnecting) {
  TSetupIni ini(Dir());
  FakeLink fl;
  TLoginLoop loop(fl.Link(), ini, 0);
  EXPECT_TRUE(loop.Dialog()->MaskEdit2->text().isEmpty());
  QTest::mouseClick(loop.Dialog()->Button1, Qt::LeftButton);
  loop.Step(1);
  EXPECT_TRUE(fl.Connect.load());
  QTest::mouseClick(loop.Dialog()->Button2, Qt::LeftButton);
  EXPECT_EQ(loop.Dialog()->push, 2);
  EXPECT_EQ(loop.Step(2), TLoginLoop::kCancelled);
}

// Scripted runs log in through the environment: one press of "Ok" with the
// given name and password, which then leaves the environment; a refusal leaves
// the dialog to the operator instead of retrying.
TEST_F(LoginTest, UnattendedLogInFromTheEnvironment) {
  TSetupIni ini(Dir());
  FakeLink fl;
  setenv("SVCDESK_USER", "demo", 1);
  setenv("SVCDESK_PASSWORD", "pw", 1);
  TLoginLoop loop(fl.Link(), ini, 0);
  EXPECT_EQ(std::getenv("SVCDESK_PASSWORD"), nullptr);
  unsetenv("SVCDESK_USER");
  loop.Step(1);
  EXPECT_EQ(fl.credentials, 1);
  EXPECT_EQ(fl.user, "demo");
  EXPECT_EQ(fl.password, "pw");
  EXPECT_TRUE(fl.Connect.load());
  fl.Connected = true;
  fl.AD = true;
  loop.Step(2);
  loop.Step(3);
  EXPECT_EQ(fl.credentials, 1);
  EXPECT_TRUE(loop.Dialog()->Button1->isEnabled());

  // Without both variables nothing is pressed.
  setenv("SVCDESK_USER", "demo", 1);
  FakeLink idle;
  TLoginLoop plain(idle.Link(), ini, 0);
  unsetenv("SVCDESK_USER");
  plain.Step(1);
  EXPECT_EQ(idle.credentials, 0);
  EXPECT_FALSE(idle.Connect.load());
}

TEST(PasZas, LookAndUnknownKeyboardLayout) {
  TPasZas d;
  EXPECT_EQ(d.size(), QSize(234, 134));
  EXPECT_TRUE(d.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(d.windowTitle(), U("Введите пароль"));
  EXPECT_EQ(d.push, 0);
  EXPECT_EQ(d.Button2->text(), U("Отмена"));
  d.show();
  QImage shot = d.grab().toImage();
  EXPECT_EQ(QColor(shot.pixel(3, 60)), QColor(0x00, 0x80, 0x80));    // teal frame
  EXPECT_EQ(QColor(shot.pixel(10, 125)), QColor(0xC7, 0xD8, 0xED));  // $00EDD8C7 panel
  // Offscreen there is no keyboard to ask: the indicator is empty and inert.
  EXPECT_EQ(d.Label2->text(), "");
  QTest::mouseClick(d.Label2, Qt::LeftButton);
  EXPECT_EQ(d.Label2->text(), "");
  d.Timer1Timer();
  EXPECT_EQ(d.Label2->text(), "");
}

TEST(Keyboard, XkbLayoutNamesMapToLayoutIdentifiers) {
  EXPECT_EQ(plat::XkbLayoutOfGroup("us,ru", 0), "us");
  EXPECT_EQ(plat::XkbLayoutOfGroup("us,ru", 1), "ru");
  EXPECT_EQ(plat::XkbLayoutOfGroup("us,ru", 2), "");
  EXPECT_EQ(plat::XkbLayoutOfGroup("de", 0), "de");
  EXPECT_EQ(plat::XkbLayoutOfGroup("de", -1), "");
  EXPECT_EQ(plat::LayoutIdFromXkbName("us"), "00000409");
  EXPECT_EQ(plat::LayoutIdFromXkbName("ru"), "00000419");
  EXPECT_EQ(plat::LayoutIdFromXkbName("ru(phonetic)"), "00000419");
  EXPECT_EQ(plat::LayoutIdFromXkbName("de"), "");
  EXPECT_EQ(plat::LayoutIdFromXkbName("gb"), "");
  // Without a display nothing is known and nothing switches.
  EXPECT_EQ(plat::ActiveKeyboardLayout(), "");
  EXPECT_FALSE(plat::ActivateKeyboardLayout("00000419"));
}

}  // namespace
