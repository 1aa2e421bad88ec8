// Tile replies as the server might send them: any bytes to PutTile, then a
// rebuild that decodes whatever was stored.
#include <QTimer>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_map_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TDrawMap& m = FuzzMap(600, 500);
  if (size == 0) return 0;
  std::vector<uint8_t> reply(data + 1, data + size);
  const auto& tiles = m.Screens[1].VisibleTiles;
  // Odd first byte: aim the reply at a tile the screen waits for, so the
  // storing and drawing paths are reached, not only the header check.
  if ((data[0] & 1) && !tiles.empty() && reply.size() >= 20) {
    const TVisibleTile& t = tiles[(data[0] >> 1) % tiles.size()];
    const int32_t head[5] = {t.X, t.Y, m.Screens[1].Zoom, 1, 0};
    for (int i = 0; i < 5; ++i)
      for (int b = 0; b < 4; ++b)
        reply[static_cast<size_t>(i * 4 + b)] = static_cast<uint8_t>(head[i] >> (8 * b));
  }
  m.PutTile(reply);
  m.Tick();
  m.RebuildScreen(1);
  // Slots freed by short replies are bound again for the next input.
  if ((data[0] & 0x80) != 0) m.LocateScreen(1);
  return 0;
}
