// The file source and demultiplexer over libavformat: one output pin per audio and video stream
// that a decoder of ours can take. One streaming thread reads the packets in file order and hands
// each, without a copy, to its pin's decoder.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/media/ffmpeg_common.h"

namespace ffmedia {

namespace {

constexpr int kIoBufferBytes = 1 << 16;

// A sample that owns the packet holding its bytes.
class PacketSample : public MediaSample {
 public:
  explicit PacketSample(PacketPtr packet)
      : MediaSample(nullptr, packet->data, packet->size), packet_(std::move(packet)) {}

 private:
  PacketPtr packet_;
};

struct MemoryInput {
  const uint8_t* data;
  size_t size;
  size_t position = 0;
};

int ReadMemory(void* opaque, uint8_t* buffer, int size) {
  auto* in = static_cast<MemoryInput*>(opaque);
  const size_t n = std::min(size_t(std::max(size, 0)), in->size - in->position);
  if (n == 0) return AVERROR_EOF;
  std::memcpy(buffer, in->data + in->position, n);
  in->position += n;
  return int(n);
}

int64_t SeekMemory(void* opaque, int64_t offset, int whence) {
  auto* in = static_cast<MemoryInput*>(opaque);
  if (whence & AVSEEK_SIZE) return int64_t(in->size);
  int64_t base = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = int64_t(in->position); break;
    case SEEK_END: base = int64_t(in->size); break;
    default: return -1;
  }
  if (offset < -base || offset > int64_t(in->size) - base) return -1;
  in->position = size_t(base + offset);
  return int64_t(in->position);
}

// An open input: the format context and, for bytes in memory, the I/O context it reads through.
struct Demuxer {
  AVFormatContext* ctx = nullptr;
  AVIOContext* io = nullptr;
  std::unique_ptr<MemoryInput> memory;
  Demuxer() = default;
  Demuxer(const Demuxer&) = delete;
  Demuxer& operator=(const Demuxer&) = delete;
  ~Demuxer() {
    avformat_close_input(&ctx);
    if (io) {
      av_freep(&io->buffer);
      avio_context_free(&io);
    }
  }
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

REFERENCE_TIME ToUnits(int64_t t, AVRational base) { return av_rescale_q(t, base, AVRational{1, int(UNITS)}); }

class MediaFileSource;

class SourcePin : public BaseOutputPin {
 public:
  SourcePin(MediaFileSource* filter, const std::u16string& name, int stream, MediaType type);

  HRESULT GetMediaType(int index, MediaType* type) override {
    if (index < 0) return E_INVALIDARG;
    if (index > 0) return VFW_S_NO_MORE_ITEMS;
    *type = offered_;
    return S_OK;
  }
  HRESULT CheckMediaType(const MediaType& type) override { return type == offered_ ? S_OK : S_FALSE; }
  // Samples carry packets of their own; the allocator only has to exist.
  HRESULT DecideBufferSize(IMemAllocator* allocator, AllocatorProperties* request) override {
    AllocatorProperties want{1, 16, 1, 0}, got;
    return allocator->SetProperties(&want, &got);
  }

  const int stream;
  bool video = false;
  bool done = false;   // this pass delivers nothing more
  bool first = true;   // the next sample starts the pass

 private:
  MediaType offered_;
};

class MediaFileSource : public BaseFilter, public IFileSourceFilter, public IMediaSeeking {
 public:
  MediaFileSource() : BaseFilter("File Source", nullptr, CLSID_MediaFileSource) {}
  ~MediaFileSource() override { StopThread(); }

  int GetPinCount() override { return int(pins_.size()); }
  BasePin* GetPin(int index) override {
    return index >= 0 && index < int(pins_.size()) ? pins_[size_t(index)].get() : nullptr;
  }

  HRESULT Pause() override {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    const bool start = IsStopped();
    HRESULT hr = BaseFilter::Pause();
    if (SUCCEEDED(hr) && start && AnyConnected()) StartThread();
    return hr;
  }
  HRESULT Stop() override {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    quit_ = true;
    HRESULT hr = BaseFilter::Stop();
    StopThread();
    return hr;
  }

  // IFileSourceFilter
  HRESULT Load(const char16_t* path, const MediaType*) override {
    if (!path) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (demux_.ctx) return E_UNEXPECTED;
    path_ = path;
    return Open(Utf8(path_).c_str());
  }
  HRESULT GetCurFile(std::u16string* path, MediaType* type) override {
    if (!path) return E_POINTER;
    *path = path_;
    if (type) *type = MediaType();
    return S_OK;
  }

  HRESULT LoadMemory(const uint8_t* data, size_t size) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (demux_.ctx) return E_UNEXPECTED;
    if (!data && size) return E_POINTER;
    demux_.memory.reset(new MemoryInput{data, size});
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferBytes));
    if (!buffer) return E_OUTOFMEMORY;
    demux_.io = avio_alloc_context(buffer, kIoBufferBytes, 0, demux_.memory.get(), ReadMemory, nullptr, SeekMemory);
    if (!demux_.io) {
      av_free(buffer);
      return E_OUTOFMEMORY;
    }
    return Open(nullptr);
  }

  // IMediaSeeking
  HRESULT GetCapabilities(uint32_t* caps) override {
    if (!caps) return E_POINTER;
    *caps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
            AM_SEEKING_CanGetDuration | AM_SEEKING_CanGetStopPos;
    return S_OK;
  }
  HRESULT GetDuration(int64_t* duration) override {
    if (!duration) return E_POINTER;
    *duration = duration_;
    return S_OK;
  }
  HRESULT GetStopPosition(int64_t* stop) override {
    if (!stop) return E_POINTER;
    *stop = stopAt_ >= 0 ? int64_t(stopAt_) : duration_;
    return S_OK;
  }
  HRESULT GetCurrentPosition(int64_t* current) override {
    if (!current) return E_POINTER;
    *current = startAt_;
    return S_OK;
  }
  HRESULT GetPositions(int64_t* current, int64_t* stop) override {
    if (current) *current = startAt_;
    return stop ? GetStopPosition(stop) : S_OK;
  }
  HRESULT SetPositions(int64_t* current, uint32_t currentFlags, int64_t* stop, uint32_t stopFlags) override {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    const bool moveStart = (currentFlags & AM_SEEKING_PositioningBitsMask) != 0;
    const bool moveStop = (stopFlags & AM_SEEKING_PositioningBitsMask) != 0;
    if ((moveStart && !current) || (moveStop && !stop)) return E_POINTER;
    if (moveStart) {
      // The stream in flight is flushed out and read again from the new place.
      const bool restart = thread_.Joinable();
      if (restart) {
        quit_ = true;
        for (auto& pin : pins_)
          if (pin->IsConnected()) pin->DeliverBeginFlush();
        StopThread();
        for (auto& pin : pins_)
          if (pin->IsConnected()) pin->DeliverEndFlush();
      }
      startAt_ = std::max<int64_t>(*current, 0);
      if (moveStop) stopAt_ = *stop;
      if (restart && IsActive()) StartThread();
    } else if (moveStop) {
      stopAt_ = *stop;
    }
    return S_OK;
  }

 protected:
  void* GetInterface(const IID& iid) override {
    if (iid == IID_IFileSourceFilter) return static_cast<IFileSourceFilter*>(this);
    if (iid == IID_IMediaSeeking) return static_cast<IMediaSeeking*>(this);
    return BaseFilter::GetInterface(iid);
  }

 private:
  static int Interrupted(void* opaque) { return static_cast<MediaFileSource*>(opaque)->quit_.load() ? 1 : 0; }

  HRESULT Open(const char* url) {
    demux_.ctx = avformat_alloc_context();
    if (!demux_.ctx) return E_OUTOFMEMORY;
    if (demux_.io) demux_.ctx->pb = demux_.io;
    demux_.ctx->interrupt_callback = AVIOInterruptCB{Interrupted, this};
    if (avformat_open_input(&demux_.ctx, url ? url : "", nullptr, nullptr) < 0) return VFW_E_UNKNOWN_FILE_TYPE;
    // A still picture (a damaged image file among them) is no movie.
    const std::string demuxer = demux_.ctx->iformat->name;
    if (demuxer == "image2" || (demuxer.size() > 5 && demuxer.compare(demuxer.size() - 5, 5, "_pipe") == 0))
      return VFW_E_UNKNOWN_FILE_TYPE;
    if (avformat_find_stream_info(demux_.ctx, nullptr) < 0) return VFW_E_UNKNOWN_FILE_TYPE;
    AVFormatContext* ctx = demux_.ctx;
    base_ = ctx->start_time != AV_NOPTS_VALUE ? ToUnits(ctx->start_time, AVRational{1, AV_TIME_BASE}) : 0;
    int videos = 0, audios = 0;
    REFERENCE_TIME longest = 0;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
      AVStream* st = ctx->streams[i];
      AVCodecParameters* par = st->codecpar;
      if (!avcodec_find_decoder(par->codec_id)) continue;
      REFERENCE_TIME frameTime = 0;
      std::u16string name;
      if (par->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
        if (par->width <= 0 || par->height <= 0 || par->width > kMaxSide || par->height > kMaxSide ||
            int64_t(par->width) * par->height > kMaxPixels)
          continue;
        const AVRational rate = av_guess_frame_rate(ctx, st, nullptr);
        if (rate.num > 0 && rate.den > 0) frameTime = av_rescale(UNITS, rate.den, rate.num);
        name = ++videos == 1 ? u"Video" : u"Video " + Number(videos);
      } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
        CodecFormat f{};
        f.channels = par->ch_layout.nb_channels;
        f.sampleRate = par->sample_rate;
        if (!CodecParametersSane(f)) continue;
        name = ++audios == 1 ? u"Audio" : u"Audio " + Number(audios);
      } else {
        continue;
      }
      if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        longest = std::max(longest, ToUnits(st->duration, st->time_base));
      pins_.emplace_back(new SourcePin(this, name, int(i), MakeCodecMediaType(par, frameTime)));
      pins_.back()->video = par->codec_type == AVMEDIA_TYPE_VIDEO;
    }
    if (pins_.empty()) return VFW_E_UNKNOWN_FILE_TYPE;
    duration_ = ctx->duration != AV_NOPTS_VALUE && ctx->duration > 0 ? ToUnits(ctx->duration, AVRational{1, AV_TIME_BASE})
                                                                      : longest;
    return S_OK;
  }

  static std::u16string Number(int n) {
    std::u16string s;
    for (char c : std::to_string(n)) s += char16_t(c);
    return s;
  }

  bool AnyConnected() const {
    return std::any_of(pins_.begin(), pins_.end(), [](auto& p) { return p->IsConnected(); });
  }

  void StartThread() {
    quit_ = false;
    thread_.Start([this] { Stream(); });
  }
  void StopThread() {
    quit_ = true;
    thread_.Join();
  }

  SourcePin* PinOfStream(int stream) {
    for (auto& pin : pins_)
      if (pin->stream == stream) return pin.get();
    return nullptr;
  }

  void Stream() {
    AVFormatContext* ctx = demux_.ctx;
    const int64_t start = startAt_, stop = stopAt_;
    if (start > 0 || streamed_) {
      const int64_t target = av_rescale(start + base_, AV_TIME_BASE, UNITS);
      if (avformat_seek_file(ctx, -1, INT64_MIN, target, target, 0) < 0)
        av_seek_frame(ctx, -1, target, AVSEEK_FLAG_BACKWARD);
    }
    streamed_ = true;
    std::vector<SourcePin*> live;
    for (auto& pin : pins_) {
      pin->done = !pin->IsConnected();
      pin->first = true;
      if (!pin->done) {
        live.push_back(pin.get());
        pin->DeliverNewSegment(start, stop >= 0 ? stop : INT64_MAX, 1.0);
      }
    }
    PacketPtr packet(av_packet_alloc());
    if (!packet) {
      NotifyEvent(EC_ERRORABORT, E_OUTOFMEMORY, 0);
      return;
    }
    auto allDone = [&] { return std::all_of(live.begin(), live.end(), [](SourcePin* p) { return p->done; }); };
    // A read error ends the stream as the end of the file does: what was read plays.
    while (!quit_ && !allDone() && av_read_frame(ctx, packet.get()) >= 0) {
      SourcePin* pin = PinOfStream(packet->stream_index);
      if (!pin || pin->done) {
        av_packet_unref(packet.get());
        continue;
      }
      const AVStream* st = ctx->streams[packet->stream_index];
      const int64_t at = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
      REFERENCE_TIME t0 = AV_NOPTS_VALUE;
      if (at != AV_NOPTS_VALUE) {
        t0 = ToUnits(at, st->time_base) - base_ - start;
        if (stop >= 0 && t0 + start >= stop) {
          av_packet_unref(packet.get());
          pin->done = true;
          pin->DeliverEndOfStream();
          continue;
        }
      }
      const bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
      const REFERENCE_TIME length = packet->duration > 0 ? ToUnits(packet->duration, st->time_base) : 0;
      PacketPtr owned(av_packet_alloc());
      if (!owned) break;
      av_packet_move_ref(owned.get(), packet.get());
      ComPtr<IMediaSample> sample(static_cast<IMediaSample*>(new PacketSample(std::move(owned))));
      if (t0 != AV_NOPTS_VALUE) {
        REFERENCE_TIME t1 = t0 + length;
        sample->SetTime(&t0, length > 0 ? &t1 : nullptr);
      }
      sample->SetSyncPoint(key);
      sample->SetDiscontinuity(pin->first);
      pin->first = false;
      if (pin->Deliver(sample.Get()) != S_OK) pin->done = true;  // downstream takes no more
    }
    if (quit_) return;
    // Pictures first: an audio renderer may hold the end until its sound has played.
    std::stable_partition(live.begin(), live.end(), [](SourcePin* p) { return p->video; });
    for (SourcePin* pin : live)
      if (!pin->done) pin->DeliverEndOfStream();
  }

  Demuxer demux_;
  std::vector<std::unique_ptr<SourcePin>> pins_;
  std::u16string path_;
  REFERENCE_TIME base_ = 0;  // the file's first time
  REFERENCE_TIME duration_ = 0;
  std::atomic<int64_t> startAt_{0}, stopAt_{-1};
  bool streamed_ = false;  // the demuxer has moved: a new pass seeks
  std::atomic<bool> quit_{false};
  MediaThread thread_;
};

SourcePin::SourcePin(MediaFileSource* filter, const std::u16string& name, int streamIndex, MediaType type)
    : BaseOutputPin(filter, name.c_str()), stream(streamIndex), offered_(std::move(type)) {}

}  // namespace

HRESULT CreateMediaFileSource(IUnknown* outer, IUnknown** object) {
  auto* source = new MediaFileSource;
  *object = static_cast<IBaseFilter*>(source);
  (*object)->AddRef();
  return S_OK;
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
