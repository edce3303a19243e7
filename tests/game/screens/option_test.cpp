// The option screen, opened from the title and driven by keys and pad through the harness.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "game/screens/option_screen.h"
#include "game/play_state.h"
#include "game/settings.h"
#include "game/screens/title_screen.h"
#include "title_scene_util.h"

namespace {

using scenetest::Count;
using scenetest::HasRun;
using scenetest::Lines;
using scenetest::Sound;
using scenetest::Text;

class OptionTest : public scenetest::SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    MakeFolder("first.txt", {"first.txt"}, 240);
  }
  // Starts the game and opens the option screen from the title.
  void Open() {
    ASSERT_TRUE(game.Start(31));
    title = dynamic_cast<TitleScreenTask*>(GameTitleTask());
    ASSERT_NE(title, nullptr);
    Press(KeyCode::Left);
    game.TapKey(KeyCode::Space);
    ASSERT_TRUE(game.StepUntil([this] { return title->optionScreen() != nullptr; }, 60));
    option = title->optionScreen();
    game.Step();
  }
  void GoToLine(int line) {
    for (int i = 0; i < 8 && option->cursor != line; ++i) Press(KeyCode::Down);
    ASSERT_EQ(option->cursor, line);
  }
  // The values a line shows after each press.
  template <class Value>
  std::vector<int> Cycle(int key, int n, Value value) {
    std::vector<int> out;
    for (int i = 0; i < n; ++i) {
      Press(key);
      out.push_back(value());
    }
    return out;
  }
  void PadPress(int bits) {
    game.TapPad(bits);
    game.Step();
    game.Step();
  }
  void KeyPress(int key) { Press(key); }

  TitleScreenTask* title = nullptr;
  OptionScreenTask* option = nullptr;
};

TEST(OptionHelpers, PressedKeysAndPadNumbers) {
  char keys[kKeyCodeCount] = {};
  EXPECT_EQ(FindPressedKey(keys), 0);
  keys[44] = 1;
  EXPECT_EQ(FindPressedKey(keys), 44);
  keys[255] = 1;
  EXPECT_EQ(FindPressedKey(keys), -1);
  keys[44] = 0;
  EXPECT_EQ(FindPressedKey(keys), 255);
  keys[255] = 2;  // only state 1 counts as down
  EXPECT_EQ(FindPressedKey(keys), 0);

  EXPECT_EQ(PadButtonNumber(16), 1);
  EXPECT_EQ(PadButtonNumber(32), 2);
  EXPECT_EQ(PadButtonNumber(256), 5);
  EXPECT_EQ(PadButtonNumber(512), 6);
  EXPECT_EQ(PadButtonNumber(1 << 30), 27);
  EXPECT_EQ(PadButtonNumber(8), 0);
  EXPECT_EQ(PadButtonNumber(-16), 0);
}

TEST_F(OptionTest, KeyNamesAreReadBounded) {
  ASSERT_TRUE(game.Start(1));
  KeyNameTable names;
  // 300 lines: only the first 256 are names; long ones are cut to 11 characters; CR goes.
  std::string text = "ESC\r\n\nABCDEFGHIJKLMNOPQRSTUVWXYZ\r\nX\rY\n";
  for (int i = 4; i < 300; ++i) text += "N" + std::to_string(i) + "\n";
  gametest::WriteWholeFile("keys.txt", text);
  ASSERT_TRUE(LoadKeyNames("keys.txt", names));
  EXPECT_STREQ(names[0], "ESC");
  EXPECT_STREQ(names[1], "");
  EXPECT_STREQ(names[2], "ABCDEFGHIJK");
  EXPECT_STREQ(names[3], "XY");
  EXPECT_STREQ(names[255], "N255");
  // A last line without its line end; names past the file stay empty.
  gametest::WriteWholeFile("keys.txt", "A\nB");
  ASSERT_TRUE(LoadKeyNames("keys.txt", names));
  EXPECT_STREQ(names[1], "B");
  EXPECT_STREQ(names[2], "");
  EXPECT_STREQ(names[255], "");
  // No file: every name empty.
  EXPECT_FALSE(LoadKeyNames("missing.txt", names));
  for (const auto& name : names) EXPECT_STREQ(name, "");
}

TEST_F(OptionTest, MenuWrapsAndEachLineCyclesItsValues) {
  Open();
  Lines frame = Frame();
  const char* lines[] = {"GAMEPAD SETTING",        "KEYBOARD SETTING",       "DIFFICULTY............",
                         "BGM QUALITY...........", "SOUND EFFECT..........", "SCREEN SIZE...",
                         "FRAME SKIP............", "EXIT"};
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(HasRun(frame, Text(lines[i], 48, 40 + 16 * i))) << lines[i];
  EXPECT_TRUE(HasRun(frame, Text("NORMAL", 224, 72)));
  EXPECT_TRUE(HasRun(frame, Text("..HIGH", 224, 88)));
  EXPECT_TRUE(HasRun(frame, Text("....ON", 224, 104)));
  EXPECT_TRUE(HasRun(frame, Text(".......640*480", 160, 120)));
  EXPECT_TRUE(HasRun(frame, Text("...OFF", 224, 136)));
  // The cursor sprite, three pictures four frames each.
  std::string cursor = "DrawRectPartGraph 28 35 " + std::to_string(option->srcX) + " 64 16 16 img=" +
                       std::to_string(MiscImage) + " t=1 turn=0";
  EXPECT_EQ(Count(frame, cursor), 1);
  EXPECT_EQ(option->srcX, (option->counter - 1) / 4 % 3 * 16);

  std::vector<int> cursors;
  for (int key : {KeyCode::Up, KeyCode::Up, KeyCode::Down, KeyCode::Down, KeyCode::Down}) {
    Press(key);
    cursors.push_back(option->cursor);
  }
  EXPECT_EQ(cursors, (std::vector<int>{7, 6, 7, 0, 1}));
  EXPECT_EQ(Count(trace, Sound(kSeAttack)), 5);

  // Lines without a value ignore LEFT and RIGHT.
  uint8_t before[kSettingFileSize], after[kSettingFileSize];
  EncodeSetting(Settings, ContinueStage, before);
  for (int line : {0, 1, 7}) {
    GoToLine(line);
    trace.clear();
    Press(KeyCode::Right);
    Press(KeyCode::Left);
    EXPECT_EQ(Count(trace, Sound(kSeHitPaddle)), 0);
  }
  EncodeSetting(Settings, ContinueStage, after);
  EXPECT_EQ(std::vector<uint8_t>(before, before + kSettingFileSize), std::vector<uint8_t>(after, after + kSettingFileSize));

  GoToLine(OptionScreenTask::kLineDifficulty);
  auto difficulty = [] { return static_cast<int>(Settings.difficulty); };
  EXPECT_EQ(Cycle(KeyCode::Right, 2, difficulty), (std::vector<int>{0, 1}));
  EXPECT_EQ(Cycle(KeyCode::Left, 1, difficulty), (std::vector<int>{0}));
  EXPECT_TRUE(HasRun(Frame(), Text("..EASY", 224, 72)));

  GoToLine(OptionScreenTask::kLineBgmQuality);
  auto quality = [] { return static_cast<int>(Settings.bgmQuality); };
  EXPECT_EQ(Cycle(KeyCode::Right, 4, quality), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(Cycle(KeyCode::Left, 4, quality), (std::vector<int>{2, 1, 0, 3}));
  Press(KeyCode::Left);
  EXPECT_TRUE(HasRun(Frame(), Text("MIDDLE", 224, 88)));

  GoToLine(OptionScreenTask::kLineScreenSize);
  auto size = [] { return static_cast<int>(Settings.screenSize); };
  EXPECT_EQ(Cycle(KeyCode::Right, 4, size), (std::vector<int>{3, 2, 0, 1}));
  EXPECT_EQ(Cycle(KeyCode::Left, 4, size), (std::vector<int>{0, 2, 3, 1}));
  Press(KeyCode::Right);
  EXPECT_TRUE(HasRun(Frame(), Text("640*480(FIXED)", 160, 120)));
  Press(KeyCode::Right);
  EXPECT_TRUE(HasRun(Frame(), Text("...FULL SCREEN", 160, 120)));
  EXPECT_EQ(ScreenSizeApplied, 1);  // only chosen sizes are applied

  GoToLine(OptionScreenTask::kLineFrameSkip);
  auto skip = [] { return static_cast<int>(Settings.frameSkip); };
  EXPECT_EQ(Cycle(KeyCode::Right, 2, skip), (std::vector<int>{30, 60}));
  EXPECT_EQ(Cycle(KeyCode::Left, 1, skip), (std::vector<int>{30}));
  trace.clear();
  game.StepFrames(2);  // one of the two is drawn now
  EXPECT_TRUE(HasRun(trace, Text("....ON", 224, 136)));
  EXPECT_EQ(scenetest::Count(trace, "FlipScreen"), 1);
  Press(KeyCode::Right);

  // Switching sound effects off is silent; switching them on plays the change sound.
  GoToLine(OptionScreenTask::kLineSoundEffect);
  trace.clear();
  Press(KeyCode::Right);
  EXPECT_EQ(Settings.soundEffect, 0);
  EXPECT_EQ(Count(trace, Sound(kSeHitPaddle)), 0);
  EXPECT_TRUE(HasRun(Frame(), Text("...OFF", 224, 104)));
  trace.clear();
  Press(KeyCode::Left);
  EXPECT_EQ(Settings.soundEffect, 1);
  EXPECT_EQ(Count(trace, Sound(kSeHitPaddle)), 1);
}

TEST_F(OptionTest, ScreenSizeIsAppliedWhenChosenAndTheSheetsAreLoadedAgain) {
  gametest::WriteBmp("common/misc.png", 64, 96, 1, 2, 3);
  gametest::WriteBmp("common/player.png", 64, 96, 1, 2, 3);
  Open();
  GoToLine(OptionScreenTask::kLineScreenSize);
  Press(KeyCode::Right);  // 640*480(FIXED)
  int misc = MiscImage;
  ASSERT_GT(misc, 0);
  EXPECT_EQ(option->image, misc);
  trace.clear();
  game.TapKey(KeyCode::Space);
  game.Step();
  EXPECT_EQ(Count(trace, Sound(kSeDecision)), 1);
  EXPECT_EQ(ScreenSizeApplied, 3);
  ASSERT_GT(OffscreenImage, 0);
  EXPECT_EQ(Count(trace, "SetDrawTarget " + std::to_string(OffscreenImage)), 2);  // applied, then presented
  EXPECT_EQ(Count(trace, "DrawStretchGraph 0 0 640 480 img=" + std::to_string(OffscreenImage) + " t=0"), 1);
  // The sheets were loaded again and the option screen draws with the new ones.
  EXPECT_GT(MiscImage, 0);
  EXPECT_NE(MiscImage, misc);
  EXPECT_EQ(option->image, MiscImage);
  EXPECT_EQ(option->playerImage, PlayerImage);
  EXPECT_EQ(option->screen, OptionScreenTask::kMenu);
  // Back to a plain window.
  Press(KeyCode::Right);
  Press(KeyCode::Right);
  ASSERT_EQ(Settings.screenSize, 0);
  Press(KeyCode::Space);
  EXPECT_EQ(ScreenSizeApplied, 0);
}

TEST_F(OptionTest, PadCaptureTakesOneNewButtonPerActionAfterAllIsReleased) {
  Open();
  // Opened with ATTACK held: a different button in the frame it is let go does not count,
  // since nothing has been seen released yet.
  game.KeyDown(KeyCode::Z);
  game.Step();
  EXPECT_EQ(option->screen, OptionScreenTask::kPadCapture);
  EXPECT_EQ(option->step, 0);
  game.Step();
  game.KeyUp(KeyCode::Z);
  game.SetPad(PadBit::Button3);
  game.Step();
  EXPECT_EQ(option->step, 0);
  EXPECT_EQ(option->released, 0);
  game.SetPad(0);
  game.Step();
  EXPECT_EQ(option->released, 1);
  trace.clear();
  PadPress(PadBit::Button3);
  EXPECT_EQ(option->captured.padAttack, PadBit::Button3);
  EXPECT_EQ(Settings.padAttack, 16);  // the old buttons act until the capture is complete
  EXPECT_EQ(option->step, 1);
  EXPECT_EQ(Count(trace, Sound(kSeHitPaddle)), 1);
  // Directions, two buttons at once, and a button already taken do nothing.
  for (int bits : std::vector<int>{PadBit::Left, PadBit::Up, PadBit::Button2 | PadBit::Button4, PadBit::Button3}) PadPress(bits);
  EXPECT_EQ(option->step, 1);
  PadPress(PadBit::Button4);
  PadPress(PadBit::Button4);
  PadPress(PadBit::Button1);
  PadPress(PadBit::Button1);
  PadPress(PadBit::Button3);
  PadPress(PadBit::Button6);
  PadPress(PadBit::Button2);
  EXPECT_EQ(option->step, 5);
  const SettingRecord& s = Settings;
  EXPECT_EQ((std::vector<int>{s.padAttack, s.padJump, s.padDash, s.padShield, s.padStart}),
            (std::vector<int>{PadBit::Button3, PadBit::Button4, PadBit::Button1, PadBit::Button6, PadBit::Button2}));
  // The page: title, prompt, the list behind its shade, and each button's number.
  Lines frame = Frame();
  EXPECT_TRUE(HasRun(frame, Text("GAMEPAD SETTING", 100, 16)));
  EXPECT_TRUE(HasRun(frame, Text("PRESS ANY BUTTON TO FINISH", 48, 40)));
  EXPECT_TRUE(HasRun(frame, {"SetDrawBlendMode 1 180"}));
  const std::pair<const char*, const char*> rows[] = {{"ATTACK...........", "03"}, {"JUMP.............", "04"},
                                                      {"DASH.............", "01"}, {"SHIELD...........", "06"},
                                                      {"START/PAUSE......", "02"}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(HasRun(frame, Text(rows[i].first, 120, 64 + 16 * i))) << rows[i].first;
    EXPECT_TRUE(HasRun(frame, Text(rows[i].second, 256, 64 + 16 * i))) << rows[i].first;
  }
  // The new buttons act at once; a direction does not finish, any button does.
  PadPress(PadBit::Down);
  EXPECT_EQ(option->screen, OptionScreenTask::kPadCapture);
  trace.clear();
  PadPress(PadBit::Button3);
  EXPECT_EQ(option->screen, OptionScreenTask::kMenu);
  EXPECT_EQ(Count(trace, Sound(kSeDecision)), 1);
  EXPECT_EQ(option->cursor, OptionScreenTask::kLinePad);
}

TEST_F(OptionTest, TheLineAskedForBlinks) {
  Open();
  Press(KeyCode::Space);
  ASSERT_EQ(option->screen, OptionScreenTask::kPadCapture);
  Lines label = Text("ATTACK...........", 120, 64);
  Lines other = Text("JUMP.............", 120, 80);
  std::vector<int> shown, steady;
  for (int i = 0; i < 8; ++i) {
    Lines frame = Frame();
    // Drawn while the counter (advanced by this frame's update) is 0 or 1 mod 4.
    shown.push_back(HasRun(frame, label) ? 1 : 0);
    steady.push_back(HasRun(frame, other) ? 1 : 0);
    EXPECT_EQ(shown.back(), option->counter % 4 < 2 ? 1 : 0) << i;
  }
  EXPECT_EQ(std::count(shown.begin(), shown.end(), 1), 4);
  EXPECT_EQ(steady, std::vector<int>(8, 1));
}

TEST_F(OptionTest, KeyCaptureTakesOneNewKeyPerActionNeverTwice) {
  Open();
  GoToLine(OptionScreenTask::kLineKeys);
  // Opened with SPACE held: the single key held is not taken before all keys are released.
  game.KeyDown(KeyCode::Space);
  game.Step();
  ASSERT_EQ(option->screen, OptionScreenTask::kKeyCapture);
  game.Step();
  EXPECT_EQ(option->keyNow, KeyCode::Space);
  game.KeyDown(KeyCode::A);
  game.Step();
  EXPECT_EQ(option->keyNow, -1);
  game.KeyUp(KeyCode::Space);
  game.Step();
  EXPECT_EQ(option->keyNow, KeyCode::A);
  EXPECT_EQ(option->step, 0);
  game.KeyUp(KeyCode::A);
  game.Step();
  EXPECT_EQ(option->released, 1);
  KeyPress(KeyCode::A);
  EXPECT_EQ(option->captured.keyLeft, KeyCode::A);
  EXPECT_EQ(Settings.keyLeft, 203);  // the old keys act until the capture is complete
  // The key of LEFT cannot be RIGHT too, two keys at once do nothing, and F12 is no action's.
  KeyPress(KeyCode::F12);
  KeyPress(KeyCode::A);
  game.KeyDown(KeyCode::Q);
  game.TapKey(KeyCode::W);
  game.Step();
  game.KeyUp(KeyCode::Q);
  game.Step();
  EXPECT_EQ(option->step, 1);
  const int keys[] = {KeyCode::D, KeyCode::W, KeyCode::S, KeyCode::J, KeyCode::K, KeyCode::L, KeyCode::U,
                      KeyCode::Enter};
  for (int key : keys) {
    KeyPress(KeyCode::A);  // refused at every step
    KeyPress(key);
  }
  EXPECT_EQ(option->step, 9);
  const SettingRecord& s = Settings;
  EXPECT_EQ((std::vector<int>{s.keyLeft, s.keyRight, s.keyUp, s.keyDown, s.keyAttack, s.keyJump, s.keyDash,
                              s.keyShield, s.keyStart}),
            (std::vector<int>{KeyCode::A, KeyCode::D, KeyCode::W, KeyCode::S, KeyCode::J, KeyCode::K,
                              KeyCode::L, KeyCode::U, KeyCode::Enter}));
  Lines frame = Frame();
  EXPECT_TRUE(HasRun(frame, Text("PRESS ANY KEY TO FINISH", 48, 40)));
  EXPECT_TRUE(HasRun(frame, Text("LEFT.............", 120, 64)));
  EXPECT_TRUE(HasRun(frame, Text("K30", 256, 64)));
  EXPECT_TRUE(HasRun(frame, Text("START/PAUSE......", 120, 192)));
  EXPECT_TRUE(HasRun(frame, Text("K28", 256, 192)));
  // Any single new key returns to the menu, where the new keys already act.
  trace.clear();
  KeyPress(KeyCode::Enter);
  EXPECT_EQ(option->screen, OptionScreenTask::kMenu);
  EXPECT_EQ(Count(trace, Sound(kSeDecision)), 1);
  KeyPress(KeyCode::S);  // DOWN
  EXPECT_EQ(option->cursor, OptionScreenTask::kLineDifficulty);
}

TEST_F(OptionTest, MissingKeyNamesAreBlankButCaptureStillWorks) {
  std::filesystem::remove("common/key.txt");
  Open();
  GoToLine(OptionScreenTask::kLineKeys);
  Press(KeyCode::Space);
  ASSERT_EQ(option->screen, OptionScreenTask::kKeyCapture);
  KeyPress(KeyCode::G);
  EXPECT_EQ(option->captured.keyLeft, KeyCode::G);
  Lines frame = Frame();
  EXPECT_TRUE(HasRun(frame, Text("KEYBOARD SETTING", 96, 16)));
  for (int y = 64; y <= 192; y += 16) {
    for (const std::string& line : frame) EXPECT_EQ(line.rfind("DrawRectPartGraph 256 " + std::to_string(y) + " ", 0), std::string::npos);
  }
}

TEST_F(OptionTest, ExitSavesTheSettingsAndFadesOut) {
  Open();
  GoToLine(OptionScreenTask::kLineBgmQuality);
  Press(KeyCode::Left);  // MIDDLE
  GoToLine(OptionScreenTask::kLineDifficulty);
  Press(KeyCode::Left);  // EASY
  ContinueStage = 9;
  GoToLine(OptionScreenTask::kLineExit);
  trace.clear();
  game.TapKey(KeyCode::Space);
  game.Step();
  EXPECT_TRUE(HasRun(trace, {"pxtone_Reset 22050", Sound(kSeDecision)}));
  std::string file = gametest::ReadWholeFile("setting.dat");
  ASSERT_EQ(file.size(), 82u);
  EXPECT_EQ(file[0], 2);   // BGM QUALITY
  EXPECT_EQ(file[74], 0);  // DIFFICULTY
  EXPECT_EQ(file[58], 9);  // the stage reached is kept
  // The closing fade darkens the menu by 15 a frame; the menu no longer listens.
  EXPECT_EQ(option->screen, OptionScreenTask::kClosing);
  Lines frame = Frame();
  EXPECT_TRUE(HasRun(frame, {"SetDrawBlendMode 1 15", "DrawBox 0 0 320 240 c=0 fill=1", "SetDrawBlendMode 0 0"}));
  Press(KeyCode::Down);
  EXPECT_EQ(option->cursor, OptionScreenTask::kLineExit);
  EXPECT_EQ(option->closeFade, 45);
  EXPECT_TRUE(game.StepUntil([this] { return title->optionScreen() == nullptr; }, 20));

  // With the music off the output is not reset, and with the sound off EXIT is silent.
  Settings.bgmQuality = 1;
  ASSERT_EQ(title->cursor, TitleScreenTask::kChoiceOptions);
  game.TapKey(KeyCode::Space);
  ASSERT_TRUE(game.StepUntil([this] { return title->optionScreen() != nullptr; }, 60));
  option = title->optionScreen();
  game.Step();
  GoToLine(OptionScreenTask::kLineBgmQuality);
  Press(KeyCode::Left);
  ASSERT_EQ(Settings.bgmQuality, 0);
  GoToLine(OptionScreenTask::kLineSoundEffect);
  Press(KeyCode::Left);
  GoToLine(OptionScreenTask::kLineExit);
  trace.clear();
  Press(KeyCode::Space);
  EXPECT_EQ(option->screen, OptionScreenTask::kClosing);
  EXPECT_EQ(Count(trace, "pxtone_Reset 22050") + Count(trace, "pxtone_Reset 11025") + Count(trace, "pxtone_Reset 44100"), 0);
  EXPECT_EQ(Count(trace, Sound(kSeDecision)), 0);
  EXPECT_EQ(gametest::ReadWholeFile("setting.dat")[0], 0);
}

}  // namespace
