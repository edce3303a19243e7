// The last step of the sound conversion: a file decoded through a media graph into memory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "engine/sound/sound_internal.h"
#include "tests/sound/media.h"
#include "media/test_filters.h"
#include "platform/mpeg/mpeg_decode.h"
#include "platform/window/test_driver.h"

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

TEST_F(GraphConvert, LongFileGrowsTheBufferByWholeSteps) {
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
  EXPECT_LT(graph.capacity - graph.pcm.size(), 0x100000u);
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
