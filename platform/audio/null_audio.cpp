// The null sound device: no hardware; the caller advances its clock and reads back the mix.
#include <mutex>

#include "platform/audio/audio_device.h"

namespace {

std::mutex g_nullMutex;
bool g_installed = false;
NullAudioConfig g_config;
AudioDevice* g_current = nullptr;

}  // namespace

void AudioNull_Install(const NullAudioConfig* config) {
  std::lock_guard<std::mutex> lock(g_nullMutex);
  g_installed = config != nullptr;
  if (config) g_config = *config;
}

const NullAudioConfig* AudioNull_Config() {
  std::lock_guard<std::mutex> lock(g_nullMutex);
  return g_installed ? &g_config : nullptr;
}

void AudioNull_Register(AudioDevice* device) {
  std::lock_guard<std::mutex> lock(g_nullMutex);
  g_current = device;
}

void AudioNull_Unregister(AudioDevice* device) {
  std::lock_guard<std::mutex> lock(g_nullMutex);
  if (g_current == device) g_current = nullptr;
}

AudioDevice* AudioNull_Current() {
  std::lock_guard<std::mutex> lock(g_nullMutex);
  return g_current;
}

void AudioNull_Advance(AudioDevice* d, uint32_t frames) {
  if (!d || d->backend != AudioBackend::Null || !d->open || frames == 0) return;
  std::lock_guard<std::mutex> lock(d->mutex);
  size_t at = d->capture.size();
  d->capture.resize(at + static_cast<size_t>(frames) * d->channels);
  AudioMixLocked(d, d->capture.data() + at, frames);
}

std::vector<int16_t> AudioNull_Capture(AudioDevice* d) {
  if (!d) return {};
  std::lock_guard<std::mutex> lock(d->mutex);
  return d->capture;
}

void AudioNull_ClearCapture(AudioDevice* d) {
  if (!d) return;
  std::lock_guard<std::mutex> lock(d->mutex);
  d->capture.clear();
}

int AudioNull_BufferCount(AudioDevice* d) {
  if (!d) return 0;
  std::lock_guard<std::mutex> lock(d->mutex);
  return static_cast<int>(d->buffers.size());
}
