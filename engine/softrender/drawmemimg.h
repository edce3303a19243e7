// Tamrak engine: unscaled drawing of a whole software image.
#pragma once

#include "engine/draw/memimg.h"

// Draws the whole of src with its top-left pixel at (x, y) of dest, clipped to DrawArea and to
// dest, under DrawBlendMode, DrawBlendParam and DrawBrightness. transFlag non-zero skips
// transparent pixels (transparent colour, palette index or alpha); exactly 1 lets a sprite with
// a run-length code take its run path. blendImage, when given, holds one weight byte per source
// pixel (mapped through BlendGraphAlphaTable) and must be at least the source's size. Draws
// nothing for unsuitable images or modes. Not re-entrant for the same destination.
void DrawMemImg(MEMIMG* dest, const MEMIMG* src, int x, int y, int transFlag, const MEMIMG* blendImage);
