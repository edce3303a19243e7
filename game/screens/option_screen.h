// The option screen: settings, screen size, music quality, and the pad and key
// assignments captured action by action. The title screen owns it; it is in no layer.
#pragma once

#include <cstdint>

#include "game/settings.h"
#include "game/task.h"

constexpr int kKeyCodeCount = 256;
constexpr int kKeyNameSize = 12;  // 11 characters and the terminator

using KeyNameTable = char[kKeyCodeCount][kKeyNameSize];

// Reads one name per key code, line by line, from a file of the engine's file layer: at most
// 256 lines, each cut to 11 characters, CR dropped. Names not in the file are empty;
// false when the file cannot be opened.
bool LoadKeyNames(const char* path, KeyNameTable& names);

// 0 when no key of the 256-byte state table is down, the key code when exactly one is,
// -1 when several are.
int FindPressedKey(const char* keyTable);

// The pad number shown for a button bit: 1 for 16, 2 for 32, 6 for 512; 0 for no button.
int PadButtonNumber(int32_t value);

class OptionScreenTask : public Character {
 public:
  enum Screen : int32_t { kMenu = 0, kClosing = 1, kPadCapture = 2, kKeyCapture = 3 };
  enum Line : int32_t {
    kLinePad = 0,
    kLineKeys,
    kLineDifficulty,
    kLineBgmQuality,
    kLineSoundEffect,
    kLineScreenSize,
    kLineFrameSkip,
    kLineExit,
    kLineCount,
  };
  static constexpr int kPadSteps = 5;  // ATTACK, JUMP, DASH, SHIELD, START/PAUSE
  static constexpr int kKeySteps = 9;  // LEFT, RIGHT, UP, DOWN, then the five actions

  OptionScreenTask();
  void Update() override;
  void Draw() override;

  // The display name of a key code ("" outside 0..255).
  const char* KeyName(int code) const;

  int32_t screen = kMenu;
  int32_t cursor = 0;
  int32_t closeFade = 0;
  int32_t step = 0;
  uint8_t released = 0;
  char keyTable[kKeyCodeCount] = {};
  KeyNameTable keyNames = {};
  int32_t keyNow = 0;
  int32_t keyBefore = 0;
  int32_t playerImage = 0;
  // The assignments of the capture under way: they replace the live ones only when every
  // action has one, so a capture left half done (F2, Esc) changes nothing.
  SettingRecord captured;

 private:
  void UpdateMenu();
  void ChangeValue(int direction);
  void Choose();
  void UpdatePadCapture();
  void UpdateKeyCapture();
  void DrawMenu();
  void DrawPadCapture();
  void DrawKeyCapture();
  void DrawCaptureLine(const char* label, int index, int y);
  void DrawPosePreview(int pose);
};
