// The sound conversion through the compression manager alone (MS and IMA ADPCM, G.711, MPEG in WAVE).
#include "sound_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::RunSoundConversion(data, size, SOUNDCONV_MASK_ACM);
}
