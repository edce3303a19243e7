// Every shipped stage played by the scripted player from READY to STAGE CLEAR, each as
// a new game on NORMAL with a fixed seed, through the game's own keys. Each case prints
// one row of the difficulty curve: the frames the stage took and the lives it cost.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>

#include "engine/system/system.h"
#include "game/harness.h"
#include "game/main_loop.h"
#include "game/play_state.h"
#include "game/playfield/player.h"
#include "game/settings.h"
#include "game/playfield/stage_scenes.h"
#include "game/task.h"
#include "game_test_util.h"
#include "scripted_player.h"

namespace {

using gametest::FirstTask;

// Frames allowed from the first READY to STAGE CLEAR, retries included.
constexpr uint32_t kFrameCap = 12000;

// The stages in the order of play.
const char* const kStages[] = {
    "1-1", "1-2", "1-3", "1-4", "boss1",  //
    "2-1", "2-2", "2-3", "2-4", "boss2",  //
    "3-1", "3-2", "3-3", "3-4", "boss3",  //
    "4-1", "4-2", "4-3", "4-4", "boss4",  //
    "5-1", "5-2", "5-3", "5-4", "boss5",
};

// The shipped stage files with a plain background for each picture they name; the
// sprite sheets, sounds and tunes are left out (nothing of the play depends on them).
void MakeShippedStageFolder(const std::string& first) {
  const char* source = std::getenv("TAMRAK_SOURCE_DIR");
  std::filesystem::path stages = std::filesystem::path(source != nullptr ? source : ".") / "data/game/stages";
  ASSERT_TRUE(std::filesystem::exists(stages / (first + ".txt"))) << stages;
  gametest::MakeGameFolder(first + ".txt", {});
  for (const auto& entry : std::filesystem::directory_iterator(stages)) {
    std::filesystem::copy_file(entry.path(), "stages" / entry.path().filename(),
                               std::filesystem::copy_options::overwrite_existing);
  }
  for (int world = 1; world <= 5; ++world) {
    gametest::WriteBmp("stages/bg" + std::to_string(world) + ".png", 8, 8, 20, 20, 40);
  }
  gametest::WriteWholeFile("stages/start.txt", "title.bmp\n" + first + ".txt\n");
  // A plain window drawn every second frame: the play is the same, the run cheaper.
  SettingRecord settings;
  settings.screenSize = 0;
  settings.frameSkip = 30;
  settings.bgmQuality = 0;
  uint8_t bytes[kSettingFileSize];
  EncodeSetting(settings, 0, bytes);
  gametest::WriteWholeFile(kSettingFileName, std::string(reinterpret_cast<char*>(bytes), sizeof bytes));
}

// "l,t..r,b" in whole pixels.
std::string BoxText(const scripted::Box& b) {
  return std::to_string(int(b.l)) + "," + std::to_string(int(b.t)) + ".." + std::to_string(int(b.r)) + "," +
         std::to_string(int(b.b));
}

// What took a point of health: the hostile task next to the player, else the ball.
void TraceHarm(uint32_t frame) {
  std::string what = "ball on the floor";
  if (FirstTask<PlayerTask>(kLayerPlayer) != nullptr) {
    scripted::Box me = {PlayerX + 8, PlayerY + 3, PlayerX + 24, PlayerY + 27};
    for (int layer : {kLayerEnemy, kLayerBossPart, kLayerBullet}) {
      for (int i = 0; i < TaskPool_Count(layer); ++i) {
        Character* c = TaskPool_Get(layer, i);
        scripted::Box b = scripted::HitBoxOf(*c);
        if (c->hitShape != kHitNone && b.l < me.r + 6 && me.l - 6 < b.r && b.t < me.b + 6 && me.t - 6 < b.b) {
          what = std::string(typeid(*c).name()) + " at " + BoxText(b);
        }
      }
    }
  }
  std::printf("  frame %u health %d player %.0f,%.0f: %s\n", frame, Health, PlayerX, PlayerY, what.c_str());
}

// The masters' own weapons near the player, for the trace.
std::string Sights() {
  std::string out;
  for (int layer : {kLayerEnemy, kLayerBossPart}) {
    for (int i = 0; i < TaskPool_Count(layer); ++i) {
      Character* c = TaskPool_Get(layer, i);
      if (c->finished || c->hitShape == kHitNone || c->kind >= 0) continue;
      scripted::Box b = scripted::HitBoxOf(*c);
      std::string name = typeid(*c).name();
      while (!name.empty() && std::isdigit(static_cast<unsigned char>(name[0]))) name.erase(0, 1);
      out += " [" + name.substr(0, 10) + " " + BoxText(b) + " s" + std::to_string(c->hitMask) + " l" +
             std::to_string(c->life) + "]";
    }
  }
  return out;
}

class StageClearTest : public ::testing::TestWithParam<const char*> {};

TEST_P(StageClearTest, ScriptedPlayerClearsTheStage) {
  const std::string stage = GetParam();
  const bool bossStage = stage.rfind("boss", 0) == 0;
  gametest::ScratchDir dir;
  MakeShippedStageFolder(stage);
  GameHarness game;
  // KESTRUNE_PLAYER_SEED plays another seed, to see how much of a result is luck.
  const char* seedText = std::getenv("KESTRUNE_PLAYER_SEED");
  ASSERT_TRUE(game.Start(seedText != nullptr ? static_cast<uint32_t>(std::strtoul(seedText, nullptr, 10)) : 2024));
  game.TapKey(KeyCode::Space);  // the title: start the first stage
  ASSERT_TRUE(game.StepUntil([] { return GetGamePhase() == GamePhase::kStage; }, 60));

  // With KESTRUNE_PLAYER_TRACE set, every point of health lost is printed after the
  // decisions of the 40 frames before it.
  // Set to "all", every decision is printed.
  const char* traceLevel = std::getenv("KESTRUNE_PLAYER_TRACE");
  const bool trace = traceLevel != nullptr;
  const bool traceAll = trace && std::string(traceLevel) == "all";
  std::vector<std::string> recent;
  scripted::ScriptedPlayer player;
  std::set<int> held;
  uint32_t frames = 0;
  int livesLost = 0;
  bool cleared = false, woke = false;
  uint64_t restartSeen = 0;
  while (frames < kFrameCap) {
    if (FirstTask<StageClearTask>(kLayerBullet) != nullptr) {
      cleared = true;
      break;
    }
    if (auto* restart = FirstTask<StageRestartTask>(kLayerBall)) {
      if (Lives < 1) break;  // GAME OVER
      if (restart->serial() != restartSeen) {
        restartSeen = restart->serial();
        ++livesLost;
      }
    }
    woke |= BossPhase >= 2;
    std::set<int> want = player.Decide();
    if (trace) {
      recent.push_back(std::to_string(frames) + " x " + std::to_string(int(PlayerX)) + " y " +
                       std::to_string(int(PlayerY)) + " pose " + std::to_string(PlayerPose) + " gauge " +
                       std::to_string(PowerGauge) + Sights() + ": " + player.why());
      if (traceAll) std::printf("    %s\n", recent.back().c_str());
      if (recent.size() > 40 || traceAll) recent.erase(recent.begin());
    }
    for (int key : held)
      if (!want.count(key)) game.KeyUp(key);
    for (int key : want)
      if (!held.count(key)) game.KeyDown(key);
    held = want;
    const int32_t healthBefore = Health;
    ASSERT_TRUE(game.Step());
    ++frames;
    if (trace && Health < healthBefore) {
      for (const std::string& line : recent) std::printf("    %s\n", line.c_str());
      TraceHarm(frames);
    }
  }
  if (trace) std::printf("  boss life %d\n", int(BossGaugeFull));
  std::printf("[ difficulty ] %-6s frames %5u  lives lost %d%s\n", stage.c_str(), frames, livesLost,
              cleared ? "" : ("  not cleared: " + std::to_string(EnemyBlockCount) + " enemies and " +
                              std::to_string(NormalBlockCount) + " blocks left")
                                 .c_str());
  EXPECT_TRUE(cleared) << "Health " << Health << " Lives " << Lives << " blocks " << NormalBlockCount << " enemies "
                       << EnemyBlockCount << " scroll " << int(ScrollTaken) << " boss " << BossPhase;
  if (bossStage) {
    EXPECT_TRUE(woke);
    EXPECT_EQ(BossPhase, 3);
  }
}

INSTANTIATE_TEST_SUITE_P(ShippedStages, StageClearTest, ::testing::ValuesIn(kStages),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return "Stage" + name;
                         });

}  // namespace
