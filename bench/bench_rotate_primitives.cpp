// Speed of the rotated draw and the solid-colour primitives on a 320 x 240 16-bit screen.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstring>

#include "engine/softrender/primitives.h"
#include "engine/softrender/rotate.h"

namespace {

constexpr int kScreenW = 320, kScreenH = 240;

// A screen image and the draw state of a frame, restored on exit.
struct Screen {
  MEMIMG img{};
  Screen(int colorType = MEMIMG_COLOR_16) {
    InitBlendTables();
    MakeMemImg(&img, kScreenW, kScreenH, colorType, 0, 0);
    DrawArea = RECT{0, 0, kScreenW, kScreenH};
    DrawBrightness = 0xFFFFFF;
  }
  ~Screen() {
    TerminateMemImg(&img);
    DrawBlendMode = 0;
    DrawBlendParam = 255;
  }
};

// The playfield veil: a half-transparent black box over the whole screen.
void BM_FillBoxAlpha16(benchmark::State& state) {
  Screen screen;
  DrawBlendMode = 1;
  DrawBlendParam = 128;
  for (auto _ : state) {
    FillBoxMemImg(&screen.img, nullptr, 0x0000);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kScreenW * kScreenH * 2);
}
BENCHMARK(BM_FillBoxAlpha16);

// The bound: writing the same bytes.
void BM_FillBoxMemsetBound(benchmark::State& state) {
  Screen screen;
  for (auto _ : state) {
    std::memset(screen.img.TopLeft, 0, static_cast<size_t>(screen.img.Base->Pitch) * kScreenH);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kScreenW * kScreenH * 2);
}
BENCHMARK(BM_FillBoxMemsetBound);

// A general-purpose library on the same job: OVER of a half-transparent black onto RGB565.
void BM_FillBoxPixmanOver16(benchmark::State& state) {
  Screen screen;
  pixman_image_t* dst = pixman_image_create_bits(PIXMAN_r5g6b5, kScreenW, kScreenH,
                                                 reinterpret_cast<uint32_t*>(screen.img.TopLeft),
                                                 screen.img.Base->Pitch);
  const pixman_color_t veil{0, 0, 0, 0x8080};
  pixman_image_t* solid = pixman_image_create_solid_fill(&veil);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, solid, nullptr, dst, 0, 0, 0, 0, 0, 0, kScreenW, kScreenH);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(solid);
  pixman_image_unref(dst);
  state.SetBytesProcessed(state.iterations() * kScreenW * kScreenH * 2);
}
BENCHMARK(BM_FillBoxPixmanOver16);

// A spinning 64 x 64 sprite with a transparent colour, as bosses and missiles draw.
void BM_Rotate64Sprite16(benchmark::State& state) {
  Screen screen;
  MEMIMG sprite{};
  MakeMemImg(&sprite, 64, 64, MEMIMG_COLOR_16, 0, 0);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const uint16_t v = (x - 32) * (x - 32) + (y - 32) * (y - 32) < 900 ? static_cast<uint16_t>(x * 977 + y) : 0;
      std::memcpy(sprite.TopLeft + y * sprite.Base->Pitch + x * 2, &v, 2);
    }
  }
  sprite.Base->TransColor = 0;
  DrawBlendMode = static_cast<int>(state.range(0));
  DrawBlendParam = 160;
  float angle = 0.0f;
  for (auto _ : state) {
    DrawRotatedMemImg(&screen.img, &sprite, 160, 120, angle, 1.0f, 1, 0, nullptr);
    angle += 0.05f;
    benchmark::ClobberMemory();
  }
  TerminateMemImg(&sprite);
  state.SetItemsProcessed(state.iterations() * 64 * 64);
}
BENCHMARK(BM_Rotate64Sprite16)->Arg(0)->Arg(1)->Arg(2);

// A disc of radius 32: plain, and additive as the shield draws it.
void BM_Disc32(benchmark::State& state) {
  Screen screen;
  DrawBlendMode = static_cast<int>(state.range(0));
  DrawBlendParam = 96;
  for (auto _ : state) {
    DrawCircleMemImg(&screen.img, 160, 120, 32, 0x39E7, 1);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(3.14159 * 32 * 32));
}
BENCHMARK(BM_Disc32)->Arg(0)->Arg(2);

}  // namespace
