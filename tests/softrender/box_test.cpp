// Filled boxes: covered pixels, clipping and every blend mode on both formats.
#include <gtest/gtest.h>

#include <random>

#include "engine/softrender/primitives.h"
#include "ref_rotate_primitives.h"

namespace {

void Randomise(rotref::Image& im, std::mt19937& rng) {
  for (auto& b : im.store) b = static_cast<uint8_t>(rng());
}

// The model: every pixel of the ordered rectangle within DrawArea and the image.
std::vector<uint8_t> ExpectBox(rotref::Image im, RECT r, uint32_t color) {
  const rotref::Fmt f{im.base.ColorType == MEMIMG_COLOR_32};
  const rotref::Solid s = rotref::PrepareSolid(f, color, DrawBlendMode, DrawBlendParam, DrawBrightness);
  const int l = std::max({std::min(r.left, r.right), DrawArea.left, 0});
  const int rr = std::min({std::max(r.left, r.right), DrawArea.right, im.img.Width});
  const int t = std::max({std::min(r.top, r.bottom), DrawArea.top, 0});
  const int b = std::min({std::max(r.top, r.bottom), DrawArea.bottom, im.img.Height});
  for (int y = t; s.mode >= 0 && y < b; ++y) {
    for (int x = l; x < rr; ++x) im.Set(x, y, rotref::SolidPixel(f, im.Get(x, y), s, DrawBlendParam));
  }
  return im.store;
}

TEST(FillBox, EveryModeOnBothFormatsMatchesModel) {
  std::mt19937 rng(8);
  for (int type : {MEMIMG_COLOR_32, MEMIMG_COLOR_16}) {
    for (int mode = 0; mode <= 12; ++mode) {
      for (int p : {0, 1, 128, 255}) {
        for (uint32_t bright : {0xFFFFFFu, 0x40FFC0u}) {
          rotref::State st(RECT{2, 1, 13, 9}, mode, p, bright);
          rotref::Image im(15, 11, type);
          Randomise(im, rng);
          const uint32_t color = type == MEMIMG_COLOR_32 ? rng() : (rng() & 0xFFFF);
          const RECT r{static_cast<int>(rng() % 16) - 1, static_cast<int>(rng() % 12) - 1,
                       static_cast<int>(rng() % 16) - 1, static_cast<int>(rng() % 12) - 1};
          const auto want = ExpectBox(im, r, color);
          FillBoxMemImg(&im.img, &r, color);
          ASSERT_EQ(im.store, want) << "type " << type << " mode " << mode << " p " << p;
        }
      }
    }
  }
}

TEST(FillBox, RectangleHandlingAndClipping) {
  std::mt19937 rng(9);
  rotref::State st(RECT{0, 0, 1000, 1000});  // wider than the image: the image bounds still hold
  rotref::Image im(9, 6, MEMIMG_COLOR_16);
  Randomise(im, rng);
  auto want = ExpectBox(im, RECT{0, 0, 9, 6}, 0x1234);
  FillBoxMemImg(&im.img, nullptr, 0xFFFF1234u);  // upper half of a 16-bit colour is ignored
  EXPECT_EQ(im.store, want);

  const RECT reversed{7, 5, 2, 1};
  want = ExpectBox(im, RECT{2, 1, 7, 5}, 0x0F0F);
  FillBoxMemImg(&im.img, &reversed, 0x0F0F);
  EXPECT_EQ(im.store, want);
  EXPECT_EQ(reversed.left, 7);

  // Odd widths end with one 16-bit store; the neighbour on the right stays.
  for (int w : {1, 3}) {
    const RECT r{4, 2, 4 + w, 3};
    want = ExpectBox(im, r, 0xABCD);
    FillBoxMemImg(&im.img, &r, 0xABCD);
    EXPECT_EQ(im.store, want);
  }
  const RECT empty{3, 3, 3, 5};
  want = im.store;
  FillBoxMemImg(&im.img, &empty, 0);
  EXPECT_EQ(im.store, want);
}

TEST(FillBox, RefusesPalettedAlphaAndNullImages) {
  rotref::State st(RECT{0, 0, 4, 4});
  for (auto [pal, alpha] : {std::pair{true, false}, std::pair{false, true}}) {
    rotref::Image im(4, 4, MEMIMG_COLOR_32, pal, alpha);
    FillBoxMemImg(&im.img, nullptr, 0xFFFFFFFFu);
    EXPECT_EQ(std::count(im.store.begin(), im.store.end(), 0), static_cast<long>(im.store.size()));
  }
  FillBoxMemImg(nullptr, nullptr, 0);
}

}  // namespace
