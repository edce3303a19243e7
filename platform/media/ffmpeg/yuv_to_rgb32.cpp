#include "platform/media/ffmpeg/yuv_to_rgb32.h"

#include <algorithm>
#include <cmath>

#include "platform/cpu.h"

namespace {

// The top 16 bits of a product, as the vector multiply-high gives them: floored, negative or not.
constexpr int kProductBias = 1 << 30;
inline int High(int a, int b) { return ((a * b + kProductBias) >> 16) - (kProductBias >> 16); }

// A sum in 1/32 level to a level, floored as the vector arithmetic shift does.
constexpr int kSumBias = 1 << 20;
inline uint8_t Level(int sum) { return uint8_t(std::clamp(((sum + kSumBias) >> 5) - (kSumBias >> 5), 0, 255)); }

// The chroma terms of one sample, shared by the pixels it covers.
struct Chroma {
  Chroma(int u, int v, const YuvCoefficients& c) {
    const int cb = (u - 128) * 256, cr = (v - 128) * 256;
    r = High(cr, c.rv);
    g = High(cb, c.gu) + High(cr, c.gv);
    b = High(cb, c.bu);
  }
  int r, g, b;
};

// The same integer steps as the vector kernels, so every version gives the same bytes.
inline void Pixel(int y, const Chroma& ch, const YuvCoefficients& c, uint8_t* out) {
  const int luma = High(y * 256, c.y) + c.bias;
  out[0] = Level(luma + ch.b);
  out[1] = Level(luma + ch.g);
  out[2] = Level(luma + ch.r);
  out[3] = 255;
}

void HalfRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out, size_t width,
             const YuvCoefficients& c) {
  for (size_t x = 0; x < width; ++x) Pixel(y[x], Chroma(u[x / 2], v[x / 2], c), c, out + 4 * x);
}

void FullRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out, size_t width,
             const YuvCoefficients& c) {
  for (size_t x = 0; x < width; ++x) Pixel(y[x], Chroma(u[x], v[x], c), c, out + 4 * x);
}

void InterleavedRow(const uint8_t* y, const uint8_t* uv, const uint8_t*, uint8_t* out, size_t width,
                    const YuvCoefficients& c) {
  for (size_t x = 0; x < width; ++x) Pixel(y[x], Chroma(uv[x / 2 * 2], uv[x / 2 * 2 + 1], c), c, out + 4 * x);
}

int16_t Fixed(double v) { return int16_t(std::lround(v * (1 << kYuvFractionBits))); }

}  // namespace

YuvCoefficients YuvCoefficientsFor(int colorSpace, bool fullRange) {
  // Luma weights by AVColorSpace number: BT.709, FCC, SMPTE 240M, BT.2020 (both kinds).
  double kr = 0.299, kb = 0.114;
  switch (colorSpace) {
    case 1: kr = 0.2126, kb = 0.0722; break;
    case 4: kr = 0.30, kb = 0.11; break;
    case 7: kr = 0.212, kb = 0.087; break;
    case 9:
    case 10: kr = 0.2627, kb = 0.0593; break;
    default: break;
  }
  const double kg = 1 - kr - kb;
  const double ys = fullRange ? 1.0 : 255.0 / 219, cs = fullRange ? 1.0 : 255.0 / 224;
  YuvCoefficients c;
  c.y = Fixed(ys);
  c.rv = Fixed(2 * (1 - kr) * cs);
  c.gu = Fixed(-2 * kb * (1 - kb) / kg * cs);
  c.gv = Fixed(-2 * kr * (1 - kr) / kg * cs);
  c.bu = Fixed(2 * (1 - kb) * cs);
  // Half a level, less the share of Y' = 16 at limited range (the luma term counts from 0).
  c.bias = int16_t(16 - (fullRange ? 0 : std::lround(16 * ys * 32)));
  return c;
}

const YuvToRgb32Kernels kYuvToRgb32Scalar = {HalfRow, FullRow, InterleavedRow, "scalar"};

const YuvToRgb32Kernels& YuvToRgb32Best() {
  static const YuvToRgb32Kernels& best = ProcessorHasAvx2() && kYuvToRgb32Avx2.half ? kYuvToRgb32Avx2
                                         : kYuvToRgb32Sse2.half                     ? kYuvToRgb32Sse2
                                                                                    : kYuvToRgb32Scalar;
  return best;
}

void ConvertYuvToRgb32(const YuvToRgb32Kernels& kernels, const YuvPicture& p, const YuvCoefficients& c,
                       uint8_t* dst, ptrdiff_t dstPitch) {
  const YuvRowFunction row = p.layout == YuvLayout::k444    ? kernels.full
                             : p.layout == YuvLayout::kNv12 ? kernels.interleaved
                                                            : kernels.half;
  const bool halfHeight = p.layout == YuvLayout::k420 || p.layout == YuvLayout::kNv12;
  for (int y = 0; y < p.height; ++y) {
    const ptrdiff_t cy = halfHeight ? y / 2 : y;
    const uint8_t* v = p.planes[2] ? p.planes[2] + cy * p.pitches[2] : nullptr;
    row(p.planes[0] + y * p.pitches[0], p.planes[1] + cy * p.pitches[1], v, dst + y * dstPitch, size_t(p.width), c);
  }
}
