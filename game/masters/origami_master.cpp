#include "game/masters/origami_master.h"

#include <algorithm>
#include <cmath>
#include <utility>

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
constexpr double kDegree = kPi / 180.0;

constexpr int kSheet = 5;
constexpr int kMasterKind = -4;
constexpr int kPaperKind = -3;
constexpr int kSmokeHalf = 16;

// Master: 96 x 80, two 56-wide halves overlapping by 16.
constexpr int kMasterWidth = 96, kMasterHeight = 80;
constexpr int kMasterLife = 640;
constexpr int kHalfLife = 320;
constexpr int kMasterScore = 20000;
constexpr int kMasterBoxX = 28, kMasterBoxY = 20, kMasterBoxW = 40, kMasterBoxH = 44;
constexpr int kHalfWidth = 56;
constexpr int kRightHalfX = 40;
constexpr int kLeftRest = 0, kRightRest = 56;
constexpr int kLeftRaised = 112, kRightRaised = 168;
constexpr int kLeftHolding = 336, kRightHolding = 392;
constexpr int kLeftThrown = 224, kRightThrown = 280;
constexpr int kLeftStripX = 272, kLeftStripAt = 48, kLeftStripW = 8;
constexpr int kRightStripX = 280, kRightStripAt = 40, kRightStripW = 16;
constexpr int kLeftHand = 0, kRightHand = 1, kBothHands = 2;
constexpr int kFrogRow = 176, kPlaneRow = 208;

// Waiting loop (frames).
constexpr int kWaitRaiseAt = 184, kWaitPapersAt = 200, kWaitHoldAt = 256, kWaitThrowAt = 268,
              kWaitSecondThrowAt = 280, kWaitRestAt = 292, kWaitLoopEnd = 400, kWaitLoopStart = 80;
constexpr int kPaperHandX = 12, kPaperHandY = 44;
constexpr int kWaitThrowX = 24, kThrowY = 48;
constexpr double kThrowSpeed = 4.0;

// Fight.
constexpr double kWakeWalkSpeed = 1.0;
constexpr int kThrowRaiseAt = 4, kThrowPapersAt = 20, kThrowHoldAt = 76, kThrowAt = 88, kThrowEndAt = 100;
constexpr int kFrogAimX = 16, kFrogAimY = 56;
constexpr int kWallLeft = 12, kWallRight = 228;
constexpr int kWalkTime = 120;
constexpr double kChoiceRightBelow = 100.0, kChoiceLeftAbove = 140.0;

// Cloud and pieces.
constexpr int kCloudStartAt = 12;
constexpr double kCloudTurn = 20 * kDegree;
constexpr double kCloudTurnSlow = 0.008726646259971648;  // 0.5 degrees
constexpr double kCloudGrow = 0.02;
constexpr double kCloudSlowFrom = 0.9;
constexpr double kCloudSlowing = 0.9;
constexpr int kCloudSize = 96;
constexpr int kCloudY = 40;
constexpr int kCloudRowBody = 80, kCloudRowPieces = 176;
constexpr int kSplitFrom = 11, kSplitPeriod = 3;
constexpr int kPieceCount = 4;
constexpr int kColumnLeft = 39, kColumnStep = 54;
constexpr int kJumpAt[3] = {12, 1012, 2012};
constexpr int kSecondCycle = 1000, kThirdCycle = 2000;
constexpr int kReformAt = 12, kReformPeriod = 6;
constexpr int kStackBottom = 200, kStackStep = 48;
constexpr double kPieceWalkSpeed = 0.675;
constexpr int kPieceWalkTime = 480;
constexpr int kReturnAfter = 80;
constexpr double kCentreLeft = 39.0, kCentreRight = 201.0;

// Piece states.
enum PieceState : int {
  kPieceIdle = -1,
  kPieceFlyIn = 0,
  kPieceJump = 1,
  kPieceMove = 2,
  kPieceGather = 4,    // 4..7: gather at column state - 4
  kPieceScatter = 8,
  kPieceSlide = 10,
  kPieceChase = 11,
  kPieceFall = 12,
  kPieceRise = 13,
  kPieceReturn = 15,
  kPieceDying = 16,
};

// Master states.
enum MasterState : int {
  kWaiting = 0,
  kWaking = 1,
  kThrowing = 2,
  kWalking = 3,
  kClouding = 4,
  kSplitting = 5,
  kJumping = 6,
  kReforming = 7,
  kWalkingWithPieces = 8,
  kSplittingAgain = 9,
  kDying = 10,
};

// Held paper: 32 x 32.
constexpr int kPaperSize = 32;
constexpr double kPaperSpin = kPi / 8;
constexpr double kPaperRise = -2.0;
constexpr double kPaperGrow = 0.04;
constexpr double kPaperSpinSlowing = 0.835;
constexpr double kPaperRiseSlowing = 0.89;
constexpr double kPaperStill = 0.1;
constexpr double kPaperSpinStop = 0.002181661564992912;  // 0.125 degrees
constexpr int kHeldOffsetX = 26, kHeldOffsetY = 44;
constexpr int kHeldSrcWaiting = 64, kHeldSrcFighting = 32;

// Thrown paper and frog.
constexpr int kThrownLife[2] = {10, 20};  // EASY, NORMAL
constexpr double kFrogPaperSpin = 0.3490658503988659;   // 20 degrees
constexpr double kPlanePaperSpin = 0.17453292519943295;  // 10 degrees
constexpr int kThrownRadius = 10;
constexpr int kScreenSize = 240;
constexpr double kFlightSlowing = 0.93;
constexpr double kFlightStill = 0.1;
constexpr double kFlightSpinFrom = 0.7;
constexpr double kFlightSpinSlowing = 0.8;
constexpr double kFlightSpinStop = 0.125 * kDegree;
constexpr double kLandLift = 2.0;
constexpr int kLandBoxLift = 8;
constexpr int kFrogSize = 48;
constexpr int kFrogRowFirst = 272;
constexpr int kUnfoldLastX = 192;
constexpr int kFrogReadyX = 96, kFrogReadyY = 368;
constexpr int kFrogSit = 48, kFrogSlow = 96, kFrogMid = 144, kFrogFast = 192;
constexpr int kHopAt = 15;
constexpr int kHopSpreadX = 48, kHopAimY = 16;
constexpr double kHopBaseSpeed = 3.0, kHopSpeedStep = 0.1;
constexpr int kHopSpeedSteps = 30;
constexpr int kHitFlash = 2, kStrongHitFlash = 6;
constexpr int kFrogSmokeY = 24;

// Big piece: 48 x 48.
constexpr int kPieceSize = 48;
constexpr int kPieceRestX = 240, kPieceRestY = 272;
constexpr int kPieceLastX = 384, kPieceHeadY = 320;
constexpr int kPieceStepX = 48;
constexpr int kPieceBigRadius = 24, kPieceSmallRadius = 16;
constexpr double kFlyTurn = 10 * kDegree;
constexpr double kFlyTurnMin = 1 * kDegree;
constexpr double kFlyTurnSlowing = 0.95;
constexpr double kJumpTurn = 20 * kDegree;
constexpr double kJumpSpeed = -3.0;
constexpr double kGravity = 0.4;
constexpr double kFallLimit = 6.0;
constexpr double kFloorY = 200.0;
constexpr double kTopY = 52.0;
constexpr int kLandMove = 40;
constexpr double kLandDamping = 0.8;
constexpr double kMoveTurnStop = 4 * kDegree;
constexpr int kFrameTime = 6;
constexpr double kHeadBelowY = 120.0;
constexpr int kUnfoldAfter = 60;
constexpr int kGatherMove = 60;
constexpr int kSlideMove = 480;
constexpr double kSlideTurn = 10 * kDegree;
constexpr double kSlideTravel = 648.0;
constexpr double kChaseStep[2] = {0.1, 0.2};    // EASY, NORMAL
constexpr double kChaseLimit[2] = {1.0, 4.0};
constexpr int kChaseReach = 32;
constexpr double kPounceRise = -2.0;
constexpr int kRiseAfter = 20;
constexpr double kRiseSpeed = 2.0;
constexpr int kReturnMove = 120;
constexpr double kReturnDamping = 0.95;
constexpr double kShrink = 0.02;
constexpr double kDyingTurn = 10 * kDegree;
constexpr double kGoneScale = 0.1;

int Difficulty() { return Settings.difficulty == 0 ? 0 : 1; }

// Adds a turn and folds the angle back by a quarter turn (a square looks the same).
double QuarterWrap(double angle) {
  if (angle > kPi / 2) angle -= kPi / 2;
  if (angle < -kPi / 2) angle += kPi / 2;
  return angle;
}

// Each part of a velocity slows down and stops once small.
double Slowed(double v) { return std::fabs(v) > kFlightStill ? v * kFlightSlowing : 0.0; }

// Folds a position into the span lo..hi by reflection at both ends.
double Reflect(double v, double lo, double hi) {
  double span = hi - lo;
  double t = std::fmod(v - lo, 2 * span);
  if (t < 0) t += 2 * span;
  if (t > span) t = 2 * span - t;
  return lo + t;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Held paper

HandyOrigamiTask::HandyOrigamiTask(int x, int y, int sourceY, int turn) : Character(kPaperKind, x, y) {
  image = GetEnemyImage(kSheet);
  width = height = kPaperSize;
  srcY = sourceY;
  flip = static_cast<uint8_t>(turn != 0);
  // A held paper never touches the player.
  hitShape = kHitNone;
  work[0] = kPaperSpin;
  work[1] = kPaperRise;
  hitMask = 0;
  Join(kLayerBossPart);
}

void HandyOrigamiTask::Rearm(int nx, int ny, int sourceY) {
  srcX = 0;
  srcY = sourceY;
  x = nx;
  y = ny;
  visible = 1;
  hitMask = 0;
  scale = 0.0;
  angle = 0.0;
  work[0] = kPaperSpin;
  work[1] = kPaperRise;
}

void HandyOrigamiTask::Update() {
  int& state = hitMask;
  double& spin = work[0];
  double& rise = work[1];
  switch (state) {
    case 0:
      scale = std::min(scale + kPaperGrow, 1.0);
      angle = QuarterWrap(flip ? angle + spin : angle - spin);
      if (scale > 0.9 && rise > -kPaperStill) spin *= kPaperSpinSlowing;
      y += rise;
      rise = rise > -kPaperStill ? 0.0 : rise * kPaperRiseSlowing;
      if (spin < kPaperSpinStop) state = -1;
      break;
    case 1:
      angle = 0.0;
      y = BossCenterY - kHeldOffsetY;
      x = flip ? BossCenterX + kHeldOffsetX : BossCenterX - kHeldOffsetX;
      if (BossPhase == kBossWaiting) {
        srcX = kHeldSrcWaiting;
        return;
      }
      srcX = kHeldSrcFighting;
      break;
    case 2:
      visible = 0;
      state = -1;
      break;
    case 3:
      CreateTask<DoronSmokeTask>(PixelOf(x) - kSmokeHalf, PixelOf(y) - kSmokeHalf);
      visible = 0;
      state = -1;
      break;
    default:
      break;
  }
  if ((BossPhase == kBossFighting || BossPhase == kBossBeaten) && BossGaugeFull < 1) {
    if (visible) CreateTask<DoronSmokeTask>(PixelOf(x) - kSmokeHalf, PixelOf(y) - kSmokeHalf);
    finished = 1;
  }
  ++counter;
}

void HandyOrigamiTask::Draw() {
  GfxDrawRectRotateGraph(PixelOf(x), PixelOf(y), srcX, srcY, width, height, scale, angle, image, 1, flip);
}

// ---------------------------------------------------------------------------------------
// Thrown paper

ThrownOrigamiTask::ThrownOrigamiTask(int x, int y, int sourceY, int turn, int32_t* frogCounter, double targetX,
                                     double targetY, double speed, bool noAim, Character* counterOwner)
    : Character(kPaperKind, x, y),
      maxLife(kThrownLife[Difficulty()]),
      noAim(noAim ? 1 : 0),
      plane(sourceY == kPlaneRow ? 1 : 0),
      frogCounter_(frogCounter),
      counterOwner_(counterOwner),
      hasOwner_(counterOwner != nullptr) {
  image = GetEnemyImage(kSheet);
  width = height = kPaperSize;
  srcY = sourceY;
  flip = static_cast<uint8_t>(turn != 0);
  life = maxLife;
  hitShape = kHitCircle;
  hitW = kThrownRadius;
  hitMask = 0;
  if (noAim) {
    work[2] = 0.0;
  } else {
    work[2] = sourceY == kFrogRow ? kFrogPaperSpin : kPlanePaperSpin;
    Point2 v = VectorToward(x, y, targetX, targetY, speed);
    work[0] = v.x;
    work[1] = v.y;
    PlaySoundEffect(kSeThrow);
  }
  Join(kLayerBossPart);
}

int32_t* ThrownOrigamiTask::Counter() const {
  if (noAim) return nullptr;
  if (hasOwner_ && !counterOwner_) return nullptr;
  return frogCounter_;
}

// A hop toward the player; its x part is then forced the way the frog faces.
Point2 ThrownOrigamiTask::AimHop() {
  double tx = PlayerX + 16 + GetRandRange(kHopSpreadX) - kHopSpreadX / 2;
  double ty = PlayerY + kHopAimY;
  double speed = kHopBaseSpeed + kHopSpeedStep * GetRandRange(kHopSpeedSteps);
  Point2 v = VectorToward(x, y, tx, ty, speed);
  hopX = flip ? -std::fabs(v.x) : std::fabs(v.x);
  hopY = v.y;
  return v;
}

void ThrownOrigamiTask::Update() {
  int& state = hitMask;
  double& vx = work[0];
  double& vy = work[1];
  double& spin = work[2];
  double& speed = work[3];

  if (plane) {
    if (flip) {
      angle += spin;
      if (angle > kPi / 2) angle -= kPi / 2;
    } else {
      angle -= spin;
      if (angle < -kPi / 2) angle += kPi / 2;
    }
    x += vx;
    y += vy;
    if (x + 16 < 0 || x - 16 > kScreenSize || y + 16 < 0 || y - 16 > kScreenSize) finished = 1;
    hitCode = 0;
    ++counter;
    return;
  }

  if (state >= 2) {
    if (flashTimer == 0) attackPower = 0;
    int power = hitCode;
    if (power > attackPower) {
      life -= power;
      attackPower = power;
      if (power == 1) {
        PlaySoundEffect(kSeHitBoss);
        flashTimer = kHitFlash;
      } else {
        PlaySoundEffect(kSeHitEnemy);
        flashTimer = kStrongHitFlash;
      }
    }
  }

  angle = flip ? QuarterWrap(angle + spin) : QuarterWrap(angle - spin);
  x += vx;
  y += vy;

  switch (state) {
    case 0:
      vx = Slowed(vx);
      vy = Slowed(vy);
      if (std::fabs(vx) < kFlightSpinFrom && std::fabs(vy) < kFlightSpinFrom) {
        spin = spin > kFlightSpinStop ? spin * kFlightSpinSlowing : 0.0;
      }
      if (vx == 0.0 && vy == 0.0 && spin == 0.0) {
        angle = 0.0;
        counter = 0;
        y -= kLandLift;
        hitY -= kLandBoxLift;
        state = 1;
        flip ^= 1;
        srcY = kFrogRowFirst;
        width = height = kFrogSize;
      }
      break;
    case 1:
      if (counter % 2 == 0) {
        srcX += kFrogSize;
        if (srcX > kUnfoldLastX) {
          srcX = 0;
          srcY += kFrogSize;
        }
      }
      if (srcX == kFrogReadyX && srcY == kFrogReadyY) {
        counter = 0;
        state = 2;
        srcX = kFrogSit;
        TaskPool_SetLayer(this, kLayerEnemy);
        if (int32_t* c = Counter()) {
          ++*c;
          counted = 1;
        }
        // The first aim decides which way the frog faces.
        flip = AimHop().x < 0 ? 1 : 0;
        hopX = flip ? -std::fabs(hopX) : std::fabs(hopX);
      }
      break;
    case 2:
      if (counter == kHopAt) {
        srcX = kFrogFast;
        AimHop();
        vx = hopX;
        vy = hopY;
      } else if (counter > kHopAt) {
        vx = Slowed(vx);
        vy = Slowed(vy);
        speed = std::sqrt(vx * vx + vy * vy);
        srcX = speed < 1.0 ? kFrogSlow : speed < 2.0 ? kFrogMid : kFrogFast;
        if (vx == 0.0 && vy == 0.0) {
          srcX = kFrogSit;
          counter = 0;
          flip = PlayerX + 16 < x ? 1 : 0;
        }
      }
      break;
    default:
      break;
  }

  if (noAim ? BossGaugeFull <= 0 : BossGaugeFull <= kHalfLife) life = 0;
  if (life <= 0) {
    PlaySoundEffect(kSeDefeat);
    CreateTask<DoronSmokeTask>(PixelOf(x) - kSmokeHalf, PixelOf(y) - kFrogSmokeY);
    // Only a frog that was counted is taken off again.
    if (counted) {
      if (int32_t* c = Counter()) --*c;
      counted = 0;
    }
    finished = 1;
  }
  hitCode = 0;
  if (flashTimer > 0) --flashTimer;
  ++counter;
}

void ThrownOrigamiTask::Draw() {
  if (flashTimer > 0) GfxSetDrawBlendMode(BlendMode::InvertedAlpha, 255);
  GfxDrawRectRotateGraph(PixelOf(x), PixelOf(y), srcX, srcY, width, height, 1.0, angle, image, 1, flip);
  GfxSetDrawBlendMode(BlendMode::None, 0);
  if (hitMask >= 2 && life > 0) DrawGauge(*this, maxLife, -24);
}

// ---------------------------------------------------------------------------------------
// Big piece

BigOrigamiTask::BigOrigamiTask(int x, int y, int targetX) : Character(kPaperKind, x, y), targetX(targetX) {
  image = GetEnemyImage(kSheet);
  width = height = kPieceSize;
  srcX = kPieceRestX;
  srcY = kPieceRestY;
  hitShape = kHitCircle;
  hitW = kPieceBigRadius;
  hitMask = kPieceFlyIn;
  Join(kLayerBossPart);
}

void BigOrigamiTask::Update() {
  int& state = hitMask;
  double& dx = work[0];  // distance of the move, or horizontal speed
  double& dy = work[1];
  double& vy = work[2];
  if (BossGaugeFull < 1) {
    hitShape = kHitNone;
    state = kPieceDying;
  }
  if (state != previousState) {
    counter = 0;
    previousState = state;
  }
  switch (state) {
    case kPieceFlyIn:
      if (counter == 0) {
        dx = targetX - x;
        turnSpeed = kFlyTurn;
      }
      if (counter < moveLength) x += dx / moveLength;
      angle = QuarterWrap(dx < 0 ? angle - turnSpeed : angle + turnSpeed);
      turnSpeed = turnSpeed > kFlyTurnMin ? turnSpeed * kFlyTurnSlowing : kFlyTurnMin;
      if (turnSpeed == kFlyTurnMin && counter >= moveLength) {
        state = kPieceIdle;
        angle = 0.0;
        x = targetX;
      }
      break;
    case kPieceJump:
      if (counter == 0) {
        turnSpeed = kJumpTurn;
        vy = kJumpSpeed;
      }
      angle += turnSpeed;
      if (angle > kPi / 2) angle -= kPi / 2;
      y += vy;
      if (vy < kFallLimit) vy += kGravity;
      if (y >= kFloorY) {
        moveLength = kLandMove;
        goalX = targetX;
        goalY = kTopY;
        turnDamping = kLandDamping;
        if (crashSound) {
          PlaySoundEffect(kSeCrash);
          crashSound = 0;
        }
        state = kPieceMove;
      }
      break;
    case kPieceMove: {
      if (counter == 0) {
        dx = goalX - x;
        dy = goalY - y;
      }
      if (counter < moveLength && moveLength > 0) {
        x += dx / moveLength;
        y += dy / moveLength;
      }
      angle += turnSpeed;
      if (std::fabs(turnSpeed) > kMoveTurnStop) turnSpeed *= turnDamping;
      bool wrapped = false;
      if (angle > kPi / 2) {
        angle -= kPi / 2;
        wrapped = true;
      } else if (angle < -kPi / 2) {
        angle += kPi / 2;
        wrapped = true;
      }
      if (wrapped && std::fabs(turnSpeed) < kMoveTurnStop) {
        turnSpeed = 0.0;
        angle = 0.0;
      }
      if (counter % kFrameTime == 0) {
        if (gathering) {
          if (goalY < kHeadBelowY && srcX == kPieceLastX && srcY == kPieceRestY) {
            srcX = kPieceRestX;
            srcY = kPieceHeadY;
          } else if (srcX < kPieceLastX) {
            srcX += kPieceStepX;
          }
        } else if (counter > kUnfoldAfter) {
          if (srcX == kPieceRestX && srcY == kPieceHeadY) {
            srcX = kPieceLastX;
            srcY = kPieceRestY;
          } else if (srcX > kPieceRestX) {
            srcX -= kPieceStepX;
          }
        }
      }
      if (counter + 1 >= moveLength) {
        state = kPieceIdle;
        x = goalX;
        y = goalY;
      }
      break;
    }
    case kPieceGather:
    case kPieceGather + 1:
    case kPieceGather + 2:
    case kPieceGather + 3:
      if (targetX == kColumnStep * (state - kPieceGather) + kColumnLeft) {
        visible = 0;
        state = kPieceIdle;
      } else {
        moveLength = kGatherMove;
        gathering = 1;
        goalX = targetX;
        turnSpeed = 0.0;
        turnDamping = 1.0;
        state = kPieceMove;
      }
      break;
    case kPieceScatter:
      if (srcX == kPieceLastX && srcY == kPieceHeadY) {
        dx = 0.0;
        state = kPieceChase;
      } else {
        flip = static_cast<uint8_t>(GetRandRange(1));
        moveLength = kSlideMove;
        turnSpeed = flip ? -kSlideTurn : kSlideTurn;
        state = kPieceSlide;
      }
      break;
    case kPieceSlide:
      if (counter < moveLength) {
        double travel = kSlideTravel * counter / kSlideMove;
        x = Reflect(flip ? targetX - travel : targetX + travel, kCentreLeft, kCentreRight);
        angle = QuarterWrap(angle + turnSpeed);
      } else {
        state = kPieceIdle;
      }
      break;
    case kPieceChase: {
      double aim = PlayerX + 16;
      double step = kChaseStep[Difficulty()], limit = kChaseLimit[Difficulty()];
      dx += x < aim ? step : -step;
      dx = std::clamp(dx, -limit, limit);
      if (aim < x && x < aim + kChaseReach) {
        dx = 0.0;
        vy = kPounceRise;
        state = kPieceFall;
      }
      x += dx;
      break;
    }
    case kPieceFall:
      if (vy < kFallLimit) vy += kGravity;
      y += vy;
      if (y >= kFloorY) {
        vy = 0.0;
        PlaySoundEffect(kSeCrash);
        state = kPieceRise;
      }
      break;
    case kPieceRise:
      if (counter >= kRiseAfter) {
        y -= kRiseSpeed;
        if (y <= goalY) {
          y = goalY;
          state = kPieceChase;
        }
      }
      break;
    case kPieceReturn:
      if (!visible) {
        state = kPieceIdle;
      } else {
        moveLength = kReturnMove;
        gathering = 0;
        goalX = targetX;
        goalY = kTopY;
        turnDamping = kReturnDamping;
        state = kPieceMove;
      }
      break;
    case kPieceDying:
      scale -= kShrink;
      angle += kDyingTurn;
      if (angle > kPi) angle -= 2 * kPi;
      if (scale < kGoneScale) {
        if (visible) CreateTask<DoronSmokeTask>(PixelOf(x) - kSmokeHalf, PixelOf(y) - kSmokeHalf);
        finished = 1;
      }
      break;
    default:
      break;
  }
  hitW = srcX == kPieceRestX && srcY == kPieceRestY ? kPieceBigRadius : kPieceSmallRadius;
  hitCode = 0;
  ++counter;
}

void BigOrigamiTask::Draw() {
  GfxDrawRectRotateGraph(PixelOf(x), PixelOf(y), srcX, srcY, width, height, scale, angle, image, 1, 0);
}

// ---------------------------------------------------------------------------------------
// Master

OrigamiMasterTask::OrigamiMasterTask(int x, int y)
    : Character(kMasterKind, x - kMasterWidth / 2, y + 4),
      brightness(kMasterStartBrightness),
      fade(kMasterStartFade),
      handChoice(GetRandRange(1)) {
  image = GetEnemyImage(kSheet);
  width = kMasterWidth;
  height = kMasterHeight;
  life = kMasterLife;
  score = kMasterScore;
  srcX = 0;
  srcY = 0;
  hitX = kMasterBoxX;
  hitY = kMasterBoxY;
  hitW = kMasterBoxW;
  hitH = kMasterBoxH;
  hitShape = kHitNone;
  hitMask = kWaiting;
  SetBossNames("ORIGAMI ", "  MASTER");
  BossPhase = kBossWaiting;
  Join(kLayerEnemy);
}

OrigamiMasterTask::OrigamiMasterTask(int /*code*/, int x, int y) : OrigamiMasterTask(x, y) {}

HandyOrigamiTask* OrigamiMasterTask::Paper(int hand) const {
  HandyOrigamiTask* p = hand == kLeftHand ? leftPaper.get() : rightPaper.get();
  return p && !p->finished ? p : nullptr;
}

// The paper of a hand beside it, made or unfolded afresh.
HandyOrigamiTask* OrigamiMasterTask::ArmPaper(int hand, int sourceY) {
  int px = PixelOf(x) + (hand == kLeftHand ? kPaperHandX : width - kPaperHandX);
  int py = PixelOf(y) + kPaperHandY;
  if (HandyOrigamiTask* p = Paper(hand)) {
    p->Rearm(px, py, sourceY);
    return p;
  }
  HandyOrigamiTask* p = CreateTask<HandyOrigamiTask>(px, py, sourceY, hand);
  (hand == kLeftHand ? leftPaper : rightPaper).reset(p);
  return p;
}

// A paper thrown from a hand: the left one turns one way, the right the other.
void OrigamiMasterTask::ThrowFrom(int hand, double fromX, double fromY, int row, double targetX, double targetY) {
  CreateTask<ThrownOrigamiTask>(PixelOf(fromX), PixelOf(fromY), row, hand == kLeftHand ? 1 : 0, &FrogCount(), targetX,
                                targetY, kThrowSpeed, false, this);
  if (HandyOrigamiTask* p = Paper(hand)) p->hitMask = 2;
}

bool OrigamiMasterTask::PiecesIdle() const {
  int sum = 0;
  for (const auto& piece : pieces) {
    BigOrigamiTask* p = piece.get();
    if (!p) return false;
    sum += p->hitMask;
  }
  return sum == kPieceCount * kPieceIdle;
}

void OrigamiMasterTask::SetPieceStates(int state, int except) {
  for (int i = 0; i < kPieceCount; ++i) {
    if (i == except) continue;
    if (BigOrigamiTask* p = pieces[i].get()) p->hitMask = state;
  }
}

void OrigamiMasterTask::SmokeHeldPapers() {
  for (int hand : {kLeftHand, kRightHand}) {
    HandyOrigamiTask* p = Paper(hand);
    if (p && p->visible) p->hitMask = 3;
  }
}

void OrigamiMasterTask::Update() {
  int& state = hitMask;
  MasterTakeHit(*this);
  if (life <= 0 && state < kDying) {
    MasterStartDeath();
    counter = 0;
    effectX = 0;
    effectY = kCloudRowBody;
    state = kDying;
  }
  switch (state) {
    case kWaiting: Waiting(); break;
    case kWaking: Waking(); break;
    case kThrowing: Throwing(); break;
    case kWalking: Walking(); break;
    case kClouding: Clouding(); break;
    case kSplitting: Splitting(); break;
    case kJumping: Jumping(); break;
    case kReforming: Reforming(); break;
    case kWalkingWithPieces: WalkingWithPieces(); break;
    case kSplittingAgain: SplittingAgain(); break;
    case kDying: Dying(); break;
    default: break;
  }
  if (!finished) EndMasterUpdate(*this);
}

void OrigamiMasterTask::Waiting() {
  if (ScrollTaken) {
    MasterWake(*this);
    leftFrame = kLeftRest;
    rightFrame = kRightRest;
    counter = 0;
    hitMask = kWaking;
    SmokeHeldPapers();
    PlayBGM("./bgm/boss2.pttune", 1);
    return;
  }
  const int other = 1 - handChoice;
  auto throwPlane = [&](int hand) {
    double fromX = hand == kLeftHand ? x + kWaitThrowX : x + width - kWaitThrowX;
    ThrowFrom(hand, fromX, y + kThrowY, kPlaneRow, PlayerX + 16, PlayerY);
  };
  switch (counter) {
    case kWaitRaiseAt:
      leftFrame = kLeftRaised;
      rightFrame = kRightRaised;
      break;
    case kWaitPapersAt:
      PlaySoundEffect(kSeGetout);
      ArmPaper(kLeftHand, kPlaneRow);
      ArmPaper(kRightHand, kPlaneRow);
      break;
    case kWaitHoldAt:
      if (HandyOrigamiTask* p = Paper(handChoice)) p->hitMask = 1;
      if (handChoice == kLeftHand) {
        leftFrame = kLeftHolding;
      } else {
        rightFrame = kRightHolding;
      }
      break;
    case kWaitThrowAt:
      if (Paper(kLeftHand) && Paper(kRightHand)) {
        if (handChoice == kLeftHand) {
          leftFrame = kLeftThrown;
          rightFrame = kRightHolding;
        } else {
          leftFrame = kLeftHolding;
          rightFrame = kRightThrown;
        }
        throwPlane(handChoice);
        if (HandyOrigamiTask* p = Paper(other)) p->hitMask = 1;
      }
      break;
    case kWaitSecondThrowAt:
      if (Paper(other)) {
        if (other == kRightHand) {
          leftFrame = kLeftRest;
          rightFrame = kRightThrown;
        } else {
          leftFrame = kLeftThrown;
          rightFrame = kRightRest;
        }
        throwPlane(other);
      }
      break;
    case kWaitRestAt:
      leftFrame = kLeftRest;
      rightFrame = kRightRest;
      handChoice = other;
      break;
    case kWaitLoopEnd:
      counter = kWaitLoopStart;
      break;
    default:
      break;
  }
}

void OrigamiMasterTask::Waking() {
  if (!MasterWakingStep(*this, brightness)) return;
  handChoice = kBothHands;
  counter = 0;
  hitMask = kThrowing;
  work[0] = BodyCenterX() > PlayerX + 16 ? kWakeWalkSpeed : -kWakeWalkSpeed;
}

void OrigamiMasterTask::Throwing() {
  if (life <= kHalfLife) {
    SmokeHeldPapers();
    PlaySoundEffect(kSeDefeat);
    counter = 0;
    leftFrame = kLeftRest;
    rightFrame = kRightRest;
    hitMask = kClouding;
    return;
  }
  const bool left = handChoice == kLeftHand || handChoice == kBothHands;
  const bool right = handChoice == kRightHand || handChoice == kBothHands;
  switch (counter) {
    case kThrowRaiseAt:
      if (left) leftFrame = kLeftRaised;
      if (right) rightFrame = kRightRaised;
      break;
    case kThrowPapersAt:
      PlaySoundEffect(kSeGetout);
      if (left) ArmPaper(kLeftHand, throwRow);
      if (right) ArmPaper(kRightHand, throwRow);
      break;
    case kThrowHoldAt:
      if (left) {
        if (HandyOrigamiTask* p = Paper(kLeftHand)) p->hitMask = 1;
        leftFrame = kLeftHolding;
      }
      if (right) {
        if (HandyOrigamiTask* p = Paper(kRightHand)) p->hitMask = 1;
        rightFrame = kRightHolding;
      }
      break;
    case kThrowAt: {
      const bool frog = throwRow == kFrogRow;
      if (left) {
        double tx = frog ? x - kFrogAimX : PlayerX + 16;
        double ty = frog ? y + kFrogAimY : PlayerY;
        ThrowFrom(kLeftHand, x, y + kThrowY, throwRow, tx, ty);
        leftFrame = kLeftThrown;
      }
      if (right) {
        double tx = frog ? x + width + kFrogAimX : PlayerX + 16;
        double ty = frog ? y + kFrogAimY : PlayerY;
        ThrowFrom(kRightHand, x + width - kWaitThrowX, y + kThrowY, throwRow, tx, ty);
        rightFrame = kRightThrown;
      }
      break;
    }
    case kThrowEndAt:
      leftFrame = kLeftRest;
      rightFrame = kRightRest;
      counter = 0;
      hitMask = kWalking;
      break;
    default:
      break;
  }
}

void OrigamiMasterTask::Walking() {
  if (life <= kHalfLife) {
    counter = 0;
    leftFrame = kLeftRest;
    rightFrame = kRightRest;
    hitMask = kClouding;
    return;
  }
  double& speed = work[0];
  if (counter % 2 == 0) {
    x += speed;
    // Turning only toward the room keeps a master that starts at a wall from jittering.
    if ((x <= kWallLeft && speed < 0) || (x + width >= kWallRight && speed > 0)) speed = -speed;
  }
  if (counter == kWalkTime) {
    counter = 0;
    hitMask = kThrowing;
    double c = BodyCenterX();
    handChoice = c < kChoiceRightBelow ? kRightHand : c <= kChoiceLeftAbove ? kBothHands : kLeftHand;
    throwRow = FrogCount() > 1 ? kPlaneRow : kFrogRow;
  }
}

void OrigamiMasterTask::Clouding() {
  double& turn = work[2];
  if (counter == kCloudStartAt) {
    leftFrame = kLeftRaised;
    rightFrame = kRightRaised;
    turn = kCloudTurn;
    effectMode = 2;
    return;
  }
  if (counter < kCloudStartAt) return;
  effectAngle += turn;
  effectScale = std::min(effectScale + kCloudGrow, 1.0);
  if (effectScale > kCloudSlowFrom) turn = turn > kCloudTurnSlow ? turn * kCloudSlowing : kCloudTurnSlow;
  if (effectAngle > kPi / 2) {
    effectAngle = 0.0;
    if (turn == kCloudTurnSlow) {
      counter = 0;
      hitMask = kSplitting;
    }
  }
}

void OrigamiMasterTask::Splitting() {
  if (counter >= kSplitFrom && (counter - kSplitFrom) % kSplitPeriod == 0) {
    effectX += kCloudSize;
    if (effectX >= 4 * kCloudSize) {
      effectX = kCloudSize;
      effectY = kCloudRowPieces;
    }
    if (effectX == 2 * kCloudSize && effectY == kCloudRowBody) {
      effectMode = 1;
      hitShape = kHitNone;
    }
  }
  if (effectX == 3 * kCloudSize && effectY == kCloudRowPieces) {
    for (int i = 0; i < kPieceCount; ++i) {
      if (!pieces[i]) {
        pieces[i].reset(CreateTask<BigOrigamiTask>(PixelOf(BodyCenterX()), PixelOf(y) + kCloudY,
                                                   kColumnLeft + kColumnStep * i));
      }
    }
    visible = 0;
  }
  if (PiecesIdle()) {
    counter = 0;
    hitMask = kJumping;
  }
}

void OrigamiMasterTask::Jumping() {
  for (int at : kJumpAt) {
    if (counter != at) continue;
    int r = GetRandRange(kPieceCount - 1);
    SetPieceStates(kPieceJump, r);
    if (BigOrigamiTask* p = pieces[(r + 1) % kPieceCount].get()) p->crashSound = 1;
    PlaySoundEffect(kSeRolling);
  }
  if (counter <= kJumpAt[0] || !PiecesIdle()) return;
  if (counter < kSecondCycle) {
    counter = kSecondCycle;
  } else if (counter > kJumpAt[1] && counter < kThirdCycle) {
    counter = kThirdCycle;
  } else if (counter > kJumpAt[2]) {
    counter = 0;
    hitMask = kReforming;
    returnColumn = GetRandRange(kPieceCount - 1);
  }
}

void OrigamiMasterTask::Reforming() {
  if (counter == kReformAt) {
    int p[3] = {0, 1, 2};
    for (int i = 1; i < 3; ++i) std::swap(p[i], p[GetRandRange(i)]);
    visible = 1;
    effectMode = 1;
    x = kColumnStep * returnColumn - width / 2 + kColumnLeft;
    SetPieceStates(kPieceGather + returnColumn, -1);
    for (int i = 0; i < 3; ++i) {
      if (i == returnColumn) continue;
      if (BigOrigamiTask* piece = pieces[i].get()) piece->goalY = kStackBottom - kStackStep * p[i];
    }
    if (returnColumn != 3) {
      if (BigOrigamiTask* piece = pieces[3].get()) piece->goalY = kStackBottom - kStackStep * p[returnColumn];
    }
    return;
  }
  if (counter < kReformAt) return;
  if (counter % kReformPeriod == 0) {
    if (effectX > 0) effectX -= kCloudSize;
    if (effectX < kCloudSize && effectY == kCloudRowPieces) {
      effectX = 3 * kCloudSize;
      effectY = kCloudRowBody;
    }
    if (effectX <= kCloudSize && effectY == kCloudRowBody) {
      effectMode = 2;
      hitShape = kHitBox;
    }
  }
  if (effectX == 0 && effectY == kCloudRowBody && PiecesIdle()) {
    SetPieceStates(kPieceScatter, returnColumn);
    counter = 0;
    hitMask = kWalkingWithPieces;
    work[0] = BodyCenterX() <= PlayerX + 16 ? -kPieceWalkSpeed : kPieceWalkSpeed;
  }
}

void OrigamiMasterTask::WalkingWithPieces() {
  double& speed = work[0];
  if (counter <= kPieceWalkTime) {
    x += speed;
    double c = BodyCenterX();
    if ((c < kCentreLeft && speed < 0) || (c > kCentreRight && speed > 0)) speed = -speed;
  }
  if (counter == kPieceWalkTime + 1) {
    SetPieceStates(kPieceReturn, -1);
    counter = 0;
    hitMask = kSplittingAgain;
  }
}

void OrigamiMasterTask::SplittingAgain() {
  if (counter > kReturnAfter && counter % kReformPeriod == 0) {
    if (effectX == 3 * kCloudSize && effectY == kCloudRowBody) {
      effectX = kCloudSize;
      effectY = kCloudRowPieces;
    } else if (effectX < 3 * kCloudSize) {
      effectX += kCloudSize;
    }
    if (effectX == 2 * kCloudSize && effectY == kCloudRowBody) {
      effectMode = 1;
      hitShape = kHitNone;
    }
  }
  if (PiecesIdle()) {
    for (auto& piece : pieces) {
      if (BigOrigamiTask* p = piece.get()) p->visible = 1;
    }
    visible = 0;
    counter = 0;
    hitMask = kJumping;
  }
}

void OrigamiMasterTask::Dying() {
  if (effectScale > 0.0) {
    effectAngle += kCloudTurn;
    if (effectAngle > kPi / 2) effectAngle -= kPi / 2;
    effectScale -= kCloudGrow;
  }
  if (effectScale <= 0.0) {
    effectScale = 0.0;
    effectMode = 0;
  }
  // The shower keeps 8 pixels off each side of the body.
  MasterDyingStep(*this, fade, {8, width - 16, 0, height - 16});
}

void OrigamiMasterTask::Draw() {
  const int px = PixelOf(x), py = PixelOf(y);
  if (effectMode == 1 || effectMode == 2) {
    GfxDrawRectRotateGraph(px + width / 2, py + kCloudY, effectX, effectY, kCloudSize, kCloudSize, effectScale,
                           effectAngle, image, 1, 0);
  }
  if (effectMode == 1) return;
  BeginMasterDraw(*this, brightness, fade);
  GfxDrawRectPartGraph(px, py, leftFrame, srcY, kHalfWidth, height, image, 1, flip);
  GfxDrawRectPartGraph(px + kRightHalfX, py, rightFrame, srcY, kHalfWidth, height, image, 1, flip);
  if (leftFrame == kLeftThrown) {
    GfxDrawRectPartGraph(px + kLeftStripAt, py, kLeftStripX, srcY, kLeftStripW, height, image, 1, flip);
  }
  if (rightFrame == kRightThrown) {
    GfxDrawRectPartGraph(px + kRightStripAt, py, kRightStripX, srcY, kRightStripW, height, image, 1, flip);
  }
  EndMasterDraw();
}
