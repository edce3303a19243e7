#include "reference_video.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

void ReferencePicture::Bgr(int x, int row, int out[3]) const {
  const int Y = y[size_t(row) * width + x];
  const size_t c = size_t(row / 2) * chromaWidth + x / 2;
  const int U = u[c] - 128, V = v[c] - 128;
  const int l = 19070 * (Y - 16);
  auto clamp = [](int q) { return q < 0 ? 0 : q > 255 ? 255 : q; };
  out[0] = clamp((l + 33062 * U) / 16384);
  out[1] = clamp((l - 6406 * U - 13320 * V) / 16384);
  out[2] = clamp((l + 26148 * V) / 16384);
}

bool DecodeReferencePicture(const std::string& path, int index, ReferencePicture* out) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return false;
  bool found = false;
  const AVCodec* codec = nullptr;
  const int stream = avformat_find_stream_info(format, nullptr) >= 0
                         ? av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0)
                         : -1;
  AVCodecContext* decoder = stream >= 0 ? avcodec_alloc_context3(codec) : nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  if (decoder && avcodec_parameters_to_context(decoder, format->streams[stream]->codecpar) >= 0) {
    decoder->thread_count = 1;
    decoder->flags |= AV_CODEC_FLAG_UNALIGNED;  // crop the picture exactly where the stream puts it
    int seen = 0;
    bool draining = false;
    if (avcodec_open2(decoder, codec, nullptr) >= 0) {
      while (!found) {
        int got = avcodec_receive_frame(decoder, frame);
        if (got == 0) {
          if (seen++ < index) continue;
          if (frame->format != AV_PIX_FMT_YUV420P && frame->format != AV_PIX_FMT_YUVJ420P) break;
          out->width = frame->width;
          out->height = frame->height;
          out->chromaWidth = (frame->width + 1) / 2;
          out->chromaHeight = (frame->height + 1) / 2;
          auto copy = [&](std::vector<uint8_t>& plane, int p, int w, int h) {
            plane.resize(size_t(w) * h);
            for (int r = 0; r < h; ++r)
              std::memcpy(&plane[size_t(r) * w], frame->data[p] + ptrdiff_t(r) * frame->linesize[p], size_t(w));
          };
          copy(out->y, 0, out->width, out->height);
          copy(out->u, 1, out->chromaWidth, out->chromaHeight);
          copy(out->v, 2, out->chromaWidth, out->chromaHeight);
          found = true;
        } else if (got == AVERROR(EAGAIN) && !draining) {
          if (av_read_frame(format, packet) < 0) {
            draining = true;
            avcodec_send_packet(decoder, nullptr);
          } else {
            if (packet->stream_index == stream) avcodec_send_packet(decoder, packet);
            av_packet_unref(packet);
          }
        } else {
          break;
        }
      }
    }
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&format);
  return found;
}
