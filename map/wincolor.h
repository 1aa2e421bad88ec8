// Colours are kept as Windows colour values $00BBGGRR (red in the low byte,
// blue in the high one), exactly as the drawing code names them; this is the
// one place that turns them into Qt pixels.
#pragma once
#include <QColor>
#include <QRgb>
#include <cstdint>

namespace mapdraw {

using TColor = uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clGray = 0x808080;
constexpr TColor clMapBack = 0xF2EFE9;  // map background: red E9, green EF, blue F2

constexpr int WinRed(TColor c) {
  return static_cast<int>(c & 0xFF);
}
constexpr int WinGreen(TColor c) {
  return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int WinBlue(TColor c) {
  return static_cast<int>((c >> 16) & 0xFF);
}

// Opaque Qt pixel (0xAARRGGBB) of a Windows colour value.
constexpr QRgb WinToRgb(TColor c) {
  return 0xFF000000u | (static_cast<QRgb>(WinRed(c)) << 16) |
         (static_cast<QRgb>(WinGreen(c)) << 8) | static_cast<QRgb>(WinBlue(c));
}
inline QColor WinToQColor(TColor c) {
  return QColor::fromRgb(WinToRgb(c));
}
// Back from a Qt pixel (alpha dropped).
constexpr TColor RgbToWin(QRgb p) {
  return ((p >> 16) & 0xFF) | (((p >> 8) & 0xFF) << 8) | ((p & 0xFF) << 16);
}

}  // namespace mapdraw
