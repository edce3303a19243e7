// Tamrak engine: software images (MEMIMG over a shared MemImgBase) and their run-length
// transparency code.
#include "engine/draw/memimg.h"

#include <cstring>
#include <vector>

namespace {

ColorData MakeFormat(uint8_t depth, uint16_t pixelByte, int paletteCount) {
  ColorData cd{};
  cd.ColorBitDepth = depth;
  cd.BytesPerPixel = pixelByte;
  cd.PaletteCount = paletteCount;
  return cd;
}

ColorData MakeXRGB8(bool alpha) {
  ColorData cd = MakeFormat(32, 4, 0);
  cd.RedWidth = cd.GreenWidth = cd.BlueWidth = 8;
  cd.RedShift = 16, cd.GreenShift = 8, cd.BlueShift = 0;
  cd.RedMask = 0x00FF0000u, cd.GreenMask = 0x0000FF00u, cd.BlueMask = 0x000000FFu;
  if (alpha) {
    cd.AlphaWidth = 8, cd.AlphaShift = 24, cd.AlphaMask = 0xFF000000u;
  } else {
    cd.UnusedMask = 0xFF000000u;
  }
  return cd;
}

// RGB565; with alpha the word is followed by an alpha byte and an unused byte.
ColorData MakeRGB565(bool alpha) {
  ColorData cd = MakeFormat(16, alpha ? 4 : 2, 0);
  cd.RedWidth = 5, cd.GreenWidth = 6, cd.BlueWidth = 5;
  cd.RedShift = 11, cd.GreenShift = 5, cd.BlueShift = 0;
  cd.RedMask = 0xF800u, cd.GreenMask = 0x07E0u, cd.BlueMask = 0x001Fu;
  if (alpha) {
    cd.AlphaWidth = 8, cd.AlphaShift = 16, cd.AlphaMask = 0x00FF0000u;
    cd.UnusedMask = 0xFF000000u;
  }
  return cd;
}

ColorData Format32 = MakeXRGB8(false);
ColorData Format32Alpha = MakeXRGB8(true);
ColorData Format32Palette = MakeFormat(8, 1, 256);
ColorData Format16 = MakeRGB565(false);
ColorData Format16Alpha = MakeRGB565(true);
ColorData Format16Palette = MakeFormat(8, 1, 256);
ColorData Format8 = MakeFormat(8, 1, 0);

constexpr int kPaletteBytes = 256 * 4;
constexpr size_t kMaxImageBytes = size_t(1) << 30;

}  // namespace

ColorData* GetMemImgColorData(int colorType, int usePalette, int useAlpha) {
  switch (colorType) {
    case MEMIMG_COLOR_32:
      return usePalette ? &Format32Palette : useAlpha ? &Format32Alpha : &Format32;
    case MEMIMG_COLOR_16:
      return usePalette ? &Format16Palette : useAlpha ? &Format16Alpha : &Format16;
    case MEMIMG_COLOR_8A:
    case MEMIMG_COLOR_8B:
      return &Format8;
    default:
      return nullptr;
  }
}

int MakeMemImg(MEMIMG* img, int width, int height, int colorType, int usePalette, int useAlpha) {
  if (img == nullptr) return -1;
  std::memset(img, 0, sizeof(*img));
  const bool paletted = usePalette != 0 && (colorType == MEMIMG_COLOR_16 || colorType == MEMIMG_COLOR_32);
  ColorData* cd = GetMemImgColorData(colorType, paletted, useAlpha);
  if (cd == nullptr || width <= 0 || height <= 0) return -1;

  const size_t pitch = (size_t(width) * cd->BytesPerPixel + 3) & ~size_t(3);
  if (pitch > kMaxImageBytes / size_t(height)) return -1;
  const size_t bytes = pitch * size_t(height);

  auto* base = static_cast<MemImgBase*>(TK_CALLOC(sizeof(MemImgBase)));
  if (base == nullptr) return -1;
  base->Pixels = static_cast<uint8_t*>(TK_CALLOC(bytes));
  if (paletted) base->Palette = TK_CALLOC(kPaletteBytes);
  if (base->Pixels == nullptr || (paletted && base->Palette == nullptr)) {
    MemFree(base->Pixels);
    MemFree(base->Palette);
    MemFree(base);
    return -1;
  }
  base->RefCount = 1;
  base->Width = width;
  base->Height = height;
  base->Pitch = static_cast<int>(pitch);
  base->Color = cd;
  base->ColorType = colorType;
  base->UsePalette = paletted ? 1 : 0;
  base->PaletteCount = paletted ? 256 : 0;
  base->UseAlpha = (useAlpha != 0 && !paletted) ? 1 : 0;

  img->Valid = 1;
  img->Width = width;
  img->Height = height;
  img->TopLeft = base->Pixels;
  img->Base = base;
  return 0;
}

int DeriveMemImg(MEMIMG* dst, const MEMIMG* src, int x, int y, int width, int height) {
  if (dst == nullptr || src == nullptr || src->Valid == 0 || src->Base == nullptr) return -1;
  if (x < 0 || y < 0 || width <= 0 || height <= 0 || width > src->Width - x || height > src->Height - y) return -1;
  MemImgBase* base = src->Base;
  const int bpp = base->Color != nullptr ? base->Color->BytesPerPixel : 1;
  MEMIMG view{};
  view.Valid = 1;
  view.Width = width;
  view.Height = height;
  view.TopLeft = src->TopLeft + size_t(y) * size_t(base->Pitch) + size_t(x) * size_t(bpp);
  view.Base = base;
  base->RefCount++;
  *dst = view;
  return 0;
}

void TerminateMemImg(MEMIMG* img) {
  if (img == nullptr || img->Valid == 0) return;
  MemImgBase* base = img->Base;
  if (base != nullptr && --base->RefCount <= 0) {
    MemFree(base->Pixels);
    MemFree(base->Palette);
    MemFree(base->TransCode);
    MemFree(base->TransCodeIndex);
    MemFree(base);
  }
  std::memset(img, 0, sizeof(*img));
}

// Code layout: per row, runs of one kind of at most 64 pixels (byte = kind | count - 1), then
// MEMIMG_TRANSCODE_ROWEND; one such row per base row, top row first. An alpha image gives
// alpha 0 the clear kind, 255 the opaque kind and the rest the partial kind; an image without
// alpha gives its transparent colour (or palette index) the clear kind, all else opaque.
int MakeMemImgTransCode(MEMIMG* img) {
  if (img == nullptr || img->Valid == 0 || img->Base == nullptr) return -1;
  MemImgBase* base = img->Base;
  if (base->ColorType != MEMIMG_COLOR_16 && base->ColorType != MEMIMG_COLOR_32) return -1;
  const ColorData* cd = base->Color;
  if (cd == nullptr || base->Pixels == nullptr) return -1;
  base->UseTransCode = 0;  // a stale code must not be walked if this fails
  const int bpp = cd->BytesPerPixel;

  auto kindOf = [&](const uint8_t* px) -> uint8_t {
    if (base->UsePalette) return px[0] == base->TransColor ? MEMIMG_TRANSCODE_CLEAR : MEMIMG_TRANSCODE_OPAQUE;
    if (base->UseAlpha) {
      const uint8_t a = base->ColorType == MEMIMG_COLOR_32 ? px[3] : px[2];
      return a == 0 ? MEMIMG_TRANSCODE_CLEAR : a == 255 ? MEMIMG_TRANSCODE_OPAQUE : MEMIMG_TRANSCODE_PARTIAL;
    }
    uint32_t v = 0;
    std::memcpy(&v, px, base->ColorType == MEMIMG_COLOR_32 ? 4 : 2);
    return v == base->TransColor ? MEMIMG_TRANSCODE_CLEAR : MEMIMG_TRANSCODE_OPAQUE;
  };

  std::vector<uint8_t> code;
  code.reserve(size_t(base->Height) * 8);
  const size_t blocks = (size_t(base->Width) + 63) / 64;
  std::vector<int> index;
  index.reserve(size_t(base->Height) * blocks * 2);
  for (int y = 0; y < base->Height; ++y) {
    const uint8_t* row = base->Pixels + size_t(y) * size_t(base->Pitch);
    int x = 0;
    while (x < base->Width) {
      const uint8_t kind = kindOf(row + size_t(x) * size_t(bpp));
      int n = 1;
      while (x + n < base->Width && n < MEMIMG_TRANSCODE_MAXRUN && kindOf(row + size_t(x + n) * size_t(bpp)) == kind) ++n;
      // Runs are at most 64 long, so each starts or holds at most one multiple of 64.
      if (x % 64 == 0 || x / 64 != (x + n - 1) / 64) {
        index.push_back(static_cast<int>(code.size()));
        index.push_back(x);
      }
      code.push_back(static_cast<uint8_t>(kind | (n - 1)));
      x += n;
    }
    code.push_back(MEMIMG_TRANSCODE_ROWEND);
  }

  auto* buffer = static_cast<uint8_t*>(TK_MALLOC(code.size()));
  if (buffer == nullptr) return -1;
  std::memcpy(buffer, code.data(), code.size());
  MemFree(base->TransCode);
  base->TransCode = buffer;
  base->TransCodeSize = static_cast<int>(code.size());
  // The index lets a view of part of the image find its runs; without it only whole images
  // take the run path.
  MemFree(base->TransCodeIndex);
  base->TransCodeIndex = static_cast<int*>(TK_MALLOC(index.size() * sizeof(int)));
  if (base->TransCodeIndex != nullptr) std::memcpy(base->TransCodeIndex, index.data(), index.size() * sizeof(int));
  base->UseTransCode = 1;
  return 0;
}
