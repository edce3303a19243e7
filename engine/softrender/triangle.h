// Tamrak engine: texture-mapped and flat-coloured triangles.
#pragma once

#include <cstdint>

#include "engine/draw/memimg.h"

// Draws one triangle into dest. Vertex x, y are destination pixels (the pixel centre is the
// corner), u, v source texels; all four must lie in -8192..8191. With a source the triangle is
// mapped affinely from it (src and dest of one colour type, dest without palette or alpha;
// the source at most 16383 pixels a side) and pixels whose texel lies outside the source are
// left alone; the blend image, when given, is read at the texel position and must be at least
// the source's size. With a null source it is filled with colour (a pixel of dest's format).
// Clipped to DrawArea; honours DrawBlendMode, DrawBlendParam, DrawBrightness and trans.
void DrawTriangleMemImg(MEMIMG* dest, const MEMIMG* src, const MemImgVertex* vertices, int trans,
                        const MEMIMG* blend, uint32_t colour);
