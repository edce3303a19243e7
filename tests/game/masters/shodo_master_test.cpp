// The calligraphy master, its brushes and sheets, and the fire, thunder and ice attacks.
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "game/playfield/blocks_items.h"
#include "game/playfield/stage.h"
#include "game/masters/shodo_master.h"
#include "game/masters/shodo_weapons.h"
#include "game/masters/tea_master.h"
#include "tests/game/playthrough_fixture.h"

namespace {

using namespace playfield;

constexpr int kBodySheet = kEnemySheetBase + 7;
constexpr int kPaperSheet = kEnemySheetBase + 8;

std::string Part(int x, int y, int sx, int sy, int w, int h, int img) {
  return "DrawRectPartGraph " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(sx) + " " +
         std::to_string(sy) + " " + std::to_string(w) + " " + std::to_string(h) + " img=" + std::to_string(img) +
         " t=1 turn=0";
}

class ShodoTest : public Playfield {
 protected:
  void SetUp() override {
    Playfield::SetUp();
    PlayerX = 150;
    PlayerY = 194;
    Health = 5;
  }

  // The master of a cell at column 4, row 1, as the stage set-up places it.
  ShodoMasterTask* MakeMaster(int cellX = 108, int cellY = 20) {
    return CreateTask<ShodoMasterTask>(54, cellX + 12, cellY);
  }

  // Woken and fighting (state 2, its counter about to read 1).
  ShodoMasterTask* FightingMaster(int cellX = 108) {
    ShodoMasterTask* m = MakeMaster(cellX);
    Frames(141);  // brushes out
    Frames(80);   // and at rest beside it
    ScrollTaken = 1;
    Frame();
    BossGaugeShown = m->life;
    Frame();
    EXPECT_EQ(m->hitMask, 2);
    return m;
  }

  // Frames until the master's counter (read before its update) has been `n`.
  void UntilCounter(ShodoMasterTask* m, int n) {
    while (m->counter <= n) Frame();
  }
};

TEST_F(ShodoTest, WaitsDarkAndUntouchableWithBrushBursts) {
  for (int difficulty = 0; difficulty < 2; ++difficulty) {
    SCOPED_TRACE(difficulty);
    Settings.difficulty = difficulty;
    TaskPool_DeleteAll();
    trace.clear();
    ShodoMasterTask* m = MakeMaster();
    EXPECT_EQ(m->x, 80.0);  // centred on the cell's x + 12
    EXPECT_EQ(m->homeY, 16.0);
    EXPECT_EQ(m->hitShape, kHitNone);
    EXPECT_EQ(m->life, 640);
    EXPECT_EQ(BossPhase, 1);
    EXPECT_EQ(std::string(BossNameLine1), "SHODO   ");
    EXPECT_EQ(std::string(BossNameLine2), "  MASTER");

    Frames(140);
    EXPECT_TRUE(All<FudeCannonTask>(kLayerBlock).empty());
    Frame();
    auto brushes = All<FudeCannonTask>(kLayerBlock);
    ASSERT_EQ(brushes.size(), 2u);
    EXPECT_EQ(Played(kSeGetout), 1);
    EXPECT_EQ(brushes[0]->x, 120.0);
    EXPECT_EQ(brushes[0]->y, 64.0);

    // They glide apart, stop and join the boss parts, one on each side.
    Frames(80);
    auto resting = All<FudeCannonTask>(kLayerBossPart);
    ASSERT_EQ(resting.size(), 2u);
    EXPECT_LT(m->leftBrush->x, BossCenterX - 30);
    EXPECT_GT(m->rightBrush->x, BossCenterX + 30);
    EXPECT_EQ(m->rightBrush->hitShape, kHitNone);

    // Three shots a brush per burst: at counters 240..260 on NORMAL, 320..340 on EASY.
    UntilCounter(m, 300);
    EXPECT_EQ(Played(kSeInk), difficulty ? 6 : 0);
    UntilCounter(m, 345);
    EXPECT_EQ(Played(kSeInk), 6);
    EXPECT_EQ(static_cast<int>(All<TeaBulletTask>(kLayerBullet).size()) > 0, true);
    UntilCounter(m, 445);
    EXPECT_EQ(Played(kSeInk), difficulty ? 12 : 6);
    EXPECT_EQ(m->hitShape, kHitNone);
  }
}

TEST_F(ShodoTest, WakesOnTheScrollAndWalksAwayFromThePlayer) {
  ShodoMasterTask* m = MakeMaster();
  Frames(10);
  ScrollTaken = 1;
  Frame();
  EXPECT_EQ(BossPhase, 2);
  EXPECT_EQ(BossGaugeFull, 640);
  EXPECT_EQ(Count("pxtone_Tune_Load ./bgm/boss2.pttune"), 1);
  EXPECT_EQ(m->hitShape, kHitNone);
  Frames(20);  // the gauge is still filling
  EXPECT_EQ(m->hitMask, 1);
  EXPECT_EQ(m->brightness, 64 + 2 * 20);
  BossGaugeShown = 640;
  Frame();
  EXPECT_EQ(m->hitMask, 2);
  EXPECT_EQ(m->hitShape, kHitBox);
  EXPECT_EQ(m->visible, 1);
  EXPECT_EQ(m->work[0], -1.0);  // centre 120 is left of the player's 166
  EXPECT_EQ(BossCenterX, 80.0 + 20 + 20);
  EXPECT_EQ(BossCenterY, 16.0 + 26 + 23);
}

TEST_F(ShodoTest, ThrownBrushReturnsAndOnlyVisibleBrushesFire) {
  ShodoMasterTask* m = FightingMaster();
  FudeCannonTask* left = m->leftBrush.get();
  FudeCannonTask* right = m->rightBrush.get();
  ASSERT_TRUE(left && right);
  UntilCounter(m, 160);  // a hand takes its brush
  trace.clear();
  FudeCannonTask* held = m->leftFrame == 80 ? left : right;
  FudeCannonTask* other = held == left ? right : left;
  EXPECT_TRUE(m->leftFrame == 80 || m->rightFrame == 120);
  EXPECT_EQ(held->visible, 0);
  EXPECT_EQ(other->visible, 1);
  UntilCounter(m, 180);
  auto booms = All<FudeBoomerangTask>(kLayerBossPart);
  ASSERT_EQ(booms.size(), 1u);
  EXPECT_EQ(Played(kSeRolling), 1);
  EXPECT_EQ(m->throwCount, 1);
  EXPECT_EQ(booms[0]->hitShape, kHitCircle);
  EXPECT_EQ(booms[0]->hitW, 11);
  // The 40-frame shot at counter 200 comes from the visible brush only.
  UntilCounter(m, 200);
  EXPECT_EQ(Played(kSeInk), 1);
  EXPECT_EQ(held->angle, kPi);

  double lowest = 0.0;
  int frames = 0;
  TaskRef<FudeBoomerangTask> boomerang(booms[0]);
  while (FudeBoomerangTask* b = boomerang.get()) {
    if (frames >= 200) break;
    lowest = std::max(lowest, b->y);
    Frame();
    ++frames;
  }
  EXPECT_GT(lowest, 152.0);
  EXPECT_LT(frames, 200);
  EXPECT_EQ(held->visible, 1);

  // Three throws, then the ink barrage from counter 10 to 120 of state 3.
  UntilCounter(m, 639);
  EXPECT_EQ(m->throwCount, 3);
  Frame();
  EXPECT_EQ(m->hitMask, 3);
  EXPECT_EQ(m->throwCount, 0);
  trace.clear();
  UntilCounter(m, 159);
  EXPECT_EQ(Played(kSeInk), 2 * 12);
  Frame();
  EXPECT_EQ(m->hitMask, 2);
}

TEST_F(ShodoTest, BrushTurnsTowardThePlayerOneDegreeAFrame) {
  BossGaugeFull = 640;
  BossCenterX = 100;
  FudeCannonTask* b = CreateTask<FudeCannonTask>(100, 100, 0.0, true);
  PlayerX = 184;  // aim point (200, 210)
  PlayerY = 194;
  Frame();
  EXPECT_EQ(b->layer, kLayerBossPart);
  EXPECT_LT(b->angle, kPi);  // turning toward the player's side
  Frames(200);
  double want = std::atan2(200.0 - 100.0, -(210.0 - 100.0));
  EXPECT_NEAR(b->angle, want, 1e-9);
}

TEST_F(ShodoTest, TimedBrushFiresOnItsScheduleAndEndsAt580) {
  for (int difficulty = 0; difficulty < 2; ++difficulty) {
    SCOPED_TRACE(difficulty);
    Settings.difficulty = difficulty;
    TaskPool_DeleteAll();
    trace.clear();
    BossGaugeFull = 640;
    BossCenterX = 100;
    FudeCannonTask* b = CreateTask<FudeCannonTask>(100, 100, 0.0, true);
    while (b->counter <= 60) Frame();
    EXPECT_EQ(Played(kSeInk), difficulty ? 1 : 0);
    while (!b->finished) Frame();
    EXPECT_EQ(b->counter, 580);
    EXPECT_EQ(Played(kSeInk), difficulty ? 12 : 6);
    EXPECT_EQ(Played(kSeDefeat), 1);
    EXPECT_EQ(All<DoronSmokeTask>(kLayerEnemy).size(), 1u);
  }
}

TEST_F(ShodoTest, WalkTurnsBackInsideTheWalls) {
  // A master in the first column stands past the left wall; it walks back out.
  ShodoMasterTask* m = FightingMaster(12);
  EXPECT_EQ(m->x, -16.0);
  double lo = 1e9, hi = -1e9;
  for (int i = 0; i < 600; ++i) {
    Frame();
    if (i > 100) {
      lo = std::min(lo, m->x);
      hi = std::max(hi, m->x);
    }
  }
  EXPECT_GE(lo, 12.0 + 8 - 1);
  EXPECT_LE(hi, 228.0 - 8 - 80 + 1);
  EXPECT_GT(hi - lo, 50.0);
}

TEST_F(ShodoTest, HalfHealthRetiresBrushesAndWritesSheets) {
  ShodoMasterTask* m = FightingMaster();
  FudeCannonTask* left = m->leftBrush.get();
  m->life = 320;
  trace.clear();
  Frame();
  EXPECT_EQ(m->hitMask, 4);
  Frame();  // the brushes see the published gauge
  EXPECT_EQ(left->visible, 0);
  EXPECT_TRUE(left->retired);
  EXPECT_EQ(Played(kSeDefeat), 2);
  EXPECT_EQ(All<DoronSmokeTask>(kLayerEnemy).size(), 2u);
  left->visible = 1;  // nothing shows a retired brush again, and it fires no more
  left->fireNow = 1;
  Frame();
  EXPECT_EQ(Played(kSeInk), 0);

  UntilCounter(m, 40);
  ShodoPaperTask* paper = First<ShodoPaperTask>(kLayerBlock);
  ASSERT_NE(paper, nullptr);
  EXPECT_EQ(paper->sheetRow, 96);  // the first sheet is always thunder
  EXPECT_EQ(paper->x, 120.0);
  EXPECT_EQ(paper->y, 16.0 + 94);
  UntilCounter(m, 70);
  EXPECT_EQ(m->srcY, 80);
  EXPECT_EQ(m->y, 24.0);
  EXPECT_EQ(m->hitH, 38);
  EXPECT_EQ(paper->scale, 1.0);
  UntilCounter(m, 111);  // the sheet reads the phase a frame later
  EXPECT_EQ(m->srcY, 0);
  EXPECT_EQ(paper->layer, kLayerBossPart);
  EXPECT_EQ(paper->srcY, 96);
  UntilCounter(m, 139);
  EXPECT_EQ(paper->srcX, 256);
  EXPECT_EQ(paper->angle, 1.3744467859455345);
  EXPECT_EQ(paper->hitMask, 1);
  Frames(2);
  ShodoThunderPaperTask* thunder = First<ShodoThunderPaperTask>(kLayerBossPart);
  ASSERT_NE(thunder, nullptr);
  EXPECT_EQ(thunder->x, 120.0);
  EXPECT_EQ(thunder->y, 110.0);

  // It vanishes, reappears at least half its width away, and writes again.
  const double before = m->x;
  UntilCounter(m, 144);
  EXPECT_EQ(m->hitShape, kHitNone);
  while (m->hitMask == 4) Frame();
  EXPECT_EQ(m->hitMask, 5);
  EXPECT_GT(std::abs(m->x - before), 40.0);
  EXPECT_GE(m->x, 12.0);
  EXPECT_LE(m->x, 148.0);
  while (m->hitMask == 5) Frame();
  EXPECT_EQ(m->fade, 255);
  EXPECT_EQ(m->hitShape, kHitBox);
}

TEST_F(ShodoTest, SheetChoiceNeverSkipsThunderThreeTimes) {
  ShodoMasterTask* m = FightingMaster();
  m->life = 320;
  std::vector<int> rows;
  std::set<uint64_t> seen;
  for (int i = 0; i < 4000 && rows.size() < 14; ++i) {
    Frame();
    for (auto* p : All<ShodoPaperTask>(kLayerBlock)) {
      if (seen.insert(p->serial()).second) rows.push_back(p->sheetRow);
    }
  }
  ASSERT_GE(rows.size(), 14u);
  EXPECT_EQ(rows[0], 96);
  std::set<int> kinds;
  int run = 0;
  for (int r : rows) {
    EXPECT_TRUE(r == 48 || r == 96 || r == 144);
    kinds.insert(r);
    run = r == 96 ? 0 : run + 1;
    EXPECT_LE(run, 2);
  }
  EXPECT_EQ(kinds.size(), 3u);
}

TEST_F(ShodoTest, FireSheetSpreadsFlamesToTheWalls) {
  BossGaugeFull = 640;
  auto* sheet = CreateTask<ShodoFirePaperTask>(100, 120);
  std::set<int> flames;
  int maxHeight = 0;
  for (int i = 0; i < 300; ++i) {
    Frame();
    for (auto* f : All<ShodoFirePaperFireTask>(kLayerBossPart)) {
      flames.insert(static_cast<int>(f->x));
      maxHeight = std::max(maxHeight, f->height);
      EXPECT_EQ(f->y + f->height, 224.0);
    }
  }
  std::set<int> want;
  for (int x = 12; x <= 108; x += 16) want.insert(x);   // left run: 108 down to the wall
  for (int x = 124; x <= 204; x += 16) want.insert(x);  // right run stops before 220 + 8 = 228
  EXPECT_EQ(flames, want);
  EXPECT_EQ(maxHeight, 32);
  EXPECT_EQ(Played(kSeFire), 1);
  EXPECT_TRUE(All<ShodoFirePaperFireTask>(kLayerBossPart).empty());
  EXPECT_TRUE(All<ShodoFirePaperTask>(kLayerBossPart).empty());
  (void)sheet;
}

TEST_F(ShodoTest, ThunderSweepsForItsDistance) {
  struct Case {
    int difficulty;
    int sweepFrames;  // first frame whose counter - 2 exceeds 432 / 1.5 or 259.2 / 1.5
  } cases[] = {{1, 291}, {0, 175}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.difficulty);
    Settings.difficulty = c.difficulty;
    TaskPool_DeleteAll();
    trace.clear();
    BossGaugeFull = 640;
    auto* t = CreateTask<ShodoThunderPaperTask>(60, 100);
    Frames(30);
    EXPECT_EQ(t->hitShape, kHitNone);
    Frame();
    EXPECT_EQ(t->hitMask, 1);
    EXPECT_EQ(t->hitShape, kHitBox);
    EXPECT_EQ(t->hitX, -2);
    EXPECT_EQ(t->hitW, 4);
    EXPECT_EQ(t->hitH, 124);
    EXPECT_EQ(t->work[0], 1.5);  // toward the player on the right
    int frames = 0;
    double lo = 1e9, hi = -1e9;
    while (t->hitMask == 1) {
      Frame();
      ++frames;
      lo = std::min(lo, t->x);
      hi = std::max(hi, t->x);
    }
    EXPECT_EQ(frames, c.sweepFrames);
    EXPECT_EQ(t->hitH, 1);
    EXPECT_GE(lo, 10.0);
    EXPECT_LE(hi, 230.0);
    EXPECT_EQ(Played(kSeThunder), c.difficulty ? 7 : 4);
    Frames(29);
    EXPECT_FALSE(t->finished);
    Frame();
    EXPECT_TRUE(t->finished);
  }
}

TEST_F(ShodoTest, IceBurstsIntoShardsThatShieldAndPlayerStop) {
  BossGaugeFull = 640;
  auto* ice = CreateTask<ShodoIcePaperTask>(120, 150);
  int frames = 0;
  while (!ice->finished && frames < 200) {
    Frame();
    ++frames;
  }
  ASSERT_TRUE(ice->finished);
  EXPECT_EQ(Played(kSeHitBreak), 1);
  auto shards = All<ShodoIcePaperPieceTask>(kLayerBullet);
  ASSERT_EQ(shards.size(), 5u);
  const int iy = static_cast<int>(ice->y);
  const double degrees[] = {-60, -30, 0, 30, 60};
  const int rise[] = {8, 16, 20, 16, 8};
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    double a = degrees[i] * kPi / 180;
    // They moved once in the frame of the burst.
    EXPECT_NEAR(shards[i]->x, 120 + 4 * std::sin(a), 1e-9);
    EXPECT_NEAR(shards[i]->y, iy - rise[i] - 4 * std::cos(a), 1e-9);
    EXPECT_NEAR(shards[i]->work[1], -4 * std::cos(a) + 0.2, 1e-9);
  }
  shards[0]->hitCode = 9;
  shards[1]->hitCode = 1;
  Frame();
  EXPECT_TRUE(shards[0]->finished);
  EXPECT_TRUE(shards[1]->finished);
  EXPECT_FALSE(shards[2]->finished);
  Frames(100);
  EXPECT_TRUE(All<ShodoIcePaperPieceTask>(kLayerBullet).empty());
}

TEST_F(ShodoTest, AttacksEndWhenTheBossIsBeaten) {
  BossGaugeFull = 640;
  CreateTask<ShodoFirePaperTask>(100, 120);
  CreateTask<ShodoThunderPaperTask>(60, 100);
  CreateTask<ShodoIcePaperTask>(150, 100);
  CreateTask<ShodoFirePaperFireTask>(50, true);
  CreateTask<ShodoIcePaperPieceTask>(80, 80, 0.0, 4.0);
  Frame();
  BossGaugeFull = 0;
  Frame();
  Frame();
  EXPECT_EQ(TaskPool_Count(kLayerBossPart), 0);
  EXPECT_EQ(TaskPool_Count(kLayerBullet), 0);
  std::set<std::pair<int, int>> smokes;
  for (auto* s : All<DoronSmokeTask>(kLayerEnemy)) smokes.insert({static_cast<int>(s->x), static_cast<int>(s->y)});
  // Sheet centres less 16: the fire sheet's from its corner, the others' from their centre.
  std::set<std::pair<int, int>> want = {{100 + 24 - 16, 120 + 24 - 16}, {60 - 16, 100 - 16}, {150 - 16, 100 - 16}};
  EXPECT_EQ(smokes, want);
}

TEST_F(ShodoTest, DeathEndsInFadeItemsAndScore) {
  ShodoMasterTask* m = FightingMaster();
  Score = 100;
  m->life = 3;
  m->hitCode = 5;
  trace.clear();
  Frame();
  EXPECT_EQ(m->hitMask, 6);
  EXPECT_EQ(Played(kSeDefeat), 1 + 1 + 2);  // the death, the first puff, each brush vanishing
  EXPECT_EQ(Count("pxtone_Tune_Fadeout 3000"), 1);
  EXPECT_EQ(CurrentTune[0], 0);
  int frames = 0;
  while (!m->finished && frames < 500) {
    Frame();
    ++frames;
  }
  ASSERT_TRUE(m->finished);
  EXPECT_EQ(frames, 350 + 63);  // fade 255 down by 4 from counter 350
  EXPECT_EQ(BossPhase, 3);
  EXPECT_EQ(Score, 100 + 20000);
  EXPECT_EQ(Played(kSeVanish), 1);
  int money = 0;
  for (auto* it : All<ItemTask>(kLayerItem)) money += it->itemKind == kItemMoney;
  EXPECT_EQ(money, 3);
}

TEST_F(ShodoTest, WholeFightFromTheStageCellToTheBeatenBoss) {
  CreateStageObjects(54, 108, 20);
  ShodoMasterTask* m = First<ShodoMasterTask>(kLayerEnemy);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->x, 80.0);
  Frames(300);
  ScrollTaken = 1;
  std::set<int> states;
  int frames = 0;
  while (!m->finished && frames < 20000) {
    BossGaugeShown = BossGaugeFull;
    // A light hit now and then, whenever it can be touched.
    if (m->hitShape == kHitBox && m->flashTimer == 0 && frames % 25 == 0) m->hitCode = 4;
    Frame();
    states.insert(m->hitMask);
    ++frames;
  }
  ASSERT_TRUE(m->finished);
  EXPECT_EQ(states, (std::set<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(BossPhase, 3);
  Frames(40);
  // What is left in the boss layers: the two brushes, hidden for good.
  auto parts = All<Character>(kLayerBossPart);
  ASSERT_EQ(parts.size(), 2u);
  for (Character* c : parts) {
    ASSERT_NE(dynamic_cast<FudeCannonTask*>(c), nullptr);
    EXPECT_EQ(c->visible, 0);
  }
  EXPECT_TRUE(All<Character>(kLayerBlock).empty());
}

TEST_F(ShodoTest, DrawsAfterImagesSheetStripAndBolt) {
  ShodoMasterTask* m = MakeMaster();
  m->fade = 195;  // 60 below full: copies 10 pixels apart
  trace.clear();
  m->Draw();
  EXPECT_EQ(Count("SetDrawBlendMode 1 195"), 1);
  EXPECT_EQ(Count(Part(80, 16, 0, 0, 40, 80, kBodySheet)), 1);
  EXPECT_EQ(Count(Part(120, 16, 40, 0, 40, 80, kBodySheet)), 1);
  for (int dx : {30, 20, 10, -10, -20, -30}) EXPECT_EQ(Count(Part(80 + dx, 16, 0, 0, 80, 80, kBodySheet)), 1) << dx;
  EXPECT_EQ(trace.back(), "SetDrawBrightness 255 255 255");

  // A held brush is drawn at full brightness after the body.
  m->fade = 255;
  m->leftFrame = 80;
  trace.clear();
  m->Draw();
  ASSERT_FALSE(trace.empty());
  EXPECT_EQ(trace.back().rfind("DrawRectPartGraph 80 ", 0), 0u);
  EXPECT_NE(trace.back().find(" 176 80 8 32 "), std::string::npos);

  BossGaugeFull = 640;
  auto* paper = CreateTask<ShodoPaperTask>(120, 110, 96, m);
  paper->scale = 1.5;
  paper->unroll = 10;
  trace.clear();
  paper->Draw();
  EXPECT_EQ(trace.front(), "SetDrawBlendMode 1 127");
  EXPECT_EQ(CountPrefix("DrawRectRotateGraph"), 2);  // 2 x 0.5 is no copy; 3 x 0.5 is
  EXPECT_EQ(Count(Part(88, 100, 0, 110, 64, 10, kPaperSheet)), 1);
  EXPECT_EQ(trace.back(), "SetDrawBlendMode 0 0");

  auto* thunder = CreateTask<ShodoThunderPaperTask>(60, 100);
  thunder->boltFrameX = 96;
  trace.clear();
  thunder->Draw();
  EXPECT_EQ(Count(Part(44, 84, 96, 192, 32, 32, kPaperSheet)), 1);
  for (int top : {116, 148, 180}) EXPECT_EQ(Count(Part(44, top, 96, 224, 32, 32, kPaperSheet)), 1) << top;
  EXPECT_EQ(Count(Part(44, 212, 96, 224, 32, 12, kPaperSheet)), 1);
}

}  // namespace
