// The shipped sound effects, tunes and key names.
#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "pxtone/pttune.h"

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
