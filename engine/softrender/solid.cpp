// Tamrak engine: the solid-colour pixel operations and the clip shared by the software draws.
#include "engine/softrender/solid.h"

namespace softrender {

bool GetDrawClip(const MEMIMG* dest, RECT* clip) {
  RECT r = DrawArea;
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right > dest->Width) r.right = dest->Width;
  if (r.bottom > dest->Height) r.bottom = dest->Height;
  *clip = r;
  return r.left < r.right && r.top < r.bottom;
}

bool IsSolidDestination(const MEMIMG* dest) {
  if (dest == nullptr || dest->Base == nullptr || dest->TopLeft == nullptr) return false;
  const MemImgBase& b = *dest->Base;
  if (b.UsePalette != 0 || b.UseAlpha != 0) return false;
  return b.ColorType == MEMIMG_COLOR_16 || b.ColorType == MEMIMG_COLOR_32;
}

void SetUpSolidCall(SolidCall* call, const SolidPixelColor& color, int mode, int p, int colorType) {
  p = p < 0 ? 0 : (p > 255 ? 255 : p);
  call->mode = mode;
  call->p = p;
  call->color = color;
  call->diff = &BlendDiffTable[p][255];
  if (colorType == MEMIMG_COLOR_32) {
    for (int i = 0; i < 3; ++i) {
      const unsigned s = Channel(color.color, i);
      call->target[i] = mode == 10 ? 255u - s : s;
    }
    return;
  }
  for (int i = 0; i < 3; ++i) {
    const int mask = static_cast<int>(kFieldMask[i]);
    const int s = mode == 10 ? mask - static_cast<int>(Field(color.color, i))
                             : static_cast<int>(Field(color.color, i));
    call->target[i] = static_cast<unsigned>(s);
    if (mode != 4 && mode != 11) continue;
    for (int d = 0; d <= mask; ++d) {
      const int v = mode == 4 ? (d * s) >> kFieldWidth[i] : d + call->diff[((d * s) >> kFieldWidth[i]) - d];
      call->fieldMap[i][d] = static_cast<uint16_t>((static_cast<unsigned>(v) & kFieldMask[i]) << kFieldShift[i]);
    }
  }
}

bool BeginSolidCall(SolidCall* call, uint32_t color, int colorType) {
  const int p = ClampedBlendParam();
  const int mode = GetSolidEffectiveMode(DrawBlendMode, p);
  if (mode < 0) return false;
  SetUpSolidCall(call, PrepareSolidPixelColor(color, colorType, p), mode, p, colorType);
  return true;
}

}  // namespace softrender

using namespace softrender;

SolidPixelColor PrepareSolidPixelColor(uint32_t color, int colorType, int blendParam) {
  const int p = blendParam < 0 ? 0 : (blendParam > 255 ? 255 : blendParam);
  const uint32_t* mulP = BlendMulTable[p];
  const bool bright = BrightnessOn();
  SolidPixelColor out{};
  if (colorType == MEMIMG_COLOR_32) {
    uint32_t c = color;
    if (bright) {
      c = color & 0xFF000000u;
      for (int i = 0; i < 3; ++i) c |= ((Channel(color, i) * Channel(DrawBrightness, i)) >> 8) << (8 * i);
    }
    out.color = c;
    for (int i = 0; i < 3; ++i) out.scaled |= (mulP[Channel(c, i)] & 0xFFu) << (8 * i);
    return out;
  }
  // The upper half of a 16-bit colour must not reach the paired stores.
  uint32_t c = color & 0xFFFFu;
  if (bright) {
    uint32_t m = 0;
    for (int i = 0; i < 3; ++i) m |= ((Field(c, i) * Channel(DrawBrightness, i)) >> 8) << kFieldShift[i];
    c = m;
  }
  out.color = c;
  for (int i = 0; i < 3; ++i) out.scaled |= (mulP[Field(c, i)] & 0xFFFFu) << kFieldShift[i];
  return out;
}

int GetSolidEffectiveMode(int blendMode, int blendParam) {
  switch (blendMode) {
    case 0: return 0;
    case 1: return blendParam <= 0 ? -1 : (blendParam >= 255 ? 0 : 1);
    case 2: case 3: return blendParam <= 0 ? -1 : blendMode;
    case 4: case 10: case 11: return blendMode;
    default: return -1;
  }
}

namespace {

void BlendSolidPixel(uint8_t* pixel, const SolidPixelColor& color, int mode, int blendParam, int colorType) {
  if (pixel == nullptr) return;
  SolidCall call;
  SetUpSolidCall(&call, color, mode, blendParam, colorType);
  WithSolidOp(call, colorType, [&](auto op) { decltype(op)::Apply(pixel, call); });
}

}  // namespace

void BlendSolidPixel32(uint8_t* pixel, const SolidPixelColor& color, int mode, int blendParam) {
  BlendSolidPixel(pixel, color, mode, blendParam, MEMIMG_COLOR_32);
}

void BlendSolidPixel16(uint8_t* pixel, const SolidPixelColor& color, int mode, int blendParam) {
  BlendSolidPixel(pixel, color, mode, blendParam, MEMIMG_COLOR_16);
}
