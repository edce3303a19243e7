#include "pxtone/pxtone.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

#include "pxtone/pttune.h"
#include "pxtone/pxtone_mix.h"

namespace {

struct Library {
  std::mutex lock;
  bool ready = false;
  bool nullOutput = false;
  SDL_AudioDeviceID device = 0;
  int rate = 44100;
  float volume = 1.0f;
  bool loop = true;
  std::unique_ptr<pttune::Tune> tune;
  pttune::Renderer renderer;
  int64_t fadeTotal = 0;  // samples; 0 when not fading
  int64_t fadeLeft = 0;
  std::vector<float> scratch;
};

Library& Lib() {
  static Library lib;
  return lib;
}

// Called with the lock held.
void MixLocked(Library& lib, int16_t* stereo, int frames) {
  lib.scratch.assign(static_cast<size_t>(frames), 0.0f);
  if (lib.renderer.playing()) lib.renderer.Render(lib.scratch.data(), frames);
  for (int i = 0; i < frames; ++i) {
    float gain = lib.volume * 0.35f;  // headroom for several voices
    if (lib.fadeTotal > 0) {
      gain *= static_cast<float>(lib.fadeLeft) / static_cast<float>(lib.fadeTotal);
      if (lib.fadeLeft > 0) --lib.fadeLeft;
    }
    float s = std::clamp(lib.scratch[static_cast<size_t>(i)] * gain, -1.0f, 1.0f);
    auto v = static_cast<int16_t>(std::lrint(s * 32767.0f));
    stereo[2 * i] = v;
    stereo[2 * i + 1] = v;
  }
  if (lib.fadeTotal > 0 && lib.fadeLeft == 0) lib.renderer.Stop();  // a faded tune stays silent
}

void Callback(void*, Uint8* stream, int bytes) {
  Library& lib = Lib();
  std::lock_guard<std::mutex> guard(lib.lock);
  MixLocked(lib, reinterpret_cast<int16_t*>(stream), bytes / 4);
}

void CloseOutput(Library& lib) {
  if (lib.device) {
    SDL_CloseAudioDevice(lib.device);
    lib.device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
}

bool OpenOutput(Library& lib, int rate) {
  lib.rate = rate;
  if (lib.nullOutput) return true;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 1024;
  want.callback = Callback;
  SDL_AudioSpec have{};
  lib.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (!lib.device) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  SDL_PauseAudioDevice(lib.device, 0);
  return true;
}

int ValidRate(int rate) { return rate == 11025 || rate == 22050 ? rate : 44100; }

}  // namespace

void pxtone_UseNullOutput(bool useNull) { Lib().nullOutput = useNull; }

void pxtone_Mix(int16_t* stereo, int frames) {
  Library& lib = Lib();
  std::lock_guard<std::mutex> guard(lib.lock);
  MixLocked(lib, stereo, frames);
}

int pxtone_SampleRate() { return Lib().rate; }

bool pxtone_TunePlaying() {
  Library& lib = Lib();
  std::lock_guard<std::mutex> guard(lib.lock);
  return lib.renderer.playing();
}

int pxtone_Ready(void*, int, int sampleRate, int, float, int, void*) {
  Library& lib = Lib();
  if (lib.ready) return 1;
  lib.ready = true;
  return OpenOutput(lib, ValidRate(sampleRate)) ? 1 : 0;
}

int pxtone_Reset(void*, int, int sampleRate, int, float, int, void*) {
  Library& lib = Lib();
  CloseOutput(lib);
  {
    std::lock_guard<std::mutex> guard(lib.lock);
    int newRate = ValidRate(sampleRate);
    if (lib.renderer.playing()) {
      // Carry on from the same moment of the tune at the new rate.
      int64_t at = lib.renderer.position() * newRate / std::max(lib.rate, 1);
      lib.renderer.Start(lib.tune.get(), newRate, lib.loop, at);
    }
    lib.rate = newRate;
  }
  lib.ready = true;
  return OpenOutput(lib, ValidRate(sampleRate)) ? 1 : 0;
}

int pxtone_Release() {
  Library& lib = Lib();
  CloseOutput(lib);
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
    SDL_Log("pxtone: %s", error.c_str());
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
