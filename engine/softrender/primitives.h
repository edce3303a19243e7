// Tamrak engine: solid-colour drawing into software images: boxes, lines, circles.
#pragma once

#include <cstdint>

#include "engine/draw/memimg.h"

// The colour of one drawing call after brightness, in the destination's format.
struct SolidPixelColor {
  uint32_t color;   // 32-bit: B, G, R, fourth byte; 16-bit: RGB565 in the low 16 bits
  uint32_t scaled;  // T of add and subtract: each channel or field times p / 255
};

// Brightness is applied here, once per call; colorType 0 is RGB565, 1 is 32-bit.
SolidPixelColor PrepareSolidPixelColor(uint32_t color, int colorType, int blendParam);
// The operation every touched pixel receives (0, 1, 2, 3, 4, 10 or 11), or -1: draw nothing.
int GetSolidEffectiveMode(int blendMode, int blendParam);
// One destination pixel (4 bytes, or one RGB565 word) under an effective mode.
void BlendSolidPixel32(uint8_t* pixel, const SolidPixelColor& color, int mode, int blendParam);
void BlendSolidPixel16(uint8_t* pixel, const SolidPixelColor& color, int mode, int blendParam);

// All of these clip to DrawArea and to the destination, and draw under the draw state.
// A paletted or alpha-carrying destination is never touched.
void FillBoxMemImg(MEMIMG* dest, const RECT* rect, uint32_t color);  // rect null: whole image
// The start point is drawn, the end point is not.
void DrawLineMemImg(MEMIMG* dest, int x1, int y1, int x2, int y2, uint32_t color);
void DrawLineListMemImg(MEMIMG* dest, const MemImgLine* list, int count);
// fill 0: the outline; otherwise the disc. A negative radius draws nothing.
void DrawCircleMemImg(MEMIMG* dest, int cx, int cy, int r, uint32_t color, int fill);
