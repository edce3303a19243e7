// MP3 files as people's tools leave them (two joined end to end, junk between frames, free
// format) load whole, as libmpg123 decodes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "engine/sound/sound_internal.h"
#include "media/test_filters.h"
#include "platform/window/test_driver.h"
#include "tests/sound/media.h"
#include "tests/sound/movie/movie_test_util.h"

namespace {

constexpr int kOnlyTheGraph = SOUNDCONV_MASK_WAVE | SOUNDCONV_MASK_ACM | SOUNDCONV_MASK_OGG | SOUNDCONV_MASK_MP3;

class Mp3Files : public mtest::MediaTest {
 protected:
  void SetUp() override {
    SetLogOutputFlag(0);
    static NullAudioConfig config;
    AudioNull_Install(&config);
    TestDriver_Reset();
    ASSERT_EQ(LibInit(), 0);
  }
  void TearDown() override {
    LibEnd();
    AudioNull_Install(nullptr);
    mtest::MediaTest::TearDown();
  }
  // A whole sound's samples (dataType 0), or of a stream (2) only its length as *frames.
  std::vector<int16_t> Load(const char* name, int dataType, int mask, int* frames = nullptr) {
    const SoundLoadSettings settings{dataType, mask, 2, 0};
    const int h = LoadSoundMemBase(&settings, movietest::MoviePath(name).c_str(), 1, -1, 0, 0);
    EXPECT_GE(h, 0);
    if (h < 0) return {};
    if (frames) *frames = GetSoundTotalSample(h);
    std::vector<int16_t> samples;
    void* pcm = nullptr;
    uint32_t bytes = 0;
    SoundBuffer* b = &GetSoundHandleRecord(h)->buffers[0];
    const uint32_t whole = uint32_t(GetSoundTotalSample(h)) * 4;
    if (dataType == 0 && SoundBuffer_Lock(b, 0, whole, &pcm, &bytes, nullptr, nullptr) == 0) {
      samples = ToSamples(pcm, bytes);
      SoundBuffer_Unlock(b, pcm, bytes, nullptr, 0);
    }
    DeleteSoundMem(h);
    return samples;
  }
  mtest::ScopedPcmRenderer renderer;
};

int MaxDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  int worst = a.size() == b.size() ? 0 : 65536;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

TEST_F(Mp3Files, LoadWholeAsLibmpg123DecodesThem) {
  for (const char* name : {"mp3_joined.mp3", "mp3_junk_between.mp3", "mp3_free_format.mp3"}) {
    SCOPED_TRACE(name);
    const std::string text = ReadFileText(movietest::MoviePath(name));
    Bytes file(text.begin(), text.end());
    const std::vector<int16_t> asItStands = DecodeMp3Direct(file, 2, 44100);
    ASSERT_GE(asItStands.size(), size_t(44100 * 2));
    // After junk ("junk" to "end") libmpg123 has lost what the next frames borrow from the ones
    // before (their bit reservoir); the frames handed on without the junk keep it.
    const size_t junk = text.find("junk");
    if (junk != std::string::npos)
      file.erase(file.begin() + std::ptrdiff_t(junk), file.begin() + std::ptrdiff_t(text.find("end", junk) + 3));
    const std::vector<int16_t> want = DecodeMp3Direct(file, 2, 44100);
    EXPECT_EQ(want.size(), asItStands.size());
    EXPECT_LE(MaxDifference(Load(name, 0, 0), want), 1);
    if (std::string(name) == "mp3_free_format.mp3") {
      EXPECT_LE(MaxDifference(Load(name, 0, kOnlyTheGraph), want), 1);
    }
  }
  // A stream's length is the set-up's count, which goes on past the junk. (A delay-and-padding
  // frame in front would make the count longer than the decode: this file has none.)
  int frames = 0;
  Load("mp3_junk_between.mp3", 2, SOUNDCONV_MASK_GRAPH, &frames);
  EXPECT_EQ(frames, 40 * 1152);
}

}  // namespace
