// The origami master, its held and thrown papers and its four big pieces.
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "game/playfield/blocks_items.h"
#include "game/masters/origami_master.h"
#include "game/playfield/stage.h"
#include "tests/game/game_test_util.h"
#include "tests/game/playthrough_fixture.h"

namespace {

using namespace playfield;

constexpr int kSheet = kEnemySheetBase + 5;

class OrigamiTest : public Playfield {
 protected:
  void SetUp() override {
    Playfield::SetUp();
    PlayerX = 100;
    PlayerY = 194;
  }

  // The master of a cell at (108, 40): stage set-up passes the cell 12 to the right.
  OrigamiMasterTask* MakeMaster() {
    CreateStageObjects(52, 108, 40);
    return First<OrigamiMasterTask>(kLayerEnemy);
  }

  // Scroll taken and the gauge shown full at once: the fight begins.
  void Wake(OrigamiMasterTask* m) {
    ScrollTaken = 1;
    BossGaugeShown = m->life;
    Frames(2);
  }

  // Steps until the master reaches a state; false when it does not within `limit` frames.
  bool RunToState(OrigamiMasterTask* m, int state, int limit) {
    for (int i = 0; i < limit; ++i) {
      if (m->hitMask == state) return true;
      Frame();
    }
    return m->hitMask == state;
  }
};

// The velocity of length `speed` from one point toward another, from plain geometry.
void ExpectAimed(const Character& t, double fromX, double fromY, double toX, double toY, double speed) {
  double dx = toX - fromX, dy = toY - fromY, len = std::sqrt(dx * dx + dy * dy);
  EXPECT_NEAR(t.work[0], dx / len * speed, 1e-9);
  EXPECT_NEAR(t.work[1], dy / len * speed, 1e-9);
}

TEST_F(OrigamiTest, WaitsDarkAndUntouchableThrowingPlanesEvery320Frames) {
  auto* m = MakeMaster();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->x, 72);
  EXPECT_EQ(m->y, 44);
  EXPECT_EQ(m->kind, -4);
  EXPECT_EQ(m->life, 640);
  EXPECT_EQ(m->score, 20000);
  EXPECT_EQ(m->hitShape, kHitNone);
  EXPECT_EQ(BossPhase, 1);
  EXPECT_STREQ(BossNameLine1, "ORIGAMI ");
  EXPECT_STREQ(BossNameLine2, "  MASTER");
  const int firstHand = m->handChoice;

  Frames(281);  // updates 0..280: both hands throw at 268 and 280
  EXPECT_EQ(m->hitShape, kHitNone);
  EXPECT_EQ(m->brightness, 64);
  EXPECT_EQ(Played(kSeGetout), 1);
  EXPECT_EQ(Played(kSeThrow), 2);
  auto planes = All<ThrownOrigamiTask>(kLayerBossPart);
  ASSERT_EQ(planes.size(), 2u);
  // The first plane leaves the chosen hand; both fly at 4.0 toward the player.
  for (auto* p : planes) {
    EXPECT_EQ(p->srcY, 208);
    EXPECT_TRUE(p->plane);
  }
  const double firstX = firstHand == 0 ? 72 + 24 : 72 + 96 - 24;
  EXPECT_NEAR(planes[0]->x, firstX + 13 * planes[0]->work[0], 1e-6);
  ExpectAimed(*planes[0], firstX, 92, PlayerX + 16, PlayerY, 4.0);
  EXPECT_EQ(planes[0]->flip, firstHand == 0 ? 1 : 0);
  for (auto* h : All<HandyOrigamiTask>(kLayerBossPart)) EXPECT_FALSE(h->visible);

  // Planes fly off the screen and end; the next pair comes 320 frames after the first.
  Frames(307);  // through update 587
  EXPECT_EQ(Played(kSeThrow), 2);
  EXPECT_TRUE(All<ThrownOrigamiTask>(kLayerBossPart).empty());
  EXPECT_NE(m->handChoice, firstHand);
  Frame();
  EXPECT_EQ(Played(kSeThrow), 3);
  Frames(12);
  EXPECT_EQ(Played(kSeThrow), 4);
  EXPECT_EQ(All<HandyOrigamiTask>(kLayerBossPart).size(), 2u);  // re-armed, not made again
}

TEST_F(OrigamiTest, WakesOnTheScrollAndFightsOnceTheGaugeIsFull) {
  auto* m = MakeMaster();
  Frames(260);  // the chosen hand holds its paper up beside the box centre
  HandyOrigamiTask* held = nullptr;
  for (auto* h : All<HandyOrigamiTask>(kLayerBossPart)) {
    if (h->hitMask == 1) held = h;
  }
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->flip, m->handChoice);
  EXPECT_EQ(held->x, held->flip ? 120 + 26 : 120 - 26);
  EXPECT_EQ(held->y, 86 - 44);
  EXPECT_EQ(held->srcX, 64);
  EXPECT_EQ(held->hitShape, kHitNone);
  ScrollTaken = 1;
  trace.clear();
  Frame();
  EXPECT_EQ(BossPhase, 2);
  EXPECT_EQ(BossGaugeFull, 640);
  EXPECT_EQ(m->hitMask, 1);
  EXPECT_STREQ(CurrentTune, "./bgm/boss2.pttune");
  EXPECT_EQ(Count("pxtone_Tune_SetLoop 1"), 1);
  Frame();
  EXPECT_EQ(All<DoronSmokeTask>(kLayerEnemy).size(), 2u);  // both papers went up in smoke

  // The panel fills the gauge slowly: the master blinks, brightens and stays untouchable.
  int hidden = 0;
  for (int i = 0; i < 120; ++i) {
    BossGaugeShown = i * 5;
    Frame();
    hidden += m->visible ? 0 : 1;
    EXPECT_EQ(m->hitShape, kHitNone);
  }
  EXPECT_EQ(hidden, 40);
  EXPECT_EQ(m->brightness, 255);
  EXPECT_EQ(m->hitMask, 1);
  BossGaugeShown = 640;
  Frame();
  EXPECT_EQ(m->hitMask, 2);
  EXPECT_EQ(m->hitShape, kHitBox);
  EXPECT_TRUE(m->visible);
  EXPECT_EQ(m->handChoice, 2);
  EXPECT_EQ(m->work[0], 1.0);  // centre 120 is right of PlayerX + 16
  EXPECT_EQ(BossCenterX, 72 + 28 + 20);
  EXPECT_EQ(BossCenterY, 44 + 20 + 22);
}

TEST_F(OrigamiTest, AHitWithinTheFlashCountsOnlyWhenStronger) {
  auto* m = MakeMaster();
  Wake(m);
  trace.clear();
  m->hitCode = 3;
  Frame();
  EXPECT_EQ(m->life, 637);
  m->hitCode = 5;
  Frame();
  EXPECT_EQ(m->life, 632);  // greater within the flash: its full value
  m->hitCode = 5;
  Frame();
  EXPECT_EQ(m->life, 632);  // the same code within the flash
  Frames(3);
  m->hitCode = 3;
  Frame();
  EXPECT_EQ(m->life, 629);  // flash over
  EXPECT_EQ(Played(kSeHitBoss), 3);
}

TEST_F(OrigamiTest, FrogPapersLandUnfoldHopAndAreCounted) {
  auto* m = MakeMaster();
  Wake(m);
  // Both hands throw frog papers at update 88 of the throwing state.
  ASSERT_TRUE(RunToState(m, 3, 200));
  auto papers = All<ThrownOrigamiTask>(kLayerBossPart);
  ASSERT_EQ(papers.size(), 2u);
  std::sort(papers.begin(), papers.end(), [](auto* a, auto* b) { return a->flip > b->flip; });
  ThrownOrigamiTask* left = papers[0];
  ThrownOrigamiTask* right = papers[1];
  EXPECT_EQ(left->srcY, 176);
  EXPECT_EQ(left->life, 20);
  EXPECT_EQ(left->hitShape, kHitCircle);
  EXPECT_EQ(left->hitW, 10);
  // Each frog was aimed at a spot beside the master, 4.0 fast, slowing by 0.93 a frame.
  EXPECT_LT(left->work[0], 0.0);
  EXPECT_GT(right->work[0], 0.0);

  for (int i = 0; i < 200 && m->FrogCount() < 2; ++i) Frame();
  EXPECT_EQ(m->FrogCount(), 2);
  for (auto* f : {left, right}) {
    EXPECT_EQ(f->layer, kLayerEnemy);
    EXPECT_EQ(f->width, 48);
    EXPECT_EQ(f->srcY, 368);
    EXPECT_EQ(f->hitY, -8);
  }

  // Hopping: the frog moves and faces the player between hops.
  double startX = right->x;
  Frames(40);
  EXPECT_NE(right->x, startX);
  EXPECT_GE(right->x, 0);
  EXPECT_LE(right->x, 240);

  // Hit reaction: code 1 a short flash, greater codes a long one; the same code is ignored.
  trace.clear();
  right->hitCode = 1;
  Frame();
  EXPECT_EQ(right->life, 19);
  EXPECT_EQ(Played(kSeHitBoss), 1);
  right->hitCode = 4;
  Frame();
  EXPECT_EQ(right->life, 15);
  EXPECT_EQ(right->flashTimer, 5);
  right->hitCode = 4;
  Frame();
  EXPECT_EQ(right->life, 15);
  right->hitCode = 30;
  Frame();
  EXPECT_TRUE(right->finished);
  EXPECT_EQ(m->FrogCount(), 1);
  EXPECT_EQ(Played(kSeDefeat), 1);

}

TEST_F(OrigamiTest, AfterWalkingTheHandsAndPaperFollowThePlaceAndTheFrogs) {
  auto* m = MakeMaster();
  Wake(m);
  // With more than one frog alive it throws planes, else frog papers; the hands by where
  // its centre stands.
  for (int frogs : {2, 1, 0, 3}) {
    ASSERT_TRUE(RunToState(m, 3, 200));
    while (m->counter < 120) Frame();
    m->FrogCount() = frogs;
    double centre = m->x + 48;
    Frame();
    ASSERT_EQ(m->hitMask, 2);
    EXPECT_EQ(m->throwRow, frogs > 1 ? 208 : 176) << frogs;
    EXPECT_EQ(m->handChoice, centre < 100 ? 1 : centre <= 140 ? 2 : 0) << centre;
  }
  // Walking moves every other frame and turns at the walls.
  ASSERT_TRUE(RunToState(m, 3, 200));
  m->x = 13;
  m->work[0] = -1.0;
  Frames(2);  // the first update of the walk is odd: no step
  EXPECT_EQ(m->x, 12);
  EXPECT_EQ(m->work[0], 1.0);
}

TEST_F(OrigamiTest, HalfHealthEndsTheThrowingAndEveryFrog) {
  auto* m = MakeMaster();
  Wake(m);
  ASSERT_TRUE(RunToState(m, 3, 200));
  for (int i = 0; i < 200 && m->FrogCount() < 2; ++i) Frame();
  ASSERT_EQ(m->FrogCount(), 2);
  // A paper still in flight was never counted, so its end leaves the count alone.
  auto* flying = CreateTask<ThrownOrigamiTask>(120, 60, 176, 0, &m->FrogCount(), 200.0, 60.0, 4.0, false, m);
  ASSERT_NE(flying, nullptr);

  m->life = 321;
  m->hitCode = 1;
  trace.clear();
  Frame();
  EXPECT_EQ(m->life, 320);
  EXPECT_EQ(m->hitMask, 4);
  Frame();
  EXPECT_EQ(m->FrogCount(), 0);
  EXPECT_TRUE(All<ThrownOrigamiTask>(kLayerEnemy).empty());
  EXPECT_TRUE(All<ThrownOrigamiTask>(kLayerBossPart).empty());
  EXPECT_EQ(Played(kSeDefeat), 3);

  // A paper whose counter owner is gone touches no counter.
  int32_t counter = 5;
  TaskPool_DeleteAll();
  auto* owner = CreateTask<DoronSmokeTask>(0, 0);
  auto* orphan = CreateTask<ThrownOrigamiTask>(120, 60, 176, 0, &counter, 200.0, 60.0, 4.0, false, owner);
  orphan->counted = 1;
  owner->finished = 1;
  BossGaugeFull = 0;
  Frames(2);
  EXPECT_EQ(counter, 5);
}

TEST_F(OrigamiTest, SecondHalfSplitsJumpsReformsAndWalksWithThePieces) {
  auto* m = MakeMaster();
  Wake(m);
  m->life = 320;
  Frame();
  ASSERT_EQ(m->hitMask, 4);
  ASSERT_TRUE(RunToState(m, 6, 1000));
  EXPECT_FALSE(m->visible);
  EXPECT_EQ(m->hitShape, kHitNone);
  auto pieces = All<BigOrigamiTask>(kLayerBossPart);
  ASSERT_EQ(pieces.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(pieces[i]->targetX, 39 + 54 * i);
    EXPECT_EQ(pieces[i]->x, 39 + 54 * i);
    EXPECT_EQ(pieces[i]->angle, 0.0);
    EXPECT_EQ(pieces[i]->hitMask, -1);
  }

  std::sort(pieces.begin(), pieces.end(), [](auto* a, auto* b) { return a->targetX < b->targetX; });

  trace.clear();
  ASSERT_TRUE(RunToState(m, 7, 3000));
  EXPECT_EQ(Played(kSeRolling), 3);
  EXPECT_EQ(Played(kSeCrash), 3);  // one flagged piece a jump

  ASSERT_TRUE(RunToState(m, 8, 400));
  const int rc = m->returnColumn;
  EXPECT_EQ(m->x, 54 * rc - 48 + 39);
  EXPECT_EQ(m->hitShape, kHitBox);
  EXPECT_EQ(m->effectMode, 2);
  EXPECT_TRUE(m->visible);
  std::multiset<double> heights;
  for (int i = 0; i < 4; ++i) {
    if (i == rc) {
      EXPECT_FALSE(pieces[i]->visible);
    } else {
      heights.insert(pieces[i]->y);
    }
  }
  EXPECT_EQ(heights, (std::multiset<double>{104.0, 152.0, 200.0}));

  // Walking: the pieces keep to the four columns' span; the top one chases the player.
  Frame();
  int chasers = 0;
  for (auto* p : pieces) chasers += p->hitMask >= 11 && p->hitMask <= 13;
  EXPECT_EQ(chasers, 1);
  for (int i = 0; i < 480; ++i) {
    Frame();
    EXPECT_GE(m->x + 48, 39 - 1);
    EXPECT_LE(m->x + 48, 201 + 1);
    for (auto* p : pieces) {
      if (p->hitMask == 10) {
        EXPECT_GE(p->x, 39);
        EXPECT_LE(p->x, 201);
      }
    }
  }
  ASSERT_TRUE(RunToState(m, 9, 10));
  ASSERT_TRUE(RunToState(m, 6, 400));
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(pieces[i]->visible);
    if (i != rc) {
      EXPECT_EQ(pieces[i]->y, 52.0);
    }
  }

  // Beaten while split up: the pieces shrink away in smoke.
  m->hitShape = kHitBox;
  m->life = 1;
  m->hitCode = 5;
  Frame();
  EXPECT_EQ(m->hitMask, 10);
  Frames(50);
  EXPECT_TRUE(All<BigOrigamiTask>(kLayerBossPart).empty());
}

TEST_F(OrigamiTest, TheDefeatDropsRiceBallsForMissingHealthAndMoneyForTheRest) {
  struct Case {
    int health;
    int riceBalls;
  };
  for (Case c : {Case{2, 3}, Case{4, 1}, Case{5, 0}}) {
    TaskPool_DeleteAll();
    ResetPlayState();
    PlayerX = 100;
    Health = c.health;
    auto* m = MakeMaster();
    Wake(m);
    trace.clear();
    m->life = 3;
    m->hitCode = 5;
    Frame();
    EXPECT_EQ(m->hitMask, 10);
    EXPECT_EQ(Count("pxtone_Tune_Fadeout 3000"), 1);
    EXPECT_STREQ(CurrentTune, "");
    int frames = 0;
    while (!m->finished && frames < 500) {
      Frame();
      ++frames;
    }
    ASSERT_TRUE(m->finished);
    EXPECT_EQ(frames, 350 + 63);  // fade from 255 by 4 a frame after 350
    EXPECT_EQ(BossPhase, 3);
    EXPECT_EQ(Score, 20000);
    EXPECT_EQ(Played(kSeVanish), 1);
    auto items = All<ItemTask>(kLayerItem);
    ASSERT_EQ(items.size(), 64u + 3u);  // two coins every 8 frames before 256
    int rice = 0, money = 0;
    for (size_t i = items.size() - 3; i < items.size(); ++i) {
      rice += items[i]->itemKind == kItemRiceBall;
      money += items[i]->itemKind == kItemMoney;
      EXPECT_EQ(items[i]->speedX, static_cast<double>(i - (items.size() - 3)) - 1.0);
    }
    EXPECT_EQ(rice, c.riceBalls) << c.health;
    EXPECT_EQ(money, 3 - c.riceBalls) << c.health;
  }
}

TEST_F(OrigamiTest, DrawsTheBodyInTwoHalvesAndTheCloudFirst) {
  auto* m = MakeMaster();
  trace.clear();
  Draw();
  std::vector<std::string> expected = {
      "SetDrawBrightness 64 64 64",
      "DrawRectPartGraph 72 44 0 0 56 80 img=" + std::to_string(kSheet) + " t=1 turn=0",
      "DrawRectPartGraph 112 44 56 0 56 80 img=" + std::to_string(kSheet) + " t=1 turn=0",
      "SetDrawBlendMode 0 0",
      "SetDrawBrightness 255 255 255",
  };
  EXPECT_EQ(trace, expected);

  // Throwing frames add strips; a flash inverts; the cloud comes before the body.
  m->leftFrame = 224;
  m->rightFrame = 280;
  m->flashTimer = 1;
  m->effectMode = 2;
  m->effectScale = 0.5;
  m->effectX = 96;
  trace.clear();
  Draw();
  ASSERT_EQ(trace.size(), 9u) << ::testing::PrintToString(trace);
  EXPECT_EQ(trace[0], "DrawRectRotateGraph 120 84 96 80 96 96 0.500 0.0000 img=" + std::to_string(kSheet) +
                          " t=1 turn=0");
  EXPECT_EQ(trace[2], "SetDrawBlendMode 10 128");
  EXPECT_EQ(trace[5], "DrawRectPartGraph 120 44 272 0 8 80 img=" + std::to_string(kSheet) + " t=1 turn=0");
  EXPECT_EQ(trace[6], "DrawRectPartGraph 112 44 280 0 16 80 img=" + std::to_string(kSheet) + " t=1 turn=0");

  // Cloud only: no body.
  m->effectMode = 1;
  trace.clear();
  Draw();
  EXPECT_EQ(trace.size(), 1u);

  // A flashing frog: inverted, then its gauge below, centred on it.
  TaskPool_DeleteAll();
  auto* frog = CreateTask<ThrownOrigamiTask>(100, 150, 176, 1, nullptr, 0.0, 0.0, 0.0, true);
  frog->hitMask = 2;
  frog->srcX = 48;
  frog->srcY = 368;
  frog->width = frog->height = 48;
  frog->flashTimer = 3;
  frog->life = 10;
  trace.clear();
  Draw();
  ASSERT_EQ(trace.size(), 5u) << ::testing::PrintToString(trace);
  EXPECT_EQ(trace[0], "SetDrawBlendMode 10 255");
  EXPECT_EQ(trace[1], "DrawRectRotateGraph 100 150 48 368 48 48 1.000 0.0000 img=" + std::to_string(kSheet) +
                          " t=1 turn=1");
  EXPECT_EQ(trace[2], "SetDrawBlendMode 0 0");
  EXPECT_EQ(trace[3].rfind("DrawFillBox 83 229 117 235", 0), 0u);
  EXPECT_EQ(trace[4].rfind("DrawFillBox 84 230 100 234", 0), 0u);  // 10 of 20: half of 32
}

TEST_F(OrigamiTest, PiecesFlyToTheirColumnAndSlideWithinTheSpan) {
  BossGaugeFull = 640;
  auto* p = CreateTask<BigOrigamiTask>(120, 84, 39);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->hitShape, kHitCircle);
  EXPECT_EQ(p->hitW, 24);
  int frames = 0;
  while (p->hitMask != -1 && frames < 200) {
    Frame();
    ++frames;
  }
  EXPECT_EQ(p->x, 39.0);
  EXPECT_EQ(p->angle, 0.0);
  EXPECT_GE(frames, 40);

  // Sliding 648 pixels in 480 frames folds back and forth twice and ends where it began.
  p->hitMask = 8;
  Frame();
  ASSERT_EQ(p->hitMask, 10);
  double lowest = 1e9, highest = -1e9;
  for (int i = 0; i < 480; ++i) {
    Frame();
    lowest = std::min(lowest, p->x);
    highest = std::max(highest, p->x);
  }
  EXPECT_GE(lowest, 39.0);
  EXPECT_LE(highest, 201.0);
  EXPECT_GT(highest - lowest, 150.0);
  EXPECT_NEAR(p->x, 39.0, 2.0);
  Frame();
  EXPECT_EQ(p->hitMask, -1);

  // The boss gone: the piece shrinks and ends with a puff.
  BossGaugeFull = 0;
  for (int i = 0; i < 60 && !p->finished; ++i) Frame();
  EXPECT_TRUE(p->finished);
  EXPECT_EQ(All<DoronSmokeTask>(kLayerEnemy).size(), 1u);
}

// The real program runs a stage with the master from the title for a few hundred frames.
std::string ProgramPath() {
  const char* dir = std::getenv("TAMRAK_BINARY_DIR");
  if (dir != nullptr && *dir != '\0') return std::string(dir) + "/kestrune";
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : (self.parent_path().parent_path() / "kestrune").string();
}

TEST(OrigamiProgramTest, AStageWithTheMasterRunsInTheRealProgram) {
  if (!std::filesystem::exists(ProgramPath())) GTEST_SKIP() << "kestrune is not built: " << ProgramPath();
  gametest::ScratchDir dir;
  std::vector<int> cells(81, 0);
  cells[4] = 52;
  cells[40] = 1;
  gametest::MakeGameFolder("first.txt", {{"first.txt", gametest::StageText(3, "PAPER", cells, "bg.bmp", "x.pttune",
                                                                            "end.txt")}});
  gametest::WriteWholeFile("script.txt", "seed 7\nclock manual\n5 key 57 1\n6 key 57 0\n700 key 1 1\n");
  std::string command = "KESTRUNE_SCRIPT=script.txt SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy '" + ProgramPath() +
                        "' > out.txt 2>&1";
  int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << gametest::ReadWholeFile("out.txt");
}

}  // namespace
