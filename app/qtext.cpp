#include "app/qtext.h"

QString ToQ(const std::string& cp1251) {
  return QString::fromStdString(plat::Cp1251ToUtf8(cp1251));
}

std::string FromQ(const QString& text) {
  return plat::Utf8ToCp1251(text.toStdString());
}
