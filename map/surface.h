// An off-screen drawing surface: a 32-bit picture plus the canvas state that
// stays with it between drawings (pen, brush, font, pen position), the way a
// surface canvas keeps its settings.
#pragma once
#include <QImage>
#include <QPoint>

#include "map/wincolor.h"

namespace mapdraw {

enum class TPenStyle { psSolid, psDot, psClear };
// pmNotXor: each pixel becomes NOT(pen XOR screen), so drawing twice restores it.
enum class TPenMode { pmCopy, pmNotXor };
enum class TBrushStyle { bsSolid, bsClear };
enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4 };

struct TPen {
  TColor Color = clBlack;
  int Width = 1;
  TPenStyle Style = TPenStyle::psSolid;
  TPenMode Mode = TPenMode::pmCopy;
};

struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = TBrushStyle::bsSolid;
};

struct TFont {
  int Size = 8;  // points at 96 dpi
  TColor Color = clBlack;
  unsigned Style = 0;  // TFontStyle bits
};

class TSurface {
 public:
  // (Re)creates the picture; the content is undefined until filled.
  void SetSize(int w, int h);
  void Free() { Image = QImage(); }
  bool Exists() const { return !Image.isNull(); }
  int Width() const { return Image.width(); }
  int Height() const { return Image.height(); }
  // Pixel as a Windows colour value (tests, hit checks); clBlack outside.
  TColor Pixel(int x, int y) const;

  QImage Image;  // Format_RGB32
  TPen Pen;
  TBrush Brush;
  TFont Font;
  QPoint PenPos;
};

}  // namespace mapdraw
