// The in-memory tile table of one map record: 64 tile sources of 1000 slots.
// Slots change only through TTileSource, which keeps three indexes in step
// with them: (x, y, z) -> slot, the slots ordered by last use (for eviction),
// and the awaited slots in slot order (for requests), so neither binding nor
// an idle tick has to walk the 1000 slots.
#pragma once
#include <cstdint>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "foundation/json.h"  // Bytes

struct stru_OSM {
  bool Used = false;
  int32_t X = 0, Y = 0, Z = 0;
  Bytes Data;              // picture file bytes; empty while awaited
  bool Requested = false;  // handed out in a request, no reply yet
  double LastUse = 0;      // date-time a screen last bound the slot
};

class TTileSource {
 public:
  static constexpr int kSlots = 1000;
  // Binding assigns slots 0-998 only; slot 999 stays free.
  static constexpr int kAssignable = 999;

  TTileSource();

  const stru_OSM& operator[](int slot) const { return slots_[static_cast<size_t>(slot)]; }
  static bool ValidSlot(int slot) { return slot >= 0 && slot < kSlots; }

  // The used slot holding (x, y, z), or -1.
  int Find(int32_t x, int32_t y, int32_t z) const;
  // The lowest free slot of 0-998, or else the least recently used one (the
  // lowest slot among equal times), emptied. `bound` is the starting value of
  // the smallest-time search; a slot is evicted only when its time is below it,
  // and otherwise the lowest least recently used slot is taken all the same.
  int Take(double bound);
  // Fills a slot: used, not requested, these coordinates, data, last use.
  void Fill(int slot, int32_t x, int32_t y, int32_t z, Bytes data, double now);
  void Touch(int slot, double now);
  void Free(int slot);
  void SetRequested(int slot, bool requested);
  void SetData(int slot, Bytes data);
  // After a broken reply: the slot stays awaited but is not asked for again
  // before `retry_at_ms` (a growing delay is chosen by the caller via Failures).
  void Defer(int slot, int64_t retry_at_ms);
  int Failures(int slot) const { return failures_[static_cast<size_t>(slot)]; }

  // The awaited slots (used, no data, not requested) that are due, in slot
  // order; each is marked requested.
  std::vector<int> TakeAwaited(int64_t now_ms);
  bool HasAwaited() const { return !awaited_.empty(); }
  size_t UsedCount() const { return index_.size(); }

  // A number that changes whenever the slot's picture bytes change, so decoded
  // pictures can be cached by it.
  uint64_t DataId(int slot) const { return ids_[static_cast<size_t>(slot)]; }

 private:
  struct Key {
    int32_t x, y, z;
    bool operator==(const Key& o) const { return x == o.x && y == o.y && z == o.z; }
  };
  struct KeyHash {
    size_t operator()(const Key& k) const {
      uint64_t h = static_cast<uint32_t>(k.x) * 0x9E3779B97F4A7C15ull;
      h ^= (static_cast<uint64_t>(static_cast<uint32_t>(k.y)) << 1) * 0xC2B2AE3D27D4EB4Full;
      h ^= static_cast<uint64_t>(static_cast<uint32_t>(k.z)) * 0x165667B19E3779F9ull;
      return static_cast<size_t>(h ^ (h >> 29));
    }
  };
  void Unindex(int slot);
  void Reindex(int slot);
  void UpdateAwaited(int slot);
  void NewData(int slot);

  std::vector<stru_OSM> slots_;
  std::vector<uint64_t> ids_;
  std::vector<int64_t> retry_at_;
  std::vector<int> failures_;
  std::unordered_map<Key, int, KeyHash> index_;
  std::set<std::pair<double, int>> by_use_;  // used slots 0-998 by (LastUse, slot)
  std::set<int> free_;                       // free slots 0-998
  std::set<int> awaited_;
};

// 64 tile sources of one map record.
class TTileTable {
 public:
  static constexpr int kSources = 64;
  TTileTable() : sources_(kSources) {}
  TTileSource& operator[](int source) { return sources_[static_cast<size_t>(source)]; }
  const TTileSource& operator[](int source) const { return sources_[static_cast<size_t>(source)]; }
  static bool ValidSource(int source) { return source >= 0 && source < kSources; }

 private:
  std::vector<TTileSource> sources_;
};
