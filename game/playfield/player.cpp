#include "game/playfield/player.h"

#include <algorithm>

#include "engine/draw/draw.h"
#include "game/playfield/blocks_items.h"
#include "game/playfield/collision.h"
#include "game/gfx.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"
#include "game/playfield/stage_scenes.h"

namespace {

constexpr int kStartX = 104;
constexpr int kFloorY = 194;  // the player's y when standing
constexpr int kWidth = 32;
constexpr int kPartSize = 32;  // legs and upper body are 32 x 32 each
constexpr int kLegsDrawY = 16;
constexpr int kBodyDrawY = -8;

// Collision boxes: standing, and the wider one of a dash.
constexpr int kBoxX = 8, kBoxY = 3, kBoxW = 16, kBoxH = 24;
constexpr int kDashBoxX = 2, kDashBoxY = -1, kDashBoxW = 28, kDashBoxH = 32;

// Upper-body poses (srcX), published as PlayerPose.
constexpr int kPoseIdle = 0;
constexpr int kPoseSlash1 = 32, kPoseSlash2 = 64, kPoseSlash3 = 96;
constexpr int kPoseDash = 128;
constexpr int kPoseHurt = 192;
// Leg poses (legSrcX).
constexpr int kLegsJump = 128, kLegsDash = 160, kLegsHurt = 192;
constexpr int kWalkFrameTime = 6;

constexpr double kWalkSpeed = 2.0;
constexpr double kJumpSpeed = -4.0;
constexpr int kJumpHoldFrames = 7;  // JUMP held up to 8 frames keeps the rise going
constexpr double kGravity = 0.4;
constexpr double kFallLimit = 6.0;
constexpr double kHurtHop = -2.0;

constexpr int kDashStart = 11;
constexpr int kDashReady = -8;
constexpr int kDashStep = 8;
constexpr int kDashAttackCost = 6;
constexpr int kShieldCost = 12;
constexpr int kShieldFrames = 360;
constexpr int kHurtGaugeLoss = 4;

constexpr int kSlashOnAt = 6;
constexpr int kSlashEndAt = 12;
constexpr int kSlashAgainAfter = 9;

constexpr int kHurtInvincible = 90;
constexpr int kControlBelow = 71;  // the first 20 frames of a hurt take control away
constexpr int kBeatenInvincible = 9000;
constexpr int kRestartAt = kBeatenInvincible - 120;

constexpr int kWallLeft = 12;
constexpr int kWallRight = 228;
constexpr int kWallInset = 4;

constexpr int32_t kExtraLifeScores[] = {100000, 300000, 500000};

// Dash flash: 32 x 48 at (224, 0).
constexpr int kFlashSrcX = 224, kFlashWidth = 32, kFlashHeight = 48;

// Slash: 48 x 18 at (0, 64).
constexpr int kSlashWidth = 48, kSlashHeight = 18, kSlashSrcY = 64;
constexpr int kSlashFrames = 6;

// After-image.
constexpr int kAfterimageFade = 64;

// Shield.
constexpr int kShieldRadius = 32;
constexpr int kShieldGrow = 4;
constexpr int kShieldBlinkBelow = 90;
constexpr int kShieldRings = 15;
constexpr unsigned int kShieldColor = 0x88FF;

int AttackPowerNow(int boss, int scroll, int plain) {
  if (BossPhase == 5) return boss;
  return ScrollTaken ? scroll : plain;
}

}  // namespace

PlayerSlashTask::PlayerSlashTask(bool upperLayer) : Character(-1, 0, 0) {
  image = PlayerImage;
  width = kSlashWidth;
  height = kSlashHeight;
  srcY = kSlashSrcY;
  hitX = 16;
  hitY = 2;
  hitW = 32;
  hitH = 16;
  attackPower = 1;
  visible = 0;
  hitShape = kHitNone;
  Join(upperLayer ? kLayerShield : kLayerAttack);
}

void PlayerSlashTask::Update() {
  hitCode = 0;
  if (!on) return;
  attackPower = AttackPowerNow(16, 5, 1);
  visible = 1;
  hitShape = kHitBox;
  flip = PlayerFlip;
  y = PlayerY - 2;
  x = flip == 0 ? PlayerX + 8 : PlayerX - 24;
  if (counter == 2 || counter == 4) srcX += kSlashWidth;
  if (counter < kSlashFrames) {
    ++counter;
  } else {
    srcX = 0;
    visible = 0;
    hitShape = kHitNone;
    counter = 0;
    on = false;
  }
  hitX = flip == 0 ? 16 : 0;
}

PlayerDashAttackTask::PlayerDashAttackTask() : Character(-1, 0, 0) {
  hitX = kBoxX;
  hitY = kBoxY;
  hitW = kBoxW;
  hitH = kBoxH;
  attackPower = 4;
  visible = 0;
  hitShape = kHitNone;
  Join(kLayerAttack);
}

void PlayerDashAttackTask::Update() {
  hitCode = 0;
  if (!on) {
    hitShape = kHitNone;
    return;
  }
  x = PlayerX;
  y = PlayerY;
  hitShape = kHitBox;
  attackPower = AttackPowerNow(64, 20, 4);
}

PlayerDashAfterimageTask::PlayerDashAfterimageTask(int x, int y, double speedX, bool dashAttack)
    : Character(-1, x, y), speedX(speedX), dashAttack(dashAttack) {
  image = PlayerImage;
  width = kWidth;
  flip = speedX >= 0 ? 1 : 0;
  hitShape = kHitNone;
  Join(kLayerShield);
}

void PlayerDashAfterimageTask::Update() {
  alpha -= kAfterimageFade;
  x += speedX;
  if (alpha < 0) {
    alpha = 0;
    finished = 1;
  }
}

void PlayerDashAfterimageTask::Draw() {
  GfxSetDrawBlendMode(BlendMode::Alpha, alpha);
  if (!dashAttack) {
    GfxDrawRectPartGraph(PixelOf(x), PixelOf(y + kLegsDrawY), kLegsDash, 32, kPartSize, kPartSize, image, 1, flip);
    GfxDrawRectPartGraph(PixelOf(x), PixelOf(y + kBodyDrawY), kPoseDash, 0, kPartSize, kPartSize, image, 1, flip);
  } else {
    GfxDrawRectPartGraph(PixelOf(x + (flip ? 1 : -1)), PixelOf(y + kBodyDrawY), kFlashSrcX, 0, kFlashWidth, kFlashHeight,
                         image, 1, flip);
  }
  GfxSetDrawBlendMode(BlendMode::None, 0);
}

PlayerShieldTask::PlayerShieldTask() : Character(-1, PixelOf(PlayerX + 16), PixelOf(PlayerY + 14)) {
  hitShape = kHitCircle;
  hitW = kShieldRadius;
  width = 0;
  Join(kLayerShield);
}

void PlayerShieldTask::Update() {
  if (phase == 0) {
    if (width < kShieldRadius) width += kShieldGrow;
    if (PlayerShieldShowTime < 1 || Health < 1) phase = 1;
    visible = PlayerShieldShowTime >= kShieldBlinkBelow || counter % 4 == 2 || counter % 4 == 3;
    ++counter;
  } else {
    width -= kShieldGrow;
    visible = 1;
    if (width < 1) finished = 1;
  }
  x = PlayerX + 16;
  y = PlayerY + 14;
  hitCode = 0;
}

void PlayerShieldTask::Draw() {
  for (int i = 0; i < kShieldRings; ++i) {
    int radius = width - (kShieldRings - 1) + i;
    if (radius < 0) continue;
    GfxSetDrawBlendMode(BlendMode::Add, 12 * i);
    GfxDrawCircle(PixelOf(x), PixelOf(y), radius, kShieldColor, 0);
  }
  GfxSetDrawBlendMode(BlendMode::None, 0);
}

PlayerTask::PlayerTask() : Character(-1, kStartX, kFloorY), lastScore(Score) {
  image = PlayerImage;
  life = Health;
  width = kWidth;
  hitX = kBoxX;
  hitY = kBoxY;
  hitW = kBoxW;
  hitH = kBoxH;
  Join(kLayerPlayer);
}

PlayerTask::~PlayerTask() {
  if (PlayerSlashTask* s = slash.get()) s->finished = 1;
  if (PlayerSlashTask* s = slash2.get()) s->finished = 1;
  if (PlayerDashAttackTask* d = dashAttackTask.get()) d->finished = 1;
}

// Gravity once the rise of a jump is over, and the floor.
void PlayerTask::FallAndLand() {
  if (!falling) {
    if (ButtonHeld(Settings.padJump) && jumpHold <= kJumpHoldFrames) {
      ++jumpHold;
    } else if (dashTime < 1) {
      falling = 1;
    }
  }
  if (falling) speedY = std::min(speedY + kGravity, kFallLimit);
  if (y >= kFloorY) {
    y = kFloorY;
    jumpHold = 0;
    speedY = 0.0;
    if (move == kMoveJump) move = kMoveStand;
  }
}

void PlayerTask::Update() {
  if (!slash) slash.reset(CreateTask<PlayerSlashTask>());
  if (!dashAttackTask) dashAttackTask.reset(CreateTask<PlayerDashAttackTask>());

  // Damage: health taken elsewhere (the ball on the floor), or a touch.
  const bool touched = hitCode == 6 || hitCode == 7 || hitCode == 8;
  if (Health < life || touched) {
    if (touched) Health -= 1;
    PowerGauge = std::max(PowerGauge - kHurtGaugeLoss, 0);
    PlayerInvincibleTime = kHurtInvincible;
    dashTime = kDashReady;
    speedY = kHurtHop;
    falling = 1;
    action = kActHurt;
    move = kMoveHurt;
    MoneyLevel = 1;
    PlaySoundEffect(kSeDamage);
  }
  if (Health < 1 && PlayerInvincibleTime <= kHurtInvincible) {
    hitShape = kHitNone;
    PlayerInvincibleTime = kBeatenInvincible;
    StopBGM();
    PlayBGM("./bgm/out.pttune", 0);
  }

  y += speedY;

  if (PlayerInvincibleTime < kControlBelow) {
    if (action == kActHurt) {
      action = kActNone;
      move = kMoveStand;
    }

    if (dashTime > kDashReady) --dashTime;
    if (dashTime >= 1 && action == kActDash) {
      x += flip == 0 ? kDashStep : -kDashStep;
      CreateTask<PlayerDashAfterimageTask>(PixelOf(x), PixelOf(y), flip == 0 ? -kDashStep : kDashStep, dashAttack != 0);
    }
    if (dashTime == 0 && action == kActDash) {
      falling = 1;
      action = kActNone;
      move = kMoveJump;
    }

    FallAndLand();

    if (action == kActSlash) {
      if (slashFrame == kSlashOnAt) {
        if (PlayerSlashTask* s = slash.get()) s->on = true;
      }
      if (slashFrame == kSlashEndAt) action = kActNone;
    }

    if (action != kActDash) {
      bool stepped = false;
      if (ButtonHeld(kButtonRight)) {
        flip = 0;
        x += kWalkSpeed;
        stepped = true;
      } else if (ButtonHeld(kButtonLeft)) {
        flip = 1;
        x -= kWalkSpeed;
        stepped = true;
      }
      if (stepped && move == kMoveStand) move = kMoveWalk;
      if (!stepped && move == kMoveWalk) move = kMoveStand;
    }

    if ((move == kMoveStand || move == kMoveWalk) && ButtonPressed(Settings.padJump)) {
      move = kMoveJump;
      speedY = kJumpSpeed;
      falling = 0;
    }

    if (dashTime == kDashReady && ButtonPressed(Settings.padDash)) {
      speedY = 0.0;
      dashTime = kDashStart;
      action = kActDash;
      move = kMoveDash;
      if (ButtonHeld(Settings.padAttack) && PowerGauge >= kDashAttackCost) {
        PowerGauge -= kDashAttackCost;
        dashAttack = 1;
        if (PlayerDashAttackTask* d = dashAttackTask.get()) d->on = true;
        PlaySoundEffect(kSeDash2);
      } else {
        PlaySoundEffect(kSeDash);
      }
      falling = 0;
    }

    if ((action != kActSlash || slashFrame > kSlashAgainAfter) && action != kActDash &&
        ButtonPressed(Settings.padAttack)) {
      action = kActSlash;
      slashFrame = 0;
      PlaySoundEffect(kSeAttack);
    }

    if (PlayerShieldTime == 0 && PowerGauge >= kShieldCost && ButtonPressed(Settings.padShield)) {
      PlayerShieldTime = PlayerShieldShowTime = kShieldFrames;
      CreateTask<PlayerShieldTask>();
      PowerGauge -= kShieldCost;
      PlaySoundEffect(kSeDecision);
    }
  } else {
    // Knocked back, without control.
    if (Health > 0) x += flip == 0 ? -1.0 : 1.0;
    FallAndLand();
    if (Health < 1 && PlayerInvincibleTime == kRestartAt) {
      PlaySoundEffect(kSeDefeat);
      CreateTask<DoronSmokeTask>(PixelOf(x), PixelOf(y - 8));
      CreateTask<StageRestartTask>();
      finished = 1;
    }
  }

  if (x + kWallInset < kWallLeft) x = kWallLeft - kWallInset;
  if (x + width - kWallInset > kWallRight) x = kWallRight + kWallInset - width;

  switch (action) {
    case kActNone:
      srcX = kPoseIdle;
      break;
    case kActSlash:
      if (slashFrame == 0) srcX = kPoseSlash1;
      if (slashFrame == 4) srcX = kPoseSlash2;
      if (slashFrame == 6) srcX = kPoseSlash3;
      break;
    case kActDash:
      srcX = kPoseDash;
      break;
    case kActHurt:
      srcX = kPoseHurt;
      break;
    default:
      break;
  }
  switch (move) {
    case kMoveStand:
      legSrcX = 0;
      break;
    case kMoveWalk: {
      int k = counter / kWalkFrameTime % 6;
      legSrcX = k <= 3 ? 32 * k : 192 - 32 * k;  // 0, 32, 64, 96, 64, 32
      break;
    }
    case kMoveJump:
      legSrcX = kLegsJump;
      break;
    case kMoveDash:
      legSrcX = kLegsDash;
      break;
    case kMoveHurt:
      legSrcX = kLegsHurt;
      break;
    default:
      break;
  }

  if (action == kActDash) {
    hitX = kDashBoxX;
    hitY = kDashBoxY;
    hitW = kDashBoxW;
    hitH = kDashBoxH;
  } else {
    hitX = kBoxX;
    hitY = kBoxY;
    hitW = kBoxW;
    hitH = kBoxH;
  }

  if (PlayerShieldTime > 0) --PlayerShieldTime;
  if (PlayerShieldShowTime > 0) --PlayerShieldShowTime;

  if (srcX != kPoseDash) dashAttack = 0;
  if (!dashAttack) {
    if (PlayerDashAttackTask* d = dashAttackTask.get()) d->on = false;
  }

  PlayerX = x;
  PlayerY = y;
  PlayerPose = srcX;
  PlayerFlip = flip;

  if (InputEnabled == 1) {
    for (int32_t level : kExtraLifeScores) {
      if (Score >= level && lastScore < level) {
        Lives += 1;
        PlaySoundEffect(kSe1up);
        break;
      }
    }
  }

  lastScore = Score;
  life = Health;
  if (action == kActSlash) ++slashFrame;
  if (PlayerInvincibleTime > 0) --PlayerInvincibleTime;
  ++counter;
  hitCode = 0;
}

void PlayerTask::Draw() {
  if (PlayerInvincibleTime != 0 && counter % 4 >= 2) return;
  GfxDrawRectPartGraph(PixelOf(x), PixelOf(y + kLegsDrawY), legSrcX, legSrcY, kPartSize, kPartSize, image, 1, flip);
  GfxDrawRectPartGraph(PixelOf(x), PixelOf(y + kBodyDrawY), srcX, srcY, kPartSize, kPartSize, image, 1, flip);
  if (dashAttack) {
    GfxDrawRectPartGraph(PixelOf(x + (flip ? 1 : -1)), PixelOf(y + kBodyDrawY), kFlashSrcX, 0, kFlashWidth, kFlashHeight,
                         image, 1, flip);
  }
}
