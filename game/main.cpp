// The program: the game in its working folder. With KESTRUNE_SCRIPT set it plays a
// scripted run on a manual clock instead of reading the player (see game/harness.h).
#include "game/harness.h"
#include "game/main_loop.h"

int main() {
  ScriptedRun script;
  if (script.LoadFromEnvironment()) return script.RunWinMain();
  return WinMain();
}
