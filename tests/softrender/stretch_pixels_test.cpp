// Pixel rules of the stretched draw against the reference model, and hand-worked values.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/softrender/softrender.h"
#include "ref_stretch_triangle.h"

namespace {

class StretchPixels : public ::testing::Test {
 protected:
  void SetUp() override { InitBlendTables(); }
  void TearDown() override {
    InitBlendTables();
    ref::Apply(ref::State{}, 0, 0);
  }
};

// Draws a sw x sh source of the given kind into rect of a 12 x 10 destination and checks every
// destination pixel against the model. Returns false after the first mismatch.
bool CheckStretch(const ref::Kind& kind, const ref::State& stIn, bool withBlend, const int rect[4], int sw,
                  int sh, std::mt19937& rng) {
  ref::Image src(sw, sh, kind.type, kind.paletted, kind.alpha);
  ref::Image blend(sw, sh, MEMIMG_COLOR_8A);
  ref::Image dst(12, 10, kind.type);
  ref::State st = stIn;
  st.blend = withBlend;
  st.transColor = ref::PlantSpecials(src, withBlend ? &blend : nullptr, rng);
  src.img.Base->TransColor = st.transColor;
  dst.Fill(rng);
  const std::vector<uint32_t> before = dst.Pixels();
  ref::Apply(st, 12, 10);
  DrawStretchMemImg(dst.m(), src.m(), rect, st.trans, withBlend ? blend.m() : nullptr);

  const bool mx = rect[0] > rect[2], my = rect[1] > rect[3];
  const int left = mx ? rect[2] : rect[0], right = mx ? rect[0] : rect[2];
  const int top = my ? rect[3] : rect[1], bottom = my ? rect[1] : rect[3];
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 12; ++x) {
      uint32_t want = before[y * 12 + x];
      if (x >= left && x < right && y >= top && y < bottom) {
        const int sx = ref::StretchIndex(x - left, right - left, sw, mx);
        const int sy = ref::StretchIndex(y - top, bottom - top, sh, my);
        want = ref::Pixel(ref::Routine::Stretch, st, src.AsSource(), ref::TexelAt(src, &blend, sx, sy), want,
                          BlendGraphAlphaTable);
      }
      const uint32_t got = dst.Get(x, y);
      if (got != want) {
        ADD_FAILURE() << kind.name << " mode " << st.mode << " p " << st.p << " bright " << std::hex << st.bright
                      << " trans " << st.trans << " blend " << withBlend << " mmx " << st.mmx << " rect "
                      << std::dec << rect[0] << "," << rect[1] << "," << rect[2] << "," << rect[3] << " at " << x
                      << "," << y << ": got " << std::hex << got << " want " << want;
        return false;
      }
    }
  }
  return true;
}

TEST_F(StretchPixels, EveryModeSourceAndModifierFollowsTheRules) {
  std::mt19937 rng(4242);
  ref::RandomGraphAlpha(rng);
  // Enlarged 5 x 4 -> 9 x 7 (uneven runs), mirrored on x, and shrunk 7 x 6 -> 4 x 3 mirrored on y.
  const int enlarge[4] = {1, 2, 10, 9}, mirrorX[4] = {11, 0, 2, 7}, shrink[4] = {3, 7, 7, 4};
  for (const ref::Kind& kind : ref::kKinds) {
    for (int mode : ref::kModes) {
      for (int p : {0, 77, 128, 255}) {
        for (int flags = 0; flags < 8; ++flags) {
          ref::State st;
          st.mode = mode;
          st.p = p;
          st.trans = flags & 1;
          st.bright = (flags & 2) ? 0xFF40C0FE : 0x12FFFFFF;  // top byte ignored either way
          const bool withBlend = flags & 4;
          bool ok = CheckStretch(kind, st, withBlend, enlarge, 5, 4, rng) &&
                    CheckStretch(kind, st, withBlend, mirrorX, 5, 4, rng) &&
                    CheckStretch(kind, st, withBlend, shrink, 7, 6, rng);
          if (ok && mode == 3) {
            st.mmx = true;
            ok = CheckStretch(kind, st, withBlend, enlarge, 5, 4, rng);
          }
          if (!ok) return;
        }
      }
    }
  }
}

TEST_F(StretchPixels, BlendModesThatDrawNothing) {
  std::mt19937 rng(7);
  for (const ref::Kind& kind : ref::kKinds) {
    ref::Image src(3, 3, kind.type, kind.paletted, kind.alpha);
    ref::Image dst(8, 8, kind.type);
    src.Fill(rng);
    dst.Fill(rng);
    const std::vector<uint32_t> before = dst.Pixels();
    const int rect[4] = {0, 0, 7, 5};
    for (int mode : {5, 6, 7, 8, 9, 12, 255, -1}) {
      ref::State st;
      st.mode = mode;
      ref::Apply(st, 8, 8);
      DrawStretchMemImg(dst.m(), src.m(), rect, 0, nullptr);
      EXPECT_EQ(dst.Pixels(), before) << kind.name << " mode " << mode;
    }
  }
}

// Values worked by hand from the rules, one source pixel stretched over a 2 x 2 destination.
uint32_t Stretch1(int type, int mode, int p, uint32_t srcPixel, uint32_t dstPixel, int trans = 0, int alpha = 0,
                  uint8_t alphaByte = 0) {
  ref::Image src(1, 1, type, 0, alpha);
  ref::Image dst(2, 2, type);
  src.Set(0, 0, srcPixel);
  if (alpha && type == MEMIMG_COLOR_16) src.At(0, 0)[2] = alphaByte;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) dst.Set(x, y, dstPixel);
  ref::State st;
  st.mode = mode;
  st.p = p;
  const int mmx = ProcessorHasMMX;
  ref::Apply(st, 2, 2);
  ProcessorHasMMX = mmx;
  const int rect[4] = {0, 0, 2, 2};
  DrawStretchMemImg(dst.m(), src.m(), rect, trans, nullptr);
  EXPECT_EQ(dst.Get(1, 1), dst.Get(0, 0));
  return dst.Get(0, 0);
}

TEST_F(StretchPixels, WorkedValues) {
  const int C32 = MEMIMG_COLOR_32, C16 = MEMIMG_COLOR_16;
  // Add: B exact, G and R without their low bits, the fourth byte the carry out of red.
  EXPECT_EQ(Stretch1(C32, 2, 255, 0x00010101, 0xAA010101), 0x00010102u);
  EXPECT_EQ(Stretch1(C32, 2, 255, 0x00646464, 0x00C8C8C8), 0x01FFFFFFu);
  // Subtract: 1, 1, 1 from 0x80 gives 0x7F, 0x81, 0x81; white from white 0, 1, 1.
  EXPECT_EQ(Stretch1(C32, 3, 255, 0x00010101, 0xFF808080), 0x0081817Fu);
  EXPECT_EQ(Stretch1(C32, 3, 255, 0x00FFFFFF, 0x00FFFFFF), 0x00010100u);
  ProcessorHasMMX = 1;  // the packed-byte loop subtracts bytewise, the fourth byte too
  EXPECT_EQ(Stretch1(C32, 3, 255, 0x01010101, 0xFF808080), 0xFE7F7F7Fu);
  ProcessorHasMMX = 0;
  EXPECT_EQ(Stretch1(C16, 2, 255, 0x0821, 0x0821), 0x0822u);  // R, G, B = 1, 1, 1 + 1, 1, 1
  EXPECT_EQ(Stretch1(C16, 2, 255, 2 << 5, 62 << 5), (1u << 11) | (62u << 5));
  EXPECT_EQ(Stretch1(C16, 3, 255, 0x0821, (16u << 11) | (32u << 5) | 16u), (17u << 11) | (32u << 5) | 15u);
  EXPECT_EQ(Stretch1(C16, 3, 255, 0xFFFF, 0xFFFF), 0x0800u);
  // Multiply: white by white is not the identity.
  EXPECT_EQ(Stretch1(C32, 4, 0, 0x00FFFFFF, 0x33FFFFFF), 0x33FEFEFEu);
  EXPECT_EQ(Stretch1(C16, 4, 0, 0xFFFF, 0xFFFF), (30u << 11) | (62u << 5) | 30u);
  // Alpha blend at p = 128: 32-bit divides by 256, 16-bit by 255 through the table.
  EXPECT_EQ(Stretch1(C32, 1, 128, 0x00FFFFFF, 0x44000000), 0x447F7F7Fu);
  EXPECT_EQ(Stretch1(C16, 1, 128, 0xFFFF, 0x0000), 0x7BEFu);
  // Copy of an alpha source: trans on, a = 255 copies all four bytes; trans off mixes (254).
  EXPECT_EQ(Stretch1(C32, 0, 0, 0xFFFFFFFF, 0x00000000, 1, 1), 0xFFFFFFFFu);
  EXPECT_EQ(Stretch1(C32, 0, 0, 0xFFFFFFFF, 0x00000000, 0, 1), 0x00FEFEFEu);
  EXPECT_EQ(Stretch1(C32, 0, 0, 0x00FFFFFF, 0x11223344, 1, 1), 0x11223344u);  // a = 0 skipped
  // Inverted: source 0 toward 255 by 255/256 on 32-bit, exactly to the maximum on 16-bit.
  EXPECT_EQ(Stretch1(C32, 10, 255, 0x00000000, 0x00000000), 0x00FEFEFEu);
  EXPECT_EQ(Stretch1(C16, 10, 255, 0x0000, 0x0000), 0xFFFFu);
  // Multiply-then-alpha darkens even with white: 200 -> 199; 16-bit red 20 -> 19.
  EXPECT_EQ(Stretch1(C32, 11, 255, 0x00FFFFFF, 0x00C8C8C8), 0x00C7C7C7u);
  EXPECT_EQ(Stretch1(C16, 11, 255, 0xFFFF, 20u << 11) >> 11, 19u);
  // The green field that keeps five more bits: G 1 (alpha 255) onto G 44 gives 1; plain gives 0.
  EXPECT_EQ((Stretch1(C16, 11, 255, 1u << 5, 44u << 5, 0, 1, 255) >> 5) & 63, 1u);
  EXPECT_EQ((Stretch1(C16, 11, 255, 1u << 5, 44u << 5, 1, 1, 255) >> 5) & 63, 0u);
}

TEST_F(StretchPixels, SubtractWithZeroParameter) {
  // A paletted source still runs and flips the low bits; a direct source draws nothing.
  ref::Image pal(1, 1, MEMIMG_COLOR_32, 1);
  ref::Image direct(1, 1, MEMIMG_COLOR_32);
  ref::Image dst(2, 2, MEMIMG_COLOR_32);
  const int rect[4] = {0, 0, 2, 2};
  ref::State st;
  st.mode = 3;
  st.p = 0;
  ref::Apply(st, 2, 2);
  dst.Set(0, 0, 0xFF123456);
  DrawStretchMemImg(dst.m(), direct.m(), rect, 0, nullptr);
  EXPECT_EQ(dst.Get(0, 0), 0xFF123456u);
  DrawStretchMemImg(dst.m(), pal.m(), rect, 0, nullptr);
  EXPECT_EQ(dst.Get(0, 0), 0x00133556u);
}

}  // namespace
