// The rate conversion's inner loop on 256-bit AVX2 registers (compiled with -mavx2); only
// called on processors that have it.
#include "platform/audio/mix_kernel.h"

#if defined(__AVX2__)
#include "platform/audio/mix_kernel_body.h"

const MixKernels kMixKernelsAvx2 = MakeMixKernels("avx2");
#else
const MixKernels kMixKernelsAvx2 = {{{nullptr, nullptr}, {nullptr, nullptr}},
                                    {{nullptr, nullptr}, {nullptr, nullptr}},
                                    "avx2"};
#endif
