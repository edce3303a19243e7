// Screen rows to the XRGB8888 words the window's texture holds (0x00RRGGBB, little endian:
// bytes B, G, R, X), optionally doubled in both directions on the way.
#pragma once

#include <cstddef>
#include <cstdint>

// One row: width source pixels become width (scale 1) or 2 x width words in each of the two
// output rows (scale 2; row2 is null for scale 1). 5- and 6-bit fields are widened by
// repeating their top bits, so 0x1F becomes 0xFF.
using Rgb565RowFunction = void (*)(const uint16_t* src, uint32_t* row, uint32_t* row2, size_t width);

struct ScreenConvertKernels {
  Rgb565RowFunction rgb565;         // scale 1
  Rgb565RowFunction rgb565Doubled;  // scale 2
  const char* name;
};

// The plain C version: the reference every other one is compared with.
extern const ScreenConvertKernels kScreenConvertScalar;
// SSE2 (every x86-64 processor); null members elsewhere.
extern const ScreenConvertKernels kScreenConvertSse2;
// AVX2; null members where the compiler cannot build it. Only for processors that have it.
extern const ScreenConvertKernels kScreenConvertAvx2;

// The fastest version this processor runs, chosen once.
const ScreenConvertKernels& ScreenConvertBest();

// A whole frame. bitsPerPixel 16 (RGB565 words) or 32 (bytes B, G, R, X; X is cleared);
// scale 1 or 2; pitches in bytes. dst holds height x scale rows of width x scale words.
void ConvertScreen(const ScreenConvertKernels& kernels, const void* src, int srcPitch, int bitsPerPixel,
                   int width, int height, void* dst, int dstPitch, int scale);
