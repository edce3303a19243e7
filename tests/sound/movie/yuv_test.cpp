// YUV tables, the two picture conversions and the YUV surface layouts, against the formulas.
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/d3d9/graphics.h"
#include "movie_test_util.h"

namespace {

int Clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// 4:2:0: the 14-bit fixed-point formulas, quotients truncated toward zero.
void Fixed(int y, int u, int v, int* r, int* g, int* b) {
  const int l = 19070 * (y - 16);
  *r = Clamp((l + 26148 * (v - 128)) / 16384);
  *g = Clamp((l - 6406 * (u - 128) - 13320 * (v - 128)) / 16384);
  *b = Clamp((l + 33062 * (u - 128)) / 16384);
}

// Any other geometry: single precision, truncated.
void Floating(int y, int u, int v, int* r, int* g, int* b) {
  const float yf = float(y - 16) * 1.164f;
  *r = Clamp(int(1.596f * float(v - 128) + yf));
  *g = Clamp(int(yf - 0.391f * float(u - 128) - 0.813f * float(v - 128)));
  *b = Clamp(int(2.018f * float(u - 128) + yf));
}

struct Picture {
  int w, h, cw, ch, stride, cstride;
  std::vector<uint8_t> y, u, v;
  Picture(int w_, int h_, int cw_, int ch_, uint32_t seed) : w(w_), h(h_), cw(cw_), ch(ch_) {
    stride = w + 7;  // padded rows show stride faults
    cstride = cw + 3;
    std::mt19937 rng(seed);
    y.resize(size_t(stride) * h);
    u.resize(size_t(cstride) * ch);
    v.resize(size_t(cstride) * ch);
    for (auto* p : {&y, &u, &v})
      for (auto& b : *p) b = uint8_t(rng());
  }
  int picX = 0, picY = 0, picW = 0, picH = 0;
  TheoraPlanes Planes() const {
    return {y.data(), u.data(), v.data(), w, h, stride, cw, ch, cstride, picX, picY, picW, picH};
  }
};

void ExpectConverted(const Picture& p, bool fixedPath) {
  // The image is the picture's size: the whole frame, or the region it names.
  const int w = p.picW ? p.picW : p.w, h = p.picH ? p.picH : p.h;
  BaseImage image;
  ASSERT_EQ(MakeBaseImageXRGB8(w, h, &image), 0);
  TheoraDecode_PlanesToImage(p.Planes(), &image);
  for (int row = 0; row < h; ++row)
    for (int col = 0; col < w; ++col) {
      // Chroma where the pixel lies in the frame, in proportion to the plane sizes.
      const int fx = p.picX + col, fy = p.picY + row;
      const int cx = fx * p.cw / p.w, cy = fy * p.ch / p.h;
      const int Y = p.y[size_t(fy) * p.stride + fx];
      const int U = p.u[size_t(cy) * p.cstride + cx], V = p.v[size_t(cy) * p.cstride + cx];
      int r, g, b;
      (fixedPath ? Fixed : Floating)(Y, U, V, &r, &g, &b);
      const uint8_t* px = static_cast<uint8_t*>(image.Pixels) + size_t(row) * image.Pitch + size_t(col) * 4;
      ASSERT_EQ(px[0], b) << col << "," << row;
      ASSERT_EQ(px[1], g) << col << "," << row;
      ASSERT_EQ(px[2], r) << col << "," << row;
      ASSERT_EQ(px[3], 255);
    }
  ReleaseBaseImage(&image);
}

}  // namespace

TEST(YuvTables, ValuesFromTheFormulas) {
  InitializeYUVToRGBTable();
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(YUVTable.Y[i], 19070 * (i - 16));
    EXPECT_EQ(YUVTable.VR[i], 26148 * (i - 128));
    EXPECT_EQ(YUVTable.UG[i], -6406 * (i - 128));
    EXPECT_EQ(YUVTable.VG[i], -13320 * (i - 128));
    EXPECT_EQ(YUVTable.UB[i], 33062 * (i - 128));
  }
  for (int i = -512; i < 768; ++i) EXPECT_EQ(YUVTable.Clamp()[i], Clamp(i));
  // Grey levels: 235 gives 254 (19070 x 219 / 16384 = 254.9), 255 clamps, 16 is black.
  for (auto [yv, want] : {std::pair{235, 254}, {255, 255}, {16, 0}}) {
    Picture p(2, 2, 1, 1, 1);
    std::memset(p.y.data(), yv, p.y.size());
    p.u[0] = p.v[0] = 128;
    BaseImage image;
    ASSERT_EQ(MakeBaseImageXRGB8(2, 2, &image), 0);
    TheoraDecode_PlanesToImage(p.Planes(), &image);
    const uint8_t* px = static_cast<uint8_t*>(image.Pixels);
    EXPECT_EQ(px[0], want);
    EXPECT_EQ(px[1], want);
    EXPECT_EQ(px[2], want);
    ReleaseBaseImage(&image);
  }
}

TEST(YuvConversion, BothPathsMatchTheFormulas) {
  InitializeYUVToRGBTable();
  ExpectConverted(Picture(32, 16, 16, 8, 3), true);    // 4:2:0 through the tables
  ExpectConverted(Picture(48, 32, 24, 16, 4), true);
  ExpectConverted(Picture(32, 16, 32, 16, 5), false);  // 4:4:4
  ExpectConverted(Picture(32, 16, 16, 16, 6), false);  // 4:2:2
  ExpectConverted(Picture(17, 9, 9, 5, 7), false);     // odd: chroma not exactly half
  // Pictures of odd size and offset within their frame.
  for (auto [cw, ch, fixedPath] : {std::tuple{16, 8, true}, {32, 16, false}, {16, 16, false}}) {
    Picture p(32, 16, cw, ch, 8);
    p.picX = 3, p.picY = 5, p.picW = 23, p.picH = 9;
    ExpectConverted(p, fixedPath);
  }
}

TEST(YuvSurfaces, LayoutsWithAPaddedPitch) {
  // The whole frame, and a picture of odd size set in from its corner.
  struct Region {
    int x, y, w, h;
  };
  Picture p(32, 16, 16, 8, 9);
  for (const Region region : {Region{0, 0, 32, 16}, Region{2, 4, 23, 9}}) {
    p.picX = region.x, p.picY = region.y, p.picW = region.w, p.picH = region.h;
    const int w = region.w, h = region.h, ch = (h + 1) / 2;
    for (const char* name : {"YV12", "YUY2", "UYVY"}) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(w) + "x" + std::to_string(h));
      const uint32_t fourCC = MakeFourCC(name[0], name[1], name[2], name[3]);
      D3DSurface s = G_D3D_CreateOffscreenPlainSurface(w, h, fourCC);
      ASSERT_NE(s, nullptr);
      D3DLockedRect locked{};
      ASSERT_EQ(G_D3D_SurfaceLockRect(s, &locked, nullptr, 0, 0), 0);
      const bool planar = name[0] == 'Y' && name[1] == 'V';
      const int rowBytes = planar ? w : (w + 1) / 2 * 4;
      ASSERT_GT(locked.Pitch, rowBytes);  // devices pad rows; a layout that ignores it shows
      const size_t half = size_t(locked.Pitch / 2);
      const size_t size = planar ? size_t(locked.Pitch) * h + half * ch * 2 : size_t(locked.Pitch) * h;
      auto* bits = static_cast<uint8_t*>(locked.pBits);
      std::memset(bits, 0xEE, size);
      ASSERT_TRUE(TheoraDecode_PlanesToSurface(p.Planes(), fourCC, bits, locked.Pitch));
      std::vector<uint8_t> want(size, 0xEE);
      for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col) {
          const int fx = region.x + col, fy = region.y + row;
          const uint8_t Y = p.y[size_t(fy) * p.stride + fx];
          const uint8_t U = p.u[size_t(fy / 2) * p.cstride + fx / 2];
          const uint8_t V = p.v[size_t(fy / 2) * p.cstride + fx / 2];
          if (planar) {
            want[size_t(row) * locked.Pitch + col] = Y;
            const size_t vPlane = size_t(locked.Pitch) * h, uPlane = vPlane + half * ch;
            want[vPlane + size_t(row / 2) * half + col / 2] = V;
            want[uPlane + size_t(row / 2) * half + col / 2] = U;
          } else {
            uint8_t* pair = &want[size_t(row) * locked.Pitch + size_t(col / 2) * 4];
            const bool yuy2 = name[1] == 'U';
            pair[yuy2 ? (col & 1) * 2 : 1 + (col & 1) * 2] = Y;
            if (col == w - 1 && !(col & 1)) pair[yuy2 ? 2 : 3] = Y;  // an odd width's last pair repeats it
            pair[yuy2 ? 1 : 0] = U;
            pair[yuy2 ? 3 : 2] = V;
          }
        }
      EXPECT_EQ(std::memcmp(bits, want.data(), size), 0);
      // Only 4:2:0 pictures go to a surface.
      const Picture full(32, 16, 32, 16, 10);
      EXPECT_FALSE(TheoraDecode_PlanesToSurface(full.Planes(), fourCC, bits, locked.Pitch));
      G_D3D_SurfaceUnlockRect(s, 0);
      G_D3D_ReleaseSurface(s);
    }
  }
}
