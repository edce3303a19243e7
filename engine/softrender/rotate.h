// Tamrak engine: rotated and scaled drawing of software images.
#pragma once

#include "engine/draw/memimg.h"

// Draws src turned by angle (radians, clockwise on screen) and scaled about (cx, cy), where its
// texel (width / 2, height / 2) lands. trans keys out the transparent colour, turn mirrors the
// image left to right, blend (an 8-bit image at least as large as src, or null) weights each texel.
// Clipped to DrawArea and to dest; draws under DrawBlendMode, DrawBlendParam and DrawBrightness.
// dest must be 16- or 32-bit without palette or alpha plane, of the same colour type as src.
void DrawRotatedMemImg(MEMIMG* dest, const MEMIMG* src, int cx, int cy, float angle, float scale, int trans,
                       int turn, const MEMIMG* blend);
