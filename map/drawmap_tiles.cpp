// TDrawMap: binding screens to tile slots, the periodic tick with its tile
// requests, and storing tile replies.
#include <algorithm>

#include "app/records/records.h"
#include "map/drawmap.h"
#include "map/projection.h"
#include "map/tile_cache.h"
#include "map/tile_pictures.h"
#include "map/tile_reply.h"
#include "map/tile_request.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text1251.h"

void TDrawMap::BindTiles(stru_ya& ya) {
  for (TVisibleTile& t : ya.VisibleTiles) t.Slot = -1;
  const int map = ya.MapIndex, source = ya.TileSource, z = ya.Zoom;
  // Maps, sources and zooms outside the table (a damaged screen file) show
  // background only.
  if (map < 0 || map >= kMaps || !TTileTable::ValidSource(source) || !mapdraw::ZoomUsable(z))
    return;
  TTileSource& tiles = MapFrames[static_cast<size_t>(map)].Tiles[source];
  const double now = plat::Now();
  const int64_t last = (int64_t{1} << z) - 1;
  for (TVisibleTile& t : ya.VisibleTiles) {
    int slot = tiles.Find(t.X, t.Y, z);
    if (slot >= 0) {
      t.Slot = slot;
      tiles.Touch(slot, now);
      continue;
    }
    std::string name = mapdraw::TileFileName(TileCacheDir, source, z, t.X, t.Y);
    Bytes data;
    if (mapdraw::KeepFreshTile(name, now) && mapdraw::ReadTileFile(name, data) && !data.empty()) {
      slot = tiles.Take(now + 36500);
      if (slot < 0) continue;
      tiles.Fill(slot, t.X, t.Y, z, std::move(data), now);
      t.Slot = slot;
      continue;
    }
    if (t.X >= 0 && t.X <= last && t.Y >= 0 && t.Y <= last) {
      slot = tiles.Take(plat::EncodeDate(2100, 1, 1));
      if (slot < 0) continue;
      tiles.Fill(slot, t.X, t.Y, z, Bytes(), now);
      t.Slot = slot;
    }
  }
}

void TDrawMap::Tick() {
  if (!CanDraw() || !Working) return;
  try {
    if (!LayoutDragging) {
      const double now = plat::Now();
      if (now - last_second_ > plat::EncodeTime(0, 0, 1)) {
        last_second_ = now;
        NeedRedraw = true;
      }
      for (int s = 1; s <= kScreens; ++s) {
        stru_ya& ya = Screens[static_cast<size_t>(s)];
        if (ya.Active && ya.RefreshPending && now > ya.RefreshAt) {
          ya.RefreshPending = false;
          RebuildScreen(s);
        }
      }
      if (MapFrames[1].Active) SendRequests(1);
    }
    if (NeedRedraw) {
      NeedRedraw = false;
      Present();
    }
  } catch (...) {
    // The tick runs again in 5 ms.
  }
}

void TDrawMap::SendRequests(int map) {
  TTileTable& table = MapFrames[static_cast<size_t>(map)].Tiles;
  const int64_t now_ms = plat::TickMs();
  for (int source = 0; source < TTileTable::kSources; ++source) {
    TTileSource& tiles = table[source];
    if (!tiles.HasAwaited()) continue;
    std::vector<int> due = tiles.TakeAwaited(now_ms);
    if (due.empty()) continue;
    std::vector<mapdraw::TTileAddress> list;
    list.reserve(due.size());
    for (int slot : due) list.push_back({tiles[slot].X, tiles[slot].Y, tiles[slot].Z});
    std::string text = mapdraw::TileRequestText(map, source, list);
    if (OnSendData) {
      TGFDataS records;
      mapdraw::TileRequestRecords(map, source, list, records);
      OnSendData(this, records);
    }
    if (OnSendDataU) OnSendDataU(this, text);
  }
}

void TDrawMap::PutTile(const uint8_t* data, size_t size) {
  mapdraw::TTileReply reply;
  if (!mapdraw::ParseTileReply(data, size, reply)) return;
  if (reply.Map < 0 || reply.Map >= kMaps || !TTileTable::ValidSource(reply.Source)) return;
  TTileSource& tiles = MapFrames[static_cast<size_t>(reply.Map)].Tiles[reply.Source];
  const int slot = tiles.Find(reply.X, reply.Y, reply.Z);
  if (slot < 0) return;
  tiles.SetRequested(slot, false);
  if (size <= 27) {
    tiles.Free(slot);
    return;
  }
  std::string failure;
  const std::string dir = mapdraw::TileColumnDir(TileCacheDir, reply.Source, reply.Z, reply.X);
  const std::string file =
      mapdraw::TileFileName(TileCacheDir, reply.Source, reply.Z, reply.X, reply.Y);
  Bytes picture;
  if (!plat::ForceDirectories(mapdraw::TileSourceDir(TileCacheDir, reply.Source)) ||
      !plat::ForceDirectories(dir)) {
    failure = W1251("Не удалось создать папку ") + dir;
  } else if (reply.Format == mapdraw::kTileFormatPng) {
    if (!mapdraw::PngToJpeg(reply.Picture, reply.PictureSize, picture))
      failure = W1251("Не удалось прочитать рисунок ") + file;
  } else {
    picture.assign(reply.Picture, reply.Picture + reply.PictureSize);
  }
  if (!failure.empty()) {
    // The tile stays awaited; a server that keeps sending it broken is asked
    // again after a growing pause instead of on every tick.
    const int64_t delay =
        std::min<int64_t>(int64_t{2000} << std::min(tiles.Failures(slot), 5), 60000);
    tiles.Defer(slot, plat::TickMs() + delay);
    ReportError(failure);
    return;
  }
  plat::WriteFileAtomic(file, picture);  // a cache file that cannot be written is not fatal
  tiles.SetData(slot, std::move(picture));
  for (int s = 1; s <= kScreens; ++s) {
    stru_ya& ya = Screens[static_cast<size_t>(s)];
    if (ya.Active && ya.MapIndex == reply.Map) {
      ya.RefreshAt = 0;
      ya.RefreshPending = true;
    }
  }
}
