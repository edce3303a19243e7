#include "game/masters/tea_master.h"

#include <algorithm>

#include "engine/draw/memimg.h"
#include "engine/system/system.h"
#include "game/playfield/blocks_items.h"
#include "game/playfield/collision.h"
#include "game/gfx.h"
#include "game/masters/master_common.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kTaskKind = -1;
constexpr int kTeaSheet = 4;

// Master: 48 x 80 standing, 96 x 80 with arms out (row 80).
constexpr int kCellOffsetX = -24, kCellOffsetY = 4;
constexpr int kNarrowWidth = 48, kWideWidth = 96, kMasterHeight = 80;
constexpr int kWideRowY = 80;
constexpr int kWideShift = 24;
constexpr int kHitNarrowX = 4, kHitWideX = 28, kHitY = 32, kHitW = 40, kHitH = 32;
constexpr int kMasterLife = 640;
constexpr int kHalfLife = kMasterLife / 2;
constexpr int kMasterScore = 20000;
constexpr int kSpoutSignX = 96, kSpoutSignY = 80, kSpoutSignW = 16, kSpoutSignH = 32;
constexpr int kAimShown = 2;

// Spout: a half circle in 120 updates' worth of turning speed, 60 updates a sweep.
constexpr double kSpoutRest = kPi / 2;
constexpr double kSpoutTurn = kPi / 120;
constexpr double kPourFrom = 1.9198621771937625;  // 110 degrees
constexpr double kPourTo = 4.363323129985823;     // 250 degrees
constexpr int kPourPeriod = 3;
constexpr int kPourMouthY = 20;
constexpr double kPourSpeed = 4.0;
constexpr int kWaitSweepPeriod[2] = {690, 460};  // EASY, NORMAL
constexpr int kWaitSweepAt[2] = {300, 200};

// First half.
constexpr int kArmsOutAt = 10, kArmsInAt = 105, kUtensilsEndAt = 110, kWalkFramesFrom = 113, kSpitFrom = 161;
constexpr int kUtensilSideGap = 6, kUtensilY = 24, kUtensilTargetY = 65;
constexpr int kWalkFrameTime = 4;
constexpr int kSpitPeriod[2] = {22, 14};
constexpr int kSpitMouthY = 60;
constexpr double kWalkSpeed = 0.8, kWalkRestart = 0.5;
constexpr int kPlayerHalf = 16;
constexpr int kWalkMargin = 32, kSecondHalfMargin = 8;
constexpr int kWallLeft = 12, kWallRight = 228, kCeiling = 8, kFloor = 224;
constexpr int kSmokeHalf = 16, kHalfSmokeY = 44;

// Change of half.
constexpr int kChangeFaceAt = 40, kKettlesAt = 52, kChangeEnd = 139;
constexpr double kSecondHalfSlowing = 0.25;

// Second half.
constexpr int kSweepAt = 240, kFansBefore = 200, kFanPeriod = 80, kFanOffset = 40;
constexpr int kAimSignPeriod = 40, kAimSignShown = 12;
constexpr double kFanSpeed = 1.6;

// Utensils (sheet 4): 16 x 32 sweeping, 16 x 24 kettle, 16 x 16 pouring (row 112).
constexpr int kUtensilSrcX = 128, kUtensilSrcY = 80, kKettleSrcY = 84, kPourRowY = 112;
constexpr int kUtensilHeight = 32, kKettleHeight = 24, kPourHeight = 16;
constexpr int kUtensilGlideTime = 60, kUtensilWait = 20, kUtensilGlideEnd = 79;
constexpr double kUtensilStartScale = 2.0;
constexpr double kScaleStep = 0.1;
constexpr int kKettleFrameTime = 5, kPourFrameTime = 3, kKettleLastSrcX = 191;
constexpr int kStreamMax = 216, kStreamStep = 6, kStreamPiece = 32;
constexpr int kKettleLife = 580;

// Drops ("misc.png"): 10 x 10, four frames of 10 from x 56.
constexpr int kDropSize = 10, kDropSrcX = 56, kTeaDropSrcY = 64, kInkDropSrcY = 96;
constexpr int kDropFrames = 4, kDropFrameTime = 3;
constexpr double kDropStartScale = 0.4, kDropScaleStep = 0.05, kDropCullScale = 0.8;
constexpr double kDropGravity = 0.1, kDropFallLimit = 4.0;
constexpr int kAimDistance = 100;

enum MasterState : int32_t {
  kWaiting = 0,
  kWaking = 1,
  kFirstHalf = 2,
  kChangeHalf = 3,
  kSecondHalf = 4,
  kSweeping = 5,
  kDying = 6,
};

enum UtensilState : int32_t {
  kAppearing = 0,
  kGliding = 1,
  kPouring = 2,
};

int Difficulty() { return Settings.difficulty == 0 ? 0 : 1; }

}  // namespace

ChanoyuMasterTask::ChanoyuMasterTask(int x, int y)
    : Character(kTaskKind, x + kCellOffsetX, y + kCellOffsetY), brightness(kMasterStartBrightness),
      fade(kMasterStartFade) {
  image = GetEnemyImage(kTeaSheet);
  width = kNarrowWidth;
  height = kMasterHeight;
  hitX = kHitNarrowX;
  hitY = kHitY;
  hitW = kHitW;
  hitH = kHitH;
  life = kMasterLife;
  score = kMasterScore;
  hitShape = kHitNone;
  work[3] = kSpoutRest;
  BossPhase = kBossWaiting;
  SetBossNames("CHANOYU ", "  MASTER");
  Join(kLayerEnemy);
}

ChanoyuMasterTask::ChanoyuMasterTask(int /*code*/, int x, int y) : ChanoyuMasterTask(x, y) {}

void ChanoyuMasterTask::StartSweep() {
  double& turn = work[2];
  const double angle = work[3];
  if (turn == 0.0 && angle < kPi) {
    turn = kSpoutTurn;
  } else if (turn == 0.0 && angle > kPi) {
    turn = -kSpoutTurn;
  }
  aimMode = kAimShown;
}

bool ChanoyuMasterTask::SweepEnded() {
  double& turn = work[2];
  const double angle = work[3];
  if (aimMode == kAimShown && ((angle > 3 * kPi / 2 && turn > 0.0) || (angle < kPi / 2 && turn < 0.0))) {
    turn = 0.0;
    aimMode = 0;
    return true;
  }
  return false;
}

void ChanoyuMasterTask::MakeUtensils() {
  const int px = PixelOf(x), py = PixelOf(y);
  const double tx = px + width / 2, ty = py + kUtensilTargetY;
  if (!utensilLeft) {
    utensilLeft.reset(CreateTask<ChaDouguTask>(px - kUtensilSideGap, py + kUtensilY, tx, ty));
  }
  if (!utensilRight) {
    utensilRight.reset(CreateTask<ChaDouguTask>(px + width + kUtensilSideGap, py + kUtensilY, tx, ty));
  }
}

void ChanoyuMasterTask::MakeKettles() {
  const int px = PixelOf(x), py = PixelOf(y);
  if (!utensilLeft) utensilLeft.reset(CreateTask<ChaDouguTask>(px - kUtensilSideGap, py + kUtensilY, 0));
  if (!utensilRight) {
    utensilRight.reset(CreateTask<ChaDouguTask>(px + width + kUtensilSideGap, py + kUtensilY, 0));
  }
}

void ChanoyuMasterTask::EndUtensils() {
  if (ChaDouguTask* u = utensilLeft.get()) u->finished = 1;
  if (ChaDouguTask* u = utensilRight.get()) u->finished = 1;
  utensilLeft.reset();
  utensilRight.reset();
}

void ChanoyuMasterTask::Walk() {
  double& speed = work[0];
  if (speed > -kWalkRestart && speed < kWalkRestart) {
    speed = PlayerX + kPlayerHalf <= x + width / 2 ? -kWalkSpeed : kWalkSpeed;
  }
  x += speed;
  if (x - kWalkMargin <= kWallLeft || x + width + kWalkMargin >= kWallRight) speed = -speed;
}

void ChanoyuMasterTask::MoveSecondHalf() {
  double& speed = work[0];
  x += speed;
  if (ChaDouguTask* u = utensilLeft.get()) u->x += speed;
  if (ChaDouguTask* u = utensilRight.get()) u->x += speed;
  if (x - kSecondHalfMargin <= kWallLeft || x + width + kSecondHalfMargin >= kWallRight) speed = -speed;
}

void ChanoyuMasterTask::FireFans() {
  const int mouthX = PixelOf(x) + width / 2, mouthY = PixelOf(y) + kPourMouthY;
  const double base = AngleBetween(0.0, -kAimDistance, PlayerX + kPlayerHalf - (x + width / 2), PlayerY - (y + kPourMouthY));
  const bool easy = Difficulty() == 0;
  const double step = easy ? kPi / 6 : kPi / 9;
  if (counter % kFanPeriod == 0) {
    PlaySoundEffect(kSeBullet);
    const int reach = easy ? 1 : 2;
    for (int i = -reach; i <= reach; ++i) {
      CreateTask<TeaBulletTask>(mouthX, mouthY, base + i * step, kFanSpeed);
    }
  } else if (counter % kFanPeriod == kFanOffset) {
    PlaySoundEffect(kSeBullet);
    for (int i = -2; i <= 1; ++i) {
      CreateTask<TeaBulletTask>(mouthX, mouthY, base + i * step + step / 2, kFanSpeed);
    }
  }
}

void ChanoyuMasterTask::Pour() {
  const double angle = work[3];
  if (angle > kPourFrom && angle < kPourTo && counter % kPourPeriod == 0) {
    CreateTask<TeaBulletTask>(PixelOf(x) + width / 2, PixelOf(y) + kPourMouthY, angle, kPourSpeed);
    PlaySoundEffect(kSeBulletQuiet);
  }
}

void ChanoyuMasterTask::Update() {
  int32_t& state = hitMask;
  double& speed = work[0];
  double& turn = work[2];
  double& angle = work[3];

  MasterTakeHit(*this);
  if (life < 1 && state < kDying) {
    MasterStartDeath();
    turn = 0.0;
    angle = kSpoutRest;
    counter = 0;
    aimMode = 0;
    state = kDying;
  }

  switch (state) {
    case kWaiting: {
      const int d = Difficulty();
      if (counter % kWaitSweepPeriod[d] == kWaitSweepAt[d]) StartSweep();
      SweepEnded();
      angle += turn;
      if (ScrollTaken) {
        MasterWake(*this);
        turn = 0.0;
        angle = kSpoutRest;
        aimMode = 0;
        counter = 0;
        state = kWaking;
        PlayBGM("./bgm/boss2.pttune", 1);
      }
      break;
    }
    case kWaking:
      if (MasterWakingStep(*this, brightness)) {
        srcX = kNarrowWidth;
        counter = 0;
        state = kFirstHalf;
      }
      break;
    case kFirstHalf:
      if (counter == kArmsOutAt) {
        width = kWideWidth;
        srcX = 0;
        srcY = kWideRowY;
        x -= kWideShift;
        MakeUtensils();
        PlaySoundEffect(kSeGetout);
      }
      if (counter == kArmsInAt) {
        width = kNarrowWidth;
        srcX = kNarrowWidth;
        srcY = 0;
        x += kWideShift;
      }
      if (counter == kUtensilsEndAt) {
        srcX = kWideWidth;
        EndUtensils();
      }
      if (counter >= kWalkFramesFrom) {
        srcX = (counter / kWalkFrameTime % 2 + 2) * kNarrowWidth;
        // Standing still until then keeps the utensils under its arms.
        Walk();
      }
      if (counter >= kSpitFrom) {
        const int period = kSpitPeriod[Difficulty()];
        if (counter % period == 0) {
          CreateTask<TeaBulletTask>(PixelOf(x) + width / 2, PixelOf(y) + kSpitMouthY,
                                    static_cast<double>(-1 - GetRandRange(2)));
        }
      }
      if (life <= kHalfLife) {
        // A change while the utensils are out puts them away, so the kettles can come.
        EndUtensils();
        if (srcY != 0) {
          width = kNarrowWidth;
          srcY = 0;
          x += kWideShift;
        }
        srcX = 0;
        PlaySoundEffect(kSeDefeat);
        CreateTask<DoronSmokeTask>(PixelOf(x) + width / 2 - kSmokeHalf, PixelOf(y) + kHalfSmokeY);
        counter = 0;
        state = kChangeHalf;
      }
      break;
    case kChangeHalf:
      if (counter == kChangeFaceAt) srcX = kNarrowWidth;
      if (counter == kKettlesAt) {
        width = kWideWidth;
        srcX = 0;
        srcY = kWideRowY;
        x -= kWideShift;
        speed *= kSecondHalfSlowing;
        MakeKettles();
        PlaySoundEffect(kSeGetout);
      }
      if (counter > kChangeEnd) {
        counter = -1;
        state = kSecondHalf;
      }
      break;
    case kSecondHalf:
      MoveSecondHalf();
      if (counter == kSweepAt) {
        StartSweep();
        state = kSweeping;
      }
      if (counter < kFansBefore) {
        FireFans();
        aimMode = counter % kAimSignPeriod < kAimSignShown ? kAimShown : 0;
      }
      break;
    case kSweeping:
      if (SweepEnded()) {
        counter = -1;
        state = kSecondHalf;
      }
      angle += turn;
      break;
    case kDying:
      MasterDyingStep(*this, fade);
      break;
    default:
      break;
  }

  Pour();

  if (srcY == 0) {
    hitX = kHitNarrowX;
    width = kNarrowWidth;
  } else {
    hitX = kHitWideX;
    width = kWideWidth;
  }
  EndMasterUpdate(*this);
}

void ChanoyuMasterTask::Draw() {
  BeginMasterDraw(*this, brightness, fade);
  GfxDrawRectPartGraph(PixelOf(x), PixelOf(y), srcX, srcY, width, height, image, 1, flip);
  if (aimMode == kAimShown) {
    GfxDrawRectPartGraph(PixelOf(x) + width / 2 - kSpoutSignW / 2, PixelOf(y), kSpoutSignX, kSpoutSignY, kSpoutSignW,
                         kSpoutSignH, image, 1, 0);
  }
  EndMasterDraw();
}

ChaDouguTask::ChaDouguTask(int x, int y, double targetX, double targetY)
    : Character(kTaskKind, x, y), scale(kUtensilStartScale) {
  image = GetEnemyImage(kTeaSheet);
  width = 16;
  height = kUtensilHeight;
  srcX = kUtensilSrcX;
  srcY = kUtensilSrcY;
  hitShape = kHitNone;
  work[2] = (targetX - x) / kUtensilGlideTime;
  work[3] = (targetY - y) / kUtensilGlideTime;
  Join(kLayerBossPart);
}

ChaDouguTask::ChaDouguTask(int x, int y, int timed)
    : Character(kTaskKind, x, y), scale(timed ? 1.0 : kUtensilStartScale), timed(timed ? 1 : 0) {
  image = GetEnemyImage(kTeaSheet);
  width = 16;
  height = kKettleHeight;
  srcX = kUtensilSrcX;
  srcY = kKettleSrcY;
  hitX = -5;
  hitY = 0;
  hitW = 10;
  hitH = 8;
  Join(kLayerBossPart);
}

void ChaDouguTask::Update() {
  int32_t& state = hitMask;
  switch (state) {
    case kAppearing:
      if (scale > 1.0) scale -= kScaleStep;
      if (scale <= 1.0) {
        scale = 1.0;
        counter = 0;
        state = height == kUtensilHeight ? kGliding : kPouring;
      }
      break;
    case kGliding:
      if (counter >= kUtensilWait && counter <= kUtensilGlideEnd) {
        x += work[2];
        y += work[3];
      }
      break;
    case kPouring:
      if (counter >= kUtensilWait) {
        const int frameTime = srcY == kPourRowY ? kPourFrameTime : kKettleFrameTime;
        if (counter % frameTime == 0) {
          srcX += 16;
          if (srcX > kKettleLastSrcX) {
            srcX = kUtensilSrcX;
            srcY = kPourRowY;
            height = kPourHeight;
          }
        }
      }
      if (height == kPourHeight && stream < kStreamMax) {
        // One stream sound for a pair: the left kettle plays it.
        if (stream == 0 && (timed || x < BossCenterX)) PlaySoundEffect(kSeStream);
        stream += kStreamStep;
        hitH += kStreamStep;
      }
      break;
    default:
      break;
  }
  if (BossGaugeFull < 1 || (timed && counter >= kKettleLife)) {
    CreateTask<DoronSmokeTask>(PixelOf(x) - kSmokeHalf, PixelOf(y) - kSmokeHalf);
    finished = 1;
  }
  hitCode = 0;
  ++counter;
}

void ChaDouguTask::Draw() {
  const int alpha = static_cast<int>(std::clamp(255.0 - (scale - 1.0) * 255.0, 0.0, 255.0));
  const int px = PixelOf(x), py = PixelOf(y);
  GfxSetDrawBlendMode(BlendMode::Alpha, alpha);
  GfxDrawRectRotateGraph(px, py, srcX, srcY, width, height, scale, 0.0, image, 1, 0);
  if (scale > 1.0) {
    GfxDrawRectRotateGraph(px, py, srcX, srcY, width, height, (scale - 1.0) * 2, 0.0, image, 1, 0);
    GfxDrawRectRotateGraph(px, py, srcX, srcY, width, height, (scale - 1.0) * 3, 0.0, image, 1, 0);
  }
  // The stream tiled from the row below the pouring picture, 32 pixels a piece.
  for (int i = 0; i < stream; i += kStreamPiece) {
    GfxDrawRectPartGraph(px - 8, py + 8 + i, srcX, srcY + kPourHeight, 16, std::min(kStreamPiece, stream - i), image,
                         1, 0);
  }
  GfxSetDrawBlendMode(BlendMode::None, 0);
}

TeaBulletTask::TeaBulletTask(int x, int y, double speedY) : Character(kTaskKind, x, y) {
  image = MiscImage;
  width = height = kDropSize;
  srcX = kDropSrcX;
  srcY = kTeaDropSrcY;
  hitX = hitY = -3;
  hitW = hitH = 6;
  scale = kDropStartScale;
  flip = 1;
  work[0] = (GetRandRange(40) - 20) * 0.1;
  work[1] = speedY;
  Join(kLayerBullet);
}

TeaBulletTask::TeaBulletTask(int x, int y, double angle, double speed) : Character(kTaskKind, x, y) {
  image = MiscImage;
  width = height = kDropSize;
  srcX = kDropSrcX;
  srcY = BossNameLine1[0] == 'C' ? kTeaDropSrcY : kInkDropSrcY;
  hitX = hitY = -3;
  hitW = hitH = 6;
  scale = kDropStartScale;
  Point2 aim = RotatePoint(x, y - kAimDistance, x, y, angle);
  Point2 v = VectorToward(x, y, aim.x, aim.y, speed);
  work[0] = v.x;
  work[1] = v.y;
  Join(kLayerBullet);
}

void TeaBulletTask::Update() {
  if (hitCode == 1 || hitCode == 9) finished = 1;
  x += work[0];
  y += work[1];
  if (flip == 1 && work[1] < kDropFallLimit) work[1] += kDropGravity;
  if (scale < 1.0) scale = std::min(1.0, scale + kDropScaleStep);
  if (scale > kDropCullScale) {
    const double left = x + hitX, top = y + hitY;
    if (left < kWallLeft || left + hitW > kWallRight || top < kCeiling || top + hitH >= kFloor || BossGaugeFull < 1) {
      finished = 1;
    }
  }
  srcX = kDropSrcX + counter / kDropFrameTime % kDropFrames * kDropSize;
  hitCode = 0;
  ++counter;
}

void TeaBulletTask::Draw() {
  GfxDrawRectRotateGraph(PixelOf(x), PixelOf(y), srcX, srcY, width, height, scale, 0.0, image, 1, 0);
}
