// Speed of the stretched draw (the 640 x 480 mode's per-frame stretch of the 320 x 240 frame)
// and of a rotated 64 x 64 quad, each beside pixman's nearest-filter transform of the same job.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/softrender/quad.h"
#include "engine/softrender/stretch.h"

namespace {

// A source and a destination image of one colour type with random-looking pixels.
struct StretchJob {
  MEMIMG src{}, dst{};
  StretchJob(int colorType, int sw, int sh, int dw, int dh) {
    InitBlendTables();
    MakeMemImg(&src, sw, sh, colorType, 0, 0);
    MakeMemImg(&dst, dw, dh, colorType, 0, 0);
    uint32_t seed = 12345;
    for (int i = 0; i < src.Base->Pitch * sh; ++i) {
      seed = seed * 1103515245u + 12345u;
      src.Base->Pixels[i] = static_cast<uint8_t>(seed >> 16);
    }
    DrawArea = RECT{0, 0, dw, dh};
    DrawBlendMode = 0;
    DrawBlendParam = 255;
    DrawBrightness = 0xFFFFFF;
  }
  ~StretchJob() {
    TerminateMemImg(&src);
    TerminateMemImg(&dst);
  }
  pixman_image_t* Wrap(MEMIMG& img, pixman_format_code_t format) {
    return pixman_image_create_bits(format, img.Width, img.Height, reinterpret_cast<uint32_t*>(img.TopLeft),
                                    img.Base->Pitch);
  }
};

void StretchFrame(benchmark::State& state, int colorType) {
  StretchJob job(colorType, 320, 240, 640, 480);
  const int rect[4] = {0, 0, 640, 480};
  for (auto _ : state) {
    DrawStretchMemImg(&job.dst, &job.src, rect, 0, nullptr);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 640 * 480);
}
void BM_StretchFrame16(benchmark::State& state) { StretchFrame(state, MEMIMG_COLOR_16); }
void BM_StretchFrame32(benchmark::State& state) { StretchFrame(state, MEMIMG_COLOR_32); }
BENCHMARK(BM_StretchFrame16);
BENCHMARK(BM_StretchFrame32);

// The bound of the stretch: its destination bytes written once by memset.
void BM_StretchFrameMemsetBound(benchmark::State& state) {
  std::vector<uint8_t> dst(size_t(640) * 480 * size_t(state.range(0)) / 8);
  int v = 0;
  for (auto _ : state) {
    std::memset(dst.data(), ++v, dst.size());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 640 * 480);
}
BENCHMARK(BM_StretchFrameMemsetBound)->Arg(16)->Arg(32)->ArgName("bits");

// The 320 x 240 frame drawn mirrored left to right at its own size.
void MirroredFrame(benchmark::State& state, int colorType) {
  StretchJob job(colorType, 320, 240, 320, 240);
  const int rect[4] = {320, 0, 0, 240};
  for (auto _ : state) {
    DrawStretchMemImg(&job.dst, &job.src, rect, 0, nullptr);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 320 * 240);
}
void BM_MirroredFrame16(benchmark::State& state) { MirroredFrame(state, MEMIMG_COLOR_16); }
void BM_MirroredFrame32(benchmark::State& state) { MirroredFrame(state, MEMIMG_COLOR_32); }
BENCHMARK(BM_MirroredFrame16);
BENCHMARK(BM_MirroredFrame32);

void PixmanStretchFrame(benchmark::State& state, int colorType, pixman_format_code_t format) {
  StretchJob job(colorType, 320, 240, 640, 480);
  pixman_image_t* src = job.Wrap(job.src, format);
  pixman_image_t* dst = job.Wrap(job.dst, format);
  pixman_transform_t t;
  pixman_transform_init_scale(&t, pixman_double_to_fixed(0.5), pixman_double_to_fixed(0.5));
  pixman_image_set_transform(src, &t);
  pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, 640, 480);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(src);
  pixman_image_unref(dst);
  state.SetItemsProcessed(state.iterations() * 640 * 480);
}
void BM_PixmanStretchFrame16(benchmark::State& state) { PixmanStretchFrame(state, MEMIMG_COLOR_16, PIXMAN_r5g6b5); }
void BM_PixmanStretchFrame32(benchmark::State& state) {
  PixmanStretchFrame(state, MEMIMG_COLOR_32, PIXMAN_x8r8g8b8);
}
BENCHMARK(BM_PixmanStretchFrame16);
BENCHMARK(BM_PixmanStretchFrame32);

// A 64 x 64 sprite turned by 0.5 radians about (160, 120) on a 320 x 240 screen.
constexpr double kAngle = 0.5;

void RotatedQuad(benchmark::State& state, int colorType) {
  StretchJob job(colorType, 64, 64, 320, 240);
  const double c = std::cos(kAngle), s = std::sin(kAngle);
  int corners[8];
  const double local[4][2] = {{-32, -32}, {32, -32}, {-32, 32}, {32, 32}};
  for (int i = 0; i < 4; ++i) {
    corners[i * 2] = static_cast<int>(std::lround(160 + local[i][0] * c - local[i][1] * s));
    corners[i * 2 + 1] = static_cast<int>(std::lround(120 + local[i][0] * s + local[i][1] * c));
  }
  for (auto _ : state) {
    DrawQuadMemImg(&job.dst, &job.src, corners, 0, nullptr);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 64 * 64);
}
void BM_RotatedQuad16(benchmark::State& state) { RotatedQuad(state, MEMIMG_COLOR_16); }
void BM_RotatedQuad32(benchmark::State& state) { RotatedQuad(state, MEMIMG_COLOR_32); }
BENCHMARK(BM_RotatedQuad16);
BENCHMARK(BM_RotatedQuad32);

// pixman over the sprite's bounding box: destination to source is a rotation by -angle.
void PixmanRotated(benchmark::State& state, int colorType, pixman_format_code_t format) {
  StretchJob job(colorType, 64, 64, 320, 240);
  pixman_image_t* src = job.Wrap(job.src, format);
  pixman_image_t* dst = job.Wrap(job.dst, format);
  const int half = static_cast<int>(std::ceil(32 * (std::fabs(std::cos(kAngle)) + std::fabs(std::sin(kAngle)))));
  pixman_transform_t t;
  pixman_transform_init_identity(&t);
  pixman_transform_translate(&t, nullptr, pixman_int_to_fixed(-half), pixman_int_to_fixed(-half));
  pixman_transform_rotate(&t, nullptr, pixman_double_to_fixed(std::cos(-kAngle)),
                          pixman_double_to_fixed(std::sin(-kAngle)));
  pixman_transform_translate(&t, nullptr, pixman_int_to_fixed(32), pixman_int_to_fixed(32));
  pixman_image_set_transform(src, &t);
  pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
  for (auto _ : state) {
    // OVER with an opaque source copies inside the sprite and keeps the box's corners.
    pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0, 160 - half, 120 - half, 2 * half,
                             2 * half);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(src);
  pixman_image_unref(dst);
  state.SetItemsProcessed(state.iterations() * 64 * 64);
}
void BM_PixmanRotated16(benchmark::State& state) { PixmanRotated(state, MEMIMG_COLOR_16, PIXMAN_r5g6b5); }
void BM_PixmanRotated32(benchmark::State& state) { PixmanRotated(state, MEMIMG_COLOR_32, PIXMAN_x8r8g8b8); }
BENCHMARK(BM_PixmanRotated16);
BENCHMARK(BM_PixmanRotated32);

}  // namespace
