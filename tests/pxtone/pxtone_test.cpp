#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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
    pxtone_UseNullOutput(true);
    ASSERT_EQ(pxtone_Ready(nullptr, 1, 22050, 16, 0.1f, 1, nullptr), 1);
    std::ofstream("tune.pttune") << "tempo 120\nvoice a saw 1 0 0 1 0\na: C4:4\n";  // 0.5 s
  }
  void TearDown() override { pxtone_Release(); }
  std::vector<int16_t> Mix(int frames) {
    std::vector<int16_t> s(static_cast<size_t>(frames) * 2);
    pxtone_Mix(s.data(), frames);
    return s;
  }
};

TEST_F(PxtoneLibrary, StartsLoopsOrEndsAndStops) {
  pxtone_Tune_SetVolume(1.0f);
  pxtone_Tune_SetLoop(0);
  ASSERT_EQ(pxtone_Tune_Load(nullptr, nullptr, "tune.pttune"), 1);
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
  pxtone_Tune_Load(nullptr, nullptr, "tune.pttune");
  pxtone_Tune_Start(0, 0);
  pxtone_Tune_Fadeout(100);  // 2205 frames
  auto s = Mix(4000);
  EXPECT_GT(Peak(s, 0, 200), Peak(s, 2 * 1800, 2 * 2200));
  EXPECT_EQ(Peak(s, 2 * 2206, s.size()), 0.0);
  EXPECT_EQ(Peak(Mix(30000), 0, 60000), 0.0);
}

TEST_F(PxtoneLibrary, ResetFollowsTheNewRateAndKeepsPlaying) {
  pxtone_Tune_SetLoop(1);
  pxtone_Tune_Load(nullptr, nullptr, "tune.pttune");
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
  std::ofstream("broken.pttune") << "voice a square\n";
  EXPECT_EQ(pxtone_Tune_Load(nullptr, nullptr, "broken.pttune"), 0);
  EXPECT_EQ(Peak(Mix(1000), 0, 2000), 0.0);
  pxtone_Tune_Stop();
  pxtone_Tune_Fadeout(3000);
  pxtone_Tune_Release();
}

}  // namespace
