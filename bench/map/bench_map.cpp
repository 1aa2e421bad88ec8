// Map control: full repaints with and without the decoded tile cache (one
// 1504 x 883 screen of JPEG tiles, and a 64-screen layout), and the idle tick
// against the 64 000-slot scan it replaces.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "map/drawmap.h"
#include "platform/clock.h"

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench_map";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

plat::FakeClock g_clock(1000000, 46000.5);

// A tile with enough detail that decoding it costs what a map tile costs.
Bytes MapLikeJpeg(int seed) {
  QImage img(256, 256, QImage::Format_RGB32);
  std::mt19937 rng(static_cast<unsigned>(seed));
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      int v = ((x / 16 + y / 16 + seed) % 3) * 40 + static_cast<int>(rng() % 24);
      img.setPixel(x, y, qRgb(200 + v / 4, 190 + v / 3, 180 + v / 2));
    }
  QByteArray out;
  QBuffer buf(&out);
  buf.open(QIODevice::WriteOnly);
  img.save(&buf, "JPEG", 75);
  return Bytes(out.begin(), out.end());
}

Bytes Reply(int x, int y, int z, const Bytes& pic) {
  Bytes b(26, 0);
  const int32_t head[5] = {x, y, z, 1, 0};
  for (int i = 0; i < 5; ++i)
    for (int k = 0; k < 4; ++k)
      b[static_cast<size_t>(i * 4 + k)] = static_cast<uint8_t>(head[i] >> (8 * k));
  b.insert(b.end(), pic.begin(), pic.end());
  return b;
}

std::string Dir() {
  static std::string d = [] {
    auto p = std::filesystem::temp_directory_path() /
             ("svcdesk_bench_map_" + std::to_string(::getpid()));
    std::filesystem::create_directories(p);
    return p.string();
  }();
  return d;
}

// A control with every visible tile of every active screen delivered.
std::unique_ptr<TDrawMap> MakeMap(bool sixty_four) {
  App();
  plat::SetClock(&g_clock);
  auto m = std::make_unique<TDrawMap>();
  m->Timer()->stop();
  m->resize(1504, 883);
  m->TileCacheDir = Dir() + "/cache";
  m->MapFrames[1].Active = true;
  m->MapFrames[1].Kind = kMapKindTiles;
  for (int s = 1; s <= TDrawMap::kScreens; ++s) {
    stru_ya& ya = m->Screens[static_cast<size_t>(s)];
    // Each screen a little further east, so the 64 screens show different tiles.
    ya.CenterLon = 37.6 + (sixty_four ? (s - 1) * 0.03 : 0);
    ya.CenterLat = 55.75;
    ya.Zoom = 15;
    ya.MapIndex = 1;
  }
  m->Initialize();
  std::string layout;
  for (int i = 1; i <= 64; ++i) {
    int n = sixty_four ? i : 1;
    layout += static_cast<char>('0' + n / 10);
    layout += static_cast<char>('0' + n % 10);
  }
  m->SetLayout(layout);
  int seed = 0;
  for (int s = 1; s <= TDrawMap::kScreens; ++s) {
    if (!m->Screens[static_cast<size_t>(s)].Active) continue;
    for (const TVisibleTile& t : m->Screens[static_cast<size_t>(s)].VisibleTiles)
      m->PutTile(Reply(t.X, t.Y, 15, MapLikeJpeg(seed++)));
  }
  m->Tick();
  m->FullRepaint = true;
  m->Present();
  return m;
}

void Repaint(benchmark::State& state, bool sixty_four, bool cached) {
  auto m = MakeMap(sixty_four);
  size_t tiles = 0;
  for (int s = 1; s <= TDrawMap::kScreens; ++s)
    if (m->Screens[static_cast<size_t>(s)].Active)
      tiles += m->Screens[static_cast<size_t>(s)].VisibleTiles.size();
  for (auto _ : state) {
    if (!cached) m->ClearPictureCache();
    m->FullRepaint = true;
    m->Present();
  }
  state.counters["tiles"] = static_cast<double>(tiles);
}

void BM_RepaintOneScreenCached(benchmark::State& s) {
  Repaint(s, false, true);
}
void BM_RepaintOneScreenDecoding(benchmark::State& s) {
  Repaint(s, false, false);
}
void BM_Repaint64ScreensCached(benchmark::State& s) {
  Repaint(s, true, true);
}
void BM_Repaint64ScreensDecoding(benchmark::State& s) {
  Repaint(s, true, false);
}

// The idle tick: nothing awaited, nothing pending, no second elapsed.
void BM_IdleTick(benchmark::State& state) {
  auto m = MakeMap(false);
  m->Tick();
  for (auto _ : state) m->Tick();
}

// What every tick did before: look at all 64 x 1000 slots of map 1 for
// awaited tiles.
void BM_SlotScan(benchmark::State& state) {
  auto m = MakeMap(false);
  const TTileTable& table = m->MapFrames[1].Tiles;
  for (auto _ : state) {
    int awaited = 0;
    for (int src = 0; src < TTileTable::kSources; ++src) {
      const TTileSource& t = table[src];
      for (int i = 0; i < TTileSource::kSlots; ++i) {
        const stru_OSM& slot = t[i];
        if (slot.Used && slot.Data.empty() && !slot.Requested) ++awaited;
      }
    }
    benchmark::DoNotOptimize(awaited);
  }
}

BENCHMARK(BM_RepaintOneScreenCached)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepaintOneScreenDecoding)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Repaint64ScreensCached)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Repaint64ScreensDecoding)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdleTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SlotScan)->Unit(benchmark::kMicrosecond);

class Keeper : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ns;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs)
      if (r.run_type == Run::RT_Iteration) {
        // CPU time in ns per iteration, whatever unit the run reports in.
        double mult = r.time_unit == benchmark::kMillisecond   ? 1e6
                      : r.time_unit == benchmark::kMicrosecond ? 1e3
                                                               : 1;
        ns[r.benchmark_name()] = r.GetAdjustedCPUTime() * mult;
      }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Keeper k;
  benchmark::RunSpecifiedBenchmarks(&k);
  // The same figures also as one line (name, baseline, target) for scripts/bench's table.
  auto line = [&](const char* what, const char* a, const char* b, double unit, const char* u,
                  const char* name, const char* base, const char* target) {
    double x = k.ns[a], y = k.ns[b];
    if (x > 0 && y > 0) {
      std::printf("%s: %.3f %s against %.3f %s; ratio %.4f\n", what, x / unit, u, y / unit, u,
                  x / y);
      std::printf("RESULT|%s|%.3f %s|%.3f %s (%s)|%.4f|%s\n", name, x / unit, u, y / unit, u, base,
                  x / y, target);
    }
  };
  line("full repaint, one screen (decoded cache vs decoding every tile; target <= 5 ms)",
       "BM_RepaintOneScreenCached", "BM_RepaintOneScreenDecoding", 1e6, "ms",
       "map repaint, one screen", "decoding every tile", "<= 5 ms");
  line("full repaint, 64 screens (decoded cache vs decoding every tile; target <= 16 ms)",
       "BM_Repaint64ScreensCached", "BM_Repaint64ScreensDecoding", 1e6, "ms",
       "map repaint, 64 screens", "decoding every tile", "<= 16 ms");
  line("idle tick vs 64 000-slot scan (target ratio <= 0.01)", "BM_IdleTick", "BM_SlotScan", 1e3,
       "us", "map idle tick", "64 000-slot scan", "ratio <= 0.01");
  benchmark::Shutdown();
  plat::SetClock(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(Dir(), ec);
  return 0;
}
