// The fixtures of the movie tests: an engine on the null sound output with its log in a scratch
// file, and the numbers of the frames a movie has shown.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "engine/draw/draw.h"
#include "engine/sound/movie/movie.h"
#include "movie_test_util.h"
#include "platform/audio/audio.h"
#include "platform/media/media.h"
#include "platform/window/test_driver.h"

namespace movietest {

struct Shown {
  std::vector<int> numbers;
  int colorBytes = 0;
  const void* pixels = nullptr;  // the last picture's
};

inline void RecordFrame(MovieHandleRecord* movie, intptr_t data) {
  auto* shown = reinterpret_cast<Shown*>(data);
  shown->numbers.push_back(ImageNumber(movie->frameImage));
  shown->colorBytes = movie->frameImage->Color.BytesPerPixel;
  shown->pixels = movie->frameImage->Pixels;
}

// An engine on a small 32-bit screen and the null sound output, its log in a scratch file.
class EngineOnNullSound : public ::testing::Test {
 protected:
  void SetUp() override {
    log = ScratchName("log.txt");
    TestDriver_Reset();
    SetLogOutputFlag(1);
    SetLogFileName(log.c_str());
    ASSERT_EQ(SetScreenMode(128, 64, 32), 0);
    AudioNull_Install(&audio);
    blocksBefore = GetAllocMemoryCount(nullptr);
    ASSERT_EQ(LibInit(), 0);
  }
  void TearDown() override {
    LibEnd();
    AudioNull_Install(nullptr);
    TestDriver_Reset();
    SetScreenMode(640, 480, 16);
    SetLogFileName(nullptr);
    std::remove(log.c_str());
  }
  bool Logged(const std::string& text) const { return ReadWholeFile(log).find(text) != std::string::npos; }

  NullAudioConfig audio;
  std::string log;
  int blocksBefore = 0;
};

class FrameworkMovies : public EngineOnNullSound {
 protected:
  FrameworkMovies() { audio.rate = 22050; }
  void SetUp() override {
    EngineOnNullSound::SetUp();
    device = AudioNull_Current();
    ASSERT_NE(device, nullptr);
  }
  void TearDown() override {
    EngineOnNullSound::TearDown();
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
  AudioDevice* device = nullptr;
  Shown shown;
};

}  // namespace movietest
