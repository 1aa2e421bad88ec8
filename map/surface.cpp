#include "map/surface.h"

namespace mapdraw {

void TSurface::SetSize(int w, int h) {
  if (w < 1) w = 1;
  if (h < 1) h = 1;
  if (Image.width() == w && Image.height() == h) return;
  Image = QImage(w, h, QImage::Format_RGB32);
}

TColor TSurface::Pixel(int x, int y) const {
  if (Image.isNull() || x < 0 || y < 0 || x >= Image.width() || y >= Image.height()) return clBlack;
  return RgbToWin(Image.pixel(x, y));
}

}  // namespace mapdraw
