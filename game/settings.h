// "setting.dat" and the per-frame button mask.
#pragma once

#include <cstdint>

constexpr int kSettingFileSize = 82;
extern const char* const kSettingFileName;  // "setting.dat"

// The game's settings; "setting.dat" holds them as 22 little-endian fields.
struct SettingRecord {
  uint8_t bgmQuality = 3;   // 0 off, 1 11025 Hz, 2 22050 Hz, 3 44100 Hz
  uint8_t soundEffect = 1;  // 0 off, 1 on
  int32_t screenSize = 1;   // 0 window, 1 doubled window, 2 full screen, 3 640 x 480
  int32_t frameSkip = 60;   // drawn frames a second; divides 60
  int32_t padAttack = 16;
  int32_t padJump = 32;
  int32_t padDash = 512;
  int32_t padStart = 64;
  int32_t keyLeft = 203;
  int32_t keyRight = 205;
  int32_t keyUp = 200;
  int32_t keyDown = 208;
  int32_t keyAttack = 44;
  int32_t keyJump = 45;
  int32_t keyDash = 46;
  int32_t keyStart = 57;
  int32_t continueStage = 0;  // highest stage number reached, 0..24
  int32_t normalHiScore = 0;
  int32_t padShield = 256;
  int32_t keyShield = 30;
  int32_t difficulty = 1;  // 0 EASY, 1 NORMAL
  int32_t easyHiScore = 0;
};

extern SettingRecord Settings;

// The highest stage number; stages run 0..24.
constexpr int32_t kLastStageNumber = 24;

// Reads "setting.dat" into Settings and ContinueStage. A missing file leaves the values
// as they are; a field past the end of a short file keeps its value; a field out of its
// range takes its default. A pad or key assignment that is not sound (see WriteSetting) is
// replaced as a whole by the last sound one, which before any is read or written is the default.
void ReadSetting();
// Writes all fields to a temporary file, synced to the disk, and renames it over "setting.dat",
// so the old file survives a failed write or a power cut. A pad or key assignment that leaves an
// action without a button, gives a button two actions or puts an action on a reserved key is
// not written: the one last read or written whole comes back, in the file and in Settings.
// False, after ReportUnsaved, when the file could not be written.
bool WriteSetting();
// One line on standard error and in the log: `what` could not be saved in `file` (named in
// full) for the reason of `error` (an errno value).
void ReportUnsaved(const char* what, const char* file, int error);

// Esc quits, F2 goes back to the title and F12 takes a screenshot: they are no action's key.
bool IsReservedKey(int code);
// The file image of the settings (82 bytes) and its reverse, for the two above.
void EncodeSetting(const SettingRecord& s, int32_t continueStage, uint8_t out[kSettingFileSize]);
// Decodes the first `size` bytes (whole fields only) over `s` and `continueStage`.
void DecodeSetting(const uint8_t* data, int size, SettingRecord* s, int32_t* continueStage);

// Button bits: directions as on the pad, actions by their pad values.
enum : int32_t {
  kButtonDown = 1,
  kButtonLeft = 2,
  kButtonRight = 4,
  kButtonUp = 8,
};
extern int32_t Buttons;
extern int32_t PrevButtons;

// Folds pad 1 and the assigned keys into Buttons; nothing while InputEnabled is 0.
void PollInput();
inline bool ButtonHeld(int32_t bit) { return (Buttons & bit) != 0; }
inline bool ButtonPressed(int32_t bit) { return (Buttons & bit) != 0 && (PrevButtons & bit) == 0; }
