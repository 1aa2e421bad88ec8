#include "app/splash.h"

#include <QLabel>
#include <QPainter>

#include "app/center.h"

// The resource file is compiled into the static library; its registration
// has to be pulled in explicitly, at global scope.
static void InitAppResources() {
  Q_INIT_RESOURCE(app);
}

QPixmap TSplash::Picture() {
  InitAppResources();
  QPixmap p(QStringLiteral(":/splash.jpg"));
  return p;
}

TSplash::TSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), picture_(Picture()) {
  QSize size = picture_.isNull() ? QSize(550, 350) : picture_.size();
  setFixedSize(size);
  Label1 = new QLabel(this);
  Label1->setAttribute(Qt::WA_TranslucentBackground);
  Label1->setAlignment(Qt::AlignCenter);
  QFont f = Label1->font();
  f.setPointSize(14);
  Label1->setFont(f);
  QPalette pal = Label1->palette();
  pal.setColor(QPalette::WindowText, Qt::white);
  Label1->setPalette(pal);
  int h = Label1->fontMetrics().height() + 8;
  Label1->setGeometry(0, size.height() - h, size.width(), h);
  CenterOnScreen(this);
  hide();
}

void TSplash::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!picture_.isNull()) p.drawPixmap(0, 0, picture_);
}
