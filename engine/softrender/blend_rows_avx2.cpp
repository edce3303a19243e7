// Tamrak engine: the row kernels on 256-bit AVX2 registers (compiled with -mavx2). Byte
// widening and narrowing work within each 128-bit half, so they keep the pixel order.
#include "engine/softrender/blend_rows.h"

#if defined(__AVX2__)
#include <immintrin.h>

#include "engine/softrender/blend_rows_simd.h"

namespace rows {
namespace {

struct V256 {
  using R = __m256i;
  static constexpr int kBytes = 32;
  static R Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static void Store(uint8_t* p, R v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
  static R Zero() { return _mm256_setzero_si256(); }
  static R Set16(uint32_t v) { return _mm256_set1_epi16(static_cast<short>(static_cast<uint16_t>(v))); }
  static R Set32(uint32_t v) { return _mm256_set1_epi32(static_cast<int>(v)); }
  static R Set64(uint64_t v) { return _mm256_set1_epi64x(static_cast<long long>(v)); }
  static R And(R a, R b) { return _mm256_and_si256(a, b); }
  static R Or(R a, R b) { return _mm256_or_si256(a, b); }
  static R Xor(R a, R b) { return _mm256_xor_si256(a, b); }
  static R AndNot(R a, R b) { return _mm256_andnot_si256(a, b); }  // ~a & b
  static R Select(R m, R a, R b) { return _mm256_blendv_epi8(b, a, m); }
  static R Add16(R a, R b) { return _mm256_add_epi16(a, b); }
  static R Sub16(R a, R b) { return _mm256_sub_epi16(a, b); }
  static R Mullo16(R a, R b) { return _mm256_mullo_epi16(a, b); }
  static R MulhiU16(R a, R b) { return _mm256_mulhi_epu16(a, b); }
  static R Srli16(R a, int n) { return _mm256_srli_epi16(a, n); }
  static R Slli16(R a, int n) { return _mm256_slli_epi16(a, n); }
  static R Srai16(R a, int n) { return _mm256_srai_epi16(a, n); }
  static R Abs16(R a) { return _mm256_abs_epi16(a); }
  // a negated where s < 0 and zeroed where s == 0, where a is 0 anyway.
  static R Sign16(R a, R s) { return _mm256_sign_epi16(a, s); }
  static R Add32(R a, R b) { return _mm256_add_epi32(a, b); }
  static R Sub32(R a, R b) { return _mm256_sub_epi32(a, b); }
  static R Srli32(R a, int n) { return _mm256_srli_epi32(a, n); }
  static R Slli32(R a, int n) { return _mm256_slli_epi32(a, n); }
  static R Srai32(R a, int n) { return _mm256_srai_epi32(a, n); }
  static R AddsU8(R a, R b) { return _mm256_adds_epu8(a, b); }
  static R SubsU8(R a, R b) { return _mm256_subs_epu8(a, b); }
  static R SubsU16(R a, R b) { return _mm256_subs_epu16(a, b); }
  static R AvgU16(R a, R b) { return _mm256_avg_epu16(a, b); }
  static R CmpEq16(R a, R b) { return _mm256_cmpeq_epi16(a, b); }
  static R CmpEq32(R a, R b) { return _mm256_cmpeq_epi32(a, b); }
  static R Lo8(R a) { return _mm256_unpacklo_epi8(a, _mm256_setzero_si256()); }
  static R Hi8(R a) { return _mm256_unpackhi_epi8(a, _mm256_setzero_si256()); }
  static R Pack16(R lo, R hi) { return _mm256_packus_epi16(lo, hi); }
  // Quarters 0, 2, 1, 3, so each half's low and high words are consecutive source pixels.
  static void Double16(R v, R* lo, R* hi) {
    const R q = _mm256_permute4x64_epi64(v, 0xD8);
    *lo = _mm256_unpacklo_epi16(q, q);
    *hi = _mm256_unpackhi_epi16(q, q);
  }
  static R Reverse16(R v) {
    const R words = _mm256_setr_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1,  //
                                     14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1);
    return _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, words), 0x4E);
  }
  static R Reverse32(R v) { return _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0)); }
  static void Double32(R v, R* lo, R* hi) {
    const R q = _mm256_permute4x64_epi64(v, 0xD8);
    *lo = _mm256_unpacklo_epi32(q, q);
    *hi = _mm256_unpackhi_epi32(q, q);
  }
};

}  // namespace

void FillAvx2(Table* t) { FillWith<V256>(t); }

}  // namespace rows

#else

void rows::FillAvx2(Table*) {}

#endif
