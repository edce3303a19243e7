// The program's life: start-up, the scene, menu and game loops, and shutdown.
//
// WinMain is GameStartUp, then GameStepFrame until it returns false, then GameShutDown.
// Each GameStepFrame runs exactly one frame of the menu loop or the game loop (with the
// scene changes that come before it), so a test can step the very same loops.
#pragma once

#include <cstdint>
#include <string>

#include "engine/system/system.h"

class Character;

constexpr int64_t kFrameMicroseconds = 16666;

// Where the loops read the time and wait for the end of a frame.
struct FrameClock {
  int64_t (*now)();
  void (*waitUntil)(int64_t deadline);  // returns once now() >= deadline
};
// Null restores the engine's clock: GetMicrosecondCount, and WaitForFrameDeadline.
void SetFrameClock(const FrameClock* clock);

// How long before a frame's deadline the engine clock's wait stops sleeping and spins.
constexpr int64_t kFrameSpinMicroseconds = 500;
// Sleeps (to an absolute time) until kFrameSpinMicroseconds before the deadline, then
// spins on GetMicrosecondCount until it reaches the deadline. Returns at once when late.
void WaitForFrameDeadline(int64_t deadline);

// Runs right after the engine has started (seeding, scripted input); null for none.
void SetEngineStartHook(void (*hook)());

int WinMain();
// -1 when the engine does not start (nothing else has been done then).
int GameStartUp();
// One frame; false once the program is to shut down.
bool GameStepFrame();
void GameShutDown();

// SCREEN SIZE onto the screen mode, window mode and draw target; startUp 1 only records.
void ApplyScreenSize(int startUp);

// What the loops are doing, for tests.
enum class GamePhase { kNotStarted, kMenu, kStage, kShutDown };
GamePhase GetGamePhase();
uint32_t GameFrameCounter();
bool GameEndingActive();
int64_t GameLastFrameEnd();
Character* GameTitleTask();  // the title task while the menu loop runs, else null
// True when the frame with this counter is drawn under the current FRAME SKIP.
bool IsDrawingFrame(uint32_t frame);
// "year_month_day_hour_minute_second.bmp"
std::string ScreenshotName(const LocalDateTime& t);
