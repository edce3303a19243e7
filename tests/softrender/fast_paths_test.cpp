// The fast paths against the general walks, and the row kernels of every instruction set this
// processor runs against the generic ones: random pixels over many sizes, clips, parameters
// and alignments.
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/softrender/blend_rows.h"
#include "engine/softrender/solid.h"
#include "engine/softrender/stretch.h"
#include "softrender/drawmemimg_fixture.h"

namespace {

const char* Name(rows::Isa isa) {
  return isa == rows::Isa::Generic ? "generic" : isa == rows::Isa::Sse2 ? "SSE2" : "AVX2";
}

// The sets this processor runs, generic first.
std::vector<rows::Isa> Sets() {
  std::vector<rows::Isa> sets;
  for (rows::Isa isa : {rows::Isa::Generic, rows::Isa::Sse2, rows::Isa::Avx2})
    if (rows::Use(isa)) sets.push_back(isa);
  rows::Use(rows::Best());
  return sets;
}

class FastPaths : public ::testing::Test {
 protected:
  void SetUp() override { ResetDrawState(); }
  void TearDown() override {
    rows::Use(rows::Best());
    rows::UseSpecialWalks(true);
    ResetDrawState();
  }
};

// A pixel likely to hit the kernels' edges: the key, white, black, or random.
uint32_t Pick(std::mt19937& rng, uint32_t key, uint32_t mask) {
  switch (rng() % 6) {
    case 0: return key & mask;
    case 1: return mask;
    case 2: return 0;
    default: return rng() & mask;
  }
}

drawmemimg::Context RowContext(uint32_t p, uint32_t key, uint32_t brightness) {
  drawmemimg::Context c{};
  c.brightness = brightness;
  c.bright = pixel::MakeBrightRows(brightness);
  c.p = p;
  c.key = key;
  c.mulP = pixel::MulRow(int(p));
  c.diffP = pixel::DiffRow(int(p));
  c.lerp6 = pixel::Lerp6Level(int(p));
  return c;
}

}  // namespace

TEST_F(FastPaths, BlendRowKernelsOfEverySetMatchGeneric) {
  const std::vector<rows::Isa> sets = Sets();
  std::mt19937 rng(77);
  int failures = 0;
  for (int op = 0; op < rows::kOpCount && failures < 5; ++op) {
    const bool is32 = op < rows::kCopy565;
    const int bytes = is32 ? 4 : 2;
    const uint32_t mask = is32 ? 0xFFFFFFFFu : 0xFFFFu;
    for (int trial = 0; trial < 300 && failures < 5; ++trial) {
      const int n = int(rng() % 72);
      const int srcOff = int(rng() % 8), dstOff = int(rng() % 8);
      const uint32_t p = trial % 5 == 0 ? (trial % 2 ? 255u : 0u) : rng() % 256;
      const int trans = int(rng() % 2);
      // A 16-bit key above 16 bits matches no pixel.
      const uint32_t key = !is32 && rng() % 8 == 0 ? 0x10000u | (rng() & 0xFFFF) : rng() & mask;
      std::vector<uint8_t> src(size_t(n) * bytes + 8), dst(size_t(n) * bytes + 8);
      for (int i = 0; i < n; ++i) ref::Store(&src[srcOff + size_t(i) * bytes], Pick(rng, key, mask), bytes);
      for (auto& b : dst) b = uint8_t(rng());
      // Brightness bytes of 0 and 255 among the random ones.
      uint32_t bright = rng() & 0xFFFFFF;
      if (trial % 7 == 0) bright = (trial % 2 ? 0xFF00FFu : 0x00FF00u) ^ (rng() & 0x00FF00u);
      const drawmemimg::Context c = RowContext(p, key, bright);

      std::vector<uint8_t> want;
      for (rows::Isa isa : sets) {
        rows::Use(isa);
        std::vector<uint8_t> got = dst;
        rows::Active().blend[op][trans](&got[dstOff], &src[srcOff], n, c);
        if (isa == rows::Isa::Generic) {
          want = got;
        } else if (got != want) {
          ADD_FAILURE() << Name(isa) << " op " << op << " trans " << trans << " p " << p << " n " << n << " offsets "
                        << srcOff << "," << dstOff;
          ++failures;
        }
      }
    }
  }
}

// The solid rows at every byte offset within a register pair, odd ones (16-bit pixels off
// their word) included, which no image row reaches.
TEST_F(FastPaths, SolidRowKernelsOfEverySetMatchGeneric) {
  const std::vector<rows::Isa> sets = Sets();
  std::mt19937 rng(12);
  int failures = 0;
  for (int trial = 0; trial < 1200 && failures < 5; ++trial) {
    const bool is32 = trial % 2;
    const int bytes = is32 ? 4 : 2;
    SetMode(rng() % 2 ? 1 : 10, trial % 5 == 0 ? (trial % 3 ? 254 : 255) : 1 + int(rng() % 255));
    DrawBrightness = rng() % 3 ? 0xFFFFFF : rng() & 0xFFFFFF;
    // Black now and then: rows toward black have their own kernel.
    const uint32_t color = rng() % 4 ? rng() : 0;
    softrender::SolidCall call;
    ASSERT_TRUE(softrender::BeginSolidCall(&call, color, is32 ? MEMIMG_COLOR_32 : MEMIMG_COLOR_16));
    const int n = int(rng() % 80), off = int(rng() % 64);
    std::vector<uint8_t> row(size_t(n) * bytes + 64), store(row.size() + 32);
    for (auto& b : row) b = uint8_t(rng());
    // The offset counts from a 32-byte boundary.
    uint8_t* const at = store.data() + (32 - reinterpret_cast<uintptr_t>(store.data()) % 32) % 32;
    std::vector<uint8_t> want;
    for (rows::Isa isa : sets) {
      rows::Use(isa);
      std::memcpy(at, row.data(), row.size());
      rows::Active().solid[is32 ? rows::kSolidLerp32 : rows::kSolidLerp565](at + off, n, call);
      const std::vector<uint8_t> got(at, at + row.size());
      if (isa == rows::Isa::Generic) {
        want = got;
      } else if (got != want) {
        ADD_FAILURE() << Name(isa) << (is32 ? " 32" : " 16") << " mode " << DrawBlendMode << " p " << DrawBlendParam
                      << " colour " << color << " n " << n << " offset " << off;
        ++failures;
      }
    }
  }
}

TEST_F(FastPaths, DoublingRowsOfEverySetMatchGeneric) {
  const std::vector<rows::Isa> sets = Sets();
  std::mt19937 rng(5);
  for (int bytes : {2, 4}) {
    for (int trial = 0; trial < 300; ++trial) {
      const int n = int(rng() % 80);
      const int srcOff = int(rng() % 64), dstOff = int(rng() % 64);
      const bool two = rng() % 2;
      std::vector<uint8_t> src(size_t(n) * bytes + 64), dst(2 * (size_t(n) * 2 * bytes + 64));
      for (auto& b : src) b = uint8_t(rng());
      for (auto& b : dst) b = uint8_t(rng());
      std::vector<uint8_t> want;
      for (rows::Isa isa : sets) {
        rows::Use(isa);
        std::vector<uint8_t> got = dst;
        uint8_t* d2 = two ? &got[got.size() / 2 + dstOff] : nullptr;
        (bytes == 2 ? rows::Active().double16 : rows::Active().double32)(&got[dstOff], d2, &src[srcOff], n);
        if (isa == rows::Isa::Generic) {
          // The generic set writes each source pixel twice into both rows.
          for (int i = 0; i < 2 * n; ++i) {
            ASSERT_EQ(ref::Load(&got[dstOff + size_t(i) * bytes], bytes),
                      ref::Load(&src[srcOff + size_t(i / 2) * bytes], bytes));
            if (two) {
              ASSERT_EQ(ref::Load(&got[got.size() / 2 + dstOff + size_t(i) * bytes], bytes),
                        ref::Load(&src[srcOff + size_t(i / 2) * bytes], bytes));
            }
          }
          want = got;
        } else {
          ASSERT_EQ(got, want) << Name(isa) << " bytes " << bytes << " n " << n << " offsets " << srcOff << ","
                               << dstOff << " two rows " << two;
        }
      }
    }
  }
}

namespace {

// Random direct or paletted source of w x h; keys and alpha values planted.
std::unique_ptr<TestImg> Source(bool is32, int pal, int alpha, int w, int h, std::mt19937& rng) {
  auto img = std::make_unique<TestImg>(w, h, is32 ? 1 : 0, pal, alpha);
  const uint32_t mask = is32 ? 0xFFFFFFFFu : 0xFFFFu;
  const uint32_t key = pal ? rng() % 4 : rng() & mask;
  img->base()->TransColor = key;
  if (pal)
    for (int i = 0; i < 256; ++i) img->setPalette(i, rng() & mask);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t v = pal ? rng() % 6 : Pick(rng, key, mask);
      if (alpha) {
        const uint32_t a = rng() % 3 == 0 ? 0 : rng() % 2 ? 255 : rng() & 255;
        v = is32 ? (v & 0xFFFFFF) | a << 24 : (v & 0xFFFF) | a << 16;
      }
      img->set(x, y, v);
    }
  return img;
}

// A blend image of random bytes.
std::unique_ptr<TestImg> BlendImage(int w, int h, std::mt19937& rng) {
  auto img = std::make_unique<TestImg>(w, h, MEMIMG_COLOR_8A);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img->set(x, y, rng() & 255);
  return img;
}

// Runs along each row of img, of length() pixels, each of one of kinds kinds: 0 clear (the
// key, or alpha 0), 1 drawn as it is (never the key), 2 opaque (alpha 255).
template <class Length>
void PlantRuns(TestImg& img, bool is32, bool alpha, int kinds, std::mt19937& rng, Length length) {
  const uint32_t key = img.base()->TransColor;
  for (int y = 0; y < img.m.Height; ++y) {
    for (int x = 0; x < img.m.Width;) {
      const int n = length();
      const int kind = int(rng() % uint32_t(kinds));
      for (int i = x; i < std::min(img.m.Width, x + n); ++i) {
        const uint32_t v = img.get(i, y);
        if (alpha) {
          const uint32_t a = kind == 0 ? 0 : kind == 2 ? 255 : (v >> (is32 ? 24 : 16)) & 255;
          img.set(i, y, is32 ? (v & 0xFFFFFF) | a << 24 : (v & 0xFFFF) | a << 16);
        } else if (kind == 0) {
          img.set(i, y, key);
        } else if (v == key) {
          img.set(i, y, key ^ 1);
        }
      }
      x += n;
    }
  }
}

std::unique_ptr<TestImg> Dest(bool is32, int w, int h, std::mt19937& rng) {
  auto img = std::make_unique<TestImg>(w, h, is32 ? 1 : 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img->set(x, y, rng());
  return img;
}

}  // namespace

// The plain blends go through the row kernels and the whole-image copy through one block:
// every set, at every position and clip, gives the model's pixels.
TEST_F(FastPaths, DrawMemImgPlainBlendsMatchModelInEverySet) {
  const std::vector<rows::Isa> sets = Sets();
  std::mt19937 rng(2024);
  int failures = 0;
  for (int trial = 0; trial < 1500 && failures < 5; ++trial) {
    const bool is32 = rng() % 2;
    const int modes[] = {0, 1, 1, 2, 3, 10};
    const int ps[] = {1, 4, 64, 100, 127, 128, 129, 200, 254, 255};
    SetMode(modes[rng() % 6], ps[rng() % 10]);
    ProcessorHasMMX = int(rng() % 2);
    const int trans = int(rng() % 2);
    const int w = 1 + int(rng() % 70), h = 1 + int(rng() % 4);
    auto src = Source(is32, 0, 0, w, h, rng);
    // Now and then a destination of the source's size drawn whole, the block-copy case.
    const bool whole = rng() % 4 == 0;
    const int dw = whole ? w : w + int(rng() % 20), dh = whole ? h : h + int(rng() % 3);
    auto dst = Dest(is32, dw, dh, rng);
    const int x = whole ? 0 : int(rng() % (dw + 8)) - 6, y = whole ? 0 : int(rng() % (dh + 2)) - 1;
    DrawArea = whole || rng() % 2 ? RECT{0, 0, dw, dh} : RECT{int(rng() % 5), 0, dw - int(rng() % 5), dh};
    TestImg want(*dst);
    ref::DrawMemImg(&want.m, &src->m, x, y, trans, nullptr, false);
    for (rows::Isa isa : sets) {
      rows::Use(isa);
      for (bool special : {true, false}) {
        rows::UseSpecialWalks(special);
        TestImg got(*dst);
        DrawMemImg(&got.m, &src->m, x, y, trans, nullptr);
        if (!got.sameStore(want)) {
          ADD_FAILURE() << Name(isa) << (is32 ? " 32" : " 16") << " mode " << DrawBlendMode << " p " << DrawBlendParam
                        << " mmx " << ProcessorHasMMX << " trans " << trans << " size " << w << "x" << h << " at "
                        << x << "," << y << " special walks " << special;
          ++failures;
        }
      }
    }
  }
}

namespace {

struct StretchCase {
  bool is32;
  int pal, alpha, trans, mode, p;
  bool blend, bright;
  std::string str() const {
    std::ostringstream o;
    o << (is32 ? "32" : "16") << " pal " << pal << " alpha " << alpha << " trans " << trans << " mode " << mode
      << " p " << p << " blend " << blend << " bright " << bright;
    return o.str();
  }
};

StretchCase RandomCase(std::mt19937& rng, bool plainCopy) {
  StretchCase k{};
  k.is32 = rng() % 2;
  if (plainCopy) {
    k.mode = rng() % 2 ? 0 : 1;
    k.p = k.mode == 1 ? 255 : int(rng() % 256);
    return k;
  }
  const int modes[] = {0, 1, 2, 3, 4, 10, 11};
  k.mode = modes[rng() % 7];
  k.p = rng() % 4 == 0 ? 255 : int(rng() % 256);
  k.pal = rng() % 3 == 0;
  k.alpha = !k.pal && rng() % 2;
  k.trans = int(rng() % 2);
  k.blend = rng() % 3 == 0;
  k.bright = rng() % 3 == 0;
  return k;
}

// Draws src into rect of a copy of dst with the special walks on and off, in every set;
// true when all give the same bytes.
bool SameAsGeneralWalk(const StretchCase& k, const MEMIMG& src, const TestImg& dst, const TestImg* blend,
                       const int rect[4], const std::vector<rows::Isa>& sets) {
  SetMode(k.mode, k.p);
  TestImg want(dst);
  rows::UseSpecialWalks(false);
  rows::Use(rows::Isa::Generic);
  DrawStretchMemImg(&want.m, &src, rect, k.trans, blend ? &blend->m : nullptr);
  rows::UseSpecialWalks(true);
  bool same = true;
  for (rows::Isa isa : sets) {
    rows::Use(isa);
    TestImg got(dst);
    DrawStretchMemImg(&got.m, &src, rect, k.trans, blend ? &blend->m : nullptr);
    if (!got.sameStore(want)) {
      ADD_FAILURE() << Name(isa) << " " << k.str() << " rect " << rect[0] << "," << rect[1] << "," << rect[2] << ","
                    << rect[3] << " area " << DrawArea.left << "," << DrawArea.top << "," << DrawArea.right << ","
                    << DrawArea.bottom;
      same = false;
    }
  }
  return same;
}

}  // namespace

TEST_F(FastPaths, DoubleSizeStretchMatchesGeneralWalk) {
  const std::vector<rows::Isa> sets = Sets();
  std::mt19937 rng(31);
  int failures = 0;
  for (int trial = 0; trial < 400 && failures < 5; ++trial) {
    // Mostly the plain copy that takes the doubling; the rest must not take it.
    const StretchCase k = RandomCase(rng, trial % 4 != 0);
    DrawBrightness = k.bright ? rng() : 0xFFFFFF;
    const int sw = 1 + int(rng() % 45), sh = 1 + int(rng() % 5);
    auto src = Source(k.is32, k.pal, k.alpha, sw, sh, rng);
    const int dw = 2 * sw + 8, dh = 2 * sh + 4;
    auto dst = Dest(k.is32, dw, dh, rng);
    const int x = int(rng() % 9) - 4, y = int(rng() % 5) - 2;
    const int rect[4] = {x, y, x + 2 * sw, y + 2 * sh};
    // Clips at odd and even columns and rows on every side.
    DrawArea = RECT{int(rng() % 4), int(rng() % 3), dw - int(rng() % 6), dh - int(rng() % 3)};
    auto blend = BlendImage(sw, sh, rng);
    if (!SameAsGeneralWalk(k, src->m, *dst, k.blend ? blend.get() : nullptr, rect, sets)) ++failures;
  }
}

TEST_F(FastPaths, MirroredStretchAtScaleOneMatchesGeneralWalk) {
  const std::vector<rows::Isa> sets = Sets();
  std::mt19937 rng(8);
  int failures = 0;
  for (int trial = 0; trial < 600 && failures < 5; ++trial) {
    const StretchCase k = RandomCase(rng, trial % 4 == 0);
    DrawBrightness = k.bright ? rng() : 0xFFFFFF;
    if (k.blend) SetBlendGraphAlphaTable(int(rng() % 256), int(rng() % 256));
    const int sw = 1 + int(rng() % 30), sh = 1 + int(rng() % 5);
    auto src = Source(k.is32, k.pal, k.alpha, sw, sh, rng);
    auto blend = BlendImage(sw, sh, rng);
    const int dw = sw + 6, dh = sh + 4;
    auto dst = Dest(k.is32, dw, dh, rng);
    const int x = int(rng() % 7) - 3, y = int(rng() % 5) - 2;
    int rect[4] = {x, y, x + sw, y + sh};
    const int flip = 1 + int(rng() % 3);  // left-right, top-bottom or both
    if (flip & 1) std::swap(rect[0], rect[2]);
    if (flip & 2) std::swap(rect[1], rect[3]);
    DrawArea = RECT{int(rng() % 3), int(rng() % 2), dw - int(rng() % 4), dh - int(rng() % 2)};
    if (!SameAsGeneralWalk(k, src->m, *dst, k.blend ? blend.get() : nullptr, rect, sets)) ++failures;
  }
}

// Keyed and plain copies mirrored left to right go through the reversing row kernels: views
// at every column of a wider sheet (so every source alignment), every destination column,
// clips on all sides, 16-bit keys above 16 bits, and the other flags that must not take them.
TEST_F(FastPaths, MirroredCopiesMatchGeneralWalk) {
  const std::vector<rows::Isa> sets = Sets();
  std::mt19937 rng(2024);
  int failures = 0;
  for (int trial = 0; trial < 800 && failures < 5; ++trial) {
    StretchCase k = RandomCase(rng, true);
    if (trial % 5 == 0) k = RandomCase(rng, false);
    else k.trans = int(rng() % 4 != 0);
    DrawBrightness = k.bright ? rng() : 0xFFFFFF;
    if (k.blend) SetBlendGraphAlphaTable(int(rng() % 256), int(rng() % 256));
    const int vw = 1 + int(rng() % 80), vh = 1 + int(rng() % 4), vx = int(rng() % 16);
    auto sheet = Source(k.is32, k.pal, k.alpha, vx + vw + int(rng() % 3), vh, rng);
    if (!k.is32 && !k.pal && rng() % 8 == 0) sheet->base()->TransColor |= 0x10000;
    MEMIMG view{};
    ASSERT_EQ(DeriveMemImg(&view, &sheet->m, vx, 0, vw, vh), 0);
    auto blend = BlendImage(vw, vh, rng);
    const int dw = vw + 20, dh = vh + 4;
    auto dst = Dest(k.is32, dw, dh, rng);
    const int x = int(rng() % 25) - 4, y = int(rng() % 5) - 2;
    int rect[4] = {x + vw, y, x, y + vh};
    if (rng() % 4 == 0) std::swap(rect[1], rect[3]);
    DrawArea = rng() % 2 ? RECT{0, 0, dw, dh}
                         : RECT{int(rng() % 8), int(rng() % 2), dw - int(rng() % 8), dh - int(rng() % 2)};
    if (!SameAsGeneralWalk(k, view, *dst, k.blend ? blend.get() : nullptr, rect, sets)) ++failures;
    TerminateMemImg(&view);
  }
}

TEST_F(FastPaths, MirrorRowsOfEverySetMatchGeneric) {
  const std::vector<rows::Isa> sets = Sets();
  std::mt19937 rng(99);
  for (int bytes : {2, 4}) {
    const uint32_t mask = bytes == 4 ? 0xFFFFFFFFu : 0xFFFFu;
    for (int trial = 0; trial < 400; ++trial) {
      const int n = int(rng() % 72), trans = int(rng() % 2);
      const int srcOff = int(rng() % 16), dstOff = int(rng() % 16);
      const uint32_t key = bytes == 2 && rng() % 8 == 0 ? 0x10000u | (rng() & 0xFFFF) : rng() & mask;
      std::vector<uint8_t> src(size_t(n) * bytes + 16), dst(size_t(n) * bytes + 16);
      for (int i = 0; i < n; ++i) ref::Store(&src[srcOff + size_t(i) * bytes], Pick(rng, key, mask), bytes);
      for (auto& b : dst) b = uint8_t(rng());
      std::vector<uint8_t> want;
      for (rows::Isa isa : sets) {
        rows::Use(isa);
        std::vector<uint8_t> got = dst;
        (bytes == 2 ? rows::Active().mirror16 : rows::Active().mirror32)[trans](&got[dstOff], &src[srcOff], n, key);
        if (isa == rows::Isa::Generic) {
          // Pixel i from the source's n - 1 - i, kept where it is the key; nothing else written.
          want = dst;
          for (int i = 0; i < n; ++i) {
            const uint32_t v = ref::Load(&src[srcOff + size_t(n - 1 - i) * bytes], bytes);
            if (!trans || v != key) ref::Store(&want[dstOff + size_t(i) * bytes], v, bytes);
          }
          ASSERT_EQ(got, want) << "generic bytes " << bytes << " trans " << trans << " n " << n;
        } else {
          ASSERT_EQ(got, want) << Name(isa) << " bytes " << bytes << " trans " << trans << " n " << n << " offsets "
                               << srcOff << "," << dstOff;
        }
      }
    }
  }
}

// Views of a coded sheet, clipped anywhere, walk only the code's drawn spans: the same bytes as
// the general walk for every source kind, mode, parameter and flag, in every set.
TEST_F(FastPaths, SheetViewRunsMatchGeneralWalk) {
  const std::vector<rows::Isa> sets = Sets();
  std::mt19937 rng(4711);
  int failures = 0;
  for (int trial = 0; trial < 1200 && failures < 5; ++trial) {
    // Every fourth trial a 16-bit add or subtract at 255, whose pixels go in pairs.
    const bool pairs = trial % 4 == 0;
    const bool is32 = !pairs && rng() % 2;
    const int pal = rng() % 4 == 0, alpha = !pairs && !pal && rng() % 3 == 0;
    const int modes[] = {0, 0, 1, 2, 3, 4, 10, 11};
    const int ps[] = {1, 64, 100, 128, 200, 254, 255};
    SetMode(pairs ? 2 + int(rng() % 2) : modes[rng() % 8], pairs ? 255 : ps[rng() % 7]);
    ProcessorHasMMX = int(rng() % 2);
    const bool blend = !pairs && rng() % 4 == 0, bright = !pairs && rng() % 4 == 0;
    DrawBrightness = bright ? rng() : 0xFFFFFF;
    if (blend) SetBlendGraphAlphaTable(int(rng() % 256), int(rng() % 256));

    // A sheet with clear and drawn spans of every length, runs past 64 pixels included.
    const int sw = 4 + int(rng() % 90), sh = 2 + int(rng() % 5);
    auto sheet = Source(is32, pal, alpha, sw, sh, rng);
    PlantRuns(*sheet, is32, alpha, 2, rng, [&] { return 1 + int(rng() % 4 == 0 ? rng() % 70 : rng() % 6); });
    ASSERT_EQ(MakeMemImgTransCode(&sheet->m), 0);
    const int vx = int(rng() % (sw - 1)), vy = int(rng() % (sh - 1));
    const int vw = 1 + int(rng() % (sw - vx)), vh = 1 + int(rng() % (sh - vy));
    MEMIMG view{};
    ASSERT_EQ(DeriveMemImg(&view, &sheet->m, vx, vy, vw, vh), 0);
    auto blendImg = BlendImage(vw, vh, rng);

    const int dw = vw + 10, dh = vh + 3;
    auto dst = Dest(is32, dw, dh, rng);
    const int x = int(rng() % (dw + 6)) - 8, y = int(rng() % (dh + 2)) - 2;
    DrawArea = rng() % 2 ? RECT{0, 0, dw, dh} : RECT{int(rng() % 6), int(rng() % 2), dw - int(rng() % 6), dh};
    const MEMIMG* b = blend ? &blendImg->m : nullptr;

    TestImg want(*dst);
    rows::Use(rows::Isa::Generic);
    rows::UseSpecialWalks(false);
    DrawMemImg(&want.m, &view, x, y, 1, b);
    rows::UseSpecialWalks(true);
    for (rows::Isa isa : sets) {
      rows::Use(isa);
      TestImg got(*dst);
      DrawMemImg(&got.m, &view, x, y, 1, b);
      if (!got.sameStore(want)) {
        ADD_FAILURE() << Name(isa) << (is32 ? " 32" : " 16") << " pal " << pal << " alpha " << alpha << " mode "
                      << DrawBlendMode << " p " << DrawBlendParam << " mmx " << ProcessorHasMMX << " blend " << blend
                      << " bright " << bright << " sheet " << sw << "x" << sh << " view " << vx << "," << vy << " "
                      << vw << "x" << vh << " at " << x << "," << y;
        ++failures;
      }
    }
    TerminateMemImg(&view);
  }
}

// Sprites with a run-length code drawn whole and unclipped: opaque runs of a plain copy are
// copied as blocks and those of a copy with brightness go through the row kernels, giving the
// bytes of the pixel-by-pixel run walk in every set.
TEST_F(FastPaths, WholeCodedSpritesMatchRunWalk) {
  const std::vector<rows::Isa> sets = Sets();
  std::mt19937 rng(808);
  int failures = 0;
  for (int trial = 0; trial < 800 && failures < 5; ++trial) {
    const bool is32 = rng() % 2;
    const int alpha = rng() % 3 == 0;
    SetMode(rng() % 2 ? 0 : 1, rng() % 3 ? 255 : int(rng() % 256));
    const bool blend = rng() % 5 == 0, bright = rng() % 2;
    DrawBrightness = bright ? (rng() % 4 ? rng() : rng() % 2 ? 0xFF00FFu : 0x00FF00u) : 0xFFFFFF;
    if (blend) SetBlendGraphAlphaTable(int(rng() % 256), int(rng() % 256));

    // Runs of every length, past 64 pixels too, opaque, clear and (with alpha) partial.
    const int sw = 1 + int(rng() % 100), sh = 1 + int(rng() % 4);
    auto sprite = Source(is32, 0, alpha, sw, sh, rng);
    PlantRuns(*sprite, is32, alpha, 3, rng, [&] { return 1 + int(rng() % 3 == 0 ? rng() % 80 : rng() % 8); });
    ASSERT_EQ(MakeMemImgTransCode(&sprite->m), 0);
    auto blendImg = BlendImage(sw, sh, rng);
    const MEMIMG* b = blend ? &blendImg->m : nullptr;

    const int dw = sw + int(rng() % 12), dh = sh + int(rng() % 3);
    auto dst = Dest(is32, dw, dh, rng);
    const int x = int(rng() % (dw - sw + 1)), y = int(rng() % (dh - sh + 1));
    DrawArea = RECT{0, 0, dw, dh};

    TestImg want(*dst);
    rows::Use(rows::Isa::Generic);
    rows::UseSpecialWalks(false);
    DrawMemImg(&want.m, &sprite->m, x, y, 1, b);
    rows::UseSpecialWalks(true);
    for (rows::Isa isa : sets) {
      rows::Use(isa);
      TestImg got(*dst);
      DrawMemImg(&got.m, &sprite->m, x, y, 1, b);
      if (!got.sameStore(want)) {
        ADD_FAILURE() << Name(isa) << (is32 ? " 32" : " 16") << " alpha " << alpha << " mode " << DrawBlendMode
                      << " p " << DrawBlendParam << " blend " << blend << " bright " << bright << " sprite " << sw
                      << "x" << sh << " at " << x << "," << y;
        ++failures;
      }
    }
  }
}
