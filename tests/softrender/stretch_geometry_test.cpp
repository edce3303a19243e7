// Which source pixel each destination pixel of a stretched draw shows, clipping, the
// hand-off to the unscaled draw and the refused inputs.
#include <gtest/gtest.h>

#include <climits>

#include "engine/softrender/softrender.h"
#include "ref_stretch_triangle.h"

namespace {

class StretchGeometry : public ::testing::Test {
 protected:
  void SetUp() override {
    InitBlendTables();
    ref::Apply(ref::State{}, 0, 0);
  }
  void TearDown() override { ref::Apply(ref::State{}, 0, 0); }
};

// A 32-bit source whose pixel at x, y holds x + 16 * y + 1 (so no pixel is 0).
void Numbered(ref::Image& src) {
  for (int y = 0; y < src.img.Height; ++y)
    for (int x = 0; x < src.img.Width; ++x) src.Set(x, y, static_cast<uint32_t>(x + 16 * y + 1));
}
int Col(uint32_t v) { return static_cast<int>((v - 1) % 16); }
int Row(uint32_t v) { return static_cast<int>((v - 1) / 16); }

TEST_F(StretchGeometry, ColumnsAndRowsMapByTheScale) {
  struct Case {
    int sw, sh;
    int rect[4];
    RECT area;
  };
  const Case cases[] = {
      {4, 4, {0, 0, 8, 8}, {0, 0, 40, 30}},      // double: each column twice
      {8, 6, {0, 0, 4, 3}, {0, 0, 40, 30}},      // half: columns 0, 2, 4, 6
      {5, 3, {2, 1, 15, 12}, {0, 0, 40, 30}},    // uneven enlargement
      {13, 7, {3, 3, 8, 5}, {0, 0, 40, 30}},     // uneven shrink
      {5, 4, {15, 1, 2, 12}, {0, 0, 40, 30}},    // mirrored left to right
      {5, 4, {2, 12, 15, 1}, {0, 0, 40, 30}},    // mirrored top to bottom
      {6, 5, {-7, -3, 20, 17}, {0, 0, 40, 30}},  // partly off the left and top
      {6, 5, {25, 20, 50, 40}, {0, 0, 40, 30}},  // partly off the right and bottom
      {6, 5, {30, 25, -5, -3}, {4, 2, 17, 21}},  // both mirrored, clipped by a smaller area
      {4, 4, {0, 0, 4, 4}, {0, 0, 40, 30}},      // same size: the unscaled draw
  };
  for (const Case& c : cases) {
    ref::Image src(c.sw, c.sh, MEMIMG_COLOR_32);
    ref::Image dst(40, 30, MEMIMG_COLOR_32);
    Numbered(src);
    DrawArea = c.area;
    DrawStretchMemImg(dst.m(), src.m(), c.rect, 0, nullptr);
    const bool mx = c.rect[0] > c.rect[2], my = c.rect[1] > c.rect[3];
    const int left = mx ? c.rect[2] : c.rect[0], right = mx ? c.rect[0] : c.rect[2];
    const int top = my ? c.rect[3] : c.rect[1], bottom = my ? c.rect[1] : c.rect[3];
    int wrong = 0;
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) {
        const bool inside = x >= left && x < right && y >= top && y < bottom && x >= c.area.left &&
                            x < c.area.right && y >= c.area.top && y < c.area.bottom;
        const uint32_t got = dst.Get(x, y);
        if (!inside) {
          wrong += got != 0;
          continue;
        }
        const int wantX = ref::StretchIndex(x - left, right - left, c.sw, mx);
        const int wantY = ref::StretchIndex(y - top, bottom - top, c.sh, my);
        if (got == 0 || Col(got) != wantX || Row(got) != wantY) ++wrong;
      }
    }
    EXPECT_EQ(wrong, 0) << "source " << c.sw << "x" << c.sh << " rect " << c.rect[0] << "," << c.rect[1] << ","
                        << c.rect[2] << "," << c.rect[3];
  }
}

TEST_F(StretchGeometry, ExactHalfAndDoubleAndMirror) {
  ref::Image src(8, 1, MEMIMG_COLOR_32);
  ref::Image dst(16, 1, MEMIMG_COLOR_32);
  Numbered(src);
  DrawArea = {0, 0, 16, 1};
  const int half[4] = {0, 0, 4, 1};
  DrawStretchMemImg(dst.m(), src.m(), half, 0, nullptr);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(Col(dst.Get(x, 0)), 2 * x);
  const int twice[4] = {0, 0, 16, 1};
  DrawStretchMemImg(dst.m(), src.m(), twice, 0, nullptr);
  for (int x = 0; x < 16; ++x) EXPECT_EQ(Col(dst.Get(x, 0)), x / 2);
  // The same size with reversed corners is drawn here, mirrored.
  const int mirrored[4] = {8, 0, 0, 1};
  DrawStretchMemImg(dst.m(), src.m(), mirrored, 0, nullptr);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(Col(dst.Get(x, 0)), 7 - x);
}

TEST_F(StretchGeometry, MirroredBlendImageFollowsTheSource) {
  // Blend weights 0 or 255 by source column: the weight must travel with the mirrored pixel.
  ref::Image src(4, 2, MEMIMG_COLOR_32);
  ref::Image blend(4, 2, MEMIMG_COLOR_8A);
  ref::Image dst(8, 2, MEMIMG_COLOR_32);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      src.Set(x, y, 0x00FFFFFF);
      *blend.At(x, y) = x == 0 ? 255 : 0;
    }
  }
  DrawArea = {0, 0, 8, 2};
  const int rect[4] = {8, 0, 0, 2};
  DrawStretchMemImg(dst.m(), src.m(), rect, 0, blend.m());
  for (int x = 0; x < 8; ++x) {
    // Source column 0 lands on the two rightmost columns; k = 255 mixes (d * 256 + (s - d) * 255) >> 8.
    const uint32_t want = x >= 6 ? 254u : 0u;
    EXPECT_EQ(dst.Get(x, 0) & 0xFF, want) << x;
  }
}

TEST_F(StretchGeometry, DoubleSizeMatchesTheUnscaledDrawOfADoubledImage) {
  // A 2x stretch of S equals DrawMemImg of S with each pixel doubled, in every mode, but where
  // the two draws have different rules: the unscaled draw copies alpha sources whole under
  // copy without transparency, and blends 16-bit pixels at p through its 6-bit lerp table.
  std::mt19937 rng(99);
  for (const ref::Kind& kind : ref::kKinds) {
    for (int mode : ref::kModes) {
      for (int trans = 0; trans < 2; ++trans) {
        if ((kind.alpha && mode == 0 && !trans) || (kind.type == MEMIMG_COLOR_16 && mode == 1)) continue;
        ref::Image src(5, 4, kind.type, kind.paletted, kind.alpha);
        ref::Image big(10, 8, kind.type, kind.paletted, kind.alpha);
        src.Fill(rng);
        src.img.Base->TransColor = src.Get(2, 1);
        big.img.Base->TransColor = src.img.Base->TransColor;
        if (kind.paletted) std::memcpy(big.img.Base->Palette, src.img.Base->Palette, 1024);
        for (int y = 0; y < 8; ++y)
          for (int x = 0; x < 10; ++x) std::memcpy(big.At(x, y), src.At(x / 2, y / 2), src.Bytes());
        ref::Image a(12, 10, kind.type), b(12, 10, kind.type);
        a.Fill(rng);
        std::memcpy(b.img.Base->Pixels, a.img.Base->Pixels, size_t(a.img.Base->Pitch) * 10);
        ref::State st;
        st.mode = mode;
        st.p = 100;
        ref::Apply(st, 12, 10);
        const int rect[4] = {1, 1, 11, 9};
        DrawStretchMemImg(a.m(), src.m(), rect, trans, nullptr);
        DrawMemImg(b.m(), big.m(), 1, 1, trans, nullptr);
        EXPECT_EQ(ref::FirstDifference(a.Pixels(), b.Pixels(), 12), "")
            << kind.name << " mode " << mode << " trans " << trans;
      }
    }
  }
}

TEST_F(StretchGeometry, SameSizeHandsOffToTheUnscaledDraw) {
  std::mt19937 rng(5);
  ref::Image src(6, 5, MEMIMG_COLOR_16, 0, 1);
  src.Fill(rng);
  ref::Image a(10, 10, MEMIMG_COLOR_16), b(10, 10, MEMIMG_COLOR_16);
  ref::State st;
  st.mode = 1;
  st.p = 90;
  ref::Apply(st, 10, 10);
  DrawArea = {2, 0, 10, 4};
  const int rect[4] = {1, 2, 7, 7};
  DrawStretchMemImg(a.m(), src.m(), rect, 1, nullptr);
  DrawMemImg(b.m(), src.m(), 1, 2, 1, nullptr);
  EXPECT_EQ(ref::FirstDifference(a.Pixels(), b.Pixels(), 10), "");
}

TEST_F(StretchGeometry, UnsuitableInputDrawsNothing) {
  std::mt19937 rng(11);
  ref::Image src(4, 4, MEMIMG_COLOR_32);
  src.Fill(rng);
  const int rect[4] = {0, 0, 8, 8};
  const auto untouched = [&](MEMIMG* dst, const MEMIMG* s, const int* r, const MEMIMG* blend) {
    const size_t bytes = size_t(dst->Base->Pitch) * dst->Height;
    std::vector<uint8_t> before(dst->Base->Pixels, dst->Base->Pixels + bytes);
    DrawStretchMemImg(dst, s, r, 0, blend);
    return std::equal(before.begin(), before.end(), dst->Base->Pixels);
  };
  DrawArea = {0, 0, 8, 8};
  ref::Image d16(8, 8, MEMIMG_COLOR_16), dPal(8, 8, MEMIMG_COLOR_32, 1), dAlpha(8, 8, MEMIMG_COLOR_32, 0, 1);
  EXPECT_TRUE(untouched(d16.m(), src.m(), rect, nullptr)) << "format mismatch";
  EXPECT_TRUE(untouched(dPal.m(), src.m(), rect, nullptr)) << "paletted destination";
  EXPECT_TRUE(untouched(dAlpha.m(), src.m(), rect, nullptr)) << "destination with alpha";

  ref::Image dst(8, 8, MEMIMG_COLOR_32);
  const int flatX[4] = {3, 0, 3, 8}, flatY[4] = {0, 5, 8, 5};
  EXPECT_TRUE(untouched(dst.m(), src.m(), flatX, nullptr));
  EXPECT_TRUE(untouched(dst.m(), src.m(), flatY, nullptr));
  // Sides that do not fit 16.16 arithmetic, even when mostly off the area.
  const int huge[4] = {-40000, 0, 8, 8}, wrapping[4] = {INT_MIN, 0, INT_MAX, 8};
  EXPECT_TRUE(untouched(dst.m(), src.m(), huge, nullptr));
  EXPECT_TRUE(untouched(dst.m(), src.m(), wrapping, nullptr));
  // A blend image smaller than the source.
  ref::Image smallBlend(3, 4, MEMIMG_COLOR_8A);
  EXPECT_TRUE(untouched(dst.m(), src.m(), rect, smallBlend.m()));
  // Single-channel sources are not drawn.
  ref::Image mono(4, 4, MEMIMG_COLOR_8A);
  mono.Fill(rng);
  EXPECT_TRUE(untouched(dst.m(), mono.m(), rect, nullptr));
  // A draw area reaching past the destination is cut to it.
  DrawArea = {-20, -20, 100, 100};
  ref::Image tiny(3, 3, MEMIMG_COLOR_32);
  const int over[4] = {-5, -5, 20, 20};
  DrawStretchMemImg(tiny.m(), src.m(), over, 0, nullptr);
  EXPECT_NE(tiny.Get(2, 2), 0u);
}

}  // namespace
