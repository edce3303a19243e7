// Platform layer: off-screen surfaces in system memory, the stand-in for the
// device's plain YUV surfaces that movie frames are written into.
#pragma once

#include <cstdint>

struct PlatformSurface;

// Layouts by FourCC: "YV12" (Y plane, then V and U planes at half size, half the
// pitch), "YUY2" and "UYVY" (two bytes per pixel). Null for any other format,
// a size below 1 or above 16384, or when memory runs out.
PlatformSurface* PlatformSurface_Create(int width, int height, uint32_t fourCC);
void PlatformSurface_Release(PlatformSurface* surface);
int PlatformSurface_GetDesc(const PlatformSurface* surface, int* width, int* height, uint32_t* fourCC);
// Locks a rectangle (x, y, width, height), or the whole surface when width is 0;
// gives the row pitch in bytes and the first byte of the rectangle. 0, or -1 when
// already locked or the rectangle does not fit (it must start on an even column,
// and for YV12 on an even row).
int PlatformSurface_Lock(PlatformSurface* surface, int x, int y, int width, int height, int* pitch,
                         void** bits);
int PlatformSurface_Unlock(PlatformSurface* surface);  // 0, or -1 when not locked
