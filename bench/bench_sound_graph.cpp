// A long sound loaded whole through the media graph (memory reader, MPEG audio decoder, sample
// grabber into one growing PCM block) and through the compression manager, beside libmpg123
// decoding the same ten-minute MP3 alone.
// The graph's extra time is its buffer growth and the copies between filters; it must grow with
// the length, not with its square.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_engine.h"
#include "engine/sound/sound_internal.h"
#include "mediagen.h"
#include "platform/mpeg/mpeg_decode.h"

namespace {

constexpr int kMinutes = 10;

const std::vector<uint8_t>& LongMp3() {
  static const std::vector<uint8_t> file = [] {
    const std::string path = "/tmp/tamrak_bench_" + std::to_string(getpid()) + "_long.mp3";
    TestClipSpec shape;
    shape.container = "mp3";
    shape.videoCodec = nullptr;
    shape.audioCodec = "libmp3lame";
    shape.frames = kMinutes * 60 * shape.fps;
    std::vector<uint8_t> bytes;
    if (WriteTestClip(path, shape)) {
      std::ifstream in(path, std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::remove(path.c_str());
    return bytes;
  }();
  return file;
}

// The whole conversion, by the decoders the mask leaves.
void LoadLongMp3(benchmark::State& state, int mask) {
  const std::vector<uint8_t>& file = LongMp3();
  if (file.empty()) return state.SkipWithError("no MP3");
  SetLogOutputFlag(0);
  BenchEngine engine;
  if (!engine.started) return state.SkipWithError("no engine");
  const SoundLoadSettings settings{0, mask, 2, 0};
  uint32_t bytes = 0;
  for (auto _ : state) {
    StreamHandle stream = MemStreamOpen(file.data(), file.size());
    SoundConvertRecord r;
    void* pcm = nullptr;
    WAVEFORMATEX format;
    if (SetupSoundConvert(&settings, GetMemStreamFunctions(), stream, &r) != 0 ||
        ConvertSoundToPCM(&r, &format, &pcm, &bytes) != 0)
      state.SkipWithError("conversion failed");
    MemFree(pcm);
    TerminateSoundConvert(&r);
    MemStreamClose(stream);
  }
  state.counters["pcm_MB"] = bytes / 1e6;
}

void BM_LongMp3ThroughTheGraph(benchmark::State& state) {
  LoadLongMp3(state, SOUNDCONV_MASK_WAVE | SOUNDCONV_MASK_ACM | SOUNDCONV_MASK_OGG | SOUNDCONV_MASK_MP3);
}
BENCHMARK(BM_LongMp3ThroughTheGraph)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The same file as sounds usually load: through the compression manager, frames counted first.
void BM_LongMp3ThroughTheCompressionManager(benchmark::State& state) { LoadLongMp3(state, SOUNDCONV_MASK_GRAPH); }
BENCHMARK(BM_LongMp3ThroughTheCompressionManager)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_LongMp3Libmpg123Alone(benchmark::State& state) {
  const std::vector<uint8_t>& file = LongMp3();
  if (file.empty()) return state.SkipWithError("no MP3");
  long rate = 0;
  int channels = 0;
  if (MpegProbeFormat(file.data(), file.size(), &rate, &channels) != 0) return state.SkipWithError("no MPEG audio");
  std::vector<uint8_t> pcm(size_t(rate) * channels * 2 * (kMinutes * 60 + 2));
  size_t used = 0;
  for (auto _ : state) {
    MpegDecoder* d = MpegDecoderOpen(rate, channels);
    MpegDecoderFeed(d, file.data(), file.size());
    used = 0;
    while (MpegDecoderRead(d, rate, channels, pcm.data(), pcm.size(), &used) == MpegRead::Full && used < pcm.size()) {
    }
    MpegDecoderClose(d);
  }
  state.counters["pcm_MB"] = used / 1e6;
}
BENCHMARK(BM_LongMp3Libmpg123Alone)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
