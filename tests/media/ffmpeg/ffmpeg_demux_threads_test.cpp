// The file source's streams on threads of their own: a stream held downstream leaves the others
// flowing, and a seek or a stop while a pin's thread is held (its queue full, the reading thread
// waiting for room) waits for it and leaves nothing behind.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/media/ffmpeg/ffmpeg_filters.h"
#include "tests/media/test_filters.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace mtest {
namespace {

std::string ClipPath(const char* name) {
  const char* dir = std::getenv("TAMRAK_BINARY_DIR");
  return std::string(dir ? dir : ".") + "/testmedia/movie/" + name;
}

std::string ClipBytes(const char* name) {
  std::ifstream in(ClipPath(name), std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Packets of the first stream of the kind, as libavformat reads the file.
int PacketsOf(const char* name, AVMediaType kind) {
  AVFormatContext* ctx = nullptr;
  if (avformat_open_input(&ctx, ClipPath(name).c_str(), nullptr, nullptr) < 0) return -1;
  avformat_find_stream_info(ctx, nullptr);
  const int stream = av_find_best_stream(ctx, kind, -1, -1, nullptr, 0);
  AVPacket* packet = av_packet_alloc();
  int n = 0;
  while (av_read_frame(ctx, packet) >= 0) {
    n += packet->stream_index == stream;
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  avformat_close_input(&ctx);
  return n;
}

// Records packets; a gate may hold its streaming thread in the first one.
class HeldSink : public RecordingSink {
 public:
  HRESULT DoRenderSample(IMediaSample* s) override {
    if (hold) hold->Pass();
    return RecordingSink::DoRenderSample(s);
  }
  Gate* hold = nullptr;
};

// The source over a clip in memory, each of its pins straight into a sink of its own.
struct SourceGraph {
  explicit SourceGraph(const char* name) : bytes(ClipBytes(name)) {
    EXPECT_EQ(CreateMemoryMediaSource(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), source.Put()),
              S_OK);
    graph->AddFilter(source.Get(), u"Source");
    PinList pins;
    source->EnumPins(&pins);
    for (size_t i = 0; i < pins.size(); ++i) {
      sinks.push_back(Make(new HeldSink));
      graph->AddFilter(sinks.back().Get(), i ? u"Sink 2" : u"Sink 1");
      EXPECT_EQ(graph->ConnectDirect(pins[i].Get(), PinOf(sinks.back().Get(), 0).Get(), nullptr), S_OK);
    }
    graph.As<IMediaFilter>()->SetSyncSource(nullptr);
  }
  ~SourceGraph() { graph.As<IMediaControl>()->Stop(); }

  std::string bytes;
  ComPtr<IBaseFilter> source;
  ComPtr<IGraphBuilder> graph = NewGraph();
  std::vector<ComPtr<HeldSink>> sinks;  // in the source's pin order: pictures first
};

}  // namespace

TEST_F(MediaTest, SoundStreamsOnWhileThePictureIsHeld) {
  SourceGraph g("count50.mp4");
  ASSERT_EQ(g.sinks.size(), 2u);
  Gate gate;
  g.sinks[0]->hold = &gate;
  ASSERT_EQ(g.graph.As<IMediaControl>()->Run(), S_OK);
  ASSERT_TRUE(gate.Reached());
  const size_t sound = size_t(PacketsOf("count50.mp4", AVMEDIA_TYPE_AUDIO));
  EXPECT_TRUE(Eventually([&] { return g.sinks[1]->Count() == sound; }));
  gate.Open();
  int32_t code = 0;
  ASSERT_EQ(g.graph.As<IMediaEvent>()->WaitForCompletion(10000, &code), S_OK);
  EXPECT_EQ(g.sinks[0]->Count(), size_t(PacketsOf("count50.mp4", AVMEDIA_TYPE_VIDEO)));
  EXPECT_EQ(g.sinks[1]->Count(), sound);
}

TEST_F(MediaTest, SeekAndStopWaitForAHeldPinWhoseQueueIsFull) {
  // 100 pictures: more than a pin queues, so the reading thread waits for room while one is held.
  for (const bool seek : {true, false}) {
    SCOPED_TRACE(seek ? "seek" : "stop");
    SourceGraph g("count100_640x480.mp4");
    ASSERT_EQ(g.sinks.size(), 1u);
    Gate gate;
    g.sinks[0]->hold = &gate;
    ASSERT_EQ(g.graph.As<IMediaControl>()->Run(), S_OK);
    ASSERT_TRUE(gate.Reached());
    auto seeking = g.graph.As<IMediaSeeking>();
    {
      Call act([&] {
        if (seek) {
          int64_t at = 2 * UNITS;  // picture 50 at 25 a second
          EXPECT_EQ(seeking->SetPositions(&at, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
                    S_OK);
        } else {
          EXPECT_EQ(g.graph.As<IMediaControl>()->Stop(), S_OK);
        }
      });
      gate.Open();
      ASSERT_TRUE(act.Returned());
    }
    if (seek) {
      int32_t code = 0;
      ASSERT_EQ(g.graph.As<IMediaEvent>()->WaitForCompletion(10000, &code), S_OK);
      // From the key frame at 48 (one every 12) to the end, nothing from before the seek.
      EXPECT_EQ(g.sinks[0]->Count(), 52u);
    }
    g.graph.As<IMediaControl>()->Stop();
    EXPECT_EQ(MediaLiveThreads(), 0);
  }
}

}  // namespace mtest
