// Tamrak engine: images in system memory (BaseImage), their colour formats, the
// YUV frame converters and the image files (read: PNG, JPEG, BMP; written: BMP, PNG, JPEG).
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/draw/memimg.h"

struct BaseImage {
  ColorData Color;
  int Width, Height;
  int Pitch;               // bytes per row
  void* Pixels;        // first pixel of the top row
  int PixelsBorrowed;  // the pixels belong to someone else: ReleaseBaseImage leaves them
};

// 32-bit X8R8G8B8 (bytes B, G, R, X), the same with alpha (bytes B, G, R, A), and the
// 24-bit R8G8B8 of the movie frames (bytes B, G, R).
int MakeColorDataXRGB8(ColorData* color);
int MakeColorDataARGB8(ColorData* color);
int MakeColorDataFull(ColorData* color);

// Pixels from the engine allocator, zeroed; pitch = width x 4. 0, or -1 (record cleared).
int MakeBaseImageXRGB8(int width, int height, BaseImage* image);
int MakeBaseImageARGB8(int width, int height, BaseImage* image);
int ReleaseBaseImage(BaseImage* image);

// A YUV frame (tightly packed, rows of width samples) to 32-bit pixels with alpha 255 in
// an image of at least width x height with 4 bytes per pixel. 0 or -1.
// YV12: Y plane, V plane, U plane (chroma at half width and height, rounded up).
// NV12: Y plane, then U, V pairs at half width and height. NV11 (YUV411): Y plane, then
// U, V pairs at a quarter of the width and full height.
// YUY2: Y0 U Y1 V; UYVY: U Y0 V Y1; YVYU: Y0 V Y1 U (two pixels in four bytes).
int ConvertYV12ToBaseImage(const void* frame, int width, int height, BaseImage* image);
int ConvertNV12ToBaseImage(const void* frame, int width, int height, BaseImage* image);
int ConvertYUY2ToBaseImage(const void* frame, int width, int height, BaseImage* image);
int ConvertUYVYToBaseImage(const void* frame, int width, int height, BaseImage* image);
int ConvertYVYUToBaseImage(const void* frame, int width, int height, BaseImage* image);
int ConvertYUV411ToBaseImage(const void* frame, int width, int height, BaseImage* image);

// Limits of images read from files.
constexpr int IMAGE_MAX_SIDE = 16384;
constexpr int64_t IMAGE_MAX_PIXELS = int64_t(1) << 26;
constexpr int64_t IMAGE_MAX_FILE_BYTES = int64_t(1) << 28;

// Where an image file's decoder puts the picture: first its size and whether it has alpha, then
// its pixels, row by row in any order, each pixel of the picture once (bytes B, G, R, A; A is 255
// without alpha).
class ImageRowSink {
 public:
  // 0, or -1 when the picture cannot be held (the decode then fails).
  virtual int Start(int width, int height, int hasAlpha) = 0;
  // count pixels of row y, at columns x, x + step, x + 2 step, ...
  virtual void PutPixels(int y, int x, int step, const uint8_t* pixels, int count) = 0;

 protected:
  ~ImageRowSink() = default;
};

// Decodes a PNG, JPEG or BMP file image into the sink, holding a few rows of its own at most
// (the decoders' own state aside). 0, or -1 with a log line; the sink may then hold part of the
// picture, which is the caller's to drop.
int DecodeImageFile(const void* data, size_t size, ImageRowSink* sink);

// Decodes a PNG, JPEG or BMP file image into a new 32-bit image (bytes B, G, R, A when
// *hasAlpha is 1, else B, G, R, X). 0, or -1 with a log line and nothing left allocated.
int LoadBaseImageFromMemory(const void* data, size_t size, BaseImage* image, int* hasAlpha);

// Writes a 24-bit R8G8B8 image. saveType: 0 BMP, 1 JPEG, 2 PNG. The file is written under
// a temporary name and renamed when complete, so it appears whole or not at all. 0 or -1.
int SaveBaseImageToFile(const char* path, const BaseImage* image, int saveType, int jpegQuality,
                        int jpegSample2x1, int pngCompressionLevel);

// Reads one pixel of a 24- or 32-bit image with 8-bit channels (alpha 255 without alpha).
void GetBaseImagePixel(const BaseImage* image, int x, int y, uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a);

// Copies an image into a software image of the same size, in the software image's format.
// 0, or -1 for sizes that differ or a format that is not 16- or 32-bit direct colour.
int ConvertBaseImageToMemImg(const BaseImage* image, MEMIMG* img);
// Stores count 32-bit pixels (bytes B, G, R, A) in row y of a 16- or 32-bit direct-colour
// software image, at columns x, x + step, ..., as ConvertBaseImageToMemImg would. 0, or -1 when
// they do not fit or the format is another.
int PutMemImgPixels(MEMIMG* img, int y, int x, int step, const uint8_t* pixels, int count);
// The rectangle of a software image as a new 24-bit R8G8B8 image (5- and 6-bit fields widened
// by repeating their top bits). 0 or -1.
int MakeBaseImageFromMemImg(const MEMIMG* img, int x, int y, int width, int height, BaseImage* image);

// A new graph that shows the movie file, with the movie opened paused at its first frame. Handle or -1.
int LoadMovieGraph(const char* path);
