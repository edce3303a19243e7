// The calligraphy master's released sheets: fire that drops and spreads flames along the
// floor, thunder that strikes and sweeps sideways, ice that drops and bursts into shards.
// They take no hits and all end at once when the boss is beaten.
#pragma once

#include <cstdint>

#include "game/task.h"

class ShodoFirePaperTask : public Character {
 public:
  ShodoFirePaperTask(int x, int y);
  void Update() override;
};

// A flame rising out of the floor; it starts the next one a step further along.
class ShodoFirePaperFireTask : public Character {
 public:
  ShodoFirePaperFireTask(int x, bool runsRight);
  void Update() override;

  int32_t step;
  int32_t waited = 0;  // frames at full height
};

class ShodoThunderPaperTask : public Character {
 public:
  ShodoThunderPaperTask(int x, int y);
  void Update() override;
  void Draw() override;

  double scale = 1.0;
  int32_t boltFrameX = 0;
};

class ShodoIcePaperTask : public Character {
 public:
  ShodoIcePaperTask(int x, int y);
  void Update() override;
  void Draw() override;

  double scale = 1.0;
  double iceScale = 0.0;
  uint8_t iceShown = 0;
};

// A shard of the burst ice; `angle` is measured from straight up.
class ShodoIcePaperPieceTask : public Character {
 public:
  ShodoIcePaperPieceTask(int x, int y, double angle, double speed);
  void Update() override;

  double directionX, directionY;
};
