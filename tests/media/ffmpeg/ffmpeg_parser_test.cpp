// The FFmpeg parser behind the engine's memory reader: clips served from memory render through
// the parser and the decoders, MP3 still goes to the MPEG audio decoder, unreadable bytes are
// refused with the graph left alone, seeking moves the stream; and the video decoder converts to
// RGB32 when its own layout is refused.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "engine/sound/graph/async_reader.h"
#include "moviegen.h"
#include "platform/media/builtin_filters.h"
#include "platform/media/ffmpeg/ffmpeg_filters.h"
#include "tests/media/test_filters.h"

namespace mtest {
namespace {

std::string Clip(const char* name) {
  const char* dir = std::getenv("TAMRAK_BINARY_DIR");
  std::ifstream in(std::string(dir ? dir : ".") + "/testmedia/movie/" + name, std::ios::binary);
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

}  // namespace mtest
