// Fuzz target: a stream sound read from a file of fuzzed bytes (WAVE, compressed WAVE or Ogg
// Vorbis), played on a null device while the sound thread refills it: played, stopped, resumed,
// looped past its end and sought back to its start, then deleted.
#include <cstddef>
#include <cstdint>

#include "engine/sound/sound.h"
#include "fuzz/fuzz_common.h"
#include "platform/audio/audio.h"

namespace {

constexpr uint32_t kRate = 22050;
NullAudioConfig device;

// The mixer takes ms milliseconds of sound; the refill runs on the sound thread and here.
void Play(int ms) {
  for (int i = 0; i < ms / 20; ++i) {
    AudioNull_Advance(AudioNull_Current(), kRate / 50);
    ProcessStreamSoundMemAll();
  }
}

void CheckPosition(int handle, int total) {
  const int at = GetSoundCurrentTime(handle);
  FUZZ_CHECK(at >= 0 && at <= total);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterScratchFolder();
  device.rate = kRate;
  AudioNull_Install(&device);
  fuzz::StartEngine();
  FUZZ_CHECK(AudioNull_Current() != nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  fuzz::WriteWholeFile("sound.bin", data, size);
  fuzz::LiveBlocks blocks;
  // A stream from the file, or from a copy in memory; MP3 and the media graph have targets of
  // their own.
  SoundLoadSettings settings{size && (data[0] & 1) ? 3 : 2, 8 | 16, size && (data[size - 1] & 1) ? 1 : 2, 0};
  const int sound = LoadSoundMemBase(&settings, "sound.bin", 1, -1, 0, 0);
  if (sound == -1) return 0;
  const int total = GetSoundTotalTime(sound);
  FUZZ_CHECK(total >= 0);
  FUZZ_CHECK(PlaySoundMem(sound, PlayType::Background) == 0);
  Play(100);
  CheckPosition(sound, total);
  FUZZ_CHECK(StopSoundMem(sound) == 0);
  FUZZ_CHECK(IsSoundMemPlaying(sound) == 0);
  const int stopped = GetSoundCurrentTime(sound);
  Play(40);
  FUZZ_CHECK(GetSoundCurrentTime(sound) == stopped);  // a stopped stream keeps its place
  // Resumed as a loop, played past the end of a short sound, then from its start once more.
  PlaySoundMem(sound, PlayType::Loop, 0);
  Play(600);
  CheckPosition(sound, total);
  PlaySoundMem(sound, PlayType::Background, 1);
  Play(60);
  CheckPosition(sound, total);
  FUZZ_CHECK(DeleteSoundMem(sound) == 0);
  AudioNull_ClearCapture(AudioNull_Current());  // the null device keeps all it mixed
  return 0;
}
