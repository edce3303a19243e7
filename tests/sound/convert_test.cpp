#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include <ogg/ogg.h>

#include "engine/sound/sound_convert.h"
#include "media.h"

namespace {

struct Converted {
  int setup = -1;
  int convert = -1;
  int kind = -1;
  int64_t destSize = 0;
  WAVEFORMATEX format{};
  Bytes pcm;
  std::vector<int16_t> samples() const { return ToSamples(pcm.data(), pcm.size()); }
};

Converted Convert(const Bytes& file, int mask = 0, int bytesPerSample = 2) {
  Converted c;
  SoundLoadSettings settings{0, mask | 16, bytesPerSample, 0};
  static const uint8_t none = 0;
  StreamHandle stream = MemStreamOpen(file.empty() ? &none : file.data(), file.size());
  SoundConvertRecord r;
  c.setup = SetupSoundConvert(&settings, GetMemStreamFunctions(), stream, &r);
  if (c.setup == 0) {
    c.kind = r.kind;
    c.destSize = GetSoundConvertDestSize(&r);
    void* pcm = nullptr;
    uint32_t size = 0;
    c.convert = ConvertSoundToPCM(&r, &c.format, &pcm, &size);
    if (c.convert == 0) {
      c.pcm.assign(static_cast<uint8_t*>(pcm), static_cast<uint8_t*>(pcm) + size);
      MemFree(pcm);
    }
    TerminateSoundConvert(&r);
  }
  MemStreamClose(stream);
  return c;
}

Bytes Noise(size_t n, uint32_t seed) {
  Bytes b(n);
  for (auto& v : b) {
    seed = seed * 1103515245u + 12345u;
    v = static_cast<uint8_t>(seed >> 16);
  }
  return b;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes AdpcmWave(int tag, int channels, int rate, int blockAlign, int samplesPerBlock, const Bytes& data,
                const Bytes& extraOverride = {}) {
  Bytes extra = extraOverride;
  if (extra.empty()) {
    if (tag == 2) {
      extra = MsAdpcmExtra(samplesPerBlock);
    } else {
      PutLE(extra, static_cast<uint32_t>(samplesPerBlock), 2);
    }
  }
  return RiffWave({Chunk("fmt ", FmtBody(tag, channels, rate, rate * blockAlign / samplesPerBlock, blockAlign, 4,
                                         false, extra)),
                   Chunk("data", data)});
}

}  // namespace

TEST(WaveConvert, PcmComesOutAsStored) {
  for (int bits : {8, 16}) {
    for (int channels : {1, 2}) {
      SCOPED_TRACE(testing::Message() << bits << " bit, " << channels << " ch");
      const Bytes data = Noise(static_cast<size_t>(channels * bits / 8) * 3000, 7u + bits + channels);
      Converted c = Convert(PcmWave(channels, 22050, bits, data));
      ASSERT_EQ(c.setup, 0);
      EXPECT_EQ(c.kind, SOUNDCONV_KIND_WAVE);
      EXPECT_EQ(c.pcm, data);
      EXPECT_EQ(c.format.nChannels, channels);
      EXPECT_EQ(c.format.wBitsPerSample, bits);
      EXPECT_EQ(c.format.nAvgBytesPerSec, 22050u * channels * bits / 8);
    }
  }
  const Bytes data = Noise(4000, 3);
  // A "bext" chunk before "fmt ", an odd-sized chunk between "fmt " and "data" (padded to even).
  Bytes withChunks = RiffWave({Chunk("bext", Noise(602, 5)), Chunk("fmt ", FmtBody(1, 2, 8000, 32000, 4, 16, false)),
                               Chunk("LIST", Noise(3, 9)), Chunk("data", data)});
  EXPECT_EQ(Convert(withChunks).pcm, data);
  // A 16-byte "fmt " takes its bits from the block align; a wrong byte rate is recomputed.
  Bytes shortFmt = RiffWave({Chunk("fmt ", FmtBody(1, 2, 8000, 12345, 4, 0, true)), Chunk("data", data)});
  Converted c = Convert(shortFmt);
  ASSERT_EQ(c.setup, 0);
  EXPECT_EQ(c.format.wBitsPerSample, 16);
  EXPECT_EQ(c.format.nAvgBytesPerSec, 32000u);
  EXPECT_EQ(c.pcm, data);
}

TEST(WaveConvert, BlocksAndSeeks) {
  const Bytes data = Noise(44100 * 2 * 5 / 2, 11);  // 2.5 s of 16-bit mono
  Bytes file = PcmWave(1, 44100, 16, data);
  SoundLoadSettings settings{0, 0, 2, 0};
  StreamHandle stream = MemStreamOpen(file.data(), file.size());
  SoundConvertRecord r;
  ASSERT_EQ(SetupSoundConvert(&settings, GetMemStreamFunctions(), stream, &r), 0);
  EXPECT_EQ(GetSoundConvertDestSize(&r), static_cast<int64_t>(data.size()));
  Bytes out;
  uint8_t piece[30001];
  int n;
  while ((n = RunSoundConvert(&r, piece, sizeof piece)) > 0) out.insert(out.end(), piece, piece + n);
  EXPECT_EQ(out, data);
  EXPECT_EQ(RunSoundConvert(&r, piece, 10), 0);

  SeekSoundConvert(&r, 100);  // clears the end
  ASSERT_EQ(RunSoundConvert(&r, piece, 1000), 1000);
  EXPECT_EQ(0, std::memcmp(piece, data.data() + 200, 1000));
  // Now at byte 1200: a seek to within 16 bytes does nothing.
  SeekSoundConvert(&r, 603);
  ASSERT_EQ(RunSoundConvert(&r, piece, 4), 4);
  EXPECT_EQ(0, std::memcmp(piece, data.data() + 1200, 4));
  SeekSoundConvert(&r, 620);
  ASSERT_EQ(RunSoundConvert(&r, piece, 4), 4);
  EXPECT_EQ(0, std::memcmp(piece, data.data() + 1240, 4));
  EXPECT_EQ(TerminateSoundConvert(&r), 0);
  EXPECT_EQ(TerminateSoundConvert(&r), -1);
  EXPECT_EQ(RunSoundConvert(&r, piece, 4), -1);
  MemStreamClose(stream);
}

TEST(AcmConvert, MsAdpcmHandComputedBlocks) {
  // Block 1: predictor 1 (512, -256), delta 20, samples 100 and 50, nibbles 3, -1, -8.
  // Block 2: predictor 5 (460, -208), delta 16, samples -3 and 0, nibbles 0: the prediction
  // -1380 / 256 truncates toward zero to -5.
  const Bytes blocks = {1, 20, 0, 100, 0, 50, 0, 0x3F, 0x80, 5, 16, 0, 0xFD, 0xFF, 0, 0, 0x00, 0x00};
  Converted c = Convert(AdpcmWave(2, 1, 8000, 9, 5, blocks));
  ASSERT_EQ(c.setup, 0);
  EXPECT_EQ(c.kind, SOUNDCONV_KIND_ACM);
  EXPECT_EQ(c.format.wBitsPerSample, 16);
  EXPECT_EQ(c.samples(), (std::vector<int16_t>{50, 100, 210, 303, 268, 0, -3, -5, -6, -6}));
  EXPECT_EQ(c.destSize, 20);
}

TEST(AcmConvert, ImaAdpcmHandComputedBlock) {
  // Predictor 0, index 0; nibbles 7, 8 (minus, magnitude 0), 3: 0 -> 11 -> 9 -> 20.
  const Bytes block = {0, 0, 0, 0, 0x87, 0x03, 0, 0};
  Converted c = Convert(AdpcmWave(0x11, 1, 8000, 8, 4, block));
  ASSERT_EQ(c.setup, 0);
  EXPECT_EQ(c.samples(), (std::vector<int16_t>{0, 11, 9, 20}));
}

TEST(AcmConvert, AdpcmRoundTrips) {
  struct Case {
    int tag, channels, rate, blockAlign;
  } cases[] = {{2, 1, 22050, 256}, {2, 2, 22050, 512}, {2, 2, 44100, 2048},
               {0x11, 1, 22050, 256}, {0x11, 2, 22050, 512}, {0x11, 2, 44100, 2048}};
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << "tag " << k.tag << " ch " << k.channels << " align " << k.blockAlign);
    const std::vector<int16_t> signal = TestSignal(k.channels, k.rate * 3 / 10, k.rate);
    std::vector<int16_t> expected;
    Bytes data = k.tag == 2 ? EncodeMsAdpcm(signal, k.channels, k.blockAlign, &expected)
                            : EncodeImaAdpcm(signal, k.channels, k.blockAlign, &expected);
    const int spb = k.tag == 2 ? MsAdpcmSamplesPerBlock(k.blockAlign, k.channels)
                               : ImaAdpcmSamplesPerBlock(k.blockAlign, k.channels);
    Converted c = Convert(AdpcmWave(k.tag, k.channels, k.rate, k.blockAlign, spb, data));
    ASSERT_EQ(c.setup, 0);
    EXPECT_EQ(c.samples(), expected);
    EXPECT_EQ(c.destSize, static_cast<int64_t>(expected.size() * 2));
  }
}

TEST(AcmConvert, SeeksForwardAndBackward) {
  const std::vector<int16_t> signal = TestSignal(1, 8000, 8000);
  std::vector<int16_t> expected;
  Bytes file = AdpcmWave(0x11, 1, 8000, 256, ImaAdpcmSamplesPerBlock(256, 1),
                         EncodeImaAdpcm(signal, 1, 256, &expected));
  SoundLoadSettings settings{0, 0, 2, 0};
  StreamHandle stream = MemStreamOpen(file.data(), file.size());
  SoundConvertRecord r;
  ASSERT_EQ(SetupSoundConvert(&settings, GetMemStreamFunctions(), stream, &r), 0);
  int16_t got[50];
  // Forward past several blocks, then back into the block being read, then back to the start.
  for (int sample : {5000, 5300, 5001, 3, 7990}) {
    SCOPED_TRACE(sample);
    SeekSoundConvert(&r, sample);
    const int n = RunSoundConvert(&r, got, sizeof got) / 2;
    ASSERT_GT(n, 0);
    for (int i = 0; i < n; ++i) ASSERT_EQ(got[i], expected[static_cast<size_t>(sample + i)]) << i;
  }
  TerminateSoundConvert(&r);
  MemStreamClose(stream);
}

TEST(AcmConvert, G711Expansions) {
  const Bytes bytes = {0x00, 0x55, 0xD5, 0x80, 0xFF, 0x2A, 0xAA, 0x7E};
  Converted a = Convert(RiffWave({Chunk("fmt ", FmtBody(6, 1, 8000, 8000, 1, 8, false)), Chunk("data", bytes)}));
  ASSERT_EQ(a.setup, 0);
  // Known points of the A-law and mu-law tables.
  std::vector<int16_t> alaw = a.samples();
  ASSERT_EQ(alaw.size(), 8u);
  EXPECT_EQ(alaw[1], -8);
  EXPECT_EQ(alaw[2], 8);
  EXPECT_EQ(alaw[5], -32256);
  EXPECT_EQ(alaw[6], 32256);
  Converted u = Convert(RiffWave({Chunk("fmt ", FmtBody(7, 1, 8000, 8000, 1, 8, false)), Chunk("data", bytes)}));
  ASSERT_EQ(u.setup, 0);
  std::vector<int16_t> mulaw = u.samples();
  ASSERT_EQ(mulaw.size(), 8u);
  EXPECT_EQ(mulaw[0], -32124);
  EXPECT_EQ(mulaw[3], 32124);
  EXPECT_EQ(mulaw[4], 0);
  EXPECT_EQ(mulaw[7], -8);
}

TEST(OggConvert, MatchesADirectDecode) {
  for (int channels : {1, 2}) {
    SCOPED_TRACE(channels);
    const int rate = channels == 1 ? 22050 : 44100;
    const Bytes file = EncodeOggVorbis(TestSignal(channels, rate * 4 / 10, rate), channels, rate);
    const std::vector<int16_t> direct = DecodeOggVorbisDirect(file);
    ASSERT_FALSE(direct.empty());
    Converted c = Convert(file);
    ASSERT_EQ(c.setup, 0);
    EXPECT_EQ(c.kind, SOUNDCONV_KIND_OGG);
    EXPECT_EQ(c.format.nChannels, channels);
    EXPECT_EQ(c.format.nSamplesPerSec, static_cast<uint32_t>(rate));
    EXPECT_EQ(c.format.wBitsPerSample, 16);
    EXPECT_EQ(c.samples(), direct);
    EXPECT_EQ(c.destSize, static_cast<int64_t>(direct.size() * 2));

    Converted eight = Convert(file, 0, 1);
    ASSERT_EQ(eight.pcm.size(), direct.size());
    EXPECT_EQ(eight.format.wBitsPerSample, 8);
    for (size_t i = 0; i < direct.size(); i += 97) EXPECT_NEAR((eight.pcm[i] - 128) * 256, direct[i], 384) << i;
  }
  // Two chained links: the length covers both.
  const Bytes first = EncodeOggVorbis(TestSignal(1, 5000, 22050, 1), 1, 22050, 1);
  const Bytes second = EncodeOggVorbis(TestSignal(1, 7000, 22050, 2), 1, 22050, 2);
  const Bytes chain = Concat(first, second);
  Converted c = Convert(chain);
  ASSERT_EQ(c.setup, 0);
  EXPECT_EQ(c.destSize, (5000 + 7000) * 2);
  std::vector<int16_t> links = DecodeOggVorbisDirect(first);
  const std::vector<int16_t> more = DecodeOggVorbisDirect(second);
  links.insert(links.end(), more.begin(), more.end());
  EXPECT_EQ(c.samples(), links);
}

TEST(OggConvert, ChainOfShortLinksKeepsEveryLink) {
  // Links of a page or less each: the sound is the links decoded one by one, end to end.
  const Bytes first = EncodeOggVorbis(TestSignal(1, 300, 22050, 3), 1, 22050, 1);
  const Bytes second = EncodeOggVorbis(TestSignal(1, 400, 22050, 4), 1, 22050, 2);
  const Bytes third = EncodeOggVorbis(TestSignal(1, 200, 22050, 5), 1, 22050, 3);
  std::vector<int16_t> expected = DecodeOggVorbisDirect(first);
  for (const Bytes* link : {&second, &third}) {
    const std::vector<int16_t> more = DecodeOggVorbisDirect(*link);
    expected.insert(expected.end(), more.begin(), more.end());
  }
  ASSERT_EQ(expected.size(), 900u);
  Converted c = Convert(Concat(Concat(first, second), third));
  ASSERT_EQ(c.setup, 0);
  EXPECT_EQ(c.destSize, 900 * 2);
  EXPECT_EQ(c.samples(), expected);
}

TEST(Mp3Convert, FrameHeaders) {
  struct Case {
    uint8_t h[4];
    int result;
    int mpeg1 = 0, layer = 0, bitRate = 0, sampleRate = 0, channels = 0, frameLength = 0, samplesPerFrame = 0;
  } cases[] = {
      {{0xFF, 0xFB, 0x90, 0x64}, 0, 1, 2, 128, 44100, 2, 417, 1152},
      {{0xFF, 0xFB, 0x92, 0xC4}, 0, 1, 2, 128, 44100, 1, 418, 1152},
      {{0xFF, 0xF3, 0x88, 0xC4}, 0, 0, 2, 64, 16000, 1, 288, 576},
      {{0xFF, 0xFD, 0xA0, 0x00}, 0, 1, 1, 192, 44100, 2, 626, 1152},
      {{0xFF, 0xFF, 0x90, 0x00}, 0, 1, 0, 288, 44100, 2, 312, 384},
      {{0xFF, 0xF9, 0x90, 0x00}, -1},  // reserved layer
      {{0xFF, 0xFB, 0xF0, 0x00}, -1},  // bit-rate index 15
      {{0xFF, 0xFB, 0x9C, 0x00}, -1},  // sample-rate index 3
      {{0xFE, 0xFB, 0x90, 0x00}, -2},
      {{0xFF, 0xEB, 0x90, 0x00}, -2},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(k.h[1]) << " " << int(k.h[2]));
    MP3FrameInfo f{};
    ASSERT_EQ(AnalyseMP3FrameHeader(k.h, &f), k.result);
    if (k.result != 0) continue;
    EXPECT_EQ(f.mpeg1, k.mpeg1);
    EXPECT_EQ(f.layer, k.layer);
    EXPECT_EQ(f.bitRate, k.bitRate);
    EXPECT_EQ(f.sampleRate, k.sampleRate);
    EXPECT_EQ(f.channels, k.channels);
    EXPECT_EQ(f.frameLength, k.frameLength);
    EXPECT_EQ(f.samplesPerFrame, k.samplesPerFrame);
  }
}

TEST(Mp3Convert, MatchesADirectDecode) {
  struct Case {
    int channels, rate, kbps;
  } cases[] = {{1, 22050, 64}, {2, 44100, 128}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.channels);
    const Bytes mp3 = EncodeMp3(TestSignal(k.channels, k.rate / 2, k.rate), k.channels, k.rate, k.kbps);
    const std::vector<int16_t> direct = DecodeMp3Direct(mp3, k.channels, k.rate);
    ASSERT_GT(direct.size(), static_cast<size_t>(k.rate / 2 * k.channels));
    Converted c = Convert(mp3);
    ASSERT_EQ(c.setup, 0);
    EXPECT_EQ(c.kind, SOUNDCONV_KIND_ACM);
    EXPECT_EQ(c.format.nChannels, k.channels);
    EXPECT_EQ(c.format.nSamplesPerSec, static_cast<uint32_t>(k.rate));
    EXPECT_EQ(c.samples(), direct);
    EXPECT_EQ(c.destSize, static_cast<int64_t>(direct.size() * 2));

    // An ID3v2.4 tag with a footer in front and an ID3v1 tag behind decode to the same sound.
    Bytes tagged = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 1, 5};  // 133 bytes of tag body
    Bytes body = Noise(133, 4);
    body[0] = 0xFF;  // a false sync inside the tag must be skipped with it
    body[1] = 0xFB;
    tagged.insert(tagged.end(), body.begin(), body.end());
    const Bytes footer = {'3', 'D', 'I', 4, 0, 0x10, 0, 0, 1, 5};
    tagged.insert(tagged.end(), footer.begin(), footer.end());
    tagged.insert(tagged.end(), mp3.begin(), mp3.end());
    Bytes v1(128, 0xFF);
    v1[0] = 'T', v1[1] = 'A', v1[2] = 'G';
    tagged.insert(tagged.end(), v1.begin(), v1.end());
    Converted t = Convert(tagged);
    ASSERT_EQ(t.setup, 0);
    EXPECT_EQ(t.samples(), direct);
  }
}

TEST(Mp3Convert, WaveSizeComesFromTheFramesNotTheByteRate) {
  // 20 KB of MPEG audio in a WAVE whose byte rate says 1: sized by its frames, and the sound
  // keeps only what was decoded.
  const char* source = std::getenv("TAMRAK_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  std::ifstream in(std::string(source) + "/fuzz/corpus/sound_acm/wave-mpeg-avgbytes-1.wav", std::ios::binary);
  const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(file.size(), 20068u);
  size_t bytesBefore = 0;
  const int blocksBefore = GetAllocMemoryCount(&bytesBefore);
  SoundLoadSettings settings{0, 16, 2, 0};
  StreamHandle stream = MemStreamOpen(file.data(), file.size());
  SoundConvertRecord r;
  ASSERT_EQ(SetupSoundConvert(&settings, GetMemStreamFunctions(), stream, &r), 0);
  EXPECT_EQ(r.kind, SOUNDCONV_KIND_ACM);
  // At most 1152 samples of 4 bytes for every 24 bytes of the smallest frame.
  const int64_t estimate = GetSoundConvertDestSize(&r);
  EXPECT_GT(estimate, 0);
  EXPECT_LE(estimate, int64_t{20000} / 24 * 1152 * 4);
  WAVEFORMATEX format;
  void* pcm = nullptr;
  uint32_t size = 0;
  ASSERT_EQ(ConvertSoundToPCM(&r, &format, &pcm, &size), 0);
  EXPECT_GT(size, 0u);
  size_t bytesHeld = 0;
  GetAllocMemoryCount(&bytesHeld);
  // The PCM block is its own size; the decoder's block and stream are all that is held beside it.
  EXPECT_LE(bytesHeld - bytesBefore, size_t{size} + (4u << 20));
  MemFree(pcm);
  TerminateSoundConvert(&r);
  MemStreamClose(stream);
  size_t bytesAfter = 0;
  EXPECT_EQ(GetAllocMemoryCount(&bytesAfter), blocksBefore);
  EXPECT_EQ(bytesAfter, bytesBefore);
}

TEST(SoundConvert, DecoderMaskAndOrder) {
  const Bytes pcm = PcmWave(1, 8000, 16, Noise(1000, 1));
  std::vector<int16_t> expected;
  const Bytes adpcm = AdpcmWave(0x11, 1, 8000, 256, ImaAdpcmSamplesPerBlock(256, 1),
                                EncodeImaAdpcm(TestSignal(1, 2000, 8000), 1, 256, &expected));
  const Bytes ogg = EncodeOggVorbis(TestSignal(1, 4000, 8000), 1, 8000);
  const Bytes mp3 = EncodeMp3(TestSignal(1, 4000, 16000), 1, 16000, 32);
  EXPECT_EQ(Convert(pcm).kind, SOUNDCONV_KIND_WAVE);
  EXPECT_NE(Convert(pcm, SOUNDCONV_MASK_WAVE).setup, 0);  // a PCM WAVE never goes through ACM
  EXPECT_EQ(Convert(adpcm).kind, SOUNDCONV_KIND_ACM);
  EXPECT_NE(Convert(adpcm, SOUNDCONV_MASK_ACM).setup, 0);
  EXPECT_EQ(Convert(ogg).kind, SOUNDCONV_KIND_OGG);
  EXPECT_NE(Convert(ogg, SOUNDCONV_MASK_OGG).setup, 0);
  EXPECT_EQ(Convert(mp3).kind, SOUNDCONV_KIND_ACM);
  EXPECT_NE(Convert(mp3, SOUNDCONV_MASK_MP3).setup, 0);
}

TEST(SoundConvert, BadDataIsRefused) {
  const Bytes data = Noise(800, 2);
  auto wave = [&](const Bytes& fmt, const Bytes& d) { return RiffWave({Chunk("fmt ", fmt), Chunk("data", d)}); };
  const Bytes good = PcmWave(1, 8000, 16, data);
  Bytes overlong = good;
  overlong.resize(overlong.size() - 1);  // the data chunk runs past the end
  std::vector<int16_t> ignored;
  const Bytes ima = EncodeImaAdpcm(TestSignal(1, 1000, 8000), 1, 256, &ignored);
  Bytes badIndex = ima;
  badIndex[2] = 89;
  Bytes msBlocks = EncodeMsAdpcm(TestSignal(1, 1000, 8000), 1, 256, &ignored);
  msBlocks[256] = 7;  // predictor of the second block beyond the seven coefficient pairs
  Bytes ogg = EncodeOggVorbis(TestSignal(1, 4000, 8000), 1, 8000);
  Bytes oggHead(ogg.begin(), ogg.begin() + 100);

  struct Case {
    const char* what;
    Bytes file;
  } cases[] = {
      {"empty", {}},
      {"riff only", {'R', 'I', 'F', 'F'}},
      {"cut in fmt", Bytes(good.begin(), good.begin() + 30)},
      {"data past the end", overlong},
      {"0 channels", wave(FmtBody(1, 0, 8000, 16000, 2, 16, false), data)},
      {"0 block align", wave(FmtBody(1, 1, 8000, 16000, 0, 16, false), data)},
      {"0 rate", wave(FmtBody(1, 1, 0, 16000, 2, 16, false), data)},
      {"block align against bits", wave(FmtBody(1, 1, 8000, 16000, 3, 16, false), data)},
      {"byte rate past any block", wave(FmtBody(1, 2, 400000000, 0, 65534, 16, false), data)},
      {"fmt of 8 bytes", RiffWave({Chunk("fmt ", Bytes(8, 1)), Chunk("data", data)})},
      {"no data chunk", RiffWave({Chunk("fmt ", FmtBody(1, 1, 8000, 16000, 2, 16, false))})},
      {"adpcm block over the piece", AdpcmWave(0x11, 2, 44100, 4096, ImaAdpcmSamplesPerBlock(4096, 2), Bytes(8192))},
      {"adpcm block over one second", AdpcmWave(0x11, 1, 1000, 2048, ImaAdpcmSamplesPerBlock(2048, 1), Bytes(4096))},
      {"ms adpcm no coefficients", AdpcmWave(2, 1, 8000, 256, 500, Bytes(256), Bytes{0xF4, 1, 0, 0})},
      {"ms adpcm samples per block", AdpcmWave(2, 1, 8000, 256, 501, Bytes(256))},
      {"ms adpcm bad predictor", AdpcmWave(2, 1, 8000, 256, MsAdpcmSamplesPerBlock(256, 1), msBlocks)},
      {"ima step index", AdpcmWave(0x11, 1, 8000, 256, ImaAdpcmSamplesPerBlock(256, 1), badIndex)},
      {"unknown codec", wave(FmtBody(0x1234, 1, 8000, 8000, 1, 8, false), data)},
      {"ogg headers cut", oggHead},
      {"mp3 cut", {0xFF, 0xFB, 0x90}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Converted c = Convert(k.file);
    EXPECT_TRUE(c.setup != 0 || c.convert != 0);
  }
  // Noise must never hang or crash a decoder, whatever it makes of it.
  for (uint32_t seed = 1; seed <= 8; ++seed) Convert(Concat({0xFF, 0xFB, 0x90, 0x64}, Noise(3000, seed)));
  for (uint32_t seed = 1; seed <= 4; ++seed) Convert(Concat(Bytes(ogg.begin(), ogg.begin() + 3000), Noise(900, seed)));
}

TEST(SoundConvert, WaveImageAndPcmInMemory) {
  const Bytes pcm = Noise(6000, 8);
  const Bytes fmt = FmtBody(1, 2, 11025, 44100, 4, 16, false);
  void* image = nullptr;
  uint32_t size = 0;
  ASSERT_EQ(MakeWaveFileImage(&image, &size, fmt.data(), static_cast<uint32_t>(fmt.size()), pcm.data(),
                              static_cast<uint32_t>(pcm.size())),
            0);
  const Bytes file(static_cast<uint8_t*>(image), static_cast<uint8_t*>(image) + size);
  MemFree(image);
  EXPECT_EQ(size, 28 + fmt.size() + pcm.size());
  EXPECT_EQ(file, PcmWave(2, 11025, 16, pcm));
  EXPECT_EQ(Convert(file).pcm, pcm);

  SoundConvertRecord r{};
  auto* block = static_cast<uint8_t*>(MemAlloc(pcm.size(), __FILE__, __LINE__));
  std::memcpy(block, pcm.data(), pcm.size());
  WAVEFORMATEX format{1, 2, 11025, 44100, 4, 16, 0};
  ASSERT_EQ(SetupSoundConvert_PCMMemory(&r, &format, block, static_cast<uint32_t>(pcm.size()),
                                        static_cast<uint32_t>(pcm.size())),
            0);
  EXPECT_EQ(r.kind, SOUNDCONV_KIND_MEMORY);
  EXPECT_EQ(GetSoundConvertDestSize(&r), static_cast<int64_t>(pcm.size()));
  uint8_t out[5000];
  ASSERT_EQ(RunSoundConvert(&r, out, 5000), 5000);
  EXPECT_EQ(0, std::memcmp(out, pcm.data(), 5000));
  EXPECT_EQ(RunSoundConvert(&r, out, 5000), 1000);
  EXPECT_EQ(RunSoundConvert(&r, out, 5000), 0);
  SeekSoundConvert(&r, 1000);
  ASSERT_EQ(RunSoundConvert(&r, out, 8), 8);
  EXPECT_EQ(0, std::memcmp(out, pcm.data() + 4000, 8));
  EXPECT_EQ(TerminateSoundConvert(&r), 0);
}

TEST(OggConvert, AClaimedLengthDoesNotDecideTheAllocation) {
  // The last page claims 600 million samples; the file holds 60000. The test environment caps
  // single allocations at 1 GiB, so sizing from the claim would fail here.
  const Bytes honest = EncodeOggVorbis(TestSignal(1, 60000, 22050, 7), 1, 22050, 1);
  Bytes forged = honest;
  size_t last = 0;
  for (size_t i = 0; i + 27 <= forged.size(); ++i)
    if (std::memcmp(&forged[i], "OggS", 4) == 0) last = i;
  const uint64_t claim = 600000000;
  for (int b = 0; b < 8; ++b) forged[last + 6 + b] = static_cast<uint8_t>(claim >> (8 * b));
  std::memset(&forged[last + 22], 0, 4);
  const size_t segments = forged[last + 26];
  size_t body = 0;
  for (size_t s = 0; s < segments; ++s) body += forged[last + 27 + s];
  ogg_page page{&forged[last], static_cast<long>(27 + segments), &forged[last + 27 + segments],
                static_cast<long>(body)};
  ogg_page_checksum_set(&page);

  Converted c = Convert(forged);
  ASSERT_EQ(c.setup, 0);
  EXPECT_EQ(c.destSize, static_cast<int64_t>(claim) * 2);  // what the file says
  ASSERT_EQ(c.convert, 0);
  // What it holds: the library's own decode, which without a true last position keeps the
  // final block whole.
  EXPECT_EQ(c.samples(), DecodeOggVorbisDirect(forged));
  EXPECT_GE(c.samples().size(), DecodeOggVorbisDirect(honest).size());
  EXPECT_LT(c.samples().size(), 60000u + 2048u);
}
