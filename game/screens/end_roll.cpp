#include "game/screens/end_roll.h"

#include <string>

#include "engine/draw/draw.h"
#include "game/gfx.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"

namespace {

constexpr double kStartY = -32.0;
constexpr double kScrollStep = 0.13;  // pixels a frame
constexpr int kFadeStep = 2;

}  // namespace

EndRollTask::EndRollTask(StageRecord* record) : Character(-1, 0, 0), record_(record) {
  y = kStartY;
  image = LoadGameImage(EndImageName);
  if (image <= 0 || GetGraphSize(image, &width, &height) != 0) width = height = 0;
  hitShape = kHitNone;
  Join(kLayerPlayer);
}

EndRollTask::~EndRollTask() {
  if (image > 0) DeleteGraph(image);
}

void EndRollTask::Update() {
  switch (state) {
    case kFadeIn:
      if (counter == 0 && record_ != nullptr) PlayBGM((std::string("./bgm/") + record_->musicName).c_str(), 0);
      fade -= kFadeStep;
      if (fade <= 0) {
        fade = 0;
        state = kScrolling;
      }
      break;
    case kScrolling:
      y -= kScrollStep;
      if (y + height <= 240) {
        y = 240 - height;
        counter = 0;
        state = kWaiting;
      }
      break;
    case kWaiting:
      if (ButtonPressed(Settings.padStart) || ButtonPressed(Settings.padAttack)) {
        counter = 0;
        state = kFadeOut;
      }
      break;
    case kFadeOut:
      if (fade < 255) fade += kFadeStep;
      if (fade >= 255) {
        fade = 255;
        SceneRequest = kSceneTitle;
      }
      break;
    default:
      break;
  }
  ++counter;
}

void EndRollTask::Draw() {
  GfxDrawRectPartGraph(static_cast<int>(x), static_cast<int>(y), 0, 0, width, height, image, 1, 0);
  unsigned int black = GetColor(0, 0, 0);
  GfxDrawBox(0, 0, 320, 32, black, 1);
  GfxDrawBox(0, 208, 320, 240, black, 1);
  GfxSetDrawBlendMode(BlendMode::Alpha, fade);
  GfxDrawBox(0, 0, 320, 240, black, 1);
  GfxSetDrawBlendMode(BlendMode::None, 0);
}
