// Fuzz target: a movie opened from memory through the media layer's file source, rendered into the
// movie renderer (sound into the audio renderer, which drops it without a device) and run unclocked
// to its end.
#include <cstddef>
#include <cstdint>

#include "engine/sound/movie/movie_renderer.h"
#include "fuzz/fuzz_common.h"
#include "platform/media/ffmpeg/ffmpeg_filters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  {
    fuzz::LiveBlocks blocks;
    ComPtr<IGraphBuilder> graph;
    FUZZ_CHECK(CreateMediaObject(CLSID_FilterGraph, nullptr, IID_IGraphBuilder, graph.PutVoid()) == S_OK);
    HRESULT hr = S_OK;
    ComPtr<IBaseFilter> renderer(static_cast<IBaseFilter*>(CreateMovieRenderer(nullptr, &hr)));
    FUZZ_CHECK(graph->AddFilter(renderer.Get(), u"MovieRenderer") == S_OK);
    ComPtr<IBaseFilter> source;
    if (CreateMemoryMediaSource(data, size, source.Put()) == S_OK) {
      FUZZ_CHECK(graph->AddFilter(source.Get(), u"Memory") == S_OK);
      PinList pins;
      source->EnumPins(&pins);
      int rendered = 0;
      for (auto& pin : pins) rendered += SUCCEEDED(graph->Render(pin.Get()));
      if (rendered > 0) {
        graph.As<IMediaFilter>()->SetSyncSource(nullptr);
        auto control = graph.As<IMediaControl>();
        auto events = graph.As<IMediaEvent>();
        int32_t code = 0;
        if (SUCCEEDED(control->Run())) events->WaitForCompletion(2000, &code);
        FUZZ_CHECK(control->Stop() == S_OK);
        FUZZ_CHECK(MediaLiveThreads() == 0);
      }
    }
  }
  FUZZ_CHECK(MediaLiveThreads() == 0);
  FUZZ_CHECK(MediaLiveObjects() == 0);
  return 0;
}
