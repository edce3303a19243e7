// Reference model of the stretched and triangle draws' pixel rules, written from the rules'
// text: per-channel arithmetic, the packed add and subtract described channel by channel, and
// the coordinate mappings. Also the test images and draw-state helpers both test files use.
#pragma once

#include <cstdint>
#include <cstring>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "engine/draw/memimg.h"

namespace ref {

enum class Routine { Stretch, Triangle };

// Everything one pixel rule reads besides the pixels.
struct State {
  int mode = 0;
  int p = 255;
  uint32_t bright = 0xFFFFFF;
  bool trans = false;
  uint32_t transColor = 0;
  bool blend = false;
  bool mmx = false;  // the stretched subtract's packed-byte loop may run
};

// A source pixel as fetched: index (paletted), 32-bit pixel, or 16-bit colour plus alpha byte.
struct Texel {
  uint32_t value;
  uint32_t alpha;  // 16-bit direct sources with alpha only
  uint8_t blendByte;
};

struct Source {
  bool is32;
  bool paletted;
  bool alpha;
  const uint8_t* palette;  // 256 entries of the source's format
};

inline uint32_t M(uint32_t x, uint32_t y) { return x * y / 255; }

// (d * 2^n + (t - d) * w) >> n with a floor; never negative here.
inline uint32_t Toward(uint32_t d, uint32_t t, uint64_t w, int n) {
  const int64_t sum = static_cast<int64_t>(d) * (int64_t{1} << n) +
                      (static_cast<int64_t>(t) - static_cast<int64_t>(d)) * static_cast<int64_t>(w);
  return static_cast<uint32_t>(sum / (int64_t{1} << n));
}

// Channels in the order blue, green, red; widths 8 or 5, 6, 5.
struct Chans {
  uint32_t c[3];
};
inline int Width(bool is32, int i) { return is32 ? 8 : (i == 1 ? 6 : 5); }
inline Chans Split(bool is32, uint32_t px) {
  if (is32) return {{px & 255, (px >> 8) & 255, (px >> 16) & 255}};
  return {{px & 31, (px >> 5) & 63, (px >> 11) & 31}};
}
inline uint32_t Join(bool is32, const Chans& ch, uint32_t fourth) {
  if (is32) return ch.c[0] | (ch.c[1] << 8) | (ch.c[2] << 16) | (fourth << 24);
  return ch.c[0] | (ch.c[1] << 5) | (ch.c[2] << 11);
}
inline uint32_t BrightByte(uint32_t bright, int i) { return (bright >> (8 * i)) & 255; }

// Add as the rule describes it per channel: the lowest channel exact, the others add their
// upper bits, take the OR of both lowest bits and the carry from below, and saturate on
// their own overflow; a 32-bit pixel's fourth byte becomes the top channel's carry.
inline uint32_t AddChannels(bool is32, uint32_t d, uint32_t s) {
  const Chans dc = Split(is32, d), sc = Split(is32, s);
  Chans out;
  bool carry = false;
  for (int i = 0; i < 3; ++i) {
    const uint32_t max = (1u << Width(is32, i)) - 1;
    if (i == 0) {
      const uint32_t sum = dc.c[0] + sc.c[0];
      carry = sum > max;
      out.c[0] = carry ? max : sum;
      continue;
    }
    const uint32_t hi = (dc.c[i] >> 1) + (sc.c[i] >> 1);
    const uint32_t low = (dc.c[i] & 1) | (sc.c[i] & 1) | (carry ? 1 : 0);
    const bool over = hi > (max >> 1);
    if (is32 || i == 2) {
      out.c[i] = over ? max : (hi << 1) | low;
    } else {
      // 16-bit green keeps its low bit and tops out at 62 in its upper bits.
      out.c[i] = ((over ? (max >> 1) : hi) << 1) | low;
    }
    carry = over;
  }
  return Join(is32, out, carry ? 1 : 0);
}

// Subtract per channel: the lowest channel floors at 0; the others subtract their upper
// bits, floor at 0, and take as lowest bit whether the channel below did not borrow
// (16-bit green always ends with 0); a 32-bit pixel's fourth byte becomes 0.
inline uint32_t SubChannels(bool is32, uint32_t d, uint32_t s) {
  const Chans dc = Split(is32, d), sc = Split(is32, s);
  Chans out;
  bool noBorrow = dc.c[0] >= sc.c[0];
  out.c[0] = noBorrow ? dc.c[0] - sc.c[0] : 0;
  for (int i = 1; i < 3; ++i) {
    const uint32_t dh = dc.c[i] >> 1, sh = sc.c[i] >> 1;
    const bool ok = dh >= sh;
    uint32_t low = noBorrow ? 1 : 0;
    if (!is32 && i == 1) low = 0;
    out.c[i] = ok ? ((dh - sh) << 1) | low : 0;
    noBorrow = ok;
  }
  return Join(is32, out, 0);
}

// The new destination pixel for one source pixel; d unchanged when the rule skips it or the
// draw draws nothing. graphAlpha maps the blend byte to its weight.
inline uint32_t Pixel(Routine routine, const State& st, const Source& src, const Texel& tx, uint32_t d,
                      const uint8_t* graphAlpha) {
  int mode = st.mode;
  const uint32_t p = static_cast<uint32_t>(st.p);
  if (mode == 1 && p == 255) mode = 0;
  if (mode == 1 && p == 0) return d;
  if (mode == 2 && p == 0) return d;
  if (mode == 3 && p == 0 && !src.paletted) return d;
  if (mode != 0 && mode != 1 && mode != 2 && mode != 3 && mode != 4 && mode != 10 && mode != 11) return d;

  const bool is32 = src.is32;
  const bool brightOn = (st.bright & 0xFFFFFF) != 0xFFFFFF;
  const bool hasAlpha = src.alpha && !src.paletted;

  // Transparency and the use of the alpha factor.
  uint32_t colour;
  uint32_t a = 255;
  bool useA = false;
  if (src.paletted) {
    if (st.trans && tx.value == st.transColor) return d;
    std::memcpy(&colour, src.palette + tx.value * (is32 ? 4 : 2), 4);
    if (!is32) colour &= 0xFFFF;
  } else {
    colour = is32 ? tx.value : (tx.value & 0xFFFF);
    if (hasAlpha) {
      a = is32 ? tx.value >> 24 : tx.alpha;
      if (st.trans) {
        // The triangle's inverted and multiply-then-alpha modes do not skip alpha 0.
        const bool keepsZero = routine == Routine::Triangle && (mode == 10 || mode == 11);
        if (a == 0 && !keepsZero) return d;
        useA = a != 255;
      } else {
        useA = true;
      }
    } else if (st.trans && colour == st.transColor) {
      return d;
    }
  }
  const uint32_t k = st.blend ? graphAlpha[tx.blendByte] : 0;

  const Chans c = Split(is32, colour);
  Chans s;
  for (int i = 0; i < 3; ++i) s.c[i] = brightOn ? M(BrightByte(st.bright, i), c.c[i]) : c.c[i];
  const Chans dc = Split(is32, d);
  const uint32_t dFourth = d >> 24;

  // Packed-byte subtract of the stretched draw: every byte, the fourth included.
  if (routine == Routine::Stretch && mode == 3 && st.mmx && is32 && p == 255 && !st.blend && !brightOn &&
      !hasAlpha) {
    uint32_t out = 0;
    for (int b = 0; b < 4; ++b) {
      const uint32_t db = (d >> (8 * b)) & 255, sb = (colour >> (8 * b)) & 255;
      out |= (db > sb ? db - sb : 0) << (8 * b);
    }
    return out;
  }

  Chans out;
  switch (mode) {
    case 0:
      if (!st.blend && !useA) {
        if (!brightOn) return colour;
        return Join(is32, s, dFourth);
      }
      for (int i = 0; i < 3; ++i) {
        if (st.blend && useA) out.c[i] = Toward(dc.c[i], s.c[i], uint64_t{k} * a, 16);
        else out.c[i] = Toward(dc.c[i], s.c[i], st.blend ? k : a, 8);
      }
      return Join(is32, out, dFourth);
    case 2:
    case 3: {
      Chans sp;
      for (int i = 0; i < 3; ++i) {
        if (is32) {
          if (!st.blend && !useA) sp.c[i] = M(p, s.c[i]);
          else if (!st.blend) sp.c[i] = (s.c[i] * a * p) >> 16;
          else if (!useA) sp.c[i] = (s.c[i] * k * p) >> 16;
          else sp.c[i] = static_cast<uint32_t>((uint64_t{s.c[i]} * k * a * p) >> 24);
        } else {
          if (!st.blend && !useA) sp.c[i] = M(p, s.c[i]);
          else if (!st.blend) {
            const uint32_t withA = (c.c[i] * a) >> 8;  // alpha before brightness here
            sp.c[i] = M(p, brightOn ? M(BrightByte(st.bright, i), withA) : withA);
          } else if (!useA) sp.c[i] = M(p, (s.c[i] * k) >> 8);
          else sp.c[i] = M(p, (s.c[i] * k * a) >> 16);
        }
      }
      const uint32_t spx = Join(is32, sp, 0);
      return mode == 2 ? AddChannels(is32, d, spx) : SubChannels(is32, d, spx);
    }
    case 4:
      for (int i = 0; i < 3; ++i) {
        uint64_t w = 1;
        int n = Width(is32, i);
        if (st.blend) w *= k, n += 8;
        if (useA) w *= a, n += 8;
        out.c[i] = static_cast<uint32_t>((uint64_t{s.c[i]} * w * dc.c[i]) >> n);
      }
      return Join(is32, out, dFourth);
    default: {  // 1, 10, 11: move toward a target by p
      for (int i = 0; i < 3; ++i) {
        const uint32_t max = (1u << Width(is32, i)) - 1;
        uint32_t t;
        if (mode == 10) {
          const uint32_t inv = max - c.c[i];
          t = brightOn ? M(BrightByte(st.bright, i), inv) : inv;
        } else if (mode == 11) {
          t = (s.c[i] * dc.c[i]) >> Width(is32, i);
        } else {
          t = s.c[i];
        }
        const uint32_t dv = dc.c[i];
        if (!st.blend && !useA) {
          if (is32) {
            out.c[i] = Toward(dv, t, p, 8);
          } else {
            const int diff = static_cast<int>(t) - static_cast<int>(dv);
            out.c[i] = static_cast<uint32_t>(static_cast<int>(dv) + diff * static_cast<int>(p) / 255);
          }
        } else if (!st.blend) {
          if (mode == 11 && !is32 && i == 1 && !brightOn) {
            // Green with five more bits of its product.
            const uint32_t h = (s.c[1] * dv) >> 1, big = 32 * dv;
            out.c[i] = static_cast<uint32_t>(
                (static_cast<int64_t>(big) * 65536 + (static_cast<int64_t>(h) - big) * a * p) >> 21);
          } else {
            out.c[i] = Toward(dv, t, uint64_t{a} * p, 16);
          }
        } else if (!useA) {
          out.c[i] = Toward(dv, t, uint64_t{k} * p, 16);
        } else {
          out.c[i] = Toward(dv, t, uint64_t{k} * a * p, 24);
        }
      }
      return Join(is32, out, dFourth);
    }
  }
}

// Destination column (or row) offset X inside a stretched side of length w shows this source
// column of a source of length n (counted from the near edge: the far one when mirrored).
inline int StretchIndex(int64_t X, int64_t w, int64_t n, bool mirrored) {
  const int64_t scale = (w * 65536) / n;
  const int64_t i = X * 65536 / scale;
  return static_cast<int>(mirrored ? n - 1 - i : i);
}

// ---------------------------------------------------------------- test images

struct Image {
  MEMIMG img{};
  explicit Image(int w, int h, int type, int pal = 0, int alpha = 0) { MakeMemImg(&img, w, h, type, pal, alpha); }
  ~Image() { TerminateMemImg(&img); }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;
  MEMIMG* m() { return &img; }
  int Bytes() const { return img.Base->Color->BytesPerPixel; }
  uint8_t* At(int x, int y) { return img.TopLeft + static_cast<ptrdiff_t>(y) * img.Base->Pitch + x * Bytes(); }
  // The destination pixel (or raw source value) at x, y: 32-bit word or 16-bit colour.
  uint32_t Get(int x, int y) {
    const int n = img.Base->UsePalette ? 1 : img.Base->ColorType == MEMIMG_COLOR_32 ? 4 : 2;
    uint32_t v = 0;
    std::memcpy(&v, At(x, y), n);
    return v;
  }
  uint32_t AlphaByte(int x, int y) { return At(x, y)[2]; }
  void Set(int x, int y, uint32_t v) {
    const int n = img.Base->UsePalette ? 1 : img.Base->ColorType == MEMIMG_COLOR_32 ? 4 : 2;
    std::memcpy(At(x, y), &v, n);
  }
  void Fill(std::mt19937& rng) {
    for (int y = 0; y < img.Height; ++y)
      for (int x = 0; x < img.Width * Bytes(); ++x) At(0, y)[x] = static_cast<uint8_t>(rng());
    if (img.Base->Palette)
      for (int i = 0; i < 1024; ++i) static_cast<uint8_t*>(img.Base->Palette)[i] = static_cast<uint8_t>(rng());
  }
  std::vector<uint32_t> Pixels() {
    std::vector<uint32_t> v;
    for (int y = 0; y < img.Height; ++y)
      for (int x = 0; x < img.Width; ++x) v.push_back(Get(x, y));
    return v;
  }
  Source AsSource() const {
    return {img.Base->ColorType == MEMIMG_COLOR_32, img.Base->UsePalette == 1, img.Base->UseAlpha == 1,
            static_cast<const uint8_t*>(img.Base->Palette)};
  }
};

// Puts the draw state of st in the engine's globals and an area covering w x h.
inline void Apply(const State& st, int w, int h) {
  DrawBlendMode = st.mode;
  DrawBlendParam = st.p;
  DrawBrightness = st.bright;
  DrawArea = {0, 0, w, h};
  ProcessorHasMMX = st.mmx ? 1 : 0;
}

}  // namespace ref

namespace ref {

// The source kinds the draws know.
struct Kind {
  int type;
  int paletted;
  int alpha;
  const char* name;
};
inline const Kind kKinds[] = {
    {MEMIMG_COLOR_32, 1, 0, "32-bit paletted"}, {MEMIMG_COLOR_32, 0, 0, "32-bit"},
    {MEMIMG_COLOR_32, 0, 1, "32-bit alpha"},    {MEMIMG_COLOR_16, 1, 0, "16-bit paletted"},
    {MEMIMG_COLOR_16, 0, 0, "16-bit"},          {MEMIMG_COLOR_16, 0, 1, "16-bit alpha"},
};

// The source value at x, y as the pixel rules read it.
inline Texel TexelAt(Image& src, Image* blend, int x, int y) {
  Texel t{src.Get(x, y), 0, 0};
  if (src.img.Base->ColorType == MEMIMG_COLOR_16 && src.img.Base->UseAlpha) t.alpha = src.AlphaByte(x, y);
  if (blend) t.blendByte = *blend->At(x, y);
  return t;
}

// Random pixels with the cases the rules single out: a pixel equal to the transparent colour
// (returned), alpha 0 and alpha 255 on alpha sources, weights 0 and 255 in the blend image.
inline uint32_t PlantSpecials(Image& src, Image* blend, std::mt19937& rng) {
  src.Fill(rng);
  const int w = src.img.Width, h = src.img.Height;
  if (src.img.Base->UseAlpha) {
    for (int i = 0; i < w * h / 3; ++i) {
      const int x = static_cast<int>(rng() % w), y = static_cast<int>(rng() % h);
      uint8_t* a = src.img.Base->ColorType == MEMIMG_COLOR_32 ? src.At(x, y) + 3 : src.At(x, y) + 2;
      *a = (i & 1) ? 255 : 0;
    }
  }
  if (blend) {
    blend->Fill(rng);
    *blend->At(0, 0) = 0;
    *blend->At(w - 1, h - 1) = 255;
  }
  // The transparent colour is the value of pixel (1, 1), planted again elsewhere.
  const uint32_t tc = src.Get(1, 1);
  src.Set(w - 2, h - 1, tc);
  return tc;
}

// A blend-weight table with 0 and 255 at the ends and uneven values between.
inline void RandomGraphAlpha(std::mt19937& rng) {
  for (int i = 0; i < 256; ++i) BlendGraphAlphaTable[i] = static_cast<uint8_t>(rng());
  BlendGraphAlphaTable[0] = 0;
  BlendGraphAlphaTable[255] = 255;
}

inline const int kModes[] = {0, 1, 2, 3, 4, 10, 11};

// Where two images of the given width first differ, or "" when they are equal.
inline std::string FirstDifference(const std::vector<uint32_t>& got, const std::vector<uint32_t>& want, int width) {
  for (size_t i = 0; i < got.size() && i < want.size(); ++i) {
    if (got[i] != want[i]) {
      char text[96];
      std::snprintf(text, sizeof text, "at %d,%d: %08x, expected %08x", static_cast<int>(i % width),
                    static_cast<int>(i / width), got[i], want[i]);
      return text;
    }
  }
  return got.size() == want.size() ? "" : "sizes differ";
}

}  // namespace ref
