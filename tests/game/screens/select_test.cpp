// The stage select: stage numbers, their files, the cursor's range and its drawing.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/system/system.h"
#include "game/gfx.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"
#include "game/screens/stage_select.h"
#include "tests/game/game_test_util.h"
#include "platform/window/test_driver.h"
#include "title_scene_util.h"

namespace {

using scenetest::HasRun;
using scenetest::Lines;
using scenetest::Text;

class SelectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LibInit(), 0);
    TestDriver_Reset();
    ResetPlayState();
    Settings = SettingRecord{};
    Buttons = PrevButtons = 0;
    FontImage = 7;  // handle numbers only appear in the trace
    SetGameTrace(&trace);
  }
  void TearDown() override {
    SetGameTrace(nullptr);
    ForgetResourceHandles();
    TestDriver_Reset();
    LibEnd();
  }
  // One update with `bits` newly pressed.
  void Tap(StageSelectScreenTask& select, int32_t bits) {
    PrevButtons = 0;
    Buttons = bits;
    select.Update();
    PrevButtons = Buttons;
    Buttons = 0;
  }
  // The cursors after each of the taps.
  std::vector<int> Walk(StageSelectScreenTask& select, const std::vector<int32_t>& taps) {
    std::vector<int> out;
    for (int32_t bits : taps) {
      Tap(select, bits);
      out.push_back(select.cursor);
    }
    return out;
  }
  std::string Chosen(StageSelectScreenTask& select) {
    Tap(select, Settings.padAttack);
    return record.nextStageName;
  }

  gametest::ScratchDir dir;
  StageRecord record;
  Lines trace;
};

constexpr int32_t R = kButtonRight;
constexpr int32_t L = kButtonLeft;

TEST_F(SelectTest, StageNumbersNameTheirFiles) {
  const char* expected[kStageCount] = {
      "1-1.txt", "1-2.txt", "1-3.txt", "1-4.txt", "boss1.txt", "2-1.txt", "2-2.txt", "2-3.txt", "2-4.txt",
      "boss2.txt", "3-1.txt", "3-2.txt", "3-3.txt", "3-4.txt", "boss3.txt", "4-1.txt", "4-2.txt", "4-3.txt",
      "4-4.txt", "boss4.txt", "5-1.txt", "5-2.txt", "5-3.txt", "5-4.txt", "boss5.txt"};
  for (int n = 0; n < kStageCount; ++n) {
    char name[kNameSize] = "";
    EXPECT_TRUE(StageFileName(n, name, sizeof name));
    EXPECT_STREQ(name, expected[n]) << n;
  }
  // No stage outside 0..24: the buffer keeps what it had.
  for (int n : {-1, 25, 1000}) {
    char name[kNameSize] = "keep.txt";
    EXPECT_FALSE(StageFileName(n, name, sizeof name));
    EXPECT_STREQ(name, "keep.txt");
  }
  // The labels: world, dash, stage.
  StageSelectScreenTask select(&record);
  EXPECT_STREQ(select.labels[0], "1-1");
  EXPECT_STREQ(select.labels[4], "1-5");
  EXPECT_STREQ(select.labels[13], "3-4");
  EXPECT_STREQ(select.labels[24], "5-5");
}

TEST_F(SelectTest, CursorWrapsWithinTheStagesReached) {
  {
    // Only the first stage reached: LEFT and RIGHT stay on it.
    ContinueStage = 0;
    StageSelectScreenTask select(&record);
    EXPECT_EQ(Walk(select, {R, L, L}), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(Chosen(select), "1-1.txt");
    EXPECT_EQ(select.finished, 1);
  }
  {
    // Starts on the stage begun last, wraps at stage 12 both ways.
    ContinueStage = 12;
    CurrentStage = 11;
    StageSelectScreenTask select(&record);
    EXPECT_EQ(select.cursor, 11);
    EXPECT_EQ(Walk(select, {R, R, L, L, L}), (std::vector<int>{12, 0, 12, 11, 10}));
    EXPECT_EQ(Chosen(select), "3-1.txt");
  }
  {
    ContinueStage = 24;
    CurrentStage = 0;
    StageSelectScreenTask select(&record);
    EXPECT_EQ(Walk(select, {L, L, R}), (std::vector<int>{24, 23, 24}));
    EXPECT_EQ(Chosen(select), "boss5.txt");
  }
  {
    // A cursor above the stages reached comes back into range at the first move.
    ContinueStage = 3;
    CurrentStage = 10;
    StageSelectScreenTask a(&record);
    EXPECT_EQ(Walk(a, {R}), (std::vector<int>{3}));
    StageSelectScreenTask b(&record);
    EXPECT_EQ(Walk(b, {L}), (std::vector<int>{1}));
  }
  {
    // Out of the table: a highest stage past 24 counts as 24, a negative one as 0, and a
    // stage number from an odd stage file puts the cursor on the nearest stage.
    ContinueStage = 99;
    CurrentStage = 40;
    StageSelectScreenTask high(&record);
    EXPECT_EQ(high.cursor, 24);
    EXPECT_EQ(Walk(high, {R, L}), (std::vector<int>{0, 24}));
    ContinueStage = -5;
    CurrentStage = -2;
    StageSelectScreenTask low(&record);
    EXPECT_EQ(low.cursor, 0);
    EXPECT_EQ(Walk(low, {R, L}), (std::vector<int>{0, 0}));
    EXPECT_EQ(Chosen(low), "1-1.txt");
  }
}

TEST_F(SelectTest, ChoosingNeedsANewPressOfStartOrAttack) {
  ContinueStage = 5;
  CurrentStage = 5;
  std::strcpy(record.nextStageName, "before.txt");
  StageSelectScreenTask select(&record);
  // Held from before: nothing.
  PrevButtons = Buttons = Settings.padStart;
  select.Update();
  EXPECT_EQ(select.finished, 0);
  EXPECT_STREQ(record.nextStageName, "before.txt");
  Tap(select, Settings.padStart);
  EXPECT_EQ(select.finished, 1);
  EXPECT_STREQ(record.nextStageName, "2-1.txt");
}

TEST(ArrowSwing, OutForThreeStepsAndBackForThree) {
  // One step on each even timer: +1 while (timer / 2) mod 6 < 3, else -1.
  int swing = 0;
  std::vector<int> swings;
  for (int timer = 0; timer < 14; ++timer) swings.push_back(swing = SwingArrow(swing, timer));
  EXPECT_EQ(swings, (std::vector<int>{1, 1, 2, 2, 3, 3, 2, 2, 1, 1, 0, 0, 1, 1}));
}

TEST_F(SelectTest, DrawsTheTitleDarkenedThePictureTheLabelAndTheArrows) {
  ContinueStage = 24;
  CurrentStage = 18;
  StageSelectScreenTask select(&record);
  for (int i = 0; i < 5; ++i) select.Update();
  ASSERT_EQ(select.arrowSwing, 3);
  trace.clear();
  select.Draw();
  std::string picture = "DrawStretchRectPartGraph 100 60 220 180 180 180 60 60 img=" + std::to_string(select.image) + " t=1";
  Lines expected = {"SetDrawBlendMode 1 160", "DrawBox 0 0 320 240 c=0 fill=1", "SetDrawBlendMode 0 0", picture};
  for (const Lines& part : {Text("4-4", 148, 144), Text("<", 125, 144), Text(">", 187, 144)}) {
    expected.insert(expected.end(), part.begin(), part.end());
  }
  EXPECT_EQ(trace, expected);
  // Once chosen, the arrows are gone.
  Tap(select, Settings.padAttack);
  trace.clear();
  select.Draw();
  EXPECT_TRUE(HasRun(trace, Text("4-4", 148, 144)));
  EXPECT_FALSE(HasRun(trace, Text("<", 125, 144)));
  EXPECT_EQ(trace.size(), 7u);
}

}  // namespace
