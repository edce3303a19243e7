// 8-bit planar Y'CbCr (4:2:0, 4:2:2, 4:4:4, NV12) to RGB32 (bytes B, G, R, 255), with the
// stream's matrix and range, each channel within a level of the exact equations (libswscale's
// fast converter is up to 3 off). Chroma is taken from the co-sited sample, as it does.
#pragma once

#include <cstddef>
#include <cstdint>

// Every version works in 16-bit lanes: each term is a sample times 256 multiplied by a factor
// with 13 bits below the point (the most that holds BT.2020's blue, 2.14), keeping the top 16
// bits of the product (1/32 level), and the sum of the terms is rounded to a level. The three
// truncations and the factors' rounding stay under 0.15 level.
constexpr int kYuvFractionBits = 13;

struct YuvCoefficients {
  int16_t y;       // of Y' counted from 0
  int16_t rv;      // red from Cr - 128
  int16_t gu, gv;  // green from Cb - 128 and Cr - 128
  int16_t bu;      // blue from Cb - 128
  int16_t bias;    // added to each sum in 1/32 level: the luma offset's share and the rounding
};

// colorSpace is FFmpeg's AVColorSpace number; those libswscale has no matrix for are read as
// BT.601, as libswscale reads them.
YuvCoefficients YuvCoefficientsFor(int colorSpace, bool fullRange);

// One row of width pixels into out (4 bytes each). Half: u and v hold a sample for each two
// pixels; full: one for each pixel; interleaved: u holds Cb, Cr pairs, one pair for each two
// pixels, and v is unused.
using YuvRowFunction = void (*)(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out, size_t width,
                                const YuvCoefficients& c);

struct YuvToRgb32Kernels {
  YuvRowFunction half;
  YuvRowFunction full;
  YuvRowFunction interleaved;
  const char* name;
};

// The plain C version: the reference every other one is compared with.
extern const YuvToRgb32Kernels kYuvToRgb32Scalar;
// SSE2 (every x86-64 processor); null members elsewhere.
extern const YuvToRgb32Kernels kYuvToRgb32Sse2;
// AVX2; null members where the compiler cannot build it. Only for processors that have it.
extern const YuvToRgb32Kernels kYuvToRgb32Avx2;

// The fastest version this processor runs, chosen once.
const YuvToRgb32Kernels& YuvToRgb32Best();

enum class YuvLayout { k420, k422, k444, kNv12 };

struct YuvPicture {
  YuvLayout layout;
  int width, height;
  const uint8_t* planes[3];  // Y', Cb, Cr (NV12: Y', CbCr)
  ptrdiff_t pitches[3];      // bytes, may be negative
};

void ConvertYuvToRgb32(const YuvToRgb32Kernels& kernels, const YuvPicture& picture, const YuvCoefficients& c,
                       uint8_t* dst, ptrdiff_t dstPitch);
