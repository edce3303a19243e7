// Reads the stage chain of a game folder with the game's own reader and checks the
// rules the stages must keep to be playable:
//   stagecheck GAME_FOLDER
// Prints one line per fault and exits 1 when there is any.
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/system/system.h"
#include "game/playfield/stage.h"

namespace {

int faults = 0;

void Fault(const std::string& where, const std::string& what) {
  std::printf("%s: %s\n", where.c_str(), what.c_str());
  ++faults;
}

bool IsNormalBlock(int code) { return code >= 1 && code <= 3; }
// Enemy blocks that release an enemy when they land.
bool IsEnemyBlock(int code) { return (code >= 11 && code <= 14) || (code >= 20 && code <= 39); }
bool IsMaster(int code) { return code >= 50 && code <= 55; }

bool FileExists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

// What the stage select offers for stage n of the chain.
std::string SelectName(int n) {
  int world = n / 5 + 1, stage = n % 5 + 1;
  return stage == 5 ? "boss" + std::to_string(world) + ".txt"
                    : std::to_string(world) + "-" + std::to_string(stage) + ".txt";
}

void CheckTitle(const std::string& where, const char* title) {
  size_t n = std::strlen(title);
  if (n == 0 || n > 9) Fault(where, "title must have 1 to 9 characters");
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(title[i]);
    if (c != ' ' && (c < 0x21 || c >= 0x61)) Fault(where, "title has a character the font lacks");
  }
}

void CheckMap(const std::string& where, const StageRecord& r, bool boss) {
  int normal = 0, enemies = 0, masters = 0;
  for (int row = 0; row < kMapRows; ++row) {
    for (int col = 0; col < kMapColumns; ++col) {
      int code = r.cells[row * kMapColumns + col];
      std::string cell = where + " row " + std::to_string(row) + " column " + std::to_string(col);
      if (code == 0) continue;
      if (IsNormalBlock(code)) {
        ++normal;
      } else if (IsEnemyBlock(code)) {
        ++enemies;
        // An enemy block is two cells tall.
        if (row + 1 >= kMapRows || r.cells[(row + 1) * kMapColumns + col] != 0)
          Fault(cell, "enemy block needs the cell below it empty");
      } else if (IsMaster(code)) {
        ++masters;
        if (code == 55 && col != 4) Fault(cell, "the skull master belongs in column 4");
      } else {
        Fault(cell, "code " + std::to_string(code) + " makes nothing that can be beaten");
      }
    }
  }
  if (normal == 0) Fault(where, "needs at least one normal block to launch the ball");
  if (enemies > 12) Fault(where, "more enemy blocks than the panel can show");
  if (boss) {
    if (masters != 1) Fault(where, "a boss stage needs exactly one master");
    // The master wakes only when the scroll is taken, and only the last enemy drops it.
    if (enemies == 0) Fault(where, "a boss stage needs an enemy block to drop the scroll");
  } else if (masters) {
    Fault(where, "only boss stages have masters");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || chdir(argv[1]) != 0) {
    std::fprintf(stderr, "usage: stagecheck GAME_FOLDER\n");
    return 2;
  }
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  SetLogOutputFlag(0);
  if (LibInit() == -1) {
    std::fprintf(stderr, "stagecheck: the engine did not start\n");
    return 2;
  }
  StageRecord record;
  ClearStageRecord(&record);
  if (!ReadStartFile(&record)) Fault("start.txt", "cannot be read");
  if (!FileExists(std::string(StageDirectory) + TitleImageName) && !FileExists(std::string("./common/") + TitleImageName))
    Fault("start.txt", std::string("title image ") + TitleImageName + " is missing");

  std::string name = record.nextStageName;
  for (int n = 0; n < 25 && faults < 50; ++n) {
    std::string where = name.empty() ? "stage " + std::to_string(n) : name;
    if (name != SelectName(n)) Fault(where, "the stage select expects " + SelectName(n) + " at this place of the chain");
    if (!ReadStageFile(&record, name.c_str())) {
      Fault(where, "cannot be read, or its background cannot be loaded");
      break;
    }
    if (record.stageNumber != n) Fault(where, "stage number should be " + std::to_string(n));
    CheckTitle(where, record.title);
    CheckMap(where, record, n % 5 == 4);
    if (!FileExists(std::string("./bgm/") + record.musicName)) Fault(where, std::string("tune ") + record.musicName + " is missing");
    name = record.nextStageName;
  }
  if (faults == 0 && name != "end.txt") Fault("boss5.txt", "the last stage must lead to end.txt");
  if (!ReadEndFile(&record)) Fault("end.txt", "cannot be read");
  if (!FileExists(std::string("./bgm/") + record.musicName)) Fault("end.txt", std::string("tune ") + record.musicName + " is missing");
  LibEnd();
  if (faults) return 1;
  std::printf("stagecheck: 25 stages in order, all rules kept\n");
  return 0;
}
