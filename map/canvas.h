// The drawing layer over a surface: fills, pictures, surface copies, pen and
// brush shapes, text. Coordinates follow the desktop canvas rules the drawing
// code was written against: rectangles and fills exclude their right and
// bottom edges, LineTo excludes its end point, text is placed by its top-left.
#pragma once
#include <QPainter>
#include <memory>
#include <string>

#include "map/surface.h"

namespace mapdraw {

class TCanvas {
 public:
  explicit TCanvas(TSurface& s) : s_(s) {}
  ~TCanvas() { Release(); }
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  TPen& Pen() { return s_.Pen; }
  TBrush& Brush() { return s_.Brush; }
  TFont& Font() { return s_.Font; }

  // Whole surface in one colour.
  void Fill(TColor c);
  // [l, r) x [t, b) in colour c, or in the brush colour (nothing for a clear brush).
  void FillRect(int l, int t, int r, int b, TColor c);
  void FillRect(int l, int t, int r, int b);
  // A picture with its top-left corner at (x, y); pictures with alpha are blended.
  void Draw(int x, int y, const QImage& picture);
  void Draw(int x, int y, const TSurface& src);
  // Interior in the brush, outline in the pen: [l, r) x [t, b), corners in any order.
  void Rectangle(int l, int t, int r, int b);
  void MoveTo(int x, int y) { s_.PenPos = QPoint(x, y); }
  void LineTo(int x, int y);
  // Text in the font; with a solid brush its cell is filled first. Windows-1251.
  void TextOut(int x, int y, const std::string& text);
  int TextWidth(const std::string& text);
  int TextHeight(const std::string& text);
  // Ends any painting in progress (the picture is complete afterwards).
  void Release();

 private:
  QPainter& Painter();
  void Plot(int x, int y);
  void Line(int x0, int y0, int x1, int y1);  // end point excluded

  TSurface& s_;
  std::unique_ptr<QPainter> painter_;
};

// The Qt font for a canvas font (pixel size from points at 96 dpi).
QFont QtFont(const TFont& f);
// Pixel width of a Windows-1251 text in a font.
int TextWidthIn(const TFont& f, const std::string& text);

}  // namespace mapdraw
