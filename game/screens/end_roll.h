// The ending: fades in, plays the ending music once, scrolls the ending image up to its
// bottom, waits for a button, fades out and asks for the title.
#pragma once

#include <cstdint>

#include "game/playfield/stage.h"
#include "game/task.h"

class EndRollTask : public Character {
 public:
  enum State : int32_t { kFadeIn = 0, kScrolling = 1, kWaiting = 2, kFadeOut = 3 };

  // The record's music name is the ending tune.
  explicit EndRollTask(StageRecord* record);
  ~EndRollTask() override;
  void Update() override;
  void Draw() override;

  int32_t state = kFadeIn;
  int32_t fade = 255;  // alpha of the black cover

 private:
  StageRecord* record_;
};
