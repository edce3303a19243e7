// The stage select: opened over the title by CONTINUE, it picks any stage up to the
// highest one reached and names its file in the stage record. The title owns it; it is
// in no layer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "game/playfield/stage.h"
#include "game/task.h"

// Stages are numbered 0..24: five worlds of five, the fifth of each its boss stage.
constexpr int kStageCount = 25;
constexpr int kStagesPerWorld = 5;

// The stage file of a stage number ("1-1.txt" .. "5-4.txt", "boss1.txt" .. "boss5.txt");
// false, and nothing written, for a number outside 0..24.
bool StageFileName(int stage, char* out, size_t outSize);

// One step of the two arrows' swing (title and stage select): on even timer values it
// grows for three steps, then shrinks for three.
int SwingArrow(int swing, int timer);

class StageSelectScreenTask : public Character {
 public:
  explicit StageSelectScreenTask(StageRecord* record);
  ~StageSelectScreenTask() override;
  void Update() override;
  void Draw() override;

  int32_t cursor = 0;
  char labels[kStageCount][6] = {};  // "1-1" .. "5-5"
  int32_t arrowSwing = 0;

 private:
  StageRecord* record_;
};
