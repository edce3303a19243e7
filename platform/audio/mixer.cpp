// Sound output: devices, play buffers and the mixer that both backends share.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "platform/audio/audio_device.h"
#include "platform/audio/mix_kernel.h"
#include "platform/audio/mix_kernel_body.h"
#include "platform/cpu.h"

bool SameWaveFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
  return a.wFormatTag == b.wFormatTag && a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec &&
         a.nAvgBytesPerSec == b.nAvgBytesPerSec && a.nBlockAlign == b.nBlockAlign &&
         a.wBitsPerSample == b.wBitsPerSample && a.cbSize == b.cbSize;
}

bool AudioFormatPlayable(const WAVEFORMATEX& f) {
  return f.wFormatTag == WAVE_FORMAT_PCM && (f.nChannels == 1 || f.nChannels == 2) &&
         (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) &&
         f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8 && f.nSamplesPerSec >= DSBFREQUENCY_MIN &&
         f.nSamplesPerSec <= DSBFREQUENCY_MAX;
}

namespace {

// Amplitude of a level in hundredths of a decibel; the floor is silence.
float LevelToGain(int hundredthsOfDb) {
  if (hundredthsOfDb <= DSBVOLUME_MIN) return 0.0f;
  if (hundredthsOfDb >= 0) return 1.0f;
  return static_cast<float>(std::pow(10.0, hundredthsOfDb / 2000.0));
}

void UpdateGains(AudioBuffer* b) {
  float g = LevelToGain(b->volume);
  b->gainLeft = g * (b->pan > 0 ? LevelToGain(-b->pan) : 1.0f);
  b->gainRight = g * (b->pan < 0 ? LevelToGain(b->pan) : 1.0f);
}

// ---------------------------------------------------------------- rate conversion

// Kaiser-windowed sinc with its cut-off at the input's Nyquist frequency: flat to 18 kHz and about
// 90 dB down on images above 26 kHz for 44.1 kHz input.
constexpr double kKaiserBeta = 9.0;

double BesselI0(double x) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 40; ++k) {
    term *= (x / (2 * k)) * (x / (2 * k));
    sum += term;
  }
  return sum;
}

MixSincTable MakeSincTable() {
  constexpr double kPi = 3.14159265358979323846;
  std::vector<std::array<double, kMixTaps>> rows(kMixPhases + 1);
  for (int p = 0; p <= kMixPhases; ++p) {
    double sum = 0.0;
    for (int k = 0; k < kMixTaps; ++k) {
      const double x = k - kMixTapsBefore - static_cast<double>(p) / kMixPhases;  // frames from the output frame
      const double r = x / (kMixTaps / 2);
      double w = 0.0;
      if (x == 0.0) {
        w = 1.0;
      } else if (x != std::floor(x) && std::fabs(r) < 1.0) {  // whole frames away the sinc is zero
        w = std::sin(kPi * x) / (kPi * x) * BesselI0(kKaiserBeta * std::sqrt(1.0 - r * r)) / BesselI0(kKaiserBeta);
      }
      rows[p][k] = w;
      sum += w;
    }
    for (double& w : rows[p]) w /= sum;  // every fraction passes 0 Hz unchanged
  }
  MixSincTable t;
  for (int p = 0; p < kMixPhases; ++p)
    for (int k = 0; k < kMixTaps; ++k) {
      t.weight[p][k] = static_cast<float>(rows[p][k]);
      t.slope[p][k] = static_cast<float>(rows[p + 1][k]) - t.weight[p][k];
    }
  return t;
}

// Output frames converted at a time: bounds the input one block reads.
constexpr uint32_t kBlockFrames = 256;

size_t InputFramesPerBlock(uint32_t outRate) {
  return static_cast<size_t>(kBlockFrames) * (DSBFREQUENCY_MAX / std::max(outRate, 1u) + 1) + kMixTaps + 1;
}

// count frames of PCM as floats at full scale 32768, one array per channel.
template <int Bits, int Channels>
void ConvertFrames(const uint8_t* data, size_t count, float* const out[2]) {
  for (size_t i = 0; i < count; ++i)
    for (int c = 0; c < Channels; ++c) {
      if (Bits == 8) {
        out[c][i] = static_cast<float>((data[i * Channels + c] - 128) * 256);
      } else {
        int16_t s;
        std::memcpy(&s, data + (i * Channels + c) * 2, 2);
        out[c][i] = static_cast<float>(s);
      }
    }
}

// Fills in[c][i] with the frame first + i, for count frames: round the buffer when it loops,
// silence outside it when it does not.
void ReadFrames(const AudioBuffer* b, int64_t first, size_t count, float* const in[2]) {
  const int channels = b->format.nChannels;
  const auto frames = static_cast<int64_t>(b->frames);
  size_t done = 0;
  while (done < count) {
    int64_t at = first + static_cast<int64_t>(done);
    if (b->looping) at = ((at % frames) + frames) % frames;
    size_t run;
    if (at < 0 || at >= frames) {
      run = at < 0 ? std::min<size_t>(count - done, static_cast<size_t>(-at)) : count - done;
      for (int c = 0; c < channels; ++c) std::fill(in[c] + done, in[c] + done + run, 0.0f);
    } else {
      run = std::min<size_t>(count - done, static_cast<size_t>(frames - at));
      float* const to[2] = {in[0] + done, in[1] + done};
      const uint8_t* from = b->data->data() + static_cast<size_t>(at) * b->format.nBlockAlign;
      if (b->format.wBitsPerSample == 8)
        (channels == 2 ? ConvertFrames<8, 2> : ConvertFrames<8, 1>)(from, run, to);
      else
        (channels == 2 ? ConvertFrames<16, 2> : ConvertFrames<16, 1>)(from, run, to);
    }
    done += run;
  }
}

// Adds the buffer's sound from its cursor on to `frames` frames of the mix, a block at a time: the
// input frames a block needs are turned into floats once, those behind the cursor taken from
// what the block before read.
void MixBuffer(AudioBuffer* b, float* mix, uint32_t frames, AudioDevice* d) {
  const MixSincTable& sinc = MixSinc();
  const MixKernels& kernels = MixKernelsBest();
  const int channels = b->format.nChannels;
  const uint32_t rate = b->frequency ? b->frequency : b->format.nSamplesPerSec;
  const uint64_t step = (static_cast<uint64_t>(rate) << 32) / d->rate;
  const uint64_t end = static_cast<uint64_t>(b->frames) << 32;
  const size_t capacity = d->input.size() / 2;
  float* const in[2] = {d->input.data(), d->input.data() + capacity};
  const uint64_t fits = (static_cast<uint64_t>(capacity - kMixTaps - 1) << 32) / step;
  const auto blockFrames = static_cast<uint32_t>(std::min<uint64_t>(kBlockFrames, fits));
  uint32_t done = 0;
  while (done < frames) {
    uint32_t n = std::min(frames - done, blockFrames);
    const bool ends = !b->looping && b->position + n * step >= end;
    if (ends) n = static_cast<uint32_t>((end - b->position + step - 1) / step);
    const auto cursor = static_cast<int64_t>(b->position >> 32);
    const uint64_t fraction = b->position & 0xFFFFFFFFu;
    const uint64_t advance = (fraction + n * step) >> 32;  // the cursor's frame after this block
    const uint64_t lastTap = std::max(((fraction + (n - 1) * step) >> 32) + kMixTaps / 2, advance);
    if (b->historyKnown) {
      for (int c = 0; c < channels; ++c) std::memcpy(in[c], b->history[c], sizeof b->history[c]);
      float* const ahead[2] = {in[0] + kMixTapsBefore, in[1] + kMixTapsBefore};
      ReadFrames(b, cursor, static_cast<size_t>(lastTap) + 1, ahead);
    } else {
      ReadFrames(b, cursor - kMixTapsBefore, static_cast<size_t>(lastTap) + 1 + kMixTapsBefore, in);
    }
    const bool whole = fraction == 0 && (step & 0xFFFFFFFFu) == 0;
    const MixBlock block{{in[0], in[1]}, fraction, step, n, b->gainLeft, b->gainRight,
                         mix + static_cast<size_t>(done) * d->channels};
    (whole ? kernels.whole : kernels.kernel)[channels - 1][d->channels - 1](sinc, block);
    done += n;
    const uint64_t startFrame = b->position >> 32;
    if (ends) {
      // A buffer that plays to its end stops and rewinds, ready to play again.
      b->playing = false;
      b->position = 0;
      b->historyKnown = false;
      b->consumed += b->frames - startFrame;
      return;
    }
    for (int c = 0; c < channels; ++c) std::memcpy(b->history[c], in[c] + advance, sizeof b->history[c]);
    b->historyKnown = true;
    b->position += n * step;
    const uint64_t wraps = b->position / end;
    b->position %= end;
    b->consumed += wraps * b->frames + (b->position >> 32) - startFrame;
  }
}

bool ValidBuffer(AudioBuffer* b) { return b && b->device; }

}  // namespace

const MixSincTable& MixSinc() {
  static const MixSincTable table = MakeSincTable();
  return table;
}

const MixKernels kMixKernelsGeneric = MakeMixKernels("generic");

const MixKernels& MixKernelsBest() {
  static const MixKernels& best = ProcessorHasAvx2() && kMixKernelsAvx2.kernel[0][0] ? kMixKernelsAvx2 : kMixKernelsGeneric;
  return best;
}

void AudioMixLocked(AudioDevice* d, int16_t* out, uint32_t frames) {
  const size_t n = static_cast<size_t>(frames) * d->channels;
  d->mix.assign(n, 0.0f);
  for (AudioBuffer* b : d->buffers) {
    if (b->primary || !b->playing || b->frames == 0) continue;
    MixBuffer(b, d->mix.data(), frames, d);
  }
  AudioClient_MixLocked(d, d->mix.data(), frames);
  for (size_t i = 0; i < n; ++i) {
    float v = std::min(32767.0f, std::max(-32768.0f, d->mix[i]));
    out[i] = static_cast<int16_t>(std::lrint(v));
  }
}

// ---------------------------------------------------------------- device

AudioDevice* AudioDevice_Create() {
  const NullAudioConfig* config = AudioNull_Config();
  if (config && config->failCreate) return nullptr;
  auto* d = new AudioDevice;
  if (config) {
    d->backend = AudioBackend::Null;
    d->nullConfig = *config;
    d->rate = config->rate;
    d->channels = config->channels == 1 ? 1 : 2;
    d->caps.dwFlags = config->capsFlags;
    d->caps.dwMinSecondarySampleRate = config->minSecondaryRate;
    d->caps.dwMaxSecondarySampleRate = config->maxSecondaryRate;
    AudioNull_Register(d);
  } else {
    d->caps.dwFlags = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY8BIT | DSCAPS_PRIMARY16BIT |
                      DSCAPS_SECONDARYMONO | DSCAPS_SECONDARYSTEREO | DSCAPS_SECONDARY8BIT |
                      DSCAPS_SECONDARY16BIT;
    d->caps.dwMinSecondarySampleRate = DSBFREQUENCY_MIN;
    d->caps.dwMaxSecondarySampleRate = DSBFREQUENCY_MAX;
  }
  // Here, not on the mixing thread: the weights and the input scratch of the rate conversion.
  MixSinc();
  MixKernelsBest();
  d->input.assign(2 * InputFramesPerBlock(d->rate), 0.0f);
  return d;
}

int AudioDevice_Initialize(AudioDevice* d) {
  if (!d) return -1;
  if (d->open) return 0;
  if (d->backend == AudioBackend::Null) {
    if (d->nullConfig.failInitialize) return 1;
    d->open = true;
    AudioClient_DeviceOpened(d);
    return 0;
  }
  int r = SdlAudio_Open(d);
  if (r == 0) {
    d->open = true;
    AudioClient_DeviceOpened(d);
  }
  return r;
}

int AudioDevice_GetCaps(AudioDevice* d, DSCAPS* caps) {
  if (!d || !caps || !d->open) return -1;
  *caps = d->caps;
  return 0;
}

int AudioDevice_GetRate(AudioDevice* d, uint32_t* framesPerSecond) {
  if (!d || !framesPerSecond || !d->open) return -1;
  *framesPerSecond = d->rate;
  return 0;
}

int AudioDevice_CreateBuffer(AudioDevice* d, const DSBUFFERDESC* desc, AudioBuffer** out) {
  if (!d || !desc || !out || !d->open) return -1;
  auto* b = new AudioBuffer;
  b->device = d;
  if (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) {
    if (desc->dwBufferBytes != 0 || desc->lpwfxFormat) {
      delete b;
      return -1;
    }
    b->primary = true;
    b->format = {WAVE_FORMAT_PCM, static_cast<uint16_t>(d->channels), d->rate,
                 d->rate * 2u * static_cast<uint32_t>(d->channels), static_cast<uint16_t>(2 * d->channels), 16, 0};
  } else {
    if (!desc->lpwfxFormat || !AudioFormatPlayable(*desc->lpwfxFormat) || desc->dwBufferBytes < DSBSIZE_MIN ||
        desc->dwBufferBytes > DSBSIZE_MAX || desc->dwBufferBytes < desc->lpwfxFormat->nBlockAlign) {
      delete b;
      return -1;
    }
    b->format = *desc->lpwfxFormat;
    b->format.cbSize = 0;
    b->data = std::make_shared<std::vector<uint8_t>>(desc->dwBufferBytes, uint8_t{0});
    b->frames = desc->dwBufferBytes / b->format.nBlockAlign;
  }
  std::lock_guard<std::mutex> lock(d->mutex);
  d->buffers.push_back(b);
  *out = b;
  return 0;
}

int AudioDevice_DuplicateBuffer(AudioDevice* d, AudioBuffer* source, AudioBuffer** out) {
  if (!d || !ValidBuffer(source) || source->primary || source->device != d || !out) return -1;
  auto* b = new AudioBuffer;
  std::lock_guard<std::mutex> lock(d->mutex);
  b->device = d;
  b->format = source->format;
  b->data = source->data;
  b->frames = source->frames;
  b->volume = source->volume;
  b->pan = source->pan;
  b->frequency = source->frequency;
  UpdateGains(b);
  d->buffers.push_back(b);
  *out = b;
  return 0;
}

void AudioDevice_Release(AudioDevice* d) {
  if (!d) return;
  AudioClient_DeviceClosed(d);
  if (d->backend == AudioBackend::Sdl && d->open) SdlAudio_Close(d);
  if (d->backend == AudioBackend::Null) AudioNull_Unregister(d);
  for (AudioBuffer* b : d->buffers) delete b;
  delete d;
}

void AudioDevice_Wait(AudioDevice* d, int ms) {
  if (ms <= 0) return;
  if (d && d->backend == AudioBackend::Null) {
    d->waitRemainder += static_cast<uint64_t>(ms) * d->rate;
    uint32_t frames = static_cast<uint32_t>(d->waitRemainder / 1000);
    d->waitRemainder %= 1000;
    AudioNull_Advance(d, frames);
    return;
  }
  SdlAudio_Sleep(ms);
}

int AudioDevice_Enumerate(bool (*callback)(const char*, const char*, void*), void* context) {
  if (!callback) return -1;
  const NullAudioConfig* config = AudioNull_Config();
  if (config) {
    if (config->failEnumerate) return -1;
    callback("null", "capture device", context);
    return 0;
  }
  return SdlAudio_Enumerate(callback, context);
}

// ---------------------------------------------------------------- buffers

int AudioBuffer_Release(AudioBuffer* b) {
  if (!ValidBuffer(b)) return -1;
  AudioDevice* d = b->device;
  {
    std::lock_guard<std::mutex> lock(d->mutex);
    d->buffers.erase(std::remove(d->buffers.begin(), d->buffers.end(), b), d->buffers.end());
  }
  delete b;
  return 0;
}

int AudioBuffer_Play(AudioBuffer* b, uint32_t flags) {
  if (!ValidBuffer(b) || b->primary) return -1;
  std::lock_guard<std::mutex> lock(b->device->mutex);
  b->looping = (flags & DSBPLAY_LOOPING) != 0;
  b->playing = true;
  return 0;
}

int AudioBuffer_Stop(AudioBuffer* b) {
  if (!ValidBuffer(b)) return -1;
  std::lock_guard<std::mutex> lock(b->device->mutex);
  b->playing = false;
  return 0;
}

int AudioBuffer_GetStatus(AudioBuffer* b, uint32_t* status) {
  if (!ValidBuffer(b) || !status) return -1;
  std::lock_guard<std::mutex> lock(b->device->mutex);
  *status = b->playing ? (DSBSTATUS_PLAYING | (b->looping ? DSBSTATUS_LOOPING : 0u)) : 0u;
  return 0;
}

int AudioBuffer_SetVolume(AudioBuffer* b, int volume) {
  if (!ValidBuffer(b) || volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return -1;
  std::lock_guard<std::mutex> lock(b->device->mutex);
  b->volume = volume;
  UpdateGains(b);
  return 0;
}

int AudioBuffer_SetPan(AudioBuffer* b, int pan) {
  if (!ValidBuffer(b) || pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT) return -1;
  std::lock_guard<std::mutex> lock(b->device->mutex);
  b->pan = pan;
  UpdateGains(b);
  return 0;
}

int AudioBuffer_SetFrequency(AudioBuffer* b, uint32_t rate) {
  if (!ValidBuffer(b) || b->primary) return -1;
  if (rate != 0 && (rate < DSBFREQUENCY_MIN || rate > DSBFREQUENCY_MAX)) return -1;
  std::lock_guard<std::mutex> lock(b->device->mutex);
  b->frequency = rate;
  return 0;
}

int AudioBuffer_GetVolume(AudioBuffer* b, int* volume) {
  if (!ValidBuffer(b) || !volume) return -1;
  std::lock_guard<std::mutex> lock(b->device->mutex);
  *volume = b->volume;
  return 0;
}

int AudioBuffer_GetFrequency(AudioBuffer* b, uint32_t* rate) {
  if (!ValidBuffer(b) || !rate) return -1;
  std::lock_guard<std::mutex> lock(b->device->mutex);
  *rate = b->frequency ? b->frequency : b->format.nSamplesPerSec;
  return 0;
}

int AudioBuffer_GetCurrentPosition(AudioBuffer* b, uint32_t* playCursor, uint32_t* writeCursor) {
  if (!ValidBuffer(b) || b->primary) return -1;
  std::lock_guard<std::mutex> lock(b->device->mutex);
  uint32_t bytes = static_cast<uint32_t>(b->position >> 32) * b->format.nBlockAlign;
  if (playCursor) *playCursor = bytes;
  if (writeCursor) *writeCursor = bytes;
  return 0;
}

int AudioBuffer_GetConsumedFrames(AudioBuffer* b, uint64_t* frames) {
  if (!ValidBuffer(b) || b->primary || !frames) return -1;
  std::lock_guard<std::mutex> lock(b->device->mutex);
  *frames = b->consumed;
  return 0;
}

int AudioBuffer_SetCurrentPosition(AudioBuffer* b, uint32_t position) {
  if (!ValidBuffer(b) || b->primary) return -1;
  std::lock_guard<std::mutex> lock(b->device->mutex);
  uint32_t frame = position / b->format.nBlockAlign;
  if (frame >= b->frames) return -1;
  b->position = static_cast<uint64_t>(frame) << 32;
  b->historyKnown = false;
  return 0;
}

int AudioBuffer_Lock(AudioBuffer* b, uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1,
                     void** part2, uint32_t* bytes2) {
  if (!ValidBuffer(b) || b->primary || !part1 || !bytes1) return -1;
  std::lock_guard<std::mutex> lock(b->device->mutex);
  const uint32_t size = static_cast<uint32_t>(b->data->size());
  if (b->locked || bytes == 0 || offset >= size || bytes > size) return -1;
  uint32_t first = std::min(bytes, size - offset);
  uint32_t second = bytes - first;
  if (second && (!part2 || !bytes2)) return -1;
  b->staging.resize(bytes);
  std::memcpy(b->staging.data(), b->data->data() + offset, first);
  if (second) std::memcpy(b->staging.data() + first, b->data->data(), second);
  b->locked = true;
  b->lockOffset = offset;
  b->lockBytes1 = first;
  b->lockBytes2 = second;
  *part1 = b->staging.data();
  *bytes1 = first;
  if (part2) *part2 = second ? b->staging.data() + first : nullptr;
  if (bytes2) *bytes2 = second;
  return 0;
}

int AudioBuffer_Unlock(AudioBuffer* b, void* part1, uint32_t bytes1, void* part2, uint32_t bytes2) {
  if (!ValidBuffer(b) || b->primary) return -1;
  std::lock_guard<std::mutex> lock(b->device->mutex);
  if (!b->locked || part1 != b->staging.data() || bytes1 > b->lockBytes1 || bytes2 > b->lockBytes2 ||
      (bytes2 && part2 != b->staging.data() + b->lockBytes1))
    return -1;
  std::memcpy(b->data->data() + b->lockOffset, b->staging.data(), bytes1);
  if (bytes2) std::memcpy(b->data->data(), b->staging.data() + b->lockBytes1, bytes2);
  b->locked = false;
  return 0;
}

int AudioBuffer_SetFormat(AudioBuffer* b, const WAVEFORMATEX* format) {
  if (!ValidBuffer(b) || !b->primary || !format || !AudioFormatPlayable(*format)) return -1;
  std::lock_guard<std::mutex> lock(b->device->mutex);
  b->format = *format;
  return 0;
}

int AudioBuffer_GetFormat(AudioBuffer* b, WAVEFORMATEX* format) {
  if (!ValidBuffer(b) || !format) return -1;
  std::lock_guard<std::mutex> lock(b->device->mutex);
  *format = b->format;
  return 0;
}
