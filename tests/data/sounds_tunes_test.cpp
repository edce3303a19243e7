// The shipped sound effects, tunes and key names, and the levels they are mixed at.
#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "engine/sound/sound.h"
#include "platform/audio/audio.h"
#include "pxtone/pttune.h"
#include "pxtone/pxtone.h"
#include "pxtone/pxtone_mix.h"

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}
std::string GameDir() { return Env("TAMRAK_BINARY_DIR") + "/gamedir"; }

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

const char* const kEffects[] = {
    "dash", "attack", "decision", "hit_break", "hit_crack", "hit_char", "hit_paddle", "hit_wall",
    "damage", "hit_enemy", "defeat", "makimono", "money", "money2", "onigiri", "unpack", "dash2",
    "fire", "lifebar", "getout", "hit_boss", "vanish", "bullet", "stream", "throw", "rolling",
    "crash", "ink", "thunder", "skull", "1up"};

// Decodes a whole Ogg Vorbis file; returns its length in seconds, or -1.
double DecodeSeconds(const std::string& path) {
  OggVorbis_File vf;
  if (ov_fopen(path.c_str(), &vf) != 0) return -1;
  long rate = ov_info(&vf, -1)->rate;
  char buf[4096];
  int section = 0;
  long total = 0, n;
  while ((n = ov_read(&vf, buf, sizeof buf, 0, 2, 1, &section)) > 0) total += n;
  ov_clear(&vf);
  return n < 0 ? -1 : static_cast<double>(total) / 2.0 / static_cast<double>(rate);
}

// Whole file as 16-bit samples, or empty.
std::vector<int16_t> Decode(const std::string& path) {
  OggVorbis_File vf;
  std::vector<int16_t> out;
  if (ov_fopen(path.c_str(), &vf) != 0) return out;
  int16_t buf[2048];
  int section = 0;
  long n;
  while ((n = ov_read(&vf, reinterpret_cast<char*>(buf), sizeof buf, 0, 2, 1, &section)) > 0)
    out.insert(out.end(), buf, buf + n / 2);
  ov_clear(&vf);
  if (n < 0) out.clear();
  return out;
}

int Peak(const std::vector<int16_t>& s) {
  int peak = 0;
  for (int16_t v : s) peak = std::max(peak, std::abs(static_cast<int>(v)));
  return peak;
}

// Level relative to full scale (32768), in dB.
double Dbfs(double amplitude) { return 20.0 * std::log10(amplitude / 32768.0); }

double RmsDbfs(const std::vector<int16_t>& s) {
  double sum = 0;
  for (int16_t v : s) sum += static_cast<double>(v) * v;
  return Dbfs(std::sqrt(sum / static_cast<double>(std::max<size_t>(s.size(), 1))));
}

// The levels the game is mixed to: every effect sits a little above the music.
constexpr double kEffectRms = -23.0, kTuneRms = -25.0, kLevelTolerance = 1.0;
constexpr int kEffectPeakLimit = 16384;  // -6 dBFS

// One pass of a tune as the game plays it (volume 0.75, 44100 Hz), left channel.
std::vector<int16_t> RenderTune(const std::string& path) {
  pxtone_Ready(nullptr, 1, 44100, 16, 0.1f, 1, nullptr);
  pxtone_Tune_SetVolume(0.75f);
  pxtone_Tune_SetLoop(0);
  std::vector<int16_t> left;
  if (!pxtone_Tune_Load(nullptr, nullptr, path.c_str())) return left;
  pxtone_Tune_Start(0, 0);
  std::vector<int16_t> chunk(2 * 4096);
  while (pxtone_TunePlaying()) {
    pxtone_Mix(chunk.data(), 4096);
    for (size_t i = 0; i < chunk.size(); i += 2) left.push_back(chunk[i]);
  }
  pxtone_Release();
  return left;
}

std::vector<std::string> TuneNames() {
  return {"boss1", "boss2", "boss3", "ending", "out", "stage1", "stage2", "stage3", "stage4", "stage5"};
}

TEST(SoundEffects, AllThirtyOneDecodeAndTheEveryFrameOnesAreShort) {
  for (const char* name : kEffects) {
    double seconds = DecodeSeconds(GameDir() + "/common/se/" + name + ".ogg");
    EXPECT_GT(seconds, 0.0) << name;
    EXPECT_LT(seconds, 1.0) << name;
  }
  // Replayed every frame: the wall hit and the gauge tick must end within a frame or two.
  EXPECT_LT(DecodeSeconds(GameDir() + "/common/se/hit_wall.ogg"), 0.035);
  EXPECT_LT(DecodeSeconds(GameDir() + "/common/se/lifebar.ogg"), 0.030);
}

TEST(SoundEffects, GenerationIsDeterministic) {
  std::string tool = Env("TAMRAK_BINARY_DIR") + "/tools/sfx/sfx_gen";
  ASSERT_EQ(std::system(("mkdir -p sfx_a sfx_b && " + tool + " sfx_a && " + tool + " sfx_b").c_str()), 0);
  for (const char* name : kEffects) {
    std::string a = ReadAll(std::string("sfx_a/") + name + ".ogg");
    EXPECT_FALSE(a.empty()) << name;
    EXPECT_EQ(a, ReadAll(std::string("sfx_b/") + name + ".ogg")) << name;
  }
}

TEST(SoundEffects, EveryEffectHasTheEffectLevelAndHeadroom) {
  for (const char* name : kEffects) {
    std::vector<int16_t> pcm = Decode(GameDir() + "/common/se/" + name + ".ogg");
    ASSERT_FALSE(pcm.empty()) << name;
    EXPECT_LE(Peak(pcm), kEffectPeakLimit) << name;
    EXPECT_NEAR(RmsDbfs(pcm), kEffectRms, kLevelTolerance) << name;
  }
}

TEST(Tunes, EveryTunePlaysAtTheMusicLevel) {
  for (const std::string& name : TuneNames()) {
    std::vector<int16_t> pcm = RenderTune(GameDir() + "/bgm/" + name + ".pttune");
    ASSERT_GT(pcm.size(), 44100u * 30) << name;
    EXPECT_NEAR(RmsDbfs(pcm), kTuneRms, kLevelTolerance) << name;
    EXPECT_LE(Peak(pcm), kEffectPeakLimit) << name;
  }
}

// The ball breaks a block as the player's slash fells an enemy: three effects start on
// the same frame through the game's own mixer, over any frame of any tune.
TEST(Mix, TheLoudestOrdinaryMomentStaysUnderFullScale) {
  NullAudioConfig config;
  AudioNull_Install(&config);
  ASSERT_EQ(InitSoundOutput(), 0);
  AudioDevice* device = AudioNull_Current();
  ASSERT_NE(device, nullptr);
  std::vector<int> handles;
  for (const char* name : {"hit_break", "attack", "defeat"}) {
    handles.push_back(LoadSoundMem((GameDir() + "/common/se/" + name + ".ogg").c_str(), 3, -1));
    ASSERT_GE(handles.back(), 0) << name;
  }
  AudioNull_ClearCapture(device);
  for (int h : handles) PlaySoundMem(h, 1, 1);
  AudioNull_Advance(device, 44100);
  std::vector<int16_t> stereo = AudioNull_Capture(device);
  TermSoundOutput();
  AudioNull_Install(nullptr);
  std::vector<int16_t> effects;
  for (size_t i = 0; i < stereo.size(); i += 2) effects.push_back(stereo[i]);
  ASSERT_GT(Peak(effects), 0);
  ASSERT_LT(Peak(effects), 32767);  // not saturated already

  while (!effects.empty() && effects.back() == 0) effects.pop_back();
  const int effectsPeak = Peak(effects);
  const size_t frame = 735;  // samples of one game frame
  int loudest = 0;
  std::string where;
  for (const std::string& name : TuneNames()) {
    std::vector<int16_t> tune = RenderTune(GameDir() + "/bgm/" + name + ".pttune");
    std::vector<int> framePeak;  // per frame of the tune, to pass over the quiet stretches
    for (size_t at = 0; at < tune.size(); at += frame)
      framePeak.push_back(Peak(std::vector<int16_t>(tune.begin() + at, tune.begin() + std::min(at + frame, tune.size()))));
    for (size_t start = 0; start + effects.size() <= tune.size(); start += frame) {
      size_t first = start / frame, last = (start + effects.size() - 1) / frame;
      if (effectsPeak + *std::max_element(&framePeak[first], &framePeak[last] + 1) <= loudest) continue;
      for (size_t i = 0; i < effects.size(); ++i) {
        int v = std::abs(effects[i] + tune[start + i]);
        if (v > loudest) {
          loudest = v;
          where = name + " frame " + std::to_string(start / frame);
        }
      }
    }
  }
  std::printf("loudest moment: %.2f dBFS (%s)\n", Dbfs(loudest), where.c_str());
  EXPECT_LT(loudest, 32767) << where;
}

TEST(Tunes, EveryTuneTheGameNamesParsesAndLastsHalfAMinute) {
  std::set<std::string> names = {"boss2.pttune", "boss3.pttune", "out.pttune", "ending.pttune"};
  // The music field of every stage file: the third-last line.
  for (int w = 1; w <= 5; ++w) {
    std::vector<std::string> files = {"boss" + std::to_string(w) + ".txt"};
    for (int s = 1; s <= 4; ++s) files.push_back(std::to_string(w) + "-" + std::to_string(s) + ".txt");
    for (const std::string& f : files) {
      std::ifstream in(GameDir() + "/stages/" + f);
      std::vector<std::string> lines;
      for (std::string l; std::getline(in, l);) lines.push_back(l);
      ASSERT_GE(lines.size(), 3u) << f;
      names.insert(lines[lines.size() - 2]);
    }
  }
  for (const std::string& name : names) {
    pttune::Tune t;
    std::string err;
    ASSERT_TRUE(pttune::LoadFile((GameDir() + "/bgm/" + name).c_str(), &t, &err)) << name << ": " << err;
    EXPECT_GE(t.lengthSteps * t.SecondsPerStep(), 30.0) << name;
    for (const auto& v : t.voices)  // voices that end early leave a gap before the loop
      EXPECT_EQ(v.lengthSteps, t.lengthSteps) << name << " voice " << v.name;
  }
}

TEST(KeyNames, TwoHundredFiftySixDrawableNames) {
  std::string text = ReadAll(GameDir() + "/common/key.txt");
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') {
      lines.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  ASSERT_EQ(lines.size(), 256u);
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_LE(lines[i].size(), 11u) << i;
    for (char c : lines[i]) EXPECT_TRUE(c >= 0x21 && c < 0x61) << "code " << i << ": " << lines[i];
  }
  // The default assignments must have names.
  for (int code : {1, 30, 44, 45, 46, 57, 200, 203, 205, 208}) EXPECT_FALSE(lines[code].empty()) << code;
  EXPECT_EQ(lines[44], "Z");
  EXPECT_EQ(lines[203], "LEFT");
}

}  // namespace
