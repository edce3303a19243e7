// The drawing interface: draw state, graph drawing, primitives, the screen and its files.
#include "engine/draw/draw.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/d3d9/graphics.h"
#include "engine/draw/baseimage.h"
#include "engine/softrender/softrender.h"
#include "engine/sound/movie/movie.h"
#include "platform/window/window.h"

namespace {

// Positions beyond this (pixels) can never reach an image and are not drawn.
constexpr int64_t kCoordLimit = int64_t(1) << 28;
// The stretched draw works in 16.16 fixed point: a side of 32768 pixels or more overflows it.
constexpr int64_t kStretchMaxSide = 32767;
// The rotated draw works in 14.18 fixed point: centre and corners within 8192 pixels.
constexpr double kRotateLimit = 8191.0;

struct DrawState {
  int blendGraph = -1;
  MEMIMG blendImage{};  // one weight byte per pixel, own store
  MemImgBase blendBase{};
  int fontSize = 16;
  int fontThickness = 6;
};

DrawState D;

bool InRange(int64_t v) { return v >= -kCoordLimit && v <= kCoordLimit; }

int Clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// The blend image for a source of this size, null when none is set.
// False when one is set but does not cover the source.
bool BlendFor(const MEMIMG* src, const MEMIMG** blend) {
  *blend = nullptr;
  if (D.blendGraph == -1) return true;
  if (D.blendImage.Width < src->Width || D.blendImage.Height < src->Height) return false;
  *blend = &D.blendImage;
  return true;
}

// A view of the blend image at (x, y), built by hand: its store is ours alone.
MEMIMG BlendView(const MEMIMG* blend, int x, int y, int width, int height) {
  MEMIMG view = *blend;
  view.Width = width;
  view.Height = height;
  view.TopLeft = blend->TopLeft + size_t(y) * size_t(blend->Base->Pitch) + size_t(x);
  return view;
}

struct GraphDraw {
  MEMIMG* dst;
  GraphHandleRecord* rec;
  const MEMIMG* blend;
};

// Common checks of the graph draws; 0 or -1.
int BeginGraphDraw(int graph, GraphDraw* call) {
  if (!IsGraphicsInitialized() || !GetGraphRecord(graph)) return -1;
  WaitWhileInactive();
  call->rec = GetGraphRecord(graph);
  if (call->rec && call->rec->MovieHandle != -1) UpdateMovie(call->rec->MovieHandle);
  call->dst = GetDrawTargetMemImg();
  if (!call->rec || !call->dst) return -1;
  // A graph drawn onto itself (or onto a graph sharing its pixels) would read what it writes.
  if (call->rec->SoftImage.Base == call->dst->Base) return -1;
  if (!BlendFor(&call->rec->SoftImage, &call->blend)) return -1;
  return 0;
}

void FreeBlendImage() {
  MemFree(D.blendBase.Pixels);
  D.blendBase = MemImgBase{};
  D.blendImage = MEMIMG{};
  D.blendGraph = -1;
}

}  // namespace

// ---------------------------------------------------------------- draw state

int SetDrawArea(int x1, int y1, int x2, int y2) {
  MEMIMG* target = GetDrawTargetMemImg();
  if (!target) return -1;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  // Every software draw relies on the area lying inside the target.
  auto clamp = [](int v, int hi) { return v < 0 ? 0 : v > hi ? hi : v; };
  DrawArea = RECT{clamp(x1, target->Width), clamp(y1, target->Height), clamp(x2, target->Width),
                  clamp(y2, target->Height)};
  return 0;
}

int SetDrawBlendMode(int mode, int param) {
  DrawBlendMode = mode;
  DrawBlendParam = Clamp255(param);
  return 0;
}

int SetDrawBrightness(int red, int green, int blue) {
  DrawBrightness = uint32_t(Clamp255(red)) << 16 | uint32_t(Clamp255(green)) << 8 | uint32_t(Clamp255(blue));
  return 0;
}

int SetBlendGraph(int blendGraph, int borderParam, int borderRange) {
  if (blendGraph == -1) {
    FreeBlendImage();
    return 0;
  }
  GraphHandleRecord* rec = GetGraphRecord(blendGraph);
  if (!rec) return -1;
  const MEMIMG& src = rec->SoftImage;
  const size_t pitch = (size_t(src.Width) + 3) & ~size_t(3);
  auto* pixels = static_cast<uint8_t*>(TK_CALLOC(pitch * size_t(src.Height)));
  if (!pixels) return -1;
  const MemImgBase* sb = src.Base;
  const int bpp = sb->Color->BytesPerPixel;
  for (int y = 0; y < src.Height; ++y) {
    const uint8_t* in = src.TopLeft + size_t(y) * size_t(sb->Pitch);
    uint8_t* out = pixels + size_t(y) * pitch;
    for (int x = 0; x < src.Width; ++x, in += bpp) {
      if (sb->ColorType == MEMIMG_COLOR_32) {
        out[x] = in[2];
      } else {
        const unsigned r5 = unsigned(in[1]) >> 3;
        out[x] = uint8_t(r5 << 3 | r5 >> 2);
      }
    }
  }
  FreeBlendImage();
  D.blendBase.RefCount = 1;
  D.blendBase.Width = src.Width;
  D.blendBase.Height = src.Height;
  D.blendBase.Pitch = int(pitch);
  D.blendBase.Color = GetMemImgColorData(MEMIMG_COLOR_8A, 0, 0);
  D.blendBase.ColorType = MEMIMG_COLOR_8A;
  D.blendBase.Pixels = pixels;
  D.blendImage.Valid = 1;
  D.blendImage.Width = src.Width;
  D.blendImage.Height = src.Height;
  D.blendImage.TopLeft = pixels;
  D.blendImage.Base = &D.blendBase;
  D.blendGraph = blendGraph;
  SetBlendGraphAlphaTable(borderParam, borderRange);
  return 0;
}

// ---------------------------------------------------------------- graphs

int DrawGraph(int x, int y, int graph, int transFlag) {
  GraphDraw call;
  if (BeginGraphDraw(graph, &call) != 0) return -1;
  if (!InRange(x) || !InRange(y)) return 0;
  DrawMemImg(call.dst, &call.rec->SoftImage, x, y, transFlag, call.blend);
  return 0;
}

int DrawRectPartGraph(int x, int y, int srcX, int srcY, int width, int height, int graph, int transFlag,
                      int turnFlag) {
  GraphDraw call;
  if (BeginGraphDraw(graph, &call) != 0) return -1;
  if (width < 1 || height < 1) return -1;
  const MEMIMG* src = &call.rec->SoftImage;
  // The whole image is drawn shifted, with the area narrowed to the rectangle.
  const int64_t left = x, top = y, right = int64_t(x) + width, bottom = int64_t(y) + height;
  const int64_t imgX = turnFlag ? int64_t(x) - (int64_t(src->Width) - srcX - width) : int64_t(x) - srcX;
  const int64_t imgY = int64_t(y) - srcY;
  if (!InRange(imgX) || !InRange(imgY) || !InRange(right) || !InRange(bottom)) return 0;
  const RECT saved = DrawArea;
  RECT narrowed{int(std::max<int64_t>(saved.left, left)), int(std::max<int64_t>(saved.top, top)),
                int(std::min<int64_t>(saved.right, right)), int(std::min<int64_t>(saved.bottom, bottom))};
  if (narrowed.left < narrowed.right && narrowed.top < narrowed.bottom) {
    DrawArea = narrowed;
    if (turnFlag) {
      // Corners given right to left mirror the image at scale 1.
      const int rect[4] = {int(imgX + src->Width), int(imgY), int(imgX), int(imgY + src->Height)};
      DrawStretchMemImg(call.dst, src, rect, transFlag, call.blend);
    } else {
      DrawMemImg(call.dst, src, int(imgX), int(imgY), transFlag, call.blend);
    }
    DrawArea = saved;
  }
  return 0;
}

int DrawStretchGraph(int x1, int y1, int x2, int y2, int graph, int transFlag) {
  GraphDraw call;
  if (BeginGraphDraw(graph, &call) != 0) return -1;
  if (!InRange(x1) || !InRange(y1) || !InRange(x2) || !InRange(y2)) return -1;
  if (std::abs(int64_t(x2) - x1) > kStretchMaxSide || std::abs(int64_t(y2) - y1) > kStretchMaxSide) return -1;
  const int rect[4] = {x1, y1, x2, y2};
  DrawStretchMemImg(call.dst, &call.rec->SoftImage, rect, transFlag, call.blend);
  return 0;
}

int DrawStretchRectPartGraph(int x1, int y1, int x2, int y2, int srcX, int srcY, int width, int height,
                             int graph, int transFlag) {
  GraphDraw call;
  if (BeginGraphDraw(graph, &call) != 0) return -1;
  if (!InRange(x1) || !InRange(y1) || !InRange(x2) || !InRange(y2)) return -1;
  if (std::abs(int64_t(x2) - x1) > kStretchMaxSide || std::abs(int64_t(y2) - y1) > kStretchMaxSide) return -1;
  MEMIMG part;
  if (DeriveMemImg(&part, &call.rec->SoftImage, srcX, srcY, width, height) != 0) return -1;
  MEMIMG blendPart;
  const MEMIMG* blend = nullptr;
  if (call.blend) {
    blendPart = BlendView(call.blend, srcX, srcY, width, height);
    blend = &blendPart;
  }
  const int rect[4] = {x1, y1, x2, y2};
  DrawStretchMemImg(call.dst, &part, rect, transFlag, blend);
  TerminateMemImg(&part);
  return 0;
}

int DrawRotaGraph(int x, int y, double scale, double angle, int graph, int transFlag, int turnFlag) {
  GraphDraw call;
  if (BeginGraphDraw(graph, &call) != 0) return -1;
  const MEMIMG* src = &call.rec->SoftImage;
  if (!std::isfinite(scale) || !std::isfinite(angle) || !(scale > 0.0)) return -1;
  // The image's half diagonal, turned any way, must stay within the fixed-point range.
  const double reach = std::hypot(double(src->Width), double(src->Height)) * scale * 0.5 + 2.0;
  if (std::abs(double(x)) + reach > kRotateLimit || std::abs(double(y)) + reach > kRotateLimit) return -1;
  DrawRotatedMemImg(call.dst, src, x, y, float(angle), float(scale), transFlag, turnFlag, call.blend);
  return 0;
}

int DrawRectRotateGraph(int x, int y, int srcX, int srcY, int width, int height, double scale, double angle,
                        int graph, int transFlag, int turnFlag) {
  if (width < 1 || height < 1) return -1;
  const int part = DeriveGraph(srcX, srcY, width, height, graph);
  if (part < 0) return -1;
  const int result = DrawRotaGraph(x, y, scale, angle, part, transFlag, turnFlag);
  DeleteGraph(part);
  return result;
}

// ---------------------------------------------------------------- primitives

int DrawBox(int x1, int y1, int x2, int y2, unsigned int color, int fillFlag) {
  MEMIMG* dst = GetDrawTargetMemImg();
  if (!dst) return -1;
  WaitWhileInactive();
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  const RECT rect{x1, y1, x2, y2};
  if (x1 == x2 || y1 == y2) return 0;
  // One pixel wide or high: the outline is the box itself, and must not be written twice.
  if (fillFlag || int64_t(x2) - x1 == 1 || int64_t(y2) - y1 == 1) {
    FillBoxMemImg(dst, &rect, color);
    return 0;
  }
  // Four edges chained end to start: every outline pixel is written once.
  const int32_t p = DrawBlendParam;
  const MemImgLine lines[4] = {
      {x1, y1, x2 - 1, y1, color, p},
      {x2 - 1, y1, x2 - 1, y2 - 1, color, p},
      {x2 - 1, y2 - 1, x1, y2 - 1, color, p},
      {x1, y2 - 1, x1, y1, color, p},
  };
  DrawLineListMemImg(dst, lines, 4);
  return 0;
}

int DrawFillBox(int x1, int y1, int x2, int y2, unsigned int color) { return DrawBox(x1, y1, x2, y2, color, 1); }

int DrawCircle(int x, int y, int radius, unsigned int color, int fillFlag) {
  MEMIMG* dst = GetDrawTargetMemImg();
  if (!dst || radius < 0) return -1;
  if (!InRange(x) || !InRange(y) || radius > kCoordLimit / 4) return -1;
  WaitWhileInactive();
  DrawCircleMemImg(dst, x, y, radius, color, fillFlag);
  return 0;
}

// ---------------------------------------------------------------- the screen

int ClearScreen(int flag) {
  MEMIMG* target = GetDrawTargetMemImg();
  if (!target) return -1;
  const size_t rowBytes = size_t(target->Width) * target->Base->Color->BytesPerPixel;
  for (int y = 0; y < target->Height; ++y)
    std::memset(target->TopLeft + size_t(y) * size_t(target->Base->Pitch), 0, rowBytes);
  return 0;
}

unsigned int GetColor(int r, int g, int b) {
  r &= 0xFF, g &= 0xFF, b &= 0xFF;
  if (GetScreenColorType() == MEMIMG_COLOR_32) return unsigned(r) << 16 | unsigned(g) << 8 | unsigned(b);
  return unsigned(r >> 3) << 11 | unsigned(g >> 2) << 5 | unsigned(b >> 3);
}

// Presenting never waits for the display: the game paces itself.
int FlipScreen() {
  MEMIMG* screen = GetScreenMemImg();
  if (!screen) return -1;
  const int bits = screen->Base->ColorType == MEMIMG_COLOR_32 ? 32 : 16;
  return PlatformWindow_Present(screen->TopLeft, screen->Width, screen->Height, screen->Base->Pitch, bits) == 0
             ? 0
             : -1;
}

int SaveDrawScreen(int x1, int y1, int x2, int y2, const char* fileName, int saveType, int jpegQuality,
                   int jpegSample2x1, int pngCompressionLevel) {
  MEMIMG* target = GetDrawTargetMemImg();
  if (!target || !fileName) return -1;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  RECT rect{x1, y1, x2, y2};
  const RECT whole{0, 0, target->Width, target->Height};
  ClipRect(&rect, &whole);
  if (rect.left == rect.right || rect.top == rect.bottom) return -1;
  BaseImage image;
  if (MakeBaseImageFromMemImg(target, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, &image) != 0)
    return -1;
  const int result = SaveBaseImageToFile(fileName, &image, saveType, jpegQuality, jpegSample2x1, pngCompressionLevel);
  ReleaseBaseImage(&image);
  return result;
}

// ---------------------------------------------------------------- fonts

int SetFontSize(int size) {
  if (size == -1) size = 16;
  if (size < 1) return -1;
  D.fontSize = size;
  return 0;
}

int SetFontThickness(int thickness) {
  if (thickness == -1) thickness = 6;
  if (thickness < 0 || thickness > 9) return -1;
  D.fontThickness = thickness;
  return 0;
}

int GetFontSize() { return D.fontSize; }
int GetFontThickness() { return D.fontThickness; }

int ReturnZeroStub() { return 0; }
