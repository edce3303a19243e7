// Memory that big movies leave behind: a 2160p30 H.264 movie with AAC sound opened, played to its
// end on the real clock and closed through the engine's movie operations, ten times one after
// another, and three at once. Counters: resident memory before the first open, at the highest
// point and after the last close (MB), and what the close kept of it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench_engine.h"
#include "bench_files.h"
#include "engine/draw/draw.h"
#include "engine/sound/movie/movie.h"
#include "engine/system/system.h"
#include "mediagen.h"
#include "platform/audio/audio.h"

namespace {

constexpr int kFrames = 30;  // one second

const std::string& Clip2160p() {
  static const BenchFile clip{[] {
    std::string p = BenchFileName("memory_2160.mp4");
    TestClipSpec shape;
    shape.videoCodec = "libx264";
    shape.audioCodec = "aac";
    shape.width = 3840;
    shape.height = 2160;
    shape.fps = 30;
    shape.frames = kFrames;
    if (!WriteTestClip(p, shape)) p = "-";
    return p;
  }()};
  return clip.path;
}

// Opens `count` movies of the clip, plays them together to their end and closes them. False when
// one does not open.
bool PlayTogether(int count, AudioDevice* device, uint32_t rate) {
  std::vector<int> movies;
  for (int i = 0; i < count; ++i) {
    const int param[1] = {0};
    const int m = OpenMovie(param, Clip2160p().c_str(), nullptr, nullptr, 0, 0);
    if (m == -1) break;
    movies.push_back(m);
  }
  const bool opened = int(movies.size()) == count;
  for (int m : movies) PlayMovie(m, PlayType::Background);
  const auto start = std::chrono::steady_clock::now();
  uint64_t mixed = 0;
  for (bool playing = opened; playing;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const uint64_t due = uint64_t(t * rate);
    AudioNull_Advance(device, uint32_t(due - mixed));
    mixed = due;
    playing = false;
    for (int m : movies) {
      UpdateMovie(m);
      playing = playing || GetMovieHandleRecord(m)->pausedFlag == 0;
    }
    if (t > 4.0 * kFrames / 30) break;
  }
  for (int m : movies) CloseMovie(m);
  return opened;
}

// Argument: movies at once; ten rounds with one, one round with more.
void BM_Movie2160pMemory(benchmark::State& state) {
  const int together = int(state.range(0));
  if (Clip2160p() == "-") return state.SkipWithError("no clip");
  BenchEngine engine;
  if (!engine.started) return state.SkipWithError("no engine");
  double before = 0, after = 0, highest = 0, unused;
  for (auto _ : state) {
    ResidentBytes(&before, &unused);
    ResetHighestResident();
    for (int round = 0; round < (together == 1 ? 10 : 1); ++round)
      if (!PlayTogether(together, engine.device, engine.audio.rate)) return state.SkipWithError("cannot open");
    ResidentBytes(&after, &highest);
  }
  constexpr double kMb = 1 << 20;
  state.counters["rss_before_mb"] = before / kMb;
  state.counters["rss_highest_mb"] = highest / kMb;
  state.counters["rss_after_mb"] = after / kMb;
  state.counters["kept_mb"] = (after - before) / kMb;
  if (after - before > 64 * kMb) state.SetLabel("more than 64 MB kept");
}
BENCHMARK(BM_Movie2160pMemory)->ArgName("together")->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
