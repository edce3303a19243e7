// The Theora decoder: header parsing, the page and key-frame index, the decoding thread with its
// frame stock, seeking and the hand-over of the current frame.
#include "engine/sound/movie/theora_decode.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "platform/media/media.h"

namespace {

constexpr int kReadBytes = 4096;
constexpr int kTableStep = 1000;
// Farther than this ahead, starting again from a key frame costs less than reading every packet.
constexpr int64_t kMaxForwardRead = 64;
// Bytes of decoded pictures kept ahead: a 4K movie keeps 4 of them, smaller ones the whole stock.
constexpr int64_t kStockBytes = int64_t(64) << 20;

void Pause1ms() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

bool TakePage(TheoraDecodeRecord* r) {
  for (;;) {
    const int got = ogg_sync_pageout(&r->sync, &r->page);
    if (got > 0) return true;
    if (got < 0) continue;  // bytes skipped to the next page
    if (TheoraDecode_ReadData(r, kReadBytes) == 0) return false;
  }
}

bool ParseHeaders(TheoraDecodeRecord* r) {
  // Beginning-of-stream pages first: the first one that carries a Theora header is ours.
  for (;;) {
    if (!TakePage(r)) return false;
    if (!ogg_page_bos(&r->page)) break;
    if (r->headerCount > 0) continue;
    ogg_stream_state trial;
    if (ogg_stream_init(&trial, ogg_page_serialno(&r->page)) != 0) return false;
    ogg_packet first;
    if (ogg_stream_pagein(&trial, &r->page) == 0 && ogg_stream_packetout(&trial, &first) == 1 &&
        theora_decode_header(&r->info, &r->comment, &first) >= 0) {
      r->oggStream = trial;
      r->streamInitialized = 1;
      r->serialNumber = ogg_page_serialno(&r->page);
      r->headerCount = 1;
    } else {
      ogg_stream_clear(&trial);
      theora_info_clear(&r->info);
      theora_info_init(&r->info);
    }
  }
  if (r->headerCount == 0) return false;
  ogg_stream_pagein(&r->oggStream, &r->page);  // another stream's page is refused here
  while (r->headerCount < 3) {
    const int got = ogg_stream_packetout(&r->oggStream, &r->packet);
    if (got < 0) return false;
    if (got == 0) {
      if (!TakePage(r)) return false;
      ogg_stream_pagein(&r->oggStream, &r->page);
      continue;
    }
    if (theora_decode_header(&r->info, &r->comment, &r->packet) < 0) return false;
    ++r->headerCount;
  }
  return true;
}

template <typename T>
bool GrowTable(T** table, int64_t count, const char* message) {
  if (count % kTableStep != 0) return true;
  void* grown = TK_REALLOC(*table, size_t(count + kTableStep) * sizeof(T));
  if (!grown) {
    LogPrint(message);
    return false;
  }
  *table = static_cast<T*>(grown);
  return true;
}

// One pass over the file: where each frame packet completes and where reading must start to get it.
bool IndexFile(TheoraDecodeRecord* r) {
  int64_t offset = 0;             // of the next page
  int64_t pendingStart = 0;       // page on which the packet still incomplete began
  int64_t lastStart = -1, firstFrameOfStart = 0;
  for (;;) {
    const long got = ogg_sync_pageseek(&r->sync, &r->page);
    if (got == 0) {
      if (TheoraDecode_ReadData(r, kReadBytes) == 0) break;
      continue;
    }
    if (got < 0) {
      offset += -int64_t(got);
      continue;
    }
    const int64_t pageOffset = offset;
    offset += got;
    if (ogg_page_serialno(&r->page) != r->serialNumber) continue;
    if (ogg_stream_pagein(&r->oggStream, &r->page) != 0) continue;
    const bool continued = ogg_page_continued(&r->page) != 0;
    int64_t start = continued ? pendingStart : pageOffset;
    bool pageTaken = true;
    for (;;) {
      const int out = ogg_stream_packetout(&r->oggStream, &r->packet);
      if (out == 0) break;
      if (out < 0) continue;
      const int64_t packetStart = start;
      start = pageOffset;
      const int key = theora_packet_iskeyframe(&r->packet);
      if (key < 0) continue;  // a header packet
      const int64_t frame = r->totalFrames;
      if (packetStart != lastStart) {
        lastStart = packetStart;
        firstFrameOfStart = frame;
      }
      if (pageTaken) {
        if (!GrowTable(&r->pages, r->pageCount, "Theora ページ情報格納用メモリの確保に失敗しました\n")) return false;
        r->pages[r->pageCount++] = TheoraPageEntry{pageOffset, packetStart, firstFrameOfStart, frame, 0, 0};
        pageTaken = false;
      }
      if (!GrowTable(&r->keyFrames, frame, "Theora キーフレーム情報格納用メモリの確保に失敗しました\n")) return false;
      r->keyFrames[frame] = key > 0 ? 1 : 0;
      TheoraPageEntry& entry = r->pages[r->pageCount - 1];
      if (key > 0) entry.key = 1;
      ++entry.frames;
      ++r->totalFrames;
    }
    // Where the packet left incomplete at the end of this page began.
    const int segments = r->page.header[26];
    bool boundary = false;
    for (int i = 0; i < segments; ++i) boundary |= r->page.header[27 + i] < 255;
    if (boundary || !continued) pendingStart = pageOffset;
  }
  return true;
}

// Decodes the next count frame packets; only those from the last key frame among them on reach the
// decoder. 0, or -1 when the data ends first.
int DecodePackets(TheoraDecodeRecord* r, int64_t count) {
  const int64_t first = r->decodedFrame.load(std::memory_order_relaxed) + 1;
  int64_t lastKey = -1;
  for (int64_t f = first; f < first + count && f < r->totalFrames; ++f)
    if (f >= 0 && r->keyFrames[f]) lastKey = f;
  int64_t done = 0;
  while (done < count) {
    const int got = ogg_stream_packetout(&r->oggStream, &r->packet);
    if (got < 0) continue;
    if (got == 0) {
      if (!TakePage(r)) return -1;
      ogg_stream_pagein(&r->oggStream, &r->page);
      continue;
    }
    if (theora_packet_iskeyframe(&r->packet) < 0) continue;
    const int64_t frame = r->decodedFrame.load(std::memory_order_relaxed) + 1;
    if (frame >= r->totalFrames) return -1;
    if (lastKey < 0 || frame >= lastKey) theora_decode_packetin(&r->state, &r->packet);
    r->decodedFrame.store(frame, std::memory_order_release);
    ++done;
  }
  return 0;
}

// Reads again from the key frame at or before the frame and decodes up to it. 0 or -1.
int Reposition(TheoraDecodeRecord* r, int64_t frame) {
  if (frame < 0 || frame >= r->totalFrames || r->pageCount == 0) return -1;
  int64_t key = frame;
  while (key > 0 && !r->keyFrames[key]) --key;
  // The last page whose first frame is not beyond the key frame completes it.
  int64_t lo = 0, hi = r->pageCount - 1;
  while (lo < hi) {
    const int64_t mid = (lo + hi + 1) / 2;
    if (r->pages[mid].firstFrame <= key) lo = mid;
    else hi = mid - 1;
  }
  const TheoraPageEntry& page = r->pages[lo];
  ogg_sync_reset(&r->sync);
  ogg_stream_reset(&r->oggStream);
  r->decodedFrame.store(-1, std::memory_order_release);
  if (r->files.Seek(r->stream, page.resumeOffset, 0) != 0) return -1;
  r->decodedFrame.store(page.resumeFrame - 1, std::memory_order_release);
  if (DecodePackets(r, frame - page.resumeFrame + 1) != 0) {
    r->decodedFrame.store(-1, std::memory_order_release);
    return -1;
  }
  return 0;
}

int64_t WindowSize(const TheoraDecodeRecord* r) {
  return r->stockWindow < r->totalFrames ? r->stockWindow : r->totalFrames;
}

// How far ahead of the current frame a frame lies, wrapping at the end of the movie.
int64_t DistanceAhead(const TheoraDecodeRecord* r, int64_t frame, int64_t current) {
  const int64_t d = (frame - current) % r->totalFrames;
  return d < 0 ? d + r->totalFrames : d;
}

TheoraStockEntry* FindInStock(TheoraDecodeRecord* r, int64_t frame) {
  for (int i = 0; i < r->stockCount; ++i) {
    TheoraStockEntry& e = r->stock[i];
    if (e.used.load(std::memory_order_acquire) && e.frame == frame) return &e;
  }
  return nullptr;
}

void ClearStock(TheoraDecodeRecord* r) {
  std::lock_guard<std::mutex> guard(r->stockLock);
  for (int i = 0; i < r->stockCount; ++i) r->stock[i].used.store(0, std::memory_order_release);
}

bool CopyPlane(uint8_t** plane, const unsigned char* src, int width, int height, int stride) {
  if (!*plane) *plane = static_cast<uint8_t*>(TK_MALLOC(size_t(width) * size_t(height)));
  if (!*plane) return false;
  for (int y = 0; y < height; ++y)
    std::memcpy(*plane + size_t(y) * size_t(width), src + ptrdiff_t(y) * stride, size_t(width));
  return true;
}

// The decoder's picture into a free entry, then published.
bool StorePicture(TheoraDecodeRecord* r, TheoraStockEntry* e, int64_t frame) {
  yuv_buffer yuv;
  if (theora_decode_YUVout(&r->state, &yuv) != 0) return false;
  if (yuv.y_width < 1 || yuv.y_height < 1 || yuv.uv_width < 1 || yuv.uv_height < 1) return false;
  if (yuv.y_width != e->yWidth || yuv.y_height != e->yHeight) {
    MemFree(e->y);
    e->y = nullptr;
  }
  if (yuv.uv_width != e->uvWidth || yuv.uv_height != e->uvHeight) {
    MemFree(e->u);
    MemFree(e->v);
    e->u = e->v = nullptr;
  }
  e->yWidth = yuv.y_width;
  e->yHeight = yuv.y_height;
  e->uvWidth = yuv.uv_width;
  e->uvHeight = yuv.uv_height;
  const int64_t bytes = int64_t(yuv.y_width) * yuv.y_height + 2 * int64_t(yuv.uv_width) * yuv.uv_height;
  r->stockWindow = int(std::min<int64_t>(r->stockCount, std::max<int64_t>(2, kStockBytes / bytes)));
  if (!CopyPlane(&e->y, yuv.y, yuv.y_width, yuv.y_height, yuv.y_stride) ||
      !CopyPlane(&e->u, yuv.u, yuv.uv_width, yuv.uv_height, yuv.uv_stride) ||
      !CopyPlane(&e->v, yuv.v, yuv.uv_width, yuv.uv_height, yuv.uv_stride))
    return false;
  e->frame = frame;
  std::lock_guard<std::mutex> guard(r->stockLock);
  e->used.store(1, std::memory_order_release);
  return true;
}

// One step of decoding ahead: the first frame of the window that the stock lacks.
void DecodeStep(TheoraDecodeRecord* r) {
  const int64_t current = r->currentFrame.load(std::memory_order_acquire);
  if (current < 0) {
    r->threadState.store(THEORA_THREAD_IDLE, std::memory_order_release);
    Pause1ms();
    return;
  }
  const int64_t window = WindowSize(r);
  int64_t wanted = -1;
  TheoraStockEntry* free = nullptr;
  {
    std::lock_guard<std::mutex> guard(r->stockLock);
    for (int i = 0; i < r->stockCount; ++i) {
      TheoraStockEntry& e = r->stock[i];
      if (e.used.load(std::memory_order_relaxed) && DistanceAhead(r, e.frame, current) >= window)
        e.used.store(0, std::memory_order_release);
    }
    for (int64_t i = 0; i < window && wanted < 0; ++i) {
      const int64_t f = (current + i) % r->totalFrames;
      if (!FindInStock(r, f)) wanted = f;
    }
    for (int i = 0; i < r->stockCount && !free; ++i)
      if (!r->stock[i].used.load(std::memory_order_relaxed)) free = &r->stock[i];
  }
  if (wanted < 0 || !free) {
    // The stock is full: nothing to do until the player moves on, which takes milliseconds.
    r->threadState.store(THEORA_THREAD_IDLE, std::memory_order_release);
    Pause1ms();
    return;
  }
  if (r->endOfFile.load(std::memory_order_acquire) && r->failedFrame.load(std::memory_order_acquire) == wanted) {
    Pause1ms();  // this frame could not be had; wait for another to be wanted
    return;
  }
  r->threadState.store(THEORA_THREAD_DECODING, std::memory_order_release);
  const int64_t decoded = r->decodedFrame.load(std::memory_order_relaxed);
  int result = 0;
  if (decoded != wanted) {
    if (decoded >= 0 && wanted > decoded && wanted - decoded <= kMaxForwardRead) {
      result = DecodePackets(r, wanted - decoded);
    } else {
      result = Reposition(r, wanted);
    }
  }
  if (result != 0 || !StorePicture(r, free, wanted)) {
    r->failedFrame.store(wanted, std::memory_order_release);
    r->endOfFile.store(1, std::memory_order_release);
    return;
  }
  r->endOfFile.store(0, std::memory_order_release);
}

void DecodeThread(TheoraDecodeRecord* r) {
  while (!r->stopRequest.load(std::memory_order_acquire)) {
    if (r->pauseRequest.load(std::memory_order_acquire)) {
      r->threadState.store(THEORA_THREAD_PAUSED, std::memory_order_release);
      Pause1ms();
      continue;
    }
    if (r->seekRequest.load(std::memory_order_acquire)) {
      r->threadState.store(THEORA_THREAD_SEEKING, std::memory_order_release);
      const int64_t target = r->seekTarget.load(std::memory_order_acquire);
      // A failed seek leaves the thread running; the frame is reported as not to be had.
      const bool failed = Reposition(r, target) != 0;
      r->failedFrame.store(failed ? target : -1, std::memory_order_release);
      r->endOfFile.store(failed ? 1 : 0, std::memory_order_release);
      r->seekRequest.store(0, std::memory_order_release);
      continue;
    }
    DecodeStep(r);
  }
  r->threadState.store(THEORA_THREAD_ENDED, std::memory_order_release);
}

// Waits until the thread idles on request, or has ended.
void PauseThread(TheoraDecodeRecord* r) {
  r->pauseRequest.store(1, std::memory_order_release);
  for (;;) {
    const int s = r->threadState.load(std::memory_order_acquire);
    if (s == THEORA_THREAD_PAUSED || s == THEORA_THREAD_ENDED) return;
    std::this_thread::yield();
  }
}

int RunCreateSurface(void* argument) {
  TheoraDecodeRecord* r = static_cast<TheoraDecodeRecord*>(argument);
  if (r->surface) G_D3D_ReleaseSurface(r->surface);
  r->surface = nullptr;
  r->surfaceFourCC = 0;
  static const uint32_t kFormats[] = {MakeFourCC('Y', 'V', '1', '2'), MakeFourCC('Y', 'U', 'Y', '2'),
                                      MakeFourCC('U', 'Y', 'V', 'Y')};
  for (uint32_t fourCC : kFormats) {
    if (!G_D3D_CheckMovieSurfaceFormat(fourCC)) continue;
    r->surface = G_D3D_CreateOffscreenPlainSurface(int(r->info.frame_width), int(r->info.frame_height), fourCC);
    if (r->surface) {
      r->surfaceFourCC = fourCC;
      break;
    }
  }
  return 0;
}

int RunReleaseSurface(void* argument) {
  TheoraDecodeRecord* r = static_cast<TheoraDecodeRecord*>(argument);
  r->surfaceLost = 0;
  if (r->surface) G_D3D_ReleaseSurface(r->surface);
  r->surface = nullptr;
  return 0;
}

int RunOnMainThread(int (*routine)(void*), TheoraDecodeRecord* r, int fromLoadingThread) {
  if (!fromLoadingThread) return routine(r);
  MainThreadRequest request{routine, r};
  return RequestMainThreadCall(&request);
}

// The stock entry's frame with the picture the stream shows from it.
TheoraPlanes PicturePlanes(const TheoraDecodeRecord* r, const TheoraStockEntry& e) {
  TheoraPlanes planes = e.Planes();
  planes.picX = int(r->info.offset_x);
  planes.picY = int(r->info.offset_y);
  planes.picWidth = int(r->info.frame_width);
  planes.picHeight = int(r->info.frame_height);
  return planes;
}

bool WriteSurface(TheoraDecodeRecord* r, const TheoraStockEntry& e, int fromLoadingThread) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    D3DLockedRect locked{};
    if (r->surface && !r->surfaceLost &&
        G_D3D_SurfaceLockRect(r->surface, &locked, nullptr, 0, fromLoadingThread) == 0) {
      TheoraDecode_PlanesToSurface(PicturePlanes(r, e), r->surfaceFourCC, static_cast<uint8_t*>(locked.pBits),
                                   locked.Pitch);
      G_D3D_SurfaceUnlockRect(r->surface, fromLoadingThread);
      return true;
    }
    TheoraDecode_ReleaseSurface(r, fromLoadingThread);
    TheoraDecode_CreateSurface(r, fromLoadingThread);
  }
  return false;
}

}  // namespace

int TheoraDecode_ReadData(TheoraDecodeRecord* record, int bytes) {
  char* buffer = ogg_sync_buffer(&record->sync, bytes);
  if (!buffer) return 0;
  const size_t got = record->files.Read(buffer, 1, size_t(bytes), record->stream);
  ogg_sync_wrote(&record->sync, long(got));
  return int(got);
}

TheoraDecodeRecord* TheoraDecode_Open(const FileAccessTable* files, StreamHandle stream, int stockCount,
                                      int fromLoadingThread) {
  if (!files || !stream || stockCount < 1) return nullptr;
  char magic[4] = {};
  if (files->Read(magic, 1, 4, stream) != 4 || std::memcmp(magic, "OggS", 4) != 0) return nullptr;
  files->Seek(stream, 0, 0);

  void* block = TK_CALLOC(sizeof(TheoraDecodeRecord));
  if (!block) {
    LogPrint("Theora ムービーデコード処理用のメモリ確保に失敗しました\n");
    return nullptr;
  }
  TheoraDecodeRecord* r = new (block) TheoraDecodeRecord();
  r->currentFrame.store(-1);
  r->decodedFrame.store(-1);
  r->seekTarget.store(-1);
  r->failedFrame.store(-1);
  ogg_sync_init(&r->sync);
  theora_info_init(&r->info);
  theora_comment_init(&r->comment);
  r->files = *files;
  r->stream = stream;

  auto fail = [r]() -> TheoraDecodeRecord* {
    TheoraDecode_Close(r);
    return nullptr;
  };
  if (!ParseHeaders(r)) return fail();
  // The legacy header names the padded frame width and height, the picture frame_width and
  // frame_height, with its offset from the top left (libtheora turns the stream's bottom-up offset).
  const theora_info& in = r->info;
  if (!MoviePictureSizeSane(in.width, in.height) || in.fps_numerator == 0 || in.fps_denominator == 0 ||
      in.frame_width < 1 || in.frame_height < 1 || in.frame_width > in.width || in.frame_height > in.height ||
      in.offset_x > in.width - in.frame_width || in.offset_y > in.height - in.frame_height)
    return fail();
  if (theora_decode_init(&r->state, &r->info) != 0) return fail();
  r->decoderInitialized = 1;
  ogg_sync_reset(&r->sync);
  ogg_stream_reset(&r->oggStream);
  if (files->Seek(stream, 0, 0) != 0) return fail();
  if (!IndexFile(r)) return fail();
  // Headers alone make no movie.
  if (r->totalFrames == 0) return fail();

  TheoraDecode_CreateSurface(r, fromLoadingThread);
  if (MakeBaseImageXRGB8(int(in.frame_width), int(in.frame_height), &r->frameImage) != 0) {
    LogPrint("Theora ムービーデコードフレームストック用画像バッファの確保に失敗しました\n");
    return fail();
  }
  void* stock = TK_CALLOC(sizeof(TheoraStockEntry) * size_t(stockCount));
  if (!stock) {
    LogPrint("Theora ムービーデコードフレームストック用のメモリ確保に失敗しました\n");
    return fail();
  }
  r->stock = static_cast<TheoraStockEntry*>(stock);
  for (int i = 0; i < stockCount; ++i) new (&r->stock[i]) TheoraStockEntry();
  r->stockCount = r->stockWindow = stockCount;

  r->pauseRequest.store(1);
  r->threadState.store(THEORA_THREAD_PAUSED);
  try {
    r->thread = std::thread(DecodeThread, r);
  } catch (const std::system_error&) {
    LogPrint("Theora ムービーデコード用スレッドの作成に失敗しました\n");
    return fail();
  }
  TheoraDecode_Seek(r, 0);
  TheoraDecode_ConvertFrame(r, 1, 1, fromLoadingThread);
  return r;
}

int TheoraDecode_Close(TheoraDecodeRecord* r) {
  if (!r) return -1;
  if (r->thread.joinable()) {
    r->stopRequest.store(1, std::memory_order_release);
    r->thread.join();
  }
  for (int i = 0; i < r->stockCount; ++i) {
    MemFree(r->stock[i].y);
    MemFree(r->stock[i].u);
    MemFree(r->stock[i].v);
    r->stock[i].~TheoraStockEntry();
  }
  MemFree(r->stock);
  if (r->surface) G_D3D_ReleaseSurface(r->surface);
  MemFree(r->pages);
  MemFree(r->keyFrames);
  if (r->frameImage.Pixels) ReleaseBaseImage(&r->frameImage);
  if (r->streamInitialized) ogg_stream_clear(&r->oggStream);
  if (r->decoderInitialized) theora_clear(&r->state);
  theora_comment_clear(&r->comment);
  theora_info_clear(&r->info);
  ogg_sync_clear(&r->sync);
  r->~TheoraDecodeRecord();
  MemFree(r);
  return 0;
}

int TheoraDecode_GetInfo(TheoraDecodeRecord* r, TheoraMovieInfo* info) {
  if (!r || !info) return -1;
  info->frameRate = double(r->info.fps_numerator) / double(r->info.fps_denominator);
  info->totalFrames = r->totalFrames > INT32_MAX ? INT32_MAX : int(r->totalFrames);
  info->width = int(r->info.frame_width);
  info->height = int(r->info.frame_height);
  return 0;
}

int64_t TheoraDecode_GetCurrentFrame(TheoraDecodeRecord* r) { return r->currentFrame.load(std::memory_order_acquire); }

BaseImage* TheoraDecode_GetBaseImage(TheoraDecodeRecord* r) { return &r->frameImage; }

D3DSurface TheoraDecode_GetYV12Surface(TheoraDecodeRecord* r) { return r->surface; }

int TheoraDecode_SetSurfaceLost(TheoraDecodeRecord* r) {
  r->surfaceLost = 1;
  return 0;
}

int TheoraDecode_AdvanceFrame(TheoraDecodeRecord* r, int64_t count) {
  if (count < 1) return 0;
  const int64_t current = r->currentFrame.load(std::memory_order_relaxed);
  r->currentFrame.store((current + count % r->totalFrames) % r->totalFrames, std::memory_order_release);
  r->imageCurrent = r->surfaceCurrent = 0;
  return 0;
}

int TheoraDecode_Seek(TheoraDecodeRecord* r, int64_t frame) {
  if (frame < 0) frame = 0;
  if (frame >= r->totalFrames) frame = r->totalFrames - 1;
  if (frame == r->currentFrame.load(std::memory_order_relaxed)) return 0;
  r->imageCurrent = r->surfaceCurrent = 0;
  PauseThread(r);
  r->currentFrame.store(frame, std::memory_order_release);
  r->seekTarget.store(frame, std::memory_order_release);
  ClearStock(r);
  r->endOfFile.store(0, std::memory_order_release);
  r->seekRequest.store(1, std::memory_order_release);
  r->pauseRequest.store(0, std::memory_order_release);
  return 0;
}

int TheoraDecode_ConvertFrame(TheoraDecodeRecord* r, int toImage, int toSurface, int fromLoadingThread) {
  const bool wantImage = toImage && !r->imageCurrent;
  const bool wantSurface = toSurface && r->surface && !r->surfaceCurrent;
  if (!wantImage && !wantSurface) return 0;
  const int64_t current = r->currentFrame.load(std::memory_order_relaxed);
  std::unique_lock<std::mutex> guard(r->stockLock);
  TheoraStockEntry* entry;
  for (;;) {
    if (r->threadState.load(std::memory_order_acquire) == THEORA_THREAD_ENDED) return 0;
    if ((entry = FindInStock(r, current)) != nullptr) break;
    if (!r->seekRequest.load(std::memory_order_acquire) && r->endOfFile.load(std::memory_order_acquire) &&
        r->failedFrame.load(std::memory_order_acquire) == current)
      return 0;
    guard.unlock();
    std::this_thread::yield();
    guard.lock();
  }
  if (wantSurface) {
    WriteSurface(r, *entry, fromLoadingThread);
    r->surfaceCurrent = 1;
  }
  if (wantImage) {
    TheoraDecode_PlanesToImage(PicturePlanes(r, *entry), &r->frameImage);
    r->imageCurrent = 1;
  }
  return 1;
}

int TheoraDecode_CreateSurface(TheoraDecodeRecord* r, int fromLoadingThread) {
  r->surfaceLost = 0;
  return RunOnMainThread(RunCreateSurface, r, fromLoadingThread);
}

int TheoraDecode_ReleaseSurface(TheoraDecodeRecord* r, int fromLoadingThread) {
  return RunOnMainThread(RunReleaseSurface, r, fromLoadingThread);
}
