// The paddle (an invisible box on the player's head) and the ball, whose direction and
// speed are the globals BallAngle and BallSpeed so that the collision pass and the
// player's actions can read and change them. Once the scroll is taken the ball flies
// back to the player and fires BallShotTask shots until no block is left.
#pragma once

#include <cstdint>

#include "game/task.h"

class PaddleTask : public Character {
 public:
  PaddleTask();
  void Update() override;
};

class BallTask : public Character {
 public:
  enum State : int32_t { kHeld = 0, kFlying = 1, kVanishing = 2, kReturning = 3, kShooting = 4 };

  BallTask();
  void Update() override;
  void Draw() override;

  int32_t state = kHeld;
  int32_t alpha = 0;
  int32_t boostTime = 0;  // frames left of a raised speed
  int32_t blinkTime = 0;  // frames of red shaking
  double vx = 0.0, vy = 0.0;
  double cachedAngle = 0.0, cachedSpeed = 0.0;  // of the last velocity computation
  double startX = 0.0, startY = 0.0;            // where the return flight began

 private:
  void UpdateFlying();
  void UseSmallSprite();
};

// A shot of the spinning ball: flies straight up.
class BallShotTask : public Character {
 public:
  BallShotTask(int x, int y);
  void Update() override;
};
