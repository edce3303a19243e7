// Worked pixel examples of DrawMemImg, computed by hand from the pixel rules.
#include "softrender/drawmemimg_fixture.h"

class DrawMemImgPixels : public ::testing::Test {
 protected:
  void SetUp() override { ResetDrawState(); }
  void TearDown() override { ResetDrawState(); }
};

TEST_F(DrawMemImgPixels, Alpha32HalvingAndLerp) {
  // Blue 201 over 51: the halving gives 100 + 25 and clears byte 3; its neighbours lerp by p/256.
  SetMode(1, 128);
  EXPECT_EQ(DrawOne(true, 0xAB000033, 0x000000C9), 0x0000007Du);
  SetMode(1, 127);
  EXPECT_EQ(DrawOne(true, 0xAB000033, 0x000000C9), 0xAB00007Du);
  SetMode(1, 129);
  EXPECT_EQ(DrawOne(true, 0xAB000033, 0x000000C9), 0xAB00007Eu);
  // Telling variant: alpha source, transparency on: a * p / 65536, byte 3 kept.
  SetMode(1, 200);
  EXPECT_EQ(DrawOne(true, 0x11000000, 0x000000FF, 100, 1), 0x1100004Du);  // 255 * 100 * 200 >> 16 = 77.8
  EXPECT_EQ(DrawOne(true, 0x11000000, 0x000000FF, 0, 1), 0x11000000u);
  SetMode(1, 0);
  EXPECT_EQ(DrawOne(true, 0x11223344, 0x00FFFFFF), 0x11223344u);
  SetMode(1, 255);  // mode 0: whole pixel
  EXPECT_EQ(DrawOne(true, 0x11223344, 0x99FFFFFF), 0x99FFFFFFu);
}

TEST_F(DrawMemImgPixels, AddSub32GuardBitsAndMmx) {
  SetMode(2, 255);
  EXPECT_EQ(DrawOne(true, 0x00000100, 0x00000100), 0x00000000u);  // plain shortcut drops low bits
  ProcessorHasMMX = 1;
  EXPECT_EQ(DrawOne(true, 0x00000100, 0x00000100), 0x00000200u);
  EXPECT_EQ(DrawOne(true, 0x30000000, 0x40000000), 0x70000000u);
  ProcessorHasMMX = 0;
  SetMode(2, 254);  // q_G = 254 / 255 = 0, the low bit survives through the OR
  EXPECT_EQ(DrawOne(true, 0x00000100, 0x00000100), 0x00000100u);
  EXPECT_EQ(DrawOne(true, 0x55C81000, 0x00640000), 0x01FF1000u);  // red 200 + 99 saturates, carry in byte 3
  SetMode(2, 255);
  EXPECT_EQ(DrawOne(true, 0x55C81000, 0x00640000), 0x01FF1000u);

  SetMode(3, 255);
  EXPECT_EQ(DrawOne(true, 0x50808080, 0x10010101), 0x0081817Fu);
  ProcessorHasMMX = 1;
  EXPECT_EQ(DrawOne(true, 0x50808080, 0x10010101), 0x407F7F7Fu);
  ProcessorHasMMX = 0;
  SetMode(3, 0);  // a direct source with p == 0 draws nothing
  EXPECT_EQ(DrawOne(true, 0x50808080, 0x10010101), 0x50808080u);
}

TEST_F(DrawMemImgPixels, Multiply32) {
  SetMode(11, 255);  // white source: each channel down by one
  EXPECT_EQ(DrawOne(true, 0x7701FF80, 0x00FFFFFF), 0x7700FE7Fu);
  SetMode(4, 0);
  EXPECT_EQ(DrawOne(true, 0x12808080, 0x00FF4000), 0x127F2000u);
  // Alpha 0 with transparency leaves the pixel; without it the product is 0.
  EXPECT_EQ(DrawOne(true, 0x12808080, 0x00FFFFFF, 0, 1), 0x12808080u);
  EXPECT_EQ(DrawOne(true, 0x12808080, 0x00FFFFFF, 0, 0), 0x12000000u);
}

TEST_F(DrawMemImgPixels, Copy32KeysAndBrightness) {
  // The key compares all 32 bits.
  TestImg dst(2, 1, 1), src(2, 1, 1);
  src.base()->TransColor = 0x0000FF00;
  src.set(0, 0, 0x0000FF00), src.set(1, 0, 0x0100FF00);
  DrawMemImg(&dst.m, &src.m, 0, 0, 1, nullptr);
  EXPECT_EQ(dst.get(0, 0), 0u);
  EXPECT_EQ(dst.get(1, 0), 0x0100FF00u);
  // An alpha source without transparency is copied whole; with brightness it blends by alpha.
  EXPECT_EQ(DrawOne(true, 0x00000000, 0x000000FF, 0x80, 0), 0x800000FFu);
  DrawBrightness = 0x00FFFFFE;
  EXPECT_EQ(DrawOne(true, 0x00000000, 0x000000FF, 0x80, 0), 0x0000007Fu);  // blue 254 * 128 >> 8
}

TEST_F(DrawMemImgPixels, Palette32) {
  TestImg dst(3, 1, 1), src(3, 1, 1, 1);
  src.base()->UseAlpha = 1;  // ignored for a paletted source
  src.base()->TransColor = 2;
  src.setPalette(0, 0x00402000), src.setPalette(1, 0x00412100), src.setPalette(2, 0x00402000);
  src.set(0, 0, 0), src.set(1, 0, 1), src.set(2, 0, 2);
  SetMode(3, 0);  // runs with a zero amount: low bits of green and red set, byte 3 cleared
  dst.set(0, 0, 0x77402000), dst.set(1, 0, 0x00412100), dst.set(2, 0, 0x00402000);
  DrawMemImg(&dst.m, &src.m, 0, 0, 1, nullptr);
  EXPECT_EQ(dst.get(0, 0), 0x00412100u);
  EXPECT_EQ(dst.get(1, 0), 0x00412100u);
  EXPECT_EQ(dst.get(2, 0), 0x00402000u);  // index 2 is the key although entry 0 has its colour
  SetMode(0, 0);
  src.setPalette(1, 0x9A010203);
  DrawMemImg(&dst.m, &src.m, 0, 0, 0, nullptr);
  EXPECT_EQ(dst.get(1, 0), 0x9A010203u);
  DrawBrightness = 0xFFFF80;
  dst.set(1, 0, 0x11000000);
  DrawMemImg(&dst.m, &src.m, 0, 0, 0, nullptr);
  EXPECT_EQ(dst.get(1, 0), 0x11010201u);
}

TEST_F(DrawMemImgPixels, Alpha16TablesAndHalving) {
  SetMode(1, 128);
  EXPECT_EQ(DrawOne(false, 0xF800, 0xF800), 0xF000u);  // 15 + 15
  SetMode(1, 129);
  EXPECT_EQ(DrawOne(false, 0xF800, 0xF800), 0xF800u);  // level 32 of the 6-bit table
  for (int p : {1, 2, 3}) {
    SetMode(1, p);
    EXPECT_EQ(DrawOne(false, 0x1234, 0xFFFF), 0x1234u);
  }
  for (int p : {252, 253, 254}) {
    SetMode(1, p);
    EXPECT_EQ(DrawOne(false, 0x1234, 0xABCD), 0xABCDu);
  }
  // An alpha pixel of 255 under transparency moves by p / 255 through the difference table.
  SetMode(1, 128);
  EXPECT_EQ(DrawOne(false, 0xFFFF, 0x0000, 255, 1), 0x8410u);
  // Blend image and alpha: R = 31 * 128 * 255 * 254 >> 24 = 15.
  TestImg dst(1, 1, 0), src(1, 1, 0, 0, 1), blend(1, 1, MEMIMG_COLOR_8A);
  src.set(0, 0, 0x0080F800);
  blend.set(0, 0, 255);
  SetMode(1, 254);
  DrawMemImg(&dst.m, &src.m, 0, 0, 1, &blend.m);
  EXPECT_EQ(dst.get(0, 0), 0x7800u);
}

TEST_F(DrawMemImgPixels, AddSub16) {
  SetMode(2, 254);
  EXPECT_EQ(DrawOne(false, 0xFFFF, 0x0000), 0xFFFFu);
  SetMode(2, 255);  // the shortcut has no low-bit term
  EXPECT_EQ(DrawOne(false, 0xFFFF, 0x0000), 0xF7DFu);
  SetMode(3, 200);
  EXPECT_EQ(DrawOne(false, 0x1234, 0x0000), 0x1A14u);
  SetMode(3, 255);
  EXPECT_EQ(DrawOne(false, 0xFFFF, 0xFFFF), 0x0800u);

  // A pair whose second red overflows saturates through the carry out of bit 31.
  TestImg dst(2, 1, 0), src(2, 1, 0);
  dst.set(0, 0, 0x0000), dst.set(1, 0, 0x8000);
  src.set(0, 0, 0x0001), src.set(1, 0, 0x8000);
  SetMode(2, 255);
  DrawMemImg(&dst.m, &src.m, 0, 0, 0, nullptr);
  EXPECT_EQ(dst.get(0, 0), 0x0001u);
  EXPECT_EQ(dst.get(1, 0), 0xF800u);

  TestImg pd(1, 1, 0), ps(1, 1, 0, 1);
  ps.set(0, 0, 3);
  SetMode(3, 0);  // paletted: drawn with a zero amount
  DrawMemImg(&pd.m, &ps.m, 0, 0, 0, nullptr);
  EXPECT_EQ(pd.get(0, 0), 0x0800u);
}

TEST_F(DrawMemImgPixels, Multiply16AndBrightness) {
  SetMode(11, 255);  // white source: every non-zero field down by one
  EXPECT_EQ(DrawOne(false, 0x0841, 0xFFFF), 0x0020u);
  EXPECT_EQ(DrawOne(false, 0xFFFF, 0xFFFF), 0xF7DEu);
  SetMode(4, 0);
  EXPECT_EQ(DrawOne(false, 0xFFFF, 0xFFFF, 0, 1), 0xFFFFu);  // alpha 0 under transparency: unchanged
  EXPECT_EQ(DrawOne(false, 0xFFFF, 0xFFFF, 0, 0), 0x0000u);
  SetMode(10, 255);  // black inverted blends to white
  EXPECT_EQ(DrawOne(false, 0x0000, 0x0000), 0xFFFFu);
  SetMode(0, 0);
  DrawBrightness = 0xFFFF80;
  EXPECT_EQ(DrawOne(false, 0x0000, 0x001F), 0x000Fu);
  // Alpha source, mode 0, no transparency: the word as if alpha were 255.
  DrawBrightness = 0xFFFFFF;
  EXPECT_EQ(DrawOne(false, 0x0000, 0x1234, 7, 0), 0x1234u);
  // A blend weight of 0 multiplies to 0.
  TestImg dst(1, 1, 0), src(1, 1, 0), blend(1, 1, MEMIMG_COLOR_8A);
  dst.set(0, 0, 0xFFFF), src.set(0, 0, 0xFFFF);
  SetMode(4, 0);
  DrawMemImg(&dst.m, &src.m, 0, 0, 0, &blend.m);
  EXPECT_EQ(dst.get(0, 0), 0u);
}

TEST_F(DrawMemImgPixels, RunPathForms) {
  // 16-bit mode 1 without brightness: the difference table at every p (green 10 toward 60).
  TestImg dst(1, 1, 0), src(1, 1, 0);
  dst.set(0, 0, 10 << 5), src.set(0, 0, 60 << 5);
  src.base()->TransColor = 0xFFFFFFFF;
  ASSERT_EQ(MakeMemImgTransCode(&src.m), 0);
  SetMode(1, 100);
  DrawMemImg(&dst.m, &src.m, 0, 0, 1, nullptr);
  EXPECT_EQ(dst.get(0, 0), 29u << 5);
  // A partial pixel of alpha 255 (code written by hand) goes through the alpha form.
  TestImg d32(1, 1, 1), s32(1, 1, 1, 0, 1);
  s32.set(0, 0, 0xFF0000FF);
  ASSERT_EQ(MakeMemImgTransCode(&s32.m), 0);
  s32.base()->TransCode[0] = MEMIMG_TRANSCODE_PARTIAL;
  SetMode(0, 0);
  DrawMemImg(&d32.m, &s32.m, 0, 0, 1, nullptr);
  EXPECT_EQ(d32.get(0, 0), 0x000000FEu);
}
