// The layer's MPEG audio parser and decoder: pulls an MPEG audio byte stream from an
// asynchronous reader and pushes 16-bit PCM, decoded by the program's one MPEG audio decoder.
#include <algorithm>
#include <vector>

#include "platform/media/builtin_filters.h"
#include "platform/media/media_base.h"
#include "platform/mpeg/mpeg_decode.h"

namespace {

constexpr int32_t kProbeBytes = 256 * 1024;  // enough for the first frame behind a tag with a picture
constexpr int kOutputBuffers = 4;

bool TakesStream(const MediaType& mt) {
  return mt.majortype == MEDIATYPE_Stream && (mt.subtype == MEDIASUBTYPE_MPEG1Audio || mt.subtype == MEDIASUBTYPE_MP3);
}

class MpegAudioDecoderFilter : public BaseFilter {
 public:
  MpegAudioDecoderFilter() : BaseFilter("MPEG Audio Decoder", nullptr, CLSID_MpegAudioDecoder), in_(this), out_(this) {}
  ~MpegAudioDecoderFilter() override { StopStream(); }

  int GetPinCount() override { return 2; }
  BasePin* GetPin(int index) override { return index == 0 ? static_cast<BasePin*>(&in_) : index == 1 ? &out_ : nullptr; }

  // The output commits before the input starts pulling, and decommits (waking the puller) before it is joined.
  HRESULT Pause() override {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (IsStopped() && in_.IsConnected() && out_.IsConnected()) {
      HRESULT hr = out_.Active();
      if (SUCCEEDED(hr)) hr = StartStream();
      if (FAILED(hr)) {
        out_.Inactive();
        return hr;
      }
    }
    state_ = FilterState::Paused;
    return S_OK;
  }
  HRESULT Stop() override {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    out_.Inactive();
    StopStream();
    state_ = FilterState::Stopped;
    return S_OK;
  }

 private:
  class Puller : public PullPin {
   public:
    explicit Puller(MpegAudioDecoderFilter* f) : f_(f) {}
    HRESULT Receive(IMediaSample* sample) override { return f_->Decode(sample); }
    void EndOfStream() override { f_->Drain(); }
    void OnError(HRESULT hr) override { f_->Fail(hr); }

   private:
    MpegAudioDecoderFilter* f_;
  };

  class InputPin : public PullInputPin {
   public:
    explicit InputPin(MpegAudioDecoderFilter* f) : PullInputPin(f, u"Input"), f_(f) {}
    HRESULT CheckMediaType(const MediaType& mt) override { return TakesStream(mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED; }
    HRESULT CompleteConnect(IPin* pin) override { return f_->OpenInput(pin); }
    HRESULT BreakConnect() override {
      f_->puller_.Disconnect();
      return PullInputPin::BreakConnect();
    }

   private:
    MpegAudioDecoderFilter* f_;
  };

  class OutputPin : public BaseOutputPin {
   public:
    explicit OutputPin(MpegAudioDecoderFilter* f) : BaseOutputPin(f, u"Output"), f_(f) {}
    HRESULT GetMediaType(int index, MediaType* mt) override {
      if (index < 0) return E_INVALIDARG;
      if (index > 0 || !f_->in_.IsConnected()) return VFW_S_NO_MORE_ITEMS;
      *mt = MakePcmMediaType(f_->format_);
      return S_OK;
    }
    HRESULT CheckMediaType(const MediaType& mt) override {
      return f_->in_.IsConnected() && mt == MakePcmMediaType(f_->format_) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, AllocatorProperties* request) override {
      // A quarter of a second, in whole sample frames.
      const int32_t align = f_->format_.nBlockAlign;
      AllocatorProperties want = *request, got;
      want.cBuffers = std::max(want.cBuffers, kOutputBuffers);
      want.cbBuffer = std::max<int32_t>(want.cbBuffer, int32_t(f_->format_.nAvgBytesPerSec / 4 / align * align));
      want.cbAlign = std::max(want.cbAlign, 1);
      HRESULT hr = allocator->SetProperties(&want, &got);
      if (FAILED(hr)) return hr;
      return got.cbBuffer < align ? E_FAIL : S_OK;
    }

   private:
    MpegAudioDecoderFilter* f_;
  };

  // Finds the stream's format in its first bytes: a stream the decoder cannot read is refused here.
  HRESULT OpenInput(IPin* pin) {
    HRESULT hr = puller_.Connect(pin, AllocatorProperties{2, 32 * 1024, 1, 0});
    if (FAILED(hr)) return hr;
    int64_t total = 0, available = 0;
    long rate = 0;
    int channels = 0;
    std::vector<uint8_t> head;
    if (SUCCEEDED(puller_.Reader()->Length(&total, &available)) && total > 0) {
      head.resize(size_t(std::min<int64_t>(total, kProbeBytes)));
      if (puller_.Reader()->SyncRead(0, int32_t(head.size()), head.data()) != S_OK ||
          MpegProbeFormat(head.data(), head.size(), &rate, &channels) != 0)
        rate = 0;
    }
    if (rate <= 0 || rate > 192000) {
      puller_.Disconnect();
      return VFW_E_TYPE_NOT_ACCEPTED;
    }
    format_ = WAVEFORMATEX{};
    format_.wFormatTag = WAVE_FORMAT_PCM;
    format_.nChannels = uint16_t(channels);
    format_.nSamplesPerSec = uint32_t(rate);
    format_.wBitsPerSample = 16;
    format_.nBlockAlign = uint16_t(2 * channels);
    format_.nAvgBytesPerSec = format_.nSamplesPerSec * format_.nBlockAlign;
    return S_OK;
  }

  HRESULT StartStream() {
    decoder_ = MpegDecoderOpen(long(format_.nSamplesPerSec), format_.nChannels);
    if (!decoder_) return E_OUTOFMEMORY;
    frames_ = 0;
    segmentSent_ = false;
    puller_.Seek(0, -1);
    HRESULT hr = puller_.Active();
    if (FAILED(hr)) StopStream();
    return hr;
  }

  void StopStream() {
    puller_.Inactive();
    pending_.Reset();
    MpegDecoderClose(decoder_);
    decoder_ = nullptr;
  }

  // On the puller's thread: S_OK keeps it pulling.
  HRESULT Decode(IMediaSample* sample) {
    uint8_t* data = nullptr;
    sample->GetPointer(&data);
    if (MpegDecoderFeed(decoder_, data, size_t(sample->GetActualDataLength())) != 0) return Fail(E_FAIL);
    return Pump(false);
  }

  void Drain() {
    if (Pump(true) == S_OK) out_.DeliverEndOfStream();
  }

  // Fills output buffers with what the decoder gives and sends the full ones (all at the end).
  HRESULT Pump(bool atEnd) {
    if (!segmentSent_) {
      out_.DeliverNewSegment(0, INT64_MAX, 1.0);
      segmentSent_ = true;
    }
    for (;;) {
      if (!pending_) {
        HRESULT hr = out_.GetDeliveryBuffer(pending_.Put(), nullptr, nullptr, 0);
        if (FAILED(hr)) return S_FALSE;  // decommitted: the stream is stopping
        pending_->SetActualDataLength(0);
      }
      uint8_t* dst = nullptr;
      pending_->GetPointer(&dst);
      size_t used = size_t(pending_->GetActualDataLength());
      const size_t capacity = size_t(pending_->GetSize()) / format_.nBlockAlign * format_.nBlockAlign;
      MpegRead r = MpegDecoderRead(decoder_, long(format_.nSamplesPerSec), format_.nChannels, dst, capacity, &used);
      pending_->SetActualDataLength(int32_t(used));
      if (r == MpegRead::BadFormat) return Fail(VFW_E_INVALIDMEDIATYPE);
      if (r == MpegRead::Error) return Fail(E_FAIL);
      if (r == MpegRead::Full) {
        HRESULT hr = Send();
        if (hr != S_OK) return hr;
        continue;
      }
      return atEnd ? Send() : S_OK;
    }
  }

  HRESULT Send() {
    ComPtr<IMediaSample> sample = std::move(pending_);
    const int64_t frames = sample->GetActualDataLength() / format_.nBlockAlign;
    if (frames == 0) return S_OK;
    REFERENCE_TIME start = frames_ * UNITS / format_.nSamplesPerSec;
    frames_ += frames;
    REFERENCE_TIME stop = frames_ * UNITS / format_.nSamplesPerSec;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(true);
    sample->SetDiscontinuity(start == 0);
    HRESULT hr = out_.Deliver(sample.Get());
    return hr == S_OK ? S_OK : S_FALSE;
  }

  // The filter goes with the error, so the graph's owner can say who stopped.
  HRESULT Fail(HRESULT hr) {
    NotifyEvent(EC_ERRORABORT, hr, reinterpret_cast<intptr_t>(static_cast<IBaseFilter*>(this)));
    return hr;
  }

  friend class InputPin;
  friend class OutputPin;
  InputPin in_;
  OutputPin out_;
  Puller puller_{this};
  WAVEFORMATEX format_{};
  MpegDecoder* decoder_ = nullptr;
  ComPtr<IMediaSample> pending_;
  int64_t frames_ = 0;
  bool segmentSent_ = false;
};

}  // namespace

FilterRegistration MpegAudioDecoderRegistration() {
  FilterRegistration reg;
  reg.clsid = CLSID_MpegAudioDecoder;
  reg.name = u"MPEG Audio Decoder";
  // Above any general-purpose parser: MPEG audio decodes here exactly as through the compression manager.
  reg.merit = MERIT_PREFERRED;
  reg.create = [](IUnknown*, IUnknown** out) { return HandOut(new (std::nothrow) MpegAudioDecoderFilter, out); };
  reg.takesType = TakesStream;
  return reg;
}
