// Movies through the media framework: clips that FFmpeg reads play into the movie renderer, show
// their frames in order, loop or stop at their end, send their sound to the sound output, play
// from a temporary copy when only the engine's file layer reads them, and leave nothing behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>
#include <vector>

#include "engine/draw/draw.h"
#include "engine/sound/movie/movie.h"
#include "mediagen.h"
#include "movie_test_util.h"
#include "reference_video.h"
#include "platform/audio/audio.h"
#include "platform/media/media.h"
#include "platform/window/test_driver.h"

namespace {

using movietest::ImageNumber;
using movietest::MoviePath;

struct Shown {
  std::vector<int> numbers;
  int colorBytes = 0;
};

void RecordFrame(MovieHandleRecord* movie, intptr_t data) {
  auto* shown = reinterpret_cast<Shown*>(data);
  shown->numbers.push_back(ImageNumber(movie->frameImage));
  shown->colorBytes = movie->frameImage->Color.PixelByte;
}

class FrameworkMovies : public ::testing::Test {
 protected:
  void SetUp() override {
    log = ScratchName("log.txt");
    TestDriver_Reset();
    SetLogOutputFlag(1);
    SetLogFileName(log.c_str());
    ASSERT_EQ(SetScreenMode(128, 64, 32), 0);
    audio.rate = 22050;
    AudioNull_Install(&audio);
    blocksBefore = GetAllocMemoryCount(nullptr);
    ASSERT_EQ(LibInit(), 0);
    device = AudioNull_Current();
    ASSERT_NE(device, nullptr);
  }
  void TearDown() override {
    LibEnd();
    AudioNull_Install(nullptr);
    TestDriver_Reset();
    SetScreenMode(640, 480, 16);
    SetLogFileName(nullptr);
    std::remove(log.c_str());
    EXPECT_EQ(GetAllocMemoryCount(nullptr), blocksBefore);
    EXPECT_EQ(MediaLiveThreads(), 0);
    EXPECT_EQ(MediaLiveObjects(), 0);
  }
  int Open(const std::string& path, int* w = nullptr, int* h = nullptr) {
    const int param[1] = {0};
    const int m = OpenMovie(param, path.c_str(), w, h, 0, 0);
    if (m != -1) SetMovieFrameCallback(m, RecordFrame, reinterpret_cast<intptr_t>(&shown));
    return m;
  }
  // Plays on the real clock, the sound output keeping pace, until done() or the time is up.
  template <class Done>
  bool PlayFor(int movie, int ms, Done done) {
    for (int t = 0; t < ms; t += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      AudioNull_Advance(device, audio.rate / 100);
      UpdateMovie(movie);
      if (done()) return true;
    }
    return false;
  }
  // The paused movie's first picture, which the graph holds from the open: the real-time frames
  // after it depend on how soon the caller updates, this one does not.
  bool UpdatePaused(int movie) {
    for (int t = 0; t < 5000 && shown.numbers.empty(); t += 2) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      UpdateMovie(movie);
    }
    return !shown.numbers.empty();
  }
  bool Logged(const std::string& text) { return ReadWholeFile(log).find(text) != std::string::npos; }

  NullAudioConfig audio;
  AudioDevice* device = nullptr;
  std::string log;
  int blocksBefore = 0;
  Shown shown;
};

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
  ASSERT_EQ(PlayMovie(m, DX_PLAYTYPE_BACK), 0);
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
  ASSERT_EQ(PlayMovie(m, DX_PLAYTYPE_LOOP), 0);
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
  PlayMovie(b, DX_PLAYTYPE_LOOP);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  LibEnd();  // with the graphs running
  EXPECT_EQ(MediaLiveThreads(), 0);
  EXPECT_EQ(MediaLiveObjects(), 0);
}


TEST_F(FrameworkMovies, GraphsShowTheFirstPictureBeforeAnyPlay) {
  // Both paths: the framework's renderer gets the picture when the graph pauses, on its own thread.
  for (const char* name : {"count50.mp4", "count100.ogv"}) {
    SCOPED_TRACE(name);
    const std::string path = MoviePath(name);
    ReferencePicture ref;
    ASSERT_TRUE(DecodeReferencePicture(path, 0, &ref));
    const int g = LoadGraph(path.c_str());
    ASSERT_NE(g, -1);
    MovieHandleRecord* m = GetMovieHandleRecord(GetGraphRecord(g)->MovieHandle);
    ASSERT_NE(m, nullptr);
    const MEMIMG* screen = GetScreenMemImg();
    auto pixel = [&](int x, int y) { return screen->UseImage + size_t(y) * screen->Base->Pitch + size_t(x) * 4; };
    auto drawn = [&] {
      ClearScreen();
      DrawGraph(0, 0, g, 0);
      for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x)
          if (pixel(x, y)[1] != 0) return true;
      return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!drawn() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(m->pausedFlag, 1);
    EXPECT_EQ(m->playState, 0);
    // Theora goes through the same formulas as the reference, up to the draw's rounding; the
    // framework's converter may round otherwise, so it is held to the picture's likeness.
    EXPECT_GT(ref.Psnr(screen->UseImage, screen->Base->Pitch), m->theoraFlag ? 60.0 : 35.0);
    EXPECT_EQ(DeleteGraph(g), 0);
  }
}
