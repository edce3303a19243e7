// Movies through the media framework: clips that FFmpeg reads play into the movie renderer, show
// their frames in order, loop or stop at their end, send their sound to the sound output, play
// from a temporary copy when only the engine's file layer reads them, and leave nothing behind;
// colour bars of each tag, and clips of each container and codec pair on a stepped clock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>
#include <vector>

#include "engine/draw/draw.h"
#include "engine/sound/movie/movie.h"
#include "framework_movies.h"
#include "media/test_filters.h"
#include "mediagen.h"
#include "mediagen_bars.h"
#include "mediagen_clips.h"
#include "movie_test_util.h"
#include "reference_video.h"
#include "platform/audio/audio.h"
#include "platform/media/media.h"
#include "platform/media/test_hooks.h"
#include "platform/window/test_driver.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

using movietest::FrameworkMovies;
using movietest::ImageNumber;
using movietest::MoviePath;

bool InOrder(const std::vector<int>& v) {
  for (size_t i = 1; i < v.size(); ++i)
    if (v[i] < v[i - 1]) return false;
  return true;
}

}  // namespace

TEST_F(FrameworkMovies, Mp4PlaysItsFramesInOrderWithItsSoundAndStopsAtTheEnd) {
  int w = 0, h = 0;
  const int m = Open(MoviePath("count50.mp4"), &w, &h);
  ASSERT_NE(m, -1);
  MovieHandleRecord* r = GetMovieHandleRecord(m);
  EXPECT_EQ(r->theoraFlag, 0);
  EXPECT_EQ(w, 128);
  EXPECT_EQ(h, 64);
  EXPECT_NEAR(double(r->duration), 2.0 * 10000000, 0.1 * 10000000);
  EXPECT_EQ(r->stopPosition, r->duration);
  EXPECT_EQ(r->pausedFlag, 1);
  EXPECT_EQ(r->temporaryFileFlag, 0);
  EXPECT_EQ(r->frameImage, &r->frameBase);

  ASSERT_TRUE(UpdatePaused(m));
  ASSERT_EQ(PlayMovie(m, PlayType::Background), 0);
  EXPECT_GT(MediaLiveThreads(), 0);
  ASSERT_TRUE(PlayFor(m, 6000, [&] { return r->pausedFlag == 1; }));
  EXPECT_EQ(r->playState, 0);
  ASSERT_GE(shown.numbers.size(), 10u);
  EXPECT_TRUE(InOrder(shown.numbers));
  EXPECT_EQ(shown.numbers.front(), 0);
  EXPECT_EQ(shown.numbers.back(), 49);
  EXPECT_EQ(shown.colorBytes, 4);
  EXPECT_EQ(r->frameBaseBorrowed, 1);

  // The tone came out of the sound output.
  std::vector<int16_t> heard = AudioNull_Capture(device);
  int loud = 0;
  for (int16_t s : heard) loud += std::abs(s) > 3000;
  EXPECT_GT(loud, int(audio.rate) / 2);

  // Pause and play reach the graph.
  FilterState state;
  static_cast<IMediaControl*>(r->mediaControl)->GetState(0, &state);
  EXPECT_EQ(state, FilterState::Running);
  PlayMovie(m);
  PauseMovie(m);
  static_cast<IMediaControl*>(r->mediaControl)->GetState(0, &state);
  EXPECT_EQ(state, FilterState::Paused);
  EXPECT_EQ(CloseMovie(m), 0);
  EXPECT_EQ(MediaLiveThreads(), 0);
  EXPECT_EQ(MediaLiveObjects(), 0);
}

TEST_F(FrameworkMovies, LoopingMoviesStartAgainAtTheirEnd) {
  const int m = Open(MoviePath("count50_silent.mkv"));
  ASSERT_NE(m, -1);
  MovieHandleRecord* r = GetMovieHandleRecord(m);
  ASSERT_EQ(PlayMovie(m, PlayType::Loop), 0);
  auto wrapped = [&] {
    return shown.numbers.size() > 1 && shown.numbers.back() < shown.numbers[shown.numbers.size() - 2];
  };
  ASSERT_TRUE(PlayFor(m, 6000, wrapped));
  EXPECT_EQ(r->pausedFlag, 0);
  EXPECT_EQ(r->playState, 1);
  EXPECT_EQ(shown.numbers[shown.numbers.size() - 2], 49);
  EXPECT_LT(shown.numbers.back(), 10);
  shown.numbers.erase(shown.numbers.begin(), shown.numbers.end() - 1);
  PlayFor(m, 300, [] { return false; });
  EXPECT_TRUE(InOrder(shown.numbers));  // on from the start again
  EXPECT_EQ(CloseMovie(m), 0);
}

TEST_F(FrameworkMovies, WebmPlaysVp8AndVorbis) {
  const int m = Open(MoviePath("count50.webm"));
  ASSERT_NE(m, -1);
  ASSERT_TRUE(UpdatePaused(m));
  PlayMovie(m);
  PlayFor(m, 600, [] { return false; });
  ASSERT_GE(shown.numbers.size(), 5u);
  EXPECT_TRUE(InOrder(shown.numbers));
  EXPECT_EQ(shown.numbers.front(), 0);
  for (int n : shown.numbers) EXPECT_TRUE(n >= 0 && n < 50) << n;
  EXPECT_EQ(CloseMovie(m), 0);
}

TEST_F(FrameworkMovies, FilesFfmpegCannotReadFailWithTheirMessages) {
  for (const char* name : {"unreadable.mp4", "nothing.mp4"}) {
    const std::string path = MoviePath(name);
    EXPECT_EQ(Open(path), -1);
    EXPECT_TRUE(Logged("ファイル:" + path + " が開けませんでした")) << name;
  }
  EXPECT_TRUE(Logged("ムービーファイルオープン処理時にエラーが発生しました"));
  EXPECT_FALSE(Logged("CLSID_FilterGraph"));
  EXPECT_EQ(MediaLiveObjects(), 0);
}

TEST_F(FrameworkMovies, PicturesUpTo4096x2304Play) {
  const std::string path = ScratchName("large.mp4");
  struct Size {
    int width, height;
    bool plays;
  };
  for (const Size s : {Size{4096, 2304, true}, Size{4112, 64, false}, Size{4096, 2320, false}}) {
    SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height));
    TestClipSpec clip;
    clip.width = s.width;
    clip.height = s.height;
    clip.frames = 1;
    ASSERT_TRUE(WriteTestClip(path, clip));
    int w = 0, h = 0;
    const int m = Open(path, &w, &h);
    if (!s.plays) {
      EXPECT_EQ(m, -1);
      EXPECT_TRUE(Logged("ファイル:" + path + " が開けませんでした"));
      continue;
    }
    ASSERT_NE(m, -1);
    EXPECT_EQ(w, s.width);
    EXPECT_EQ(h, s.height);
    shown.numbers.clear();
    PlayMovie(m);
    EXPECT_TRUE(PlayFor(m, 5000, [&] { return !shown.numbers.empty(); }));
    EXPECT_EQ(shown.numbers.empty() ? -1 : shown.numbers[0], 0);
    EXPECT_EQ(CloseMovie(m), 0);
    // Its pictures left the process with it.
    unsigned char in;
    EXPECT_NE(mincore(reinterpret_cast<void*>(uintptr_t(shown.pixels) & ~uintptr_t(4095)), 1, &in), 0);
  }
  std::remove(path.c_str());
}

namespace {

// A file layer that finds "archive:<name>" among the test movies: the framework cannot read it.
FileAccessTable plain;
StreamHandle ArchiveOpen(const char* path, int cache, int block, int async) {
  const std::string p(path);
  if (p.rfind("archive:", 0) != 0) return plain.Open(path, cache, block, async);
  return plain.Open(MoviePath(p.substr(8).c_str()).c_str(), cache, block, async);
}

}  // namespace

TEST_F(FrameworkMovies, ArchiveMembersPlayFromATemporaryCopy) {
  plain = *GetFileAccessTable();
  FileAccessTable archive = plain;
  archive.Open = ArchiveOpen;
  SetFileAccessTable(&archive);
  const int m = Open("archive:count50_silent.mkv");
  SetFileAccessTable(nullptr);
  ASSERT_NE(m, -1);
  MovieHandleRecord* r = GetMovieHandleRecord(m);
  EXPECT_EQ(r->temporaryFileFlag, 1);
  const std::string copy = r->temporaryPath;
  EXPECT_EQ(ReadWholeFile(copy), ReadWholeFile(MoviePath("count50_silent.mkv")));
  EXPECT_FALSE(Logged("ムービーファイルオープン処理時にエラーが発生しました"));
  EXPECT_EQ(std::u16string(r->widePath).size(), copy.size());
  PlayMovie(m);
  ASSERT_TRUE(PlayFor(m, 3000, [&] { return !shown.numbers.empty(); }));
  EXPECT_EQ(CloseMovie(m), 0);
  EXPECT_FALSE(std::filesystem::exists(copy));
}

TEST_F(FrameworkMovies, EngineEndStopsAndReleasesOpenGraphs) {
  const int a = Open(MoviePath("count50.mp4"));
  const int b = Open(MoviePath("count50_silent.mkv"));
  ASSERT_NE(a, -1);
  ASSERT_NE(b, -1);
  PlayMovie(a);
  PlayMovie(b, PlayType::Loop);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  LibEnd();  // with the graphs running
  EXPECT_EQ(MediaLiveThreads(), 0);
  EXPECT_EQ(MediaLiveObjects(), 0);
}


TEST_F(FrameworkMovies, GraphsShowTheFirstPictureAtTheirFirstDraw) {
  // Both paths: the framework's renderer gets the picture when the graph pauses, on its own thread.
  for (const char* name : {"count50.mp4", "count50.webm", "count100.ogv"}) {
    SCOPED_TRACE(name);
    const std::string path = MoviePath(name);
    ReferencePicture ref;
    ASSERT_TRUE(DecodeReferencePicture(path, 0, &ref));
    const MEMIMG* screen = GetScreenMemImg();
    for (int load = 0; load < 20; ++load) {
      const int g = LoadGraph(path.c_str());
      ASSERT_NE(g, -1);
      MovieHandleRecord* m = GetMovieHandleRecord(GetGraphRecord(g)->MovieHandle);
      ASSERT_NE(m, nullptr);
      ClearScreen();
      DrawGraph(0, 0, g, 0);
      EXPECT_EQ(m->pausedFlag, 1);
      EXPECT_EQ(m->playState, 0);
      // Theora goes through the same formulas as the reference, up to the draw's rounding; the
      // framework's converter may round otherwise, so it is held to the picture's likeness.
      EXPECT_GT(ref.Psnr(screen->TopLeft, screen->Base->Pitch), m->theoraFlag ? 60.0 : 35.0) << "load " << load;
      EXPECT_EQ(DeleteGraph(g), 0);
    }
  }
}

TEST_F(FrameworkMovies, ColourBarsFollowTheStreamsMatrixAndRange) {
  // Untagged streams are read as BT.601 limited range, as FFmpeg reads them. A wrong matrix or
  // range is 7 to 30 levels off.
  const struct {
    const char* name;
    ColorBarsSpec bars;
    double kr, kb;
  } tags[] = {
      {"BT.709 limited", {AVCOL_SPC_BT709, AVCOL_RANGE_MPEG}, 0.2126, 0.0722},
      {"BT.601 limited", {AVCOL_SPC_SMPTE170M, AVCOL_RANGE_MPEG}, 0.299, 0.114},
      {"BT.601 full", {AVCOL_SPC_SMPTE170M, AVCOL_RANGE_JPEG}, 0.299, 0.114},
      {"BT.709 full", {AVCOL_SPC_BT709, AVCOL_RANGE_JPEG}, 0.2126, 0.0722},
      {"BT.2020 limited", {AVCOL_SPC_BT2020_NCL, AVCOL_RANGE_MPEG}, 0.2627, 0.0593},
      {"untagged", {AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_UNSPECIFIED}, 0.299, 0.114},
  };
  const std::string path = ScratchName("bars.mp4");
  for (const auto& tag : tags) {
    SCOPED_TRACE(tag.name);
    ASSERT_TRUE(WriteColorBars(path, tag.bars));
    shown = {};
    const int m = Open(path);
    ASSERT_NE(m, -1);
    PlayMovie(m);
    ASSERT_TRUE(UpdatePaused(m));
    for (int bar = 0; bar < kColorBars; ++bar) {
      int y, cb, cr;
      ColorBarYCbCr(tag.bars, bar, &y, &cb, &cr);
      // The decoding equations of the tag, in floating point.
      const bool full = tag.bars.range == AVCOL_RANGE_JPEG;
      const double luma = full ? y / 255.0 : (y - 16) / 219.0;
      const double pb = (cb - 128) / (full ? 255.0 : 224.0), pr = (cr - 128) / (full ? 255.0 : 224.0);
      const double r = luma + 2 * (1 - tag.kr) * pr, b = luma + 2 * (1 - tag.kb) * pb;
      const double want[3] = {r, (luma - tag.kr * r - tag.kb * b) / (1 - tag.kr - tag.kb), b};
      uint8_t got[4];
      GetBaseImagePixel(GetMovieHandleRecord(m)->frameImage, bar * kColorBarWidth + kColorBarWidth / 2,
                        kColorBarsHeight / 2, &got[0], &got[1], &got[2], &got[3]);
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(got[c], std::clamp(std::lround(want[c] * 255), 0L, 255L), 1) << "bar " << bar << " channel " << c;
    }
    CloseMovie(m);
  }
  std::remove(path.c_str());
}

namespace {

constexpr int kRate = 48000;
constexpr int kStepMs = 10;
constexpr int kWindow = kRate / 500;  // 2 ms of sound

// Where FFmpeg puts the clip's first picture after the container's start: the movie clock's 0.
double PictureStartMs(const std::string& path) {
  AVFormatContext* ctx = nullptr;
  if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) return 0;
  double ms = 0;
  if (avformat_find_stream_info(ctx, nullptr) >= 0 && ctx->start_time != AV_NOPTS_VALUE) {
    const int v = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVStream* st = v >= 0 ? ctx->streams[v] : nullptr;
    if (st && st->start_time != AV_NOPTS_VALUE)
      ms = double(av_rescale_q(st->start_time, st->time_base, AVRational{1, 1000000}) - ctx->start_time) / 1000;
  }
  avformat_close_input(&ctx);
  return ms;
}

// The clip as it was made, on the movie clock (ms): frame k at start + k / fps, the tone from
// start for its length, the end when the longer of the two is over.
struct Made {
  int first = 0;   // number of the first frame shown (an edit list skips the ones before)
  int frames = 0;  // frames shown
  double frameMs = 0, startMs = 0, pictureMs = 0, soundMs = 0, endMs = 0;  // no sound: soundMs 0
};

Made MadeOf(const SyncClip& clip) {
  const TestClipSpec& s = clip.shape;
  Made m;
  m.first = s.startFrame < 0 ? -s.startFrame : 0;
  m.frames = s.frames - m.first;
  m.frameMs = 1000.0 / s.fps;
  m.startMs = PictureStartMs(MoviePath(clip.name));
  m.pictureMs = m.frames * m.frameMs;
  m.soundMs = s.audioCodec ? ((s.soundFrames >= 0 ? s.soundFrames : s.frames) - m.first) * m.frameMs : 0;
  m.endMs = m.startMs + std::max(m.pictureMs, m.soundMs);
  return m;
}

// What one play looked and sounded like, in ms of the movie clock.
struct Heard {
  double firstSound = NAN;  // first sound, from its due time
  double soundEnd = NAN;    // end of the last sound, from its due time
  int dropouts = 0;         // silent gaps inside the sound
  double afterEnd = 0;      // sound heard after the track's end
  int endAt = -1;           // when the movie said it had stopped
  int missing = 0, off = 0; // frames never shown, frames shown away from their time
  int wrapTo = -1;          // first frame after the wrap, counted from the first frame
  int wrapAt = -1;          // when it was shown
  bool soundAgain = false;  // the tone came back after the wrap
};

class MovieSync : public FrameworkMovies, public ::testing::WithParamInterface<SyncClip> {
 protected:
  MovieSync() {
    audio.rate = kRate;
    audio.channels = 1;
  }

  // Steps the clock and the sound output together, 10 ms at a time, until the time. Before each
  // step it waits (up to a limit) for what is due by then: the frame, a step of sound, the end
  // or the wrap; once a wait runs out the streams are behind and the next waits are short.
  Heard Play(const SyncClip& clip, const Made& made, bool loop, int untilMs) {
    Heard h;
    shown = {};
    const int m = Open(MoviePath(clip.name));
    EXPECT_NE(m, -1);
    if (m == -1) return h;
    auto last = [&] { return shown.numbers.empty() ? -1 : shown.numbers.back(); };
    MovieHandleRecord* r = GetMovieHandleRecord(m);
    ComPtr<mtest::ManualClock> clock(new mtest::ManualClock);
    // The clock is set while the graph is stopped; the open left it paused.
    static_cast<IMediaControl*>(r->mediaControl)->Stop();
    ComPtr<IMediaFilter> graph;
    static_cast<IGraphBuilder*>(r->graphBuilder)->QueryInterface(IID_IMediaFilter, graph.PutVoid());
    EXPECT_EQ(graph->SetSyncSource(clock.Get()), S_OK);
    AudioNull_ClearCapture(device);
    PlayMovie(m, loop ? PlayType::Loop : PlayType::Background);

    // Every frame up to the end or the wrap, each within a frame and a step of its time.
    std::vector<bool> seen(size_t(made.frames), false);
    int lastNumber = -1;
    bool behind = false;
    for (int t = 0; t <= untilMs; t += kStepMs) {
      const int due = made.first + std::min(made.frames - 1, int(std::floor((t - made.startMs) / made.frameMs + 1e-9)));
      const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(behind ? 20 : 1000);
      for (;;) {
        UpdateMovie(m);
        const int now = last();
        const bool wrapped = h.wrapAt >= 0 || (now >= 0 && now < lastNumber);
        const bool ending = t >= made.endMs;
        const bool pictureDue = loop ? wrapped || (!ending && now >= due)
                                     : r->pausedFlag || (!ending && (t >= made.startMs + made.pictureMs || now >= due));
        const int queued = MediaAudioQueuedMs();
        const bool soundDue = queued < 0 || queued >= kStepMs || t >= made.startMs + made.soundMs;
        if (pictureDue && soundDue) break;
        if (std::chrono::steady_clock::now() > limit) {
          behind = true;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (last() >= 0 && last() != lastNumber) {
        const int k = last() - made.first;
        if (loop && last() < lastNumber && h.wrapAt < 0) h.wrapTo = k, h.wrapAt = t;
        if (h.wrapAt < 0) {
          if (k >= 0 && k < made.frames) seen[size_t(k)] = true;
          if (std::abs(t - made.startMs - k * made.frameMs) > made.frameMs + kStepMs) ++h.off;
        }
        lastNumber = last();
      }
      if (r->pausedFlag && h.endAt < 0) h.endAt = t;
      clock->Advance(kStepMs * UNITS / 1000);
      AudioNull_Advance(device, kRate * kStepMs / 1000);
    }
    CloseMovie(m);
    for (bool s : seen) h.missing += !s;

    // The sound in 2 ms windows: loud (the tone), silent, or neither (a fade at an edge).
    const std::vector<int16_t> pcm = AudioNull_Capture(device);
    const double windowMs = 1000.0 * kWindow / kRate;
    const double soundEnd = made.startMs + made.soundMs;
    bool gap = false;
    double runStart = 0;  // where the loud run now going on began
    for (size_t w = 0; w < pcm.size() / kWindow; ++w) {
      int peak = 0;
      for (size_t i = w * kWindow; i < (w + 1) * kWindow; ++i) peak = std::max(peak, std::abs(int(pcm[i])));
      const double at = w * windowMs;
      const bool loud = peak > 3000, silent = peak < 300;
      if (loop) {
        if (h.wrapAt >= 0 && at >= h.wrapAt && at < h.wrapAt + 300 && loud) h.soundAgain = true;
        continue;
      }
      if (at >= soundEnd + windowMs && !silent) h.afterEnd += windowMs;
      if (loud) {
        if (std::isnan(h.firstSound)) h.firstSound = at - made.startMs;
        if (gap) {
          ++h.dropouts;
          runStart = at;
        }
        gap = false;
        // Old sound played again after the end is counted above, not taken for the track's end.
        if (runStart < soundEnd) h.soundEnd = at + windowMs - soundEnd;
      } else if (silent && !std::isnan(h.firstSound)) {
        if (at < soundEnd) gap = true;
        if (!gap) runStart = at + windowMs;
      }
    }
    return h;
  }
};

}  // namespace

// Test names show the clip's name, not its bytes.
void PrintTo(const SyncClip& clip, std::ostream* out) { *out << clip.name; }

TEST_P(MovieSync, PictureAndSoundKeepTheClipsTimesToTheEndAndRoundTheLoop) {
  const SyncClip& clip = GetParam();
  const Made made = MadeOf(clip);
  const Heard once = Play(clip, made, false, int(made.endMs) + 1100);
  const Heard looped = Play(clip, made, true, int(made.endMs) + 300);

  EXPECT_EQ(once.missing, 0);
  EXPECT_EQ(once.off, 0);
  if (made.soundMs > 0) {
    EXPECT_LE(std::abs(once.firstSound), 20.0);
    EXPECT_LE(std::abs(once.soundEnd), 20.0);
    EXPECT_EQ(once.dropouts, 0);
    EXPECT_TRUE(looped.soundAgain);
  }
  EXPECT_EQ(once.afterEnd, 0);
  EXPECT_GE(once.endAt, made.endMs - kStepMs);
  EXPECT_LE(once.endAt, made.endMs + 100);
  EXPECT_EQ(looped.wrapTo, 0);
  // Frame 0 comes where it sits on the clip's clock after the restart.
  EXPECT_LE(std::abs(looped.wrapAt - once.endAt - made.startMs), made.frameMs + kStepMs);
}

INSTANTIATE_TEST_SUITE_P(Clips, MovieSync, ::testing::ValuesIn(SyncClips()), movietest::ClipTestName());

// exit() with movies playing on both paths and a graph playing outside any movie, as a sound's
// conversion runs one: the status it was given, no abort, and no thread of the media layer left
// when the static destructors run (seen by a step registered before the engine's, so run after it).
TEST(MovieExit, ExitWithMoviesPlayingEndsTheirThreadsFirst) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto exitWhilePlaying = [] {
    alarm(60);  // a hang at exit fails the test instead of stalling the suite
    std::atexit([] {
      if (MediaLiveThreads() != 0) {
        std::fputs("media threads still running at exit\n", stderr);
        std::_Exit(3);
      }
    });
    static NullAudioConfig audio;
    AudioNull_Install(&audio);
    SetLogOutputFlag(0);
    SetScreenMode(128, 64, 32);
    if (LibInit() != 0) return;
    const int param[1] = {0};
    bool playing = true;
    for (const char* name : {"count50.mp4", "count100.ogv"}) {
      const int movie = OpenMovie(param, MoviePath(name).c_str(), nullptr, nullptr, 0, 0);
      playing = playing && movie != -1 && PlayMovie(movie, PlayType::Loop) == 0;
    }
    ComPtr<IGraphBuilder> graph;
    const std::string tone = MoviePath("tone.mp3");
    playing = playing && SUCCEEDED(CreateMediaObject(CLSID_FilterGraph, nullptr, IID_IGraphBuilder, graph.PutVoid())) &&
              SUCCEEDED(graph->RenderFile(std::u16string(tone.begin(), tone.end()).c_str(), nullptr)) &&
              SUCCEEDED(graph.As<IMediaControl>()->Run()) && MediaLiveThreads() > 0;
    std::exit(playing ? 1 : 4);
  };
  EXPECT_EXIT(exitWhilePlaying(), ::testing::ExitedWithCode(1),
              ::testing::Not(::testing::HasSubstr("terminate called")));
}
