#include "platform/media/ffmpeg/ffmpeg_codec_filter.h"

#include <algorithm>
#include <cstring>

namespace ffmedia {

HRESULT CodecFilter::CheckInputType(const MediaType& type) {
  CodecFormat f;
  const uint8_t* extra;
  if (!ReadCodecMediaType(type, kind_, &f, &extra)) return VFW_E_TYPE_NOT_ACCEPTED;
  return avcodec_find_decoder(AVCodecID(f.codecId)) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

bool CodecFilter::OpenInput(const MediaType& type, CodecFormat* format) {
  const uint8_t* extra;
  if (!ReadCodecMediaType(type, kind_, format, &extra)) return false;
  CodecContextPtr ctx = OpenDecoder(*format, extra);
  if (!ctx) return false;
  std::lock_guard<std::mutex> streaming(receiveLock_);
  ctx_ = std::move(ctx);
  return true;
}

HRESULT CodecFilter::BreakConnect(PinDirection dir) {
  if (dir == PinDirection::Input) {
    std::lock_guard<std::mutex> streaming(receiveLock_);
    ctx_.reset();
    Disconnected();
  }
  return S_OK;
}

HRESULT CodecFilter::StartStreaming() {
  frame_.reset(av_frame_alloc());
  packet_.reset(av_packet_alloc());
  return frame_ && packet_ ? S_OK : E_OUTOFMEMORY;
}

HRESULT CodecFilter::StopStreaming() {
  Reset();
  return S_OK;
}

void CodecFilter::Reset() {
  if (ctx_) avcodec_flush_buffers(ctx_.get());
  nextTime_ = AV_NOPTS_VALUE;
}

// A packet in, as many frames out as the decoder has.
HRESULT CodecFilter::Receive(IMediaSample* sample) {
  if (sample->GetStreamId() != AM_STREAM_MEDIA) return S_OK;
  if (!ctx_ || !packet_) return E_UNEXPECTED;
  uint8_t* data = nullptr;
  sample->GetPointer(&data);
  REFERENCE_TIME start = 0, stop = 0;
  packet_->data = data;
  packet_->size = std::max(sample->GetActualDataLength(), 0);
  packet_->pts = SUCCEEDED(sample->GetTime(&start, &stop)) ? start : AV_NOPTS_VALUE;
  packet_->dts = AV_NOPTS_VALUE;
  packet_->flags = sample->IsSyncPoint() == S_OK ? AV_PKT_FLAG_KEY : 0;
  if (packet_->size == 0) return S_OK;  // an empty packet would end the stream
  if (ComPtr<IPacketSample> read = ComPtr<IMediaSample>(sample).As<IPacketSample>()) {
    // Pictures stored out of order, whose packets carry decode times alone, are timed by
    // libavcodec from those.
    read->GetPacketTimes(&packet_->pts, &packet_->dts);
    // libavcodec drops what the container says to skip at either end of the sound.
    size_t bytes = 0;
    const uint8_t* skip = av_packet_get_side_data(read->Packet(), AV_PKT_DATA_SKIP_SAMPLES, &bytes);
    uint8_t* copy = skip ? av_packet_new_side_data(packet_.get(), AV_PKT_DATA_SKIP_SAMPLES, bytes) : nullptr;
    if (copy) std::memcpy(copy, skip, bytes);
  }
  const int sent = avcodec_send_packet(ctx_.get(), packet_.get());
  av_packet_unref(packet_.get());  // the bytes are the sample's; the side data is ours
  if (sent < 0 && sent != AVERROR(EAGAIN)) return S_OK;  // a damaged packet is left out
  return DeliverFrames();
}

HRESULT CodecFilter::EndOfStream() {
  if (ctx_ && frame_ && avcodec_send_packet(ctx_.get(), nullptr) >= 0) DeliverFrames();
  Reset();
  return TransformFilter::EndOfStream();
}

HRESULT CodecFilter::EndFlush() {
  {
    std::lock_guard<std::mutex> streaming(receiveLock_);
    Reset();
  }
  return TransformFilter::EndFlush();
}

HRESULT CodecFilter::DeliverFrames() {
  for (;;) {
    if (avcodec_receive_frame(ctx_.get(), frame_.get()) < 0) return S_OK;  // wants more input, or drained
    const HRESULT hr = DeliverFrame(frame_.get());
    av_frame_unref(frame_.get());
    if (hr != S_OK) return hr;
  }
}

}  // namespace ffmedia
