// The tea-ceremony master (cell codes 50 and 51), its tea utensils and its tea drops.
// The kettle and the aimed drop are also weapons of the skull and calligraphy masters.
#pragma once

#include <cstdint>

#include "game/task.h"

class ChaDouguTask;

// Waits dark among the blocks until the scroll is taken, then fights in two halves;
// its spout turns now and then through a half circle, pouring a stream of drops.
// State number in `hitMask`; work[0] horizontal speed, work[2] spout turning speed,
// work[3] spout angle (radians clockwise from straight up).
class ChanoyuMasterTask : public Character {
 public:
  ChanoyuMasterTask(int x, int y);
  // As made by the stage set-up; the cell code is not kept.
  ChanoyuMasterTask(int code, int x, int y);
  void Update() override;
  void Draw() override;

  int32_t aimMode = 0;  // 2 while the spout sign shows
  int32_t brightness;
  int32_t fade;
  TaskRef<ChaDouguTask> utensilLeft;
  TaskRef<ChaDouguTask> utensilRight;

 private:
  void StartSweep();
  bool SweepEnded();
  void MakeUtensils();
  void MakeKettles();
  void EndUtensils();
  void Walk();
  void MoveSecondHalf();
  void FireFans();
  void Pour();
};

// A tea utensil: a sweeping one glides in under the master's arms (never touches the
// player); a kettle pours a stream that is part of its hit box.
// work[2], work[3]: per-update movement of a sweeping utensil.
class ChaDouguTask : public Character {
 public:
  // Sweeping utensil from (x, y) gliding toward (targetX, targetY).
  ChaDouguTask(int x, int y, double targetX, double targetY);
  // Kettle; a timed one ends by itself after 580 updates.
  ChaDouguTask(int x, int y, int timed);
  void Update() override;
  void Draw() override;

  double scale;
  int32_t stream = 0;  // pixels of poured stream
  uint8_t timed = 0;
};

// A tea drop (an ink drop for the calligraphy master), drawn centred on its position.
// work[0], work[1]: velocity.
class TeaBulletTask : public Character {
 public:
  // Aimed: speed along straight up turned by `angle` (clockwise).
  TeaBulletTask(int x, int y, double angle, double speed);
  // Spat: a random sideways speed, falling under gravity.
  TeaBulletTask(int x, int y, double speedY);
  void Update() override;
  void Draw() override;

  double scale = 0.4;
};
