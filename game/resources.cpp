#include "game/resources.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/draw/draw.h"
#include "engine/sound/sound.h"
#include "engine/system/system.h"
#include "game/gfx.h"
#include "game/play_state.h"
#include "game/settings.h"
#include "game/task.h"

int32_t PlayerImage = 0;
int32_t BlocksImage = 0;
int32_t ItemsImage = 0;
int32_t StatusImage = 0;
int32_t MiscImage = 0;
int32_t FontImage = 0;
int32_t EnemyImages[kEnemyImageCount] = {};
int32_t SoundEffectTable[kSoundEffectCount] = {};

namespace {

bool ReloadImage(int32_t* handle, const char* name) {
  if (*handle != 0) DeleteGraph(*handle);
  *handle = LoadGameImage(name);
  return *handle != -1;
}

const char* const kSoundEffectNames[kSoundEffectCount] = {
    "dash",   "attack", "decision", "hit_break", "hit_crack", "hit_char", "hit_paddle", "hit_wall",
    "damage", "hit_enemy", "defeat", "makimono", "money",     "money2",   "onigiri",    "unpack",
    "dash2",  "fire",   "lifebar",  "getout",    "hit_boss",  "vanish",   "bullet",     "bullet",
    "stream", "throw",  "rolling",  "crash",     "ink",       "thunder",  "skull",      "1up",
};

}  // namespace

int LoadGameImage(const char* name) {
  int handle = LoadGraph((std::string(StageDirectory) + name).c_str());
  if (handle == -1) handle = LoadGraph((std::string("./common/") + name).c_str());
  return handle;
}

bool LoadPlayerImage() { return ReloadImage(&PlayerImage, "player.png"); }
bool LoadBlocksImage() { return ReloadImage(&BlocksImage, "blocks.png"); }
bool LoadItemsImage() { return ReloadImage(&ItemsImage, "items.png"); }
bool LoadStatusImage() { return ReloadImage(&StatusImage, "status.png"); }
bool LoadMiscImage() { return ReloadImage(&MiscImage, "misc.png"); }
bool LoadFontImage() { return ReloadImage(&FontImage, "font.png"); }

void LoadSceneImages() {
  LoadPlayerImage();
  LoadBlocksImage();
  LoadItemsImage();
  LoadStatusImage();
  LoadMiscImage();
  LoadFontImage();
}

int GetEnemyImage(int n) {
  if (n < 0 || n >= kEnemyImageCount) return -1;
  if (EnemyImages[n] != 0) return EnemyImages[n];
  char name[32];
  std::snprintf(name, sizeof name, "enemy%d.png", n);
  EnemyImages[n] = LoadGameImage(name);
  return EnemyImages[n];
}

void DeleteEnemyImages() {
  for (int32_t& handle : EnemyImages) {
    if (handle != 0) DeleteGraph(handle);
    handle = 0;
  }
}

void ForgetResourceHandles() {
  PlayerImage = BlocksImage = ItemsImage = StatusImage = MiscImage = FontImage = 0;
  for (int32_t& handle : EnemyImages) handle = 0;
  for (int32_t& handle : SoundEffectTable) handle = 0;
}

const char* SoundEffectName(int n) { return n >= 0 && n < kSoundEffectCount ? kSoundEffectNames[n] : ""; }

void LoadSoundEffects() {
  for (int i = 0; i < kSoundEffectCount; ++i) {
    // hit_char is loaded before hit_crack.
    int n = i == kSeHitCrack ? kSeHitChar : i == kSeHitChar ? kSeHitCrack : i;
    std::string path = std::string("./common/se/") + kSoundEffectNames[n] + ".ogg";
    SoundEffectTable[n] = LoadSoundMem(path.c_str(), 3, -1);
    if (n == kSeBulletQuiet) SetVolumeSoundMem(40, SoundEffectTable[n]);
  }
}

void PlaySoundEffect(int n) {
  if (Settings.soundEffect != 1 || n < 0 || n >= kSoundEffectCount) return;
  GfxPlaySoundMem(SoundEffectTable[n]);
}

int BGMSampleRate(int quality) { return quality == 1 ? 11025 : quality == 2 ? 22050 : 44100; }

void PlayBGM(const char* path, int loop) {
  if (std::string(path) == CurrentTune) return;
  StopBGM();
  if (Settings.bgmQuality == 0) return;
  MusicTuneSetLoop(loop);
  MusicTuneLoad(path);
  MusicTuneStart();
  CopyName(CurrentTune, path);
}

void StopBGM() {
  MusicTuneStop();
  MusicTuneRelease();
  CurrentTune[0] = '\0';
}

void FadeOutBGM(int milliseconds) {
  MusicTuneFadeout(milliseconds);
  CurrentTune[0] = '\0';
}

void ResetBGMQuality() {
  int q = Settings.bgmQuality;
  if (q >= 1 && q <= 3) MusicReset(BGMSampleRate(q));
}

void DrawFontText(const char* text, int x, int y) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    int c = *p;
    if (c >= 0x21 && c < 0x61) {
      int cell = c - 0x21;
      GfxDrawRectPartGraph(x, y, (cell % 8) * 8, (cell / 8) * 8, 8, 8, FontImage, 1, 0);
    }
    x += 8;
  }
}

void DrawNumber(int32_t value, int digits, int x, int y) {
  if (digits < 0) digits = 0;
  if (digits > 18) digits = 18;
  char text[20];
  int64_t rest = value;
  int64_t power = 1;
  for (int k = 1; k < digits; ++k) power *= 10;
  for (int i = 0; i < digits; ++i) {
    int64_t d = rest / power;
    rest -= d * power;
    power /= 10;
    int64_t code = '0' + d;
    // A digit past the character set stays blank.
    text[i] = code >= 0x21 && code <= 0x7E ? static_cast<char>(code) : ' ';
  }
  text[digits] = '\0';
  DrawFontText(text, x, y);
}

void DrawGauge(const Character& task, int32_t maxLife, int offset) {
  double center = task.x + task.width / 2 + offset;
  int cx = center > -1e9 && center < 1e9 ? static_cast<int>(center) : 0;
  GfxDrawFillBox(cx - 17, 229, cx + 17, 235, GetColor(0, 0, 0));
  if (task.life > 0 && maxLife > 0) {
    int64_t fill = int64_t{32} * task.life / maxLife;
    GfxDrawFillBox(cx - 16, 230, cx - 16 + static_cast<int>(fill), 234, GetColor(255, 255, 0));
  }
}

void DrawStatusPanel() {
  if (Paused == 1 && IsKeyDown(KeyCode::F12) != 1) DrawFontText("PAUSE", 100, 116);
  GfxDrawRectPartGraph(240, 0, 0, 0, 80, 240, StatusImage, 1, 0);
  DrawNumber(Lives, 1, 272, 144);
  for (int i = 0; i < Health; ++i) GfxDrawRectPartGraph(248 + 13 * i, 166, 80, 0, 12, 12, StatusImage, 1, 0);
  for (int i = 0; i < PowerGauge; ++i) GfxDrawRectPartGraph(248 + 2 * i, 192, 80, 16, 2, 8, StatusImage, 1, 0);
  if (PowerGauge >= 6) GfxDrawRectPartGraph(248, 200, 80, 80, 32, 8, StatusImage, 1, 0);
  if (PowerGauge >= 12) GfxDrawRectPartGraph(280, 200, 80, 88, 32, 8, StatusImage, 1, 0);
  int marks = EnemyBlockCount < 12 ? EnemyBlockCount : 12;
  for (int i = 0; i < marks; ++i) {
    GfxDrawRectPartGraph(248 + 16 * (i % 4), 72 + 16 * (i / 4), 80, 48, 16, 16, StatusImage, 1, 0);
  }
  if (BossPhase >= 2) {
    char line1[sizeof BossNameLine1 + 1];
    char line2[sizeof BossNameLine2 + 1];
    CopyName(line1, BossNameLine1);
    CopyName(line2, BossNameLine2);
    DrawFontText(line1, 248, 80);
    DrawFontText(line2, 248, 88);
    GfxDrawRectPartGraph(248, 96, 80, 96, 32, 16, StatusImage, 1, 0);
    GfxDrawRectPartGraph(280, 96, 80, 96, 32, 16, StatusImage, 1, 0);
    // The gauge fills as it is drawn: once per drawn frame.
    if (!Paused) {
      if (BossGaugeShown < BossGaugeFull) {
        PlaySoundEffect(kSeLifebar);
        BossGaugeShown = BossGaugeShown <= INT32_MAX - 5 ? BossGaugeShown + 5 : INT32_MAX;
      } else {
        BossGaugeShown = BossGaugeFull;
      }
    }
    if (BossGaugeShown > 0) {
      if (BossGaugeShown < 320) {
        GfxDrawStretchRectPartGraph(248, 96, 248 + BossGaugeShown * 64 / 320, 104, 80, 64, 16, 8, StatusImage, 1);
      } else {
        int64_t second = (int64_t{BossGaugeShown} - 320) * 64 / 320;
        GfxDrawStretchRectPartGraph(248, 96, 312, 104, 80, 64, 16, 8, StatusImage, 1);
        GfxDrawStretchRectPartGraph(248, 104, 248 + static_cast<int>(second), 112, 80, 112, 16, 8, StatusImage, 1);
      }
    }
  }
  DrawNumber(Score, 8, 248, 224);
}
