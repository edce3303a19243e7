// RGB565 to XRGB8888, sixteen pixels a step. Built with AVX2 code generation; only called
// on processors that have it.
#include "platform/window/screen_convert.h"

#if defined(__AVX2__)
#include <immintrin.h>

namespace {

// Sixteen RGB565 words to two vectors of eight 0x00RRGGBB words, in order.
inline void Widen16(__m256i p, __m256i* first, __m256i* second) {
  const __m256i r =
      _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi16(p, 8), _mm256_set1_epi16(0xF8)), _mm256_srli_epi16(p, 13));
  const __m256i g = _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi16(p, 3), _mm256_set1_epi16(0xFC)),
                                    _mm256_and_si256(_mm256_srli_epi16(p, 9), _mm256_set1_epi16(0x03)));
  const __m256i b = _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(p, 3), _mm256_set1_epi16(0xF8)),
                                    _mm256_and_si256(_mm256_srli_epi16(p, 2), _mm256_set1_epi16(0x07)));
  const __m256i gb = _mm256_or_si256(b, _mm256_slli_epi16(g, 8));
  // The unpacks work within each 128-bit lane: pixels 0-3 | 8-11 and 4-7 | 12-15.
  const __m256i lo = _mm256_unpacklo_epi16(gb, r);
  const __m256i hi = _mm256_unpackhi_epi16(gb, r);
  *first = _mm256_permute2x128_si256(lo, hi, 0x20);
  *second = _mm256_permute2x128_si256(lo, hi, 0x31);
}

void Rgb565Row(const uint16_t* src, uint32_t* row, uint32_t* row2, size_t width) {
  size_t x = 0;
  for (; x + 16 <= width; x += 16) {
    __m256i a, b;
    Widen16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + x)), &a, &b);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + x), a);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + x + 8), b);
  }
  if (x < width) kScreenConvertSse2.rgb565(src + x, row + x, row2, width - x);
}

// Eight pixels to sixteen words, each pixel twice, in order.
inline void Double8(__m256i v, __m256i* first, __m256i* second) {
  const __m256i lo = _mm256_unpacklo_epi32(v, v);  // 0 0 1 1 | 4 4 5 5
  const __m256i hi = _mm256_unpackhi_epi32(v, v);  // 2 2 3 3 | 6 6 7 7
  *first = _mm256_permute2x128_si256(lo, hi, 0x20);
  *second = _mm256_permute2x128_si256(lo, hi, 0x31);
}

// A store across two cache lines costs twice, so rows that are not 32-byte aligned (seldom
// the case for a window's framebuffer) are written in 16-byte halves.
template <bool kAligned>
void DoubledRows(const uint16_t* src, uint32_t* row, uint32_t* row2, size_t width) {
  auto store = [](uint32_t* to, __m256i v) {
    if constexpr (kAligned) {
      _mm256_store_si256(reinterpret_cast<__m256i*>(to), v);
    } else {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm256_castsi256_si128(v));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 4), _mm256_extracti128_si256(v, 1));
    }
  };
  size_t x = 0;
  for (; x + 16 <= width; x += 16) {
    __m256i a, b;
    Widen16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + x)), &a, &b);
    __m256i q[4];
    Double8(a, &q[0], &q[1]);
    Double8(b, &q[2], &q[3]);
    for (int i = 0; i < 4; ++i) {
      store(row + 2 * x + 8 * i, q[i]);
      store(row2 + 2 * x + 8 * i, q[i]);
    }
  }
  if (x < width) kScreenConvertSse2.rgb565Doubled(src + x, row + 2 * x, row2 + 2 * x, width - x);
}

void Rgb565RowDoubled(const uint16_t* src, uint32_t* row, uint32_t* row2, size_t width) {
  if (((reinterpret_cast<uintptr_t>(row) | reinterpret_cast<uintptr_t>(row2)) & 31) == 0) {
    DoubledRows<true>(src, row, row2, width);
  } else {
    DoubledRows<false>(src, row, row2, width);
  }
}

}  // namespace

const ScreenConvertKernels kScreenConvertAvx2 = {Rgb565Row, Rgb565RowDoubled, "avx2"};

#else

const ScreenConvertKernels kScreenConvertAvx2 = {nullptr, nullptr, "avx2"};

#endif
