// The skull master: both forms, the skull rain, the large stars, the weapon icons and
// the final form's end of the stage, stepped frame by frame without a window.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "game/masters/dokuro_master.h"
#include "game/masters/ikebana_master.h"
#include "game/masters/origami_master.h"
#include "game/masters/shodo_master.h"
#include "game/enemies/small_enemies.h"
#include "game/playfield/stage.h"
#include "game/playfield/stage_scenes.h"
#include "game/masters/tea_master.h"
#include "tests/game/playthrough_fixture.h"

namespace {

using playfield::kPi;
using playfield::kSoundBase;

constexpr int kSeHitEnemyN = 9, kSeDefeatN = 10, kSeDash2N = 16, kSeHitBossN = 20, kSeThrowN = 25, kSeSkullN = 30;
constexpr int kSkullSheet = playfield::kEnemySheetBase + 9;

class DokuroTest : public playfield::Playfield {
 protected:
  void SetUp() override {
    Playfield::SetUp();
    PlayerX = 100;
    PlayerY = 180;
  }
  // A first form at a cell whose centre is x + 12 = `cx`.
  DokuroMasterTask* MakeMaster(int argX = 120, int argY = 20) { return CreateTask<DokuroMasterTask>(argX, argY); }
  // Puts a task into a state so that its next update sees counter `next`.
  static void Enter(Character* t, int state, int next) {
    t->hitMask = state;
    t->counter = next;
  }
  // Steps until `done` holds, at most `limit` frames; the frames taken.
  template <class F>
  int StepUntil(F done, int limit) {
    for (int i = 1; i <= limit; ++i) {
      Frame();
      if (done()) return i;
    }
    return -1;
  }
};

TEST_F(DokuroTest, StartsWaitingAndUntouchable) {
  // Made by the stage set-up for cell code 55 at the cell 12 to the right.
  const int cellX = 12 + 24 * 4, cellY = 8 + 12 * 2;
  CreateStageObjects(55, cellX, cellY);
  auto* m = First<DokuroMasterTask>(kLayerEnemy);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->x, cellX + 12 - 24);
  EXPECT_EQ(m->y, cellY + 4);
  EXPECT_EQ(BossPhase, 1);
  EXPECT_EQ(std::string(BossNameLine1, 8), "DOKURO  ");
  EXPECT_EQ(std::string(BossNameLine2, 8), "  MASTER");
  // A star at 230 of every 280 updates on NORMAL, of every 480 on EASY.
  trace.clear();
  Frames(520);
  EXPECT_EQ(Played(kSeThrowN), 2);
  EXPECT_EQ(m->hitShape, kHitNone);
  EXPECT_EQ(BossGaugeFull, 640);
  m->finished = 1;
  Settings.difficulty = 0;
  MakeMaster();
  trace.clear();
  Frames(520);
  EXPECT_EQ(Played(kSeThrowN), 1);
}

TEST_F(DokuroTest, WaitingThrowsALargeStarEachPeriod) {
  auto* m = MakeMaster();
  Enter(m, 0, 200);
  Frame();
  EXPECT_EQ(m->srcX, 48);  // aiming
  Frames(29);
  EXPECT_TRUE(All<BigShurikinTask>(kLayerBossPart).empty());
  trace.clear();
  Frame();  // counter 230
  EXPECT_EQ(m->srcX, 96);
  EXPECT_EQ(Played(kSeThrowN), 1);
  auto stars = All<BigShurikinTask>(kLayerBossPart);
  ASSERT_EQ(stars.size(), 1u);
  // Made at the master's middle, 48 down, flying toward (PlayerX + 16, 212) at 3.0.
  EXPECT_NEAR(std::hypot(stars[0]->vx, stars[0]->vy), 3.0, 1e-9);
  EXPECT_NEAR(stars[0]->vx / stars[0]->vy, (116.0 - (m->x + 24)) / (212.0 - (m->y + 48)), 1e-9);
  Frames(12);
  EXPECT_EQ(m->srcX, 0);  // rests at 242
}

TEST_F(DokuroTest, WakesOnTheScrollThenSplitsIntoThreeFigures) {
  auto* m = MakeMaster();
  ScrollTaken = 1;
  trace.clear();
  Frame();
  EXPECT_EQ(BossPhase, 2);
  EXPECT_EQ(m->hitMask, 1);
  EXPECT_EQ(Count("pxtone_Tune_Load ./bgm/boss2.pttune"), 1);
  // Blinks until the panel's gauge has filled.
  Frames(5);
  EXPECT_EQ(m->hitMask, 1);
  BossGaugeShown = 640;
  Frame();
  EXPECT_EQ(m->hitMask, 2);
  EXPECT_EQ(m->ghosts, 1);
  EXPECT_EQ(m->hitShape, kHitNone);

  const double start = m->x;  // 96: the middle zone, the ghosts spread both ways
  Frames(36);
  EXPECT_EQ(m->brightness, 160);
  EXPECT_DOUBLE_EQ(m->ghostX1, start - 72);
  EXPECT_DOUBLE_EQ(m->ghostX2, start + 72);
  Frame();
  EXPECT_EQ(m->hitMask, 3);
  EXPECT_EQ(m->hitShape, kHitBox);
  EXPECT_EQ(m->brightness, 255);
  // The real one is any of the three places; the ghosts are ordered.
  std::multiset<double> places = {m->x, m->ghostX1, m->ghostX2};
  EXPECT_EQ(places, (std::multiset<double>{start - 72, start, start + 72}));
  EXPECT_LE(m->ghostX1, m->ghostX2);

  // Near a wall both ghosts go the free way.
  for (double x0 : {40.0, 170.0}) {
    auto* w = MakeMaster();
    w->x = w->ghostX1 = w->ghostX2 = x0;
    w->ghosts = 1;
    Enter(w, 2, 1);
    Frames(36);
    if (x0 < 84) {
      EXPECT_DOUBLE_EQ(w->ghostX1, x0 + 72);
      EXPECT_DOUBLE_EQ(w->ghostX2, x0 + 144);
    } else {
      EXPECT_DOUBLE_EQ(w->ghostX1, x0 - 144);
      EXPECT_DOUBLE_EQ(w->ghostX2, x0 - 72);
    }
    w->finished = 1;
  }
}

TEST_F(DokuroTest, SkullRainLeavesADifferentGapEachTime) {
  auto* m = MakeMaster();
  m->hitShape = kHitBox;
  Enter(m, 3, 1);
  int rains = 0;
  int previous = m->lastChoice;
  std::set<int> seen;
  for (int f = 1; f <= 808; ++f) {
    trace.clear();
    Frame();
    std::vector<double> targets;
    for (auto* s : All<DokuroBulletTask>(kLayerBossPart)) {
      if (s->counter == 1) targets.push_back(s->targetX);
    }
    if (targets.empty()) {
      EXPECT_EQ(Played(kSeSkullN), 0);
      continue;
    }
    ++rains;
    EXPECT_EQ(f % 48, 0);
    EXPECT_EQ(Played(kSeSkullN), 1);
    const int r = m->lastChoice;
    EXPECT_NE(r, previous) << "rain " << rains;
    seen.insert(r);
    std::sort(targets.begin(), targets.end());
    std::vector<double> want;
    if (r == 3) {
      want = {24, 72, 120, 168, 216};
    } else {
      for (int k = 1; k <= 9; ++k) {
        if ((k - 1) / 3 != r) want.push_back(24.0 * k);
      }
    }
    EXPECT_EQ(targets, want) << "choice " << r;
    previous = r;
  }
  EXPECT_EQ(rains, 16);
  EXPECT_GE(seen.size(), 3u);
  EXPECT_EQ(m->hitMask, 4);  // merging from counter 808
  EXPECT_EQ(m->hitShape, kHitNone);
}

TEST_F(DokuroTest, SkullDriftsToItsColumnThenFalls) {
  auto* s = CreateTask<DokuroBulletTask>(120, 40, 216.0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->hitShape, kHitCircle);
  EXPECT_EQ(s->hitW, 10);
  Frames(15);
  EXPECT_NEAR(s->x, 120 + 96 * 0.5, 1e-9);
  EXPECT_NEAR(s->scale, 0.75, 1e-9);
  Frames(15);
  EXPECT_DOUBLE_EQ(s->x, 216.0);
  EXPECT_NEAR(s->y, 40 + 30 * 2.25, 1e-9);
  EXPECT_NEAR(s->scale, 1.0, 1e-9);
  // Touching the player does not end it.
  s->hitCode = 6;
  Frame();
  EXPECT_FALSE(s->finished);
  EXPECT_EQ(s->hitCode, 0);
  // Ends once its top half has passed the bottom of the screen.
  int frames = StepUntil([&] { return s->finished != 0; }, 200);
  EXPECT_GT(frames, 0);
  EXPECT_GT(s->y - 17, 240);
  EXPECT_LE(s->y - 2.25 - 17, 240);
}

TEST_F(DokuroTest, LargeStarLandsWaitsAndFliesAtThePlayer) {
  BossGaugeFull = 640;
  auto* st = CreateTask<BigShurikinTask>(100, 80);
  ASSERT_NE(st, nullptr);
  int landed = StepUntil([&] { return st->hitMask == 2; }, 100);
  ASSERT_GT(landed, 0);
  EXPECT_GT(st->y, 204);
  EXPECT_DOUBLE_EQ(st->scale, 1.0);
  const double restX = st->x, restY = st->y;
  PlayerX = 20;
  PlayerY = 100;
  Frames(19);
  EXPECT_EQ(st->x, restX);
  EXPECT_EQ(st->hitMask, 2);
  Frame();
  EXPECT_EQ(st->hitMask, 1);
  EXPECT_NEAR(std::hypot(st->vx, st->vy), 3.0, 1e-9);
  EXPECT_NEAR(std::atan2(st->vy, st->vx), std::atan2(116 - restY, 36 - restX), 1e-9);

  // The boss gone: every star ends in smoke with the defeat sound.
  trace.clear();
  BossGaugeFull = 0;
  auto* other = CreateTask<BigShurikinTask>(60, 60);
  TaskPool_UpdateAll();
  EXPECT_TRUE(st->finished);
  EXPECT_TRUE(other->finished);
  EXPECT_EQ(Played(kSeDefeatN), 2);
  EXPECT_EQ(All<DoronSmokeTask>(kLayerEnemy).size(), 2u);
}

TEST_F(DokuroTest, SlideReflectsAtTheEdgesAndHalfHealthEndsTheLoop) {
  auto* m = MakeMaster();
  m->hitShape = kHitBox;
  m->x = 40;
  m->work[2] = 40;
  m->work[3] = -144;
  Enter(m, 5, 288);
  Frame();
  EXPECT_DOUBLE_EQ(m->x, 48 - (40 - 144));  // 152
  m->x = 160;
  m->work[2] = 160;
  m->work[3] = 144;
  Enter(m, 5, 144);
  Frame();
  EXPECT_DOUBLE_EQ(m->x, 336 - 232);
  Frame();
  Enter(m, 5, 289);
  Frame();
  EXPECT_EQ(m->hitMask, 2);
  EXPECT_EQ(m->ghosts, 1);
  EXPECT_EQ(m->hitShape, kHitNone);

  // A hit that leaves exactly 320 health ends the rain and starts the weapon loop.
  Enter(m, 3, 5);
  m->hitShape = kHitBox;
  m->life = 330;
  m->hitCode = 10;
  trace.clear();
  Frame();
  EXPECT_EQ(m->life, 320);
  EXPECT_EQ(m->hitMask, 6);
  EXPECT_EQ(Played(kSeHitBossN), 1);
  EXPECT_EQ(m->flashTimer, 1);
  // Within one flash an equal hit does nothing, a stronger one counts in full.
  m->hitCode = 10;
  Frame();
  EXPECT_EQ(m->life, 320);
  m->hitCode = 12;
  Frame();
  EXPECT_EQ(m->life, 308);
}

TEST_F(DokuroTest, WeaponIconsOrbitThenBecomeTheOtherMastersWeapons) {
  auto* m = MakeMaster();
  m->hitShape = kHitBox;
  m->life = 300;
  Enter(m, 7, 1);
  Frames(10);
  auto icons = All<DokuroWeaponsTask>(kLayerBlock);
  ASSERT_EQ(icons.size(), 4u);
  std::set<int> kinds;
  for (auto* i : icons) {
    kinds.insert(i->kind);
    EXPECT_EQ(i->hitShape, kHitNone);
    EXPECT_EQ(i->srcX, i->kind);
    EXPECT_EQ(i->srcY, 80);
  }
  EXPECT_EQ(kinds, (std::set<int>{0, 32, 64, 96}));
  // Orbit: the radius grows by 2 to 48 about the boss centre.
  Frames(30);
  for (auto* i : icons) {
    EXPECT_NEAR(std::hypot(i->x + 16 - BossCenterX, i->y + 16 - BossCenterY), 48.0, 1e-9);
    EXPECT_GE(i->angle, -kPi);
    EXPECT_LE(i->angle, kPi);
  }
  Frames(50);  // counter 90
  EXPECT_EQ(m->reduced, 1);
  EXPECT_EQ(m->hitShape, kHitNone);
  Frames(16);  // counter 106: off to the slots
  EXPECT_EQ(m->hitMask, 8);
  EXPECT_EQ(m->weaponSignal, 2);
  Frames(20);
  // The master and its four icons take the five slots, one each.
  std::set<long> centres;
  for (auto* i : icons) centres.insert(std::lround((i->x + 16) * 10));
  centres.insert(std::lround((m->x + 24) * 10));
  std::set<long> slots;
  for (int s = 0; s < 5; ++s) slots.insert(std::lround(((s * 216) / 5 + 33.6) * 10));
  EXPECT_EQ(centres, slots);

  Frames(13);
  EXPECT_TRUE(All<DokuroWeaponsTask>(kLayerBlock).empty() ||
              std::all_of(icons.begin(), icons.end(), [](Character* c) { return c->finished; }));
  Frame();
  EXPECT_TRUE(All<DokuroWeaponsTask>(kLayerBlock).empty());
  auto kettles = All<ChaDouguTask>(kLayerBossPart);
  ASSERT_EQ(kettles.size(), 1u);
  EXPECT_EQ(kettles[0]->timed, 1);
  EXPECT_EQ(All<ThrownOrigamiTask>(kLayerBossPart).size(), 1u);
  EXPECT_EQ(All<FudeCannonTask>(kLayerBossPart).size() + All<FudeCannonTask>(kLayerEnemy).size(), 1u);
  size_t flowers = 0;
  for (int layer = 0; layer < kLayerCount; ++layer) flowers += All<YellowRedFlowerTask>(layer).size();
  EXPECT_EQ(flowers, 1u);

  // The weapon phase ends at 602 and summons again.
  Enter(m, 8, 602);
  Frame();
  EXPECT_EQ(m->hitMask, 7);
}

TEST_F(DokuroTest, IconsVanishWhenTheMasterIsBeaten) {
  auto* m = MakeMaster();
  Enter(m, 7, 10);
  Frame();
  ASSERT_EQ(All<DokuroWeaponsTask>(kLayerBlock).size(), 4u);
  m->life = 0;
  Frame();  // the master's update publishes 0 after the icons' layer has run
  Frame();
  Frame();
  EXPECT_TRUE(All<DokuroWeaponsTask>(kLayerBlock).empty());
  EXPECT_GE(All<DoronSmokeTask>(kLayerEnemy).size(), 4u);
  // An icon whose master is gone ends instead of reading a lost signal.
  auto* lone = CreateTask<DokuroWeaponsTask>(50, 50, 0, 0.0, nullptr, 1);
  BossGaugeFull = 100;
  Frame();
  EXPECT_TRUE(lone->finished);
}

TEST_F(DokuroTest, FirstFormDiesIntoTheFinalForm) {
  auto* m = MakeMaster();
  BossPhase = 2;
  m->hitShape = kHitBox;
  Enter(m, 3, 5);
  m->life = 3;
  m->hitCode = 5;
  trace.clear();
  Frame();
  EXPECT_EQ(m->hitMask, 10);
  EXPECT_EQ(Played(kSeDefeatN), 2);  // the death, then its first smoke at counter 0
  EXPECT_EQ(Count("pxtone_Tune_Fadeout 3000"), 1);
  EXPECT_EQ(CurrentTune[0], '\0');
  EXPECT_EQ(BossGaugeFull, -2);

  Frames(255);  // counter 255
  EXPECT_EQ(All<ItemTask>(kLayerItem).size(), 2u);
  EXPECT_EQ(BossPhase, 2);
  Frame();
  EXPECT_EQ(BossPhase, 4);  // the veil falls
  EXPECT_EQ(m->darkness, 5);
  Frames(50);
  EXPECT_EQ(m->darkness, 255);
  Frames(10);  // counter 316
  EXPECT_EQ(BossPhase, 5);
  EXPECT_EQ(m->hitShape, kHitNone);
  EXPECT_EQ(m->shown, 0);
  EXPECT_DOUBLE_EQ(m->ghostX1, m->x - 6);
  Frames(119);  // counter 435: the halves stop
  EXPECT_DOUBLE_EQ(m->ghostX2, m->x + 120 * 6);
  Frame();
  EXPECT_DOUBLE_EQ(m->ghostX2, m->x + 120 * 6);

  Frames(19);  // counter 455
  EXPECT_EQ(First<DokuroMasterFinalTask>(kLayerEnemy), nullptr);
  EXPECT_EQ(BossGaugeFull, -2);
  Frame();  // 456: the final form is made and, later in the layer, publishes its gauge
  auto* f = First<DokuroMasterFinalTask>(kLayerEnemy);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(m->life, -10);
  EXPECT_EQ(f->x, m->x + 24 - 16);
  EXPECT_EQ(f->y, m->y + 16);
  EXPECT_EQ(f->life, 320);
  EXPECT_EQ(f->score, 50000);
  EXPECT_EQ(BossGaugeFull, 320);
  EXPECT_EQ(Count("pxtone_Tune_Load ./bgm/boss3.pttune"), 1);
  Frame();
  EXPECT_FALSE(m->finished);
  Frame();
  EXPECT_TRUE(m->finished);
}

TEST_F(DokuroTest, FalseFiguresAreDrawnDarker) {
  auto* m = MakeMaster();
  m->ghosts = 1;
  m->ghostX1 = 30;
  m->ghostX2 = 150;
  m->srcX = 96;
  m->srcY = 0;
  m->brightness = 255;
  trace.clear();
  Draw();
  const int img = kSkullSheet;
  std::vector<std::string> want = {
      "SetDrawBrightness 160 160 160",
      "DrawRectPartGraph 30 24 0 0 48 72 img=" + std::to_string(img) + " t=1 turn=0",
      "DrawRectPartGraph 150 24 0 0 48 72 img=" + std::to_string(img) + " t=1 turn=0",
      "SetDrawBrightness 255 255 255",
      "DrawRectPartGraph 96 24 96 0 48 72 img=" + std::to_string(img) + " t=1 turn=0",
      "SetDrawBlendMode 0 0",
      "SetDrawBrightness 255 255 255",
  };
  EXPECT_EQ(trace, want);
  // The small figure replaces the sprite; a black veil covers the screen first.
  m->ghosts = 0;
  m->reduced = 1;
  m->darkness = 100;
  trace.clear();
  Draw();
  ASSERT_GE(trace.size(), 4u);
  EXPECT_EQ(trace[0], "SetDrawBlendMode 1 100");
  EXPECT_EQ(trace[1], "DrawBox 0 0 320 240 c=0 fill=1");
  EXPECT_EQ(Count("DrawRectPartGraph 108 47 192 0 24 34 img=" + std::to_string(img) + " t=1 turn=0"), 1);
}

class DokuroFinalTest : public DokuroTest {
 protected:
  // A final form past its entry, standing and choosing.
  DokuroMasterFinalTask* MakeFighting(int x = 100) {
    BossPhase = 5;
    auto* f = CreateTask<DokuroMasterFinalTask>(x, 180);
    f->entryImages = 0;
    f->shown = 1;
    f->veil = 0;
    f->brightness = 255;
    Enter(f, 1, 0);
    return f;
  }
};

TEST_F(DokuroFinalTest, EntersFromTheDarkThenJumps) {
  auto* f = CreateTask<DokuroMasterFinalTask>(100, 180);
  EXPECT_DOUBLE_EQ(f->imageX1, 340);
  EXPECT_DOUBLE_EQ(f->imageX2, -140);
  Frame();
  EXPECT_DOUBLE_EQ(f->imageX1, 340);
  Frame();
  EXPECT_DOUBLE_EQ(f->imageX1, 100 + 15 * 15);
  EXPECT_DOUBLE_EQ(f->imageX2, 100 - 15 * 15);
  int frames = StepUntil([&] { return f->hitMask != 0; }, 2000);
  ASSERT_GT(frames, 0);
  EXPECT_EQ(f->brightness, 255);
  EXPECT_EQ(f->veil, 0);
  EXPECT_EQ(f->entryImages, 0);
  EXPECT_EQ(f->shown, 1);
  EXPECT_EQ(f->hitMask, 2);
  // Lands on the floor and chooses again.
  frames = StepUntil([&] { return f->hitMask == 1; }, 200);
  ASSERT_GT(frames, 0);
  EXPECT_DOUBLE_EQ(f->y, 180);
}

TEST_F(DokuroFinalTest, HitStrengthSetsTheFlash) {
  auto* f = MakeFighting();
  Enter(f, 3, 140);  // standing between throws
  f->hitCode = 1;
  trace.clear();
  Frame();
  EXPECT_EQ(f->life, 319);
  EXPECT_EQ(Played(kSeHitBossN), 1);
  EXPECT_EQ(f->flashTimer, 1);  // 2, lowered once at the end of the update
  Frames(2);
  f->hitCode = 4;
  trace.clear();
  Frame();
  EXPECT_EQ(f->life, 315);
  EXPECT_EQ(Played(kSeHitEnemyN), 1);
  EXPECT_EQ(f->flashTimer, 5);
  trace.clear();
  Draw();
  EXPECT_EQ(Count("SetDrawBlendMode 10 255"), 1);
}

TEST_F(DokuroFinalTest, LeapToTheFarSideThrowsAFanOfKnives) {
  auto* f = MakeFighting(40);
  PlayerX = 150;
  f->srcX = 128;
  f->delay = 8;
  f->vx = (196 - 40) / 46.0;
  f->vy = -6.0;
  f->y = 174;  // one update into the leap
  Enter(f, 2, 0);
  trace.clear();
  int frames = StepUntil([&] { return f->srcX == 160; }, 100);
  ASSERT_GT(frames, 0);
  EXPECT_EQ(Played(kSeThrowN), 1);
  auto knives = All<KunaiShotTask>(kLayerBullet);
  ASSERT_EQ(knives.size(), 5u);
  // Straight down turned clockwise by the angle: velocity 4 x (-sin a, cos a).
  std::vector<double> angles;
  for (auto* k : knives) {
    EXPECT_NEAR(std::hypot(k->vx, k->vy), 4.0, 1e-9);
    angles.push_back(std::atan2(-k->vx, k->vy));
  }
  std::sort(angles.begin(), angles.end());
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(angles[i], (i - 2) * kPi / 18, 1e-9);
  StepUntil([&] { return f->hitMask == 1; }, 200);
  EXPECT_EQ(Played(kSeThrowN), 1);  // one fan per leap
  EXPECT_DOUBLE_EQ(f->y, 180);
}

TEST_F(DokuroFinalTest, DashStopsAtTheWallWhileAfterimagesDrift) {
  auto* f = MakeFighting(100);
  PlayerX = 20;  // to the left: the hop goes right, the dash left
  f->srcX = 64;
  f->vx = 1.0;
  f->flip = 1;
  f->delay = 4;
  f->dashing = 1;
  f->vy = -4.0;
  f->y = 176;
  Enter(f, 2, 0);
  trace.clear();
  ASSERT_GT(StepUntil([&] { return f->hitMask == 4; }, 100), 0);
  EXPECT_EQ(f->layer, kLayerBossPart);  // hurts by contact while dashing
  EXPECT_EQ(Played(kSeDash2N), 1);
  double minX = 1e9, maxX = -1e9;
  std::vector<double> afterX;
  for (int i = 0; i < 22; ++i) {
    Frame();
    minX = std::min(minX, f->x);
    maxX = std::max(maxX, f->x);
    for (auto* a : All<DokuroDashAfterimageTask>(kLayerBossPart)) {
      EXPECT_EQ(a->flip, 1);  // drifting right, back along the dash
      afterX.push_back(a->x);
    }
  }
  EXPECT_DOUBLE_EQ(minX, 12.0);
  EXPECT_LE(maxX, 196.0);
  EXPECT_EQ(f->layer, kLayerEnemy);
  EXPECT_GT(*std::max_element(afterX.begin(), afterX.end()), 12.0 + 8.0);

  // An after-image lives four updates, 64 fainter each.
  auto* a = CreateTask<DokuroDashAfterimageTask>(100, 100, -8.0);
  EXPECT_EQ(a->flip, 0);
  for (int i = 1; i <= 3; ++i) {
    a->Update();
    EXPECT_EQ(a->opacity, 255 - 64 * i);
    EXPECT_FALSE(a->finished);
  }
  a->Update();
  EXPECT_EQ(a->opacity, 0);
  EXPECT_TRUE(a->finished);
  EXPECT_DOUBLE_EQ(a->x, 68);
}

TEST_F(DokuroFinalTest, StarThrowingTurnsToThePlayerAndBack) {
  auto* f = MakeFighting(150);
  PlayerX = 20;
  Enter(f, 3, 2);
  Frame();  // counter 2: the wide throwing pose
  EXPECT_EQ(f->width, 48);
  EXPECT_DOUBLE_EQ(f->x, 142);
  EXPECT_EQ(f->hitX, 16);
  EXPECT_EQ(f->flip, 1);
  Frames(18);  // counter 20
  auto stars = All<ShurikinTask>(kLayerBullet);
  ASSERT_EQ(stars.size(), 1u);
  EXPECT_DOUBLE_EQ(stars[0]->vx, -3.0);
  Frames(100);  // counter 120: back to the narrow figure
  EXPECT_EQ(f->width, 32);
  EXPECT_DOUBLE_EQ(f->x, 150);
  EXPECT_EQ(f->hitX, 8);
  // Beaten in the throwing pose, it returns to the narrow figure.
  Enter(f, 3, 2);
  Frame();
  f->life = 1;
  f->hitCode = 3;
  trace.clear();
  Frame();
  EXPECT_EQ(f->hitMask, 5);
  EXPECT_EQ(f->width, 32);
  EXPECT_EQ(f->srcY, 112);
  EXPECT_DOUBLE_EQ(f->x, 150);
  EXPECT_EQ(f->hitShape, kHitNone);
  EXPECT_EQ(Count("pxtone_Tune_Stop"), 1);
  EXPECT_EQ(Count("pxtone_Tune_Release"), 1);
}

TEST_F(DokuroFinalTest, BeatingTheFinalFormClearsTheStageWithTheLivesBonus) {
  auto* f = MakeFighting(100);
  Score = 1000;
  f->life = 2;
  f->hitCode = 2;
  Frame();
  ASSERT_EQ(f->hitMask, 5);
  EXPECT_LE(BossGaugeFull, 0);
  int frames = StepUntil([&] { return f->hitMask == 6; }, 800);
  EXPECT_EQ(frames, 692);
  EXPECT_EQ(f->whiteness, 255);
  EXPECT_EQ(f->brightness, 0);
  EXPECT_DOUBLE_EQ(f->y, 180);
  trace.clear();
  frames = StepUntil([&] { return f->finished != 0; }, 300);
  ASSERT_GT(frames, 0);
  EXPECT_EQ(Played(21), 1);
  EXPECT_EQ(Score, 51000);
  EXPECT_EQ(BossPhase, 3);
  auto clears = All<StageClearTask>(kLayerBullet);
  ASSERT_EQ(clears.size(), 1u);
  EXPECT_EQ(clears[0]->livesBonus, 1);
}

// The whole fight, with the player's attacks scripted as hits every few frames.
TEST_F(DokuroTest, WholeFightEndsInAStageClear) {
  SetRandSeed(11);
  TaskRef<DokuroMasterTask> m(MakeMaster(120, 20));
  Frames(10);
  ScrollTaken = 1;
  Frame();
  BossGaugeShown = 640;
  DokuroMasterFinalTask* f = nullptr;
  bool sawWeapons = false, sawVeil = false;
  int frames = 0;
  for (int i = 0; i < 20000; ++i, ++frames) {
    if (i % 9 == 0) {
      if (m && m->hitShape != kHitNone) m->hitCode = 4;
      for (int layer : {kLayerEnemy, kLayerBossPart}) {
        if (auto* g = First<DokuroMasterFinalTask>(layer)) {
          f = g;
          if (g->hitShape != kHitNone) g->hitCode = 3;
        }
      }
    }
    Frame();
    if (!All<DokuroWeaponsTask>(kLayerBlock).empty()) sawWeapons = true;
    if (BossPhase == 4) sawVeil = true;
    if (!All<StageClearTask>(kLayerBullet).empty()) break;
  }
  EXPECT_GT(frames, 2000);
  EXPECT_TRUE(sawWeapons);
  EXPECT_TRUE(sawVeil);
  EXPECT_NE(f, nullptr);
  EXPECT_EQ(BossPhase, 3);
  auto clears = All<StageClearTask>(kLayerBullet);
  ASSERT_EQ(clears.size(), 1u);
  EXPECT_EQ(clears[0]->livesBonus, 1);
  EXPECT_EQ(Score, 50000);
}

}  // namespace
