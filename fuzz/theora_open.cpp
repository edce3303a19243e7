// Fuzz target: a Theora movie opened from memory and played: frame by frame through its end and
// round again, seeks to places the input picks, and jumps through the wrap, every frame converted.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "engine/sound/movie/theora_decode.h"
#include "fuzz/fuzz_common.h"

namespace {

// Pixels converted per input, so that a large picture costs a few frames, not forty.
constexpr int64_t kPixelBudget = 16 << 20;

void Show(TheoraDecodeRecord* movie, int64_t expected) {
  FUZZ_CHECK(TheoraDecode_GetCurrentFrame(movie) == expected);
  TheoraDecode_ConvertFrame(movie, 1, 0, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int tables = InitializeYUVToRGBTable();
  (void)tables;
  fuzz::LiveBlocks blocks;
  StreamHandle stream = MemStreamOpen(data, size);
  if (!stream) return 0;
  if (TheoraDecodeRecord* movie = TheoraDecode_Open(GetMemFileAccessTable(), stream, 4, 0)) {
    TheoraMovieInfo info;
    TheoraDecode_GetInfo(movie, &info);
    const int64_t frames = info.totalFrames;
    FUZZ_CHECK(frames >= 1 && TheoraDecode_GetCurrentFrame(movie) == 0);
    const BaseImage* image = TheoraDecode_GetBaseImage(movie);
    FUZZ_CHECK(image->Width == info.width && image->Height == info.height);
    const int64_t steps = std::clamp<int64_t>(kPixelBudget / (int64_t(info.width) * info.height), 2, 40);

    // Played on: one frame after another, past the end round to frame 0 when it is short.
    int64_t at = 0;
    for (int64_t i = 0; i < std::min(frames + 2, steps); ++i) {
      TheoraDecode_AdvanceFrame(movie, 1);
      at = (at + 1) % frames;
      Show(movie, at);
    }
    // A seek the last bytes pick, one past the end, then on through the wrap and a jump.
    const int64_t picked = size >= 2 ? (data[size - 1] | data[size - 2] << 8) % (frames + 3) : 0;
    for (int64_t target : {picked, frames + 5}) {
      TheoraDecode_Seek(movie, target);
      at = std::clamp<int64_t>(target, 0, frames - 1);
      Show(movie, at);
    }
    for (int64_t step : {int64_t(1), frames / 2 + 1}) {
      TheoraDecode_AdvanceFrame(movie, step);
      at = (at + step) % frames;
      Show(movie, at);
    }
    TheoraDecode_Close(movie);
  }
  MemStreamClose(stream);
  return 0;
}
