// Movies whose timing players get wrong, against FFmpeg's own timing of them: pictures stored out
// of order whose packets carry decode times alone (B-frames in AVI and in a program stream), files
// libavformat cannot seek back in (an FLV, a WebM cut short, an MP4 missing its first key picture),
// and a pipe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "framework_movies.h"
#include "media/test_filters.h"
#include "mediagen_timing.h"
#include "moviegen.h"
#include "reference_video.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

using movietest::FrameworkMovies;
using movietest::MoviePath;

constexpr int kStepMs = 10;

struct Picture {
  int number;
  double ms;  // from the container's start
};

// The pictures as FFmpeg decodes them, each at its best-effort time (one without follows the one
// before, as FFmpeg's player shows it), and where the later of pictures and sound ends.
std::vector<Picture> ReferencePictures(const std::string& path, double* frameMs, double* endMs) {
  AVFormatContext* ctx = nullptr;
  if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) return {};
  AVRational base[2] = {};  // of the sound, of the pictures
  if (avformat_find_stream_info(ctx, nullptr) >= 0)
    for (int video = 0; video < 2; ++video) {
      const int s = av_find_best_stream(ctx, video ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
      if (s >= 0) base[video] = ctx->streams[s]->time_base;
      if (s >= 0 && video) *frameMs = 1000 / av_q2d(av_guess_frame_rate(ctx, ctx->streams[s], nullptr));
    }
  const double startMs = ctx->start_time != AV_NOPTS_VALUE ? ctx->start_time / 1000.0 : 0;
  avformat_close_input(&ctx);
  auto ms = [&](const AVFrame& f, int video) { return f.best_effort_timestamp * av_q2d(base[video]) * 1000 - startMs; };
  std::vector<Picture> pictures;
  DecodeFramesWithFFmpeg(path, true, [&](const AVFrame& f) {
    int number = 0;  // the bits ReadTestMovieNumber reads, from the luma
    for (int bit = 0; bit < kMovieNumberBits; ++bit)
      number |= (f.data[0][4 * f.linesize[0] + bit * 8 + 4] > 128) << bit;
    const bool timed = f.best_effort_timestamp != AV_NOPTS_VALUE;
    pictures.push_back({number, timed ? ms(f, 1) : pictures.empty() ? 0 : pictures.back().ms + *frameMs});
    *endMs = pictures.back().ms + *frameMs;
    return true;
  });
  DecodeFramesWithFFmpeg(path, false, [&](const AVFrame& f) {
    if (f.best_effort_timestamp != AV_NOPTS_VALUE)
      *endMs = std::max(*endMs, ms(f, 0) + 1000.0 * f.nb_samples / f.sample_rate);
    return true;
  });
  return pictures;
}

// The share of a core the process takes over `times` updates of the movie 2 ms apart.
double CoreShare(int movie, int times) {
  const std::clock_t cpu = std::clock();
  const auto wall = std::chrono::steady_clock::now();
  for (int i = 0; i < times; ++i) {
    UpdateMovie(movie);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
  return double(std::clock() - cpu) / CLOCKS_PER_SEC / seconds;
}

class TimedMovies : public FrameworkMovies, public ::testing::WithParamInterface<TimingClip> {
 protected:
  TimedMovies() { audio.rate = 48000; }  // a whole number of frames a step, so sound keeps the clock's pace
};

}  // namespace

void PrintTo(const TimingClip& clip, std::ostream* out) { *out << clip.name; }

TEST_P(TimedMovies, ShowEveryPictureOnceOnTimeAndLoopBackToTheFirst) {
  double frameMs = 0, end = 0;
  const std::string path = MoviePath(GetParam().name);
  const std::vector<Picture> want = ReferencePictures(path, &frameMs, &end);
  ASSERT_GE(want.size(), 30u);
  const int m = Open(path);
  ASSERT_NE(m, -1);
  MovieHandleRecord* r = GetMovieHandleRecord(m);
  auto* seeking = static_cast<IMediaSeeking*>(r->mediaSeeking);
  // The clock is set while the graph is stopped; the open left it paused.
  static_cast<IMediaControl*>(r->mediaControl)->Stop();
  ComPtr<IMediaFilter> graph;
  static_cast<IGraphBuilder*>(r->graphBuilder)->QueryInterface(IID_IMediaFilter, graph.PutVoid());
  ComPtr<mtest::ManualClock> clock(new mtest::ManualClock);
  ASSERT_EQ(graph->SetSyncSource(clock.Get()), S_OK);
  PlayMovie(m, PlayType::Loop);

  // The clock moves 10 ms a step once the picture due has come (after the first pass, once the
  // second has started), 2 s at most; each pass's pictures with the step that first showed them.
  std::vector<std::pair<int, int>> passes[2];
  int restart = -1;
  double held = -1;
  size_t folded = 0;
  bool behind = false;
  for (int t = 0; t <= 3 * end && (restart < 0 || t < restart + want[10].ms); t += kStepMs) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(behind ? 200 : 2000);
    for (;; std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
      UpdateMovie(m);
      int64_t position = -1;
      if (restart < 0 && t >= end && SUCCEEDED(seeking->GetCurrentPosition(&position)) &&
          position < frameMs * UNITS / 1000)
        restart = t - int(position * 1000 / UNITS);  // the second pass may have begun a step before
      auto& pass = passes[restart >= 0];
      for (; folded < shown.numbers.size(); ++folded)
        if (pass.empty() || shown.numbers[folded] != pass.back().first) pass.emplace_back(shown.numbers[folded], t);
      int due = -1;
      for (const Picture& p : want)
        if (std::max(restart, 0) + p.ms <= t + 1e-6) due = p.number;
      if ((restart >= 0 || t < end) && (pass.empty() ? due < 0 : pass.back().first >= due)) break;
      if (std::chrono::steady_clock::now() > limit) {
        behind = true;
        break;
      }
    }
    if (held < 0 && !passes[1].empty()) {
      CoreShare(m, 50);  // the second pass fills its queues
      held = CoreShare(m, 100);
    }
    clock->Advance(kStepMs * UNITS / 1000);
    AudioNull_Advance(device, audio.rate * kStepMs / 1000);
  }
  CloseMovie(m);

  // Every picture once, in order, in the step of its time (a pass's first picture may come as the
  // pass begins: the paused movie's before play, the loop's as it goes back); the second pass
  // from the first's end on, as far as its tenth picture.
  ASSERT_GE(restart, 0);
  EXPECT_LE(restart - end, frameMs + kStepMs);
  for (int k = 0; k < 2; ++k) {
    std::vector<int> numbers, wanted, off;
    for (size_t i = 0; i < passes[k].size() && i < (k ? 10 : want.size()); ++i) {
      const auto [number, at] = passes[k][i];
      const double due = (k ? restart : 0) + want[i].ms;
      numbers.push_back(number);
      wanted.push_back(want[i].number);
      if ((at < due - 1e-6 && i) || at >= due + kStepMs) off.push_back(number);
    }
    EXPECT_EQ(numbers, wanted) << "pass " << k + 1;
    EXPECT_TRUE(off.empty()) << "pass " << k + 1 << ": " << ::testing::PrintToString(off);
  }
  EXPECT_EQ(passes[0].size(), want.size());
  EXPECT_GE(passes[1].size(), 10u);
  // Between the passes nothing works on: with the clock held the process takes a small part of
  // a core.
  EXPECT_LT(held, 0.25);
}

INSTANTIATE_TEST_SUITE_P(Clips, TimedMovies, ::testing::ValuesIn(TimingClips()), movietest::ClipTestName());

TEST_F(FrameworkMovies, APipeThatCannotGoBackEndsItsLoopOnceAndSaysWhy) {
  const std::string bytes = ReadWholeFile(MoviePath("count50_silent.mkv"));
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  signal(SIGPIPE, SIG_IGN);  // the writer learns of a reader gone from write's result
  std::thread writer([&] {
    for (size_t at = 0; at < bytes.size();) {
      const ssize_t n = write(fds[1], bytes.data() + at, bytes.size() - at);
      if (n <= 0) break;
      at += size_t(n);
    }
    close(fds[1]);
  });
  const int m = Open("pipe:" + std::to_string(fds[0]));
  MovieHandleRecord* r = GetMovieHandleRecord(m);
  if (r) {
    PlayMovie(m, PlayType::Loop);
    for (int i = 0; i < 5000 && r->pausedFlag == 0; ++i) {
      UpdateMovie(m);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(r->playState, 0);
    EXPECT_EQ(shown.numbers.empty() ? -1 : shown.numbers.back(), 49);
    // Ended, it stays so: nothing tries again.
    EXPECT_LT(CoreShare(m, 100), 0.25);
    EXPECT_EQ(r->pausedFlag, 1);
    CloseMovie(m);
  }
  if (fcntl(fds[0], F_GETFD) != -1) close(fds[0]);  // some libavformat releases close it themselves
  writer.join();
  ASSERT_NE(r, nullptr);
  const std::string text = ReadWholeFile(log), why = "ムービーファイルの再生位置を戻せないため、再生を終了します";
  EXPECT_NE(text.find(why), std::string::npos);
  EXPECT_EQ(text.find(why), text.rfind(why));
}
