// The blocks of the stage map, the items they and the enemies drop, the smoke puff of a
// vanished enemy, and the invisible box that boss weapons use as an obstacle.
#pragma once

#include <cstdint>

#include "game/task.h"

// Item kinds (source column kind - 1 of "items.png").
enum ItemKind : int {
  kItemScroll = 1,
  kItemRiceBall = 2,
  kItemCoin = 3,
  kItemNothing = 4,
  kItemMoney = 5,
};

// A block that breaks after one hit (codes 1, 2) or two (code 3).
class NormalBlockTask : public Character {
 public:
  NormalBlockTask(int code, int x, int y);
  void Update() override;
};

// A block that holds an enemy: struck by the ball it falls and releases it. Ninja blocks
// (codes 20..39) throw stars at the player while they stand.
class EnemyBlockTask : public Character {
 public:
  EnemyBlockTask(int code, int x, int y);
  void Update() override;
  void Draw() override;

  int32_t blockKind;  // the cell code; 20..29 become 20, 30..39 become 30
  int32_t stopY;      // floor height where a falling block stops
  int32_t period;     // frames of the throwing cycle
  int32_t phase;      // offset of this block in the cycle
  int32_t falling = 0;
  double fallSpeed = 0.0;
};

// Falls from where it was dropped and is taken by touching it.
class ItemTask : public Character {
 public:
  // Centred on (centerX, centerY), with a hop upward and the given sideways speed.
  ItemTask(int centerX, int centerY, int itemKind, double speedX);
  void Update() override;

  int32_t itemKind;
  int32_t collected = 0;  // 1 while a money bag shows its value
  double speedX;
  double speedY;
};

// The puff where an enemy vanished: seven pictures, two frames each.
class DoronSmokeTask : public Character {
 public:
  DoronSmokeTask(int x, int y);
  void Update() override;
};

// An invisible obstacle; its creator moves and ends it.
class OnlyCollisionTask : public Character {
 public:
  OnlyCollisionTask(int x, int y, int width, int height);
};
