// The tea-ceremony master, its utensils and drops, and the rules all masters share.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "game/playfield/blocks_items.h"
#include "game/playfield/collision.h"
#include "game/masters/master_common.h"
#include "game/playfield/stage.h"
#include "game/enemies/small_enemies.h"
#include "game/masters/tea_master.h"
#include "tests/game/playthrough_fixture.h"

namespace {

using namespace playfield;

constexpr int kTeaSheet = kEnemySheetBase + 4;

class TeaMasterTest : public Playfield {
 protected:
  void SetUp() override {
    Playfield::SetUp();
    PlayerX = 104;
    PlayerY = 194;
    Health = 5;
    BossGaugeFull = 640;  // drops and kettles end when it falls below 1
  }

  // A master at cell (96, 40), as the stage makes it.
  ChanoyuMasterTask* Make() {
    CreateStageObjects(50, 96, 40);
    return First<ChanoyuMasterTask>(kLayerEnemy);
  }

  // Scroll taken and gauge filled: the master fights (state 2, counter 1).
  ChanoyuMasterTask* MakeAwake() {
    ChanoyuMasterTask* m = Make();
    ScrollTaken = 1;
    Frame();
    BossGaugeShown = 640;
    Frame();
    return m;
  }

  // Runs until the master's next update sees `counter`.
  void RunTo(ChanoyuMasterTask* m, int counter) {
    while (m->counter < counter) Frame();
  }

  template <class T>
  int Live(int layer) {
    int n = 0;
    for (T* t : All<T>(layer)) n += t->finished ? 0 : 1;
    return n;
  }
};

// The hit rule of all masters, on a bare task.
TEST_F(TeaMasterTest, MasterHitReactionTakesTheStrongestHitOfAFlash) {
  Character boss(-1, 0, 0);
  boss.life = 100;
  boss.hitCode = 5;
  MasterTakeHit(boss);
  EXPECT_EQ(boss.life, 95);
  EXPECT_EQ(boss.flashTimer, 2);
  EXPECT_EQ(Played(kSeHitBoss), 1);
  // Same or lower strength within the flash: nothing.
  boss.hitCode = 5;
  MasterTakeHit(boss);
  boss.hitCode = 1;
  MasterTakeHit(boss);
  EXPECT_EQ(boss.life, 95);
  // Stronger: subtracted in full.
  boss.hitCode = 7;
  MasterTakeHit(boss);
  EXPECT_EQ(boss.life, 88);
  EXPECT_EQ(boss.attackPower, 7);
  // Once the flash is over the same strength hurts again.
  boss.flashTimer = 0;
  boss.hitCode = 7;
  MasterTakeHit(boss);
  EXPECT_EQ(boss.life, 81);
  // A hit code is a signed byte: 0xFF is -1 and never hurts.
  boss.flashTimer = 0;
  boss.hitCode = 0xFF;
  MasterTakeHit(boss);
  EXPECT_EQ(boss.life, 81);
  // The last hit: no hurt sound, no flash.
  trace.clear();
  boss.life = 3;
  boss.flashTimer = 0;
  boss.hitCode = 5;
  MasterTakeHit(boss);
  EXPECT_EQ(boss.life, -2);
  EXPECT_EQ(boss.flashTimer, 0);
  EXPECT_EQ(Played(kSeHitBoss), 0);
}

TEST_F(TeaMasterTest, StartsDarkAndUntouchableBesideItsCell) {
  ChanoyuMasterTask* m = Make();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->x, 96 + 12 - 24);
  EXPECT_EQ(m->y, 44);
  EXPECT_EQ(m->life, 640);
  EXPECT_EQ(m->score, 20000);
  EXPECT_EQ(m->hitShape, kHitNone);
  EXPECT_EQ(m->image, kTeaSheet);
  EXPECT_EQ(BossPhase, 1);
  EXPECT_STREQ(BossNameLine1, "CHANOYU ");
  EXPECT_STREQ(BossNameLine2, "  MASTER");
  Frame();
  // Centre of the box (4, 32, 40, 32).
  EXPECT_EQ(BossCenterX, 84 + 4 + 20);
  EXPECT_EQ(BossCenterY, 44 + 32 + 16);
  EXPECT_EQ(BossGaugeFull, 640);
  trace.clear();
  Draw();
  ASSERT_GE(trace.size(), 3u);
  EXPECT_EQ(trace[0], "SetDrawBrightness 64 64 64");
  EXPECT_EQ(trace[1], "DrawRectPartGraph 84 44 0 0 48 80 img=" + std::to_string(kTeaSheet) + " t=1 turn=0");
  EXPECT_EQ(trace.back(), "SetDrawBrightness 255 255 255");
}

// Before the scroll the spout still sweeps; a sweep at pi/120 an update pours from
// 110 to 250 degrees, every third update.
TEST_F(TeaMasterTest, WaitingMasterPoursItsSweepsByDifficulty) {
  for (int difficulty = 0; difficulty < 2; ++difficulty) {
    TaskPool_DeleteAll();
    trace.clear();
    Settings.difficulty = difficulty;
    const int start = difficulty ? 200 : 300;
    ChanoyuMasterTask* m = Make();
    RunTo(m, start);
    EXPECT_EQ(Played(kSeBulletQuiet), 0);
    EXPECT_EQ(m->aimMode, 0);
    Frame();
    EXPECT_EQ(m->aimMode, 2);
    EXPECT_NEAR(m->work[3], kPi / 2 + kPi / 120, 1e-12);
    // Angle after the update at counter c: pi/2 + (c - start + 1) pi/120.
    int expected = 0;
    for (int c = start; c < start + 125; ++c) {
      double deg = 90.0 + 1.5 * (c - start + 1);
      if (deg > 110.0 && deg < 250.0 && c % 3 == 0) ++expected;
    }
    RunTo(m, start + 125);
    EXPECT_EQ(Played(kSeBulletQuiet), expected) << difficulty;
    EXPECT_GT(expected, 25);
    EXPECT_EQ(m->aimMode, 0);
    EXPECT_EQ(m->work[2], 0.0);
    EXPECT_GT(m->work[3], 3 * kPi / 2);
    EXPECT_EQ(m->hitShape, kHitNone);
    // The next sweep turns back.
    const int period = difficulty ? 460 : 690;
    RunTo(m, start + period + 1);
    EXPECT_NEAR(m->work[2], -kPi / 120, 1e-12);
  }
}

TEST_F(TeaMasterTest, AimedAndSpatDropsMoveAsLaunched) {
  // Angle clockwise from straight up.
  auto* right = CreateTask<TeaBulletTask>(100, 100, kPi / 2, 4.0);
  auto* down = CreateTask<TeaBulletTask>(100, 100, kPi, 2.0);
  EXPECT_NEAR(right->work[0], 4.0, 1e-9);
  EXPECT_NEAR(right->work[1], 0.0, 1e-9);
  EXPECT_NEAR(down->work[0], 0.0, 1e-9);
  EXPECT_NEAR(down->work[1], 2.0, 1e-9);
  EXPECT_EQ(right->srcY, 96);  // no master named: the name line is empty, so ink
  EXPECT_EQ(right->scale, 0.4);

  auto* spat = CreateTask<TeaBulletTask>(100, 120, -3.0);
  EXPECT_EQ(spat->flip, 1);
  EXPECT_GE(spat->work[0], -2.0);
  EXPECT_LE(spat->work[0], 2.0);
  EXPECT_NEAR(spat->work[0] * 10, std::round(spat->work[0] * 10), 1e-9);
  // Gravity 0.1 an update while below 4.
  std::vector<double> vy;
  for (int i = 0; i < 40; ++i) {
    Frame();
    vy.push_back(spat->work[1]);
  }
  ASSERT_FALSE(spat->finished);
  EXPECT_NEAR(vy[0], -2.9, 1e-9);
  EXPECT_NEAR(vy[9], -2.0, 1e-9);
  EXPECT_NEAR(vy.back(), 1.0, 1e-9);
  spat->work[1] = 3.95;
  Frame();
  EXPECT_NEAR(spat->work[1], 4.05, 1e-9);
  Frame();
  EXPECT_NEAR(spat->work[1], 4.05, 1e-9);
}

TEST_F(TeaMasterTest, DropInkOrTeaByTheMasterName) {
  CopyName(BossNameLine1, "CHANOYU ");
  EXPECT_EQ(CreateTask<TeaBulletTask>(100, 100, 0.0, 1.0)->srcY, 64);
  CopyName(BossNameLine1, "SHODO   ");
  EXPECT_EQ(CreateTask<TeaBulletTask>(100, 100, 0.0, 1.0)->srcY, 96);
  EXPECT_EQ(CreateTask<TeaBulletTask>(100, 100, -1.0)->srcY, 64);  // spat is always tea
}

TEST_F(TeaMasterTest, DropsLeaveTheFieldOnlyOnceGrown) {
  BossGaugeFull = 640;
  // 4 pixels left an update from x 24: the box leaves (x - 3 < 12) after 3 updates.
  TaskRef<TeaBulletTask> d(CreateTask<TeaBulletTask>(24, 100, 3 * kPi / 2, 4.0));
  Frames(7);  // scale 0.75
  ASSERT_TRUE(d);
  EXPECT_FALSE(d->finished);
  EXPECT_LT(d->x, 12);
  Frames(4);
  EXPECT_FALSE(d);

  // Grown drops inside the field end with the boss, or on the player / shield.
  auto* a = CreateTask<TeaBulletTask>(100, 100, 0.0, 0.0);
  auto* b = CreateTask<TeaBulletTask>(120, 100, 0.0, 0.0);
  auto* c = CreateTask<TeaBulletTask>(140, 100, 0.0, 0.0);
  Frames(12);
  EXPECT_FALSE(a->finished);
  EXPECT_EQ(a->scale, 1.0);
  b->hitCode = 9;
  c->hitCode = 1;
  Frame();
  EXPECT_TRUE(b->finished);
  EXPECT_TRUE(c->finished);
  EXPECT_FALSE(a->finished);
  BossGaugeFull = 0;
  Frame();
  EXPECT_TRUE(a->finished);
}

TEST_F(TeaMasterTest, WakesOnTheScrollAndWaitsForTheGauge) {
  ChanoyuMasterTask* m = Make();
  Frames(5);
  ScrollTaken = 1;
  Frame();
  EXPECT_EQ(m->hitMask, 1);
  EXPECT_EQ(BossPhase, 2);
  EXPECT_EQ(BossGaugeFull, 640);
  EXPECT_EQ(Count("pxtone_Tune_Load ./bgm/boss2.pttune"), 1);
  EXPECT_EQ(Count("pxtone_Tune_SetLoop 1"), 1);
  // Blinks (hidden when counter mod 3 is 2) and brightens while the gauge fills.
  std::vector<int> shown;
  for (int i = 0; i < 6; ++i) {
    BossGaugeShown += 5;
    Frame();
    shown.push_back(m->visible);
  }
  EXPECT_EQ(shown, (std::vector<int>{1, 0, 1, 1, 0, 1}));
  EXPECT_EQ(m->brightness, 64 + 2 * 6);
  EXPECT_EQ(m->hitShape, kHitNone);
  BossGaugeShown = 640;
  Frame();
  EXPECT_EQ(m->hitMask, 2);
  EXPECT_EQ(m->hitShape, kHitBox);
  EXPECT_EQ(m->visible, 1);
  EXPECT_EQ(m->srcX, 48);
  EXPECT_EQ(m->counter, 1);
  // Brightness stops at 255.
  m->brightness = 254;
  m->hitMask = 1;
  Frame();
  EXPECT_EQ(m->brightness, 255);
}

TEST_F(TeaMasterTest, FirstHalfUtensilsGlideUnderTheArmsThenItWalksAndSpits) {
  ChanoyuMasterTask* m = MakeAwake();
  RunTo(m, 11);
  EXPECT_EQ(m->x, 84 - 24);
  EXPECT_EQ(m->width, 96);
  EXPECT_EQ(m->hitX, 28);
  EXPECT_EQ(Played(kSeGetout), 1);
  auto utensils = All<ChaDouguTask>(kLayerBossPart);
  ASSERT_EQ(utensils.size(), 2u);
  EXPECT_EQ(utensils[0]->x, 60 - 6);
  EXPECT_EQ(utensils[1]->x, 60 + 96 + 6);
  EXPECT_EQ(utensils[0]->hitShape, kHitNone);
  // Both meet at (x + 48, y + 65).
  RunTo(m, 104);
  for (ChaDouguTask* u : utensils) {
    EXPECT_NEAR(u->x, 60 + 48, 1e-9);
    EXPECT_NEAR(u->y, 44 + 65, 1e-9);
    EXPECT_EQ(u->scale, 1.0);
  }
  EXPECT_EQ(m->x, 60);  // stands still while they glide
  RunTo(m, 111);
  EXPECT_EQ(m->x, 84);
  EXPECT_EQ(Live<ChaDouguTask>(kLayerBossPart), 0);
  EXPECT_FALSE(m->utensilLeft);
  // Walking toward the player from counter 113; PlayerX + 16 > x + 24, so right.
  RunTo(m, 114);
  EXPECT_NEAR(m->x, 84.8, 1e-9);
  EXPECT_EQ(m->srcX, (113 / 4 % 2 + 2) * 48);
  // Spat drops every 14th update from 161.
  RunTo(m, 168);
  EXPECT_EQ(Live<TeaBulletTask>(kLayerBullet), 0);
  Frame();
  auto drops = All<TeaBulletTask>(kLayerBullet);
  ASSERT_EQ(drops.size(), 1u);
  EXPECT_EQ(drops[0]->flip, 1);
  RunTo(m, 183);
  EXPECT_EQ(All<TeaBulletTask>(kLayerBullet).size(), 2u);
  // It turns 32 pixels before the walls.
  RunTo(m, 400);
  EXPECT_GT(m->x - 32, 12 - 1);
  EXPECT_LT(m->x + 48 + 32, 228 + 1);
}

TEST_F(TeaMasterTest, HalfHealthBringsTheKettles) {
  ChanoyuMasterTask* m = MakeAwake();
  RunTo(m, 130);
  const double speed = m->work[0];
  m->life = 325;
  m->hitCode = 5;  // exactly 320 left
  Frame();
  EXPECT_EQ(m->life, 320);
  EXPECT_EQ(m->hitMask, 3);
  EXPECT_EQ(m->srcX, 0);
  EXPECT_EQ(Played(kSeDefeat), 1);
  EXPECT_EQ(All<DoronSmokeTask>(kLayerEnemy).size(), 1u);
  const double x = m->x;
  RunTo(m, 53);
  EXPECT_EQ(m->x, x - 24);
  EXPECT_EQ(m->work[0], speed * 0.25);
  auto kettles = All<ChaDouguTask>(kLayerBossPart);
  ASSERT_EQ(kettles.size(), 2u);
  EXPECT_EQ(kettles[0]->timed, 0);
  EXPECT_EQ(kettles[0]->height, 24);
  EXPECT_EQ(kettles[0]->hitShape, kHitBox);
  RunTo(m, 140);
  Frame();
  EXPECT_EQ(m->hitMask, 4);
  EXPECT_EQ(m->counter, 0);
  // The kettles ride along.
  const double gap = kettles[0]->x - m->x;
  Frames(20);
  EXPECT_NEAR(kettles[0]->x - m->x, gap, 1e-9);
}

// A change of half while the sweeping utensils are out must not leave them behind
// (they would take the kettles' places) nor shift the master twice.
TEST_F(TeaMasterTest, HalfChangeWithUtensilsOutStillBringsKettles) {
  ChanoyuMasterTask* m = MakeAwake();
  RunTo(m, 50);
  ASSERT_EQ(Live<ChaDouguTask>(kLayerBossPart), 2);
  m->life = 321;
  m->hitCode = 1;
  Frame();
  EXPECT_EQ(m->hitMask, 3);
  EXPECT_EQ(m->x, 84);
  EXPECT_EQ(m->width, 48);
  EXPECT_EQ(Live<ChaDouguTask>(kLayerBossPart), 0);
  RunTo(m, 53);
  EXPECT_EQ(m->x, 60);
  auto kettles = All<ChaDouguTask>(kLayerBossPart);
  ASSERT_EQ(Live<ChaDouguTask>(kLayerBossPart), 2);
  EXPECT_EQ(m->utensilLeft.get()->height, 24);
  EXPECT_EQ(m->utensilRight.get()->height, 24);
}

TEST_F(TeaMasterTest, SecondHalfFansAimAtThePlayer) {
  struct Case {
    int difficulty;
    std::vector<double> first, second;  // angles from the player's direction
  };
  const Case cases[] = {
      {0, {-kPi / 6, 0, kPi / 6}, {-3 * kPi / 12, -kPi / 12, kPi / 12, 3 * kPi / 12}},
      {1, {-2 * kPi / 9, -kPi / 9, 0, kPi / 9, 2 * kPi / 9}, {-3 * kPi / 18, -kPi / 18, kPi / 18, 3 * kPi / 18}},
  };
  for (const Case& k : cases) {
    TaskPool_DeleteAll();
    Settings.difficulty = k.difficulty;
    ChanoyuMasterTask* m = Make();
    m->hitMask = 4;
    m->srcY = 80;
    m->width = 96;
    // The player straight below the mouth (x + 48 = PlayerX + 16).
    PlayerX = m->x + 48 - 16;
    PlayerY = 200;
    const double base = kPi;
    for (int round = 0; round < 2; ++round) {
      trace.clear();
      Frame();
      const auto& want = round == 0 ? k.first : k.second;
      auto drops = All<TeaBulletTask>(kLayerBullet);
      std::vector<double> got;
      for (TeaBulletTask* d : drops) {
        if (d->counter != 1) continue;  // fired this frame
        got.push_back(std::atan2(d->work[0], -d->work[1]));
        EXPECT_NEAR(std::hypot(d->work[0], d->work[1]), 1.6, 1e-9);
      }
      ASSERT_EQ(got.size(), want.size());
      EXPECT_EQ(Played(kSeBullet), 1);
      std::vector<double> expect;
      for (double a : want) expect.push_back(std::remainder(base + a, 2 * kPi));
      std::sort(got.begin(), got.end());
      std::sort(expect.begin(), expect.end());
      for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], expect[i], 1e-9) << k.difficulty;
      if (round == 0) {
        EXPECT_EQ(m->aimMode, 2);
        RunTo(m, 40);
      }
    }
    // The spout sign flashes for 12 of every 40 updates.
    RunTo(m, 53);
    EXPECT_EQ(m->aimMode, 0);
    RunTo(m, 240);
    Frame();
    EXPECT_EQ(m->hitMask, 5);
    EXPECT_EQ(m->aimMode, 2);
    EXPECT_GT(m->work[2], 0.0);
    // Back to walking once the spout is past the far side.
    for (int i = 0; i < 200 && m->hitMask == 5; ++i) Frame();
    EXPECT_EQ(m->hitMask, 4);
    EXPECT_EQ(m->counter, 0);
    EXPECT_GT(m->work[3], 3 * kPi / 2);
  }
}

TEST_F(TeaMasterTest, KettlesPourAStreamAndEnd) {
  BossGaugeFull = 100;
  BossCenterX = 0;  // both kettles right of the centre: silent
  auto* timed = CreateTask<ChaDouguTask>(100, 50, 1);
  auto* plain = CreateTask<ChaDouguTask>(150, 50, 0);
  EXPECT_EQ(timed->scale, 1.0);
  EXPECT_EQ(plain->scale, 2.0);
  EXPECT_EQ(timed->srcY, 84);
  Frame();
  EXPECT_EQ(timed->hitMask, 2);
  // Frames 144, 160, 176 every 5 updates from 20, then the pouring picture.
  std::vector<int> src;
  for (int c = 1; c <= 36; ++c) {
    Frame();
    if (c % 5 == 0) src.push_back(timed->srcX);
  }
  EXPECT_EQ(src, (std::vector<int>{128, 128, 128, 144, 160, 176, 128}));
  EXPECT_EQ(timed->srcY, 112);
  EXPECT_EQ(timed->height, 16);
  EXPECT_EQ(timed->stream, 12);
  EXPECT_EQ(timed->hitH, 8 + 12);
  Frames(60);
  EXPECT_EQ(timed->stream, 216);
  EXPECT_EQ(timed->hitH, 8 + 216);
  EXPECT_EQ(Played(kSeStream), 1);  // the timed one only
  ASSERT_EQ(plain->hitMask, 2);

  // The stream is drawn in pieces of up to 32 rows below the picture.
  trace.clear();
  timed->Draw();
  std::vector<std::string> pieces;
  for (const std::string& s : trace) {
    if (s.rfind("DrawRectPartGraph", 0) == 0) pieces.push_back(s);
  }
  ASSERT_EQ(pieces.size(), 7u);
  const std::string img = " img=" + std::to_string(kTeaSheet) + " t=1 turn=0";
  EXPECT_EQ(pieces[0], "DrawRectPartGraph 92 58 " + std::to_string(timed->srcX) + " 128 16 32" + img);
  EXPECT_EQ(pieces[6], "DrawRectPartGraph 92 250 " + std::to_string(timed->srcX) + " 128 16 24" + img);
  EXPECT_EQ(trace.front(), "SetDrawBlendMode 1 255");
  EXPECT_EQ(trace.back(), "SetDrawBlendMode 0 0");

  // The timed kettle lasts 580 updates, the other until the boss is beaten.
  while (timed->counter < 580) Frame();
  EXPECT_FALSE(timed->finished);
  Frame();
  EXPECT_TRUE(timed->finished);
  auto smoke = All<DoronSmokeTask>(kLayerEnemy);
  ASSERT_EQ(smoke.size(), 1u);
  EXPECT_EQ(smoke[0]->x, 100 - 16);
  EXPECT_EQ(smoke[0]->y, 50 - 16);
  EXPECT_FALSE(plain->finished);
  BossGaugeFull = 0;
  Frame();
  EXPECT_TRUE(plain->finished);
}

TEST_F(TeaMasterTest, AppearingUtensilFadesInAtDoubleSize) {
  auto* u = CreateTask<ChaDouguTask>(100, 50, 40.0, 110.0);
  EXPECT_EQ(u->scale, 2.0);
  EXPECT_NEAR(u->work[2], -1.0, 1e-12);
  EXPECT_NEAR(u->work[3], 1.0, 1e-12);
  BossGaugeFull = 10;
  Frames(5);  // scale 1.5
  trace.clear();
  u->Draw();
  ASSERT_EQ(trace.size(), 5u);
  EXPECT_EQ(trace[0], "SetDrawBlendMode 1 127");
  const std::string tail = " img=" + std::to_string(kTeaSheet) + " t=1 turn=0";
  EXPECT_EQ(trace[1], "DrawRectRotateGraph 100 50 128 80 16 32 1.500 0.0000" + tail);
  EXPECT_EQ(trace[2], "DrawRectRotateGraph 100 50 128 80 16 32 1.000 0.0000" + tail);
  EXPECT_EQ(trace[3], "DrawRectRotateGraph 100 50 128 80 16 32 1.500 0.0000" + tail);
}

TEST_F(TeaMasterTest, DeathFadesAndShowersItemsByMissingHealth) {
  struct Case {
    int health;
    int riceBalls, money;
  };
  for (const Case& k : {Case{5, 0, 3}, Case{3, 2, 1}, Case{2, 3, 0}, Case{0, 3, 0}}) {
    TaskPool_DeleteAll();
    BossPhase = 0;
    Health = k.health;
    Score = 100;
    ChanoyuMasterTask* m = MakeAwake();
    RunTo(m, 20);
    const double cx = m->x + m->hitX + 20;
    trace.clear();
    m->life = 2;
    m->hitCode = 3;
    Frame();
    EXPECT_EQ(m->hitMask, 6);
    EXPECT_EQ(Played(kSeDefeat), 1 + 1);  // the death and the first shower
    EXPECT_EQ(Count("pxtone_Tune_Fadeout 3000"), 1);
    EXPECT_STREQ(CurrentTune, "");
    EXPECT_EQ(BossGaugeFull, -1);
    EXPECT_EQ(All<ItemTask>(kLayerItem).size(), 2u);
    // Draw while dead: alpha by the fade, not the flash.
    trace.clear();
    m->flashTimer = 2;
    m->Draw();
    EXPECT_EQ(trace[1], "SetDrawBlendMode 1 255");
    std::set<uint64_t> seen;
    std::vector<ItemTask*> fresh;
    auto newItems = [&]() {
      fresh.clear();
      for (ItemTask* it : All<ItemTask>(kLayerItem)) {
        if (seen.insert(it->serial()).second) fresh.push_back(it);
      }
    };
    newItems();
    int coins = static_cast<int>(fresh.size()), frames = 1;
    while (!m->finished && frames < 1000) {
      trace.clear();
      Frame();
      ++frames;
      newItems();
      if (m->counter == 351) {
        EXPECT_EQ(Played(kSeVanish), 1);
      }
      if (!m->finished) {
        for (ItemTask* it : fresh) coins += it->itemKind == kItemCoin ? 1 : 100;
      }
    }
    // Coins every 8 updates before 256; 64 updates of fading from 350.
    EXPECT_EQ(coins, 64);
    EXPECT_EQ(frames, 350 + 64);
    EXPECT_EQ(m->fade, 0);
    EXPECT_EQ(BossPhase, 3);
    EXPECT_EQ(Score, 100 + 20000);
    int rice = 0, money = 0;
    std::vector<double> speeds;
    ASSERT_EQ(fresh.size(), 3u);
    for (ItemTask* it : fresh) {
      rice += it->itemKind == kItemRiceBall;
      money += it->itemKind == kItemMoney;
      speeds.push_back(it->speedX);
      EXPECT_EQ(it->x - it->speedX, cx - 8);  // centred on the box, one step taken
    }
    EXPECT_EQ(rice, k.riceBalls) << k.health;
    EXPECT_EQ(money, k.money) << k.health;
    std::sort(speeds.begin(), speeds.end());
    EXPECT_EQ(speeds, (std::vector<double>{-1.0, 0.0, 1.0}));
  }
}

// The player's knife reaches the woken master through the collision pass.
TEST_F(TeaMasterTest, KnifeHitFlashesTheMaster) {
  ChanoyuMasterTask* m = MakeAwake();
  CreateTask<KunaiShotTask>(PixelOf(BossCenterX), PixelOf(BossCenterY) + 2, 0.0, 0.0, false);
  Frame();
  EXPECT_EQ(m->life, 635);
  EXPECT_EQ(Played(kSeHitBoss), 1);
  trace.clear();
  Draw();
  EXPECT_EQ(Count("SetDrawBlendMode 10 128"), 1);
  EXPECT_EQ(Count("SetDrawBrightness 66 66 66"), 1);
}

// A whole fight, struck by a strength-5 attack every 8 updates: every state is met, and
// the kettles and drops go with the boss.
TEST_F(TeaMasterTest, WholeFightRunsThroughEveryState) {
  ChanoyuMasterTask* m = MakeAwake();
  TaskRef<ChanoyuMasterTask> ref(m);
  std::set<int> states;
  int frames = 0;
  while (ref && frames < 5000) {
    if (frames % 8 == 0 && m->hitShape == kHitBox) m->hitCode = 5;
    states.insert(m->hitMask);
    Frame();
    ++frames;
  }
  EXPECT_FALSE(ref);
  EXPECT_EQ(states, (std::set<int>{2, 3, 4, 5, 6}));
  EXPECT_EQ(BossPhase, 3);
  Frames(2);
  EXPECT_EQ(TaskPool_Count(kLayerBossPart), 0);
  EXPECT_EQ(TaskPool_Count(kLayerBullet), 0);
}

}  // namespace
