#include <gtest/gtest.h>

#include <set>

#include "platform/input/input.h"

// SDL scancodes are USB HID keyboard usage numbers; the engine codes are PC set-1 scan codes.
TEST(KeyMap, UsbUsagesBecomeSetOneScanCodes) {
  struct Pair { int usage, code; const char* name; };
  const Pair pairs[] = {
      {41, 1, "Esc"}, {30, 2, "1"}, {38, 10, "9"}, {39, 11, "0"}, {45, 12, "-"}, {46, 13, "="},
      {42, 14, "Back"}, {43, 15, "Tab"}, {20, 16, "Q"}, {19, 25, "P"}, {47, 26, "["}, {48, 27, "]"},
      {40, 28, "Enter"}, {224, 29, "LCtrl"}, {4, 30, "A"}, {15, 38, "L"}, {51, 39, ";"},
      {52, 40, "'"}, {53, 41, "`"}, {225, 42, "LShift"}, {49, 43, "\\"}, {29, 44, "Z"},
      {27, 45, "X"}, {6, 46, "C"}, {16, 50, "M"}, {54, 51, ","}, {55, 52, "."}, {56, 53, "/"},
      {229, 54, "RShift"}, {85, 55, "NUM*"}, {226, 56, "LAlt"}, {44, 57, "Space"},
      {57, 58, "Caps"}, {58, 59, "F1"}, {59, 60, "F2"}, {67, 68, "F10"}, {83, 69, "NumLock"},
      {71, 70, "Scroll"}, {95, 71, "KP7"}, {96, 72, "KP8"}, {97, 73, "KP9"}, {86, 74, "KP-"},
      {92, 75, "KP4"}, {93, 76, "KP5"}, {94, 77, "KP6"}, {87, 78, "KP+"}, {89, 79, "KP1"},
      {90, 80, "KP2"}, {91, 81, "KP3"}, {98, 82, "KP0"}, {99, 83, "KP."}, {68, 87, "F11"},
      {69, 88, "F12"}, {88, 156, "NumEnter"}, {228, 157, "RCtrl"}, {84, 181, "NUM/"},
      {70, 183, "SysRq"}, {230, 184, "RAlt"}, {72, 197, "Pause"}, {74, 199, "Home"},
      {82, 200, "Up"}, {75, 201, "PgUp"}, {80, 203, "Left"}, {79, 205, "Right"}, {77, 207, "End"},
      {81, 208, "Down"}, {78, 209, "PgDn"}, {73, 210, "Insert"}, {76, 211, "Delete"},
  };
  std::set<int> codes;
  for (const Pair& p : pairs) {
    EXPECT_EQ(PlatformInput_KeyCodeFromScancode(p.usage), p.code) << p.name;
    codes.insert(p.code);
  }
  // Every letter has its own code in 16..50.
  std::set<int> letters;
  for (int usage = 4; usage <= 29; ++usage) {
    int code = PlatformInput_KeyCodeFromScancode(usage);
    EXPECT_TRUE(code >= 16 && code <= 50) << usage;
    letters.insert(code);
  }
  EXPECT_EQ(letters.size(), 26u);
  EXPECT_EQ(PlatformInput_KeyCodeFromScancode(0), 0);
  EXPECT_EQ(PlatformInput_KeyCodeFromScancode(-1), 0);
  EXPECT_EQ(PlatformInput_KeyCodeFromScancode(100000), 0);
}
