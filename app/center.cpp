#include "app/center.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void CenterOnScreen(QWidget* w) {
  QScreen* screen = w->screen() != nullptr ? w->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect area = screen->availableGeometry();
  QSize size = w->frameGeometry().size();
  if (!size.isValid() || size.isEmpty()) size = w->size();
  w->move(area.x() + (area.width() - size.width()) / 2,
          area.y() + (area.height() - size.height()) / 2);
}
