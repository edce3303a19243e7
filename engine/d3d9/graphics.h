// Tamrak engine: graph handles, the screen mode and the draw target.
// There is no Direct3D device here: every graph is a software image in the
// screen's pixel format and the engine draws on its software path.
#pragma once

#include <cstdint>

#include "engine/draw/draw.h"
#include "engine/draw/memimg.h"
#include "engine/system/system.h"
#include "platform/fourcc.h"

// Engine start-up and shutdown call these.
int InitGraphicsSystem();  // -1 fails start-up
int TerminateGraphicsSystem();
int InitSoftImageManage();
int TermSoftImageManage();
int InitModelManage();
int TermModelManage();

// ---------------------------------------------------------------- graph handles

// The record behind a graph handle (handle type 1).
struct GraphHandleRecord {
  HandleHeader Head;
  int Width, Height;
  int TextureSetValid;  // always 0: no device, no textures
  MEMIMG SoftImage;     // the pixels, in the screen's format
  int ParentGraph;      // the graph a derived graph views, -1 for none
  int MovieHandle;      // -1: not a movie graph
};

constexpr int GRAPH_MAX_COUNT = 32768;
constexpr int GRAPH_MAX_SIZE = 16384;  // pixels on either side

// The record of a valid graph handle, or null.
GraphHandleRecord* GetGraphRecord(int graph);
HandleManager* GetGraphHandleManager();

// A new graph of width x height in the screen's format, pixels zeroed and
// transparent colour set; alpha graphs carry an alpha channel. Handle or -1.
int MakeGraphHandle(int width, int height, int useAlpha);

// ---------------------------------------------------------------- the screen

// MEMIMG colour type of the screen (0 for 16 bits, 1 for 32 bits).
int GetScreenColorType();
// The transparent colour in the screen's pixel format.
uint32_t GetTransColorValue();
// The back buffer; null before graphics start.
MEMIMG* GetScreenMemImg();
// What drawing goes into: the back buffer or a graph's image; null before start.
MEMIMG* GetDrawTargetMemImg();
int GetDrawTargetGraph();  // DrawTarget::BackBuffer or a graph handle
int IsGraphicsInitialized();

// ---------------------------------------------------------------- device surfaces

// Locked view of a surface: bytes per row and the first byte.
struct D3DLockedRect {
  int Pitch;
  void* pBits;
};

struct PlatformSurface;
using D3DSurface = PlatformSurface*;

// 1 when a Direct3D device exists; never here, so movie code takes its image path.
int G_D3D_IsDeviceAvailable();
// Movie frames go into YUV surfaces only where the device offers the format: 1 when it does.
int G_D3D_CheckMovieSurfaceFormat(uint32_t fourCC);
// There is no device here: tests stand one in by naming the formats it would offer (a list ended
// by 0; null offers none, as without a device).
int G_D3D_SetMovieSurfaceFormats(const uint32_t* fourCCs);
// An off-screen plain surface in a YUV layout ("YV12", "YUY2", "UYVY" as FourCC); null on failure.
D3DSurface G_D3D_CreateOffscreenPlainSurface(int width, int height, uint32_t fourCC);
void G_D3D_ReleaseSurface(D3DSurface surface);
// Locks the rectangle (null = whole surface); 0 or -1. From a loading thread
// (asyncThread 1) the lock runs on the main thread.
int G_D3D_SurfaceLockRect(D3DSurface surface, D3DLockedRect* locked, const RECT* rect, unsigned flags,
                          int asyncThread);
int G_D3D_SurfaceUnlockRect(D3DSurface surface, int asyncThread);
