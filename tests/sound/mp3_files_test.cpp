// MP3 files joined end to end, with junk between frames, in free format: as libmpg123 decodes them.
#include <gtest/gtest.h>

#include "engine/sound/sound_internal.h"
#include "media/test_filters.h"
#include "platform/window/test_driver.h"
#include "tests/sound/media.h"
#include "tests/sound/movie/movie_test_util.h"

namespace {

// A sound handle of the file (dataType 0: whole, 2: a stream), by the decoders the mask leaves.
int Load(const char* name, int dataType, int mask) {
  const SoundLoadSettings settings{dataType, mask, 2, 0};
  return LoadSoundMemBase(&settings, movietest::MoviePath(name).c_str(), 1, -1, 0, 0);
}

std::vector<int16_t> Samples(int handle) {
  SoundBuffer* b = handle < 0 ? nullptr : &GetSoundHandleRecord(handle)->buffers[0];
  void* pcm = nullptr;
  uint32_t bytes = 0;
  if (SoundBuffer_Lock(b, 0, uint32_t(GetSoundTotalSample(handle)) * 4, &pcm, &bytes, nullptr, nullptr) != 0) return {};
  std::vector<int16_t> samples = ToSamples(pcm, bytes);
  SoundBuffer_Unlock(b, pcm, bytes, nullptr, 0);
  return samples;
}

TEST(Mp3Files, LoadWholeAsLibmpg123DecodesThem) {
  NullAudioConfig config;
  AudioNull_Install(&config);
  TestDriver_Reset();
  ASSERT_EQ(LibInit(), 0);
  mtest::ScopedPcmRenderer renderer;
  for (const char* name : {"mp3_joined.mp3", "mp3_junk_between.mp3", "mp3_free_format.mp3", "mp3_free_then_fixed.mp3",
                           "mp3_fixed_then_free.mp3"}) {
    SCOPED_TRACE(name);
    const std::string text = ReadFileText(movietest::MoviePath(name));
    Bytes file(text.begin(), text.end());
    const size_t asItStands = DecodeMp3Direct(file, 2, 44100).size();
    // After junk ("junk" to "end") libmpg123 has lost what the next frames borrow from the ones
    // before (their bit reservoir); the frames handed on without the junk keep it.
    if (const size_t junk = text.find("junk"); junk != std::string::npos)
      file.erase(file.begin() + std::ptrdiff_t(junk), file.begin() + std::ptrdiff_t(text.find("end", junk) + 3));
    const std::vector<int16_t> want = DecodeMp3Direct(file, 2, 44100);
    EXPECT_EQ(want.size(), asItStands);
    EXPECT_EQ(Samples(Load(name, 0, 0)), want);  // bit for bit
    // A stream's length is the set-up's count: what is decoded, the encoder's delay and padding
    // left out.
    EXPECT_EQ(size_t(GetSoundTotalSample(Load(name, 2, SOUNDCONV_MASK_GRAPH))) * 2, want.size());
  }
  const int onlyTheGraph = SOUNDCONV_MASK_WAVE | SOUNDCONV_MASK_ACM | SOUNDCONV_MASK_OGG | SOUNDCONV_MASK_MP3;
  for (const char* name : {"mp3_free_format.mp3", "mp3_free_then_fixed.mp3", "mp3_fixed_then_free.mp3"})
    EXPECT_EQ(Samples(Load(name, 0, onlyTheGraph)), Samples(Load(name, 0, 0))) << name;
  LibEnd();
  AudioNull_Install(nullptr);
}

}  // namespace
