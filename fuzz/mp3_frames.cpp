// MP3 frame headers, the frame walks and the search for a run of frames over raw bytes.
#include <algorithm>
#include <vector>

#include "engine/sound/sound_convert_internal.h"
#include "fuzz_common.h"
#include "platform/mpeg/mpeg_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  for (size_t i = 0; i + 4 <= size && i < 64; ++i) {
    MP3FrameInfo f;
    const int r = AnalyseMP3FrameHeader(data + i, &f);
    FUZZ_CHECK(r == 0 || r == -1 || r == -2);
    if (r != 0) continue;
    FUZZ_CHECK(f.layer >= 0 && f.layer <= 2 && f.channels >= 1 && f.channels <= 2);
    FUZZ_CHECK(f.sampleRate >= 16000 && f.sampleRate <= 48000);
    FUZZ_CHECK(f.frameLength >= 0 && f.frameLength <= 2881);  // Layer II at 384 kbit/s, 32 kHz, padded
    FUZZ_CHECK(f.samplesPerFrame == 384 || f.samplesPerFrame == 576 || f.samplesPerFrame == 1152);
  }
  for (bool resync : {false, true}) {
    uint32_t first = 0, stop = 0;
    MP3FrameInfo head{};
    const int64_t samples = WalkMP3Frames(data, 0, uint32_t(size), resync, &first, &stop, &head);
    FUZZ_CHECK(samples >= 0 && first <= stop && stop <= size);
    // Every frame walked holds at least 24 bytes: at most 48 samples to a byte (1152 / 24).
    FUZZ_CHECK(samples <= int64_t(stop - first) * 48);
  }
  const int64_t run = MpegFindFrames(data, size);
  FUZZ_CHECK(run == -1 || (run >= 0 && uint64_t(run) + 4 <= size && data[run] == 0xFF));
  std::vector<uint8_t> gathered(data, data + size);
  MpegFrames frames;
  FUZZ_CHECK(MpegGatherFrames(gathered.data(), size, &frames) == (run >= 0));
  if (run >= 0) {
    FUZZ_CHECK(frames.first == uint64_t(run) && frames.size <= size - frames.first);
    FUZZ_CHECK(frames.firstLength > 4 && frames.firstLength <= frames.size);
    FUZZ_CHECK(std::equal(gathered.begin(), gathered.begin() + std::ptrdiff_t(frames.firstLength), data + run));
    // Every frame holds more than five bytes: at most 1152 samples for six.
    FUZZ_CHECK(frames.samples > 0 && frames.samples <= int64_t(frames.size) * 192);
  } else {
    FUZZ_CHECK(std::equal(gathered.begin(), gathered.end(), data));
  }
  long rate = 0;
  int channels = 0;
  if (MpegProbeFormat(data, size, &rate, &channels) == 0) {
    FUZZ_CHECK(run >= 0 && rate >= 8000 && rate <= 48000 && (channels == 1 || channels == 2));
  }
  return 0;
}
