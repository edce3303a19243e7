// The FFmpeg parser behind the engine's memory reader: clips served from memory render through
// the parser and the decoders, MP3 still goes to the MPEG audio decoder, unreadable bytes are
// refused with the graph left alone, seeking moves the stream; the streams on threads of their
// own, a stream held downstream leaving the others flowing, and a seek or a stop while a pin's
// thread is held waiting for it; and the video decoder's pictures in RGB32 and late ones dropped.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "engine/sound/graph/async_reader.h"
#include "moviegen.h"
#include "platform/media/builtin_filters.h"
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

std::string Clip(const char* name) {
  std::ifstream in(ClipPath(name), std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

constexpr int kWidth = 128, kHeight = 64;
constexpr GUID kAnyStream = MakeGuid("5e1f0c2a-7b3d-4a66-9c0e-81d2f4a6b703");

// A sink that takes only RGB32 pictures, and one that takes only PCM sound.
ComPtr<RecordingSink> PictureSink() {
  auto sink = Make(new RecordingSink);
  sink->accept = [](const MediaType& t) {
    return t.majortype == MEDIATYPE_Video && t.subtype == MEDIASUBTYPE_RGB32 ? S_OK : S_FALSE;
  };
  return sink;
}
ComPtr<RecordingSink> SoundSink() {
  auto sink = Make(new RecordingSink);
  sink->accept = [](const MediaType& t) {
    return t.majortype == MEDIATYPE_Audio && t.subtype == MEDIASUBTYPE_PCM ? S_OK : S_FALSE;
  };
  return sink;
}

std::vector<int> Numbers(RecordingSink* sink) {
  std::vector<int> numbers;
  for (auto& s : sink->Samples()) {
    EXPECT_EQ(s.data.size(), size_t(kWidth) * kHeight * 4);
    numbers.push_back(ReadTestMovieNumber(s.data.data(), kWidth * 4));
  }
  return numbers;
}

// Seconds of PCM that reached the sink.
double Seconds(RecordingSink* sink) {
  WAVEFORMATEX wf{};
  if (!sink->setType.GetWaveFormat(&wf) || wf.nAvgBytesPerSec == 0) return -1;
  size_t n = 0;
  for (auto& s : sink->Samples()) n += s.data.size();
  return double(n) / wf.nAvgBytesPerSec;
}

bool Has(IGraphBuilder* graph, const CLSID& clsid) {
  FilterList filters;
  graph->EnumFilters(&filters);
  for (auto& f : filters) {
    CLSID id;
    if (SUCCEEDED(f->GetClassID(&id)) && id == clsid) return true;
  }
  return false;
}

// The engine's memory reader over a clip in a graph with a picture sink and a sound sink.
struct ReaderGraph {
  explicit ReaderGraph(const char* name, const GUID& subtype = kAnyStream) : bytes(Clip(name)) {
    EXPECT_GT(bytes.size(), 0u) << name;
    stream = CreateMemStreamObject(bytes.data(), uint32_t(bytes.size()), 0, Tamrak_CMemStream::kUnlimited);
    MediaType type(MEDIATYPE_Stream, subtype);
    HRESULT hr = E_FAIL;
    reader = new Tamrak_CMemReader(stream, &type, &hr);
    EXPECT_EQ(hr, S_OK);
    graph = NewGraph();
    EXPECT_EQ(graph->AddFilter(pictures.Get(), u"Pictures"), S_OK);
    EXPECT_EQ(graph->AddFilter(sound.Get(), u"Sound"), S_OK);
    EXPECT_EQ(graph->AddFilter(reader, u"MemFile"), S_OK);
    graph.As<IMediaFilter>()->SetSyncSource(nullptr);
  }
  ~ReaderGraph() {
    graph.As<IMediaControl>()->Stop();
    graph.Reset();
    pictures.Reset();
    sound.Reset();
    DeleteMemReaderObject(reader);
    DeleteMemStreamObject(stream);
  }
  HRESULT Render() { return graph->Render(PinOf(reader, 0).Get()); }
  HRESULT RunToEnd() {
    HRESULT hr = graph.As<IMediaControl>()->Run();
    if (FAILED(hr)) return hr;
    int32_t code = 0;
    hr = graph.As<IMediaEvent>()->WaitForCompletion(10000, &code);
    return FAILED(hr) ? hr : code == EC_COMPLETE ? S_OK : E_FAIL;
  }

  std::string bytes;
  Tamrak_CMemStream* stream = nullptr;
  Tamrak_CMemReader* reader = nullptr;
  ComPtr<RecordingSink> pictures = PictureSink(), sound = SoundSink();
  ComPtr<IGraphBuilder> graph;
};

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
  explicit SourceGraph(const char* name) : bytes(Clip(name)) {
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

TEST_F(MediaTest, ParserRendersAClipFromTheMemoryReaderInOrder) {
  for (const char* name : {"count50.mp4", "count50.webm"}) {
    SCOPED_TRACE(name);
    ReaderGraph g(name);
    ASSERT_EQ(g.Render(), S_OK);
    EXPECT_TRUE(Has(g.graph.Get(), CLSID_MediaParser));
    EXPECT_TRUE(Has(g.graph.Get(), CLSID_MediaVideoDecoder));
    EXPECT_TRUE(Has(g.graph.Get(), CLSID_MediaAudioDecoder));
    ASSERT_EQ(g.RunToEnd(), S_OK);
    std::vector<int> numbers = Numbers(g.pictures.Get());
    ASSERT_EQ(numbers.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(numbers[size_t(i)], i);
    // Two seconds of sound, give or take the codec's edges.
    EXPECT_NEAR(Seconds(g.sound.Get()), 2.0, 0.1);
  }
}

TEST_F(MediaTest, ParserReadsSoundAloneInOtherContainers) {
  // Ogg served as MPEG audio: the MPEG audio decoder refuses it and the parser, next by merit, reads it.
  const struct {
    const char* name;
    GUID subtype;
    double seconds;
  } clips[] = {{"tone.wav", MEDIASUBTYPE_WAVE, 2.0}, {"tone.ogg", MEDIASUBTYPE_MPEG1Audio, 1.0}};
  for (auto& clip : clips) {
    SCOPED_TRACE(clip.name);
    ReaderGraph g(clip.name, clip.subtype);
    ASSERT_EQ(g.Render(), S_OK);
    EXPECT_TRUE(Has(g.graph.Get(), CLSID_MediaParser));
    EXPECT_FALSE(Has(g.graph.Get(), CLSID_MpegAudioDecoder));
    ASSERT_EQ(g.RunToEnd(), S_OK);
    EXPECT_NEAR(Seconds(g.sound.Get()), clip.seconds, 0.1);
    EXPECT_EQ(g.pictures->Count(), 0u);
  }
}

TEST_F(MediaTest, Mp3FromAReaderStillGoesToTheMpegAudioDecoder) {
  ReaderGraph g("tone.mp3", MEDIASUBTYPE_MPEG1Audio);
  ASSERT_EQ(g.Render(), S_OK);
  EXPECT_TRUE(Has(g.graph.Get(), CLSID_MpegAudioDecoder));
  EXPECT_FALSE(Has(g.graph.Get(), CLSID_MediaParser));
  ASSERT_EQ(g.RunToEnd(), S_OK);
  EXPECT_NEAR(Seconds(g.sound.Get()), 2.0, 0.1);
}

TEST_F(MediaTest, ParserRefusesBytesFfmpegCannotReadAndLeavesTheGraphAsItWas) {
  for (const char* name : {"unreadable.mp4", "count50.mp4"}) {
    SCOPED_TRACE(name);
    ReaderGraph g(name);
    if (std::string(name) == "count50.mp4") g.bytes.assign(g.bytes.size(), 'x');  // same length, no film
    FilterList before, after;
    g.graph->EnumFilters(&before);
    EXPECT_TRUE(FAILED(g.Render()));
    g.graph->EnumFilters(&after);
    EXPECT_EQ(after.size(), before.size());
    ComPtr<IPin> other;
    EXPECT_EQ(PinOf(g.reader, 0)->ConnectedTo(other.Put()), VFW_E_NOT_CONNECTED);

    // Connected by hand, the parser refuses at connect and gives no pins.
    ComPtr<IBaseFilter> parser;
    ASSERT_EQ(CreateMediaObject(CLSID_MediaParser, nullptr, IID_IBaseFilter, parser.PutVoid()), S_OK);
    ASSERT_EQ(g.graph->AddFilter(parser.Get(), u"Parser"), S_OK);
    PinList pins;
    parser->EnumPins(&pins);
    ASSERT_EQ(pins.size(), 1u);
    EXPECT_TRUE(FAILED(g.graph->ConnectDirect(PinOf(g.reader, 0).Get(), pins[0].Get(), nullptr)));
    pins.clear();
    parser->EnumPins(&pins);
    EXPECT_EQ(pins.size(), 1u);
    EXPECT_EQ(g.graph->RemoveFilter(parser.Get()), S_OK);
  }
}

TEST_F(MediaTest, ParserSeeksThroughTheGraph) {
  ReaderGraph g("count50_silent.mkv");
  ASSERT_EQ(g.Render(), S_OK);
  auto seeking = g.graph.As<IMediaSeeking>();
  int64_t duration = 0;
  ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
  EXPECT_NEAR(double(duration), 2.0 * UNITS, 0.1 * UNITS);
  int64_t at = UNITS;  // one second: frame 25
  ASSERT_EQ(seeking->SetPositions(&at, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  ASSERT_EQ(g.RunToEnd(), S_OK);
  std::vector<int> numbers = Numbers(g.pictures.Get());
  ASSERT_FALSE(numbers.empty());
  // From the key frame at or before the place on, in order, to the end.
  EXPECT_GE(numbers.front(), 12);
  EXPECT_LE(numbers.front(), 25);
  for (size_t i = 1; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], numbers[i - 1] + 1);
  EXPECT_EQ(numbers.back(), 49);

  // And back to the start once more, with the stream stopped in between.
  ASSERT_EQ(g.graph.As<IMediaControl>()->Stop(), S_OK);
  g.pictures->got.clear();
  at = 0;
  ASSERT_EQ(seeking->SetPositions(&at, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  ASSERT_EQ(g.RunToEnd(), S_OK);
  numbers = Numbers(g.pictures.Get());
  ASSERT_EQ(numbers.size(), 50u);
  EXPECT_EQ(numbers.front(), 0);
  EXPECT_EQ(numbers.back(), 49);
}

TEST_F(MediaTest, VideoDecoderOffersYuvPicturesAsRgb32First) {
  const std::string bytes = Clip("count50_silent.mkv");
  ComPtr<IBaseFilter> source, decoder;
  ASSERT_EQ(CreateMemoryMediaSource(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), source.Put()), S_OK);
  ASSERT_EQ(CreateMediaObject(CLSID_MediaVideoDecoder, nullptr, IID_IBaseFilter, decoder.PutVoid()), S_OK);
  auto sink = PictureSink();
  auto graph = NewGraph();
  ASSERT_EQ(graph->AddFilter(source.Get(), u"Source"), S_OK);
  ASSERT_EQ(graph->AddFilter(decoder.Get(), u"Decoder"), S_OK);
  ASSERT_EQ(graph->AddFilter(sink.Get(), u"Sink"), S_OK);
  PinList sourcePins, decoderPins;
  source->EnumPins(&sourcePins);
  decoder->EnumPins(&decoderPins);
  ASSERT_EQ(sourcePins.size(), 1u);
  ASSERT_EQ(decoderPins.size(), 2u);
  ASSERT_EQ(graph->ConnectDirect(sourcePins[0].Get(), decoderPins[0].Get(), nullptr), S_OK);
  ASSERT_EQ(graph->ConnectDirect(decoderPins[1].Get(), PinOf(sink.Get(), 0).Get(), nullptr), S_OK);
  // MPEG-4 decodes to planar 4:2:0: offered as RGB32 (libswscale, the stream's matrix) first,
  // then as YV12.
  ASSERT_GE(sink->checked.size(), 1u);
  EXPECT_EQ(sink->checked.front(), MEDIASUBTYPE_RGB32);
  EXPECT_EQ(sink->setType.subtype, MEDIASUBTYPE_RGB32);
  ASSERT_NE(sink->setType.VideoInfo(), nullptr);
  EXPECT_EQ(sink->setType.VideoInfo()->bmiHeader.biWidth, kWidth);
  EXPECT_EQ(sink->setType.VideoInfo()->bmiHeader.biHeight, -kHeight);  // top-down

  graph.As<IMediaFilter>()->SetSyncSource(nullptr);
  ASSERT_EQ(graph.As<IMediaControl>()->Run(), S_OK);
  int32_t code = 0;
  ASSERT_EQ(graph.As<IMediaEvent>()->WaitForCompletion(10000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  ASSERT_EQ(graph.As<IMediaControl>()->Stop(), S_OK);
  std::vector<int> numbers = Numbers(sink.Get());
  ASSERT_EQ(numbers.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(numbers[size_t(i)], i);
  EXPECT_EQ(MediaLiveThreads(), 0);
}

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

TEST_F(MediaTest, LatePicturesAreDroppedOneInTwoAtMost) {
  ReaderGraph g("count50_silent.mkv");
  ASSERT_EQ(g.Render(), S_OK);
  auto clock = Make(new ManualClock);
  ASSERT_EQ(g.graph.As<IMediaFilter>()->SetSyncSource(clock.Get()), S_OK);
  ASSERT_EQ(g.graph.As<IMediaControl>()->Pause(), S_OK);
  ASSERT_TRUE(Eventually([&] { return g.pictures->Count() == 1; }));
  // Ten seconds on at once: every picture from then on is late.
  ASSERT_EQ(g.graph.As<IMediaControl>()->Run(), S_OK);
  clock->Advance(10 * UNITS);
  int32_t code = 0;
  ASSERT_EQ(g.graph.As<IMediaEvent>()->WaitForCompletion(10000, &code), S_OK);
  ASSERT_EQ(g.graph.As<IMediaControl>()->Stop(), S_OK);
  const std::vector<int> numbers = Numbers(g.pictures.Get());
  // The picture shown while pausing, perhaps one or two on their way before the clock moved, and
  // every other one after.
  ASSERT_GE(numbers.size(), 25u);
  ASSERT_LE(numbers.size(), 27u);
  EXPECT_EQ(numbers.front(), 0);
  int skips = 0;
  for (size_t i = 1; i < numbers.size(); ++i) {
    const int step = numbers[i] - numbers[i - 1];
    EXPECT_TRUE(step == 1 || step == 2) << i;
    skips += step == 2;
  }
  EXPECT_GE(skips, 22);
}

}  // namespace mtest
