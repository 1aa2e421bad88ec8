#include "map/layout.h"

#include <algorithm>
#include <cmath>

namespace mapdraw {

int ParseLayoutText(const std::string& text, TLayout& layout, bool* complete) {
  int cells = 0;
  size_t pos = 0;
  bool whole = true;
  while (pos < text.size()) {
    if (cells >= 64) {
      whole = false;
      break;
    }
    std::string pair = text.substr(pos, 2);
    int value = 0;
    bool ok = !pair.empty();
    for (char ch : pair) {
      if (ch < '0' || ch > '9') {
        ok = false;
        break;
      }
      value = value * 10 + (ch - '0');
    }
    if (!ok || value > 64) {
      whole = false;
      break;
    }
    layout[static_cast<size_t>(cells / 8)][static_cast<size_t>(cells % 8)] =
        static_cast<uint8_t>(value);
    ++cells;
    pos += 2;
  }
  if (complete) *complete = whole;
  return cells;
}

std::string LayoutText(const TLayout& layout) {
  std::string s;
  s.reserve(128);
  for (const auto& column : layout) {
    for (uint8_t v : column) {
      s += static_cast<char>('0' + v / 10 % 10);
      s += static_cast<char>('0' + v % 10);
    }
  }
  return s;
}

std::string SingleScreenLayout(int screen) {
  std::string two;
  two += static_cast<char>('0' + screen / 10 % 10);
  two += static_cast<char>('0' + screen % 10);
  std::string s;
  for (int i = 0; i < 64; ++i) s += two;
  return s;
}

int32_t CellEdge(int i, int size) {
  return static_cast<int32_t>(std::trunc(static_cast<double>(i) * size / 8.0));
}

void LayoutBounds(const TLayout& layout, int cw, int ch, std::array<stru_ya, 65>& screens) {
  for (int s = 1; s <= 64; ++s) {
    screens[static_cast<size_t>(s)].Active = false;
    screens[static_cast<size_t>(s)].Bounds = TBounds{100000, 100000, 0, 0};
  }
  for (int c = 1; c <= 8; ++c) {
    for (int r = 1; r <= 8; ++r) {
      int s = layout[static_cast<size_t>(c - 1)][static_cast<size_t>(r - 1)];
      if (s < 1 || s > 64) continue;
      stru_ya& ya = screens[static_cast<size_t>(s)];
      ya.Active = true;
      ya.Bounds.Left = std::min(ya.Bounds.Left, CellEdge(c - 1, cw));
      ya.Bounds.Top = std::min(ya.Bounds.Top, CellEdge(r - 1, ch));
      ya.Bounds.Right = std::max(ya.Bounds.Right, CellEdge(c, cw));
      ya.Bounds.Bottom = std::max(ya.Bounds.Bottom, CellEdge(r, ch));
    }
  }
}

double CellCenterX(int c, int cw) {
  return c * (cw / 8.0) + cw / 16.0;
}
double CellCenterY(int r, int ch) {
  return r * (ch / 8.0) + ch / 16.0;
}

TCellMask TouchedCells(double x0, double y0, double x1, double y1, int cw, int ch) {
  TCellMask m{};
  auto in = [&](double x, double y) { return x >= x0 && x <= x1 && y >= y0 && y <= y1; };
  const double sw = cw / 8.0, sh = ch / 8.0;
  for (int c = 0; c < 8; ++c) {
    for (int r = 0; r < 8; ++r) {
      double l = c * sw, t = r * sh, rr = (c + 1) * sw, b = (r + 1) * sh;
      m[static_cast<size_t>(c)][static_cast<size_t>(r)] =
          in(l, t) || in(rr, t) || in(l, b) || in(rr, b) || in((l + rr) / 2, (t + b) / 2);
    }
  }
  return m;
}

}  // namespace mapdraw
