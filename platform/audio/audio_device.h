// Sound output internals shared by the mixer and its backends.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/audio/audio.h"

// Rate conversion reads kMixTaps input frames around each output frame: kMixTaps / 2 - 1 before
// the frame the cursor is in, that frame, and kMixTaps / 2 after it.
constexpr int kMixTaps = 32;
constexpr int kMixTapsBefore = kMixTaps / 2 - 1;

struct AudioBuffer {
  AudioDevice* device = nullptr;
  bool primary = false;
  WAVEFORMATEX format{};
  std::shared_ptr<std::vector<uint8_t>> data;  // shared with duplicates
  uint32_t frames = 0;
  uint64_t position = 0;  // in frames, 32.32 fixed point
  uint64_t consumed = 0;  // whole frames the mixer has passed over since the buffer was made
  bool playing = false;
  bool looping = false;
  int volume = 0;
  int pan = 0;
  uint32_t frequency = 0;  // 0: the format's rate
  float gainLeft = 1.0f;
  float gainRight = 1.0f;
  // The frames just before the cursor as the mixer read them, per channel, so that a stream
  // writing behind the cursor cannot change what the filter still needs. Unknown after a seek.
  float history[2][kMixTapsBefore] = {};
  bool historyKnown = false;
  // A lock hands out a copy of the region; unlock writes it back, so the mixer never reads half-written bytes.
  std::vector<uint8_t> staging;
  bool locked = false;
  uint32_t lockOffset = 0;
  uint32_t lockBytes1 = 0;
  uint32_t lockBytes2 = 0;
};

enum class AudioBackend { Sdl, Null };

struct AudioDevice {
  // Guards the buffer list and every buffer's play state. Taken under the media layer's ring lock
  // (media_base.h) and the engine's handle locks; a mix takes the second client's lock under it.
  std::mutex mutex;
  AudioBackend backend = AudioBackend::Sdl;
  bool open = false;
  uint32_t rate = 44100;
  int channels = 2;
  DSCAPS caps{};
  std::vector<AudioBuffer*> buffers;
  std::vector<float> mix;  // scratch of one render
  std::vector<float> input;  // one voice's input frames of one block as floats, per channel; sized at open
  // SDL backend
  uint32_t sdlDevice = 0;
  std::vector<int16_t> sdlScratch;
  // Null backend
  NullAudioConfig nullConfig;
  std::vector<int16_t> capture;
  uint64_t waitRemainder = 0;  // frames x 1000 not yet advanced by AudioDevice_Wait
};

// Mixes every playing buffer into frames x channels samples. Caller holds the device mutex.
void AudioMixLocked(AudioDevice* device, int16_t* out, uint32_t frames);

// The second client's side of an open device (audio_client.cpp).
void AudioClient_DeviceOpened(AudioDevice* device);
void AudioClient_DeviceClosed(AudioDevice* device);
// Adds the client's frames to the float mix when this device is the one it is heard on.
void AudioClient_MixLocked(AudioDevice* device, float* mix, uint32_t frames);

int SdlAudio_Open(AudioDevice* device);
void SdlAudio_Close(AudioDevice* device);
void SdlAudio_Sleep(int ms);
int SdlAudio_Enumerate(bool (*callback)(const char*, const char*, void*), void* context);

// The configuration installed by AudioNull_Install, or null.
const NullAudioConfig* AudioNull_Config();
void AudioNull_Register(AudioDevice* device);
void AudioNull_Unregister(AudioDevice* device);
