#include "app/photo_image.h"

#include <QPainter>

TPhotoImage::TPhotoImage(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TPhotoImage::SetPicture(const QImage& image) {
  picture_ = image;
  update();
}

void TPhotoImage::Clear() {
  picture_ = QImage();
  update();
}

void TPhotoImage::SetStretch(bool on) {
  stretch_ = on;
  update();
}

QRect TPhotoImage::PictureRect() const {
  if (picture_.isNull()) return {};
  QSize area = size();
  QSize s = picture_.size();
  if (stretch_ || s.width() > area.width() || s.height() > area.height()) {
    s.scale(area, Qt::KeepAspectRatio);
  }
  return QRect((area.width() - s.width()) / 2, (area.height() - s.height()) / 2, s.width(),
               s.height());
}

void TPhotoImage::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter p(this);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(PictureRect(), picture_);
}

void TPhotoImage::mouseDoubleClickEvent(QMouseEvent*) {
  emit DoubleClicked();
}
