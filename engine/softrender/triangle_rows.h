// Tamrak engine: the span loops of the triangle draw. Included only by the files that
// instantiate them.
#pragma once

#include "engine/softrender/triangle_walk.h"

namespace tamrak::soft {

template <class K>
void TriangleRows(const TriSetup& t, const PixelCtx& c) {
  TriSpans spans(t);
  TriSpan sp;
  while (spans.Next(sp)) {
    uint8_t* d = sp.d;
    uint32_t u = sp.u, v = sp.v;
    for (int i = 0; i < sp.count; ++i, d += K::DstBytes, u += t.dudx, v += t.dvdx) {
      if (u >= t.uLimit || v >= t.vLimit) continue;
      const ptrdiff_t tu = u >> kFix, tv = v >> kFix;
      const uint8_t* b = nullptr;
      if constexpr (K::kBlend) b = t.blend + tv * t.blendPitch + tu;
      typename K::Px px;
      const int cls = K::Load(c, t.src + tv * t.srcPitch + tu * K::SrcBytes, b, px);
      if (cls == kPlain) {
        K::template Store<false>(c, px, d);
      } else if constexpr (K::CanScale) {
        if (cls == kScaled) K::template Store<true>(c, px, d);
      }
    }
  }
}

template <Fmt F, SrcKind S, Mode M>
void TriangleDraw(const TriSetup& t, const PixelCtx& c, const DrawFlags& f) {
  // With transparency on, a texel of alpha 0 leaves the pixel alone in every mode, as unscaled.
  WithKernel<F, S, M, true>(f.blend, f.bright, f.alpha, f.trans,
                                      [&](auto k) { TriangleRows<decltype(k)>(t, c); });
}

template <Fmt F, Mode M>
void TriangleFill(const TriSetup& t, const PixelCtx& c, uint32_t colour) {
  // A flat colour is a source pixel without alpha, transparency, brightness or blend image.
  using K = Kernel<F, SrcKind::Direct, M, false, false, false, false, true>;
  uint8_t bytes[4];
  if constexpr (F == Fmt::C32) Store32(bytes, colour);
  else Store16(bytes, colour);
  typename K::Px px;
  K::Load(c, bytes, nullptr, px);
  TriSpans spans(t);
  TriSpan sp;
  while (spans.Next(sp)) {
    uint8_t* d = sp.d;
    for (int i = 0; i < sp.count; ++i, d += K::DstBytes) K::template Store<false>(c, px, d);
  }
}

}  // namespace tamrak::soft

#define TAMRAK_TRIANGLE_MODE(M)                                                                     \
  template void TriangleDraw<Fmt::C32, SrcKind::Palette, M>(const TriSetup&, const PixelCtx&,       \
                                                            const DrawFlags&);                      \
  template void TriangleDraw<Fmt::C32, SrcKind::Direct, M>(const TriSetup&, const PixelCtx&,        \
                                                           const DrawFlags&);                       \
  template void TriangleDraw<Fmt::C16, SrcKind::Palette, M>(const TriSetup&, const PixelCtx&,       \
                                                            const DrawFlags&);                      \
  template void TriangleDraw<Fmt::C16, SrcKind::Direct, M>(const TriSetup&, const PixelCtx&,        \
                                                           const DrawFlags&);
