// Graphs from image and movie files.
#include <cstring>

#include "engine/d3d9/graphics.h"
#include "engine/draw/baseimage.h"
#include "engine/draw/draw.h"

namespace {

// The whole file through the engine's file layer (archives included), into engine memory.
void* ReadWholeFile(const char* path, size_t* size) {
  StreamHandle file = FileAccessOpen(path, 0, 1, 0);
  if (!file) {
    LogPrintf("画像ファイル %s を開けませんでした", path);
    return nullptr;
  }
  void* data = nullptr;
  int64_t length = -1;
  if (FileAccessSeek(file, 0, 2) == 0) length = FileAccessTell(file);
  if (length <= 0 || length > IMAGE_MAX_FILE_BYTES || FileAccessSeek(file, 0, 0) != 0) {
    LogPrintf("画像ファイル %s のサイズが不正です", path);
  } else if (!(data = TK_MALLOC(size_t(length)))) {
    LogPrintf("画像ファイル %s を読み込むメモリを確保できませんでした", path);
  } else if (FileAccessRead(data, 1, size_t(length), file) != size_t(length)) {
    LogPrintf("画像ファイル %s を最後まで読めませんでした", path);
    MemFree(data);
    data = nullptr;
  }
  FileAccessClose(file);
  if (data) *size = size_t(length);
  return data;
}

// Rows go into a new graph's image as they are decoded, so the picture is held once.
class GraphRows final : public ImageRowSink {
 public:
  int graph = -1;
  bool unmade = false;  // the file held a picture, but its graph could not be made

  int Start(int width, int height, int hasAlpha) override {
    graph = MakeGraphHandle(width, height, hasAlpha);
    unmade = graph < 0;
    if (graph < 0) return -1;
    image_ = &GetGraphRecord(graph)->SoftImage;
    return 0;
  }
  void PutPixels(int y, int x, int step, const uint8_t* pixels, int count) override {
    PutMemImgPixels(image_, y, x, step, pixels, count);
  }

 private:
  MEMIMG* image_ = nullptr;
};

// Ogg files are movies; reading one whole as an image would only waste time.
bool IsOggFile(const char* path) {
  StreamHandle file = FileAccessOpen(path, 0, 1, 0);
  if (!file) return false;
  char magic[4] = {};
  const bool ogg = FileAccessRead(magic, 1, 4, file) == 4 && std::memcmp(magic, "OggS", 4) == 0;
  FileAccessClose(file);
  return ogg;
}

}  // namespace

int LoadGraph(const char* path, int notUse3DFlag) {
  if (!path || !IsGraphicsInitialized()) return -1;
  if (IsOggFile(path)) return LoadMovieGraph(path);
  size_t size = 0;
  void* data = ReadWholeFile(path, &size);
  if (!data) return -1;
  GraphRows rows;
  const bool decoded = DecodeImageFile(data, size, &rows) == 0;
  MemFree(data);
  if (!decoded) {
    if (rows.graph >= 0) DeleteGraph(rows.graph);
    LogPrintf("画像ファイル %s の読み込みに失敗しました", path);
    // A file that is no image may be a movie the media framework plays.
    return rows.unmade ? -1 : LoadMovieGraph(path);
  }
  // Without the code the image still draws, only on the general path.
  MakeMemImgTransCode(&GetGraphRecord(rows.graph)->SoftImage);
  return rows.graph;
}
