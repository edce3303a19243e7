// The player's movement, actions, damage and extra lives.
#include <algorithm>

#include <gtest/gtest.h>

#include "game/playfield/blocks_items.h"
#include "game/playfield/player.h"
#include "game/enemies/small_enemies.h"
#include "game/playfield/stage_scenes.h"
#include "tests/game/playthrough_fixture.h"

namespace {

using namespace playfield;

class PlayerTest : public Playfield {
 protected:
  void SetUp() override {
    Playfield::SetUp();
    p = CreateTask<PlayerTask>();
    Frame();  // lands and makes its companions
  }
  // The highest point of a jump pressed now, JUMP held for `holdFrames` frames.
  double JumpPeak(int holdFrames) {
    double top = p->y;
    for (int i = 0; i < 60; ++i) {
      Frame(i < holdFrames ? kJump : 0);
      top = std::min(top, p->y);
    }
    return top;
  }
  PlayerTask* p = nullptr;
};

TEST_F(PlayerTest, JumpsHigherWhileJumpIsHeld) {
  EXPECT_EQ(p->y, 194);
  EXPECT_EQ(PlayerX, 104);
  // Rising 4 a frame while held (8 frames at most), then slowed by 0.4 a frame.
  EXPECT_NEAR(JumpPeak(20), 194 - 36 - 18, 1e-9);
  EXPECT_EQ(p->y, 194);
  EXPECT_EQ(p->move, PlayerTask::kMoveStand);
  EXPECT_NEAR(JumpPeak(9), 194 - 36 - 18, 1e-9);
  EXPECT_NEAR(JumpPeak(1), 194 - 4 - 18, 1e-9);
  EXPECT_NEAR(JumpPeak(4), 194 - 16 - 18, 1e-9);
}

TEST_F(PlayerTest, WalksAndStopsAtTheWalls) {
  std::vector<int> legs;
  for (int i = 0; i < 100; ++i) {
    Frame(kRight);
    if (i < 36 && i % 6 == 0) legs.push_back(p->legSrcX);
  }
  EXPECT_EQ(p->x, 232 - 32);
  EXPECT_EQ(legs, (std::vector<int>{0, 32, 64, 96, 64, 32}));
  Frame();
  EXPECT_EQ(p->move, PlayerTask::kMoveStand);
  Frames(120, kLeft);
  EXPECT_EQ(p->x, 8);
  EXPECT_EQ(PlayerFlip, 1);
}

TEST_F(PlayerTest, DashesEightPixelsForTenFramesWithAfterimages) {
  Frame(kDash);
  EXPECT_EQ(Played(kSeDash), 1);
  EXPECT_EQ(PlayerPose, 128);
  EXPECT_EQ(p->hitW, 28);
  for (int i = 1; i <= 10; ++i) {
    Frame();
    EXPECT_EQ(p->x, 104 + 8 * i);
    EXPECT_EQ(p->y, 194);
  }
  auto images = All<PlayerDashAfterimageTask>(kLayerShield);
  ASSERT_EQ(images.size(), 4u);  // each lives four frames
  EXPECT_EQ(images.back()->x, 184 - 8);  // made at 184, and already drifted back
  EXPECT_EQ(images.back()->speedX, -8);
  EXPECT_EQ(images.back()->flip, 0);
  Frame();  // the dash ends
  EXPECT_EQ(PlayerPose, 0);
  EXPECT_EQ(p->x, 184);
  // The next dash is possible 8 frames after the end.
  Frames(7);
  EXPECT_EQ(p->dashTime, -7);
  Frame(kDash);
  EXPECT_EQ(p->action, PlayerTask::kActDash);
}

TEST_F(PlayerTest, ADashWithAttackHeldCostsSixGauge) {
  PowerGauge = 5;
  Frame(kDash | kAttack);
  EXPECT_EQ(p->dashAttack, 0);
  EXPECT_EQ(PowerGauge, 5);
  EXPECT_EQ(Played(kSeAttack), 0);  // no slash during a dash
  Frames(20);
  PowerGauge = 6;
  trace.clear();
  Frame(kDash | kAttack);
  EXPECT_EQ(p->dashAttack, 1);
  EXPECT_EQ(PowerGauge, 0);
  EXPECT_EQ(Played(kSeDash2), 1);
  auto* body = First<PlayerDashAttackTask>(kLayerAttack);
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->hitShape, kHitBox);
  EXPECT_EQ(body->attackPower, 4);
  // The flash is drawn over the player; the attack ends with the dash.
  trace.clear();
  p->Draw();
  EXPECT_EQ(trace.back(), "DrawRectPartGraph 183 186 224 0 32 48 img=501 t=1 turn=0");  // 1 left of x, 184
  Frames(11);
  EXPECT_EQ(p->dashAttack, 0);
  EXPECT_EQ(body->hitShape, kHitNone);
}

TEST_F(PlayerTest, SlashTimingAndItsBox) {
  Frame(kAttack);
  EXPECT_EQ(PlayerPose, 32);
  EXPECT_EQ(Played(kSeAttack), 1);
  auto* slash = First<PlayerSlashTask>(kLayerAttack);
  ASSERT_NE(slash, nullptr);
  std::vector<int> poses, slashX;
  for (int i = 1; i <= 12; ++i) {
    Frame();
    poses.push_back(PlayerPose);
    slashX.push_back(slash->visible ? slash->srcX : -1);
  }
  EXPECT_EQ(poses, (std::vector<int>{32, 32, 32, 64, 64, 96, 96, 96, 96, 96, 96, 0}));
  EXPECT_EQ(slashX, (std::vector<int>{-1, -1, -1, -1, -1, 0, 0, 48, 48, 96, 96, -1}));
  // On, the box lies ahead of the player: 16 into the 48-pixel sprite facing right.
  Frame(kAttack);
  Frames(6);
  EXPECT_EQ(slash->x, 104 + 8);
  EXPECT_EQ(slash->hitX, 16);
  EXPECT_EQ(slash->attackPower, 1);
  ScrollTaken = 1;
  Frames(2);
  Frame(kAttack);  // 9 frames in: too early for another
  EXPECT_EQ(p->slashFrame, 10);
  Frame();
  Frame(kLeft | kAttack);
  EXPECT_EQ(p->slashFrame, 1);
  Frames(6, kLeft);
  EXPECT_EQ(slash->x, p->x - 24);
  EXPECT_EQ(slash->hitX, 0);
  EXPECT_EQ(slash->attackPower, 5);
}

TEST_F(PlayerTest, TheShieldCostsTwelveAndCannotBeRaisedAgainWhileItRuns) {
  PowerGauge = 11;
  Frame(kShield);
  EXPECT_EQ(TaskPool_Count(kLayerShield), 0);
  Frame();
  PowerGauge = 30;
  Frame(kShield);
  EXPECT_EQ(PowerGauge, 18);
  EXPECT_EQ(PlayerShieldTime, 359);
  auto* shield = First<PlayerShieldTask>(kLayerShield);
  ASSERT_NE(shield, nullptr);
  EXPECT_EQ(shield->hitW, 32);
  Frame();
  Frame(kShield);
  EXPECT_EQ(PowerGauge, 18);
  EXPECT_EQ(TaskPool_Count(kLayerShield), 1);
  Frames(10);
  EXPECT_EQ(shield->width, 32);
  // A star meeting the shield is spent.
  auto* star = CreateTask<ShurikinTask>(100, 180, 0.0, 0.0);
  Frame();
  EXPECT_TRUE(star->finished);
  EXPECT_EQ(Health, 5);
  // It closes when its time is up.
  Frames(346);
  EXPECT_EQ(PlayerShieldShowTime, 0);
  EXPECT_EQ(shield->phase, 1);
  Frames(9);
  EXPECT_EQ(TaskPool_Count(kLayerShield), 0);
}

TEST_F(PlayerTest, HurtKnockbackAndInvincibility) {
  PowerGauge = 3;
  MoneyLevel = 8;
  p->hitCode = 6;
  Frame();
  EXPECT_EQ(Health, 4);
  EXPECT_EQ(PowerGauge, 0);
  EXPECT_EQ(MoneyLevel, 1);
  EXPECT_EQ(PlayerInvincibleTime, 89);
  EXPECT_EQ(PlayerPose, 192);
  EXPECT_EQ(Played(kSeDamage), 1);
  // Twenty frames without control, pushed back; then control returns.
  for (int i = 0; i < 19; ++i) Frame(kRight);
  EXPECT_EQ(p->x, 104 - 20);
  Frame(kRight);
  EXPECT_EQ(p->x, 104 - 20 + 2);
  EXPECT_EQ(PlayerPose, 0);
  // A star touching the player while invincible does nothing.
  auto* star = CreateTask<ShurikinTask>(static_cast<int>(p->x) + 8, 194, 0.0, 0.0);
  Frame();
  EXPECT_EQ(Health, 4);
  EXPECT_FALSE(star->finished);
  Frames(68);
  EXPECT_EQ(PlayerInvincibleTime, 0);
  Frame();
  EXPECT_EQ(Health, 3);
  EXPECT_TRUE(star->finished);
  // Health taken elsewhere is a hurt too, without a second loss.
  Frames(100);
  Health = 2;
  Frame();
  EXPECT_EQ(Health, 2);
  EXPECT_EQ(PlayerInvincibleTime, 89);
}

TEST_F(PlayerTest, BeatenPlayerLeavesInSmokeAndStartsTheRetryScene) {
  Health = 1;
  p->hitCode = 8;
  Frame();
  EXPECT_EQ(Health, 0);
  EXPECT_EQ(p->hitShape, kHitNone);
  EXPECT_EQ(Count("pxtone_Tune_Stop"), 2);  // stopped, and stopped again by the new tune
  EXPECT_EQ(Count("pxtone_Tune_Load ./bgm/out.pttune"), 1);
  EXPECT_EQ(Count("pxtone_Tune_SetLoop 0"), 1);
  Frames(119);
  EXPECT_FALSE(p->finished);
  EXPECT_EQ(p->x, 104);  // no knock-back once beaten
  Frame();
  EXPECT_TRUE(p->finished);
  EXPECT_EQ(Played(kSeDefeat), 1);
  EXPECT_NE(First<StageRestartTask>(kLayerBall), nullptr);
  auto* smoke = First<DoronSmokeTask>(kLayerEnemy);
  ASSERT_NE(smoke, nullptr);
  EXPECT_EQ(smoke->y, 186);
  // Its companions end with it.
  ASSERT_EQ(All<PlayerSlashTask>(kLayerAttack).size(), 1u);
  Frame();
  EXPECT_EQ(All<PlayerSlashTask>(kLayerAttack).size(), 0u);
  EXPECT_EQ(All<PlayerDashAttackTask>(kLayerAttack).size(), 0u);
}

TEST_F(PlayerTest, ExtraLivesAt100000And300000And500000) {
  Score = 99999;
  Frame();
  Score = 100100;
  Frame();
  EXPECT_EQ(Lives, 3);
  EXPECT_EQ(Played(kSe1up), 1);
  Frame();
  EXPECT_EQ(Lives, 3);
  // With input off (a scene runs) nothing is granted, and the level is passed.
  InputEnabled = 0;
  Score = 300000;
  Frame();
  InputEnabled = 1;
  Frame();
  EXPECT_EQ(Lives, 3);
  // One life a frame even when two levels are passed at once.
  Score = 0;
  Frame();
  Score = 600000;
  Frame();
  EXPECT_EQ(Lives, 4);
}

TEST_F(PlayerTest, DrawnInTwoHalvesAndBlinkingWhileInvincible) {
  trace.clear();
  p->Draw();
  EXPECT_EQ(trace, (std::vector<std::string>{"DrawRectPartGraph 104 210 0 32 32 32 img=501 t=1 turn=0",
                                             "DrawRectPartGraph 104 186 0 0 32 32 img=501 t=1 turn=0"}));
  p->hitCode = 6;
  int drawn = 0;
  for (int i = 0; i < 8; ++i) {
    Frame();
    trace.clear();
    p->Draw();
    drawn += trace.empty() ? 0 : 1;
  }
  EXPECT_EQ(drawn, 4);
}

}  // namespace
