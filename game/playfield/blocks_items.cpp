#include "game/playfield/blocks_items.h"

#include <algorithm>

#include "game/playfield/collision.h"
#include "game/gfx.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"
#include "game/enemies/small_enemies.h"

namespace {

// Normal blocks: 24 x 12, one row of "blocks.png" per code.
constexpr int kBlockWidth = 24;
constexpr int kBlockHeight = 12;
constexpr int kHardCode = 3;
constexpr int kHardLife = 2;
constexpr int kHardScore = 200;
constexpr int kPlainScore = 100;
constexpr int kHardFirstLookY = 24;
constexpr int kHardCrackedLookY = 36;

// Enemy blocks: 24 x 24.
constexpr int kEnemyBlockSize = 24;
constexpr int kFrameSrcX = 0, kFrameSrcY = 48;
constexpr int kNinjaPurple = 20;  // codes 20..29
constexpr int kNinjaRed = 30;     // codes 30..39
constexpr int kStopY = 200;
constexpr int kRedStopY = 120;
constexpr int kPeriodEasy = 252;
constexpr int kPeriodNormal = 126;
constexpr int kThrowStep1 = 6;
constexpr int kThrowAt = 20;
constexpr int kThrowEnd = 40;
constexpr int kThrowStepX = 24;
constexpr double kStarSpeed = 2.0;
constexpr double kBlockHop = -4.0;
constexpr double kGravity = 0.3;
constexpr double kFallLimit = 8.0;

// Items: 16 x 16.
constexpr int kItemSize = 16;
constexpr int kItemBoxInset = 1;
constexpr int kItemBoxSize = 14;
constexpr double kItemHop = -4.0;
constexpr int kItemWallInset = 5;
constexpr int kWallLeft = 12;
constexpr int kWallRight = 228;
constexpr int kFloor = 224;
constexpr int kFullHealth = 5;
constexpr int kCoinValue = 100;
constexpr int kMoneyValue = 500;
constexpr int kMoneyLevelTop = 16;
constexpr int kValueTextSrcX = 96;
constexpr int kValueTextHeight = 5;
constexpr int kValueTextRowStep = 6;
constexpr double kValueTextRise = 0.2;
constexpr int kValueTextFrames = 60;

// Smoke: 32 x 32 pictures in a row of "misc.png".
constexpr int kSmokeSize = 32;
constexpr int kSmokeSrcY = 32;
constexpr int kSmokeEndX = 224;

int NormalizeKind(int code) {
  if (code >= 20 && code <= 29) return kNinjaPurple;
  if (code >= 30 && code <= 39) return kNinjaRed;
  return code;
}

// Row of the value text for a money level: 1, 2, 4, 8, 16 -> 0, 1, 2, 3, 4.
int ValueTextRow(int level) {
  int row = 0;
  while (level > 1 && row < 4) {
    level /= 2;
    ++row;
  }
  return row;
}

}  // namespace

NormalBlockTask::NormalBlockTask(int code, int x, int y) : Character(code, x, y) {
  width = kBlockWidth;
  height = kBlockHeight;
  srcY = kBlockHeight * (code - 1);
  hitW = kBlockWidth;
  hitH = kBlockHeight;
  image = BlocksImage;
  life = code == kHardCode ? kHardLife : 1;
  score = code == kHardCode ? kHardScore : kPlainScore;
  Join(kLayerBlock);
}

void NormalBlockTask::Update() {
  // Blinking and out of reach while a boss's life gauge fills.
  if (BossPhase == 2 && BossGaugeShown < BossGaugeFull) {
    hitShape = kHitNone;
    visible = counter % 3 != 0;
    ++counter;
  } else {
    hitShape = kHitBox;
    visible = 1;
  }
  if (hitCode == 3 || hitCode == 4) {
    life -= 1;
    if (srcY == kHardFirstLookY) {
      srcY = kHardCrackedLookY;
      PlaySoundEffect(kSeHitCrack);
    }
    hitCode = 0;
  }
  if (life < 1) {
    PlaySoundEffect(kSeHitBreak);
    HitNormalBlock(*this);
  }
}

EnemyBlockTask::EnemyBlockTask(int code, int x, int y) : Character(code, x, y) {
  blockKind = NormalizeKind(code);
  stopY = blockKind == kNinjaRed ? kRedStopY : kStopY;
  period = Settings.difficulty == 0 ? kPeriodEasy : kPeriodNormal;
  if (code >= 20 && code <= 29) {
    phase = period / 9 * (code - 20);
  } else if (code >= 30 && code <= 39) {
    phase = period / 9 * (code - 30);
  } else {
    phase = 0;
  }
  image = BlocksImage;
  width = height = kEnemyBlockSize;
  hitW = hitH = kEnemyBlockSize;
  if (blockKind >= 11 && blockKind <= 14) {
    srcX = (3 * blockKind - 27) * 8;
  } else if (blockKind == kNinjaPurple) {
    srcX = 48;
    srcY = 24;
  } else if (blockKind == kNinjaRed) {
    srcX = 48;
    srcY = 48;
  }
  Join(kLayerBlock);
}

void EnemyBlockTask::Update() {
  if (hitCode == 3) {
    hitCode = 0;
    hitShape = kHitNone;
    TaskPool_SetLayer(this, kLayerEnemy);
    fallSpeed = kBlockHop;
    PlaySoundEffect(kSeUnpack);
    falling = 1;
  } else if (!falling && (blockKind == kNinjaPurple || blockKind == kNinjaRed)) {
    if (counter >= period && counter >= phase + period) {
      int r = counter % period;
      if (r == phase % period || r == (phase + kThrowStep1) % period) {
        srcX += kThrowStepX;
      } else if (r == (phase + kThrowAt) % period) {
        srcX += kThrowStepX;
        CreateTask<ShurikinTask>(PixelOf(x) + 4, PixelOf(y) + 4, PlayerX + 8, PlayerY + 8, kStarSpeed);
      } else if (r == (phase + kThrowEnd) % period) {
        srcX -= 3 * kThrowStepX;
      }
    }
  }
  if (falling) {
    y += fallSpeed;
    fallSpeed = std::min(fallSpeed + kGravity, kFallLimit);
    visible = counter % 4 == 2 || counter % 4 == 3;
    if (y >= stopY) {
      y = stopY;
      finished = 1;
      int at = PixelOf(x);
      switch (blockKind) {
        case 11:
        case 12:
        case 13:
          CreateTask<AshigaruMarugoshiTask>(at - 4, blockKind);
          break;
        case 14:
          CreateTask<SumouTask>(at - 4);
          break;
        case kNinjaPurple:
          CreateTask<PurpleNinjaTask>(at - 4);
          break;
        case kNinjaRed:
          CreateTask<RedNinjaTask>(at - 12, stopY);
          break;
        default:
          break;  // an empty block
      }
    }
  }
  ++counter;
}

void EnemyBlockTask::Draw() {
  if (!falling) {
    GfxDrawRectPartGraph(PixelOf(x), PixelOf(y), kFrameSrcX, kFrameSrcY, kEnemyBlockSize, kEnemyBlockSize, image, 1, 0);
  }
  Character::Draw();
}

ItemTask::ItemTask(int centerX, int centerY, int kind, double speedX)
    : Character(kind, centerX - kItemSize / 2, centerY - kItemSize / 2), itemKind(kind), speedX(speedX), speedY(kItemHop) {
  image = ItemsImage;
  width = height = kItemSize;
  srcX = kItemSize * (kind - 1);
  hitX = hitY = kItemBoxInset;
  hitW = hitH = kItemBoxSize;
  Join(kLayerItem);
}

void ItemTask::Update() {
  if (collected) {
    y -= kValueTextRise;
    if (counter > kValueTextFrames) finished = 1;
    ++counter;
    return;
  }
  y += speedY;
  x += speedX;
  if ((x + kItemWallInset < kWallLeft && speedX < 0) || (x + width - kItemWallInset >= kWallRight && speedX > 0)) {
    speedX = -speedX;
  }
  speedY = speedY < kFallLimit ? speedY + kGravity : kFallLimit;
  if (y + height >= kFloor) {
    y = kFloor - height;
    speedX = 0.0;
  }
  if (hitCode == 1 && Health > 0) {
    switch (itemKind) {
      case kItemScroll:
        PlaySoundEffect(kSeMakimono);
        ScrollTaken = 1;
        finished = 1;
        break;
      case kItemRiceBall:
        if (Health < kFullHealth) Health += 1;
        PlaySoundEffect(kSeOnigiri);
        finished = 1;
        break;
      case kItemCoin:
        AddScore(kCoinValue);
        PlaySoundEffect(kSeMoney);
        finished = 1;
        break;
      case kItemMoney:
        AddScore(MoneyLevel * kMoneyValue);
        PlaySoundEffect(kSeMoney2);
        hitShape = kHitNone;
        height = kValueTextHeight;
        srcX = kValueTextSrcX;
        srcY = kValueTextRowStep * ValueTextRow(MoneyLevel);
        if (MoneyLevel < kMoneyLevelTop) MoneyLevel *= 2;
        collected = 1;
        break;
      default:
        break;  // nothing happens; the item stays
    }
  }
  hitCode = 0;
}

DoronSmokeTask::DoronSmokeTask(int x, int y) : Character(-1, x, y) {
  image = MiscImage;
  width = height = kSmokeSize;
  srcY = kSmokeSrcY;
  hitShape = kHitNone;
  Join(kLayerEnemy);
}

void DoronSmokeTask::Update() {
  srcX = counter / 2 * kSmokeSize;
  ++counter;
  if (srcX >= kSmokeEndX) finished = 1;
}

OnlyCollisionTask::OnlyCollisionTask(int x, int y, int w, int h) : Character(-1, x, y) {
  width = hitW = w;
  height = hitH = h;
  visible = 0;
  Join(kLayerBossPart);
}
