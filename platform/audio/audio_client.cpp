// The second client of the sound output: mixed into the first device that is open, so the
// music and the engine's buffers share one output where only one can be opened.
#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/audio/audio_device.h"
#include "platform/lifelong.h"

namespace {

struct ClientState {
  std::mutex lock;  // taken inside a device's mutex, never around one
  AudioClientMix mix = nullptr;
  void* context = nullptr;
  std::vector<AudioDevice*> open;  // in the order they were opened; the first is heard
};

ClientState& Client() { return Lifelong<ClientState>(); }

}  // namespace

void AudioClient_Set(AudioClientMix mix, void* context) {
  ClientState& c = Client();
  std::lock_guard<std::mutex> guard(c.lock);
  c.mix = mix;
  c.context = mix ? context : nullptr;
}

int AudioClient_OutputOpen() {
  ClientState& c = Client();
  std::lock_guard<std::mutex> guard(c.lock);
  return c.open.empty() ? 0 : 1;
}

void AudioClient_DeviceOpened(AudioDevice* device) {
  ClientState& c = Client();
  std::lock_guard<std::mutex> guard(c.lock);
  if (std::find(c.open.begin(), c.open.end(), device) == c.open.end()) c.open.push_back(device);
}

void AudioClient_DeviceClosed(AudioDevice* device) {
  ClientState& c = Client();
  std::lock_guard<std::mutex> guard(c.lock);
  c.open.erase(std::remove(c.open.begin(), c.open.end(), device), c.open.end());
}

void AudioClient_MixLocked(AudioDevice* device, float* mix, uint32_t frames) {
  ClientState& c = Client();
  std::lock_guard<std::mutex> guard(c.lock);
  if (c.mix && !c.open.empty() && c.open.front() == device) c.mix(c.context, mix, frames, device->rate, device->channels);
}
