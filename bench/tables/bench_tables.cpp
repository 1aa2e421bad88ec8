// Loading a 1 000 000-record table file (eleven columns of mixed types, about
// 90 MB), plain and compressed, and rebuilding a sorted view of 100 000
// records. Baselines in the same run: reading the file and copying its bytes
// once; a bare zlib inflate of the compressed file.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/files.h"
#include "tables/base_client.h"
#include "tests/tables/writer.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRecords = 1000000;
constexpr int kSortRecords = 100000;

// A table of n records: ids, flags, names, numbers, booleans, doubles,
// seconds, date-times, a lookup, a pooled text and 64-bit values.
std::string MakeTable(int n) {
  using namespace tw;
  std::mt19937 rng(20240305);
  std::string ids, flags, names, nums, bools, dbls, secs, dts, codes, offs, bigs, dict, pool;
  std::vector<int32_t> poolOffsets;
  for (int k = 0; k < 1000; ++k) {
    poolOffsets.push_back(static_cast<int32_t>(pool.size()));
    pool += Short("note " + std::to_string(k * 7919 % 100000));
  }
  for (int k = 1; k <= 50; ++k) dict += I32(k) + Short("kind " + std::to_string(k));
  ids.reserve(4 * n);
  names.reserve(41 * n);
  for (int i = 0; i < n; ++i) {
    ids += I32(i + 1);
    flags += U8(rng() % 50 == 0 ? 1 : 0);
    std::string name =
        "Object " + std::to_string(rng() % 1000000) + " street " + std::to_string(rng() % 500);
    names += Fixed(name, 41);
    nums += I32(static_cast<int32_t>(rng() % 2000000) - 1000000);
    bools += U8(rng() & 1);
    dbls += F64((rng() % 1000000) / 100.0);
    secs += I32(static_cast<int32_t>(rng() % 800000000));
    dts += F64(45000 + (rng() % 1000000) / 1000.0);
    codes += U16(static_cast<uint16_t>(1 + rng() % 50));
    offs += I32(poolOffsets[rng() % poolOffsets.size()]);
    bigs += I64(static_cast<int64_t>(rng()) << 20);
  }
  std::vector<Col> c;
  c.push_back({1, "n_abs", 1, 4, 0, 0, ids});
  c.push_back({2, "p_d", 3, 1, 0, 0, flags});
  c.push_back({3, "name", 2, 41, 0, 0, names});
  c.push_back({4, "num", 1, 4, 0, 0, nums});
  c.push_back({5, "flag", 4, 1, 0, 0, bools});
  c.push_back({6, "sum", 7, 8, 0, 0, dbls});
  c.push_back({7, "r_dt", 8, 4, 0, 0, secs});
  c.push_back({8, "dt", 9, 8, 0, 0, dts});
  c.push_back({9, "kind", 15, 2, 21, 50, dict + codes});
  c.push_back({10, "note", 24, 4, 0, static_cast<int32_t>(pool.size()), offs + pool});
  c.push_back({11, "big", 13, 8, 0, 0, bigs});
  return TableFile("big", n, c);
}

struct Files {
  fs::path dir;
  fs::path plain, zipped;
  size_t plainSize = 0;
  std::string zippedBytes;
};

const Files& Prepared() {
  static const Files f = [] {
    Files f;
    f.dir = fs::temp_directory_path() / ("bench_tables_" + std::to_string(::getpid()));
    fs::create_directories(f.dir / "temp");
    const std::string table = MakeTable(kRecords);
    f.plainSize = table.size();
    f.plain = f.dir / "big.tbl";
    tw::WriteFile(f.plain, table);
    uLongf n = compressBound(table.size());
    f.zippedBytes.resize(n);
    compress2(reinterpret_cast<Bytef*>(f.zippedBytes.data()), &n,
              reinterpret_cast<const Bytef*>(table.data()), table.size(), 1);
    f.zippedBytes.resize(n);
    f.zipped = f.dir / "big.tbz";
    tw::WriteFile(f.zipped, f.zippedBytes);
    std::printf("table file: %d records, %.1f MB, compressed %.1f MB\n", kRecords,
                table.size() / 1e6, f.zippedBytes.size() / 1e6);
    return f;
  }();
  return f;
}

// LoadFromFile deletes what it loaded: hand it a fresh link to the file.
void LoadOnce(benchmark::State& state, const fs::path& file, bool zip) {
  const Files& f = Prepared();
  state.PauseTiming();
  const fs::path delivered = f.dir / "temp" / "delivered";
  fs::remove(delivered);
  fs::create_hard_link(file, delivered);
  auto t = std::make_unique<TBaseClient>(f.dir.string());
  t->NameTableS = "big";
  t->Zip = zip;
  state.ResumeTiming();
  t->LoadFromFile(delivered.string());
  benchmark::DoNotOptimize(t->Count());
  state.PauseTiming();
  if (t->Count() < kRecords / 2) state.SkipWithError("table did not load");
  t.reset();
  state.ResumeTiming();
}

void BM_LoadTable(benchmark::State& state) {
  for (auto _ : state) LoadOnce(state, Prepared().plain, false);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Prepared().plainSize));
}

void BM_ReadAndCopy(benchmark::State& state) {
  const Files& f = Prepared();
  for (auto _ : state) {
    std::vector<uint8_t> bytes;
    plat::ReadWholeFile(f.plain.string(), bytes);
    std::vector<uint8_t> copy(bytes.size());
    std::memcpy(copy.data(), bytes.data(), bytes.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.plainSize));
}

void BM_LoadTableCompressed(benchmark::State& state) {
  for (auto _ : state) LoadOnce(state, Prepared().zipped, true);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Prepared().plainSize));
}

void BM_Inflate(benchmark::State& state) {
  const Files& f = Prepared();
  for (auto _ : state) {
    std::vector<uint8_t> out(f.plainSize);
    uLongf n = out.size();
    uncompress(out.data(), &n, reinterpret_cast<const Bytef*>(f.zippedBytes.data()),
               f.zippedBytes.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.plainSize));
}

void BM_RefreshSorted(benchmark::State& state, const char* column) {
  const Files& f = Prepared();
  const fs::path small = f.dir / "small.tbl";
  if (!fs::exists(small)) tw::WriteFile(small, MakeTable(kSortRecords));
  const fs::path delivered = f.dir / "temp" / "small";
  fs::remove(delivered);
  fs::create_hard_link(small, delivered);
  TBaseClient t(f.dir.string());
  t.NameTableS = "big";
  t.LoadFromFile(delivered.string());
  t.SetSort(column);
  for (auto _ : state) {
    t.SetSorted(true);  // rebuilds
    benchmark::DoNotOptimize(t.Count());
  }
  state.SetItemsProcessed(state.iterations() * kSortRecords);
}

BENCHMARK(BM_LoadTable)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ReadAndCopy)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LoadTableCompressed)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Inflate)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_RefreshSorted, text, "name")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_RefreshSorted, integer, "num")->Unit(benchmark::kMillisecond)->Iterations(5);

// Keeps each benchmark's CPU time per iteration (the machine is shared) so the
// ratios can be printed.
class Keeper : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ms;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs)
      if (r.run_type == Run::RT_Iteration) ms[r.benchmark_name()] = r.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  double Get(const std::string& prefix) const {
    for (const auto& [k, v] : ms)
      if (k.rfind(prefix, 0) == 0) return v;
    return 0;
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Keeper k;
  benchmark::RunSpecifiedBenchmarks(&k);
  const double load = k.Get("BM_LoadTable/"), copy = k.Get("BM_ReadAndCopy/");
  const double zload = k.Get("BM_LoadTableCompressed/"), inflate = k.Get("BM_Inflate/");
  if (load > 0 && copy > 0)
    std::printf(
        "load of %d records: %.1f ms; reading and copying the file: %.1f ms; "
        "ratio %.2f (target >= 0.5)\n",
        kRecords, load, copy, copy / load);
  if (load > 0 && copy > 0)
    std::printf(
        "RESULT|table load, %d records|%.1f ms|%.1f ms (reading and copying the file)|"
        "%.2f|ratio >= 0.5\n",
        kRecords, load, copy, copy / load);
  if (zload > 0 && inflate > 0)
    std::printf("compressed load: %.1f ms; bare inflate: %.1f ms; ratio %.2f (target >= 0.8)\n",
                zload, inflate, inflate / zload);
  if (zload > 0 && inflate > 0)
    std::printf("RESULT|compressed table load|%.1f ms|%.1f ms (bare inflate)|%.2f|ratio >= 0.8\n",
                zload, inflate, inflate / zload);
  const double text = k.Get("BM_RefreshSorted/text"), integer = k.Get("BM_RefreshSorted/integer");
  if (text > 0)
    std::printf("RefreshData sorted over %d records: text column %.1f ms, integer column %.1f ms\n",
                kSortRecords, text, integer);
  if (text > 0 && integer > 0)
    std::printf(
        "RESULT|RefreshData sorted by text, %d records|%.1f ms|%.1f ms (integer column)|"
        "%.2f|-\n",
        kSortRecords, text, integer, text / integer);
  fs::remove_all(Prepared().dir);
  benchmark::Shutdown();
  return 0;
}
