// Stand-ins for the task classes that later parts of the game replace: enough for the
// main loops to run a title, a stage and an ending end to end.
#pragma once

#include "game/blocks_items.h"
#include "game/stage.h"
#include "game/stage_scenes.h"
#include "game/task.h"

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
