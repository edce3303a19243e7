// Solid-colour pixel operations: the values the rules give at their edges.
#include <gtest/gtest.h>

#include "engine/softrender/primitives.h"
#include "ref_rotate_primitives.h"

namespace {

const RECT kArea{0, 0, 8, 8};

uint32_t Blend32(uint32_t d, uint32_t color, int mode, int p) {
  rotref::State st(kArea, mode, p);
  const int eff = GetSolidEffectiveMode(mode, p);
  if (eff >= 0) BlendSolidPixel32(reinterpret_cast<uint8_t*>(&d), PrepareSolidPixelColor(color, 1, p), eff, p);
  return d;
}
uint16_t Blend16(uint16_t d, uint32_t color, int mode, int p) {
  rotref::State st(kArea, mode, p);
  const int eff = GetSolidEffectiveMode(mode, p);
  if (eff >= 0) BlendSolidPixel16(reinterpret_cast<uint8_t*>(&d), PrepareSolidPixelColor(color, 0, p), eff, p);
  return d;
}

TEST(SolidPixel, PackedAddAndSubtractSaturateWithGuardBits) {
  EXPECT_EQ(Blend32(0x00102030, 0x00F0E0D0, 2, 255), 0x01FFFFFFu);
  EXPECT_EQ(Blend32(0x000000FF, 0x00000001, 2, 255), 0x000001FFu);
  EXPECT_EQ(Blend32(0x00008000, 0x00008000, 2, 255), 0x0001FF00u);
  EXPECT_EQ(Blend32(0xAB123457, 0, 2, 100), 0x00123457u);
  EXPECT_EQ(Blend32(0x00808080, 0x00010101, 3, 255), 0x0081817Fu);
  EXPECT_EQ(Blend32(0x00FFFFFF, 0x00FFFFFF, 3, 255), 0x00010100u);
  EXPECT_EQ(Blend32(0, 0x00010101, 3, 255), 0x00010000u);
  EXPECT_EQ(Blend32(0xAB123456, 0, 3, 7), 0x00133556u);
  EXPECT_EQ(Blend16(0x07E0, 0x07E0, 2, 255), 0x0FE0);
  EXPECT_EQ(Blend16(0x0400, 0x0400, 2, 255), 0x0FC0);
  EXPECT_EQ(Blend16(0xFFFF, 0xFFFF, 2, 255), 0xFFFF);
  EXPECT_EQ(Blend16(0x1234, 0, 2, 9), 0x1234);
  EXPECT_EQ(Blend16(0x001F, 0x0001, 3, 255), 0x081E);
  EXPECT_EQ(Blend16(0xFFFF, 0xFFFF, 3, 255), 0x0800);
  EXPECT_EQ(Blend16(0x1234, 0, 3, 1), 0x1A14);
  EXPECT_EQ(Blend16(0x0000, 0, 3, 1), 0x0800);
  EXPECT_EQ(Blend16(0xFFFF, 0, 3, 1), 0xFFDF);
}

TEST(SolidPixel, MixesAndProducts) {
  EXPECT_EQ(Blend32(0x55FFFF01, 0x00FFFFFF, 4, 0), 0x55FEFE00u);  // p not read; fourth byte kept
  EXPECT_EQ(Blend16(0xFFFF, 0xFFFF, 4, 0), 0xF7DE);
  EXPECT_EQ(Blend32(0x7700FF00, 0x00000000, 1, 128), 0x77007F00u);
  EXPECT_EQ(Blend32(0x12345678, 0x9ABCDEF0, 1, 255), 0x9ABCDEF0u);  // plain store, fourth byte too
  EXPECT_EQ(Blend16(0xF800, 0x0000, 1, 128), 0x8000);  // 31 toward 0 truncates toward 31: 16
  EXPECT_EQ(Blend16(0x0000, 0xF800, 1, 128), 0x7800);  // 15
  EXPECT_EQ(Blend32(0x00000000, 0x00000000, 10, 255), 0x00FEFEFEu);  // 32-bit floors: not 255
  EXPECT_EQ(Blend16(0x0000, 0x0000, 10, 255), 0xFFFF);              // 16-bit reaches it
  for (int mode : {10, 11}) EXPECT_EQ(Blend32(0x12345678, 0x00FFFFFF, mode, 0), 0x12345678u);
}

TEST(SolidPixel, BrightnessAndEffectiveMode) {
  rotref::State st(kArea, 0, 255, 0xFFFFFE);
  EXPECT_EQ(PrepareSolidPixelColor(0xFFFF, 0, 255).color, 0xF7DEu);
  EXPECT_EQ(PrepareSolidPixelColor(0xABFFFFFF, 1, 255).color, 0xABFEFEFDu);
  EXPECT_EQ(PrepareSolidPixelColor(0xFFFF0000u | 0x1234, 0, 255).color & 0xFFFF0000u, 0u);
  const int want[13][3] = {{0, 0, 0}, {-1, 1, 0}, {-1, 2, 2}, {-1, 3, 3}, {4, 4, 4}, {-1, -1, -1}, {-1, -1, -1},
                           {-1, -1, -1}, {-1, -1, -1}, {-1, -1, -1}, {10, 10, 10}, {11, 11, 11}, {-1, -1, -1}};
  for (int m = 0; m < 13; ++m) {
    EXPECT_EQ(GetSolidEffectiveMode(m, 0), want[m][0]) << m;
    EXPECT_EQ(GetSolidEffectiveMode(m, 100), want[m][1]) << m;
    EXPECT_EQ(GetSolidEffectiveMode(m, 255), want[m][2]) << m;
  }
  EXPECT_EQ(GetSolidEffectiveMode(-1, 100), -1);
}

}  // namespace
