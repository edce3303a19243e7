#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "common/scratch.h"
#include "platform/audio/audio.h"
#include "pxtone/pttune.h"
#include "pxtone/pxtone.h"
#include "pxtone/pxtone_mix.h"

namespace {

const char* kScore = R"(# two bars
tempo 120
steps 4
voice lead square 0.5 0 0 1 0
voice bass triangle 0.5 0 0 1 0
lead: A4:4 . [ C4 E4 ]x2 .:4
bass: A2:16
)";

double Peak(const std::vector<int16_t>& s, size_t from, size_t to) {
  double m = 0;
  for (size_t i = from; i < to && i < s.size(); ++i) m = std::max(m, std::fabs(double(s[i])));
  return m;
}

TEST(PtTuneParse, ReadsVoicesNotesRepeatsAndLengths) {
  pttune::Tune t;
  std::string err;
  ASSERT_TRUE(pttune::Parse(kScore, &t, &err)) << err;
  ASSERT_EQ(t.voices.size(), 2u);
  const auto& lead = t.voices[0];
  // A4:4, rest, C4 E4 C4 E4, rest of 4.
  ASSERT_EQ(lead.notes.size(), 5u);
  EXPECT_EQ(lead.lengthSteps, 4 + 1 + 4 + 4);
  EXPECT_NEAR(lead.notes[0].frequency, 440.0, 1e-9);
  EXPECT_EQ(lead.notes[0].lengthSteps, 4);
  EXPECT_EQ(lead.notes[1].startStep, 5);
  EXPECT_NEAR(lead.notes[1].frequency, 261.6256, 1e-3);
  EXPECT_EQ(lead.notes[4].startStep, 8);
  EXPECT_EQ(t.lengthSteps, 16);  // the longest voice
  EXPECT_DOUBLE_EQ(t.SecondsPerStep(), 0.125);
}

TEST(PtTuneParse, ReportsTheLineOfEachMistake) {
  struct Case { const char* text; const char* expect; } cases[] = {
      {"tempo 120\nlead: C4\n", "line 2: unknown voice 'lead'"},
      {"voice a square 0.5 0 0 1 0\na: H4\n", "line 2: bad note 'H4'"},
      {"voice a square 0.5 0 0 1 0\na: [ C4\n", "line 2: '[' without ']'"},
      {"voice a square 0.5 0 0 1 0\na: C4 ]x2\n", "line 2: ']' without '['"},
      {"voice a square 0.5 0 0 1 0\na: [ C4 ]y2\n", "line 2: bad repeat ']y2'"},
      {"voice a wobble 0.5 0 0 1 0\n", "line 1: bad wave 'wobble'"},
      {"tempo 0\n", "line 1: bad tempo"},
      {"voice a square 0.5 0 0 1 0\n", "line 0: the tune has no notes"},
      {"voice a square 0.5 0 0 1 0\na: [ [ [ C4 ]x1024 ]x1024 ]x1024\n", "line 2: tune too long"},
  };
  for (const auto& c : cases) {
    pttune::Tune t;
    std::string err;
    EXPECT_FALSE(pttune::Parse(c.text, &t, &err)) << c.text;
    EXPECT_EQ(err, c.expect) << c.text;
  }
}

std::string Hostile(const char* name) {
  const char* source = std::getenv("TAMRAK_SOURCE_DIR");
  std::ifstream in(std::string(source ? source : ".") + "/fuzz/corpus/pttune/" + name, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(PtTuneParse, BoundsTheWholeTuneAndTheNotesAtOnce) {
  pttune::Tune t;
  std::string err;
  // Repeats are bounded over the whole tune, not group by group: 1.1 KB would expand to gigabytes.
  const std::string nested = Hostile("pttune-nested-repeats.pttune");
  ASSERT_EQ(nested.size(), 1114u);
  EXPECT_FALSE(pttune::Parse(nested, &t, &err));
  EXPECT_EQ(err, "line 2: tune too long");
  // Fifty voices of long releases: over a thousand notes would sound at once.
  const std::string voices = Hostile("pttune-many-voices.pttune");
  ASSERT_EQ(voices.size(), 2399u);
  EXPECT_FALSE(pttune::Parse(voices, &t, &err));
  EXPECT_EQ(err, "line 0: too many notes at once");

  // 64 voices holding a chord with one-second releases is the most; a 65th note on top is refused.
  std::string chord = "tempo 120\n";
  for (int i = 0; i < 64; ++i) chord += "voice v" + std::to_string(i) + " saw 0.01 0 0 1 1000\n";
  for (int i = 0; i < 64; ++i) chord += "v" + std::to_string(i) + ": C4\n";
  EXPECT_TRUE(pttune::Parse(chord, &t, &err)) << err;
  EXPECT_FALSE(pttune::Parse(chord + "v0: E4\n", &t, &err));
  EXPECT_EQ(err, "line 0: too many notes at once");
  EXPECT_FALSE(pttune::Parse(chord + "voice extra saw 0.01 0 0 1 0\n", &t, &err));
  EXPECT_EQ(err, "line 130: too many voices");
}

TEST(PtTuneRender, PlaysOnceOrLoopsAndIsSilentInRests) {
  pttune::Tune t;
  std::string err;
  ASSERT_TRUE(pttune::Parse("tempo 120\nvoice a square 1 0 0 1 0\na: A4:2 .:2\n", &t, &err)) << err;
  const int rate = 8000;  // 4 steps of 0.125 s = 4000 samples
  pttune::Renderer once;
  once.Start(&t, rate, false);
  std::vector<float> buf(6000, 0.0f);
  EXPECT_FALSE(once.Render(buf.data(), 6000));
  EXPECT_FALSE(once.playing());
  EXPECT_FLOAT_EQ(std::fabs(buf[100]), 1.0f);  // the square wave at full volume
  EXPECT_EQ(buf[2500], 0.0f);                  // the rest
  EXPECT_EQ(buf[5000], 0.0f);                  // after the end

  pttune::Renderer loop;
  loop.Start(&t, rate, true);
  std::vector<float> lbuf(6000, 0.0f);
  EXPECT_TRUE(loop.Render(lbuf.data(), 6000));
  EXPECT_FLOAT_EQ(lbuf[4100], lbuf[100]);  // the second pass repeats the first
  EXPECT_EQ(loop.position(), 2000);
}

class PxtoneLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(pxtone_Ready(nullptr, 1, 22050, 16, 0.1f, 1, nullptr), 1);
    // Tests run side by side in one folder: each writes a tune of its own.
    tune = ScratchName("tune.pttune");
    std::ofstream(tune) << "tempo 120\nvoice a saw 1 0 0 1 0\na: C4:4\n";  // 0.5 s
  }
  void TearDown() override {
    pxtone_Release();
    std::remove(tune.c_str());
  }
  std::vector<int16_t> Mix(int frames) {
    std::vector<int16_t> s(static_cast<size_t>(frames) * 2);
    pxtone_Mix(s.data(), frames);
    return s;
  }
  std::string tune;
};

TEST_F(PxtoneLibrary, StartsLoopsOrEndsAndStops) {
  pxtone_Tune_SetVolume(1.0f);
  pxtone_Tune_SetLoop(0);
  ASSERT_EQ(pxtone_Tune_Load(nullptr, nullptr, tune.c_str()), 1);
  ASSERT_EQ(pxtone_Tune_Start(0, 0), 1);
  auto s = Mix(22050);
  EXPECT_GT(Peak(s, 0, 2 * 11000), 1000.0);
  EXPECT_EQ(Peak(s, 2 * 11100, s.size()), 0.0);  // once: silent after half a second
  EXPECT_FALSE(pxtone_TunePlaying());

  pxtone_Tune_SetLoop(1);
  pxtone_Tune_Start(0, 0);
  s = Mix(22050);
  EXPECT_GT(Peak(s, 2 * 11100, s.size()), 1000.0);  // looped
  pxtone_Tune_Stop();
  pxtone_Tune_Release();
  EXPECT_EQ(Peak(Mix(1000), 0, 2000), 0.0);
}

TEST_F(PxtoneLibrary, FadeReachesSilenceAndStaysThere) {
  pxtone_Tune_SetLoop(1);
  ASSERT_EQ(pxtone_Tune_Load(nullptr, nullptr, tune.c_str()), 1);
  pxtone_Tune_Start(0, 0);
  pxtone_Tune_Fadeout(100);  // 2205 frames
  auto s = Mix(4000);
  EXPECT_GT(Peak(s, 0, 200), Peak(s, 2 * 1800, 2 * 2200));
  EXPECT_EQ(Peak(s, 2 * 2206, s.size()), 0.0);
  EXPECT_EQ(Peak(Mix(30000), 0, 60000), 0.0);
}

TEST_F(PxtoneLibrary, ResetFollowsTheNewRateAndKeepsPlaying) {
  pxtone_Tune_SetLoop(1);
  pxtone_Tune_Load(nullptr, nullptr, tune.c_str());
  pxtone_Tune_Start(0, 0);
  Mix(100);
  pxtone_Reset(nullptr, 1, 11025, 16, 0.1f, 1, nullptr);
  EXPECT_EQ(pxtone_SampleRate(), 11025);
  EXPECT_TRUE(pxtone_TunePlaying());
  EXPECT_GT(Peak(Mix(2000), 0, 4000), 1000.0);
  pxtone_Reset(nullptr, 1, 12345, 16, 0.1f, 1, nullptr);  // an unknown rate is the best quality
  EXPECT_EQ(pxtone_SampleRate(), 44100);
}

TEST_F(PxtoneLibrary, MissingOrBrokenFilesAreSilence) {
  EXPECT_EQ(pxtone_Tune_Load(nullptr, nullptr, "no such file.pttune"), 0);
  EXPECT_EQ(pxtone_Tune_Start(0, 0), 0);
  const std::string broken = ScratchName("broken.pttune");
  std::ofstream(broken) << "voice a square\n";
  EXPECT_EQ(pxtone_Tune_Load(nullptr, nullptr, broken.c_str()), 0);
  std::remove(broken.c_str());
  EXPECT_EQ(Peak(Mix(1000), 0, 2000), 0.0);
  pxtone_Tune_Stop();
  pxtone_Tune_Fadeout(3000);
  pxtone_Tune_Release();
}

// The music through the sound output it shares with the engine's play buffers.
class SharedOutput : public PxtoneLibrary {
 protected:
  void SetUp() override {
    PxtoneLibrary::SetUp();
    pxtone_Tune_SetVolume(1.0f);
    pxtone_Tune_SetLoop(1);
    ASSERT_EQ(pxtone_Tune_Load(nullptr, nullptr, tune.c_str()), 1);
  }
  void TearDown() override {
    for (AudioDevice* d : devices) AudioDevice_Release(d);
    AudioNull_Install(nullptr);
    PxtoneLibrary::TearDown();
  }
  AudioDevice* OpenNull(uint32_t rate) {
    NullAudioConfig config;
    config.rate = rate;
    AudioNull_Install(&config);
    AudioDevice* d = AudioDevice_Create();
    EXPECT_EQ(AudioDevice_Initialize(d), 0);
    devices.push_back(d);
    return d;
  }
  // What the device mixed over the next frames (interleaved stereo).
  static std::vector<int16_t> Heard(AudioDevice* d, uint32_t frames) {
    AudioNull_ClearCapture(d);
    AudioNull_Advance(d, frames);
    return AudioNull_Capture(d);
  }
  std::vector<AudioDevice*> devices;
};

TEST_F(SharedOutput, TheDevicesMixCarriesTheMusicBesideItsBuffers) {
  AudioDevice* d = OpenNull(22050);
  ASSERT_EQ(AudioClient_OutputOpen(), 1);
  // A play buffer holding a steady 1000 on both sides, looping.
  WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 22050, 22050 * 4, 4, 16, 0};
  DSBUFFERDESC desc{36, 0, 4 * 64, &f};
  AudioBuffer* b = nullptr;
  ASSERT_EQ(AudioDevice_CreateBuffer(d, &desc, &b), 0);
  void* part = nullptr;
  uint32_t bytes = 0;
  ASSERT_EQ(AudioBuffer_Lock(b, 0, 4 * 64, &part, &bytes, nullptr, nullptr), 0);
  std::vector<int16_t> steady(2 * 64, 1000);
  std::memcpy(part, steady.data(), bytes);
  ASSERT_EQ(AudioBuffer_Unlock(b, part, bytes, nullptr, 0), 0);
  ASSERT_EQ(AudioBuffer_Play(b, DSBPLAY_LOOPING), 0);

  ASSERT_EQ(pxtone_Tune_Start(0, 0), 1);
  const std::vector<int16_t> heard = Heard(d, 5000);
  // The same tune from its start, pulled from the library itself.
  AudioBuffer_Stop(b);
  pxtone_Tune_Start(0, 0);
  const std::vector<int16_t> music = Mix(5000);
  ASSERT_EQ(heard.size(), music.size());
  EXPECT_GT(Peak(music, 0, music.size()), 1000.0);
  // Within one step: the device rounds the sum once, the library its part alone.
  for (size_t i = 0; i < heard.size(); ++i) {
    const int want = std::clamp(music[i] + 1000, -32768, 32767);
    ASSERT_NEAR(heard[i], want, 1) << "sample " << i;
  }
}

TEST_F(SharedOutput, MusicAtAnotherRateIsResampledToTheDevices) {
  AudioDevice* d = OpenNull(44100);  // the library makes 22050 frames a second
  ASSERT_EQ(pxtone_Tune_Start(0, 0), 1);
  const std::vector<int16_t> heard = Heard(d, 8000);
  pxtone_Tune_Start(0, 0);
  const std::vector<int16_t> music = Mix(4001);
  // Every second frame is a sample of the library's; the frames between lie between them.
  for (size_t k = 0; k < 4000; ++k) {
    ASSERT_EQ(heard[4 * k], music[2 * k]) << "frame " << 2 * k;
    ASSERT_EQ(heard[4 * k + 1], music[2 * k]) << "frame " << 2 * k;
    const int lo = std::min(music[2 * k], music[2 * k + 2]), hi = std::max(music[2 * k], music[2 * k + 2]);
    ASSERT_GE(heard[4 * k + 2], lo - 1) << "frame " << 2 * k + 1;
    ASSERT_LE(heard[4 * k + 2], hi + 1) << "frame " << 2 * k + 1;
  }
}

TEST_F(SharedOutput, HeardOnTheFirstOpenDeviceOnlyAndNotOnceReleased) {
  AudioDevice* first = OpenNull(22050);
  AudioDevice* second = OpenNull(22050);
  ASSERT_EQ(pxtone_Tune_Start(0, 0), 1);
  EXPECT_EQ(Peak(Heard(second, 2000), 0, 4000), 0.0);
  EXPECT_GT(Peak(Heard(first, 2000), 0, 4000), 1000.0);
  // With the first one closed the music moves to the other.
  AudioDevice_Release(first);
  devices.erase(devices.begin());
  EXPECT_GT(Peak(Heard(second, 2000), 0, 4000), 1000.0);
  pxtone_Release();
  EXPECT_EQ(Peak(Heard(second, 2000), 0, 4000), 0.0);
  AudioDevice_Release(second);
  devices.clear();
  EXPECT_EQ(AudioClient_OutputOpen(), 0);
}

// SDL's dummy driver opens one output device only, as ALSA without a mixer does: the music
// has to play through the device the engine holds.
TEST_F(SharedOutput, PlaysThroughTheOneDeviceOfSdlsDummyDriver) {
  AudioNull_Install(nullptr);
  AudioDevice* d = AudioDevice_Create();
  ASSERT_NE(d, nullptr);
  devices.push_back(d);
  if (AudioDevice_Initialize(d) != 0) GTEST_SKIP() << "no sound device";
  const char* driver = std::getenv("SDL_AUDIODRIVER");
  if (driver && std::strcmp(driver, "dummy") == 0) {
    AudioDevice* other = AudioDevice_Create();
    EXPECT_NE(AudioDevice_Initialize(other), 0);
    AudioDevice_Release(other);
  }
  ASSERT_EQ(pxtone_Tune_Start(0, 0), 1);
  // The device pulls the music in real time; a tenth of a second of it is plenty.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (pxtone_TunePosition() < 2205 && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(pxtone_TunePosition(), 2205);
}

}  // namespace
