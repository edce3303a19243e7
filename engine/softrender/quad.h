// Tamrak engine: a whole software image drawn onto four free corners.
#pragma once

#include "engine/draw/memimg.h"

// corners: x, y of corner 0 (the source's top-left), 1 (top-right), 2 (bottom-left) and
// 3 (bottom-right), in destination pixels. Drawn as the triangles 0, 1, 2 and 1, 2, 3 with
// DrawTriangleMemImg, which makes every check; src must not be null.
void DrawQuadMemImg(MEMIMG* dest, const MEMIMG* src, const int* corners, int trans, const MEMIMG* blend);
