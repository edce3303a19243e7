// The demultiplexer over libavformat shared by the file source and the parser. One thread reads
// the packets in file order and queues each, without a copy, on its pin; every pin has a streaming
// thread of its own that delivers its queue downstream, so a picture held until its time does not
// hold the sound.
#include "platform/media/ffmpeg/ffmpeg_demux.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace ffmedia {

namespace {

constexpr int kIoBufferBytes = 1 << 16;
// A pin's queue: about two seconds of pictures at 30 a second, or of sound in packets of 1024
// frames at 48 kHz, and never more bytes than a few large pictures take.
constexpr size_t kQueuedVideoPackets = 64;
constexpr size_t kQueuedAudioPackets = 128;
constexpr size_t kQueuedBytes = size_t(64) << 20;
// How far past the place asked for a seek may land (the sound packet beside the key picture
// before it, say) and still count.
constexpr REFERENCE_TIME kLandingSlack = UNITS / 4;

// A sample that owns the packet holding its bytes.
class PacketSample : public MediaSample, public IPacketSample {
 public:
  PacketSample(PacketPtr packet, REFERENCE_TIME presentation, REFERENCE_TIME decode)
      : MediaSample(nullptr, packet->data, packet->size),
        packet_(std::move(packet)),
        presentation_(presentation),
        decode_(decode) {}

  void GetPacketTimes(REFERENCE_TIME* presentation, REFERENCE_TIME* decode) override {
    *presentation = presentation_;
    *decode = decode_;
  }
  const AVPacket* Packet() override { return packet_.get(); }

 protected:
  void* GetInterface(const IID& iid) override {
    if (iid == IPacketSample::iid) return static_cast<IPacketSample*>(this);
    return MediaSample::GetInterface(iid);
  }

 private:
  PacketPtr packet_;
  const REFERENCE_TIME presentation_, decode_;
};

REFERENCE_TIME ToUnits(int64_t t, AVRational base) { return av_rescale_q(t, base, AVRational{1, int(UNITS)}); }

std::u16string Numbered(const char16_t* name, int n) {
  std::u16string s(name);
  if (n == 1) return s;
  s += u' ';
  for (char c : std::to_string(n)) s += char16_t(c);
  return s;
}

}  // namespace

class DemuxPin : public BaseOutputPin {
 public:
  DemuxPin(DemuxFilter* filter, const std::u16string& name, int streamIndex, bool isVideo, MediaType type)
      : BaseOutputPin(filter, name.c_str()), stream(streamIndex), video(isVideo), offered_(std::move(type)) {}

  HRESULT GetMediaType(int index, MediaType* type) override {
    if (index < 0) return E_INVALIDARG;
    if (index > 0) return VFW_S_NO_MORE_ITEMS;
    *type = offered_;
    return S_OK;
  }
  HRESULT CheckMediaType(const MediaType& type) override { return type == offered_ ? S_OK : S_FALSE; }
  // Samples carry packets of their own; the allocator only has to exist.
  HRESULT DecideBufferSize(IMemAllocator* allocator, AllocatorProperties*) override {
    AllocatorProperties want{1, 16, 1, 0}, got;
    return allocator->SetProperties(&want, &got);
  }

  // Starts the pin's streaming thread over an empty queue.
  void StartDelivering() {
    {
      std::lock_guard<std::mutex> lock(queueLock_);
      quit_ = false;
    }
    refused_ = false;
    thread_.Start([this] { Deliver(); });
  }
  // Wakes both threads: Queue returns false from now on, the streaming thread ends.
  void Quit() {
    std::lock_guard<std::mutex> lock(queueLock_);
    quit_ = true;
    queueChanged_.notify_all();
  }
  // After Quit: waits for the streaming thread and drops what it left.
  void StopDelivering() {
    thread_.Join();
    std::lock_guard<std::mutex> lock(queueLock_);
    queue_.clear();
    bytes_ = 0;
  }
  // On the demultiplexing thread: waits for room, then queues the sample (null: the end of the
  // stream). false when the pin quits meanwhile.
  bool Queue(ComPtr<IMediaSample> sample) {
    const size_t bytes = sample ? size_t(std::max(sample->GetActualDataLength(), 0)) : 0;
    const size_t most = video ? kQueuedVideoPackets : kQueuedAudioPackets;
    std::unique_lock<std::mutex> lock(queueLock_);
    queueChanged_.wait(lock, [&] {
      return quit_ || queue_.empty() || (queue_.size() < most && bytes_ + bytes <= kQueuedBytes);
    });
    if (quit_) return false;
    bytes_ += bytes;
    queue_.push_back(std::move(sample));
    queueChanged_.notify_all();
    return true;
  }

  const int stream;
  const bool video;
  // Downstream took no more in this pass (the pin's streaming thread finds out).
  bool Refused() const { return refused_; }

  // The demultiplexing thread's own.
  bool done = false;  // this pass queues nothing more
  bool first = true;  // the next sample starts the pass

 private:
  // The streaming thread: the queue in order, downstream.
  void Deliver() {
    for (;;) {
      ComPtr<IMediaSample> sample;
      {
        std::unique_lock<std::mutex> lock(queueLock_);
        queueChanged_.wait(lock, [&] { return quit_ || !queue_.empty(); });
        if (quit_) return;
        sample = std::move(queue_.front());
        queue_.pop_front();
        if (sample) bytes_ -= size_t(std::max(sample->GetActualDataLength(), 0));
        queueChanged_.notify_all();
      }
      if (refused_) continue;
      if (!sample)
        DeliverEndOfStream();
      else if (BaseOutputPin::Deliver(sample.Get()) != S_OK)
        refused_ = true;
    }
  }

  MediaType offered_;
  MediaThread thread_;
  std::mutex queueLock_;  // one of a filter's own locks (media_base.h): the fields below
  std::condition_variable queueChanged_;
  std::deque<ComPtr<IMediaSample>> queue_;  // null: the end of the stream
  size_t bytes_ = 0;
  bool quit_ = false;
  std::atomic<bool> refused_{false};
};

namespace {

int ReadSource(void* opaque, uint8_t* buffer, int size) {
  auto* in = static_cast<ByteSource*>(opaque);
  const int64_t n = std::min<int64_t>(std::max(size, 0), in->length - in->position);
  if (n <= 0) return AVERROR_EOF;
  if (!in->ReadAt(in->position, int32_t(n), buffer)) return AVERROR(EIO);
  in->position += n;
  return int(n);
}

int64_t SeekSource(void* opaque, int64_t offset, int whence) {
  auto* in = static_cast<ByteSource*>(opaque);
  if (whence & AVSEEK_SIZE) return in->length;
  int64_t base = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = in->position; break;
    case SEEK_END: base = in->length; break;
    default: return AVERROR(EINVAL);
  }
  if (offset < -base || offset > in->length - base) return AVERROR(EINVAL);
  in->position = base + offset;
  return in->position;
}

}  // namespace

IoContextPtr MakeIoContext(ByteSource* source) {
  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferBytes));
  if (!buffer) return nullptr;
  IoContextPtr io(avio_alloc_context(buffer, kIoBufferBytes, 0, source, ReadSource, nullptr, SeekSource));
  if (!io) av_free(buffer);
  return io;
}

DemuxFilter::DemuxFilter(const char* objectName, const CLSID& clsid) : BaseFilter(objectName, nullptr, clsid) {}

DemuxFilter::~DemuxFilter() { StopThread(); }

BasePin* DemuxFilter::Output(int index) const {
  return index >= 0 && index < int(pins_.size()) ? pins_[size_t(index)].get() : nullptr;
}

HRESULT DemuxFilter::Pause() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  const bool start = IsStopped();
  HRESULT hr = BaseFilter::Pause();
  if (SUCCEEDED(hr) && start && AnyConnected()) StartThread();
  return hr;
}

HRESULT DemuxFilter::Stop() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  quit_ = true;
  HRESULT hr = BaseFilter::Stop();
  StopThread();
  return hr;
}

HRESULT DemuxFilter::GetCapabilities(uint32_t* caps) {
  if (!caps) return E_POINTER;
  *caps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
          AM_SEEKING_CanGetDuration | AM_SEEKING_CanGetStopPos;
  return S_OK;
}

HRESULT DemuxFilter::GetDuration(int64_t* duration) {
  if (!duration) return E_POINTER;
  *duration = duration_;
  return S_OK;
}

HRESULT DemuxFilter::GetStopPosition(int64_t* stop) {
  if (!stop) return E_POINTER;
  *stop = stopAt_ >= 0 ? int64_t(stopAt_) : duration_;
  return S_OK;
}

HRESULT DemuxFilter::GetCurrentPosition(int64_t* current) {
  if (!current) return E_POINTER;
  *current = startAt_;
  return S_OK;
}

HRESULT DemuxFilter::GetPositions(int64_t* current, int64_t* stop) {
  if (current) *current = startAt_;
  return stop ? GetStopPosition(stop) : S_OK;
}

HRESULT DemuxFilter::SetPositions(int64_t* current, uint32_t currentFlags, int64_t* stop, uint32_t stopFlags) {
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

void* DemuxFilter::GetInterface(const IID& iid) {
  if (iid == IID_IMediaSeeking) return static_cast<IMediaSeeking*>(this);
  return BaseFilter::GetInterface(iid);
}

int DemuxFilter::Interrupted(void* opaque) { return static_cast<DemuxFilter*>(opaque)->quit_.load() ? 1 : 0; }

HRESULT DemuxFilter::OpenInput(const char* url, IoContextPtr io) {
  if (ctx_) return E_UNEXPECTED;
  io_ = std::move(io);
  url_ = url ? url : "";
  quit_ = false;
  ctx_ = OpenFormat(io_.get());
  if (!ctx_) {
    io_.reset();
    return VFW_E_UNKNOWN_FILE_TYPE;
  }
  HRESULT hr = FindStreams();
  if (FAILED(hr)) CloseInput();
  return hr;
}

FormatContextPtr DemuxFilter::OpenFormat(AVIOContext* io) {
  AVFormatContext* raw = avformat_alloc_context();
  if (!raw) return nullptr;
  if (io) raw->pb = io;
  raw->interrupt_callback = AVIOInterruptCB{Interrupted, this};
  if (avformat_open_input(&raw, url_.c_str(), nullptr, nullptr) < 0) return nullptr;  // frees raw
  FormatContextPtr ctx(raw);
  // Pictures too large for us are neither probed nor read: their decoding alone could cost
  // hundreds of megabytes. The probing decoders refuse such pictures found in the bitstream.
  std::vector<AVDictionary*> probing(ctx->nb_streams, nullptr);
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    const AVCodecParameters* par = ctx->streams[i]->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && (par->width || par->height) &&
        !MoviePictureSizeSane(par->width, par->height))
      ctx->streams[i]->discard = AVDISCARD_ALL;
    av_dict_set_int(&probing[i], "max_pixels", kMaxMoviePicturePixels, 0);
  }
  const int probed = avformat_find_stream_info(ctx.get(), probing.empty() ? nullptr : probing.data());
  for (AVDictionary*& d : probing) av_dict_free(&d);
  return probed < 0 ? nullptr : std::move(ctx);
}

HRESULT DemuxFilter::FindStreams() {
  AVFormatContext* ctx = ctx_.get();
  // A still picture (a damaged image file among them) is no movie.
  const std::string demuxer = ctx->iformat->name;
  if (demuxer == "image2" || (demuxer.size() > 5 && demuxer.compare(demuxer.size() - 5, 5, "_pipe") == 0))
    return VFW_E_UNKNOWN_FILE_TYPE;
  base_ = ctx->start_time != AV_NOPTS_VALUE ? ToUnits(ctx->start_time, AVRational{1, AV_TIME_BASE}) : 0;
  int videos = 0, audios = 0;
  REFERENCE_TIME longest = 0;
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    AVStream* st = ctx->streams[i];
    AVCodecParameters* par = st->codecpar;
    if (st->discard == AVDISCARD_ALL || !avcodec_find_decoder(par->codec_id)) continue;
    REFERENCE_TIME frameTime = 0;
    std::u16string name;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
      if (!MoviePictureSizeSane(par->width, par->height)) {
        st->discard = AVDISCARD_ALL;
        continue;
      }
      const AVRational rate = av_guess_frame_rate(ctx, st, nullptr);
      if (rate.num > 0 && rate.den > 0) frameTime = av_rescale(UNITS, rate.den, rate.num);
      name = Numbered(u"Video", ++videos);
    } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
      CodecFormat f{};
      f.channels = par->ch_layout.nb_channels;
      f.sampleRate = par->sample_rate;
      if (!CodecParametersSane(f)) continue;
      name = Numbered(u"Audio", ++audios);
    } else {
      continue;
    }
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
      longest = std::max(longest, ToUnits(st->duration, st->time_base));
    pins_.emplace_back(new DemuxPin(this, name, int(i), par->codec_type == AVMEDIA_TYPE_VIDEO,
                                    MakeCodecMediaType(par, frameTime)));
  }
  if (pins_.empty()) return VFW_E_UNKNOWN_FILE_TYPE;
  duration_ = ctx->duration != AV_NOPTS_VALUE && ctx->duration > 0 ? ToUnits(ctx->duration, AVRational{1, AV_TIME_BASE})
                                                                    : longest;
  return S_OK;
}

void DemuxFilter::CloseInput() {
  StopThread();
  for (auto& pin : pins_) {
    if (IPin* other = pin->GetConnected()) {
      ComPtr<IPin> hold(other);
      other->Disconnect();
      pin->Disconnect();
    }
    retired_.push_back(std::move(pin));
  }
  pins_.clear();
  ctx_.reset();
  io_.reset();
  url_.clear();
  base_ = duration_ = 0;
  startAt_ = 0;
  stopAt_ = -1;
  streamed_ = false;
}

bool DemuxFilter::AnyConnected() const {
  return std::any_of(pins_.begin(), pins_.end(), [](auto& p) { return p->IsConnected(); });
}

void DemuxFilter::StartThread() {
  quit_ = false;
  for (auto& pin : pins_)
    if (pin->IsConnected()) pin->StartDelivering();
  thread_.Start([this] { Stream(); });
}

void DemuxFilter::StopThread() {
  quit_ = true;
  for (auto& pin : pins_) pin->Quit();
  thread_.Join();
  for (auto& pin : pins_) pin->StopDelivering();
}

DemuxPin* DemuxFilter::PinOfStream(int stream) const {
  for (auto& pin : pins_)
    if (pin->stream == stream) return pin.get();
  return nullptr;
}

// Tries each way to the place in turn: a seek by time, the top by a byte seek, the input opened
// again; from the top, the decoders drop what comes before the place. A way counts once the
// packet read after it lies no later than the place (that packet is left in `first`).
bool DemuxFilter::MoveTo(int64_t start, AVPacket* first) {
  // What a pipe has given is gone.
  if (ctx_->pb && !(ctx_->pb->seekable & AVIO_SEEKABLE_NORMAL)) return false;
  const int64_t target = av_rescale(start + base_, AV_TIME_BASE, UNITS);
  auto byTime = [&] {
    return avformat_seek_file(ctx_.get(), -1, INT64_MIN, target, target, 0) >= 0 ||
           av_seek_frame(ctx_.get(), -1, target, AVSEEK_FLAG_BACKWARD) >= 0;
  };
  auto toTop = [&] {
    return !(ctx_->iformat->flags & AVFMT_NO_BYTE_SEEK) && av_seek_frame(ctx_.get(), -1, 0, AVSEEK_FLAG_BYTE) >= 0;
  };
  // A seek may land late or nowhere; after a byte seek some containers count their times on.
  auto landed = [&] {
    if (quit_ || av_read_frame(ctx_.get(), first) < 0) return false;
    const int64_t at = first->pts != AV_NOPTS_VALUE ? first->pts : first->dts;
    if (at == AV_NOPTS_VALUE ||
        ToUnits(at, ctx_->streams[first->stream_index]->time_base) - base_ <= start + kLandingSlack)
      return true;
    av_packet_unref(first);
    return false;
  };
  // The top first where the container allows it: a search by time in a program stream or a
  // stream without an index can land a group of pictures late.
  const bool topFirst = start <= 0 && (ctx_->iformat->flags & (AVFMT_TS_DISCONT | AVFMT_GENERIC_INDEX));
  if (topFirst && toTop() && landed()) return true;
  if (byTime() && landed()) return true;
  if (!topFirst && toTop() && landed()) return true;
  return Reopen() && landed();
}

bool DemuxFilter::Reopen() {
  IoContextPtr io;
  if (io_) {
    auto* source = static_cast<ByteSource*>(io_->opaque);
    source->position = 0;
    io = MakeIoContext(source);
    if (!io) return false;
  }
  FormatContextPtr ctx = OpenFormat(io.get());
  // The streams the pins stand for, else it is another file now.
  if (!ctx || ctx->nb_streams != ctx_->nb_streams) return false;
  for (auto& pin : pins_) {
    const AVCodecParameters *was = ctx_->streams[pin->stream]->codecpar, *is = ctx->streams[pin->stream]->codecpar;
    if (was->codec_type != is->codec_type || was->codec_id != is->codec_id) return false;
  }
  ctx_ = std::move(ctx);  // the old one reads through the old I/O context: it goes first
  io_ = std::move(io);
  return true;
}

void DemuxFilter::Stream() {
  const int64_t start = startAt_, stop = stopAt_;
  PacketPtr packet(av_packet_alloc());
  if (!packet) {
    NotifyEvent(EC_ERRORABORT, E_OUTOFMEMORY, 0);
    return;
  }
  // The first packet of a pass that had to move is read on the way there.
  bool held = false;
  if (start > 0 || streamed_) {
    held = MoveTo(start, packet.get());
    if (!held) {
      if (!quit_) NotifyEvent(EC_ERRORABORT, MEDIA_E_CANNOT_SEEK, 0);
      return;
    }
  }
  AVFormatContext* ctx = ctx_.get();
  streamed_ = true;
  std::vector<DemuxPin*> live;
  for (auto& pin : pins_) {
    pin->done = !pin->IsConnected();
    pin->first = true;
    if (!pin->done) {
      live.push_back(pin.get());
      pin->DeliverNewSegment(start, stop >= 0 ? stop : INT64_MAX, 1.0);
    }
  }
  auto allDone = [&] {
    return std::all_of(live.begin(), live.end(), [](DemuxPin* p) { return p->done || p->Refused(); });
  };
  // A read error ends the stream as the end of the file does: what was read plays.
  for (; !quit_ && !allDone() && (held || av_read_frame(ctx, packet.get()) >= 0); held = false) {
    DemuxPin* pin = PinOfStream(packet->stream_index);
    if (!pin || pin->done || pin->Refused()) {
      av_packet_unref(packet.get());
      continue;
    }
    const AVStream* st = ctx->streams[packet->stream_index];
    auto onSegment = [&](int64_t t) { return t != AV_NOPTS_VALUE ? ToUnits(t, st->time_base) - base_ - start : t; };
    const REFERENCE_TIME pts = onSegment(packet->pts), dts = onSegment(packet->dts);
    const REFERENCE_TIME t0 = pts != AV_NOPTS_VALUE ? pts : dts;
    if (t0 != AV_NOPTS_VALUE && stop >= 0 && t0 + start >= stop) {
      av_packet_unref(packet.get());
      pin->done = true;
      if (!pin->Queue(nullptr)) break;
      continue;
    }
    const bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
    const REFERENCE_TIME length = packet->duration > 0 ? ToUnits(packet->duration, st->time_base) : 0;
    PacketPtr owned(av_packet_alloc());
    if (!owned) break;
    av_packet_move_ref(owned.get(), packet.get());
    ComPtr<IMediaSample> sample(static_cast<IMediaSample*>(new PacketSample(std::move(owned), pts, dts)));
    if (t0 != AV_NOPTS_VALUE) {
      REFERENCE_TIME t1 = t0 + length;
      sample->SetTime(&t0, length > 0 ? &t1 : nullptr);
    }
    sample->SetSyncPoint(key);
    sample->SetDiscontinuity(pin->first);
    pin->first = false;
    if (!pin->Queue(std::move(sample))) break;
  }
  if (quit_) return;
  for (DemuxPin* pin : live)
    if (!pin->done) pin->Queue(nullptr);
}

}  // namespace ffmedia
