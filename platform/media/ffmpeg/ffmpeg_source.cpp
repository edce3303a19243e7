// The file source over libavformat: a file, or bytes in memory, demultiplexed by the part it
// shares with the parser.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/media/ffmpeg/ffmpeg_demux.h"

namespace ffmedia {

namespace {

class MemoryInput : public ByteSource {
 public:
  bool ReadAt(int64_t at, int32_t bytes, uint8_t* buffer) override {
    std::memcpy(buffer, data + at, size_t(bytes));
    return true;
  }
  const uint8_t* data = nullptr;
};

std::string Utf8(const std::u16string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | c >> 6);
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | c >> 12);
      out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | c >> 18);
      out += char(0x80 | (c >> 12 & 0x3F));
      out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

class MediaFileSource : public DemuxFilter, public IFileSourceFilter {
 public:
  MediaFileSource() : DemuxFilter("File Source", CLSID_MediaFileSource) {}
  ~MediaFileSource() override { CloseInput(); }

  int GetPinCount() override { return OutputCount(); }
  BasePin* GetPin(int index) override { return Output(index); }

  // IFileSourceFilter
  HRESULT Load(const char16_t* path, const MediaType*) override {
    if (!path) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (InputOpen()) return E_UNEXPECTED;
    path_ = path;
    return OpenInput(Utf8(path_).c_str(), nullptr);
  }
  HRESULT GetCurFile(std::u16string* path, MediaType* type) override {
    if (!path) return E_POINTER;
    *path = path_;
    if (type) *type = MediaType();
    return S_OK;
  }

  HRESULT LoadMemory(const uint8_t* data, size_t size) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (InputOpen()) return E_UNEXPECTED;
    if (!data && size) return E_POINTER;
    memory_.data = data;
    memory_.length = int64_t(size);
    memory_.position = 0;
    IoContextPtr io = MakeIoContext(&memory_);
    if (!io) return E_OUTOFMEMORY;
    return OpenInput(nullptr, std::move(io));
  }

 protected:
  void* GetInterface(const IID& iid) override {
    if (iid == IID_IFileSourceFilter) return static_cast<IFileSourceFilter*>(this);
    return DemuxFilter::GetInterface(iid);
  }

 private:
  std::u16string path_;
  MemoryInput memory_;
};

}  // namespace

HRESULT CreateMediaFileSource(IUnknown*, IUnknown** object) {
  return HandOut(new (std::nothrow) MediaFileSource, object);
}

}  // namespace ffmedia

HRESULT CreateMemoryMediaSource(const uint8_t* data, size_t size, IBaseFilter** filter) {
  if (!filter) return E_POINTER;
  *filter = nullptr;
  ComPtr<ffmedia::MediaFileSource> source(new ffmedia::MediaFileSource);
  HRESULT hr = source->LoadMemory(data, size);
  if (FAILED(hr)) return hr;
  *filter = static_cast<IBaseFilter*>(source.Detach());
  return S_OK;
}
