// Fuzz target: a movie file of fuzzed bytes opened as the game opens one (the Theora decoder
// first, then the media framework's graph into the movie renderer), played unclocked and updated
// over several frames with the renderer converting them, paused, resumed, looped or ended, closed.
// The engine runs silent, so a movie's sound is dropped as fast as it comes.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "engine/sound/movie/movie.h"
#include "engine/sound/movie/theora_decode.h"
#include "fuzz/fuzz_common.h"
#include "platform/audio/audio.h"
#include "platform/media/media.h"

namespace {

// What a graph does with each new frame: reads it whole.
void TakeFrame(MovieHandleRecord* movie, intptr_t) {
  if (movie->theoraFlag) {
    TheoraDecode_ConvertFrame(movie->decoder, 1, 0, 0);
    return;
  }
  const BaseImage* frame = movie->frameImage;
  FUZZ_CHECK(frame && frame->Pixels);
  FUZZ_CHECK(frame->Width >= 1 && frame->Width <= kMaxMoviePictureSide && frame->Height >= 1 && frame->Height <= kMaxMoviePictureSide);
  FUZZ_CHECK(frame->Pitch >= frame->Width * 3);
  const auto* pixels = static_cast<const volatile uint8_t*>(frame->Pixels);
  (void)pixels[0];
  (void)pixels[size_t(frame->Pitch) * size_t(frame->Height) - 1];
}

void Update(int movie, int times) {
  for (int i = 0; i < times; ++i) {
    UpdateMovie(movie);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the streaming thread delivers meanwhile
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterScratchFolder();
  static NullAudioConfig none;
  none.failCreate = true;
  AudioNull_Install(&none);
  fuzz::StartEngine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  fuzz::WriteWholeFile("movie.bin", data, size);
  {
    fuzz::LiveBlocks blocks;
    const int param[1] = {0};
    int width = 0, height = 0;
    const int movie = OpenMovie(param, "movie.bin", &width, &height, 0, 0);
    if (movie != -1) {
      FUZZ_CHECK(width >= 1 && width <= kMaxMoviePictureSide && height >= 1 && height <= kMaxMoviePictureSide);
      MovieHandleRecord* m = GetMovieHandleRecord(movie);
      FUZZ_CHECK(m != nullptr);
      SetMovieFrameCallback(movie, TakeFrame, 0);
      if (!m->theoraFlag) {
        ComPtr<IMediaFilter> graph;
        auto* builder = static_cast<IGraphBuilder*>(m->graphBuilder);
        FUZZ_CHECK(builder->QueryInterface(IID_IMediaFilter, graph.PutVoid()) == S_OK);
        graph->SetSyncSource(nullptr);
      }
      PlayMovie(movie, size && (data[size - 1] & 1) ? PlayType::Loop : PlayType::Background);
      Update(movie, 12);
      PauseMovie(movie, 1);
      Update(movie, 2);
      PlayMovie(movie, -1, 1);
      Update(movie, 6);
      FUZZ_CHECK(CloseMovie(movie) == 0);
    }
  }
  FUZZ_CHECK(MediaLiveThreads() == 0);
  FUZZ_CHECK(MediaLiveObjects() == 0);
  return 0;
}
