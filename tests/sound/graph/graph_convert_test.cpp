// The last step of the sound conversion: a file decoded through a media graph into memory.
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

#include "engine/sound/sound_internal.h"
#include "tests/sound/media.h"
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
  while (GetASyncLoadNum() > 0) ProcessWindowMessages();
  SetFileAccessTable(nullptr);
  readGate = nullptr;
  EXPECT_EQ(CheckSoundMem(handle), -1);
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
