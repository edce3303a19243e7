// Foot soldiers, ninjas, the wrestler and the missiles.
#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "engine/draw/draw.h"
#include "game/enemies/small_enemies.h"
#include "tests/game/playthrough_fixture.h"

namespace {

using namespace playfield;

class EnemiesTest : public Playfield {
 protected:
  void SetUp() override {
    Playfield::SetUp();
    PlayerX = 150;
    PlayerY = 194;
    EnemyBlockCount = 5;
  }
};

TEST_F(EnemiesTest, HealthAndScoreByDifficulty) {
  struct Row {
    int easyLife, normalLife, easyScore, normalScore;
  };
  for (int difficulty = 0; difficulty < 2; ++difficulty) {
    Settings.difficulty = difficulty;
    Character* made[] = {CreateTask<AshigaruMarugoshiTask>(40, 11), CreateTask<PurpleNinjaTask>(40),
                         CreateTask<RedNinjaTask>(40, 120), CreateTask<SumouTask>(40)};
    const Row rows[] = {{3, 6, 100, 300}, {4, 8, 200, 400}, {3, 6, 100, 300}, {6, 12, 300, 600}};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(made[i]->life, difficulty ? rows[i].normalLife : rows[i].easyLife) << i;
      EXPECT_EQ(made[i]->score, difficulty ? rows[i].normalScore : rows[i].easyScore) << i;
      EXPECT_EQ(made[i]->kind, -2);
      EXPECT_EQ(made[i]->layer, kLayerEnemy);
      EXPECT_EQ(made[i]->flip, 0);  // the player is to the right
    }
    TaskPool_DeleteAll();
  }
  EXPECT_EQ(CreateTask<SumouTask>(150)->flip, 1);  // PlayerX <= x: facing left
}

TEST_F(EnemiesTest, SoldiersWalkTurnAtWallsAndTakeTheirCompanionAlong) {
  auto* s = CreateTask<AshigaruMarugoshiTask>(200, 12);
  Frame();
  auto* flag = First<AshigaruFlagTask>(kLayerBossPart);
  ASSERT_NE(flag, nullptr);
  EXPECT_EQ(s->x, 199);  // facing the player, left
  EXPECT_EQ(flag->x, 199 + 3);
  EXPECT_EQ(flag->y, 144);
  // Left until the box reaches the wall (x + 8 <= 12), then right.
  Frames(200);
  EXPECT_EQ(s->flip, 0);
  EXPECT_EQ(flag->x, s->x + 13);
  std::vector<int> walk;
  for (int i = 0; i < 20; i += 4) {
    walk.push_back(s->srcX);
    Frames(4);
  }
  std::sort(walk.begin(), walk.end());
  EXPECT_EQ(walk, (std::vector<int>{0, 32, 64, 96, 128}));
  // Beaten: the flag ends in the same frame.
  s->hitCode = 100;
  Frame();
  EXPECT_TRUE(s->finished);
  EXPECT_TRUE(flag->finished);
}

TEST_F(EnemiesTest, ASoldierWhoseCompanionIsGoneCarriesOnAlone) {
  auto* s = CreateTask<AshigaruMarugoshiTask>(100, 13);
  Frame();
  auto* katana = First<AshigaruKatanaTask>(kLayerBossPart);
  ASSERT_NE(katana, nullptr);
  katana->finished = 1;  // ended by someone else: deleted at the next frame
  PlayerX = s->x + 40;
  Frames(60);  // the soldier lunges without touching the deleted katana, and makes no other
  EXPECT_EQ(TaskPool_Count(kLayerBossPart), 0);
  EXPECT_EQ(s->hitMask, 2);
  s->hitCode = 100;
  Frame();
  EXPECT_TRUE(s->finished);
}

TEST_F(EnemiesTest, TheKatanaSoldierLungesOnlyAtAPlayerAheadOnTheFloor) {
  auto* s = CreateTask<AshigaruMarugoshiTask>(100, 13);
  PlayerX = 60;  // now behind it: it keeps facing right, away from the player
  Frames(10);
  EXPECT_EQ(s->hitMask, 0);
  auto* katana = First<AshigaruKatanaTask>(kLayerBossPart);
  ASSERT_NE(katana, nullptr);
  EXPECT_EQ(katana->hitShape, kHitNone);
  // Ahead within 80 pixels but above it (jumping): no lunge.
  PlayerX = s->x + 60;
  PlayerY = 150;
  Frames(3);
  EXPECT_EQ(s->hitMask, 0);
  PlayerY = 194;
  Frame();
  ASSERT_EQ(s->hitMask, 1);
  const double start = s->x;
  std::vector<int> frames;
  for (int i = 1; i <= 26; ++i) {
    Frame();
    frames.push_back(s->srcX);
  }
  EXPECT_EQ(frames[4], 0);
  EXPECT_EQ(frames[5], 160);  // counter 6
  EXPECT_EQ(frames[15], 192);  // counter 16
  EXPECT_EQ(frames[25], 224);  // counter 26
  EXPECT_EQ(katana->hitShape, kHitBox);
  EXPECT_EQ(katana->x, s->x + 32);
  EXPECT_GT(s->x, start);
  // The lunge slows by 0.2 a frame to a stop (about 20 frames, 42 pixels), then recovers.
  Frames(25);
  EXPECT_EQ(s->hitMask, 2);
  EXPECT_NEAR(s->x - start, 4.0 + 3.8 + 3.6 + 3.4 + 3.2 + 3.0 + 2.8 + 2.6 + 2.4 + 2.2 + 2.0 + 1.8 + 1.6 + 1.4 + 1.2 + 1.0 +
                                0.8 + 0.6 + 0.4 + 0.2,
              0.3);
  EXPECT_EQ(katana->srcY, 16);
  Frames(30);
  EXPECT_EQ(katana->hitShape, kHitNone);
  EXPECT_EQ(katana->visible, 0);
}

TEST_F(EnemiesTest, ALungeAtTheWallSlowsWithoutMoving) {
  auto* s = CreateTask<AshigaruMarugoshiTask>(200, 13);
  PlayerX = 150;
  Frame();  // facing left; the player is 49 pixels ahead
  ASSERT_EQ(s->hitMask, 1);
  s->flip = 0;  // now it lunges right, into the wall
  s->x = 204;   // its box's right edge at 228
  Frames(60);
  EXPECT_EQ(s->x, 204);
  EXPECT_EQ(s->hitMask, 2);
}

TEST_F(EnemiesTest, ThePurpleNinjaThrowsStarsAhead) {
  auto* n = CreateTask<PurpleNinjaTask>(100);
  Frames(71);
  EXPECT_EQ(n->hitMask, 1);
  EXPECT_EQ(n->srcX, 32);
  Frames(19);
  EXPECT_EQ(TaskPool_Count(kLayerBullet), 0);
  Frame();
  auto* star = First<ShurikinTask>(kLayerBullet);
  ASSERT_NE(star, nullptr);
  EXPECT_EQ(n->srcX, 64);
  EXPECT_EQ(star->vx, 3.0);
  EXPECT_EQ(star->vy, 0.0);
  EXPECT_EQ(star->x, 116 + 3.0);  // thrown from (x + 16, y + 12), then moved once
  EXPECT_EQ(star->y, 196);
  Frames(10);
  EXPECT_EQ(n->hitMask, 0);
  EXPECT_EQ(n->srcX, 0);
  // Facing left it throws from its left edge.
  PlayerX = 20;
  Frames(70 + 20);
  auto stars = All<ShurikinTask>(kLayerBullet);
  ASSERT_FALSE(stars.empty());
  EXPECT_EQ(stars.back()->vx, -3.0);
  EXPECT_EQ(stars.back()->x, 100 - 3.0);
}

TEST_F(EnemiesTest, TheRedNinjaBobsAndDropsFireBombs) {
  auto* r = CreateTask<RedNinjaTask>(100, 120);
  double low = 120, high = 120;
  for (int i = 0; i <= 80; ++i) {
    Frame();
    low = std::min(low, r->y);
    high = std::max(high, r->y);
    if (i == 40) {
      EXPECT_EQ(r->charging, 1);
    }
  }
  EXPECT_LT(low, 118);
  EXPECT_GT(high, 121);
  auto* bomb = First<KatonTask>(kLayerBullet);
  ASSERT_NE(bomb, nullptr);
  EXPECT_EQ(r->charging, 0);
  // Thrown from (x + 20, y + 15), whole pixels; it has not started falling yet.
  EXPECT_EQ(bomb->x, static_cast<int>(r->x) + 20);
  EXPECT_EQ(bomb->y, static_cast<int>(r->y) + 15);
  // The next charge, 140 frames on; the hand's fire is drawn two frames in four.
  Frames(100);
  EXPECT_EQ(r->charging, 1);
  ASSERT_EQ(r->counter % 4, 1);
  trace.clear();
  r->Draw();
  EXPECT_EQ(CountPrefix("DrawRectPartGraph"), 2);
  r->counter += 2;
  trace.clear();
  r->Draw();
  EXPECT_EQ(CountPrefix("DrawRectPartGraph"), 1);
}

TEST_F(EnemiesTest, TheWrestlerWalksThenJumps) {
  auto* s = CreateTask<SumouTask>(60);
  Frames(75);
  EXPECT_EQ(s->hitMask, 0);
  EXPECT_EQ(s->x, 60 + 75);
  Frame();
  EXPECT_EQ(s->hitMask, 1);
  EXPECT_EQ(s->width, 48);
  EXPECT_EQ(s->hitX, 12);
  EXPECT_EQ(s->x, 60 + 76 - 8);
  Frames(15);
  EXPECT_EQ(s->srcX, 48);
  EXPECT_EQ(s->y, 168);
  Frame();  // counter 16: the leap
  EXPECT_EQ(s->srcX, 96);
  EXPECT_EQ(s->y, 164);
  double peak = s->y;
  int frames = 0;
  while (s->hitMask == 1 && frames < 100) {
    Frame();
    peak = std::min(peak, s->y);
    ++frames;
  }
  EXPECT_EQ(s->hitMask, 2);
  EXPECT_EQ(s->y, 224 - 56);
  EXPECT_NEAR(peak, 164 - 24.7, 1e-6);
  Frames(20);
  EXPECT_EQ(s->hitMask, 0);
  EXPECT_EQ(s->width, 32);
  EXPECT_EQ(s->hitX, 4);
}

TEST_F(EnemiesTest, FireBombsLandAndBurnAsAGrowingFlame) {
  auto* k = CreateTask<KatonTask>(100, 150);
  int frames = 0;
  while (k->hitMask == 0 && frames < 100) {
    Frame();
    ++frames;
  }
  EXPECT_EQ(k->layer, kLayerBossPart);
  EXPECT_EQ(Played(kSeFire), 1);
  EXPECT_EQ(k->x, 96);
  EXPECT_EQ(k->width, 16);
  EXPECT_EQ(k->y, 216);
  std::vector<int> heights;
  for (int i = 0; i < 8; ++i) {
    Frame();
    heights.push_back(k->height);
  }
  EXPECT_EQ(heights, (std::vector<int>{8, 16, 16, 24, 24, 32, 32, 32}));
  EXPECT_EQ(k->y, 224 - 32);
  trace.clear();
  k->Draw();
  EXPECT_EQ(trace.size(), 1u);
  EXPECT_EQ(trace[0].rfind("DrawStretchRectPartGraph 96 192 112 224 ", 0), 0u) << trace[0];
  Frames(112);  // burning until counter 120
  EXPECT_EQ(k->height, 32);
  Frames(8);
  EXPECT_EQ(k->height, 0);
  EXPECT_TRUE(k->finished);
}

TEST_F(EnemiesTest, StarsAndBombsAreSpentByThePlayerAndTheShield) {
  auto* star = CreateTask<ShurikinTask>(100, 100, 200.0, 100.0, 2.0);
  EXPECT_EQ(star->vx, 2.0);
  Frame();
  EXPECT_EQ(star->srcX, 0);
  Frames(3);
  EXPECT_EQ(star->srcX, 16);
  star->hitCode = 9;
  Frame();
  EXPECT_TRUE(star->finished);
  auto* bomb = CreateTask<KatonTask>(100, 100);
  bomb->hitCode = 1;
  Frame();
  EXPECT_TRUE(bomb->finished);
  // A star leaving the playfield ends.
  auto* away = CreateTask<ShurikinTask>(8, 100, -3.0, 0.0);
  Frame();
  EXPECT_TRUE(away->finished);
}

TEST_F(EnemiesTest, KnivesFlyAlongTheirLineWithASegmentAlongIt) {
  auto* down = CreateTask<KunaiShotTask>(100, 50, 0.0, 4.0, true);
  EXPECT_EQ(down->layer, kLayerBullet);
  EXPECT_EQ(down->srcX, 224);
  EXPECT_NEAR(down->vy, 4.0, 1e-12);
  EXPECT_NEAR(std::fabs(down->flightAngle), kPi, 1e-12);
  EXPECT_EQ(down->hitShape, kHitSegment);
  EXPECT_EQ(down->hitX, 0);
  EXPECT_EQ(down->hitY, -8);
  EXPECT_EQ(down->hitH, 16);
  auto* turned = CreateTask<KunaiShotTask>(100, 50, kPi / 2, 2.0, true);  // straight down turned a quarter: left
  EXPECT_NEAR(turned->vx, -2.0, 1e-12);
  EXPECT_EQ(turned->hitX, 8);
  EXPECT_EQ(turned->hitW, -16);
  BossCenterX = 160;
  BossCenterY = 50;
  auto* mine = CreateTask<KunaiShotTask>(100, 50, 0.0, 4.0, false);
  EXPECT_EQ(mine->layer, kLayerAttack);
  EXPECT_EQ(mine->attackPower, 5);
  EXPECT_NEAR(mine->vx, 4.0, 1e-12);
  EXPECT_NEAR(mine->flightAngle, kPi / 2, 1e-12);
  Frame();
  EXPECT_NEAR(mine->x, 104, 1e-12);
  trace.clear();
  mine->Draw();
  EXPECT_EQ(trace[0], "DrawRectRotateGraph 104 50 216 64 3 16 1.000 1.5708 img=501 t=1 turn=0");
  // The player's knife ignores hit codes 1 and 9 but ends on an enemy (6).
  mine->hitCode = 9;
  Frame();
  EXPECT_FALSE(mine->finished);
  mine->hitCode = 6;
  Frame();
  EXPECT_TRUE(mine->finished);
  down->hitCode = 1;
  Frame();
  EXPECT_TRUE(down->finished);
}

TEST_F(EnemiesTest, EnemiesFlashInvertedAndShowTheirGauge) {
  auto* s = CreateTask<SumouTask>(60);
  s->hitCode = 3;
  Frame();
  trace.clear();
  s->Draw();
  ASSERT_EQ(trace.size(), 5u);
  EXPECT_EQ(trace[0], "SetDrawBlendMode 10 255");
  EXPECT_EQ(trace[1].rfind("DrawRectPartGraph 61 168 0 0 32 56 img=513 t=1 turn=0", 0), 0u) << trace[1];
  EXPECT_EQ(trace[2], "SetDrawBlendMode 0 0");
  // The gauge: 9 of 12 health is 24 of 32 pixels, under the sprite's centre.
  EXPECT_EQ(trace[4], "DrawFillBox 61 230 85 234 c=" + std::to_string(GetColor(255, 255, 0)));
  Frames(6);
  trace.clear();
  s->Draw();
  EXPECT_EQ(trace[0].rfind("DrawRectPartGraph", 0), 0u);
}

}  // namespace
