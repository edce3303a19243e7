// Filled boxes: covered pixels, clipping and every blend mode on both formats.
#include <gtest/gtest.h>

#include <random>

#include "engine/softrender/blend_rows.h"
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

// Wide boxes reach the vector loops of every instruction set: each set gives the model's
// pixels, and the same pixels as the generic set, over sizes, clips, colours, parameters and
// the row alignments the image widths and left edges make.
TEST(FillBox, WideBoxesMatchModelAndGenericInEverySet) {
  std::vector<rows::Isa> sets;
  for (rows::Isa isa : {rows::Isa::Generic, rows::Isa::Sse2, rows::Isa::Avx2})
    if (rows::Use(isa)) sets.push_back(isa);
  std::mt19937 rng(31);
  int failures = 0;
  for (int trial = 0; trial < 1500 && failures < 5; ++trial) {
    const int type = trial % 2 ? MEMIMG_COLOR_16 : MEMIMG_COLOR_32;
    const int w = 1 + static_cast<int>(rng() % 100), h = 1 + static_cast<int>(rng() % 4);
    // Mostly the modes with vector rows, now and then any other.
    const int mode = rng() % 4 ? (rng() % 2 ? 1 : 10) : static_cast<int>(rng() % 13);
    const int p = rng() % 4 ? static_cast<int>(rng() % 256) : std::vector<int>{0, 1, 2, 127, 254, 255}[rng() % 6];
    const uint32_t bright = rng() % 3 ? 0xFFFFFFu : rng() & 0xFFFFFFu;
    const RECT area{static_cast<int>(rng() % 8) - 2, static_cast<int>(rng() % 3) - 1, w - static_cast<int>(rng() % 8) + 2,
                    h + 1};
    rotref::State st(area, mode, p, bright);
    rotref::Image im(w, h, type);
    Randomise(im, rng);
    // Black and white now and then: rows toward black have their own kernel.
    const uint32_t color = rng() % 4 ? rng() : rng() % 2 ? 0u : 0xFFFFFFFFu;
    const RECT r{static_cast<int>(rng() % (w + 4)) - 2, static_cast<int>(rng() % (h + 2)) - 1,
                 static_cast<int>(rng() % (w + 4)) - 2, static_cast<int>(rng() % (h + 2)) - 1};
    const auto want = ExpectBox(im, r, type == MEMIMG_COLOR_16 ? color & 0xFFFF : color);
    std::vector<uint8_t> generic;
    for (rows::Isa isa : sets) {
      rows::Use(isa);
      rotref::Image got = im;
      got.img.TopLeft = got.store.data();
      got.img.Base = &got.base;
      got.base.Palette = got.palette.data();
      FillBoxMemImg(&got.img, &r, color);
      if (isa == rows::Isa::Generic) generic = got.store;
      if (got.store != want || got.store != generic) {
        ADD_FAILURE() << "set " << static_cast<int>(isa) << " type " << type << " w " << w << " mode " << mode
                      << " p " << p << " rect " << r.left << "," << r.right;
        ++failures;
      }
    }
  }
  rows::Use(rows::Best());
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
