#include "app/form2.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/center.h"
#include "app/qtext.h"

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QW("Описание к фотографии"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(520, 150);
  setModal(true);

  auto* l1 = new QLabel(QW("От техника"), this);
  l1->setGeometry(12, 10, 200, 18);
  Edit1 = new QLineEdit(this);
  Edit1->setGeometry(12, 28, 496, 22);
  Edit1->setReadOnly(true);

  auto* l2 = new QLabel(QW("Новое"), this);
  l2->setGeometry(12, 56, 200, 18);
  Edit2 = new QLineEdit(this);
  Edit2->setGeometry(12, 74, 496, 22);

  Button1 = new QPushButton(QW("ОК"), this);
  Button1->setGeometry(332, 112, 84, 26);
  Button1->setDefault(true);
  Button2 = new QPushButton(QW("Отмена"), this);
  Button2->setGeometry(424, 112, 84, 26);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm2::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CenterOnScreen(this);
  Edit2->setFocus();
}
