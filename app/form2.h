// "Описание к фотографии": the technician's description and the operator's own,
// asked before photos move into the object's photos. "Новое" keeps its text
// from one use to the next.
#pragma once
#include <QDialog>

class QLineEdit;
class QPushButton;

class TForm2 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm2(QWidget* parent = nullptr);

  QLineEdit* Edit1;      // "От техника", read-only
  QLineEdit* Edit2;      // "Новое"
  QPushButton* Button1;  // "ОК"
  QPushButton* Button2;  // "Отмена"

 protected:
  void showEvent(QShowEvent* event) override;
};
