// Tamrak engine: stretched drawing of a whole software image (set-up and dispatch).
#include "engine/softrender/stretch.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "engine/softrender/blend_rows.h"
#include "engine/softrender/drawmemimg.h"
#include "engine/softrender/stretch_walk.h"

using namespace tamrak::soft;

namespace {

// Sides of the destination rectangle are 16.16 numbers: below 32768. Sources above that
// size could let the nearest-pixel index reach one past the last pixel.
constexpr int64_t kMaxSide = 32767;

template <Fmt F>
void DispatchMode(Mode m, SrcKind kind, const StretchWalk& w, const PixelCtx& c, const DrawFlags& f) {
  const bool pal = kind == SrcKind::Palette;
#define TAMRAK_CASE(M)                                                     \
  case M:                                                                  \
    if (pal) StretchDraw<F, SrcKind::Palette, M>(w, c, f);                 \
    else StretchDraw<F, SrcKind::Direct, M>(w, c, f);                      \
    break;
  switch (m) {
    TAMRAK_CASE(Mode::Copy)
    TAMRAK_CASE(Mode::Alpha)
    TAMRAK_CASE(Mode::Add)
    TAMRAK_CASE(Mode::Sub)
    TAMRAK_CASE(Mode::Mul)
    TAMRAK_CASE(Mode::Invert)
    TAMRAK_CASE(Mode::MulAlpha)
    case Mode::SubSaturate:
      if constexpr (F == Fmt::C32) {
        if (pal) StretchDraw<F, SrcKind::Palette, Mode::SubSaturate>(w, c, f);
        else StretchDraw<F, SrcKind::Direct, Mode::SubSaturate>(w, c, f);
      }
      break;
  }
#undef TAMRAK_CASE
}

// A plain copy at twice the source's size, unmirrored: destination column X from the
// unclipped left shows source column X / 2, so each source pixel is written twice, and rows
// go in pairs that show one source row. An odd clipped start shows its first column or row
// once.
void DoubleRows(const StretchWalk& w, int bytes) {
  const rows::DoubleFn twice = bytes == 4 ? rows::Active().double32 : rows::Active().double16;
  const int oddX = w.cx0 == 0x10000 ? 1 : 0, oddY = w.cy0 == 0x10000 ? 1 : 0;
  const uint8_t* s0 = w.src + w.row0 * w.srcPitch + static_cast<ptrdiff_t>(w.col0) * bytes;
  uint8_t* d = w.dst;
  for (int j = 0; j < w.ch;) {
    const int shown = j == 0 && oddY ? 1 : std::min(2, w.ch - j);
    uint8_t* d2 = shown == 2 ? d + w.dstPitch : nullptr;
    const uint8_t* s = s0 + static_cast<ptrdiff_t>((j + oddY) / 2) * w.srcPitch;
    int n = w.cw, at = 0;
    if (oddX) {
      std::memcpy(d, s, bytes);
      if (d2) std::memcpy(d2, s, bytes);
      s += bytes, at = bytes, --n;
    }
    twice(d + at, d2 ? d2 + at : nullptr, s, n / 2);
    if (n % 2) {
      const ptrdiff_t last = at + static_cast<ptrdiff_t>(n - 1) * bytes;
      std::memcpy(d + last, s + static_cast<ptrdiff_t>(n / 2) * bytes, bytes);
      if (d2) std::memcpy(d2 + last, s + static_cast<ptrdiff_t>(n / 2) * bytes, bytes);
    }
    j += shown;
    d += shown * w.dstPitch;
  }
}

// Orders one axis; returns the direction.
int Order(int a, int b, int64_t* lo, int64_t* hi) {
  if (a > b) {
    *lo = b;
    *hi = a;
    return -1;
  }
  *lo = a;
  *hi = b;
  return 1;
}

}  // namespace

void DrawStretchMemImg(MEMIMG* dest, const MEMIMG* src, const int* rect, int transFlag, const MEMIMG* blend) {
  if (dest == nullptr || src == nullptr || rect == nullptr || dest->Base == nullptr || src->Base == nullptr)
    return;
  int64_t left, right, top, bottom;
  const int dirX = Order(rect[0], rect[2], &left, &right);
  const int dirY = Order(rect[1], rect[3], &top, &bottom);
  const int64_t w = right - left, h = bottom - top;
  if (w == 0 || h == 0) return;
  if (w == src->Width && h == src->Height && dirX > 0 && dirY > 0) {
    DrawMemImg(dest, src, static_cast<int>(left), static_cast<int>(top), transFlag, blend);
    return;
  }

  const MemImgBase& sb = *src->Base;
  const MemImgBase& db = *dest->Base;
  // The loops write pixels of the source's format; refuse what the unscaled draw refuses.
  if (sb.ColorType != MEMIMG_COLOR_16 && sb.ColorType != MEMIMG_COLOR_32) return;
  if (db.ColorType != sb.ColorType || db.UsePalette != 0 || db.UseAlpha != 0) return;
  if (src->Width <= 0 || src->Height <= 0 || src->Width > kMaxSide || src->Height > kMaxSide) return;
  if (w > kMaxSide || h > kMaxSide) return;
  if (blend != nullptr && (blend->Base == nullptr || blend->Width < src->Width || blend->Height < src->Height))
    return;

  const bool pal = sb.UsePalette == 1;
  if (pal && sb.Palette == nullptr) return;
  const bool alpha = !pal && sb.UseAlpha == 1;
  const uint32_t mode = static_cast<uint32_t>(DrawBlendMode);
  const int p = DrawBlendParam;
  const bool bright = pixel::BrightnessOn(DrawBrightness);
  Mode m;
  switch (mode) {
    case BlendMode::None: m = Mode::Copy; break;
    case BlendMode::Alpha:
      if (p <= 0) return;
      m = p >= 255 ? Mode::Copy : Mode::Alpha;
      break;
    case BlendMode::Add:
      if (p <= 0) return;
      m = Mode::Add;
      break;
    case BlendMode::Subtract:
      if (p <= 0 && !pal) return;
      m = Mode::Sub;
      // The packed-byte loop of the plainest case subtracts all four bytes.
      if (p >= 255 && blend == nullptr && !bright && !alpha && sb.ColorType == MEMIMG_COLOR_32 && ProcessorHasMMX == 1)
        m = Mode::SubSaturate;
      break;
    case BlendMode::Multiply: m = Mode::Mul; break;
    case BlendMode::InvertedAlpha: m = Mode::Invert; break;
    case BlendMode::MultiplyThenAlpha: m = Mode::MulAlpha; break;
    default: return;
  }

  const uint32_t sx = static_cast<uint32_t>(w << 16) / static_cast<uint32_t>(src->Width);
  const uint32_t sy = static_cast<uint32_t>(h << 16) / static_cast<uint32_t>(src->Height);
  if (sx == 0 || sy == 0) return;

  // DrawArea, kept inside the destination.
  RECT area = DrawArea;
  const RECT whole = {0, 0, dest->Width, dest->Height};
  ClipRect(&area, &whole);
  RECT r = {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right), static_cast<int>(bottom)};
  ClipRect(&r, &area);
  const int cw = r.right - r.left, ch = r.bottom - r.top;
  if (cw <= 0 || ch <= 0) return;

  // Destination column X from the unclipped left shows source column floor(X * 65536 / sx).
  const int64_t offX = (static_cast<int64_t>(r.left) - left) << 16;
  const int64_t offY = (static_cast<int64_t>(r.top) - top) << 16;
  const int ix = static_cast<int>(offX / sx), iy = static_cast<int>(offY / sy);

  StretchWalk wk;
  wk.dstPitch = db.Pitch;
  wk.dst = dest->TopLeft + static_cast<ptrdiff_t>(r.top) * db.Pitch +
           static_cast<ptrdiff_t>(r.left) * (sb.ColorType == MEMIMG_COLOR_32 ? 4 : 2);
  wk.src = src->TopLeft;
  wk.srcPitch = sb.Pitch;
  wk.blend = blend ? blend->TopLeft : nullptr;
  wk.blendPitch = blend ? blend->Base->Pitch : 0;
  wk.col0 = dirX > 0 ? ix : src->Width - ix - 1;
  wk.row0 = dirY > 0 ? iy : src->Height - iy - 1;
  wk.dirX = dirX;
  wk.dirY = dirY;
  wk.sx = static_cast<int32_t>(sx);
  wk.sy = static_cast<int32_t>(sy);
  wk.cx0 = static_cast<int32_t>(sx - static_cast<uint32_t>(offX % sx));
  wk.cy0 = static_cast<int32_t>(sy - static_cast<uint32_t>(offY % sy));
  wk.cw = cw;
  wk.ch = ch;
  wk.special = rows::SpecialWalks() && &sb != &db;

  if (m == Mode::Copy && sx == 0x20000 && sy == 0x20000 && dirX > 0 && dirY > 0 && !pal && !alpha && !bright &&
      blend == nullptr && transFlag == 0 && wk.special) {
    DoubleRows(wk, sb.ColorType == MEMIMG_COLOR_32 ? 4 : 2);
    return;
  }

  const PixelCtx c = MakePixelCtx(src);
  const DrawFlags f = {blend != nullptr, bright, alpha, transFlag != 0};
  const SrcKind kind = pal ? SrcKind::Palette : SrcKind::Direct;
  if (sb.ColorType == MEMIMG_COLOR_32) DispatchMode<Fmt::C32>(m, kind, wk, c, f);
  else DispatchMode<Fmt::C16>(m, kind, wk, c, f);
}
