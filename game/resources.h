// The game's images, sound effects, music, bitmap text and status panel.
#pragma once

#include <cstdint>

class Character;

// Image handles: 0 when not loaded, -1 when loading failed.
extern int32_t PlayerImage;
extern int32_t BlocksImage;
extern int32_t ItemsImage;
extern int32_t StatusImage;
extern int32_t MiscImage;
extern int32_t FontImage;
constexpr int kEnemyImageCount = 10;
extern int32_t EnemyImages[kEnemyImageCount];

// Each deletes its previous handle, then loads from StageDirectory, else "./common/".
bool LoadPlayerImage();
bool LoadBlocksImage();
bool LoadItemsImage();
bool LoadStatusImage();
bool LoadMiscImage();
bool LoadFontImage();
void LoadSceneImages();  // all six above
// Loads StageDirectory + name, else "./common/" + name; -1 when neither loads.
int LoadGameImage(const char* name);
// The enemy sheet n (0..9), loaded on first use; -1 for a bad index or a failed load.
int GetEnemyImage(int n);
// Deletes the ten enemy sheets and sets their handles to 0.
void DeleteEnemyImages();

// Sets every image and sound handle of the game to 0 (after the engine deleted them).
void ForgetResourceHandles();

// Sound effects by number.
enum SoundEffect : int {
  kSeDash = 0, kSeAttack, kSeDecision, kSeHitBreak, kSeHitCrack, kSeHitChar, kSeHitPaddle, kSeHitWall,
  kSeDamage, kSeHitEnemy, kSeDefeat, kSeMakimono, kSeMoney, kSeMoney2, kSeOnigiri, kSeUnpack,
  kSeDash2, kSeFire, kSeLifebar, kSeGetout, kSeHitBoss, kSeVanish, kSeBullet, kSeBulletQuiet,
  kSeStream, kSeThrow, kSeRolling, kSeCrash, kSeInk, kSeThunder, kSeSkull, kSe1up,
};
constexpr int kSoundEffectCount = 32;
extern int32_t SoundEffectTable[kSoundEffectCount];
// The file name (without folder and ".ogg") of each entry.
const char* SoundEffectName(int n);
void LoadSoundEffects();
// Plays entry n in the background from its start, when sound effects are on.
void PlaySoundEffect(int n);

// Starts a tune ("./bgm/..."), unless it is the one playing; nothing with BGM QUALITY 0.
void PlayBGM(const char* path, int loop);
// Stops and releases the tune and forgets its name.
void StopBGM();
// Fades the tune out and forgets its name, so the same tune can start again.
void FadeOutBGM(int milliseconds);
// Reopens the music output at the rate of BGM QUALITY 1..3.
void ResetBGMQuality();
// The sample rate of a BGM QUALITY: 11025, 22050, else 44100.
int BGMSampleRate(int quality);

// Bitmap text from FontImage: characters "!" to "`" are drawn, every character advances 8.
void DrawFontText(const char* text, int x, int y);
// value as exactly `digits` decimal digits with leading zeros.
void DrawNumber(int32_t value, int digits, int x, int y);
// A boss's life gauge at the bottom of the playfield.
void DrawGauge(const Character& task, int32_t maxLife, int offset);
// The panel right of the playfield; it also fills the boss gauge as it is drawn.
void DrawStatusPanel();
