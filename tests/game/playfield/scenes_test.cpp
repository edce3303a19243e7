// READY, STAGE CLEAR, and retry / GAME OVER timelines.
#include <gtest/gtest.h>

#include "game/playfield/paddle_ball.h"
#include "game/playfield/player.h"
#include "game/playfield/stage_scenes.h"
#include "tests/game/playthrough_fixture.h"

namespace {

using namespace playfield;

class ScenesTest : public Playfield {
 protected:
  // Whether the scene drew its text in a draw of it now.
  bool DrawsText(Character* scene) {
    trace.clear();
    scene->Draw();
    return CountPrefix("DrawRectPartGraph") > 0;
  }
};

TEST_F(ScenesTest, ReadyPlaysTheMusicBringsThePlayerAndThenTheBall) {
  StageRecord record;
  record.stageNumber = 3;
  CopyName(record.musicName, "x.pttune");
  ContinueStage = 1;
  auto* ready = CreateTask<StageReadyTask>(&record);
  EXPECT_EQ(CurrentStage, 3);
  EXPECT_EQ(ContinueStage, 3);
  EXPECT_EQ(InputEnabled, 0);
  std::vector<int> text;
  int playerAt = -1, inputAt = -1, ballAt = -1, endAt = -1;
  for (int frame = 0; frame < 100; ++frame) {
    Frame();
    if (frame < 32) text.push_back(DrawsText(ready) ? 1 : 0);
    if (playerAt < 0 && TaskPool_Count(kLayerPlayer) == 1) playerAt = frame;
    if (inputAt < 0 && InputEnabled == 1) inputAt = frame;
    if (ballAt < 0 && TaskPool_Count(kLayerBall) == 1) ballAt = frame;
    if (endAt < 0 && TaskPool_Count(kLayerBullet) == 0) endAt = frame;
  }
  std::vector<int> expected;
  for (int f = 0; f < 32; ++f) expected.push_back(f / 8 % 2);
  EXPECT_EQ(text, expected);
  EXPECT_STREQ(CurrentTune, "./bgm/x.pttune");
  EXPECT_EQ(playerAt, 40);
  EXPECT_EQ(inputAt, 86);
  EXPECT_EQ(ballAt, 87);
  EXPECT_EQ(TaskPool_Count(kLayerPaddle), 1);
  EXPECT_EQ(endAt, 92);  // finished at 91, removed at the start of the next frame
  // A stage number beyond the last real stage is not kept as the highest reached.
  record.stageNumber = 99;
  CreateTask<StageReadyTask>(&record);
  EXPECT_EQ(ContinueStage, 3);
}

TEST_F(ScenesTest, ReadyFadesTheScreenIn) {
  StageRecord record;
  auto* ready = CreateTask<StageReadyTask>(&record);
  trace.clear();
  ready->Draw();
  EXPECT_EQ(trace[0], "SetDrawBlendMode 1 255");
  EXPECT_EQ(trace[1], "DrawBox 0 0 320 240 c=0 fill=1");
  EXPECT_EQ(trace[2], "SetDrawBlendMode 0 0");
  Frames(51);
  EXPECT_EQ(ready->fade, 205);
}

TEST_F(ScenesTest, StageClearAsksForTheNextStage) {
  auto* clear = CreateTask<StageClearTask>(false);
  std::vector<int> text;
  for (int frame = 0; frame < 264; ++frame) {
    Frame();
    if (frame == 3 || frame == 4 || frame == 158 || frame == 159 || frame == 160) text.push_back(DrawsText(clear));
  }
  // Blinking every 4 frames, and gone once its counter reaches 160.
  EXPECT_EQ(text, (std::vector<int>{0, 1, 1, 0, 0}));
  EXPECT_EQ(clear->fade, 252);
  EXPECT_EQ(SceneRequest, kSceneStay);
  Frame();
  EXPECT_EQ(SceneRequest, kSceneNextStage);
  EXPECT_TRUE(clear->finished);
  EXPECT_EQ(Score, 0);
}

TEST_F(ScenesTest, TheLivesBonusTurnsLivesIntoPointsBeforeTheNextStage) {
  Lives = 2;
  CreateTask<StageClearTask>(true);
  Frames(271);
  EXPECT_EQ(Score, 100000);
  EXPECT_EQ(Lives, 1);
  EXPECT_EQ(InputEnabled, 0);
  Frames(30);
  EXPECT_EQ(Score, 200000);
  EXPECT_EQ(Lives, 0);
  EXPECT_EQ(Played(kSeMoney2), 2);
  // Four more 30-frame steps before the next stage.
  Frames(119);
  EXPECT_EQ(SceneRequest, kSceneStay);
  Frame();
  EXPECT_EQ(SceneRequest, kSceneNextStage);
}

TEST_F(ScenesTest, WithLivesLeftTheRetrySceneFadesOutWithoutText) {
  Lives = 1;
  auto* retry = CreateTask<StageRestartTask>();
  EXPECT_EQ(retry->layer, kLayerBall);
  EXPECT_EQ(InputEnabled, 0);
  Frames(121);
  EXPECT_EQ(retry->fade, 0);
  Frames(50);
  EXPECT_EQ(SceneRequest, kSceneStay);
  EXPECT_FALSE(DrawsText(retry));
  Frame();
  EXPECT_EQ(SceneRequest, kSceneRetry);
}

TEST_F(ScenesTest, GameOverIsSpelledOutThenAButtonReturnsToTheTitle) {
  Lives = 0;
  auto* over = CreateTask<StageRestartTask>();
  Frames(131);
  EXPECT_STREQ(over->shown, "G");
  Frames(69, kAttack);  // held, then pressed again below, before the last letter
  EXPECT_STREQ(over->shown, "GAME OV");
  Frame();
  Frame(kAttack);
  EXPECT_EQ(SceneRequest, kSceneStay);
  EXPECT_EQ(InputEnabled, 0);
  Frames(9);
  EXPECT_STREQ(over->shown, "GAME OVER");
  EXPECT_EQ(InputEnabled, 1);
  trace.clear();
  over->Draw();
  EXPECT_EQ(CountPrefix("DrawRectPartGraph"), 8);  // the blank is not drawn
  EXPECT_EQ(trace[3], "DrawRectPartGraph 84 116 48 32 8 8 img=0 t=1 turn=0");  // "G" (FontImage is not loaded here)
  Frame(kStart);
  EXPECT_EQ(SceneRequest, kSceneTitle);
}

}  // namespace
