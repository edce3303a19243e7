// Platform layer: sound output. A device with a primary format and secondary play buffers
// that our own mixer mixes; heard through SDL2, or rendered by a null device whose clock
// the caller advances (tests). Nothing outside platform/ includes SDL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A PCM (or compressed) sound format, as stored in a WAVE "fmt " chunk.
struct WAVEFORMATEX {
  uint16_t wFormatTag;
  uint16_t nChannels;
  uint32_t nSamplesPerSec;
  uint32_t nAvgBytesPerSec;
  uint16_t nBlockAlign;
  uint16_t wBitsPerSample;
  uint16_t cbSize;  // bytes of format-specific data after this record
};

constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint16_t WAVE_FORMAT_ADPCM = 2;
constexpr uint16_t WAVE_FORMAT_ALAW = 6;
constexpr uint16_t WAVE_FORMAT_MULAW = 7;
constexpr uint16_t WAVE_FORMAT_IMA_ADPCM = 0x11;
constexpr uint16_t WAVE_FORMAT_MPEG = 0x50;
constexpr uint16_t WAVE_FORMAT_MPEGLAYER3 = 0x55;

// All seven fields equal.
bool SameWaveFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b);

// Buffer creation flags.
enum : uint32_t {
  DSBCAPS_PRIMARYBUFFER = 0x00000001,
  DSBCAPS_STATIC = 0x00000002,
  DSBCAPS_CTRLFREQUENCY = 0x00000020,
  DSBCAPS_CTRLPAN = 0x00000040,
  DSBCAPS_CTRLVOLUME = 0x00000080,
  DSBCAPS_GETCURRENTPOSITION2 = 0x00010000,
  DSBCAPS_GLOBALFOCUS = 0x00008000,
};

struct DSBUFFERDESC {
  uint32_t dwSize;
  uint32_t dwFlags;
  uint32_t dwBufferBytes;           // 0 for the primary buffer
  const WAVEFORMATEX* lpwfxFormat;  // null for the primary buffer
};

// Device capability flags.
enum : uint32_t {
  DSCAPS_PRIMARYMONO = 0x00000001,
  DSCAPS_PRIMARYSTEREO = 0x00000002,
  DSCAPS_PRIMARY8BIT = 0x00000004,
  DSCAPS_PRIMARY16BIT = 0x00000008,
  DSCAPS_SECONDARYMONO = 0x00000100,
  DSCAPS_SECONDARYSTEREO = 0x00000200,
  DSCAPS_SECONDARY8BIT = 0x00000400,
  DSCAPS_SECONDARY16BIT = 0x00000800,
};

struct DSCAPS {
  uint32_t dwFlags;
  uint32_t dwMinSecondarySampleRate;
  uint32_t dwMaxSecondarySampleRate;
  uint32_t dwTotalHwMemBytes;
  uint32_t dwFreeHwMemBytes;
};

// Play flags and status bits.
enum : uint32_t {
  DSBPLAY_LOOPING = 0x00000001,
  DSBSTATUS_PLAYING = 0x00000001,
  DSBSTATUS_LOOPING = 0x00000004,
};

// Volume in hundredths of a decibel; pan likewise, negative attenuates the right side.
enum : int {
  DSBVOLUME_MIN = -10000,
  DSBVOLUME_MAX = 0,
  DSBPAN_LEFT = -10000,
  DSBPAN_RIGHT = 10000,
};

constexpr uint32_t DSBSIZE_MIN = 4;
constexpr uint32_t DSBSIZE_MAX = 0x0FFFFFFF;
constexpr uint32_t DSBFREQUENCY_MIN = 100;
constexpr uint32_t DSBFREQUENCY_MAX = 200000;

struct AudioDevice;
struct AudioBuffer;

// Makes the device object (no hardware yet); null when no backend can be had.
AudioDevice* AudioDevice_Create();
// Opens the output. 0, or an error code (non-zero).
int AudioDevice_Initialize(AudioDevice* device);
int AudioDevice_GetCaps(AudioDevice* device, DSCAPS* caps);
// Frames a second of the mix, which the buffers' sound is converted to.
int AudioDevice_GetRate(AudioDevice* device, uint32_t* framesPerSecond);
int AudioDevice_CreateBuffer(AudioDevice* device, const DSBUFFERDESC* desc, AudioBuffer** out);
// A buffer over the same sample memory with its own cursor, state, volume, pan and frequency.
int AudioDevice_DuplicateBuffer(AudioDevice* device, AudioBuffer* source, AudioBuffer** out);
// Closes the output; buffers still alive are released with it.
void AudioDevice_Release(AudioDevice* device);
// Waits about ms milliseconds of sound time: sleeps on a real device, advances a null device's clock.
void AudioDevice_Wait(AudioDevice* device, int ms);
// Lists the output devices: callback(driver name, device description, context); false stops the walk.
// -1 when no list can be had.
int AudioDevice_Enumerate(bool (*callback)(const char* module, const char* description, void* context),
                          void* context);

// Every buffer operation returns 0, or -1 when the buffer refuses it.
int AudioBuffer_Release(AudioBuffer* buffer);
int AudioBuffer_Play(AudioBuffer* buffer, uint32_t flags);  // from the current position
int AudioBuffer_Stop(AudioBuffer* buffer);                  // keeps the position
int AudioBuffer_GetStatus(AudioBuffer* buffer, uint32_t* status);
int AudioBuffer_SetVolume(AudioBuffer* buffer, int volume);
int AudioBuffer_SetPan(AudioBuffer* buffer, int pan);
int AudioBuffer_SetFrequency(AudioBuffer* buffer, uint32_t samplesPerSecond);  // 0 restores the format's
int AudioBuffer_GetVolume(AudioBuffer* buffer, int* volume);
int AudioBuffer_GetFrequency(AudioBuffer* buffer, uint32_t* samplesPerSecond);
// Byte positions. The write cursor equals the play cursor: the mixer reads nothing ahead of it.
int AudioBuffer_GetCurrentPosition(AudioBuffer* buffer, uint32_t* playCursor, uint32_t* writeCursor);
int AudioBuffer_SetCurrentPosition(AudioBuffer* buffer, uint32_t position);
// Whole frames the mixer has read from this buffer since it was made, every lap of a loop counted.
// Setting the position does not change it, so the difference of two readings is the sound played
// between them however many times the cursor went round.
int AudioBuffer_GetConsumedFrames(AudioBuffer* buffer, uint64_t* frames);
// A region that runs past the end comes back in two parts, the second from offset 0.
// The parts are the buffer's bytes as they stand; what is written there takes effect at unlock.
int AudioBuffer_Lock(AudioBuffer* buffer, uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1,
                     void** part2, uint32_t* bytes2);
int AudioBuffer_Unlock(AudioBuffer* buffer, void* part1, uint32_t bytes1, void* part2, uint32_t bytes2);
// Primary buffer only: the format asked of the output.
int AudioBuffer_SetFormat(AudioBuffer* buffer, const WAVEFORMATEX* format);
int AudioBuffer_GetFormat(AudioBuffer* buffer, WAVEFORMATEX* format);

// True when the mixer can play buffers of this format (PCM, 8 or 16 bits, 1 or 2 channels).
bool AudioFormatPlayable(const WAVEFORMATEX& format);

// ---------------------------------------------------------------- a second client

// A client that mixes its own sound beside the play buffers (the music library). `mix` adds
// `frames` frames of `channels` interleaved samples (full scale 32768) at `rate` frames a
// second to what the mix already holds. It is heard on the first device opened that is
// still open, and runs on that device's mixing thread with the device locked: it must not
// call into this layer.
using AudioClientMix = void (*)(void* context, float* mix, uint32_t frames, uint32_t rate, int channels);
// Sets the one client, or removes it with null. Once it returns, the previous client's
// function is neither running nor called again.
void AudioClient_Set(AudioClientMix mix, void* context);
// 1 while a device is open that the client is heard on.
int AudioClient_OutputOpen();

// ---------------------------------------------------------------- null device (tests)

struct NullAudioConfig {
  uint32_t rate = 44100;  // frames per second of the mix
  int channels = 2;       // 1 or 2
  uint32_t capsFlags = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY8BIT | DSCAPS_PRIMARY16BIT |
                       DSCAPS_SECONDARYMONO | DSCAPS_SECONDARYSTEREO | DSCAPS_SECONDARY8BIT |
                       DSCAPS_SECONDARY16BIT;
  uint32_t minSecondaryRate = DSBFREQUENCY_MIN;
  uint32_t maxSecondaryRate = DSBFREQUENCY_MAX;
  bool failCreate = false;      // AudioDevice_Create gives null
  bool failInitialize = false;  // AudioDevice_Initialize fails
  bool failEnumerate = false;   // AudioDevice_Enumerate gives -1
};

// From now on AudioDevice_Create makes null devices with this configuration; null returns to SDL.
void AudioNull_Install(const NullAudioConfig* config);
// The null device made last (null when none is alive).
AudioDevice* AudioNull_Current();
// Mixes frames of sound time into the capture.
void AudioNull_Advance(AudioDevice* device, uint32_t frames);
// Everything mixed so far: interleaved 16-bit samples at the device's rate and channel count.
std::vector<int16_t> AudioNull_Capture(AudioDevice* device);
void AudioNull_ClearCapture(AudioDevice* device);
// Buffers alive on the device (the primary buffer included).
int AudioNull_BufferCount(AudioDevice* device);
