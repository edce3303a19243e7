// A closed movie's pictures leave the process.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <chrono>
#include <thread>

#include "engine/draw/draw.h"
#include "engine/sound/movie/movie.h"
#include "movie_test_util.h"
#include "platform/audio/audio.h"
#include "platform/window/test_driver.h"

namespace {

bool Mapped(const void* p) {
  unsigned char in;
  return mincore(reinterpret_cast<void*>(uintptr_t(p) & ~uintptr_t(4095)), 1, &in) == 0;
}

void NotePicture(MovieHandleRecord* movie, intptr_t data) {
  *reinterpret_cast<const void**>(data) = movie->frameImage->Pixels;
}

TEST(MovieMemory, AClosedMoviesPicturesLeaveTheProcess) {
  TestDriver_Reset();
  SetLogOutputFlag(0);
  NullAudioConfig audio;
  AudioNull_Install(&audio);
  ASSERT_EQ(SetScreenMode(128, 64, 32), 0);
  ASSERT_EQ(LibInit(), 0);
  const int param[1] = {0};
  const int m = OpenMovie(param, movietest::MoviePath("count100_640x480.mp4").c_str(), nullptr, nullptr, 0, 0);
  ASSERT_NE(m, -1);
  // The first picture, held from the open: it shows from a sample of the decoder's block.
  const void* picture = nullptr;
  SetMovieFrameCallback(m, NotePicture, reinterpret_cast<intptr_t>(&picture));
  for (int t = 0; t < 5000 && !picture; t += 2) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    UpdateMovie(m);
  }
  ASSERT_NE(picture, nullptr);
  EXPECT_TRUE(Mapped(picture));
  CloseMovie(m);
  EXPECT_FALSE(Mapped(picture));
  LibEnd();
  AudioNull_Install(nullptr);
  TestDriver_Reset();
  SetScreenMode(640, 480, 16);
}

}  // namespace
