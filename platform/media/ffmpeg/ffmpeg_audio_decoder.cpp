// The audio decoder over libavcodec: sound out as interleaved 16-bit PCM through libswresample,
// mono staying mono and everything else mixed down to stereo, at the stream's own rate when the
// sound output takes it, or at a lower rate that downstream asks for.
#include <algorithm>
#include <cstring>

#include "platform/media/ffmpeg/ffmpeg_codec_filter.h"

namespace ffmedia {

namespace {

constexpr int kOutputRateLimit = 192000;

class AudioDecoder : public CodecFilter {
 public:
  AudioDecoder() : CodecFilter("Audio Decoder", CLSID_MediaAudioDecoder, AVMEDIA_TYPE_AUDIO) {}

  HRESULT CheckInputType(const MediaType& type) override {
    CodecFormat f;
    const uint8_t* extra;
    // Below what the sound output plays no rate is real, and resampling one to the output rate
    // would make thousands of samples of each (48000 at 1 Hz).
    if (ReadCodecMediaType(type, AVMEDIA_TYPE_AUDIO, &f, &extra) && f.sampleRate < int(DSBFREQUENCY_MIN))
      return VFW_E_TYPE_NOT_ACCEPTED;
    return CodecFilter::CheckInputType(type);
  }

  HRESULT SetMediaType(PinDirection dir, const MediaType& type) override {
    if (dir == PinDirection::Output) {
      std::lock_guard<std::mutex> streaming(receiveLock_);
      type.GetWaveFormat(&out_);
      out_.cbSize = 0;
      swr_.reset();
      return S_OK;
    }
    CodecFormat f;
    if (!OpenInput(type, &f)) return VFW_E_TYPE_NOT_ACCEPTED;
    std::lock_guard<std::mutex> streaming(receiveLock_);
    const int rate = f.sampleRate <= kOutputRateLimit ? f.sampleRate : 48000;
    own_ = AtRate(WAVEFORMATEX{WAVE_FORMAT_PCM, uint16_t(f.channels == 1 ? 1 : 2), 0, 0, 0, 16, 0}, uint32_t(rate));
    out_ = own_;
    swr_.reset();
    return S_OK;
  }

  HRESULT GetMediaType(int index, MediaType* type) override {
    if (index < 0) return E_INVALIDARG;
    if (index > 0) return VFW_S_NO_MORE_ITEMS;
    *type = MakePcmMediaType(own_);
    return S_OK;
  }
  // The stream's own rate, or a lower one: libswresample then filters out what the lower rate
  // cannot carry.
  HRESULT CheckTransform(const MediaType& in, const MediaType& out) override {
    WAVEFORMATEX wf{};
    if (out.majortype != MEDIATYPE_Audio || out.subtype != MEDIASUBTYPE_PCM || !out.GetWaveFormat(&wf))
      return VFW_E_TYPE_NOT_ACCEPTED;
    wf.cbSize = 0;
    if (wf.nSamplesPerSec < DSBFREQUENCY_MIN || wf.nSamplesPerSec > own_.nSamplesPerSec)
      return VFW_E_TYPE_NOT_ACCEPTED;
    return SameWaveFormat(wf, AtRate(own_, wf.nSamplesPerSec)) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  // Buffers of a tenth of a second.
  HRESULT DecideBufferSize(IMemAllocator* allocator, AllocatorProperties* request) override {
    AllocatorProperties want = *request, got;
    want.cBuffers = std::max(want.cBuffers, 4);
    want.cbBuffer = std::max<int32_t>(want.cbBuffer, int32_t(out_.nAvgBytesPerSec / 10 / out_.nBlockAlign * out_.nBlockAlign));
    want.cbAlign = std::max(want.cbAlign, 1);
    HRESULT hr = allocator->SetProperties(&want, &got);
    if (FAILED(hr)) return hr;
    return got.cbBuffer < out_.nBlockAlign ? E_FAIL : S_OK;
  }

 private:
  void Reset() override {
    CodecFilter::Reset();
    swr_.reset();  // its delay belongs to the old position
  }
  void Disconnected() override { swr_.reset(); }

  static WAVEFORMATEX AtRate(WAVEFORMATEX f, uint32_t rate) {
    f.nSamplesPerSec = rate;
    f.nBlockAlign = uint16_t(f.nChannels * 2);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
  }

  bool MakeResampler(const AVFrame* f) {
    swr_ = MakePcmMix(f->ch_layout, AVSampleFormat(f->format), f->sample_rate, out_.nChannels, AV_SAMPLE_FMT_S16,
                      int(out_.nSamplesPerSec));
    if (!swr_) return false;
    inFormat_ = f->format;
    inRate_ = f->sample_rate;
    inChannels_ = f->ch_layout.nb_channels;
    return true;
  }

  HRESULT DeliverFrame(const AVFrame* f) override {
    if (f->nb_samples <= 0 || f->sample_rate < int(DSBFREQUENCY_MIN) || f->sample_rate > kMaxSampleRate ||
        f->ch_layout.nb_channels <= 0 || f->ch_layout.nb_channels > kMaxChannels)
      return S_OK;
    if (!swr_ || f->format != inFormat_ || f->sample_rate != inRate_ || f->ch_layout.nb_channels != inChannels_)
      if (!MakeResampler(f)) return S_OK;  // sound in a form we cannot convert is left out
    REFERENCE_TIME start = FrameTime(f);
    // What the resampler still holds of the frames before comes out first.
    if (start != AV_NOPTS_VALUE)
      start -= swr_get_delay(swr_.get(), UNITS);
    else
      start = nextTime_ != AV_NOPTS_VALUE ? nextTime_ : 0;
    const uint8_t** in = const_cast<const uint8_t**>(f->extended_data);
    int inSamples = f->nb_samples;
    // Out in buffer-sized pieces; what does not fit stays in the resampler for the next piece.
    for (;;) {
      ComPtr<IMediaSample> out;
      HRESULT hr = OutputPin()->GetDeliveryBuffer(out.Put(), nullptr, nullptr, 0);
      if (FAILED(hr)) return hr;
      uint8_t* dst = nullptr;
      out->GetPointer(&dst);
      const int room = out->GetSize() / out_.nBlockAlign;
      const int made = swr_convert(swr_.get(), &dst, room, in, inSamples);
      in = nullptr;
      inSamples = 0;
      if (made <= 0) return S_OK;
      const REFERENCE_TIME stop = start + REFERENCE_TIME(made) * UNITS / out_.nSamplesPerSec;
      nextTime_ = stop;
      if (stop > 0) {  // sound before the segment's start is decoded only to reach it
        out->SetActualDataLength(made * out_.nBlockAlign);
        out->SetTime(&start, &stop);
        out->SetSyncPoint(true);
        hr = OutputPin()->Deliver(out.Get());
        if (hr != S_OK) return hr;
      }
      start = stop;
      if (made < room) return S_OK;
    }
  }

  WAVEFORMATEX own_{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};  // at the stream's rate
  WAVEFORMATEX out_ = own_;                                         // as connected
  SwrPtr swr_;
  int inFormat_ = -1, inRate_ = 0, inChannels_ = 0;
};

}  // namespace

HRESULT CreateAudioDecoder(IUnknown*, IUnknown** object) { return HandOut(new (std::nothrow) AudioDecoder, object); }

}  // namespace ffmedia
