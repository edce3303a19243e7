// Pixel rules of the triangle draw against the reference model, flat colours, and
// hand-worked values.
#include <gtest/gtest.h>

#include "engine/softrender/softrender.h"
#include "ref_stretch_triangle.h"

namespace {

class TrianglePixels : public ::testing::Test {
 protected:
  void SetUp() override { InitBlendTables(); }
  void TearDown() override {
    InitBlendTables();
    ref::Apply(ref::State{}, 0, 0);
  }
};

// The triangle (ox, oy), (ox + n * scale, oy), (ox, oy + n * scale) mapped onto the texels
// (0, 0), (n, 0), (0, n): row y covers x = 0 .. n * scale - y and shows texel (x / scale,
// y / scale), except where x / scale reaches n (outside the source).
bool CheckTriangle(const ref::Kind& kind, const ref::State& stIn, bool withBlend, int scale,
                   std::mt19937& rng) {
  const int n = scale == 1 ? 6 : 4, ox = 1, oy = 2, side = n * scale;
  ref::Image src(n, n, kind.type, kind.paletted, kind.alpha);
  ref::Image blend(n + 1, n, MEMIMG_COLOR_8A);  // larger than the source is fine
  ref::Image dst(side + 3, side + 4, kind.type);
  ref::State st = stIn;
  st.blend = withBlend;
  st.transColor = ref::PlantSpecials(src, withBlend ? &blend : nullptr, rng);
  src.img.Base->TransColor = st.transColor;
  dst.Fill(rng);
  const std::vector<uint32_t> before = dst.Pixels();
  ref::Apply(st, dst.img.Width, dst.img.Height);
  const MemImgVertex v[3] = {{ox, oy, 0, 0}, {ox + side, oy, n, 0}, {ox, oy + side, 0, n}};
  DrawTriangleMemImg(dst.m(), src.m(), v, st.trans, withBlend ? blend.m() : nullptr, 0x12345678);

  for (int y = 0; y < dst.img.Height; ++y) {
    for (int x = 0; x < dst.img.Width; ++x) {
      uint32_t want = before[y * dst.img.Width + x];
      const int lx = x - ox, ly = y - oy;
      if (ly >= 0 && ly < side && lx >= 0 && lx <= side - ly && lx / scale < n) {
        want = ref::Pixel(ref::Routine::Triangle, st, src.AsSource(),
                          ref::TexelAt(src, &blend, lx / scale, ly / scale), want, BlendGraphAlphaTable);
      }
      const uint32_t got = dst.Get(x, y);
      if (got != want) {
        ADD_FAILURE() << kind.name << " mode " << st.mode << " p " << st.p << " bright " << std::hex << st.bright
                      << " trans " << st.trans << " blend " << withBlend << " scale " << std::dec << scale
                      << " at " << x << "," << y << ": got " << std::hex << got << " want " << want;
        return false;
      }
    }
  }
  return true;
}

TEST_F(TrianglePixels, EveryModeSourceAndModifierFollowsTheRules) {
  std::mt19937 rng(1717);
  ref::RandomGraphAlpha(rng);
  for (const ref::Kind& kind : ref::kKinds) {
    for (int mode : ref::kModes) {
      for (int p : {0, 77, 128, 255}) {
        for (int flags = 0; flags < 8; ++flags) {
          ref::State st;
          st.mode = mode;
          st.p = p;
          st.trans = flags & 1;
          st.bright = (flags & 2) ? 0x00FE30A0 : 0xFFFFFFFF;
          st.mmx = true;  // has no effect on triangles
          const bool withBlend = flags & 4;
          if (!CheckTriangle(kind, st, withBlend, 1, rng) || !CheckTriangle(kind, st, withBlend, 2, rng)) return;
        }
      }
    }
  }
}

// One textured triangle covering pixel (0, 0) with texel (0, 0) of a 1 x 1 source.
uint32_t Tri1(int type, int mode, int p, uint32_t srcPixel, uint32_t dstPixel, int trans, int alpha,
              int blendWeight = -1) {
  ref::Image src(1, 1, type, 0, alpha);
  ref::Image blend(1, 1, MEMIMG_COLOR_8A);
  ref::Image dst(1, 1, type);
  src.Set(0, 0, srcPixel);
  if (alpha && type == MEMIMG_COLOR_16) src.At(0, 0)[2] = 255;
  dst.Set(0, 0, dstPixel);
  if (blendWeight >= 0) {
    *blend.At(0, 0) = 9;
    BlendGraphAlphaTable[9] = static_cast<uint8_t>(blendWeight);
  }
  ref::State st;
  st.mode = mode;
  st.p = p;
  ref::Apply(st, 1, 1);
  const MemImgVertex v[3] = {{0, 0, 0, 0}, {2, 0, 2, 0}, {0, 2, 0, 2}};
  DrawTriangleMemImg(dst.m(), src.m(), v, trans, blendWeight >= 0 ? blend.m() : nullptr, 0);
  return dst.Get(0, 0);
}

TEST_F(TrianglePixels, WorkedValues) {
  const int C32 = MEMIMG_COLOR_32, C16 = MEMIMG_COLOR_16;
  // Mode 1 with blend image, alpha, trans off, k = a = 255, p = 254: the sum passes 2^31.
  EXPECT_EQ(Tri1(C32, 1, 254, 0xFFFFFFFF, 0x00000000, 0, 1, 255) & 0xFF, 251u);
  EXPECT_EQ(Tri1(C32, 1, 254, 0xFFFFFFFF, 0x000000FF, 0, 1, 255) & 0xFF, 255u);
  // Multiply 255 by 255: 254 plain, 253 with k = 255, 252 with k and a = 255 under trans off.
  EXPECT_EQ(Tri1(C32, 4, 0, 0x00FFFFFF, 0x00FFFFFF, 0, 0) & 0xFF, 254u);
  EXPECT_EQ(Tri1(C32, 4, 0, 0x00FFFFFF, 0x00FFFFFF, 0, 0, 255) & 0xFF, 253u);
  EXPECT_EQ(Tri1(C32, 4, 0, 0xFFFFFFFF, 0x00FFFFFF, 0, 1, 255) & 0xFF, 252u);
  EXPECT_EQ(Tri1(C32, 4, 0, 0xFFFFFFFF, 0x00FFFFFF, 1, 1, 255) & 0xFF, 253u);
  // With trans on, multiply and add both leave a pixel under alpha 0 alone.
  EXPECT_EQ(Tri1(C32, 4, 0, 0x00FFFFFF, 0x77808080, 1, 1), 0x77808080u);
  EXPECT_EQ(Tri1(C32, 2, 255, 0x00FFFFFF, 0x77808080, 1, 1), 0x77808080u);
  // 16-bit multiply of white: 0xF7DE; through the alpha formula (trans off, a = 255) 0xEFBD.
  EXPECT_EQ(Tri1(C16, 4, 0, 0xFFFF, 0xFFFF, 0, 0), 0xF7DEu);
  EXPECT_EQ(Tri1(C16, 4, 0, 0xFFFF, 0xFFFF, 0, 1), 0xEFBDu);
  EXPECT_EQ(Tri1(C16, 4, 0, 0xFFFF, 0xFFFF, 1, 1), 0xF7DEu);
  // 16-bit alpha blend p = 128 with a = 255: trans on uses the table (0x8410), trans off 0x7BEF.
  EXPECT_EQ(Tri1(C16, 1, 128, 0x0000, 0xFFFF, 1, 1), 0x8410u);
  EXPECT_EQ(Tri1(C16, 1, 128, 0x0000, 0xFFFF, 0, 1), 0x7BEFu);
  // Mode 11 with weight 255, p = 255, source 0 onto 200, a = 255: trans on 1, trans off 2.
  EXPECT_EQ(Tri1(C32, 11, 255, 0xFF000000, 0x000000C8, 1, 1, 255) & 0xFF, 1u);
  EXPECT_EQ(Tri1(C32, 11, 255, 0xFF000000, 0x000000C8, 0, 1, 255) & 0xFF, 2u);
}

// A flat triangle over the 4 x 4 image: rows 0..3, pixels (x, y) with x <= 4 - y.
std::vector<uint32_t> Flat(int type, const ref::State& st, uint32_t colour, uint32_t dstPixel, int trans = 0,
                           const MEMIMG* blend = nullptr) {
  ref::Image dst(4, 4, type);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) dst.Set(x, y, dstPixel);
  ref::Apply(st, 4, 4);
  const MemImgVertex v[3] = {{0, 0, 0, 0}, {4, 0, 0, 0}, {0, 4, 0, 0}};
  DrawTriangleMemImg(dst.m(), nullptr, v, trans, blend, colour);
  return dst.Pixels();
}

TEST_F(TrianglePixels, FlatColourInEveryMode) {
  std::mt19937 rng(31);
  ref::Image blend(4, 4, MEMIMG_COLOR_8A);
  for (int type : {MEMIMG_COLOR_32, MEMIMG_COLOR_16}) {
    const bool is32 = type == MEMIMG_COLOR_32;
    for (int mode : ref::kModes) {
      for (int p : {0, 100, 255}) {
        for (uint32_t bright : {0xFFFFFFu, 0x80C040u}) {
          ref::State st;
          st.mode = mode;
          st.p = p;
          st.bright = bright;
          const uint32_t colour = is32 ? static_cast<uint32_t>(rng()) : static_cast<uint32_t>(rng()) & 0xFFFF;
          const uint32_t d = is32 ? static_cast<uint32_t>(rng()) : static_cast<uint32_t>(rng()) & 0xFFFF;
          // The colour is brightened once; then it is drawn like an opaque source pixel.
          ref::Chans ch = ref::Split(is32, colour);
          for (int i = 0; i < 3; ++i) ch.c[i] = ref::M(ref::BrightByte(bright, i), ch.c[i]);
          const uint32_t prepared = ref::Join(is32, ch, colour >> 24);
          ref::State plain = st;
          plain.bright = 0xFFFFFF;
          const ref::Source asSource = {is32, false, false, nullptr};
          // Subtract with p = 0 draws nothing for a flat colour.
          const uint32_t inside = (mode == 3 && p == 0)
                                      ? d
                                      : ref::Pixel(ref::Routine::Triangle, plain, asSource, {prepared, 0, 0}, d,
                                                   BlendGraphAlphaTable);
          // The trans flag and a blend image change nothing.
          const std::vector<uint32_t> got = Flat(type, st, colour, d, 1, blend.m());
          for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
              ASSERT_EQ(got[y * 4 + x], x <= 4 - y ? inside : d)
                  << "type " << type << " mode " << mode << " p " << p << " bright " << std::hex << bright
                  << " at " << x << "," << y;
        }
      }
    }
  }
}

TEST_F(TrianglePixels, FlatColourWorkedValues) {
  ref::State st;
  // 32-bit copy writes all four bytes; brightness 128 halves red 255, green 128, blue 64.
  EXPECT_EQ(Flat(MEMIMG_COLOR_32, st, 0xAB804020u, 0)[0], 0xAB804020u);
  st.bright = 0x808080;
  EXPECT_EQ(Flat(MEMIMG_COLOR_32, st, 0xABFF8040u, 0)[0], 0xAB804020u);
  // 16-bit: each field scaled at its own width: red 31 -> 15.
  EXPECT_EQ(Flat(MEMIMG_COLOR_16, st, 0xF800u, 0)[0], 15u << 11);
  // Bits above 15 of a 16-bit colour are ignored.
  st.bright = 0xFFFFFF;
  EXPECT_EQ(Flat(MEMIMG_COLOR_16, st, 0xFFFF0000u | 0x1234u, 0)[0], 0x1234u);
  st.mode = 1;
  st.p = 128;
  EXPECT_EQ(Flat(MEMIMG_COLOR_32, st, 0x00FFFFFF, 0x55000000)[0], 0x557F7F7Fu);
  EXPECT_EQ(Flat(MEMIMG_COLOR_16, st, 0xFFFF, 0)[0], 0x7BEFu);
  st.mode = 2;
  st.p = 255;
  EXPECT_EQ(Flat(MEMIMG_COLOR_32, st, 0x00808080, 0x00808080)[0], 0x01FFFFFFu);
  // Modes 10 and 11 with p = 0 write every pixel back unchanged; 1, 2, 3 draw nothing.
  for (int mode : {1, 2, 3, 10, 11}) {
    st.mode = mode;
    st.p = 0;
    EXPECT_EQ(Flat(MEMIMG_COLOR_32, st, 0x00FFFFFF, 0x12345678)[0], 0x12345678u) << mode;
  }
}

}  // namespace
