// The graph draws and primitives on 16- and 32-bit screens, against pixels worked out from
// what each operation must show (and, for blending, the rasteriser's reference model).
#include <climits>
#include <cmath>

#include "draw_test_util.h"
#include "softrender/ref_drawmemimg.h"
#include "softrender/ref_rotate_primitives.h"

using namespace drawtest;

namespace {

class DrawOps : public Engine {
 protected:
  MEMIMG* screen() { return GetScreenMemImg(); }
  // A distinct colour per texel, never the transparent green.
  uint32_t C(int x, int y) { return Rgb(x * 30 + 10, y * 40 + 5, 77); }
  int Sheet(int w, int h) {
    return MakeSprite(w, h, [&](int x, int y) { return C(x, y); });
  }
  void Fill(uint32_t v) {
    for (int y = 0; y < kScreenH; ++y)
      for (int x = 0; x < kScreenW; ++x) SetPx(screen(), x, y, v);
  }
  // Every screen pixel: want(x, y), or the background where want gives ~0u.
  void ExpectScreen(const std::function<uint32_t(int, int)>& want, uint32_t background) {
    for (int y = 0; y < kScreenH; ++y)
      for (int x = 0; x < kScreenW; ++x) {
        uint32_t w = want(x, y);
        if (w == ~0u) w = background;
        ASSERT_EQ(Px(screen(), x, y), w) << "at " << x << ", " << y;
      }
  }
};

bool In(int x, int y, int l, int t, int r, int b) { return x >= l && x < r && y >= t && y < b; }

TEST_P(DrawOps, DrawGraphCopiesKeysAndClips) {
  const uint32_t green = Rgb(0, 255, 0), bg = Rgb(10, 20, 30);
  const int g = MakeSprite(6, 4, [&](int x, int y) { return (x + y) % 3 == 0 ? green : C(x, y); });
  Fill(bg);
  ASSERT_EQ(DrawGraph(3, 2, g, 1), 0);
  ExpectScreen([&](int x, int y) {
    if (!In(x, y, 3, 2, 9, 6)) return ~0u;
    const int i = x - 3, j = y - 2;
    return (i + j) % 3 == 0 ? ~0u : C(i, j);
  }, bg);

  // Without the flag the key colour is drawn; the draw area clips.
  Fill(bg);
  SetDrawArea(5, 3, 7, 5);
  DrawGraph(3, 2, g, 0);
  ExpectScreen([&](int x, int y) {
    if (!In(x, y, 5, 3, 7, 5)) return ~0u;
    const int i = x - 3, j = y - 2;
    return (i + j) % 3 == 0 ? green : C(i, j);
  }, bg);

  // Off the top-left corner, and at positions far outside.
  Fill(bg);
  SetDrawArea(0, 0, kScreenW, kScreenH);
  DrawGraph(-2, -1, g, 0);
  EXPECT_EQ(Px(screen(), 0, 0), green);  // texel (2, 1)
  EXPECT_EQ(Px(screen(), 1, 0), C(3, 1));
  EXPECT_EQ(Px(screen(), 3, 2), C(5, 3));
  EXPECT_EQ(Px(screen(), 4, 0), bg);
  const std::vector<uint32_t> before = Snapshot(screen());
  EXPECT_EQ(DrawGraph(INT_MAX, INT_MIN, g, 1), 0);
  EXPECT_EQ(DrawGraph(INT_MIN, 0, g, 0), 0);
  EXPECT_EQ(Snapshot(screen()), before);
}

TEST_P(DrawOps, BlendModesAndBrightnessReachTheRasteriser) {
  const int g = MakeSprite(7, 5, [&](int x, int y) { return Rgb(x * 35, 255 - y * 50, (x * y * 20) & 255); });
  struct Case {
    int mode, param, r, gg, b;
  };
  const Case cases[] = {{1, 128, 255, 255, 255}, {2, 200, 255, 255, 255}, {3, 90, 255, 255, 255},
                        {4, 0, 255, 255, 255},   {10, 128, 255, 255, 255}, {11, 170, 255, 255, 255},
                        {0, 0, 255, 32, 32},     {1, 64, 64, 64, 64}};
  MEMIMG model{};
  ASSERT_EQ(MakeMemImg(&model, kScreenW, kScreenH, screen()->Base->ColorType, 0, 0), 0);
  for (const Case& c : cases) {
    Fill(Rgb(90, 140, 200));
    std::memcpy(model.Base->Pixels, screen()->Base->Pixels, size_t(screen()->Base->Pitch) * kScreenH);
    SetDrawBlendMode(c.mode, c.param);
    SetDrawBrightness(c.r, c.gg, c.b);
    SetDrawArea(2, 1, 40, 30);
    ASSERT_EQ(DrawGraph(5, 3, g, 0), 0);
    ref::DrawMemImg(&model, GraphImage(g), 5, 3, 0, nullptr, false);
    for (int y = 0; y < kScreenH; ++y)
      for (int x = 0; x < kScreenW; ++x)
        ASSERT_EQ(Px(screen(), x, y), Px(&model, x, y)) << "mode " << c.mode << " at " << x << ", " << y;
  }
  TerminateMemImg(&model);
  // Brightness bytes land on their own channels: white under (255, 0, 0) is pure red.
  SetDrawBlendMode(0, 0);
  SetDrawArea(0, 0, kScreenW, kScreenH);
  SetDrawBrightness(255, 0, 0);
  const int white = MakeSprite(2, 2, [&](int, int) { return Rgb(255, 255, 255); });
  DrawGraph(0, 0, white, 0);
  EXPECT_EQ(Px(screen(), 1, 1), Rgb(255, 0, 0));
  SetDrawBrightness(255, 255, 255);
}

TEST_P(DrawOps, RectPartDrawsItsRectangleMirroredOrNot) {
  const int g = Sheet(8, 6);
  Fill(0);
  ASSERT_EQ(DrawRectPartGraph(10, 10, 5, 2, 3, 4, g, 0, 0), 0);     // up to the right edge
  ASSERT_EQ(DrawRectPartGraph(30, 10, 5, 2, 3, 4, g, 0, 1), 0);     // the same, turned
  ASSERT_EQ(DrawRectPartGraph(10, 30, 0, 0, 3, 2, g, 0, 1), 0);     // left edge, turned
  ASSERT_EQ(DrawRectPartGraph(30, 30, 6, 1, 4, 2, g, 0, 0), 0);     // reaches past the image
  ASSERT_EQ(DrawRectPartGraph(50, 30, 6, 1, 4, 2, g, 0, 1), 0);     // the same, turned
  ExpectScreen([&](int x, int y) {
    if (In(x, y, 10, 10, 13, 14)) return C(5 + x - 10, 2 + y - 10);
    if (In(x, y, 30, 10, 33, 14)) return C(7 - (x - 30), 2 + y - 10);
    if (In(x, y, 10, 30, 13, 32)) return C(2 - (x - 10), y - 30);
    if (In(x, y, 30, 30, 32, 32)) return C(6 + x - 30, 1 + y - 30);
    // Turned, column j shows source column 9 - j: only 7 and 6 exist.
    if (In(x, y, 52, 30, 54, 32)) return C(9 - (x - 50), 1 + y - 30);
    return ~0u;
  }, 0);

  // Clipped by the draw area, which is restored afterwards; the key colour with turn.
  Fill(0);
  SetPx(GraphImage(g), 6, 2, Rgb(0, 255, 0));
  MakeMemImgTransCode(GraphImage(g));
  SetDrawArea(0, 0, 32, kScreenH);
  DrawRectPartGraph(30, 10, 5, 2, 3, 4, g, 1, 1);
  EXPECT_EQ(DrawArea.right, 32);
  EXPECT_EQ(DrawArea.left, 0);
  ExpectScreen([&](int x, int y) {
    if (!In(x, y, 30, 10, 32, 14)) return ~0u;
    const int sx = 7 - (x - 30), sy = 2 + y - 10;
    return sx == 6 && sy == 2 ? ~0u : C(sx, sy);
  }, 0);
  EXPECT_EQ(DrawRectPartGraph(0, 0, 0, 0, 0, 4, g, 0, 0), -1);
  EXPECT_EQ(DrawRectPartGraph(0, 0, 0, 0, 4, -1, g, 0, 0), -1);
  EXPECT_EQ(DrawRectPartGraph(INT_MAX - 2, 0, 0, 0, 4, 4, g, 0, 0), 0);
}

TEST_P(DrawOps, StretchScalesAndMirrorsByNearestTexel) {
  const int g = Sheet(3, 2);
  Fill(0);
  ASSERT_EQ(DrawStretchGraph(4, 4, 10, 8, g, 0), 0);
  ASSERT_EQ(DrawStretchGraph(40, 20, 34, 24, g, 0), 0);  // x corners reversed: mirrored
  ASSERT_EQ(DrawStretchRectPartGraph(4, 30, 8, 34, 1, 0, 2, 2, g, 0), 0);
  ExpectScreen([&](int x, int y) {
    if (In(x, y, 4, 4, 10, 8)) return C((x - 4) / 2, (y - 4) / 2);
    if (In(x, y, 34, 20, 40, 24)) return C(2 - (x - 34) / 2, (y - 20) / 2);
    if (In(x, y, 4, 30, 8, 34)) return C(1 + (x - 4) / 2, (y - 30) / 2);
    return ~0u;
  }, 0);
  EXPECT_EQ(DrawStretchRectPartGraph(0, 0, 4, 4, 2, 0, 2, 2, g, 0), -1);  // leaves the image
  EXPECT_EQ(DrawStretchGraph(0, 0, 40000, 10, g, 0), -1);                // beyond 16.16
  EXPECT_EQ(DrawStretchGraph(INT_MIN, 0, INT_MAX, 10, g, 0), -1);
}

TEST_P(DrawOps, RectRotateTurnsAboutTheRectangleCentre) {
  const int g = Sheet(8, 6);
  const int graphs = GetGraphHandleManager()->count;
  Fill(0);
  // Angle 0, scale 1: texel (2, 2) of the 4 x 4 rectangle lands on (20, 20).
  ASSERT_EQ(DrawRectRotateGraph(20, 20, 1, 1, 4, 4, 1.0, 0.0, g, 0, 0), 0);
  ExpectScreen([&](int x, int y) { return In(x, y, 18, 18, 22, 22) ? C(1 + x - 18, 1 + y - 18) : ~0u; }, 0);
  EXPECT_EQ(GetGraphHandleManager()->count, graphs);  // the temporary graph is gone

  // Half a turn about texel (2, 2): pixel (40 + d, 20 + e) shows texel (2 - d, 2 - e) of
  // the rectangle, which starts at (1, 1) of the sheet.
  Fill(0);
  ASSERT_EQ(DrawRectRotateGraph(40, 20, 1, 1, 4, 4, 1.0, M_PI, g, 0, 0), 0);
  for (int e = -1; e <= 2; ++e)
    for (int d = -1; d <= 2; ++d) EXPECT_EQ(Px(screen(), 40 + d, 20 + e), C(3 - d, 3 - e)) << d << ", " << e;

  // Turned: the interior shows the columns in reverse.
  Fill(0);
  ASSERT_EQ(DrawRectRotateGraph(20, 30, 1, 1, 4, 4, 1.0, 0.0, g, 0, 1), 0);
  EXPECT_EQ(Px(screen(), 19, 29), C(3, 2));
  EXPECT_EQ(Px(screen(), 20, 29), C(2, 2));

  EXPECT_EQ(DrawRectRotateGraph(20, 20, 0, 0, 0, 4, 1.0, 0.0, g, 0, 0), -1);
  EXPECT_EQ(DrawRectRotateGraph(20, 20, 6, 0, 4, 4, 1.0, 0.0, g, 0, 0), -1);
  EXPECT_EQ(DrawRectRotateGraph(20, 20, 0, 0, 4, 4, NAN, 0.0, g, 0, 0), -1);
  EXPECT_EQ(DrawRectRotateGraph(20, 20, 0, 0, 4, 4, 1.0, INFINITY, g, 0, 0), -1);
  EXPECT_EQ(DrawRotaGraph(100000, 20, 1.0, 0.0, g, 0, 0), -1);
  EXPECT_EQ(DrawRotaGraph(20, 20, 1e6, 0.0, g, 0, 0), -1);
  EXPECT_EQ(GetGraphHandleManager()->count, graphs);
}

TEST_P(DrawOps, BoxesWriteEachPixelOnce) {
  const uint32_t blue = Rgb(0, 0, 100);
  Fill(0);
  SetDrawBlendMode(BlendMode::Add, 255);
  ASSERT_EQ(DrawBox(2, 2, 8, 6, blue, 0), 0);
  ASSERT_EQ(DrawBox(21, 2, 20, 8, blue, 0), 0);  // one pixel wide, corners reversed
  ASSERT_EQ(DrawBox(30, 2, 35, 3, blue, 0), 0);  // one pixel high
  SetDrawBlendMode(BlendMode::None, 0);
  ASSERT_EQ(DrawBox(44, 6, 40, 2, blue, 1), 0);
  ASSERT_EQ(DrawFillBox(50, 2, 53, 4, blue), 0);
  ASSERT_EQ(DrawBox(10, 10, 10, 20, blue, 1), 0);  // empty
  ExpectScreen([&](int x, int y) {
    if (In(x, y, 2, 2, 8, 6) && !In(x, y, 3, 3, 7, 5)) return blue;
    if (In(x, y, 20, 2, 21, 8) || In(x, y, 30, 2, 35, 3)) return blue;
    if (In(x, y, 40, 2, 44, 6) || In(x, y, 50, 2, 53, 4)) return blue;
    return ~0u;
  }, 0);
  // Half-dark alpha box over the playfield, as the game draws it.
  Fill(Rgb(200, 200, 200));
  SetDrawBlendMode(BlendMode::Alpha, 128);
  DrawBox(1, 1, 5, 5, GetColor(0, 0, 0), 1);
  SetDrawBlendMode(BlendMode::None, 0);
  const uint32_t dark = Px(screen(), 2, 2);
  EXPECT_LT(dark, Rgb(200, 200, 200));
  EXPECT_GT(dark, Rgb(64, 64, 64));
  EXPECT_EQ(Px(screen(), 5, 5), Rgb(200, 200, 200));
}

TEST_P(DrawOps, CirclesCoverTheMidpointShapes) {
  const uint32_t c = Rgb(255, 128, 0);
  Fill(0);
  ASSERT_EQ(DrawCircle(15, 20, 9, c, 1), 0);
  ASSERT_EQ(DrawCircle(45, 20, 12, c, 0), 0);
  const auto disc = rotref::DiscSet(15, 20, 9), ring = rotref::CircleSet(45, 20, 12);
  ExpectScreen([&](int x, int y) { return disc.count({x, y}) || ring.count({x, y}) ? c : ~0u; }, 0);
  EXPECT_EQ(DrawCircle(15, 20, -1, c, 1), -1);
  EXPECT_EQ(DrawCircle(15, 20, 0, c, 1), 0);
}

TEST_P(DrawOps, BlendGraphWeightsSourcePixels) {
  const int g = Sheet(6, 4);
  // Left half black (weight 255 at border 0), right half white (weight 0).
  const int mask = MakeSprite(6, 4, [&](int x, int) { return x < 3 ? Rgb(0, 0, 0) : Rgb(255, 255, 255); });
  const int small = MakeGraphFromCurrentParams(5, 4);
  Fill(Rgb(100, 100, 100));
  ASSERT_EQ(SetBlendGraph(mask, 0, 0), 0);
  EXPECT_EQ(BlendGraphAlphaTable[0], 255);
  EXPECT_EQ(BlendGraphAlphaTable[255], 0);
  ASSERT_EQ(DrawGraph(0, 0, g, 0), 0);
  // The reference model with the same weights: the red channel, one byte per pixel.
  std::vector<uint8_t> bytes(6 * 4);
  for (int i = 0; i < 24; ++i) bytes[size_t(i)] = (i % 6) < 3 ? 0 : 255;
  MemImgBase bb{};
  bb.Pitch = 6;
  bb.Pixels = bytes.data();
  MEMIMG blend{1, 6, 4, bytes.data(), &bb};
  MEMIMG model{};
  ASSERT_EQ(MakeMemImg(&model, kScreenW, kScreenH, screen()->Base->ColorType, 0, 0), 0);
  for (int y = 0; y < kScreenH; ++y)
    for (int x = 0; x < kScreenW; ++x) SetPx(&model, x, y, Rgb(100, 100, 100));
  ref::DrawMemImg(&model, GraphImage(g), 0, 0, 0, &blend, false);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(Px(screen(), x, y), Px(&model, x, y)) << x << ", " << y;
  EXPECT_EQ(Px(screen(), 5, 0), Rgb(100, 100, 100));
  TerminateMemImg(&model);

  // A blend image smaller than the source is refused rather than read past its end.
  ASSERT_EQ(SetBlendGraph(small, 0, 0), 0);
  EXPECT_EQ(DrawGraph(0, 0, g, 0), -1);
  EXPECT_EQ(DrawStretchGraph(0, 0, 12, 8, g, 0), -1);
  EXPECT_EQ(SetBlendGraph(-1, 0, 0), 0);
  EXPECT_EQ(DrawGraph(0, 0, g, 0), 0);
  EXPECT_EQ(SetBlendGraph(0x7777, 0, 0), -1);
}

TEST_P(DrawOps, GraphTargetsReceiveDrawsButNotThemselves) {
  const int off = MakeGraphFromCurrentParams(16, 16);
  const int g = Sheet(4, 4);
  ASSERT_EQ(SetDrawTarget(off), 0);
  ASSERT_EQ(DrawGraph(2, 2, g, 0), 0);
  EXPECT_EQ(Px(GraphImage(off), 3, 3), C(1, 1));
  EXPECT_EQ(DrawGraph(0, 0, off, 0), -1);  // would read what it writes
  const int view = DeriveGraph(0, 0, 4, 4, off);
  EXPECT_EQ(DrawGraph(8, 8, view, 0), -1);
  // The 640 x 480 step: the off-screen graph stretched onto the back buffer.
  SetDrawTarget(DrawTarget::BackBuffer);
  ASSERT_EQ(DrawStretchGraph(0, 0, 32, 32, off, 0), 0);
  EXPECT_EQ(Px(screen(), 6, 6), C(1, 1));
  EXPECT_EQ(Px(screen(), 7, 7), C(1, 1));
}

INSTANTIATE_TEST_SUITE_P(Depths, DrawOps, ::testing::Values(16, 32), BitsName);

}  // namespace
