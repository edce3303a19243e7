#include "platform/surface/surface.h"

#include <cstdlib>
#include <new>
#include <vector>

#include "platform/fourcc.h"

namespace {

constexpr uint32_t kYV12 = MakeFourCC('Y', 'V', '1', '2');
constexpr uint32_t kYUY2 = MakeFourCC('Y', 'U', 'Y', '2');
constexpr uint32_t kUYVY = MakeFourCC('U', 'Y', 'V', 'Y');
constexpr int kMaxSide = 16384;

}  // namespace

struct PlatformSurface {
  int width = 0, height = 0;
  uint32_t fourCC = 0;
  int pitch = 0;  // bytes per row of the first plane
  int bytesPerPixel = 1;
  bool locked = false;
  std::vector<uint8_t> bytes;
};

PlatformSurface* PlatformSurface_Create(int width, int height, uint32_t fourCC) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return nullptr;
  int bpp;
  size_t size;
  int pitch;
  if (fourCC == kYV12) {
    bpp = 1;
    // Rows of 16-byte multiples with room to spare, as devices pad them; chroma rows half of it.
    pitch = ((width + 15) & ~15) + 16;
    size_t rows = size_t(height);
    size_t chromaRows = size_t((height + 1) / 2);
    size = size_t(pitch) * rows + size_t(pitch / 2) * chromaRows * 2;
  } else if (fourCC == kYUY2 || fourCC == kUYVY) {
    bpp = 2;
    pitch = (((width + 1) / 2 * 4 + 15) & ~15) + 16;
    size = size_t(pitch) * size_t(height);
  } else {
    return nullptr;
  }
  auto* s = new (std::nothrow) PlatformSurface;
  if (!s) return nullptr;
  try {
    s->bytes.assign(size, 0);
  } catch (const std::bad_alloc&) {
    delete s;
    return nullptr;
  }
  s->width = width;
  s->height = height;
  s->fourCC = fourCC;
  s->pitch = pitch;
  s->bytesPerPixel = bpp;
  return s;
}

void PlatformSurface_Release(PlatformSurface* surface) { delete surface; }

int PlatformSurface_GetDesc(const PlatformSurface* surface, int* width, int* height, uint32_t* fourCC) {
  if (!surface) return -1;
  if (width) *width = surface->width;
  if (height) *height = surface->height;
  if (fourCC) *fourCC = surface->fourCC;
  return 0;
}

int PlatformSurface_Lock(PlatformSurface* surface, int x, int y, int width, int height, int* pitch,
                         void** bits) {
  if (!surface || surface->locked) return -1;
  if (width == 0) {
    x = 0;
    y = 0;
    width = surface->width;
    height = surface->height;
  }
  if (x < 0 || y < 0 || width < 1 || height < 1 || width > surface->width - x || height > surface->height - y)
    return -1;
  if (x & 1) return -1;  // pixel pairs share chroma
  if (surface->fourCC == kYV12 && (y & 1)) return -1;
  surface->locked = true;
  if (pitch) *pitch = surface->pitch;
  if (bits)
    *bits = surface->bytes.data() + size_t(y) * size_t(surface->pitch) + size_t(x) * size_t(surface->bytesPerPixel);
  return 0;
}

int PlatformSurface_Unlock(PlatformSurface* surface) {
  if (!surface || !surface->locked) return -1;
  surface->locked = false;
  return 0;
}
