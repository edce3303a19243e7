// Plain off-screen surfaces for movie frames, over the platform's memory surfaces.
#include "engine/d3d9/graphics.h"
#include "platform/surface/surface.h"

namespace {

struct LockCall {
  D3DSurface surface;
  D3DLockedRect* locked;
  const RECT* rect;
};

int RunLock(void* argument) {
  auto* call = static_cast<LockCall*>(argument);
  int x = 0, y = 0, w = 0, h = 0;
  if (call->rect) {
    x = call->rect->left;
    y = call->rect->top;
    // Wide integers: a rectangle from a caller may hold any values.
    int64_t w64 = int64_t(call->rect->right) - call->rect->left;
    int64_t h64 = int64_t(call->rect->bottom) - call->rect->top;
    if (w64 < 1 || h64 < 1 || w64 > GRAPH_MAX_SIZE || h64 > GRAPH_MAX_SIZE) return -1;
    w = int(w64);
    h = int(h64);
  }
  int pitch = 0;
  void* bits = nullptr;
  if (PlatformSurface_Lock(call->surface, x, y, w, h, &pitch, &bits) != 0) return -1;
  call->locked->Pitch = pitch;
  call->locked->pBits = bits;
  return 0;
}

int RunUnlock(void* argument) { return PlatformSurface_Unlock(static_cast<D3DSurface>(argument)); }

uint32_t offeredFormats[4] = {};

}  // namespace

int G_D3D_IsDeviceAvailable() { return 0; }

int G_D3D_CheckMovieSurfaceFormat(uint32_t fourCC) {
  for (uint32_t f : offeredFormats)
    if (f != 0 && f == fourCC) return 1;
  return 0;
}

int G_D3D_SetMovieSurfaceFormats(const uint32_t* fourCCs) {
  for (uint32_t& f : offeredFormats) f = 0;
  for (int i = 0; fourCCs && i < 4 && fourCCs[i] != 0; ++i) offeredFormats[i] = fourCCs[i];
  return 0;
}

D3DSurface G_D3D_CreateOffscreenPlainSurface(int width, int height, uint32_t fourCC) {
  return PlatformSurface_Create(width, height, fourCC);
}

void G_D3D_ReleaseSurface(D3DSurface surface) { PlatformSurface_Release(surface); }

int G_D3D_SurfaceLockRect(D3DSurface surface, D3DLockedRect* locked, const RECT* rect, unsigned flags,
                          int asyncThread) {
  if (!surface || !locked) return -1;
  LockCall call{surface, locked, rect};
  if (asyncThread) {
    MainThreadRequest request{RunLock, &call};
    return RequestMainThreadCall(&request);
  }
  return RunLock(&call);
}

int G_D3D_SurfaceUnlockRect(D3DSurface surface, int asyncThread) {
  if (!surface) return -1;
  if (asyncThread) {
    MainThreadRequest request{RunUnlock, surface};
    return RequestMainThreadCall(&request);
  }
  return RunUnlock(surface);
}
