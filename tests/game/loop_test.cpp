// The program's loops, stepped frame by frame through the harness.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/system/system.h"
#include "game/screens/end_roll.h"
#include "game/gfx.h"
#include "game/harness.h"
#include "game/playfield/stage_scenes.h"
#include "game/main_loop.h"
#include "game/resources.h"
#include "game/play_state.h"
#include "game/settings.h"
#include "game/playfield/stage.h"
#include "game/task.h"
#include "game_test_util.h"
#include "platform/window/test_driver.h"

namespace {

using gametest::ReadWholeFile;
using gametest::StageText;
using gametest::WriteWholeFile;

std::vector<int> SomeBlocks() {
  std::vector<int> cells(81, 0);
  cells[0] = 1;
  cells[1] = 2;
  cells[10] = 12;
  return cells;
}

class LoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gametest::MakeGameFolder("s1.txt", {{"s1.txt", StageText(0, "ONE", SomeBlocks(), "bg.bmp", "one.pttune", "s2.txt")},
                                        {"s2.txt", StageText(1, "TWO", SomeBlocks(), "bg.bmp", "one.pttune", "end.txt")}});
    SetGameTrace(&trace);
  }
  void TearDown() override {
    game.Finish();
    SetGameTrace(nullptr);
  }

  // From the title into the first stage, until READY has handed input back.
  void EnterFirstStage() {
    ASSERT_TRUE(game.Start(99));
    ASSERT_EQ(GetGamePhase(), GamePhase::kMenu);
    game.Step();
    game.TapKey(KeyCode::Space);
    ASSERT_TRUE(game.StepUntil([] { return GetGamePhase() == GamePhase::kStage; }, 60));
    ASSERT_TRUE(game.StepUntil([] { return TaskPool_Count(kLayerBullet) == 0 && InputEnabled == 1; }, 100));
  }

  int Count(const std::string& line) const { return static_cast<int>(std::count(trace.begin(), trace.end(), line)); }

  gametest::ScratchDir dir;
  GameHarness game;
  std::vector<std::string> trace;
};

TEST_F(LoopTest, TitleLeadsIntoTheFirstStage) {
  ASSERT_TRUE(game.Start(99));
  // The title runs alone, drawn every frame, until START.
  ASSERT_NE(GameTitleTask(), nullptr);
  EXPECT_EQ(game.StepFrames(5), 5);
  EXPECT_EQ(GetGamePhase(), GamePhase::kMenu);
  EXPECT_EQ(Count("FlipScreen"), 5);
  EXPECT_EQ(TaskPool_Count(kLayerBlock), 0);
  game.TapKey(KeyCode::Space);
  ASSERT_TRUE(game.StepUntil([] { return GetGamePhase() == GamePhase::kStage; }, 60));
  EXPECT_STREQ(CurrentStageName, "s1.txt");
  EXPECT_EQ(TaskPool_Count(kLayerBlock), 3);
  EXPECT_EQ(NormalBlockCount, 2);
  EXPECT_EQ(EnemyBlockCount, 1);
  ASSERT_EQ(TaskPool_Count(kLayerBullet), 1);
  EXPECT_NE(dynamic_cast<StageReadyTask*>(TaskPool_Get(kLayerBullet, 0)), nullptr);
  // The finished title is still in layer 1 until the first removal.
  EXPECT_EQ(TaskPool_Count(kLayerPlayer), 1);
  game.Step();
  EXPECT_EQ(TaskPool_Count(kLayerPlayer), 0);
  EXPECT_STREQ(CurrentTune, "./bgm/one.pttune");
  EXPECT_EQ(InputEnabled, 0);
  EXPECT_EQ(CurrentStage, 0);
  // A stage frame draws the background, the half-dark playfield, tasks and panel.
  trace.clear();
  game.Step();
  const std::vector<std::string> head(trace.begin(), trace.begin() + 5);
  EXPECT_EQ(head[0], "ClearScreen");
  EXPECT_EQ(head[1], "DrawGraph 0 0 img=" + std::to_string(MainStageRecord.backgroundImage) + " t=1");
  EXPECT_EQ(head[2], "SetDrawBlendMode 1 128");
  EXPECT_EQ(head[3], "DrawBox 12 8 228 224 c=0 fill=1");
  EXPECT_EQ(head[4], "SetDrawBlendMode 0 0");
  EXPECT_EQ(trace.back(), "FlipScreen");
}

TEST_F(LoopTest, FramesArePacedOnTheClockAndLateFramesDoNotShortenTheNext) {
  EnterFirstStage();
  int64_t end0 = GameLastFrameEnd();
  game.Step();
  EXPECT_EQ(GameLastFrameEnd() - end0, kFrameMicroseconds);
  EXPECT_EQ(game.Now(), GameLastFrameEnd());
  // A frame that starts 40 ms late ends at once, and the next one waits its whole span.
  game.Delay(40000);
  int64_t late = game.Now();
  game.Step();
  EXPECT_EQ(GameLastFrameEnd(), late);
  game.Step();
  EXPECT_EQ(GameLastFrameEnd(), late + kFrameMicroseconds);
}

// The engine clock's wait on the manual clock, which moves by 100 us at every reading:
// where it ends shows whether it slept to 500 us before the deadline and then spun.
TEST(FrameWait, SleepsToHalfAMillisecondBeforeTheDeadlineThenSpins) {
  struct Case {
    int64_t start, deadline, nextReading;
  } cases[] = {
      // Read 1000; sleep to 17166; spin reads 17166 .. 17666; without the sleep the spin
      // would have read 17700 last.
      {1000, 17666, 17766},
      // Already inside the last 500 us: no sleep, the spin stops at the first reading past it.
      {17300, 17666, 17800},
      // Late: one reading to see it, one in the spin, and no sleep.
      {20000, 17666, 20200},
      // Exactly at the sleep's end: nothing to sleep.
      {17166, 17666, 17766},
  };
  for (const Case& c : cases) {
    TestDriver_SetManualClock(c.start, 100);
    WaitForFrameDeadline(c.deadline);
    EXPECT_EQ(GetMicrosecondCount(0), c.nextReading) << "from " << c.start;
  }
  TestDriver_ReleaseClock();
  // On the real clock the wait never ends early.
  const int64_t deadline = GetMicrosecondCount(0) + 3000;
  WaitForFrameDeadline(deadline);
  EXPECT_GE(GetMicrosecondCount(0), deadline);
}

TEST_F(LoopTest, FrameSkipDrawsEverySecondFrameFromEachSceneStart) {
  SettingRecord s;
  s.frameSkip = 30;
  uint8_t bytes[kSettingFileSize];
  EncodeSetting(s, 0, bytes);
  WriteWholeFile("setting.dat", std::string(reinterpret_cast<char*>(bytes), sizeof bytes));
  ASSERT_TRUE(game.Start(1));
  std::vector<int> flips;
  for (int i = 0; i < 4; ++i) {
    trace.clear();
    game.Step();
    flips.push_back(Count("FlipScreen"));
  }
  EXPECT_EQ(flips, (std::vector<int>{1, 0, 1, 0}));
  // The stage's frame counter starts again at 0: its first frame is drawn.
  game.TapKey(KeyCode::Space);
  ASSERT_TRUE(game.StepUntil([] { return GetGamePhase() == GamePhase::kStage; }, 60));
  flips.clear();
  for (int i = 0; i < 3; ++i) {
    trace.clear();
    game.Step();
    flips.push_back(Count("FlipScreen"));
  }
  EXPECT_EQ(flips, (std::vector<int>{1, 0, 1}));
  EXPECT_TRUE(IsDrawingFrame(2));
  EXPECT_FALSE(IsDrawingFrame(3));
}

TEST_F(LoopTest, PauseStopsUpdatesAndF12SavesAScreenshot) {
  EnterFirstStage();
  // A task that counts its updates.
  struct Counter : Character {
    Counter() : Character(-1, 0, 0) { Join(kLayerHidden); }
    void Update() override { ++counter; }
  };
  Counter* c = CreateTask<Counter>();
  game.Step();
  EXPECT_EQ(c->counter, 1);
  game.TapKey(KeyCode::Space);
  trace.clear();
  game.Step();
  EXPECT_EQ(Paused, 1);
  EXPECT_EQ(c->counter, 2);  // the frame that pauses still updated
  game.StepFrames(3);
  EXPECT_EQ(c->counter, 2);
  // "P" of PAUSE: cell 47 of the font sheet.
  EXPECT_EQ(Count("DrawRectPartGraph 100 116 56 40 8 8 img=" + std::to_string(FontImage) + " t=1 turn=0"), 4);
  // Leaving the pause with F12 held writes the screenshot.
  game.KeyDown(KeyCode::F12);
  game.TapKey(KeyCode::Space);
  trace.clear();
  game.Step();
  game.KeyUp(KeyCode::F12);
  EXPECT_EQ(Paused, 0);
  auto shot = std::find_if(trace.begin(), trace.end(), [](const std::string& s) { return s.rfind("SaveDrawScreen ", 0) == 0; });
  ASSERT_NE(shot, trace.end());
  std::string name = shot->substr(15);
  EXPECT_TRUE(std::filesystem::exists(name)) << name;
  EXPECT_EQ(name.substr(name.size() - 4), ".bmp");
  EXPECT_EQ(std::count(name.begin(), name.end(), '_'), 5);
  LocalDateTime t{2024, 3, 9, 7, 5, 0};
  EXPECT_EQ(ScreenshotName(t), "2024_3_9_7_5_0.bmp");

  // With no health START does not pause; with F12 it still takes a picture.
  Health = 0;
  game.TapKey(KeyCode::Space);
  game.Step();
  EXPECT_EQ(Paused, 0);
  game.Step();  // START up for a frame, so the next press is new
  trace.clear();
  game.KeyDown(KeyCode::F12);
  game.TapKey(KeyCode::Space);
  game.Step();
  EXPECT_EQ(std::count_if(trace.begin(), trace.end(), [](const std::string& s) { return s.rfind("SaveDrawScreen", 0) == 0; }), 1);
}

TEST_F(LoopTest, RetryKeepsScoreAndTakesALife) {
  EnterFirstStage();
  Score = 500;
  PowerGauge = 9;
  Health = 1;
  Lives = 2;
  ItemGauge = 40;
  SceneRequest = kSceneRetry;
  trace.clear();
  game.Step();
  EXPECT_EQ(GetGamePhase(), GamePhase::kStage);
  EXPECT_EQ(SceneRequest, kSceneStay);
  EXPECT_EQ(Lives, 1);
  EXPECT_EQ(Health, 5);
  EXPECT_EQ(Score, 500);
  EXPECT_EQ(PowerGauge, 9);
  EXPECT_EQ(ItemGauge, 40);
  EXPECT_STREQ(CurrentStageName, "s1.txt");
  // The tune was stopped (by the retry, then by the new start) and READY started it again.
  EXPECT_EQ(Count("pxtone_Tune_Stop"), 2);
  EXPECT_EQ(Count("pxtone_Tune_Load ./bgm/one.pttune"), 1);
  EXPECT_EQ(TaskPool_Count(kLayerBlock), 3);
}

TEST_F(LoopTest, NextStageKeepsTheTuneAndThePlayerState) {
  EnterFirstStage();
  Score = 700;
  Health = 2;
  Lives = 3;
  PowerGauge = 4;
  ItemGauge = 30;
  MoneyLevel = 8;
  ScrollTaken = 1;
  BossPhase = 3;
  SceneRequest = kSceneNextStage;
  trace.clear();
  game.Step();
  EXPECT_STREQ(CurrentStageName, "s2.txt");
  EXPECT_EQ(Count("pxtone_Tune_Stop"), 0);
  EXPECT_EQ(Health, 2);
  EXPECT_EQ(Lives, 3);
  EXPECT_EQ(Score, 700);
  EXPECT_EQ(PowerGauge, 4);
  EXPECT_EQ(ItemGauge, 30);
  EXPECT_EQ(MoneyLevel, 8);
  EXPECT_EQ(ScrollTaken, 0);
  EXPECT_EQ(BossPhase, 0);
  EXPECT_EQ(BallSpeed, 2.0);
  game.StepFrames(2);
  EXPECT_EQ(CurrentStage, 1);
  EXPECT_EQ(ContinueStage, 1);

  // The stage after it names "end.txt": the ending runs without the panel, and START
  // never pauses it.
  SceneRequest = kSceneNextStage;
  game.Step();
  EXPECT_TRUE(GameEndingActive());
  ASSERT_EQ(TaskPool_Count(kLayerPlayer), 1);
  EXPECT_NE(dynamic_cast<EndRollTask*>(TaskPool_Get(kLayerPlayer, 0)), nullptr);
  EXPECT_STREQ(CurrentTune, "./bgm/ending.pttune");
  trace.clear();
  game.TapKey(KeyCode::Space);
  game.Step();
  EXPECT_EQ(Paused, 0);
  EXPECT_EQ(Count("DrawRectPartGraph 240 0 0 0 80 240 img=-1 t=1 turn=0"), 0);
  // Once faded in, the end roll takes a button and asks for the title.
  game.StepFrames(130);
  game.TapKey(KeyCode::Space);
  EXPECT_TRUE(game.StepUntil([] { return GetGamePhase() == GamePhase::kMenu; }, 200));
}

TEST_F(LoopTest, F2ReturnsToTheTitleAtTheNextFrame) {
  EnterFirstStage();
  Score = 300;
  Lives = 1;
  Settings.difficulty = 0;
  game.TapKey(KeyCode::F2);
  game.Step();
  EXPECT_EQ(SceneRequest, kSceneTitle);
  EXPECT_EQ(GetGamePhase(), GamePhase::kStage);
  trace.clear();
  game.Step();
  EXPECT_EQ(GetGamePhase(), GamePhase::kMenu);
  EXPECT_EQ(Count("pxtone_Tune_Stop"), 1);
  EXPECT_STREQ(CurrentTune, "");
  EXPECT_EQ(Settings.easyHiScore, 300);
  // A new game: score and lives start again.
  EXPECT_EQ(Score, 0);
  EXPECT_EQ(Lives, 2);
  for (int layer = 0; layer < kLayerCount; ++layer) EXPECT_EQ(TaskPool_Count(layer), layer == kLayerPlayer ? 1 : 0);
}

TEST_F(LoopTest, EscapeEndsTheProgramAndSavesTheSettings) {
  EnterFirstStage();
  Score = 4321;
  ContinueStage = 0;
  game.KeyDown(KeyCode::Escape);
  EXPECT_FALSE(game.Step());
  game.Finish();
  std::string file = ReadWholeFile("setting.dat");
  ASSERT_EQ(file.size(), 82u);
  // NORMAL hi-score at offset 62.
  EXPECT_EQ(static_cast<uint8_t>(file[62]) | static_cast<uint8_t>(file[63]) << 8, 4321);
}

TEST_F(LoopTest, AStageThatCannotBeReadEndsTheProgram) {
  std::filesystem::remove("stages/s1.txt");
  ASSERT_TRUE(game.Start(5));
  game.TapKey(KeyCode::Space);
  game.StepFrames(60);  // the title fades out, then the stage fails
  EXPECT_FALSE(game.running());
  EXPECT_EQ(Count("MessageBox ステージの読み込みに失敗しました。"), 1);
  game.Finish();
  EXPECT_TRUE(std::filesystem::exists("setting.dat"));
}

TEST_F(LoopTest, ScreenSizesMapOntoModes) {
  SettingRecord s;
  s.screenSize = 3;
  uint8_t bytes[kSettingFileSize];
  EncodeSetting(s, 0, bytes);
  WriteWholeFile("setting.dat", std::string(reinterpret_cast<char*>(bytes), sizeof bytes));
  ASSERT_TRUE(game.Start(3));
  EXPECT_EQ(ScreenSizeApplied, 3);
  EXPECT_GT(OffscreenImage, 0);
  trace.clear();
  game.Step();
  // The frame is drawn off screen and stretched onto the 640 x 480 back buffer.
  auto at = std::find(trace.begin(), trace.end(), "SetDrawTarget -2");
  ASSERT_NE(at, trace.end());
  EXPECT_EQ(*(at + 1), "DrawStretchGraph 0 0 640 480 img=" + std::to_string(OffscreenImage) + " t=0");
  EXPECT_EQ(*(at + 2), "SetDrawTarget " + std::to_string(OffscreenImage));
  // Back to a plain window: the back buffer is the target again.
  Settings.screenSize = 0;
  trace.clear();
  ApplyScreenSize(0);
  EXPECT_EQ(ScreenSizeApplied, 0);
  EXPECT_EQ(trace, (std::vector<std::string>{"SetDrawTarget -2"}));
}

}  // namespace
