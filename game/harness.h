// Deterministic runs of the game without a player: a fixed random seed, scripted input,
// a manual clock, and frames stepped one at a time through the real loops (main_loop.h).
// The engine runs as usual; under SDL's dummy drivers there is no visible window and no
// sound device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The manual frame clock: reads the engine's manual clock and, where a real loop would
// wait, moves it to the deadline.
void UseManualFrameClock(int64_t startMicroseconds);
void UseEngineFrameClock();

// For tests: start the game, step frames, feed input, then shut down.
//
//   GameHarness game;
//   game.Start(1234);              // settings read, engine started, title scene
//   game.KeyDown(KeyCode::Space); // held from the next frame on
//   game.Step();                   // one frame of the menu or game loop
//   game.At(10, [] { ... });       // runs before step number 10
//   game.Finish();                 // the shutdown ("setting.dat" written)
class GameHarness {
 public:
  GameHarness() = default;
  ~GameHarness();
  GameHarness(const GameHarness&) = delete;
  GameHarness& operator=(const GameHarness&) = delete;

  // False when the engine did not start.
  bool Start(int seed);
  // One frame; false once the program has ended (Finish then shuts down).
  bool Step();
  // Steps up to n frames; the number run.
  int StepFrames(int n);
  // Steps until the condition holds or the program ends, at most `limit` frames.
  template <class Condition>
  bool StepUntil(Condition condition, int limit) {
    for (int i = 0; i < limit; ++i) {
      if (condition()) return true;
      if (!Step()) return condition();
    }
    return condition();
  }
  void Finish();
  bool running() const { return started_ && running_; }
  // Steps taken since Start.
  uint32_t steps() const { return steps_; }

  // Input, as the engine's devices report it from now on.
  void KeyDown(int keyCode);
  void KeyUp(int keyCode);
  void SetPad(int bits);
  // Holds a key (or pad bits) for exactly the next frame.
  void TapKey(int keyCode);
  void TapPad(int bits);
  // An action to run before the given step (counted from 0).
  void At(uint32_t step, void (*action)());

  int64_t Now() const;
  // Makes the next frame start late by this many microseconds.
  void Delay(int64_t microseconds);

 private:
  bool started_ = false;
  bool running_ = false;
  uint32_t steps_ = 0;
  std::vector<int> tapKeys_;
  int tapPad_ = 0;
  int pad_ = 0;
  std::vector<std::pair<uint32_t, void (*)()>> actions_;
};

// The program's scripted mode: KESTRUNE_SCRIPT names a file of lines
//   seed <n>          the random seed (default 1)
//   clock manual      frames do not wait for real time (default)
//   clock real        frames are paced by the real clock
// and any number of input lines in the engine test driver's script format
//   <frame> key <code> <1 | 0>     <frame> pad <pad> <bits>
//   <frame> focus <1 | 0>          <frame> close
// where <frame> counts message-pump calls, one a frame, from 1. '#' starts a comment.
class ScriptedRun {
 public:
  // False when KESTRUNE_SCRIPT is unset; a file that cannot be read or parsed is an
  // error reported on standard error (the run then does not start).
  bool LoadFromEnvironment();
  bool Parse(const std::string& text, std::string* error);
  // WinMain with the script in force; its result (-1 also for a bad script).
  int RunWinMain();

  int seed() const { return seed_; }
  bool manualClock() const { return manualClock_; }
  const std::string& inputScript() const { return inputScript_; }

 private:
  bool valid_ = false;
  int seed_ = 1;
  bool manualClock_ = true;
  std::string inputScript_;
};
