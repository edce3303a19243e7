// Sounds as other programs write them, through the whole decoder chain, against FFmpeg's and
// libmpg123's own decodes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "engine/sound/sound_convert_internal.h"
#include "engine/sound/sound_internal.h"
#include "media/test_filters.h"
#include "platform/mpeg/mpeg_decode.h"
#include "platform/window/test_driver.h"
#include "tests/sound/media.h"

namespace {

constexpr int kOnlyMp3 = SOUNDCONV_MASK_WAVE | SOUNDCONV_MASK_ACM | SOUNDCONV_MASK_OGG | SOUNDCONV_MASK_GRAPH;
constexpr int kOnlyGraph = SOUNDCONV_MASK_WAVE | SOUNDCONV_MASK_ACM | SOUNDCONV_MASK_OGG | SOUNDCONV_MASK_MP3;

std::string Generated(const char* name) {
  const char* dir = std::getenv("TAMRAK_BINARY_DIR");
  return std::string(dir ? dir : ".") + "/testmedia/movie/" + name;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Largest difference between two runs of samples of the same length.
int MaxDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  int worst = 0;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

struct Loaded {
  int setup = -1;
  int kind = -1;
  WAVEFORMATEX format{};
  std::vector<int16_t> samples;
};

class ForeignSounds : public mtest::MediaTest {
 protected:
  void SetUp() override {
    log = "foreign_" + std::to_string(getpid()) + "_" +
          testing::UnitTest::GetInstance()->current_test_info()->name() + "_log.txt";
    SetLogOutputFlag(1);
    SetLogFileName(log.c_str());
    static NullAudioConfig config;
    AudioNull_Install(&config);
    TestDriver_Reset();
    ASSERT_EQ(LibInit(), 0);
  }
  void TearDown() override {
    LibEnd();
    AudioNull_Install(nullptr);
    SetLogFileName(nullptr);
    std::remove(log.c_str());
    mtest::MediaTest::TearDown();
  }
  Loaded Load(const Bytes& file, int mask = 0) {
    Loaded l;
    SoundLoadSettings settings{0, mask, 2, 0};
    StreamHandle stream = MemStreamOpen(file.data(), file.size());
    SoundConvertRecord r;
    l.setup = SetupSoundConvert(&settings, GetMemStreamFunctions(), stream, &r);
    if (l.setup == 0) {
      l.kind = r.kind;
      void* pcm = nullptr;
      uint32_t size = 0;
      EXPECT_EQ(ConvertSoundToPCM(&r, &l.format, &pcm, &size), 0);
      l.samples = ToSamples(pcm, size);
      MemFree(pcm);
      TerminateSoundConvert(&r);
    }
    MemStreamClose(stream);
    return l;
  }
  // The generated file loads through the chain as FFmpeg decodes it, within 1 LSB.
  void ExpectAsFFmpeg(const char* name, int kind) {
    SCOPED_TRACE(name);
    const ReferenceSound want = DecodeWithFFmpeg(Generated(name));
    ASSERT_GT(want.samples.size(), size_t(want.rate));
    const Loaded got = Load(ReadFile(Generated(name)));
    ASSERT_EQ(got.setup, 0);
    EXPECT_EQ(got.kind, kind);
    EXPECT_EQ(got.format.nSamplesPerSec, uint32_t(want.rate));
    EXPECT_EQ(got.format.nChannels, want.channels);
    EXPECT_EQ(got.samples.size(), want.samples.size());
    EXPECT_LE(MaxDifference(got.samples, want.samples), 1);
  }
  bool Logged(const std::string& text) { return ReadFileText(log).find(text) != std::string::npos; }

  std::string log;
  mtest::ScopedPcmRenderer renderer;
};

}  // namespace

TEST_F(ForeignSounds, PcmWhoseBytesLookLikeMp3FramesGoesOnToTheGraph) {
  for (const char* name : {"false_sync.aiff", "false_sync.au", "speech.gsm"}) {
    EXPECT_EQ(Load(ReadFile(Generated(name)), kOnlyMp3).setup, -1) << name;
    ExpectAsFFmpeg(name, SOUNDCONV_KIND_MEMORY);
  }
}

TEST_F(ForeignSounds, Mpeg25AndASecondTagDecodeAsLibmpg123Does) {
  // lame -b 8 at 8 kHz: MPEG-2.5, which only the graph's decoder takes.
  const Bytes low = EncodeMp3(TestSignal(1, 16000, 8000), 1, 8000, 8);
  const int64_t at = MpegFindFrames(low.data(), low.size());
  ASSERT_GE(at, 0);
  EXPECT_EQ(low[size_t(at) + 1] & 0x18, 0);  // the version bits of MPEG-2.5
  Loaded l = Load(low);
  ASSERT_EQ(l.setup, 0);
  EXPECT_EQ(l.format.nSamplesPerSec, 8000u);
  EXPECT_EQ(l.samples, DecodeMp3Direct(low, 1, 8000));

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
  l = Load(file);
  ASSERT_EQ(l.setup, 0);
  EXPECT_EQ(l.kind, SOUNDCONV_KIND_ACM);
  EXPECT_EQ(l.samples, DecodeMp3Direct(mp3, 2, 44100));
}

TEST_F(ForeignSounds, AacThirtyTwoBitAndBigBlockAdpcmDecodeInTheGraph) {
  for (const char* name : {"tone.aac", "tone.m4a", "tone_index_first.m4a", "pcm32.wav", "adpcm_88200.wav",
                           "adpcm_96000.wav"})
    ExpectAsFFmpeg(name, SOUNDCONV_KIND_MEMORY);
}

TEST_F(ForeignSounds, SurroundOggIsMixedToStereoAsFFmpegMixesIt) {
  for (int channels : {3, 6, 8}) {
    SCOPED_TRACE(channels);
    ScratchFile ogg("surround.ogg", EncodeOggVorbis(TestSignal(channels, 44100, 44100, uint32_t(channels)), channels,
                                                    44100));
    const Loaded got = Load(ReadFile(ogg.path));
    ASSERT_EQ(got.setup, 0);
    EXPECT_EQ(got.kind, SOUNDCONV_KIND_OGG);
    EXPECT_EQ(got.format.nChannels, 2);
    EXPECT_EQ(got.format.nBlockAlign, 4);
    const ReferenceSound want = DecodeWithFFmpeg(ogg.path);
    ASSERT_EQ(want.channels, 2);
    // libvorbis and FFmpeg's own Vorbis decoder agree to a rounding; FFmpeg keeps the last
    // page's padding, which the granule position drops.
    ASSERT_EQ(got.samples.size(), size_t(44100 * 2));
    ASSERT_GE(want.samples.size(), got.samples.size());
    EXPECT_LE(MaxDifference(got.samples, want.samples), 1);
  }
}

TEST_F(ForeignSounds, AudioAtOneHertzIsRefusedAndAConversionIsBounded) {
  const char* source = std::getenv("TAMRAK_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  for (const char* name : {"audio-1hz-92b.bin", "audio-1hz-852b.bin", "wave-float-1hz-1044b.wav",
                           "timeout-under-load.bin"}) {
    const Bytes file = ReadFile(std::string(source) + "/fuzz/corpus/mp3_graph/" + name);
    ASSERT_GT(file.size(), 0u) << name;
    EXPECT_EQ(Load(file).setup, -1) << name;
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

TEST_F(ForeignSounds, AGraphThatStopsSaysWhoStoppedItAndWhy) {
  // Frames, then more bytes without a frame than the decoder looks through.
  Bytes file = EncodeMp3(TestSignal(1, 22050, 22050, 5), 1, 22050, 32);
  file.resize(file.size() + 8192, 0);
  const Bytes more = EncodeMp3(TestSignal(1, 22050, 22050, 6), 1, 22050, 32);
  file.insert(file.end(), more.begin(), more.end());
  EXPECT_EQ(Load(file, kOnlyGraph).setup, -1);
  EXPECT_TRUE(Logged("MP3変換の途中でエラーが発生しました"));
  EXPECT_TRUE(Logged("MPEG Audio Decoder: 復号できないデータです( 0x80004005 )"));
}
