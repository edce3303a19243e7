// The last step of the sound conversion: a file decoded through a media graph into memory; and
// sounds as other programs write them, through the whole chain, against FFmpeg's and libmpg123's
// own decodes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

#include "engine/sound/sound_convert_internal.h"
#include "engine/sound/sound_internal.h"
#include "tests/sound/media.h"
#include "tests/sound/movie/movie_test_util.h"
#include "media/test_filters.h"
#include "platform/mpeg/mpeg_decode.h"
#include "platform/window/test_driver.h"

using mtest::Gate;

namespace {

constexpr int kOnlyGraph = SOUNDCONV_MASK_WAVE | SOUNDCONV_MASK_ACM | SOUNDCONV_MASK_OGG | SOUNDCONV_MASK_MP3;
constexpr int kOnlyAcmMp3 = SOUNDCONV_MASK_WAVE | SOUNDCONV_MASK_ACM | SOUNDCONV_MASK_OGG | SOUNDCONV_MASK_GRAPH;

// What the layer's decoder gives for the whole file at once.
Bytes DecodeWithTheLayersDecoder(const Bytes& file, WAVEFORMATEX* format) {
  long rate = 0;
  int channels = 0;
  EXPECT_EQ(MpegProbeFormat(file.data(), file.size(), &rate, &channels), 0);
  *format = WAVEFORMATEX{WAVE_FORMAT_PCM, uint16_t(channels), uint32_t(rate), uint32_t(rate * 2 * channels),
                         uint16_t(2 * channels), 16, 0};
  MpegDecoder* d = MpegDecoderOpen(rate, channels);
  EXPECT_NE(d, nullptr);
  MpegDecoderFeed(d, file.data(), file.size());
  Bytes pcm;
  for (;;) {
    uint8_t block[4096];
    size_t used = 0;
    MpegRead r = MpegDecoderRead(d, rate, channels, block, sizeof block, &used);
    pcm.insert(pcm.end(), block, block + used);
    if (r != MpegRead::Full) break;
  }
  MpegDecoderClose(d);
  return pcm;
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

Bytes FileBytes(const std::string& path) {
  const std::string bytes = ReadFileText(path);
  return Bytes(bytes.begin(), bytes.end());
}

// Largest difference between two runs of samples, over the shorter.
int MaxDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  int worst = 0;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

// Ends the program when no conversion has returned for half a minute: that is a hang, which
// would otherwise hold the test until its time-out.
class HangGuard {
 public:
  HangGuard() : thread_([this] { Watch(); }) {}
  ~HangGuard() {
    {
      std::lock_guard<std::mutex> lock(m_);
      done_ = true;
      cv_.notify_all();
    }
    thread_.join();
  }
  void Returned() {
    std::lock_guard<std::mutex> lock(m_);
    ++returned_;
    cv_.notify_all();
  }

 private:
  void Watch() {
    std::unique_lock<std::mutex> lock(m_);
    while (!done_) {
      const int seen = returned_;
      if (!cv_.wait_for(lock, std::chrono::seconds(30), [&] { return done_ || returned_ != seen; })) {
        std::fprintf(stderr, "conversion %d never returned\n", seen + 1);
        std::abort();
      }
    }
  }
  std::mutex m_;
  std::condition_variable cv_;
  int returned_ = 0;
  bool done_ = false;
  std::thread thread_;  // last: it starts once the rest is made
};

struct Result {
  int setup = -1;
  int kind = -1;
  WAVEFORMATEX format{};
  uint32_t capacity = 0;
  Bytes pcm;
};

class GraphConvert : public mtest::MediaTest {
 protected:
  void SetUp() override {
    log = "graph_" + std::to_string(getpid()) + "_" + testing::UnitTest::GetInstance()->current_test_info()->name() +
          "_log.txt";
    SetLogOutputFlag(1);
    SetLogFileName(log.c_str());
    static NullAudioConfig config;
    AudioNull_Install(&config);
    TestDriver_Reset();
    ASSERT_EQ(LibInit(), 0);
    blocks = GetAllocMemoryCount(nullptr);
  }
  void TearDown() override {
    EXPECT_EQ(GetAllocMemoryCount(nullptr), blocks);
    LibEnd();
    AudioNull_Install(nullptr);
    SetLogFileName(nullptr);
    std::remove(log.c_str());
    mtest::MediaTest::TearDown();
  }
  Result Convert(const Bytes& file, int mask = kOnlyGraph) {
    Result c;
    SoundLoadSettings settings{0, mask, 2, 0};
    StreamHandle stream = MemStreamOpen(file.data(), file.size());
    SoundConvertRecord r;
    c.setup = SetupSoundConvert(&settings, GetMemStreamFunctions(), stream, &r);
    if (c.setup == 0) {
      c.kind = r.kind;
      c.capacity = r.pcmCapacity;
      void* pcm = nullptr;
      uint32_t size = 0;
      EXPECT_EQ(ConvertSoundToPCM(&r, &c.format, &pcm, &size), 0);
      c.pcm.assign(static_cast<uint8_t*>(pcm), static_cast<uint8_t*>(pcm) + size);
      MemFree(pcm);
      TerminateSoundConvert(&r);
    }
    MemStreamClose(stream);
    // Each graph leaves nothing running and nothing of the layer alive.
    EXPECT_EQ(MediaLiveThreads(), 0);
    EXPECT_EQ(MediaLiveObjects(), 0);
    return c;
  }
  // A generated file loads through the whole chain as FFmpeg decodes it, within 1 LSB.
  void ExpectAsFFmpeg(const char* name, int kind) {
    SCOPED_TRACE(name);
    const ReferenceSound want = DecodeWithFFmpeg(movietest::MoviePath(name));
    ASSERT_GT(want.samples.size(), size_t(want.rate));
    const Result got = Convert(FileBytes(movietest::MoviePath(name)), 0);
    ASSERT_EQ(got.setup, 0);
    EXPECT_EQ(got.kind, kind);
    EXPECT_EQ(got.format.nSamplesPerSec, uint32_t(want.rate));
    EXPECT_EQ(got.format.nChannels, want.channels);
    const std::vector<int16_t> samples = ToSamples(got.pcm.data(), got.pcm.size());
    EXPECT_EQ(samples.size(), want.samples.size());
    EXPECT_LE(MaxDifference(samples, want.samples), 1);
  }
  bool Logged(const std::string& text) { return ReadFileText(log).find(text) != std::string::npos; }

  std::string log;
  int blocks = 0;
  mtest::ScopedPcmRenderer renderer;
};

}  // namespace

TEST_F(GraphConvert, Mp3DecodesAsTheLayersDecoderAndTheAcmPathDo) {
  for (int rate : {22050, 44100}) {
    for (int channels : {1, 2}) {
      SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " ch");
      const Bytes file = EncodeMp3(TestSignal(channels, rate * 3 / 2, rate, uint32_t(rate + channels)), channels, rate, 64);
      const int made = mtest::ScopedPcmRenderer::made;
      Result graph = Convert(file);
      ASSERT_EQ(graph.setup, 0);
      EXPECT_EQ(graph.kind, SOUNDCONV_KIND_MEMORY);
      WAVEFORMATEX direct{};
      const Bytes reference = DecodeWithTheLayersDecoder(file, &direct);
      EXPECT_EQ(graph.format.nChannels, channels);
      EXPECT_EQ(graph.format.nSamplesPerSec, uint32_t(rate));
      EXPECT_EQ(graph.format.wBitsPerSample, 16);
      EXPECT_EQ(graph.format.nAvgBytesPerSec, uint32_t(rate * 2 * channels));
      EXPECT_EQ(graph.format.nBlockAlign, direct.nBlockAlign);
      EXPECT_EQ(graph.format.cbSize, 0);
      ASSERT_GT(reference.size(), size_t(rate));
      EXPECT_TRUE(graph.pcm == reference) << graph.pcm.size() << " vs " << reference.size();
      // The renderer the graph chose was made, then left out: nothing was played.
      EXPECT_EQ(mtest::ScopedPcmRenderer::made, made + 1);
      EXPECT_EQ(mtest::ScopedPcmRenderer::rendered, 0);

      Result acm = Convert(file, kOnlyAcmMp3);
      ASSERT_EQ(acm.setup, 0);
      EXPECT_EQ(acm.kind, SOUNDCONV_KIND_ACM);
      EXPECT_TRUE(acm.pcm == graph.pcm) << acm.pcm.size() << " vs " << graph.pcm.size();
    }
  }
}

TEST_F(GraphConvert, LongFileGrowsTheBufferByHalfAgainInWholeMegabytes) {
  const int rate = 44100, channels = 2;
  const Bytes file = EncodeMp3(TestSignal(channels, rate * 40, rate, 9), channels, rate, 32);
  Result graph = Convert(file);
  ASSERT_EQ(graph.setup, 0);
  WAVEFORMATEX direct{};
  const Bytes reference = DecodeWithTheLayersDecoder(file, &direct);
  EXPECT_GT(reference.size(), 6u << 20);
  EXPECT_TRUE(graph.pcm == reference) << graph.pcm.size() << " vs " << reference.size();
  EXPECT_EQ(graph.capacity % 0x100000, 0u);
  EXPECT_GE(graph.capacity, graph.pcm.size());
  EXPECT_LE(graph.capacity, graph.pcm.size() * 3 / 2 + 0x100000u);
}

TEST_F(GraphConvert, FileTheGraphCannotDecodeFails) {
  Bytes text;
  for (int i = 0; i < 400; ++i)
    for (char ch : std::string("This is not a sound file. "))
      text.push_back(uint8_t(ch));
  Result r = Convert(text);
  EXPECT_EQ(r.setup, -1);
  EXPECT_TRUE(Logged("グラフの構築に失敗しました"));
  EXPECT_EQ(Convert(Bytes{}).setup, -1);
}

TEST_F(GraphConvert, NoRendererOfPcmMeansNoGraph) {
  const Bytes file = EncodeMp3(TestSignal(1, 22050, 22050), 1, 22050, 32);
  const WAVEFORMATEX wf{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
  std::vector<FilterRegistration> renderers;
  for (const FilterRegistration& reg : RegisteredMediaFilters())
    if (reg.takesType && reg.takesType(MakePcmMediaType(wf))) renderers.push_back(reg);
  for (const FilterRegistration& reg : renderers) UnregisterMediaFilter(reg.clsid);
  EXPECT_EQ(Convert(file).setup, -1);
  EXPECT_TRUE(Logged("グラフの構築に失敗しました"));
  for (const FilterRegistration& reg : renderers) RegisterMediaFilter(reg);
}

TEST_F(GraphConvert, ClosingTheProgramEndsTheConversion) {
  const Bytes file = EncodeMp3(TestSignal(2, 44100 * 20, 44100), 2, 44100, 32);
  TestDriver_Close();
  Result r = Convert(file);
  EXPECT_EQ(r.setup, -1);
  EXPECT_TRUE(Logged("MP3変換の途中でソフトが終了しました"));
}

// The file layer with a gate in front of every read.
Gate* readGate = nullptr;
size_t (*plainRead)(void*, size_t, size_t, StreamHandle) = nullptr;
size_t GatedRead(void* buffer, size_t size, size_t count, StreamHandle h) {
  if (readGate) readGate->Pass();
  return plainRead(buffer, size, count, h);
}

TEST_F(GraphConvert, ClosingWhileALoadingThreadConvertsEndsThatConversion) {
  ScratchFile file("close.mp3", EncodeMp3(TestSignal(2, 44100, 44100), 2, 44100, 32));
  const FileAccessTable plain = *GetFileAccessTable();
  FileAccessTable gated = plain;
  plainRead = plain.Read;
  gated.Read = GatedRead;
  Gate gate;
  readGate = &gate;
  ASSERT_EQ(SetFileAccessTable(&gated), 0);
  const SoundLoadSettings settings{0, kOnlyGraph, 2, 0};
  const int handle = LoadSoundMemBase(&settings, file.path.c_str(), 1, -1, 1, 0);
  ASSERT_NE(handle, -1);
  // The loading thread reads the file; the window goes meanwhile.
  ASSERT_TRUE(gate.Reached());
  TestDriver_Close();
  EXPECT_EQ(ProcessWindowMessages(), -1);
  gate.Open();
  while (GetAsyncLoadRequestCount() > 0) ProcessWindowMessages();
  SetFileAccessTable(nullptr);
  readGate = nullptr;
  EXPECT_EQ(IsSoundMemPlaying(handle), -1);
  EXPECT_TRUE(Logged("MP3変換の途中でソフトが終了しました"));
}

TEST_F(GraphConvert, TagsAroundTheFramesDecodeAsWithout) {
  const Bytes mp3 = EncodeMp3(TestSignal(2, 44100, 44100, 3), 2, 44100, 64);
  // ID3v2.4 with a footer in front, ID3v1 behind.
  Bytes file = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 0, 12};
  for (int i = 0; i < 12; ++i) file.push_back(uint8_t('a' + i));
  for (uint8_t b : Bytes{'3', 'D', 'I', 4, 0, 0x10, 0, 0, 0, 12}) file.push_back(b);
  file.insert(file.end(), mp3.begin(), mp3.end());
  Bytes v1(128, ' ');
  std::memcpy(v1.data(), "TAG", 3);
  file.insert(file.end(), v1.begin(), v1.end());

  Result tagged = Convert(file);
  ASSERT_EQ(tagged.setup, 0);
  Result bare = Convert(mp3);
  ASSERT_EQ(bare.setup, 0);
  EXPECT_TRUE(tagged.pcm == bare.pcm) << tagged.pcm.size() << " vs " << bare.pcm.size();
  Result acm = Convert(file, kOnlyAcmMp3);
  EXPECT_TRUE(acm.pcm == tagged.pcm) << acm.pcm.size() << " vs " << tagged.pcm.size();
}

TEST_F(GraphConvert, ConversionsStoppedAnywhereInTheStreamFailAndReturn) {
  constexpr int kEach = 1000;
  std::mt19937 random(23);
  const SoundLoadSettings settings{0, kOnlyGraph, 2, 0};
  const std::string path = "stopped_" + std::to_string(getpid()) + ".mp3";
  auto load = [&](const Bytes& file) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    return LoadSoundMemBase(&settings, path.c_str(), 1, -1, 0, 0);
  };
  int failed = 0;
  HangGuard guard;
  const auto start = std::chrono::steady_clock::now();

  // Error aborts: at a random byte the frames give way to more bytes without a frame in them
  // than the decoder looks through for the next one.
  const Bytes head = EncodeMp3(TestSignal(1, 22050, 22050, 5), 1, 22050, 32);
  std::uniform_int_distribution<size_t> cut(head.size() / 8, head.size());
  for (int i = 0; i < kEach; ++i) {
    Bytes file(head.begin(), head.begin() + std::ptrdiff_t(cut(random)));
    file.resize(file.size() + 8192, 0);
    file.insert(file.end(), head.begin(), head.end());
    failed += load(file) == -1;
    guard.Returned();
  }

  // Closes: queued once, then reported by every pump. The first pump of a conversion comes as
  // soon as its graph runs; a hook in it yields a random number of times first, so that the stop
  // falls anywhere in the stream (or after its end).
  const Bytes clean[] = {EncodeMp3(TestSignal(1, 11025, 22050, 7), 1, 22050, 32),
                         EncodeMp3(TestSignal(1, 44100, 22050, 8), 1, 22050, 32),
                         EncodeMp3(TestSignal(2, 44100, 44100, 9), 2, 44100, 64)};
  int yields = 0;
  auto hook = [](void* n) {
    for (int i = *static_cast<int*>(n); i > 0; --i) std::this_thread::yield();
  };
  ASSERT_EQ(AddMessagePassHook(hook, &yields), 0);
  TestDriver_Close();
  std::uniform_int_distribution<int> wait(0, 400);
  for (int i = 0; i < kEach; ++i) {
    yields = wait(random);
    failed += load(clean[i % 3]) == -1;
    guard.Returned();
  }
  RemoveMessagePassHook(hook, &yields);
  std::remove(path.c_str());

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d conversions stopped in %.1f s\n", 2 * kEach, seconds);
  EXPECT_EQ(failed, 2 * kEach);
  const std::string text = ReadFileText(log);
  EXPECT_EQ(Occurrences(text, "MP3変換の途中でエラーが発生しました"), size_t(kEach));
  EXPECT_EQ(Occurrences(text, "MP3変換の途中でソフトが終了しました"), size_t(kEach));
}

TEST_F(GraphConvert, PcmWhoseBytesLookLikeMp3FramesGoesOnToTheGraph) {
  for (const char* name : {"false_sync.aiff", "false_sync.au", "speech.gsm"}) {
    EXPECT_EQ(Convert(FileBytes(movietest::MoviePath(name)), kOnlyAcmMp3).setup, -1) << name;
    ExpectAsFFmpeg(name, SOUNDCONV_KIND_MEMORY);
  }
}

TEST_F(GraphConvert, Mpeg25AndASecondTagDecodeAsLibmpg123Does) {
  // lame -b 8 at 8 kHz: MPEG-2.5, which only the graph's decoder takes.
  const Bytes low = EncodeMp3(TestSignal(1, 16000, 8000), 1, 8000, 8);
  const int64_t at = MpegFindFrames(low.data(), low.size());
  ASSERT_GE(at, 0);
  EXPECT_EQ(low[size_t(at) + 1] & 0x18, 0);  // the version bits of MPEG-2.5
  Result l = Convert(low, 0);
  ASSERT_EQ(l.setup, 0);
  EXPECT_EQ(l.format.nSamplesPerSec, 8000u);
  EXPECT_EQ(l.pcm, ToBytes(DecodeMp3Direct(low, 1, 8000)));

  // Two ID3v2 tags; the second holds a frame header and a part of a frame, as a picture might.
  const Bytes mp3 = EncodeMp3(TestSignal(2, 44100, 44100, 4), 2, 44100, 64);
  const size_t first = size_t(MpegFindFrames(mp3.data(), mp3.size()));
  auto tag = [](const Bytes& body) {
    Bytes t = {'I', 'D', '3', 3, 0, 0, 0, 0, uint8_t(body.size() >> 7), uint8_t(body.size() & 0x7F)};
    t.insert(t.end(), body.begin(), body.end());
    return t;
  };
  Bytes file = tag(Bytes(20, 'a'));
  const Bytes second = tag(Bytes(mp3.begin() + std::ptrdiff_t(first), mp3.begin() + std::ptrdiff_t(first) + 700));
  file.insert(file.end(), second.begin(), second.end());
  file.insert(file.end(), mp3.begin(), mp3.end());
  l = Convert(file, 0);
  ASSERT_EQ(l.setup, 0);
  EXPECT_EQ(l.kind, SOUNDCONV_KIND_ACM);
  EXPECT_EQ(l.pcm, ToBytes(DecodeMp3Direct(mp3, 2, 44100)));
}

TEST_F(GraphConvert, AacThirtyTwoBitAndBigBlockAdpcmDecodeInTheGraph) {
  for (const char* name : {"tone.aac", "tone.m4a", "tone_index_first.m4a", "pcm32.wav", "adpcm_88200.wav",
                           "adpcm_96000.wav"})
    ExpectAsFFmpeg(name, SOUNDCONV_KIND_MEMORY);
}

TEST_F(GraphConvert, SurroundOggIsMixedToStereoAsFFmpegMixesIt) {
  for (int channels : {3, 6, 8}) {
    SCOPED_TRACE(channels);
    ScratchFile ogg("surround.ogg", EncodeOggVorbis(TestSignal(channels, 44100, 44100, uint32_t(channels)), channels,
                                                    44100));
    const Result got = Convert(FileBytes(ogg.path), 0);
    ASSERT_EQ(got.setup, 0);
    EXPECT_EQ(got.kind, SOUNDCONV_KIND_OGG);
    EXPECT_EQ(got.format.nChannels, 2);
    EXPECT_EQ(got.format.nBlockAlign, 4);
    const ReferenceSound want = DecodeWithFFmpeg(ogg.path);
    ASSERT_EQ(want.channels, 2);
    // libvorbis and FFmpeg's own Vorbis decoder agree to a rounding; FFmpeg keeps the last
    // page's padding, which the granule position drops.
    const std::vector<int16_t> samples = ToSamples(got.pcm.data(), got.pcm.size());
    ASSERT_EQ(samples.size(), size_t(44100 * 2));
    ASSERT_GE(want.samples.size(), samples.size());
    EXPECT_LE(MaxDifference(samples, want.samples), 1);
  }
}

TEST_F(GraphConvert, AudioAtOneHertzIsRefusedAndAConversionIsBounded) {
  const char* source = std::getenv("TAMRAK_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  for (const char* name : {"audio-1hz-92b.bin", "audio-1hz-852b.bin", "wave-float-1hz-1044b.wav",
                           "timeout-under-load.bin"}) {
    const Bytes file = FileBytes(std::string(source) + "/fuzz/corpus/mp3_graph/" + name);
    ASSERT_GT(file.size(), 0u) << name;
    EXPECT_EQ(Convert(file, 0).setup, -1) << name;
  }
  EXPECT_TRUE(Logged("グラフの構築に失敗しました"));

  // What the grabber keeps: at most 4096 bytes a source byte and 32 MB beside.
  SoundConvertRecord r{};
  r.dataSize = 1;
  r.pcm = static_cast<uint8_t*>(TK_MALLOC(16));
  r.pcmCapacity = 16;
  uint8_t bytes[16] = {1, 2, 3};
  ComPtr<IMediaSample> sample(static_cast<IMediaSample*>(new MediaSample(nullptr, bytes, 16)));
  sample->SetActualDataLength(16);
  EXPECT_EQ(MP3GrabberCallback(sample.Get(), nullptr, nullptr, false, &r), S_OK);
  EXPECT_EQ(r.pcmSize, 16u);
  EXPECT_EQ(r.pcm[2], 3);
  r.pcmSize = (32u << 20) + 4096 - 15;  // one byte more would pass the bound
  EXPECT_EQ(MP3GrabberCallback(sample.Get(), nullptr, nullptr, false, &r), VFW_E_BUFFER_OVERFLOW);
  EXPECT_EQ(r.pcmCapacity, 16u);
  MemFree(r.pcm);
}

TEST_F(GraphConvert, AGraphThatStopsSaysWhoStoppedItAndWhy) {
  // Frames, then more bytes without a frame than the decoder looks through.
  Bytes file = EncodeMp3(TestSignal(1, 22050, 22050, 5), 1, 22050, 32);
  file.resize(file.size() + 8192, 0);
  const Bytes more = EncodeMp3(TestSignal(1, 22050, 22050, 6), 1, 22050, 32);
  file.insert(file.end(), more.begin(), more.end());
  EXPECT_EQ(Convert(file).setup, -1);
  EXPECT_TRUE(Logged("MP3変換の途中でエラーが発生しました"));
  EXPECT_TRUE(Logged("MPEG Audio Decoder: 復号できないデータです( 0x80004005 )"));
}
