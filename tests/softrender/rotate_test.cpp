// Rotated and scaled images: geometry, mirroring, and every mode and variant against the model.
#include <gtest/gtest.h>

#include <random>

#include "engine/softrender/rotate.h"
#include "ref_rotate_primitives.h"

namespace {

constexpr float kQuarter = 1.57079632679489662f;
constexpr float kHalf = 3.14159265358979324f;

void Fill(rotref::Image& im, std::mt19937& rng) {
  for (auto& b : im.store) b = static_cast<uint8_t>(rng());
}

// Draws and compares every byte of the destination, guards included, with the model.
void ExpectModel(rotref::Image& dst, rotref::Image& src, rotref::Image* blend, int cx, int cy, float angle,
                 float scale, int trans) {
  const bool is32 = src.base.ColorType == MEMIMG_COLOR_32;
  const rotref::Rot r{DrawBlendMode, DrawBlendParam, DrawBrightness, is32, src.base.UseAlpha && !src.base.UsePalette,
                      trans != 0, blend != nullptr, src.base.TransColor};
  const RECT clip{std::max(DrawArea.left, 0), std::max(DrawArea.top, 0), std::min(DrawArea.right, dst.img.Width),
                  std::min(DrawArea.bottom, dst.img.Height)};
  const int W = src.img.Width, H = src.img.Height;
  const rotref::RotGeom g = rotref::Geometry(W, H, cx, cy, angle, scale, clip);
  rotref::Image want = dst;
  for (int j = 0; j < g.rows; ++j) {
    for (int i = 0; i < g.cols; ++i) {
      const uint32_t u = g.U(i, j), v = g.V(i, j);
      if (u >= static_cast<uint32_t>(W) << 18 || v >= static_cast<uint32_t>(H) << 18) continue;
      const int col = static_cast<int>(u >> 18), row = static_cast<int>(v >> 18);
      const uint32_t key = src.Get(col, row);
      const uint32_t c = src.base.UsePalette ? src.Pal(static_cast<int>(key)) : key;
      const uint64_t a = is32 ? key >> 24 : (key >> 16) & 0xFF;
      const uint64_t k = blend ? BlendGraphAlphaTable[blend->Get(col, row)] : 0;
      const uint32_t d = want.Get(g.left + i, g.top + j);
      want.Set(g.left + i, g.top + j, rotref::RotPixel(r, d, is32 ? c : c & 0xFFFF, a, is32 || src.base.UsePalette ? key : key & 0xFFFF, k));
    }
  }
  DrawRotatedMemImg(&dst.img, &src.img, cx, cy, angle, scale, trans, 0, blend ? &blend->img : nullptr);
  ASSERT_EQ(dst.store, want.store) << "mode " << DrawBlendMode << " p " << DrawBlendParam << " angle " << angle
                                   << " scale " << scale << " trans " << trans;
}

// The drawn pixels of an image that started all zero, as a box and its contents.
struct Drawn {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1, count = 0;
};
Drawn FindDrawn(rotref::Image& im) {
  Drawn d;
  for (int y = 0; y < im.img.Height; ++y) {
    for (int x = 0; x < im.img.Width; ++x) {
      if (im.Get(x, y) == 0) continue;
      d.x0 = std::min(d.x0, x), d.y0 = std::min(d.y0, y), d.x1 = std::max(d.x1, x), d.y1 = std::max(d.y1, y);
      ++d.count;
    }
  }
  return d;
}

TEST(RotateGeometry, UnturnedAtZeroCopiesOneToOneAroundTheCentreTexel) {
  std::mt19937 rng(1);
  rotref::State st(RECT{0, 0, 20, 20});
  for (auto [w, h] : {std::pair{4, 6}, std::pair{5, 3}}) {
    rotref::Image src(w, h, MEMIMG_COLOR_32), dst(20, 20, MEMIMG_COLOR_32);
    Fill(src, rng);
    DrawRotatedMemImg(&dst.img, &src.img, 10, 9, 0.0f, 1.0f, 0, 0, nullptr);
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < 20; ++x) {
        const int col = x - 10 + w / 2, row = y - 9 + h / 2;
        const bool inside = col >= 0 && col < w && row >= 0 && row < h;
        ASSERT_EQ(dst.Get(x, y), inside ? src.Get(col, row) : 0u) << x << "," << y;
      }
    }
  }
}

TEST(RotateGeometry, QuarterAndHalfTurnsMoveEveryTexelOnce) {
  rotref::State st(RECT{0, 0, 30, 30});
  const int W = 7, H = 4;
  rotref::Image src(W, H, MEMIMG_COLOR_32);
  for (int y = 0; y < H; ++y) for (int x = 0; x < W; ++x) src.Set(x, y, static_cast<uint32_t>(1 + x + y * W));
  for (int turn : {0, 1}) {
    auto texel = [&](int col, int row) { return src.Get(turn ? W - 1 - col : col, row); };
    rotref::Image quarter(30, 30, MEMIMG_COLOR_32), half(30, 30, MEMIMG_COLOR_32);
    DrawRotatedMemImg(&quarter.img, &src.img, 15, 14, kQuarter, 1.0f, 0, turn, nullptr);
    DrawRotatedMemImg(&half.img, &src.img, 15, 14, kHalf, 1.0f, 0, turn, nullptr);
    const Drawn q = FindDrawn(quarter), hf = FindDrawn(half);
    ASSERT_EQ(q.count, W * H);
    ASSERT_EQ(hf.count, W * H);
    ASSERT_EQ(q.x1 - q.x0 + 1, H);
    ASSERT_EQ(hf.x1 - hf.x0 + 1, W);
    for (int j = 0; j < W; ++j) {
      for (int i = 0; i < H; ++i) EXPECT_EQ(quarter.Get(q.x0 + i, q.y0 + j), texel(j, H - 1 - i));  // clockwise
    }
    for (int j = 0; j < H; ++j) {
      for (int i = 0; i < W; ++i) EXPECT_EQ(half.Get(hf.x0 + i, hf.y0 + j), texel(W - 1 - i, H - 1 - j));
    }
  }
}

TEST(RotateGeometry, AnglesScalesAndClipsMatchModel) {
  std::mt19937 rng(2);
  rotref::Image src(9, 6, MEMIMG_COLOR_32);
  Fill(src, rng);
  for (float angle : {0.0f, 0.3f, -1.1f, kQuarter, 2.5f, kHalf, 4.0f}) {
    for (float scale : {0.5f, 1.0f, 1.7f, 3.0f, -1.0f}) {
      for (auto [cx, cy, area] : {std::tuple{12, 10, RECT{0, 0, 24, 20}}, std::tuple{2, 18, RECT{0, 0, 24, 20}},
                                  std::tuple{12, 10, RECT{5, 4, 15, 13}}, std::tuple{40, 10, RECT{0, 0, 24, 20}}}) {
        rotref::State st(area);
        rotref::Image dst(24, 20, MEMIMG_COLOR_32);
        ExpectModel(dst, src, nullptr, cx, cy, angle, scale, 0);
      }
    }
  }
}

TEST(RotateGeometry, DegenerateAndRefusedCallsDrawNothing) {
  rotref::State st(RECT{0, 0, 16, 16});
  rotref::Image src32(4, 4, MEMIMG_COLOR_32), src16(4, 4, MEMIMG_COLOR_16), dst(16, 16, MEMIMG_COLOR_32);
  std::fill(src32.store.begin(), src32.store.end(), 0xFF);
  rotref::Image palDst(16, 16, MEMIMG_COLOR_32, true), alphaDst(16, 16, MEMIMG_COLOR_32, false, true);
  rotref::Image smallBlend(3, 4, 2, true), wide(4, 4, MEMIMG_COLOR_32);
  wide.img.Width = 8193;
  for (int turn : {0, 1}) {
    DrawRotatedMemImg(&dst.img, &src32.img, 8, 8, 0.5f, 0.0f, 0, turn, nullptr);     // scale 0
    DrawRotatedMemImg(&dst.img, &src32.img, 8, 8, 0.5f, 1e-6f, 0, turn, nullptr);    // corners on one row
    DrawRotatedMemImg(&dst.img, &src32.img, 40, 8, 0.0f, 1.0f, 0, turn, nullptr);    // outside
    DrawRotatedMemImg(&dst.img, &src16.img, 8, 8, 0.0f, 1.0f, 0, turn, nullptr);     // other format
    DrawRotatedMemImg(&dst.img, &src32.img, 8, 8, 0.0f, 1.0f, 0, turn, &smallBlend.img);
    DrawRotatedMemImg(&dst.img, &wide.img, 8, 8, 0.0f, 1.0f, 0, turn, nullptr);
    DrawRotatedMemImg(&dst.img, nullptr, 8, 8, 0.0f, 1.0f, 0, turn, nullptr);
    DrawRotatedMemImg(nullptr, &src32.img, 8, 8, 0.0f, 1.0f, 0, turn, nullptr);
    DrawRotatedMemImg(&palDst.img, &src32.img, 8, 8, 0.0f, 1.0f, 0, turn, nullptr);
    DrawRotatedMemImg(&alphaDst.img, &src32.img, 8, 8, 0.0f, 1.0f, 0, turn, nullptr);
    for (int mode : {5, 9, 12, -1}) {
      st.Set(RECT{0, 0, 16, 16}, mode, 128, 0xFFFFFF);
      DrawRotatedMemImg(&dst.img, &src32.img, 8, 8, 0.0f, 1.0f, 0, turn, nullptr);
    }
    st.Set(RECT{0, 0, 16, 16}, 0, 255, 0xFFFFFF);
  }
  for (rotref::Image* im : {&dst, &palDst, &alphaDst}) {
    EXPECT_EQ(std::count(im->store.begin(), im->store.end(), 0), static_cast<long>(im->store.size()));
  }
}

TEST(RotateTurn, MirroredDrawEqualsUnturnedDrawOfMirroredSource) {
  std::mt19937 rng(3);
  rotref::State st(RECT{1, 2, 30, 27});
  for (auto [w, h] : {std::pair{6, 5}, std::pair{7, 4}}) {
    rotref::Image src(w, h, MEMIMG_COLOR_16, false, true), mirrored(w, h, MEMIMG_COLOR_16, false, true);
    Fill(src, rng);
    for (int y = 0; y < h; ++y) for (int x = 0; x < w; ++x) mirrored.Set(w - 1 - x, y, src.Get(x, y));
    for (float angle : {0.0f, kQuarter, kHalf, 0.7f, -2.2f}) {
      for (float scale : {1.0f, 1.5f, 0.6f}) {
        rotref::Image a(32, 30, MEMIMG_COLOR_16), b(32, 30, MEMIMG_COLOR_16);
        DrawRotatedMemImg(&a.img, &src.img, 15, 14, angle, scale, 1, 1, nullptr);
        DrawRotatedMemImg(&b.img, &mirrored.img, 15, 14, angle, scale, 1, 0, nullptr);
        ASSERT_EQ(a.store, b.store) << angle << " " << scale;
      }
    }
  }
}

TEST(RotatePixels, EveryModeAndVariantMatchesModel) {
  std::mt19937 rng(4);
  uint8_t savedWeights[256];
  std::memcpy(savedWeights, BlendGraphAlphaTable, 256);
  for (int i = 0; i < 256; ++i) BlendGraphAlphaTable[i] = static_cast<uint8_t>(i < 40 ? 0 : (i > 200 ? 255 : i));
  for (int kind = 0; kind < 6; ++kind) {
    const int type = kind < 3 ? MEMIMG_COLOR_32 : MEMIMG_COLOR_16;
    const bool pal = kind % 3 == 2, alpha = kind % 3 == 1;
    for (int mode : {0, 1, 2, 3, 4, 10, 11}) {
      for (int variant = 0; variant < 8; ++variant) {
        const bool useBlend = variant & 1, bright = variant & 2, trans = variant & 4;
        for (int p : {0, 1, 128, 255}) {
          rotref::State st(RECT{1, 1, 13, 12}, mode, p, bright ? 0x25FF80u : 0xFFFFFFu);
          rotref::Image src(6, 5, type, pal, alpha), dst(14, 13, type);
          rotref::Image blend(6, 5, 2, true);
          Fill(src, rng), Fill(dst, rng), Fill(blend, rng);
          for (int i = 0; i < 256; ++i) src.SetPal(i, rng());
          // Colour keys, alpha extremes and a key that differs only in its fourth byte.
          src.base.TransColor = pal ? 7 : src.Get(0, 0);
          for (int n = 0; n < 8; ++n) {
            const int x = static_cast<int>(rng() % 6), y = static_cast<int>(rng() % 5);
            if (pal) src.Set(x, y, 7);
            else if (alpha) src.At(x, y)[type == MEMIMG_COLOR_32 ? 3 : 2] = n % 2 ? 0 : 255;
            else src.Set(x, y, src.base.TransColor ^ (n % 3 ? 0u : 0x01000000u));
          }
          ExpectModel(dst, src, useBlend ? &blend : nullptr, 7, 6, 0.4f, 1.6f, trans);
        }
      }
    }
  }
  std::memcpy(BlendGraphAlphaTable, savedWeights, 256);
}

// Single texels at angle 0, destination and source pixels chosen to hit a rule of the text.
uint32_t One(int type, bool alpha, uint32_t d, uint32_t texel, int trans, int mode, int p, uint32_t bright = 0xFFFFFF) {
  rotref::State st(RECT{0, 0, 1, 1}, mode, p, bright);
  rotref::Image src(1, 1, type, false, alpha), dst(1, 1, type);
  src.Set(0, 0, texel);
  src.base.TransColor = 0x00000001;
  dst.Set(0, 0, d);
  DrawRotatedMemImg(&dst.img, &src.img, 0, 0, 0.0f, 1.0f, trans, 0, nullptr);
  return dst.Get(0, 0);
}

TEST(RotatePixels, RulesOfTheModes) {
  EXPECT_EQ(One(1, true, 0x00000000, 0xFFFFFFFF, 0, 0, 255), 0x00FEFEFEu);  // L8 with a = 255
  EXPECT_EQ(One(1, true, 0x00000000, 0xFF123456, 1, 0, 255), 0xFF123456u);  // opaque: whole texel
  EXPECT_EQ(One(1, true, 0x00000000, 0xFF123456, 1, 0, 255, 0xFFFFFE) >> 24, 0u);
  EXPECT_EQ(One(1, false, 0x11223344, 0xAB000001, 1, 1, 255), 0xAB000001u);  // fourth byte differs: drawn
  EXPECT_EQ(One(1, false, 0x11223344, 0x00000001, 1, 1, 255), 0x11223344u);  // key: skipped
  EXPECT_EQ(One(1, false, 0x11223344, 0x00FFFFFF, 0, 1, 0), 0x11223344u);
  EXPECT_EQ(One(0, false, 0xF800, 0x0000, 0, 1, 128), 0x8000u);  // 16 by the difference table
  EXPECT_EQ(One(0, false, 0x0000, 0xF800, 0, 1, 128), 0x7800u);
  EXPECT_EQ(One(1, false, 0x55000000, 0x00FF8000, 0, 10, 128), 0x55003F7Fu);
  EXPECT_EQ(One(0, false, 0x1234, 0x0000, 0, 10, 255), 0xFFFFu);
  EXPECT_EQ(One(1, true, 0x00000000, 0xFFFFFFFF, 0, 2, 255), 0x00FDFDFDu);
  EXPECT_EQ(One(1, false, 0x77FFFF01, 0x00FFFFFF, 0, 4, 0), 0x77FEFE00u);
  // Multiply under transparency leaves a pixel beneath alpha 0 alone; without it, a = 0 blackens.
  EXPECT_EQ(One(1, true, 0x77808080, 0x00FFFFFF, 1, 4, 0), 0x77808080u);
  EXPECT_EQ(One(0, true, 0x8410, 0x0000FFFF, 1, 4, 0), 0x8410u);
  EXPECT_EQ(One(1, true, 0x77808080, 0x00FFFFFF, 0, 4, 0), 0x77000000u);
  EXPECT_EQ(One(1, false, 0x00FFFFFF, 0x00FFFFFF, 0, 11, 255), 0x00FEFEFEu);
  EXPECT_EQ(One(1, true, 0x00FFFFFF, 0xFF000000, 1, 11, 255) & 0xFF, 0u);
  EXPECT_EQ(One(1, true, 0x00FFFFFF, 0xFF000000, 0, 11, 255) & 0xFF, 1u);
  // Mode 11, 16-bit alpha source, green 63 under source green 1: the finer green keeps 1.
  EXPECT_EQ((One(0, true, 0x07E0, 0x00FF0020, 0, 11, 255) >> 5) & 63, 1u);
  EXPECT_EQ((One(0, true, 0x07E0, 0x00FF0020, 0, 11, 255, 0x00FF00) >> 5) & 63, 0u);
}

TEST(RotateImages, TallSourcesAndOversizedPalettesStayInBounds) {
  rotref::State st(RECT{0, 0, 4, 5000});
  rotref::Image src(2, 5000, MEMIMG_COLOR_16), dst(4, 5000, MEMIMG_COLOR_16);
  src.Set(0, 4999, 0xBEEF);
  DrawRotatedMemImg(&dst.img, &src.img, 1, 2500, 0.0f, 1.0f, 0, 0, nullptr);
  EXPECT_EQ(dst.Get(0, 4999), 0xBEEFu);
  rotref::Image pal(4, 4, MEMIMG_COLOR_16, true), small(8, 8, MEMIMG_COLOR_16);
  pal.base.PaletteCount = 100000;
  pal.SetPal(3, 0x1357);
  pal.Set(1, 1, 3);
  DrawRotatedMemImg(&small.img, &pal.img, 2, 2, 0.0f, 1.0f, 0, 0, nullptr);
  EXPECT_EQ(small.Get(1, 1), 0x1357u);
}

}  // namespace
