// A whole image onto four corners: two triangles against the unscaled draw, mirroring and
// the bounding-box test.
#include <gtest/gtest.h>

#include "engine/softrender/softrender.h"
#include "ref_stretch_triangle.h"

namespace {

class Quad : public ::testing::Test {
 protected:
  void SetUp() override {
    InitBlendTables();
    ref::Apply(ref::State{}, 0, 0);
  }
  void TearDown() override { ref::Apply(ref::State{}, 0, 0); }
};

TEST_F(Quad, UprightQuadEqualsTheUnscaledDraw) {
  // Corners on the image's own rectangle map texel (x, y) to pixel (x, y): in copy mode the
  // two triangles draw exactly what the unscaled draw draws, for every source kind. (Alpha
  // sources take only alpha 0 and 255 with transparency on: a partial alpha would blend the
  // shared diagonal twice, and without transparency the unscaled draw copies them whole.)
  std::mt19937 rng(8);
  for (const ref::Kind& kind : ref::kKinds) {
    for (int trans = kind.alpha ? 1 : 0; trans < 2; ++trans) {
      for (int bright : {0, 1}) {
        ref::Image src(9, 6, kind.type, kind.paletted, kind.alpha);
        src.Fill(rng);
        if (kind.alpha) {
          for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 9; ++x) src.At(x, y)[kind.type == MEMIMG_COLOR_32 ? 3 : 2] = (x + y) % 3 ? 255 : 0;
        }
        src.img.Base->TransColor = src.Get(4, 2);
        ref::Image a(14, 10, kind.type), b(14, 10, kind.type);
        a.Fill(rng);
        std::memcpy(b.img.Base->Pixels, a.img.Base->Pixels, size_t(a.img.Base->Pitch) * 10);
        ref::State st;
        st.bright = bright ? 0x9080F0 : 0xFFFFFF;
        ref::Apply(st, 14, 10);
        const int corners[8] = {3, 2, 12, 2, 3, 8, 12, 8};
        DrawQuadMemImg(a.m(), src.m(), corners, trans, nullptr);
        DrawMemImg(b.m(), src.m(), 3, 2, trans, nullptr);
        EXPECT_EQ(ref::FirstDifference(a.Pixels(), b.Pixels(), 14), "")
            << kind.name << " trans " << trans << " bright " << bright;
      }
    }
  }
}

TEST_F(Quad, MultiplyKeepsTheTransparentSurround) {
  // A 4 x 4 sprite: white, opaque in the middle 2 x 2, alpha 0 around it. With transparency
  // on, multiply darkens under the opaque texels only (twice on the shared diagonal); the
  // surround is left as it was.
  ref::Image src(4, 4, MEMIMG_COLOR_32, 0, 1);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src.Set(x, y, (x == 1 || x == 2) && (y == 1 || y == 2) ? 0xFFFFFFFF : 0x00FFFFFF);
  ref::Image dst(4, 4, MEMIMG_COLOR_32);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) dst.Set(x, y, 0x55808080);
  ref::State st;
  st.mode = 4;
  ref::Apply(st, 4, 4);
  const int corners[8] = {0, 0, 4, 0, 0, 4, 4, 4};
  DrawQuadMemImg(dst.m(), src.m(), corners, 1, nullptr);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      const bool inside = (x == 1 || x == 2) && (y == 1 || y == 2);
      const uint32_t darkened = x + y == 4 ? 0x557E7E7Eu : 0x557F7F7Fu;
      EXPECT_EQ(dst.Get(x, y), inside ? darkened : 0x55808080u) << x << "," << y;
    }
}

TEST_F(Quad, SharedEdgeIsDrawnByBothTriangles) {
  // In a blending mode the diagonal from corner 1 to corner 2 is blended twice.
  ref::Image src(4, 4, MEMIMG_COLOR_32);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src.Set(x, y, 0x00010101);
  ref::Image dst(6, 6, MEMIMG_COLOR_32);
  ref::State st;
  st.mode = 2;
  ref::Apply(st, 6, 6);
  const int corners[8] = {0, 0, 4, 0, 0, 4, 4, 4};
  DrawQuadMemImg(dst.m(), src.m(), corners, 0, nullptr);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(dst.Get(x, y) & 0xFF, (x < 4 && y < 4) ? (x + y == 4 ? 2u : 1u) : 0u) << x << "," << y;
}

TEST_F(Quad, SwappedCornersMirrorLeftToRight) {
  ref::Image src(5, 3, MEMIMG_COLOR_16);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) src.Set(x, y, static_cast<uint32_t>(0x100 + x + 16 * y));
  ref::Image dst(8, 5, MEMIMG_COLOR_16);
  DrawArea = {0, 0, 8, 5};
  // Corners 0 and 1, and 2 and 3, swapped: the pixel centres carry the texel edges, so the
  // mirrored image lies one column further right (texel 5 - x at column x).
  const int corners[8] = {5, 0, 0, 0, 5, 3, 0, 3};
  DrawQuadMemImg(dst.m(), src.m(), corners, 0, nullptr);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 8; ++x) {
      const uint32_t want = (y < 3 && x >= 1 && x <= 5) ? static_cast<uint32_t>(0x100 + (5 - x) + 16 * y) : 0u;
      EXPECT_EQ(dst.Get(x, y), want) << x << "," << y;
    }
  }
}

TEST_F(Quad, NothingDrawnOutsideTheAreaOrWithoutArea) {
  std::mt19937 rng(2);
  ref::Image src(4, 4, MEMIMG_COLOR_32);
  src.Fill(rng);
  ref::Image dst(30, 30, MEMIMG_COLOR_32);
  DrawArea = {10, 10, 20, 20};
  const int farLeft[8] = {0, 12, 5, 12, 0, 16, 5, 16};  // box 5 + 4 = 9 < 10
  const int onePoint[8] = {15, 15, 15, 15, 15, 15, 15, 15};
  DrawQuadMemImg(dst.m(), src.m(), farLeft, 0, nullptr);
  DrawQuadMemImg(dst.m(), src.m(), onePoint, 0, nullptr);
  const std::vector<uint32_t> px = dst.Pixels();
  EXPECT_TRUE(std::all_of(px.begin(), px.end(), [](uint32_t v) { return v == 0; }));
  // Corners at the ends of the int range neither overflow the box nor draw.
  const int extreme[8] = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX};
  DrawQuadMemImg(dst.m(), src.m(), extreme, 0, nullptr);
  EXPECT_EQ(dst.Pixels(), px);
}

}  // namespace
