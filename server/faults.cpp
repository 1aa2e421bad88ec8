#include "server/faults.h"

#include <algorithm>

namespace srv {

namespace {
// A held-back datagram never waits longer than this for a successor.
constexpr int64_t kMaxHoldMs = 30;
}  // namespace

FaultLine::FaultLine(const FaultSettings& s, uint64_t stream)
    : s_(s), rng_(s.seed * 0x9E3779B97F4A7C15ull + stream) {}

bool FaultLine::Chance(double p) {
  if (p <= 0) return false;
  return std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < p;
}

void FaultLine::Schedule(Datagram d, int64_t at) {
  auto it = std::upper_bound(queue_.begin(), queue_.end(), at,
                             [](int64_t t, const Timed& x) { return t < x.at; });
  queue_.insert(it, Timed{at, std::move(d)});
}

void FaultLine::Push(Datagram d, int64_t now_ms) {
  if (Chance(s_.drop)) return;
  int copies = Chance(s_.dup) ? 2 : 1;
  int64_t at = now_ms + s_.delay_ms;
  for (int i = 0; i < copies; ++i) {
    Datagram c = (i + 1 < copies) ? d : std::move(d);
    if (!holding_ && Chance(s_.reorder)) {
      holding_ = true;
      held_ = Timed{at + kMaxHoldMs, std::move(c)};
      continue;
    }
    Schedule(std::move(c), at);
    if (holding_) {
      holding_ = false;
      Schedule(std::move(held_.d), at);
    }
  }
}

std::vector<Datagram> FaultLine::Due(int64_t now_ms) {
  std::vector<Datagram> out;
  if (holding_ && held_.at <= now_ms) {
    holding_ = false;
    Schedule(std::move(held_.d), held_.at);
  }
  while (!queue_.empty() && queue_.front().at <= now_ms) {
    out.push_back(std::move(queue_.front().d));
    queue_.pop_front();
  }
  return out;
}

int FaultLine::NextDueIn(int64_t now_ms) const {
  int64_t next = -1;
  if (!queue_.empty()) next = queue_.front().at;
  if (holding_ && (next < 0 || held_.at < next)) next = held_.at;
  if (next < 0) return -1;
  return static_cast<int>(std::max<int64_t>(0, next - now_ms));
}

}  // namespace srv
