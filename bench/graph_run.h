// What the movie benchmarks share: a movie renderer that counts the frames it converts, a bare
// graph that plays a file into it unclocked, as fast as it decodes, to its end, and FFmpeg
// decoding the same file alone.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "engine/sound/movie/movie_renderer.h"

class CountingRenderer : public MovieRenderer {
 public:
  CountingRenderer() : MovieRenderer(nullptr, nullptr) {}
  HRESULT DoRenderSample(IMediaSample* sample) override {
    ++frames;
    return MovieRenderer::DoRenderSample(sample);
  }
  std::atomic<int> frames{0};
};

// The renderer that saw the file, or an empty pointer when no graph could be built for it.
inline ComPtr<CountingRenderer> PlayGraphUnclocked(const std::u16string& path) {
  ComPtr<IGraphBuilder> graph;
  CreateMediaObject(CLSID_FilterGraph, nullptr, IID_IGraphBuilder, graph.PutVoid());
  ComPtr<CountingRenderer> renderer(new CountingRenderer);
  graph->AddFilter(renderer.Get(), u"MovieRenderer");
  if (FAILED(graph->RenderFile(path.c_str(), nullptr))) return ComPtr<CountingRenderer>();
  graph.As<IMediaFilter>()->SetSyncSource(nullptr);
  int32_t code = 0;
  graph.As<IMediaControl>()->Run();
  graph.As<IMediaEvent>()->WaitForCompletion(60000, &code);
  graph.As<IMediaControl>()->Stop();
  return renderer;
}

// FFmpeg alone on one thread: decodes the file's video to its end and, with toBgra, converts each
// picture to 32-bit with libswscale; the pictures made, or -1 when the file does not open.
inline int64_t DecodeWithFFmpegAlone(const std::string& path, bool toBgra) {
  AVFormatContext* ctx = nullptr;
  if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) return -1;
  avformat_find_stream_info(ctx, nullptr);
  const int v = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVCodec* codec = avcodec_find_decoder(ctx->streams[v]->codecpar->codec_id);
  AVCodecContext* dec = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(dec, ctx->streams[v]->codecpar);
  dec->thread_count = 1;
  avcodec_open2(dec, codec, nullptr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  AVFrame* rgb = av_frame_alloc();
  SwsContext* sws = nullptr;
  int64_t frames = 0;
  auto drain = [&] {
    while (avcodec_receive_frame(dec, frame) >= 0) {
      if (toBgra) {
        if (!rgb->data[0]) {
          rgb->format = AV_PIX_FMT_BGRA;
          rgb->width = frame->width;
          rgb->height = frame->height;
          av_frame_get_buffer(rgb, 0);
        }
        sws = sws_getCachedContext(sws, frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                                   frame->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
        sws_scale(sws, frame->data, frame->linesize, 0, frame->height, rgb->data, rgb->linesize);
      }
      ++frames;
      av_frame_unref(frame);
    }
  };
  while (av_read_frame(ctx, packet) >= 0) {
    if (packet->stream_index == v && avcodec_send_packet(dec, packet) >= 0) drain();
    av_packet_unref(packet);
  }
  avcodec_send_packet(dec, nullptr);
  drain();
  sws_freeContext(sws);
  av_frame_free(&rgb);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&dec);
  avformat_close_input(&ctx);
  return frames;
}
