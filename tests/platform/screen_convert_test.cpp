// The window's screen conversion: RGB565 (and 32-bit) rows to XRGB8888, plain and doubled.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/window/screen_convert.h"

namespace {

// Each field scaled to 0..255 the way a display widens it: top bits repeated below.
uint32_t Expected(uint16_t p) {
  const int r5 = p >> 11, g6 = (p >> 5) & 63, b5 = p & 31;
  const int r = r5 * 8 + r5 / 4, g = g6 * 4 + g6 / 16, b = b5 * 8 + b5 / 4;
  return static_cast<uint32_t>(r * 65536 + g * 256 + b);
}

std::vector<const ScreenConvertKernels*> Versions() {
  std::vector<const ScreenConvertKernels*> v = {&kScreenConvertScalar};
  if (kScreenConvertSse2.rgb565) v.push_back(&kScreenConvertSse2);
#if defined(__x86_64__) || defined(__i386__)
  if (kScreenConvertAvx2.rgb565 && __builtin_cpu_supports("avx2")) v.push_back(&kScreenConvertAvx2);
#endif
  return v;
}

constexpr uint32_t kUntouched = 0xA5A5A5A5u;

// A frame of width x height at a pixel offset inside rows of the given pitch, converted
// into an output with its own offset and pitch; the words around the output stay as they were.
struct Case {
  int width, height, scale;
  int srcSkip, srcPad;  // pixels before the frame in each source row, and after it
  int dstSkip, dstPad;  // words before the output in each output row, and after it
};

std::vector<uint32_t> ConvertCase(const ScreenConvertKernels& k, const Case& c, const std::vector<uint16_t>& src,
                          int* dstPitchWords) {
  const int srcPitch = c.srcSkip + c.width + c.srcPad;
  const int pitch = c.dstSkip + c.width * c.scale + c.dstPad;
  // The output starts on a 32-byte boundary, so cases with aligned skips and pitches have
  // every row aligned.
  const size_t words = static_cast<size_t>(pitch) * c.height * c.scale;
  std::vector<uint32_t> store(words + 8, kUntouched);
  uint32_t* dst = store.data() + (32 - reinterpret_cast<uintptr_t>(store.data()) % 32) % 32 / 4;
  ConvertScreen(k, src.data() + c.srcSkip, srcPitch * 2, 16, c.width, c.height, dst + c.dstSkip, pitch * 4, c.scale);
  *dstPitchWords = pitch;
  return std::vector<uint32_t>(dst, dst + words);
}

TEST(ScreenConvert, Rgb565WidensEveryValueAsTheDisplayDoes) {
  // All 65536 values in one row of 256 x 256, one to one and doubled.
  std::vector<uint16_t> all(65536);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint16_t>(i);
  for (const ScreenConvertKernels* k : Versions()) {
    std::vector<uint32_t> out(65536);
    ConvertScreen(*k, all.data(), 512, 16, 256, 256, out.data(), 1024, 1);
    for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(out[i], Expected(all[i])) << k->name << " value " << i;
    std::vector<uint32_t> doubled(size_t(512) * 512);
    ConvertScreen(*k, all.data(), 512, 16, 256, 256, doubled.data(), 2048, 2);
    for (size_t y = 0; y < 512; ++y)
      for (size_t x = 0; x < 512; ++x)
        ASSERT_EQ(doubled[y * 512 + x], Expected(all[(y / 2) * 256 + x / 2])) << k->name << " " << x << "," << y;
  }
  EXPECT_EQ(Expected(0xF800), 0xFF0000u);
  EXPECT_EQ(Expected(0x07E0), 0x00FF00u);
  EXPECT_EQ(Expected(0x001F), 0x0000FFu);
  EXPECT_EQ(Expected(0x8410), 0x848284u);
}

TEST(ScreenConvert, ThirtyTwoBitRowsLoseTheirFourthByte) {
  const unsigned char bytes[] = {0x10, 0x20, 0x30, 0x99, 0xFF, 0x00, 0x80, 0x7F, 0, 0, 0, 0};  // pitch 12
  uint32_t out[2 * 4 * 2];
  std::fill(std::begin(out), std::end(out), kUntouched);
  ConvertScreen(ScreenConvertBest(), bytes, 12, 32, 2, 1, out, 16, 2);
  const uint32_t want[] = {0x302010u, 0x302010u, 0x8000FFu, 0x8000FFu};
  for (int row = 0; row < 2; ++row)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(out[row * 4 + x], want[x]) << row << "," << x;
}

TEST(ScreenConvert, EveryVersionMatchesThePlainOneOverSizesAndAlignments) {
  std::mt19937 rng(2024);
  const std::vector<const ScreenConvertKernels*> versions = Versions();
  for (int round = 0; round < 400; ++round) {
    Case c{};
    c.width = 1 + int(rng() % (round < 200 ? 40 : 700));
    c.height = 1 + int(rng() % 5);
    c.scale = 1 + int(rng() % 2);
    c.srcSkip = int(rng() % 17);
    c.srcPad = int(rng() % 9);
    c.dstSkip = int(rng() % 17);
    c.dstPad = int(rng() % 9);
    if (round % 3 == 0) {  // every output row 32-byte aligned
      c.dstSkip = 8 * int(rng() % 3);
      c.dstPad = (8 - (c.dstSkip + c.width * c.scale) % 8) % 8 + 8 * int(rng() % 2);
    }
    std::vector<uint16_t> src(size_t(c.srcSkip + c.width + c.srcPad) * c.height);
    for (uint16_t& p : src) p = static_cast<uint16_t>(rng());
    int pitch = 0;
    const std::vector<uint32_t> reference = ConvertCase(kScreenConvertScalar, c, src, &pitch);
    // The plain version against the formula, and nothing written outside the output.
    const int srcPitch = c.srcSkip + c.width + c.srcPad;
    for (int y = 0; y < c.height * c.scale; ++y)
      for (int x = 0; x < pitch; ++x) {
        const bool inside = x >= c.dstSkip && x < c.dstSkip + c.width * c.scale;
        const uint32_t want =
            inside ? Expected(src[size_t(y / c.scale) * srcPitch + c.srcSkip + (x - c.dstSkip) / c.scale]) : kUntouched;
        ASSERT_EQ(reference[size_t(y) * pitch + x], want) << "round " << round << " at " << x << "," << y;
      }
    for (const ScreenConvertKernels* k : versions) {
      int p = 0;
      ASSERT_EQ(ConvertCase(*k, c, src, &p), reference) << k->name << " round " << round << " width " << c.width;
    }
  }
}

TEST(ScreenConvert, TheChosenVersionIsOneThatRunsHere) {
  const ScreenConvertKernels& best = ScreenConvertBest();
  ASSERT_NE(best.rgb565, nullptr);
  ASSERT_NE(best.rgb565Doubled, nullptr);
  const std::vector<const ScreenConvertKernels*> versions = Versions();
  EXPECT_EQ(best.name, versions.back()->name);
}

}  // namespace
