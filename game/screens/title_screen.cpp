#include "game/screens/title_screen.h"

#include "engine/draw/draw.h"
#include "game/gfx.h"
#include "game/screens/option_screen.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"
#include "game/screens/stage_select.h"

namespace {

constexpr int kRestFrames = 300;  // at the top of the image before it scrolls
constexpr int kHeldFrames = 600;  // at the bottom before it starts again
constexpr double kScrollStep = 0.13;  // pixels a frame
constexpr int kFadeStep = 5;

const char* const kChoiceTexts[3] = {"GAME START", "CONTINUE", "OPTIONS"};
const int kChoiceX[3] = {120, 128, 132};

}  // namespace

TitleScreenTask::TitleScreenTask(int* leaveWord, StageRecord* record)
    : Character(-1, 0, 0), leaveWord_(leaveWord), record_(record) {
  LoadTitleImage();
  hitShape = kHitNone;
  Join(kLayerPlayer);
}

TitleScreenTask::~TitleScreenTask() {
  if (image > 0) DeleteGraph(image);
}

void TitleScreenTask::LoadTitleImage() {
  image = LoadGameImage(TitleImageName);
  width = 0;
  height = 0;
  if (image > 0 && GetGraphSize(image, &width, &height) != 0) width = height = 0;
}

void TitleScreenTask::Update() {
  if (option_) {
    option_->Update();
    if (option_->finished) option_.reset();
    return;
  }
  switch (state) {
    case kAtRest:
      if (counter == 0) {
        if (image > 0) DeleteGraph(image);
        LoadTitleImage();
      }
      if (counter > kRestFrames) state = kScrolling;
      break;
    case kScrolling:
      y -= kScrollStep;
      if (y + height <= 240) {
        y = 240 - height;
        counter = 0;
        state = kHeld;
      }
      break;
    case kHeld:
      if (counter > kHeldFrames) {
        y = 0;
        state = kAtRest;
      }
      break;
    case kContinue:
      if (!select_) select_.reset(new StageSelectScreenTask(record_));
      break;
    case kGameStart:
      fade += kFadeStep;
      if (fade >= 255) {
        fade = 255;
        if (leaveWord_ != nullptr) *leaveWord_ = 0;
        finished = 1;
      }
      break;
    case kOptions:
      fade += kFadeStep;
      if (fade >= 255) {
        option_.reset(new OptionScreenTask());
        fade = 0;
        counter = -1;
        y = 0;
        state = kAtRest;
      }
      break;
    default:
      break;
  }
  // The frame that opens the option screen leaves the menu alone.
  if (!option_ && (state == kAtRest || state == kScrolling || state == kHeld)) {
    if (ButtonPressed(kButtonRight)) {
      cursor = (cursor + 1) % 3;
      PlaySoundEffect(kSeAttack);
    }
    if (ButtonPressed(kButtonLeft)) {
      cursor = (cursor + 2) % 3;
      PlaySoundEffect(kSeAttack);
    }
    if (ButtonPressed(Settings.padStart) || ButtonPressed(Settings.padAttack)) {
      PlaySoundEffect(kSeDecision);
      state = cursor == kChoiceGameStart ? kGameStart : cursor == kChoiceContinue ? kContinue : kOptions;
    }
  }
  arrowSwing = SwingArrow(arrowSwing, counter);
  ++counter;
  // The choice is final: a stage select that has chosen takes no more input.
  if (select_ && !select_->finished) {
    select_->Update();
    if (select_->finished) state = kGameStart;
  }
}

void TitleScreenTask::Draw() {
  if (option_) {
    option_->Draw();
    return;
  }
  GfxDrawRectPartGraph(static_cast<int>(x), static_cast<int>(y), 0, 0, width, height, image, 1, 0);
  unsigned int black = GetColor(0, 0, 0);
  GfxDrawBox(0, 0, 320, 32, black, 1);
  if (Settings.difficulty == 0) {
    DrawFontText("EASY HI-SCORE", 72, 12);
    DrawNumber(Settings.easyHiScore, 8, 184, 12);
  } else {
    DrawFontText("NORMAL HI-SCORE", 56, 12);
    DrawNumber(Settings.normalHiScore, 8, 184, 12);
  }
  GfxDrawBox(0, 208, 320, 240, black, 1);
  int choice = cursor >= 0 && cursor < 3 ? cursor : 0;
  DrawFontText(kChoiceTexts[choice], kChoiceX[choice], 220);
  if (!select_ && fade == 0) {
    DrawFontText("<", 96 - arrowSwing, 220);
    DrawFontText(">", 216 + arrowSwing, 220);
  }
  if (select_) select_->Draw();
  GfxSetDrawBlendMode(BlendMode::Alpha, fade);
  GfxDrawBox(0, 0, 320, 240, black, 1);
  GfxSetDrawBlendMode(BlendMode::None, 0);
}
