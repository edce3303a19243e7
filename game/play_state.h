// The play state: global values shared by every task of the game.
#pragma once

#include <cstddef>
#include <cstdint>

// Texts of the play state are 64 bytes, zero-terminated (63 characters at most).
constexpr size_t kNameSize = 64;

// What the game loop does next.
enum SceneRequestCode : int32_t {
  kSceneStay = 0,
  kSceneTitle = 1,
  kSceneRetry = 2,
  kSceneNextStage = 4,
};

extern int32_t SceneRequest;
extern uint8_t Paused;
extern uint8_t InputEnabled;

extern int32_t Score;
extern int32_t Lives;
extern int32_t Health;
extern int32_t PowerGauge;
extern int32_t ItemGauge;
extern int32_t MoneyLevel;
extern double BallSpeed;
extern double BallAngle;  // radians from straight up, positive to the right
extern int32_t PlayerInvincibleTime;
extern int32_t PlayerShieldTime;
extern int32_t PlayerShieldShowTime;
extern uint8_t ScrollTaken;
extern int32_t NormalBlockCount;
extern int32_t EnemyBlockCount;
extern int32_t BossPhase;
extern int32_t BossGaugeShown;
extern int32_t BossGaugeFull;
extern double BossCenterX;
extern double BossCenterY;
extern char BossNameLine1[10];
extern char BossNameLine2[10];
extern double PlayerX;
extern double PlayerY;
extern int32_t PlayerPose;
extern uint8_t PlayerFlip;
extern int32_t CurrentStage;
extern int32_t ContinueStage;  // kept in "setting.dat"

extern char CurrentTune[kNameSize];
extern char StageDirectory[kNameSize];
extern char CurrentStageName[kNameSize];
extern char TitleImageName[kNameSize];
extern char EndImageName[kNameSize];

extern int32_t ScreenSizeApplied;
extern int32_t OffscreenImage;  // 0 until made

// Copies text into a fixed text of the play state, cut to fit and zero-terminated.
void CopyName(char* dst, size_t dstSize, const char* src);
template <size_t N>
inline void CopyName(char (&dst)[N], const char* src) {
  CopyName(dst, N, src);
}

// Every value back to its value at program start.
void ResetPlayState();

// Stage-start reset of the play state; newGame and restoreHealth as the scene request asks.
void ResetStageState(bool newGame, bool restoreHealth);
