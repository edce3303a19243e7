// "setting.dat" and the button mask.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "engine/system/system.h"
#include "game/play_state.h"
#include "game/settings.h"
#include "game_test_util.h"
#include "platform/window/test_driver.h"

namespace {

using gametest::ReadWholeFile;
using gametest::ScratchDir;
using gametest::WriteWholeFile;

std::string Le32(int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>((u >> (8 * i)) & 0xFF);
  return s;
}

// The file image written field by field from the table of the format, independently.
std::string FileImage(uint8_t bgm, uint8_t se, const int32_t ints[20]) {
  std::string s;
  s += static_cast<char>(bgm);
  s += static_cast<char>(se);
  for (int i = 0; i < 20; ++i) s += Le32(ints[i]);
  return s;
}

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings = SettingRecord{};
    ResetPlayState();
  }
  ScratchDir dir;
};

TEST_F(SettingsTest, MissingFileKeepsDefaultsAndWritesEightyTwoBytes) {
  ReadSetting();
  EXPECT_EQ(Settings.bgmQuality, 3);
  EXPECT_EQ(Settings.soundEffect, 1);
  EXPECT_EQ(Settings.screenSize, 1);
  EXPECT_EQ(Settings.frameSkip, 60);
  EXPECT_EQ(Settings.difficulty, 1);
  ASSERT_TRUE(WriteSetting());
  // Defaults in file order: SCREEN SIZE, FRAME SKIP, pads, keys, stage, hi-score,
  // pad and key SHIELD, DIFFICULTY, EASY hi-score.
  const int32_t ints[20] = {1, 60, 16, 32, 512, 64, 203, 205, 200, 208, 44, 45, 46, 57, 0, 0, 256, 30, 1, 0};
  EXPECT_EQ(ReadWholeFile("setting.dat"), FileImage(3, 1, ints));
  EXPECT_FALSE(std::filesystem::exists("setting.dat.tmp"));
}

TEST_F(SettingsTest, RoundTripKeepsEveryField) {
  const int32_t ints[20] = {3, 30, 32, 16, 256, 128, 30, 31, 17, 45, 57, 44, 46, 28, 17, 123456, 512, 200, 0, 98765};
  WriteWholeFile("setting.dat", FileImage(2, 0, ints));
  ReadSetting();
  EXPECT_EQ(Settings.bgmQuality, 2);
  EXPECT_EQ(Settings.soundEffect, 0);
  EXPECT_EQ(Settings.screenSize, 3);
  EXPECT_EQ(Settings.frameSkip, 30);
  EXPECT_EQ(Settings.padStart, 128);
  EXPECT_EQ(Settings.keyStart, 28);
  EXPECT_EQ(ContinueStage, 17);
  EXPECT_EQ(Settings.normalHiScore, 123456);
  EXPECT_EQ(Settings.keyShield, 200);
  EXPECT_EQ(Settings.difficulty, 0);
  EXPECT_EQ(Settings.easyHiScore, 98765);
  std::filesystem::remove("setting.dat");
  ASSERT_TRUE(WriteSetting());
  EXPECT_EQ(ReadWholeFile("setting.dat"), FileImage(2, 0, ints));
}

TEST_F(SettingsTest, ShortFilesSetOnlyTheirWholeFields) {
  // 10 bytes: the two bytes, SCREEN SIZE and FRAME SKIP.
  const int32_t ints[20] = {0, 30, 32, 32, 32, 32, 1, 1, 1, 1, 1, 1, 1, 1, 5, 5, 32, 1, 0, 5};
  WriteWholeFile("setting.dat", FileImage(1, 0, ints).substr(0, 10));
  Settings.padAttack = 32;  // a field past the end keeps what it had
  ReadSetting();
  EXPECT_EQ(Settings.bgmQuality, 1);
  EXPECT_EQ(Settings.soundEffect, 0);
  EXPECT_EQ(Settings.screenSize, 0);
  EXPECT_EQ(Settings.frameSkip, 30);
  EXPECT_EQ(Settings.padAttack, 32);
  EXPECT_EQ(Settings.keyLeft, 203);
  // A field cut in the middle is not read.
  Settings = SettingRecord{};
  WriteWholeFile("setting.dat", FileImage(1, 0, ints).substr(0, 8));
  ReadSetting();
  EXPECT_EQ(Settings.frameSkip, 60);
  EXPECT_EQ(Settings.screenSize, 0);
}

TEST_F(SettingsTest, OutOfRangeFieldsTakeTheirDefaults) {
  // BGM 9, SE 2, SCREEN SIZE 4, FRAME SKIP 7 (no divisor of 60), pad ATTACK 3 (a
  // direction), pad JUMP 48 (two bits), key LEFT 256, key RIGHT -1, stage 25,
  // hi-score -5, DIFFICULTY 2.
  const int32_t ints[20] = {4, 7, 3, 48, 1024, 64, 256, -1, 200, 208, 44, 45, 46, 57, 25, -5, 256, 30, 2, 0};
  WriteWholeFile("setting.dat", FileImage(9, 2, ints));
  ReadSetting();
  EXPECT_EQ(Settings.bgmQuality, 3);
  EXPECT_EQ(Settings.soundEffect, 1);
  EXPECT_EQ(Settings.screenSize, 1);
  EXPECT_EQ(Settings.frameSkip, 60);
  EXPECT_EQ(Settings.padAttack, 16);
  EXPECT_EQ(Settings.padJump, 32);
  EXPECT_EQ(Settings.padDash, 1024);  // any single button bit is a button
  EXPECT_EQ(Settings.keyLeft, 203);
  EXPECT_EQ(Settings.keyRight, 205);
  EXPECT_EQ(ContinueStage, 0);
  EXPECT_EQ(Settings.normalHiScore, 0);
  EXPECT_EQ(Settings.difficulty, 1);
  // FRAME SKIP accepts every divisor of 60.
  const int32_t skip20[20] = {1, 20, 16, 32, 512, 64, 203, 205, 200, 208, 44, 45, 46, 57, 0, 0, 256, 30, 1, 0};
  WriteWholeFile("setting.dat", FileImage(3, 1, skip20));
  ReadSetting();
  EXPECT_EQ(Settings.frameSkip, 20);
}

TEST_F(SettingsTest, FailedWriteKeepsTheOldFile) {
  const int32_t ints[20] = {0, 30, 16, 32, 512, 64, 203, 205, 200, 208, 44, 45, 46, 57, 3, 777, 256, 30, 1, 0};
  std::string old = FileImage(1, 1, ints);
  WriteWholeFile("setting.dat", old);
  // The temporary file cannot be made: a folder stands in its place.
  std::filesystem::create_directory("setting.dat.tmp");
  Settings.normalHiScore = 999;
  EXPECT_FALSE(WriteSetting());
  EXPECT_EQ(ReadWholeFile("setting.dat"), old);
}

TEST_F(SettingsTest, HalfMadeAssignmentsAreNotSavedAndTheOldOnesStay) {
  // A sound assignment is saved and becomes the one to fall back on.
  Settings.padAttack = 128, Settings.keyJump = 31;
  ASSERT_TRUE(WriteSetting());
  const std::string saved = ReadWholeFile("setting.dat");
  // A pad capture left after its first step with the SHIELD button: two actions on one button.
  Settings.padAttack = Settings.padShield;
  // A key capture left half done: two actions on one key, and one action on none.
  Settings.keyLeft = Settings.keyRight;
  Settings.keyUp = 0;
  Settings.frameSkip = 30;  // other values are saved as they are
  ASSERT_TRUE(WriteSetting());
  std::string expected = saved;
  expected.replace(6, 4, Le32(30));
  EXPECT_EQ(ReadWholeFile("setting.dat"), expected);
  EXPECT_EQ(Settings.padAttack, 128);
  EXPECT_EQ(Settings.keyLeft, 203);
  EXPECT_EQ(Settings.keyUp, 200);
  // Nor is a set that puts an action on a key of fixed meaning.
  Settings.keyLeft = KeyCode::F2;
  ASSERT_TRUE(WriteSetting());
  EXPECT_EQ(ReadWholeFile("setting.dat"), expected);

  // A file holding a button for two actions is read as it is, but not written back so.
  std::string twice = expected;
  twice.replace(14, 4, Le32(128));  // JUMP on ATTACK's button
  WriteWholeFile("setting.dat", twice);
  ReadSetting();
  EXPECT_EQ(Settings.padJump, 128);
  ASSERT_TRUE(WriteSetting());
  EXPECT_EQ(ReadWholeFile("setting.dat"), expected);
}

TEST(PollInputTest, FoldsPadAndKeysAndObeysInputEnabled) {
  ScratchDir dir;
  ASSERT_EQ(LibInit(), 0);
  TestDriver_Reset();
  Settings = SettingRecord{};
  InputEnabled = 1;
  Buttons = PrevButtons = 0;

  TestDriver_SetPad(1, PadBit::Left | PadBit::Button3);
  TestDriver_KeyDown(KeyCode::Down);
  TestDriver_KeyDown(KeyCode::X);  // JUMP: the pad JUMP value
  TestDriver_KeyDown(KeyCode::A);  // SHIELD
  PollInput();
  EXPECT_EQ(Buttons, PadBit::Left | PadBit::Button3 | kButtonDown | 32 | 256);
  EXPECT_TRUE(ButtonPressed(32));

  // Held: no longer newly pressed.
  PollInput();
  EXPECT_TRUE(ButtonHeld(32));
  EXPECT_FALSE(ButtonPressed(32));

  // Reassigned pad values follow the keys; two actions may share one value.
  Settings.padJump = 64;
  Settings.padStart = 64;
  TestDriver_SetPad(1, 0);
  TestDriver_KeyUp(KeyCode::A);
  TestDriver_KeyUp(KeyCode::Down);
  PollInput();
  EXPECT_EQ(Buttons, 64);

  // Input off: nothing, and everything held is new again when it returns.
  InputEnabled = 0;
  PollInput();
  EXPECT_EQ(Buttons, 0);
  InputEnabled = 1;
  PollInput();
  EXPECT_TRUE(ButtonPressed(64));

  // A key code outside the table is ignored.
  Settings.keyUp = 999;
  PollInput();
  EXPECT_EQ(Buttons & kButtonUp, 0);

  TestDriver_Reset();
  LibEnd();
}

}  // namespace
