// Until the game stands: start the engine, show the window, end on Escape or close.
#include "engine/system/system.h"

int main() {
  SetWindowTitleText("Kestrune");
  if (LibInit() == -1) return -1;
  while (PumpMessages() == 0 && !IsKeyDown(KEY_INPUT_ESCAPE)) SleepMilliseconds(16);
  LibEnd();
  return 0;
}
