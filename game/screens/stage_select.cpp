#include "game/screens/stage_select.h"

#include <cstdio>

#include "engine/draw/draw.h"
#include "game/gfx.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"

namespace {

constexpr int kPictureSize = 60;  // one picture per stage in "select.png", five to a row
constexpr int kShade = 160;       // alpha of the black over the title

int ClampStage(int32_t stage) { return stage < 0 ? 0 : stage > kLastStageNumber ? kLastStageNumber : stage; }

}  // namespace

bool StageFileName(int stage, char* out, size_t outSize) {
  if (stage < 0 || stage >= kStageCount || out == nullptr || outSize == 0) return false;
  int world = stage / kStagesPerWorld + 1;
  int inWorld = stage % kStagesPerWorld + 1;
  if (inWorld == kStagesPerWorld) {
    std::snprintf(out, outSize, "boss%d.txt", world);
  } else {
    std::snprintf(out, outSize, "%d-%d.txt", world, inWorld);
  }
  return true;
}

int SwingArrow(int swing, int timer) {
  if (timer % 2 != 0) return swing;
  return (timer / 2) % 6 < 3 ? swing + 1 : swing - 1;
}

StageSelectScreenTask::StageSelectScreenTask(StageRecord* record) : Character(-1, 0, 0), record_(record) {
  // The stage begun last; a number from an odd stage file is brought into the table.
  cursor = ClampStage(CurrentStage);
  for (int n = 0; n < kStageCount; ++n) {
    std::snprintf(labels[n], sizeof labels[n], "%d-%d", n / kStagesPerWorld + 1, n % kStagesPerWorld + 1);
  }
  image = LoadGraph("./common/select.png");
  hitShape = kHitNone;
}

StageSelectScreenTask::~StageSelectScreenTask() {
  if (image > 0) DeleteGraph(image);
}

void StageSelectScreenTask::Update() {
  int range = ClampStage(ContinueStage) + 1;
  if (ButtonPressed(kButtonRight)) {
    cursor = (ClampStage(cursor) + 1) % range;
    PlaySoundEffect(kSeAttack);
  }
  if (ButtonPressed(kButtonLeft)) {
    cursor = (ClampStage(cursor) + range - 1) % range;
    PlaySoundEffect(kSeAttack);
  }
  if (ButtonPressed(Settings.padStart) || ButtonPressed(Settings.padAttack)) {
    if (record_ != nullptr) StageFileName(cursor, record_->nextStageName, sizeof record_->nextStageName);
    PlaySoundEffect(kSeDecision);
    finished = 1;
  }
  arrowSwing = SwingArrow(arrowSwing, counter);
  ++counter;
}

void StageSelectScreenTask::Draw() {
  GfxSetDrawBlendMode(BlendMode::Alpha, kShade);
  GfxDrawBox(0, 0, 320, 240, GetColor(0, 0, 0), 1);
  GfxSetDrawBlendMode(BlendMode::None, 0);
  int n = ClampStage(cursor);
  GfxDrawStretchRectPartGraph(100, 60, 220, 180, (n % kStagesPerWorld) * kPictureSize,
                              (n / kStagesPerWorld) * kPictureSize, kPictureSize, kPictureSize, image, 1);
  DrawFontText(labels[n], 148, 144);
  if (!finished) {
    DrawFontText("<", 128 - arrowSwing, 144);
    DrawFontText(">", 184 + arrowSwing, 144);
  }
}
