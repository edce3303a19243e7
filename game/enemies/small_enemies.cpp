#include "game/enemies/small_enemies.h"

#include "engine/draw/draw.h"
#include "game/playfield/collision.h"
#include "game/gfx.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"

namespace {

constexpr int kEnemyKind = -2;
constexpr int kMissileKind = -3;
constexpr int kWallLeft = 12;
constexpr int kWallRight = 228;
constexpr int kCeiling = 8;
constexpr int kFloor = 224;

// Foot soldier (enemy sheet 1): 32 x 40, one row per kind.
constexpr int kSoldierSheet = 1;
constexpr int kSoldierY = 184;
constexpr int kSoldierWidth = 32, kSoldierHeight = 40;
constexpr int kPlainRowY = 0, kFlagRowY = 40, kKatanaRowY = 80;
constexpr int kSoldierLife[2] = {3, 6};  // EASY, NORMAL
constexpr int kWalkFrames = 5, kWalkFrameTime = 4;
constexpr int kLungeReach = 80;
constexpr double kLungeSpeed = 4.0;
constexpr double kLungeSlowing = 0.2;
constexpr int kLungeRaiseAt = 6, kLungeSwingAt = 16, kLungeGoAt = 26, kLungeRecoverAt = 24;
constexpr int kLungeRaiseX = 160, kLungeSwingX = 192, kLungeStrikeX = 224;
constexpr int kFlagOffsetRight = 13, kFlagOffsetLeft = 3;
constexpr int kKatanaOffset = 32;

constexpr int kFlagY = 144;
constexpr int kKatanaY = 193;
constexpr int kKatanaSwungY = 16;
constexpr int kKatanaSwingAt = 6;

// Purple ninja (enemy sheet 2): 32 x 40.
constexpr int kNinjaSheet = 2;
constexpr int kPurpleLife[2] = {4, 8};
constexpr int kPurpleWait = 70, kPurpleThrowAt = 20, kPurpleThrowEnd = 30;
constexpr double kPurpleStarSpeed = 3.0;

// Red ninja (enemy sheet 2): 48 x 40 at row 40.
constexpr int kRedLife[2] = {3, 6};
constexpr double kRedBobCentre = 120.0;
constexpr double kRedBobPull = 0.05;
constexpr double kRedBobScale = 0.25;
constexpr int kRedCycle = 140, kRedChargeAt = 40, kRedThrowAt = 80, kRedRestAt = 92;

// Wrestler (enemy sheet 3): 32 x 56, 48 wide while jumping.
constexpr int kSumouSheet = 3;
constexpr int kSumouY = 168;
constexpr int kSumouLife[2] = {6, 12};
constexpr int kSumouWalkFrameTime = 6;
constexpr int kSumouWalkTime = 75;
constexpr int kSumouJumpWidth = 48;
constexpr int kSumouJumpRowY = 56;
constexpr int kSumouCrouchAt = 6, kSumouLeapAt = 16, kSumouRecoverAt = 20;
constexpr double kSumouLeapX = 3.0, kSumouLeapY = -4.0;

constexpr double kGravity = 0.3;
constexpr double kFallLimit = 8.0;

// Missiles from "misc.png" and "player.png".
constexpr int kStarSize = 16, kStarSrcY = 64, kStarFrames = 3, kStarFrameTime = 3;
constexpr int kBombSrcX = 48, kBombSrcY = 64;
constexpr int kFlameSrcY = 80, kFlameWidth = 16, kFlameMaxHeight = 32, kFlameStep = 8, kFlameBurnTime = 120;
constexpr int kKnifeSrcPlayer = 216, kKnifeSrcEnemy = 224, kKnifeSrcY = 64;
constexpr int kKnifeHalfLength = 8;
constexpr int kKnifePower = 5;

int Difficulty() { return Settings.difficulty == 0 ? 0 : 1; }

void SetUpEnemy(Character& t, int sheet, int w, int h, int hx, int hy, int hw, int hh, int32_t life) {
  t.image = GetEnemyImage(sheet);
  t.width = w;
  t.height = h;
  t.hitX = hx;
  t.hitY = hy;
  t.hitW = hw;
  t.hitH = hh;
  t.life = life;
  t.score = life / 2 * 100;
  t.flip = PlayerX <= t.x ? 1 : 0;
}

// Turns at the walls before a step.
void WallTurn(Character& t) {
  double left = t.x + t.hitX;
  if (left <= kWallLeft) {
    t.flip = 0;
  } else if (left + t.hitW >= kWallRight) {
    t.flip = 1;
  }
}

void EndEnemyUpdate(Character& t) {
  t.hitCode = 0;
  if (t.flashTimer > 0) --t.flashTimer;
  ++t.counter;
}

}  // namespace

void DrawEnemy(const Character& enemy, int32_t maxLife) {
  if (enemy.flashTimer > 0) GfxSetDrawBlendMode(BlendMode::InvertedAlpha, 255);
  GfxDrawRectPartGraph(PixelOf(enemy.x), PixelOf(enemy.y), enemy.srcX, enemy.srcY, enemy.width, enemy.height,
                       enemy.image, 1, enemy.flip);
  GfxSetDrawBlendMode(BlendMode::None, 0);
  DrawGauge(enemy, maxLife, 0);
}

AshigaruFlagTask::AshigaruFlagTask() : Character(kEnemyKind, 0, kFlagY) {
  image = GetEnemyImage(kSoldierSheet);
  width = 16;
  height = 80;
  srcX = 160;
  hitX = 4;
  hitY = 8;
  hitW = 8;
  hitH = 40;
  Join(kLayerBossPart);
}

AshigaruKatanaTask::AshigaruKatanaTask() : Character(kEnemyKind, 0, kKatanaY) {
  image = GetEnemyImage(kSoldierSheet);
  width = 32;
  height = 16;
  srcX = 176;
  hitX = 9;
  hitY = 13;
  hitW = 14;
  hitH = 2;
  hitShape = kHitNone;
  visible = 0;
  Join(kLayerBossPart);
}

void AshigaruKatanaTask::Update() {
  if (hitMask == 0) {
    srcY = 0;
    hitShape = kHitNone;
    visible = 0;
    counter = 0;
    return;
  }
  hitShape = kHitBox;
  visible = 1;
  if (counter == kKatanaSwingAt) srcY = kKatanaSwungY;
  ++counter;
}

AshigaruMarugoshiTask::AshigaruMarugoshiTask(int x, int code) : Character(kEnemyKind, x, kSoldierY) {
  maxLife = kSoldierLife[Difficulty()];
  SetUpEnemy(*this, kSoldierSheet, kSoldierWidth, kSoldierHeight, 8, 8, 16, 32, maxLife);
  srcY = code == 12 ? kFlagRowY : code == 13 ? kKatanaRowY : kPlainRowY;
  Join(kLayerEnemy);
}

AshigaruMarugoshiTask::~AshigaruMarugoshiTask() {
  if (Character* c = companion.get()) c->finished = 1;
}

void AshigaruMarugoshiTask::Update() {
  int& state = hitMask;
  if (!companionMade) {
    if (srcY == kFlagRowY) {
      companion.reset(CreateTask<AshigaruFlagTask>());
    } else if (srcY == kKatanaRowY) {
      companion.reset(CreateTask<AshigaruKatanaTask>());
    }
    companionMade = srcY == kPlainRowY || companion;
  }
  if (hitCode != 0) EnemyTakeHit(*this);
  Character* partner = companion.get();
  if (partner != nullptr && finished) partner->finished = 1;

  const bool katanaSoldier = srcY == kKatanaRowY;
  if (!katanaSoldier || state == 0) {
    WallTurn(*this);
    x += flip ? -1.0 : 1.0;
    srcX = counter / kWalkFrameTime % kWalkFrames * kSoldierWidth;
    if (katanaSoldier && y < PlayerY) {
      bool ahead = flip == 0 ? PlayerX - x < kLungeReach && x < PlayerX : PlayerX - x > -kLungeReach && PlayerX < x;
      if (ahead) {
        counter = 0;
        lungeSpeed = kLungeSpeed;
        state = 1;
        srcX = 0;
      }
    }
  } else if (state == 1) {
    if (counter == kLungeRaiseAt) srcX = kLungeRaiseX;
    if (counter == kLungeSwingAt) srcX = kLungeSwingX;
    if (counter >= kLungeGoAt) {
      srcX = kLungeStrikeX;
      if (partner != nullptr) partner->hitMask = 1;
      double left = x + hitX;
      if (left > kWallLeft && left + hitW < kWallRight) x += flip ? -lungeSpeed : lungeSpeed;
      lungeSpeed -= kLungeSlowing;
      if (lungeSpeed <= 0.0) {
        lungeSpeed = 0.0;
        counter = 0;
        state = 2;
      }
    }
  } else if (state == 2) {
    if (counter == kLungeRecoverAt) {
      if (partner != nullptr) partner->hitMask = 0;
      state = 0;
    }
  }

  if (partner != nullptr) {
    if (srcY == kFlagRowY) {
      partner->x = x + (flip ? kFlagOffsetLeft : kFlagOffsetRight);
    } else {
      partner->x = x + (flip ? -kKatanaOffset : kKatanaOffset);
    }
    partner->flip = flip;
  }
  EndEnemyUpdate(*this);
}

void AshigaruMarugoshiTask::Draw() { DrawEnemy(*this, maxLife); }

PurpleNinjaTask::PurpleNinjaTask(int x) : Character(kEnemyKind, x, kSoldierY) {
  maxLife = kPurpleLife[Difficulty()];
  SetUpEnemy(*this, kNinjaSheet, 32, 40, 8, 12, 16, 28, maxLife);
  Join(kLayerEnemy);
}

void PurpleNinjaTask::Update() {
  int& state = hitMask;
  if (hitCode != 0) EnemyTakeHit(*this);
  if (state == 0) {
    flip = PlayerX <= x ? 1 : 0;
    if (counter == kPurpleWait) {
      srcX = 32;
      state = 1;
      counter = 0;
    }
  } else {
    if (counter == kPurpleThrowAt) {
      srcX = 64;
      if (flip == 0) {
        CreateTask<ShurikinTask>(PixelOf(x) + 16, PixelOf(y) + 12, kPurpleStarSpeed, 0.0);
      } else {
        CreateTask<ShurikinTask>(PixelOf(x), PixelOf(y) + 12, -kPurpleStarSpeed, 0.0);
      }
    }
    if (counter == kPurpleThrowEnd) {
      srcX = 0;
      state = 0;
      counter = 0;
    }
  }
  EndEnemyUpdate(*this);
}

void PurpleNinjaTask::Draw() { DrawEnemy(*this, maxLife); }

RedNinjaTask::RedNinjaTask(int x, int y) : Character(kEnemyKind, x, y) {
  maxLife = kRedLife[Difficulty()];
  SetUpEnemy(*this, kNinjaSheet, 48, 40, 10, 4, 28, 29, maxLife);
  srcY = 40;
  Join(kLayerEnemy);
}

void RedNinjaTask::Update() {
  if (hitCode != 0) EnemyTakeHit(*this);
  WallTurn(*this);
  x += flip ? -1.0 : 1.0;
  y += speedY * kRedBobScale;
  speedY += y > kRedBobCentre ? -kRedBobPull : kRedBobPull;
  int p = counter % kRedCycle;
  if (p == kRedChargeAt) {
    srcX = 48;
    charging = 1;
  } else if (p == kRedThrowAt) {
    charging = 0;
    CreateTask<KatonTask>(PixelOf(x) + 20, PixelOf(y) + 15);
  } else if (p == kRedRestAt) {
    srcX = 0;
  }
  EndEnemyUpdate(*this);
}

void RedNinjaTask::Draw() {
  if (flashTimer > 0) GfxSetDrawBlendMode(BlendMode::InvertedAlpha, 255);
  GfxDrawRectPartGraph(PixelOf(x), PixelOf(y), srcX, srcY, width, height, image, 1, flip);
  GfxSetDrawBlendMode(BlendMode::None, 0);
  // The fire in its hand, never mirrored.
  if (charging && counter % 4 < 2) GfxDrawRectPartGraph(PixelOf(x) + 20, PixelOf(y) + 20, 0, 80, 8, 8, image, 1, 0);
  DrawGauge(*this, maxLife, 0);
}

SumouTask::SumouTask(int x) : Character(kEnemyKind, x, kSumouY) {
  maxLife = kSumouLife[Difficulty()];
  SetUpEnemy(*this, kSumouSheet, 32, 56, 4, 12, 24, 44, maxLife);
  Join(kLayerEnemy);
}

void SumouTask::Update() {
  int& state = hitMask;
  if (hitCode != 0) EnemyTakeHit(*this);
  WallTurn(*this);
  if (state == 0) {
    x += flip ? -1.0 : 1.0;
    srcX = counter / kSumouWalkFrameTime % 5 * 32;
    if (counter == kSumouWalkTime) {
      flip = x <= PlayerX ? 0 : 1;
      width = kSumouJumpWidth;
      srcX = 0;
      srcY = kSumouJumpRowY;
      x -= 8;
      hitX += 8;
      counter = 0;
      state = 1;
    }
  } else if (state == 1) {
    if (counter == kSumouCrouchAt) srcX += kSumouJumpWidth;
    if (counter == kSumouLeapAt) {
      srcX += kSumouJumpWidth;
      speedX = kSumouLeapX;
      speedY = kSumouLeapY;
    }
    if (counter > kSumouLeapAt) {
      if (speedY < kFallLimit) speedY += kGravity;
      if (speedY > 0.0) srcX = kSumouJumpWidth;
    }
    x += flip ? -speedX : speedX;
    y += speedY;
    if (counter > kSumouLeapAt && y + height >= kFloor) {
      counter = 0;
      state = 2;
      y = kFloor - height;
      speedX = speedY = 0.0;
    }
  } else if (state == 2) {
    if (counter == kSumouRecoverAt) {
      srcX = 0;
      srcY = 0;
      width = 32;
      hitX = 4;
      x += 8;
      counter = 0;
      state = 0;
    }
  }
  EndEnemyUpdate(*this);
}

void SumouTask::Draw() { DrawEnemy(*this, maxLife); }

ShurikinTask::ShurikinTask(int x, int y, double targetX, double targetY, double speed)
    : ShurikinTask(x, y, 0.0, 0.0) {
  Point2 v = VectorToward(x, y, targetX, targetY, speed);
  vx = v.x;
  vy = v.y;
}

ShurikinTask::ShurikinTask(int x, int y, double vx, double vy) : Character(kMissileKind, x, y), vx(vx), vy(vy) {
  image = MiscImage;
  width = height = kStarSize;
  srcY = kStarSrcY;
  hitX = hitY = 6;
  hitW = hitH = 4;
  Join(kLayerBullet);
}

void ShurikinTask::Update() {
  if (hitCode == 1 || hitCode == 9) finished = 1;
  x += vx;
  y += vy;
  double left = x + hitX, top = y + hitY;
  if (left < kWallLeft || left + hitW > kWallRight || top < kCeiling || top + hitH >= kFloor) finished = 1;
  srcX = counter / kStarFrameTime % kStarFrames * kStarSize;
  hitCode = 0;
  ++counter;
}

KatonTask::KatonTask(int x, int y) : Character(kMissileKind, x, y) {
  image = MiscImage;
  width = 8;
  height = 16;
  srcX = kBombSrcX;
  srcY = kBombSrcY;
  hitX = 2;
  hitY = 8;
  hitW = 4;
  hitH = 6;
  Join(kLayerBullet);
}

void KatonTask::Update() {
  int& state = hitMask;
  if (state == 0) {
    // Falling: the counter stands still, so the burning starts at counter 0.
    if (hitCode == 1 || hitCode == 9) {
      finished = 1;
      return;
    }
    y += speedY;
    speedY = speedY < kFallLimit ? speedY + kGravity : kFallLimit;
    if (y + hitY + hitH >= kFloor) {
      srcX = 0;
      srcY = kFlameSrcY;
      x -= 4;
      width = kFlameWidth;
      height = kFlameStep;
      y = kFloor - kFlameStep;
      hitX = 2;
      hitY = 8;
      hitW = 12;
      hitH = 24;
      TaskPool_SetLayer(this, kLayerBossPart);
      PlaySoundEffect(kSeFire);
      state = 1;
    }
    hitCode = 0;
    return;
  }
  if (counter < kFlameBurnTime) {
    if (counter % 2 == 1 && height < kFlameMaxHeight) height += kFlameStep;
  } else if (counter % 2 == 1) {
    height -= kFlameStep;
    if (height < 1) finished = 1;
  }
  y = kFloor - height;
  srcX = counter / 2 % 2 * kFlameWidth;
  hitCode = 0;
  ++counter;
}

void KatonTask::Draw() {
  if (hitMask == 0) {
    Character::Draw();
    return;
  }
  int left = PixelOf(x), top = PixelOf(y);
  GfxDrawStretchRectPartGraph(left, top, left + width, top + height, srcX, kFlameSrcY, kFlameWidth, kFlameMaxHeight,
                              image, 1);
}

KunaiShotTask::KunaiShotTask(int x, int y, double angle, double speed, bool enemy) : Character(kMissileKind, x, y) {
  image = PlayerImage;
  width = 3;
  height = 16;
  srcX = enemy ? kKnifeSrcEnemy : kKnifeSrcPlayer;
  srcY = kKnifeSrcY;
  attackPower = kKnifePower;
  Point2 target = enemy ? RotatePoint(x, y + 100.0, x, y, angle) : RotatePoint(BossCenterX, BossCenterY, x, y, angle);
  Point2 v = VectorToward(x, y, target.x, target.y, speed);
  vx = v.x;
  vy = v.y;
  double a = AngleBetween(0.0, -100.0, vx, vy);
  flightAngle = a == kNoAngle ? 0.0 : a;
  // A 16-pixel segment along the flight line, centred on the knife.
  Point2 half = RotatePoint(0.0, -kKnifeHalfLength, 0.0, 0.0, flightAngle);
  hitShape = kHitSegment;
  hitX = PixelOf(-half.x);
  hitY = PixelOf(-half.y);
  hitW = PixelOf(2.0 * half.x);
  hitH = PixelOf(2.0 * half.y);
  Join(enemy ? kLayerBullet : kLayerAttack);
}

void KunaiShotTask::Update() {
  bool enemyKnife = srcX == kKnifeSrcEnemy;
  if ((enemyKnife && (hitCode == 1 || hitCode == 9)) || hitCode == 6 || x < kWallLeft || x > kWallRight || y < kCeiling ||
      y > kFloor) {
    finished = 1;
  } else {
    x += vx;
    y += vy;
  }
  hitCode = 0;
}

void KunaiShotTask::Draw() {
  GfxDrawRectRotateGraph(PixelOf(x), PixelOf(y), srcX, srcY, width, height, 1.0, flightAngle, image, 1, 0);
}
