// Tamrak engine: a whole software image drawn onto four free corners as two triangles.
#include "engine/softrender/quad.h"

#include <cstdint>

#include "engine/softrender/triangle.h"

void DrawQuadMemImg(MEMIMG* dest, const MEMIMG* src, const int* corners, int trans, const MEMIMG* blend) {
  if (dest == nullptr || src == nullptr || corners == nullptr) return;
  // A quick test of the bounding box, with a margin, against the draw area.
  int minX = corners[0], maxX = corners[0], minY = corners[1], maxY = corners[1];
  for (int i = 1; i < 4; ++i) {
    const int x = corners[i * 2], y = corners[i * 2 + 1];
    if (x < minX) minX = x;
    if (x > maxX) maxX = x;
    if (y < minY) minY = y;
    if (y > maxY) maxY = y;
  }
  // Far-out corners are refused by the triangle draw; keep the margins from overflowing.
  const auto sat = [](long long v) {
    return static_cast<int>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
  };
  RECT box = {sat(minX - 2LL), sat(minY - 2LL), sat(maxX + 4LL), sat(maxY + 4LL)};
  ClipRect(&box, &DrawArea);
  if (box.left == box.right || box.top == box.bottom) return;

  // Texel corners: the right and bottom ones lie one past the last texel.
  const int w = src->Width, h = src->Height;
  const MemImgVertex v[4] = {
      {corners[0], corners[1], 0, 0},
      {corners[2], corners[3], w, 0},
      {corners[4], corners[5], 0, h},
      {corners[6], corners[7], w, h},
  };
  DrawTriangleMemImg(dest, src, &v[0], trans, blend, 0);
  DrawTriangleMemImg(dest, src, &v[1], trans, blend, 0);
}
