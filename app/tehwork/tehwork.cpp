#include "app/tehwork/tehwork.h"

#include "platform/text1251.h"

namespace {

const std::string& KindAlarmButtonCheck() { return W1251("Проверка тревожных кнопок"); }

std::string ObjectMark(int32_t n) { return "," + std::to_string(n) + ","; }

}  // namespace

stru_tehwork* TTehWorkReplay::Find(const std::string& name) {
  auto it = by_name_.find(name);
  return it == by_name_.end() ? nullptr : &work_[it->second];
}

stru_tehwork& TTehWorkReplay::Append(const std::string& name) {
  by_name_.emplace(name, work_.size());
  work_.emplace_back();
  work_.back().Name = name;
  return work_.back();
}

void TTehWorkReplay::SetObject(stru_tehwork& e, int32_t name_ref, int32_t n,
                               const std::string& object_name, const TehObjectAddress& address) {
  if (name_ref < 0) {
    e.ObjectName.clear();
    e.ObjectNumber = -1;
    return;
  }
  e.ObjectName = object_name;
  e.ObjectNumber = n;
  // An object the table does not hold has no address (and no position on the map).
  e.Address.clear();
  if (address) address(n, e.Address);
}

void TTehWorkReplay::Start(const THistoryRecord& r, const THistoryData& h,
                           const TehObjectAddress& address, bool instruction) {
  const int32_t n = r.I32(1);
  const int32_t name_ref = r.I32(5);
  const std::string teh = HistoryPoolString(h.Memo, r.I32(13));
  if (teh.empty()) return;
  std::string kind;
  if (!instruction) {
    kind = HistoryPoolString(h.Memo, r.I32(17));
    if (kind == KindAlarmButtonCheck()) return;
  }
  stru_tehwork* e = Find(teh);
  if (instruction && e == nullptr) return;  // an instruction never introduces a technician
  const std::string mark = ObjectMark(n);
  if (e != nullptr && e->AtWork) {
    if (e->OpenObjects.find(mark) == std::string::npos) e->OpenObjects += mark;
    return;
  }
  if (e == nullptr) e = &Append(teh);
  e->StartMinute = r.Hour * 60 + r.Minute;
  if (instruction) {
    e->Status = W1251("На объекте");
    e->WorkKind = W1251("Инструктаж");
  } else {
    const bool pause = kind == W1251("Обед") || kind == W1251("Офис") ||
                       kind == W1251("Обменный фонд");
    e->Status = pause ? kind : W1251("На объекте");
    e->WorkKind = kind;
  }
  e->AtWork = true;
  e->OpenObjects = mark;
  SetObject(*e, name_ref, n, HistoryPoolString(h.Memo, name_ref), address);
}

void TTehWorkReplay::End(const THistoryRecord& r, const THistoryData& h, size_t name_at,
                         size_t kind_at) {
  const int32_t n = r.I32(1);
  const int32_t name_ref = r.I32(5);
  const std::string teh = HistoryPoolString(h.Memo, r.I32(name_at));
  if (teh.empty()) return;
  if (kind_at != 0 && HistoryPoolString(h.Memo, r.I32(kind_at)) == KindAlarmButtonCheck()) return;
  const int32_t t = r.Hour * 60 + r.Minute;
  const std::string mark = ObjectMark(n);
  // The end closes the object for everyone who has it open, not only the one named.
  for (auto& e : work_) {
    const size_t at = e.OpenObjects.find(mark);
    if (at != std::string::npos) e.OpenObjects.erase(at, mark.size());
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
    e.ObjectName = HistoryPoolString(h.Memo, name_ref);
    e.ObjectNumber = n;
  }
}

void TTehWorkReplay::Rebuild(const THistoryData& history, const TehObjectAddress& address) {
  work_.clear();
  by_name_.clear();
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
