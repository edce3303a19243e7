// A synthetic game frame through the drawing interface, without a window: background,
// the half-dark playfield box, 150 sprites of 16 to 48 pixels, 40 characters of 8 x 8 text
// and the flip; on the 320 x 240 16-bit screen, and in the 640 x 480 mode with the
// off-screen image stretched each frame. Beside each, a memcpy of the bytes the frame writes.
// Then the presentation: the screen conversion, and whole presents into a window.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/d3d9/graphics.h"
#include "engine/draw/draw.h"
#include "platform/window/screen_convert.h"
#include "platform/window/window.h"

namespace {

struct Sprite {
  int x, y, srcX, srcY, size, turn;
};

struct Scene {
  int background = -1, sheet = -1, font = -1, offscreen = -1;
  std::vector<Sprite> sprites;
  std::vector<int> text;  // character codes
  size_t bytesWritten = 0;  // destination bytes one frame writes, flip included
};

void SetPixel(int graph, int x, int y, uint32_t v) {
  MEMIMG* img = &GetGraphRecord(graph)->SoftImage;
  std::memcpy(img->TopLeft + size_t(y) * img->Base->Pitch + size_t(x) * 2, &v, 2);
}

// A sheet of round sprites 16, 24, 32, 40 and 48 pixels across (one row each size,
// four frames), keyed on pure green around the circle.
int MakeSheet() {
  const int g = MakeGraphFromCurrentParams(4 * 48, 5 * 48);
  const uint32_t green = GetColor(0, 255, 0);
  for (int row = 0; row < 5; ++row) {
    const int size = 16 + row * 8;
    for (int frame = 0; frame < 4; ++frame)
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
          const int dx = 2 * x + 1 - size, dy = 2 * y + 1 - size;
          const bool in = dx * dx + dy * dy <= size * size;
          SetPixel(g, frame * 48 + x, row * 48 + y, in ? GetColor(40 + x * 4, 60 * frame, 200 - y * 3) : green);
        }
  }
  MakeMemImgTransCode(&GetGraphRecord(g)->SoftImage);
  return g;
}

int MakeFont() {
  const int g = MakeGraphFromCurrentParams(128, 64);
  std::mt19937 rng(7);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x) SetPixel(g, x, y, rng() % 3 ? GetColor(0, 255, 0) : GetColor(255, 255, 255));
  MakeMemImgTransCode(&GetGraphRecord(g)->SoftImage);
  return g;
}

Scene MakeScene(bool large) {
  Scene s;
  s.background = MakeGraphFromCurrentParams(320, 240);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) SetPixel(s.background, x, y, GetColor(x * 255 / 320, y, 128));
  s.sheet = MakeSheet();
  s.font = MakeFont();
  std::mt19937 rng(12345);
  size_t spriteBytes = 0;
  for (int i = 0; i < 150; ++i) {
    const int row = int(rng() % 5), size = 16 + row * 8;
    s.sprites.push_back({int(rng() % (228 - size)), int(rng() % (224 - size)), int(rng() % 4) * 48, row * 48, size,
                         int(rng() % 2)});
    spriteBytes += size_t(size) * size * 2;
  }
  for (int i = 0; i < 40; ++i) s.text.push_back(int(rng() % 128));
  s.bytesWritten = 320 * 240 * 2 * 2 + 216 * 216 * 2 + spriteBytes + 40 * 64 * 2 + 320 * 240 * 2;
  if (large) {
    s.offscreen = MakeGraphFromCurrentParams(320, 240);
    s.bytesWritten += 640 * 480 * 2 * 2 - 320 * 240 * 2;  // the stretch, and the larger flip
    SetDrawTarget(s.offscreen);
  }
  SetDrawArea(0, 0, 320, 240);
  return s;
}

void DrawFrame(const Scene& s) {
  ClearScreen(0);
  DrawGraph(0, 0, s.background, 1);
  SetDrawBlendMode(BlendMode::Alpha, 128);
  DrawBox(12, 8, 228, 224, GetColor(0, 0, 0), 1);
  SetDrawBlendMode(BlendMode::None, 0);
  for (const Sprite& p : s.sprites)
    DrawRectPartGraph(p.x, p.y, p.srcX, p.srcY, p.size, p.size, s.sheet, 1, p.turn);
  for (size_t i = 0; i < s.text.size(); ++i) {
    const int c = s.text[i];
    DrawRectPartGraph(244 + int(i % 9) * 8, 48 + int(i / 9) * 10, (c % 16) * 8, (c / 16) * 8, 8, 8, s.font, 1, 0);
  }
  if (s.offscreen >= 0) {
    SetDrawTarget(DrawTarget::BackBuffer);
    DrawStretchGraph(0, 0, 640, 480, s.offscreen, 0);
    SetDrawTarget(s.offscreen);
  }
  FlipScreen();
}

// The graphics layer alone: no window is made, the flip only hands the frame over.
struct Graphics {
  explicit Graphics(bool large) {
    SetLogOutputFlag(0);
    SetScreenMode(large ? 640 : 320, large ? 480 : 240, 16);
    InitGraphicsSystem();
    SetTransparentColor(0, 255, 0);
  }
  ~Graphics() { TerminateGraphicsSystem(); }
};

void BM_GameFrame(benchmark::State& state) {
  const bool large = state.range(0) == 1;
  Graphics graphics(large);
  const Scene scene = MakeScene(large);
  for (auto _ : state) DrawFrame(scene);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(scene.bytesWritten));
  state.counters["bytes_per_frame"] = double(scene.bytesWritten);
}
BENCHMARK(BM_GameFrame)->Arg(0)->Arg(1)->ArgName("large")->Unit(benchmark::kMicrosecond);

// The bound: the same number of bytes copied once with memcpy.
void BM_GameFrameMemcpyBound(benchmark::State& state) {
  const bool large = state.range(0) == 1;
  size_t bytes;
  {
    Graphics graphics(large);
    bytes = MakeScene(large).bytesWritten;
  }
  std::vector<uint8_t> from(bytes, 1), to(bytes, 0);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_GameFrameMemcpyBound)->Arg(0)->Arg(1)->ArgName("large")->Unit(benchmark::kMicrosecond);

}  // namespace

// ---------------------------------------------------------------- presentation

namespace {

std::vector<uint16_t> PresentFrame(int width, int height) {
  std::vector<uint16_t> frame(size_t(width) * height);
  std::mt19937 rng(99);
  for (uint16_t& p : frame) p = uint16_t(rng());
  return frame;
}

// The conversion alone, 320 x 240 RGB565 into XRGB8888 rows, one to one (0) or doubled (1),
// by each version; the bytes are those written.
void BM_ScreenConvert(benchmark::State& state) {
  const ScreenConvertKernels* versions[] = {&kScreenConvertScalar, &kScreenConvertSse2, &kScreenConvertAvx2};
  const ScreenConvertKernels& k = *versions[state.range(0)];
  if (!k.rgb565 || (state.range(0) == 2 && !__builtin_cpu_supports("avx2"))) {
    state.SkipWithError("not on this processor");
    return;
  }
  const int scale = int(state.range(1)) + 1;
  const std::vector<uint16_t> src = PresentFrame(320, 240);
  std::vector<uint32_t> dst(size_t(320) * 240 * scale * scale);
  for (auto _ : state) {
    ConvertScreen(k, src.data(), 640, 16, 320, 240, dst.data(), 320 * 4 * scale, scale);
    benchmark::ClobberMemory();
  }
  state.SetLabel(k.name);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(dst.size() * 4));
}
BENCHMARK(BM_ScreenConvert)->ArgsProduct({{0, 1, 2}, {0, 1}})->ArgNames({"version", "doubled"})
    ->Unit(benchmark::kMicrosecond);

// The bound: memcpy of the bytes the conversion writes.
void BM_ScreenConvertMemcpyBound(benchmark::State& state) {
  const size_t bytes = size_t(320) * 240 * 4 * (state.range(0) ? 4 : 1);
  std::vector<uint8_t> from(bytes, 1), to(bytes, 0);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_ScreenConvertMemcpyBound)->Arg(0)->Arg(1)->ArgName("doubled")->Unit(benchmark::kMicrosecond);

// A whole present of the 320 x 240 screen into a window of 320 x 240 (0), the doubled
// window of 640 x 480 (1), and of the 640 x 480 mode's screen (2), through whichever video
// driver the environment gives (run under xvfb-run for X11; SDL's dummy driver otherwise).
void BM_Present(benchmark::State& state) {
  const int mode = int(state.range(0));
  const int width = mode == 2 ? 640 : 320, height = mode == 2 ? 480 : 240;
  const int client = mode == 0 ? 1 : 2;
  if (PlatformWindow_Init() != 0 || PlatformWindow_Create("bench", 320 * client, 240 * client, 0) < 0) {
    state.SkipWithError(PlatformWindow_LastError());
    return;
  }
  const std::vector<uint16_t> frame = PresentFrame(width, height);
  for (int i = 0; i < 10; ++i) PlatformWindow_Present(frame.data(), width, height, width * 2, 16);
  for (auto _ : state) PlatformWindow_Present(frame.data(), width, height, width * 2, 16);
  state.SetBytesProcessed(int64_t(state.iterations()) * 320 * client * 240 * client * 4);
  PlatformWindow_Quit();
}
BENCHMARK(BM_Present)->Arg(0)->Arg(1)->Arg(2)->ArgName("window")->Unit(benchmark::kMicrosecond);

}  // namespace
