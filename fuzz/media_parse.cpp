// Fuzz target: bytes in memory served by the engine's memory reader to the FFmpeg parser, each
// stream it finds into a null renderer, run unclocked to the end. Reads must stay within the
// reader's length; nothing may outlive the graph.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/sound/graph/async_reader.h"
#include "fuzz/fuzz_common.h"
#include "platform/media/ffmpeg/ffmpeg_filters.h"

namespace {

constexpr GUID kAnyStream = MakeGuid("5e1f0c2a-7b3d-4a66-9c0e-81d2f4a6b703");

void Play(Tamrak_CMemReader* reader) {
  ComPtr<IGraphBuilder> graph;
  FUZZ_CHECK(CreateMediaObject(CLSID_FilterGraph, nullptr, IID_IGraphBuilder, graph.PutVoid()) == S_OK);
  ComPtr<IBaseFilter> parser;
  FUZZ_CHECK(CreateMediaObject(CLSID_MediaParser, nullptr, IID_IBaseFilter, parser.PutVoid()) == S_OK);
  FUZZ_CHECK(graph->AddFilter(reader, u"MemFile") == S_OK);
  FUZZ_CHECK(graph->AddFilter(parser.Get(), u"Parser") == S_OK);
  PinList in, out;
  reader->EnumPins(&out);
  parser->EnumPins(&in);
  FUZZ_CHECK(out.size() == 1 && in.size() == 1);
  if (graph->ConnectDirect(out[0].Get(), in[0].Get(), nullptr) != S_OK) {
    PinList after;
    parser->EnumPins(&after);
    FUZZ_CHECK(after.size() == 1);  // refused: no pins made
    return;
  }
  PinList streams;
  parser->EnumPins(&streams);
  FUZZ_CHECK(streams.size() > 1);
  for (size_t i = 1; i < streams.size(); ++i) {
    ComPtr<IBaseFilter> sink;
    FUZZ_CHECK(CreateMediaObject(CLSID_NullRenderer, nullptr, IID_IBaseFilter, sink.PutVoid()) == S_OK);
    std::u16string name = u"Sink ";
    for (char c : std::to_string(i)) name += char16_t(c);
    FUZZ_CHECK(graph->AddFilter(sink.Get(), name.c_str()) == S_OK);
    PinList sinkPins;
    sink->EnumPins(&sinkPins);
    FUZZ_CHECK(graph->ConnectDirect(streams[i].Get(), sinkPins[0].Get(), nullptr) == S_OK);
  }
  graph.As<IMediaFilter>()->SetSyncSource(nullptr);
  auto control = graph.As<IMediaControl>();
  int32_t code = 0;
  if (SUCCEEDED(control->Run())) graph.As<IMediaEvent>()->WaitForCompletion(2000, &code);
  FUZZ_CHECK(control->Stop() == S_OK);
  // Seek back and play again: the demuxer reads from the middle of what it already read.
  int64_t zero = 0;
  graph.As<IMediaSeeking>()->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
  if (SUCCEEDED(control->Run())) graph.As<IMediaEvent>()->WaitForCompletion(2000, &code);
  FUZZ_CHECK(control->Stop() == S_OK);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  {
    fuzz::LiveBlocks blocks;
    Tamrak_CMemStream* stream = CreateMemStreamObject(data, uint32_t(size), 0, Tamrak_CMemStream::kUnlimited);
    FUZZ_CHECK(stream);
    MediaType type(MEDIATYPE_Stream, kAnyStream);
    HRESULT hr = E_FAIL;
    auto* reader = new Tamrak_CMemReader(stream, &type, &hr);
    FUZZ_CHECK(hr == S_OK);
    Play(reader);
    DeleteMemReaderObject(reader);
    DeleteMemStreamObject(stream);
  }
  FUZZ_CHECK(MediaLiveThreads() == 0);
  FUZZ_CHECK(MediaLiveObjects() == 0);
  return 0;
}
