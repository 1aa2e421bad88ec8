// The index walk over a day's history of 100 000 records, reading the fields
// and pool strings the technicians replay reads. Baseline: copying the same
// bytes (what taking a reader's snapshot costs).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/history/history.h"
#include "app/history/history_writer.h"

namespace {

constexpr int kRecords = 100000;

// A day of a suite: mostly alarm-side events the workstation does not read,
// about a third technician events with pool references.
const THistoryWriter& Day() {
  static const THistoryWriter w = [] {
    THistoryWriter w(3, 2021, 10, 18);
    std::mt19937 rng(20211018);
    std::vector<int32_t> techs, objects, kinds;
    for (int i = 0; i < 60; ++i)
      techs.push_back(w.AddString("\xD2\xE5\xF5\xED\xE8\xEA " + std::to_string(i)));
    for (int i = 0; i < 3000; ++i)
      objects.push_back(
          w.AddString("\xCE\xE1\xFA\xE5\xEA\xF2 \xB9" + std::to_string(i) + " ul. Lenina"));
    for (const char* k : {"\xCC\xEE\xED\xF2\xE0\xE6", "\xC7\xE0\xFF\xE2\xEA\xE0",
                          "\xCE\xE1\xE5\xE4", "\xCE\xF4\xE8\xF1"})
      kinds.push_back(w.AddString(k));
    const uint16_t tech_types[] = {kHistWorkStarted,        kHistWorkEnded1,
                                   kHistWorkEnded2,         kHistWorkEnded3,
                                   kHistInstructionStarted, kHistInstructionEnded1};
    for (int i = 0; i < kRecords; ++i) {
      const int sec = static_cast<int>(int64_t{i} * 86399 / kRecords);
      const auto h = static_cast<uint8_t>(sec / 3600), m = static_cast<uint8_t>(sec / 60 % 60),
                 s = static_cast<uint8_t>(sec % 60);
      if (rng() % 3 == 0) {
        w.AddEvent(tech_types[rng() % 6], h, m, s, static_cast<int32_t>(rng() % 3000),
                   objects[rng() % objects.size()], techs[rng() % techs.size()],
                   kinds[rng() % kinds.size()]);
      } else {
        w.AddRecord(static_cast<uint16_t>(0x0100 + rng() % 40), h, m, s,
                    std::string(8 + rng() % 33, static_cast<char>(rng())));
      }
    }
    return w;
  }();
  return w;
}

void BM_IndexWalk(benchmark::State& state) {
  const THistoryWriter& w = Day();
  for (auto _ : state) {
    THistoryWalk walk(w.Zag(), w.Zap(), 5);
    THistoryRecord r;
    size_t read = 0, names = 0;
    while (walk.Next(r)) {
      ++read;
      if (HistoryPayloadSize(r.Type) == 0) continue;
      const bool f57 = r.Type == kHistWorkEnded1 || r.Type == kHistWorkEnded3;
      names += HistoryPoolString(w.Memo(), r.I32(f57 ? 9 : 13)).size();
      names += HistoryPoolString(w.Memo(), r.I32(5)).size();
      benchmark::DoNotOptimize(r.I32(1));
    }
    benchmark::DoNotOptimize(read);
    benchmark::DoNotOptimize(names);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_CopyBytes(benchmark::State& state) {
  const THistoryWriter& w = Day();
  const size_t n = w.Zag().size() + w.Zap().size() + w.Memo().size();
  std::vector<char> dst(n);
  for (auto _ : state) {
    std::memcpy(dst.data(), w.Zag().data(), w.Zag().size());
    std::memcpy(dst.data() + w.Zag().size(), w.Zap().data(), w.Zap().size());
    std::memcpy(dst.data() + w.Zag().size() + w.Zap().size(), w.Memo().data(), w.Memo().size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(n));
}

BENCHMARK(BM_IndexWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyBytes)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time per iteration so the ratio can be printed.
class Keeper : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ns;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs)
      if (r.run_type == Run::RT_Iteration)
        ns[r.benchmark_name()] =
            r.GetAdjustedCPUTime() * 1e6;  // ms -> ns, CPU time: the machine is shared
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Keeper k;
  benchmark::RunSpecifiedBenchmarks(&k);
  const double walk = k.ns["BM_IndexWalk"], copy = k.ns["BM_CopyBytes"];
  if (walk > 0 && copy > 0)
    std::printf(
        "index walk of %d records: %.3f ms CPU; copying its bytes: %.3f ms CPU; ratio %.1f\n",
        kRecords, walk / 1e6, copy / 1e6, walk / copy);
  // One line a figure for scripts/bench's table.
  if (walk > 0 && copy > 0)
    std::printf(
        "RESULT|history index walk, %d records|%.3f ms|%.3f ms (copying its bytes)|%.1f|-\n",
        kRecords, walk / 1e6, copy / 1e6, walk / copy);
  benchmark::Shutdown();
  return 0;
}
