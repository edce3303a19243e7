// The skull master, the boss of cell code 55, in its two forms: the first form with its
// false figures, skull rain, large stars and the weapon icons that borrow the other
// masters' weapons; and the final form, a fast ninja whose defeat clears the stage.
#pragma once

#include <cstdint>

#include "game/task.h"

class DokuroMasterTask : public Character {
 public:
  DokuroMasterTask(int x, int y);
  // As the stage set-up makes it: the cell code is the kind.
  DokuroMasterTask(int code, int x, int y);
  void Update() override;
  void Draw() override;

  int32_t brightness;
  uint8_t ghosts = 0;
  double ghostX1, ghostX2;  // ghostX1 holds the left one
  int32_t choice = 0, lastChoice = 0;
  int32_t weaponSignal = 0;  // read by the icons: 0 spread out, 1 draw in, 2 go to your slot
  double targetX = 0.0;
  uint8_t reduced = 0;
  int32_t darkness = 0;
  uint8_t shown = 1;
  int32_t waitPeriod, rainPeriod;

 private:
  void ThrowBigStar();
  void RainSkulls();
  void EndUpdate();
};

// A falling skull: drifts to its column while it grows, then falls.
class DokuroBulletTask : public Character {
 public:
  DokuroBulletTask(int x, int y, double targetX);
  void Update() override;
  void Draw() override;

  double scale = 0.5;
  double startX, targetX;
};

// A large throwing star: flies to the floor, waits, then flies at the player.
class BigShurikinTask : public Character {
 public:
  BigShurikinTask(int x, int y);
  void Update() override;
  void Draw() override;

  double vx = 0.0, vy = 0.0;
  double spin = 0.0;
  double scale = 0.5;
};

// One of the four icons that orbit the master and turn into another master's weapon.
class DokuroWeaponsTask : public Character {
 public:
  // kind: the icon's source x (0 kettle, 32 origami, 64 brush cannon, 96 flower).
  DokuroWeaponsTask(int x, int y, int kind, double angle, DokuroMasterTask* master, int slot);
  void Update() override;

  TaskRef<DokuroMasterTask> master;
  double radius = 0.0;
  double angle;
  double slotX;
  double startX = 0.0;
  int32_t travel = 0;  // updates since the signal to go to the slot

 private:
  void BecomeWeapon();
};

class DokuroMasterFinalTask : public Character {
 public:
  DokuroMasterFinalTask(int x, int y);
  void Update() override;
  void Draw() override;

  double imageX1, imageX2;
  uint8_t entryImages = 1;
  uint8_t shown = 0;
  int32_t veil = 255;
  int32_t brightness = 32;
  uint8_t dashing = 0;
  int32_t delay = 0;
  int32_t whiteness = 0;
  int32_t fade = 255;
  double vx = 0.0, vy = 0.0;

 private:
  void TakeHit();
  void FacePlayer();
  void Choose();
  void Land();
};

class DokuroDashAfterimageTask : public Character {
 public:
  DokuroDashAfterimageTask(int x, int y, double speed);
  void Update() override;
  void Draw() override;

  int32_t opacity = 255;
  double speed;
};
