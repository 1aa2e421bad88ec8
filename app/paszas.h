// The login dialog: collects a user name and password, shows the state of the
// connection attempt and the keyboard layout. It checks nothing itself; its
// owner polls `push`.
#pragma once
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class TPasZas : public QWidget {
  Q_OBJECT

 public:
  explicit TPasZas(QWidget* parent = nullptr);

  // 0 nothing pending, 1 submitted, 2 cancelled. The dialog only sets 1 and 2.
  int push = 0;

  QLabel* Label1;  // status line
  QLabel* Label2;  // keyboard layout "EN" / "RU" / empty, click switches
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;
  QLineEdit* MaskEdit1;  // password
  QLineEdit* MaskEdit2;  // user name
  QPushButton* Button1;  // "Ok"
  QPushButton* Button2;  // "Отмена"
  QTimer* Timer1;        // layout indicator refresh

  void Button1Click();
  void Button2Click();
  void Label2Click();
  void Timer1Timer();
  // The indicator text for the active layout.
  static QString LayoutText();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormActivate();
};
