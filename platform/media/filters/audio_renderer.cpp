// The default renderer of PCM sound: plays through the engine's own sound output (platform/audio),
// so a movie's sound is mixed and heard with every other sound. Each renderer streams into a
// looping play buffer of its own, a ring about a second long, and keeps writing ahead of the
// mixer's cursor; a thread of the renderer clears the part the mixer has passed, so running dry
// or reaching the end plays silence, never the ring's old contents again. Each
// sample goes where its time falls on the stream's clock: the ring's byte `origin_` plays at
// stream time 0, so a gap is filled with silence and sound whose time has passed is left out.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/lifelong.h"
#include "platform/media/builtin_filters.h"
#include "platform/media/media_base.h"
#include "platform/media/test_hooks.h"

namespace {

class AudioRenderer;

// The device the renderers play through, and the renderers alive, so that a device going away
// takes their buffers first.
struct AudioOutput {
  // The output lock (media_base.h): after the filter lock, before the renderers' ring locks.
  std::mutex lock;
  AudioDevice* device = nullptr;
  std::vector<AudioRenderer*> renderers;
};

AudioOutput& Output() { return Lifelong<AudioOutput>(); }

constexpr uint32_t kRingMilliseconds = 1000;
constexpr auto kPoll = std::chrono::milliseconds(5);

class AudioRenderer : public BaseRenderer, public IBasicAudio {
 public:
  AudioRenderer(IUnknown* outer, HRESULT* hr) : BaseRenderer(CLSID_AudioRenderer, "Audio Renderer", outer, hr) {
    std::lock_guard<std::mutex> lock(Output().lock);
    Output().renderers.push_back(this);
  }
  ~AudioRenderer() override {
    {
      std::lock_guard<std::mutex> lock(Output().lock);
      auto& list = Output().renderers;
      list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    StopKeeper();
    DropBuffer();
  }

  // 8- or 16-bit PCM, mono or stereo: what the mixer plays.
  HRESULT CheckMediaType(const MediaType* type) override {
    if (!type) return E_POINTER;
    WAVEFORMATEX wf{};
    if (type->majortype != MEDIATYPE_Audio || type->subtype != MEDIASUBTYPE_PCM || !type->GetWaveFormat(&wf))
      return E_FAIL;
    if (!AudioFormatPlayable(wf) || wf.nSamplesPerSec < DSBFREQUENCY_MIN || wf.nSamplesPerSec > DSBFREQUENCY_MAX ||
        wf.nBlockAlign != wf.nChannels * (wf.wBitsPerSample / 8))
      return E_FAIL;
    return S_OK;
  }
  // 16-bit stereo, then mono, at the rate of the mix: sound faster than that would fold back in
  // the mixer, whose filter serves only slower sound, so a decoder that can resample brings it
  // down, filtered, before it comes here.
  HRESULT GetMediaType(int index, MediaType* type) override {
    if (!type) return E_POINTER;
    if (index < 0) return E_INVALIDARG;
    uint32_t rate = 0;
    {
      std::lock_guard<std::mutex> lock(Output().lock);
      if (index > 1 || !Output().device || AudioDevice_GetRate(Output().device, &rate) != 0)
        return VFW_S_NO_MORE_ITEMS;
    }
    const uint16_t channels = uint16_t(2 - index);
    *type = MakePcmMediaType(
        WAVEFORMATEX{WAVE_FORMAT_PCM, channels, rate, rate * 2u * channels, uint16_t(2 * channels), 16, 0});
    return S_OK;
  }
  HRESULT SetMediaType(const MediaType* type) override {
    type->GetWaveFormat(&format_);
    format_.cbSize = 0;
    format_.nAvgBytesPerSec = format_.nSamplesPerSec * format_.nBlockAlign;
    return S_OK;
  }
  bool SyncToClock() const override { return false; }  // paced by the mixer

  HRESULT OnStartStreaming() override {
    std::lock_guard<std::mutex> out(Output().lock);
    std::lock_guard<std::mutex> lock(bufferLock_);
    written_ = cleared_ = origin_ = 0;
    ended_ = false;
    if (buffer_ || !Output().device) return S_OK;  // without a device the sound is dropped
    const uint32_t frames = std::max<uint32_t>(format_.nSamplesPerSec * kRingMilliseconds / 1000, 64);
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_GETCURRENTPOSITION2,
                      frames * format_.nBlockAlign, &format_};
    if (AudioDevice_CreateBuffer(Output().device, &desc, &buffer_) != 0) {
      buffer_ = nullptr;
      return S_OK;
    }
    ringBytes_ = desc.dwBufferBytes;
    AudioBuffer_GetConsumedFrames(buffer_, &consumedAtStart_);
    AudioBuffer_SetVolume(buffer_, volume_);
    AudioBuffer_SetPan(buffer_, balance_);
    keeperQuit_ = false;
    keeper_.Start([this] { Keep(); });
    return S_OK;
  }
  HRESULT OnStopStreaming() override {
    StopKeeper();
    DropBuffer();
    return S_OK;
  }
  HRESULT Run(REFERENCE_TIME start) override {
    HRESULT hr = BaseRenderer::Run(start);
    std::lock_guard<std::mutex> lock(bufferLock_);
    if (buffer_) AudioBuffer_Play(buffer_, DSBPLAY_LOOPING);
    return hr;
  }
  HRESULT Pause() override {
    HRESULT hr = BaseRenderer::Pause();
    std::lock_guard<std::mutex> lock(bufferLock_);
    if (buffer_) AudioBuffer_Stop(buffer_);
    return hr;
  }

  HRESULT DoRenderSample(IMediaSample* sample) override {
    uint8_t* data = nullptr;
    if (FAILED(sample->GetPointer(&data))) return E_POINTER;
    const int64_t align = std::max<int64_t>(format_.nBlockAlign, 1);
    int64_t length = std::max(sample->GetActualDataLength(), 0);
    length -= length % align;
    REFERENCE_TIME start = 0, stop = 0;
    if (SUCCEEDED(sample->GetTime(&start, &stop))) {
      int64_t at = 0, written = 0;
      {
        std::lock_guard<std::mutex> lock(bufferLock_);
        if (!buffer_) return S_OK;
        const int64_t played = int64_t(Played());
        if (played > int64_t(written_)) written_ = uint64_t(played);  // ran dry
        written = int64_t(written_);
        at = int64_t(origin_) + BytesAt(start);
      }
      // Timestamps jitter by a few samples: within the slack the sound runs on without a seam.
      const int64_t slack = int64_t(format_.nAvgBytesPerSec) / 200 / align * align;
      if (at > written + slack) {
        if (!Write(nullptr, uint64_t(at - written))) return S_FALSE;
      } else if (at < written - slack) {
        const int64_t late = std::min(written - at, length);
        data += late;
        length -= late;
      }
    }
    return Write(data, uint64_t(length)) ? S_OK : S_FALSE;
  }

  // Waits for the ring to play out, so that the end comes when the last sound was heard; from
  // then on the whole ring is silence, however long the buffer goes on playing.
  HRESULT EndOfStream() override {
    ended_ = true;
    {
      std::lock_guard<std::mutex> lock(bufferLock_);
      if (buffer_) {
        const uint64_t played = Played();
        if (played > written_) written_ = played;
        const uint64_t ahead = written_ - played;
        if (ahead < ringBytes_) FillRing(written_, nullptr, uint32_t(ringBytes_ - ahead));
      }
    }
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(bufferLock_);
        if (!buffer_) break;
        const uint64_t played = Played();
        ClearPlayed(std::min(played, written_));
        if (played >= written_) break;
      }
      if (!WaitFor(kPoll)) return S_OK;
    }
    return BaseRenderer::EndOfStream();
  }

  // What was written for the old position goes; the new stream's time 0 plays where the cursor
  // stands now.
  HRESULT EndFlush() override {
    ended_ = false;
    {
      std::lock_guard<std::mutex> lock(bufferLock_);
      if (buffer_) {
        const uint64_t played = Played();
        if (written_ > played) FillRing(played, nullptr, uint32_t(written_ - played));
        written_ = origin_ = played;
      }
    }
    return BaseRenderer::EndFlush();
  }

  // IBasicAudio
  HRESULT SetVolume(int32_t volume) override {
    if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(bufferLock_);
    volume_ = volume;
    if (buffer_) AudioBuffer_SetVolume(buffer_, volume);
    return S_OK;
  }
  HRESULT GetVolume(int32_t* volume) override {
    if (!volume) return E_POINTER;
    *volume = volume_;
    return S_OK;
  }
  HRESULT SetBalance(int32_t balance) override {
    if (balance < DSBPAN_LEFT || balance > DSBPAN_RIGHT) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(bufferLock_);
    balance_ = balance;
    if (buffer_) AudioBuffer_SetPan(buffer_, balance);
    return S_OK;
  }
  HRESULT GetBalance(int32_t* balance) override {
    if (!balance) return E_POINTER;
    *balance = balance_;
    return S_OK;
  }

  // -1 when no more sound is coming.
  int QueuedMs() {
    std::lock_guard<std::mutex> lock(bufferLock_);
    if (!buffer_ || ended_ || !format_.nAvgBytesPerSec) return -1;
    const uint64_t played = Played();
    return played >= written_ ? 0 : int((written_ - played) * 1000 / format_.nAvgBytesPerSec);
  }

  void DropBuffer() {
    std::lock_guard<std::mutex> lock(bufferLock_);
    if (buffer_) {
      AudioBuffer_Stop(buffer_);
      AudioBuffer_Release(buffer_);
    }
    buffer_ = nullptr;
  }

 protected:
  void* GetInterface(const IID& iid) override {
    if (iid == IID_IBasicAudio) return static_cast<IBasicAudio*>(this);
    return BaseRenderer::GetInterface(iid);
  }

 private:
  // Bytes of sound from stream time 0 to t, whole frames; held within a range no cast overflows.
  int64_t BytesAt(REFERENCE_TIME t) const {
    const double frames = std::floor(double(t) * format_.nSamplesPerSec / UNITS);
    return int64_t(std::clamp(frames, -1e15, 1e15)) * format_.nBlockAlign;
  }

  // Bytes the mixer has taken from the ring since streaming started. Under bufferLock_.
  uint64_t Played() {
    uint64_t frames = consumedAtStart_;
    AudioBuffer_GetConsumedFrames(buffer_, &frames);
    return (frames - consumedAtStart_) * format_.nBlockAlign;
  }

  // Writes the bytes (silence for null) into the ring as room comes free; false when the stream
  // stopped or flushed meanwhile. Without a buffer the bytes are dropped.
  bool Write(const uint8_t* data, uint64_t length) {
    while (length > 0) {
      uint64_t room = 0;
      {
        std::lock_guard<std::mutex> lock(bufferLock_);
        if (!buffer_) return true;
        const uint64_t played = Played();
        if (played > written_) written_ = played;  // ran dry: what comes now plays now
        ClearPlayed(played);
        room = ringBytes_ - (written_ - played);
        if (room > 0) {
          const uint32_t n = uint32_t(std::min(room, length));
          if (!Put(data, n)) return true;
          written_ += n;
          length -= n;
          if (data) data += n;
          continue;
        }
      }
      if (!WaitFor(kPoll)) return false;
    }
    return true;
  }

  // The ring loops: what the mixer has passed plays again a ring later unless it is cleared, also
  // while no sound comes (upstream busy elsewhere, or the sound over before the stream's end).
  void Keep() {
    std::unique_lock<std::mutex> lock(bufferLock_);
    while (!keeperQuit_) {
      if (buffer_) ClearPlayed(Played());
      keeperWake_.wait_for(lock, kPoll);
    }
  }
  void StopKeeper() {
    {
      std::lock_guard<std::mutex> lock(bufferLock_);
      keeperQuit_ = true;
      keeperWake_.notify_all();
    }
    keeper_.Join();
  }

  // Silence over what the mixer passed since the last call.
  void ClearPlayed(uint64_t played) {
    if (played <= cleared_) return;
    const uint64_t from = std::max(cleared_, played > ringBytes_ ? played - ringBytes_ : 0);
    FillRing(from, nullptr, uint32_t(played - from));
    cleared_ = played;
  }

  bool Put(const uint8_t* data, uint32_t n) { return FillRing(written_, data, n); }

  bool FillRing(uint64_t at, const uint8_t* data, uint32_t n) {
    void *p1 = nullptr, *p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    if (AudioBuffer_Lock(buffer_, uint32_t(at % ringBytes_), n, &p1, &n1, &p2, &n2) != 0) return false;
    const int silence = format_.wBitsPerSample == 8 ? 0x80 : 0;
    if (data) {
      std::memcpy(p1, data, n1);
      if (p2) std::memcpy(p2, data + n1, n2);
    } else {
      std::memset(p1, silence, n1);
      if (p2) std::memset(p2, silence, n2);
    }
    AudioBuffer_Unlock(buffer_, p1, n1, p2, n2);
    return true;
  }

  WAVEFORMATEX format_{};
  // The ring lock, one of a filter's own (media_base.h): the play buffer and the ring's counts.
  // Every AudioBuffer_ call takes the device mutex under it.
  std::mutex bufferLock_;
  AudioBuffer* buffer_ = nullptr;
  uint32_t ringBytes_ = 0;
  uint64_t consumedAtStart_ = 0;
  uint64_t written_ = 0;  // bytes written since streaming started
  uint64_t cleared_ = 0;  // bytes behind the cursor made silent
  uint64_t origin_ = 0;   // bytes played before stream time 0
  std::atomic<bool> ended_{false};  // the stream's end arrived
  std::condition_variable keeperWake_;
  bool keeperQuit_ = false;  // under bufferLock_
  MediaThread keeper_;       // last: joined before the fields it uses go
  int32_t volume_ = 0;
  int32_t balance_ = 0;
};

}  // namespace

void SetMediaAudioDevice(AudioDevice* device) {
  std::lock_guard<std::mutex> lock(Output().lock);
  if (Output().device == device) return;
  for (AudioRenderer* r : Output().renderers) r->DropBuffer();
  Output().device = device;
}

int MediaAudioQueuedMs() {
  std::lock_guard<std::mutex> lock(Output().lock);
  int least = -1;
  for (AudioRenderer* r : Output().renderers) {
    const int ms = r->QueuedMs();
    if (ms >= 0 && (least < 0 || ms < least)) least = ms;
  }
  return least;
}

FilterRegistration AudioRendererRegistration() {
  FilterRegistration reg;
  reg.clsid = CLSID_AudioRenderer;
  reg.name = u"Audio Renderer";
  reg.merit = MERIT_PREFERRED;
  reg.create = [](IUnknown* outer, IUnknown** out) {
    HRESULT hr = S_OK;
    return HandOut(new (std::nothrow) AudioRenderer(outer, &hr), out);
  };
  reg.takesType = [](const MediaType& t) {
    return t.majortype == MEDIATYPE_Audio && (t.subtype == MEDIASUBTYPE_PCM || t.subtype == GUID_NULL);
  };
  return reg;
}
