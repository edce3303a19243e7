#include "game/masters/shodo_master.h"

#include <algorithm>
#include <cmath>

#include "engine/draw/memimg.h"
#include "engine/system/system.h"
#include "game/playfield/blocks_items.h"
#include "game/playfield/collision.h"
#include "game/gfx.h"
#include "game/masters/master_common.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"
#include "game/masters/shodo_weapons.h"
#include "game/masters/tea_master.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;

constexpr int kMasterKind = -4;
constexpr int kWeaponKind = -3;
constexpr int kMasterImage = 7;
constexpr int kSheetImage = 8;
constexpr int kWallLeft = 12, kWallRight = 228;
constexpr int kSmokeHalf = 16;

// Master: two 40-pixel halves of an 80 x 80 body.
constexpr int kBodySize = 80, kHalf = 40;
constexpr int kLife = 640, kHalfLife = 320, kScore = 20000;
constexpr int kHomeRise = 4;
constexpr int kHitX = 20, kHitY = 26, kHitW = 40, kHitH = 46, kWritingHitH = 38;
constexpr int kWritingRow = 80, kWritingDrop = 8;
constexpr int kRestLeft = 0, kRestRight = 40;
constexpr int kHoldLeft = 80, kHoldRight = 120;
constexpr int kRaiseLeft = 160, kRaiseRight = 200;
constexpr int kThrowLeft = 240, kThrowRight = 280;

enum MasterState : int { kWaiting = 0, kWaking = 1, kWalking = 2, kBarrage = 3, kWriting = 4, kReappearing = 5,
                         kDying = 6 };

// Waiting: brushes out at 140, then ink bursts.
constexpr int kBrushesOutAt = 140;
constexpr int kBrushDrop = 48;
constexpr double kBrushOutSpeed = 4.0;
constexpr int kWaitBurstPeriod[2] = {260, 180};  // EASY, NORMAL
constexpr int kBurstShots[3] = {60, 70, 80};

// Walking and throwing.
constexpr double kWalkSpeed = 1.0;
constexpr int kWalkMargin = 8;
constexpr int kWalkFirePeriod[2] = {60, 40};
constexpr int kThrowCycle = 160, kThrowsPerPhase = 3;
constexpr int kRaiseAt = 4, kThrowAt = 20, kRestAt = 32;
constexpr int kBoomerangLeftX = 32, kBoomerangRightX = 48, kBoomerangY = 56;

// Ink barrage.
constexpr int kBarrageFrom = 10, kBarrageTo = 120, kBarragePeriod = 10, kBarrageEnd = 160;

// Writing a sheet.
constexpr int kSheetAt = 40, kWriteFrom = 70, kWriteTo = 110, kReleaseAt = 140, kVanishFrom = 144;
constexpr int kWriteFrameTime = 6;
constexpr int kSheetDrop = 94;
constexpr int kFadeStep = 10;
constexpr int kThunderStreakLimit = 2;
constexpr int kPhaseWriting = 1, kPhaseWritten = 2, kPhaseReleased = 5;
constexpr int kMoveTries = 64;

// Dying.
constexpr int kShowerLow = 16;

// Brush strips of the body sheet.
constexpr int kStripThrowLeftSrcX = 200, kStripThrowRightSrcX = 192, kStripThrowSrcY = 96;
constexpr int kHeldLeftSrcX = 176, kHeldRightSrcX = 184, kHeldSrcY = 80;
constexpr int kRaisedSrcX = 192, kRaisedLeftSrcY = 80, kRaisedRightSrcY = 88;
constexpr int kAfterImages[6] = {3, 2, 1, -1, -2, -3};

// Brush (cannon and boomerang): 8 x 32 at (168, 80).
constexpr int kBrushW = 8, kBrushH = 32, kBrushSrcX = 168, kBrushSrcY = 80;
constexpr double kBrushSpin = kPi / 8;
constexpr double kSpinSlowing = 0.935, kSpeedSlowing = 0.92, kStopSpeed = 0.05;
constexpr double kMuzzleLength = 12.0;
constexpr double kInkSpeed = 2.0;
constexpr int kTimedLife = 580;
constexpr int kTimedPeriod[2] = {300, 150};
constexpr int kTimedShots[2][3] = {{210, 220, 230}, {60, 70, 80}};

constexpr double kBoomerangSpeed = 5.0, kBoomerangAimY = 200.0, kBoomerangBrakeY = 152.0;
constexpr double kBoomerangSlowing = 0.92, kBoomerangStop = 0.1;
constexpr double kBoomerangSpin = 30 * kDegree;
constexpr double kReturnSpinSlowing = 0.91;
constexpr double kReturnAngle = 2.5307274153917776;  // 145 degrees
constexpr int kBoomerangRadius = 11, kBoomerangPause = 24, kReturnFrames = 40;
constexpr int kTrailAlphaStep = 24;

// Sheet: 64 x 48, written rows from the enemy sheet 8.
constexpr int kSheetW = 64, kSheetH = 48, kUnrollMax = 24, kUnrollShow = 24;
constexpr int kSheetFrameStep = 64, kSheetLastFrame = 256;
constexpr double kSheetShrink = 0.1;
constexpr double kSheetTurn = kPi / 4, kSheetTurned = 1.3744467859455345;
constexpr int kFireRow = 144, kThunderRow = 96, kIceRow = 48;
constexpr int kFireRise = 24;

int Level() { return Settings.difficulty == 0 ? 0 : 1; }

// An angle folded into -pi..pi.
double WrapAngle(double a) {
  if (!std::isfinite(a)) return 0.0;
  a = std::fmod(a, 2 * kPi);
  if (a > kPi) a -= 2 * kPi;
  if (a < -kPi) a += 2 * kPi;
  return a;
}

bool IsBurstFrame(int t) { return t == kBurstShots[0] || t == kBurstShots[1] || t == kBurstShots[2]; }

void SmokeAt(double x, double y) { CreateTask<DoronSmokeTask>(PixelOf(x) - kSmokeHalf, PixelOf(y) - kSmokeHalf); }

}  // namespace

ShodoMasterTask::ShodoMasterTask(int /*code*/, int x, int y)
    : Character(kMasterKind, x - kBodySize / 2, y - kHomeRise),
      brightness(kMasterStartBrightness),
      dyingFade(kMasterStartFade),
      homeY(y - kHomeRise) {
  image = GetEnemyImage(kMasterImage);
  width = kBodySize;
  height = kBodySize;
  srcX = 0;
  srcY = 0;
  hitX = kHitX;
  hitY = kHitY;
  hitW = kHitW;
  hitH = kHitH;
  hitShape = kHitNone;
  life = kLife;
  score = kScore;
  SetBossNames("SHODO   ", "  MASTER");
  BossPhase = kBossWaiting;
  Join(kLayerEnemy);
}

void ShodoMasterTask::FireBrushes() {
  if (FudeCannonTask* b = leftBrush.get()) b->fireNow = 1;
  if (FudeCannonTask* b = rightBrush.get()) b->fireNow = 1;
}

void ShodoMasterTask::Update() {
  int& state = hitMask;
  MasterTakeHit(*this);
  if (life <= 0 && state < kDying) {
    MasterStartDeath();
    srcY = 0;
    leftFrame = kRestLeft;
    rightFrame = kRestRight;
    fade = kMasterStartFade;
    counter = 0;
    state = kDying;
  }
  if ((state == kWalking || state == kBarrage) && life <= kHalfLife) {
    counter = 0;
    leftFrame = kRestLeft;
    rightFrame = kRestRight;
    state = kWriting;
  }
  switch (state) {
    case kWaiting:
      UpdateWaiting();
      break;
    case kWaking:
      if (MasterWakingStep(*this, brightness)) {
        counter = 0;
        state = kWalking;
        work[0] = x + width / 2 <= PlayerX + 16 ? -kWalkSpeed : kWalkSpeed;
      }
      break;
    case kWalking:
      UpdateWalking();
      break;
    case kBarrage:
      UpdateBarrage();
      break;
    case kWriting:
      UpdateWriting();
      break;
    case kReappearing:
      fade += kFadeStep;
      if (fade >= kMasterStartFade) {
        fade = kMasterStartFade;
        hitShape = kHitBox;
        counter = 0;
        state = kWriting;
      }
      break;
    case kDying:
      UpdateDying();
      break;
    default:
      break;
  }
  if (srcY == 0) {
    hitH = kHitH;
    y = homeY;
  } else {
    hitH = kWritingHitH;
    y = homeY + kWritingDrop;
  }
  EndMasterUpdate(*this);
}

void ShodoMasterTask::UpdateWaiting() {
  int& state = hitMask;
  if (counter == kBrushesOutAt) {
    int bx = PixelOf(x) + width / 2, by = PixelOf(homeY) + kBrushDrop;
    if (!leftBrush) leftBrush.reset(CreateTask<FudeCannonTask>(bx, by, -kBrushOutSpeed, false));
    if (!rightBrush) rightBrush.reset(CreateTask<FudeCannonTask>(bx, by, kBrushOutSpeed, false));
    PlaySoundEffect(kSeGetout);
  }
  if (counter > kBrushesOutAt && IsBurstFrame(counter % kWaitBurstPeriod[Level()])) FireBrushes();
  if (ScrollTaken) {
    MasterWake(*this);
    counter = 0;
    state = kWaking;
    PlayBGM("./bgm/boss2.pttune", 1);
  }
}

void ShodoMasterTask::UpdateWalking() {
  int& state = hitMask;
  double& speed = work[0];
  if (counter % 2 == 0) {
    x += speed;
    // Turned by the side it is at, so a master standing past a wall walks back out.
    if (x - kWalkMargin <= kWallLeft && speed < 0.0) speed = -speed;
    if (x + width + kWalkMargin >= kWallRight && speed > 0.0) speed = -speed;
  }
  if (counter % kWalkFirePeriod[Level()] == 0) FireBrushes();
  if (counter < kThrowCycle) return;
  const int t = counter % kThrowCycle;
  if (t == 0) {
    if (throwCount >= kThrowsPerPhase) {
      counter = 0;
      throwCount = 0;
      state = kBarrage;
      return;
    }
    if (GetRandRange(1) == 0) {
      leftFrame = kHoldLeft;
      if (FudeCannonTask* b = leftBrush.get()) b->visible = 0;
    } else {
      rightFrame = kHoldRight;
      if (FudeCannonTask* b = rightBrush.get()) b->visible = 0;
    }
  } else if (t == kRaiseAt) {
    if (leftFrame == kHoldLeft) leftFrame = kRaiseLeft;
    if (rightFrame == kHoldRight) rightFrame = kRaiseRight;
  } else if (t == kThrowAt) {
    bool thrown = false;
    const double offsetY = homeY + kBrushDrop - BossCenterY;
    if (leftFrame == kRaiseLeft) {
      leftFrame = kThrowLeft;
      thrown = true;
      if (FudeCannonTask* b = leftBrush.get()) {
        CreateTask<FudeBoomerangTask>(PixelOf(x) + kBoomerangLeftX, PixelOf(y) + kBoomerangY, b, b->offsetX, offsetY);
      }
    }
    if (rightFrame == kRaiseRight) {
      rightFrame = kThrowRight;
      thrown = true;
      if (FudeCannonTask* b = rightBrush.get()) {
        CreateTask<FudeBoomerangTask>(PixelOf(x) + kBoomerangRightX, PixelOf(y) + kBoomerangY, b, b->offsetX,
                                      offsetY);
      }
    }
    if (thrown) {
      PlaySoundEffect(kSeRolling);
      ++throwCount;
    }
  } else if (t == kRestAt) {
    leftFrame = kRestLeft;
    rightFrame = kRestRight;
  }
}

void ShodoMasterTask::UpdateBarrage() {
  if (counter >= kBarrageFrom && counter <= kBarrageTo && counter % kBarragePeriod == 0) FireBrushes();
  if (counter >= kBarrageEnd) {
    counter = 0;
    hitMask = kWalking;
  }
}

void ShodoMasterTask::PickSheet() {
  int r = GetRandRange(2);
  if (r == 1) {
    thunderStreak = 0;
  } else if (thunderStreak >= kThunderStreakLimit) {
    r = 1;
    thunderStreak = 0;
  } else {
    ++thunderStreak;
  }
  const int row = (3 * r + 3) * 16;  // 48 ice, 96 thunder, 144 fire
  CreateTask<ShodoPaperTask>(PixelOf(x) + width / 2, PixelOf(y) + kSheetDrop, row, this);
  PlaySoundEffect(kSeGetout);
}

void ShodoMasterTask::MoveAway() {
  const int span = 216 - width;
  const double lo = x - width / 2, hi = x + width / 2;
  for (int i = 0; i < kMoveTries; ++i) {
    double nx = kWallLeft + GetRandRange(span);
    if (nx < lo || nx > hi) {
      x = nx;
      return;
    }
  }
  // The far end of the floor is always far enough.
  x = x - kWallLeft > kWallLeft + span - x ? kWallLeft : kWallLeft + span;
}

void ShodoMasterTask::UpdateWriting() {
  if (counter == kSheetAt) PickSheet();
  if (counter >= kWriteFrom && counter < kWriteTo) {
    srcY = kWritingRow;
    if (counter == kWriteFrom) sheetPhase = kPhaseWriting;
    bool second = (counter - kWriteFrom) / kWriteFrameTime % 2 == 1;
    leftFrame = second ? kHoldLeft : kRestLeft;
    rightFrame = second ? kHoldRight : kRestRight;
  } else if (counter == kWriteTo) {
    srcY = 0;
    leftFrame = kRestLeft;
    rightFrame = kRestRight;
    sheetPhase = kPhaseWritten;
  } else if (counter == kReleaseAt) {
    sheetPhase = kPhaseReleased;
  }
  if (counter < kVanishFrom) return;
  hitShape = kHitNone;
  fade -= kFadeStep;
  if (fade < 1) {
    sheetPhase = 0;
    fade = 0;
    counter = 0;
    hitMask = kReappearing;
    MoveAway();
  }
}

void ShodoMasterTask::UpdateDying() {
  MasterDyingStep(*this, dyingFade, {0, width, 0, height - kShowerLow});
}

void ShodoMasterTask::Draw() {
  const int px = PixelOf(x), py = PixelOf(y);
  GfxSetDrawBrightness(brightness, brightness, brightness);
  if (life < 1) {
    GfxSetDrawBlendMode(BlendMode::Alpha, dyingFade);
  } else if (fade < kMasterStartFade) {
    GfxSetDrawBlendMode(BlendMode::Alpha, fade);
  } else if (flashTimer > 0) {
    GfxSetDrawBlendMode(BlendMode::InvertedAlpha, 128);
  }
  GfxDrawRectPartGraph(px, py, leftFrame, srcY, kHalf, height, image, 1, flip);
  GfxDrawRectPartGraph(px + kHalf, py, rightFrame, srcY, kHalf, height, image, 1, flip);
  if (fade < kMasterStartFade && life > 0) {
    for (int k : kAfterImages) {
      GfxDrawRectPartGraph(px + (kMasterStartFade - fade) * k / 6, py, 0, 0, width, height, image, 1, flip);
    }
  }
  if (srcY == 0) {
    // The brush trailing from the throwing hand.
    if (leftFrame == kThrowLeft) {
      GfxDrawRectPartGraph(px + 28, py + 48, kStripThrowLeftSrcX, kStripThrowSrcY, 8, 16, image, 1, 0);
    }
    if (rightFrame == kThrowRight) {
      GfxDrawRectPartGraph(px + 44, py + 48, kStripThrowRightSrcX, kStripThrowSrcY, 8, 16, image, 1, 0);
    }
  }
  EndMasterDraw();
  if (srcY != 0) return;
  // Held brushes, at full brightness.
  if (leftFrame == kHoldLeft) GfxDrawRectPartGraph(px, py + 36, kHeldLeftSrcX, kHeldSrcY, 8, 32, image, 1, 0);
  if (rightFrame == kHoldRight) {
    GfxDrawRectPartGraph(px + width - 8, py + 36, kHeldRightSrcX, kHeldSrcY, 8, 32, image, 1, 0);
  }
  if (leftFrame == kRaiseLeft) GfxDrawRectPartGraph(px + 4, py + 16, kRaisedSrcX, kRaisedLeftSrcY, 32, 8, image, 1, 0);
  if (rightFrame == kRaiseRight) {
    GfxDrawRectPartGraph(px + 44, py + 16, kRaisedSrcX, kRaisedRightSrcY, 32, 8, image, 1, 0);
  }
}

FudeCannonTask::FudeCannonTask(int x, int y, double startSpeed, bool timedBrush)
    : Character(kWeaponKind, x, y),
      direction(startSpeed > 0.0 ? 1 : 0),
      angle(timedBrush ? kPi : (startSpeed > 0.0 ? 5 * kPi / 4 : -5 * kPi / 4)),
      timed(timedBrush ? 1 : 0) {
  image = GetEnemyImage(kMasterImage);
  width = kBrushW;
  height = kBrushH;
  srcX = kBrushSrcX;
  srcY = kBrushSrcY;
  hitShape = kHitNone;
  work[0] = kBrushSpin;
  work[1] = startSpeed;
  Join(kLayerBlock);
}

bool FudeCannonTask::FireDue() const {
  const int t = counter % kTimedPeriod[Level()];
  const int* shots = kTimedShots[Level()];
  return t == shots[0] || t == shots[1] || t == shots[2];
}

void FudeCannonTask::Aim() {
  Point2 m = RotatePoint(x, y - kMuzzleLength, x, y, angle);
  muzzleX = m.x;
  muzzleY = m.y;
  double a = AngleBetween(m.x - x, m.y - y, PlayerX + 16 - x, PlayerY + 16 - y);
  if (a == kNoAngle) return;
  work[3] = a;
  angle += a > 0.0 ? std::min(kDegree, a) : std::max(-kDegree, a);
}

void FudeCannonTask::Update() {
  int& state = hitMask;
  double& spin = work[0];
  double& speed = work[1];
  if (timed) {
    if (BossGaugeFull < 1 || counter >= kTimedLife) {
      if (visible) {
        SmokeAt(x, y);
        PlaySoundEffect(kSeDefeat);
      }
      finished = 1;
      return;
    }
  } else if (!retired && BossGaugeFull <= kHalfLife) {
    if (visible) {
      SmokeAt(x, y);
      PlaySoundEffect(kSeDefeat);
    }
    visible = 0;
    retired = 1;
  }
  if (retired) {
    fireNow = 0;
    ++counter;
    return;
  }
  if (state == 0) {
    if (std::abs(speed) > kStopSpeed) {
      speed *= kSpeedSlowing;
      spin *= kSpinSlowing;
      x += speed;
      angle += direction ? spin : -spin;
    } else {
      speed = 0.0;
      spin = 0.0;
      state = 1;
      TaskPool_SetLayer(this, kLayerBossPart);
      offsetX = x - BossCenterX;
    }
  } else if (state == 1) {
    if (!visible) {
      angle = kPi;
      fireNow = 0;
    } else {
      Aim();
    }
    x = BossCenterX + offsetX;
  }
  angle = WrapAngle(angle);
  if ((fireNow && visible) || (timed && FireDue())) {
    Point2 m = RotatePoint(x, y - kMuzzleLength, x, y, angle);
    muzzleX = m.x;
    muzzleY = m.y;
    CreateTask<TeaBulletTask>(PixelOf(muzzleX + 1), PixelOf(muzzleY), angle, kInkSpeed);
    PlaySoundEffect(kSeInk);
    fireNow = 0;
  }
  hitCode = 0;
  ++counter;
}

void FudeCannonTask::Draw() {
  GfxDrawRectRotateGraph(PixelOf(x), PixelOf(y), srcX, srcY, width, height, 1.0, angle, image, 1, flip);
}

FudeBoomerangTask::FudeBoomerangTask(int x, int y, FudeCannonTask* brushTask, double homeOffsetX, double homeOffsetY)
    : Character(kWeaponKind, x, y), offsetX(homeOffsetX), offsetY(homeOffsetY), brush(brushTask) {
  image = GetEnemyImage(kMasterImage);
  width = kBrushW;
  height = kBrushH;
  srcX = kBrushSrcX;
  srcY = kBrushSrcY;
  hitShape = kHitCircle;
  hitX = 0;
  hitY = 0;
  hitW = kBoomerangRadius;
  Point2 v = VectorToward(x, y, PlayerX + 16, kBoomerangAimY, kBoomerangSpeed);
  work[0] = v.x;
  work[1] = v.y;
  work[2] = kBoomerangSpin;
  Join(kLayerBossPart);
}

void FudeBoomerangTask::Update() {
  int& state = hitMask;
  double& vx = work[0];
  double& vy = work[1];
  double& spin = work[2];
  if (BossGaugeFull <= kHalfLife) {
    SmokeAt(x, y);
    PlaySoundEffect(kSeDefeat);
    finished = 1;
    return;
  }
  switch (state) {
    case 0:
      if (y > kBoomerangBrakeY) {
        vx *= kBoomerangSlowing;
        vy *= kBoomerangSlowing;
        if (std::abs(vx) < kBoomerangStop && vy < kBoomerangStop) {
          vx = vy = 0.0;
          counter = 0;
          state = 1;
        }
      }
      x += vx;
      y += vy;
      break;
    case 1:
      if (counter == kBoomerangPause) {
        fromX = x;
        fromY = y;
        angle = offsetX <= 0.0 ? kReturnAngle : -kReturnAngle;
        counter = 0;
        state = 2;
      }
      break;
    case 2: {
      spin *= kReturnSpinSlowing;
      if (spin <= kDegree) spin = 0.0;
      const double t = std::min(1.0, static_cast<double>(counter) / kReturnFrames);
      x = fromX + (BossCenterX + offsetX - fromX) * t;
      y = fromY + (BossCenterY + offsetY - fromY) * t;
      if (counter >= kReturnFrames) {
        if (FudeCannonTask* b = brush.get()) {
          if (!b->retired) b->visible = 1;
        }
        finished = 1;
      }
      break;
    }
    default:
      break;
  }
  angle = WrapAngle(angle + (offsetX > 0.0 ? spin : -spin));
  hitCode = 0;
  ++counter;
}

void FudeBoomerangTask::Draw() {
  const int px = PixelOf(x), py = PixelOf(y);
  const double spin = work[2];
  for (int k = 4; k >= 1; --k) {
    GfxSetDrawBlendMode(BlendMode::Alpha, kTrailAlphaStep * (5 - k));
    double a = offsetX > 0.0 ? angle - k * spin : angle + k * spin;
    GfxDrawRectRotateGraph(px, py, srcX, srcY, width, height, 1.0, a, image, 1, flip);
  }
  GfxSetDrawBlendMode(BlendMode::None, 0);
  GfxDrawRectRotateGraph(px, py, srcX, srcY, width, height, 1.0, angle, image, 1, flip);
}

ShodoPaperTask::ShodoPaperTask(int x, int y, int row, ShodoMasterTask* owner)
    : Character(kWeaponKind, x, y), master(owner), sheetRow(row) {
  image = GetEnemyImage(kSheetImage);
  width = kSheetW;
  height = kSheetH;
  srcX = 0;
  srcY = 0;
  hitShape = kHitNone;
  Join(kLayerBlock);
}

void ShodoPaperTask::Update() {
  int& state = hitMask;
  if (BossGaugeFull < 1) {
    SmokeAt(x, y);
    finished = 1;
    return;
  }
  const ShodoMasterTask* m = master.get();
  const int phase = m ? m->sheetPhase : 0;
  switch (state) {
    case 0:
      if (phase == 0) {
        scale = std::max(1.0, scale - kSheetShrink);
      } else if (phase == kPhaseWriting) {
        if (counter % 2 == 0 && unroll < kUnrollMax) ++unroll;
      } else if (phase == kPhaseWritten) {
        if (!written) {
          written = 1;
          srcY = sheetRow;
          unroll = 0;
          TaskPool_SetLayer(this, kLayerBossPart);
        } else if (counter % 2 == 0) {
          if (srcX < kSheetLastFrame) {
            srcX += kSheetFrameStep;
          } else {
            angle = std::min(kSheetTurned, angle + kSheetTurn);
            if (angle >= kSheetTurned) state = 1;
          }
        }
      }
      break;
    case 1:
      if (phase == kPhaseReleased) state = 2;
      break;
    case 2: {
      const int px = PixelOf(x), py = PixelOf(y);
      if (sheetRow == kFireRow) {
        CreateTask<ShodoFirePaperTask>(px, py - kFireRise);
      } else if (sheetRow == kThunderRow) {
        CreateTask<ShodoThunderPaperTask>(px, py);
      } else if (sheetRow == kIceRow) {
        CreateTask<ShodoIcePaperTask>(px, py);
      }
      finished = 1;
      break;
    }
    default:
      break;
  }
  hitCode = 0;
  ++counter;
}

void ShodoPaperTask::Draw() {
  const int px = PixelOf(x), py = PixelOf(y);
  const double seen = std::clamp(255.0 - (scale - 1.0) * 255.0, 0.0, 255.0);
  GfxSetDrawBlendMode(BlendMode::Alpha, static_cast<int>(seen));
  GfxDrawRectRotateGraph(px, py, srcX, srcY, width, height, scale, angle, image, 1, 0);
  if (scale > 1.0) {
    for (double s : {2 * (scale - 1.0), 3 * (scale - 1.0)}) {
      if (s > 1.0) GfxDrawRectRotateGraph(px, py, srcX, srcY, width, height, s, angle, image, 1, 0);
    }
  }
  if (unroll > 0) {
    GfxDrawRectPartGraph(px - kSheetW / 2, py - unroll, 0, sheetRow + kUnrollShow - unroll, kSheetW, unroll, image, 1,
                         0);
  }
  GfxSetDrawBlendMode(BlendMode::None, 0);
}
