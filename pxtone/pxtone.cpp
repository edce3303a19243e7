#include "pxtone/pxtone.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/audio/audio.h"
#include "platform/lifelong.h"
#include "pxtone/pttune.h"
#include "pxtone/pxtone_mix.h"

namespace {

constexpr uint64_t kOne = uint64_t{1} << 32;  // 1.0 in the resampler's 32.32 positions
constexpr uint32_t kResampleChunk = 4096;     // output frames resampled at a time
constexpr uint32_t kLowestOutputRate = 100;   // the music is made at up to 441 times this

struct Library {
  std::mutex lock;  // taken inside the sound output's locks, never around a call to it
  bool ready = false;
  int rate = 44100;
  float volume = 1.0f;
  bool loop = true;
  std::unique_ptr<pttune::Tune> tune;
  pttune::Renderer renderer;
  int64_t fadeTotal = 0;  // samples; 0 when not fading
  int64_t fadeLeft = 0;
  std::vector<float> scratch;
  // Linear resampling to the output's rate: the samples at and after the position.
  bool primed = false;
  float here = 0.0f, next = 0.0f;
  uint64_t fraction = 0;  // 32.32, below kOne
};

Library& Lib() { return Lifelong<Library>(); }

// The next mono samples at the library's rate, volume and fade applied, within -1 .. 1.
// Called with the lock held.
const float* RenderLocked(Library& lib, size_t frames) {
  lib.scratch.assign(frames, 0.0f);
  if (lib.renderer.playing()) lib.renderer.Render(lib.scratch.data(), static_cast<int>(frames));
  for (float& sample : lib.scratch) {
    float gain = lib.volume * 0.35f;  // headroom for several voices
    if (lib.fadeTotal > 0) {
      gain *= static_cast<float>(lib.fadeLeft) / static_cast<float>(lib.fadeTotal);
      if (lib.fadeLeft > 0) --lib.fadeLeft;
    }
    sample = std::clamp(sample * gain, -1.0f, 1.0f);
  }
  if (lib.fadeTotal > 0 && lib.fadeLeft == 0) lib.renderer.Stop();  // a faded tune stays silent
  return lib.scratch.data();
}

void RestartResampler(Library& lib) {
  lib.primed = false;
  lib.here = lib.next = 0.0f;
  lib.fraction = 0;
}

// The sound output's client: adds the music, made at the library's rate, to the output's mix.
void MixIntoOutput(void*, float* mix, uint32_t frames, uint32_t rate, int channels) {
  Library& lib = Lib();
  std::lock_guard<std::mutex> guard(lib.lock);
  if (!lib.renderer.playing() || rate < kLowestOutputRate) return;
  auto add = [&](uint32_t i, float v) {
    for (int c = 0; c < channels; ++c) mix[static_cast<size_t>(i) * channels + c] += v * 32767.0f;
  };
  if (static_cast<uint32_t>(lib.rate) == rate) {
    const float* s = RenderLocked(lib, frames);
    for (uint32_t i = 0; i < frames; ++i) add(i, s[i]);
    return;
  }
  if (!lib.primed) {
    const float* s = RenderLocked(lib, 2);
    lib.here = s[0];
    lib.next = s[1];
    lib.primed = true;
  }
  const uint64_t step = (static_cast<uint64_t>(lib.rate) << 32) / rate;
  for (uint32_t done = 0; done < frames;) {
    const uint32_t part = std::min(frames - done, kResampleChunk);
    // Every sample the position passes over in this part, made in one go.
    const size_t needed = static_cast<size_t>((lib.fraction + step * part) >> 32);
    const float* s = RenderLocked(lib, needed);
    size_t taken = 0;
    for (uint32_t i = done; i < done + part; ++i) {
      const float t = static_cast<float>(lib.fraction) * (1.0f / 4294967296.0f);
      add(i, lib.here + (lib.next - lib.here) * t);
      lib.fraction += step;
      for (; lib.fraction >= kOne; lib.fraction -= kOne) {
        lib.here = lib.next;
        lib.next = s[taken++];
      }
    }
    done += part;
  }
}

int ValidRate(int rate) { return rate == 11025 || rate == 22050 ? rate : 44100; }

}  // namespace

void pxtone_Mix(int16_t* stereo, int frames) {
  Library& lib = Lib();
  std::lock_guard<std::mutex> guard(lib.lock);
  if (frames <= 0) return;
  const float* s = RenderLocked(lib, static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) stereo[2 * i] = stereo[2 * i + 1] = static_cast<int16_t>(std::lrint(s[i] * 32767.0f));
}

int pxtone_SampleRate() { return Lib().rate; }

bool pxtone_TunePlaying() {
  Library& lib = Lib();
  std::lock_guard<std::mutex> guard(lib.lock);
  return lib.renderer.playing();
}

int64_t pxtone_TunePosition() {
  Library& lib = Lib();
  std::lock_guard<std::mutex> guard(lib.lock);
  return lib.renderer.position();
}

int pxtone_Ready(void*, int, int sampleRate, int, float, int, void*) {
  Library& lib = Lib();
  {
    std::lock_guard<std::mutex> guard(lib.lock);
    if (lib.ready) return 1;
    lib.ready = true;
    lib.rate = ValidRate(sampleRate);
    RestartResampler(lib);
  }
  AudioClient_Set(MixIntoOutput, nullptr);
  return 1;
}

int pxtone_Reset(void*, int, int sampleRate, int, float, int, void*) {
  Library& lib = Lib();
  {
    std::lock_guard<std::mutex> guard(lib.lock);
    int newRate = ValidRate(sampleRate);
    if (lib.renderer.playing()) {
      // Carry on from the same moment of the tune at the new rate.
      int64_t at = lib.renderer.position() * newRate / std::max(lib.rate, 1);
      lib.renderer.Start(lib.tune.get(), newRate, lib.loop, at);
    }
    lib.rate = newRate;
    lib.ready = true;
    RestartResampler(lib);
  }
  AudioClient_Set(MixIntoOutput, nullptr);
  return 1;
}

int pxtone_Release() {
  AudioClient_Set(nullptr, nullptr);
  Library& lib = Lib();
  std::lock_guard<std::mutex> guard(lib.lock);
  lib.renderer.Stop();
  lib.tune.reset();
  lib.ready = false;
  return 1;
}

int pxtone_Tune_Load(void*, const char*, const char* path) {
  auto tune = std::make_unique<pttune::Tune>();
  std::string error;
  bool ok = path && pttune::LoadFile(path, tune.get(), &error);
  Library& lib = Lib();
  std::lock_guard<std::mutex> guard(lib.lock);
  lib.renderer.Stop();
  lib.fadeTotal = lib.fadeLeft = 0;
  if (!ok) {
    lib.tune.reset();
    std::fprintf(stderr, "pxtone: %s\n", error.c_str());
    return 0;
  }
  lib.tune = std::move(tune);
  return 1;
}

int pxtone_Tune_Release() {
  Library& lib = Lib();
  std::lock_guard<std::mutex> guard(lib.lock);
  lib.renderer.Stop();
  lib.tune.reset();
  return 1;
}

int pxtone_Tune_Start(int startSample, int) {
  Library& lib = Lib();
  std::lock_guard<std::mutex> guard(lib.lock);
  if (!lib.tune) return 0;
  lib.fadeTotal = lib.fadeLeft = 0;
  lib.renderer.Start(lib.tune.get(), lib.rate, lib.loop, startSample);
  RestartResampler(lib);
  return 1;
}

int pxtone_Tune_Stop() {
  Library& lib = Lib();
  std::lock_guard<std::mutex> guard(lib.lock);
  auto at = static_cast<int>(std::min<int64_t>(lib.renderer.position(), INT32_MAX));
  lib.renderer.Stop();
  return at;
}

int pxtone_Tune_Fadeout(int milliseconds) {
  Library& lib = Lib();
  std::lock_guard<std::mutex> guard(lib.lock);
  if (!lib.renderer.playing()) return 1;
  lib.fadeTotal = std::max<int64_t>(1, static_cast<int64_t>(std::max(milliseconds, 0)) * lib.rate / 1000);
  lib.fadeLeft = lib.fadeTotal;
  return 1;
}

void pxtone_Tune_SetLoop(int loop) {
  Library& lib = Lib();
  std::lock_guard<std::mutex> guard(lib.lock);
  lib.loop = loop != 0;
}

void pxtone_Tune_SetVolume(float volume) {
  Library& lib = Lib();
  std::lock_guard<std::mutex> guard(lib.lock);
  lib.volume = std::clamp(volume, 0.0f, 1.0f);
}
