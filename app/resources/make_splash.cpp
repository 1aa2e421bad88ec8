// Draws the start-up picture (550 x 350 JPEG) once; the result is committed as
// splash.jpg. Build and run by hand:
//   g++ -std=c++20 -fPIC make_splash.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/make_splash
//   QT_QPA_PLATFORM=offscreen /tmp/make_splash splash.jpg
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc < 2) return 2;
  QImage img(550, 350, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient bg(0, 0, 550, 350);
  bg.setColorAt(0, QColor(0x0B, 0x3C, 0x5D));
  bg.setColorAt(1, QColor(0x1D, 0x7A, 0x8C));
  p.fillRect(img.rect(), bg);

  // A faint street grid with a route and three pins: technicians on the map.
  p.setPen(QPen(QColor(255, 255, 255, 28), 1));
  for (int x = -350; x < 550; x += 38) p.drawLine(x, 350, x + 350, 0);
  for (int x = 0; x < 900; x += 46) p.drawLine(x, 350, x - 350, 0);
  QPainterPath route;
  route.moveTo(60, 300);
  route.cubicTo(160, 220, 250, 330, 340, 230);
  route.cubicTo(400, 170, 450, 210, 500, 120);
  p.setPen(QPen(QColor(0xF2, 0xC1, 0x4E, 170), 4, Qt::DashLine, Qt::RoundCap));
  p.drawPath(route);
  auto pin = [&](QPointF at, QColor c) {
    QPainterPath path;
    path.moveTo(at);
    path.cubicTo(at + QPointF(-16, -22), at + QPointF(-12, -38), at + QPointF(0, -38));
    path.cubicTo(at + QPointF(12, -38), at + QPointF(16, -22), at);
    p.setPen(QPen(QColor(255, 255, 255), 2));
    p.setBrush(c);
    p.drawPath(path);
    p.setBrush(QColor(255, 255, 255));
    p.drawEllipse(at + QPointF(0, -26), 5, 5);
  };
  pin(QPointF(60, 300), QColor(0xE0, 0x4F, 0x5F));
  pin(QPointF(340, 230), QColor(0x4C, 0xAF, 0x50));
  pin(QPointF(500, 120), QColor(0xF2, 0xC1, 0x4E));

  p.setPen(QColor(255, 255, 255));
  QFont title("DejaVu Sans", 34, QFont::Bold);
  p.setFont(title);
  p.drawText(QRect(0, 60, 550, 60), Qt::AlignCenter, QString::fromUtf8("КПО Тамир 8"));
  QFont sub("DejaVu Sans", 18);
  p.setFont(sub);
  p.drawText(QRect(0, 118, 550, 40), Qt::AlignCenter, QString::fromUtf8("Техническая служба"));
  p.end();
  return img.save(QString::fromLocal8Bit(argv[1]), "JPG", 90) ? 0 : 1;
}
