// The title screen, stepped through the real menu loop, and the real program led from the
// title through the options and the stage select into a stage.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "game/screens/option_screen.h"
#include "game/play_state.h"
#include "game/settings.h"
#include "game/screens/stage_select.h"
#include "game/screens/title_screen.h"
#include "title_scene_util.h"

namespace {

using scenetest::Count;
using scenetest::HasRun;
using scenetest::Lines;
using scenetest::Sound;
using scenetest::Text;

class TitleTest : public scenetest::SceneTest {
 protected:
  void Begin(int titleHeight) {
    MakeFolder("first.txt", {"first.txt", "2-2.txt"}, titleHeight);
    ASSERT_TRUE(game.Start(11));
    title = dynamic_cast<TitleScreenTask*>(GameTitleTask());
    ASSERT_NE(title, nullptr);
  }
  // Steps until the title's state changes; the number of frames it took.
  int FramesUntilStateChanges(int limit) {
    int from = title->state;
    for (int n = 1; n <= limit; ++n) {
      game.Step();
      if (title->state != from) return n;
    }
    return -1;
  }
  TitleScreenTask* title = nullptr;
};

TEST_F(TitleTest, ImageRestsScrollsHoldsAndStartsAgain) {
  Begin(300);
  EXPECT_EQ(title->width, 320);
  EXPECT_EQ(title->height, 300);
  EXPECT_EQ(title->y, 0.0);
  EXPECT_EQ(title->hitShape, kHitNone);
  EXPECT_EQ(title->layer, kLayerPlayer);
  // At rest while the timer is 0 .. 300; the frame with timer 301 starts the scroll.
  EXPECT_EQ(FramesUntilStateChanges(400), 302);
  EXPECT_EQ(title->state, TitleScreenTask::kScrolling);
  EXPECT_EQ(title->y, 0.0);
  // 0.13 a frame until the bottom reaches 240: 60 pixels take 462 frames.
  EXPECT_EQ(FramesUntilStateChanges(600), 462);
  EXPECT_EQ(title->state, TitleScreenTask::kHeld);
  EXPECT_EQ(title->y, -60.0);
  Lines frame = Frame();
  EXPECT_EQ(Count(frame, "DrawRectPartGraph 0 -60 0 0 320 300 img=" + std::to_string(title->image) + " t=1 turn=0"), 1);
  // Held until the timer passes 600, then back to the top; the timer runs on, so the
  // scroll starts again at once.
  EXPECT_EQ(FramesUntilStateChanges(700), 600);
  EXPECT_EQ(title->state, TitleScreenTask::kAtRest);
  EXPECT_EQ(title->y, 0.0);
  game.Step();
  EXPECT_EQ(title->state, TitleScreenTask::kScrolling);
  game.Step();
  EXPECT_DOUBLE_EQ(title->y, -0.13);

  // An image no taller than the screen sits with its bottom at 240 on the first scroll frame.
  game.Finish();
  Begin(200);
  EXPECT_EQ(FramesUntilStateChanges(400), 302);
  game.Step();
  EXPECT_EQ(title->state, TitleScreenTask::kHeld);
  EXPECT_EQ(title->y, 40.0);
}

TEST_F(TitleTest, HiScoreLineMenuArrowsAndCover) {
  Begin(240);
  Settings.normalHiScore = 1234;
  Settings.easyHiScore = 98;
  Lines frame = Frame();
  EXPECT_TRUE(HasRun(frame, {"DrawBox 0 0 320 32 c=0 fill=1"}));
  EXPECT_TRUE(HasRun(frame, Text("NORMAL HI-SCORE", 56, 12)));
  EXPECT_TRUE(HasRun(frame, Text("00001234", 184, 12)));
  EXPECT_TRUE(HasRun(frame, Text("GAME START", 120, 220)));
  // The arrows swing a pixel every second frame, three out and three back.
  int swing = title->arrowSwing;
  EXPECT_TRUE(HasRun(frame, Text("<", 96 - swing, 220)));
  EXPECT_TRUE(HasRun(frame, Text(">", 216 + swing, 220)));
  // The black cover is drawn last, at the fade (0 at rest).
  ASSERT_GE(frame.size(), 4u);
  EXPECT_EQ(Lines(frame.end() - 4, frame.end()),
            (Lines{"SetDrawBlendMode 1 0", "DrawBox 0 0 320 240 c=0 fill=1", "SetDrawBlendMode 0 0", "FlipScreen"}));

  Settings.difficulty = 0;
  frame = Frame();
  EXPECT_TRUE(HasRun(frame, Text("EASY HI-SCORE", 72, 12)));
  EXPECT_TRUE(HasRun(frame, Text("00000098", 184, 12)));
}

TEST_F(TitleTest, CursorWrapsOverTheThreeChoices) {
  Begin(240);
  std::vector<int> cursors;
  for (int key : {KeyCode::Right, KeyCode::Right, KeyCode::Right, KeyCode::Left, KeyCode::Left}) {
    Press(key);
    cursors.push_back(title->cursor);
  }
  EXPECT_EQ(cursors, (std::vector<int>{1, 2, 0, 2, 1}));
  EXPECT_EQ(Count(trace, Sound(kSeAttack)), 5);
  EXPECT_TRUE(HasRun(Frame(), Text("CONTINUE", 128, 220)));
  Press(KeyCode::Right);
  EXPECT_TRUE(HasRun(Frame(), Text("OPTIONS", 132, 220)));
  // A held key moves the cursor once.
  game.KeyDown(KeyCode::Right);
  game.StepFrames(5);
  game.KeyUp(KeyCode::Right);
  game.Step();
  EXPECT_EQ(title->cursor, 0);
  // With sound effects off the cursor moves silently.
  Settings.soundEffect = 0;
  trace.clear();
  Press(KeyCode::Right);
  EXPECT_EQ(title->cursor, 1);
  EXPECT_EQ(Count(trace, Sound(kSeAttack)), 0);
}

TEST_F(TitleTest, GameStartFadesOutIntoTheFirstStage) {
  Begin(240);
  trace.clear();
  game.TapKey(KeyCode::Z);  // ATTACK chooses as START does
  game.Step();
  EXPECT_EQ(Count(trace, Sound(kSeDecision)), 1);
  EXPECT_EQ(title->state, TitleScreenTask::kGameStart);
  EXPECT_EQ(title->fade, 0);
  // The menu no longer listens, and the arrows are gone once the fade has begun.
  game.TapKey(KeyCode::Right);
  Lines frame = Frame();
  EXPECT_EQ(title->cursor, 0);
  EXPECT_EQ(title->fade, 5);
  EXPECT_FALSE(HasRun(frame, Text("<", 96 - title->arrowSwing, 220)));
  EXPECT_TRUE(HasRun(frame, {"SetDrawBlendMode 1 5", "DrawBox 0 0 320 240 c=0 fill=1"}));
  game.StepFrames(48);
  EXPECT_EQ(title->fade, 245);
  EXPECT_EQ(GetGamePhase(), GamePhase::kMenu);
  game.Step();
  EXPECT_EQ(title->fade, 250);
  EXPECT_EQ(GetGamePhase(), GamePhase::kMenu);
  // The 51st frame reaches 255: the title finishes and the first stage is read.
  game.Step();
  EXPECT_EQ(title->fade, 255);
  EXPECT_EQ(title->finished, 1);
  EXPECT_EQ(GetGamePhase(), GamePhase::kStage);
  EXPECT_STREQ(CurrentStageName, "first.txt");
}

TEST_F(TitleTest, ContinueHandsTheMenuToTheStageSelectAndPlaysTheChosenStage) {
  Begin(240);
  ContinueStage = 6;
  Press(KeyCode::Right);
  game.TapKey(KeyCode::Space);
  game.Step();
  EXPECT_EQ(title->state, TitleScreenTask::kContinue);
  EXPECT_EQ(title->stageSelect(), nullptr);
  game.Step();
  StageSelectScreenTask* select = title->stageSelect();
  ASSERT_NE(select, nullptr);
  EXPECT_EQ(select->layer, -1);  // owned by the title, in no layer
  EXPECT_EQ(select->cursor, 0);
  // LEFT and RIGHT now move the stage select only; LEFT from the first wraps to stage 6.
  Press(KeyCode::Left);
  EXPECT_EQ(select->cursor, 6);
  EXPECT_EQ(title->cursor, 1);
  Lines frame = Frame();
  EXPECT_FALSE(HasRun(frame, Text("<", 96 - title->arrowSwing, 220)));
  EXPECT_TRUE(HasRun(frame, Text("2-2", 148, 144)));
  EXPECT_EQ(Count(frame, "DrawStretchRectPartGraph 100 60 220 180 60 60 60 60 img=" + std::to_string(select->image) +
                             " t=1"),
            1);
  // The title's frame comes first, then the select, then the cover.
  auto at = std::find(frame.begin(), frame.end(), "SetDrawBlendMode 1 160");
  ASSERT_NE(at, frame.end());
  EXPECT_LT(at - frame.begin(), std::find(frame.begin(), frame.end(), "SetDrawBlendMode 1 0") - frame.begin());
  // Choosing writes the stage's name, and the title fades out into it.
  game.TapKey(KeyCode::Space);
  game.Step();
  EXPECT_STREQ(NextStageName, "2-2.txt");
  EXPECT_EQ(title->state, TitleScreenTask::kGameStart);
  // The choice is final: input during the fade changes nothing.
  game.TapKey(KeyCode::Right);
  game.Step();
  EXPECT_EQ(select->cursor, 6);
  EXPECT_EQ(title->cursor, 1);
  EXPECT_TRUE(game.StepUntil([] { return GetGamePhase() == GamePhase::kStage; }, 60));
  EXPECT_STREQ(CurrentStageName, "2-2.txt");
}

TEST_F(TitleTest, OptionsReplaceTheTitleAndReturnToTheTopOfItsImage) {
  Begin(300);
  game.StepFrames(320);  // scrolling
  ASSERT_EQ(title->state, TitleScreenTask::kScrolling);
  Press(KeyCode::Left);
  EXPECT_EQ(title->cursor, TitleScreenTask::kChoiceOptions);
  game.TapKey(KeyCode::Space);
  game.Step();
  EXPECT_EQ(title->state, TitleScreenTask::kOptions);
  double scrolled = title->y;
  game.StepFrames(50);
  EXPECT_EQ(title->optionScreen(), nullptr);
  EXPECT_EQ(title->fade, 250);
  EXPECT_EQ(title->y, scrolled);  // the image stands still while fading
  game.Step();
  OptionScreenTask* option = title->optionScreen();
  ASSERT_NE(option, nullptr);
  EXPECT_EQ(option->layer, -1);
  EXPECT_EQ(title->fade, 0);
  EXPECT_EQ(title->state, TitleScreenTask::kAtRest);
  EXPECT_EQ(title->y, 0.0);
  // Only the option screen draws, and the title does not move.
  Lines frame = Frame();
  EXPECT_TRUE(HasRun(frame, Text("OPTION MENU", 116, 16)));
  EXPECT_FALSE(HasRun(frame, Text("GAME START", 120, 220)));
  EXPECT_EQ(Count(frame, "DrawBox 0 0 320 32 c=0 fill=1"), 0);
  Press(KeyCode::Right);
  EXPECT_EQ(title->cursor, TitleScreenTask::kChoiceOptions);
  int timer = title->counter;
  // EXIT (UP from the first line) closes the option screen over 17 frames.
  Press(KeyCode::Up);
  game.TapKey(KeyCode::Space);
  game.Step();
  EXPECT_EQ(option->screen, OptionScreenTask::kClosing);
  game.StepFrames(16);
  ASSERT_NE(title->optionScreen(), nullptr);
  EXPECT_EQ(option->closeFade, 240);
  game.Step();
  EXPECT_EQ(title->optionScreen(), nullptr);
  EXPECT_EQ(title->counter, timer);
  // Back on the title at the top of its image, held there while the timer runs to 300.
  EXPECT_TRUE(HasRun(Frame(), Text("OPTIONS", 132, 220)));
  EXPECT_EQ(FramesUntilStateChanges(400), 301);
  EXPECT_EQ(title->state, TitleScreenTask::kScrolling);
}

// The program beside the build's tests folder, unless TAMRAK_BINARY_DIR names the build.
std::string ProgramPath() {
  const char* dir = std::getenv("TAMRAK_BINARY_DIR");
  if (dir != nullptr && *dir != '\0') return std::string(dir) + "/kestrune";
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : (self.parent_path().parent_path() / "kestrune").string();
}

TEST(TitleProgramTest, ScriptedRunGoesThroughTheOptionsAndTheStageSelectIntoAStage) {
  if (!std::filesystem::exists(ProgramPath())) GTEST_SKIP() << "kestrune is not built: " << ProgramPath();
  gametest::ScratchDir dir;
  gametest::MakeGameFolder("first.txt", {{"1-2.txt", gametest::StageText(7, "SECOND", std::vector<int>(81, 0),
                                                                         "bg.bmp", "x.pttune", "end.txt")}});
  SettingRecord s;
  uint8_t bytes[kSettingFileSize];
  EncodeSetting(s, 2, bytes);  // stages up to 1-3 reached
  gametest::WriteWholeFile("setting.dat", std::string(reinterpret_cast<char*>(bytes), sizeof bytes));
  // Frames count the message pump's calls, one a frame.
  gametest::WriteWholeFile("script.txt",
                      "seed 3\n"
                      "5 key 203 1\n6 key 203 0\n"       // LEFT: OPTIONS
                      "8 key 57 1\n9 key 57 0\n"         // chosen; the option screen opens at 60
                      "64 key 208 1\n65 key 208 0\n"     // DOWN
                      "66 key 208 1\n67 key 208 0\n"     // DOWN: DIFFICULTY
                      "68 key 203 1\n69 key 203 0\n"     // EASY
                      "70 key 200 1\n71 key 200 0\n"     // UP
                      "72 key 200 1\n73 key 200 0\n"     // UP
                      "74 key 200 1\n75 key 200 0\n"     // UP: EXIT
                      "76 key 44 1\n77 key 44 0\n"       // saved; the title is back at 93
                      "100 key 205 1\n101 key 205 0\n"   // RIGHT: GAME START
                      "102 key 205 1\n103 key 205 0\n"   // RIGHT: CONTINUE
                      "104 key 57 1\n105 key 57 0\n"     // the stage select
                      "108 key 205 1\n109 key 205 0\n"   // 1-2
                      "110 key 57 1\n111 key 57 0\n"     // chosen; the stage begins near 162
                      "200 key 60 1\n201 key 60 0\n"     // F2: back to the title
                      "230 key 1 1\n");                   // Escape
  std::string command = "KESTRUNE_SCRIPT=script.txt SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy '" + ProgramPath() +
                        "' > out.txt 2>&1";
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << gametest::ReadWholeFile("out.txt");
  std::string file = gametest::ReadWholeFile("setting.dat");
  ASSERT_EQ(file.size(), 82u);
  EXPECT_EQ(file[74], 0);  // EASY, chosen on the option screen
  EXPECT_EQ(file[58], 7);  // "1-2.txt" was begun: its stage number is now the highest reached
}

}  // namespace
