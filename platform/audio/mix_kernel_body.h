// The rate conversion's inner loop, included by each instruction set's source file only.
#pragma once

#include <cstddef>
#include <cstring>

#include "platform/audio/mix_kernel.h"

namespace {

// Eight floats: two vector registers on the baseline processor, one with AVX. Lane l sums the
// taps l, l + 8, ... and the lanes are added in one fixed order, so every build sums alike.
// (Vector arithmetic is element by element, as the scalar code would do it.)
using Float8 = float __attribute__((vector_size(32)));
using Float4 = float __attribute__((vector_size(16)));

inline void Load8(Float8& v, const float* p) { std::memcpy(&v, p, sizeof v); }

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
    Float8 sum[2], w, s, x;
    for (int t = 0; t < kMixTaps; t += 8) {
      Load8(w, weight + t);
      Load8(s, slope + t);
      w += within * s;
      for (int c = 0; c < Sources; ++c) {
        Load8(x, in[c] + first + t);
        sum[c] = t ? sum[c] + w * x : w * x;
      }
    }
    // Lanes l and l + 4, then (0 + 2) + (1 + 3), both channels at once.
    const Float4 left = __builtin_shufflevector(sum[0], sum[0], 0, 1, 2, 3) +
                        __builtin_shufflevector(sum[0], sum[0], 4, 5, 6, 7);
    Float4 right = left;
    if (Sources == 2)
      right = __builtin_shufflevector(sum[1], sum[1], 0, 1, 2, 3) + __builtin_shufflevector(sum[1], sum[1], 4, 5, 6, 7);
    const Float4 pairs = __builtin_shufflevector(left, right, 0, 1, 4, 5) + __builtin_shufflevector(left, right, 2, 3, 6, 7);
    const float l = pairs[0] + pairs[1], r = pairs[2] + pairs[3];
    if (Outputs == 2) {
      out[2 * i] += l * gainLeft;
      out[2 * i + 1] += r * gainRight;
    } else {
      out[i] += (l * gainLeft + r * gainRight) * 0.5f;
    }
  }
}

constexpr MixKernels MakeMixKernels(const char* name) {
  return {{{MixBlockKernel<1, 1>, MixBlockKernel<1, 2>}, {MixBlockKernel<2, 1>, MixBlockKernel<2, 2>}}, name};
}

}  // namespace
