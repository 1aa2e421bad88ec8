// Colours are kept in the Windows form $00BBGGRR: red in the low byte, blue in
// the high one. The windows share the map's conversion.
#pragma once
#include <QColor>
#include <cstdint>

#include "map/wincolor.h"

inline QColor WinColor(uint32_t bbggrr) {
  return mapdraw::WinToQColor(bbggrr);
}

// The colours the windows use.
namespace wincolor {
constexpr uint32_t kWindow = 0x00FAF1E9;        // main window background
constexpr uint32_t kTeal = 0x00808000;          // login frame
constexpr uint32_t kLoginPanel = 0x00EDD8C7;    // login panel
constexpr uint32_t kGridHeader = 0x00FCE1CB;    // grid header rows
constexpr uint32_t kGridSelected = 0x0094E6FB;  // selected grid row
constexpr uint32_t kWhite = 0x00FFFFFF;
constexpr uint32_t kBlack = 0x00000000;
constexpr uint32_t kMagenta = 0x00FF00FF;
constexpr uint32_t kRed = 0x000000FF;
}  // namespace wincolor
