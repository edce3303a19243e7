// The sound conversion through its raw MP3 decoder alone (tags, frame walk, decoding).
#include "sound_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::RunSoundConversion(data, size, SOUNDCONV_MASK_MP3);
}
