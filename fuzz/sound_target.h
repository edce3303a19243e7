// The sound conversion under fuzzing, one decoder of the chain at a time.
#pragma once

#include <cstring>
#include <vector>

#include "engine/sound/sound_convert.h"
#include "fuzz_common.h"

namespace fuzz {

// The skip mask that leaves only the given decoder of the chain.
constexpr int OnlyDecoder(int decoder) {
  return (SOUNDCONV_MASK_WAVE | SOUNDCONV_MASK_ACM | SOUNDCONV_MASK_OGG | SOUNDCONV_MASK_MP3 | SOUNDCONV_MASK_GRAPH) &
         ~decoder;
}

inline void CheckPcmFormat(const WAVEFORMATEX& f) {
  FUZZ_CHECK(f.wFormatTag == WAVE_FORMAT_PCM);
  FUZZ_CHECK(f.nChannels >= 1 && f.nSamplesPerSec >= 1);
  // Sample widths below 8 bits pass through; the device refuses them later.
  FUZZ_CHECK(f.wBitsPerSample >= 1 && f.nBlockAlign == f.nChannels * ((f.wBitsPerSample + 7) / 8));
  FUZZ_CHECK(f.nAvgBytesPerSec == uint32_t{f.nBlockAlign} * f.nSamplesPerSec);
}

// Converts the bytes with only `decoder` (a SOUNDCONV_MASK_ value) tried.
inline int RunSoundConversion(const uint8_t* data, size_t size, int decoder) {
  static const uint8_t none = 0;
  LiveBlocks blocks;
  // The last byte picks the output width that Ogg Vorbis chooses from.
  SoundLoadSettings settings{0, OnlyDecoder(decoder), size && (data[size - 1] & 1) ? 1 : 2, 0};
  StreamHandle stream = MemStreamOpen(size ? data : &none, size);
  FUZZ_CHECK(stream != 0);
  SoundConvertRecord r;
  if (SetupSoundConvert(&settings, GetMemStreamFunctions(), stream, &r) != 0) {
    MemStreamClose(stream);
    return 0;
  }
  WAVEFORMATEX format;
  FUZZ_CHECK(GetSoundConvertFormat(&r, &format) == 0);
  CheckPcmFormat(format);
  const int64_t destSize = GetSoundConvertDestSize(&r);
  FUZZ_CHECK(destSize >= 0);
  if (r.kind == SOUNDCONV_KIND_WAVE) FUZZ_CHECK(destSize <= int64_t(size));
  void* pcm = nullptr;
  uint32_t pcmSize = 0;
  if (ConvertSoundToPCM(&r, &format, &pcm, &pcmSize) == 0) {
    FUZZ_CHECK(pcm != nullptr);
    CheckPcmFormat(format);
    if (r.kind == SOUNDCONV_KIND_WAVE) FUZZ_CHECK(pcmSize <= size);
    // Back at the start the decoder gives the same sound again.
    if (pcmSize >= 16) {
      std::vector<uint8_t> again(std::min<uint32_t>(pcmSize, 8192));
      FUZZ_CHECK(SeekSoundConvert(&r, 0) == 0);
      const int got = RunSoundConvert(&r, again.data(), uint32_t(again.size()));
      FUZZ_CHECK(got >= 0 && uint32_t(got) <= again.size());
      FUZZ_CHECK(std::memcmp(again.data(), pcm, size_t(got)) == 0);
    }
    MemFree(pcm);
  } else {
    FUZZ_CHECK(pcm == nullptr && pcmSize == 0);
  }
  FUZZ_CHECK(TerminateSoundConvert(&r) == 0);
  MemStreamClose(stream);
  return 0;
}

}  // namespace fuzz
