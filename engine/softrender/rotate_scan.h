// Tamrak engine: the rotation scan and its pixel kernels, one per blend mode and format.
// The scan is instantiated per mode in rotate_mode*.cpp.
#pragma once

#include "engine/softrender/rotate.h"
#include "engine/softrender/solid.h"

namespace softrender {

constexpr int kFixShift = 18;  // texel positions are 14.18 fixed point

// The four formula shapes: plain, with source alpha a, with blend weight k, with both.
enum class Shape { Plain, A, K, KA };

struct RotateCtx {
  const uint32_t* bright[3];  // BlendMulTable rows of the blue, green and red brightness bytes
  const uint32_t* mulP;       // BlendMulTable row p
  const int32_t* diffP;       // BlendDiffTable row p at e = 0
  uint32_t p;
};

struct RotateJob {
  uint8_t* dest;  // first pixel of the clipped box
  ptrdiff_t pitch;
  int rows, cols;
  uint32_t u0, v0;      // texel position of the first pixel
  uint32_t du, dv;      // step per pixel
  uint32_t ru, rv;      // step per row
  uint32_t uEnd, vEnd;  // source width and height; one unsigned test also refuses negatives
  const uint8_t* const* srcRows;
  const uint8_t* const* blendRows;
  const void* palette;  // 256 entries in the image's format
  uint32_t transColor;
  RotateCtx ctx;
};

using RotateScanFn = void (*)(const RotateJob&);

struct RotateVariant {
  int colorType;
  bool paletted, alpha, blend, bright, trans;
};

// ---------------------------------------------------------------- source kinds

struct Src32Direct {
  static constexpr int kBits = 32, kBytes = 4;
  static uint32_t Key(const uint8_t* t) { return Load32(t); }
  static uint32_t Color(const uint8_t* t, const void*) { return Load32(t); }
  static unsigned Alpha(const uint8_t* t) { return t[3]; }
};
struct Src32Paletted {
  static constexpr int kBits = 32, kBytes = 1;
  static uint32_t Key(const uint8_t* t) { return t[0]; }
  static uint32_t Color(const uint8_t* t, const void* pal) { return static_cast<const uint32_t*>(pal)[t[0]]; }
  static unsigned Alpha(const uint8_t*) { return 255; }
};
// With alpha a texel is the colour word, the alpha byte and a byte that is not read.
template <bool HasAlpha>
struct Src16Direct {
  static constexpr int kBits = 16, kBytes = HasAlpha ? 4 : 2;
  static uint32_t Key(const uint8_t* t) { return Load16(t); }
  static uint32_t Color(const uint8_t* t, const void*) { return Load16(t); }
  static unsigned Alpha(const uint8_t* t) { return t[2]; }
};
struct Src16Paletted {
  static constexpr int kBits = 16, kBytes = 1;
  static uint32_t Key(const uint8_t* t) { return t[0]; }
  static uint32_t Color(const uint8_t* t, const void* pal) { return static_cast<const uint16_t*>(pal)[t[0]]; }
  static unsigned Alpha(const uint8_t*) { return 255; }
};

// ---------------------------------------------------------------- arithmetic of the shapes

template <bool Bright>
inline unsigned Bri(unsigned x, int i, const RotateCtx& c) {
  if constexpr (Bright) {
    return c.bright[i][x];
  } else {
    return x;
  }
}

// Mode 0: the weights a, k, k * a.
template <Shape S>
inline unsigned MixPlain(unsigned d, unsigned s, unsigned a, unsigned k) {
  if constexpr (S == Shape::Plain) return s;
  if constexpr (S == Shape::A) return Mix<8>(d, s, a);
  if constexpr (S == Shape::K) return Mix<8>(d, s, k);
  return Mix<16>(d, s, k * a);
}
// Modes 1, 10 and 11: every weight also carries p.
template <Shape S>
inline unsigned MixP(unsigned d, unsigned s, unsigned a, unsigned k, uint32_t p) {
  if constexpr (S == Shape::Plain) return Mix<8>(d, s, p);
  if constexpr (S == Shape::A) return Mix<16>(d, s, a * p);
  if constexpr (S == Shape::K) return Mix<16>(d, s, k * p);
  return Mix<24>(d, s, k * a * p);
}
// On RGB565 fields the plain shape moves by the truncated difference term instead.
template <Shape S>
inline unsigned MixP16(unsigned d, unsigned s, unsigned a, unsigned k, const RotateCtx& c) {
  if constexpr (S == Shape::Plain) {
    return pixel::DiffStep(c.diffP, d, s);
  } else {
    return MixP<S>(d, s, a, k, c.p);
  }
}

// Replaces each colour byte of a 32-bit pixel by f(channel, old byte); the fourth byte stays.
template <class F>
inline void PerChannel32(uint8_t* px, F&& f) {
  for (int i = 0; i < 3; ++i) px[i] = static_cast<uint8_t>(f(i, px[i]));
}
// Rebuilds an RGB565 pixel from f(field, old field value).
template <class F>
inline void PerField16(uint8_t* px, F&& f) {
  const uint32_t d = Load16(px);
  uint32_t out = 0;
  for (int i = 0; i < 3; ++i) out |= (f(i, Field(d, i)) & kFieldMask[i]) << kFieldShift[i];
  Store16(px, out);
}

// ---------------------------------------------------------------- kernels per format and mode

// Apply<Shape, Bright>(destination pixel, texel colour as stored, a, k, per-call values).
template <int Bits, int Mode>
struct RotKernel;

template <>
struct RotKernel<32, 0> {
  static constexpr bool kSkipAlphaZero = true;
  template <Shape S, bool Bright>
  static void Apply(uint8_t* px, uint32_t col, unsigned a, unsigned k, const RotateCtx& c) {
    if constexpr (S == Shape::Plain && !Bright) {
      Store32(px, col);  // the whole texel, fourth byte included
    } else {
      PerChannel32(px, [&](int i, unsigned d) { return MixPlain<S>(d, Bri<Bright>(Channel(col, i), i, c), a, k); });
    }
  }
};
template <>
struct RotKernel<16, 0> {
  static constexpr bool kSkipAlphaZero = true;
  template <Shape S, bool Bright>
  static void Apply(uint8_t* px, uint32_t col, unsigned a, unsigned k, const RotateCtx& c) {
    if constexpr (S == Shape::Plain && !Bright) {
      Store16(px, col);
    } else {
      PerField16(px, [&](int i, unsigned d) { return MixPlain<S>(d, Bri<Bright>(Field(col, i), i, c), a, k); });
    }
  }
};

template <>
struct RotKernel<32, 1> {
  static constexpr bool kSkipAlphaZero = true;
  template <Shape S, bool Bright>
  static void Apply(uint8_t* px, uint32_t col, unsigned a, unsigned k, const RotateCtx& c) {
    PerChannel32(px, [&](int i, unsigned d) { return MixP<S>(d, Bri<Bright>(Channel(col, i), i, c), a, k, c.p); });
  }
};
template <>
struct RotKernel<16, 1> {
  static constexpr bool kSkipAlphaZero = true;
  template <Shape S, bool Bright>
  static void Apply(uint8_t* px, uint32_t col, unsigned a, unsigned k, const RotateCtx& c) {
    PerField16(px, [&](int i, unsigned d) { return MixP16<S>(d, Bri<Bright>(Field(col, i), i, c), a, k, c); });
  }
};

// Modes 2 and 3: the texel scaled into T, then one packed saturating add or subtract.
template <bool Sub>
struct RotAddSub32 {
  static constexpr bool kSkipAlphaZero = true;
  template <Shape S, bool Bright>
  static void Apply(uint8_t* px, uint32_t col, unsigned a, unsigned k, const RotateCtx& c) {
    uint32_t t = 0;
    for (int i = 0; i < 3; ++i) {
      const uint32_t s = Bri<Bright>(Channel(col, i), i, c);
      uint32_t ti = 0;
      if constexpr (S == Shape::Plain) ti = c.mulP[s];
      if constexpr (S == Shape::A) ti = (s * a * c.p) >> 16;
      if constexpr (S == Shape::K) ti = (s * k * c.p) >> 16;
      if constexpr (S == Shape::KA) ti = (s * k * a * c.p) >> 24;  // below 2^32 unsigned
      t |= (ti & 0xFFu) << (8 * i);
    }
    const uint32_t d = Load32(px);
    Store32(px, Sub ? pixel::SubPacked32(d, t) : pixel::AddPacked32(d, t));
  }
};
// Without a blend image an alpha texel is scaled by a before brightness, with one after it.
template <bool Sub>
struct RotAddSub16 {
  static constexpr bool kSkipAlphaZero = true;
  template <Shape S, bool Bright>
  static void Apply(uint8_t* px, uint32_t col, unsigned a, unsigned k, const RotateCtx& c) {
    uint32_t t = 0;
    for (int i = 0; i < 3; ++i) {
      const uint32_t f = Field(col, i);
      uint32_t s = 0;
      if constexpr (S == Shape::Plain) s = Bri<Bright>(f, i, c);
      if constexpr (S == Shape::A) s = Bri<Bright>((f * a) >> 8, i, c);
      if constexpr (S == Shape::K) s = (Bri<Bright>(f, i, c) * k) >> 8;
      if constexpr (S == Shape::KA) s = (Bri<Bright>(f, i, c) * k * a) >> 16;
      t |= (c.mulP[s] & kFieldMask[i]) << kFieldShift[i];
    }
    const uint32_t d = Load16(px);
    Store16(px, Sub ? pixel::SubPacked565(d, t) : pixel::AddPacked565(d, t));
  }
};
template <> struct RotKernel<32, 2> : RotAddSub32<false> {};
template <> struct RotKernel<32, 3> : RotAddSub32<true> {};
template <> struct RotKernel<16, 2> : RotAddSub16<false> {};
template <> struct RotKernel<16, 3> : RotAddSub16<true> {};

// Mode 4: products of 8-bit factors shift by 8 each, RGB565 fields by their width.
template <>
struct RotKernel<32, 4> {
  static constexpr bool kSkipAlphaZero = true;
  template <Shape S, bool Bright>
  static void Apply(uint8_t* px, uint32_t col, unsigned a, unsigned k, const RotateCtx& c) {
    PerChannel32(px, [&](int i, uint32_t d) -> uint32_t {
      const uint32_t s = Bri<Bright>(Channel(col, i), i, c);
      if constexpr (S == Shape::Plain) return (s * d) >> 8;
      if constexpr (S == Shape::A) return (s * a * d) >> 16;
      if constexpr (S == Shape::K) return (k * s * d) >> 16;
      return (k * s * a * d) >> 24;  // up to 255^4: unsigned 32-bit
    });
  }
};
template <>
struct RotKernel<16, 4> {
  static constexpr bool kSkipAlphaZero = true;
  template <Shape S, bool Bright>
  static void Apply(uint8_t* px, uint32_t col, unsigned a, unsigned k, const RotateCtx& c) {
    PerField16(px, [&](int i, uint32_t d) -> uint32_t {
      const uint32_t s = Bri<Bright>(Field(col, i), i, c), w = kFieldWidth[i];
      if constexpr (S == Shape::Plain) return (s * d) >> w;
      if constexpr (S == Shape::A) return (s * d * a) >> (w + 8);
      if constexpr (S == Shape::K) return (s * d * k) >> (w + 8);
      return (s * d * k * a) >> (w + 16);
    });
  }
};

// Mode 10: toward the negative of the stored colour; brightness scales the negative.
template <>
struct RotKernel<32, 10> {
  static constexpr bool kSkipAlphaZero = false;
  template <Shape S, bool Bright>
  static void Apply(uint8_t* px, uint32_t col, unsigned a, unsigned k, const RotateCtx& c) {
    PerChannel32(px, [&](int i, unsigned d) { return MixP<S>(d, Bri<Bright>(255u - Channel(col, i), i, c), a, k, c.p); });
  }
};
template <>
struct RotKernel<16, 10> {
  static constexpr bool kSkipAlphaZero = true;
  template <Shape S, bool Bright>
  static void Apply(uint8_t* px, uint32_t col, unsigned a, unsigned k, const RotateCtx& c) {
    const uint32_t neg = ~col & 0xFFFFu;
    PerField16(px, [&](int i, unsigned d) { return MixP16<S>(d, Bri<Bright>(Field(neg, i), i, c), a, k, c); });
  }
};

// Mode 11: toward the product of destination and source.
template <>
struct RotKernel<32, 11> {
  static constexpr bool kSkipAlphaZero = false;
  template <Shape S, bool Bright>
  static void Apply(uint8_t* px, uint32_t col, unsigned a, unsigned k, const RotateCtx& c) {
    PerChannel32(px, [&](int i, unsigned d) {
      const unsigned m = (Bri<Bright>(Channel(col, i), i, c) * d) >> 8;
      return MixP<S>(d, m, a, k, c.p);
    });
  }
};
template <>
struct RotKernel<16, 11> {
  static constexpr bool kSkipAlphaZero = false;
  template <Shape S, bool Bright>
  static void Apply(uint8_t* px, uint32_t col, unsigned a, unsigned k, const RotateCtx& c) {
    PerField16(px, [&](int i, unsigned d) -> unsigned {
      const unsigned s = Bri<Bright>(Field(col, i), i, c);
      if constexpr (S == Shape::A && !Bright) {
        if (i == 1) {
          // Green keeps 1/32 of a step of the product: 2^21 = 2^16 * 32.
          const int64_t num = (int64_t{d} << 21) +
                              (static_cast<int64_t>((s * d) >> 1) - 32 * int64_t{d}) * int64_t{a} * int64_t{c.p};
          return static_cast<unsigned>(num >> 21);
        }
      }
      return MixP16<S>(d, (s * d) >> kFieldWidth[i], a, k, c);
    });
  }
};

// ---------------------------------------------------------------- the scan

template <class Kernel, class Src, bool Blend, bool Bright, bool Alpha, bool Trans>
void RotateScan(const RotateJob& j) {
  constexpr Shape kOpaque = Blend ? Shape::K : Shape::Plain;
  constexpr Shape kWeighted = Blend ? Shape::KA : Shape::A;
  constexpr int kDestBytes = Src::kBits / 8;
  for (int y = 0; y < j.rows; ++y) {
    uint8_t* px = j.dest + y * j.pitch;
    uint32_t u = j.u0 + static_cast<uint32_t>(y) * j.ru;
    uint32_t v = j.v0 + static_cast<uint32_t>(y) * j.rv;
    for (int x = 0; x < j.cols; ++x, px += kDestBytes, u += j.du, v += j.dv) {
      if (u >= j.uEnd || v >= j.vEnd) continue;
      const uint32_t row = v >> kFixShift, col = u >> kFixShift;
      const uint8_t* texel = j.srcRows[row] + col * Src::kBytes;
      unsigned k = 0;
      if constexpr (Blend) k = BlendGraphAlphaTable[j.blendRows[row][col]];
      if constexpr (Alpha) {
        const unsigned a = Src::Alpha(texel);
        const uint32_t color = Src::Color(texel, j.palette);
        if constexpr (Trans) {
          if (Kernel::kSkipAlphaZero && a == 0) continue;
          if (a == 255) {
            Kernel::template Apply<kOpaque, Bright>(px, color, a, k, j.ctx);
            continue;
          }
        }
        Kernel::template Apply<kWeighted, Bright>(px, color, a, k, j.ctx);
      } else {
        if constexpr (Trans) {
          if (Src::Key(texel) == j.transColor) continue;
        }
        Kernel::template Apply<kOpaque, Bright>(px, Src::Color(texel, j.palette), 0, k, j.ctx);
      }
    }
  }
}

// One loop per combination of the call's choices, picked once.
template <int Mode, class Src, bool Alpha, bool Blend, bool Bright>
RotateScanFn PickRotateTrans(bool trans) {
  using K = RotKernel<Src::kBits, Mode>;
  return trans ? &RotateScan<K, Src, Blend, Bright, Alpha, true> : &RotateScan<K, Src, Blend, Bright, Alpha, false>;
}
template <int Mode, class Src, bool Alpha, bool Blend>
RotateScanFn PickRotateBright(const RotateVariant& v) {
  return v.bright ? PickRotateTrans<Mode, Src, Alpha, Blend, true>(v.trans)
                  : PickRotateTrans<Mode, Src, Alpha, Blend, false>(v.trans);
}
template <int Mode, class Src, bool Alpha>
RotateScanFn PickRotateBlend(const RotateVariant& v) {
  return v.blend ? PickRotateBright<Mode, Src, Alpha, true>(v) : PickRotateBright<Mode, Src, Alpha, false>(v);
}

template <int Mode>
RotateScanFn SelectRotateScan(const RotateVariant& v) {
  if (v.colorType == MEMIMG_COLOR_32) {
    if (v.paletted) return PickRotateBlend<Mode, Src32Paletted, false>(v);
    return v.alpha ? PickRotateBlend<Mode, Src32Direct, true>(v) : PickRotateBlend<Mode, Src32Direct, false>(v);
  }
  if (v.paletted) return PickRotateBlend<Mode, Src16Paletted, false>(v);
  return v.alpha ? PickRotateBlend<Mode, Src16Direct<true>, true>(v)
                 : PickRotateBlend<Mode, Src16Direct<false>, false>(v);
}

extern template RotateScanFn SelectRotateScan<0>(const RotateVariant&);
extern template RotateScanFn SelectRotateScan<1>(const RotateVariant&);
extern template RotateScanFn SelectRotateScan<2>(const RotateVariant&);
extern template RotateScanFn SelectRotateScan<3>(const RotateVariant&);
extern template RotateScanFn SelectRotateScan<4>(const RotateVariant&);
extern template RotateScanFn SelectRotateScan<10>(const RotateVariant&);
extern template RotateScanFn SelectRotateScan<11>(const RotateVariant&);

}  // namespace softrender
