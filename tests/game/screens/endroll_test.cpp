// The end roll, run alone in the game loop after a title whose first stage is the ending.
#include <filesystem>

#include <gtest/gtest.h>

#include "game/screens/end_roll.h"
#include "game/play_state.h"
#include "game/settings.h"
#include "game/task.h"
#include "title_scene_util.h"

namespace {

using scenetest::Count;
using scenetest::Lines;

class EndRollTest : public scenetest::SceneTest {
 protected:
  // Title, GAME START, then the ending with an image of the given height.
  void Begin(int endingHeight) {
    MakeFolder("end.txt", {}, 240);
    std::filesystem::remove("stages/ending.bmp");
    if (endingHeight > 0) gametest::WriteBmp("stages/ending.bmp", 320, endingHeight, 200, 180, 160);
    ASSERT_TRUE(game.Start(21));
    game.TapKey(KeyCode::Space);
    ASSERT_TRUE(game.StepUntil([] { return GetGamePhase() == GamePhase::kStage; }, 80));
    ASSERT_TRUE(GameEndingActive());
    ASSERT_EQ(TaskPool_Count(kLayerPlayer), 2);  // the finished title is removed next frame
    roll = dynamic_cast<EndRollTask*>(TaskPool_Get(kLayerPlayer, 1));
    ASSERT_NE(roll, nullptr);
  }
  int FramesUntilStateChanges(int limit) {
    int from = roll->state;
    for (int n = 1; n <= limit; ++n) {
      game.Step();
      if (roll->state != from) return n;
    }
    return -1;
  }
  EndRollTask* roll = nullptr;
};

TEST_F(EndRollTest, FadesInScrollsWaitsForAButtonAndFadesOutToTheTitle) {
  Begin(400);
  EXPECT_EQ(roll->y, -32.0);
  EXPECT_EQ(roll->height, 400);
  EXPECT_EQ(roll->fade, 255);
  EXPECT_EQ(roll->hitShape, kHitNone);
  // The first frame starts the ending tune once, without looping.
  Lines frame = Frame();
  EXPECT_TRUE(scenetest::HasRun(frame, {"pxtone_Tune_SetLoop 0", "pxtone_Tune_Load ./bgm/ending.pttune",
                                         "pxtone_Tune_Start"}));
  EXPECT_EQ(roll->fade, 253);
  // 2 a frame from 255: the 128th frame steps past 0 and stops at 0.
  EXPECT_EQ(FramesUntilStateChanges(200), 127);
  EXPECT_EQ(roll->fade, 0);
  EXPECT_EQ(roll->state, EndRollTask::kScrolling);
  // Buttons do nothing before the image has reached its end.
  game.TapKey(KeyCode::Space);
  game.Step();
  EXPECT_EQ(roll->state, EndRollTask::kScrolling);
  // From y -32 to 240 - 400 = -160 at 0.13 a frame: 985 frames, one of them just taken.
  EXPECT_EQ(FramesUntilStateChanges(1200), 984);
  EXPECT_EQ(roll->state, EndRollTask::kWaiting);
  EXPECT_EQ(roll->y, -160.0);
  frame = Frame();
  EXPECT_EQ(Count(frame, "DrawRectPartGraph 0 -160 0 0 320 400 img=" + std::to_string(roll->image) + " t=1 turn=0"), 1);
  EXPECT_TRUE(scenetest::HasRun(frame, {"DrawBox 0 0 320 32 c=0 fill=1", "DrawBox 0 208 320 240 c=0 fill=1",
                                         "SetDrawBlendMode 1 0", "DrawBox 0 0 320 240 c=0 fill=1",
                                         "SetDrawBlendMode 0 0"}));
  // It waits as long as it takes, and the tune is never started again.
  trace.clear();
  game.StepFrames(300);
  EXPECT_EQ(roll->state, EndRollTask::kWaiting);
  EXPECT_EQ(Count(trace, "pxtone_Tune_Load ./bgm/ending.pttune"), 0);
  // ATTACK starts the fade-out, which reaches 255 in 128 frames and asks for the title.
  game.TapKey(KeyCode::Z);
  game.Step();
  EXPECT_EQ(roll->state, EndRollTask::kFadeOut);
  EXPECT_EQ(roll->fade, 0);
  game.StepFrames(127);
  EXPECT_EQ(roll->fade, 254);
  EXPECT_EQ(SceneRequest, kSceneStay);
  game.Step();
  EXPECT_EQ(roll->fade, 255);
  EXPECT_EQ(SceneRequest, kSceneTitle);
  // The next frame ends the scene: the tune stops and the title comes back.
  trace.clear();
  game.Step();
  EXPECT_EQ(GetGamePhase(), GamePhase::kMenu);
  EXPECT_EQ(Count(trace, "pxtone_Tune_Stop"), 1);
  EXPECT_STREQ(CurrentTune, "");
}

TEST_F(EndRollTest, ShortOrMissingImagesDoNotScroll) {
  // 272 pixels or less: on the first scroll frame the bottom is placed at 240.
  Begin(272);
  EXPECT_EQ(FramesUntilStateChanges(200), 128);
  EXPECT_EQ(FramesUntilStateChanges(5), 1);
  EXPECT_EQ(roll->state, EndRollTask::kWaiting);
  EXPECT_EQ(roll->y, -32.0);
  game.Finish();

  Begin(100);
  game.StepFrames(128);
  game.Step();
  EXPECT_EQ(roll->state, EndRollTask::kWaiting);
  EXPECT_EQ(roll->y, 140.0);
  game.Finish();

  // No ending image at all: nothing to draw, and the ending still runs to its end.
  Begin(0);
  EXPECT_EQ(roll->image, -1);
  game.StepFrames(129);
  EXPECT_EQ(roll->state, EndRollTask::kWaiting);
  game.TapKey(KeyCode::Space);
  EXPECT_TRUE(game.StepUntil([] { return GetGamePhase() == GamePhase::kMenu; }, 200));
}

}  // namespace
