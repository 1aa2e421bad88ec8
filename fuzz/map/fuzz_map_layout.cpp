// Layout texts from a damaged screen file, then a layout band from the
// remaining bytes; the layout must stay within its data model.
#include <QTimer>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_map_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TDrawMap& m = FuzzMap(160, 120);
  size_t cut = size;
  for (size_t i = 0; i < size; ++i)
    if (data[i] == '|') {
      cut = i;
      break;
    }
  m.SetLayout(std::string(reinterpret_cast<const char*>(data), cut));
  if (m.TekScreen.size() != 128) std::abort();
  for (auto& col : m.Layout)
    for (uint8_t v : col)
      if (v > 64) std::abort();
  for (int s = 1; s <= TDrawMap::kScreens; ++s) {
    const TBounds& b = m.Screens[static_cast<size_t>(s)].Bounds;
    if (m.Screens[static_cast<size_t>(s)].Active &&
        (b.Left < 0 || b.Top < 0 || b.Right > 160 || b.Bottom > 120 || b.Left >= b.Right))
      std::abort();
  }
  if (cut + 5 <= size) {
    const uint8_t* p = data + cut + 1;
    int key = VK_F11;
    m.KeyDown(key, ssAlt);
    key = VK_SHIFT;
    m.KeyDown(key, ssShift);
    m.MouseDown(TMouseButton::mbLeft, ssLeft | ssShift, p[0] * 160 / 256, p[1] * 120 / 256);
    m.MouseMove(ssLeft | ssShift, p[2] * 160 / 256, p[3] * 120 / 256);
    m.MouseUp(TMouseButton::mbLeft, ssShift, p[2] * 160 / 256, p[3] * 120 / 256);
    key = VK_SHIFT;
    m.KeyUp(key, 0);
    key = VK_F11;
    m.KeyDown(key, ssAlt);
    if (m.TekScreen.size() != 128) std::abort();
  }
  return 0;
}
