// DrawMemImg's frame: what it refuses, how it clips, which path it takes.
#include "softrender/drawmemimg_fixture.h"

#include <vector>

class DrawMemImgFrame : public ::testing::Test {
 protected:
  void SetUp() override { ResetDrawState(); }
  void TearDown() override { ResetDrawState(); }
};

TEST_F(DrawMemImgFrame, RefusesUnsuitableInput) {
  TestImg d32(4, 4, 1), d16(4, 4, 0), s32(2, 2, 1), s16(2, 2, 0);
  s32.fill(0x00FFFFFF), s16.fill(0xFFFF);
  TestImg before32(d32), before16(d16);
  auto unchanged = [&] { return d32.sameStore(before32) && d16.sameStore(before16); };

  DrawMemImg(&d32.m, &s16.m, 0, 0, 0, nullptr);  // colour types differ
  DrawMemImg(&d16.m, &s32.m, 0, 0, 0, nullptr);
  DrawMemImg(nullptr, &s32.m, 0, 0, 0, nullptr);
  DrawMemImg(&d32.m, nullptr, 0, 0, 0, nullptr);
  EXPECT_TRUE(unchanged());

  d32.base()->UseAlpha = 1;  // destination with alpha
  DrawMemImg(&d32.m, &s32.m, 0, 0, 0, nullptr);
  d32.base()->UseAlpha = 0;
  d32.base()->UsePalette = 1;  // paletted destination
  DrawMemImg(&d32.m, &s32.m, 0, 0, 0, nullptr);
  d32.base()->UsePalette = 0;
  EXPECT_TRUE(unchanged());

  for (int mode : {5, 7, 9, 12, -1}) {
    SetMode(mode, 128);
    DrawMemImg(&d32.m, &s32.m, 0, 0, 0, nullptr);
  }
  for (int mode : {1, 2, 3}) {  // p == 0 draws nothing for a direct source
    SetMode(mode, 0);
    DrawMemImg(&d32.m, &s32.m, 0, 0, 0, nullptr);
  }
  EXPECT_TRUE(unchanged());

  SetMode(0, 255);
  TestImg small(1, 2, MEMIMG_COLOR_8A);  // a blend image smaller than the source
  DrawMemImg(&d32.m, &s32.m, 0, 0, 0, &small.m);
  DrawArea = {0, 0, 0, 0};  // nothing drawn until an area is set
  DrawMemImg(&d32.m, &s32.m, 0, 0, 0, nullptr);
  EXPECT_TRUE(unchanged());
}

TEST_F(DrawMemImgFrame, ClipsToAreaAndDestination) {
  TestImg dst(6, 5, 1), src(4, 3, 1), blend(4, 3, MEMIMG_COLOR_8A);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      src.set(x, y, 0x00010000u * (y + 1) + 0x10u * (x + 1));
      blend.set(x, y, x == 1 && y == 1 ? 255 : 0);
    }
  // Off the top-left corner: source (1, 1) lands on (0, 0).
  DrawArea = {0, 0, 6, 5};
  DrawMemImg(&dst.m, &src.m, -1, -1, 0, nullptr);
  EXPECT_EQ(dst.get(0, 0), 0x00020020u);
  EXPECT_EQ(dst.get(2, 1), 0x00030040u);
  EXPECT_EQ(dst.get(3, 0), 0u);
  // The blend image is read at the same offset: only source (1, 1) has weight 255 (c * 255 >> 8).
  dst.fill(0);
  SetMode(0, 0);
  DrawMemImg(&dst.m, &src.m, -1, -1, 0, &blend.m);
  EXPECT_EQ(dst.get(0, 0), 0x0001001Fu);
  EXPECT_EQ(dst.get(1, 0), 0u);
  // An area past the destination is cut to the destination.
  dst.fill(0);
  DrawArea = {-100, -100, 100, 100};
  DrawMemImg(&dst.m, &src.m, 4, 3, 0, nullptr);
  EXPECT_EQ(dst.get(5, 4), 0x00020020u);
  // Far positions do not overflow.
  DrawMemImg(&dst.m, &src.m, 0x7FFFFFFE, 0x7FFFFFFE, 0, nullptr);
  DrawMemImg(&dst.m, &src.m, -0x7FFFFFFF, 2, 0, nullptr);
  EXPECT_EQ(dst.get(0, 2), 0u);
}

TEST_F(DrawMemImgFrame, RunCodeWalkedAtEachDrawsOwnPlace) {
  // A base whose code marks everything clear except one pixel, while every pixel is opaque:
  // a draw that follows the code writes that pixel at most, the general path writes all.
  TestImg base(6, 4, 1);
  base.base()->TransColor = 1;
  base.fill(1);
  base.set(2, 1, 0x00ABCDEF);
  ASSERT_EQ(MakeMemImgTransCode(&base.m), 0);
  base.fill(0x00ABCDEF);
  auto setCode = [&](std::vector<uint8_t> bytes) {
    MemFree(base.base()->TransCode);
    base.base()->TransCode = static_cast<uint8_t*>(TK_MALLOC(bytes.size()));
    std::memcpy(base.base()->TransCode, bytes.data(), bytes.size());
    base.base()->TransCodeSize = int(bytes.size());
  };
  auto drawn = [](const TestImg& d) {
    std::vector<std::pair<int, int>> at;
    for (int y = 0; y < d.m.Height; ++y)
      for (int x = 0; x < d.m.Width; ++x)
        if (d.get(x, y) != 0) at.push_back({x, y});
    return at;
  };
  using Px = std::vector<std::pair<int, int>>;
  // Brightness on: pixel by pixel, where a sheet's runs are followed (vector kernels test
  // every pixel).
  DrawBrightness = 0x808080;
  TestImg dst(10, 10, 1);
  DrawMemImg(&dst.m, &base.m, 1, 1, 2, nullptr);  // transparency flag 2: the general path
  EXPECT_EQ(drawn(dst).size(), 24u);
  dst.fill(0);
  DrawMemImg(&dst.m, &base.m, 1, 1, 1, nullptr);  // whole and unclipped: the run path
  EXPECT_EQ(drawn(dst), (Px{{3, 2}}));
  dst.fill(0);
  DrawMemImg(&dst.m, &base.m, -1, 1, 1, nullptr);  // clipped: base column 2 lands on column 1
  EXPECT_EQ(drawn(dst), (Px{{1, 2}}));
  MEMIMG view{};
  ASSERT_EQ(DeriveMemImg(&view, &base.m, 1, 1, 3, 2), 0);
  dst.fill(0);
  DrawMemImg(&dst.m, &view, 1, 1, 1, nullptr);  // a view of part of the base, from (1, 1)
  EXPECT_EQ(drawn(dst), (Px{{2, 1}}));
  TerminateMemImg(&view);
  ASSERT_EQ(DeriveMemImg(&view, &base.m, 3, 0, 3, 4), 0);
  dst.fill(0);
  DrawMemImg(&dst.m, &view, 1, 1, 1, nullptr);  // a view beside the opaque pixel
  EXPECT_TRUE(drawn(dst).empty());
  TerminateMemImg(&view);

  // A damaged code (runs past the row, no row ends, short) stays inside the images, whether
  // walked whole or through the index (rows at 0, 2, 6, 8 as for the code made above).
  setCode({0x7F, 0x7F, 0x7F});
  dst.fill(0);
  DrawMemImg(&dst.m, &base.m, 1, 1, 1, nullptr);
  EXPECT_EQ(drawn(dst).size(), 6u);
  dst.fill(0);
  DrawMemImg(&dst.m, &base.m, -2, -1, 1, nullptr);
  // Row 1 from base column 2; the index entries of rows 2 and 3 lie past the short code.
  EXPECT_EQ(drawn(dst).size(), 4u);
}

TEST_F(DrawMemImgFrame, PaletteClampedAndUnusedEntriesZero) {
  TestImg dst(3, 1, 1), src(3, 1, 1, 1);
  src.setPalette(0, 0x11111111), src.setPalette(5, 0x55555555);
  src.set(0, 0, 0), src.set(1, 0, 5), src.set(2, 0, 255);
  src.setPalette(255, 0xFFEEDDCC);
  src.base()->PaletteCount = 300;  // more than the store holds: 256 are read
  DrawMemImg(&dst.m, &src.m, 0, 0, 0, nullptr);
  EXPECT_EQ(dst.get(1, 0), 0x55555555u);
  EXPECT_EQ(dst.get(2, 0), 0xFFEEDDCCu);
  src.base()->PaletteCount = 4;  // index 5 and 255 lie past the entries in use
  DrawMemImg(&dst.m, &src.m, 0, 0, 0, nullptr);
  EXPECT_EQ(dst.get(0, 0), 0x11111111u);
  EXPECT_EQ(dst.get(1, 0), 0u);
  EXPECT_EQ(dst.get(2, 0), 0u);
}
