#include "app/paszas.h"

#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/center.h"
#include "app/qtext.h"
#include "app/wincolor.h"
#include "platform/keyboard.h"

namespace {
const char kLayoutEn[] = "00000409";
const char kLayoutRu[] = "00000419";
}  // namespace

TPasZas::TPasZas(QWidget* parent) : QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setWindowTitle(QW("Введите пароль"));
  setFixedSize(234, 134);
  setAutoFillBackground(true);
  QPalette frame = palette();
  frame.setColor(QPalette::Window, WinColor(wincolor::kTeal));
  setPalette(frame);

  auto* panel = new QFrame(this);
  panel->setGeometry(7, 7, 220, 120);
  panel->setAutoFillBackground(true);
  QPalette pp = panel->palette();
  pp.setColor(QPalette::Window, WinColor(wincolor::kLoginPanel));
  pp.setColor(QPalette::WindowText, WinColor(wincolor::kBlack));
  panel->setPalette(pp);

  Label5 = new QLabel(QW("Введите"), panel);
  Label5->setGeometry(0, 2, 220, 20);
  Label5->setAlignment(Qt::AlignCenter);
  QFont heading("Tahoma");
  heading.setPixelSize(16);
  Label5->setFont(heading);

  Label4 = new QLabel(QW("Имя"), panel);
  Label4->setGeometry(10, 27, 50, 18);
  MaskEdit2 = new QLineEdit(panel);
  MaskEdit2->setGeometry(62, 25, 124, 20);
  MaskEdit2->setFrame(false);

  Label2 = new QLabel(QStringLiteral("EN"), panel);
  Label2->setGeometry(190, 27, 26, 18);
  Label2->setAlignment(Qt::AlignCenter);
  Label2->setCursor(Qt::PointingHandCursor);
  Label2->installEventFilter(this);

  Label3 = new QLabel(QW("Пароль"), panel);
  Label3->setGeometry(10, 51, 50, 18);
  MaskEdit1 = new QLineEdit(panel);
  MaskEdit1->setGeometry(62, 49, 124, 20);
  MaskEdit1->setFrame(false);
  MaskEdit1->setEchoMode(QLineEdit::Password);
  MaskEdit1->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));

  Label1 = new QLabel(panel);
  Label1->setGeometry(0, 72, 220, 16);
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setAttribute(Qt::WA_TranslucentBackground);

  Button1 = new QPushButton(QStringLiteral("Ok"), panel);
  Button1->setGeometry(28, 92, 78, 24);
  Button2 = new QPushButton(QW("Отмена"), panel);
  Button2->setGeometry(114, 92, 78, 24);
  connect(Button1, &QPushButton::clicked, this, &TPasZas::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TPasZas::Button2Click);

  // Both fields share the Enter handler.
  MaskEdit2->installEventFilter(this);
  MaskEdit1->installEventFilter(this);
  setTabOrder(MaskEdit2, MaskEdit1);
  setTabOrder(MaskEdit1, Button1);
  setTabOrder(Button1, Button2);

  Timer1 = new QTimer(this);
  Timer1->setInterval(500);
  connect(Timer1, &QTimer::timeout, this, &TPasZas::Timer1Timer);
  Timer1->start();

  push = 0;
  CenterOnScreen(this);
}

QString TPasZas::LayoutText() {
  std::string id = plat::ActiveKeyboardLayout();
  if (id == kLayoutEn) return QStringLiteral("EN");
  if (id == kLayoutRu) return QStringLiteral("RU");
  return QString();
}

void TPasZas::FormActivate() {
  Label2->setText(LayoutText());
}

void TPasZas::Button1Click() {
  Button1->setEnabled(false);
  Label1->setText(QW("Соединение"));
  push = 1;
  repaint();
}

void TPasZas::Button2Click() {
  push = 2;
}

void TPasZas::Label2Click() {
  if (Label2->text() == QLatin1String("EN")) {
    plat::ActivateKeyboardLayout(kLayoutRu);
  } else if (Label2->text() == QLatin1String("RU")) {
    plat::ActivateKeyboardLayout(kLayoutEn);
  }
  Label2->setText(LayoutText());
}

void TPasZas::Timer1Timer() {
  QString text = LayoutText();
  if (Label2->text() != text) Label2->setText(text);
}

bool TPasZas::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label2 && event->type() == QEvent::MouseButtonRelease) {
    Label2Click();
    return true;
  }
  if ((watched == MaskEdit1 || watched == MaskEdit2) && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      Button1->setEnabled(false);
      Button1->repaint();
      Button1Click();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TPasZas::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FormActivate();
}

void TPasZas::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TPasZas::closeEvent(QCloseEvent* event) {
  // The dialog has no close button; a close from the window manager counts as "Отмена".
  if (event->spontaneous()) {
    event->ignore();
    push = 2;
    return;
  }
  QWidget::closeEvent(event);
}
