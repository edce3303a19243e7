// Tamrak engine: DrawMemImg, the frame shared by all its loops: entry checks, clipping, the
// per-call context and the choice between the general and the run-length walk.
#include "engine/softrender/drawmemimg.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "engine/softrender/blend_rows.h"
#include "engine/softrender/drawmemimg_walk.h"

using namespace drawmemimg;

namespace {

// Bytes per pixel of an image kind as drawn.
int PixelBytes(const MemImgBase* base, bool paletted) {
  if (paletted) return 1;
  if (base->ColorType == MEMIMG_COLOR_32) return 4;
  return base->UseAlpha == 1 ? 4 : 2;
}

bool Usable(const MEMIMG* img) {
  return img != nullptr && img->Valid != 0 && img->Base != nullptr && img->TopLeft != nullptr &&
         img->Width >= 0 && img->Height >= 0;
}

int ClampToInt(long long v) { return v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : int(v); }

}  // namespace

void DrawMemImg(MEMIMG* dest, const MEMIMG* src, int x, int y, int transFlag, const MEMIMG* blendImage) {
  if (!Usable(dest) || !Usable(src)) return;
  const MemImgBase* sb = src->Base;
  const MemImgBase* db = dest->Base;
  if (sb->ColorType != db->ColorType || db->UsePalette == 1 || db->UseAlpha == 1) return;
  if (sb->ColorType != MEMIMG_COLOR_16 && sb->ColorType != MEMIMG_COLOR_32) return;
  const bool paletted = sb->UsePalette == 1;
  const bool is32 = sb->ColorType == MEMIMG_COLOR_32;
  const int srcBytes = PixelBytes(sb, paletted);
  const int dstBytes = is32 ? 4 : 2;
  // A colour format that disagrees with the flags would walk the rows with the wrong step.
  if (sb->Color != nullptr && sb->Color->BytesPerPixel != srcBytes) return;
  if (db->Color != nullptr && db->Color->BytesPerPixel != dstBytes) return;
  if (blendImage != nullptr &&
      (!Usable(blendImage) || blendImage->Width < src->Width || blendImage->Height < src->Height))
    return;

  // The draw state, settled into one mode.
  const int p = std::clamp(DrawBlendParam, 0, 255);
  int mode = DrawBlendMode;
  if (static_cast<unsigned>(mode) > 11u) return;
  switch (mode) {
    case 1:
      if (p == 0) return;
      if (p == 255) mode = 0;
      break;
    case 2:
      if (p == 0) return;
      break;
    case 3:
      if (p == 0 && !paletted) return;
      break;
    case 0:
    case 4:
    case 10:
    case 11:
      break;
    default:
      return;
  }

  RECT r = {x, y, ClampToInt((long long)x + src->Width), ClampToInt((long long)y + src->Height)};
  ClipRect(&r, &DrawArea);
  r.left = std::max(r.left, 0), r.top = std::max(r.top, 0);
  r.right = std::min(r.right, dest->Width), r.bottom = std::min(r.bottom, dest->Height);
  if (r.right <= r.left || r.bottom <= r.top) return;
  const int w = r.right - r.left, h = r.bottom - r.top;
  const long long sx = (long long)r.left - x, sy = (long long)r.top - y;

  Context c;
  c.w = w;
  c.h = h;
  c.srcPitch = sb->Pitch;
  c.dstPitch = db->Pitch;
  c.src = src->TopLeft + sy * c.srcPitch + sx * srcBytes;
  c.dst = dest->TopLeft + (long long)r.top * c.dstPitch + (long long)r.left * dstBytes;
  c.blend = nullptr;
  c.blendPitch = 0;
  if (blendImage != nullptr) {
    c.blendPitch = blendImage->Base->Pitch;
    c.blend = blendImage->TopLeft + sy * c.blendPitch + sx;
  }
  c.key = sb->TransColor;
  c.p = static_cast<uint32_t>(p);
  c.mulP = pixel::MulRow(p);
  c.brightness = DrawBrightness & 0xFFFFFFu;
  c.bright = pixel::MakeBrightRows(c.brightness);
  c.diffP = pixel::DiffRow(p);
  c.lerp6 = pixel::Lerp6Level(p);
  c.code = c.codeEnd = nullptr;
  c.sheetIndex = nullptr;
  c.sheetCol = c.sheetRow = c.sheetWidth = 0;

  // Entries beyond the palette's count read as 0.
  std::memset(c.palette, 0, sizeof c.palette);
  if (paletted && sb->Palette != nullptr) {
    const int count = std::clamp(sb->PaletteCount, 0, 256);
    const auto* bytes = static_cast<const uint8_t*>(sb->Palette);
    for (int i = 0; i < count; ++i) c.palette[i] = is32 ? pixel::Load32(bytes + 4 * i) : pixel::Load16(bytes + 2 * i);
  }

  Choice ch;
  ch.mode = mode;
  ch.blend = blendImage != nullptr;
  ch.bright = pixel::BrightnessOn(DrawBrightness);
  ch.alpha = !paletted && sb->UseAlpha == 1;
  ch.trans = transFlag != 0;
  ch.mmx = ProcessorHasMMX == 1;

  // The code describes the whole base, so only a view of the whole base drawn unclipped may
  // follow it.
  const bool runs = transFlag == 1 && sb->UseTransCode == 1 && sb->TransCode != nullptr && w == src->Width &&
                    h == src->Height && src->TopLeft == sb->Pixels && src->Width == sb->Width &&
                    src->Height == sb->Height;
  if (runs) {
    c.code = sb->TransCode;
    c.codeEnd = sb->TransCode + std::max(sb->TransCodeSize, 0);
    if (is32) {
      if (paletted) DrawRuns<Palette32>(c, ch);
      else DrawRuns<Source32>(c, ch);
    } else {
      if (paletted) DrawRuns<Palette16>(c, ch);
      else if (ch.alpha) DrawRuns<Source16Alpha>(c, ch);
      else DrawRuns<Source16>(c, ch);
    }
    return;
  }

  // Any other view or clip of a coded image finds its runs through the code's index and
  // walks only the spans not marked clear: what the general walk skips, pixel by pixel.
  if (transFlag == 1 && sb->UseTransCode == 1 && sb->TransCode != nullptr && sb->TransCodeIndex != nullptr &&
      rows::SpecialWalks()) {
    const ptrdiff_t off = src->TopLeft - sb->Pixels;
    const ptrdiff_t row = sb->Pitch > 0 ? off / sb->Pitch : -1, colBytes = sb->Pitch > 0 ? off % sb->Pitch : -1;
    if (off >= 0 && colBytes % srcBytes == 0 && row + src->Height <= sb->Height &&
        colBytes / srcBytes + src->Width <= sb->Width) {
      c.code = sb->TransCode;
      c.codeEnd = sb->TransCode + std::max(sb->TransCodeSize, 0);
      c.sheetIndex = sb->TransCodeIndex;
      c.sheetCol = int(colBytes / srcBytes + sx);
      c.sheetRow = int(row + sy);
      c.sheetWidth = sb->Width;
    }
  }

  if (is32) {
    if (paletted) DrawGeneral<Palette32>(c, ch);
    else DrawGeneral<Source32>(c, ch);
  } else {
    if (paletted) DrawGeneral<Palette16>(c, ch);
    else if (ch.alpha) DrawGeneral<Source16Alpha>(c, ch);
    else DrawGeneral<Source16>(c, ch);
  }
}
