// Base images, their colour formats, the YUV converters and the software-image conversions.
#include "engine/draw/baseimage.h"

#include <cstring>

namespace {

ColorData Make8BitChannels(uint8_t depth, uint16_t pixelByte, bool alpha) {
  ColorData cd{};
  cd.ColorBitDepth = depth;
  cd.BytesPerPixel = pixelByte;
  cd.RedWidth = cd.GreenWidth = cd.BlueWidth = 8;
  cd.RedShift = 16, cd.GreenShift = 8, cd.BlueShift = 0;
  cd.RedMask = 0x00FF0000u, cd.GreenMask = 0x0000FF00u, cd.BlueMask = 0x000000FFu;
  if (alpha) {
    cd.AlphaWidth = 8, cd.AlphaShift = 24, cd.AlphaMask = 0xFF000000u;
  } else if (pixelByte == 4) {
    cd.UnusedMask = 0xFF000000u;
  }
  return cd;
}

int MakeBaseImage32(int width, int height, BaseImage* image, bool alpha) {
  if (!image) return -1;
  std::memset(image, 0, sizeof(*image));
  if (width < 1 || height < 1 || width > IMAGE_MAX_SIDE || height > IMAGE_MAX_SIDE) return -1;
  size_t bytes = size_t(width) * 4 * size_t(height);
  void* pixels = TK_CALLOC(bytes);
  if (!pixels) return -1;
  image->Color = Make8BitChannels(32, 4, alpha);
  image->Width = width;
  image->Height = height;
  image->Pitch = width * 4;
  image->Pixels = pixels;
  return 0;
}

// ---------------------------------------------------------------- YUV

// BT.601 studio range in 14-bit fixed point: 1.164, 1.596, 0.391, 0.813, 2.018.
constexpr int kYScale = 19071, kVR = 26149, kUG = 6406, kVG = 13320, kUB = 33063;

inline uint8_t Clamp255(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

inline void PutYUV(uint8_t* out, int y, int u, int v) {
  const int c = kYScale * (y - 16);
  const int d = u - 128, e = v - 128;
  out[0] = Clamp255((c + kUB * d) / 16384);
  out[1] = Clamp255((c - kUG * d - kVG * e) / 16384);
  out[2] = Clamp255((c + kVR * e) / 16384);
  out[3] = 255;
}

bool FitsFrame(int width, int height, const BaseImage* image) {
  return image && image->Pixels && image->Color.BytesPerPixel == 4 && width > 0 && height > 0 &&
         width <= image->Width && height <= image->Height;
}

uint8_t* RowOf(const BaseImage* image, int y) {
  return static_cast<uint8_t*>(image->Pixels) + size_t(y) * size_t(image->Pitch);
}

// Planar or semi-planar frames: chroma sample (x / xDiv, y / yDiv) after the Y plane,
// as two planes or as U, V pairs.
int ConvertPlanar(const void* frame, int width, int height, BaseImage* image, int xDiv, int yDiv, bool pairs,
                  bool vFirst) {
  if (!frame || !FitsFrame(width, height, image)) return -1;
  const auto* src = static_cast<const uint8_t*>(frame);
  const size_t cw = size_t((width + xDiv - 1) / xDiv);
  const size_t ch = size_t((height + yDiv - 1) / yDiv);
  const uint8_t* yPlane = src;
  const uint8_t* c0 = src + size_t(width) * size_t(height);
  for (int y = 0; y < height; ++y) {
    uint8_t* out = RowOf(image, y);
    const uint8_t* yRow = yPlane + size_t(y) * size_t(width);
    const size_t cy = size_t(y / yDiv);
    for (int x = 0; x < width; ++x) {
      const size_t cx = size_t(x / xDiv);
      int u, v;
      if (pairs) {
        const uint8_t* pair = c0 + (cy * cw + cx) * 2;
        u = pair[0];
        v = pair[1];
      } else {
        const uint8_t* first = c0 + cy * cw + cx;
        const uint8_t* second = first + cw * ch;
        u = vFirst ? *second : *first;
        v = vFirst ? *first : *second;
      }
      PutYUV(out + size_t(x) * 4, yRow[x], u, v);
    }
  }
  return 0;
}

// Packed 4:2:2 frames: byte positions of Y0, U, Y1, V within each group of four.
int ConvertPacked(const void* frame, int width, int height, BaseImage* image, int y0, int u, int y1, int v) {
  if (!frame || !FitsFrame(width, height, image)) return -1;
  const auto* src = static_cast<const uint8_t*>(frame);
  const size_t rowBytes = size_t((width + 1) / 2) * 4;
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = src + size_t(y) * rowBytes;
    uint8_t* out = RowOf(image, y);
    for (int x = 0; x < width; x += 2) {
      const uint8_t* g = in + size_t(x / 2) * 4;
      PutYUV(out + size_t(x) * 4, g[y0], g[u], g[v]);
      if (x + 1 < width) PutYUV(out + size_t(x + 1) * 4, g[y1], g[u], g[v]);
    }
  }
  return 0;
}

// A software image's 16-bit colour: the top bits of each channel.
inline uint16_t Rgb565Of(uint8_t r, uint8_t g, uint8_t b) {
  return uint16_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

uint8_t Widen(uint32_t value, int bits) {
  // Repeating the top bits maps the field's maximum to 255.
  return bits == 5 ? uint8_t((value << 3) | (value >> 2)) : uint8_t((value << 2) | (value >> 4));
}

}  // namespace

int MakeColorDataXRGB8(ColorData* color) {
  if (!color) return -1;
  *color = Make8BitChannels(32, 4, false);
  return 0;
}

int MakeColorDataARGB8(ColorData* color) {
  if (!color) return -1;
  *color = Make8BitChannels(32, 4, true);
  return 0;
}

int MakeColorDataFull(ColorData* color) {
  if (!color) return -1;
  *color = Make8BitChannels(24, 3, false);
  return 0;
}

int MakeBaseImageXRGB8(int width, int height, BaseImage* image) { return MakeBaseImage32(width, height, image, false); }
int MakeBaseImageARGB8(int width, int height, BaseImage* image) { return MakeBaseImage32(width, height, image, true); }

int ReleaseBaseImage(BaseImage* image) {
  if (!image) return -1;
  if (!image->PixelsBorrowed) MemFree(image->Pixels);
  std::memset(image, 0, sizeof(*image));
  return 0;
}

int ConvertYV12ToBaseImage(const void* frame, int width, int height, BaseImage* image) {
  return ConvertPlanar(frame, width, height, image, 2, 2, false, true);
}
int ConvertNV12ToBaseImage(const void* frame, int width, int height, BaseImage* image) {
  return ConvertPlanar(frame, width, height, image, 2, 2, true, false);
}
int ConvertYUV411ToBaseImage(const void* frame, int width, int height, BaseImage* image) {
  return ConvertPlanar(frame, width, height, image, 4, 1, true, false);
}
int ConvertYUY2ToBaseImage(const void* frame, int width, int height, BaseImage* image) {
  return ConvertPacked(frame, width, height, image, 0, 1, 2, 3);
}
int ConvertUYVYToBaseImage(const void* frame, int width, int height, BaseImage* image) {
  return ConvertPacked(frame, width, height, image, 1, 0, 3, 2);
}
int ConvertYVYUToBaseImage(const void* frame, int width, int height, BaseImage* image) {
  return ConvertPacked(frame, width, height, image, 0, 3, 2, 1);
}

// ---------------------------------------------------------------- pixels

void GetBaseImagePixel(const BaseImage* image, int x, int y, uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a) {
  const ColorData& cd = image->Color;
  const uint8_t* p = RowOf(image, y) + size_t(x) * cd.BytesPerPixel;
  uint32_t v = 0;
  for (int i = 0; i < cd.BytesPerPixel && i < 4; ++i) v |= uint32_t(p[i]) << (8 * i);
  *r = uint8_t((v & cd.RedMask) >> cd.RedShift);
  *g = uint8_t((v & cd.GreenMask) >> cd.GreenShift);
  *b = uint8_t((v & cd.BlueMask) >> cd.BlueShift);
  *a = cd.AlphaWidth ? uint8_t((v & cd.AlphaMask) >> cd.AlphaShift) : 255;
}

int ConvertBaseImageToMemImg(const BaseImage* image, MEMIMG* img) {
  if (!image || !image->Pixels || !img || !img->Valid || !img->Base) return -1;
  const MemImgBase* base = img->Base;
  if (image->Width != img->Width || image->Height != img->Height || base->UsePalette) return -1;
  if (image->Color.BytesPerPixel != 3 && image->Color.BytesPerPixel != 4) return -1;
  const bool alpha = base->UseAlpha != 0;
  const int bpp = base->Color->BytesPerPixel;
  for (int y = 0; y < img->Height; ++y) {
    uint8_t* out = img->TopLeft + size_t(y) * size_t(base->Pitch);
    for (int x = 0; x < img->Width; ++x, out += bpp) {
      uint8_t r, g, b, a;
      GetBaseImagePixel(image, x, y, &r, &g, &b, &a);
      if (base->ColorType == MEMIMG_COLOR_32) {
        out[0] = b;
        out[1] = g;
        out[2] = r;
        out[3] = alpha ? a : 0;  // the whole word is compared with the transparent colour
      } else if (base->ColorType == MEMIMG_COLOR_16) {
        const uint16_t word = Rgb565Of(r, g, b);
        std::memcpy(out, &word, 2);
        if (alpha) {
          out[2] = a;
          out[3] = 0;
        }
      } else {
        return -1;
      }
    }
  }
  return 0;
}

int PutMemImgPixels(MEMIMG* img, int y, int x, int step, const uint8_t* pixels, int count) {
  if (!img || !img->Valid || !img->Base || img->Base->UsePalette || !pixels || step < 1 || count < 0)
    return -1;
  const MemImgBase* base = img->Base;
  if (base->ColorType != MEMIMG_COLOR_16 && base->ColorType != MEMIMG_COLOR_32) return -1;
  if (y < 0 || y >= img->Height || x < 0 || (count && (int64_t(count) - 1) * step >= int64_t(img->Width) - x))
    return -1;
  const size_t bpp = base->Color->BytesPerPixel;
  const size_t stride = size_t(step) * bpp;
  uint8_t* out = img->TopLeft + size_t(y) * size_t(base->Pitch) + size_t(x) * bpp;
  const uint8_t* in = pixels;
  const uint8_t* end = pixels + size_t(count) * 4;
  // One loop per format, as ConvertBaseImageToMemImg stores each.
  if (base->ColorType == MEMIMG_COLOR_32 && base->UseAlpha) {
    for (; in != end; in += 4, out += stride) std::memcpy(out, in, 4);
  } else if (base->ColorType == MEMIMG_COLOR_32) {
    for (; in != end; in += 4, out += stride) out[0] = in[0], out[1] = in[1], out[2] = in[2], out[3] = 0;
  } else if (base->UseAlpha) {
    for (; in != end; in += 4, out += stride) {
      const uint16_t word = Rgb565Of(in[2], in[1], in[0]);
      std::memcpy(out, &word, 2);
      out[2] = in[3], out[3] = 0;
    }
  } else {
    for (; in != end; in += 4, out += stride) {
      const uint16_t word = Rgb565Of(in[2], in[1], in[0]);
      std::memcpy(out, &word, 2);
    }
  }
  return 0;
}

int MakeBaseImageFromMemImg(const MEMIMG* img, int x, int y, int width, int height, BaseImage* image) {
  if (!image) return -1;
  std::memset(image, 0, sizeof(*image));
  if (!img || !img->Valid || !img->Base || img->Base->UsePalette) return -1;
  const MemImgBase* base = img->Base;
  if (base->ColorType != MEMIMG_COLOR_16 && base->ColorType != MEMIMG_COLOR_32) return -1;
  if (x < 0 || y < 0 || width < 1 || height < 1 || width > img->Width - x || height > img->Height - y) return -1;
  const size_t pitch = (size_t(width) * 3 + 3) & ~size_t(3);
  auto* pixels = static_cast<uint8_t*>(TK_CALLOC(pitch * size_t(height)));
  if (!pixels) return -1;
  const int bpp = base->Color->BytesPerPixel;
  for (int j = 0; j < height; ++j) {
    const uint8_t* in = img->TopLeft + size_t(y + j) * size_t(base->Pitch) + size_t(x) * size_t(bpp);
    uint8_t* out = pixels + size_t(j) * pitch;
    for (int i = 0; i < width; ++i, in += bpp, out += 3) {
      if (base->ColorType == MEMIMG_COLOR_32) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
      } else {
        uint16_t word;
        std::memcpy(&word, in, 2);
        out[0] = Widen(word & 0x1Fu, 5);
        out[1] = Widen((word >> 5) & 0x3Fu, 6);
        out[2] = Widen(word >> 11, 5);
      }
    }
  }
  MakeColorDataFull(&image->Color);
  image->Width = width;
  image->Height = height;
  image->Pitch = int(pitch);
  image->Pixels = pixels;
  return 0;
}
