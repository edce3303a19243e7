// Tamrak engine: stretched drawing of a whole software image.
#pragma once

#include "engine/draw/memimg.h"

// Draws the whole of src into the rectangle rect = {x1, y1, x2, y2} of dest by nearest-pixel
// sampling; right and bottom are exclusive once each axis is ordered, and an axis given in
// reverse order (x1 > x2 or y1 > y2) is mirrored. Honours DrawArea, DrawBlendMode,
// DrawBlendParam, DrawBrightness, the transparency flag and the blend image (one byte per
// source pixel, at least the source's size). Draws nothing for unsuitable images.
void DrawStretchMemImg(MEMIMG* dest, const MEMIMG* src, const int* rect, int transFlag, const MEMIMG* blend);
