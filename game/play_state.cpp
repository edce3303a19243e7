#include "game/play_state.h"

#include <cstring>

int32_t SceneRequest = kSceneStay;
uint8_t Paused = 0;
uint8_t InputEnabled = 1;

int32_t Score = 0;
int32_t Lives = 2;
int32_t Health = 5;
int32_t PowerGauge = 0;
int32_t ItemGauge = 24;
int32_t MoneyLevel = 1;
double BallSpeed = 2.0;
double BallAngle = 0.0;
int32_t PlayerInvincibleTime = 0;
int32_t PlayerShieldTime = 0;
int32_t PlayerShieldShowTime = 0;
uint8_t ScrollTaken = 0;
int32_t NormalBlockCount = 0;
int32_t EnemyBlockCount = 0;
int32_t BossPhase = 0;
int32_t BossGaugeShown = 0;
int32_t BossGaugeFull = 0;
double BossCenterX = 0.0;
double BossCenterY = 0.0;
char BossNameLine1[10] = "";
char BossNameLine2[10] = "";
double PlayerX = 0.0;
double PlayerY = 0.0;
int32_t PlayerPose = 0;
uint8_t PlayerFlip = 0;
int32_t CurrentStage = 0;
int32_t ContinueStage = 0;

char CurrentTune[kNameSize] = "";
char StageDirectory[kNameSize] = "stages/";
char CurrentStageName[kNameSize] = "";
char TitleImageName[kNameSize] = "";
char EndImageName[kNameSize] = "";

int32_t ScreenSizeApplied = 0;
int32_t OffscreenImage = 0;

void CopyName(char* dst, size_t dstSize, const char* src) {
  if (dstSize == 0) return;
  if (src == nullptr) src = "";
  size_t n = strnlen(src, dstSize - 1);
  std::memmove(dst, src, n);
  dst[n] = '\0';
}

void ResetStageState(bool newGame, bool restoreHealth) {
  BallSpeed = 2.0;
  PlayerInvincibleTime = 0;
  EnemyBlockCount = 0;
  NormalBlockCount = 0;
  ScrollTaken = 0;
  PlayerShieldTime = 0;
  PlayerShieldShowTime = 0;
  BossPhase = 0;
  BossGaugeFull = 0;
  BossGaugeShown = 0;
  if (newGame) {
    Lives = 2;
    PowerGauge = 0;
    Score = 0;
    ItemGauge = 24;
  }
  if (restoreHealth) {
    Health = 5;
    MoneyLevel = 1;
  }
}

void ResetPlayState() {
  SceneRequest = kSceneStay;
  Paused = 0;
  InputEnabled = 1;
  Score = 0;
  Lives = 2;
  Health = 5;
  PowerGauge = 0;
  ItemGauge = 24;
  MoneyLevel = 1;
  BallAngle = 0.0;
  ResetStageState(false, false);
  BossCenterX = BossCenterY = 0.0;
  BossNameLine1[0] = BossNameLine2[0] = '\0';
  PlayerX = PlayerY = 0.0;
  PlayerPose = 0;
  PlayerFlip = 0;
  CurrentStage = 0;
  ContinueStage = 0;
  CurrentTune[0] = '\0';
  CopyName(StageDirectory, "stages/");
  CurrentStageName[0] = '\0';
  TitleImageName[0] = '\0';
  EndImageName[0] = '\0';
  ScreenSizeApplied = 0;
  OffscreenImage = 0;
}
