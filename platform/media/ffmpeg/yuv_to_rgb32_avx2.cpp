// Y'CbCr to RGB32, sixteen pixels a step, as the SSE2 version does it. Built with AVX2 code
// generation; only called on processors that have it.
#include "platform/media/ffmpeg/yuv_to_rgb32.h"

#if defined(__AVX2__)
#include <immintrin.h>

namespace {

struct Factors {
  explicit Factors(const YuvCoefficients& c)
      : yOffset(_mm256_set1_epi16(c.yOffset)),
        red(Pair(c.y, c.rv)),
        green(Pair(c.y, c.gu)),
        greenV(Pair(c.gv, 1 << (kYuvFractionBits - 1))),
        blue(Pair(c.y, c.bu)) {}
  static __m256i Pair(int16_t a, int16_t b) {
    return _mm256_set1_epi32(int32_t(uint16_t(a)) | int32_t(uint32_t(uint16_t(b)) << 16));
  }
  __m256i yOffset, red, green, greenV, blue;
};

inline __m256i Descale(__m256i lo, __m256i hi) {
  return _mm256_packs_epi32(_mm256_srai_epi32(lo, kYuvFractionBits), _mm256_srai_epi32(hi, kYuvFractionBits));
}

// Sixteen pixels from sixteen 16-bit samples of each plane. The unpacks and packs work within
// each 128-bit lane and undo each other, so the samples stay in order until the last step.
inline void Convert16(__m256i y, __m256i u, __m256i v, const Factors& k, uint8_t* out) {
  const __m256i chromaZero = _mm256_set1_epi16(128), half = _mm256_set1_epi32(1 << (kYuvFractionBits - 1));
  y = _mm256_sub_epi16(y, k.yOffset);
  u = _mm256_sub_epi16(u, chromaZero);
  v = _mm256_sub_epi16(v, chromaZero);
  const __m256i yuLo = _mm256_unpacklo_epi16(y, u), yuHi = _mm256_unpackhi_epi16(y, u);
  const __m256i yvLo = _mm256_unpacklo_epi16(y, v), yvHi = _mm256_unpackhi_epi16(y, v);
  const __m256i one = _mm256_set1_epi16(1);
  const __m256i v1Lo = _mm256_unpacklo_epi16(v, one), v1Hi = _mm256_unpackhi_epi16(v, one);
  const __m256i r = Descale(_mm256_add_epi32(_mm256_madd_epi16(yvLo, k.red), half),
                            _mm256_add_epi32(_mm256_madd_epi16(yvHi, k.red), half));
  const __m256i g = Descale(_mm256_add_epi32(_mm256_madd_epi16(yuLo, k.green), _mm256_madd_epi16(v1Lo, k.greenV)),
                            _mm256_add_epi32(_mm256_madd_epi16(yuHi, k.green), _mm256_madd_epi16(v1Hi, k.greenV)));
  const __m256i b = Descale(_mm256_add_epi32(_mm256_madd_epi16(yuLo, k.blue), half),
                            _mm256_add_epi32(_mm256_madd_epi16(yuHi, k.blue), half));
  const __m256i b8 = _mm256_packus_epi16(b, b), g8 = _mm256_packus_epi16(g, g), r8 = _mm256_packus_epi16(r, r);
  const __m256i bg = _mm256_unpacklo_epi8(b8, g8), rx = _mm256_unpacklo_epi8(r8, _mm256_set1_epi8(-1));
  const __m256i p0 = _mm256_unpacklo_epi16(bg, rx);  // pixels 0-3 | 8-11
  const __m256i p1 = _mm256_unpackhi_epi16(bg, rx);  // pixels 4-7 | 12-15
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(p0, p1, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_permute2x128_si256(p0, p1, 0x31));
}

inline __m256i Load16(const uint8_t* p) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// Eight samples, each twice.
inline __m256i Load8Doubled(const uint8_t* p) {
  const __m128i s = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  return _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(s, s));
}

void HalfRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out, size_t width,
             const YuvCoefficients& c) {
  const Factors k(c);
  size_t x = 0;
  for (; x + 16 <= width; x += 16)
    Convert16(Load16(y + x), Load8Doubled(u + x / 2), Load8Doubled(v + x / 2), k, out + 4 * x);
  if (x < width) kYuvToRgb32Sse2.half(y + x, u + x / 2, v + x / 2, out + 4 * x, width - x, c);
}

void FullRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out, size_t width,
             const YuvCoefficients& c) {
  const Factors k(c);
  size_t x = 0;
  for (; x + 16 <= width; x += 16) Convert16(Load16(y + x), Load16(u + x), Load16(v + x), k, out + 4 * x);
  if (x < width) kYuvToRgb32Sse2.full(y + x, u + x, v + x, out + 4 * x, width - x, c);
}

void InterleavedRow(const uint8_t* y, const uint8_t* uv, const uint8_t* unused, uint8_t* out, size_t width,
                    const YuvCoefficients& c) {
  const Factors k(c);
  const __m256i low = _mm256_set1_epi32(0xFFFF);
  size_t x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m256i pairs = Load16(uv + x);  // each 32 bits: Cb, Cr
    const __m256i u = _mm256_or_si256(_mm256_and_si256(pairs, low), _mm256_slli_epi32(pairs, 16));
    const __m256i v = _mm256_or_si256(_mm256_srli_epi32(pairs, 16), _mm256_andnot_si256(low, pairs));
    Convert16(Load16(y + x), u, v, k, out + 4 * x);
  }
  if (x < width) kYuvToRgb32Sse2.interleaved(y + x, uv + x, unused, out + 4 * x, width - x, c);
}

}  // namespace

const YuvToRgb32Kernels kYuvToRgb32Avx2 = {HalfRow, FullRow, InterleavedRow, "avx2"};

#else

const YuvToRgb32Kernels kYuvToRgb32Avx2 = {nullptr, nullptr, nullptr, "avx2"};

#endif
