// Tamrak engine: the fixed-point walk of the stretched draw, shared by its loop files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/softrender/stretch_kernels.h"

namespace tamrak::soft {

// Set up once per call; counters and scales are 16.16 destination pixels.
struct StretchWalk {
  uint8_t* dst;  // first visible destination pixel
  ptrdiff_t dstPitch;
  const uint8_t* src;  // source top-left pixel
  ptrdiff_t srcPitch;
  const uint8_t* blend;  // blend image top-left byte, or null
  ptrdiff_t blendPitch;
  int col0, row0;  // source pixel of the first visible destination pixel
  int dirX, dirY;  // +1, or -1 on a mirrored axis
  int32_t sx, sy;  // destination pixels per source pixel
  int32_t cx0, cy0;  // what remains of the first source column and row
  int cw, ch;  // visible size
  bool special;  // the special-geometry walks may be taken (source and destination apart)
};

struct DrawFlags {
  bool blend, bright, alpha, trans;
};

// One per source format, source kind and mode; defined in stretch_rows.h.
template <Fmt F, SrcKind S, Mode M>
void StretchDraw(const StretchWalk& w, const PixelCtx& c, const DrawFlags& f);

}  // namespace tamrak::soft
