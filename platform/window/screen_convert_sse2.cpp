// RGB565 to XRGB8888, eight pixels a step.
#include "platform/window/screen_convert.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace {

// Eight RGB565 words to two vectors of four 0x00RRGGBB words.
inline void Widen8(__m128i p, __m128i* lo, __m128i* hi) {
  const __m128i r = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(p, 8), _mm_set1_epi16(0xF8)), _mm_srli_epi16(p, 13));
  const __m128i g = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(p, 3), _mm_set1_epi16(0xFC)),
                                 _mm_and_si128(_mm_srli_epi16(p, 9), _mm_set1_epi16(0x03)));
  const __m128i b = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(p, 3), _mm_set1_epi16(0xF8)),
                                 _mm_and_si128(_mm_srli_epi16(p, 2), _mm_set1_epi16(0x07)));
  const __m128i gb = _mm_or_si128(b, _mm_slli_epi16(g, 8));
  *lo = _mm_unpacklo_epi16(gb, r);
  *hi = _mm_unpackhi_epi16(gb, r);
}

void Rgb565Row(const uint16_t* src, uint32_t* row, uint32_t* row2, size_t width) {
  size_t x = 0;
  for (; x + 8 <= width; x += 8) {
    __m128i lo, hi;
    Widen8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x)), &lo, &hi);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x + 4), hi);
  }
  if (x < width) kScreenConvertScalar.rgb565(src + x, row + x, row2, width - x);
}

void Rgb565RowDoubled(const uint16_t* src, uint32_t* row, uint32_t* row2, size_t width) {
  size_t x = 0;
  for (; x + 8 <= width; x += 8) {
    __m128i lo, hi;
    Widen8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x)), &lo, &hi);
    const __m128i q[4] = {_mm_unpacklo_epi32(lo, lo), _mm_unpackhi_epi32(lo, lo), _mm_unpacklo_epi32(hi, hi),
                          _mm_unpackhi_epi32(hi, hi)};
    for (int i = 0; i < 4; ++i) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 2 * x + 4 * i), q[i]);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(row2 + 2 * x + 4 * i), q[i]);
    }
  }
  if (x < width) kScreenConvertScalar.rgb565Doubled(src + x, row + 2 * x, row2 + 2 * x, width - x);
}

}  // namespace

const ScreenConvertKernels kScreenConvertSse2 = {Rgb565Row, Rgb565RowDoubled, "sse2"};

#else

const ScreenConvertKernels kScreenConvertSse2 = {nullptr, nullptr, "sse2"};

#endif
