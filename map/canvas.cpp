#include "map/canvas.h"

#include <QFontMetrics>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

#include "platform/text1251.h"

namespace mapdraw {

namespace {

QString ToQt(const std::string& cp1251) {
  return QString::fromUtf8(plat::Cp1251ToUtf8(cp1251).c_str());
}

}  // namespace

namespace {

// Looking a font up is costly next to drawing a short label; the few fonts the
// map uses are kept with their metrics.
struct TFontEntry {
  QFont font;
  QFontMetrics metrics;
};

QFont MakeFont(const TFont& f);

const TFontEntry& FontEntry(const TFont& f) {
  // Never destroyed: fonts must not outlive the application object at exit.
  static auto& cache = *new std::map<std::pair<int, unsigned>, std::unique_ptr<TFontEntry>>;
  auto key = std::make_pair(f.Size, f.Style);
  auto it = cache.find(key);
  if (it == cache.end()) {
    QFont q = MakeFont(f);
    it = cache.emplace(key, std::make_unique<TFontEntry>(TFontEntry{q, QFontMetrics(q)})).first;
  }
  return *it->second;
}

}  // namespace

QFont QtFont(const TFont& f) {
  return FontEntry(f).font;
}

namespace {
QFont MakeFont(const TFont& f) {
  QFont q(QStringLiteral("DejaVu Sans"));
  q.setStyleHint(QFont::SansSerif);
  // Points at 96 dpi, rounded as the desktop does it.
  q.setPixelSize(std::max(1, (std::abs(f.Size) * 96 + 36) / 72));
  q.setBold((f.Style & fsBold) != 0);
  q.setItalic((f.Style & fsItalic) != 0);
  q.setUnderline((f.Style & fsUnderline) != 0);
  return q;
}
}  // namespace

int TextWidthIn(const TFont& f, const std::string& text) {
  return FontEntry(f).metrics.horizontalAdvance(ToQt(text));
}

QPainter& TCanvas::Painter() {
  if (!painter_) painter_ = std::make_unique<QPainter>(&s_.Image);
  return *painter_;
}

void TCanvas::Release() {
  if (painter_) {
    painter_->end();
    painter_.reset();
  }
}

void TCanvas::Fill(TColor c) {
  if (!s_.Exists()) return;
  Release();
  s_.Image.fill(WinToRgb(c));
}

void TCanvas::FillRect(int l, int t, int r, int b, TColor c) {
  if (!s_.Exists()) return;
  Release();
  l = std::max(l, 0);
  t = std::max(t, 0);
  r = std::min(r, s_.Width());
  b = std::min(b, s_.Height());
  if (l >= r || t >= b) return;
  const QRgb px = WinToRgb(c);
  for (int y = t; y < b; ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(s_.Image.scanLine(y));
    std::fill(row + l, row + r, px);
  }
}

void TCanvas::FillRect(int l, int t, int r, int b) {
  if (s_.Brush.Style == TBrushStyle::bsClear) return;
  FillRect(l, t, r, b, s_.Brush.Color);
}

void TCanvas::Draw(int x, int y, const QImage& picture) {
  if (!s_.Exists() || picture.isNull()) return;
  if (picture.format() != QImage::Format_RGB32) {
    Painter().drawImage(x, y, picture);
    return;
  }
  Release();
  // Opaque pictures are copied row by row: the bulk of every screen build.
  const int sx0 = std::max(0, -x), sy0 = std::max(0, -y);
  const int w = std::min(picture.width(), s_.Width() - x) - sx0;
  const int h = std::min(picture.height(), s_.Height() - y) - sy0;
  if (w <= 0 || h <= 0) return;
  for (int row = 0; row < h; ++row) {
    const QRgb* src = reinterpret_cast<const QRgb*>(picture.constScanLine(sy0 + row)) + sx0;
    QRgb* dst = reinterpret_cast<QRgb*>(s_.Image.scanLine(y + sy0 + row)) + x + sx0;
    std::memcpy(dst, src, static_cast<size_t>(w) * sizeof(QRgb));
  }
}

void TCanvas::Draw(int x, int y, const TSurface& src) {
  Draw(x, y, src.Image);
}

void TCanvas::Plot(int x, int y) {
  if (x < 0 || y < 0 || x >= s_.Width() || y >= s_.Height()) return;
  QRgb* p = reinterpret_cast<QRgb*>(s_.Image.scanLine(y)) + x;
  const QRgb pen = WinToRgb(s_.Pen.Color);
  if (s_.Pen.Mode == TPenMode::pmNotXor)
    *p = 0xFF000000u | (~(pen ^ *p) & 0x00FFFFFFu);
  else
    *p = pen;
}

void TCanvas::Line(int x0, int y0, int x1, int y1) {
  if (!s_.Exists() || s_.Pen.Style == TPenStyle::psClear) return;
  Release();
  if (s_.Pen.Width > 1 && s_.Pen.Mode == TPenMode::pmCopy) {
    QPainter& p = Painter();
    QPen pen(WinToQColor(s_.Pen.Color), s_.Pen.Width);
    if (s_.Pen.Style == TPenStyle::psDot) pen.setStyle(Qt::DotLine);
    p.setPen(pen);
    p.drawLine(x0, y0, x1, y1);
    return;
  }
  if (s_.Pen.Style == TPenStyle::psSolid && s_.Pen.Mode == TPenMode::pmCopy &&
      (x0 == x1 || y0 == y1)) {
    // Frames and grids are straight: fill the span (end point left out).
    const int l = x0 == x1 ? x0 : (x0 < x1 ? x0 : x1 + 1);
    const int r = x0 == x1 ? x0 + 1 : (x0 < x1 ? x1 : x0 + 1);
    const int t = y0 == y1 ? y0 : (y0 < y1 ? y0 : y1 + 1);
    const int b = y0 == y1 ? y0 + 1 : (y0 < y1 ? y1 : y0 + 1);
    if (x0 != x1 || y0 != y1) FillRect(l, t, r, b, s_.Pen.Color);
    return;
  }
  // Bresenham, the end point left out; a dotted pen sets every other pixel.
  const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  const int stx = x0 < x1 ? 1 : -1, sty = y0 < y1 ? 1 : -1;
  int err = dx + dy, x = x0, y = y0, n = 0;
  const bool dotted = s_.Pen.Style == TPenStyle::psDot;
  while (x != x1 || y != y1) {
    if (!dotted || n % 2 == 0) Plot(x, y);
    ++n;
    int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += stx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sty;
    }
  }
}

void TCanvas::LineTo(int x, int y) {
  Line(s_.PenPos.x(), s_.PenPos.y(), x, y);
  s_.PenPos = QPoint(x, y);
}

void TCanvas::Rectangle(int l, int t, int r, int b) {
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  if (r - l < 1 || b - t < 1) return;
  FillRect(l + 1, t + 1, r - 1, b - 1);
  if (s_.Pen.Style == TPenStyle::psClear) return;
  QPoint keep = s_.PenPos;
  MoveTo(l, t);
  LineTo(r - 1, t);
  LineTo(r - 1, b - 1);
  LineTo(l, b - 1);
  LineTo(l, t);
  if (r - l == 1 || b - t == 1) Plot(l, t);
  s_.PenPos = keep;
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
  if (!s_.Exists() || text.empty()) return;
  QString q = ToQt(text);
  const TFontEntry& fe = FontEntry(s_.Font);
  const QFont& font = fe.font;
  const QFontMetrics& fm = fe.metrics;
  if (s_.Brush.Style == TBrushStyle::bsSolid)
    FillRect(x, y, x + fm.horizontalAdvance(q), y + fm.height(), s_.Brush.Color);
  QPainter& p = Painter();
  p.setFont(font);
  p.setPen(WinToQColor(s_.Font.Color));
  p.drawText(x, y + fm.ascent(), q);
  s_.PenPos = QPoint(x + fm.horizontalAdvance(q), y);
}

int TCanvas::TextWidth(const std::string& text) {
  return TextWidthIn(s_.Font, text);
}

int TCanvas::TextHeight(const std::string& text) {
  (void)text;
  return FontEntry(s_.Font).metrics.height();
}

}  // namespace mapdraw
