#include "platform/media/ffmpeg/yuv_to_rgb32.h"

#include <algorithm>
#include <cmath>

#include "platform/window/screen_convert.h"

namespace {

constexpr int kHalfLevel = 1 << (kYuvFractionBits - 1);
// Keeps the sum positive while it is shifted down, so the shift floors as the vector code's does.
constexpr int kBias = 2048 << kYuvFractionBits;

uint8_t Channel(int sum) {
  const int v = ((sum + kHalfLevel + kBias) >> kYuvFractionBits) - (kBias >> kYuvFractionBits);
  return uint8_t(std::clamp(v, 0, 255));
}

// The same integer sums as the vector kernels, so every version gives the same bytes.
inline void Pixel(int y, int u, int v, const YuvCoefficients& c, uint8_t* out) {
  const int luma = c.y * (y - c.yOffset), cb = u - 128, cr = v - 128;
  out[0] = Channel(luma + c.bu * cb);
  out[1] = Channel(luma + c.gu * cb + c.gv * cr);
  out[2] = Channel(luma + c.rv * cr);
  out[3] = 255;
}

void HalfRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out, size_t width,
             const YuvCoefficients& c) {
  for (size_t x = 0; x < width; ++x) Pixel(y[x], u[x / 2], v[x / 2], c, out + 4 * x);
}

void FullRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out, size_t width,
             const YuvCoefficients& c) {
  for (size_t x = 0; x < width; ++x) Pixel(y[x], u[x], v[x], c, out + 4 * x);
}

void InterleavedRow(const uint8_t* y, const uint8_t* uv, const uint8_t*, uint8_t* out, size_t width,
                    const YuvCoefficients& c) {
  for (size_t x = 0; x < width; ++x) Pixel(y[x], uv[x / 2 * 2], uv[x / 2 * 2 + 1], c, out + 4 * x);
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
  c.yOffset = fullRange ? 0 : 16;
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
