// Y'CbCr to RGB32: every channel within a level of the matrix's equations, computed here in
// floating point; the vector versions give the scalar one's bytes for any size, pitch and offset.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "platform/media/ffmpeg/yuv_to_rgb32.h"
#include "platform/cpu.h"

namespace {

struct Matrix {
  int colorSpace;  // AVColorSpace
  double kr, kb;
};
constexpr Matrix kMatrices[] = {
    {1, 0.2126, 0.0722}, {4, 0.30, 0.11}, {5, 0.299, 0.114}, {6, 0.299, 0.114},
    {7, 0.212, 0.087},   {9, 0.2627, 0.0593}, {2, 0.299, 0.114},  // untagged: BT.601
};
constexpr YuvLayout kLayouts[] = {YuvLayout::k420, YuvLayout::k422, YuvLayout::k444, YuvLayout::kNv12};

// R, G, B from the matrix's decoding equations.
std::array<int, 3> Equations(const Matrix& m, bool full, int y, int cb, int cr) {
  const double luma = full ? y / 255.0 : (y - 16) / 219.0;
  const double pb = (cb - 128) / (full ? 255.0 : 224.0), pr = (cr - 128) / (full ? 255.0 : 224.0);
  const double r = luma + 2 * (1 - m.kr) * pr, b = luma + 2 * (1 - m.kb) * pb;
  const double g = (luma - m.kr * r - m.kb * b) / (1 - m.kr - m.kb);
  auto level = [](double v) { return int(std::clamp(std::lround(v * 255), 0L, 255L)); };
  return {level(r), level(g), level(b)};
}

// Planes of random samples in rows of random padding, some bottom-up; chroma planes as the
// layout sizes them.
struct Planes {
  Planes(YuvLayout layout, int w, int h, std::mt19937& rng) {
    const int cw = layout == YuvLayout::k444 ? w : (w + 1) / 2;
    const int ch = layout == YuvLayout::k420 || layout == YuvLayout::kNv12 ? (h + 1) / 2 : h;
    const int chromaPlanes = layout == YuvLayout::kNv12 ? 1 : 2;
    const int rowBytes[3] = {w, layout == YuvLayout::kNv12 ? 2 * cw : cw, cw};
    picture = {layout, w, h, {}, {}};
    for (int p = 0; p < 1 + chromaPlanes; ++p) {
      const int skip = int(rng() % 5), pitch = skip + rowBytes[p] + int(rng() % 19);
      const int rows = p == 0 ? h : ch;
      bytes[p].resize(size_t(pitch) * rows);
      for (uint8_t& b : bytes[p]) b = uint8_t(rng());
      picture.planes[p] = bytes[p].data() + skip;
      picture.pitches[p] = pitch;
      if (rng() % 4 == 0) {  // rows bottom-up
        picture.planes[p] += ptrdiff_t(rows - 1) * pitch;
        picture.pitches[p] = -pitch;
      }
    }
  }
  // The samples of pixel (x, y): the co-sited chroma sample.
  void At(int x, int y, int* luma, int* cb, int* cr) const {
    const YuvLayout l = picture.layout;
    const int cx = l == YuvLayout::k444 ? x : x / 2;
    const int cy = l == YuvLayout::k420 || l == YuvLayout::kNv12 ? y / 2 : y;
    *luma = picture.planes[0][y * picture.pitches[0] + x];
    const uint8_t* c1 = picture.planes[1] + cy * picture.pitches[1];
    if (l == YuvLayout::kNv12) {
      *cb = c1[2 * cx];
      *cr = c1[2 * cx + 1];
    } else {
      *cb = c1[cx];
      *cr = picture.planes[2][cy * picture.pitches[2] + cx];
    }
  }
  YuvPicture picture;
  std::vector<uint8_t> bytes[3];
};

// The output at a byte offset in rows of the given pitch, with guard bytes after the last row.
std::vector<uint8_t> Convert(const YuvToRgb32Kernels& k, const YuvPicture& p, const YuvCoefficients& c, int offset,
                             int pitch) {
  std::vector<uint8_t> out(size_t(offset) + size_t(pitch) * p.height + 64, 0xA5);
  ConvertYuvToRgb32(k, p, c, out.data() + offset, pitch);
  return out;
}

}  // namespace

TEST(YuvToRgb32, EveryChannelWithinALevelOfTheEquations) {
  std::mt19937 rng(30);
  for (const Matrix& m : kMatrices) {
    for (bool full : {false, true}) {
      SCOPED_TRACE(testing::Message() << "matrix " << m.colorSpace << (full ? " full" : " limited"));
      const YuvCoefficients c = YuvCoefficientsFor(m.colorSpace, full);
      int worst = 0;
      // Every luma level against a grid of chroma pairs, one 4:4:4 row of 256 pixels for each.
      YuvPicture row = {YuvLayout::k444, 256, 1, {}, {}};
      std::vector<uint8_t> luma(256), cb(256), cr(256), rgb(256 * 4);
      for (int i = 0; i < 256; ++i) luma[size_t(i)] = uint8_t(i);
      for (int u = 0; u < 256; u += 3) {
        for (int v = 0; v < 256; v += 3) {
          std::fill(cb.begin(), cb.end(), uint8_t(u));
          std::fill(cr.begin(), cr.end(), uint8_t(v));
          row.planes[0] = luma.data(), row.planes[1] = cb.data(), row.planes[2] = cr.data();
          ConvertYuvToRgb32(kYuvToRgb32Scalar, row, c, rgb.data(), 0);
          for (int y = 0; y < 256; ++y) {
            const auto want = Equations(m, full, y, u, v);
            const uint8_t* got = &rgb[size_t(y) * 4];
            for (int ch = 0; ch < 3; ++ch) worst = std::max(worst, std::abs(got[2 - ch] - want[size_t(ch)]));
            ASSERT_EQ(got[3], 255);
          }
        }
      }
      EXPECT_LE(worst, 1);
      // Each layout's pixels take their chroma from the co-sited sample, odd sizes included.
      for (YuvLayout layout : kLayouts) {
        const Planes planes(layout, 37, 23, rng);
        const std::vector<uint8_t> out = Convert(kYuvToRgb32Scalar, planes.picture, c, 0, 37 * 4);
        for (int y = 0; y < 23; ++y) {
          for (int x = 0; x < 37; ++x) {
            int yy, u, v;
            planes.At(x, y, &yy, &u, &v);
            const auto want = Equations(m, full, yy, u, v);
            const uint8_t* got = &out[size_t(y * 37 + x) * 4];
            for (int ch = 0; ch < 3; ++ch)
              ASSERT_LE(std::abs(got[2 - ch] - want[size_t(ch)]), 1)
                  << "layout " << int(layout) << " at " << x << "," << y << " channel " << ch;
          }
        }
      }
    }
  }
}

TEST(YuvToRgb32, VectorVersionsMatchTheScalarOneByteForByte) {
  std::vector<const YuvToRgb32Kernels*> versions;
  if (kYuvToRgb32Sse2.half) versions.push_back(&kYuvToRgb32Sse2);
  if (kYuvToRgb32Avx2.half && ProcessorHasAvx2()) versions.push_back(&kYuvToRgb32Avx2);
  if (versions.empty()) GTEST_SKIP() << "no vector version on this processor";
  EXPECT_EQ(&YuvToRgb32Best(), versions.back());
  std::mt19937 rng(2160);
  for (const Matrix& m : kMatrices) {
    for (bool full : {false, true}) {
      const YuvCoefficients c = YuvCoefficientsFor(m.colorSpace, full);
      for (YuvLayout layout : kLayouts) {
        for (int width = 1; width <= 70; ++width) {
          const int height = 1 + int(rng() % 6);
          const Planes planes(layout, width, height, rng);
          const int offset = int(rng() % 33), pitch = width * 4 + int(rng() % 3) * 4 + int(rng() % 4);
          const std::vector<uint8_t> want = Convert(kYuvToRgb32Scalar, planes.picture, c, offset, pitch);
          for (const YuvToRgb32Kernels* k : versions) {
            ASSERT_EQ(Convert(*k, planes.picture, c, offset, pitch), want)
                << k->name << " matrix " << m.colorSpace << " full " << full << " layout " << int(layout) << " "
                << width << "x" << height;
          }
        }
      }
    }
  }
}
