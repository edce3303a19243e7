// The paddle, the ball and its shots, frame by frame.
#include <cmath>
#include <set>

#include <gtest/gtest.h>

#include "game/playfield/blocks_items.h"
#include "game/playfield/collision.h"
#include "game/playfield/paddle_ball.h"
#include "game/playfield/stage_scenes.h"
#include "tests/game/playthrough_fixture.h"

namespace {

using playfield::kAttack;
using playfield::kPi;

class BallTest : public playfield::Playfield {
 protected:
  void SetUp() override {
    Playfield::SetUp();
    PlayerX = 100;
    PlayerY = 194;
    NormalBlockCount = 5;
  }
  // A ball already in flight.
  BallTask* Flying(double x, double y, double angle) {
    auto* b = CreateTask<BallTask>();
    b->state = BallTask::kFlying;
    b->alpha = 255;
    b->x = x;
    b->y = y;
    BallAngle = angle;
    return b;
  }
  double After(BallTask* b, int code, double angle) {
    BallAngle = angle;
    b->hitCode = static_cast<uint8_t>(code);
    Frame();
    return BallAngle;
  }
};

TEST_F(BallTest, FadesInOnTheHeadAndLaunchesWithAttack) {
  auto* b = CreateTask<BallTask>();
  EXPECT_EQ(b->x, 116);
  EXPECT_EQ(b->y, 186);
  Frames(22);
  EXPECT_EQ(b->alpha, 264);  // the last step overshoots; the next frame settles it
  PlayerFlip = 1;
  NormalBlockCount = 0;
  Frame(kAttack);  // no normal block left: the ball stays
  EXPECT_EQ(b->state, BallTask::kHeld);
  EXPECT_EQ(b->alpha, 255);
  PlayerX = 60;
  NormalBlockCount = 1;
  Frame();
  EXPECT_EQ(b->x, 76);  // it rides on the head
  Frame(kAttack);
  EXPECT_EQ(b->state, BallTask::kFlying);
  EXPECT_NEAR(BallAngle, -kPi / 6, 1e-12);  // facing left: -30 degrees
  Frame();
  EXPECT_NEAR(b->x, 76 - 1.0, 1e-9);
  EXPECT_NEAR(b->y, 186 - std::sqrt(3.0), 1e-9);
}

TEST_F(BallTest, WallsCeilingAndFloor) {
  auto* b = Flying(15, 100, -kPi / 4);
  Frame();
  EXPECT_NEAR(BallAngle, kPi / 4, 1e-12);
  EXPECT_EQ(Played(kSeHitWall), 1);
  b->x = 225;
  Frame();
  EXPECT_NEAR(BallAngle, -kPi / 4, 1e-12);
  b->y = 11;
  Frame();
  EXPECT_NEAR(BallAngle, -3 * kPi / 4, 1e-12);
  EXPECT_EQ(Played(kSeHitWall), 3);
  // The floor bounces the ball up, costs one health and makes it shake red.
  b->x = 100;
  b->y = 221;
  Frame();
  EXPECT_NEAR(BallAngle, -kPi / 4, 1e-12);
  EXPECT_EQ(Health, 4);
  EXPECT_EQ(b->blinkTime, 19);
  EXPECT_EQ(Played(kSeHitWall), 3);
  // Not while the player is invincible.
  PlayerInvincibleTime = 50;
  b->y = 221;
  BallAngle = 3 * kPi / 4;
  Frame();
  EXPECT_EQ(Health, 4);
  EXPECT_NEAR(BallAngle, kPi / 4, 1e-12);
  // While the shield is up the ball hangs still and bounces off nothing.
  PlayerShieldTime = 30;
  b->x = 10;
  b->y = 60;
  BallAngle = -2.0;
  Frames(3);
  EXPECT_EQ(b->x, 10);
  EXPECT_EQ(b->y, 60);
  EXPECT_EQ(BallAngle, -2.0);
}

TEST_F(BallTest, ThePaddleSendsTheBallOffByWhereItLands) {
  auto* b = Flying(0, 150, kPi);
  const double cases[][2] = {{-12, -kPi / 4}, {-11, -kPi / 6}, {-6.5, -kPi / 6}, {-6, -kPi / 12}, {-0.1, -kPi / 12},
                             {0, kPi / 12},   {5.9, kPi / 12}, {6, kPi / 6},      {11, kPi / 4},  {12, kPi / 4}};
  for (const auto& c : cases) {
    b->x = PlayerX + 16 + c[0];
    b->y = 150;
    EXPECT_NEAR(After(b, 2, 3.0), c[1], 1e-12) << c[0];
  }
  EXPECT_EQ(Played(kSeHitPaddle), 10);
  // Moving up, the paddle does nothing.
  b->y = 150;
  EXPECT_EQ(After(b, 2, 0.5), 0.5);
}

TEST_F(BallTest, AttacksAndTheBodyStrikeTheBall) {
  auto* b = Flying(130, 120, 0);
  // A slash on the way down: up at 60 degrees toward the ball's side, speed 3 for 60 frames.
  EXPECT_NEAR(After(b, 4, 2.5), kPi / 3, 1e-12);
  EXPECT_EQ(BallSpeed, 3.0);
  Frames(59);
  EXPECT_EQ(BallSpeed, 3.0);
  Frame();
  EXPECT_EQ(BallSpeed, 2.0);
  // Already fast and rising: a second slash does nothing.
  b->x = 90;
  b->y = 120;
  BallSpeed = 3.0;
  b->boostTime = 10;
  EXPECT_EQ(After(b, 4, 0.4), 0.4);
  // Falling, it is struck again (left of the player: -60 degrees).
  b->x = 90;
  b->y = 120;
  EXPECT_NEAR(After(b, 4, 2.8), -kPi / 3, 1e-12);

  // The body in the dash pose: speed 4 the way the player faces.
  PlayerPose = 128;
  PlayerFlip = 1;
  b->x = 130;
  b->y = 120;
  BallSpeed = 2.0;
  EXPECT_NEAR(After(b, 1, 0.2), -kPi / 3, 1e-12);
  EXPECT_EQ(BallSpeed, 4.0);
  EXPECT_EQ(b->boostTime, 59);
  // Any other pose: a rising ball passes; a falling one bounces 15..60 degrees to its side.
  PlayerPose = 0;
  EXPECT_EQ(After(b, 1, 0.2), 0.2);
  std::set<int> right, left;
  for (int i = 0; i < 60; ++i) {
    b->x = 130;
    b->y = 120;
    right.insert(static_cast<int>(std::lround(After(b, 1, 2.0) / (kPi / 12))));
    b->x = 100;
    b->y = 120;
    left.insert(static_cast<int>(std::lround(After(b, 1, -2.0) / (kPi / 12))));
  }
  EXPECT_EQ(right, (std::set<int>{1, 2, 3, 4}));
  EXPECT_EQ(left, (std::set<int>{-1, -2, -3, -4}));
}

TEST_F(BallTest, BlocksTurnTheBallOncePerFace) {
  // Two blocks stacked; the ball, moving down and right, meets both on their left faces.
  auto* top = CreateTask<NormalBlockTask>(1, 100, 50);
  auto* below = CreateTask<NormalBlockTask>(1, 100, 62);
  auto* b = Flying(97, 62, 2.0);
  Frame();
  EXPECT_NEAR(BallAngle, -2.0, 1e-12);
  EXPECT_TRUE(top->finished);
  EXPECT_FALSE(below->finished);  // the same face again stops the block walk
  EXPECT_EQ(Played(kSeHitBreak), 1);
  EXPECT_EQ(b->hitMask, 0);
  // Off a top face, and off a bottom face.
  TaskPool_DeleteAll();
  CreateTask<NormalBlockTask>(3, 100, 50);
  b = Flying(112, 47, kPi - 0.3);
  Frame();
  EXPECT_NEAR(BallAngle, 0.3, 1e-12);
  b->x = 112;
  b->y = 65;
  BallAngle = -0.3;
  Frame();
  EXPECT_NEAR(BallAngle, -kPi + 0.3, 1e-12);
}

TEST_F(BallTest, AfterTheScrollTheBallReturnsShootsAndClearsTheStage) {
  auto* b = Flying(40, 60, 0.5);
  CreateTask<NormalBlockTask>(1, 108, 20);
  NormalBlockCount = 1;
  PlayerShieldTime = 10;
  ScrollTaken = 1;
  Frame();
  EXPECT_EQ(b->state, BallTask::kReturning);
  EXPECT_EQ(b->hitShape, kHitNone);
  EXPECT_EQ(PlayerShieldTime, 0);
  Frames(8);
  EXPECT_NEAR(b->x, 40 + (116 - 40) * 8 / 18.0, 1e-9);
  Frames(10);
  EXPECT_EQ(b->state, BallTask::kShooting);
  EXPECT_EQ(b->x, 116);
  // A shot every third frame, straight up; the spin cycles 144, 168, 192, 168.
  std::vector<int> spin;
  for (int i = 0; i < 8; ++i) {
    Frame();
    spin.push_back(b->srcX);
  }
  EXPECT_EQ(spin, (std::vector<int>{168, 192, 192, 168, 168, 144, 144, 168}));
  EXPECT_GE(TaskPool_Count(kLayerAttack), 2);
  // The shots break the block; with nothing left the stage is clear.
  ASSERT_TRUE(([&] {
    for (int i = 0; i < 60 && TaskPool_Count(kLayerBullet) == 0; ++i) Frame();
    return TaskPool_Count(kLayerBullet) == 1;
  }()));
  EXPECT_EQ(NormalBlockCount, 0);
  EXPECT_NE(First<StageClearTask>(kLayerBullet), nullptr);
  EXPECT_EQ(b->state, BallTask::kHeld);
  EXPECT_EQ(b->width, 8);
}

TEST_F(BallTest, ShotsFlyUpUntilTheyHitOrLeave) {
  auto* s = CreateTask<BallShotTask>(50, 20);
  EXPECT_EQ(s->attackPower, 1);
  Frame();
  EXPECT_EQ(s->y, 14);
  Frames(2);
  EXPECT_EQ(s->y, 2);
  Frame();
  EXPECT_TRUE(s->finished);
  auto* t = CreateTask<BallShotTask>(50, 100);
  t->hitCode = 6;
  Frame();
  EXPECT_TRUE(t->finished);
}

TEST_F(BallTest, TheBallVanishesWhenThePlayerIsBeatenAndThePaddleGoes) {
  auto* paddle = CreateTask<PaddleTask>();
  PlayerPose = 96;
  Frame();
  EXPECT_EQ(paddle->hitShape, kHitNone);
  PlayerPose = 192;
  Frame();
  EXPECT_EQ(paddle->hitShape, kHitBox);
  auto* b = Flying(100, 100, 0.5);
  Health = 0;
  Frame();
  EXPECT_TRUE(paddle->finished);
  EXPECT_EQ(b->state, BallTask::kVanishing);
  Frames(119);
  EXPECT_EQ(b->alpha, 255);
  Frames(21);
  EXPECT_EQ(b->alpha, 3);
  EXPECT_FALSE(b->finished);
  Frame();
  EXPECT_TRUE(b->finished);
}

TEST_F(BallTest, DrawingFadeInShakeAndShieldBlink) {
  auto* b = CreateTask<BallTask>();
  b->alpha = 55;
  b->counter = 0;
  Draw();
  // Eight copies 100 pixels out; the first turned by -(0 + pi/180) from straight up.
  ASSERT_EQ(CountPrefix("DrawRectPartGraph"), 8);
  EXPECT_EQ(trace.front(), "SetDrawBlendMode 1 55");
  int ex = static_cast<int>(116 - 100 * std::sin(kPi / 180) - 4);
  int ey = static_cast<int>(186 - 100 * std::cos(kPi / 180) - 4);
  EXPECT_EQ(trace[1], "DrawRectPartGraph " + std::to_string(ex) + " " + std::to_string(ey) + " 144 64 8 8 img=501 t=1 turn=0");
  EXPECT_EQ(trace.back(), "SetDrawBlendMode 0 0");
  // After a floor hit it shakes red within 3 pixels of its place.
  trace.clear();
  b->alpha = 255;
  b->blinkTime = 5;
  Draw();
  ASSERT_EQ(trace.size(), 3u);
  EXPECT_EQ(trace[0], "SetDrawBrightness 255 32 32");
  int dx = 0, dy = 0;
  ASSERT_EQ(std::sscanf(trace[1].c_str(), "DrawRectPartGraph %d %d", &dx, &dy), 2);
  EXPECT_TRUE(dx >= 116 - 7 && dx <= 116 - 1 && dy >= 186 - 7 && dy <= 186 - 1) << trace[1];
  EXPECT_EQ(trace[2], "SetDrawBrightness 255 255 255");
  // Plain, centred; in the shield's last 90 frames only two frames in four.
  trace.clear();
  b->blinkTime = 0;
  for (int t : {200, 89, 88, 87, 86}) {
    PlayerShieldTime = t;
    Draw();
  }
  EXPECT_EQ(Count("DrawRectPartGraph 112 182 144 64 8 8 img=501 t=1 turn=0"), 3);
}

}  // namespace
