// The technicians of the day, replayed from the event history: who is at
// which object, on the road, at lunch or in the office, and since when.
// Pure logic, no widgets: the main window feeds it the history and a lookup of
// the "object" table, and hands the result to the map.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/history/history.h"

struct stru_tehwork {
  std::string Name;
  std::string Status;
  bool AtWork = false;
  std::string OpenObjects;  // ",5,,7,": one ",n," per open object
  int32_t ObjectNumber = 0;
  std::string ObjectName;
  std::string Address;
  std::string WorkKind;
  int32_t StartMinute = 0;
  int32_t EndMinute = 0;
};

// What the replay needs of an object: its "addrnp - address" text. False when
// the object table has no record with that number (the address stays empty).
using TehObjectAddress = std::function<bool(int32_t number, std::string& address)>;

class TTehWorkReplay {
 public:
  // Replays the whole history from an empty list.
  void Rebuild(const THistoryData& history, const TehObjectAddress& address);
  const std::vector<stru_tehwork>& TehWork() const { return work_; }

 private:
  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };

  stru_tehwork* Find(std::string_view name);
  stru_tehwork& Append(std::string_view name);
  void SetObject(stru_tehwork& e, int32_t name_ref, int32_t n, std::string_view object_name,
                 const TehObjectAddress& address);
  void Start(const THistoryRecord& r, const THistoryData& h, const TehObjectAddress& address,
             bool instruction);
  void End(const THistoryRecord& r, const THistoryData& h, size_t name_at, size_t kind_at);

  std::vector<stru_tehwork> work_;
  // Name -> position in work_; names are matched exactly, the first entry wins.
  std::unordered_map<std::string, size_t, NameHash, std::equal_to<>> by_name_;
  // Object number -> how many entries have it in OpenObjects. An end at an
  // object nobody has open changes nothing (an entry at work always has an
  // open object), so the walk over every entry is skipped.
  std::unordered_map<int32_t, int> open_count_;
};
