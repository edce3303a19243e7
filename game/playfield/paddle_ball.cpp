#include "game/playfield/paddle_ball.h"

#include "engine/draw/draw.h"
#include "engine/system/system.h"
#include "game/playfield/blocks_items.h"
#include "game/playfield/collision.h"
#include "game/gfx.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"
#include "game/playfield/stage_scenes.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Paddle: the top two rows of the player's 32-pixel sprite.
constexpr int kPaddleWidth = 32;
constexpr int kPaddleHeight = 2;

// Ball: an 8 x 8 sprite of "player.png", 24 x 24 while it spins.
constexpr int kBallSize = 8;
constexpr int kBallSrcX = 144, kBallSrcY = 64;
constexpr int kSpinSize = 24;
constexpr int kSpinSrcX = 144, kSpinSrcY = 72;
constexpr int kBallRadius = 4;
constexpr int kHeadOffsetX = 16;  // the ball rests at (PlayerX + 16, PlayerY - 8)
constexpr int kHeadOffsetY = -8;

constexpr int kAlphaStep = 12;
constexpr int kOpaque = 255;
constexpr double kBaseSpeed = 2.0;
constexpr double kSlashSpeed = 3.0;
constexpr double kDashSpeed = 4.0;
constexpr int kBoostFrames = 60;
constexpr int kFloorBlinkFrames = 20;
constexpr int kDefeatBlinkFrames = 120;
constexpr int kReturnFrames = 18;
constexpr int kShotEvery = 3;

constexpr int kWallLeft = 12;
constexpr int kWallRight = 228;
constexpr int kCeiling = 8;
constexpr int kFloor = 224;

constexpr double kLaunchAngle = kPi / 6;
constexpr double kStrikeAngle = kPi / 3;

// Ball shot: 8 x 8, flies up 6 pixels a frame.
constexpr int kShotSrcX = 152, kShotSrcY = 64;
constexpr int kShotRise = 6;

bool MovingDown(double angle) { return angle > kPi / 2 || angle < -kPi / 2; }

// Reflection off a floor or a ceiling.
double FlipVertical(double angle) { return angle > 0 ? kPi - angle : -kPi - angle; }

// The angle a ball leaves the paddle at, by where it lands: d from the paddle's centre.
double PaddleAngle(double d) {
  if (d < -11) return -kPi / 4;
  if (d < -6) return -kPi / 6;
  if (d < 0) return -kPi / 12;
  if (d < 6) return kPi / 12;
  if (d < 11) return kPi / 6;
  return kPi / 4;
}

}  // namespace

PaddleTask::PaddleTask() : Character(-1, PixelOf(PlayerX), PixelOf(PlayerY)) {
  image = PlayerImage;
  width = hitW = kPaddleWidth;
  height = hitH = kPaddleHeight;
  visible = 0;
  Join(kLayerPaddle);
}

void PaddleTask::Update() {
  x = PlayerX;
  y = PlayerY;
  hitShape = PlayerPose == 0 || PlayerPose == 192 ? kHitBox : kHitNone;
  if (Health < 1) finished = 1;
}

BallTask::BallTask() : Character(-1, PixelOf(PlayerX + kHeadOffsetX), PixelOf(PlayerY + kHeadOffsetY)) {
  image = PlayerImage;
  UseSmallSprite();
  hitShape = kHitCircle;
  hitW = kBallRadius;
  Join(kLayerBall);
}

void BallTask::UseSmallSprite() {
  width = height = kBallSize;
  srcX = kBallSrcX;
  srcY = kBallSrcY;
}

void BallTask::Update() {
  switch (state) {
    case kHeld:
      if (alpha < kOpaque) {
        alpha += kAlphaStep;
      } else if (BossPhase == 4) {
        // waits while the boss changes
      } else if (BossPhase == 5) {
        UseSmallSprite();
        state = kVanishing;
        blinkTime = 0;
      } else {
        alpha = kOpaque;
        if (NormalBlockCount > 0 && ButtonPressed(Settings.padAttack)) {
          BallAngle = PlayerFlip == 0 ? kLaunchAngle : -kLaunchAngle;
          counter = 0;
          BallSpeed = kBaseSpeed;
          state = kFlying;
        }
      }
      x = PlayerX + kHeadOffsetX;
      y = PlayerY + kHeadOffsetY;
      break;
    case kFlying:
      UpdateFlying();
      break;
    case kVanishing:
      if (blinkTime == 0) {
        alpha -= kAlphaStep;
        if (alpha < 1) {
          alpha = 0;
          finished = 1;
        }
      }
      break;
    case kReturning: {
      double t = static_cast<double>(counter) / kReturnFrames;
      x = startX + (PlayerX + kHeadOffsetX - startX) * t;
      y = startY + (PlayerY + kHeadOffsetY - startY) * t;
      if (counter == kReturnFrames) state = kShooting;
      break;
    }
    case kShooting:
      if (counter % kShotEvery == 0) CreateTask<BallShotTask>(PixelOf(x - 4), PixelOf(y - 4));
      x = PlayerX + kHeadOffsetX;
      y = PlayerY + kHeadOffsetY;
      srcX = (counter / 2 % 4 + 6) * kSpinSize;
      if (srcX == 216) srcX = 168;  // the cycle 144, 168, 192, 168
      if (Health < 1) {
        UseSmallSprite();
        state = kVanishing;
        blinkTime = kDefeatBlinkFrames;
      } else if (BossPhase == 4) {
        UseSmallSprite();
        state = kHeld;
      } else if (NormalBlockCount == 0 && EnemyBlockCount == 0 && (BossPhase == 0 || BossPhase == 3)) {
        UseSmallSprite();
        state = kHeld;
        CreateTask<StageClearTask>(false);
      }
      break;
    default:
      break;
  }
  if (blinkTime > 0) --blinkTime;
  ++counter;
  hitCode = 0;
  hitMask = 0;
}

void BallTask::UpdateFlying() {
  const double d = x - (PlayerX + kHeadOffsetX);
  const bool down = MovingDown(BallAngle);
  if (hitCode == 5) {
    // A block: the faces it reported this frame.
    if (((hitMask & kFaceLeft) && BallAngle > 0) || ((hitMask & kFaceRight) && BallAngle < 0)) BallAngle = -BallAngle;
    if (hitMask & kFaceTop) {
      if (BallAngle > kPi / 2) {
        BallAngle = kPi - BallAngle;
      } else if (BallAngle < -kPi / 2) {
        BallAngle = -kPi - BallAngle;
      }
    } else if (hitMask & kFaceBottom) {
      BallAngle = FlipVertical(BallAngle);
    }
  } else if (hitCode == 2 && down) {
    BallAngle = PaddleAngle(d);
    PlaySoundEffect(kSeHitPaddle);
  } else if (hitCode == 4) {
    if (!(BallSpeed >= kSlashSpeed && !down)) {
      boostTime = kBoostFrames;
      BallSpeed = kSlashSpeed;
      BallAngle = d >= 0 ? kStrikeAngle : -kStrikeAngle;
      PlaySoundEffect(kSeHitPaddle);
    }
  } else if (hitCode == 1) {
    if (PlayerPose == 128) {
      if (!(BallSpeed >= kDashSpeed && !down)) {
        boostTime = kBoostFrames;
        BallSpeed = kDashSpeed;
        BallAngle = PlayerFlip == 0 ? kStrikeAngle : -kStrikeAngle;
        PlaySoundEffect(kSeHitPaddle);
      }
    } else if (down) {
      // Off the body at random, 15 to 60 degrees to the ball's side of the player.
      int n = d >= 0 ? GetRandRange(3) + 1 : -1 - GetRandRange(3);
      BallAngle = n * kPi / 12;
      PlaySoundEffect(kSeHitPaddle);
    }
  }

  // The shield holds the ball still: no walls, no movement.
  if (PlayerShieldTime == 0) {
    const int r = hitW;
    if (x - r < kWallLeft) {
      if (BallAngle < 0) BallAngle = -BallAngle;
      PlaySoundEffect(kSeHitWall);
    } else if (x + r >= kWallRight) {
      if (BallAngle > 0) BallAngle = -BallAngle;
      PlaySoundEffect(kSeHitWall);
    }
    if (y - r <= kCeiling && BallAngle > -kPi / 2 && BallAngle < kPi / 2) {
      BallAngle = FlipVertical(BallAngle);
      PlaySoundEffect(kSeHitWall);
    } else if (y + r >= kFloor && MovingDown(BallAngle)) {
      BallAngle = FlipVertical(BallAngle);
      if (Health > 0 && PlayerInvincibleTime == 0) Health -= 1;
      blinkTime = kFloorBlinkFrames;
    }
  }

  if (BallAngle != cachedAngle || BallSpeed != cachedSpeed) {
    cachedAngle = BallAngle;
    cachedSpeed = BallSpeed;
    Point2 ahead = RotatePoint(x, y - 100.0, x, y, BallAngle);
    Point2 v = VectorToward(x, y, ahead.x, ahead.y, BallSpeed);
    vx = v.x;
    vy = v.y;
  }
  if (PlayerShieldTime == 0) {
    x += vx;
    y += vy;
  }
  if (boostTime == 0) {
    BallSpeed = kBaseSpeed;
  } else {
    --boostTime;
  }

  if (Health < 1) {
    state = kVanishing;
    blinkTime = kDefeatBlinkFrames;
  } else if (ScrollTaken) {
    startX = x;
    startY = y;
    hitShape = kHitNone;
    blinkTime = 0;
    PlayerShieldTime = 0;
    width = height = kSpinSize;
    srcX = kSpinSrcX;
    srcY = kSpinSrcY;
    counter = 0;
    state = kReturning;
  }
}

void BallTask::Draw() {
  if (alpha < kOpaque) {
    // Eight copies close in on the ball as it fades in (and spread as it fades out).
    GfxSetDrawBlendMode(BlendMode::Alpha, alpha);
    const int distance = (kOpaque - alpha) / 2;
    for (int i = 0; i < 8; ++i) {
      Point2 p = RotatePoint(x, y - distance, x, y, -(counter + kPi / 180 + i * kPi / 4));
      GfxDrawRectPartGraph(PixelOf(p.x - 4), PixelOf(p.y - 4), srcX, srcY, width, height, image, 1, 0);
    }
    GfxSetDrawBlendMode(BlendMode::None, 0);
    return;
  }
  if (blinkTime > 0 && !Paused) {
    GfxSetDrawBrightness(255, 32, 32);
    int r1 = GetRandRange(6);
    int r2 = GetRandRange(6);
    GfxDrawRectPartGraph(PixelOf(x + r1 - 7), PixelOf(y + r2 - 7), srcX, srcY, width, height, image, 1, 0);
    GfxSetDrawBrightness(255, 255, 255);
    return;
  }
  // The ball blinks during the shield's last 90 frames.
  if (PlayerShieldTime > 0 && !(PlayerShieldTime % 4 < 2 || PlayerShieldTime > 90)) return;
  GfxDrawRectPartGraph(PixelOf(x - width / 2), PixelOf(y - width / 2), srcX, srcY, width, height, image, 1, 0);
}

BallShotTask::BallShotTask(int x, int y) : Character(-1, x, y) {
  image = PlayerImage;
  width = height = kBallSize;
  srcX = kShotSrcX;
  srcY = kShotSrcY;
  hitShape = kHitCircle;
  hitX = hitY = kBallRadius;
  hitW = kBallRadius;
  attackPower = 1;
  Join(kLayerAttack);
}

void BallShotTask::Update() {
  if (hitCode == 5 || hitCode == 6 || y < kCeiling) {
    finished = 1;
  } else {
    y -= kShotRise;
  }
  hitCode = 0;
}
