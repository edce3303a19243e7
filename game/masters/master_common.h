// Rules shared by the five masters: the boss values they keep in the play state
// (BossPhase, BossGaugeFull, BossCenterX/Y, the name lines), their hit reaction, the
// waking on the scroll and the long death sequence that ends in an item shower.
// This folder holds the five masters, each with its weapons, and this shared code; they call the
// frame (tasks, play state, resources, gfx), the playfield and the small enemies, and the engine's API.
#pragma once

#include <cstdint>

#include "game/task.h"

// BossPhase values (4 and 5 belong to the skull master).
enum BossPhaseCode : int32_t {
  kBossNone = 0,
  kBossWaiting = 1,
  kBossFighting = 2,
  kBossBeaten = 3,
};

constexpr int kMasterFlashFrames = 2;
constexpr int kMasterDeathFadeOutMs = 3000;
constexpr int kMasterStartBrightness = 64;
constexpr int kMasterStartFade = 255;

// Copies the two 10-byte name lines of the status panel.
void SetBossNames(const char* line1, const char* line2);

// The hit reaction, first thing of every update: damage by the hit code (a signed byte)
// unless a flash already took as much; sound effect 20 and a 2-frame flash while alive.
void MasterTakeHit(Character& master);

// The start of the death: sound effect 10, the tune faded out over 3 s and forgotten.
void MasterStartDeath();

// Waking on the scroll: the gauge target and BossPhase 2. The caller starts its music.
void MasterWake(const Character& master);

// One update of waking: brightens by 2 up to 255 and blinks while the panel's gauge
// fills. True once the gauge is full: then visible, touchable (box).
bool MasterWakingStep(Character& master, int32_t& brightness);

// Where the smoke and coins of a dying master appear: a random point of
// (x + left .. + width, y + top .. + height), whole pixels. Zero sizes mean the sprite's.
struct DeathShowerArea {
  int left = 0, width = 0, top = 0, height = 0;
};

// One update of the death sequence (counter from 0): blinking, smoke and coins before
// 256, the vanish at 350, then the fade. At its end BossPhase 3, the final items by the
// player's missing health, the master's score, and `finished`. True at that end.
bool MasterDyingStep(Character& master, int32_t& fade, DeathShowerArea area = {});

// The three final items from (x, y): health for each missing point of health (at most
// three), money for the rest.
void DropMasterFinalItems(int x, int y);

// The centre of the hit box (integer halves) and the gauge target, published every update.
void PublishBossValues(const Character& master);

// The end of every master update: publish, hit code cleared, flash lowered, counter + 1.
void EndMasterUpdate(Character& master);

// Draw state of a master: brightness, the flash (inverted source), or while dead the
// fade as alpha blending. EndMasterDraw puts both back.
void BeginMasterDraw(const Character& master, int32_t brightness, int32_t fade);
void EndMasterDraw();
