// A slow, plain model of DrawMemImg for the tests: one pixel at a time, every choice tested
// per pixel, products and quotients computed directly (no tables), the saturating add and
// subtract written per channel.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/draw/memimg.h"

namespace ref {

inline uint32_t Mul(uint32_t x, uint32_t y) { return x * y / 255; }
inline int Diff(int p, int x) { return x * p / 255; }  // C++ division truncates toward zero
inline uint32_t Lerp6(int p, uint32_t u, uint32_t v) { return (u * (p / 4) + v * (63 - p / 4)) / 63; }
// (d * 2^shift + (t - d) * w) / 2^shift, floored; the numerator is never negative.
inline uint32_t Move(int64_t d, int64_t t, int64_t w, int shift) {
  return uint32_t((d * (int64_t(1) << shift) + (t - d) * w) / (int64_t(1) << shift));
}

struct Px {  // channels of a 32-bit pixel or fields of an RGB565 word
  uint32_t c[3];  // blue, green, red
  uint32_t x;     // fourth byte (32-bit only)
};
inline Px Split(bool is32, uint32_t v) {
  if (is32) return {{v & 255, (v >> 8) & 255, (v >> 16) & 255}, v >> 24};
  return {{v & 31, (v >> 5) & 63, (v >> 11) & 31}, 0};
}
inline uint32_t Join(bool is32, const Px& p) {
  if (is32) return p.c[0] | p.c[1] << 8 | p.c[2] << 16 | p.x << 24;
  return p.c[0] | p.c[1] << 5 | p.c[2] << 11;
}
inline int Width(bool is32, int ch) { return is32 ? 8 : (ch == 1 ? 6 : 5); }

// Packed add per channel: blue exact and saturating; green and red add their upper bits and
// saturate, their lowest bit is the OR of both lowest bits and the carry from below (unless
// lowBits is false: then only the carry). The 32-bit fourth byte becomes red's carry.
inline uint32_t Add(bool is32, uint32_t dv, uint32_t tv, bool lowBits = true) {
  Px d = Split(is32, dv), t = Split(is32, tv), r{};
  const uint32_t maxB = is32 ? 255 : 31;
  uint32_t carry = d.c[0] + t.c[0] > maxB;
  r.c[0] = std::min(maxB, d.c[0] + t.c[0]);
  for (int ch = 1; ch < 3; ++ch) {
    const uint32_t max = (1u << Width(is32, ch)) - 1;
    const bool sat = (d.c[ch] >> 1) + (t.c[ch] >> 1) > (max >> 1);
    const uint32_t low = (lowBits ? ((d.c[ch] | t.c[ch]) & 1) : 0) | carry;
    // A saturated channel is all ones, except RGB565 green, whose lowest bit stays as above.
    if (sat) r.c[ch] = (is32 || ch == 2) ? max : (max & ~1u) | low;
    else r.c[ch] = ((d.c[ch] & ~1u) + (t.c[ch] & ~1u)) | low;
    carry = sat;
  }
  r.x = is32 ? carry : 0;
  return Join(is32, r);
}
// Packed subtract per channel: blue floored at 0; green and red subtract their upper bits,
// become 0 on a borrow, and take a lowest bit of 1 when the channel below did not borrow
// (never for RGB565 green). The fourth byte becomes 0.
inline uint32_t Sub(bool is32, uint32_t dv, uint32_t tv) {
  Px d = Split(is32, dv), t = Split(is32, tv), r{};
  bool ok = d.c[0] >= t.c[0];
  r.c[0] = ok ? d.c[0] - t.c[0] : 0;
  for (int ch = 1; ch < 3; ++ch) {
    const bool okHere = (d.c[ch] >> 1) >= (t.c[ch] >> 1);
    const uint32_t low = (!is32 && ch == 1) ? 0 : ok;
    r.c[ch] = okHere ? 2 * ((d.c[ch] >> 1) - (t.c[ch] >> 1)) + low : 0;
    ok = okHere;
  }
  return Join(is32, r);
}
inline uint32_t Sat(uint32_t d, uint32_t s, bool add) {
  uint32_t r = 0;
  for (int i = 0; i < 32; i += 8) {
    const int a = (d >> i) & 255, b = (s >> i) & 255;
    r |= uint32_t(std::clamp(add ? a + b : a - b, 0, 255)) << i;
  }
  return r;
}
// The two-pixel RGB565 word forms of the p == 255 shortcuts.
inline uint32_t AddPair(uint32_t d2, uint32_t s2) {
  const uint64_t sum = uint64_t(s2 & 0xF7DEF7DFu) + (d2 & 0xF7DEF7DFu);
  const uint32_t s = uint32_t(sum), c = s & 0x08210820u, carry = uint32_t(sum >> 32);
  return s | (c - ((c >> 5) | (carry << 27)));
}
inline uint32_t SubPair(uint32_t d2, uint32_t s2) {
  const int64_t t = int64_t(d2 | 0x08210820u) - int64_t(s2 & 0xF7DEF7DFu);
  const uint32_t u = uint32_t(t), c = u & 0x08210820u;
  return u & ((c - (c >> 5)) | (t >= 0 ? 0xF8000000u : 0));
}

struct Draw {
  bool is32, pal, alpha, blend, bright, mmx, runs;
  int mode, p, trans;
  uint32_t brightness;
};

// One pixel: d the destination, s the source colour (palette entry), a the alpha when the
// alpha factor applies (-1 when it does not), k the blend weight (-1 without blend image).
inline uint32_t Pixel(const Draw& g, uint32_t dv, uint32_t sv, int a, int k) {
  const bool is32 = g.is32;
  const int mode = g.mode, p = g.p;
  const bool plain = a < 0 && k < 0;
  Px d = Split(is32, dv);
  uint32_t sInv = sv;
  if (mode == 10) sInv = is32 ? (~sv & 0xFFFFFF) | (sv & 0xFF000000) : ~sv & 0xFFFF;
  Px s = Split(is32, sInv), t = s;
  const uint32_t bb[3] = {g.brightness & 255, (g.brightness >> 8) & 255, (g.brightness >> 16) & 255};
  if (g.bright)
    for (int ch = 0; ch < 3; ++ch) t.c[ch] = Mul(bb[ch], s.c[ch]);
  int64_t w = 1;
  int n = 0;
  if (k >= 0) w *= k, ++n;
  if (a >= 0) w *= a, ++n;
  Px r = d;
  switch (mode) {
    case 0:
      if (plain) {
        if (!g.bright) return sv;
        r.c[0] = t.c[0], r.c[1] = t.c[1], r.c[2] = t.c[2];
        return Join(is32, r);
      }
      for (int ch = 0; ch < 3; ++ch) r.c[ch] = Move(d.c[ch], t.c[ch], w, 8 * n);
      return Join(is32, r);
    case 1:
    case 10:
    case 11:
      for (int ch = 0; ch < 3; ++ch) {
        const uint32_t goal = mode == 11 ? (d.c[ch] * t.c[ch]) >> Width(is32, ch) : t.c[ch];
        if (!is32 && plain) r.c[ch] = d.c[ch] + Diff(p, int(goal) - int(d.c[ch]));
        else r.c[ch] = Move(d.c[ch], goal, w * p, 8 * (n + 1));
      }
      // RGB565 mode 11 keeps five more bits of green's product in one loop.
      if (!is32 && mode == 11 && a >= 0 && k < 0 && !g.bright)
        r.c[1] = uint32_t(((int64_t(d.c[1]) << 21) + (int64_t((s.c[1] * d.c[1]) >> 1) - 32 * d.c[1]) * a * p) >> 21);
      return Join(is32, r);
    case 4:
      for (int ch = 0; ch < 3; ++ch)
        r.c[ch] = uint32_t((int64_t(d.c[ch]) * t.c[ch] * w) >> (Width(is32, ch) + 8 * n));
      return Join(is32, r);
    default: {  // 2 and 3: the source amount, then the packed operation
      Px q{};
      for (int ch = 0; ch < 3; ++ch) {
        if (is32) {
          q.c[ch] = plain ? Mul(p, t.c[ch]) : uint32_t((t.c[ch] * w * p) >> (8 * (n + 1)));
        } else {
          uint32_t v = uint32_t((t.c[ch] * w) >> (8 * n));
          if (a >= 0 && k < 0 && g.bright) v = Mul(bb[ch], (s.c[ch] * a) >> 8);  // alpha before brightness
          q.c[ch] = Mul(p, v);
        }
      }
      const uint32_t qv = Join(is32, q);
      return mode == 2 ? Add(is32, dv, qv) : Sub(is32, dv, qv);
    }
  }
}

inline uint32_t Load(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  std::memcpy(&v, p, bytes);
  return v;
}
inline void Store(uint8_t* p, uint32_t v, int bytes) { std::memcpy(p, &v, bytes); }

// Draws like DrawMemImg, reading the same draw state. runs: follow the run-length code.
inline void DrawMemImg(MEMIMG* dst, const MEMIMG* src, int x, int y, int trans, const MEMIMG* blend, bool runs) {
  const MemImgBase* sb = src->Base;
  Draw g{};
  g.is32 = sb->ColorType == 1;
  g.pal = sb->UsePalette == 1;
  g.alpha = !g.pal && sb->UseAlpha == 1;
  g.blend = blend != nullptr;
  g.brightness = DrawBrightness;
  g.bright = (DrawBrightness & 0xFFFFFF) != 0xFFFFFF;
  g.mmx = ProcessorHasMMX == 1;
  g.runs = runs;
  g.mode = DrawBlendMode, g.p = DrawBlendParam, g.trans = trans;
  if (g.mode == 1 && g.p == 255) g.mode = 0;
  if (g.mode < 0 || g.mode > 11 || (g.mode >= 5 && g.mode <= 9)) return;
  if ((g.mode == 1 || g.mode == 2 || (g.mode == 3 && !g.pal)) && g.p == 0) return;

  const int sBytes = g.pal ? 1 : (g.is32 || g.alpha) ? 4 : 2, dBytes = g.is32 ? 4 : 2;
  const int left = std::max({x, DrawArea.left, 0}), top = std::max({y, DrawArea.top, 0});
  const int right = std::min({x + src->Width, DrawArea.right, dst->Width});
  const int bottom = std::min({y + src->Height, DrawArea.bottom, dst->Height});
  std::vector<uint8_t> kinds;  // per source pixel, from the code
  if (runs) {
    const uint8_t* code = sb->TransCode;
    for (int j = 0; j < src->Height; ++j, ++code)
      for (; (*code & 0xC0) != 0xC0; ++code) kinds.insert(kinds.end(), (*code & 63) + 1, *code >> 6);
  }
  const bool simple = !g.blend && !g.bright && !g.alpha && !runs;
  const bool pairs = !g.is32 && simple && g.p == 255 && (g.mode == 2 || g.mode == 3);
  const uint8_t* store = dst->Base->Pixels;
  const std::vector<uint8_t> before(store, store + size_t(dst->Base->Pitch) * dst->Base->Height);

  for (int dy = top; dy < bottom; ++dy) {
    for (int dx = left; dx < right; ++dx) {
      const int i = dx - x, j = dy - y;
      const uint8_t* sp = src->TopLeft + j * sb->Pitch + i * sBytes;
      uint8_t* dp = dst->TopLeft + dy * dst->Base->Pitch + dx * dBytes;
      uint32_t sv = Load(sp, g.pal ? 1 : g.is32 ? 4 : 2);
      const uint32_t index = sv;
      if (g.pal) sv = index < uint32_t(std::min(sb->PaletteCount, 256)) ? Load((const uint8_t*)sb->Palette + index * (g.is32 ? 4 : 2), g.is32 ? 4 : 2) : 0;
      const int alpha = g.alpha ? sp[g.is32 ? 3 : 2] : 255;
      const int k = g.blend ? BlendGraphAlphaTable[blend->TopLeft[j * blend->Base->Pitch + i]] : -1;

      int a = -1;  // -1: no alpha factor
      if (runs) {
        const int kind = kinds[size_t(j) * src->Width + i];
        if (kind == 0) continue;
        if (kind == 2 && g.alpha) a = alpha;
      } else if (!g.alpha) {
        if (trans && sv == sb->TransColor && !g.pal) continue;
        if (trans && index == sb->TransColor && g.pal) continue;
      } else if (trans) {
        if (alpha == 0) continue;
        if (alpha != 255) a = alpha;
      } else if (!(g.mode == 0 && !g.blend && !g.bright)) {
        a = alpha;
      }

      const uint32_t dv = Load(dp, dBytes);
      uint32_t out;
      if (pairs) {
        // Pixels pair up from the clipped row's left edge; a lone pixel takes the one-pixel form.
        const bool first = (dx - left) % 2 == 0;
        const int mate = first ? dx + 1 : dx - 1;
        bool mateDrawn = mate >= left && mate < right;
        uint32_t mv = 0;
        if (mateDrawn) {
          const uint8_t* mp = src->TopLeft + j * sb->Pitch + (mate - x) * sBytes;
          const uint32_t mi = Load(mp, g.pal ? 1 : 2);
          mv = g.pal ? Load((const uint8_t*)sb->Palette + mi * 2, 2) : mi;
          if (trans && (g.pal ? mi : mv) == sb->TransColor) mateDrawn = false;
        }
        if (mateDrawn) {
          const uint8_t* mdp = dst->TopLeft + dy * dst->Base->Pitch + mate * 2;
          const uint32_t md = Load(before.data() + (mdp - store), 2);
          const uint32_t word = first ? (g.mode == 2 ? AddPair(dv | md << 16, sv | mv << 16) : SubPair(dv | md << 16, sv | mv << 16))
                                      : (g.mode == 2 ? AddPair(md | dv << 16, mv | sv << 16) : SubPair(md | dv << 16, mv | sv << 16));
          out = first ? word & 0xFFFF : word >> 16;
        } else {
          out = g.mode == 2 ? Add(false, dv, sv, false) : Sub(false, dv, sv);
        }
      } else if (simple && g.mode == 1 && g.p == 128) {
        out = g.is32 ? ((sv >> 1) & 0x7F7F7F) + ((dv >> 1) & 0x7F7F7F) : ((sv >> 1) & 0x7BEF) + ((dv >> 1) & 0x7BEF);
      } else if (simple && g.mode == 1 && !g.is32) {
        Px d = Split(false, dv), s = Split(false, sv);
        for (int ch = 0; ch < 3; ++ch) d.c[ch] = Lerp6(g.p, s.c[ch], d.c[ch]);
        out = Join(false, d);
      } else if (g.is32 && simple && g.p == 255 && (g.mode == 2 || g.mode == 3)) {
        if (g.mmx) out = Sat(dv, sv, g.mode == 2);
        else out = g.mode == 2 ? Add(true, dv, sv, false) : Sub(true, dv, sv);
      } else {
        out = Pixel(g, dv, sv, a, k);
        // Blends write blue, green and red only; copies and packed operations the whole word.
        if (g.is32 && !(g.mode == 0 && a < 0 && k < 0 && !g.bright) && g.mode != 2 && g.mode != 3)
          out = (out & 0xFFFFFF) | (dv & 0xFF000000);
      }
      Store(dp, out, dBytes);
    }
  }
}

}  // namespace ref
