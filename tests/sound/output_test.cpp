// The sound-output layer on the null device: cursors, locks, play, stop, loop and the mix.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "media.h"
#include "platform/audio/audio.h"
#include "platform/audio/mix_kernel.h"

namespace {

class NullDevice : public testing::Test {
 protected:
  void SetUp() override { Open(NullAudioConfig{}); }
  void TearDown() override { Close(); }
  void Open(const NullAudioConfig& config) {
    AudioNull_Install(&config);
    device = AudioDevice_Create();
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(AudioDevice_Initialize(device), 0);
  }
  void Close() {
    AudioDevice_Release(device);
    device = nullptr;
    AudioNull_Install(nullptr);
  }
  // A static buffer holding the samples (16-bit), or bytes (8-bit).
  AudioBuffer* Buffer(const Bytes& data, int channels, int bits, uint32_t rate = 44100) {
    WAVEFORMATEX f{WAVE_FORMAT_PCM, static_cast<uint16_t>(channels), rate, 0,
                   static_cast<uint16_t>(channels * bits / 8), static_cast<uint16_t>(bits), 0};
    f.nAvgBytesPerSec = f.nBlockAlign * rate;
    DSBUFFERDESC desc{36, DSBCAPS_STATIC | DSBCAPS_CTRLVOLUME, static_cast<uint32_t>(data.size()), &f};
    AudioBuffer* b = nullptr;
    EXPECT_EQ(AudioDevice_CreateBuffer(device, &desc, &b), 0);
    void *p1, *p2;
    uint32_t n1, n2;
    EXPECT_EQ(AudioBuffer_Lock(b, 0, static_cast<uint32_t>(data.size()), &p1, &n1, &p2, &n2), 0);
    std::memcpy(p1, data.data(), n1);
    EXPECT_EQ(AudioBuffer_Unlock(b, p1, n1, p2, n2), 0);
    return b;
  }
  std::vector<int16_t> Mix(uint32_t frames) {
    AudioNull_ClearCapture(device);
    AudioNull_Advance(device, frames);
    return AudioNull_Capture(device);
  }
  uint32_t Cursor(AudioBuffer* b) {
    uint32_t play = 99, write = 99;
    EXPECT_EQ(AudioBuffer_GetCurrentPosition(b, &play, &write), 0);
    EXPECT_EQ(play, write);
    return play;
  }
  bool Playing(AudioBuffer* b) {
    uint32_t status = 0;
    AudioBuffer_GetStatus(b, &status);
    return (status & DSBSTATUS_PLAYING) != 0;
  }
  AudioDevice* device = nullptr;
};

std::vector<int16_t> Ramp(int n, int step) {
  std::vector<int16_t> s(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) s[static_cast<size_t>(i)] = static_cast<int16_t>(i * step - 1000);
  return s;
}

}  // namespace

TEST_F(NullDevice, PlayStopLoopAndCursor) {
  const std::vector<int16_t> ramp = Ramp(100, 10);
  AudioBuffer* b = Buffer(ToBytes(ramp), 1, 16);
  EXPECT_EQ(Cursor(b), 0u);
  EXPECT_EQ(Mix(10), std::vector<int16_t>(20, 0));  // nothing plays yet

  ASSERT_EQ(AudioBuffer_Play(b, 0), 0);
  std::vector<int16_t> out = Mix(30);
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(out[2 * i], ramp[i]);
    EXPECT_EQ(out[2 * i + 1], ramp[i]);  // mono goes to both sides
  }
  EXPECT_EQ(Cursor(b), 60u);
  AudioBuffer_Stop(b);
  EXPECT_EQ(Mix(5), std::vector<int16_t>(10, 0));
  EXPECT_EQ(Cursor(b), 60u);  // stop keeps the position
  AudioBuffer_Play(b, 0);
  out = Mix(80);
  EXPECT_EQ(out[0], ramp[30]);
  EXPECT_EQ(out[2 * 69], ramp[99]);
  EXPECT_EQ(out[2 * 70], 0);  // played to the end: stopped and rewound
  EXPECT_FALSE(Playing(b));
  EXPECT_EQ(Cursor(b), 0u);

  ASSERT_EQ(AudioBuffer_SetCurrentPosition(b, 190), 0);
  AudioBuffer_Play(b, DSBPLAY_LOOPING);
  out = Mix(25);
  EXPECT_EQ(out[0], ramp[95]);
  EXPECT_EQ(out[2 * 5], ramp[0]);
  EXPECT_EQ(out[2 * 24], ramp[19]);
  EXPECT_TRUE(Playing(b));
  EXPECT_EQ(Cursor(b), 40u);
  EXPECT_EQ(AudioBuffer_SetCurrentPosition(b, 200), -1);  // past the end
  AudioBuffer_Release(b);
}

TEST_F(NullDevice, LockWrapsAndDuplicatesShareMemory) {
  AudioBuffer* b = Buffer(Bytes(40, 0), 1, 16);
  void *p1, *p2;
  uint32_t n1, n2;
  ASSERT_EQ(AudioBuffer_Lock(b, 30, 16, &p1, &n1, &p2, &n2), 0);
  EXPECT_EQ(n1, 10u);
  EXPECT_EQ(n2, 6u);
  EXPECT_EQ(AudioBuffer_Lock(b, 0, 4, &p1, &n1, &p2, &n2), -1);  // one lock at a time
  const int16_t tail[5] = {1, 2, 3, 4, 5}, head[3] = {6, 7, 8};
  std::memcpy(p1, tail, 10);
  std::memcpy(p2, head, 6);
  ASSERT_EQ(AudioBuffer_Unlock(b, p1, n1, p2, n2), 0);
  EXPECT_EQ(AudioBuffer_Lock(b, 40, 2, &p1, &n1, &p2, &n2), -1);
  EXPECT_EQ(AudioBuffer_Lock(b, 0, 41, &p1, &n1, &p2, &n2), -1);

  AudioBuffer* dup = nullptr;
  ASSERT_EQ(AudioDevice_DuplicateBuffer(device, b, &dup), 0);
  AudioBuffer_SetCurrentPosition(dup, 30);
  AudioBuffer_Play(dup, DSBPLAY_LOOPING);
  std::vector<int16_t> out = Mix(8);
  const int16_t expected[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(out[2 * i], expected[i]) << i;
  EXPECT_FALSE(Playing(b));  // the duplicate plays on its own
  EXPECT_EQ(AudioNull_BufferCount(device), 2);
  AudioBuffer_Release(dup);
  AudioBuffer_Release(b);
}

TEST_F(NullDevice, VolumePanFrequencyAndFormats) {
  const std::vector<int16_t> ramp = Ramp(64, 300);
  AudioBuffer* b = Buffer(ToBytes(ramp), 1, 16);
  // -600 hundredths of a decibel: amplitude 10^(-600/2000).
  ASSERT_EQ(AudioBuffer_SetVolume(b, -600), 0);
  AudioBuffer_Play(b, 0);
  std::vector<int16_t> out = Mix(64);
  const double gain = std::pow(10.0, -0.3);
  for (int i = 0; i < 64; ++i) EXPECT_NEAR(out[2 * i], ramp[i] * gain, 1.0) << i;
  EXPECT_EQ(AudioBuffer_SetVolume(b, -10001), -1);

  // Pan right by 6 dB: the left side drops, the right keeps full volume; -10000 is silence.
  AudioBuffer_SetVolume(b, 0);
  AudioBuffer_SetPan(b, 600);
  AudioBuffer_Play(b, 0);
  out = Mix(64);
  for (int i = 0; i < 64; ++i) {
    EXPECT_NEAR(out[2 * i], ramp[i] * gain, 1.0);
    EXPECT_EQ(out[2 * i + 1], ramp[i]);
  }
  AudioBuffer_SetPan(b, 0);
  AudioBuffer_SetVolume(b, DSBVOLUME_MIN);
  AudioBuffer_Play(b, 0);
  EXPECT_EQ(Mix(10), std::vector<int16_t>(20, 0));

  // Half the device rate: every sample comes out as it is, and between two of a ramp (far
  // enough from its start for the filter) comes the point half-way.
  AudioBuffer_SetVolume(b, 0);
  AudioBuffer_SetFrequency(b, 22050);
  AudioBuffer_SetCurrentPosition(b, 40);
  AudioBuffer_Play(b, 0);
  out = Mix(20);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(out[4 * i], ramp[20 + i]);
    EXPECT_EQ(out[4 * i + 2], ramp[20 + i] + 150);
  }
  EXPECT_EQ(Cursor(b), 60u);
  AudioBuffer_Release(b);

  // 8-bit unsigned stereo: byte 128 + v plays as v x 256, each side its own.
  AudioBuffer* e = Buffer(Bytes{129, 127, 255, 0}, 2, 8);
  AudioBuffer_Play(e, 0);
  EXPECT_EQ(Mix(3), (std::vector<int16_t>{256, -256, 127 * 256, -128 * 256, 0, 0}));
  AudioBuffer_Release(e);

  // Two buffers at full scale clip instead of wrapping.
  AudioBuffer* x = Buffer(ToBytes({30000, -30000}), 1, 16);
  AudioBuffer* y = Buffer(ToBytes({30000, -30000}), 1, 16);
  AudioBuffer_Play(x, 0);
  AudioBuffer_Play(y, 0);
  EXPECT_EQ(Mix(2), (std::vector<int16_t>{32767, 32767, -32768, -32768}));
  AudioBuffer_Release(x);
  AudioBuffer_Release(y);

  WAVEFORMATEX f24{WAVE_FORMAT_PCM, 1, 44100, 132300, 3, 24, 0};
  DSBUFFERDESC desc{36, DSBCAPS_STATIC, 300, &f24};
  AudioBuffer* z = nullptr;
  EXPECT_EQ(AudioDevice_CreateBuffer(device, &desc, &z), -1);  // no 24-bit mixing
}

TEST_F(NullDevice, MonoDeviceAndWaitClock) {
  Close();
  NullAudioConfig mono;
  mono.channels = 1;
  mono.rate = 8000;
  Open(mono);
  AudioBuffer* b = Buffer(ToBytes({1000, 3000, -400, -600}), 2, 16, 8000);
  AudioBuffer_Play(b, DSBPLAY_LOOPING);
  EXPECT_EQ(Mix(3), (std::vector<int16_t>{2000, -500, 2000}));
  // The null device's wait advances its own clock: 8 frames a millisecond here.
  AudioNull_ClearCapture(device);
  AudioDevice_Wait(device, 5);
  EXPECT_EQ(AudioNull_Capture(device).size(), 40u);
  AudioBuffer_Release(b);
}

TEST_F(NullDevice, ConsumedFramesCountEveryLap) {
  AudioBuffer* b = Buffer(ToBytes(Ramp(100, 10)), 1, 16);
  auto consumed = [&] {
    uint64_t n = 99;
    EXPECT_EQ(AudioBuffer_GetConsumedFrames(b, &n), 0);
    return n;
  };
  EXPECT_EQ(consumed(), 0u);
  AudioBuffer_Play(b, DSBPLAY_LOOPING);
  Mix(1050);  // ten laps and a half: the cursor alone cannot tell
  EXPECT_EQ(Cursor(b), 100u);
  EXPECT_EQ(consumed(), 1050u);
  AudioBuffer_SetCurrentPosition(b, 60);  // moving the cursor is not playing
  EXPECT_EQ(consumed(), 1050u);
  AudioBuffer_Stop(b);
  Mix(500);
  EXPECT_EQ(consumed(), 1050u);
  // Played once to its end from frame 30: 70 frames, then it stops.
  AudioBuffer_Play(b, 0);
  Mix(500);
  EXPECT_FALSE(Playing(b));
  EXPECT_EQ(consumed(), 1050u + 70u);
  // At half the device rate a frame is read every second output frame.
  AudioBuffer_SetFrequency(b, 22050);
  AudioBuffer_Play(b, DSBPLAY_LOOPING);
  Mix(400);
  EXPECT_EQ(consumed(), 1050u + 70u + 200u);
  // Duplicates count their own.
  AudioBuffer* d = nullptr;
  ASSERT_EQ(AudioDevice_DuplicateBuffer(device, b, &d), 0);
  uint64_t n = 1;
  EXPECT_EQ(AudioBuffer_GetConsumedFrames(d, &n), 0);
  EXPECT_EQ(n, 0u);
}

// 44.1 kHz sines on a 48 kHz output against the sine itself at each output frame's time.
TEST_F(NullDevice, RateConversionKeepsTheBandAndTheSine) {
  Close();
  NullAudioConfig config;
  config.rate = 48000;
  Open(config);
  constexpr double kPi = 3.14159265358979323846, kAmplitude = 30000.0;
  constexpr int kSkip = 64, kMeasured = 9600;  // past the filter's start; 0.2 s
  const double step = std::floor(44100.0 / 48000.0 * 4294967296.0) / 4294967296.0;  // the cursor's step
  for (int khz : {1, 5, 8, 10, 15, 18}) {
    std::vector<int16_t> sine(11000);
    for (size_t k = 0; k < sine.size(); ++k)
      sine[k] = static_cast<int16_t>(std::lrint(kAmplitude * std::sin(2 * kPi * khz * 1000.0 * k / 44100.0)));
    AudioBuffer* b = Buffer(ToBytes(sine), 1, 16);
    AudioBuffer_Play(b, 0);
    const std::vector<int16_t> out = Mix(kSkip + kMeasured);
    // Against the sine itself: a lost or changed band shows as noise as much as a bad filter does.
    double signal = 0, noise = 0;
    for (int n = kSkip; n < kSkip + kMeasured; ++n) {
      const double want = kAmplitude * std::sin(2 * kPi * khz * 1000.0 * (n * step) / 44100.0);
      signal += want * want;
      noise += (out[2 * n] - want) * (out[2 * n] - want);
    }
    EXPECT_GE(10 * std::log10(signal / noise), 80.0) << khz << " kHz";
    AudioBuffer_Release(b);
  }
}

// A stream rewrites the frames behind the cursor: what is heard is what was there when played.
TEST_F(NullDevice, WritingBehindTheCursorChangesNothingHeard) {
  Close();
  NullAudioConfig config;
  config.rate = 48000;
  Open(config);
  const Bytes sound = ToBytes(TestSignal(1, 4000, 44100));
  std::vector<int16_t> heard[2];
  for (int rewrite : {0, 1}) {
    AudioBuffer* b = Buffer(sound, 1, 16);
    AudioBuffer_Play(b, DSBPLAY_LOOPING);
    for (int pass = 0; pass < 12; ++pass) {  // less than a lap: rewritten frames are not reached again
      const std::vector<int16_t> out = Mix(301);
      heard[rewrite].insert(heard[rewrite].end(), out.begin(), out.end());
      if (!rewrite) continue;
      const uint32_t cursor = Cursor(b), bytes = 2 * 40;
      void *p1, *p2;
      uint32_t n1, n2;
      ASSERT_EQ(AudioBuffer_Lock(b, (cursor + 8000 - bytes) % 8000, bytes, &p1, &n1, &p2, &n2), 0);
      std::memset(p1, 0x7F, n1);
      if (n2) std::memset(p2, 0x7F, n2);
      ASSERT_EQ(AudioBuffer_Unlock(b, p1, n1, p2, n2), 0);
    }
    AudioBuffer_Release(b);
  }
  EXPECT_EQ(heard[0], heard[1]);
}

// Every instruction set's rate conversion gives the generic one's bits, and so does the way for
// output frames on whole input frames.
TEST(MixKernels, EveryVersionMatchesTheGenericOne) {
  std::mt19937 random(31);
  std::uniform_real_distribution<float> sample(-32768.0f, 32767.0f);
  std::vector<float> in[2];
  for (auto& channel : in) {
    channel.resize(256 * 26 + kMixTaps + 1);
    for (float& s : channel) s = sample(random);
  }
  std::vector<const MixKernels*> sets = {&kMixKernelsGeneric};
  if (&MixKernelsBest() != &kMixKernelsGeneric) sets.push_back(&MixKernelsBest());
  for (int round = 0; round < 400; ++round) {
    const int sources = 1 + round % 2, outputs = 1 + round / 2 % 2;
    const bool whole = round % 8 >= 4;
    MixBlock block{{in[0].data(), in[1].data()}, whole ? 0 : uint64_t{random()},
                   whole ? std::uniform_int_distribution<uint64_t>(1, 25)(random) << 32
                         : std::uniform_int_distribution<uint64_t>(1, 25ull << 32)(random),
                   std::uniform_int_distribution<uint32_t>(1, 256)(random), sample(random) / 32768.0f,
                   sample(random) / 32768.0f, nullptr};
    std::vector<float> want(512, 1.0f);
    block.out = want.data();
    kMixKernelsGeneric.kernel[sources - 1][outputs - 1](MixSinc(), block);
    for (const MixKernels* set : sets) {
      std::vector<MixKernel> versions = {set->kernel[sources - 1][outputs - 1]};
      if (whole) versions.push_back(set->whole[sources - 1][outputs - 1]);
      for (size_t v = 0; v < versions.size(); ++v) {
        std::vector<float> got(512, 1.0f);
        block.out = got.data();
        versions[v](MixSinc(), block);
        ASSERT_EQ(std::memcmp(want.data(), got.data(), want.size() * sizeof(float)), 0)
            << set->name << (v ? " whole" : "") << " round " << round;
      }
    }
  }
}
