// Y'CbCr to RGB32, eight pixels a step: 16-bit samples, 32-bit sums by pairs (pmaddwd).
#include "platform/media/ffmpeg/yuv_to_rgb32.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstring>

namespace {

// Each factor beside the one it is paired with in the multiply-adds.
struct Factors {
  explicit Factors(const YuvCoefficients& c)
      : yOffset(_mm_set1_epi16(c.yOffset)),
        red(Pair(c.y, c.rv)),
        green(Pair(c.y, c.gu)),
        greenV(Pair(c.gv, 1 << (kYuvFractionBits - 1))),
        blue(Pair(c.y, c.bu)) {}
  static __m128i Pair(int16_t a, int16_t b) {
    return _mm_set1_epi32(int32_t(uint16_t(a)) | int32_t(uint32_t(uint16_t(b)) << 16));
  }
  __m128i yOffset, red, green, greenV, blue;
};

inline __m128i Descale(__m128i lo, __m128i hi) {
  return _mm_packs_epi32(_mm_srai_epi32(lo, kYuvFractionBits), _mm_srai_epi32(hi, kYuvFractionBits));
}

// Eight pixels from eight 16-bit samples of each plane.
inline void Convert8(__m128i y, __m128i u, __m128i v, const Factors& k, uint8_t* out) {
  const __m128i chromaZero = _mm_set1_epi16(128), half = _mm_set1_epi32(1 << (kYuvFractionBits - 1));
  y = _mm_sub_epi16(y, k.yOffset);
  u = _mm_sub_epi16(u, chromaZero);
  v = _mm_sub_epi16(v, chromaZero);
  const __m128i yuLo = _mm_unpacklo_epi16(y, u), yuHi = _mm_unpackhi_epi16(y, u);
  const __m128i yvLo = _mm_unpacklo_epi16(y, v), yvHi = _mm_unpackhi_epi16(y, v);
  const __m128i one = _mm_set1_epi16(1);
  const __m128i v1Lo = _mm_unpacklo_epi16(v, one), v1Hi = _mm_unpackhi_epi16(v, one);
  const __m128i r = Descale(_mm_add_epi32(_mm_madd_epi16(yvLo, k.red), half),
                            _mm_add_epi32(_mm_madd_epi16(yvHi, k.red), half));
  const __m128i g = Descale(_mm_add_epi32(_mm_madd_epi16(yuLo, k.green), _mm_madd_epi16(v1Lo, k.greenV)),
                            _mm_add_epi32(_mm_madd_epi16(yuHi, k.green), _mm_madd_epi16(v1Hi, k.greenV)));
  const __m128i b = Descale(_mm_add_epi32(_mm_madd_epi16(yuLo, k.blue), half),
                            _mm_add_epi32(_mm_madd_epi16(yuHi, k.blue), half));
  const __m128i b8 = _mm_packus_epi16(b, b), g8 = _mm_packus_epi16(g, g), r8 = _mm_packus_epi16(r, r);
  const __m128i bg = _mm_unpacklo_epi8(b8, g8), rx = _mm_unpacklo_epi8(r8, _mm_set1_epi8(-1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(bg, rx));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(bg, rx));
}

inline __m128i Load8(const uint8_t* p) {
  return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
}

// Four samples, each twice.
inline __m128i Load4Doubled(const uint8_t* p) {
  int32_t four;
  std::memcpy(&four, p, 4);
  const __m128i s = _mm_cvtsi32_si128(four);
  return _mm_unpacklo_epi8(_mm_unpacklo_epi8(s, s), _mm_setzero_si128());
}

void HalfRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out, size_t width,
             const YuvCoefficients& c) {
  const Factors k(c);
  size_t x = 0;
  for (; x + 8 <= width; x += 8)
    Convert8(Load8(y + x), Load4Doubled(u + x / 2), Load4Doubled(v + x / 2), k, out + 4 * x);
  if (x < width) kYuvToRgb32Scalar.half(y + x, u + x / 2, v + x / 2, out + 4 * x, width - x, c);
}

void FullRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out, size_t width,
             const YuvCoefficients& c) {
  const Factors k(c);
  size_t x = 0;
  for (; x + 8 <= width; x += 8) Convert8(Load8(y + x), Load8(u + x), Load8(v + x), k, out + 4 * x);
  if (x < width) kYuvToRgb32Scalar.full(y + x, u + x, v + x, out + 4 * x, width - x, c);
}

void InterleavedRow(const uint8_t* y, const uint8_t* uv, const uint8_t* unused, uint8_t* out, size_t width,
                    const YuvCoefficients& c) {
  const Factors k(c);
  const __m128i low = _mm_set1_epi32(0xFFFF);
  size_t x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m128i pairs = Load8(uv + x);  // each 32 bits: Cb, Cr
    const __m128i u = _mm_or_si128(_mm_and_si128(pairs, low), _mm_slli_epi32(pairs, 16));
    const __m128i v = _mm_or_si128(_mm_srli_epi32(pairs, 16), _mm_andnot_si128(low, pairs));
    Convert8(Load8(y + x), u, v, k, out + 4 * x);
  }
  if (x < width) kYuvToRgb32Scalar.interleaved(y + x, uv + x, unused, out + 4 * x, width - x, c);
}

}  // namespace

const YuvToRgb32Kernels kYuvToRgb32Sse2 = {HalfRow, FullRow, InterleavedRow, "sse2"};

#else

const YuvToRgb32Kernels kYuvToRgb32Sse2 = {nullptr, nullptr, nullptr, "sse2"};

#endif
