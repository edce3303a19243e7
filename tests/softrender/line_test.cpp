// Lines and line lists: which pixels are drawn, each once.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "engine/softrender/primitives.h"
#include "ref_rotate_primitives.h"

namespace {

// Counts writes per pixel: mode 2 adds blue 1 to a black 16-bit image.
std::map<std::pair<int, int>, int> Hits(rotref::Image& im) {
  std::map<std::pair<int, int>, int> hits;
  for (int y = 0; y < im.img.Height; ++y) {
    for (int x = 0; x < im.img.Width; ++x) {
      if (im.Get(x, y) != 0) hits[{x, y}] = static_cast<int>(im.Get(x, y));
    }
  }
  return hits;
}
std::map<std::pair<int, int>, int> Once(const rotref::Points& pts) {
  std::map<std::pair<int, int>, int> m;
  for (const auto& p : pts) m[p] += 1;
  return m;
}

std::map<std::pair<int, int>, int> DrawOne(int w, int h, RECT area, int x1, int y1, int x2, int y2) {
  rotref::State st(area, 2, 255);
  rotref::Image im(w, h, MEMIMG_COLOR_16);
  DrawLineMemImg(&im.img, x1, y1, x2, y2, 1);
  return Hits(im);
}

TEST(Line, KnownSegments) {
  const RECT big{0, 0, 640, 480};
  using P = rotref::Points;
  EXPECT_TRUE(DrawOne(8, 8, big, 5, 5, 5, 5).empty());
  EXPECT_EQ(DrawOne(8, 8, big, 5, 5, 6, 5), Once(P{{5, 5}}));
  EXPECT_EQ(DrawOne(8, 8, big, 0, 0, 3, 3), Once(P{{0, 0}, {1, 1}, {2, 2}}));
  EXPECT_EQ(DrawOne(8, 8, big, 3, 3, 0, 0), Once(P{{3, 3}, {2, 2}, {1, 1}}));
  EXPECT_EQ(DrawOne(8, 8, big, 0, 0, 3, 1), Once(P{{0, 0}, {1, 0}, {2, 0}}));
  auto diag = DrawOne(40, 20, big, -20, -10, 20, 10);
  for (auto p : P{{0, 0}, {1, 0}, {2, 1}, {3, 1}}) EXPECT_EQ(diag[p], 1);
  EXPECT_EQ(DrawOne(640, 480, big, -100, 10, 100, 10).size(), 100u);
  EXPECT_EQ(DrawOne(640, 480, big, 10, -50, 10, 1000).size(), 480u);
  P tail;
  for (int x = 630; x < 640; ++x) tail.push_back({x, 470 + (x - 630) * 7 / 10});
  EXPECT_EQ(DrawOne(640, 480, big, 630, 470, 700, 520), Once(tail));
  // Beside the area: its bounding box meets the area, the segment does not.
  EXPECT_TRUE(DrawOne(16, 16, big, -10, 5, 5, -10).empty());
  EXPECT_TRUE(DrawOne(16, 16, big, -3, 1, 1, -3).empty());
  EXPECT_EQ(DrawOne(16, 16, big, -5, 5, 5, -5), Once(P{{0, 0}}));  // through the corner pixel
}

TEST(Line, RandomSegmentsMatchModelAndStayInArea) {
  std::mt19937 rng(11);
  const RECT area{5, 4, 35, 26};
  for (int n = 0; n < 2000; ++n) {
    const int x1 = static_cast<int>(rng() % 81) - 20, y1 = static_cast<int>(rng() % 61) - 20;
    const int x2 = static_cast<int>(rng() % 81) - 20, y2 = static_cast<int>(rng() % 61) - 20;
    ASSERT_EQ(DrawOne(40, 30, area, x1, y1, x2, y2), Once(rotref::LinePoints(x1, y1, x2, y2, area)))
        << x1 << "," << y1 << " -> " << x2 << "," << y2;
  }
  // Far-off coordinates neither overflow nor leave the area.
  EXPECT_EQ(DrawOne(40, 30, area, INT_MIN, INT_MIN, INT_MAX, INT_MAX),
            Once(rotref::LinePoints(INT_MIN, INT_MIN, INT_MAX, INT_MAX, area)));
}

TEST(Line, BoxOutlineListWritesEachPixelOnce) {
  rotref::State st(RECT{0, 0, 20, 20}, 2, 255);
  rotref::Image im(20, 20, MEMIMG_COLOR_16);
  const MemImgLine box[4] = {{3, 4, 12, 4, 1, 99}, {12, 4, 12, 10, 1, 0}, {12, 10, 3, 10, 1, 0}, {3, 10, 3, 4, 1, 0}};
  DrawLineListMemImg(&im.img, box, 0);
  DrawLineListMemImg(&im.img, box, -3);
  EXPECT_TRUE(Hits(im).empty());
  DrawLineListMemImg(&im.img, box, 4);
  rotref::Points outline;
  for (int y = 4; y <= 10; ++y) {
    for (int x = 3; x <= 12; ++x) {
      if (y == 4 || y == 10 || x == 3 || x == 12) outline.push_back({x, y});
    }
  }
  EXPECT_EQ(Hits(im), Once(outline));
}

TEST(Line, ModesAndRefusedDestinations) {
  rotref::State st(RECT{0, 0, 8, 8}, 1, 0);
  rotref::Image im(8, 8, MEMIMG_COLOR_32);
  DrawLineMemImg(&im.img, 0, 0, 7, 7, 0xFFFFFFFFu);  // alpha with p = 0 draws nothing
  EXPECT_EQ(im.Get(1, 1), 0u);
  st.Set(RECT{0, 0, 8, 8}, 1, 255, 0xFFFFFF);
  DrawLineMemImg(&im.img, 0, 1, 7, 1, 0x89ABCDEFu);
  EXPECT_EQ(im.Get(6, 1), 0x89ABCDEFu);
  st.Set(RECT{0, 0, 8, 8}, 11, 128, 0xFFFFFF);
  DrawLineMemImg(&im.img, 0, 1, 7, 1, 0x00000000u);
  EXPECT_EQ(im.Get(6, 1), 0x89556677u);  // each channel halfway to 0, fourth byte kept
  rotref::Image pal(8, 8, MEMIMG_COLOR_32, true);
  DrawLineMemImg(&pal.img, 0, 0, 7, 0, 0xFFFFFFFFu);
  EXPECT_EQ(pal.Get(3, 0), 0u);
}

}  // namespace
