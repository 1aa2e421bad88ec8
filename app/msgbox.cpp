#include "app/msgbox.h"

#include <QMessageBox>
#include <QPushButton>

#include "app/qtext.h"

const std::string& MessageCaption() {
  return W1251("АРМ техническая служба");
}

void ShowMessage(QWidget* parent, const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, ToQ(MessageCaption()), ToQ(text), QMessageBox::Ok, parent);
  box.exec();
}

bool AskYesNo(QWidget* parent, const std::string& text) {
  QMessageBox box(QMessageBox::Question, ToQ(MessageCaption()), ToQ(text),
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.button(QMessageBox::Yes)->setText(QW("Да"));
  box.button(QMessageBox::No)->setText(QW("Нет"));
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}
