// The pull-mode parser over libavformat: reads a byte stream through the asynchronous reader
// upstream (its I/O context's reads and seeks go to the reader, never past its length) and gives
// the streams out as the file source does.
#include "platform/media/ffmpeg/ffmpeg_demux.h"

namespace ffmedia {

namespace {

class ReaderInput : public ByteSource {
 public:
  bool ReadAt(int64_t at, int32_t bytes, uint8_t* buffer) override {
    return reader->SyncRead(at, bytes, buffer) == S_OK;
  }
  ComPtr<IAsyncReader> reader;
};

class MediaParser : public DemuxFilter {
 public:
  MediaParser() : DemuxFilter("Media Parser", CLSID_MediaParser), in_(this) {}
  ~MediaParser() override { CloseInput(); }

  int GetPinCount() override { return 1 + OutputCount(); }
  BasePin* GetPin(int index) override { return index == 0 ? static_cast<BasePin*>(&in_) : Output(index - 1); }

 private:
  class InputPin : public PullInputPin {
   public:
    explicit InputPin(MediaParser* f) : PullInputPin(f, u"Input"), f_(f) {}
    HRESULT CheckMediaType(const MediaType& mt) override {
      return mt.majortype == MEDIATYPE_Stream ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT CompleteConnect(IPin* pin) override { return f_->Open(pin); }
    HRESULT BreakConnect() override {
      f_->Close();
      return PullInputPin::BreakConnect();
    }

   private:
    MediaParser* f_;
  };

  // A stream FFmpeg cannot read is refused here, with the connection.
  HRESULT Open(IPin* pin) {
    ComPtr<IAsyncReader> reader = ComPtr<IPin>(pin).As<IAsyncReader>();
    if (!reader) return E_NOINTERFACE;
    int64_t total = 0, available = 0;
    if (FAILED(reader->Length(&total, &available)) || total <= 0) return VFW_E_TYPE_NOT_ACCEPTED;
    input_.reader = reader;
    input_.length = total;
    input_.position = 0;
    IoContextPtr io = MakeIoContext(&input_);
    HRESULT hr = io ? OpenInput(nullptr, std::move(io)) : E_OUTOFMEMORY;
    if (FAILED(hr)) {
      input_.reader.Reset();
      return hr == E_OUTOFMEMORY ? hr : VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
  }

  void Close() {
    CloseInput();
    input_.reader.Reset();
  }

  InputPin in_;
  ReaderInput input_;
};

}  // namespace

HRESULT CreateMediaParser(IUnknown*, IUnknown** object) { return HandOut(new (std::nothrow) MediaParser, object); }

}  // namespace ffmedia
