// "setting.dat": decoding any bytes gives settings in range that survive a write and read back.
#include <cstring>

#include "fuzz_common.h"
#include "game/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t image[kSettingFileSize] = {};
  const int used = int(size < sizeof image ? size : sizeof image);
  if (used) std::memcpy(image, data, size_t(used));
  SettingRecord s;
  int32_t stage = 0;
  DecodeSetting(image, used, &s, &stage);
  FUZZ_CHECK(s.bgmQuality <= 3 && s.soundEffect <= 1);
  FUZZ_CHECK(s.screenSize >= 0 && s.screenSize <= 3);
  FUZZ_CHECK(s.frameSkip >= 1 && s.frameSkip <= 60 && 60 % s.frameSkip == 0);
  FUZZ_CHECK(stage >= 0 && stage <= kLastStageNumber);
  FUZZ_CHECK(s.normalHiScore >= 0 && s.easyHiScore >= 0);
  for (int32_t pad : {s.padAttack, s.padJump, s.padDash, s.padStart, s.padShield})
    FUZZ_CHECK(pad >= 16 && (pad & (pad - 1)) == 0);
  for (int32_t key : {s.keyLeft, s.keyRight, s.keyUp, s.keyDown, s.keyAttack, s.keyJump, s.keyDash, s.keyStart,
                      s.keyShield})
    FUZZ_CHECK(key >= 0 && key <= 255);
  uint8_t written[kSettingFileSize];
  EncodeSetting(s, stage, written);
  SettingRecord back;
  int32_t backStage = -1;
  DecodeSetting(written, kSettingFileSize, &back, &backStage);
  uint8_t again[kSettingFileSize];
  EncodeSetting(back, backStage, again);
  FUZZ_CHECK(std::memcmp(written, again, sizeof written) == 0);
  return 0;
}
