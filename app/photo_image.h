// The photo area: shows a picture with its proportions kept, shrunk to fit
// when larger than the area and, with stretching on, also enlarged to fill it.
#pragma once
#include <QImage>
#include <QWidget>

class TPhotoImage : public QWidget {
  Q_OBJECT

 public:
  explicit TPhotoImage(QWidget* parent = nullptr);

  const QImage& Picture() const { return picture_; }
  void SetPicture(const QImage& image);
  void Clear();
  bool Stretch() const { return stretch_; }
  void SetStretch(bool on);
  // Where the picture is drawn inside the widget.
  QRect PictureRect() const;

 signals:
  void DoubleClicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QImage picture_;
  bool stretch_ = false;
};
