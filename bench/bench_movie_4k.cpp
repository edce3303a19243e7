// Large H.264 movies through the framework. Playback: a 2160p30 movie with AAC sound played
// through OpenMovie on the real clock, quiet and with every core kept busy: frames shown (by the
// number each shows), those shown within a tenth of a second of their time, and gaps in the sound
// heard. Cost: the process CPU time per frame of decoding and converting to the 32-bit picture
// through the graph, beside FFmpeg decoding on one thread and converting with libswscale to
// 32-bit in the same run (ratio: ours / FFmpeg's).
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench_engine.h"
#include "bench_files.h"
#include "engine/draw/draw.h"
#include "engine/sound/movie/movie.h"
#include "engine/sound/movie/movie_renderer.h"
#include "engine/system/system.h"
#include "graph_run.h"
#include "mediagen.h"
#include "moviegen.h"
#include "platform/audio/audio.h"

namespace {

constexpr int kFps = 30;
constexpr int kFrames = 60;  // two seconds

// Written once per size and kind, removed when the program ends.
const std::string& ClipOf(int height, bool sound) {
  static std::map<int, BenchFile> clips;
  BenchFile& c = clips[height * 2 + sound];
  if (c.path.empty()) {
    c.path = BenchFileName(std::to_string(height) + (sound ? "s" : "") + ".mp4");
    TestClipSpec shape;
    shape.videoCodec = "libx264";
    shape.audioCodec = sound ? "aac" : nullptr;
    shape.width = height * 16 / 9;
    shape.height = height;
    shape.fps = kFps;
    shape.frames = kFrames;
    if (!WriteTestClip(c.path, shape)) c.path = "-";
  }
  return c.path;
}

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

std::map<int, double> ffmpegCpuPerFrame;  // by height, ms

void BM_FFmpegDecodeConvertCpu(benchmark::State& state) {
  const int height = int(state.range(0));
  const std::string& path = ClipOf(height, false);
  if (path == "-") return state.SkipWithError("no clip");
  int64_t frames = 0;
  double cpu = 0;
  for (auto _ : state) {
    const double before = CpuSeconds();
    const int64_t made = DecodeWithFFmpegAlone(path, true);
    if (made < 0) return state.SkipWithError("cannot open");
    frames += made;
    cpu += CpuSeconds() - before;
  }
  ffmpegCpuPerFrame[height] = frames ? cpu * 1000 / double(frames) : 0;
  state.counters["cpu_ms_per_frame"] = ffmpegCpuPerFrame[height];
  state.SetItemsProcessed(frames);
}
BENCHMARK(BM_FFmpegDecodeConvertCpu)->Arg(1080)->Arg(2160)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_MovieGraphDecodeConvertCpu(benchmark::State& state) {
  const int height = int(state.range(0));
  const std::string& path = ClipOf(height, false);
  if (path == "-") return state.SkipWithError("no clip");
  std::u16string wide(path.begin(), path.end());
  int64_t frames = 0;
  double cpu = 0;
  for (auto _ : state) {
    const double before = CpuSeconds();
    ComPtr<CountingRenderer> renderer = PlayGraphUnclocked(wide);
    if (!renderer) return state.SkipWithError("cannot render");
    frames += renderer->frames;
    cpu += CpuSeconds() - before;
  }
  const double ours = frames ? cpu * 1000 / double(frames) : 0;
  state.counters["cpu_ms_per_frame"] = ours;
  if (ffmpegCpuPerFrame[height] > 0) state.counters["ratio"] = ours / ffmpegCpuPerFrame[height];
  state.SetItemsProcessed(frames);
}
BENCHMARK(BM_MovieGraphDecodeConvertCpu)->Arg(1080)->Arg(2160)->Unit(benchmark::kMillisecond)->Iterations(3);

struct Played {
  std::map<int, double> at;  // seconds after play at which each frame (by the number it shows) came
  std::chrono::steady_clock::time_point start;
};

void OnFrame(MovieHandleRecord* movie, intptr_t data) {
  auto* p = reinterpret_cast<Played*>(data);
  const int number = ReadTestMovieNumber(static_cast<const uint8_t*>(movie->frameImage->Pixels),
                                         movie->frameImage->Pitch);
  p->at.emplace(number, std::chrono::duration<double>(std::chrono::steady_clock::now() - p->start).count());
}

// Runs of at least 10 ms of near silence within the tone, and their total length in ms.
void SoundGaps(const std::vector<int16_t>& stereo, int rate, int* gaps, double* silentMs) {
  *gaps = 0;
  *silentMs = 0;
  const size_t n = stereo.size() / 2;
  size_t first = 0;
  while (first < n && std::abs(stereo[first * 2]) < 1000) ++first;
  const size_t last = std::min(n, first + size_t(rate) * kFrames / kFps - size_t(rate) / 50);
  size_t run = 0;
  for (size_t i = first; i <= last; ++i) {
    const bool quiet = i < last && std::abs(stereo[i * 2]) < 200 && std::abs(stereo[i * 2 + 1]) < 200;
    if (quiet) {
      ++run;
      continue;
    }
    if (run >= size_t(rate) / 100) {
      ++*gaps;
      *silentMs += run * 1000.0 / rate;
    }
    run = 0;
  }
}

void BM_MoviePlayback2160p30(benchmark::State& state) {
  const bool busy = state.range(0) != 0;
  const std::string& path = ClipOf(2160, true);
  if (path == "-") return state.SkipWithError("no clip");
  BenchEngine engine;
  if (!engine.started) return state.SkipWithError("no engine");
  AudioDevice* device = engine.device;
  const NullAudioConfig& audio = engine.audio;
  std::atomic<bool> stop{false};
  std::vector<std::thread> load;
  if (busy)
    for (unsigned i = 0; i < std::thread::hardware_concurrency(); ++i)
      load.emplace_back([&] {
        volatile uint64_t x = 0;
        while (!stop) x = x + 1;
      });
  double shown = 0, onTime = 0, gaps = 0, silent = 0;
  for (auto _ : state) {
    const int param[1] = {0};
    const int m = OpenMovie(param, path.c_str(), nullptr, nullptr, 0, 0);
    if (m == -1) return state.SkipWithError("cannot open");
    Played played;
    SetMovieFrameCallback(m, OnFrame, reinterpret_cast<intptr_t>(&played));
    AudioNull_ClearCapture(device);
    played.start = std::chrono::steady_clock::now();
    PlayMovie(m, PlayType::Background);
    MovieHandleRecord* r = GetMovieHandleRecord(m);
    uint64_t mixed = 0;
    for (;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - played.start).count();
      const uint64_t due = uint64_t(t * audio.rate);
      AudioNull_Advance(device, uint32_t(due - mixed));
      mixed = due;
      UpdateMovie(m);
      if (r->pausedFlag == 1 || t > 4) break;
    }
    CloseMovie(m);
    int g = 0;
    double ms = 0;
    SoundGaps(AudioNull_Capture(device), int(audio.rate), &g, &ms);
    shown += double(played.at.size());
    // On time: within a tenth of a second of its place in the movie.
    for (auto [number, at] : played.at) onTime += at <= double(number) / kFps + 0.1;
    gaps += g;
    silent += ms;
  }
  stop = true;
  for (auto& t : load) t.join();
  const double runs = double(state.iterations());
  state.counters["frames_shown"] = shown / runs;
  state.counters["frames_on_time"] = onTime / runs;
  state.counters["sound_gaps"] = gaps / runs;
  state.counters["silent_ms"] = silent / runs;
}
BENCHMARK(BM_MoviePlayback2160p30)->ArgName("busy")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
