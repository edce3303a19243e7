#include "game/playfield/stage_scenes.h"

#include <cstring>
#include <string>

#include "engine/draw/draw.h"
#include "game/playfield/collision.h"
#include "game/gfx.h"
#include "game/playfield/paddle_ball.h"
#include "game/play_state.h"
#include "game/playfield/player.h"
#include "game/resources.h"
#include "game/settings.h"

namespace {

constexpr int kOpaque = 255;
constexpr int kTextY = 116;

// READY
constexpr int kReadyBlinkTime = 8;
constexpr int kReadyPlayerAt = 40;
constexpr int kReadyFadeStep = 5;
constexpr int kReadyInputBelow = 30;
constexpr int kReadyBallAt = 20;
constexpr int kReadyTextX = 100;

// STAGE CLEAR
constexpr int kClearBlinkTime = 4;
constexpr int kClearFadeFrom = 180;
constexpr int kClearFadeStep = 3;
constexpr int kClearTextUntil = 160;
constexpr int kClearTextX = 68;
constexpr int kBonusStep = 30;
constexpr int32_t kLifeBonus = 100000;

// Retry / GAME OVER
constexpr int kRestartWait = 121;
constexpr int kRestartFadeStep = 5;
constexpr int kLetterTime = 10;
constexpr int kRestartTextX = 84;

void DrawBlackout(int fade) {
  GfxSetDrawBlendMode(BlendMode::Alpha, fade);
  GfxDrawBox(0, 0, 320, 240, GetColor(0, 0, 0), 1);
  GfxSetDrawBlendMode(BlendMode::None, 0);
}

}  // namespace

StageReadyTask::StageReadyTask(StageRecord* record) : Character(-1, 0, 0), record_(record) {
  hitShape = kHitNone;
  CurrentStage = record->stageNumber;
  // Only real stage numbers are kept as the highest reached.
  if (CurrentStage > ContinueStage && CurrentStage <= kLastStageNumber) ContinueStage = CurrentStage;
  InputEnabled = 0;
  Join(kLayerBullet);
}

void StageReadyTask::Update() {
  if (counter % kReadyBlinkTime == 0) ++blink;
  if (counter == 0) PlayBGM((std::string("./bgm/") + record_->musicName).c_str(), 1);
  if (counter == kReadyPlayerAt) CreateTask<PlayerTask>();
  if (counter > kReadyPlayerAt) {
    fade -= kReadyFadeStep;
    if (fade < kReadyInputBelow) InputEnabled = 1;
    if (fade == kReadyBallAt) {
      CreateTask<BallTask>();
      CreateTask<PaddleTask>();
    }
    if (fade < 1) {
      fade = 0;
      finished = 1;
    }
  }
  ++counter;
}

void StageReadyTask::Draw() {
  DrawBlackout(fade);
  if (blink % 2 == 0) DrawFontText("READY", kReadyTextX, kTextY);
}

StageClearTask::StageClearTask(bool bonus) : Character(-1, 0, 0), livesBonus(bonus ? 1 : 0) {
  hitShape = kHitNone;
  Join(kLayerBullet);
}

void StageClearTask::Update() {
  if (fade < kOpaque) {
    if (counter % kClearBlinkTime == 0) ++blink;
    if (counter >= kClearFadeFrom) fade += kClearFadeStep;
  }
  if (fade < kOpaque) {
    ++counter;
    return;
  }
  if (livesBonus) {
    fade = kOpaque;
    InputEnabled = 0;
    if (counter % kBonusStep == 0) {
      if (Lives >= 1) {
        AddScore(kLifeBonus);
        Lives -= 1;
        PlaySoundEffect(kSeMoney2);
      } else if (bonusTail == 0) {
        livesBonus = 0;
      } else {
        bonusTail -= 1;
      }
    }
  }
  ++counter;
  if (!livesBonus && !finished) {
    fade = kOpaque;
    finished = 1;
    SceneRequest = kSceneNextStage;
  }
}

void StageClearTask::Draw() {
  DrawBlackout(fade);
  if (counter < kClearTextUntil && blink % 2 == 0) DrawFontText("STAGE CLEAR!!", kClearTextX, kTextY);
}

StageRestartTask::StageRestartTask() : Character(-1, 0, 0) {
  hitShape = kHitNone;
  InputEnabled = 0;
  Join(kLayerBall);
}

void StageRestartTask::Update() {
  if (counter < kRestartWait) {
    ++counter;
    return;
  }
  const size_t full = std::strlen(message);
  size_t length = std::strlen(shown);
  if (Lives < 1 && counter % kLetterTime == 0 && length < full) {
    shown[length] = message[length];
    shown[length + 1] = '\0';
    ++length;
  }
  fade += kRestartFadeStep;
  if (fade >= kOpaque) {
    fade = kOpaque;
    if (Lives >= 1) {
      finished = 1;
      SceneRequest = kSceneRetry;
    } else if (length == full) {
      InputEnabled = 1;
      if (ButtonPressed(Settings.padStart) || ButtonPressed(Settings.padAttack)) {
        finished = 1;
        SceneRequest = kSceneTitle;
      }
    }
  }
  ++counter;
}

void StageRestartTask::Draw() {
  DrawBlackout(fade);
  if (shown[0] != '\0') DrawFontText(shown, kRestartTextX, kTextY);
}
