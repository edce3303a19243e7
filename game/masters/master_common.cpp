#include "game/masters/master_common.h"

#include "engine/draw/memimg.h"
#include "engine/system/system.h"
#include "game/playfield/blocks_items.h"
#include "game/playfield/collision.h"
#include "game/gfx.h"
#include "game/play_state.h"
#include "game/resources.h"

namespace {

constexpr int kBrightnessStep = 2;
constexpr int kFullBrightness = 255;
constexpr int kWakeBlinkPeriod = 3;
constexpr int kDeathBlinkPeriod = 3;
constexpr int kDeathShowerEnd = 256;
constexpr int kDeathShowerPeriod = 8;
constexpr int kDeathSoundPeriod = 32;
constexpr int kDeathVanishAt = 350;
constexpr int kDeathFadeStep = 4;
constexpr int kSmokeHalf = 16;
constexpr double kShowerSpeed = 0.5;
constexpr int kFullHealth = 5;
constexpr int kFinalItems = 3;
constexpr int kFlashBlendParam = 128;

}  // namespace

void SetBossNames(const char* line1, const char* line2) {
  CopyName(BossNameLine1, line1);
  CopyName(BossNameLine2, line2);
}

void MasterTakeHit(Character& master) {
  if (master.flashTimer == 0) master.attackPower = 0;
  int power = static_cast<int8_t>(master.hitCode);
  if (master.life <= 0 || power <= master.attackPower) return;
  master.life -= power;
  master.attackPower = power;
  if (master.life > 0) {
    PlaySoundEffect(kSeHitBoss);
    master.flashTimer = kMasterFlashFrames;
  }
}

void MasterStartDeath() {
  PlaySoundEffect(kSeDefeat);
  FadeOutBGM(kMasterDeathFadeOutMs);
}

void MasterWake(const Character& master) {
  BossGaugeFull = master.life;
  BossPhase = kBossFighting;
}

bool MasterWakingStep(Character& master, int32_t& brightness) {
  brightness = brightness + kBrightnessStep < kFullBrightness ? brightness + kBrightnessStep : kFullBrightness;
  if (BossGaugeShown < master.life) {
    master.visible = master.counter % kWakeBlinkPeriod == 2 ? 0 : 1;
    return false;
  }
  master.visible = 1;
  master.hitShape = kHitBox;
  return true;
}

void DropMasterFinalItems(int x, int y) {
  int missing = kFullHealth - Health;
  for (int i = 0; i < kFinalItems; ++i) {
    int kind = i < missing ? kItemRiceBall : kItemMoney;
    CreateTask<ItemTask>(x, y, kind, static_cast<double>(i - 1));
  }
}

bool MasterDyingStep(Character& master, int32_t& fade, DeathShowerArea area) {
  const int c = master.counter;
  master.visible = c % kDeathBlinkPeriod == 2 && fade == kMasterStartFade ? 0 : 1;
  if (c < kDeathShowerEnd && c % kDeathShowerPeriod == 0) {
    int px = PixelOf(master.x) + area.left + GetRandRange(area.width ? area.width : master.width);
    int py = PixelOf(master.y) + area.top + GetRandRange(area.height ? area.height : master.height);
    CreateTask<DoronSmokeTask>(px - kSmokeHalf, py - kSmokeHalf);
    CreateTask<ItemTask>(px, py, kItemCoin, kShowerSpeed);
    CreateTask<ItemTask>(px, py, kItemCoin, -kShowerSpeed);
    if (c % kDeathSoundPeriod == 0) PlaySoundEffect(kSeDefeat);
  }
  if (c < kDeathVanishAt) return false;
  if (c == kDeathVanishAt) PlaySoundEffect(kSeVanish);
  fade -= kDeathFadeStep;
  if (fade > 0) return false;
  fade = 0;
  BossPhase = kBossBeaten;
  PlaySoundEffect(kSeDefeat);
  DropMasterFinalItems(PixelOf(master.x) + master.hitX + master.hitW / 2,
                       PixelOf(master.y) + master.hitY + master.hitH / 2);
  AddScore(master.score);
  master.finished = 1;
  return true;
}

void PublishBossValues(const Character& master) {
  BossCenterX = master.x + master.hitX + master.hitW / 2;
  BossCenterY = master.y + master.hitY + master.hitH / 2;
  BossGaugeFull = master.life;
}

void EndMasterUpdate(Character& master) {
  PublishBossValues(master);
  master.hitCode = 0;
  if (master.flashTimer > 0) --master.flashTimer;
  ++master.counter;
}

void BeginMasterDraw(const Character& master, int32_t brightness, int32_t fade) {
  GfxSetDrawBrightness(brightness, brightness, brightness);
  if (master.life < 1) {
    GfxSetDrawBlendMode(BlendMode::Alpha, fade);
  } else if (master.flashTimer > 0) {
    GfxSetDrawBlendMode(BlendMode::InvertedAlpha, kFlashBlendParam);
  }
}

void EndMasterDraw() {
  GfxSetDrawBlendMode(BlendMode::None, 0);
  GfxSetDrawBrightness(255, 255, 255);
}
