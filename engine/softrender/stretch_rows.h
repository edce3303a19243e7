// Tamrak engine: the row loop of the stretched draw. Included only by the files that
// instantiate it, so each mode family compiles in its own unit.
#pragma once

#include <cstring>

#include "engine/softrender/blend_rows.h"
#include "engine/softrender/stretch_walk.h"

namespace tamrak::soft {

// run destination pixels from d that show the source pixel at s (blend byte at b).
template <class K>
inline void PutRun(const PixelCtx& c, const uint8_t* s, const uint8_t* b, uint8_t* d, int run) {
  typename K::Px px;
  const int cls = K::Load(c, s, b, px);
  if (cls == kPlain) {
    for (int i = 0; i < run; ++i) K::template Store<false>(c, px, d + i * K::DstBytes);
  } else if constexpr (K::CanScale) {
    if (cls == kScaled)
      for (int i = 0; i < run; ++i) K::template Store<true>(c, px, d + i * K::DstBytes);
  }
}

// The walks first copy the walk and the context into locals: a store through a byte pointer
// may alias any memory, so fields read through a reference would be read again every pixel.
template <class K>
void StretchRows(const StretchWalk& walk, const PixelCtx& ctx) {
  const StretchWalk w = walk;
  const PixelCtx c = ctx;
  const ptrdiff_t colStep = w.dirX * K::SrcBytes;
  const ptrdiff_t blendColStep = K::kBlend ? w.dirX : 0;
  // One destination row from the source row at offset s (blend row at b).
  auto row = [&](ptrdiff_t s, ptrdiff_t b, uint8_t* d) {
    int32_t cx = w.cx0;
    int left = w.cw;
    for (;;) {
      // Destination pixels that show this source pixel: ceil(cx / 65536).
      int run = static_cast<int>((static_cast<int64_t>(cx) + 0xFFFF) >> 16);
      if (run > left) run = left;
      PutRun<K>(c, w.src + s, K::kBlend ? w.blend + b : nullptr, d, run);
      d += run * K::DstBytes;
      left -= run;
      if (left == 0) return;
      cx -= run * 65536;
      do {
        cx += w.sx;
        s += colStep;
        b += blendColStep;
      } while (cx <= 0);
    }
  };

  const ptrdiff_t rowStep = w.dirY * w.srcPitch;
  ptrdiff_t srcRow = w.row0 * w.srcPitch + static_cast<ptrdiff_t>(w.col0) * K::SrcBytes;
  ptrdiff_t blendRow = 0, blendRowStep = 0;
  if constexpr (K::kBlend) {
    blendRow = w.row0 * w.blendPitch + w.col0;
    blendRowStep = w.dirY * w.blendPitch;
  }
  uint8_t* dstRow = w.dst;
  int32_t cy = w.cy0;
  bool sameSourceRow = false;
  for (int j = 0;;) {
    if (K::kIgnoresDest && sameSourceRow) {
      // A row that shows the same source row as the one above is a copy of it.
      std::memcpy(dstRow, dstRow - w.dstPitch, static_cast<size_t>(w.cw) * K::DstBytes);
    } else {
      row(srcRow, blendRow, dstRow);
    }
    if (++j == w.ch) break;
    dstRow += w.dstPitch;
    cy -= 65536;
    sameSourceRow = cy > 0;
    while (cy <= 0) {
      cy += w.sy;
      srcRow += rowStep;
      blendRow += blendRowStep;
    }
  }
}

// Scale 1 on both axes, one of them mirrored: every destination pixel shows one source pixel,
// so the counters go. A copy of the source as it stands moves whole rows: reversed by a row
// kernel, keyed or not, where mirrored left to right, else (unkeyed) as they are.
template <class K>
void MirrorRows(const StretchWalk& walk, const PixelCtx& ctx) {
  const StretchWalk w = walk;
  const PixelCtx c = ctx;
  const ptrdiff_t colStep = w.dirX * K::SrcBytes, blendColStep = K::kBlend ? w.dirX : 0;
  ptrdiff_t srcRow = w.row0 * w.srcPitch + static_cast<ptrdiff_t>(w.col0) * K::SrcBytes;
  ptrdiff_t blendRow = K::kBlend ? w.row0 * w.blendPitch + w.col0 : 0;
  uint8_t* dstRow = w.dst;
  const rows::Table& kernels = rows::Active();
  const rows::MirrorFn mirror = (K::k32 ? kernels.mirror32 : kernels.mirror16)[K::kTrans];
  // The source pixel of the row's first destination pixel, back to its row's leftmost.
  const ptrdiff_t toLeft = static_cast<ptrdiff_t>(w.cw - 1) * K::SrcBytes;
  for (int j = 0; j < w.ch; ++j) {
    if (K::kCopiesSource && w.dirX < 0) {
      mirror(dstRow, w.src + srcRow - toLeft, w.cw, c.transColor);
    } else if (K::kCopiesSource && !K::kTrans) {
      std::memcpy(dstRow, w.src + srcRow, static_cast<size_t>(w.cw) * K::DstBytes);
    } else {
      ptrdiff_t s = srcRow, b = blendRow;
      uint8_t* d = dstRow;
      for (int i = 0; i < w.cw; ++i, s += colStep, b += blendColStep, d += K::DstBytes)
        PutRun<K>(c, w.src + s, K::kBlend ? w.blend + b : nullptr, d, 1);
    }
    srcRow += w.dirY * w.srcPitch;
    if constexpr (K::kBlend) blendRow += w.dirY * w.blendPitch;
    dstRow += w.dstPitch;
  }
}

template <Fmt F, SrcKind S, Mode M>
void StretchDraw(const StretchWalk& w, const PixelCtx& c, const DrawFlags& f) {
  const bool oneToOne = w.sx == 65536 && w.sy == 65536 && w.special;
  WithKernel<F, S, M, true>(f.blend, f.bright, f.alpha, f.trans, [&](auto k) {
    if (oneToOne) MirrorRows<decltype(k)>(w, c);
    else StretchRows<decltype(k)>(w, c);
  });
}

}  // namespace tamrak::soft

// Instantiates StretchDraw of one mode for the four source tables.
#define TAMRAK_STRETCH_MODE(M)                                                                          \
  template void StretchDraw<Fmt::C32, SrcKind::Palette, M>(const StretchWalk&, const PixelCtx&,         \
                                                           const DrawFlags&);                           \
  template void StretchDraw<Fmt::C32, SrcKind::Direct, M>(const StretchWalk&, const PixelCtx&,          \
                                                          const DrawFlags&);                            \
  template void StretchDraw<Fmt::C16, SrcKind::Palette, M>(const StretchWalk&, const PixelCtx&,         \
                                                           const DrawFlags&);                           \
  template void StretchDraw<Fmt::C16, SrcKind::Direct, M>(const StretchWalk&, const PixelCtx&,          \
                                                          const DrawFlags&);
