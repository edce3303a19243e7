#include "game/masters/dokuro_master.h"

#include <algorithm>
#include <cmath>

#include "engine/draw/memimg.h"
#include "engine/system/system.h"
#include "game/playfield/blocks_items.h"
#include "game/playfield/collision.h"
#include "game/gfx.h"
#include "game/masters/ikebana_master.h"
#include "game/masters/master_common.h"
#include "game/masters/origami_master.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"
#include "game/masters/shodo_master.h"
#include "game/enemies/small_enemies.h"
#include "game/playfield/stage_scenes.h"
#include "game/masters/tea_master.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSheet = 9;
constexpr int kCellCode = 55;
constexpr int kMissileKind = -3;
constexpr int kScreenW = 320, kScreenH = 240;
constexpr int kFieldRight = 240;  // stars end past this x
constexpr unsigned kBlack = 0x000000, kWhite = 0xFFFFFF;
constexpr int kOpaque = 255;
constexpr int kDimmed = 160;  // brightness of false figures and entry images

// First form: 48 x 72, hit box (6, 22, 36, 42).
constexpr int kOffsetX = -24, kOffsetY = 4;
constexpr int kWidth = 48, kHeight = 72;
constexpr int kHitX = 6, kHitY = 22, kHitW = 36, kHitH = 42;
constexpr int kLife = 640;
constexpr int kHalfLife = 320;
constexpr int kGoneLife = -10;  // the final form owns the gauge from here
constexpr int kWaitPeriod[2] = {480, 280};  // EASY, NORMAL
constexpr int kRainPeriod[2] = {64, 48};
constexpr int kRainCount[2] = {14, 16};
constexpr int kRainTail = 40;
constexpr int kPoseAim = 48, kPoseThrow = 96;

// States of the first form.
enum : int32_t {
  kWaiting = 0, kWaking = 1, kSplitting = 2, kRaining = 3, kMerging = 4, kSliding = 5,
  kShrinking = 6, kSummoning = 7, kWeaponsAtWork = 8, kDying = 10,
};

constexpr int kWaitAimAt = 200, kWaitThrowAt = 230, kWaitRestAt = 242;
constexpr int kStarOffsetY = 48;
constexpr int kSplitEnd = 36;
constexpr int kMergeEnd = 72;
constexpr int kLeftZone = 84, kRightZone = 156;
constexpr int kSlideTime = 288;
constexpr double kSlideLeftEdge = 24.0, kSlideRightEdge = 168.0;
constexpr int kSlideCycle = 60, kSlideThrowAt = 20, kSlideAimAt = 32;
constexpr int kShrinkBlinkEnd = 30, kShrinkEnd = 42;
constexpr int kSummonAt = 10, kSummonBlinkFrom = 41, kSummonReducedAt = 90;
constexpr int kDrawInAt = 94, kSendAt = 106;
constexpr int kWeaponMoveTime = 20;
constexpr int kRegrowFrom = 271, kRegrowAt = 320;
constexpr int kWorkAim1 = 450, kWorkThrow1 = 480, kWorkAim2 = 492, kWorkThrow2 = 540, kWorkAim3 = 552;
constexpr int kWorkEnd = 602;
constexpr int kSlotCount = 5;
constexpr int kFieldWidth = 216;
constexpr double kSlotOffset = 12 + 21.6;

constexpr int kDeathBlinkEnd = 316, kDeathShowerEnd = 256;
constexpr int kDeathHealthItemAt1 = 88, kDeathHealthItemAt2 = 176;
constexpr int kVeilStep = 5;
constexpr int kHalvesFrom = 316, kHalvesTo = 435, kHalvesStep = 6;
constexpr int kFinalFormAt = 456, kFirstFormEndAt = 458;
constexpr int kReducedSrcX = 192, kReducedW = 24, kReducedH = 34, kReducedDx = 12, kReducedDy = 23;

// Skull: 24 x 34 at (144, 0), circle of radius 10.
constexpr int kSkullSrcX = 144, kSkullW = 24, kSkullH = 34, kSkullRadius = 10;
constexpr int kSkullDriftTime = 30;
constexpr double kSkullSpeed[2] = {2.0, 2.25};
constexpr int kSkullHalfH = 17;
constexpr int kColumnStep = 24;
constexpr int kGroupX = 48, kGroupStep = 72;

// Large star: 24 x 24 at (144, 40), circle of radius 9.
constexpr int kStarSrcX = 144, kStarSrcY = 40, kStarSize = 24, kStarRadius = 9;
constexpr double kStarSpeed = 3.0;
constexpr double kStarFloor = 204.0, kStarFloorAimY = 212.0;
constexpr int kStarRestTime = 20;
constexpr int kStarMargin = 16;
enum : int32_t { kStarFalling = 0, kStarFlying = 1, kStarResting = 2 };

// Weapon icon: 32 x 32 at (kind, 80).
constexpr int kIconSrcY = 80, kIconSize = 32, kIconHalf = 16;
constexpr double kOrbitGrow = 2.0, kOrbitShrink = 4.0, kOrbitRadius = 48.0;
constexpr double kOrbitStep = 0.06981317007977318;  // 4 degrees
constexpr int kIconWeaponAt = 33;
constexpr int kFlowerOffset = 4;
constexpr int kIconKettle = 0, kIconOrigami = 32, kIconBrush = 64, kIconFlower = 96;
constexpr int kOrigamiRow = 176;

// Final form: 32 x 48 at (0, 112), 48 wide at row 160 while throwing.
constexpr int kFinalW = 32, kFinalH = 48, kFinalThrowW = 48;
constexpr int kFinalRow = 112, kFinalThrowRow = 160;
constexpr int kFinalHitX = 8, kFinalHitY = 12, kFinalHitW = 16, kFinalHitH = 28, kFinalThrowHitX = 16;
constexpr int kFinalLife = 320;
constexpr int kFinalScore = 50000;
constexpr int kFinalFlashWeak = 2, kFinalFlashStrong = 6, kFinalFlashParam = 255;
constexpr double kEntryReach = 240.0;
constexpr int kEntrySteps = 16;
constexpr int kBrightnessStep = 16;
constexpr double kGravity = 0.4, kFallLimit = 6.0;
constexpr double kMinX = 12.0, kMaxX = 196.0;
constexpr int kFloor = 224, kFeet = 44;
constexpr double kStandY = 180.0;
constexpr int kChooseAt = 12;
constexpr int kJumpDelay = 8, kHopDelay = 4;
constexpr double kJumpTime = 38.0, kLeapTime = 46.0;
constexpr double kLeapRight = 196.0, kLeapLeft = 12.0;
constexpr double kEntryJump = -2.0, kJumpSpeed = -4.0, kLeapSpeed = -6.0, kHopSpeed = -4.0, kHopBack = 1.0;
constexpr int kSrcEntry = 96, kSrcJump = 96, kSrcLeap = 128, kSrcLeapThrow = 160, kSrcHop = 64;
constexpr int kSrcStand = 32, kSrcDash = 192, kSrcDying = 224, kSrcStarWind = 0, kSrcStarThrow = 48;
constexpr int kKnifeDx = 16, kKnifeDy = 28;
constexpr double kKnifeSpeed = 4.0;
constexpr int kStarsEnd = 120, kStarsRestEnd = 150, kStarCycle = 30, kStarPoseAt = 2, kStarThrowAt = 20;
constexpr double kThrownStarSpeed = 3.0;
constexpr int kThrowDxRight = 24, kThrowDxLeft = 40, kThrowDy = 12;
constexpr int kThrowShift = 8;
constexpr int kDashTime = 20, kDashRestEnd = 50;
constexpr double kDashSpeed = 8.0;
constexpr int kSmokeFrom = 90, kSmokeTo = 602, kSmokePeriod = 8, kSmokeSoundPeriod = 32;
constexpr int kWhitenFrom = 345, kFadingAt = 692, kFadeStep = 2;

enum : int32_t {
  kEntering = 0, kChoosing = 1, kInAir = 2, kThrowingStars = 3, kDash = 4, kFinalDying = 5, kFading = 6,
};

// Afterimage: 32 x 48 at (192, 112), 64 less opaque each update.
constexpr int kAfterimageStep = 64;

int Difficulty() { return Settings.difficulty == 0 ? 0 : 1; }

void DrawFullScreenBox(unsigned color, int opacity) {
  GfxSetDrawBlendMode(BlendMode::Alpha, opacity);
  GfxDrawBox(0, 0, kScreenW, kScreenH, color, 1);
  GfxSetDrawBlendMode(BlendMode::None, 0);
}

}  // namespace

// ---------------------------------------------------------------------------
// First form

DokuroMasterTask::DokuroMasterTask(int x, int y) : DokuroMasterTask(kCellCode, x, y) {}

DokuroMasterTask::DokuroMasterTask(int code, int x, int y)
    : Character(code, x + kOffsetX, y + kOffsetY), brightness(kMasterStartBrightness) {
  image = GetEnemyImage(kSheet);
  width = kWidth;
  height = kHeight;
  hitX = kHitX;
  hitY = kHitY;
  hitW = kHitW;
  hitH = kHitH;
  life = kLife;
  score = 0;
  hitShape = kHitNone;
  ghostX1 = ghostX2 = this->x;
  waitPeriod = kWaitPeriod[Difficulty()];
  rainPeriod = kRainPeriod[Difficulty()];
  hitMask = kWaiting;
  SetBossNames("DOKURO  ", "  MASTER");
  BossPhase = kBossWaiting;
  Join(kLayerEnemy);
}

void DokuroMasterTask::ThrowBigStar() {
  CreateTask<BigShurikinTask>(PixelOf(x) + width / 2, PixelOf(y) + kStarOffsetY);
  PlaySoundEffect(kSeThrow);
  srcX = kPoseThrow;
}

void DokuroMasterTask::RainSkulls() {
  int r;
  do {
    r = GetRandRange(3);
  } while (r == lastChoice);
  choice = r;
  const int top = PixelOf(y) + 16;
  if (r < 3) {
    for (int g = 0; g < 3; ++g) {
      if (g == r) continue;
      for (int k = 3 * g + 1; k <= 3 * g + 3; ++k) {
        CreateTask<DokuroBulletTask>(kGroupX + kGroupStep * g, top, static_cast<double>(kColumnStep * k));
      }
    }
  } else {
    for (int k = 1; k <= 9; k += 2) {
      int g = (k - 1) / 3;
      CreateTask<DokuroBulletTask>(kGroupX + kGroupStep * g, top, static_cast<double>(kColumnStep * k));
    }
  }
  PlaySoundEffect(kSeSkull);
  lastChoice = r;
}

void DokuroMasterTask::Update() {
  MasterTakeHit(*this);
  if (life < 1 && hitMask < kDying) {
    MasterStartDeath();
    counter = 0;
    srcX = 0;
    hitMask = kDying;
  }
  const int c = counter;
  switch (hitMask) {
    case kWaiting: {
      int w = c % waitPeriod;
      if (w == kWaitAimAt) srcX = kPoseAim;
      if (w == kWaitThrowAt) ThrowBigStar();
      if (w == kWaitRestAt) srcX = 0;
      if (ScrollTaken) {
        MasterWake(*this);
        srcX = 0;
        counter = 0;
        hitMask = kWaking;
        PlayBGM("./bgm/boss2.pttune", 1);
      }
      break;
    }
    case kWaking:
      if (MasterWakingStep(*this, brightness)) {
        hitShape = kHitNone;  // untouchable while it splits
        ghostX1 = ghostX2 = x;
        ghosts = 1;
        counter = 0;
        hitMask = kSplitting;
      }
      break;
    case kSplitting:
      if (c <= kSplitEnd) {
        visible = c % 4 > 1 ? 1 : 0;
        brightness = kDimmed;
        if (x < kLeftZone) {
          ghostX1 += 2.0;
          ghostX2 += 4.0;
        } else if (x >= kRightZone) {
          ghostX1 -= 4.0;
          ghostX2 -= 2.0;
        } else {
          ghostX1 -= 2.0;
          ghostX2 += 2.0;
        }
      } else {
        visible = 1;
        hitShape = kHitBox;
        brightness = kOpaque;
        counter = 0;
        hitMask = kRaining;
        int r = GetRandRange(2);
        if (r == 0) std::swap(x, ghostX1);
        if (r == 1) std::swap(x, ghostX2);
        if (ghostX1 > ghostX2) std::swap(ghostX1, ghostX2);
      }
      break;
    case kRaining: {
      const int d = Difficulty();
      if (c % rainPeriod == 0) {
        RainSkulls();
      } else if (c == rainPeriod * kRainCount[d] + kRainTail) {
        hitShape = kHitNone;
        counter = 0;
        hitMask = kMerging;
      }
      if (life <= kHalfLife) {
        counter = 0;
        srcX = 0;
        hitMask = kShrinking;
      }
      break;
    }
    case kMerging:
      if (c <= kMergeEnd) {
        visible = c % 4 > 1 ? 1 : 0;
        brightness = kDimmed;
        if (x < kLeftZone) {
          ghostX1 -= 1.0;
          ghostX2 -= 2.0;
        } else if (x >= kRightZone) {
          ghostX1 += 2.0;
          ghostX2 += 1.0;
        } else {
          ghostX1 += 1.0;
          ghostX2 -= 1.0;
        }
      } else {
        ghostX1 = ghostX2 = x;
        visible = 1;
        hitShape = kHitBox;
        brightness = kOpaque;
        ghosts = 0;
        work[2] = x;
        counter = 0;
        srcX = kPoseAim;
        work[3] = GetRandRange(1) * kSlideTime - kSlideTime / 2;  // -144 or +144
        hitMask = kSliding;
      }
      break;
    case kSliding:
      if (c <= kSlideTime) {
        x = work[2] + c * work[3] / kSlideTime;
        if (x < kSlideLeftEdge) x = 2 * kSlideLeftEdge - x;
        if (x > kSlideRightEdge) x = 2 * kSlideRightEdge - x;
        if (c % kSlideCycle == kSlideThrowAt) ThrowBigStar();
        if (c % kSlideCycle == kSlideAimAt) srcX = kPoseAim;
      } else {
        counter = 0;
        ghostX1 = ghostX2 = x;
        ghosts = 1;
        hitShape = kHitNone;
        srcX = 0;
        hitMask = kSplitting;
      }
      if (life <= kHalfLife) {
        counter = 0;
        ghostX1 = ghostX2 = x;
        srcX = 0;
        hitMask = kShrinking;
      }
      break;
    case kShrinking:
      if (c < kShrinkBlinkEnd) reduced = c % 4 < 2 ? 1 : 0;
      if (c == kShrinkBlinkEnd) reduced = 0;
      if (c == kShrinkEnd) {
        counter = 0;
        hitMask = kSummoning;
      }
      break;
    case kSummoning:
      if (c == kSummonAt) {
        int a[kSlotCount] = {0, 1, 2, 3, 4};
        for (int i = 1; i < kSlotCount; ++i) std::swap(a[i], a[GetRandRange(i)]);
        weaponSignal = 0;
        targetX = (a[0] * kFieldWidth) / kSlotCount + kSlotOffset - width / 2;
        const int kinds[4] = {kIconKettle, kIconOrigami, kIconBrush, kIconFlower};
        const double angles[4] = {0.0, kPi / 2, kPi, -kPi / 2};
        for (int i = 0; i < 4; ++i) {
          CreateTask<DokuroWeaponsTask>(PixelOf(x), PixelOf(y), kinds[i], angles[i], this, a[i + 1]);
        }
      }
      if (c >= kSummonBlinkFrom && c < kSummonReducedAt) {
        hitShape = kHitNone;
        reduced = c % 4 > 1 ? 1 : 0;
      }
      if (c == kSummonReducedAt) reduced = 1;
      if (c == kDrawInAt) weaponSignal = 1;
      if (c == kSendAt) {
        weaponSignal = 2;
        work[2] = x;
        counter = 0;
        hitMask = kWeaponsAtWork;
      }
      break;
    case kWeaponsAtWork:
      if (c <= kWeaponMoveTime) x = work[2] + (targetX - work[2]) * c / kWeaponMoveTime;
      if (c >= kRegrowFrom && c < kRegrowAt) reduced = c % 4 > 1 ? 1 : 0;
      if (c == kRegrowAt) {
        reduced = 0;
        hitShape = kHitBox;
      }
      if (c == kWorkAim1 || c == kWorkAim2 || c == kWorkAim3) srcX = kPoseAim;
      if (c == kWorkThrow1 || c == kWorkThrow2) ThrowBigStar();
      if (c == kWorkEnd) {
        srcX = 0;
        counter = 0;
        hitMask = kSummoning;
      }
      break;
    case kDying:
      if (c < kDeathBlinkEnd) shown = c % 3 != 2 ? 1 : 0;
      if (c < kDeathShowerEnd) {
        if (c % 8 == 0) {
          int sx = PixelOf(x) + GetRandRange(width - 16) - 8;
          int sy = PixelOf(y) + GetRandRange(height - 16) - 16;
          CreateTask<DoronSmokeTask>(sx, sy);
        }
        if (c % 32 == 0) PlaySoundEffect(kSeDefeat);
        if (c == kDeathHealthItemAt1 || c == kDeathHealthItemAt2) {
          CreateTask<ItemTask>(PixelOf(x) + hitX + hitW / 2, PixelOf(y) + hitY + hitH / 2, kItemRiceBall,
                               c == kDeathHealthItemAt1 ? 0.5 : -0.5);
        }
      } else if (darkness < kOpaque) {
        ghostX1 = ghostX2 = x;
        darkness = std::min(darkness + kVeilStep, kOpaque);
        BossPhase = 4;  // the ball waits under the veil
      } else if (c >= kHalvesFrom && c <= kHalvesTo) {
        if (c == kHalvesFrom) {
          hitShape = kHitNone;
          shown = 0;
          ghosts = 1;
          BossPhase = 5;  // the halves fly apart
          PlaySoundEffect(kSeSkull);
        }
        ghostX1 -= kHalvesStep;
        ghostX2 += kHalvesStep;
      }
      if (c == kFinalFormAt) {
        life = kGoneLife;
        CreateTask<DokuroMasterFinalTask>(PixelOf(x) + width / 2 - 16, PixelOf(y) + 16);
      }
      if (c == kFirstFormEndAt) finished = 1;
      break;
    default:
      break;
  }
  EndUpdate();
}

void DokuroMasterTask::EndUpdate() {
  BossCenterX = x + hitX + hitW / 2;
  BossCenterY = y + hitY + hitH / 2;
  hitCode = 0;
  if (life > kGoneLife) BossGaugeFull = life;
  if (flashTimer > 0) --flashTimer;
  ++counter;
}

void DokuroMasterTask::Draw() {
  if (darkness > 0) DrawFullScreenBox(kBlack, darkness);
  const int py = PixelOf(y);
  if (ghosts) {
    GfxSetDrawBrightness(kDimmed, kDimmed, kDimmed);
    const int times = life < 1 ? 2 : 1;
    for (int t = 0; t < times; ++t) {
      GfxDrawRectPartGraph(PixelOf(ghostX1), py, 0, srcY, width, height, image, 1, flip);
      GfxDrawRectPartGraph(PixelOf(ghostX2), py, 0, srcY, width, height, image, 1, flip);
    }
  }
  if (shown && visible) {
    BeginMasterDraw(*this, brightness, kOpaque);
    if (reduced) {
      GfxDrawRectPartGraph(PixelOf(x) + kReducedDx, py + kReducedDy, kReducedSrcX, 0, kReducedW, kReducedH, image, 1,
                           flip);
    } else {
      GfxDrawRectPartGraph(PixelOf(x), py, srcX, srcY, width, height, image, 1, flip);
    }
  }
  EndMasterDraw();
}

// ---------------------------------------------------------------------------
// Skull

DokuroBulletTask::DokuroBulletTask(int x, int y, double targetX)
    : Character(kMissileKind, x, y), startX(x), targetX(targetX) {
  image = GetEnemyImage(kSheet);
  width = kSkullW;
  height = kSkullH;
  srcX = kSkullSrcX;
  hitShape = kHitCircle;
  hitW = hitH = kSkullRadius;
  Join(kLayerBossPart);
}

void DokuroBulletTask::Update() {
  if (counter < kSkullDriftTime) {
    x = startX + (targetX - startX) * (counter + 1) / kSkullDriftTime;
    scale = std::min(scale + 1.0 / 60.0, 1.0);
  } else {
    x = targetX;
    scale = 1.0;
  }
  y += kSkullSpeed[Difficulty()];
  srcX = ((counter / 4) % 2 + 6) * kSkullW;
  if (y - kSkullHalfH > kScreenH) finished = 1;
  hitCode = 0;  // touching the player does not end it
  ++counter;
}

void DokuroBulletTask::Draw() {
  GfxDrawRectRotateGraph(PixelOf(x), PixelOf(y), srcX, srcY, width, height, scale, 0.0, image, 1, flip);
}

// ---------------------------------------------------------------------------
// Large star

BigShurikinTask::BigShurikinTask(int x, int y) : Character(kMissileKind, x, y) {
  image = GetEnemyImage(kSheet);
  width = height = kStarSize;
  srcX = kStarSrcX;
  srcY = kStarSrcY;
  hitShape = kHitCircle;
  hitW = hitH = kStarRadius;
  Point2 v = VectorToward(x, y, PlayerX + 16, kStarFloorAimY, kStarSpeed);
  vx = v.x;
  vy = v.y;
  hitMask = kStarFalling;
  Join(kLayerBossPart);
}

void BigShurikinTask::Update() {
  switch (hitMask) {
    case kStarFalling:
      x += vx;
      y += vy;
      if (y > kStarFloor) {
        vx = vy = 0.0;
        counter = 0;
        hitMask = kStarResting;
      }
      break;
    case kStarResting:
      if (counter == kStarRestTime) {
        Point2 v = VectorToward(x, y, PlayerX + 16, PlayerY + 16, kStarSpeed);
        vx = v.x;
        vy = v.y;
        hitMask = kStarFlying;
      }
      break;
    case kStarFlying:
      x += vx;
      y += vy;
      break;
    default:
      break;
  }
  scale = std::min(scale + 0.1, 1.0);
  spin += kPi / 16;
  if (x + kStarMargin < 0 || x - kStarMargin > kFieldRight || y + kStarMargin < 0 ||
      y - kStarMargin > kScreenH) {
    finished = 1;
  }
  if (BossGaugeFull <= 0 && !finished) {
    PlaySoundEffect(kSeDefeat);
    CreateTask<DoronSmokeTask>(PixelOf(x) - 16, PixelOf(y) - 16);
    finished = 1;
  }
  hitCode = 0;
  ++counter;
}

void BigShurikinTask::Draw() {
  GfxDrawRectRotateGraph(PixelOf(x), PixelOf(y), srcX, srcY, width, height, scale, spin, image, 1, 0);
}

// ---------------------------------------------------------------------------
// Weapon icon

DokuroWeaponsTask::DokuroWeaponsTask(int x, int y, int kind, double angle, DokuroMasterTask* master, int slot)
    : Character(kind, x, y), master(master), angle(angle) {
  image = GetEnemyImage(kSheet);
  width = height = kIconSize;
  srcX = kind;
  srcY = kIconSrcY;
  hitShape = kHitNone;
  slotX = (slot * kFieldWidth) / kSlotCount + kSlotOffset - kIconHalf;
  Join(kLayerBlock);
}

void DokuroWeaponsTask::Update() {
  DokuroMasterTask* m = master.get();
  if (BossGaugeFull < 1 || m == nullptr) {
    CreateTask<DoronSmokeTask>(PixelOf(x), PixelOf(y));
    finished = 1;
    return;
  }
  switch (m->weaponSignal) {
    case 0:
      radius = std::min(radius + kOrbitGrow, kOrbitRadius);
      break;
    case 1:
      radius = std::max(radius - kOrbitShrink, 0.0);
      break;
    default:
      if (travel == 0) startX = x;
      ++travel;
      if (travel <= kWeaponMoveTime) x = startX + (slotX - startX) * travel / kWeaponMoveTime;
      if (travel >= kIconWeaponAt) BecomeWeapon();
      break;
  }
  if (m->weaponSignal == 0 || m->weaponSignal == 1) {
    angle += kOrbitStep;
    if (angle > kPi) angle -= 2 * kPi;
    Point2 c = RotatePoint(BossCenterX, BossCenterY - radius, BossCenterX, BossCenterY, angle);
    x = c.x - kIconHalf;
    y = c.y - kIconHalf;
  }
  ++counter;
}

void DokuroWeaponsTask::BecomeWeapon() {
  const int px = PixelOf(x), py = PixelOf(y);
  switch (kind) {
    case kIconKettle:
      CreateTask<ChaDouguTask>(px + kIconHalf, py + kIconHalf, 1);
      break;
    case kIconOrigami:
      // At rest and not aimed, it lands and hops until the gauge is gone.
      CreateTask<ThrownOrigamiTask>(px + kIconHalf, py + kIconHalf, kOrigamiRow, 0, nullptr, 0.0, 0.0, 0.0, true);
      break;
    case kIconBrush:
      CreateTask<FudeCannonTask>(px + kIconHalf, py + kIconHalf, 0.0, true);
      break;
    default:
      CreateTask<YellowRedFlowerTask>(px + kFlowerOffset, py + kFlowerOffset, true);
      break;
  }
  finished = 1;
}

// ---------------------------------------------------------------------------
// Final form

DokuroMasterFinalTask::DokuroMasterFinalTask(int x, int y) : Character(kCellCode, x, y) {
  image = GetEnemyImage(kSheet);
  imageX1 = this->x + kEntryReach;
  imageX2 = this->x - kEntryReach;
  width = kFinalW;
  height = kFinalH;
  srcY = kFinalRow;
  hitX = kFinalHitX;
  hitY = kFinalHitY;
  hitW = kFinalHitW;
  hitH = kFinalHitH;
  life = kFinalLife;
  score = kFinalScore;
  hitMask = kEntering;
  PlayBGM("./bgm/boss3.pttune", 1);
  Join(kLayerEnemy);
}

void DokuroMasterFinalTask::TakeHit() {
  if (flashTimer == 0) attackPower = 0;
  int power = static_cast<int8_t>(hitCode);
  if (life <= 0 || power <= attackPower) return;
  life -= power;
  attackPower = power;
  if (life > 0) {
    if (power == 1) {
      PlaySoundEffect(kSeHitBoss);
      flashTimer = kFinalFlashWeak;
    } else {
      PlaySoundEffect(kSeHitEnemy);
      flashTimer = kFinalFlashStrong;
    }
  }
}

void DokuroMasterFinalTask::FacePlayer() { flip = x > PlayerX ? 1 : 0; }

void DokuroMasterFinalTask::Choose() {
  counter = 0;
  switch (GetRandRange(3)) {
    case 0:  // jump at the player
      srcX = kSrcJump;
      delay = kJumpDelay;
      vx = (PlayerX - x) / kJumpTime;
      vy = kJumpSpeed;
      flip = vx <= 0 ? 1 : 0;
      hitMask = kInAir;
      break;
    case 1: {  // leap to the far side
      srcX = kSrcLeap;
      delay = kJumpDelay;
      double target = kLeapLeft;
      flip = 1;
      if (x <= PlayerX) {
        target = kLeapRight;
        flip = 0;
      }
      vx = (target - x) / kLeapTime;
      vy = kLeapSpeed;
      hitMask = kInAir;
      break;
    }
    case 2:
      hitMask = kThrowingStars;
      break;
    default:  // hop back into a dash
      srcX = kSrcHop;
      if (x <= PlayerX) {
        vx = -kHopBack;
        flip = 0;
      } else {
        vx = kHopBack;
        flip = 1;
      }
      delay = kHopDelay;
      dashing = 1;
      vy = kHopSpeed;
      hitMask = kInAir;
      break;
  }
}

void DokuroMasterFinalTask::Land() {
  srcX = kSrcStand;
  y = kStandY;
  vx = vy = 0.0;
  FacePlayer();
  counter = 0;
  if (dashing) {
    PlaySoundEffect(kSeDash2);
    TaskPool_SetLayer(this, kLayerBossPart);  // hurts the player by contact
    hitMask = kDash;
  } else {
    hitMask = kChoosing;
  }
}

void DokuroMasterFinalTask::Update() {
  TakeHit();
  if (life < 1 && hitMask < kFinalDying) {
    PlaySoundEffect(kSeDefeat);
    StopBGM();
    hitShape = kHitNone;
    counter = 0;
    if (srcY == kFinalThrowRow) {
      srcY = kFinalRow;
      width = kFinalW;
      x += kThrowShift;
    }
    srcX = kSrcDying;
    vx = vy = 0.0;
    hitMask = kFinalDying;
  }
  const int c = counter;
  switch (hitMask) {
    case kEntering:
      if (c < kEntrySteps) {
        double reach = (kEntrySteps - c) * kEntryReach / kEntrySteps;
        imageX1 = x + reach;
        imageX2 = x - reach;
      }
      if (c == kEntrySteps - 1 && brightness == kOpaque) entryImages = 0;
      if (c == kEntrySteps) {
        brightness = std::min(brightness + kBrightnessStep, kOpaque);
        counter = -1;
        shown = 1;
      }
      if (brightness == kOpaque && veil == 0) {
        FacePlayer();
        srcX = kSrcEntry;
        vy = kEntryJump;
        hitMask = kInAir;
      }
      if (brightness == kOpaque) veil = std::max(veil - 5, 0);
      break;
    case kChoosing:
      if (c == kChooseAt) Choose();
      break;
    case kInAir:
      if (delay > 0) {
        --delay;
      } else {
        vy = std::min(vy + kGravity, kFallLimit);
      }
      if (srcX == kSrcLeap && vy > 0) {
        srcX = kSrcLeapThrow;
        PlaySoundEffect(kSeThrow);
        for (int i = -2; i <= 2; ++i) {
          CreateTask<KunaiShotTask>(PixelOf(x) + kKnifeDx, PixelOf(y) + kKnifeDy, i * kPi / 18, kKnifeSpeed, true);
        }
      }
      if (y + kFeet >= kFloor) Land();
      break;
    case kThrowingStars:
      if (c < kStarsEnd) {
        if (c % kStarCycle == kStarPoseAt) {
          if (srcY == kFinalRow) {
            srcY = kFinalThrowRow;
            width = kFinalThrowW;
            x -= kThrowShift;
          }
          srcX = kSrcStarWind;
          flip = x + kThrowShift <= PlayerX ? 0 : 1;
        }
        if (c % kStarCycle == kStarThrowAt) {
          srcX = kSrcStarThrow;
          if (flip == 0) {
            CreateTask<ShurikinTask>(PixelOf(x) + kThrowDxRight, PixelOf(y) + kThrowDy, kThrownStarSpeed, 0.0);
          } else {
            CreateTask<ShurikinTask>(PixelOf(x) + width - kThrowDxLeft, PixelOf(y) + kThrowDy, -kThrownStarSpeed,
                                     0.0);
          }
        }
      }
      if (c == kStarsEnd) {
        srcX = kSrcStand;
        srcY = kFinalRow;
        x += kThrowShift;
        width = kFinalW;
      }
      if (c == kStarsRestEnd) {
        counter = 0;
        hitMask = kChoosing;
      }
      break;
    case kDash:
      if (c < kDashTime) {
        srcX = kSrcDash;
        vx = flip ? -kDashSpeed : kDashSpeed;
        CreateTask<DokuroDashAfterimageTask>(PixelOf(x), PixelOf(y), -vx);
      }
      if (c == kDashTime) {
        vx = 0.0;
        dashing = 0;
        srcX = kSrcStand;
        TaskPool_SetLayer(this, kLayerEnemy);
      }
      if (c == kDashRestEnd) {
        counter = 0;
        hitMask = kChoosing;
      }
      break;
    case kFinalDying:
      shown = c % 3 == 2 && brightness == kOpaque ? 0 : 1;
      if (y + kFeet < kFloor) {
        vy = std::min(vy + kGravity, kFallLimit);
      } else {
        y = kStandY;
        vy = 0.0;
      }
      if (c > kSmokeFrom && c < kSmokeTo && c % kSmokePeriod == 0) {
        CreateTask<DoronSmokeTask>(PixelOf(x) + GetRandRange(width) - 16, PixelOf(y) + GetRandRange(height) - 16);
        if (c % kSmokeSoundPeriod == 0) PlaySoundEffect(kSeDefeat);
      }
      if (c > kWhitenFrom) {
        whiteness = std::min(whiteness + 1, kOpaque);
        brightness = std::max(brightness - 1, 0);
      }
      if (c == kFadingAt) {
        counter = 0;
        hitMask = kFading;
      }
      break;
    case kFading:
      if (c == 1) {
        shown = 1;
        PlaySoundEffect(kSeVanish);
      }
      fade = std::max(fade - kFadeStep, 0);
      whiteness = std::max(whiteness - kFadeStep, 0);
      if (fade == 0 && whiteness == 0) {
        AddScore(score);
        BossPhase = kBossBeaten;
        CreateTask<StageClearTask>(true);
        finished = 1;
      }
      break;
    default:
      break;
  }
  x += vx;
  y += vy;
  if (width == kFinalW) x = std::clamp(x, kMinX, kMaxX);
  hitX = width == kFinalW ? kFinalHitX : kFinalThrowHitX;
  PublishBossValues(*this);
  hitCode = 0;
  if (flashTimer > 0) --flashTimer;
  ++counter;
}

void DokuroMasterFinalTask::Draw() {
  if (veil > 0) DrawFullScreenBox(kBlack, veil);
  if (whiteness > 0) DrawFullScreenBox(kWhite, whiteness);
  const int py = PixelOf(y);
  if (entryImages) {
    GfxSetDrawBrightness(kDimmed, kDimmed, kDimmed);
    GfxDrawRectPartGraph(PixelOf(imageX1), py, srcX, srcY, width, height, image, 1, flip);
    GfxDrawRectPartGraph(PixelOf(imageX2), py, srcX, srcY, width, height, image, 1, flip);
  }
  if (shown && visible) {
    GfxSetDrawBrightness(brightness, brightness, brightness);
    if (flashTimer > 0) {
      GfxSetDrawBlendMode(BlendMode::InvertedAlpha, kFinalFlashParam);
    } else if (fade < kOpaque) {
      GfxSetDrawBlendMode(BlendMode::Alpha, fade);
    }
    GfxDrawRectPartGraph(PixelOf(x), py, srcX, srcY, width, height, image, 1, flip);
  }
  EndMasterDraw();
}

// ---------------------------------------------------------------------------
// Dash after-image

DokuroDashAfterimageTask::DokuroDashAfterimageTask(int x, int y, double speed)
    : Character(kMissileKind, x, y), speed(speed) {
  image = GetEnemyImage(kSheet);
  width = kFinalW;
  height = kFinalH;
  srcX = kSrcDash;
  srcY = kFinalRow;
  hitShape = kHitNone;
  flip = speed >= 0 ? 1 : 0;
  Join(kLayerBossPart);
}

void DokuroDashAfterimageTask::Update() {
  opacity -= kAfterimageStep;
  x += speed;
  if (opacity < 0) {
    opacity = 0;
    finished = 1;
  }
  ++counter;
}

void DokuroDashAfterimageTask::Draw() {
  GfxSetDrawBlendMode(BlendMode::Alpha, opacity);
  GfxDrawRectPartGraph(PixelOf(x), PixelOf(y), srcX, srcY, width, height, image, 1, flip);
  GfxSetDrawBlendMode(BlendMode::None, 0);
}
