#include "reference_video.h"

#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

bool DecodeFramesWithFFmpeg(const std::string& path, bool video, const std::function<bool(const AVFrame&)>& take) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return false;
  const AVCodec* codec = nullptr;
  const int stream =
      avformat_find_stream_info(format, nullptr) >= 0
          ? av_find_best_stream(format, video ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0)
          : -1;
  AVCodecContext* decoder = stream >= 0 ? avcodec_alloc_context3(codec) : nullptr;
  bool opened = decoder && avcodec_parameters_to_context(decoder, format->streams[stream]->codecpar) >= 0;
  if (opened) {
    decoder->thread_count = 1;
    decoder->flags |= AV_CODEC_FLAG_UNALIGNED;  // crop the picture exactly where the stream puts it
    opened = avcodec_open2(decoder, codec, nullptr) >= 0;
  }
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  bool more = opened;
  auto drain = [&] {
    while (more && avcodec_receive_frame(decoder, frame) == 0) {
      more = take(*frame);
      av_frame_unref(frame);
    }
  };
  while (more && av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == stream && avcodec_send_packet(decoder, packet) >= 0) drain();
    av_packet_unref(packet);
  }
  if (more && avcodec_send_packet(decoder, nullptr) >= 0) drain();
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&format);
  return opened;
}

double ReferencePicture::Psnr(const uint8_t* bgrx, ptrdiff_t pitch) const {
  auto clamp = [](int q) { return q < 0 ? 0 : q > 255 ? 255 : q; };
  double squares = 0;
  for (int row = 0; row < height; ++row)
    for (int x = 0; x < width; ++x) {
      const size_t c = size_t(row / 2) * chromaWidth + x / 2;
      const int U = u[c] - 128, V = v[c] - 128, l = 19070 * (y[size_t(row) * width + x] - 16);
      const int want[3] = {clamp((l + 33062 * U) / 16384), clamp((l - 6406 * U - 13320 * V) / 16384),
                           clamp((l + 26148 * V) / 16384)};
      for (int k = 0; k < 3; ++k) squares += std::pow(bgrx[row * pitch + x * 4 + k] - want[k], 2);
    }
  return squares ? 10 * std::log10(255.0 * 255.0 * 3 * width * height / squares) : INFINITY;
}

bool DecodeReferencePicture(const std::string& path, int index, ReferencePicture* out) {
  int seen = 0;
  bool found = false;
  DecodeFramesWithFFmpeg(path, true, [&](const AVFrame& frame) {
    if (seen++ < index) return true;
    if (frame.format != AV_PIX_FMT_YUV420P && frame.format != AV_PIX_FMT_YUVJ420P) return false;
    out->width = frame.width;
    out->height = frame.height;
    out->chromaWidth = (frame.width + 1) / 2;
    out->chromaHeight = (frame.height + 1) / 2;
    auto copy = [&](std::vector<uint8_t>& plane, int p, int w, int h) {
      plane.resize(size_t(w) * h);
      for (int r = 0; r < h; ++r)
        std::memcpy(&plane[size_t(r) * w], frame.data[p] + ptrdiff_t(r) * frame.linesize[p], size_t(w));
    };
    copy(out->y, 0, out->width, out->height);
    copy(out->u, 1, out->chromaWidth, out->chromaHeight);
    copy(out->v, 2, out->chromaWidth, out->chromaHeight);
    found = true;
    return false;
  });
  return found;
}
