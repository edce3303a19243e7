// Ogg Theora decoder of the movie player: file index, a decoding thread per movie that fills a
// stock of decoded frames ahead of the current one, and conversion of the current frame into a
// 32-bit image or a device YUV surface.
#pragma once

#include <ogg/ogg.h>
#include <theora/theora.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "engine/d3d9/graphics.h"
#include "engine/draw/baseimage.h"
#include "engine/system/system.h"

// YUV to RGB in units of 1/16384, built once at start-up.
struct YUVToRGBTables {
  int Y[256];
  int VR[256];
  int UG[256];
  int VG[256];
  int UB[256];
  uint8_t clampStore[1280];  // indices -512 .. 767
  const uint8_t* Clamp() const { return clampStore + 512; }
};
extern YUVToRGBTables YUVTable;

// One Theora page that completes frame packets.
struct TheoraPageEntry {
  int64_t offset;        // file offset of the page
  int64_t resumeOffset;  // page where its first frame packet begins: reading starts here
  int64_t resumeFrame;   // first frame packet that comes out when reading starts at resumeOffset
  int64_t firstFrame;    // first frame packet completed on this page
  int key;               // a key frame is completed on this page
  int frames;            // frame packets completed on this page
};

// Planes of one decoded frame, top row first, and the picture shown from them: the encoder pads
// the frame to whole macroblocks around it. A picture size of 0 takes the frame from the offset on.
struct TheoraPlanes {
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  int yWidth, yHeight, yStride;
  int uvWidth, uvHeight, uvStride;
  int picX = 0, picY = 0, picWidth = 0, picHeight = 0;
};

// A decoded picture kept ahead of its time; its planes are packed, rows of their width.
struct TheoraStockEntry {
  std::atomic<int> used;  // the thread publishes with release, the main thread reads with acquire
  int64_t frame;
  uint8_t* y;
  uint8_t* u;
  uint8_t* v;
  int yWidth, yHeight;
  int uvWidth, uvHeight;
  TheoraPlanes Planes() const { return {y, u, v, yWidth, yHeight, yWidth, uvWidth, uvHeight, uvWidth}; }
};

enum TheoraThreadState : int {
  THEORA_THREAD_IDLE = 0,
  THEORA_THREAD_DECODING = 1,
  THEORA_THREAD_SEEKING = 2,
  THEORA_THREAD_ENDED = 3,
  THEORA_THREAD_PAUSED = 4,
};

struct TheoraDecodeRecord {
  std::atomic<int> threadState;
  std::atomic<int> pauseRequest;
  std::atomic<int> stopRequest;
  std::atomic<int> seekRequest;
  std::atomic<int64_t> seekTarget;
  std::atomic<int> endOfFile;
  std::atomic<int64_t> failedFrame;  // the frame that could not be had, -1 for none
  std::thread thread;

  FileAccessTable files;
  StreamHandle stream;

  ogg_sync_state sync;
  ogg_page page;
  ogg_stream_state oggStream;
  ogg_packet packet;
  int streamInitialized;

  theora_info info;
  theora_comment comment;
  theora_state state;
  int decoderInitialized;
  int serialNumber;

  TheoraPageEntry* pages;
  int64_t pageCount;
  uint8_t* keyFrames;  // one byte per frame, 1 for a key frame
  int64_t totalFrames;

  std::atomic<int64_t> currentFrame;  // the frame the player wants; written by the main thread
  std::atomic<int64_t> decodedFrame;  // the frame in the decoder's output, -1 for none; the thread's
  int headerCount;

  // The thread takes and frees entries, the main thread reads one, each under this lock.
  std::mutex stockLock;
  TheoraStockEntry* stock;
  int stockCount;
  int stockWindow;  // entries the thread fills ahead: fewer for large pictures, by the pictures decoded

  BaseImage frameImage;
  int surfaceLost;
  D3DSurface surface;
  uint32_t surfaceFourCC;
  int imageCurrent;
  int surfaceCurrent;
};

struct TheoraMovieInfo {
  double frameRate;
  int totalFrames;
  int width, height;  // of the picture, not of the padded frame
};

int InitializeYUVToRGBTable();
TheoraDecodeRecord* TheoraDecode_Open(const FileAccessTable* files, StreamHandle stream, int stockCount,
                                      int fromLoadingThread);
int TheoraDecode_Close(TheoraDecodeRecord* record);
int TheoraDecode_GetInfo(TheoraDecodeRecord* record, TheoraMovieInfo* info);
int64_t TheoraDecode_GetCurrentFrame(TheoraDecodeRecord* record);
BaseImage* TheoraDecode_GetBaseImage(TheoraDecodeRecord* record);
D3DSurface TheoraDecode_GetYV12Surface(TheoraDecodeRecord* record);
int TheoraDecode_SetSurfaceLost(TheoraDecodeRecord* record);
int TheoraDecode_AdvanceFrame(TheoraDecodeRecord* record, int64_t count);
int TheoraDecode_Seek(TheoraDecodeRecord* record, int64_t frame);
// 1 when the current frame was converted, 0 when nothing was wanted or no frame can come.
int TheoraDecode_ConvertFrame(TheoraDecodeRecord* record, int toImage, int toSurface, int fromLoadingThread);
int TheoraDecode_ReadData(TheoraDecodeRecord* record, int bytes);
int TheoraDecode_CreateSurface(TheoraDecodeRecord* record, int fromLoadingThread);
int TheoraDecode_ReleaseSurface(TheoraDecodeRecord* record, int fromLoadingThread);

// Conversion of one picture: 4:2:0 through the tables, any other geometry pixel by pixel. The
// image takes as much of the picture as it holds.
void TheoraDecode_PlanesToImage(const TheoraPlanes& planes, BaseImage* image);
// Writes a 4:2:0 picture into a locked surface of the FourCC's layout, the size of the picture;
// false for other geometry.
bool TheoraDecode_PlanesToSurface(const TheoraPlanes& planes, uint32_t fourCC, uint8_t* bits, int pitch);
