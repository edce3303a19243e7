// A playfield without the main loop: the pool stepped frame by frame (removal, the
// collision pass, updates), input set directly as the button mask, and every sound and
// draw call recorded. Image and sound handles are fixed numbers, so a trace line names
// the sheet or the sound effect it used.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/system/system.h"
#include "game/gfx.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"
#include "game/task.h"

namespace playfield {

constexpr double kPi = 3.14159265358979323846;

// Sound effect n is played through handle kSoundBase + n.
constexpr int kSoundBase = 1000;
constexpr int kPlayerSheet = 501, kBlocksSheet = 502, kItemsSheet = 503, kMiscSheet = 505;
constexpr int kEnemySheetBase = 510;  // enemy sheet n is kEnemySheetBase + n

// Button bits with the default pad assignment.
constexpr int kAttack = 16, kJump = 32, kShield = 256, kDash = 512, kStart = 64;
constexpr int kLeft = 2, kRight = 4;

class Playfield : public ::testing::Test {
 protected:
  void SetUp() override {
    TaskPool_DeleteAll();
    ResetPlayState();
    Settings = SettingRecord{};
    Buttons = PrevButtons = 0;
    PlayerImage = kPlayerSheet;
    BlocksImage = kBlocksSheet;
    ItemsImage = kItemsSheet;
    MiscImage = kMiscSheet;
    for (int i = 0; i < kEnemyImageCount; ++i) EnemyImages[i] = kEnemySheetBase + i;
    for (int i = 0; i < kSoundEffectCount; ++i) SoundEffectTable[i] = kSoundBase + i;
    SetRandSeed(7);
    SetGameTrace(&trace);
  }
  void TearDown() override {
    SetGameTrace(nullptr);
    TaskPool_DeleteAll();
    ForgetResourceHandles();
  }

  // One game frame with these buttons held.
  void Frame(int buttons = 0) {
    PrevButtons = Buttons;
    Buttons = buttons;
    TaskPool_RemoveDead();
    TaskPool_CheckCollisions();
    TaskPool_UpdateAll();
  }
  void Frames(int n, int buttons = 0) {
    for (int i = 0; i < n; ++i) Frame(buttons);
  }
  void Draw() { TaskPool_DrawAll(); }

  // Times sound effect n was played since the trace was last cleared.
  int Played(int n) const { return Count("PlaySoundMem " + std::to_string(kSoundBase + n)); }
  int Count(const std::string& line) const { return static_cast<int>(std::count(trace.begin(), trace.end(), line)); }
  int CountPrefix(const std::string& prefix) const {
    return static_cast<int>(
        std::count_if(trace.begin(), trace.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; }));
  }

  // The live tasks of a class in a layer, in slot order.
  template <class T>
  static std::vector<T*> All(int layer) {
    std::vector<T*> found;
    for (int i = 0; i < TaskPool_Count(layer); ++i) {
      if (T* t = dynamic_cast<T*>(TaskPool_Get(layer, i))) found.push_back(t);
    }
    return found;
  }
  template <class T>
  static T* First(int layer) {
    auto all = All<T>(layer);
    return all.empty() ? nullptr : all.front();
  }

  std::vector<std::string> trace;
};

}  // namespace playfield
