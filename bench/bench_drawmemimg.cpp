// DrawMemImg throughput in the modes the game uses, beside memcpy of the same bytes (the bound)
// and pixman's operators on the same rectangle. Items are the destination pixels really drawn:
// the full image at (0, 0), the sprite wholly inside the screen.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstring>
#include <vector>

#include "engine/draw/memimg.h"
#include "engine/softrender/drawmemimg.h"

namespace {

constexpr int kScreenW = 320, kScreenH = 240, kSprite = 32;

// Size 0: one full 320 x 240 image; size 1: a 32 x 32 sprite with a transparent rim and its
// run-length code, drawn with transparency.
struct Scene {
  MEMIMG dst{}, src{};
  int w, h;
  Scene(int bits, int size) {
    const int type = bits == 32 ? MEMIMG_COLOR_32 : MEMIMG_COLOR_16;
    w = size == 0 ? kScreenW : kSprite;
    h = size == 0 ? kScreenH : kSprite;
    MakeMemImg(&dst, kScreenW, kScreenH, type, 0, 0);
    MakeMemImg(&src, w, h, type, 0, 0);
    const int bpp = bits / 8;
    src.Base->TransColor = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int dx = 2 * x - w + 1, dy = 2 * y - h + 1;
        uint32_t v = 0x00406080u + uint32_t(x * 3 + y * 5) * 0x010101u;
        if (bits == 16) v = 0x4208u + uint32_t(x + 32 * y) % 0xFFF0u;
        if (size == 1 && dx * dx + dy * dy > w * h) v = 0;
        std::memcpy(src.TopLeft + y * src.Base->Pitch + x * bpp, &v, bpp);
      }
    if (size == 1) MakeMemImgTransCode(&src);
    InitBlendTables();
    DrawArea = {0, 0, kScreenW, kScreenH};
    DrawBrightness = 0xFFFFFF;
  }
  ~Scene() {
    TerminateMemImg(&src);
    TerminateMemImg(&dst);
  }
};

// Where a size is drawn: the full image covers the screen, the sprite lies inside it.
struct Pos {
  int x, y;
};
Pos At(int size) { return size == 0 ? Pos{0, 0} : Pos{17, 13}; }

// Arguments: mode, parameter, bits, size.
void BM_DrawMemImg(benchmark::State& state) {
  Scene s(int(state.range(2)), int(state.range(3)));
  DrawBlendMode = int(state.range(0));
  DrawBlendParam = int(state.range(1));
  const int trans = state.range(3) == 1 ? 1 : 0;
  const Pos at = At(int(state.range(3)));
  for (auto _ : state) {
    DrawMemImg(&s.dst, &s.src, at.x, at.y, trans, nullptr);
    benchmark::ClobberMemory();
  }
  DrawBlendMode = 0;
  state.SetItemsProcessed(state.iterations() * s.w * s.h);
}

void DrawArgs(benchmark::internal::Benchmark* b) {
  for (int size : {0, 1})
    for (int bits : {16, 32})
      for (auto mp : {std::pair<int, int>{0, 255}, {1, 100}, {1, 128}, {1, 200}, {2, 200}, {2, 255}, {3, 200},
                      {3, 255}, {10, 128}})
        b->Args({mp.first, mp.second, bits, size});
  b->ArgNames({"mode", "p", "bits", "size"});
}
BENCHMARK(BM_DrawMemImg)->Apply(DrawArgs);

// Sprites of a sheet, drawn as the game draws them: 64 views of 32 x 32 cut from a 256 x 256
// sheet of round sprites with a transparent rim, each drawn with transparency at a place that
// keeps it on the screen. Arguments: mode, parameter, bits, brightness (0 off, else on).
// Items are the views' pixels.
void BM_DrawSheetViews(benchmark::State& state) {
  const int bits = int(state.range(2)), bpp = bits / 8;
  const int type = bits == 32 ? MEMIMG_COLOR_32 : MEMIMG_COLOR_16;
  MEMIMG dst{}, sheet{};
  MakeMemImg(&dst, kScreenW, kScreenH, type, 0, 0);
  MakeMemImg(&sheet, 256, 256, type, 0, 0);
  sheet.Base->TransColor = 0;
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      const int dx = 2 * (x % kSprite) - kSprite + 1, dy = 2 * (y % kSprite) - kSprite + 1;
      uint32_t v = bits == 32 ? 0x00406080u + uint32_t(x * 3 + y * 5) * 0x010101u : 0x4208u + uint32_t(x + 32 * y) % 0xFFF0u;
      if (dx * dx + dy * dy > kSprite * kSprite) v = 0;
      std::memcpy(sheet.TopLeft + y * sheet.Base->Pitch + x * bpp, &v, bpp);
    }
  MakeMemImgTransCode(&sheet);
  std::vector<MEMIMG> views(64);
  for (int i = 0; i < 64; ++i) DeriveMemImg(&views[i], &sheet, (i % 8) * kSprite, (i / 8) * kSprite, kSprite, kSprite);
  InitBlendTables();
  DrawArea = {0, 0, kScreenW, kScreenH};
  DrawBrightness = state.range(3) ? 0xC0A080 : 0xFFFFFF;
  DrawBlendMode = int(state.range(0));
  DrawBlendParam = int(state.range(1));
  for (auto _ : state) {
    for (int i = 0; i < 64; ++i) DrawMemImg(&dst, &views[i], (i * 37) % (kScreenW - kSprite), (i * 23) % (kScreenH - kSprite), 1, nullptr);
    benchmark::ClobberMemory();
  }
  DrawBlendMode = 0;
  DrawBrightness = 0xFFFFFF;
  state.SetItemsProcessed(state.iterations() * 64 * kSprite * kSprite);
  for (MEMIMG& v : views) TerminateMemImg(&v);
  TerminateMemImg(&sheet);
  TerminateMemImg(&dst);
}
BENCHMARK(BM_DrawSheetViews)
    ->ArgsProduct({{0, 1}, {100}, {16, 32}, {0, 1}})
    ->ArgNames({"mode", "p", "bits", "bright"});

// Arguments: bits, size. The bytes the plain draw writes, copied into a 320 x 240 store: the
// full image as one block, the sprite row by row.
void BM_MemcpySameBytes(benchmark::State& state) {
  const int bpp = int(state.range(0)) / 8;
  const bool full = state.range(1) == 0;
  const int w = full ? kScreenW : kSprite, h = full ? kScreenH : kSprite;
  const size_t pitch = size_t(kScreenW) * bpp, row = size_t(w) * bpp;
  const Pos pos = At(int(state.range(1)));
  const size_t at = size_t(pos.y) * pitch + size_t(pos.x) * bpp;
  std::vector<uint8_t> src(row * h, 1), dst(pitch * kScreenH);
  for (auto _ : state) {
    if (full) std::memcpy(dst.data(), src.data(), row * h);
    else
      for (int y = 0; y < h; ++y) std::memcpy(dst.data() + at + y * pitch, src.data() + y * row, row);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_MemcpySameBytes)->ArgsProduct({{16, 32}, {0, 1}})->ArgNames({"bits", "size"});

// Arguments: operator (0 SRC, 1 OVER with a half constant mask, 2 ADD), bits, size.
void BM_Pixman(benchmark::State& state) {
  const int bits = int(state.range(1));
  const pixman_format_code_t fmt = bits == 32 ? PIXMAN_x8r8g8b8 : PIXMAN_r5g6b5;
  const int w = state.range(2) == 0 ? kScreenW : kSprite, h = state.range(2) == 0 ? kScreenH : kSprite;
  const int stride = ((kScreenW * bits / 8) + 3) & ~3;
  std::vector<uint32_t> dstBits(size_t(stride) * kScreenH / 4, 0x00102030u), srcBits(size_t(stride) * h / 4, 0x80406080u);
  pixman_image_t* dst = pixman_image_create_bits(fmt, kScreenW, kScreenH, dstBits.data(), stride);
  pixman_image_t* src = pixman_image_create_bits(fmt, w, h, srcBits.data(), stride);
  const pixman_color_t half = {0, 0, 0, 0x8000};
  pixman_image_t* mask = state.range(0) == 1 ? pixman_image_create_solid_fill(&half) : nullptr;
  const Pos at = At(int(state.range(2)));
  const pixman_op_t op = state.range(0) == 0 ? PIXMAN_OP_SRC : state.range(0) == 1 ? PIXMAN_OP_OVER : PIXMAN_OP_ADD;
  for (auto _ : state) {
    pixman_image_composite32(op, src, mask, dst, 0, 0, 0, 0, at.x, at.y, w, h);
    benchmark::ClobberMemory();
  }
  if (mask) pixman_image_unref(mask);
  pixman_image_unref(src);
  pixman_image_unref(dst);
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_Pixman)->ArgsProduct({{0, 1, 2}, {16, 32}, {0, 1}})->ArgNames({"op", "bits", "size"});

}  // namespace
