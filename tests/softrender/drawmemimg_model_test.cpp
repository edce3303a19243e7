// The software image model: blend tables, image stores and views, the run-length code writer.
#include "softrender/drawmemimg_fixture.h"

#include <vector>

TEST(BlendTables, HoldTheirFormulas) {
  InitBlendTables();
  EXPECT_EQ(BlendMulTable[255][200], 200u);
  EXPECT_EQ(BlendMulTable[128][31], 15u);  // 3968 / 255 = 15.56
  EXPECT_EQ(BlendMulTable[0][255], 0u);
  EXPECT_EQ(BlendMulTable[254][255], 254u);
  // Row p at its centre (index 255); negative differences truncate toward zero.
  EXPECT_EQ(BlendDiffTable[100][255 + 50], 19);   // 5000 / 255 = 19.6
  EXPECT_EQ(BlendDiffTable[100][255 - 50], -19);  // not -20
  EXPECT_EQ(BlendDiffTable[255][255 - 255], -255);
  EXPECT_EQ(BlendDiffTable[7][511], 0);
  // Level L, row u (source), column v (destination).
  EXPECT_EQ(BlendLerp6Table[0][63][10], 10);
  EXPECT_EQ(BlendLerp6Table[63][40][10], 40);
  EXPECT_EQ(BlendLerp6Table[32][31][0], 15);  // 992 / 63 = 15.7
  EXPECT_EQ(BlendLerp6Table[32][0][31], 15);  // 31 * 31 / 63 = 15.25
}

TEST(BlendTables, GraphAlphaTableRampsFromTheBorder) {
  InitBlendTables();
  EXPECT_EQ(BlendGraphAlphaTable[77], 77);  // identity until set
  SetBlendGraphAlphaTable(100, 0);          // hard threshold
  EXPECT_EQ(BlendGraphAlphaTable[100], 255);
  EXPECT_EQ(BlendGraphAlphaTable[101], 0);
  SetBlendGraphAlphaTable(100, 50);
  EXPECT_EQ(BlendGraphAlphaTable[0], 255);
  EXPECT_EQ(BlendGraphAlphaTable[125], 127);  // 25 * 255 / 50
  EXPECT_EQ(BlendGraphAlphaTable[149], 5);
  EXPECT_EQ(BlendGraphAlphaTable[150], 0);
  SetBlendGraphAlphaTable(300, -4);  // clamped to 255, 0
  EXPECT_EQ(BlendGraphAlphaTable[255], 255);
  InitBlendTables();
}

TEST(MemImg, StoresViewsAndFormats) {
  TestImg a(5, 3, MEMIMG_COLOR_16);
  EXPECT_EQ(a.base()->Pitch, 12);  // 10 bytes padded to 4
  EXPECT_EQ(a.bytes(), 2);
  TestImg b(5, 3, MEMIMG_COLOR_16, 0, 1);
  EXPECT_EQ(b.bytes(), 4);
  TestImg c(3, 3, MEMIMG_COLOR_32, 1);
  EXPECT_EQ(c.bytes(), 1);
  EXPECT_EQ(c.base()->PaletteCount, 256);
  EXPECT_EQ(c.base()->UseAlpha, 0);
  std::vector<uint8_t> zero(1024, 0);
  EXPECT_EQ(std::memcmp(c.base()->Palette, zero.data(), 1024), 0);

  MEMIMG bad{};
  EXPECT_EQ(MakeMemImg(&bad, 0, 4, MEMIMG_COLOR_32, 0, 0), -1);
  EXPECT_EQ(MakeMemImg(&bad, 4, 4, 9, 0, 0), -1);
  EXPECT_EQ(MakeMemImg(&bad, 1 << 20, 1 << 20, MEMIMG_COLOR_32, 0, 0), -1);

  TestImg d(8, 6, MEMIMG_COLOR_32);
  MEMIMG view{};
  ASSERT_EQ(DeriveMemImg(&view, &d.m, 2, 3, 4, 3), 0);
  EXPECT_EQ(view.TopLeft, d.at(2, 3));
  EXPECT_EQ(d.base()->RefCount, 2);
  EXPECT_EQ(DeriveMemImg(&view, &d.m, 5, 0, 4, 1), -1);  // past the right edge
  EXPECT_EQ(d.base()->RefCount, 2);
  TerminateMemImg(&view);
  EXPECT_EQ(d.base()->RefCount, 1);
}

TEST(MemImg, TransCodeRunsByKind) {
  // 32-bit alpha image, one row of 70 pixels: 3 clear, 66 opaque, 1 partial.
  TestImg img(70, 2, MEMIMG_COLOR_32, 0, 1);
  for (int x = 0; x < 70; ++x) {
    img.set(x, 0, x < 3 ? 0x00123456u : x < 69 ? 0xFF000000u : 0x80FFFFFFu);
    img.set(x, 1, 0u);
  }
  ASSERT_EQ(MakeMemImgTransCode(&img.m), 0);
  const std::vector<uint8_t> want = {0x02, 0x40 | 63, 0x40 | 1, 0x80, 0xC0, 0x00 | 63, 0x00 | 5, 0xC0};
  ASSERT_EQ(img.base()->TransCodeSize, int(want.size()));
  EXPECT_EQ(std::vector<uint8_t>(img.base()->TransCode, img.base()->TransCode + want.size()), want);
  EXPECT_EQ(img.base()->UseTransCode, 1);

  // Without alpha the key decides: all 32 bits for direct pixels, the index for palettes.
  TestImg key(3, 1, MEMIMG_COLOR_32);
  key.base()->TransColor = 0x0000FF00;
  key.set(0, 0, 0x0000FF00), key.set(1, 0, 0xFF00FF00), key.set(2, 0, 0x0000FF00);
  ASSERT_EQ(MakeMemImgTransCode(&key.m), 0);
  EXPECT_EQ(std::vector<uint8_t>(key.base()->TransCode, key.base()->TransCode + 4),
            (std::vector<uint8_t>{0x00, 0x40, 0x00, 0xC0}));

  TestImg pal(2, 1, MEMIMG_COLOR_16, 1);
  pal.base()->TransColor = 7;
  pal.set(0, 0, 7), pal.set(1, 0, 8);
  ASSERT_EQ(MakeMemImgTransCode(&pal.m), 0);
  EXPECT_EQ(std::vector<uint8_t>(pal.base()->TransCode, pal.base()->TransCode + 3),
            (std::vector<uint8_t>{0x00, 0x40, 0xC0}));

  // 16-bit alpha reads the third byte.
  TestImg a16(1, 1, MEMIMG_COLOR_16, 0, 1);
  a16.set(0, 0, 0x0040FFFF);
  ASSERT_EQ(MakeMemImgTransCode(&a16.m), 0);
  EXPECT_EQ(a16.base()->TransCode[0], 0x80);
}
