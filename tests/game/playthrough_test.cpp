// A small stage played from the title through READY to STAGE CLEAR by a scripted
// player: once through the harness, then the same key presses replayed by the real
// program under the dummy drivers.
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/draw/draw.h"
#include "engine/system/system.h"
#include "game/playfield/blocks_items.h"
#include "game/harness.h"
#include "game/main_loop.h"
#include "game/playfield/paddle_ball.h"
#include "game/play_state.h"
#include "game/playfield/player.h"
#include "game/resources.h"
#include "game/enemies/small_enemies.h"
#include "game/playfield/stage_scenes.h"
#include "game_test_util.h"

namespace {

using gametest::FirstTask;
using gametest::StageText;

// Three normal blocks at the top and a foot soldier's block in the ball's first path.
std::vector<int> TestStageCells() {
  std::vector<int> cells(81, 0);
  cells[3] = cells[4] = cells[5] = 1;
  cells[3 * 9 + 7] = 11;
  return cells;
}

void MakeTestGame() {
  gametest::MakeGameFolder("s1.txt", {{"s1.txt", StageText(4, "TEST", TestStageCells(), "bg.bmp", "t.pttune", "s2.txt")},
                                      {"s2.txt", StageText(5, "NEXT", TestStageCells(), "bg.bmp", "t.pttune", "end.txt")}});
}

// A player that looks at the playfield each frame: launch the ball, keep it up, beat the
// enemy, take the scroll, stand under the blocks that are left.
std::set<int> Decide(uint32_t step) {
  std::set<int> keys;
  if (GetGamePhase() == GamePhase::kMenu) {
    if (step == 2) keys.insert(KeyCode::Space);
    return keys;
  }
  auto* player = FirstTask<PlayerTask>(kLayerPlayer);
  if (player == nullptr) return keys;
  const double centre = PlayerX + 16;
  auto walkTo = [&](double target) {
    if (target < centre - 2) keys.insert(KeyCode::Left);
    if (target > centre + 2) keys.insert(KeyCode::Right);
  };
  auto* ball = FirstTask<BallTask>(kLayerBall);
  Character* enemy = nullptr;
  for (int i = 0; i < TaskPool_Count(kLayerEnemy); ++i) {
    Character* t = TaskPool_Get(kLayerEnemy, i);
    if (t->kind != -2 || t->finished) continue;
    if (enemy == nullptr || std::fabs(t->x - PlayerX) < std::fabs(enemy->x - PlayerX)) enemy = t;
  }
  auto* item = FirstTask<ItemTask>(kLayerItem);
  const bool falling = ball != nullptr && ball->state == BallTask::kFlying && std::fabs(BallAngle) > 1.5708;
  const bool onFloor = PlayerY >= 194;
  // The enemy's centre, the gap between the two boxes, and whether it walks toward us.
  double enemyCentre = 0, gap = 1e9;
  bool approaching = false, enemyToRight = false;
  if (enemy != nullptr) {
    enemyCentre = enemy->x + enemy->hitX + enemy->hitW / 2.0;
    enemyToRight = centre < enemyCentre;
    gap = std::fabs(enemyCentre - centre) - 16;
    approaching = (enemy->flip == 1) == enemyToRight;
  }
  if (ball != nullptr && ball->state == BallTask::kHeld && ball->alpha >= 255 && NormalBlockCount > 0) {
    if (step % 2 == 0) keys.insert(KeyCode::Z);
  } else if (enemy != nullptr && (gap < 60 || !falling || ball->y < 120)) {
    if (!onFloor) {
      keys.insert(KeyCode::X);  // a full jump, on the way it faces
      keys.insert(PlayerFlip == 0 ? KeyCode::Right : KeyCode::Left);
    } else if (approaching && gap < 24) {
      keys.insert(KeyCode::X);  // over it
      keys.insert(enemyToRight ? KeyCode::Right : KeyCode::Left);
    } else if (approaching) {
      if ((PlayerFlip == 0) != enemyToRight) {
        keys.insert(enemyToRight ? KeyCode::Right : KeyCode::Left);
      } else if (gap < 31 && step % 12 == 0) {
        keys.insert(KeyCode::Z);
      }
    } else {
      // Follow it from behind, 30 pixels off its centre, and slash.
      double spot = enemyCentre + (enemyToRight ? -30 : 30);
      if (std::fabs(spot - centre) > 10) {
        walkTo(spot);
      } else if ((PlayerFlip == 0) != enemyToRight) {
        keys.insert(enemyToRight ? KeyCode::Right : KeyCode::Left);
      } else if (step % 12 == 0) {
        keys.insert(KeyCode::Z);
      }
    }
  } else if (falling && ball->y > 100) {
    walkTo(ball->x);
  } else if (item != nullptr) {
    walkTo(item->x + 8);
  } else if (ScrollTaken) {
    double best = 1e9;
    for (int i = 0; i < TaskPool_Count(kLayerBlock); ++i) {
      Character* b = TaskPool_Get(kLayerBlock, i);
      double x = b->x + 12;
      if (std::fabs(x - centre) < std::fabs(best - centre)) best = x;
    }
    if (best < 1e9) walkTo(best);
  } else if (ball != nullptr && ball->state == BallTask::kFlying) {
    walkTo(ball->x);
  }
  return keys;
}

struct Recorded {
  std::vector<std::string> lines;  // "<step> key <code> <1|0>"
  int clearedAt = -1;
  uint32_t steps = 0;
  bool sawReady = false, sawSoldier = false, sawScroll = false, sawShooting = false;
};

// Plays from the title until the second stage (number 5) has begun, recording every key
// change; with KESTRUNE_FRAMES naming a folder, every 30th frame is saved there as PNG.
void PlayToTheNextStage(GameHarness& game, Recorded* run) {
  const char* frames = std::getenv("KESTRUNE_FRAMES");
  std::set<int> held;
  for (uint32_t step = 0; step < 4000 && CurrentStage != 5; ++step) {
    std::set<int> want = Decide(step);
    for (int key : want) {
      if (!held.count(key)) {
        game.KeyDown(key);
        run->lines.push_back(std::to_string(step) + " key " + std::to_string(key) + " 1");
      }
    }
    for (int key : held) {
      if (!want.count(key)) {
        game.KeyUp(key);
        run->lines.push_back(std::to_string(step) + " key " + std::to_string(key) + " 0");
      }
    }
    held = want;
    ASSERT_TRUE(game.Step());
    run->sawReady |= FirstTask<StageReadyTask>(kLayerBullet) != nullptr;
    run->sawSoldier |= FirstTask<AshigaruMarugoshiTask>(kLayerEnemy) != nullptr;
    run->sawScroll |= ScrollTaken == 1;
    if (auto* ball = FirstTask<BallTask>(kLayerBall)) run->sawShooting |= ball->state == BallTask::kShooting;
    if (run->clearedAt < 0 && FirstTask<StageClearTask>(kLayerBullet) != nullptr) run->clearedAt = static_cast<int>(step);
    if (frames != nullptr && step % 30 == 0) {
      std::string name = std::string(frames) + "/f" + std::to_string(100000 + step) + ".png";
      SaveDrawScreen(0, 0, 320, 240, name.c_str(), ImageSaveType::Png);
    }
  }
  run->steps = game.steps();
}

TEST(PlaythroughTest, ATestStageFromTitleToStageClear) {
  gametest::ScratchDir dir;
  MakeTestGame();
  GameHarness game;
  ASSERT_TRUE(game.Start(2024));
  Recorded run;
  PlayToTheNextStage(game, &run);
  EXPECT_TRUE(run.sawReady);
  EXPECT_TRUE(run.sawSoldier);
  EXPECT_TRUE(run.sawScroll);
  EXPECT_TRUE(run.sawShooting);
  ASSERT_GE(run.clearedAt, 0) << "Health " << Health << " Score " << Score;
  ASSERT_EQ(CurrentStage, 5);
  EXPECT_STREQ(CurrentStageName, "s2.txt");
  EXPECT_EQ(ContinueStage, 5);
  // Three blocks and a soldier (300 on NORMAL) at least; coins are extra.
  const int32_t score = Score;
  EXPECT_GE(score, 3 * 100 + 300);
  game.KeyDown(KeyCode::Escape);
  EXPECT_FALSE(game.Step());
  game.Finish();

  // The same presses, one frame per message-pump call, replayed by the real program: it
  // must reach the second stage too, which it records as the highest stage reached.
  const char* bin = std::getenv("TAMRAK_BINARY_DIR");
  std::string program = bin != nullptr ? std::string(bin) + "/kestrune" : std::string();
  if (program.empty() || !std::filesystem::exists(program)) GTEST_SKIP() << "kestrune is not built";
  std::filesystem::remove("setting.dat");
  std::string script = "seed 2024\nclock manual\n";
  for (const std::string& line : run.lines) {
    size_t space = line.find(' ');
    script += std::to_string(std::stoi(line.substr(0, space)) + 1) + line.substr(space) + "\n";
  }
  script += std::to_string(run.steps + 60) + " key 1 1\n";  // Escape, once the next stage has begun
  gametest::WriteWholeFile("script.txt", script);
  std::string command = "KESTRUNE_SCRIPT=script.txt SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy '" + program +
                        "' > out.txt 2>&1";
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << gametest::ReadWholeFile("out.txt");
  std::string settings = gametest::ReadWholeFile("setting.dat");
  ASSERT_EQ(settings.size(), 82u);
  auto field = [&](size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(settings[at + i])) << (8 * i);
    return static_cast<int32_t>(v);
  };
  EXPECT_EQ(field(58), 5);            // the highest stage reached
  EXPECT_EQ(field(62), score);        // NORMAL hi-score: the same score as the harness run
}

// The same stage with the generated game art, sounds and music: everything loads and draws.
TEST(PlaythroughTest, TheTestStageWithTheGameData) {
  const char* bin = std::getenv("TAMRAK_BINARY_DIR");
  std::filesystem::path data = bin != nullptr ? std::filesystem::path(bin) / "gamedir" : std::filesystem::path();
  if (data.empty() || !std::filesystem::exists(data / "common" / "player.png") ||
      !std::filesystem::exists(data / "stages" / "bg1.png")) {
    GTEST_SKIP() << "no game data";
  }
  gametest::ScratchDir dir;
  MakeTestGame();
  std::filesystem::copy(data / "common", "common", std::filesystem::copy_options::recursive |
                                                      std::filesystem::copy_options::overwrite_existing);
  std::filesystem::copy(data / "bgm", "bgm", std::filesystem::copy_options::recursive |
                                                std::filesystem::copy_options::overwrite_existing);
  std::filesystem::copy_file(data / "stages" / "bg1.png", "stages/bg1.png");
  gametest::WriteWholeFile("stages/s1.txt", StageText(4, "TEST", TestStageCells(), "bg1.png", "stage1.pttune", "s2.txt"));
  GameHarness game;
  ASSERT_TRUE(game.Start(2024));
  ASSERT_GT(PlayerImage, 0);
  Recorded run;
  PlayToTheNextStage(game, &run);
  EXPECT_TRUE(run.sawSoldier);
  EXPECT_GE(run.clearedAt, 0) << "Health " << Health << " Score " << Score;
  EXPECT_EQ(CurrentStage, 5);
}

}  // namespace
