// Fuzz target: opening a Theora movie from memory, then seeking, advancing and converting frames.
#include <cstddef>
#include <cstdint>

#include "engine/sound/movie/theora_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int tables = InitializeYUVToRGBTable();
  (void)tables;
  StreamHandle stream = MemStreamOpen(data, size);
  if (!stream) return 0;
  if (TheoraDecodeRecord* movie = TheoraDecode_Open(GetMemFileAccessTable(), stream, 4, 0)) {
    TheoraMovieInfo info;
    TheoraDecode_GetInfo(movie, &info);
    // A few frames by advancing (through the wrap) and by seeking, the last one past the end.
    const int64_t frames = info.totalFrames;
    for (int64_t step : {int64_t(1), frames / 2 + 1, frames - 1}) {
      TheoraDecode_AdvanceFrame(movie, step);
      TheoraDecode_ConvertFrame(movie, 1, 0, 0);
    }
    for (int64_t target : {frames / 3, int64_t(0), frames + 5}) {
      TheoraDecode_Seek(movie, target);
      TheoraDecode_ConvertFrame(movie, 1, 0, 0);
    }
    TheoraDecode_Close(movie);
  }
  MemStreamClose(stream);
  return 0;
}
