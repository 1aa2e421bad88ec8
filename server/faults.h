// Fault injection for tests: loss, duplication, reordering and delay applied to
// each datagram passing one direction. Every random choice comes from one seed,
// so a run can be repeated.
#pragma once
#include <cstdint>
#include <deque>
#include <random>
#include <vector>

#include "platform/udp_socket.h"

namespace srv {

struct FaultSettings {
  double drop = 0;     // probability a datagram is lost
  double dup = 0;      // probability it is delivered twice
  double reorder = 0;  // probability it is held back behind the next one
  int delay_ms = 0;    // every datagram is late by this much
  uint64_t seed = 1;
  bool Active() const { return drop > 0 || dup > 0 || reorder > 0 || delay_ms > 0; }
};

struct Datagram {
  plat::Ipv4Addr addr;
  std::vector<uint8_t> bytes;
};

class FaultLine {
 public:
  FaultLine(const FaultSettings& s, uint64_t stream);

  // Offers one datagram at time now_ms.
  void Push(Datagram d, int64_t now_ms);
  // Datagrams due at now_ms, in release order.
  std::vector<Datagram> Due(int64_t now_ms);
  // Milliseconds until the next release, -1 when nothing waits.
  int NextDueIn(int64_t now_ms) const;

 private:
  struct Timed {
    int64_t at;
    Datagram d;
  };
  bool Chance(double p);
  void Schedule(Datagram d, int64_t at);

  FaultSettings s_;
  std::mt19937_64 rng_;
  std::deque<Timed> queue_;  // ordered by release time
  bool holding_ = false;     // a reordered datagram waits for the next one
  Timed held_{};
};

}  // namespace srv
