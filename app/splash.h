// The picture shown while the tables load, with one line of progress text
// along its bottom edge. Borderless, centred, sized to the picture; hidden
// until shown.
#pragma once
#include <QPixmap>
#include <QWidget>

class QLabel;

class TSplash : public QWidget {
  Q_OBJECT

 public:
  explicit TSplash(QWidget* parent = nullptr);

  QLabel* Label1;  // progress text

  // The picture carried in the program (550 x 350).
  static QPixmap Picture();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap picture_;
};
