// The program: the game in its game folder. With KESTRUNE_SCRIPT set it plays a
// scripted run on a manual clock instead of reading the player (see game/harness.h).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "engine/system/system.h"
#include "game/harness.h"
#include "game/main_loop.h"
#include "game/play_state.h"
#include "game/playfield/stage.h"

namespace {

namespace fs = std::filesystem;

// A game folder is known by what the title reads first: "stages/start.txt" and the title
// image it names, in "stages" or "common". A folder merely named so is not one.
bool HoldsGameData(const fs::path& dir) {
  const int file = FileRead_openDefault((dir / "stages" / "start.txt").c_str(), 0);
  if (file == 0) return false;
  char image[kNameSize];
  ReadStageFieldSkipping(file, image);
  FileRead_close(file);
  std::error_code ec;
  return image[0] != '\0' &&
         (fs::is_regular_file(dir / "stages" / image, ec) || fs::is_regular_file(dir / "common" / image, ec));
}

// The game reads and writes relative to its working folder. Started elsewhere, it moves to
// the game folder the build puts beside the executable ("gamedir"), or to the executable's
// own folder when the game was copied into one. False, after one line on standard error
// naming every folder looked in, when none holds the data.
bool EnterGameFolder() {
  std::error_code ec;
  const fs::path here = fs::current_path(ec);
  if (HoldsGameData(".")) return true;
  std::vector<fs::path> looked{here};
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    for (const fs::path& dir : {exe.parent_path(), exe.parent_path() / "gamedir"}) {
      if (dir == here) continue;
      looked.push_back(dir);
      if (!HoldsGameData(dir)) continue;
      fs::current_path(dir, ec);
      if (!ec) return true;
      std::fprintf(stderr, "Kestrune: cannot enter the game folder %s: %s\n", dir.c_str(), ec.message().c_str());
      return false;
    }
  }
  std::string list;
  for (size_t i = 0; i < looked.size(); ++i) {
    list += i == 0 ? "" : i + 1 == looked.size() ? " or " : ", ";
    list += looked[i].string();
  }
  std::fprintf(stderr, "Kestrune: no game data (\"stages/start.txt\" and the title image it names) in %s\n",
               list.c_str());
  return false;
}

// A relative input script named by the environment is read after the move: anchor it here.
void AnchorInputScript() {
  const char* script = std::getenv("TAMRAK_INPUT_SCRIPT");
  if (script == nullptr || *script == '\0' || script[0] == '/') return;
  std::error_code ec;
  const fs::path full = fs::absolute(script, ec);
  if (!ec) setenv("TAMRAK_INPUT_SCRIPT", full.c_str(), 1);
}

}  // namespace

int main() {
  ScriptedRun script;
  const bool scripted = script.LoadFromEnvironment();
  AnchorInputScript();
  if (!EnterGameFolder()) return 1;
  return scripted ? script.RunWinMain() : WinMain();
}
