// Tamrak engine: triangle set-up, scan conversion and dispatch.
#include "engine/softrender/triangle.h"

#include <utility>

#include "engine/softrender/triangle_walk.h"

using namespace tamrak::soft;

namespace {

constexpr int kMinCoord = -8192, kMaxCoord = 8191;  // what 14.18 holds
constexpr int kMaxSourceSide = 16383;

// Whole pixels of a 14.18 value, rounded down, so a triangle crossing the top or left edge
// keeps its shape.
int64_t Whole(int64_t v) { return v >= 0 ? v / kOne : -((-v + kOne - 1) / kOne); }

bool InRange(int v) { return v >= kMinCoord && v <= kMaxCoord; }

template <Fmt F>
void DispatchTextured(Mode m, bool pal, const TriSetup& t, const PixelCtx& c, const DrawFlags& f) {
#define TAMRAK_CASE(M)                                        \
  case M:                                                     \
    if (pal) TriangleDraw<F, SrcKind::Palette, M>(t, c, f);   \
    else TriangleDraw<F, SrcKind::Direct, M>(t, c, f);        \
    break;
  switch (m) {
    TAMRAK_CASE(Mode::Copy)
    TAMRAK_CASE(Mode::Alpha)
    TAMRAK_CASE(Mode::Add)
    TAMRAK_CASE(Mode::Sub)
    TAMRAK_CASE(Mode::Mul)
    TAMRAK_CASE(Mode::Invert)
    TAMRAK_CASE(Mode::MulAlpha)
    case Mode::SubSaturate: break;
  }
#undef TAMRAK_CASE
}

template <Fmt F>
void DispatchFill(Mode m, const TriSetup& t, const PixelCtx& c, uint32_t colour) {
  switch (m) {
    case Mode::Copy: TriangleFill<F, Mode::Copy>(t, c, colour); break;
    case Mode::Alpha: TriangleFill<F, Mode::Alpha>(t, c, colour); break;
    case Mode::Add: TriangleFill<F, Mode::Add>(t, c, colour); break;
    case Mode::Sub: TriangleFill<F, Mode::Sub>(t, c, colour); break;
    case Mode::Mul: TriangleFill<F, Mode::Mul>(t, c, colour); break;
    case Mode::Invert: TriangleFill<F, Mode::Invert>(t, c, colour); break;
    case Mode::MulAlpha: TriangleFill<F, Mode::MulAlpha>(t, c, colour); break;
    case Mode::SubSaturate: break;
  }
}

// The pixel rule for the current blend mode, or false when nothing is drawn.
bool ChooseMode(bool paletted, Mode* m) {
  const int p = DrawBlendParam;
  switch (static_cast<uint32_t>(DrawBlendMode)) {
    case BlendMode::None: *m = Mode::Copy; return true;
    case BlendMode::Alpha:
      if (p <= 0) return false;
      *m = p >= 255 ? Mode::Copy : Mode::Alpha;
      return true;
    case BlendMode::Add:
      *m = Mode::Add;
      return p > 0;
    case BlendMode::Subtract:
      *m = Mode::Sub;
      return p > 0 || paletted;
    case BlendMode::Multiply: *m = Mode::Mul; return true;
    case BlendMode::InvertedAlpha: *m = Mode::Invert; return true;
    case BlendMode::MultiplyThenAlpha: *m = Mode::MulAlpha; return true;
    default: return false;
  }
}

}  // namespace

namespace tamrak::soft {

TriSpans::TriSpans(const TriSetup& t)
    : t_(t),
      lx_(t.left[0].x),
      rx_(t.right[0].x),
      lstep_(t.left[0].step),
      rstep_(t.right[0].step),
      lrows_(t.left[0].rows),
      rrows_(t.right[0].rows),
      row_(t.firstRow),
      leftMore_(t.leftTwo),
      rightMore_(t.rightTwo),
      done_(false) {}

bool TriSpans::Next(TriSpan& out) {
  while (!done_) {
    const int y = row_;
    int xl = static_cast<int>(Whole(lx_));
    const int xr = static_cast<int>(Whole(rx_));
    lx_ += lstep_;
    rx_ += rstep_;
    --lrows_;
    --rrows_;
    ++row_;
    if (lrows_ == 0) {
      if (!leftMore_) {
        done_ = true;
      } else {
        leftMore_ = false;
        lx_ = t_.left[1].x;
        lstep_ = t_.left[1].step;
        lrows_ = t_.left[1].rows;
        row_ = t_.midRow;
      }
    }
    if (!done_ && rrows_ == 0) {
      if (!rightMore_) {
        done_ = true;
      } else {
        rightMore_ = false;
        rx_ = t_.right[1].x;
        rstep_ = t_.right[1].step;
        rrows_ = t_.right[1].rows;
      }
    }

    // Both ends are inclusive; rows off the area still moved the edges on.
    const RECT& a = t_.area;
    if (y < a.top || y >= a.bottom) continue;
    if (xl < a.left) xl = a.left;
    const int count = xr - xl + 1;
    if (xl >= a.right || count <= 0) continue;
    out.count = count < a.right - xl ? count : a.right - xl;
    out.d = t_.dst + static_cast<ptrdiff_t>(y) * t_.dstPitch + static_cast<ptrdiff_t>(xl) * t_.dstBytes;
    const uint32_t dy = static_cast<uint32_t>(y - t_.yRef), dx = static_cast<uint32_t>(xl - t_.xRef);
    out.u = t_.uRef + dy * t_.dudy + dx * t_.dudx;
    out.v = t_.vRef + dy * t_.dvdy + dx * t_.dvdx;
    return true;
  }
  return false;
}

}  // namespace tamrak::soft

void DrawTriangleMemImg(MEMIMG* dest, const MEMIMG* src, const MemImgVertex* vertices, int trans,
                        const MEMIMG* blend, uint32_t colour) {
  if (dest == nullptr || dest->Base == nullptr || vertices == nullptr) return;
  const MemImgBase& db = *dest->Base;
  if (src != nullptr && (src->Base == nullptr || src->Base->ColorType != db.ColorType)) return;
  if (db.UsePalette != 0 || db.UseAlpha != 0) return;
  if (db.ColorType != MEMIMG_COLOR_16 && db.ColorType != MEMIMG_COLOR_32) return;
  for (int i = 0; i < 3; ++i) {
    const MemImgVertex& v = vertices[i];
    if (!InRange(v.x) || !InRange(v.y)) return;
    if (src != nullptr && (!InRange(v.u) || !InRange(v.v))) return;
  }
  bool pal = false;
  if (src != nullptr) {
    const MemImgBase& sb = *src->Base;
    if (src->Width <= 0 || src->Height <= 0 || src->Width > kMaxSourceSide || src->Height > kMaxSourceSide)
      return;
    pal = sb.UsePalette == 1;
    if (pal && sb.Palette == nullptr) return;
    if (blend != nullptr && (blend->Base == nullptr || blend->Width < src->Width || blend->Height < src->Height))
      return;
  }

  // 14.18, at the pixel centre; texels at their corner.
  int64_t X[3], Y[3];
  for (int i = 0; i < 3; ++i) {
    X[i] = vertices[i].x * kOne + kOne / 2;
    Y[i] = vertices[i].y * kOne + kOne / 2;
  }
  int ox[3] = {0, 1, 2}, oy[3] = {0, 1, 2};
  for (int i = 0; i < 2; ++i) {
    for (int j = i + 1; j < 3; ++j) {
      if (X[ox[i]] > X[ox[j]]) std::swap(ox[i], ox[j]);
      if (Y[oy[i]] > Y[oy[j]]) std::swap(oy[i], oy[j]);
    }
  }

  const MemImgVertex& p0 = vertices[ox[0]];
  const MemImgVertex& p1 = vertices[ox[1]];
  const MemImgVertex& p2 = vertices[ox[2]];
  const int32_t dx01 = p1.x - p0.x, dy01 = p1.y - p0.y, dx02 = p2.x - p0.x, dy02 = p2.y - p0.y;
  const int32_t cross = dx02 * dy01 - dx01 * dy02;
  if (cross == 0) return;

  TriSetup t{};
  if (src != nullptr) {
    const int32_t du01 = p1.u - p0.u, du02 = p2.u - p0.u, dv01 = p1.v - p0.v, dv02 = p2.v - p0.v;
    const auto gradient = [cross](int32_t num) {
      return static_cast<uint32_t>(DoubleToInt(static_cast<double>(num) * 262144.0 / cross));
    };
    t.dudx = gradient(dy01 * du02 - dy02 * du01);
    t.dudy = gradient(du01 * dx02 - dx01 * du02);
    t.dvdx = gradient(dy01 * dv02 - dv01 * dy02);
    t.dvdy = gradient(dv01 * dx02 - dv02 * dx01);
    t.uRef = static_cast<uint32_t>(p0.u * static_cast<int32_t>(kOne));
    t.vRef = static_cast<uint32_t>(p0.v * static_cast<int32_t>(kOne));
    t.uLimit = static_cast<uint32_t>(src->Width) << kFix;
    t.vLimit = static_cast<uint32_t>(src->Height) << kFix;
    t.src = src->TopLeft;
    t.srcPitch = src->Base->Pitch;
    t.blend = blend ? blend->TopLeft : nullptr;
    t.blendPitch = blend ? blend->Base->Pitch : 0;
  }
  t.xRef = p0.x;
  t.yRef = p0.y;

  // Sides, from the top (T), middle (M) and bottom (B) vertex.
  const int T = oy[0], M = oy[1], B = oy[2];
  bool ok = true;
  const auto edge = [&](int s, int e, int64_t startX) {
    TriEdge ed;
    ed.x = startX;
    ed.rows = vertices[e].y - vertices[s].y;
    ed.step = ed.rows != 0 ? (X[e] - startX) / ed.rows : 0;
    if (ed.rows == 0) ok = false;
    return ed;
  };
  if (Y[T] == Y[M]) {
    const int lt = X[T] > X[M] ? M : T, rt = X[T] > X[M] ? T : M;
    t.left[0] = edge(lt, B, X[lt]);
    t.right[0] = edge(rt, B, X[rt]);
  } else if (Y[M] == Y[B]) {
    const int le = X[M] > X[B] ? B : M, re = X[M] > X[B] ? M : B;
    t.left[0] = edge(T, le, X[T]);
    t.right[0] = edge(T, re, X[T]);
  } else {
    // Slope T->M against T->B, cross-multiplied by the positive row counts.
    const int64_t lhs = int64_t{vertices[M].x - vertices[T].x} * (vertices[B].y - vertices[T].y);
    const int64_t rhs = int64_t{vertices[B].x - vertices[T].x} * (vertices[M].y - vertices[T].y);
    if (lhs < rhs) {
      t.left[0] = edge(T, M, X[T]);
      t.left[1] = edge(M, B, X[M]);
      t.leftTwo = true;
      t.right[0] = edge(T, B, X[T]);
    } else {
      t.left[0] = edge(T, B, X[T]);
      t.right[0] = edge(T, M, X[T]);
      t.right[1] = edge(M, B, X[M] + 1);
      t.rightTwo = true;
    }
  }
  if (!ok) return;
  t.firstRow = vertices[T].y;
  t.midRow = vertices[M].y;

  RECT area = DrawArea;
  const RECT whole = {0, 0, dest->Width, dest->Height};
  ClipRect(&area, &whole);
  if (area.right <= area.left || area.bottom <= area.top) return;
  t.area = area;
  t.dst = dest->TopLeft;
  t.dstPitch = db.Pitch;
  t.dstBytes = db.ColorType == MEMIMG_COLOR_32 ? 4 : 2;

  Mode m;
  if (!ChooseMode(src != nullptr && pal, &m)) return;
  const PixelCtx c = MakePixelCtx(src);

  if (src == nullptr) {
    // The fill colour is brightened once, each channel at its own width.
    uint32_t fill;
    if (db.ColorType == MEMIMG_COLOR_32) {
      fill = (colour & 0xFF000000u) | pixel::PackBGR(c.bright[0][pixel::Blue(colour)],
                                                     c.bright[1][pixel::Green(colour)],
                                                     c.bright[2][pixel::Red(colour)]);
      DispatchFill<Fmt::C32>(m, t, c, fill);
    } else {
      colour &= 0xFFFFu;
      fill = pixel::Pack565(c.bright[2][pixel::Red565(colour)], c.bright[1][pixel::Green565(colour)],
                            c.bright[0][pixel::Blue565(colour)]);
      DispatchFill<Fmt::C16>(m, t, c, fill);
    }
    return;
  }

  const MemImgBase& sb = *src->Base;
  const DrawFlags f = {blend != nullptr, pixel::BrightnessOn(DrawBrightness), !pal && sb.UseAlpha == 1,
                       trans != 0};
  if (sb.ColorType == MEMIMG_COLOR_32) DispatchTextured<Fmt::C32>(m, pal, t, c, f);
  else DispatchTextured<Fmt::C16>(m, pal, t, c, f);
}
