// Tamrak engine: software images, the software draw state and the blend tables.
#pragma once

#include <cstdint>

#include "engine/system/system.h"

// A colour-format descriptor.
struct ColorData {
  uint8_t ColorBitDepth;  // 8, 16, 24 or 32
  uint16_t BytesPerPixel;     // bytes per pixel as stored
  uint8_t RedWidth, GreenWidth, BlueWidth, AlphaWidth;
  uint8_t RedShift, GreenShift, BlueShift, AlphaShift;
  uint32_t RedMask, GreenMask, BlueMask, AlphaMask;
  uint32_t UnusedMask;
  int PaletteCount;  // 0 for direct colour
};

enum MemImgColorType : int {
  MEMIMG_COLOR_16 = 0,  // RGB565 (4 bytes per pixel with alpha: colour word, alpha byte, unused byte)
  MEMIMG_COLOR_32 = 1,  // bytes B, G, R, X (X is alpha when the alpha flag is set)
  MEMIMG_COLOR_8A = 2,  // single-channel images, not drawn by the rasteriser
  MEMIMG_COLOR_8B = 3,
};

// The pixel store behind one or more MEMIMG views.
struct MemImgBase {
  int RefCount;
  int Width, Height;
  int Pitch;  // bytes per row
  ColorData* Color;
  uint32_t TransColor;  // transparent index for a paletted image, else the pixel value
  int ColorType;        // MemImgColorType
  int UsePalette;       // pixels are 8-bit indices
  int PaletteCount;     // entries used, at most 256
  int UseAlpha;
  int UseTransCode;     // TransCode is complete
  void* Palette;        // 256 entries of 4 bytes (B, G, R, X) or of one RGB565 word
  uint8_t* TransCode;   // run-length transparency code, MEMIMG_TRANSCODE_* below
  uint8_t* Pixels;      // the whole store
  int TransCodeSize;    // bytes in TransCode
  // Where to start reading TransCode for column 64 * b of row y, or null: at [2 * (y * blocks
  // + b)] the offset of the run holding that column, after it the run's first column;
  // blocks = (Width + 63) / 64.
  int* TransCodeIndex;
};

// A software image: a view of Width x Height pixels into a base.
struct MEMIMG {
  int Valid;  // non-zero while valid
  int Width, Height;
  uint8_t* TopLeft;   // top-left pixel of the view
  MemImgBase* Base;
};

// Triangle corner: destination pixel and source texel, whole numbers.
struct MemImgVertex {
  int32_t x, y, u, v;
};

// One record of a line list; param is not read by the list draw.
struct MemImgLine {
  int32_t x1, y1, x2, y2;
  uint32_t color;
  int32_t param;
};

// ---------------------------------------------------------------- draw state

extern RECT DrawArea;           // clip of every software draw, inside the destination
extern int DrawBlendMode;       // 0 none, 1 alpha, 2 add, 3 sub, 4 mul, 10 inverted alpha, 11 mul-then-alpha
extern int DrawBlendParam;      // 0..255
extern uint32_t DrawBrightness; // 0x00RRGGBB; low 24 bits 0xFFFFFF means off

enum : int {
  BlendMode::None = 0,
  BlendMode::Alpha = 1,
  BlendMode::Add = 2,
  BlendMode::Subtract = 3,
  BlendMode::Multiply = 4,
  BlendMode::InvertedAlpha = 10,
  BlendMode::MultiplyThenAlpha = 11,
};

// ---------------------------------------------------------------- blend tables

extern uint32_t BlendMulTable[256][256];         // [x][y] = x * y / 255
extern int32_t BlendDiffTable[256][512];         // [p][x + 255] = x * p / 255, toward zero
extern uint8_t BlendLerp6Table[64][64][64];      // [L][u][v] = (u * L + v * (63 - L)) / 63
extern uint8_t BlendGraphAlphaTable[256];        // blend-image byte -> weight k

int InitBlendTables();
// Builds BlendGraphAlphaTable for a blend image: bytes up to border weigh 255, bytes from
// border + range on weigh 0, linear in between (range 0 is a hard threshold). Both 0..255.
int SetBlendGraphAlphaTable(int border, int range);

// ---------------------------------------------------------------- software images

// The colour format of an image kind; BytesPerPixel is 4 for 32-bit and for 16-bit with alpha, 2 for
// 16-bit, 1 for paletted and single-channel images. Null for an unknown colour type.
ColorData* GetMemImgColorData(int colorType, int usePalette, int useAlpha);

// Makes an image with its own store (pixels and palette zeroed, rows padded to 4 bytes); 0 or -1.
// Palette images start with a zeroed 256-entry palette.
int MakeMemImg(MEMIMG* img, int width, int height, int colorType, int usePalette, int useAlpha);
// A view of a rectangle of src sharing its base.
int DeriveMemImg(MEMIMG* dst, const MEMIMG* src, int x, int y, int width, int height);
void TerminateMemImg(MEMIMG* img);
// Writes the run-length transparency code for the whole base from its pixels, transparent
// colour and alpha; 0 or -1. Call again after changing the pixels.
int MakeMemImgTransCode(MEMIMG* img);

// Run-length transparency code: one byte per run, kind in bits 7..6, count - 1 in bits 5..0.
enum : uint8_t {
  MEMIMG_TRANSCODE_CLEAR = 0x00,    // skipped
  MEMIMG_TRANSCODE_OPAQUE = 0x40,   // drawn without reading alpha
  MEMIMG_TRANSCODE_PARTIAL = 0x80,  // drawn with the pixel's alpha
  MEMIMG_TRANSCODE_ROWEND = 0xC0,   // any byte with both top bits set ends the row
};
constexpr int MEMIMG_TRANSCODE_MAXRUN = 64;
