// Helpers for the tests of the title, stage select, option screen and end roll: a game
// folder made on the spot, the harness, and expected trace lines from the font rules.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/system/system.h"
#include "game/gfx.h"
#include "game/harness.h"
#include "game/main_loop.h"
#include "game/resources.h"
#include "tests/game/game_test_util.h"

namespace scenetest {

using Lines = std::vector<std::string>;

// One 8 x 8 cell of the font sheet: characters "!" to "`", eight to a row.
inline std::string Glyph(int x, int y, char c) {
  int cell = c - 0x21;
  return "DrawRectPartGraph " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(cell % 8 * 8) +
         " " + std::to_string(cell / 8 * 8) + " 8 8 img=" + std::to_string(FontImage) + " t=1 turn=0";
}

// The draws of a text: blanks and lower case advance without a draw.
inline Lines Text(const std::string& text, int x, int y) {
  Lines out;
  for (char c : text) {
    if (c >= 0x21 && c < 0x61) out.push_back(Glyph(x, y, c));
    x += 8;
  }
  return out;
}

// True when `part` appears in `all` as consecutive lines.
inline bool HasRun(const Lines& all, const Lines& part) {
  return !part.empty() && std::search(all.begin(), all.end(), part.begin(), part.end()) != all.end();
}

inline int Count(const Lines& all, const std::string& line) {
  return static_cast<int>(std::count(all.begin(), all.end(), line));
}

inline std::string Sound(int n) { return "PlaySoundMem " + std::to_string(SoundEffectTable[n]); }

// A short RIFF WAVE (8-bit mono), so each sound effect gets a handle of its own.
inline void WriteWav(const std::string& path) {
  std::string samples(64, '\x80');
  auto le = [](uint32_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
  };
  std::string data = "RIFF" + le(36 + static_cast<uint32_t>(samples.size()), 4) + "WAVEfmt " + le(16, 4) +
                     le(1, 2) + le(1, 2) + le(8000, 4) + le(8000, 4) + le(1, 2) + le(8, 2) + "data" +
                     le(static_cast<uint32_t>(samples.size()), 4) + samples;
  gametest::WriteWholeFile(path, data);
}

// A scene test: a game folder whose "start.txt" names "title.bmp" and `first`, the
// stages given, the cursor, decision and change sounds, a select sheet and key names.
class SceneTest : public ::testing::Test {
 protected:
  void MakeFolder(const std::string& first, const std::vector<std::string>& stageFiles, int titleHeight) {
    std::vector<std::pair<std::string, std::string>> stages;
    for (const std::string& name : stageFiles) {
      stages.emplace_back(name, gametest::StageText(3, "T", std::vector<int>(81, 0), "bg.bmp", "s.pttune", "end.txt"));
    }
    gametest::MakeGameFolder(first, stages);
    if (titleHeight > 0) gametest::WriteBmp("stages/title.bmp", 320, titleHeight, 40, 60, 80);
    for (const char* name : {"attack", "decision", "hit_paddle"}) WriteWav(std::string("common/se/") + name + ".ogg");
    gametest::WriteBmp("common/select.png", 300, 300, 90, 90, 90);
    std::string keys;
    for (int code = 0; code < 256; ++code) keys += "K" + std::to_string(code) + "\r\n";
    gametest::WriteWholeFile("common/key.txt", keys);
  }
  void SetUp() override { SetGameTrace(&trace); }
  void TearDown() override {
    game.Finish();
    SetGameTrace(nullptr);
  }
  // A key held for one frame, then one frame with it released, so the next press is new.
  void Press(int key) {
    game.TapKey(key);
    game.Step();
    game.Step();
  }
  // The lines of the next frame.
  Lines Frame() {
    trace.clear();
    game.Step();
    return trace;
  }

  gametest::ScratchDir dir;
  GameHarness game;
  Lines trace;
};

}  // namespace scenetest
