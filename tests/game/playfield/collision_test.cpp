// Contact tests, angle helpers, and the shared reactions to hits.
#include <cmath>

#include <gtest/gtest.h>

#include "game/playfield/blocks_items.h"
#include "game/playfield/collision.h"
#include "game/enemies/small_enemies.h"
#include "tests/game/playthrough_fixture.h"

namespace {

using playfield::kPi;

// A bare task with a shape, outside the pool.
struct Shape : Character {
  Shape(double px, double py, uint8_t shape, int hx, int hy, int hw, int hh) : Character(-1, 0, 0) {
    x = px;
    y = py;
    hitShape = shape;
    hitX = hx;
    hitY = hy;
    hitW = hw;
    hitH = hh;
  }
};

Shape Box(double x, double y, int w, int h) { return Shape(x, y, kHitBox, 0, 0, w, h); }
Shape Circle(double x, double y, int r) { return Shape(x, y, kHitCircle, 0, 0, r, 0); }
Shape Segment(double x, double y, int dx, int dy) { return Shape(x, y, kHitSegment, 0, 0, dx, dy); }

TEST(CollisionTest, BoxesAndCirclesTouchOnlyWhenTheyOverlap) {
  // Side by side: one's right edge is the other's left.
  EXPECT_EQ(CheckHitRect(Box(12, 8, 24, 12), Box(36, 8, 24, 12)), 0);
  EXPECT_EQ(CheckHitRect(Box(12, 8, 24, 12), Box(35.5, 8, 24, 12)), 1);
  // A circle exactly its radius from a corner does not touch; a little closer does.
  EXPECT_EQ(CheckHitRect(Circle(100 - 3, 50, 3), Box(100, 50, 24, 12)), 0);
  EXPECT_EQ(CheckHitRect(Circle(100 - 2.1, 50 - 2.1, 3), Box(100, 50, 24, 12)), 1);
  EXPECT_EQ(CheckHitRect(Circle(100 - 2.2, 50 - 2.2, 3), Box(100, 50, 24, 12)), 0);
  // Circles: strictly closer than the sum of the radii.
  EXPECT_EQ(CheckHitRect(Circle(0, 0, 3), Circle(5, 0, 2)), 0);
  EXPECT_EQ(CheckHitRect(Circle(0, 0, 3), Circle(4.9, 0, 2)), 1);
  // A shape of 0 never touches.
  Shape none = Box(0, 0, 50, 50);
  none.hitShape = kHitNone;
  EXPECT_EQ(CheckHitRect(none, Box(0, 0, 50, 50)), 0);
  EXPECT_EQ(CheckHitRect(Box(0, 0, 50, 50), none), 0);
}

TEST(CollisionTest, SegmentsAgainstCirclesBoxesAndSegments) {
  // A segment's end within the radius (included), and a perpendicular pass.
  EXPECT_EQ(CheckHitRect(Segment(0, 0, 10, 0), Circle(13, 0, 3)), 1);
  EXPECT_EQ(CheckHitRect(Segment(0, 0, 10, 0), Circle(13.1, 0, 3)), 0);
  EXPECT_EQ(CheckHitRect(Circle(5, 2.9, 3), Segment(0, 0, 10, 0)), 1);
  EXPECT_EQ(CheckHitRect(Circle(5, 3.1, 3), Segment(0, 0, 10, 0)), 0);
  // A point-sized segment is measured from its point.
  EXPECT_EQ(CheckHitRect(Segment(5, 5, 0, 0), Circle(6, 6, 2)), 1);
  // Segment against a box: start inside, crossing an edge, or clear of it.
  EXPECT_EQ(CheckHitRect(Segment(105, 55, 1, 1), Box(100, 50, 24, 12)), 1);
  EXPECT_EQ(CheckHitRect(Box(100, 50, 24, 12), Segment(90, 40, 0, 40)), 0);
  EXPECT_EQ(CheckHitRect(Box(100, 50, 24, 12), Segment(110, 40, 0, 40)), 1);  // vertical, through both edges
  EXPECT_EQ(CheckHitRect(Segment(130, 56, -10, 0), Box(100, 50, 24, 12)), 1);
  // The box's position is taken in whole pixels: 100.9 counts as 100.
  EXPECT_EQ(CheckHitRect(Segment(100.5, 40, 0, 40), Box(100.9, 50, 24, 12)), 1);
  // Segments: crossing, touching at an end, parallel, and in line.
  EXPECT_EQ(CheckHitRect(Segment(0, 0, 10, 10), Segment(0, 10, 10, -10)), 1);
  EXPECT_EQ(CheckHitRect(Segment(0, 0, 10, 0), Segment(10, 0, 0, 10)), 1);
  EXPECT_EQ(CheckHitRect(Segment(0, 0, 10, 0), Segment(0, 1, 10, 0)), 0);
  EXPECT_EQ(CheckHitRect(Segment(0, 0, 10, 0), Segment(5, 0, 10, 0)), 1);
  EXPECT_EQ(CheckHitRect(Segment(0, 0, 10, 0), Segment(11, 0, 10, 0)), 0);
}

TEST(CollisionTest, ABallReportsOnlyTheFaceItMovesInto) {
  // A 24 x 12 block at (100, 50); the ball (radius 4) is B.
  Shape block = Box(100, 50, 24, 12);
  BallAngle = kPi;  // straight down
  EXPECT_EQ(CheckHitRect(block, Circle(112, 47, 4)), kFaceTop);
  BallAngle = 0.3;  // up and right: touching the top from above says nothing
  EXPECT_EQ(CheckHitRect(block, Circle(112, 47, 4)), 0);
  BallAngle = -0.3;
  EXPECT_EQ(CheckHitRect(block, Circle(112, 65, 4)), kFaceBottom);
  BallAngle = 2.0;  // down and right
  EXPECT_EQ(CheckHitRect(block, Circle(97, 56, 4)), kFaceLeft);
  EXPECT_EQ(CheckHitRect(block, Circle(127, 56, 4)), 0);
  BallAngle = -1.0;  // up and left
  EXPECT_EQ(CheckHitRect(block, Circle(127, 56, 4)), kFaceRight);
  // A bigger circle only reports contact.
  BallAngle = kPi;
  EXPECT_EQ(CheckHitRect(block, Circle(112, 45, 6)), 1);
  // On a square box the corner angle is pi/4 (not the 1.107 of a 24 x 12 block): a
  // ball 0.87 radians left of straight up from the centre meets the left face.
  Shape square = Box(100, 50, 24, 24);
  BallAngle = 2.5;
  EXPECT_EQ(CheckHitRect(square, Circle(99, 51, 4)), kFaceLeft);
}

TEST(CollisionTest, AngleHelpers) {
  EXPECT_EQ(AngleBetween(0, -100, 0, 0), kNoAngle);
  EXPECT_EQ(AngleBetween(0, 0, 1, 0), kNoAngle);
  EXPECT_NEAR(AngleBetween(0, -100, 5, 0), kPi / 2, 1e-12);
  EXPECT_NEAR(AngleBetween(0, -100, -5, 0), -kPi / 2, 1e-12);
  EXPECT_NEAR(AngleBetween(0, -100, 0, 7), kPi, 1e-12);
  EXPECT_NEAR(std::fabs(AngleBetween(0, -100, -12, -6)), 1.1071487, 1e-6);
  // Parallel vectors whose cosine rounds to just above 1 (or below -1) still give an angle.
  double same = AngleBetween(0.37, -0.11, 0.111, -0.033);
  EXPECT_FALSE(std::isnan(same));
  EXPECT_EQ(same, 0.0);
  EXPECT_NEAR(std::fabs(AngleBetween(0.37, -0.11, -0.111, 0.033)), kPi, 1e-9);

  Point2 p = RotatePoint(10, 0, 0, 0, kPi / 2);  // a quarter turn clockwise on screen
  EXPECT_NEAR(p.x, 0, 1e-12);
  EXPECT_NEAR(p.y, 10, 1e-12);
  p = RotatePoint(5, -95, 5, 5, kPi / 6);
  EXPECT_NEAR(p.x, 5 + 50, 1e-9);
  EXPECT_NEAR(p.y, 5 - 100 * std::cos(kPi / 6), 1e-9);

  Point2 v = VectorToward(0, 0, 3, 4, 10);
  EXPECT_DOUBLE_EQ(v.x, 6);
  EXPECT_DOUBLE_EQ(v.y, 8);
  v = VectorToward(2, 2, 2, 2, 3);
  EXPECT_EQ(v.x, 0);
  EXPECT_EQ(v.y, 3);
}

using SharedHits = playfield::Playfield;

TEST_F(SharedHits, EnemiesFlashAndIgnoreWeakerHitsUntilTheFlashEnds) {
  EnemyBlockCount = 2;
  auto* n = CreateTask<PurpleNinjaTask>(100);  // NORMAL: 8 health, 400 points
  ASSERT_NE(n, nullptr);
  auto hit = [&](int power) {
    n->hitCode = static_cast<uint8_t>(power);
    Frame();
  };
  hit(2);
  EXPECT_EQ(n->life, 6);
  EXPECT_EQ(n->flashTimer, 5);
  EXPECT_EQ(Played(kSeHitEnemy), 1);
  // A weaker or equal hit within the flash does nothing; a stronger one hurts.
  hit(1);
  hit(2);
  EXPECT_EQ(n->life, 6);
  hit(3);
  EXPECT_EQ(n->life, 3);
  Frames(6);
  EXPECT_EQ(n->flashTimer, 0);
  // After the flash a weak hit hurts again.
  hit(1);
  EXPECT_EQ(n->life, 2);
  hit(2);
  EXPECT_TRUE(n->finished);
  EXPECT_EQ(Played(kSeHitEnemy), 3);
  EXPECT_EQ(Played(kSeDefeat), 1);
  EXPECT_EQ(Score, 400);
  EXPECT_EQ(EnemyBlockCount, 1);
  // The smoke is placed from half the sprite width, both ways: (100 + 16 - 16, 184 + 16 - 16).
  auto* smoke = First<DoronSmokeTask>(kLayerEnemy);
  ASSERT_NE(smoke, nullptr);
  EXPECT_EQ(smoke->x, 100);
  EXPECT_EQ(smoke->y, 184);
  EXPECT_EQ(TaskPool_Count(kLayerItem), 0);  // one enemy is still left
}

TEST_F(SharedHits, TheLastEnemyDropsTheScrollAtItsCentre) {
  EnemyBlockCount = 1;
  auto* n = CreateTask<SumouTask>(60);  // box (4, 12, 24, 44) at (60, 168)
  n->score = 600;
  DefeatEnemy(*n);
  EXPECT_EQ(EnemyBlockCount, 0);
  auto* scroll = First<ItemTask>(kLayerItem);
  ASSERT_NE(scroll, nullptr);
  EXPECT_EQ(scroll->itemKind, kItemScroll);
  EXPECT_EQ(scroll->x, 60 + 4 + 12 - 8);
  EXPECT_EQ(scroll->y, 168 + 12 + 22 - 8);
  EXPECT_EQ(scroll->speedX, 0.0);
}

TEST_F(SharedHits, BrokenBlocksFeedTheGaugesAndDropItems) {
  auto breakOne = [] {
    auto* b = CreateTask<NormalBlockTask>(1, 36, 20);
    NormalBlockCount += 1;
    HitNormalBlock(*b);
    b->finished = 1;
  };
  // A new game starts the item gauge at 24: the 24th break drops an item.
  Health = 4;
  for (int i = 0; i < 23; ++i) breakOne();
  EXPECT_EQ(TaskPool_Count(kLayerItem), 0);
  EXPECT_EQ(PowerGauge, 23);
  breakOne();
  ASSERT_EQ(TaskPool_Count(kLayerItem), 1);
  auto* item = First<ItemTask>(kLayerItem);
  EXPECT_EQ(item->itemKind, kItemRiceBall);
  EXPECT_EQ(item->x, 36 + 12 - 8);
  EXPECT_EQ(item->y, 20 + 6 - 8);
  EXPECT_EQ(ItemGauge, 0);
  EXPECT_EQ(Score, 2400);
  // At full health the drop is money; the power gauge stops at 32.
  Health = 5;
  for (int i = 0; i < 48; ++i) breakOne();
  EXPECT_EQ(PowerGauge, 32);
  auto items = All<ItemTask>(kLayerItem);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[1]->itemKind, kItemMoney);
  EXPECT_EQ(items[1]->srcX, 64);
  // After the scroll: two coins a break, the item gauge rises by 2, the power gauge not.
  TaskPool_DeleteAll();
  ScrollTaken = 1;
  PowerGauge = 3;
  breakOne();
  items = All<ItemTask>(kLayerItem);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0]->itemKind, kItemCoin);
  EXPECT_EQ(items[0]->speedX, 0.5);
  EXPECT_EQ(items[1]->speedX, -0.5);
  EXPECT_EQ(ItemGauge, 2);
  EXPECT_EQ(PowerGauge, 3);
  // While a boss's gauge is up: five knives at the boss instead of coins.
  TaskPool_DeleteAll();
  BossPhase = 2;
  BossGaugeFull = 100;
  BossCenterX = 48;  // straight above the block's centre (48, 26)
  BossCenterY = -74;
  breakOne();
  auto knives = All<KunaiShotTask>(kLayerAttack);
  ASSERT_EQ(knives.size(), 5u);
  EXPECT_NEAR(knives[2]->flightAngle, 0.0, 1e-9);  // the middle one straight at the boss
  EXPECT_NEAR(knives[0]->flightAngle, -kPi / 9, 1e-9);
  EXPECT_NEAR(knives[4]->flightAngle, kPi / 9, 1e-9);
  EXPECT_EQ(TaskPool_Count(kLayerItem), 0);
}

}  // namespace
