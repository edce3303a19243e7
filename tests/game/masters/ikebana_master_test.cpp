// The flower-arranging master and its flowers, stepped frame by frame on a bare playfield.
#include "game/masters/ikebana_master.h"

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <string>
#include <type_traits>

#include "game/playfield/blocks_items.h"
#include "game/playfield/collision.h"
#include "game/harness.h"
#include "game/playfield/stage.h"
#include "tests/game/game_test_util.h"
#include "tests/game/playthrough_fixture.h"

namespace {

using playfield::kEnemySheetBase;

class IkebanaTest : public playfield::Playfield {
 protected:
  static constexpr int kSheetImg = kEnemySheetBase + 6;

  // A master made for a cell whose centre is at (cx, cy), already awake and fighting.
  IkebanaMasterTask* AwakeMaster(int cx, int cy) {
    auto* m = CreateTask<IkebanaMasterTask>(53, cx, cy);
    ScrollTaken = 1;
    Frame();
    BossGaugeShown = m->life;
    Frame();
    EXPECT_EQ(m->hitMask, 2);
    return m;
  }

  // Steps until the predicate holds; false after `limit` frames.
  template <class F>
  bool RunUntil(F done, int limit) {
    for (int i = 0; i < limit; ++i) {
      if (done()) return true;
      Frame();
    }
    return done();
  }

  static std::string PartLine(int x, int y, int sx, int sy, int w, int h, int flip = 0) {
    return "DrawRectPartGraph " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(sx) + " " +
           std::to_string(sy) + " " + std::to_string(w) + " " + std::to_string(h) +
           " img=" + std::to_string(kSheetImg) + " t=1 turn=" + std::to_string(flip);
  }
};

TEST_F(IkebanaTest, WaitsDarkAndThrowsRedFlowersTowardThePlayer) {
  PlayerX = 200;
  auto* m = CreateTask<IkebanaMasterTask>(53, 140, 20);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->x, 92);
  EXPECT_EQ(m->y, 24);
  EXPECT_EQ(m->hitShape, kHitNone);
  EXPECT_EQ(m->throwPeriod, 280);
  EXPECT_EQ(BossPhase, 1);
  EXPECT_EQ(std::strncmp(BossNameLine1, "IKEBANA ", 8), 0);
  EXPECT_EQ(std::strncmp(BossNameLine2, "  MASTER", 8), 0);

  // Counters 40..199 of the first cycle are skipped: the first throw is at 280 + 60.
  Frames(325);
  EXPECT_EQ(m->leftHandX, 192);  // the left hand holds: the player is right of the centre
  EXPECT_EQ(m->weapon, IkebanaMasterTask::kRed);
  trace.clear();
  m->Draw();
  ASSERT_EQ(trace.size(), 6u);
  EXPECT_EQ(trace[0], "SetDrawBrightness 64 64 64");
  EXPECT_EQ(trace[1], PartLine(92, 24, 192, 0, 48, 80));
  EXPECT_EQ(trace[2], PartLine(140, 24, 144, 0, 48, 80));
  EXPECT_EQ(trace[5], PartLine(103, 17, 104, 144, 24, 24));

  trace.clear();
  Frames(15);
  EXPECT_EQ(All<YellowRedFlowerTask>(kLayerBossPart).size(), 0u);
  Frame();
  auto flowers = All<YellowRedFlowerTask>(kLayerBossPart);
  ASSERT_EQ(flowers.size(), 1u);
  EXPECT_FALSE(flowers[0]->yellow);
  EXPECT_EQ(flowers[0]->x, 92 + 20);
  EXPECT_NEAR(flowers[0]->y, 24 + 52 + 2.85, 1e-9);  // its first fall step in the same frame
  EXPECT_EQ(Played(kSeThrow), 1);
  EXPECT_EQ(m->leftHandX, 288);
  Frames(12);
  EXPECT_EQ(m->leftHandX, 0);
  EXPECT_EQ(m->rightHandX, 48);

  Settings.difficulty = 0;
  auto* easy = CreateTask<IkebanaMasterTask>(53, 60, 20);
  EXPECT_EQ(easy->throwPeriod, 420);
}

TEST_F(IkebanaTest, WakesOnTheScrollAndTakesHits) {
  PlayerX = 20;
  auto* m = CreateTask<IkebanaMasterTask>(53, 140, 20);
  Frame();
  ScrollTaken = 1;
  Frame();
  EXPECT_EQ(m->hitMask, 1);
  EXPECT_EQ(BossPhase, 2);
  EXPECT_EQ(BossGaugeFull, 640);
  EXPECT_STREQ(CurrentTune, "./bgm/boss2.pttune");
  Frames(5);
  EXPECT_EQ(m->hitShape, kHitNone);  // the gauge is still filling
  BossGaugeShown = 640;
  Frame();
  EXPECT_EQ(m->hitMask, 2);
  EXPECT_EQ(m->hitShape, kHitBox);
  EXPECT_EQ(m->visible, 1);
  EXPECT_EQ(m->work[0], 1.0);  // the player is to the left: walks right first
  EXPECT_EQ(BossCenterX, m->x + 48);
  EXPECT_EQ(BossCenterY, m->y + 42);

  trace.clear();
  m->hitCode = 5;
  Frame();
  EXPECT_EQ(m->life, 635);
  EXPECT_EQ(Played(kSeHitBoss), 1);
  m->hitCode = 5;  // no more than the flash already took
  Frame();
  EXPECT_EQ(m->life, 635);
  m->hitCode = 8;  // a stronger hit counts in full
  Frame();
  EXPECT_EQ(m->life, 627);

  // A hit that leaves exactly half switches to the second half at once.
  m->life = 325;
  Frames(3);
  m->hitCode = 5;
  Frame();
  EXPECT_EQ(m->life, 320);
  EXPECT_EQ(m->hitMask, 3);
  EXPECT_EQ(m->work[0], 0.0);
  EXPECT_EQ(m->counter, 1);
}

TEST_F(IkebanaTest, FirstHalfThrowsWhiteFlowersUntilBothHalvesHoldOne) {
  PlayerX = 20;
  auto* m = AwakeMaster(140, 20);
  // The centre stays right of the middle for the whole first cycle.
  ASSERT_TRUE(RunUntil([&] { return !All<WhiteFlowerTask>(kLayerBossPart).empty(); }, 200));
  auto* w = All<WhiteFlowerTask>(kLayerBossPart)[0];
  EXPECT_EQ(w->x, PixelOf(m->x) + 64);
  EXPECT_EQ(w->y, PixelOf(m->y) + 64 + 5);
  EXPECT_EQ(w->flip, 1);
  EXPECT_EQ(m->rightHandX, 336);
  EXPECT_EQ(m->leftHandX, 96);

  // Both halves taken: a red flower from the hand on the player's side (left of it here).
  w->finished = 1;
  m->whiteSides = 3;
  trace.clear();
  ASSERT_TRUE(RunUntil([&] { return !All<YellowRedFlowerTask>(kLayerBossPart).empty(); }, 200));
  auto* r = All<YellowRedFlowerTask>(kLayerBossPart)[0];
  EXPECT_FALSE(r->yellow);
  EXPECT_EQ(r->x, PixelOf(m->x) + 52);
  EXPECT_NEAR(r->y, PixelOf(m->y) + 52 + 2.85, 1e-9);
  EXPECT_EQ(All<WhiteFlowerTask>(kLayerBossPart).size(), 0u);

  // It walks on two updates of every five and turns at the walls.
  for (int i = 0; i < 600; ++i) {
    Frame();
    ASSERT_GE(m->x, 11.0);
    ASSERT_LE(m->x + m->width, 229.0);
  }
}

TEST_F(IkebanaTest, SecondHalfAlternatesYellowAndBlue) {
  PlayerX = 100;
  auto* m = AwakeMaster(120, 20);
  m->life = 320;
  Frame();
  ASSERT_EQ(m->hitMask, 3);
  trace.clear();
  Frames(39);
  EXPECT_EQ(m->turn, 0);
  Frame();  // counter 40: chooses
  EXPECT_EQ(m->turn, 1);
  EXPECT_EQ(m->weapon, IkebanaMasterTask::kYellow);
  EXPECT_NE(m->work[0], 0.0);
  Frames(20);
  auto yellows = All<YellowRedFlowerTask>(kLayerBossPart);
  ASSERT_EQ(yellows.size(), 1u);
  EXPECT_TRUE(yellows[0]->yellow);
  EXPECT_EQ(Played(kSeThrow), 1);

  // The odd turn throws a blue flower while fewer than two walk.
  Frames(140);
  EXPECT_EQ(m->weapon, IkebanaMasterTask::kBlue);
  ASSERT_TRUE(RunUntil([&] { return !All<BlueFlowerTask>(kLayerBossPart).empty(); }, 30));
  auto blues = All<BlueFlowerTask>(kLayerBossPart);
  EXPECT_EQ(blues[0]->x, PixelOf(m->x) + 48);
  EXPECT_EQ(blues[0]->y, PixelOf(m->y) + 48 + 5);

  // With two walking, the odd turn throws nothing at all.
  auto nextChoice = [&] {
    Frame();
    return RunUntil([&] { return m->counter % 160 == 41; }, 160);
  };
  ASSERT_TRUE(nextChoice());
  EXPECT_EQ(m->turn, 3);
  EXPECT_EQ(m->weapon, IkebanaMasterTask::kYellow);
  m->blueCount = 2;
  ASSERT_TRUE(nextChoice());
  EXPECT_EQ(m->turn, 4);
  EXPECT_EQ(m->weapon, IkebanaMasterTask::kNothing);
  EXPECT_EQ(m->leftHandX, 0);
  trace.clear();
  Frames(40);
  EXPECT_EQ(Played(kSeThrow), 0);
}

TEST_F(IkebanaTest, DeathEndsEveryFlowerAndClearsTheBoss) {
  PlayerX = 20;
  Health = 5;
  auto* m = AwakeMaster(140, 20);
  CreateTask<BlueFlowerTask>(100, 192, m);
  CreateTask<SeedBulletTask>(100, 100, 20.0, 200.0, 2.0);
  CreateTask<PetalBulletTask>(100, 100, 3.0, 3.0, 1, false);
  Frame();
  m->life = 1;
  m->hitCode = 3;
  trace.clear();
  Frame();
  EXPECT_EQ(m->hitMask, 5);
  EXPECT_GE(Played(kSeDefeat), 1);
  EXPECT_EQ(CurrentTune[0], '\0');
  Frames(12);  // an opening blue flower dies once it walks
  EXPECT_EQ(All<SeedBulletTask>(kLayerBullet).size(), 0u);
  EXPECT_EQ(All<PetalBulletTask>(kLayerBullet).size(), 0u);
  EXPECT_EQ(All<BlueFlowerTask>(kLayerBossPart).size(), 0u);

  int scoreBefore = Score;
  ASSERT_TRUE(RunUntil([&] { return BossPhase == 3; }, 500));
  EXPECT_EQ(Score - scoreBefore, 20000);
  int money = 0;
  for (auto* item : All<ItemTask>(kLayerItem)) money += item->itemKind == kItemMoney;
  EXPECT_EQ(money, 3);
}

TEST_F(IkebanaTest, RedFlowerBurstsIntoPetalsThatLeaveInOrder) {
  BossGaugeFull = 640;
  PlayerX = 20;
  PlayerY = 180;
  auto* r = CreateTask<YellowRedFlowerTask>(100, 60, false);
  ASSERT_TRUE(RunUntil([&] { return !All<PetalBulletTask>(kLayerBullet).empty(); }, 30));
  EXPECT_EQ(r->finished, 1);
  auto petals = All<PetalBulletTask>(kLayerBullet);
  ASSERT_EQ(petals.size(), 4u);
  int ry = PixelOf(r->y);
  // The player is on the left: the left pair leaves first, the lower one before the upper.
  for (auto* p : petals) {
    EXPECT_EQ(p->srcY, 112);
    if (p->vx < 0 && p->vy > 0) {
      EXPECT_EQ(p->order, 1);
      EXPECT_EQ(p->srcX, 144);
      // Made at (x - 1, y + 12) and moved once at 3 * 0.8 in the same frame.
      EXPECT_NEAR(p->x, 99 - 2.4, 1e-9);
      EXPECT_NEAR(p->y, ry + 12 + 2.4, 1e-9);
    } else if (p->vx < 0) {
      EXPECT_EQ(p->order, 2);
      EXPECT_EQ(p->srcX, 176);
    } else if (p->vy > 0) {
      EXPECT_EQ(p->order, 3);
      EXPECT_EQ(p->srcX, 112);
    } else {
      EXPECT_EQ(p->order, 4);
      EXPECT_EQ(p->srcX, 80);
      EXPECT_NEAR(p->x, 112 + 2.4, 1e-9);
      EXPECT_NEAR(p->y, ry - 1 - 2.4, 1e-9);
    }
  }

  // From speed 3, a fifth less each update: still after 13 slowing updates (3 * 0.8^13 < 0.2).
  TaskPool_DeleteAll();
  auto* p = CreateTask<PetalBulletTask>(100, 100, -3.0, 3.0, 2, true);
  EXPECT_EQ(p->srcY, 128);
  Frames(13);
  EXPECT_EQ(p->hitMask, 0);
  Frame();
  EXPECT_EQ(p->hitMask, 1);
  EXPECT_EQ(p->vx, 0.0);
  double stillX = p->x, stillY = p->y;
  Frames(31);  // order 2 waits 32 updates
  EXPECT_EQ(p->x, stillX);
  EXPECT_EQ(p->y, stillY);
  Frame();
  double dx = PlayerX + 16 - (stillX + 6), dy = PlayerY + 8 - (stillY + 7);
  double len = std::sqrt(dx * dx + dy * dy);
  EXPECT_NEAR(p->vx, 2.3 * dx / len, 1e-9);
  EXPECT_NEAR(p->vy, 2.3 * dy / len, 1e-9);
  EXPECT_NEAR(p->x, stillX + p->vx, 1e-9);

  // The picture turns every 4th update, wrapping at the ends of the row.
  p->srcX = 80;
  int c = p->counter;
  Frames((4 - c % 4) % 4 + 1);
  EXPECT_EQ(p->srcX, 192);

  // Off the screen it ends.
  p->x = 241;
  Frame();
  Frame();
  EXPECT_EQ(All<PetalBulletTask>(kLayerBullet).size(), 0u);
}

TEST_F(IkebanaTest, YellowFlowerStretchesAVineAndSinks) {
  BossGaugeFull = 640;
  PlayerX = 200;
  auto* f = CreateTask<YellowRedFlowerTask>(100, 60, true);
  ASSERT_TRUE(RunUntil([&] { return f->hitMask == 2; }, 25));
  EXPECT_EQ(f->layer, kLayerEnemy);
  EXPECT_EQ(f->vineLeft, 106.0);
  EXPECT_EQ(f->vineRight, 118.0);
  Frame();
  OnlyCollisionTask* box = f->vineBox.get();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->x, 12);
  EXPECT_EQ(box->width, 216);
  EXPECT_EQ(box->height, 2);
  EXPECT_EQ(box->y, PixelOf(f->y) + 11);
  EXPECT_NEAR(f->vineLeft, 112 - 100 / 20.0, 1e-9);  // a twentieth of the way out
  Frames(19);
  EXPECT_EQ(f->vineLeft, 12.0);
  EXPECT_EQ(f->vineRight, 228.0);
  double y0 = f->y;
  Frames(4);
  EXPECT_NEAR(f->y, y0 + 1.0, 1e-9);
  EXPECT_EQ(box->y, PixelOf(f->y) + 11);
  EXPECT_GE(f->vineRow, 80);
  EXPECT_LE(f->vineRow, 128);

  // Drawn: the body from wall to wall around the flower, no ends at the walls.
  trace.clear();
  f->Draw();
  int px = PixelOf(f->x), vy = PixelOf(f->y) + 4;
  EXPECT_EQ(CountPrefix("DrawRectPartGraph 12 " + std::to_string(vy) + " 216 "), 1);
  EXPECT_EQ(CountPrefix("DrawRectPartGraph " + std::to_string(px - 16) + " " + std::to_string(vy) + " 216 "), 1);
  EXPECT_EQ(CountPrefix("DrawRectPartGraph " + std::to_string(px + 24) + " " + std::to_string(vy) + " 216 "), 1);
  EXPECT_EQ(CountPrefix("DrawRectPartGraph 4 "), 0);
  EXPECT_EQ(CountPrefix("DrawRectPartGraph " + std::to_string(px) + " " + std::to_string(PixelOf(f->y)) + " 80 144 "),
            1);

  // Killed high: four coloured petals; the vine box goes and the vine withers away.
  f->hitCode = 30;
  Frame();
  EXPECT_EQ(f->hitMask, 5);
  EXPECT_EQ(f->hitShape, kHitNone);
  EXPECT_EQ(f->vineBox.get(), nullptr);
  auto petals = All<PetalBulletTask>(kLayerBullet);
  ASSERT_EQ(petals.size(), 4u);
  EXPECT_EQ(petals[0]->srcY, 128);
  Frame();
  EXPECT_EQ(All<YellowRedFlowerTask>(kLayerEnemy).size(), 0u);
  EXPECT_EQ(All<OnlyCollisionTask>(kLayerBossPart).size(), 0u);
}

TEST_F(IkebanaTest, YellowFlowerLowOrAtTheFloorWithersWithoutPetals) {
  BossGaugeFull = 640;
  auto* f = CreateTask<YellowRedFlowerTask>(100, 128, true);
  ASSERT_TRUE(RunUntil([&] { return f->hitMask == 2; }, 25));
  ASSERT_GE(f->y + f->height, 180.0);
  f->hitCode = 30;
  Frame();
  EXPECT_EQ(f->hitMask, 5);
  EXPECT_EQ(All<PetalBulletTask>(kLayerBullet).size(), 0u);

  // Sinking below 192 kills it by itself, also without petals.
  TaskPool_DeleteAll();
  auto* g = CreateTask<YellowRedFlowerTask>(100, 140, true);
  ASSERT_TRUE(RunUntil([&] { return g->hitMask == 5; }, 200));
  EXPECT_GT(g->y, 192.0);
  EXPECT_EQ(All<PetalBulletTask>(kLayerBullet).size(), 0u);
}

TEST_F(IkebanaTest, WhiteFlowerGrowsShootsAndWilts) {
  PlayerX = 20;
  PlayerY = 180;
  auto* m = CreateTask<IkebanaMasterTask>(53, 140, 20);
  auto* w = CreateTask<WhiteFlowerTask>(100, 150, 0, m);
  Frames(12);
  EXPECT_EQ(w->hitMask, 1);
  EXPECT_EQ(w->y, 208);
  Frame();
  EXPECT_EQ(w->height, 40);
  EXPECT_EQ(w->y, 204);
  ASSERT_TRUE(RunUntil([&] { return w->scale >= 1.0; }, 20));
  EXPECT_EQ(w->y, 180);
  EXPECT_EQ(w->layer, kLayerBossPart);
  ASSERT_TRUE(RunUntil([&] { return w->hitMask == 2; }, 20));
  EXPECT_EQ(w->layer, kLayerEnemy);
  EXPECT_EQ(w->bloomX, 144);
  EXPECT_EQ(m->whiteSides, 2);  // left half
  EXPECT_EQ(w->hitY, -38);
  OnlyCollisionTask* stem = w->stemBox.get();
  ASSERT_NE(stem, nullptr);
  EXPECT_EQ(stem->x, 92);
  EXPECT_EQ(stem->y, 168);
  EXPECT_EQ(stem->height, 56);

  trace.clear();
  w->Draw();
  ASSERT_GE(trace.size(), 3u);
  EXPECT_EQ(trace[0], PartLine(84, 136, 144, 80, 32, 32, 0));
  EXPECT_EQ(trace[1], PartLine(84, 168, 48, 112, 32, 32, 0));

  // The bloom closes in three steps, then a seed flies at the player.
  Frames(24);
  EXPECT_EQ(w->bloomX, 112);
  Frames(17);
  EXPECT_EQ(All<SeedBulletTask>(kLayerBullet).size(), 0u);
  Frame();
  auto seeds = All<SeedBulletTask>(kLayerBullet);
  ASSERT_EQ(seeds.size(), 1u);
  EXPECT_EQ(w->bloomX, 144);
  EXPECT_EQ(seeds[0]->flip, 1);
  double dx = 36 - 97.0, dy = 196 - 152.0, len = std::sqrt(dx * dx + dy * dy);
  EXPECT_NEAR(seeds[0]->vx, 2.0 * dx / len, 1e-9);
  EXPECT_NEAR(seeds[0]->vy, 2.0 * dy / len, 1e-9);

  // A second flower on the same half dying before it grows leaves the grown one's bit.
  auto* late = CreateTask<WhiteFlowerTask>(60, 100, 0, m);
  late->hitCode = 30;
  Frame();
  EXPECT_EQ(m->whiteSides, 2);

  // Half health: the grown flower wilts in three puffs and gives its half back.
  m->life = 320;
  trace.clear();
  Frames(3);
  EXPECT_EQ(All<WhiteFlowerTask>(kLayerEnemy).size(), 0u);
  EXPECT_EQ(m->whiteSides, 0);
  EXPECT_EQ(All<OnlyCollisionTask>(kLayerBossPart).size(), 0u);
  EXPECT_EQ(All<DoronSmokeTask>(kLayerEnemy).size(), 4u);
}

TEST_F(IkebanaTest, BlueFlowerOpensWalksAndIsCounted) {
  PlayerX = 20;
  auto* m = CreateTask<IkebanaMasterTask>(53, 140, 20);
  auto* b = CreateTask<BlueFlowerTask>(100, 150, m);
  Frames(9);
  EXPECT_EQ(b->hitMask, 1);
  EXPECT_EQ(b->y, 192);
  Frames(4);
  EXPECT_EQ(b->srcX, 304);
  EXPECT_EQ(b->hitW, 24);
  EXPECT_EQ(m->blueCount, 0);
  Frames(3);
  EXPECT_EQ(b->hitMask, 2);
  EXPECT_EQ(b->layer, kLayerEnemy);
  EXPECT_EQ(m->blueCount, 1);
  EXPECT_EQ(b->flip, 1);  // toward the player on the left

  // Walks one pixel a frame to the wall and turns there.
  ASSERT_TRUE(RunUntil([&] { return b->flip == 0; }, 200));
  EXPECT_EQ(b->x + b->hitX, 13.0);  // turned at 12, then one step
  EXPECT_EQ(b->srcY, 112);
  double x0 = b->x;
  Frames(3);
  EXPECT_EQ(b->x, x0 + 3);

  trace.clear();
  b->Draw();
  EXPECT_EQ(CountPrefix("DrawFillBox"), 2);  // the gauge

  b->hitCode = 30;
  Frame();
  EXPECT_EQ(m->blueCount, 0);
  Frame();
  EXPECT_EQ(All<BlueFlowerTask>(kLayerEnemy).size(), 0u);
}

TEST_F(IkebanaTest, FlowerHitsFlashByStrength) {
  BossGaugeFull = 640;
  auto* b = CreateTask<BlueFlowerTask>(100, 192, nullptr);
  b->hitCode = 1;
  Frame();
  EXPECT_EQ(b->life, 19);
  EXPECT_EQ(b->flashTimer, 1);
  EXPECT_EQ(Played(kSeHitBoss), 1);
  Frames(2);
  b->hitCode = 3;
  Frame();
  EXPECT_EQ(b->life, 16);
  EXPECT_EQ(b->flashTimer, 5);
  EXPECT_EQ(Played(kSeHitEnemy), 1);
  b->hitCode = 3;
  Frame();
  EXPECT_EQ(b->life, 16);
}

// The whole fight through the stage set-up, the collision pass and every draw: the
// panel's gauge is filled as the status panel would, and the master is struck at a
// fixed rhythm until it falls.
TEST_F(IkebanaTest, WholeFightFromTheStageCellToTheClear) {
  PlayerX = 40;
  PlayerY = 184;
  Health = 3;
  CreateStageObjects(53, CellX(4), CellY(1));
  auto* m = First<IkebanaMasterTask>(kLayerEnemy);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->x, CellX(4) + 12 - 48);
  EXPECT_EQ(m->y, CellY(1) + 4);
  TaskRef<IkebanaMasterTask> ref(m);

  bool sawWhite = false, sawYellow = false, sawBlue = false, sawSeed = false;
  ScrollTaken = 1;
  int frame = 0;
  for (; frame < 6000 && BossPhase != 3; ++frame) {
    if (BossGaugeShown < BossGaugeFull) BossGaugeShown = std::min(BossGaugeFull, BossGaugeShown + 5);
    if (IkebanaMasterTask* master = ref.get()) {
      if (master->hitMask >= 2 && frame % 12 == 0) master->hitCode = 2;
    }
    Frame();
    Draw();
    trace.clear();
    sawWhite = sawWhite || !All<WhiteFlowerTask>(kLayerEnemy).empty();
    sawBlue = sawBlue || !All<BlueFlowerTask>(kLayerEnemy).empty();
    sawSeed = sawSeed || !All<SeedBulletTask>(kLayerBullet).empty();
    for (auto* f : All<YellowRedFlowerTask>(kLayerEnemy)) sawYellow = sawYellow || f->yellow;
  }
  EXPECT_EQ(BossPhase, 3);
  EXPECT_TRUE(sawWhite);
  EXPECT_TRUE(sawYellow);
  EXPECT_TRUE(sawBlue);
  EXPECT_TRUE(sawSeed);
  Frame();
  EXPECT_FALSE(ref);
  for (int layer : {kLayerEnemy, kLayerBossPart, kLayerBullet}) {
    for (int i = 0; i < TaskPool_Count(layer); ++i) {
      Character* t = TaskPool_Get(layer, i);
      EXPECT_EQ(dynamic_cast<DoronSmokeTask*>(t) != nullptr || t->finished, true) << "layer " << layer;
    }
  }
  // Two points of health missing: two rice balls and one money bag.
  int rice = 0, money = 0;
  for (auto* item : All<ItemTask>(kLayerItem)) {
    rice += item->itemKind == kItemRiceBall;
    money += item->itemKind == kItemMoney;
  }
  EXPECT_EQ(rice, 2);
  EXPECT_EQ(money, 1);
}

// The real program on a stage that holds the master: it waits, throws its first red
// flowers (from its frame 340) and the run ends cleanly on Escape.
TEST(IkebanaProgramTest, StageWithTheMasterRunsUnderTheDummyDrivers) {
  const char* dir = std::getenv("TAMRAK_BINARY_DIR");
  std::string program = dir != nullptr && *dir != '\0' ? std::string(dir) + "/kestrune" : std::string();
  if (program.empty() || !std::filesystem::exists(program)) GTEST_SKIP() << "kestrune is not built";
  gametest::ScratchDir scratch;
  std::vector<int> cells(81, 0);
  cells[3] = 53;
  cells[40] = 1;
  gametest::MakeGameFolder("boss.txt", {{"boss.txt", gametest::StageText(3, "BOSS", cells, "bg.bmp", "x.pttune",
                                                                          "end.txt")}});
  // In process first: the master stands in the real stage loop and throws its first flower.
  {
    GameHarness game;
    ASSERT_TRUE(game.Start(7));
    game.StepFrames(5);
    game.TapKey(KeyCode::Space);
    auto find = [](auto* probe) {
      using T = std::remove_pointer_t<decltype(probe)>;
      for (int layer = 0; layer < kLayerCount; ++layer) {
        for (int i = 0; i < TaskPool_Count(layer); ++i) {
          if (dynamic_cast<T*>(TaskPool_Get(layer, i)) != nullptr) return true;
        }
      }
      return false;
    };
    EXPECT_TRUE(game.StepUntil([&] { return find(static_cast<YellowRedFlowerTask*>(nullptr)); }, 800));
    EXPECT_EQ(BossPhase, 1);
    EXPECT_TRUE(find(static_cast<IkebanaMasterTask*>(nullptr)));
    game.KeyDown(KeyCode::Escape);
    game.StepFrames(2);
    game.Finish();
  }

  gametest::WriteWholeFile("script.txt", "seed 7\nclock manual\n5 key 57 1\n6 key 57 0\n700 key 1 1\n");
  std::string command =
      "KESTRUNE_SCRIPT=script.txt SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy '" + program + "' > out.txt 2>&1";
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  std::string out = gametest::ReadWholeFile("out.txt");
  EXPECT_EQ(WEXITSTATUS(status), 0) << out;
  EXPECT_EQ(out.find("runtime error"), std::string::npos) << out;
}

}  // namespace
