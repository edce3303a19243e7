// Y'CbCr to RGB32, thirty-two pixels a step, as the SSE2 version does it. Built with AVX2 code
// generation; only called on processors that have it.
#include "platform/media/ffmpeg/yuv_to_rgb32.h"

#if defined(__AVX2__)
#include <immintrin.h>

namespace {

struct Factors {
  explicit Factors(const YuvCoefficients& c)
      : y(_mm256_set1_epi16(c.y)),
        rv(_mm256_set1_epi16(c.rv)),
        gu(_mm256_set1_epi16(c.gu)),
        gv(_mm256_set1_epi16(c.gv)),
        bu(_mm256_set1_epi16(c.bu)),
        bias(_mm256_set1_epi16(c.bias)) {}
  __m256i y, rv, gu, gv, bu, bias;
};

struct Terms {
  __m256i r, g, b;
};

inline Terms ChromaTerms(__m256i cb, __m256i cr, const Factors& k) {
  return {_mm256_mulhi_epi16(cr, k.rv),
          _mm256_add_epi16(_mm256_mulhi_epi16(cb, k.gu), _mm256_mulhi_epi16(cr, k.gv)),
          _mm256_mulhi_epi16(cb, k.bu)};
}

// The unpacks work within each 128-bit lane: samples 0-7 | 8-15 become those of pixels
// 0-7 | 16-23 (low) and 8-15 | 24-31 (high), the order the luma bytes unpack in.
inline Terms DoubledLow(const Terms& t) {
  return {_mm256_unpacklo_epi16(t.r, t.r), _mm256_unpacklo_epi16(t.g, t.g), _mm256_unpacklo_epi16(t.b, t.b)};
}
inline Terms DoubledHigh(const Terms& t) {
  return {_mm256_unpackhi_epi16(t.r, t.r), _mm256_unpackhi_epi16(t.g, t.g), _mm256_unpackhi_epi16(t.b, t.b)};
}

inline __m256i Level(__m256i luma, __m256i term) { return _mm256_srai_epi16(_mm256_add_epi16(luma, term), 5); }

// Thirty-two pixels: lo holds the terms of pixels 0-7 | 16-23, hi those of 8-15 | 24-31.
inline void Store32(__m256i y, const Terms& lo, const Terms& hi, const Factors& k, uint8_t* out) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i lumaLo = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_unpacklo_epi8(zero, y), k.y), k.bias);
  const __m256i lumaHi = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_unpackhi_epi8(zero, y), k.y), k.bias);
  // The packs undo the unpacks: bytes in pixel order.
  const __m256i r = _mm256_packus_epi16(Level(lumaLo, lo.r), Level(lumaHi, hi.r));
  const __m256i g = _mm256_packus_epi16(Level(lumaLo, lo.g), Level(lumaHi, hi.g));
  const __m256i b = _mm256_packus_epi16(Level(lumaLo, lo.b), Level(lumaHi, hi.b));
  const __m256i x = _mm256_set1_epi8(-1);
  const __m256i bgLo = _mm256_unpacklo_epi8(b, g), bgHi = _mm256_unpackhi_epi8(b, g);
  const __m256i rxLo = _mm256_unpacklo_epi8(r, x), rxHi = _mm256_unpackhi_epi8(r, x);
  const __m256i q0 = _mm256_unpacklo_epi16(bgLo, rxLo);  // pixels 0-3 | 16-19
  const __m256i q1 = _mm256_unpackhi_epi16(bgLo, rxLo);  // 4-7 | 20-23
  const __m256i q2 = _mm256_unpacklo_epi16(bgHi, rxHi);  // 8-11 | 24-27
  const __m256i q3 = _mm256_unpackhi_epi16(bgHi, rxHi);  // 12-15 | 28-31
  __m256i* to = reinterpret_cast<__m256i*>(out);
  _mm256_storeu_si256(to, _mm256_permute2x128_si256(q0, q1, 0x20));
  _mm256_storeu_si256(to + 1, _mm256_permute2x128_si256(q2, q3, 0x20));
  _mm256_storeu_si256(to + 2, _mm256_permute2x128_si256(q0, q1, 0x31));
  _mm256_storeu_si256(to + 3, _mm256_permute2x128_si256(q2, q3, 0x31));
}

inline __m256i Load32(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

// Sixteen bytes less 128, times 256, as 16-bit lanes in order.
inline __m256i Centred16(const uint8_t* p) {
  const __m128i bytes = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_set1_epi8(-128));
  return _mm256_slli_epi16(_mm256_cvtepi8_epi16(bytes), 8);
}

void HalfRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out, size_t width,
             const YuvCoefficients& c) {
  const Factors k(c);
  size_t x = 0;
  for (; x + 32 <= width; x += 32) {
    const Terms t = ChromaTerms(Centred16(u + x / 2), Centred16(v + x / 2), k);
    Store32(Load32(y + x), DoubledLow(t), DoubledHigh(t), k, out + 4 * x);
  }
  if (x < width) kYuvToRgb32Sse2.half(y + x, u + x / 2, v + x / 2, out + 4 * x, width - x, c);
}

void FullRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out, size_t width,
             const YuvCoefficients& c) {
  const Factors k(c);
  const __m256i zero = _mm256_setzero_si256(), centre = _mm256_set1_epi8(-128);
  size_t x = 0;
  for (; x + 32 <= width; x += 32) {
    const __m256i cb = _mm256_xor_si256(Load32(u + x), centre), cr = _mm256_xor_si256(Load32(v + x), centre);
    const Terms lo = ChromaTerms(_mm256_unpacklo_epi8(zero, cb), _mm256_unpacklo_epi8(zero, cr), k);
    const Terms hi = ChromaTerms(_mm256_unpackhi_epi8(zero, cb), _mm256_unpackhi_epi8(zero, cr), k);
    Store32(Load32(y + x), lo, hi, k, out + 4 * x);
  }
  if (x < width) kYuvToRgb32Sse2.full(y + x, u + x, v + x, out + 4 * x, width - x, c);
}

void InterleavedRow(const uint8_t* y, const uint8_t* uv, const uint8_t* unused, uint8_t* out, size_t width,
                    const YuvCoefficients& c) {
  const Factors k(c);
  size_t x = 0;
  for (; x + 32 <= width; x += 32) {
    const __m256i pairs = _mm256_xor_si256(Load32(uv + x), _mm256_set1_epi8(-128));  // each 16 bits: Cb, Cr
    const Terms t = ChromaTerms(_mm256_slli_epi16(pairs, 8), _mm256_and_si256(pairs, _mm256_set1_epi16(-256)), k);
    Store32(Load32(y + x), DoubledLow(t), DoubledHigh(t), k, out + 4 * x);
  }
  if (x < width) kYuvToRgb32Sse2.interleaved(y + x, uv + x, unused, out + 4 * x, width - x, c);
}

}  // namespace

const YuvToRgb32Kernels kYuvToRgb32Avx2 = {HalfRow, FullRow, InterleavedRow, "avx2"};

#else

const YuvToRgb32Kernels kYuvToRgb32Avx2 = {nullptr, nullptr, nullptr, "avx2"};

#endif
