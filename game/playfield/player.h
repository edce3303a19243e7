// The player's ninja and its companions: the slash, the dash attack, the dash
// after-images and the shield. The player publishes PlayerX, PlayerY, PlayerPose and
// PlayerFlip every frame for the ball, the paddle, the enemies and the bosses.
#pragma once

#include <cstdint>

#include "game/task.h"

// The sword's sweep in front of the player; switched on by the player.
class PlayerSlashTask : public Character {
 public:
  // `upperLayer` puts it among the effects (layer 9) instead of the attacks.
  explicit PlayerSlashTask(bool upperLayer = false);
  void Update() override;

  bool on = false;
};

// The body of a dash attack: hurts enemies while the dash lasts.
class PlayerDashAttackTask : public Character {
 public:
  PlayerDashAttackTask();
  void Update() override;

  bool on = false;
};

// One fading picture left behind by a dash: lives four frames, drifting back.
class PlayerDashAfterimageTask : public Character {
 public:
  PlayerDashAfterimageTask(int x, int y, double speedX, bool dashAttack);
  void Update() override;
  void Draw() override;

  double speedX;
  bool dashAttack;
  int32_t alpha = 255;
};

// Rings around the player that stop enemy bullets while PlayerShieldShowTime runs.
class PlayerShieldTask : public Character {
 public:
  PlayerShieldTask();
  void Update() override;
  void Draw() override;

  int32_t phase = 0;  // 0 open, 1 closing
};

class PlayerTask : public Character {
 public:
  enum Action : int32_t { kActNone = 0, kActSlash = 3, kActDash = 4, kActHurt = 5 };
  enum Move : int32_t { kMoveStand = 0, kMoveWalk = 1, kMoveJump = 2, kMoveDash = 4, kMoveHurt = 5 };

  PlayerTask();
  ~PlayerTask() override;
  void Update() override;
  void Draw() override;

  int32_t action = kActNone;
  int32_t move = kMoveStand;
  int32_t legSrcX = 0, legSrcY = 32;
  uint8_t falling = 1;
  uint8_t dashAttack = 0;
  int32_t jumpHold = 0;
  int32_t dashTime = -8;
  int32_t slashFrame = 0;
  int32_t lastScore;
  double speedY = 0.0;
  TaskRef<PlayerSlashTask> slash;
  TaskRef<PlayerSlashTask> slash2;  // never made
  TaskRef<PlayerDashAttackTask> dashAttackTask;

 private:
  void FallAndLand();
};
