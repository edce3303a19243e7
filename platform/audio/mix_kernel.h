// The mixer's rate conversion: the filter's weights and the inner loop, which is compiled once
// for the baseline processor and once for AVX2 (mixer_avx2.cpp) from the same source, so both
// give the same bits.
#pragma once

#include <cstdint>

#include "platform/audio/audio_device.h"

// Weights for kMixPhases fractions of a frame between the cursor's frame and the output frame;
// a fraction between two rows gets weights interpolated between them (slope: the step to the
// next row).
constexpr int kMixPhaseBits = 8;
constexpr int kMixPhases = 1 << kMixPhaseBits;

struct MixSincTable {
  alignas(64) float weight[kMixPhases][kMixTaps];
  alignas(64) float slope[kMixPhases][kMixTaps];
};

const MixSincTable& MixSinc();

// One block of one voice: `frames` output frames added, with the side gains, into out (one or
// two channels). in[c][kMixTapsBefore + v] is the input frame v after the cursor's frame; the
// first output frame lies `fraction` (32.32 frames, under one) after it, each next `step` on.
struct MixBlock {
  const float* in[2];
  uint64_t fraction;
  uint64_t step;
  uint32_t frames;
  float gainLeft, gainRight;
  float* out;
};

using MixKernel = void (*)(const MixSincTable& sinc, const MixBlock& block);

struct MixKernels {
  MixKernel kernel[2][2];  // [source channels - 1][output channels - 1]; null where not built
  MixKernel whole[2][2];   // the same for a block with no fraction and a whole step: equal bits, faster
  const char* name;
};

extern const MixKernels kMixKernelsGeneric;
extern const MixKernels kMixKernelsAvx2;
// The fastest set this processor runs.
const MixKernels& MixKernelsBest();
