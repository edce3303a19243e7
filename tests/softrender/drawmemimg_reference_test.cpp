// DrawMemImg against the plain model on random images, over every source kind, mode, parameter
// class and per-call flag; and the run-length path against the general one.
#include <random>
#include <sstream>
#include <string>

#include "softrender/drawmemimg_fixture.h"

namespace {

enum Kind { k32, k32Alpha, k32Palette, k16, k16Alpha, k16Palette };
const char* const kKindNames[] = {"32", "32 alpha", "32 palette", "16", "16 alpha", "16 palette"};

std::unique_ptr<TestImg> RandomSource(Kind kind, int w, int h, std::mt19937& rng) {
  const bool is32 = kind <= k32Palette;
  const bool pal = kind == k32Palette || kind == k16Palette;
  const bool alpha = kind == k32Alpha || kind == k16Alpha;
  auto img = std::make_unique<TestImg>(w, h, is32 ? 1 : 0, pal, alpha);
  const uint32_t mask = is32 ? 0xFFFFFFFFu : 0xFFFFu;
  const uint32_t key = pal ? rng() % 8 : rng() & mask;
  img->base()->TransColor = key;
  if (pal)
    for (int i = 0; i < 256; ++i) img->setPalette(i, rng() & mask);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t r = rng();
      uint32_t v;
      if (pal) {
        v = r % 8;
      } else if (alpha) {
        const uint32_t a = r % 3 == 0 ? 0 : r % 3 == 1 ? 255 : (r >> 8) & 255;
        v = is32 ? (rng() & 0xFFFFFF) | a << 24 : (rng() & 0xFF00FFFF) | a << 16;
      } else {
        v = r % 4 == 0 ? key : r % 4 == 1 ? key ^ (is32 ? 0x01000000u : 0x0020u) : rng() & mask;
      }
      img->set(x, y, v);
    }
  }
  return img;
}

std::unique_ptr<TestImg> RandomDest(bool is32, int w, int h, std::mt19937& rng) {
  auto img = std::make_unique<TestImg>(w, h, is32 ? 1 : 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img->set(x, y, rng());
  return img;
}

struct Config {
  Kind kind;
  int mode, p, trans;
  bool blend, bright, mmx;
  std::string str() const {
    std::ostringstream o;
    o << kKindNames[kind] << " mode " << mode << " p " << p << " trans " << trans << " blend " << blend << " bright "
      << bright << " mmx " << mmx;
    return o.str();
  }
};

// Draws with the engine and with the model from the same start; true when every byte agrees.
bool MatchesModel(const Config& c, const TestImg& src, const TestImg& dst, int x, int y, const TestImg* blend,
                  bool runs) {
  TestImg got(dst), want(dst);
  DrawMemImg(&got.m, &src.m, x, y, c.trans, blend ? &blend->m : nullptr);
  ref::DrawMemImg(&want.m, &src.m, x, y, c.trans, blend ? &blend->m : nullptr, runs);
  return got.sameStore(want);
}

template <class F>
void ForEachConfig(F f) {
  for (int kind = k32; kind <= k16Palette; ++kind)
    for (int mode : {0, 1, 2, 3, 4, 10, 11, 5, 12, -3})
      for (int p : {0, 1, 3, 64, 127, 128, 129, 254, 255})
        for (int flags = 0; flags < 8; ++flags)
          for (int trans : {0, 1, 2})
            f(Config{Kind(kind), mode, p, trans, (flags & 1) != 0, (flags & 2) != 0, (flags & 4) != 0});
}

void Apply(const Config& c, std::mt19937& rng) {
  SetMode(c.mode, c.p);
  ProcessorHasMMX = c.mmx;
  // The top byte never turns brightness on.
  DrawBrightness = c.bright ? rng() : 0xFFFFFF | (rng() & 0xFF000000u);
  if (c.blend) SetBlendGraphAlphaTable(int(rng() % 256), int(rng() % 256));
}

}  // namespace

class DrawMemImgModel : public ::testing::Test {
 protected:
  void SetUp() override { ResetDrawState(); }
  void TearDown() override { ResetDrawState(); }
};

TEST_F(DrawMemImgModel, GeneralPathMatchesModelWithClipping) {
  std::mt19937 rng(1234);
  int failures = 0;
  ForEachConfig([&](const Config& c) {
    if (failures > 5) return;
    Apply(c, rng);
    const bool is32 = c.kind <= k32Palette;
    auto src = RandomSource(c.kind, 7, 5, rng);
    auto dst = RandomDest(is32, 12, 9, rng);
    auto blend = std::make_unique<TestImg>(8, 6, MEMIMG_COLOR_8A);  // larger than the source is fine
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x) blend->set(x, y, rng() & 255);
    // Positions off every edge; the area sometimes reaches past the destination.
    const int x = int(rng() % 14) - 4, y = int(rng() % 12) - 4;
    DrawArea = rng() % 2 ? RECT{1, 2, 11, 8} : RECT{-5, -5, 40, 40};
    if (!MatchesModel(c, *src, *dst, x, y, c.blend ? blend.get() : nullptr, false)) {
      ADD_FAILURE() << c.str() << " at " << x << "," << y;
      ++failures;
    }
  });
}

TEST_F(DrawMemImgModel, RunPathMatchesModelAndGeneralPath) {
  std::mt19937 rng(99);
  int failures = 0;
  ForEachConfig([&](const Config& c) {
    if (failures > 5 || c.trans != 1) return;
    Apply(c, rng);
    const bool is32 = c.kind <= k32Palette;
    // Wide enough for runs longer than 64 pixels.
    const int w = rng() % 2 ? 70 : 9, h = 3;
    auto src = RandomSource(c.kind, w, h, rng);
    if (w == 70)  // long runs: a clear span, then an opaque one
      for (int x = 0; x < w; ++x) src->set(x, 1, x < 66 ? src->get(0, 0) : src->get(x, 1));
    ASSERT_EQ(MakeMemImgTransCode(&src->m), 0);
    auto dst = RandomDest(is32, w + 4, h + 2, rng);
    auto blend = std::make_unique<TestImg>(w, h, MEMIMG_COLOR_8A);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) blend->set(x, y, rng() & 255);
    const TestImg* b = c.blend ? blend.get() : nullptr;
    if (!MatchesModel(c, *src, *dst, 2, 1, b, true)) {
      ADD_FAILURE() << "runs: " << c.str() << " width " << w;
      ++failures;
    }

    // Both paths write the same pixels except for the parameter shortcuts and the 16-bit
    // mode-1 table, which the run path does not take.
    const bool simple = !c.blend && !c.bright && c.kind != k32Alpha && c.kind != k16Alpha;
    const int mode = c.mode == 1 && c.p == 255 ? 0 : c.mode;
    const bool differs = simple && ((mode == 1 && (c.p == 128 || !is32)) || ((mode == 2 || mode == 3) && c.p == 255));
    if (!differs) {
      TestImg viaRuns(*dst), general(*dst);
      DrawMemImg(&viaRuns.m, &src->m, 2, 1, 1, b ? &b->m : nullptr);
      DrawMemImg(&general.m, &src->m, 2, 1, 2, b ? &b->m : nullptr);
      if (!viaRuns.sameStore(general)) {
        ADD_FAILURE() << "runs vs general: " << c.str();
        ++failures;
      }
    }
  });
}
