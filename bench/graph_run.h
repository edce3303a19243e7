// What the movie benchmarks share: a movie renderer that counts the frames it converts, and a
// bare graph that plays a file into it unclocked, as fast as it decodes, to its end.
#pragma once

#include <atomic>
#include <string>

#include "engine/sound/movie/movie_renderer.h"

class CountingRenderer : public MovieRenderer {
 public:
  CountingRenderer() : MovieRenderer(nullptr, nullptr) {}
  HRESULT DoRenderSample(IMediaSample* sample) override {
    ++frames;
    return MovieRenderer::DoRenderSample(sample);
  }
  std::atomic<int> frames{0};
};

// The renderer that saw the file, or an empty pointer when no graph could be built for it.
inline ComPtr<CountingRenderer> PlayGraphUnclocked(const std::u16string& path) {
  ComPtr<IGraphBuilder> graph;
  CreateMediaObject(CLSID_FilterGraph, nullptr, IID_IGraphBuilder, graph.PutVoid());
  ComPtr<CountingRenderer> renderer(new CountingRenderer);
  graph->AddFilter(renderer.Get(), u"MovieRenderer");
  if (FAILED(graph->RenderFile(path.c_str(), nullptr))) return ComPtr<CountingRenderer>();
  graph.As<IMediaFilter>()->SetSyncSource(nullptr);
  int32_t code = 0;
  graph.As<IMediaControl>()->Run();
  graph.As<IMediaEvent>()->WaitForCompletion(60000, &code);
  graph.As<IMediaControl>()->Stop();
  return renderer;
}
