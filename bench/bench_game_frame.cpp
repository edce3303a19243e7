// Real game frames: the program's own loop (input, updates, drawing, the flip and its
// presentation into the window) on a stage of the generated game, on the manual clock so
// no time goes to waiting. One iteration is one frame; CPU time is the main thread's.
// Without a display SDL's dummy drivers are used (run under xvfb-run for an X11 window).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/system/system.h"
#include "game/harness.h"
#include "game/main_loop.h"

namespace {

namespace fs = std::filesystem;

const char* const kStages[] = {"1-1.txt", "2-3.txt", "3-4.txt", "4-2.txt", "5-4.txt",
                               "boss1.txt", "boss3.txt", "boss5.txt"};

// A copy of the game folder whose title leads into the given stage, made the working folder.
class GameFolder {
 public:
  explicit GameFolder(const std::string& stage) {
    old_ = fs::current_path();
    path_ = fs::temp_directory_path() / ("kestrune_bench_" + std::to_string(::getpid()));
    fs::remove_all(path_);
    fs::copy(KESTRUNE_GAMEDIR, path_, fs::copy_options::recursive);
    std::ofstream(path_ / "stages" / "start.txt") << "title.png," << stage << "\n";
    fs::current_path(path_);
  }
  ~GameFolder() {
    fs::current_path(old_);
    std::error_code ec;
    fs::remove_all(path_, ec);
  }

 private:
  fs::path old_, path_;
};

double ThreadCpuMicroseconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

void BM_RealGameFrame(benchmark::State& state) {
  if (!std::getenv("DISPLAY")) setenv("SDL_VIDEODRIVER", "dummy", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  const std::string stage = kStages[state.range(0)];
  GameFolder folder(stage);
  GameHarness game;
  if (!game.Start(7)) {
    state.SkipWithError("the game did not start");
    return;
  }
  game.Step();
  game.TapKey(KeyCode::Space);
  const bool inStage = game.StepUntil([] { return GetGamePhase() == GamePhase::kStage; }, 120);
  game.StepFrames(240);  // past the READY scene
  if (!inStage || !game.running()) {
    state.SkipWithError("the stage did not start");
    return;
  }
  // The player walks to and fro and attacks, so the stage has something to do.
  const int kLeft = 2, kRight = 4, kAttack = 16;
  int frame = 0;
  std::vector<double> frameCpu;  // each frame's CPU time: the mean also carries stage restarts
  frameCpu.reserve(static_cast<size_t>(state.max_iterations));
  for (auto _ : state) {
    game.SetPad(((frame / 60) % 2 ? kLeft : kRight) | (frame % 20 < 2 ? kAttack : 0));
    const double before = ThreadCpuMicroseconds();
    if (!game.Step()) {
      state.SkipWithError("the program ended");
      break;
    }
    frameCpu.push_back(ThreadCpuMicroseconds() - before);
    ++frame;
  }
  if (!frameCpu.empty()) {
    std::sort(frameCpu.begin(), frameCpu.end());
    state.counters["median_us"] = frameCpu[frameCpu.size() / 2];
    state.counters["p90_us"] = frameCpu[frameCpu.size() * 9 / 10];
  }
  state.SetLabel(stage);
  game.Finish();
}
BENCHMARK(BM_RealGameFrame)->DenseRange(0, 7)->ArgName("stage")->Iterations(1200)->Unit(benchmark::kMicrosecond);

}  // namespace
