#include "game/later_tasks.h"

#include <string>

#include "engine/draw/draw.h"
#include "game/gfx.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"

namespace {

bool StartOrAttackPressed() { return ButtonPressed(Settings.padStart) || ButtonPressed(Settings.padAttack); }

}  // namespace

TitleScreenTask::TitleScreenTask(int* leaveWord, StageRecord* record)
    : Character(-1, 0, 0), leaveWord_(leaveWord), record_(record) {
  hitShape = kHitNone;
  Join(kLayerPlayer);
}

void TitleScreenTask::Update() {
  if (StartOrAttackPressed()) {
    PlaySoundEffect(kSeDecision);
    if (leaveWord_ != nullptr) *leaveWord_ = 0;
    finished = 1;
  }
  ++counter;
}

void TitleScreenTask::Draw() {
  DrawFontText("KESTRUNE", 128, 100);
  if ((counter / 30) % 2 == 0) DrawFontText("PUSH START", 120, 140);
}

StageReadyTask::StageReadyTask(StageRecord* record) : Character(-1, 0, 0), record_(record) {
  hitShape = kHitNone;
  CurrentStage = record->stageNumber;
  if (CurrentStage > ContinueStage && CurrentStage <= kLastStageNumber) ContinueStage = CurrentStage;
  InputEnabled = 0;
  Join(kLayerBullet);
}

void StageReadyTask::Update() {
  if (counter == 0) PlayBGM((std::string("./bgm/") + record_->musicName).c_str(), 1);
  if (counter >= 30) {
    InputEnabled = 1;
    finished = 1;
  }
  ++counter;
}

void StageReadyTask::Draw() { DrawFontText("READY", 100, 116); }

EndRollTask::EndRollTask(StageRecord* record) : Character(-1, 0, 0), record_(record) {
  hitShape = kHitNone;
  Join(kLayerPlayer);
}

void EndRollTask::Update() {
  if (counter == 0) PlayBGM((std::string("./bgm/") + record_->musicName).c_str(), 0);
  if (counter > 0 && StartOrAttackPressed()) SceneRequest = kSceneTitle;
  ++counter;
}

void EndRollTask::Draw() { DrawFontText("THE END", 132, 116); }

NormalBlockTask::NormalBlockTask(int code, int x, int y) : Character(code, x, y) {
  width = 24;
  height = 12;
  hitW = 24;
  hitH = 12;
  srcY = 12 * (code - 1);
  image = BlocksImage;
  life = code;
  Join(kLayerBlock);
}

EnemyBlockTask::EnemyBlockTask(int code, int x, int y) : Character(code, x, y) {
  width = 24;
  height = 12;
  hitW = 24;
  hitH = 12;
  srcX = 24;
  image = BlocksImage;
  Join(kLayerBlock);
}

MasterStandInTask::MasterStandInTask(int code, int x, int y, int enemyImage) : Character(code, x, y) {
  width = 48;
  height = 80;
  hitShape = kHitNone;
  image = GetEnemyImage(enemyImage);
  Join(kLayerEnemy);
}

// Boxes and circles by their bounding boxes; segments never touch.
int CheckHitRect(const Character& a, const Character& b) {
  auto bounds = [](const Character& t, double* l, double* top, double* r, double* bottom) {
    if (t.hitShape == kHitBox) {
      *l = t.x + t.hitX;
      *top = t.y + t.hitY;
      *r = *l + t.hitW;
      *bottom = *top + t.hitH;
      return true;
    }
    if (t.hitShape == kHitCircle) {
      *l = t.x + t.hitX - t.hitW;
      *top = t.y + t.hitY - t.hitW;
      *r = t.x + t.hitX + t.hitW;
      *bottom = t.y + t.hitY + t.hitW;
      return true;
    }
    return false;
  };
  double al, at, ar, ab, bl, bt, br, bb;
  if (!bounds(a, &al, &at, &ar, &ab) || !bounds(b, &bl, &bt, &br, &bb)) return 0;
  return al < br && bl < ar && at < bb && bt < ab ? 1 : 0;
}
