#include "app/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap Canvas(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  return pm;
}

}  // namespace

QIcon TurnIcon(bool clockwise) {
  QPixmap pm = Canvas(20);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0x1D, 0x5F, 0x9E), 2.2, Qt::SolidLine, Qt::RoundCap));
  QRectF arc(3, 4, 14, 14);
  // An open circle with an arrow head at its upper end.
  p.drawArc(arc, clockwise ? 180 * 16 : 0, clockwise ? -270 * 16 : 270 * 16);
  QPainterPath head;
  if (clockwise) {
    head.moveTo(10, 1);
    head.lineTo(14, 4);
    head.lineTo(10, 7.5);
  } else {
    head.moveTo(10, 1);
    head.lineTo(6, 4);
    head.lineTo(10, 7.5);
  }
  p.drawPath(head);
  return QIcon(pm);
}

QIcon PhotosIcon() {
  QPixmap pm = Canvas(40);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0x20, 0x3A, 0x55), 2));
  p.setBrush(QColor(0x5B, 0x8D, 0xC0));
  p.drawRoundedRect(QRectF(4, 11, 32, 22), 4, 4);
  p.drawRect(QRectF(13, 7, 12, 5));
  p.setBrush(QColor(0xE8, 0xF1, 0xFA));
  p.drawEllipse(QPointF(20, 22), 7, 7);
  return QIcon(pm);
}

QIcon TechniciansIcon() {
  QPixmap pm = Canvas(40);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath pin;
  pin.moveTo(20, 37);
  pin.cubicTo(6, 22, 8, 4, 20, 4);
  pin.cubicTo(32, 4, 34, 22, 20, 37);
  p.setPen(QPen(QColor(0x7A, 0x1E, 0x28), 2));
  p.setBrush(QColor(0xD9, 0x4A, 0x57));
  p.drawPath(pin);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(20, 16), 5, 5);
  return QIcon(pm);
}
