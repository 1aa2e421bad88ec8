#include "app/tehwork/tehwork.h"

#include <charconv>

#include "platform/text1251.h"

namespace {

const std::string& KindAlarmButtonCheck() {
  return W1251("Проверка тревожных кнопок");
}

// ",n," written into a small buffer: the replay runs over the whole day on
// every refresh, so it allocates as little as it can.
class ObjectMark {
 public:
  explicit ObjectMark(int32_t n) {
    buf_[0] = ',';
    char* end = std::to_chars(buf_ + 1, buf_ + sizeof(buf_) - 1, n).ptr;
    *end++ = ',';
    len_ = static_cast<size_t>(end - buf_);
  }
  std::string_view view() const { return {buf_, len_}; }

 private:
  char buf_[16];
  size_t len_;
};

// The pool string at ref, as HistoryPoolString reads it, without a copy.
std::string_view PoolView(std::string_view memo, int32_t ref) {
  if (ref < 0 || static_cast<size_t>(ref) >= memo.size()) return {};
  const size_t len = static_cast<uint8_t>(memo[static_cast<size_t>(ref)]);
  const size_t at = static_cast<size_t>(ref) + 1;
  if (memo.size() - at < len) return {};
  return memo.substr(at, len);
}

}  // namespace

stru_tehwork* TTehWorkReplay::Find(std::string_view name) {
  auto it = by_name_.find(name);
  return it == by_name_.end() ? nullptr : &work_[it->second];
}

stru_tehwork& TTehWorkReplay::Append(std::string_view name) {
  by_name_.emplace(std::string(name), work_.size());
  work_.emplace_back();
  work_.back().Name = name;
  return work_.back();
}

void TTehWorkReplay::SetObject(stru_tehwork& e, int32_t name_ref, int32_t n,
                               std::string_view object_name, const TehObjectAddress& address) {
  // An event without an object leaves no address: the previous object's
  // would stand under a stage that is not there.
  e.Address.clear();
  if (name_ref < 0) {
    e.ObjectName.clear();
    e.ObjectNumber = -1;
    return;
  }
  e.ObjectName = object_name;
  e.ObjectNumber = n;
  // An object the table does not hold has no address (and no position on the map).
  if (address) address(n, e.Address);
}

void TTehWorkReplay::Start(const THistoryRecord& r, const THistoryData& h,
                           const TehObjectAddress& address, bool instruction) {
  const int32_t n = r.I32(1);
  const int32_t name_ref = r.I32(5);
  const std::string_view teh = PoolView(h.Memo, r.I32(13));
  if (teh.empty()) return;
  std::string_view kind;
  if (!instruction) {
    kind = PoolView(h.Memo, r.I32(17));
    if (kind == KindAlarmButtonCheck()) return;
  }
  stru_tehwork* e = Find(teh);
  if (instruction && e == nullptr) return;  // an instruction never introduces a technician
  const ObjectMark m(n);
  const std::string_view mark = m.view();
  if (e != nullptr && e->AtWork) {
    if (e->OpenObjects.find(mark) == std::string::npos) {
      e->OpenObjects += mark;
      ++open_count_[n];
    }
    return;
  }
  if (e == nullptr) e = &Append(teh);
  e->StartMinute = r.Hour * 60 + r.Minute;
  if (instruction) {
    e->Status = W1251("На объекте");
    e->WorkKind = W1251("Инструктаж");
  } else {
    const bool pause =
        kind == W1251("Обед") || kind == W1251("Офис") || kind == W1251("Обменный фонд");
    e->Status = pause ? std::string(kind) : W1251("На объекте");
    e->WorkKind = kind;
  }
  e->AtWork = true;
  e->OpenObjects = mark;
  ++open_count_[n];
  SetObject(*e, name_ref, n, PoolView(h.Memo, name_ref), address);
}

void TTehWorkReplay::End(const THistoryRecord& r, const THistoryData& h, size_t name_at,
                         size_t kind_at) {
  const int32_t n = r.I32(1);
  const int32_t name_ref = r.I32(5);
  const std::string_view teh = PoolView(h.Memo, r.I32(name_at));
  if (teh.empty()) return;
  if (kind_at != 0 && PoolView(h.Memo, r.I32(kind_at)) == KindAlarmButtonCheck()) return;
  const int32_t t = r.Hour * 60 + r.Minute;
  const ObjectMark m(n);
  const std::string_view mark = m.view();
  // The end closes the object for everyone who has it open, not only the one named.
  auto open = open_count_.find(n);
  for (size_t i = 0; open != open_count_.end() && open->second > 0 && i < work_.size(); ++i) {
    stru_tehwork& e = work_[i];
    if (e.OpenObjects.empty()) continue;
    const size_t at = e.OpenObjects.find(mark);
    if (at == std::string::npos) continue;
    e.OpenObjects.erase(at, mark.size());
    --open->second;
    if (e.OpenObjects.empty() && e.AtWork) {
      e.Status = W1251("В дороге");
      e.AtWork = false;
      e.EndMinute = t;
    }
  }
  if (Find(teh) != nullptr) return;
  stru_tehwork& e = Append(teh);
  e.Status = W1251("В дороге");
  e.AtWork = false;
  e.EndMinute = t;
  if (name_ref < 0) {
    e.ObjectNumber = -1;
  } else {
    e.ObjectName = PoolView(h.Memo, name_ref);
    e.ObjectNumber = n;
  }
}

void TTehWorkReplay::Rebuild(const THistoryData& history, const TehObjectAddress& address) {
  work_.clear();
  by_name_.clear();
  open_count_.clear();
  THistoryWalk walk(history);
  THistoryRecord r;
  while (walk.Next(r)) {
    switch (r.Type) {
      case kHistWorkStarted:
        Start(r, history, address, false);
        break;
      case kHistInstructionStarted:
        Start(r, history, address, true);
        break;
      case kHistInstructionEnded1:
      case kHistInstructionEnded2:
        End(r, history, 13, 0);
        break;
      case kHistWorkEnded2:
        End(r, history, 13, 17);
        break;
      case kHistWorkEnded1:
      case kHistWorkEnded3:
        End(r, history, 9, 13);
        break;
      default:
        break;
    }
  }
}
