// Tamrak engine: the row kernels on 128-bit SSE2 registers (compiled with -msse2).
#include "engine/softrender/blend_rows.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include "engine/softrender/blend_rows_simd.h"

namespace rows {
namespace {

struct V128 {
  using R = __m128i;
  static constexpr int kBytes = 16;
  static R Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void Store(uint8_t* p, R v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  static R Zero() { return _mm_setzero_si128(); }
  static R Set16(uint32_t v) { return _mm_set1_epi16(static_cast<short>(static_cast<uint16_t>(v))); }
  static R Set32(uint32_t v) { return _mm_set1_epi32(static_cast<int>(v)); }
  static R Set64(uint64_t v) { return _mm_set1_epi64x(static_cast<long long>(v)); }
  static R And(R a, R b) { return _mm_and_si128(a, b); }
  static R Or(R a, R b) { return _mm_or_si128(a, b); }
  static R Xor(R a, R b) { return _mm_xor_si128(a, b); }
  static R AndNot(R a, R b) { return _mm_andnot_si128(a, b); }  // ~a & b
  static R Select(R m, R a, R b) { return _mm_or_si128(_mm_and_si128(m, a), _mm_andnot_si128(m, b)); }
  static R Add16(R a, R b) { return _mm_add_epi16(a, b); }
  static R Sub16(R a, R b) { return _mm_sub_epi16(a, b); }
  static R Mullo16(R a, R b) { return _mm_mullo_epi16(a, b); }
  static R MulhiU16(R a, R b) { return _mm_mulhi_epu16(a, b); }
  static R Srli16(R a, int n) { return _mm_srli_epi16(a, n); }
  static R Slli16(R a, int n) { return _mm_slli_epi16(a, n); }
  static R Srai16(R a, int n) { return _mm_srai_epi16(a, n); }
  static R Abs16(R a) { return _mm_max_epi16(a, _mm_sub_epi16(_mm_setzero_si128(), a)); }
  // a negated where s < 0 (a is never 0x8000 here, so no lane overflows).
  static R Sign16(R a, R s) {
    const R m = _mm_srai_epi16(s, 15);
    return _mm_sub_epi16(_mm_xor_si128(a, m), m);
  }
  static R Add32(R a, R b) { return _mm_add_epi32(a, b); }
  static R Sub32(R a, R b) { return _mm_sub_epi32(a, b); }
  static R Srli32(R a, int n) { return _mm_srli_epi32(a, n); }
  static R Slli32(R a, int n) { return _mm_slli_epi32(a, n); }
  static R Srai32(R a, int n) { return _mm_srai_epi32(a, n); }
  static R AddsU8(R a, R b) { return _mm_adds_epu8(a, b); }
  static R SubsU8(R a, R b) { return _mm_subs_epu8(a, b); }
  static R SubsU16(R a, R b) { return _mm_subs_epu16(a, b); }
  static R AvgU16(R a, R b) { return _mm_avg_epu16(a, b); }
  static R CmpEq16(R a, R b) { return _mm_cmpeq_epi16(a, b); }
  static R CmpEq32(R a, R b) { return _mm_cmpeq_epi32(a, b); }
  static R Lo8(R a) { return _mm_unpacklo_epi8(a, _mm_setzero_si128()); }
  static R Hi8(R a) { return _mm_unpackhi_epi8(a, _mm_setzero_si128()); }
  static R Pack16(R lo, R hi) { return _mm_packus_epi16(lo, hi); }
  static void Double16(R v, R* lo, R* hi) {
    *lo = _mm_unpacklo_epi16(v, v);
    *hi = _mm_unpackhi_epi16(v, v);
  }
  static R Reverse16(R v) {
    return _mm_shuffle_epi32(_mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0x1B), 0x1B), 0x4E);
  }
  static R Reverse32(R v) { return _mm_shuffle_epi32(v, 0x1B); }
  static void Double32(R v, R* lo, R* hi) {
    *lo = _mm_unpacklo_epi32(v, v);
    *hi = _mm_unpackhi_epi32(v, v);
  }
};

}  // namespace

void FillSse2(Table* t) { FillWith<V128>(t); }

}  // namespace rows

#else

void rows::FillSse2(Table*) {}

#endif
