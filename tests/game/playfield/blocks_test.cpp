// Normal and enemy blocks, items, the smoke puff.
#include <gtest/gtest.h>

#include <algorithm>

#include "game/playfield/blocks_items.h"
#include "game/playfield/paddle_ball.h"
#include "game/enemies/small_enemies.h"
#include "tests/game/playthrough_fixture.h"

namespace {

using namespace playfield;

using BlocksTest = Playfield;

TEST_F(BlocksTest, HardBlocksCrackThenBreak) {
  auto* soft = CreateTask<NormalBlockTask>(2, 36, 20);
  auto* hard = CreateTask<NormalBlockTask>(3, 60, 20);
  NormalBlockCount = 2;
  EXPECT_EQ(soft->srcY, 12);
  EXPECT_EQ(hard->srcY, 24);
  EXPECT_EQ(hard->score, 200);
  hard->hitCode = 3;
  Frame();
  EXPECT_EQ(hard->srcY, 36);
  EXPECT_EQ(Played(kSeHitCrack), 1);
  EXPECT_FALSE(hard->finished);
  hard->hitCode = 4;
  soft->hitCode = 4;
  Frame();
  EXPECT_TRUE(hard->finished);
  EXPECT_TRUE(soft->finished);
  EXPECT_EQ(Played(kSeHitCrack), 1);
  EXPECT_EQ(Played(kSeHitBreak), 2);
  EXPECT_EQ(Score, 300);
  EXPECT_EQ(NormalBlockCount, 0);
}

TEST_F(BlocksTest, NormalBlocksBlinkOutOfReachWhileABossGaugeFills) {
  auto* b = CreateTask<NormalBlockTask>(1, 36, 20);
  BossPhase = 2;
  BossGaugeFull = 100;
  Frame();  // its first update takes the shape away
  std::vector<int> seen;
  for (int i = 0; i < 3; ++i) {
    CreateTask<BallShotTask>(44, 22);  // over the block's middle
    Frame();
    seen.push_back(b->visible);
    EXPECT_EQ(b->hitShape, kHitNone);
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 1, 0}));
  EXPECT_FALSE(b->finished);
  BossGaugeShown = 100;
  Frame();
  EXPECT_EQ(b->hitShape, kHitBox);
  CreateTask<BallShotTask>(44, 22);
  Frame();
  EXPECT_TRUE(b->finished);
}

TEST_F(BlocksTest, AStruckEnemyBlockHopsFallsAndReleasesItsEnemy) {
  PlayerX = 200;
  auto* b = CreateTask<EnemyBlockTask>(11, 60, 20);
  b->hitCode = 3;
  Frame();
  EXPECT_EQ(b->layer, kLayerEnemy);
  EXPECT_EQ(b->hitShape, kHitNone);
  EXPECT_EQ(Played(kSeUnpack), 1);
  EXPECT_LT(b->y, 20);  // the hop
  std::vector<int> shown;
  AshigaruMarugoshiTask* soldier = nullptr;
  for (int i = 0; i < 80 && soldier == nullptr; ++i) {
    Frame();
    shown.push_back(b->visible);
    soldier = First<AshigaruMarugoshiTask>(kLayerEnemy);
  }
  ASSERT_NE(soldier, nullptr);
  EXPECT_EQ(b->y, 200);
  EXPECT_TRUE(b->finished);
  EXPECT_EQ(soldier->x, 60 - 4 + 1);  // released at x - 4; it walked one step toward the player
  EXPECT_EQ(soldier->y, 184);
  // Drawn two frames in four while it falls (it was updated twice in the frame it was struck).
  ASSERT_GE(shown.size(), 4u);
  EXPECT_EQ(std::vector<int>(shown.begin(), shown.begin() + 4), (std::vector<int>{1, 1, 0, 0}));
  EXPECT_EQ(EnemyBlockCount, 0);  // left to the enemy's defeat
}

TEST_F(BlocksTest, EachKindOfEnemyBlockReleasesItsEnemy) {
  const int codes[] = {11, 12, 13, 14, 25, 33, 42};
  for (int i = 0; i < 7; ++i) CreateTask<EnemyBlockTask>(codes[i], 12 + 24 * i, 20);
  auto blocks = All<EnemyBlockTask>(kLayerBlock);
  EXPECT_EQ(blocks[0]->srcX, 48);
  EXPECT_EQ(blocks[3]->srcX, 120);
  EXPECT_EQ(blocks[4]->blockKind, 20);
  EXPECT_EQ(blocks[4]->srcY, 24);
  EXPECT_EQ(blocks[5]->blockKind, 30);
  EXPECT_EQ(blocks[5]->srcY, 48);
  EXPECT_EQ(blocks[5]->stopY, 120);
  EXPECT_EQ(blocks[6]->srcX, 0);
  for (auto* b : blocks) b->hitCode = 3;
  for (int i = 0; i < 100 && !(All<EnemyBlockTask>(kLayerBlock).empty() && All<EnemyBlockTask>(kLayerEnemy).empty());
       ++i) {
    Frame();
  }
  EXPECT_EQ(Played(kSeUnpack), 7);
  EXPECT_EQ(All<AshigaruMarugoshiTask>(kLayerEnemy).size(), 3u);
  EXPECT_EQ(All<AshigaruFlagTask>(kLayerBossPart).size(), 1u);
  EXPECT_EQ(All<AshigaruKatanaTask>(kLayerBossPart).size(), 1u);
  EXPECT_EQ(All<SumouTask>(kLayerEnemy).size(), 1u);
  EXPECT_EQ(All<PurpleNinjaTask>(kLayerEnemy).size(), 1u);
  auto red = All<RedNinjaTask>(kLayerEnemy);
  ASSERT_EQ(red.size(), 1u);
  EXPECT_NEAR(red[0]->y, 120, 4.0);  // released at its stop height, and bobbing about it
}

TEST_F(BlocksTest, NinjaBlocksThrowInTurn) {
  Settings.difficulty = 0;  // EASY: a 252-frame cycle, 28 frames between neighbours
  PlayerX = 100;
  PlayerY = 194;
  auto* first = CreateTask<EnemyBlockTask>(20, 36, 20);
  auto* second = CreateTask<EnemyBlockTask>(21, 60, 20);
  EXPECT_EQ(second->phase, 28);
  std::vector<int> throwsFirst, throwsSecond;
  for (int frame = 0; frame < 252 * 3; ++frame) {
    Frame();
    // A star thrown this frame has been updated once.
    for (auto* star : All<ShurikinTask>(kLayerBullet)) {
      if (star->counter == 1) (star->x < 52 ? throwsFirst : throwsSecond).push_back(frame);
    }
  }
  EXPECT_EQ(throwsFirst, (std::vector<int>{252 + 20, 504 + 20}));
  EXPECT_EQ(throwsSecond, (std::vector<int>{252 + 28 + 20, 504 + 28 + 20}));
  EXPECT_EQ(first->srcX, 48);
  // Drawn standing: the frame, then the ninja.
  trace.clear();
  first->Draw();
  EXPECT_EQ(trace, (std::vector<std::string>{"DrawRectPartGraph 36 20 0 48 24 24 img=502 t=1 turn=0",
                                             "DrawRectPartGraph 36 20 48 24 24 24 img=502 t=1 turn=0"}));
}

TEST_F(BlocksTest, ItemsBounceOffWallsAndRestOnTheFloor) {
  auto* item = CreateTask<ItemTask>(220, 100, kItemCoin, 0.5);
  EXPECT_EQ(item->x, 212);
  EXPECT_EQ(item->y, 92);
  Frames(9);
  EXPECT_GT(item->speedX, 0);
  Frame();
  EXPECT_LT(item->speedX, 0);  // turned at the right wall
  Frames(100);
  EXPECT_EQ(item->y, 224 - 16);
  EXPECT_EQ(item->speedX, 0);
  EXPECT_LT(item->x, 212);
}

TEST_F(BlocksTest, ItemEffects) {
  Health = 3;
  auto take = [&](int kind) {
    auto* item = CreateTask<ItemTask>(100, 100, kind, 0.0);
    item->hitCode = 1;
    Frame();
    return item;
  };
  EXPECT_TRUE(take(kItemRiceBall)->finished);
  EXPECT_EQ(Health, 4);
  EXPECT_EQ(Played(kSeOnigiri), 1);
  EXPECT_TRUE(take(kItemCoin)->finished);
  EXPECT_EQ(Score, 100);
  EXPECT_FALSE(take(kItemNothing)->finished);
  EXPECT_TRUE(take(kItemScroll)->finished);
  EXPECT_EQ(ScrollTaken, 1);
  EXPECT_EQ(Played(kSeMakimono), 1);
  // Money: 500 x the level, which doubles up to 16; the bag becomes its value text.
  const int rows[] = {0, 6, 12, 18, 24, 24};
  for (int i = 0; i < 6; ++i) {
    int before = Score;
    int level = MoneyLevel;
    auto* bag = take(kItemMoney);
    EXPECT_EQ(Score - before, 500 * level);
    EXPECT_EQ(bag->collected, 1);
    EXPECT_EQ(bag->srcY, rows[i]);
    EXPECT_EQ(bag->srcX, 96);
    EXPECT_EQ(bag->height, 5);
    EXPECT_EQ(bag->hitShape, kHitNone);
  }
  EXPECT_EQ(MoneyLevel, 16);
  EXPECT_EQ(Played(kSeMoney2), 6);
  // Nothing is taken once the player is beaten.
  Health = 0;
  EXPECT_FALSE(take(kItemCoin)->finished);
}

TEST_F(BlocksTest, TheValueTextRisesForSixtyFrames) {
  auto* bag = CreateTask<ItemTask>(100, 100, kItemMoney, 0.0);
  Frames(5);
  bag->hitCode = 1;
  Frame();
  double y = bag->y;
  Frames(61);
  EXPECT_NEAR(bag->y, y - 61 * 0.2, 1e-9);
  EXPECT_FALSE(bag->finished);
  Frame();
  EXPECT_TRUE(bag->finished);
}

TEST_F(BlocksTest, SmokeShowsSevenPicturesTwoFramesEach) {
  auto* smoke = CreateTask<DoronSmokeTask>(50, 60);
  std::vector<int> pictures;
  for (int i = 0; i < 14; ++i) {
    Frame();
    pictures.push_back(smoke->srcX);
  }
  EXPECT_EQ(pictures, (std::vector<int>{0, 0, 32, 32, 64, 64, 96, 96, 128, 128, 160, 160, 192, 192}));
  EXPECT_FALSE(smoke->finished);
  Frame();
  EXPECT_TRUE(smoke->finished);
  auto* box = CreateTask<OnlyCollisionTask>(30, 40, 50, 60);
  EXPECT_EQ(box->layer, kLayerBossPart);
  EXPECT_EQ(box->visible, 0);
  EXPECT_EQ(box->hitW, 50);
  EXPECT_EQ(box->height, 60);
}

}  // namespace
