// Tamrak engine: rotated and scaled drawing of software images: geometry, tables, dispatch.
#include <cstring>
#include <new>
#include <vector>

#include "engine/softrender/rotate_scan.h"

using namespace softrender;

namespace {

constexpr int64_t kOne = int64_t{1} << kFixShift;  // one pixel
// Larger sides would push texel positions past 2^31, where the whole part turns negative.
constexpr int kMaxSide = 8192;

// The low 32 bits as a signed value: the mapping's products and sums wrap at 32 bits.
int32_t Wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

struct Mapping {
  int64_t cx, cy;
  int32_t sn, cn;  // sine and cosine of -angle, 14.18
  float scale;
  uint32_t uCentre, vCentre;  // source centre texel, 14.18
};

// Texel position of destination pixel (x, y): the inverse rotation, divided by the scale.
void MapPixel(const Mapping& m, int64_t x, int64_t y, int32_t* u, int32_t* v) {
  const uint32_t dx = static_cast<uint32_t>(x - m.cx), dy = static_cast<uint32_t>(y - m.cy);
  const uint32_t sn = static_cast<uint32_t>(m.sn), cn = static_cast<uint32_t>(m.cn);
  const int32_t nu = Wrap32(dx * cn - dy * sn);
  const int32_t nv = Wrap32(dx * sn + dy * cn);
  *u = Wrap32(int64_t{FloatToInt(static_cast<float>(nu) / m.scale)} + m.uCentre);
  *v = Wrap32(int64_t{FloatToInt(static_cast<float>(nv) / m.scale)} + m.vCentre);
}

int32_t Fixed(float f) { return FloatToInt(static_cast<float>(f * 262144.0)); }

bool SuitableImages(const MEMIMG* dest, const MEMIMG* src, const MEMIMG* blend) {
  if (!IsSolidDestination(dest) || src == nullptr || src->Base == nullptr || src->TopLeft == nullptr) return false;
  if (src->Base->ColorType != dest->Base->ColorType) return false;
  if (src->Width <= 0 || src->Height <= 0 || src->Width > kMaxSide || src->Height > kMaxSide) return false;
  if (src->Base->UsePalette != 0 && src->Base->Palette == nullptr) return false;
  if (blend != nullptr) {
    // The blend image is read at the source's texel positions.
    if (blend->Base == nullptr || blend->TopLeft == nullptr) return false;
    if (blend->Width < src->Width || blend->Height < src->Height) return false;
  }
  return true;
}

RotateScanFn SelectScan(const RotateVariant& variant, int p) {
  switch (static_cast<uint32_t>(DrawBlendMode)) {
    case 0: return SelectRotateScan<0>(variant);
    case 1:
      if (p == 0) return nullptr;
      return p == 255 ? SelectRotateScan<0>(variant) : SelectRotateScan<1>(variant);
    case 2: return p == 0 ? nullptr : SelectRotateScan<2>(variant);
    case 3: return p == 0 ? nullptr : SelectRotateScan<3>(variant);
    case 4: return SelectRotateScan<4>(variant);
    case 10: return SelectRotateScan<10>(variant);
    case 11: return SelectRotateScan<11>(variant);
    default: return nullptr;
  }
}

}  // namespace

void DrawRotatedMemImg(MEMIMG* dest, const MEMIMG* src, int cx, int cy, float angle, float scale, int trans,
                       int turn, const MEMIMG* blend) {
  if (!SuitableImages(dest, src, blend)) return;
  RECT clip;
  if (!GetDrawClip(dest, &clip)) return;
  const MemImgBase& sb = *src->Base;
  const uint32_t width = static_cast<uint32_t>(src->Width), height = static_cast<uint32_t>(src->Height);

  // Sine and cosine in 14.18: of -angle for the inverse mapping, of angle for the corners.
  float sinNeg, cosNeg, sinPos, cosPos;
  SinCosF(-angle, &sinNeg, &cosNeg);
  SinCosF(angle, &sinPos, &cosPos);
  const int32_t sn = Fixed(sinNeg), cn = Fixed(cosNeg), s = Fixed(sinPos), c = Fixed(cosPos);

  // Corners top-left, bottom-left, bottom-right, top-right: x cos - y sin, x sin + y cos.
  const float hw = static_cast<float>(width) * scale * 0.5f;
  const float hh = static_cast<float>(height) * scale * 0.5f;
  const float cw = static_cast<float>(c) * hw, sw = static_cast<float>(s) * hw;
  const float ch = static_cast<float>(c) * hh, sh = static_cast<float>(s) * hh;
  const float offX[4] = {-cw + sh, -cw - sh, cw - sh, cw + sh};
  const float offY[4] = {-ch - sw, ch - sw, ch + sw, -ch + sw};
  int64_t minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (int i = 0; i < 4; ++i) {
    const int64_t x = int64_t{cx} * kOne + FloatToInt(offX[i]);
    const int64_t y = int64_t{cy} * kOne + FloatToInt(offY[i]);
    if (i == 0 || x < minX) minX = x;
    if (i == 0 || x > maxX) maxX = x;
    if (i == 0 || y < minY) minY = y;
    if (i == 0 || y > maxY) maxY = y;
  }
  // Four corners on one row (scale 0 among them): nothing to draw.
  if (minY == maxY) return;

  // The box, with margins for the truncated corners, clipped.
  int64_t left = minX / kOne - 2, top = minY / kOne - 2, right = maxX / kOne + 4, bottom = maxY / kOne + 4;
  auto clamp = [](int64_t v, int64_t lo, int64_t hi) { return v < lo ? lo : (v > hi ? hi : v); };
  left = clamp(left, clip.left, clip.right);
  right = clamp(right, clip.left, clip.right);
  top = clamp(top, clip.top, clip.bottom);
  bottom = clamp(bottom, clip.top, clip.bottom);
  if (left == right || top == bottom) return;
  const int rows = static_cast<int>(bottom - top), cols = static_cast<int>(right - left);

  // Only the left column is mapped exactly; the rest follows by steps.
  const Mapping m{cx, cy, sn, cn, scale, (width >> 1) * static_cast<uint32_t>(kOne),
                  (height >> 1) * static_cast<uint32_t>(kOne)};
  int32_t ut, vt, ub, vb;
  MapPixel(m, left, top, &ut, &vt);
  MapPixel(m, left, bottom, &ub, &vb);
  uint32_t du = static_cast<uint32_t>(FloatToInt(static_cast<float>(c) / scale));
  const uint32_t dv = static_cast<uint32_t>(FloatToInt(static_cast<float>(sn) / scale));
  uint32_t ru = static_cast<uint32_t>(Wrap32((int64_t{ub} - ut) / rows));
  const uint32_t rv = static_cast<uint32_t>(Wrap32((int64_t{vb} - vt) / rows));
  uint32_t u0 = static_cast<uint32_t>(ut);
  if (turn != 0) {
    // Mirrored columns: u' = W - 1/262144 - u, so texel column c becomes W - 1 - c.
    u0 = width * static_cast<uint32_t>(kOne) - 1u - u0;
    du = 0u - du;
    ru = 0u - ru;
  }

  std::vector<const uint8_t*> srcRows, blendRows;
  try {
    srcRows.resize(height);
    if (blend != nullptr) blendRows.resize(height);
  } catch (const std::bad_alloc&) {
    return;
  }
  for (uint32_t i = 0; i < height; ++i) srcRows[i] = src->TopLeft + static_cast<ptrdiff_t>(i) * sb.Pitch;
  for (uint32_t i = 0; blend != nullptr && i < height; ++i) {
    blendRows[i] = blend->TopLeft + static_cast<ptrdiff_t>(i) * blend->Base->Pitch;
  }

  // Indices past the palette's entry count read zeros, never past its 256 entries.
  const bool paletted = sb.UsePalette != 0;
  const bool is32 = sb.ColorType == MEMIMG_COLOR_32;
  uint32_t palette32[256] = {};
  uint16_t palette16[256] = {};
  if (paletted) {
    const size_t count = sb.PaletteCount < 0 ? 0 : (sb.PaletteCount > 256 ? 256 : static_cast<size_t>(sb.PaletteCount));
    if (is32) {
      std::memcpy(palette32, sb.Palette, count * 4);
    } else {
      std::memcpy(palette16, sb.Palette, count * 2);
    }
  }

  const int p = ClampedBlendParam();
  const RotateVariant variant{sb.ColorType, paletted, !paletted && sb.UseAlpha != 0, blend != nullptr,
                              BrightnessOn(), trans != 0};
  const RotateScanFn scan = SelectScan(variant, p);
  if (scan == nullptr) return;

  const ptrdiff_t pitch = dest->Base->Pitch;
  RotateJob job;
  job.dest = dest->TopLeft + top * pitch + left * (is32 ? 4 : 2);
  job.pitch = pitch;
  job.rows = rows;
  job.cols = cols;
  job.u0 = u0;
  job.v0 = static_cast<uint32_t>(vt);
  job.du = du;
  job.dv = dv;
  job.ru = ru;
  job.rv = rv;
  job.uEnd = width * static_cast<uint32_t>(kOne);
  job.vEnd = height * static_cast<uint32_t>(kOne);
  job.srcRows = srcRows.data();
  job.blendRows = blendRows.data();
  job.palette = is32 ? static_cast<const void*>(palette32) : static_cast<const void*>(palette16);
  job.transColor = sb.TransColor;
  const uint32_t bright = DrawBrightness;
  job.ctx.bright[0] = BlendMulTable[bright & 0xFF];
  job.ctx.bright[1] = BlendMulTable[(bright >> 8) & 0xFF];
  job.ctx.bright[2] = BlendMulTable[(bright >> 16) & 0xFF];
  job.ctx.mulP = BlendMulTable[p];
  job.ctx.diffP = &BlendDiffTable[p][255];
  job.ctx.p = static_cast<uint32_t>(p);
  scan(job);
}
