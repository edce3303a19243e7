// Stand-ins for the task classes that later parts of the game replace: enough for the
// main loops to run a title, a stage and an ending end to end.
#pragma once

#include "game/stage.h"
#include "game/task.h"

// Title: the first stage starts when START/PAUSE or ATTACK is newly pressed.
class TitleScreenTask : public Character {
 public:
  TitleScreenTask(int* leaveWord, StageRecord* record);
  void Update() override;
  void Draw() override;

 private:
  int* leaveWord_;
  StageRecord* record_;
};

// READY: starts the stage's music and hands input back after a short wait.
class StageReadyTask : public Character {
 public:
  explicit StageReadyTask(StageRecord* record);
  void Update() override;
  void Draw() override;

 private:
  StageRecord* record_;
};

// Ending: plays the ending music once; a button asks for the title.
class EndRollTask : public Character {
 public:
  explicit EndRollTask(StageRecord* record);
  void Update() override;
  void Draw() override;

 private:
  StageRecord* record_;
};

class NormalBlockTask : public Character {
 public:
  NormalBlockTask(int code, int x, int y);
};

class EnemyBlockTask : public Character {
 public:
  EnemyBlockTask(int code, int x, int y);
};

// The five masters stand still in the enemy layer.
class MasterStandInTask : public Character {
 public:
  MasterStandInTask(int code, int x, int y, int enemyImage);
};

class ChanoyuMasterTask : public MasterStandInTask {
 public:
  ChanoyuMasterTask(int code, int x, int y) : MasterStandInTask(code, x, y, 4) {}
};
class DokuroMasterTask : public MasterStandInTask {
 public:
  DokuroMasterTask(int code, int x, int y) : MasterStandInTask(code, x, y, 5) {}
};
class IkebanaMasterTask : public MasterStandInTask {
 public:
  IkebanaMasterTask(int code, int x, int y) : MasterStandInTask(code, x, y, 6) {}
};
class OrigamiMasterTask : public MasterStandInTask {
 public:
  OrigamiMasterTask(int code, int x, int y) : MasterStandInTask(code, x, y, 7) {}
};
class ShodoMasterTask : public MasterStandInTask {
 public:
  ShodoMasterTask(int code, int x, int y) : MasterStandInTask(code, x, y, 8) {}
};
