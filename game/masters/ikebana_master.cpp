#include "game/masters/ikebana_master.h"

#include <algorithm>
#include <cmath>

#include "engine/draw/draw.h"
#include "engine/system/system.h"
#include "game/playfield/collision.h"
#include "game/gfx.h"
#include "game/masters/master_common.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"

namespace {

constexpr int kMasterKind = 53;
constexpr int kFlowerKind = -2;
constexpr int kMissileKind = -3;
constexpr int kSheet = 6;

constexpr int kWallLeft = 12, kWallRight = 228, kCeiling = 8, kFloor = 224;
constexpr double kFieldMiddle = 120.0;

// Master: two 48-wide halves side by side.
constexpr int kMasterOffsetX = -48, kMasterOffsetY = 4;
constexpr int kMasterWidth = 96, kMasterHeight = 80, kHalfWidth = 48;
constexpr int kMasterHitX = 28, kMasterHitY = 20, kMasterHitW = 40, kMasterHitH = 44;
constexpr int32_t kMasterLife = 640, kHalfLife = 320;
constexpr int32_t kMasterScore = 20000;
constexpr int32_t kThrowPeriod[2] = {420, 280};  // EASY, NORMAL
constexpr int kWaitBeforeThrows = 199;

// Hand columns: left / right.
constexpr int kRestLeft = 0, kRestRight = 48;
constexpr int kRaiseLeft = 96, kRaiseRight = 144;
constexpr int kHoldLeft = 192, kHoldRight = 240;
constexpr int kThrowLeft = 288, kThrowRight = 336;
constexpr int kFollowLeft = 384, kFollowRight = 432;

// Throw cycles (frames within the cycle).
constexpr int kWaitRaise = 40, kWaitHold = 44, kWaitThrow = 60, kWaitFollow = 66, kWaitRest = 72;
constexpr int kFirstCycle = 160;
constexpr int kFirstRaise = 50, kFirstChoose = 54, kFirstThrow = 70, kFirstFollow = 76, kFirstRest = 82;
constexpr int kSecondTurnAt = 40;
constexpr int kSecondChoose = 40, kSecondHand = 44, kSecondThrow = 60, kSecondFollow = 66, kSecondRest = 72;
constexpr int kMaxBlue = 2;

// Flowers.
constexpr int kSmokeHalf = 16;
constexpr int kFlowerSize = 24;
constexpr int kYellowSrcX = 80, kRedSrcX = 104, kRedYellowSrcY = 144;
constexpr int kWhiteHeldSrcX = 0, kBlueHeldSrcX = 24, kWhiteBlueHeldSrcY = 80;
constexpr int32_t kYellowLife = 20;
constexpr double kYellowStartSpeed = 3.0, kYellowSlowing = 0.15, kVineSinkSpeed = 0.25;
constexpr int kVineSpread = 6, kVineStretchTime = 20, kVineWither = 8;
constexpr int kVineBoxY = 11, kVineBoxHeight = 2, kVineDrawY = 4, kVineHeight = 16;
constexpr int kVineLeftEndX = 208, kVineBodyX = 216, kVineRightEndX = 232;
constexpr int kVineEndWidth = 8, kVinePiece = 16;
constexpr double kVineLowest = 192.0;
constexpr double kBurstHighest = 180.0;  // a flower whose bottom is this low withers without petals
constexpr double kPetalSpeed = 3.0;

constexpr int32_t kFlowerLife[2] = {10, 20};
constexpr int kFlowerFallStep = 5;
constexpr int kWhiteSrcX = 0, kWhiteSrcY = 112, kWhiteWidth = 16, kWhiteHeight = 32;
constexpr int kSproutSrcX = 16, kSproutSrcY = 104, kSproutWidth = 16, kSproutHeight = 40;
constexpr int kPlantSrcX = 48, kPlantSrcY = 80, kPlantWidth = 32, kPlantHeight = 88;
constexpr int kPlantHalfHeight = 44;
constexpr double kGrowStep = 0.05;
constexpr int kBloomStart = 48, kBloomOpen = 144, kBloomStep = 32, kBloomEvery = 4;
constexpr int kStemSrcY = 112;
constexpr int kStemBoxX = -8, kStemBoxY = -12, kStemBoxW = 16, kStemBoxH = 56;
constexpr int kShootCycle = 180, kShootCloseA = 24, kShootCloseB = 27, kShootCloseC = 30, kShootAt = 42;
constexpr double kSeedSpeed = 2.0;

constexpr int kBlueSrcX = 240, kBlueSrcY = 80, kBlueWalkSrcY = 112, kBlueSize = 32;
constexpr int kBlueHitBoxAt = 304, kBlueOpen = 336;

constexpr int kSeedSrcX = 56, kSeedSrcY = 80, kSeedSize = 10;
constexpr int kPetalSize = 13;
constexpr int kPetalSrcY = 112, kPetalColourSrcY = 128;
constexpr double kPetalStopBelow = 0.2, kPetalSlowing = 0.8, kPetalHomeSpeed = 2.3;
constexpr int kPetalOrderGap = 16, kPetalTurnEvery = 4;
constexpr int kScreenWidth = 240, kScreenHeight = 240;

int Difficulty() { return Settings.difficulty == 0 ? 0 : 1; }

void LowerFlash(Character& t) {
  if (t.flashTimer > 0) --t.flashTimer;
}

// The damage of the hit code in `hitCode`, or 0 when it does not count.
int32_t TakeDamage(Character& t) {
  if (t.flashTimer == 0) t.attackPower = 0;
  int32_t power = static_cast<int8_t>(t.hitCode);  // the attacker's power as a signed byte
  if (t.life <= 0 || power <= t.attackPower) return 0;
  t.life -= power;
  t.attackPower = power;
  return power;
}

// A flower flashes longer and louder for a strong hit.
void FlowerTakeHit(Character& t) {
  int32_t power = TakeDamage(t);
  if (power == 0 || t.life <= 0) return;
  if (power == 1) {
    PlaySoundEffect(kSeHitBoss);
    t.flashTimer = 2;
  } else {
    PlaySoundEffect(kSeHitEnemy);
    t.flashTimer = 6;
  }
}

bool BossDead() { return BossGaugeFull < 1; }

}  // namespace

// ---------------------------------------------------------------------------
// Master

IkebanaMasterTask::IkebanaMasterTask(int x, int y)
    : Character(kMasterKind, x + kMasterOffsetX, y + kMasterOffsetY), throwPeriod(kThrowPeriod[Difficulty()]) {
  image = GetEnemyImage(kSheet);
  width = kMasterWidth;
  height = kMasterHeight;
  hitX = kMasterHitX;
  hitY = kMasterHitY;
  hitW = kMasterHitW;
  hitH = kMasterHitH;
  life = kMasterLife;
  score = kMasterScore;
  hitShape = kHitNone;  // untouchable until it wakes
  SetBossNames("IKEBANA ", "  MASTER");
  BossPhase = kBossWaiting;
  Join(kLayerEnemy);
}

IkebanaMasterTask::IkebanaMasterTask(int /*code*/, int x, int y) : IkebanaMasterTask(x, y) {}

void IkebanaMasterTask::Raise() {
  leftHandX = kRaiseLeft;
  rightHandX = kRaiseRight;
}

void IkebanaMasterTask::Hold(int32_t what, int32_t hand) {
  weapon = what;
  throwHand = hand;
  if (hand == kLeftHand) {
    leftHandX = kHoldLeft;
  } else {
    rightHandX = kHoldRight;
  }
}

void IkebanaMasterTask::Throw() {
  if (weapon == kNothing) return;
  bool left = throwHand == kLeftHand;
  if (left) {
    leftHandX = kThrowLeft;
  } else {
    rightHandX = kThrowRight;
  }
  int px = PixelOf(x), py = PixelOf(y);
  switch (weapon) {
    case kWhite:
      CreateTask<WhiteFlowerTask>(px + (left ? 32 : 64), py + 64, left ? 0 : 1, this);
      break;
    case kRed:
    case kYellow:
      CreateTask<YellowRedFlowerTask>(px + (left ? 20 : 52), py + 52, weapon == kYellow);
      break;
    case kBlue:
      CreateTask<BlueFlowerTask>(px + 48, py + 48, this);
      break;
    default:
      break;
  }
  PlaySoundEffect(kSeThrow);
  weapon = kNothing;
}

void IkebanaMasterTask::FollowThrough() {
  if (leftHandX == kThrowLeft) leftHandX = kFollowLeft;
  if (rightHandX == kThrowRight) rightHandX = kFollowRight;
}

void IkebanaMasterTask::Rest() {
  leftHandX = kRestLeft;
  rightHandX = kRestRight;
  weapon = kNothing;
}

int32_t IkebanaMasterTask::PlayerSideHand() const { return x + width / 2 <= PlayerX + 16 ? kLeftHand : kRightHand; }

void IkebanaMasterTask::Update() {
  int32_t& state = hitMask;
  MasterTakeHit(*this);
  if (life < 1 && state < 5) {
    MasterStartDeath();
    Rest();
    counter = 0;
    state = 5;
  }

  double middle = x + width / 2;
  switch (state) {
    case 0:
      if (counter > kWaitBeforeThrows) {
        int c = counter % throwPeriod;
        if (c == kWaitRaise) {
          Raise();
        } else if (c == kWaitHold) {
          Hold(kRed, PlayerSideHand());
        } else if (c == kWaitThrow) {
          Throw();
        } else if (c == kWaitFollow) {
          FollowThrough();
        } else if (c == kWaitRest) {
          Rest();
        }
      }
      if (ScrollTaken) {
        MasterWake(*this);
        Rest();
        counter = 0;
        state = 1;
        PlayBGM("./bgm/boss2.pttune", 1);
      }
      break;
    case 1:
      if (MasterWakingStep(*this, brightness)) {
        counter = 0;
        state = 2;
        work[0] = middle <= PlayerX + 16 ? -1.0 : 1.0;
      }
      break;
    case 2: {
      int step = counter % 5;
      if (step == 0 || step == 3) {
        x += work[0];
        if (x <= kWallLeft || x + width >= kWallRight) work[0] = -work[0];
      }
      int c = counter % kFirstCycle;
      if (c == kFirstRaise) {
        Raise();
      } else if (c == kFirstChoose) {
        middle = x + width / 2;
        if (middle > kFieldMiddle) {
          if (whiteSides & 1)
            Hold(kRed, PlayerSideHand());
          else
            Hold(kWhite, kRightHand);
        } else if (middle < kFieldMiddle) {
          if (whiteSides & 2)
            Hold(kRed, PlayerSideHand());
          else
            Hold(kWhite, kLeftHand);
        }
      } else if (c == kFirstThrow) {
        Throw();
      } else if (c == kFirstFollow) {
        FollowThrough();
      } else if (c == kFirstRest) {
        Rest();
      }
      if (life <= kHalfLife) {
        counter = 0;
        work[0] = 0.0;
        Rest();
        state = 3;
      }
      break;
    }
    case 3: {
      if (counter == kSecondTurnAt) work[0] = middle <= PlayerX + 16 ? -1.0 : 1.0;
      int step = counter % 5;
      if (step != 0 && step != 3) {
        x += work[0];
        if (x <= kWallLeft || x + width >= kWallRight) work[0] = -work[0];
      }
      int c = counter % kFirstCycle;
      if (c == kSecondChoose) {
        weapon = kNothing;
        if (turn % 2 == 0)
          weapon = kYellow;
        else if (blueCount < kMaxBlue)
          weapon = kBlue;
        ++turn;
        if (weapon != kNothing) Raise();
      } else if (c == kSecondHand) {
        if (weapon != kNothing) Hold(weapon, GetRandRange(1) == 0 ? kLeftHand : kRightHand);
      } else if (c == kSecondThrow) {
        Throw();
      } else if (c == kSecondFollow) {
        FollowThrough();
      } else if (c == kSecondRest) {
        Rest();
      }
      break;
    }
    case 5:
      MasterDyingStep(*this, fade);
      break;
    default:
      break;
  }

  EndMasterUpdate(*this);
}

void IkebanaMasterTask::Draw() {
  BeginMasterDraw(*this, brightness, fade);
  int px = PixelOf(x), py = PixelOf(y);
  GfxDrawRectPartGraph(px, py, leftHandX, srcY, kHalfWidth, height, image, 1, 0);
  GfxDrawRectPartGraph(px + kHalfWidth, py, rightHandX, srcY, kHalfWidth, height, image, 1, 0);
  EndMasterDraw();

  bool inLeft = leftHandX == kHoldLeft, inRight = rightHandX == kHoldRight;
  if (!inLeft && !inRight) return;
  if (weapon == kWhite || weapon == kBlue) {
    int sx = weapon == kWhite ? kWhiteHeldSrcX : kBlueHeldSrcX;
    GfxDrawRectPartGraph(px + (inLeft ? 14 : 58), py - 11, sx, kWhiteBlueHeldSrcY, kFlowerSize, kFlowerSize, image, 1,
                         0);
  } else if (weapon == kRed || weapon == kYellow) {
    int sx = weapon == kRed ? kRedSrcX : kYellowSrcX;
    GfxDrawRectPartGraph(px + (inLeft ? 11 : 61), py - 7, sx, kRedYellowSrcY, kFlowerSize, kFlowerSize, image, 1, 0);
  }
}

// ---------------------------------------------------------------------------
// Yellow and red flowers

YellowRedFlowerTask::YellowRedFlowerTask(int x, int y, bool yellow)
    : Character(kFlowerKind, x, y), yellow(yellow), vineLeft(x + 12.0), vineRight(x + 12.0) {
  image = GetEnemyImage(kSheet);
  width = height = kFlowerSize;
  srcX = yellow ? kYellowSrcX : kRedSrcX;
  srcY = kRedYellowSrcY;
  hitX = hitY = 2;
  hitW = hitH = 22;
  life = kYellowLife;
  work[1] = kYellowStartSpeed;
  Join(kLayerBossPart);
}

void YellowRedFlowerTask::Burst() {
  int px = PixelOf(x), py = PixelOf(y);
  bool playerLeft = x - 4 > PlayerX;
  // Downward first on each side; the player's side leaves first.
  int leftDown = playerLeft ? 1 : 3, rightDown = playerLeft ? 3 : 1;
  CreateTask<PetalBulletTask>(px - 1, py + 12, -kPetalSpeed, kPetalSpeed, leftDown, yellow);
  CreateTask<PetalBulletTask>(px - 1, py - 1, -kPetalSpeed, -kPetalSpeed, leftDown + 1, yellow);
  CreateTask<PetalBulletTask>(px + 12, py + 12, kPetalSpeed, kPetalSpeed, rightDown, yellow);
  CreateTask<PetalBulletTask>(px + 12, py - 1, kPetalSpeed, -kPetalSpeed, rightDown + 1, yellow);
}

void YellowRedFlowerTask::Update() {
  int32_t& state = hitMask;
  if (state >= 2) {
    FlowerTakeHit(*this);
    if (life <= 0 && state == 2) {
      PlaySoundEffect(kSeDefeat);
      CreateTask<DoronSmokeTask>(PixelOf(x) - 4, PixelOf(y) - 4);
      hitShape = kHitNone;
      if (OnlyCollisionTask* box = vineBox.get()) box->finished = 1;
      vineBox.reset();
      work[1] = 0.0;
      state = 5;
      if (!BossDead() && y + height < kBurstHighest) Burst();
    }
  }

  switch (state) {
    case 0:
      work[1] -= kYellowSlowing;
      if (!(work[1] > 0.0)) {
        work[1] = 0.0;
        counter = 0;
        if (yellow) {
          vineLeft = x + 12 - kVineSpread;
          vineRight = x + 12 + kVineSpread;
          TaskPool_SetLayer(this, kLayerEnemy);
          state = 2;
        } else {
          state = 1;
        }
      }
      break;
    case 1:
      Burst();
      finished = 1;
      break;
    case 2:
      if (!vineMade_ && life > 0) {
        vineMade_ = true;
        vineBox.reset(
            CreateTask<OnlyCollisionTask>(kWallLeft, PixelOf(y) + kVineBoxY, kWallRight - kWallLeft, kVineBoxHeight));
      }
      if (counter <= kVineStretchTime) {
        double t = static_cast<double>(counter) / kVineStretchTime;
        double centre = x + 12;
        vineLeft = centre + (kWallLeft - centre) * t;
        vineRight = centre + (kWallRight - centre) * t;
      } else {
        vineLeft = kWallLeft;
        vineRight = kWallRight;
        work[1] = kVineSinkSpeed;
        vineRow = ((counter / 4) % 4 + 5) * 16;
      }
      if (BossDead() || y > kVineLowest) life = 0;
      break;
    case 5:
      vineLeft -= kVineWither;
      vineRight += kVineWither;
      if (vineLeft < kWallLeft && vineRight > kWallRight) finished = 1;
      break;
    default:
      break;
  }

  hitCode = 0;
  y += work[1];
  if (OnlyCollisionTask* box = vineBox.get()) box->y = PixelOf(y) + kVineBoxY;
  LowerFlash(*this);
  ++counter;
}

void YellowRedFlowerTask::Draw() {
  int32_t state = hitMask;
  int px = PixelOf(x), py = PixelOf(y);
  if (state >= 2) {
    int vy = py + kVineDrawY;
    int left = PixelOf(vineLeft), right = PixelOf(vineRight);
    int bodyLeft = left, bodyRight = right;
    if (vineLeft > kWallLeft) {
      GfxDrawRectPartGraph(left, vy, kVineLeftEndX, vineRow, kVineEndWidth, kVineHeight, image, 1, 0);
      bodyLeft = left + kVineEndWidth;
    }
    if (vineRight < kWallRight) {
      GfxDrawRectPartGraph(right - kVineEndWidth, vy, kVineRightEndX, vineRow, kVineEndWidth, kVineHeight, image, 1, 0);
      bodyRight = right - kVineEndWidth;
    }
    // Pieces laid outward from the flower, the last one cut at the end.
    for (int edge = px; edge > bodyLeft;) {
      int w = std::min(kVinePiece, edge - bodyLeft);
      GfxDrawRectPartGraph(edge - w, vy, kVineBodyX, vineRow, w, kVineHeight, image, 1, 0);
      edge -= w;
    }
    for (int edge = px + width; edge < bodyRight;) {
      int w = std::min(kVinePiece, bodyRight - edge);
      GfxDrawRectPartGraph(edge, vy, kVineBodyX, vineRow, w, kVineHeight, image, 1, 0);
      edge += w;
    }
  }
  if (life > 0) {
    if (flashTimer > 0) GfxSetDrawBlendMode(BlendMode::InvertedAlpha, 255);
    GfxDrawRectPartGraph(px, py, srcX, srcY, width, height, image, 1, 0);
    GfxSetDrawBlendMode(BlendMode::None, 0);
    if (state >= 2) DrawGauge(*this, kYellowLife, 0);
  }
}

// ---------------------------------------------------------------------------
// White flower

WhiteFlowerTask::WhiteFlowerTask(int x, int y, int side, IkebanaMasterTask* owner)
    : Character(kFlowerKind, x, y), maxLife(kFlowerLife[Difficulty()]), owner_(owner) {
  image = GetEnemyImage(kSheet);
  life = maxLife;
  width = kWhiteWidth;
  height = kWhiteHeight;
  srcX = kWhiteSrcX;
  srcY = kWhiteSrcY;
  hitX = -2;
  hitY = -16;
  hitW = 4;
  hitH = 30;
  flip = side != 0 ? 1 : 0;
  Join(kLayerBossPart);
}

int32_t WhiteFlowerTask::SideBit() const { return x >= kFieldMiddle ? 1 : 2; }

void WhiteFlowerTask::Die() {
  int32_t state = hitMask;
  PlaySoundEffect(kSeDefeat);
  finished = 1;
  int px = PixelOf(x) - kSmokeHalf, py = PixelOf(y) - kSmokeHalf;
  if (state < 2) {
    CreateTask<DoronSmokeTask>(px, py);
  } else {
    // Bloom, middle and foot of the plant.
    CreateTask<DoronSmokeTask>(px, py - 28);
    CreateTask<DoronSmokeTask>(px, py);
    CreateTask<DoronSmokeTask>(px, py + 28);
  }
  if (OnlyCollisionTask* box = stemBox.get()) box->finished = 1;
  stemBox.reset();
  // Only the flower that set the bit clears it: a second flower on the same half
  // must not take a grown one's bit away.
  if (ownsSideBit_) {
    if (IkebanaMasterTask* m = owner_.get()) m->whiteSides &= ~SideBit();
    ownsSideBit_ = false;
  }
}

void WhiteFlowerTask::Update() {
  int32_t& state = hitMask;
  FlowerTakeHit(*this);
  if (life <= 0) {
    Die();
    hitCode = 0;
    return;
  }

  switch (state) {
    case 0:
      y += kFlowerFallStep;
      if (BossGaugeFull <= kHalfLife) life = 0;
      if (y + height / 2 > kFloor) {
        y = kFloor - height / 2;
        counter = 0;
        state = 1;
      }
      break;
    case 1:
      if (counter == 1) {
        srcX = kSproutSrcX;
        srcY = kSproutSrcY;
        width = kSproutWidth;
        height = kSproutHeight;
        y -= 4;
      }
      if (counter >= 4 && scale < 1.0) {
        srcX = kPlantSrcX;
        srcY = kPlantSrcY;
        width = kPlantWidth;
        height = kPlantHeight;
        scale += kGrowStep;
        if (scale > 1.0 - 1e-9) scale = 1.0;  // ten steps of 0.05 from 0.5 land a hair below 1
        y = kFloor - scale * kPlantHalfHeight;
      } else if (scale >= 1.0 && counter % kBloomEvery == 0 && bloomX < kBloomOpen) {
        if (bloomX == kBloomStart) {
          TaskPool_SetLayer(this, kLayerEnemy);
          if (!stemMade_) {
            stemMade_ = true;
            stemBox.reset(
                CreateTask<OnlyCollisionTask>(PixelOf(x) + kStemBoxX, PixelOf(y) + kStemBoxY, kStemBoxW, kStemBoxH));
          }
        }
        bloomX += kBloomStep;
        if (bloomX >= kBloomOpen) {
          bloomX = kBloomOpen;
          counter = 0;
          state = 2;
          if (life > 0) {
            if (IkebanaMasterTask* m = owner_.get()) {
              m->whiteSides |= SideBit();
              ownsSideBit_ = true;
            }
          }
          hitX = -10;
          hitY = -38;
          hitW = 20;
          hitH = 20;
        }
      }
      break;
    case 2: {
      flip = x > PlayerX + 16 ? 1 : 0;
      int c = counter % kShootCycle;
      if (c == kShootCloseA || c == kShootCloseB || c == kShootCloseC) {
        bloomX -= kBloomStep;
      } else if (c == kShootAt) {
        bloomX = kBloomOpen;
        CreateTask<SeedBulletTask>(PixelOf(x) - 8, PixelOf(y) - 33, PlayerX + 16, PlayerY + 16, kSeedSpeed);
      }
      if (BossGaugeFull <= kHalfLife) life = 0;
      break;
    }
    default:
      break;
  }

  hitCode = 0;
  LowerFlash(*this);
  ++counter;
}

void WhiteFlowerTask::Draw() {
  int px = PixelOf(x), py = PixelOf(y);
  if (flashTimer > 0) GfxSetDrawBlendMode(BlendMode::InvertedAlpha, 255);
  if (srcX == kPlantSrcX && scale < 1.0) {
    GfxDrawRectRotateGraph(px, py, kPlantSrcX, kPlantSrcY, kPlantWidth, kPlantHeight, scale, 0.0, image, 1, flip);
  } else if (srcX == kPlantSrcX) {
    GfxDrawRectPartGraph(px - 16, py - 44, bloomX, kPlantSrcY, 32, 32, image, 1, flip);
    GfxDrawRectPartGraph(px - 16, py - 12, kPlantSrcX, kStemSrcY, 32, 32, image, 1, flip);
  } else {
    GfxDrawRectPartGraph(px - 8, py - height / 2, srcX, srcY, width, height, image, 1, flip);
  }
  GfxSetDrawBlendMode(BlendMode::None, 0);
  if (srcX == kPlantSrcX && scale >= 1.0 && life > 0) DrawGauge(*this, maxLife, -16);
}

// ---------------------------------------------------------------------------
// Blue flower

BlueFlowerTask::BlueFlowerTask(int x, int y, IkebanaMasterTask* owner)
    : Character(kFlowerKind, x, y), maxLife(kFlowerLife[Difficulty()]), owner_(owner) {
  image = GetEnemyImage(kSheet);
  life = maxLife;
  width = height = kBlueSize;
  srcX = kBlueSrcX;
  srcY = kBlueSrcY;
  hitX = 14;
  hitY = 1;
  hitW = 4;
  hitH = 30;
  Join(kLayerBossPart);
}

void BlueFlowerTask::Die() {
  PlaySoundEffect(kSeDefeat);
  finished = 1;
  CreateTask<DoronSmokeTask>(PixelOf(x), PixelOf(y));
  if (counted_) {
    if (IkebanaMasterTask* m = owner_.get()) --m->blueCount;
    counted_ = false;
  }
}

void BlueFlowerTask::Update() {
  int32_t& state = hitMask;
  FlowerTakeHit(*this);
  if (life <= 0) {
    Die();
    hitCode = 0;
    return;
  }

  switch (state) {
    case 0:
      y += kFlowerFallStep;
      if (BossDead()) life = 0;
      if (y + height > kFloor) {
        y = kFloor - height;
        counter = 0;
        state = 1;
      }
      break;
    case 1:
      if (counter % 3 == 1 && srcX < kBlueOpen) {
        srcX += 32;
        if (srcX == kBlueHitBoxAt) {
          hitX = 4;
          hitY = 2;
          hitW = 24;
          hitH = 28;
        }
        if (srcX == kBlueOpen) {
          TaskPool_SetLayer(this, kLayerEnemy);
          if (IkebanaMasterTask* m = owner_.get()) {
            ++m->blueCount;
            counted_ = true;
          }
          flip = PlayerX <= x ? 1 : 0;
          counter = 0;
          state = 2;
        }
      }
      break;
    case 2: {
      double left = x + hitX;
      if (left <= kWallLeft) {
        flip = 0;
      } else if (left + hitW >= kWallRight) {
        flip = 1;
      }
      srcX = (counter / 4) % 4 * 32 + kBlueSrcX;
      srcY = kBlueWalkSrcY;
      x += flip ? -1.0 : 1.0;
      if (BossDead()) life = 0;
      break;
    }
    default:
      break;
  }

  hitCode = 0;
  LowerFlash(*this);
  ++counter;
}

void BlueFlowerTask::Draw() {
  if (flashTimer > 0) GfxSetDrawBlendMode(BlendMode::InvertedAlpha, 255);
  GfxDrawRectPartGraph(PixelOf(x), PixelOf(y), srcX, srcY, width, height, image, 1, flip);
  GfxSetDrawBlendMode(BlendMode::None, 0);
  if ((srcY >= kBlueWalkSrcY || srcX >= kBlueHitBoxAt) && life > 0) DrawGauge(*this, maxLife, 0);
}

// ---------------------------------------------------------------------------
// Seeds and petals

SeedBulletTask::SeedBulletTask(int x, int y, double targetX, double targetY, double speed)
    : Character(kMissileKind, x, y) {
  image = MiscImage;
  width = height = kSeedSize;
  srcX = kSeedSrcX;
  srcY = kSeedSrcY;
  hitX = hitY = 4;
  hitW = hitH = 6;
  Point2 v = VectorToward(x + 5.0, y + 5.0, targetX, targetY, speed);
  vx = v.x;
  vy = v.y;
  flip = vx < 0.0 ? 1 : 0;
  Join(kLayerBullet);
}

void SeedBulletTask::Update() {
  if (hitCode == 1 || hitCode == 9) finished = 1;
  x += vx;
  y += vy;
  double left = x + hitX, top = y + hitY;
  if (left < kWallLeft || left + hitW > kWallRight || top < kCeiling || top + hitH >= kFloor || BossDead()) {
    finished = 1;
  }
  srcX = kSeedSrcX + (counter / 3) % 4 * kSeedSize;
  hitCode = 0;
  ++counter;
}

PetalBulletTask::PetalBulletTask(int x, int y, double vx, double vy, int order, bool colour)
    : Character(kMissileKind, x, y), order(order), vx(vx), vy(vy) {
  image = GetEnemyImage(kSheet);
  width = height = kPetalSize;
  hitX = hitY = 3;
  hitW = hitH = 7;
  srcY = colour ? kPetalColourSrcY : kPetalSrcY;
  if (vx > 0 && vy < 0)
    srcX = 80;
  else if (vx > 0 && vy > 0)
    srcX = 112;
  else if (vx < 0 && vy > 0)
    srcX = 144;
  else
    srcX = 176;
  Join(kLayerBullet);
}

void PetalBulletTask::Update() {
  int32_t& state = hitMask;
  if (hitCode == 1 || hitCode == 9) finished = 1;
  switch (state) {
    case 0:
      if (std::fabs(vx) > kPetalStopBelow || std::fabs(vy) > kPetalStopBelow) {
        vx *= kPetalSlowing;
        vy *= kPetalSlowing;
      } else {
        vx = vy = 0.0;
        counter = 0;
        state = 1;
      }
      break;
    case 1: {
      int leaveAt = order * kPetalOrderGap;
      if (counter == leaveAt) {
        Point2 v = VectorToward(x + 6, y + 7, PlayerX + 16, PlayerY + 8, kPetalHomeSpeed);
        vx = v.x;
        vy = v.y;
      } else if (counter > leaveAt && counter % kPetalTurnEvery == 0) {
        if (vx <= 0.0) {
          srcX -= 16;
          if (srcX <= 64) srcX = 192;
        } else {
          srcX += 16;
          if (srcX >= 208) srcX = 80;
        }
      }
      break;
    }
    default:
      break;
  }
  if (BossDead() || x > kScreenWidth || x + width < 0 || y > kScreenHeight || y + height < 0) finished = 1;
  hitCode = 0;
  ++counter;
  x += vx;
  y += vy;
}
