// Picture and sound of movies made by FFmpeg's encoders, one clip per container and codec pair,
// played through OpenMovie on a stepped clock with the null sound output keeping the same steps.
// Every expectation comes from how the clip was made: frame k at k / fps, the tone from 0 to its
// length, the end when the longer of the two has played.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <thread>
#include <vector>

#include "engine/draw/draw.h"
#include "engine/sound/movie/movie.h"
#include "media/test_filters.h"
#include "mediagen_clips.h"
#include "movie_test_util.h"
#include "platform/audio/audio.h"
#include "platform/media/media.h"
#include "platform/window/test_driver.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

using movietest::ImageNumber;
using movietest::MoviePath;
using mtest::ManualClock;

constexpr int kRate = 48000;
constexpr int kStepMs = 10;
constexpr int kWindow = kRate / 500;  // 2 ms of sound
constexpr auto kWaitLimit = std::chrono::seconds(1);

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

struct Seen {
  std::vector<std::pair<int, int>> frames;  // (ms, number)
  int last = -1;
};

void Record(MovieHandleRecord* movie, intptr_t data) {
  auto* seen = reinterpret_cast<Seen*>(data);
  seen->last = ImageNumber(movie->frameImage);
}

// The clip as it was made, on the movie clock (ms): frame k at start + k / fps, the tone from
// start for its length, the end when the longer of the two is over.
struct Made {
  int first = 0;   // number of the first frame shown (an edit list skips the ones before)
  int frames = 0;  // frames shown
  double frameMs = 0, startMs = 0, pictureMs = 0, soundMs = 0, endMs = 0;
  bool sound = false;
};

Made MadeOf(const SyncClip& clip) {
  const TestClipSpec& s = clip.shape;
  Made m;
  m.first = s.startFrame < 0 ? -s.startFrame : 0;
  m.frames = s.frames - m.first;
  m.frameMs = 1000.0 / s.fps;
  m.startMs = PictureStartMs(MoviePath(clip.name));
  m.pictureMs = m.frames * m.frameMs;
  m.sound = s.audioCodec != nullptr;
  m.soundMs = m.sound ? ((s.soundFrames >= 0 ? s.soundFrames : s.frames) - m.first) * m.frameMs : 0;
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

class MovieSync : public ::testing::TestWithParam<SyncClip> {
 protected:
  void SetUp() override {
    TestDriver_Reset();
    ASSERT_EQ(SetScreenMode(128, 64, 32), 0);
    audio.rate = kRate;
    audio.channels = 1;
    AudioNull_Install(&audio);
    ASSERT_EQ(LibInit(), 0);
    device = AudioNull_Current();
    ASSERT_NE(device, nullptr);
  }
  void TearDown() override {
    LibEnd();
    AudioNull_Install(nullptr);
    TestDriver_Reset();
    SetScreenMode(640, 480, 16);
    EXPECT_EQ(MediaLiveThreads(), 0);
    EXPECT_EQ(MediaLiveObjects(), 0);
  }

  // Steps the clock and the sound output together, 10 ms at a time, until the time. Before each
  // step it waits (up to a limit) for what is due by then: the frame, a step of sound, the end
  // or the wrap; once a wait runs out the streams are behind and the next waits are short.
  Heard Play(const SyncClip& clip, const Made& made, bool loop, int untilMs) {
    Heard h;
    const int param[1] = {0};
    const int m = OpenMovie(param, MoviePath(clip.name).c_str(), nullptr, nullptr, 0, 0);
    EXPECT_NE(m, -1);
    if (m == -1) return h;
    Seen seen;
    SetMovieFrameCallback(m, Record, reinterpret_cast<intptr_t>(&seen));
    MovieHandleRecord* r = GetMovieHandleRecord(m);
    ComPtr<ManualClock> clock(new ManualClock);
    // The clock is set while the graph is stopped; the open left it paused.
    static_cast<IMediaControl*>(r->mediaControl)->Stop();
    ComPtr<IMediaFilter> graph;
    static_cast<IGraphBuilder*>(r->graphBuilder)->QueryInterface(IID_IMediaFilter, graph.PutVoid());
    EXPECT_EQ(graph->SetSyncSource(clock.Get()), S_OK);
    AudioNull_ClearCapture(device);
    PlayMovie(m, loop ? DX_PLAYTYPE_LOOP : DX_PLAYTYPE_BACK);

    int lastNumber = -1;
    bool behind = false;
    for (int t = 0; t <= untilMs; t += kStepMs) {
      const int due = made.first + std::min(made.frames - 1, int(std::floor((t - made.startMs) / made.frameMs + 1e-9)));
      const auto limit = std::chrono::steady_clock::now() + (behind ? std::chrono::milliseconds(20) : kWaitLimit);
      for (;;) {
        UpdateMovie(m);
        const bool wrapped = h.wrapAt >= 0 || (seen.last >= 0 && seen.last < lastNumber);
        const bool ending = t >= made.endMs;
        const bool pictureDue = loop ? wrapped || (!ending && seen.last >= due)
                                     : r->pausedFlag || (!ending && (t >= made.startMs + made.pictureMs || seen.last >= due));
        const int queued = MediaAudioQueuedMs();
        const bool soundDue = queued < 0 || queued >= kStepMs || t >= made.startMs + made.soundMs;
        if (pictureDue && soundDue) break;
        if (std::chrono::steady_clock::now() > limit) {
          behind = true;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (seen.last >= 0 && (seen.frames.empty() || seen.frames.back().second != seen.last)) {
        if (loop && seen.last < lastNumber && h.wrapAt < 0) {
          h.wrapTo = seen.last - made.first;
          h.wrapAt = t;
        }
        seen.frames.push_back({t, seen.last});
        lastNumber = seen.last;
      }
      if (r->pausedFlag && h.endAt < 0) h.endAt = t;
      clock->Advance(kStepMs * UNITS / 1000);
      AudioNull_Advance(device, kRate * kStepMs / 1000);
    }
    CloseMovie(m);

    // Every frame up to the end or the wrap, each within a frame and a step of its time.
    std::vector<bool> shown(size_t(made.frames), false);
    for (auto [t, n] : seen.frames) {
      if (h.wrapAt >= 0 && t >= h.wrapAt) break;
      const int k = n - made.first;
      if (k >= 0 && k < made.frames) shown[size_t(k)] = true;
      if (std::abs(t - made.startMs - k * made.frameMs) > made.frameMs + kStepMs) ++h.off;
    }
    for (bool s : shown) h.missing += !s;

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

  NullAudioConfig audio;
  AudioDevice* device = nullptr;
};

}  // namespace

// Test names show the clip's name, not its bytes.
void PrintTo(const SyncClip& clip, std::ostream* out) { *out << clip.name; }

TEST_P(MovieSync, PictureAndSoundKeepTheClipsTimesToTheEndAndRoundTheLoop) {
  const SyncClip& clip = GetParam();
  const Made made = MadeOf(clip);
  const Heard once = Play(clip, made, false, int(made.endMs) + 1100);
  const Heard looped = Play(clip, made, true, int(made.endMs) + 300);
  std::printf("| %-20s | %6.1f | %6.1f | %d | %4.0f | %5d | %3d (%+d ms) |\n", clip.name, once.firstSound,
              once.soundEnd, once.dropouts, once.afterEnd, once.endAt, looped.wrapTo,
              looped.wrapAt < 0 ? 0 : looped.wrapAt - once.endAt);

  EXPECT_EQ(once.missing, 0);
  EXPECT_EQ(once.off, 0);
  if (made.sound) {
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

INSTANTIATE_TEST_SUITE_P(Clips, MovieSync, ::testing::ValuesIn(SyncClips()),
                         [](const ::testing::TestParamInfo<SyncClip>& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });
