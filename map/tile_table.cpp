#include "map/tile_table.h"

#include <atomic>

namespace {
std::atomic<uint64_t> g_next_data_id{1};
}

TTileSource::TTileSource()
    : slots_(kSlots), ids_(kSlots, 0), retry_at_(kSlots, 0), failures_(kSlots, 0) {
  for (int i = 0; i < kAssignable; ++i) free_.insert(free_.end(), i);
}

int TTileSource::Find(int32_t x, int32_t y, int32_t z) const {
  auto it = index_.find(Key{x, y, z});
  return it == index_.end() ? -1 : it->second;
}

int TTileSource::Take(double bound) {
  if (!free_.empty()) return *free_.begin();
  if (by_use_.empty()) return -1;
  // The scan would keep the first slot with the smallest time below `bound`;
  // with every time at or above it the oldest is taken all the same rather
  // than an invalid slot.
  (void)bound;
  int slot = by_use_.begin()->second;
  Free(slot);
  return slot;
}

void TTileSource::Unindex(int slot) {
  const stru_OSM& s = slots_[static_cast<size_t>(slot)];
  if (!s.Used) return;
  auto it = index_.find(Key{s.X, s.Y, s.Z});
  if (it != index_.end() && it->second == slot) index_.erase(it);
  by_use_.erase({s.LastUse, slot});
}

void TTileSource::Reindex(int slot) {
  const stru_OSM& s = slots_[static_cast<size_t>(slot)];
  if (!s.Used) return;
  index_[Key{s.X, s.Y, s.Z}] = slot;
  if (slot < kAssignable) by_use_.insert({s.LastUse, slot});
}

void TTileSource::UpdateAwaited(int slot) {
  const stru_OSM& s = slots_[static_cast<size_t>(slot)];
  if (s.Used && s.Data.empty() && !s.Requested)
    awaited_.insert(slot);
  else
    awaited_.erase(slot);
}

void TTileSource::NewData(int slot) {
  ids_[static_cast<size_t>(slot)] = g_next_data_id++;
}

void TTileSource::Fill(int slot, int32_t x, int32_t y, int32_t z, Bytes data, double now) {
  if (!ValidSlot(slot)) return;
  Unindex(slot);
  stru_OSM& s = slots_[static_cast<size_t>(slot)];
  s.Used = true;
  s.X = x;
  s.Y = y;
  s.Z = z;
  s.Data = std::move(data);
  s.Requested = false;
  s.LastUse = now;
  failures_[static_cast<size_t>(slot)] = 0;
  retry_at_[static_cast<size_t>(slot)] = 0;
  free_.erase(slot);
  NewData(slot);
  Reindex(slot);
  UpdateAwaited(slot);
}

void TTileSource::Touch(int slot, double now) {
  if (!ValidSlot(slot)) return;
  Unindex(slot);
  slots_[static_cast<size_t>(slot)].LastUse = now;
  Reindex(slot);
}

void TTileSource::Free(int slot) {
  if (!ValidSlot(slot)) return;
  Unindex(slot);
  stru_OSM& s = slots_[static_cast<size_t>(slot)];
  s.Used = false;
  s.Data.clear();
  s.Data.shrink_to_fit();
  s.Requested = false;
  failures_[static_cast<size_t>(slot)] = 0;
  retry_at_[static_cast<size_t>(slot)] = 0;
  NewData(slot);
  if (slot < kAssignable) free_.insert(slot);
  UpdateAwaited(slot);
}

void TTileSource::SetRequested(int slot, bool requested) {
  if (!ValidSlot(slot)) return;
  slots_[static_cast<size_t>(slot)].Requested = requested;
  UpdateAwaited(slot);
}

void TTileSource::SetData(int slot, Bytes data) {
  if (!ValidSlot(slot)) return;
  slots_[static_cast<size_t>(slot)].Data = std::move(data);
  failures_[static_cast<size_t>(slot)] = 0;
  retry_at_[static_cast<size_t>(slot)] = 0;
  NewData(slot);
  UpdateAwaited(slot);
}

void TTileSource::Defer(int slot, int64_t retry_at_ms) {
  if (!ValidSlot(slot)) return;
  ++failures_[static_cast<size_t>(slot)];
  retry_at_[static_cast<size_t>(slot)] = retry_at_ms;
}

std::vector<int> TTileSource::TakeAwaited(int64_t now_ms) {
  std::vector<int> out;
  if (awaited_.empty()) return out;
  for (auto it = awaited_.begin(); it != awaited_.end();) {
    int slot = *it;
    if (retry_at_[static_cast<size_t>(slot)] > now_ms) {
      ++it;
      continue;
    }
    slots_[static_cast<size_t>(slot)].Requested = true;
    out.push_back(slot);
    it = awaited_.erase(it);
  }
  return out;
}
