// Movies through the media framework: the framework is not built, so its open fails at the first
// step with the framework's own message. The temporary copy it renders from is here already.
#include <algorithm>
#include <cstdio>

#include "engine/sound/movie.h"

int OpenMovie_MediaGraph(MovieHandleRecord* movie, const char* path, int* width, int* height) {
  movie->playState = 0;
  movie->frameUpdated = 0;
  LogPrint("CLSID_FilterGraph の作成に失敗しました\n");
  return -1;
}

int CopyMovieToTemporaryFile(const char* path, char* temporaryPath, size_t temporaryPathSize) {
  constexpr size_t kChunk = 0x100000;
  StreamHandle file = FileAccessOpen(path, 0, 1, 0);
  if (!file) return -1;
  int64_t size = -1;
  if (FileAccessSeek(file, 0, 2) == 0) size = FileAccessTell(file);
  void* buffer = size >= 0 && FileAccessSeek(file, 0, 0) == 0 ? TK_MALLOC(kChunk) : nullptr;
  std::FILE* out = buffer ? CreateTemporaryFile(temporaryPath, temporaryPathSize) : nullptr;
  if (!out) {
    MemFree(buffer);
    FileAccessClose(file);
    return -1;
  }
  // A short read or write leaves a copy that would play as another movie: the attempt fails.
  bool whole = true;
  for (int64_t left = size; left > 0 && whole;) {
    const size_t chunk = size_t(std::min<int64_t>(left, int64_t(kChunk)));
    whole = FileAccessRead(buffer, 1, chunk, file) == chunk && std::fwrite(buffer, 1, chunk, out) == chunk;
    left -= int64_t(chunk);
  }
  if (std::fclose(out) != 0) whole = false;
  MemFree(buffer);
  FileAccessClose(file);
  if (!whole) {
    std::remove(temporaryPath);
    return -1;
  }
  return 0;
}
