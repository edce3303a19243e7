// The flower-arranging master and what it throws: white flowers that grow into seed
// shooters, yellow flowers that stretch a vine across the field, red flowers that burst
// into homing petals, and blue flowers that walk the floor.
#pragma once

#include <cstdint>

#include "game/playfield/blocks_items.h"
#include "game/task.h"

class IkebanaMasterTask : public Character {
 public:
  IkebanaMasterTask(int x, int y);
  IkebanaMasterTask(int code, int x, int y);  // as the stage set-up calls every master
  void Update() override;
  void Draw() override;

  // What a raised hand holds.
  enum Weapon : int32_t { kNothing = 0, kWhite = 1, kRed = 2, kYellow = 3, kBlue = 4 };
  enum Hand : int32_t { kLeftHand = 0, kRightHand = 1 };

  int32_t leftHandX = 0, rightHandX = 48;  // sprite columns of the two 48-wide halves
  int32_t brightness = 64;
  int32_t fade = 255;
  int32_t weapon = kNothing;
  int32_t whiteSides = 0;  // bit 0: a grown white flower on the right half, bit 1: on the left
  int32_t blueCount = 0;   // walking blue flowers
  int32_t turn = 0;        // throws of the second half
  int32_t throwPeriod;
  int32_t throwHand = kLeftHand;

 private:
  void Raise();
  void Hold(int32_t what, int32_t hand);
  void Throw();
  void FollowThrough();
  void Rest();
  int32_t PlayerSideHand() const;
};

class YellowRedFlowerTask : public Character {
 public:
  YellowRedFlowerTask(int x, int y, bool yellow);
  void Update() override;
  void Draw() override;

  bool yellow;
  double vineLeft, vineRight;  // the two ends of the vine
  int32_t vineRow = 80;
  TaskRef<OnlyCollisionTask> vineBox;

 private:
  void Burst();
  bool vineMade_ = false;
};

class WhiteFlowerTask : public Character {
 public:
  // side 0 from the left hand, 1 from the right; owner may be null.
  WhiteFlowerTask(int x, int y, int side, IkebanaMasterTask* owner);
  void Update() override;
  void Draw() override;

  int32_t maxLife;
  double scale = 0.5;
  int32_t bloomX = 48;
  TaskRef<OnlyCollisionTask> stemBox;

 private:
  void Die();
  int32_t SideBit() const;
  TaskRef<IkebanaMasterTask> owner_;
  bool stemMade_ = false;
  bool ownsSideBit_ = false;
};

class BlueFlowerTask : public Character {
 public:
  BlueFlowerTask(int x, int y, IkebanaMasterTask* owner);  // owner may be null
  void Update() override;
  void Draw() override;

  int32_t maxLife;

 private:
  void Die();
  TaskRef<IkebanaMasterTask> owner_;
  bool counted_ = false;
};

class SeedBulletTask : public Character {
 public:
  SeedBulletTask(int x, int y, double targetX, double targetY, double speed);
  void Update() override;

  double vx, vy;
};

class PetalBulletTask : public Character {
 public:
  // order 1..4: the turn in which the petal leaves for the player.
  PetalBulletTask(int x, int y, double vx, double vy, int order, bool colour);
  void Update() override;

  int32_t order;
  double vx, vy;
};
