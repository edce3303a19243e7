// Colour bars through the framework: each bar comes out as the RGB that the stream's own matrix
// and range make of its Y'CbCr, untagged streams as BT.601 limited range (FFmpeg's reading).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <thread>

#include "engine/draw/draw.h"
#include "engine/sound/movie/movie.h"
#include "mediagen_bars.h"
#include "movie_test_util.h"
#include "platform/audio/audio.h"
#include "platform/media/media.h"
#include "platform/window/test_driver.h"

namespace {

using Rgb = std::array<int, 3>;

// A wrong matrix or range is 7 to 30 levels off.
constexpr int kLevels = 1;

// The decoding equations of the tag, in floating point.
Rgb ExpectedRgb(const ColorBarsSpec& bars, int y, int cb, int cr) {
  double kr = 0.299, kb = 0.114;
  if (bars.matrix == AVCOL_SPC_BT709) kr = 0.2126, kb = 0.0722;
  if (bars.matrix == AVCOL_SPC_BT2020_NCL) kr = 0.2627, kb = 0.0593;
  const bool full = bars.range == AVCOL_RANGE_JPEG;
  const double luma = full ? y / 255.0 : (y - 16) / 219.0;
  const double pb = (cb - 128) / (full ? 255.0 : 224.0), pr = (cr - 128) / (full ? 255.0 : 224.0);
  const double r = luma + 2 * (1 - kr) * pr, b = luma + 2 * (1 - kb) * pb;
  const double g = (luma - kr * r - kb * b) / (1 - kr - kb);
  auto level = [](double v) { return int(std::clamp(std::lround(v * 255), 0L, 255L)); };
  return {level(r), level(g), level(b)};
}

std::array<Rgb, kColorBars> seen;
int frames = 0;

void ReadBars(MovieHandleRecord* movie, intptr_t) {
  for (int bar = 0; bar < kColorBars; ++bar) {
    uint8_t r, g, b, a;
    GetBaseImagePixel(movie->frameImage, bar * kColorBarWidth + kColorBarWidth / 2, kColorBarsHeight / 2, &r, &g, &b,
                      &a);
    seen[size_t(bar)] = {r, g, b};
  }
  ++frames;
}

class MovieColor : public ::testing::Test {
 protected:
  void SetUp() override {
    TestDriver_Reset();
    ASSERT_EQ(SetScreenMode(128, 64, 32), 0);
    AudioNull_Install(&audio);
    ASSERT_EQ(LibInit(), 0);
  }
  void TearDown() override {
    LibEnd();
    AudioNull_Install(nullptr);
    TestDriver_Reset();
    SetScreenMode(640, 480, 16);
  }
  NullAudioConfig audio;
};

}  // namespace

TEST_F(MovieColor, BarsFollowTheStreamsMatrixAndRange) {
  struct Tag {
    const char* name;
    ColorBarsSpec bars;
  };
  const Tag tags[] = {
      {"BT.709 limited", {AVCOL_SPC_BT709, AVCOL_RANGE_MPEG}},
      {"BT.601 limited", {AVCOL_SPC_SMPTE170M, AVCOL_RANGE_MPEG}},
      {"BT.601 full", {AVCOL_SPC_SMPTE170M, AVCOL_RANGE_JPEG}},
      {"BT.709 full", {AVCOL_SPC_BT709, AVCOL_RANGE_JPEG}},
      {"BT.2020 limited", {AVCOL_SPC_BT2020_NCL, AVCOL_RANGE_MPEG}},
      {"untagged", {AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_UNSPECIFIED}},
  };
  const std::string path = ScratchName("bars.mp4");
  for (const Tag& tag : tags) {
    SCOPED_TRACE(tag.name);
    ASSERT_TRUE(WriteColorBars(path, tag.bars));
    const int param[1] = {0};
    const int m = OpenMovie(param, path.c_str(), nullptr, nullptr, 0, 0);
    ASSERT_NE(m, -1);
    frames = 0;
    SetMovieFrameCallback(m, ReadBars, 0);
    PlayMovie(m);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (frames == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      UpdateMovie(m);
    }
    CloseMovie(m);
    ASSERT_GT(frames, 0);
    for (int bar = 0; bar < kColorBars; ++bar) {
      int y, cb, cr;
      ColorBarYCbCr(tag.bars, bar, &y, &cb, &cr);
      const Rgb want = ExpectedRgb(tag.bars, y, cb, cr);
      const Rgb got = seen[size_t(bar)];
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(got[size_t(c)], want[size_t(c)], kLevels) << "bar " << bar << " channel " << c;
    }
  }
  std::remove(path.c_str());
}
