// Tamrak engine: the scan conversion of the triangle draw, shared by its loop files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/softrender/stretch_walk.h"

namespace tamrak::soft {

// Coordinates are 14.18 fixed point: one pixel or texel is 262144.
constexpr int kFix = 18;
constexpr int64_t kOne = int64_t{1} << kFix;

// One side of a triangle is a chain of one or two of these.
struct TriEdge {
  int64_t x;     // start X, 14.18
  int64_t step;  // per row, 14.18
  int rows;
};

// Fixed once per triangle.
struct TriSetup {
  TriEdge left[2], right[2];
  bool leftTwo, rightTwo;  // a second edge follows the first
  int firstRow, midRow;    // rows of the top and middle vertex
  RECT area;               // DrawArea kept inside the destination
  uint8_t* dst;
  ptrdiff_t dstPitch;
  int dstBytes;
  // Texture: U and V wrap modulo 2^32 and are bound-tested as unsigned numbers.
  uint32_t uRef, vRef, dudx, dudy, dvdx, dvdy;
  int xRef, yRef;
  uint32_t uLimit, vLimit;  // source width and height, 14.18
  const uint8_t* src;
  ptrdiff_t srcPitch;
  const uint8_t* blend;
  ptrdiff_t blendPitch;
};

// One visible run of a row, clipped to the area; u, v are the texel position of its first pixel.
struct TriSpan {
  uint8_t* d;
  int count;
  uint32_t u, v;
};

// Walks the rows of a triangle from top to bottom and hands out the visible spans.
class TriSpans {
 public:
  explicit TriSpans(const TriSetup& t);
  bool Next(TriSpan& out);

 private:
  const TriSetup& t_;
  int64_t lx_, rx_, lstep_, rstep_;
  int lrows_, rrows_, row_;
  bool leftMore_, rightMore_, done_;
};

// Defined in triangle_rows.h.
template <Fmt F, SrcKind S, Mode M>
void TriangleDraw(const TriSetup& t, const PixelCtx& c, const DrawFlags& f);
// colour: one pixel of the destination's format, brightness already applied.
template <Fmt F, Mode M>
void TriangleFill(const TriSetup& t, const PixelCtx& c, uint32_t colour);

}  // namespace tamrak::soft
