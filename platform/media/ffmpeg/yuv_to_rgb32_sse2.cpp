// Y'CbCr to RGB32, sixteen pixels a step, in 16-bit lanes; the chroma terms are worked out once
// for each chroma sample and then doubled where it covers two pixels.
#include "platform/media/ffmpeg/yuv_to_rgb32.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace {

struct Factors {
  explicit Factors(const YuvCoefficients& c)
      : y(_mm_set1_epi16(c.y)),
        rv(_mm_set1_epi16(c.rv)),
        gu(_mm_set1_epi16(c.gu)),
        gv(_mm_set1_epi16(c.gv)),
        bu(_mm_set1_epi16(c.bu)),
        bias(_mm_set1_epi16(c.bias)) {}
  __m128i y, rv, gu, gv, bu, bias;
};

// Eight pixels' (or chroma samples') terms in 1/32 level.
struct Terms {
  __m128i r, g, b;
};

// From Cb and Cr less 128, times 256.
inline Terms ChromaTerms(__m128i cb, __m128i cr, const Factors& k) {
  return {_mm_mulhi_epi16(cr, k.rv), _mm_add_epi16(_mm_mulhi_epi16(cb, k.gu), _mm_mulhi_epi16(cr, k.gv)),
          _mm_mulhi_epi16(cb, k.bu)};
}

// Each of the first (second) four samples' terms twice: those of eight pixels.
inline Terms DoubledLow(const Terms& t) {
  return {_mm_unpacklo_epi16(t.r, t.r), _mm_unpacklo_epi16(t.g, t.g), _mm_unpacklo_epi16(t.b, t.b)};
}
inline Terms DoubledHigh(const Terms& t) {
  return {_mm_unpackhi_epi16(t.r, t.r), _mm_unpackhi_epi16(t.g, t.g), _mm_unpackhi_epi16(t.b, t.b)};
}

inline __m128i Level(__m128i luma, __m128i term) { return _mm_srai_epi16(_mm_add_epi16(luma, term), 5); }

// Sixteen pixels from their luma bytes and the chroma terms of the first and second eight.
inline void Store16(__m128i y, const Terms& lo, const Terms& hi, const Factors& k, uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lumaLo = _mm_add_epi16(_mm_mulhi_epu16(_mm_unpacklo_epi8(zero, y), k.y), k.bias);
  const __m128i lumaHi = _mm_add_epi16(_mm_mulhi_epu16(_mm_unpackhi_epi8(zero, y), k.y), k.bias);
  const __m128i r = _mm_packus_epi16(Level(lumaLo, lo.r), Level(lumaHi, hi.r));
  const __m128i g = _mm_packus_epi16(Level(lumaLo, lo.g), Level(lumaHi, hi.g));
  const __m128i b = _mm_packus_epi16(Level(lumaLo, lo.b), Level(lumaHi, hi.b));
  const __m128i x = _mm_set1_epi8(-1);
  const __m128i bgLo = _mm_unpacklo_epi8(b, g), bgHi = _mm_unpackhi_epi8(b, g);
  const __m128i rxLo = _mm_unpacklo_epi8(r, x), rxHi = _mm_unpackhi_epi8(r, x);
  __m128i* to = reinterpret_cast<__m128i*>(out);
  _mm_storeu_si128(to, _mm_unpacklo_epi16(bgLo, rxLo));
  _mm_storeu_si128(to + 1, _mm_unpackhi_epi16(bgLo, rxLo));
  _mm_storeu_si128(to + 2, _mm_unpacklo_epi16(bgHi, rxHi));
  _mm_storeu_si128(to + 3, _mm_unpackhi_epi16(bgHi, rxHi));
}

inline __m128i Load16(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// Bytes less 128, as signed bytes.
inline __m128i Centred(__m128i bytes) { return _mm_xor_si128(bytes, _mm_set1_epi8(-128)); }

void HalfRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out, size_t width,
             const YuvCoefficients& c) {
  const Factors k(c);
  const __m128i zero = _mm_setzero_si128();
  size_t x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m128i cb = _mm_unpacklo_epi8(zero, Centred(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2))));
    const __m128i cr = _mm_unpacklo_epi8(zero, Centred(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2))));
    const Terms t = ChromaTerms(cb, cr, k);
    Store16(Load16(y + x), DoubledLow(t), DoubledHigh(t), k, out + 4 * x);
  }
  if (x < width) kYuvToRgb32Scalar.half(y + x, u + x / 2, v + x / 2, out + 4 * x, width - x, c);
}

void FullRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out, size_t width,
             const YuvCoefficients& c) {
  const Factors k(c);
  const __m128i zero = _mm_setzero_si128();
  size_t x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m128i cb = Centred(Load16(u + x)), cr = Centred(Load16(v + x));
    const Terms lo = ChromaTerms(_mm_unpacklo_epi8(zero, cb), _mm_unpacklo_epi8(zero, cr), k);
    const Terms hi = ChromaTerms(_mm_unpackhi_epi8(zero, cb), _mm_unpackhi_epi8(zero, cr), k);
    Store16(Load16(y + x), lo, hi, k, out + 4 * x);
  }
  if (x < width) kYuvToRgb32Scalar.full(y + x, u + x, v + x, out + 4 * x, width - x, c);
}

void InterleavedRow(const uint8_t* y, const uint8_t* uv, const uint8_t* unused, uint8_t* out, size_t width,
                    const YuvCoefficients& c) {
  const Factors k(c);
  size_t x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m128i pairs = Centred(Load16(uv + x));  // each 16 bits: Cb, Cr
    const Terms t = ChromaTerms(_mm_slli_epi16(pairs, 8), _mm_and_si128(pairs, _mm_set1_epi16(-256)), k);
    Store16(Load16(y + x), DoubledLow(t), DoubledHigh(t), k, out + 4 * x);
  }
  if (x < width) kYuvToRgb32Scalar.interleaved(y + x, uv + x, unused, out + 4 * x, width - x, c);
}

}  // namespace

const YuvToRgb32Kernels kYuvToRgb32Sse2 = {HalfRow, FullRow, InterleavedRow, "sse2"};

#else

const YuvToRgb32Kernels kYuvToRgb32Sse2 = {nullptr, nullptr, nullptr, "sse2"};

#endif
