// Sound output through an SDL2 audio device: 16-bit stereo at 44100 Hz, SDL converts to the hardware.
#include <SDL.h>
#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/audio/audio_device.h"

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr int kFramesPerCallback = 1024;  // about 23 ms

void SDLCALL MixCallback(void* userdata, Uint8* stream, int len) {
  auto* d = static_cast<AudioDevice*>(userdata);
  uint32_t frames = static_cast<uint32_t>(len) / (2u * static_cast<uint32_t>(d->channels));
  std::lock_guard<std::mutex> lock(d->mutex);
  d->sdlScratch.resize(static_cast<size_t>(frames) * d->channels);
  AudioMixLocked(d, d->sdlScratch.data(), frames);
  std::memset(stream, 0, static_cast<size_t>(len));
  std::memcpy(stream, d->sdlScratch.data(), d->sdlScratch.size() * sizeof(int16_t));
}

extern "C" void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// Without a sound card ALSA writes several lines on standard error for every device SDL
// probes. SDL loads the library under this name, so the handler set here is the one its
// probes report through; the library stays loaded for the program's life.
void QuietAlsa() {
  static std::atomic<bool> done{false};
  if (done.exchange(true)) return;
  const char* driver = std::getenv("SDL_AUDIODRIVER");
  if (driver && *driver && !strcasestr(driver, "alsa")) return;  // SDL matches names in any case
  void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
  if (!alsa) return;
  using SetHandler = int (*)(void (*)(const char*, int, const char*, int, const char*, ...));
  if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"))) set(IgnoreAlsaError);
}

enum class Failed { kDriver, kDevice };

// One line for the player, once, naming the driver or the device that failed: the program goes
// on without sound.
int NoSound(int code, Failed failed) {
  static std::atomic<bool> told{false};
  if (told.exchange(true)) return code;
  std::string what;
  if (failed == Failed::kDevice) {
    const char* driver = SDL_GetCurrentAudioDriver();
    const char* device = std::getenv("AUDIODEV");  // SDL's drivers open this one when it is set
    what = std::string(driver ? driver : "the sound driver") + " could not open " +
           (device && *device ? "\"" + std::string(device) + "\"" : std::string("its default device"));
  } else {
    const char* asked = std::getenv("SDL_AUDIODRIVER");
    what = asked && *asked ? "the sound driver \"" + std::string(asked) + "\" did not start" : "no sound driver started";
  }
  std::fprintf(stderr, "Tamrak: No sound device: %s (%s); running without sound\n", what.c_str(), SDL_GetError());
  return code;
}

}  // namespace

int SdlAudio_Open(AudioDevice* d) {
  QuietAlsa();
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return NoSound(1, Failed::kDriver);
  SDL_AudioSpec want{};
  want.freq = kRate;
  want.format = AUDIO_S16SYS;
  want.channels = kChannels;
  want.samples = kFramesPerCallback;
  want.callback = MixCallback;
  want.userdata = d;
  SDL_AudioSpec have{};
  SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (id == 0) {
    NoSound(2, Failed::kDevice);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return 2;
  }
  d->sdlDevice = id;
  d->rate = kRate;
  d->channels = kChannels;
  SDL_PauseAudioDevice(id, 0);
  return 0;
}

void SdlAudio_Close(AudioDevice* d) {
  if (d->sdlDevice) {
    SDL_CloseAudioDevice(d->sdlDevice);  // waits for a running callback
    d->sdlDevice = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  d->open = false;
}

void SdlAudio_Sleep(int ms) { SDL_Delay(static_cast<Uint32>(ms)); }

int SdlAudio_Enumerate(bool (*callback)(const char*, const char*, void*), void* context) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return -1;
  const char* driver = SDL_GetCurrentAudioDriver();
  if (!driver) driver = "";
  int count = SDL_GetNumAudioDevices(0);
  if (count <= 0) {
    callback(driver, "default", context);
  } else {
    for (int i = 0; i < count; ++i) {
      const char* name = SDL_GetAudioDeviceName(i, 0);
      if (!callback(driver, name ? name : "", context)) break;
    }
  }
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return 0;
}
