// Demo data: a city's guarded objects, technicians, photo sendings with
// generated pictures, photos and remarks, and a working day of technician
// events that goes on live. Everything follows from one seed.
#pragma once
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "server/core.h"

namespace srv {

// Fills an empty store (no users yet): user "demo" with password "demo" and
// the tables. Returns false when the store already holds data.
bool CreateDemoData(ServerCore& core, uint64_t seed, int objects = 5000);

// Writes the simulated day up to the time of day now_seconds into an empty
// history, then adds one event per Step.
class DemoDay {
 public:
  DemoDay(ServerCore& core, uint64_t seed);
  void FillDay(int now_seconds);
  void Step(int now_seconds);

 private:
  struct Tech {
    std::string name;
    bool at_work = false;
    int object = 0;
    std::string kind;
  };
  void Start(Tech& t, int sec);
  void End(Tech& t, int sec);
  HistoryEvent Event(uint16_t type, const Tech& t, int sec) const;
  void Emit(const HistoryEvent& e);

  ServerCore& core_;
  std::mt19937_64 rng_;
  std::vector<Tech> techs_;
  std::vector<HistoryEvent>* collect_ =
      nullptr;  // the simulated day is sorted before it is written
};

// The demo's technicians.
const std::vector<std::string>& DemoTechnicians();
// A generated photo (JPEG when the image coder is available).
Bytes DemoPhoto(int seed, const std::string& caption);

}  // namespace srv
