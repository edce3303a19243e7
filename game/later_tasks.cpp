#include "game/later_tasks.h"

#include <string>

#include "engine/draw/draw.h"
#include "game/gfx.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"

MasterStandInTask::MasterStandInTask(int code, int x, int y, int enemyImage) : Character(code, x, y) {
  width = 48;
  height = 80;
  hitShape = kHitNone;
  image = GetEnemyImage(enemyImage);
  Join(kLayerEnemy);
}
