// The screen layout: 8 x 8 cells each holding a screen number, its 128-digit
// text form (column by column, two digits per cell) and cell geometry.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "map/map_types.h"

namespace mapdraw {

using TLayout = std::array<std::array<uint8_t, 8>, 8>;  // [column - 1][row - 1]

// Reads two-digit screen numbers into the cells, column by column, as far as
// the text goes. Stops at the first pair that is not a decimal number 0-64 and
// after 64 pairs; cells read before keep their new values. Returns the number
// of cells written; `complete` tells whether the whole text was taken.
int ParseLayoutText(const std::string& text, TLayout& layout, bool* complete = nullptr);
std::string LayoutText(const TLayout& layout);
// A screen number as the two-digit cell text repeated 64 times.
std::string SingleScreenLayout(int screen);

// Cell edges: trunc(i * size / 8), computed in floating point.
int32_t CellEdge(int i, int size);
// Bounds of every screen from the layout for a cw x ch client: screens
// holding no cell become inactive with bounds (100000, 100000, 0, 0).
void LayoutBounds(const TLayout& layout, int cw, int ch, std::array<stru_ya, 65>& screens);

// Cells touched by a band rectangle [x0, x1] x [y0, y1] (edges included): one
// of the cell's corners or its centre lies inside. [column][row].
using TCellMask = std::array<std::array<bool, 8>, 8>;
TCellMask TouchedCells(double x0, double y0, double x1, double y1, int cw, int ch);
// The centre of a cell (0-based column and row).
double CellCenterX(int c, int cw);
double CellCenterY(int r, int ch);

}  // namespace mapdraw
