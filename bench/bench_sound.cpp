// Sound costs per second of sound, on the null device: refilling a 44.1 kHz stereo Ogg Vorbis
// stream (decode into the ring, one pass every 30 ms of sound), and mixing 8, 32 and 64 playing
// 44.1 kHz voices on a 44.1 kHz output, and 32 on a 48 kHz output (rate conversion). Each iteration is one second of sound, so the time per iteration is the share of one
// core that the work takes ("core_share", in per cent of one core).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/sound/sound_internal.h"
#include "oggenc.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kPassFrames = kRate * 30 / 1000;

// Ten seconds of two sines with a little noise, encoded at the encoder's middle quality.
std::vector<uint8_t> MakeOgg() {
  const int frames = kRate * 10;
  std::vector<int16_t> pcm(static_cast<size_t>(frames) * 2);
  uint32_t noise = 1;
  for (int i = 0; i < frames; ++i) {
    noise = noise * 1664525u + 1013904223u;
    const float t = static_cast<float>(i) / kRate;
    const float hiss = (static_cast<float>(noise >> 16) / 65536.0f - 0.5f) * 0.05f;
    pcm[2 * static_cast<size_t>(i)] = static_cast<int16_t>((0.4f * std::sin(2 * 3.14159265f * 440 * t) + hiss) * 32767);
    pcm[2 * static_cast<size_t>(i) + 1] = static_cast<int16_t>((0.4f * std::sin(2 * 3.14159265f * 660 * t) - hiss) * 32767);
  }
  return EncodeOggVorbis(pcm, 2, kRate, 0.4f, 7);
}

struct SoundUp {
  explicit SoundUp(uint32_t outputRate = kRate) {
    SetLogOutputFlag(0);
    SetLogicalProcessorCount(1);  // the benchmark makes the passes itself
    NullAudioConfig config;
    config.rate = outputRate;
    AudioNull_Install(&config);
    InitSoundOutput();
    device = AudioNull_Current();
  }
  ~SoundUp() {
    TermSoundOutput();
    AudioNull_Install(nullptr);
    SetLogicalProcessorCount(0);
  }
  AudioDevice* device;
};

void BM_OggStreamRefill(benchmark::State& state) {
  SoundUp sound;
  const std::vector<uint8_t> ogg = MakeOgg();
  const std::string path = "/tmp/tamrak_bench_" + std::to_string(getpid()) + ".ogg";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(ogg.data(), 1, ogg.size(), f);
  std::fclose(f);
  SoundLoadSettings settings;
  GetSoundLoadSettings(&settings);
  settings.dataType = 3;  // decoded from the open file, as a movie's sound is
  const int h = LoadSoundMemBase(&settings, path.c_str(), 1, -1, 0, 0);
  PlaySoundMem(h, PlayType::Loop, 1);
  SoundHandleRecord* s = GetSoundHandleRecord(h);
  uint64_t bytes = 0;
  double refillSeconds = 0;
  for (auto _ : state) {
    const uint64_t before = s->streamWritten;
    double seconds = 0;
    for (uint32_t done = 0; done < kRate; done += kPassFrames) {
      AudioNull_Advance(sound.device, kPassFrames);
      const auto t0 = std::chrono::steady_clock::now();
      ProcessStreamSoundMemAll();
      seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    AudioNull_ClearCapture(sound.device);
    bytes += s->streamWritten - before;
    state.SetIterationTime(seconds);
    refillSeconds += seconds;
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["core_share"] = 100.0 * refillSeconds / static_cast<double>(state.iterations());
  std::remove(path.c_str());
}
BENCHMARK(BM_OggStreamRefill)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_MixVoices(benchmark::State& state) {
  const auto outputRate = static_cast<uint32_t>(state.range(1));
  SoundUp sound(outputRate);
  const int voices = static_cast<int>(state.range(0));
  WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, kRate, kRate * 4, 4, 16, 0};
  DSBUFFERDESC desc{36, DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_STATIC, kRate * 4, &f};
  std::vector<AudioBuffer*> buffers;
  for (int v = 0; v < voices; ++v) {
    AudioBuffer* b = nullptr;
    AudioDevice_CreateBuffer(sound.device, &desc, &b);
    void *p1, *p2;
    uint32_t n1, n2;
    AudioBuffer_Lock(b, 0, desc.dwBufferBytes, &p1, &n1, &p2, &n2);
    auto* samples = static_cast<int16_t*>(p1);
    for (uint32_t i = 0; i < n1 / 2; ++i) samples[i] = static_cast<int16_t>((i * (v + 3) * 37) & 0x1FFF);
    AudioBuffer_Unlock(b, p1, n1, p2, n2);
    AudioBuffer_SetVolume(b, -600 * (v % 4));
    AudioBuffer_Play(b, DSBPLAY_LOOPING);
    buffers.push_back(b);
  }
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    AudioNull_Advance(sound.device, outputRate);
    AudioNull_ClearCapture(sound.device);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * voices * outputRate);  // voice frames mixed
  state.counters["core_share"] = 100.0 * seconds / static_cast<double>(state.iterations());
  for (AudioBuffer* b : buffers) AudioBuffer_Release(b);
}
BENCHMARK(BM_MixVoices)
    ->Args({8, kRate})
    ->Args({32, kRate})
    ->Args({64, kRate})
    ->Args({32, 48000})
    ->Unit(benchmark::kMillisecond);

}  // namespace
