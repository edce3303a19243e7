// The calligraphy master (cell code 54): it throws its two brushes as boomerangs, makes
// them fire ink while they hover beside it, and from half health on writes sheets that
// turn into fire, thunder or ice (shodo_weapons.h).
#pragma once

#include <cstdint>

#include "game/task.h"

class FudeCannonTask;

class ShodoMasterTask : public Character {
 public:
  ShodoMasterTask(int code, int x, int y);
  void Update() override;
  void Draw() override;

  int32_t leftFrame = 0, rightFrame = 40;  // source x of the two 40-pixel halves
  int32_t brightness;
  int32_t dyingFade;
  double homeY;
  int32_t throwCount = 0;
  int32_t sheetPhase = 0;  // read by the sheet: 1 writing, 2 written, 5 released
  int32_t fade = 255;      // while it vanishes and reappears
  int32_t thunderStreak = 2;
  TaskRef<FudeCannonTask> leftBrush, rightBrush;

 private:
  void UpdateWaiting();
  void UpdateWalking();
  void UpdateBarrage();
  void UpdateWriting();
  void UpdateDying();
  void FireBrushes();
  void PickSheet();
  void MoveAway();
};

// A brush hovering beside its master (or, timed, beside the skull master) that aims at
// the player and fires ink drops. work[0] spin, work[1] horizontal speed, work[3] the
// signed angle to the player.
class FudeCannonTask : public Character {
 public:
  FudeCannonTask(int x, int y, double startSpeed, bool timed);
  void Update() override;
  void Draw() override;

  uint8_t direction;
  double angle;
  double muzzleX = 0.0, muzzleY = 0.0;
  uint8_t timed;
  uint8_t fireNow = 0;
  double offsetX = 0.0;  // from BossCenterX
  uint8_t retired = 0;   // hidden for good from half health on

 private:
  void Aim();
  bool FireDue() const;
};

// A brush in flight: out toward the floor, then back to its place beside the master,
// where it shows the brush it stands for again. work[0], work[1] velocity, work[2] spin.
class FudeBoomerangTask : public Character {
 public:
  FudeBoomerangTask(int x, int y, FudeCannonTask* brush, double offsetX, double offsetY);
  void Update() override;
  void Draw() override;

  double angle = 0.0;
  double offsetX, offsetY;  // home point from BossCenterX, BossCenterY
  TaskRef<FudeCannonTask> brush;
  double fromX = 0.0, fromY = 0.0;
};

// The sheet being written below the master; it follows the master's sheet phase (read
// as 0 once the master is gone) and turns into its attack when released.
class ShodoPaperTask : public Character {
 public:
  ShodoPaperTask(int x, int y, int sheetRow, ShodoMasterTask* master);
  void Update() override;
  void Draw() override;

  double scale = 2.0;
  double angle = 0.0;
  TaskRef<ShodoMasterTask> master;
  int32_t sheetRow;  // 48 ice, 96 thunder, 144 fire
  int32_t unroll = 0;
  uint8_t written = 0;
};
