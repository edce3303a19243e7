// Base images, colour formats and the YUV frame converters.
#include <array>
#include <cmath>

#include "draw_test_util.h"
#include "engine/draw/baseimage.h"

namespace {

// BT.601 studio range, in floating point.
std::array<int, 3> Expected(int y, int u, int v) {
  const double c = 1.164 * (y - 16), d = u - 128, e = v - 128;
  auto clamp = [](double x) { return int(std::lround(std::min(255.0, std::max(0.0, x)))); };
  return {clamp(c + 1.596 * e), clamp(c - 0.391 * d - 0.813 * e), clamp(c + 2.018 * d)};
}

struct Pixel {
  int b, g, r, a;
};
Pixel At(const BaseImage& img, int x, int y) {
  const uint8_t* p = static_cast<const uint8_t*>(img.Pixels) + size_t(y) * img.Pitch + size_t(x) * 4;
  return {p[0], p[1], p[2], p[3]};
}

// A 6 x 4 picture: Y per pixel, U and V per chroma sample of the layout.
int Y(int x, int y) { return 30 + x * 30 + y * 11; }
int U(int cx, int cy) { return 60 + cx * 50 + cy * 30; }
int V(int cx, int cy) { return 200 - cx * 40 - cy * 25; }

void ExpectPicture(const BaseImage& img, int w, int h, int xDiv, int yDiv, const char* what) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const auto want = Expected(Y(x, y), U(x / xDiv, y / yDiv), V(x / xDiv, y / yDiv));
      const Pixel p = At(img, x, y);
      ASSERT_NEAR(p.r, want[0], 1) << what << " at " << x << ", " << y;
      ASSERT_NEAR(p.g, want[1], 1) << what << " at " << x << ", " << y;
      ASSERT_NEAR(p.b, want[2], 1) << what << " at " << x << ", " << y;
      ASSERT_EQ(p.a, 255);
    }
}

TEST(BaseImages, MadeReleasedAndDescribed) {
  BaseImage img;
  ASSERT_EQ(MakeBaseImageXRGB8(5, 3, &img), 0);
  EXPECT_EQ(img.Pitch, 20);
  EXPECT_EQ(img.Color.ColorBitDepth, 32);
  EXPECT_EQ(img.Color.BytesPerPixel, 4);
  EXPECT_EQ(img.Color.RedMask, 0x00FF0000u);
  EXPECT_EQ(img.Color.AlphaWidth, 0);
  EXPECT_EQ(ReleaseBaseImage(&img), 0);
  EXPECT_EQ(img.Pixels, nullptr);
  EXPECT_EQ(img.Width, 0);
  EXPECT_EQ(MakeBaseImageXRGB8(0, 3, &img), -1);
  EXPECT_EQ(MakeBaseImageXRGB8(IMAGE_MAX_SIDE + 1, 1, &img), -1);

  ColorData full;
  MakeColorDataFull(&full);
  EXPECT_EQ(full.ColorBitDepth, 24);
  EXPECT_EQ(full.BytesPerPixel, 3);
  EXPECT_EQ(full.BlueMask, 0xFFu);

  // Borrowed pixels are left to their owner.
  uint8_t own[16] = {};
  BaseImage borrowed{};
  MakeColorDataXRGB8(&borrowed.Color);
  borrowed.Width = borrowed.Height = 2;
  borrowed.Pitch = 8;
  borrowed.Pixels = own;
  borrowed.PixelsBorrowed = 1;
  EXPECT_EQ(ReleaseBaseImage(&borrowed), 0);
}

TEST(YuvFrames, EveryLayoutGivesTheSamePicture) {
  const int w = 6, h = 4;
  BaseImage img;
  ASSERT_EQ(MakeBaseImageXRGB8(w, h, &img), 0);
  std::vector<uint8_t> f;
  auto yPlane = [&] {
    f.clear();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) f.push_back(uint8_t(Y(x, y)));
  };

  // YV12: V plane then U plane; NV12: U, V pairs.
  yPlane();
  for (int cy = 0; cy < 2; ++cy)
    for (int cx = 0; cx < 3; ++cx) f.push_back(uint8_t(V(cx, cy)));
  for (int cy = 0; cy < 2; ++cy)
    for (int cx = 0; cx < 3; ++cx) f.push_back(uint8_t(U(cx, cy)));
  ASSERT_EQ(ConvertYV12ToBaseImage(f.data(), w, h, &img), 0);
  ExpectPicture(img, w, h, 2, 2, "YV12");
  yPlane();
  for (int cy = 0; cy < 2; ++cy)
    for (int cx = 0; cx < 3; ++cx) f.push_back(uint8_t(U(cx, cy))), f.push_back(uint8_t(V(cx, cy)));
  ASSERT_EQ(ConvertNV12ToBaseImage(f.data(), w, h, &img), 0);
  ExpectPicture(img, w, h, 2, 2, "NV12");

  // 4:1:1: U, V pairs for every four columns of every row (the last pair covers two).
  yPlane();
  for (int y = 0; y < h; ++y)
    for (int cx = 0; cx < 2; ++cx) f.push_back(uint8_t(U(cx, y))), f.push_back(uint8_t(V(cx, y)));
  ASSERT_EQ(ConvertYUV411ToBaseImage(f.data(), w, h, &img), 0);
  ExpectPicture(img, w, h, 4, 1, "YUV411");

  // Packed 4:2:2 in three byte orders.
  struct Packed {
    const char* name;
    int (*convert)(const void*, int, int, BaseImage*);
    int order[4];  // positions of Y0, U, Y1, V
  };
  const Packed packed[] = {{"YUY2", ConvertYUY2ToBaseImage, {0, 1, 2, 3}},
                           {"UYVY", ConvertUYVYToBaseImage, {1, 0, 3, 2}},
                           {"YVYU", ConvertYVYUToBaseImage, {0, 3, 2, 1}}};
  for (const Packed& p : packed) {
    f.assign(size_t(w) * h * 2, 0);
    for (int y = 0; y < h; ++y)
      for (int cx = 0; cx < 3; ++cx) {
        uint8_t* g = f.data() + (size_t(y) * 3 + cx) * 4;
        g[p.order[0]] = uint8_t(Y(cx * 2, y));
        g[p.order[1]] = uint8_t(U(cx, y));
        g[p.order[2]] = uint8_t(Y(cx * 2 + 1, y));
        g[p.order[3]] = uint8_t(V(cx, y));
      }
    ASSERT_EQ(p.convert(f.data(), w, h, &img), 0);
    ExpectPicture(img, w, h, 2, 1, p.name);
  }
  ReleaseBaseImage(&img);
}

TEST(YuvFrames, LimitsAndOddSizes) {
  // Studio white and black.
  BaseImage img;
  ASSERT_EQ(MakeBaseImageXRGB8(3, 3, &img), 0);
  std::vector<uint8_t> f(9 + 4 + 4, 128);
  for (int i = 0; i < 9; ++i) f[size_t(i)] = i < 5 ? 235 : 16;
  ASSERT_EQ(ConvertYV12ToBaseImage(f.data(), 3, 3, &img), 0);
  EXPECT_GE(At(img, 0, 0).r, 254);
  EXPECT_EQ(At(img, 2, 2).g, 0);
  // Odd packed width: the last pair is half used.
  std::vector<uint8_t> p(2 * 4 * 3, 128);
  EXPECT_EQ(ConvertYUY2ToBaseImage(p.data(), 3, 3, &img), 0);
  // A frame larger than the image, or an image of another depth, is refused.
  EXPECT_EQ(ConvertYV12ToBaseImage(f.data(), 4, 3, &img), -1);
  EXPECT_EQ(ConvertNV12ToBaseImage(nullptr, 3, 3, &img), -1);
  img.Color.BytesPerPixel = 3;
  EXPECT_EQ(ConvertUYVYToBaseImage(p.data(), 3, 3, &img), -1);
  img.Color.BytesPerPixel = 4;
  ReleaseBaseImage(&img);
}

}  // namespace
