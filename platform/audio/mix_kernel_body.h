// The rate conversion's inner loop, included by each instruction set's source file only.
#pragma once

#include <cstddef>
#include <cstring>

#include "platform/audio/mix_kernel.h"

namespace {

using Float4 = float __attribute__((vector_size(16)));

// Eight floats: one register with AVX, two otherwise. Lane l sums the taps l, l + 8, ... and the
// lanes are added in one fixed order, so every build sums alike (vector arithmetic is element by
// element, as scalar code would do it).
#if defined(__AVX__)
using Float8 = float __attribute__((vector_size(32)));
inline void Load8(Float8& v, const float* p) { std::memcpy(&v, p, sizeof v); }
inline Float4 Low(const Float8& v) { return __builtin_shufflevector(v, v, 0, 1, 2, 3); }
inline Float4 High(const Float8& v) { return __builtin_shufflevector(v, v, 4, 5, 6, 7); }
#else
struct Float8 {
  Float4 low, high;
  Float8& operator+=(const Float8& o) {
    low += o.low, high += o.high;
    return *this;
  }
};
inline Float8 operator*(const Float8& a, const Float8& b) { return {a.low * b.low, a.high * b.high}; }
inline Float8 operator*(float a, const Float8& b) { return {a * b.low, a * b.high}; }
inline Float8 operator+(const Float8& a, const Float8& b) { return {a.low + b.low, a.high + b.high}; }
inline Float4 Low(const Float8& v) { return v.low; }
inline Float4 High(const Float8& v) { return v.high; }
inline void Load8(Float8& v, const float* p) {
  std::memcpy(&v.low, p, sizeof v.low);
  std::memcpy(&v.high, p + 4, sizeof v.high);
}
#endif

template <int Outputs>
inline void AddFrame(float* out, uint32_t i, float l, float r, float gainLeft, float gainRight) {
  if (Outputs == 2) {
    out[2 * i] += l * gainLeft;
    out[2 * i + 1] += r * gainRight;
  } else {
    out[i] += (l * gainLeft + r * gainRight) * 0.5f;
  }
}

template <int Sources, int Outputs>
void MixBlockKernel(const MixSincTable& sinc, const MixBlock& m) {
  constexpr int kWithinBits = 32 - kMixPhaseBits;
  constexpr uint32_t kWithinMask = (1u << kWithinBits) - 1;
  const float* const in[2] = {m.in[0], m.in[1]};
  const float gainLeft = m.gainLeft, gainRight = m.gainRight;
  float* const out = m.out;
  uint64_t at = m.fraction;
  for (uint32_t i = 0; i < m.frames; ++i, at += m.step) {
    const auto fraction = static_cast<uint32_t>(at);
    const float* weight = sinc.weight[fraction >> kWithinBits];
    const float* slope = sinc.slope[fraction >> kWithinBits];
    const float within = static_cast<float>(fraction & kWithinMask) * (1.0f / (kWithinMask + 1.0f));
    const size_t first = static_cast<size_t>(at >> 32);
    Float8 left8, right8, w, slant, x;
#pragma GCC unroll 4
    for (int t = 0; t < kMixTaps; t += 8) {
      Load8(w, weight + t);
      Load8(slant, slope + t);
      w += within * slant;
      Load8(x, in[0] + first + t);
      left8 = t ? left8 + w * x : w * x;
      if (Sources == 2) {
        Load8(x, in[1] + first + t);
        right8 = t ? right8 + w * x : w * x;
      }
    }
    // Lanes l and l + 4, then (0 + 2) + (1 + 3), both channels at once.
    const Float4 left = Low(left8) + High(left8);
    const Float4 right = Sources == 2 ? Low(right8) + High(right8) : left;
    const Float4 pairs =
        __builtin_shufflevector(left, right, 0, 1, 4, 5) + __builtin_shufflevector(left, right, 2, 3, 6, 7);
    AddFrame<Outputs>(out, i, pairs[0] + pairs[1], pairs[2] + pairs[3], gainLeft, gainRight);
  }
}

// Output frames on whole input frames (no fraction, a whole step): the weights are one 1 and
// zeros, so the sums are the frames themselves.
template <int Sources, int Outputs>
void MixWholeKernel(const MixSincTable&, const MixBlock& m) {
  const float* left = m.in[0] + kMixTapsBefore;
  const float* right = m.in[Sources - 1] + kMixTapsBefore;
  const size_t step = static_cast<size_t>(m.step >> 32);
  for (uint32_t i = 0; i < m.frames; ++i)
    AddFrame<Outputs>(m.out, i, left[i * step], right[i * step], m.gainLeft, m.gainRight);
}

constexpr MixKernels MakeMixKernels(const char* name) {
  return {{{MixBlockKernel<1, 1>, MixBlockKernel<1, 2>}, {MixBlockKernel<2, 1>, MixBlockKernel<2, 2>}},
          {{MixWholeKernel<1, 1>, MixWholeKernel<1, 2>}, {MixWholeKernel<2, 1>, MixWholeKernel<2, 2>}},
          name};
}

}  // namespace
