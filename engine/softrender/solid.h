// Tamrak engine: pixel kernels shared by the solid-colour draws and the rotated draw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/softrender/pixel_ops.h"
#include "engine/softrender/primitives.h"

namespace softrender {

using pixel::Load16;
using pixel::Load32;
using pixel::Store16;
using pixel::Store32;

// Weighted mix toward s with weight w out of 2^N: the integer part of d + (s - d) * w / 2^N.
template <int N>
inline unsigned Mix(unsigned d, unsigned s, uint32_t w) {
  return pixel::Lerp(d, s, w, N);
}

// RGB565 fields in the order blue, green, red (the order of the brightness bytes).
constexpr unsigned kFieldShift[3] = {0, 5, 11};
constexpr unsigned kFieldWidth[3] = {5, 6, 5};
constexpr unsigned kFieldMask[3] = {31, 63, 31};

inline unsigned Field(uint32_t word, int i) { return (word >> kFieldShift[i]) & kFieldMask[i]; }
inline unsigned Channel(uint32_t word, int i) { return (word >> (8 * i)) & 0xFFu; }

// DrawBlendParam as a table row index.
inline int ClampedBlendParam() {
  const int p = DrawBlendParam;
  return p < 0 ? 0 : (p > 255 ? 255 : p);
}
inline bool BrightnessOn() { return pixel::BrightnessOn(DrawBrightness); }

// The pixels a draw may touch: DrawArea within the destination. False when empty.
bool GetDrawClip(const MEMIMG* dest, RECT* clip);
// A 16- or 32-bit destination without palette or alpha plane.
bool IsSolidDestination(const MEMIMG* dest);

// ---------------------------------------------------------------- solid-colour operations

// Everything a pixel operation needs, settled once per drawing call.
struct SolidCall {
  int mode;  // effective mode
  int p;
  SolidPixelColor color;
  const int32_t* diff;  // BlendDiffTable row p at e = 0
  unsigned target[3];   // channel or field the pixels move toward (inverted in mode 10)
  uint16_t fieldMap[3][64];  // 16-bit modes 4 and 11: new field value, in place, per old value
};

// From the draw state; false when the call draws nothing. colorType must be 0 or 1.
bool BeginSolidCall(SolidCall* call, uint32_t color, int colorType);
// From an already prepared colour and an effective mode.
void SetUpSolidCall(SolidCall* call, const SolidPixelColor& color, int mode, int p, int colorType);

// Each operation writes one pixel (Apply) or a run of pixels left to right (Run).
template <class Op, int Bytes>
struct SolidOpBase {
  static constexpr int kBytes = Bytes;
  static void Run(uint8_t* px, int64_t n, const SolidCall& c) {
    for (int64_t i = 0; i < n; ++i, px += Bytes) Op::Apply(px, c);
  }
};

struct SolidStore32 : SolidOpBase<SolidStore32, 4> {
  static void Apply(uint8_t* px, const SolidCall& c) { Store32(px, c.color.color); }
};
struct SolidStore16 : SolidOpBase<SolidStore16, 2> {
  static void Apply(uint8_t* px, const SolidCall& c) { Store16(px, c.color.color); }
};
// Modes 1 and 10: d + (t - d) * p / 256, floored.
struct SolidLerp32 : SolidOpBase<SolidLerp32, 4> {
  static void Apply(uint8_t* px, const SolidCall& c) {
    for (int i = 0; i < 3; ++i) px[i] = static_cast<uint8_t>(Mix<8>(px[i], c.target[i], c.p));
  }
};
struct SolidMul32 : SolidOpBase<SolidMul32, 4> {
  static void Apply(uint8_t* px, const SolidCall& c) {
    for (int i = 0; i < 3; ++i) px[i] = static_cast<uint8_t>((px[i] * c.target[i]) >> 8);
  }
};
struct SolidMulLerp32 : SolidOpBase<SolidMulLerp32, 4> {
  static void Apply(uint8_t* px, const SolidCall& c) {
    for (int i = 0; i < 3; ++i) {
      const unsigned m = (px[i] * c.target[i]) >> 8;
      px[i] = static_cast<uint8_t>(Mix<8>(px[i], m, c.p));
    }
  }
};
struct SolidAdd32 : SolidOpBase<SolidAdd32, 4> {
  static void Apply(uint8_t* px, const SolidCall& c) { Store32(px, pixel::AddPacked32(Load32(px), c.color.scaled)); }
};
struct SolidSub32 : SolidOpBase<SolidSub32, 4> {
  static void Apply(uint8_t* px, const SolidCall& c) { Store32(px, pixel::SubPacked32(Load32(px), c.color.scaled)); }
};
// Modes 1 and 10 on RGB565: d + (t - d) * p / 255 toward zero per field, the BlendDiffTable
// entry; |t - d| * p stays below 2^15, and the division by a constant vectorises over a run.
struct SolidLerp16 : SolidOpBase<SolidLerp16, 2> {
  static uint32_t Pixel(uint32_t d, int16_t tb, int16_t tg, int16_t tr, int16_t p) {
    const auto b = static_cast<int16_t>(d & 31), g = static_cast<int16_t>((d >> 5) & 63);
    const auto r = static_cast<int16_t>(d >> 11);
    const auto nb = static_cast<uint32_t>(b + static_cast<int16_t>((tb - b) * p) / 255);
    const auto ng = static_cast<uint32_t>(g + static_cast<int16_t>((tg - g) * p) / 255);
    const auto nr = static_cast<uint32_t>(r + static_cast<int16_t>((tr - r) * p) / 255);
    return nr << 11 | ng << 5 | nb;
  }
  static void Apply(uint8_t* px, const SolidCall& c) {
    Store16(px, Pixel(Load16(px), static_cast<int16_t>(c.target[0]), static_cast<int16_t>(c.target[1]),
                      static_cast<int16_t>(c.target[2]), static_cast<int16_t>(c.p)));
  }
  static void Run(uint8_t* px, int64_t n, const SolidCall& c) {
    const auto tb = static_cast<int16_t>(c.target[0]), tg = static_cast<int16_t>(c.target[1]);
    const auto tr = static_cast<int16_t>(c.target[2]), p = static_cast<int16_t>(c.p);
    for (int64_t i = 0; i < n; ++i) Store16(px + 2 * i, Pixel(Load16(px + 2 * i), tb, tg, tr, p));
  }
};
// Modes 4 and 11 on RGB565 change each field by its own old value only.
struct SolidFieldMap16 : SolidOpBase<SolidFieldMap16, 2> {
  static void Apply(uint8_t* px, const SolidCall& c) {
    const uint32_t d = Load16(px);
    Store16(px, c.fieldMap[0][d & 31] | c.fieldMap[1][(d >> 5) & 63] | c.fieldMap[2][d >> 11]);
  }
};
struct SolidAdd16 : SolidOpBase<SolidAdd16, 2> {
  static void Apply(uint8_t* px, const SolidCall& c) { Store16(px, pixel::AddPacked565(Load16(px), c.color.scaled)); }
};
struct SolidSub16 : SolidOpBase<SolidSub16, 2> {
  static void Apply(uint8_t* px, const SolidCall& c) { Store16(px, pixel::SubPacked565(Load16(px), c.color.scaled)); }
};

// Calls f with the operation object of the call's format and effective mode.
template <class F>
void WithSolidOp(const SolidCall& c, int colorType, F&& f) {
  if (colorType == MEMIMG_COLOR_32) {
    switch (c.mode) {
      case 0: f(SolidStore32{}); break;
      case 1: case 10: f(SolidLerp32{}); break;
      case 2: f(SolidAdd32{}); break;
      case 3: f(SolidSub32{}); break;
      case 4: f(SolidMul32{}); break;
      case 11: f(SolidMulLerp32{}); break;
      default: break;
    }
  } else {
    switch (c.mode) {
      case 0: f(SolidStore16{}); break;
      case 1: case 10: f(SolidLerp16{}); break;
      case 4: case 11: f(SolidFieldMap16{}); break;
      case 2: f(SolidAdd16{}); break;
      case 3: f(SolidSub16{}); break;
      default: break;
    }
  }
}

}  // namespace softrender
