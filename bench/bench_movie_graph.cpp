// Movies through the media framework: a 640 x 480 MPEG-4 clip decoded through the graph into the
// movie renderer and converted to the 32-bit image, beside FFmpeg decoding the same clip alone.
// Items are frames; the process is held to one core.
#include <benchmark/benchmark.h>
#include <sched.h>

#include <cstdio>
#include <string>

#include "bench_files.h"
#include "engine/sound/movie/movie_renderer.h"
#include "graph_run.h"
#include "mediagen.h"
#include "one_core.h"

namespace {

constexpr int kClipFrames = 100;

const std::string& Clip() {
  static const BenchFile clip{[] {
    std::string p = BenchFileName("640x480.mp4");
    TestClipSpec shape;
    shape.width = 640;
    shape.height = 480;
    shape.frames = kClipFrames;
    shape.quality = 12;
    if (!WriteTestClip(p, shape)) p.clear();
    return p;
  }()};
  return clip.path;
}

void BM_MovieGraph640x480(benchmark::State& state) {
  if (Clip().empty()) return state.SkipWithError("no clip");
  OneCore core;
  std::u16string path(Clip().begin(), Clip().end());
  int64_t frames = 0;
  for (auto _ : state) {
    ComPtr<CountingRenderer> renderer = PlayGraphUnclocked(path);
    if (!renderer) return state.SkipWithError("cannot render");
    frames += renderer->frames;
    if (renderer->colorType != MOVIE_COLOR_RGB32) state.SetLabel("not RGB32");
  }
  state.SetItemsProcessed(frames);
  state.SetBytesProcessed(frames * 640 * 480 * 4);
}
BENCHMARK(BM_MovieGraph640x480)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FFmpegAlone640x480(benchmark::State& state) {
  if (Clip().empty()) return state.SkipWithError("no clip");
  OneCore core;
  int64_t frames = 0;
  for (auto _ : state) {
    const int64_t made = DecodeWithFFmpegAlone(Clip(), false);
    if (made < 0) return state.SkipWithError("cannot open");
    frames += made;
  }
  state.SetItemsProcessed(frames);
  state.SetBytesProcessed(frames * 640 * 480 * 3 / 2);
}
BENCHMARK(BM_FFmpegAlone640x480)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
