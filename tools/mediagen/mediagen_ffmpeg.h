// Owners of libavformat and libavcodec objects, for the generators that encode with them.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

struct OutputFree {
  void operator()(AVFormatContext* c) const {
    if (c->pb) avio_closep(&c->pb);
    avformat_free_context(c);
  }
};
struct CodecFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using OutputPtr = std::unique_ptr<AVFormatContext, OutputFree>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

// False, with the reason on stderr.
inline bool Fail(const std::string& path, const char* what) {
  std::fprintf(stderr, "mediagen: %s: %s\n", path.c_str(), what);
  return false;
}

// Sends a frame (null: the end) to the encoder and writes every packet it gives.
inline bool Drain(AVFormatContext* out, AVCodecContext* c, AVStream* st, AVFrame* frame, AVPacket* packet) {
  if (avcodec_send_frame(c, frame) < 0) return false;
  for (;;) {
    const int r = avcodec_receive_packet(c, packet);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) return false;
    if (packet->duration <= 0) packet->duration = 1;
    av_packet_rescale_ts(packet, c->time_base, st->time_base);
    packet->stream_index = st->index;
    if (av_interleaved_write_frame(out, packet) < 0) return false;
  }
}
