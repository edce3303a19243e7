// Which pixels a triangle covers, which texel each shows, clipping and refused inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine/softrender/softrender.h"
#include "ref_stretch_triangle.h"

namespace {

class TriangleGeometry : public ::testing::Test {
 protected:
  void SetUp() override {
    InitBlendTables();
    ref::Apply(ref::State{}, 0, 0);
  }
  void TearDown() override { ref::Apply(ref::State{}, 0, 0); }
};

constexpr int kSide = 40;

// How often each pixel of a 40 x 40 image is drawn: a flat add of blue 1 per visit.
std::vector<uint32_t> Coverage(const MemImgVertex v[3], RECT area = {0, 0, kSide, kSide}) {
  ref::Image dst(kSide, kSide, MEMIMG_COLOR_32);
  ref::State st;
  st.mode = 2;
  ref::Apply(st, kSide, kSide);
  DrawArea = area;
  DrawTriangleMemImg(dst.m(), nullptr, v, 0, nullptr, 1);
  std::vector<uint32_t> n = dst.Pixels();
  for (uint32_t& c : n) c &= 0xFF;
  return n;
}

std::vector<MemImgVertex> Moved(const MemImgVertex* v, int dx, int dy) {
  std::vector<MemImgVertex> out(v, v + 3);
  for (MemImgVertex& m : out) m.x += dx, m.y += dy;
  return out;
}

TEST_F(TriangleGeometry, CoversTopRowsInclusiveEndsNotTheBottomRow) {
  const MemImgVertex v[3] = {{0, 0, 0, 0}, {4, 0, 0, 0}, {0, 4, 0, 0}};
  // Every order of the same vertices covers the same pixels.
  int order[3] = {0, 1, 2};
  do {
    const MemImgVertex w[3] = {v[order[0]], v[order[1]], v[order[2]]};
    const std::vector<uint32_t> n = Coverage(w);
    int total = 0;
    for (int y = 0; y < kSide; ++y) {
      for (int x = 0; x < kSide; ++x) {
        const uint32_t want = (y < 4 && x <= 4 - y) ? 1 : 0;
        EXPECT_EQ(n[y * kSide + x], want) << x << "," << y;
        total += static_cast<int>(n[y * kSide + x]);
      }
    }
    EXPECT_EQ(total, 14);
  } while (std::next_permutation(order, order + 3));

  // A flat bottom starts with one pixel at the top vertex.
  const MemImgVertex flat[3] = {{5, 0, 0, 0}, {0, 5, 0, 0}, {10, 5, 0, 0}};
  const std::vector<uint32_t> n = Coverage(flat);
  for (int x = 0; x < kSide; ++x) EXPECT_EQ(n[x], x == 5 ? 1u : 0u) << x;
}

TEST_F(TriangleGeometry, DegenerateTrianglesDrawNothing) {
  const MemImgVertex cases[][3] = {
      {{0, 0, 0, 0}, {2, 2, 0, 0}, {5, 5, 0, 0}},  // collinear
      {{3, 1, 0, 0}, {3, 1, 0, 0}, {9, 7, 0, 0}},  // two equal
      {{1, 4, 0, 0}, {8, 4, 0, 0}, {20, 4, 0, 0}},  // one row
      {{6, 6, 0, 0}, {6, 6, 0, 0}, {6, 6, 0, 0}},
  };
  for (const auto& v : cases) {
    const std::vector<uint32_t> n = Coverage(v);
    EXPECT_TRUE(std::all_of(n.begin(), n.end(), [](uint32_t c) { return c == 0; }));
  }
}

TEST_F(TriangleGeometry, NegativeCoordinatesNeitherShiftNorRepeatRows) {
  // Each triangle drawn across the top-left corner covers what the same triangle covers
  // elsewhere, moved: no row drawn twice, no row or column shifted.
  const MemImgVertex cases[][3] = {
      {{2, -1, 0, 0}, {0, 3, 0, 0}, {6, 3, 0, 0}},    // top vertex above, flat bottom
      {{3, -2, 0, 0}, {0, 1, 0, 0}, {6, 5, 0, 0}},    // middle vertex left of the long edge
      {{3, -4, 0, 0}, {9, 2, 0, 0}, {-2, 7, 0, 0}},   // middle vertex right of it
      {{-1, 0, 0, 0}, {-1, 5, 0, 0}, {-5, 2, 0, 0}},  // right edge just left of column 0
      {{-3, -3, 0, 0}, {5, -1, 0, 0}, {-1, 6, 0, 0}},
      {{-7, 2, 0, 0}, {4, -5, 0, 0}, {2, 9, 0, 0}},
  };
  for (const auto& v : cases) {
    const std::vector<uint32_t> atOrigin = Coverage(v);
    const std::vector<MemImgVertex> far = Moved(v, 20, 20);
    const std::vector<uint32_t> moved = Coverage(far.data());
    int wrong = 0;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) wrong += atOrigin[y * kSide + x] != moved[(y + 20) * kSide + x + 20];
    EXPECT_EQ(wrong, 0) << v[0].x << "," << v[0].y << " " << v[1].x << "," << v[1].y << " " << v[2].x << ","
                        << v[2].y;
    EXPECT_TRUE(std::all_of(moved.begin(), moved.end(), [](uint32_t c) { return c <= 1; }));
  }
}

TEST_F(TriangleGeometry, TextureFollowsTheTriangleAcrossTheEdges) {
  // The same textured triangle at a negative and at a positive position shows the same texels.
  ref::Image src(8, 8, MEMIMG_COLOR_32);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) src.Set(x, y, static_cast<uint32_t>(0x1000 + x + 16 * y));
  const MemImgVertex v[3] = {{-3, -2, 0, 0}, {6, -1, 8, 1}, {-2, 7, 1, 8}};
  ref::Image a(kSide, kSide, MEMIMG_COLOR_32), b(kSide, kSide, MEMIMG_COLOR_32);
  DrawArea = {0, 0, kSide, kSide};
  DrawTriangleMemImg(a.m(), src.m(), v, 0, nullptr, 0);
  const std::vector<MemImgVertex> far = Moved(v, 10, 10);
  DrawTriangleMemImg(b.m(), src.m(), far.data(), 0, nullptr, 0);
  int drawn = 0;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) {
      ASSERT_EQ(a.Get(x, y), b.Get(x + 10, y + 10)) << x << "," << y;
      drawn += a.Get(x, y) != 0;
    }
  }
  EXPECT_GT(drawn, 10);
}

TEST_F(TriangleGeometry, TexelsOutsideTheSourceLeavePixelsAlone) {
  // u runs from -2 at column 0: columns 0, 1 and 10 on read outside the 8 x 8 source, as do rows
  // 8 on; the pixels between still step through the texels one by one.
  ref::Image src(8, 8, MEMIMG_COLOR_16);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) src.Set(x, y, static_cast<uint32_t>(0x100 + x + 16 * y));
  ref::Image dst(kSide, kSide, MEMIMG_COLOR_16);
  DrawArea = {0, 0, kSide, kSide};
  const MemImgVertex v[3] = {{0, 0, -2, 0}, {12, 0, 10, 0}, {0, 12, -2, 12}};
  DrawTriangleMemImg(dst.m(), src.m(), v, 0, nullptr, 0);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const bool covered = y < 12 && x <= 12 - y;
      const bool inSource = x >= 2 && x < 10 && y < 8;
      const uint32_t want = covered && inSource ? static_cast<uint32_t>(0x100 + (x - 2) + 16 * y) : 0u;
      EXPECT_EQ(dst.Get(x, y), want) << x << "," << y;
    }
  }
}

TEST_F(TriangleGeometry, ClippingKeepsTheVisiblePixels) {
  const MemImgVertex v[3] = {{-5, 3, 0, 0}, {30, -6, 0, 0}, {12, 33, 0, 0}};
  const std::vector<uint32_t> whole = Coverage(v);
  const RECT areas[] = {{5, 4, 17, 25}, {0, 0, 1, 40}, {39, 0, 40, 40}, {10, 10, 10, 20}, {-9, -9, 99, 99}};
  for (const RECT& a : areas) {
    const std::vector<uint32_t> n = Coverage(v, a);
    for (int y = 0; y < kSide; ++y) {
      for (int x = 0; x < kSide; ++x) {
        const bool in = x >= a.left && x < a.right && y >= a.top && y < a.bottom;
        ASSERT_EQ(n[y * kSide + x], in ? whole[y * kSide + x] : 0u) << x << "," << y;
      }
    }
  }
}

TEST_F(TriangleGeometry, UnsuitableInputDrawsNothing) {
  std::mt19937 rng(3);
  ref::Image src(4, 4, MEMIMG_COLOR_32);
  src.Fill(rng);
  const MemImgVertex v[3] = {{0, 0, 0, 0}, {8, 0, 4, 0}, {0, 8, 0, 4}};
  const auto drawsNothing = [&](MEMIMG* dst, const MEMIMG* s, const MemImgVertex* vs, const MEMIMG* blend) {
    const size_t bytes = size_t(dst->Base->Pitch) * dst->Height;
    const std::vector<uint8_t> before(dst->Base->Pixels, dst->Base->Pixels + bytes);
    DrawTriangleMemImg(dst, s, vs, 0, blend, 0xFFFFFFFF);
    return std::equal(before.begin(), before.end(), dst->Base->Pixels);
  };
  DrawArea = {0, 0, 8, 8};
  ref::Image d16(8, 8, MEMIMG_COLOR_16), dPal(8, 8, MEMIMG_COLOR_32, 1), dAlpha(8, 8, MEMIMG_COLOR_32, 0, 1);
  EXPECT_TRUE(drawsNothing(d16.m(), src.m(), v, nullptr)) << "format mismatch";
  EXPECT_TRUE(drawsNothing(dPal.m(), src.m(), v, nullptr)) << "paletted destination";
  EXPECT_TRUE(drawsNothing(dAlpha.m(), nullptr, v, nullptr)) << "destination with alpha";

  ref::Image dst(8, 8, MEMIMG_COLOR_32);
  ref::Image smallBlend(4, 3, MEMIMG_COLOR_8A);
  EXPECT_TRUE(drawsNothing(dst.m(), src.m(), v, smallBlend.m())) << "blend image smaller than the source";
  ref::Image wide(16384, 1, MEMIMG_COLOR_32);
  EXPECT_TRUE(drawsNothing(dst.m(), wide.m(), v, nullptr)) << "source too wide for 14.18";
  ref::Image mono(4, 4, MEMIMG_COLOR_8A), dMono(8, 8, MEMIMG_COLOR_8A);
  EXPECT_TRUE(drawsNothing(dMono.m(), mono.m(), v, nullptr)) << "single-channel images";
  EXPECT_TRUE(drawsNothing(dMono.m(), nullptr, v, nullptr)) << "single-channel destination";

  // Vertices beyond what 14.18 holds.
  const MemImgVertex farX[3] = {{0, 0, 0, 0}, {8192, 0, 4, 0}, {0, 8, 0, 4}};
  const MemImgVertex farY[3] = {{0, -8193, 0, 0}, {8, 0, 4, 0}, {0, 8, 0, 4}};
  const MemImgVertex farU[3] = {{0, 0, -8193, 0}, {8, 0, 4, 0}, {0, 8, 0, 4}};
  const MemImgVertex farV[3] = {{0, 0, 0, 0}, {8, 0, 4, 0}, {0, 8, 0, 1 << 30}};
  EXPECT_TRUE(drawsNothing(dst.m(), src.m(), farX, nullptr));
  EXPECT_TRUE(drawsNothing(dst.m(), src.m(), farY, nullptr));
  EXPECT_TRUE(drawsNothing(dst.m(), src.m(), farU, nullptr));
  EXPECT_TRUE(drawsNothing(dst.m(), src.m(), farV, nullptr));
  // A flat colour does not read u and v; the widest triangle the fixed point holds still draws.
  EXPECT_FALSE(drawsNothing(dst.m(), nullptr, farU, nullptr));
  const MemImgVertex widest[3] = {{-8192, -8192, 0, 0}, {8191, -8192, 0, 0}, {8191, 8191, 0, 0}};
  EXPECT_FALSE(drawsNothing(dst.m(), nullptr, widest, nullptr));

  // Blend modes that draw nothing, and the p = 0 refusals.
  for (int mode : {5, 9, 12, -3}) {
    DrawBlendMode = mode;
    EXPECT_TRUE(drawsNothing(dst.m(), src.m(), v, nullptr)) << mode;
  }
  DrawBlendParam = 0;
  for (int mode : {1, 2, 3}) {
    DrawBlendMode = mode;
    EXPECT_TRUE(drawsNothing(dst.m(), src.m(), v, nullptr)) << mode;
    EXPECT_TRUE(drawsNothing(dst.m(), nullptr, v, nullptr)) << mode;
  }
}

}  // namespace
