#include "game/masters/shodo_weapons.h"

#include <algorithm>
#include <cmath>

#include "game/playfield/blocks_items.h"
#include "game/playfield/collision.h"
#include "game/gfx.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"

namespace {

constexpr int kWeaponKind = -3;
constexpr int kSheetImage = 8;
constexpr int kFloor = 224;
constexpr int kWallLeft = 12, kWallRight = 228;
constexpr int kCeiling = 8;
constexpr int kSmokeHalf = 16;

constexpr int kSheetSize = 48;
constexpr int kFlickerFrames = 30;
constexpr double kFallGain = 0.2, kFallLimit = 6.0;
constexpr double kShrink = 0.04, kSmallest = 0.1;

// Motion doubles.
constexpr int kVelX = 0, kVelY = 1;

// Fire sheet and its flames (flames from the misc image).
constexpr int kFireSrcX = 64, kFireFallSrcX = 112;
constexpr int kFlameLeftAt = 8, kFlameRightAt = 24;
constexpr int kFlameWidth = 16, kFlameSrcY = 80, kFlameTop = 32, kFlameGrow = 4;
constexpr int kFlameSpreadAt = 8, kFlameHold = 8;

// Thunder: cloud head and bolt pieces are 32 x 32.
constexpr int kThunderSrcX = 160;
constexpr int kBoltPiece = 32, kCloudSrcY = 192, kBoltSrcY = 224, kBoltStrikeFrame = 64;
constexpr double kBoltSpeed = 1.5;
constexpr double kSweepNormal = 432.0, kSweepEasy = 259.2;  // pixels of travel
constexpr int kSweepSlack = 2;
constexpr int kThunderPeriod = 48;
constexpr int kFadeFrames = 30;

// Ice and its shards.
constexpr int kIceSrcX = 256, kIceRadius = 16, kIceLowReach = 16;
constexpr int kIceBlockSrc = 192;
constexpr int kShardSize = 16, kShardSrcX = 192, kShardSrcY = 240, kShardCentre = 8, kShardRadius = 5;
constexpr double kShardSpeed = 4.0;
constexpr double kDegree = 0.017453292519943295;

bool BossBeaten() { return BossGaugeFull < 1; }

void Smoke(double centreX, double centreY) {
  CreateTask<DoronSmokeTask>(PixelOf(centreX) - kSmokeHalf, PixelOf(centreY) - kSmokeHalf);
}

double Fall(double speed) { return speed < kFallLimit ? speed + kFallGain : speed; }

int Flicker(int counter) { return counter / 2 % 2; }

void SetUpSheet(Character& t, int srcX) {
  t.image = GetEnemyImage(kSheetImage);
  t.width = kSheetSize;
  t.height = kSheetSize;
  t.srcX = srcX;
  t.srcY = 0;
}

}  // namespace

ShodoFirePaperTask::ShodoFirePaperTask(int x, int y) : Character(kWeaponKind, x, y) {
  SetUpSheet(*this, kFireSrcX);
  hitShape = kHitBox;
  hitX = 8;
  hitY = 3;
  hitW = 32;
  hitH = 42;
  Join(kLayerBossPart);
}

void ShodoFirePaperTask::Update() {
  if (BossBeaten()) {
    Smoke(x + width / 2, y + height / 2);
    finished = 1;
    return;
  }
  int& state = hitMask;
  switch (state) {
    case 0:
      srcX = kFireSrcX + kSheetSize * Flicker(counter);
      if (counter >= kFlickerFrames) {
        srcX = kFireFallSrcX;
        counter = 0;
        state = 1;
      }
      break;
    case 1:
      work[kVelY] = Fall(work[kVelY]);
      y += work[kVelY];
      if (y + height > kFloor) {
        if (height == kSheetSize) {
          CreateTask<ShodoFirePaperFireTask>(PixelOf(x) + kFlameLeftAt, false);
          CreateTask<ShodoFirePaperFireTask>(PixelOf(x) + kFlameRightAt, true);
          PlaySoundEffect(kSeFire);
        }
        height = PixelOf(kFloor - y);
        if (height < 1) finished = 1;
      }
      break;
    default:
      break;
  }
  hitCode = 0;
  ++counter;
}

ShodoFirePaperFireTask::ShodoFirePaperFireTask(int x, bool runsRight) : Character(kWeaponKind, x, kFloor) {
  image = MiscImage;
  width = kFlameWidth;
  height = 0;
  srcX = 0;
  srcY = kFlameSrcY;
  hitShape = kHitBox;
  hitX = 2;
  hitY = 8;
  hitW = 12;
  hitH = 24;
  step = runsRight ? kFlameWidth : -kFlameWidth;
  Join(kLayerBossPart);
}

void ShodoFirePaperFireTask::Update() {
  if (BossBeaten()) {
    finished = 1;
    return;
  }
  int& state = hitMask;
  if (state == 0) {
    if (height < kFlameTop) {
      height += kFlameGrow;
      y -= kFlameGrow;
      int next = PixelOf(x) + step;
      if (height == kFlameSpreadAt && kWallLeft < next + kFlameWidth / 2 && next + kFlameWidth / 2 < kWallRight) {
        CreateTask<ShodoFirePaperFireTask>(next, step > 0);
      }
    } else if (++waited > kFlameHold) {
      state = 1;
    }
  }
  if (state == 1) {
    height -= kFlameGrow;
    y += kFlameGrow;
    if (height <= 0) finished = 1;
  }
  srcX = Flicker(counter) * kFlameWidth;
  hitCode = 0;
  ++counter;
}

ShodoThunderPaperTask::ShodoThunderPaperTask(int x, int y) : Character(kWeaponKind, x, y) {
  SetUpSheet(*this, kThunderSrcX);
  hitShape = kHitNone;  // harmless until the bolt strikes
  Join(kLayerBossPart);
}

void ShodoThunderPaperTask::Update() {
  if (BossBeaten()) {
    Smoke(x, y);
    finished = 1;
    return;
  }
  int& state = hitMask;
  switch (state) {
    case 0:
      srcX = kThunderSrcX + kSheetSize * Flicker(counter);
      boltFrameX = kBoltPiece * Flicker(counter);
      if (scale > kSmallest) scale -= kShrink;
      if (counter >= kFlickerFrames) {
        boltFrameX = kBoltStrikeFrame;
        hitShape = kHitBox;
        hitX = -2;
        hitY = 0;
        hitW = 4;
        hitH = std::max(0, PixelOf(kFloor - y));
        work[kVelX] = x < PlayerX + 16 ? kBoltSpeed : -kBoltSpeed;
        counter = 0;
        state = 1;
      }
      break;
    case 1: {
      double travel = Settings.difficulty == 0 ? kSweepEasy : kSweepNormal;
      if (counter - kSweepSlack > travel / std::abs(work[kVelX])) {
        boltFrameX = kBoltPiece;
        hitH = 1;
        counter = 0;
        state = 2;
        break;
      }
      boltFrameX = kBoltPiece * (counter / 2 % 4 + 2);
      x += work[kVelX];
      if ((x < kWallLeft && work[kVelX] < 0.0) || (x > kWallRight && work[kVelX] > 0.0)) work[kVelX] = -work[kVelX];
      if (counter % kThunderPeriod == 1) PlaySoundEffect(kSeThunder);
      break;
    }
    case 2:
      boltFrameX = kBoltPiece * Flicker(counter);
      if (counter >= kFadeFrames) finished = 1;
      break;
    default:
      break;
  }
  hitCode = 0;
  ++counter;
}

void ShodoThunderPaperTask::Draw() {
  int px = PixelOf(x), py = PixelOf(y);
  if (scale > kSmallest) GfxDrawRectRotateGraph(px, py, srcX, srcY, width, height, scale, 0.0, image, 1, flip);
  GfxDrawRectPartGraph(px - kBoltPiece / 2, py - kBoltPiece / 2, boltFrameX, kCloudSrcY, kBoltPiece, kBoltPiece, image,
                       1, 0);
  if (boltFrameX < kBoltStrikeFrame) return;
  for (int top = py + kBoltPiece / 2; top < kFloor; top += kBoltPiece) {
    int h = std::min(kBoltPiece, kFloor - top);
    GfxDrawRectPartGraph(px - kBoltPiece / 2, top, boltFrameX, kBoltSrcY, kBoltPiece, h, image, 1, 0);
  }
}

ShodoIcePaperTask::ShodoIcePaperTask(int x, int y) : Character(kWeaponKind, x, y) {
  SetUpSheet(*this, kIceSrcX);
  hitShape = kHitCircle;
  hitX = 0;
  hitY = 0;
  hitW = kIceRadius;
  Join(kLayerBossPart);
}

void ShodoIcePaperTask::Update() {
  if (BossBeaten()) {
    Smoke(x, y);
    finished = 1;
    return;
  }
  int& state = hitMask;
  switch (state) {
    case 0:
      srcX = kIceSrcX + kSheetSize * Flicker(counter);
      if (scale > kSmallest) scale -= kShrink;
      iceScale = std::min(1.0, iceScale + kShrink);
      iceShown = counter % 4 < 2 ? 1 : 0;
      if (counter >= kFlickerFrames) {
        iceShown = 1;
        state = 1;
      }
      break;
    case 1:
      work[kVelY] = Fall(work[kVelY]);
      y += work[kVelY];
      if (y + kIceLowReach > kFloor) {
        PlaySoundEffect(kSeHitBreak);
        finished = 1;
        const int px = PixelOf(x), py = PixelOf(y);
        const struct {
          int degrees, rise;
        } shards[] = {{-60, 8}, {-30, 16}, {0, 20}, {30, 16}, {60, 8}};
        for (const auto& s : shards) {
          CreateTask<ShodoIcePaperPieceTask>(px, py - s.rise, s.degrees * kDegree, kShardSpeed);
        }
      }
      break;
    default:
      break;
  }
  hitCode = 0;
  ++counter;
}

void ShodoIcePaperTask::Draw() {
  int px = PixelOf(x), py = PixelOf(y);
  if (scale > kSmallest) GfxDrawRectRotateGraph(px, py, srcX, srcY, width, height, scale, 0.0, image, 1, 0);
  if (iceShown) {
    GfxDrawRectRotateGraph(px, py, kIceBlockSrc, kIceBlockSrc, kSheetSize, kSheetSize, iceScale, 0.0, image, 1, 0);
  }
}

ShodoIcePaperPieceTask::ShodoIcePaperPieceTask(int x, int y, double angle, double speed)
    : Character(kWeaponKind, x, y) {
  image = GetEnemyImage(kSheetImage);
  width = kShardSize;
  height = kShardSize;
  srcX = kShardSrcX;
  srcY = kShardSrcY;
  hitShape = kHitCircle;
  hitX = kShardCentre;
  hitY = kShardCentre;
  hitW = kShardRadius;
  Point2 d = RotatePoint(x, y - 1.0, x, y, angle);
  directionX = d.x;
  directionY = d.y;
  Point2 v = VectorToward(x, y, d.x, d.y, speed);
  work[kVelX] = v.x;
  work[kVelY] = v.y;
  Join(kLayerBullet);
}

void ShodoIcePaperPieceTask::Update() {
  if (BossBeaten() || hitCode == 1 || hitCode == 9) {
    finished = 1;
    return;
  }
  x += work[kVelX];
  y += work[kVelY];
  work[kVelY] = Fall(work[kVelY]);
  double cx = x + hitX, cy = y + hitY;
  if (cx - hitW < kWallLeft || cx + hitW > kWallRight || cy - hitW < kCeiling || cy + hitW > kFloor) finished = 1;
  hitCode = 0;
  ++counter;
}
