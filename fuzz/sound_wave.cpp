// The sound conversion through its plain WAVE decoder alone.
#include "sound_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::RunSoundConversion(data, size, SOUNDCONV_MASK_WAVE);
}
