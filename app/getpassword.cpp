#include "app/getpassword.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/paszas.h"
#include "app/qtext.h"
#include "app/setup_ini.h"
#include "app/splash.h"
#include "link/client_udp.h"
#include "platform/clock.h"

namespace {
constexpr int64_t kNoAnswerMs = 5000;  // "00:00:05"
}

TLoginLink LoginLinkOf(client_udp& link) {
  TLoginLink l;
  l.Connect = &link.Connect;
  l.Connected = &link.Connected;
  l.PasOK = &link.PasOK;
  l.AD = &link.AD;
  l.DatabaseLoad = &link.DatabaseLoad;
  l.ConnectTime = &link.ConnectTime;
  l.SetCredentials = [&link](const std::string& u, const std::string& p) {
    link.SetCredentials(u, p);
  };
  l.LoadBaseName = [&link] { return link.LoadBaseName(); };
  return l;
}

TLoginLoop::TLoginLoop(TLoginLink link, TSetupIni& ini, int64_t now_ms)
    : link_(std::move(link)),
      ini_(ini),
      dialog_(std::make_unique<TPasZas>()),
      splash_(std::make_unique<TSplash>()),
      attempt_start_(now_ms) {
  std::string user = ini_.UserDefault();
  dialog_->MaskEdit2->setText(ToQ(user));
  dialog_->show();
  dialog_->activateWindow();
  if (!user.empty()) {
    dialog_->MaskEdit1->setFocus();
  } else {
    dialog_->MaskEdit2->setFocus();
  }
  // Unattended log-in for measurements and scripted runs only: SVCDESK_USER
  // and SVCDESK_PASSWORD fill in the dialog and press "Ok" once (a refusal
  // leaves the dialog to the operator). The password leaves the environment
  // at once so nothing started later inherits it.
  const char* env_user = std::getenv("SVCDESK_USER");
  const char* env_password = std::getenv("SVCDESK_PASSWORD");
  if (env_user != nullptr && env_password != nullptr) {
    dialog_->MaskEdit2->setText(QString::fromLocal8Bit(env_user));
    dialog_->MaskEdit1->setText(QString::fromLocal8Bit(env_password));
    unsetenv("SVCDESK_PASSWORD");
    dialog_->Button1->click();
  }
}

TLoginLoop::~TLoginLoop() = default;

TLoginLoop::Result TLoginLoop::Step(int64_t now_ms) {
  TPasZas& d = *dialog_;
  if (d.push == 1) {
    d.push = 0;
    std::string user = FromQ(d.MaskEdit2->text());
    link_.SetCredentials(user, FromQ(d.MaskEdit1->text()));
    link_.ConnectTime->store(0);
    link_.Connect->store(true);
    attempt_start_ = now_ms;
    d.Label1->setText(QW("Соединение..."));
    ini_.WriteUserDefault(user);
  }
  if (d.push == 2) return kCancelled;
  bool connected = link_.Connected->load();
  if (!connected && now_ms - attempt_start_ > kNoAnswerMs &&
      d.Label1->text() == QW("Соединение...")) {
    d.Label1->setText(QW("Нет связи"));
  }
  if (connected && link_.PasOK->load()) {
    if (splash_->isHidden()) splash_->show();
    {
      QString text = QW("Загрузка базы - ") + ToQ(link_.LoadBaseName());
      if (splash_->Label1->text() != text) {
        splash_->Label1->setText(text);
        splash_->repaint();
        QApplication::processEvents();
      }
    }
  }
  // The link raises DatabaseLoad for an instant at acceptance before it knows
  // that tables are to load: only a state that holds across two passes counts.
  bool loaded = link_.Connected->load() && link_.DatabaseLoad->load();
  bool settled = loaded && loaded_last_pass_;
  loaded_last_pass_ = loaded;
  if (settled) {
    d.hide();
    splash_->hide();
    return kLoaded;
  }
  if (link_.AD->load() && d.Label1->text() != QW("Доступ запрещен")) {
    d.Label1->setText(QW("Доступ запрещен"));
    d.MaskEdit1->clear();
    d.Button1->setEnabled(true);
    d.push = 0;
    link_.AD->store(false);
    link_.Connect->store(false);
    link_.Connected->store(false);
  }
  return kRunning;
}

bool GetPassword(const TLoginLink& link, TSetupIni& ini) {
  TLoginLoop loop(link, ini, plat::TickMs());
  for (;;) {
    QApplication::processEvents();
    TLoginLoop::Result r = loop.Step(plat::TickMs());
    if (r != TLoginLoop::kRunning) return r == TLoginLoop::kLoaded;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

bool GetPassword(client_udp& link, TSetupIni& ini) {
  return GetPassword(LoginLinkOf(link), ini);
}
