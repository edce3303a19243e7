// The small enemies that enemy blocks release (foot soldiers with their flag or katana,
// the purple and red ninjas, the wrestler) and the missiles thrown by them and others:
// the throwing star, the fire bomb and the throwing knife. Enemies and their companions
// keep their state number in `hitMask`, which only balls use otherwise.
// This folder holds them; they call the frame (tasks, play state, resources, gfx), the playfield's
// collision and the engine's API.
#pragma once

#include <cstdint>

#include "game/task.h"

// The shared draw of a small enemy: the sprite (inverted while it flashes), then its gauge.
void DrawEnemy(const Character& enemy, int32_t maxLife);

// The flag of a flag bearer: hurts the player on contact; no update of its own.
class AshigaruFlagTask : public Character {
 public:
  AshigaruFlagTask();
};

// The katana of a katana soldier: shown and sharp only while its state is 1.
class AshigaruKatanaTask : public Character {
 public:
  AshigaruKatanaTask();
  void Update() override;
};

// A foot soldier; cell code 11 plain, 12 flag bearer, 13 katana soldier.
class AshigaruMarugoshiTask : public Character {
 public:
  AshigaruMarugoshiTask(int x, int code);
  ~AshigaruMarugoshiTask() override;
  void Update() override;
  void Draw() override;

  int32_t maxLife;
  TaskRef<Character> companion;
  bool companionMade = false;
  double lungeSpeed = 0.0;
};

// Stands and throws stars straight ahead.
class PurpleNinjaTask : public Character {
 public:
  explicit PurpleNinjaTask(int x);
  void Update() override;
  void Draw() override;

  int32_t maxLife;
};

// Flies to and fro, bobbing about y = 120, and drops fire bombs.
class RedNinjaTask : public Character {
 public:
  RedNinjaTask(int x, int y);
  void Update() override;
  void Draw() override;

  int32_t maxLife;
  uint8_t charging = 0;
  double speedY = -1.0;
};

// Walks, then jumps toward the player.
class SumouTask : public Character {
 public:
  explicit SumouTask(int x);
  void Update() override;
  void Draw() override;

  int32_t maxLife;
  double speedX = 0.0;
  double speedY = 0.0;
};

// A throwing star.
class ShurikinTask : public Character {
 public:
  // Toward a target at `speed`.
  ShurikinTask(int x, int y, double targetX, double targetY, double speed);
  // With an explicit velocity.
  ShurikinTask(int x, int y, double vx, double vy);
  void Update() override;

  double vx, vy;
};

// A fire bomb: falls, then burns on the floor as a growing and shrinking flame.
class KatonTask : public Character {
 public:
  KatonTask(int x, int y);
  void Update() override;
  void Draw() override;

  double speedY = 0.0;
};

// A throwing knife. An enemy's flies straight down turned by `angle`; the player's flies
// toward the boss's centre turned by `angle`.
class KunaiShotTask : public Character {
 public:
  KunaiShotTask(int x, int y, double angle, double speed, bool enemy);
  void Update() override;
  void Draw() override;

  double vx = 0.0, vy = 0.0;
  double flightAngle = 0.0;
};
