// Movie handles on the manual clock without a display: the frame clock, play and pause, focus
// changes, callbacks, open failures, clean-up, and graphs that show a movie.
#include <cmath>
#include <filesystem>
#include <vector>

#include "engine/d3d9/graphics.h"
#include "engine/draw/draw.h"
#include "engine/sound/movie/movie.h"
#include "framework_movies.h"
#include "platform/audio/audio.h"
#include "platform/window/test_driver.h"
#include "tests/sound/media.h"

using namespace movietest;

namespace {

constexpr int64_t kStart = 5000000;  // microseconds on the manual clock at the start of a test

int ThreadCount() {
  int n = 0;
  for (auto& entry : std::filesystem::directory_iterator("/proc/self/task")) n += entry.is_directory() ? 1 : 0;
  return n;
}

// Records the number of every frame the callback shows.
void RecordTheoraFrame(MovieHandleRecord* movie, intptr_t data) {
  TheoraDecode_ConvertFrame(movie->decoder, 1, 0, 0);
  reinterpret_cast<std::vector<int>*>(data)->push_back(ImageNumber(movie->frameImage));
}

class Movies : public EngineOnNullSound {
 protected:
  void SetUp() override {
    EngineOnNullSound::SetUp();
    TestDriver_SetManualClock(kStart, 0);
  }
  int Open(const char* name) {
    int w = 0, h = 0;
    const int param[1] = {0};
    return OpenMovie(param, MoviePath(name).c_str(), &w, &h, 0, 0);
  }
  // The movie's frame as its callback shows it after an update at t microseconds after kStart.
  int ShownAt(int movie, int64_t t) {
    TestDriver_SetManualClock(kStart + t, 0);
    shown.clear();
    UpdateMovie(movie);
    return shown.empty() ? -2 : shown.back();
  }
  int64_t Current(int movie) { return TheoraDecode_GetCurrentFrame(GetMovieHandleRecord(movie)->decoder); }
  // The sound output plays ms milliseconds, the stream sounds refilled every 10 ms.
  void PlaySound(int ms) {
    for (int i = 0; i < ms / 10; ++i) {
      AudioNull_Advance(AudioNull_Current(), audio.rate / 100);
      ProcessStreamSoundMemAll();
    }
  }
  // A movie with its sound track, its frames recorded; -1 when stream sounds are not built.
  int OpenWithSound() {
    const int m = Open("count100_vorbis.ogv");
    if (m == -1 || GetMovieHandleRecord(m)->soundHandle == -1) return -1;
    SetMovieFrameCallback(m, RecordTheoraFrame, reinterpret_cast<intptr_t>(&shown));
    return m;
  }

  std::vector<int> shown;
};

}  // namespace

TEST_F(Movies, ClockWithoutSound) {
  const int m = Open("count100.ogv");
  ASSERT_NE(m, -1);
  MovieHandleRecord* r = GetMovieHandleRecord(m);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->theoraFlag, 1);
  EXPECT_EQ(r->soundHandle, -1);
  EXPECT_EQ(r->width, 128);
  EXPECT_EQ(r->height, 64);
  // Opened paused, play type 1.
  EXPECT_EQ(r->pausedFlag, 1);
  EXPECT_EQ(r->playState, 0);
  EXPECT_EQ(r->playType, PlayType::Background);
  SetMovieFrameCallback(m, RecordTheoraFrame, reinterpret_cast<intptr_t>(&shown));
  ASSERT_EQ(PlayMovie(m, PlayType::Background), 0);
  EXPECT_EQ(ShownAt(m, 2030000), 50);  // 50.75 truncated
  EXPECT_EQ(r->lastFrameTime, (kStart + 2030000) / 1000);
  // Not looping: the last frame, and the next update that still wants it stops the movie.
  EXPECT_EQ(ShownAt(m, 4520000), 99);
  EXPECT_EQ(r->pausedFlag, 0);
  EXPECT_EQ(ShownAt(m, 4530000), 99);
  EXPECT_EQ(r->pausedFlag, 1);
  EXPECT_EQ(r->playState, 0);
  EXPECT_EQ(ShownAt(m, 9000000), 99);

  // Looping: 113 frames in is frame 13.
  TheoraDecode_Seek(r->decoder, 0);
  TestDriver_SetManualClock(kStart, 0);
  ASSERT_EQ(PlayMovie(m, PlayType::Loop), 0);
  EXPECT_EQ(ShownAt(m, 4520000), 13);
  EXPECT_EQ(r->pausedFlag, 0);
}

TEST_F(Movies, PlayResumesAtTheCurrentFrameWhateverTheRate) {
  // At 29.97 frames a second frame 7 starts at 233566.67 us: a resume must not read it as frame 6.
  TestMovieSpec ntsc;
  ntsc.frames = 20;
  ntsc.fpsNumerator = 30000;
  ntsc.fpsDenominator = 1001;
  const std::vector<uint8_t> bytes = MakeTestMovie(ntsc);
  const std::string path = ScratchName("ntsc.ogv");
  WriteWholeFile(path, std::string(bytes.begin(), bytes.end()));
  int w = 0, h = 0;
  const int param[1] = {0};
  const int m = OpenMovie(param, path.c_str(), &w, &h, 0, 0);
  ASSERT_NE(m, -1);
  MovieHandleRecord* r = GetMovieHandleRecord(m);
  for (int frame : {7, 13, 19}) {
    SCOPED_TRACE(frame);
    PauseMovie(m);
    ASSERT_EQ(TheoraDecode_Seek(r->decoder, frame), 0);
    TestDriver_SetManualClock(kStart + 5000000, 0);
    ASSERT_EQ(PlayMovie(m, PlayType::Loop), 0);
    UpdateMovie(m);  // in the same microsecond
    EXPECT_EQ(Current(m), frame);
  }
  CloseMovie(m);
  std::remove(path.c_str());
}

TEST_F(Movies, SoundTrackIsTheClock) {
  const int m = OpenWithSound();
  if (m == -1) GTEST_SKIP() << "stream sounds are not built: the movie runs on the clock";
  MovieHandleRecord* r = GetMovieHandleRecord(m);
  PlayMovie(m, PlayType::Background);
  // The sound's play position moves the movie, not the microsecond clock.
  PlaySound(2030);
  const int64_t at = GetSoundCurrentTime(r->soundHandle);
  UpdateMovie(m);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back(), at * 25 / 1000);
  EXPECT_NEAR(shown.back(), 50, 1);
  TestDriver_AdvanceClock(60000000);  // the microsecond clock has no say
  UpdateMovie(m);
  EXPECT_EQ(shown.back(), at * 25 / 1000);
  // At the sound's end the movie keeps its last frame and stops; it never jumps back to frame 0.
  PlaySound(3000);
  for (int i = 0; i < 10; ++i) {
    PlaySound(100);
    UpdateMovie(m);
    ASSERT_NE(shown.back(), 0);
  }
  EXPECT_EQ(shown.back(), 99);
  EXPECT_EQ(r->pausedFlag, 1);
  EXPECT_EQ(r->playState, 0);

  // Played again it starts over with its sound; looping, it goes round with it and never stops.
  PlayMovie(m, PlayType::Loop);
  PlaySound(100);
  UpdateMovie(m);
  EXPECT_NEAR(shown.back(), 2, 1);
  int wraps = 0;
  for (int i = 0; i < 60; ++i) {
    const int before = shown.back();
    PlaySound(100);
    UpdateMovie(m);
    wraps += shown.back() < before;
    ASSERT_EQ(r->pausedFlag, 0) << i;
  }
  EXPECT_EQ(wraps, 1);
}

TEST_F(Movies, APauseWithSoundKeepsTheFrameAndThePlayState) {
  const int m = OpenWithSound();
  if (m == -1) GTEST_SKIP() << "stream sounds are not built";
  MovieHandleRecord* r = GetMovieHandleRecord(m);
  PlayMovie(m, PlayType::Background);
  PlaySound(1500);
  // The program's pause brings the frame up to its moment; only PlayMovie starts it again.
  PauseMovie(m, 0);
  const int paused = shown.back();
  EXPECT_NEAR(paused, 37, 1);
  EXPECT_EQ(r->pausedFlag, 1);
  EXPECT_EQ(r->playState, 0);
  PlaySound(1000);
  UpdateMovie(m);
  EXPECT_EQ(shown.back(), paused);
  ResumeMovieAll();
  EXPECT_EQ(r->pausedFlag, 1);
  PlayMovie(m);
  PlaySound(400);
  UpdateMovie(m);
  EXPECT_NEAR(shown.back(), paused + 10, 1);

  // A focus loss stops every sound before it pauses the movies: the same frame stays, and the
  // focus's return plays on from it.
  TestDriver_Focus(0);
  ProcessWindowMessages();
  const int focused = shown.back();
  EXPECT_NEAR(focused, paused + 10, 1);
  EXPECT_EQ(r->pausedFlag, 1);
  EXPECT_EQ(r->playState, 1);
  PlaySound(1000);
  UpdateMovie(m);
  EXPECT_EQ(shown.back(), focused);
  TestDriver_Focus(1);
  ProcessWindowMessages();
  EXPECT_EQ(r->pausedFlag, 0);
  PlaySound(400);
  UpdateMovie(m);
  EXPECT_NEAR(shown.back(), focused + 10, 1);
}

TEST_F(Movies, WrappingForwardMovesTheShortWayRound) {
  const int m = Open("count100_many.ogv");
  ASSERT_NE(m, -1);
  SetMovieFrameCallback(m, RecordTheoraFrame, reinterpret_cast<intptr_t>(&shown));
  PlayMovie(m, PlayType::Loop);
  EXPECT_EQ(ShownAt(m, 3930000), 98);
  MovieHandleRecord* r = GetMovieHandleRecord(m);
  r->decoder->imageCurrent = 0;
  EXPECT_EQ(ShownAt(m, 4130000), 3);  // frame 103: five frames on, through the wrap
  EXPECT_EQ(Current(m), 3);
  // Every frame on the way through several wraps carries its own number.
  for (int64_t t = 4130000; t < 13000000; t += 40000) ASSERT_EQ(ShownAt(m, t), (t * 25 / 1000000) % 100) << t;
}

TEST_F(Movies, PausedMoviesStillCallTheirCallback) {
  const int m = Open("count100.ogv");
  ASSERT_NE(m, -1);
  SetMovieFrameCallback(m, RecordTheoraFrame, reinterpret_cast<intptr_t>(&shown));
  for (int i = 1; i <= 3; ++i) {
    TestDriver_AdvanceClock(1000000);
    UpdateMovie(m);
  }
  EXPECT_EQ(shown.size(), 3u);
  EXPECT_EQ(GetMovieHandleRecord(m)->frameUpdated, 1);
  EXPECT_EQ(Current(m), 0);

  // A pause keeps the place: playing again resumes the clock at the paused frame.
  PlayMovie(m);
  EXPECT_EQ(ShownAt(m, 3400000), 10);
  PauseMovie(m);
  EXPECT_EQ(ShownAt(m, 8400000), 10);
  PlayMovie(m);
  EXPECT_EQ(ShownAt(m, 8800000), 20);
}

TEST_F(Movies, FocusLossPausesAndResumesOnlyWhatPlayed) {
  const int playing = Open("count100.ogv"), stopped = Open("count100.ogv"), fresh = Open("count100.ogv");
  ASSERT_NE(playing, -1);
  ASSERT_NE(fresh, -1);
  PlayMovie(playing);
  PlayMovie(stopped);
  PauseMovie(stopped);  // paused by the program before the focus loss
  EXPECT_EQ(PauseMovieAll(), 0);
  for (int m : {playing, stopped, fresh}) EXPECT_EQ(GetMovieHandleRecord(m)->pausedFlag, 1);
  EXPECT_EQ(GetMovieHandleRecord(playing)->playState, 1);
  EXPECT_EQ(ResumeMovieAll(), 0);
  EXPECT_EQ(GetMovieHandleRecord(playing)->pausedFlag, 0);
  EXPECT_EQ(GetMovieHandleRecord(stopped)->pausedFlag, 1);
  EXPECT_EQ(GetMovieHandleRecord(fresh)->pausedFlag, 1);

  // The same through the window's focus changes; the movie plays on from where the focus went.
  TestDriver_SetManualClock(kStart + 1000000, 0);
  TestDriver_Focus(0);
  ProcessWindowMessages();
  EXPECT_EQ(GetMovieHandleRecord(playing)->pausedFlag, 1);
  const int64_t frame = Current(playing);
  EXPECT_EQ(frame, 25);
  TestDriver_SetManualClock(kStart + 9000000, 0);
  TestDriver_Focus(1);
  ProcessWindowMessages();
  EXPECT_EQ(GetMovieHandleRecord(playing)->pausedFlag, 0);
  EXPECT_EQ(GetMovieHandleRecord(stopped)->pausedFlag, 1);
  TestDriver_SetManualClock(kStart + 9400000, 0);
  UpdateMovie(playing);
  EXPECT_EQ(Current(playing), frame + 10);
}

TEST_F(Movies, LongMoviesKeepTheirClock) {
  // One frame every 30 s: frame 75 lies 37.5 minutes in, past what 32-bit microseconds hold.
  const int m = Open("count80_slow.ogv");
  ASSERT_NE(m, -1);
  SetMovieFrameCallback(m, RecordTheoraFrame, reinterpret_cast<intptr_t>(&shown));
  TheoraDecode_Seek(GetMovieHandleRecord(m)->decoder, 75);
  PlayMovie(m);
  EXPECT_EQ(ShownAt(m, 29000000), 75);
  EXPECT_EQ(ShownAt(m, 31000000), 76);
  EXPECT_EQ(ShownAt(m, 121000000), 79);
}

TEST_F(Movies, OpenFailuresAndBadHandles) {
  const std::string junk = ScratchName("junk.mpg"), huge = ScratchName("huge.ogv");
  WriteWholeFile(junk, std::string(2000, '\x01'));
  TestMovieSpec claim;  // a picture larger than any movie needs
  claim.frames = 3;
  claim.claimWidth = 8192;
  claim.claimHeight = 8192;
  const std::vector<uint8_t> claimed = MakeTestMovie(claim);
  WriteWholeFile(huge, std::string(claimed.begin(), claimed.end()));
  const int param[1] = {0};
  // Neither the Theora decoder nor the media framework plays these; sound alone is no movie.
  for (const std::string& path : {junk, huge, MoviePath("tone.ogg"), std::string("nothing.ogv")}) {
    EXPECT_EQ(OpenMovie(param, path.c_str(), nullptr, nullptr, 0, 0), -1) << path;
    EXPECT_TRUE(Logged(("ファイル:" + path + " が開けませんでした").c_str())) << path;
  }
  EXPECT_TRUE(Logged("ムービーファイルオープン処理時にエラーが発生しました"));
  std::remove(junk.c_str());
  std::remove(huge.c_str());

  const int m = Open("count100.ogv");
  ASSERT_NE(m, -1);
  for (int bad : {-1, m + 1, m ^ 0x00010000, 0x04000000}) {
    EXPECT_EQ(GetMovieHandleRecord(bad), nullptr);
    EXPECT_EQ(PlayMovie(bad), -1);
    EXPECT_EQ(PauseMovie(bad), -1);
    EXPECT_EQ(UpdateMovie(bad), -1);
    EXPECT_EQ(SetMovieFrameCallback(bad, nullptr, 0), -1);
    EXPECT_EQ(SetMovieSurfaceLost(bad), -1);
    EXPECT_EQ(CloseMovie(bad), -1);
  }
  EXPECT_EQ(SetMovieSurfaceLost(m), 0);
  EXPECT_EQ(CloseMovie(m), 0);
  EXPECT_EQ(CloseMovie(m), -1);
}

TEST_F(Movies, NothingIsLeftAfterCloseOrEngineEnd) {
  const int threads = ThreadCount();
  size_t bytes = 0;
  const int blocks = GetAllocMemoryCount(&bytes);
  int movies[3];
  for (int& m : movies) {
    m = Open("count100_vorbis.ogv");
    ASSERT_NE(m, -1);
    PlayMovie(m);
  }
  EXPECT_EQ(ThreadCount(), threads + 3);
  for (int m : movies) EXPECT_EQ(CloseMovie(m), 0);
  EXPECT_EQ(ThreadCount(), threads);
  size_t bytesAfter = 0;
  EXPECT_EQ(GetAllocMemoryCount(&bytesAfter), blocks);
  EXPECT_EQ(bytesAfter, bytes);

  // Engine end closes what is still open, graphs that show movies included.
  ASSERT_NE(Open("count100.ogv"), -1);
  ASSERT_NE(LoadGraph(MoviePath("count100.ogv").c_str()), -1);
  LibEnd();
  EXPECT_EQ(CheckMovieManagerInit(), -1);
  EXPECT_EQ(GetAllocMemoryCount(nullptr), blocksBefore);
}

TEST_F(Movies, GraphsShowTheirMovie) {
  const int g = LoadGraph(MoviePath("count100.ogv").c_str());
  ASSERT_NE(g, -1);
  int w = 0, h = 0;
  GetGraphSize(g, &w, &h);
  EXPECT_EQ(w, 128);
  EXPECT_EQ(h, 64);
  const int movie = GetGraphRecord(g)->MovieHandle;
  ASSERT_NE(GetMovieHandleRecord(movie), nullptr);
  const MEMIMG* screen = GetScreenMemImg();
  auto screenNumber = [&] { return ReadTestMovieNumber(screen->TopLeft, screen->Base->Pitch); };
  ASSERT_EQ(DrawGraph(0, 0, g, 0), 0);
  EXPECT_EQ(screenNumber(), 0);
  PlayMovie(movie, PlayType::Loop);
  for (int64_t t : {1000000, 1400000, 6000000}) {
    TestDriver_SetManualClock(kStart + t, 0);
    ClearScreen();
    ASSERT_EQ(DrawGraph(0, 0, g, 0), 0);  // every draw brings the frame up to date
    EXPECT_EQ(screenNumber(), (t * 25 / 1000000) % 100) << t;
  }
  EXPECT_EQ(DeleteGraph(g), 0);
  EXPECT_EQ(GetMovieHandleRecord(movie), nullptr);

  // A file that is neither image nor movie.
  const std::string junk = ScratchName("junk.bin");
  WriteWholeFile(junk, std::string(300, '\x02'));
  EXPECT_EQ(LoadGraph(junk.c_str()), -1);
  EXPECT_TRUE(Logged("ムービーファイルオープン処理時にエラーが発生しました"));
  std::remove(junk.c_str());
}

namespace {

FileAccessTable plainFiles;

size_t HalfRead(void* buffer, size_t size, size_t count, StreamHandle h) {
  return plainFiles.Read(buffer, size, count / 2, h);
}

}  // namespace

TEST_F(Movies, TemporaryCopiesAreWholeOrGone) {
  const std::string source = MoviePath("count100.ogv");
  char path[260] = {};
  ASSERT_EQ(CopyMovieToTemporaryFile(source.c_str(), path, sizeof(path)), 0);
  EXPECT_EQ(ReadWholeFile(path), ReadWholeFile(source));
  std::remove(path);

  plainFiles = *GetFileAccessTable();
  FileAccessTable shortReads = plainFiles;
  shortReads.Read = HalfRead;
  SetFileAccessTable(&shortReads);
  path[0] = 0;
  EXPECT_EQ(CopyMovieToTemporaryFile(source.c_str(), path, sizeof(path)), -1);
  SetFileAccessTable(nullptr);
  ASSERT_NE(path[0], 0);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(CopyMovieToTemporaryFile("nothing.ogv", path, sizeof(path)), -1);
}

TEST_F(Movies, SurroundSoundIsMixedDownToBothChannels) {
  // 5.1 Vorbis whose tone is in the centre alone: the first two channels alone would be silence.
  TestMovieSpec shape;
  shape.frames = 25;
  shape.vorbis = true;
  shape.vorbisChannels = 6;
  const std::vector<uint8_t> bytes = MakeTestMovie(shape);
  const std::string path = ScratchName("surround.ogv");
  WriteWholeFile(path, std::string(bytes.begin(), bytes.end()));
  const int param[1] = {0};
  const int m = OpenMovie(param, path.c_str(), nullptr, nullptr, 0, 0);
  ASSERT_NE(m, -1);
  ASSERT_NE(GetMovieHandleRecord(m)->soundHandle, -1);
  AudioDevice* device = AudioNull_Current();
  AudioNull_ClearCapture(device);
  PlayMovie(m, PlayType::Background);
  PlaySound(600);
  const std::vector<int16_t> heard = AudioNull_Capture(device);
  ASSERT_GE(heard.size(), size_t(audio.rate / 2) * 2);
  // RMS of one side of interleaved stereo.
  auto rms = [](const int16_t* pcm, int frames, int side) {
    double sum = 0;
    for (int i = 0; i < frames; ++i) sum += double(pcm[2 * i + side]) * pcm[2 * i + side];
    return std::sqrt(sum / frames);
  };
  const int16_t* middle = heard.data() + audio.rate / 10 * 2;

  // The file through FFmpeg's own decode and downmix.
  const ReferenceSound mixed = DecodeWithFFmpeg(path);
  ASSERT_EQ(mixed.channels, 2);
  ASSERT_GE(mixed.samples.size(), size_t(mixed.rate / 2) * 2);
  for (int side : {0, 1}) {
    const double want = rms(mixed.samples.data() + mixed.rate / 10 * 2, mixed.rate * 4 / 10, side);
    ASSERT_GT(want, 1000.0);
    EXPECT_NEAR(rms(middle, int(audio.rate) * 4 / 10, side), want, want * 0.1) << side;
  }
  CloseMovie(m);
  std::remove(path.c_str());
}
