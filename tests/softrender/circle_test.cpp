// Circle outlines and discs: which pixels are drawn, each once.
#include <gtest/gtest.h>

#include <map>

#include "engine/softrender/primitives.h"
#include "ref_rotate_primitives.h"

namespace {

using Set = std::set<std::pair<int, int>>;

// Draws under mode 2 (blue + 1 per write) and returns the pixels, failing on any double write.
Set Draw(int cx, int cy, int r, int fill, RECT area = RECT{0, 0, 300, 300}, int w = 300, int h = 300) {
  rotref::State st(area, 2, 255);
  rotref::Image im(w, h, MEMIMG_COLOR_16);
  DrawCircleMemImg(&im.img, cx, cy, r, 1, fill);
  Set s;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (im.Get(x, y) == 0) continue;
      EXPECT_EQ(im.Get(x, y), 1u) << "pixel " << x << "," << y << " written twice";
      s.insert({x, y});
    }
  }
  return s;
}

Set Clip(const Set& s, RECT a) {
  Set out;
  for (auto p : s) {
    if (p.first >= a.left && p.first < a.right && p.second >= a.top && p.second < a.bottom) out.insert(p);
  }
  return out;
}

TEST(Circle, OutlinePixels) {
  const size_t counts[11] = {1, 4, 12, 16, 24, 28, 32, 40, 44, 52, 56};
  for (int r = 0; r <= 10; ++r) EXPECT_EQ(Draw(20, 20, r, 0).size(), counts[r]) << r;
  EXPECT_EQ(Draw(10, 10, 2, 0), (Set{{8, 10}, {12, 10}, {10, 12}, {10, 8}, {8, 11}, {12, 11}, {8, 9}, {12, 9},
                                     {9, 12}, {11, 12}, {9, 8}, {11, 8}}));
  EXPECT_EQ(Draw(10, 10, 1, 0), (Set{{9, 10}, {11, 10}, {10, 9}, {10, 11}}));
  EXPECT_EQ(Draw(20, 20, 5, 0).count({24, 24}), 0u);
  for (int r : {7, 31, 100}) EXPECT_EQ(Draw(150, 150, r, 0), rotref::CircleSet(150, 150, r)) << r;
}

TEST(Circle, DiscPixels) {
  const size_t counts[4] = {1, 5, 21, 37};
  for (int r = 0; r <= 3; ++r) EXPECT_EQ(Draw(20, 20, r, 1).size(), counts[r]) << r;
  for (int r : {4, 5, 9, 17, 32}) EXPECT_EQ(Draw(50, 50, r, 1), rotref::DiscSet(50, 50, r)) << r;
  const Set big = Draw(150, 150, 100, 1);
  EXPECT_EQ(big, rotref::DiscSet(150, 150, 100));
  for (int row : {50, 250}) {
    EXPECT_EQ(big.count({141, row}), 1u);
    EXPECT_EQ(big.count({159, row}), 1u);
    EXPECT_EQ(big.count({140, row}) + big.count({160, row}), 0u);
  }
}

TEST(Circle, ClippingToAreaAndImage) {
  const RECT area{10, 12, 40, 33};
  for (int fill : {0, 1}) {
    for (auto [cx, cy, r] : {std::tuple{12, 14, 9}, std::tuple{5, 40, 12}, std::tuple{60, 20, 25}}) {
      const Set want = Clip(fill ? rotref::DiscSet(cx, cy, r) : rotref::CircleSet(cx, cy, r), area);
      EXPECT_EQ(Draw(cx, cy, r, fill, area, 50, 50), want) << cx << "," << cy << " r " << r;
    }
    // An area reaching past the image is cut at the image; far centres do not overflow.
    EXPECT_EQ(Draw(3, 3, 6, fill, RECT{-5, -5, 100, 100}, 8, 8),
              Clip(fill ? rotref::DiscSet(3, 3, 6) : rotref::CircleSet(3, 3, 6), RECT{0, 0, 8, 8}));
    EXPECT_TRUE(Draw(INT_MAX - 3, INT_MIN + 2, 5, fill, RECT{0, 0, 8, 8}, 8, 8).empty());
    EXPECT_TRUE(Draw(4, 4, 3, fill, RECT{5, 5, 5, 9}, 8, 8).empty());
    EXPECT_TRUE(Draw(4, 4, -3, fill, RECT{0, 0, 8, 8}, 8, 8).empty());
  }
}

TEST(Circle, ModesAndRefusedDestinations) {
  rotref::State st(RECT{0, 0, 16, 16}, 1, 128);
  rotref::Image im(16, 16, MEMIMG_COLOR_32);
  for (int y = 0; y < 16; ++y) for (int x = 0; x < 16; ++x) im.Set(x, y, 0xAA808080u);
  DrawCircleMemImg(&im.img, 8, 8, 3, 0x00FFFFFF, 0);
  int changed = 0;
  for (auto p : rotref::CircleSet(8, 8, 3)) changed += im.Get(p.first, p.second) == 0xAABFBFBFu;
  EXPECT_EQ(changed, 16);
  for (auto [mode, p] : {std::pair{7, 255}, std::pair{1, 0}, std::pair{2, 0}, std::pair{3, 0}}) {
    st.Set(RECT{0, 0, 16, 16}, mode, p, 0xFFFFFF);
    const auto before = im.store;
    DrawCircleMemImg(&im.img, 8, 8, 5, 0xFFFFFFFF, 1);
    DrawCircleMemImg(&im.img, 8, 8, 5, 0xFFFFFFFF, 0);
    EXPECT_EQ(im.store, before) << mode;
  }
  st.Set(RECT{0, 0, 16, 16}, 0, 255, 0xFFFFFF);
  for (auto [type, pal, alpha] : {std::tuple{2, false, false}, std::tuple{1, true, false}, std::tuple{0, false, true}}) {
    rotref::Image bad(16, 16, type, pal, alpha);
    DrawCircleMemImg(&bad.img, 8, 8, 5, 0xFFFFFFFF, 1);
    EXPECT_EQ(std::count(bad.store.begin(), bad.store.end(), 0), static_cast<long>(bad.store.size()));
  }
}

}  // namespace
