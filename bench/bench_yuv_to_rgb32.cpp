// The video decoder's Y'CbCr 4:2:0 to RGB32 conversion alone, on one 1080p or 2160p frame of
// BT.709 limited range: libswscale's fast converter (the one FFmpeg's own decode and conversion
// in bench_movie_4k uses), then each version of ours. Items are pixels;
// vs_libswscale is libswscale's time per frame in the same run over ours (above 1: ours is
// faster).
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <random>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "platform/media/ffmpeg/yuv_to_rgb32.h"
#include "platform/cpu.h"

namespace {

struct Frames {
  explicit Frames(int height) : yuv(av_frame_alloc()), rgb(av_frame_alloc()) {
    yuv->format = AV_PIX_FMT_YUV420P;
    rgb->format = AV_PIX_FMT_BGRA;
    yuv->width = rgb->width = height * 16 / 9;
    yuv->height = rgb->height = height;
    av_frame_get_buffer(yuv, 0);
    av_frame_get_buffer(rgb, 0);
    std::mt19937 rng(709);
    for (int p = 0; p < 3; ++p) {
      const int rows = p ? (height + 1) / 2 : height;
      for (int i = 0; i < yuv->linesize[p] * rows; ++i) yuv->data[p][i] = uint8_t(rng());
    }
  }
  ~Frames() {
    av_frame_free(&yuv);
    av_frame_free(&rgb);
  }
  int64_t Pixels() const { return int64_t(yuv->width) * yuv->height; }
  AVFrame* yuv;
  AVFrame* rgb;
};

std::map<int, double> swscaleSeconds;  // per frame, by height

double Since(std::chrono::steady_clock::time_point start, benchmark::State& state) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / double(state.iterations());
}

void BM_YuvToRgb32Swscale(benchmark::State& state) {
  const int height = int(state.range(0));
  Frames f(height);
  SwsContext* sws = sws_getContext(f.yuv->width, height, AV_PIX_FMT_YUV420P, f.rgb->width, height, AV_PIX_FMT_BGRA,
                                   SWS_BILINEAR, nullptr, nullptr, nullptr);
  sws_setColorspaceDetails(sws, sws_getCoefficients(SWS_CS_ITU709), 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                           1 << 16, 1 << 16);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    sws_scale(sws, f.yuv->data, f.yuv->linesize, 0, height, f.rgb->data, f.rgb->linesize);
    benchmark::ClobberMemory();
  }
  sws_freeContext(sws);
  swscaleSeconds[height] = Since(start, state);
  state.SetItemsProcessed(int64_t(state.iterations()) * f.Pixels());
}

void BM_YuvToRgb32(benchmark::State& state) {
  const YuvToRgb32Kernels* versions[] = {&kYuvToRgb32Scalar, &kYuvToRgb32Sse2, &kYuvToRgb32Avx2};
  const YuvToRgb32Kernels& k = *versions[state.range(0)];
  if (!k.half || (state.range(0) == 2 && !ProcessorHasAvx2())) return state.SkipWithError("not on this processor");
  const int height = int(state.range(1));
  Frames f(height);
  const YuvPicture picture = {YuvLayout::k420, f.yuv->width, height, {f.yuv->data[0], f.yuv->data[1], f.yuv->data[2]},
                              {f.yuv->linesize[0], f.yuv->linesize[1], f.yuv->linesize[2]}};
  const YuvCoefficients c = YuvCoefficientsFor(1, false);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    ConvertYuvToRgb32(k, picture, c, f.rgb->data[0], f.rgb->linesize[0]);
    benchmark::ClobberMemory();
  }
  const double seconds = Since(start, state);
  if (swscaleSeconds.count(height)) state.counters["vs_libswscale"] = swscaleSeconds[height] / seconds;
  state.SetLabel(k.name);
  state.SetItemsProcessed(int64_t(state.iterations()) * f.Pixels());
}

}  // namespace

BENCHMARK(BM_YuvToRgb32Swscale)->Arg(1080)->Arg(2160)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_YuvToRgb32)->ArgsProduct({{0, 1, 2}, {1080, 2160}})->ArgNames({"version", "height"})
    ->Unit(benchmark::kMillisecond);
