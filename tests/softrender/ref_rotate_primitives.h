// Reference model of the rotated draw and the solid-colour primitives, written from their
// formulas one pixel at a time, plus small image helpers for the tests.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "engine/draw/memimg.h"

namespace rotref {

// Sets the draw state for one test and restores it afterwards.
struct State {
  RECT area;
  int mode, param;
  uint32_t bright;
  State(RECT a, int m = 0, int p = 255, uint32_t b = 0xFFFFFF)
      : area(DrawArea), mode(DrawBlendMode), param(DrawBlendParam), bright(DrawBrightness) {
    InitBlendTables();
    Set(a, m, p, b);
  }
  void Set(RECT a, int m, int p, uint32_t b) { DrawArea = a, DrawBlendMode = m, DrawBlendParam = p, DrawBrightness = b; }
  ~State() { Set(area, mode, param, bright); }
};

// An image with its own store; rows carry 8 guard bytes that no draw may touch.
struct Image {
  std::vector<uint8_t> store;
  std::vector<uint8_t> palette = std::vector<uint8_t>(1024);  // 4-byte entries, or RGB565 words
  MemImgBase base{};
  MEMIMG img{};
  int bpp;
  Image(int w, int h, int type, bool pal = false, bool alpha = false) {
    bpp = pal ? 1 : (type == MEMIMG_COLOR_32 || alpha ? 4 : 2);
    base.Pitch = w * bpp + 8;
    base.ColorType = type;
    base.UsePalette = pal;
    base.UseAlpha = alpha;
    base.PaletteCount = 256;
    base.Palette = palette.data();
    store.assign(static_cast<size_t>(base.Pitch) * h, 0);
    img = MEMIMG{1, w, h, store.data(), &base};
  }
  uint8_t* At(int x, int y) { return store.data() + static_cast<size_t>(y) * base.Pitch + x * bpp; }
  uint32_t Get(int x, int y) {
    uint32_t v = 0;
    std::memcpy(&v, At(x, y), bpp == 4 ? 4 : bpp);
    return v;
  }
  void Set(int x, int y, uint32_t v) { std::memcpy(At(x, y), &v, bpp); }
  uint32_t Pal(int i) const {
    uint32_t v = 0;
    std::memcpy(&v, palette.data() + i * Entry(), Entry());
    return v;
  }
  void SetPal(int i, uint32_t v) { std::memcpy(palette.data() + i * Entry(), &v, Entry()); }
  int Entry() const { return base.ColorType == MEMIMG_COLOR_32 ? 4 : 2; }
};

inline uint64_t M(uint64_t x, uint64_t y) { return x * y / 255; }
inline int64_t Diff(int64_t p, int64_t e) { return e * p / 255; }
// floor((d * 2^n + (s - d) * w) / 2^n), written as a weighted sum.
inline uint64_t L(int n, uint64_t d, uint64_t s, uint64_t w) { return (d * ((1ull << n) - w) + s * w) >> n; }
inline int32_t ToInt(double v) { return v > -2147483649.0 && v < 2147483648.0 ? static_cast<int32_t>(v) : INT_MIN; }

// Components: blue, green, red of a 32-bit word or of an RGB565 word.
struct Fmt {
  bool is32;
  int width(int i) const { return is32 ? 8 : (i == 1 ? 6 : 5); }
  int shift(int i) const { return is32 ? 8 * i : (i == 0 ? 0 : (i == 1 ? 5 : 11)); }
  uint64_t max(int i) const { return (1u << width(i)) - 1; }
  uint64_t get(uint32_t w, int i) const { return (w >> shift(i)) & max(i); }
  uint32_t put(uint32_t w, int i, uint64_t v) const {
    return (w & ~(static_cast<uint32_t>(max(i)) << shift(i))) | static_cast<uint32_t>(v << shift(i));
  }
};
inline uint64_t Bright(uint32_t bright, int i) { return (bright >> (8 * i)) & 0xFF; }
inline bool BrightOn(uint32_t bright) { return (bright & 0xFFFFFF) != 0xFFFFFF; }

// Saturating add and subtract, channel by channel with the low-bit rule of the packed sums; the
// fourth byte by the 32-bit rules.
inline uint32_t AddRef(Fmt f, uint32_t d, uint32_t t) {
  uint32_t out = 0;
  bool carry = false;
  for (int i = 0; i < 3; ++i) {
    const uint64_t a = f.get(d, i), b = f.get(t, i), top = f.max(i);
    uint64_t v;
    bool c;
    if (i == 0) {
      c = a + b > top;
      v = c ? top : a + b;
    } else {
      c = (a >> 1) + (b >> 1) > top >> 1;
      const uint64_t low = (a & 1) | (b & 1) | (carry ? 1 : 0);
      // Saturated: all ones, except the 16-bit green, which keeps 62 plus its low bit.
      v = c ? (f.is32 || i == 2 ? top : (top & ~1ull) | low) : ((a & ~1ull) + (b & ~1ull)) | low;
    }
    carry = c;
    out = f.put(out, i, v);
  }
  return f.is32 ? out | (carry ? 0x01000000u : 0) : out;
}
inline uint32_t SubRef(Fmt f, uint32_t d, uint32_t t) {
  uint32_t out = 0;
  bool noBorrow = false;
  for (int i = 0; i < 3; ++i) {
    const uint64_t a = f.get(d, i), b = f.get(t, i);
    uint64_t v;
    bool ok;
    if (i == 0) {
      ok = a >= b;
      v = ok ? a - b : 0;
    } else {
      ok = (a >> 1) >= (b >> 1);
      const bool low = noBorrow && (f.is32 || i == 2);
      v = ok ? 2 * ((a >> 1) - (b >> 1)) + (low ? 1 : 0) : 0;
    }
    noBorrow = ok;
    out = f.put(out, i, v);
  }
  return out;
}

// ---------------------------------------------------------------- solid colour

struct Solid {
  int mode;  // -1: draw nothing
  uint32_t s, t;
};
inline Solid PrepareSolid(Fmt f, uint32_t color, int blendMode, int p, uint32_t bright) {
  Solid r{-1, f.is32 ? color : color & 0xFFFF, 0};
  if (blendMode == 0 || blendMode == 4 || blendMode == 10 || blendMode == 11) r.mode = blendMode;
  if ((blendMode == 1 || blendMode == 2 || blendMode == 3) && p > 0) r.mode = blendMode == 1 && p == 255 ? 0 : blendMode;
  for (int i = 0; i < 3; ++i) {
    if (BrightOn(bright)) r.s = f.put(r.s, i, f.get(r.s, i) * Bright(bright, i) >> 8);
    r.t = f.put(r.t, i, M(p, f.get(r.s, i)));
  }
  return r;
}
inline uint32_t SolidPixel(Fmt f, uint32_t d, const Solid& c, int p) {
  if (c.mode == 0) return c.s;
  if (c.mode == 2) return AddRef(f, d, c.t);
  if (c.mode == 3) return SubRef(f, d, c.t);
  uint32_t out = d;
  for (int i = 0; i < 3; ++i) {
    const int64_t dv = static_cast<int64_t>(f.get(d, i));
    int64_t s = static_cast<int64_t>(f.get(c.s, i));
    if (c.mode == 10) s = static_cast<int64_t>(f.max(i)) - s;
    if (c.mode == 4 || c.mode == 11) {
      const int64_t m = (dv * s) >> f.width(i);
      if (c.mode == 4) {
        out = f.put(out, i, m);
        continue;
      }
      s = m;
    }
    out = f.put(out, i, f.is32 ? L(8, dv, s, p) : dv + Diff(p, s - dv));
  }
  return out;
}

// ---------------------------------------------------------------- rotated images

struct Rot {
  int mode, p;
  uint32_t bright;
  bool is32, alpha, trans, blend;
  uint32_t transColor;
};
// One destination pixel d under a texel of colour c (palette entry or stored colour), alpha a,
// colour key key and blend weight k. Returns d when the pixel is left alone.
inline uint32_t RotPixel(const Rot& r, uint32_t d, uint32_t c, uint64_t a, uint32_t key, uint64_t k) {
  const Fmt f{r.is32};
  int mode = r.mode;
  if (mode == 1 && r.p == 255) mode = 0;
  if (((mode == 1 || mode == 2 || mode == 3) && r.p == 0) || (mode > 4 && mode != 10 && mode != 11) || mode < 0) return d;
  bool withA = false;
  if (r.alpha) {
    const bool skipsZero = mode <= 4 || (mode == 10 && !r.is32);
    if (r.trans && a == 0 && skipsZero) return d;
    withA = !r.trans || a != 255;
  } else if (r.trans && key == r.transColor) {
    return d;
  }
  const bool on = BrightOn(r.bright);
  const uint64_t p = r.p;
  if (mode == 0 && !withA && !r.blend && !on) return r.is32 ? c : c & 0xFFFF;
  if (mode == 10) c = ~c;
  uint32_t out = d, t = 0;
  for (int i = 0; i < 3; ++i) {
    const uint64_t raw = f.get(c, i), dv = f.get(d, i), w = f.width(i);
    auto br = [&](uint64_t x) { return on ? M(Bright(r.bright, i), x) : x; };
    const uint64_t s = br(raw);
    uint64_t v = 0;
    if (mode == 2 || mode == 3) {
      if (r.is32) {
        v = !r.blend ? (withA ? s * a * p >> 16 : M(p, s)) : (withA ? s * k * a * p >> 24 : s * k * p >> 16);
      } else {
        v = M(p, !r.blend ? (withA ? br(raw * a >> 8) : s) : (withA ? s * k * a >> 16 : s * k >> 8));
      }
      t = f.put(t, i, v);
      continue;
    }
    if (mode == 4) {
      v = (s * dv * (r.blend ? k : 1) * (withA ? a : 1)) >> (w + (r.blend ? 8 : 0) + (withA ? 8 : 0));
    } else if (mode == 0) {
      v = !r.blend ? (withA ? L(8, dv, s, a) : s) : (withA ? L(16, dv, s, k * a) : L(8, dv, s, k));
    } else {
      const uint64_t target = mode == 11 ? (s * dv) >> w : s;
      if (!r.blend && !withA) {
        v = r.is32 ? L(8, dv, target, p) : static_cast<uint64_t>(static_cast<int64_t>(dv) + Diff(p, static_cast<int64_t>(target) - static_cast<int64_t>(dv)));
      } else if (mode == 11 && !r.is32 && i == 1 && withA && !r.blend && !on) {
        const int64_t num = static_cast<int64_t>(dv << 21) + (static_cast<int64_t>(s * dv / 2) - 32 * static_cast<int64_t>(dv)) * static_cast<int64_t>(a * p);
        v = static_cast<uint64_t>(num) >> 21;
      } else {
        v = r.blend ? (withA ? L(24, dv, target, k * a * p) : L(16, dv, target, k * p)) : L(16, dv, target, a * p);
      }
    }
    out = f.put(out, i, v);
  }
  if (mode == 2) return AddRef(f, d, t);
  if (mode == 3) return SubRef(f, d, t);
  return out;
}

// The scan box and the texel position of its pixels.
struct RotGeom {
  bool draws = false;
  int left = 0, top = 0, rows = 0, cols = 0;
  uint32_t ut = 0, vt = 0, du = 0, dv = 0, ru = 0, rv = 0;
  uint32_t U(int i, int j) const { return ut + static_cast<uint32_t>(j) * ru + static_cast<uint32_t>(i) * du; }
  uint32_t V(int i, int j) const { return vt + static_cast<uint32_t>(j) * rv + static_cast<uint32_t>(i) * dv; }
};
inline RotGeom Geometry(int W, int H, int cx, int cy, float angle, float scale, RECT clip) {
  RotGeom g;
  auto fix = [](double x) { return ToInt(static_cast<float>(static_cast<float>(x) * 262144.0)); };
  const int32_t Sn = fix(std::sin(-static_cast<double>(angle))), Cn = fix(std::cos(-static_cast<double>(angle)));
  const int32_t S = fix(std::sin(static_cast<double>(angle))), C = fix(std::cos(static_cast<double>(angle)));
  const float hw = static_cast<float>(static_cast<double>(W) * scale * 0.5);
  const float hh = static_cast<float>(static_cast<double>(H) * scale * 0.5);
  const float cw = static_cast<float>(C) * hw, sw = static_cast<float>(S) * hw;
  const float ch = static_cast<float>(C) * hh, sh = static_cast<float>(S) * hh;
  const int32_t xs[4] = {ToInt(-cw + sh), ToInt(-cw - sh), ToInt(cw - sh), ToInt(cw + sh)};
  const int32_t ys[4] = {ToInt(-ch - sw), ToInt(ch - sw), ToInt(ch + sw), ToInt(-ch + sw)};
  if (ys[0] == ys[1] && ys[1] == ys[2] && ys[2] == ys[3]) return g;
  int32_t mnx = xs[0], mxx = xs[0], mny = ys[0], mxy = ys[0];
  for (int i = 1; i < 4; ++i) {
    mnx = std::min(mnx, xs[i]), mxx = std::max(mxx, xs[i]), mny = std::min(mny, ys[i]), mxy = std::max(mxy, ys[i]);
  }
  // cx * 262144 + offset, whole part toward zero
  auto whole = [](int c, int32_t off) { return static_cast<int>((static_cast<int64_t>(c) * 262144 + off) / 262144); };
  const int l = std::max<int>(clip.left, std::min<int>(clip.right, whole(cx, mnx) - 2));
  const int r = std::max<int>(clip.left, std::min<int>(clip.right, whole(cx, mxx) + 4));
  const int t = std::max<int>(clip.top, std::min<int>(clip.bottom, whole(cy, mny) - 2));
  const int b = std::max<int>(clip.top, std::min<int>(clip.bottom, whole(cy, mxy) + 4));
  if (l == r || t == b) return g;
  auto map = [&](int x, int y, int32_t a, int32_t bb, uint32_t centre) {
    const int32_t n = static_cast<int32_t>(static_cast<uint32_t>(x - cx) * static_cast<uint32_t>(a) + static_cast<uint32_t>(y - cy) * static_cast<uint32_t>(bb));
    return static_cast<uint32_t>(ToInt(static_cast<float>(n) / scale)) + centre;
  };
  const uint32_t uc = static_cast<uint32_t>(W >> 1) * 262144u, vc = static_cast<uint32_t>(H >> 1) * 262144u;
  g = RotGeom{true, l, t, b - t, r - l, map(l, t, Cn, -Sn, uc), map(l, t, Sn, Cn, vc)};
  const uint32_t ub = map(l, b, Cn, -Sn, uc), vb = map(l, b, Sn, Cn, vc);
  g.du = static_cast<uint32_t>(ToInt(static_cast<float>(C) / scale));
  g.dv = static_cast<uint32_t>(ToInt(static_cast<float>(Sn) / scale));
  g.ru = static_cast<uint32_t>(static_cast<int32_t>((static_cast<int64_t>(static_cast<int32_t>(ub)) - static_cast<int32_t>(g.ut)) / g.rows));
  g.rv = static_cast<uint32_t>(static_cast<int32_t>((static_cast<int64_t>(static_cast<int32_t>(vb)) - static_cast<int32_t>(g.vt)) / g.rows));
  return g;
}

// ---------------------------------------------------------------- shapes as pixel sets

using Points = std::vector<std::pair<int, int>>;

// The steps (x, y, d) of the midpoint walk.
inline std::vector<std::vector<int64_t>> Walk(int64_t r) {
  std::vector<std::vector<int64_t>> steps;
  for (int64_t x = 0, y = r, d = 3 - 2 * r; y >= x; ++x) {
    steps.push_back({x, y, d});
    d += d < 0 ? 4 * x + 6 : 4 * (x - y--) + 10;
  }
  return steps;
}
// The outline as the union of the eight mirror images of every step.
inline std::set<std::pair<int, int>> CircleSet(int cx, int cy, int r) {
  std::set<std::pair<int, int>> s;
  for (const auto& st : Walk(r)) {
    const int x = static_cast<int>(st[0]), y = static_cast<int>(st[1]);
    for (int sx : {-1, 1}) for (int sy : {-1, 1}) {
      s.insert({cx + sx * x, cy + sy * y});
      s.insert({cx + sx * y, cy + sy * x});
    }
  }
  return s;
}
// A disc row spans the outline's leftmost to rightmost point on it.
inline std::set<std::pair<int, int>> DiscSet(int cx, int cy, int r) {
  std::set<std::pair<int, int>> s;
  for (int row = cy - r; row <= cy + r; ++row) {
    int lo = INT_MAX, hi = INT_MIN;
    for (const auto& p : CircleSet(cx, cy, r)) {
      if (p.second == row) lo = std::min(lo, p.first), hi = std::max(hi, p.first);
    }
    for (int x = lo; x <= hi; ++x) s.insert({x, row});
  }
  return s;
}

// A line's pixels: each end moved along the line onto the area (the start inside it, the end one
// step outside), then pixel k at major offset k and minor offset k * minor / major.
inline Points LinePoints(int x1, int y1, int x2, int y2, RECT a) {
  const int64_t l = a.left, t = a.top, r = a.right, b = a.bottom;
  // Liang-Barsky: does the segment meet the area's pixel rectangle at all?
  double t0 = 0, t1 = 1;
  const double px[4] = {-(double(x2) - x1), double(x2) - x1, -(double(y2) - y1), double(y2) - y1};
  const double q[4] = {double(x1) - l, double(r - 1) - x1, double(y1) - t, double(b - 1) - y1};
  for (int i = 0; i < 4; ++i) {
    if (px[i] == 0) {
      if (q[i] < 0) return {};
    } else if (px[i] < 0) {
      t0 = std::max(t0, q[i] / px[i]);
    } else {
      t1 = std::min(t1, q[i] / px[i]);
    }
  }
  if (t0 > t1) return {};
  const double kx = y1 == y2 ? 0 : (double(x2) - x1) / (double(y2) - y1), ky = x1 == x2 ? 0 : (double(y2) - y1) / (double(x2) - x1);
  const double bx = x1 - kx * y1, by = y1 - ky * x1;
  int64_t sx = x1, sy = y1, ex = x2, ey = y2;
  if (sx < l) sx = l, sy = ToInt(ky * l + by); else if (sx >= r) sx = r - 1, sy = ToInt(ky * (r - 1) + by);
  if (ex < l) ex = l - 1, ey = ToInt(ky * (l - 1) + by); else if (ex >= r) ex = r, ey = ToInt(ky * r + by);
  if (sy < t) sy = t, sx = ToInt(kx * t + bx); else if (sy >= b) sy = b - 1, sx = ToInt(kx * (b - 1) + bx);
  if (ey < t) ey = t - 1, ex = ToInt(kx * (t - 1) + bx); else if (ey >= b) ey = b, ex = ToInt(kx * b + bx);
  sx = std::clamp(sx, l, r - 1), ex = std::clamp(ex, l - 1, r), sy = std::clamp(sy, t, b - 1), ey = std::clamp(ey, t - 1, b);
  const int64_t dx = ex - sx, dy = ey - sy, major = std::max(std::abs(dx), std::abs(dy)), minor = std::min(std::abs(dx), std::abs(dy));
  const bool xMajor = std::abs(dx) >= std::abs(dy);
  Points pts;
  for (int64_t k = 0; k < major; ++k) {
    const int64_t mj = k, mn = k * minor / major;
    const int64_t x = sx + (dx < 0 ? -1 : 1) * (xMajor ? mj : mn), y = sy + (dy < 0 ? -1 : 1) * (xMajor ? mn : mj);
    pts.push_back({static_cast<int>(x), static_cast<int>(y)});
  }
  return pts;
}

}  // namespace rotref
