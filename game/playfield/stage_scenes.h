// The scenes that frame a stage: READY, STAGE CLEAR, and retry / GAME OVER. Each is a
// task without collision, drawn as a full-screen black box of varying transparency with
// a line of bitmap text.
#pragma once

#include <cstdint>

#include "game/playfield/stage.h"
#include "game/task.h"

// Starts the music, brings in the player, fades in, then makes the ball and the paddle.
class StageReadyTask : public Character {
 public:
  explicit StageReadyTask(StageRecord* record);
  void Update() override;
  void Draw() override;

  int32_t fade = 255;
  int32_t blink = 0;

 private:
  StageRecord* record_;
};

// Shows STAGE CLEAR, fades out, optionally turns the lives left into points, and asks
// for the next stage.
class StageClearTask : public Character {
 public:
  explicit StageClearTask(bool livesBonus);
  void Update() override;
  void Draw() override;

  int32_t fade = 0;
  int32_t blink = 0;
  uint8_t livesBonus;
  int32_t bonusTail = 3;  // 30-frame steps still shown after the last life is counted
};

// After the player's defeat: a retry while lives are left, else GAME OVER and the title.
class StageRestartTask : public Character {
 public:
  StageRestartTask();
  void Update() override;
  void Draw() override;

  int32_t fade = 0;
  char shown[12] = "";
  char message[12] = "GAME OVER";
};
