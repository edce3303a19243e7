// Tamrak engine: the per-pixel rules shared by the stretched and the triangle draws.
//
// A kernel is one combination of destination format, source kind, blend mode and the
// per-call flags (blend image, brightness, source alpha, transparency). The walkers call
//   int cls = K::Load(ctx, srcPixel, blendByte, px);   // once per source pixel
//   K::Store<cls == kScaled>(ctx, px, dstPixel);       // once per destination pixel
// so a stretched run of one source pixel classifies and scales it only once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/draw/memimg.h"
#include "engine/softrender/pixel_ops.h"

namespace tamrak::soft {

using pixel::Load16;
using pixel::Load32;
using pixel::Store16;
using pixel::Store32;

enum class Fmt { C16, C32 };
enum class SrcKind { Palette, Direct };
enum class Mode { Copy, Alpha, Add, Sub, Mul, Invert, MulAlpha, SubSaturate };

// Result of classifying one source pixel.
enum : int { kSkip = 0, kPlain = 1, kScaled = 2 };

// What one call fixes for every pixel.
struct PixelCtx {
  const uint32_t* bright[3];  // BlendMulTable rows of the blue, green and red brightness
  const uint32_t* mulP;       // BlendMulTable row of p
  const int32_t* diffP;       // BlendDiffTable row of p, at its x = 0 entry
  uint32_t p;
  uint32_t transColor;
  const uint8_t* palette;
  const uint8_t* graphAlpha;  // BlendGraphAlphaTable
};

// Reads the draw state and tables for a draw from src (null for a flat colour).
inline PixelCtx MakePixelCtx(const MEMIMG* src) {
  PixelCtx c;
  const uint32_t br = DrawBrightness;
  c.bright[0] = pixel::MulRow(br & 0xFF);
  c.bright[1] = pixel::MulRow((br >> 8) & 0xFF);
  c.bright[2] = pixel::MulRow((br >> 16) & 0xFF);
  const int p = DrawBlendParam < 0 ? 0 : DrawBlendParam > 255 ? 255 : DrawBlendParam;
  c.p = static_cast<uint32_t>(p);
  c.mulP = pixel::MulRow(p);
  c.diffP = pixel::DiffRow(p);
  c.transColor = src ? src->Base->TransColor : 0;
  c.palette = src ? static_cast<const uint8_t*>(src->Base->Palette) : nullptr;
  c.graphAlpha = BlendGraphAlphaTable;
  return c;
}

// Channel i: 0 blue, 1 green, 2 red. 16-bit fields are worked at their own width.
template <Fmt F>
struct Chan {
  static constexpr int Shift(int i) { return F == Fmt::C32 ? 8 * i : (i == 0 ? 0 : i == 1 ? 5 : 11); }
  static constexpr int Width(int i) { return F == Fmt::C32 ? 8 : (i == 1 ? 6 : 5); }
  static constexpr uint32_t Max(int i) { return (1u << Width(i)) - 1; }
  static uint32_t Get(uint32_t px, int i) { return (px >> Shift(i)) & Max(i); }
};

// ZeroAlphaSkips: with transparency on, alpha 0 skips the pixel (else it takes the alpha
// formula, which in multiply turns such pixels black).
template <Fmt F, SrcKind S, Mode M, bool Blend, bool Bright, bool Alpha, bool Trans, bool ZeroAlphaSkips>
struct Kernel {
  static constexpr bool k32 = F == Fmt::C32;
  static constexpr bool kPal = S == SrcKind::Palette;
  static constexpr bool kAlpha = Alpha && !kPal;  // paletted sources never read alpha
  static constexpr bool kBlend = Blend;
  static constexpr bool kTrans = Trans;
  static constexpr bool CanScale = kAlpha;
  static constexpr int SrcBytes = kPal ? 1 : (k32 || kAlpha) ? 4 : 2;
  static constexpr int DstBytes = k32 ? 4 : 2;
  // 16-bit mode 11 without blend image and brightness keeps five more bits of green.
  static constexpr bool kWideGreen =
      M == Mode::MulAlpha && !k32 && kAlpha && !Blend && !Bright;
  // Every visited pixel becomes a function of the source alone.
  static constexpr bool kIgnoresDest = M == Mode::Copy && !Blend && !Bright && !kAlpha && !Trans;
  // Every drawn pixel is the source pixel as it stands (transparent ones are not drawn).
  static constexpr bool kCopiesSource = M == Mode::Copy && !Blend && !Bright && !kAlpha && !kPal;
  using C = Chan<F>;

  struct Px {
    uint32_t raw;   // source pixel or palette entry; for add and subtract the scaled pixel
    uint32_t v[3];  // per channel: source (brightened, inverted or pre-multiplied)
    uint32_t w;     // blend weight of the mixing modes
  };

  static uint32_t Bri(const PixelCtx& c, int i, uint32_t x) {
    if constexpr (Bright) return c.bright[i][x];
    else return x;
  }

  // Classifies the source pixel and prepares what Store needs.
  static int Load(const PixelCtx& c, const uint8_t* s, const uint8_t* b, Px& px) {
    uint32_t raw;
    uint32_t a = 255;
    int cls = kPlain;
    if constexpr (kPal) {
      const uint32_t index = s[0];
      if (Trans && index == c.transColor) return kSkip;
      raw = k32 ? Load32(c.palette + index * 4) : Load16(c.palette + index * 2);
    } else {
      raw = k32 ? Load32(s) : Load16(s);
      if constexpr (kAlpha) {
        a = k32 ? raw >> 24 : s[2];
        if constexpr (Trans) {
          if (a == 0 && ZeroAlphaSkips) return kSkip;
          if (a != 255) cls = kScaled;
        } else {
          cls = kScaled;
        }
      } else if (Trans && raw == c.transColor) {
        return kSkip;
      }
    }
    uint32_t k = 0;
    if constexpr (Blend) k = c.graphAlpha[b[0]];
    px.raw = raw;
    const bool scaled = cls == kScaled;

    if constexpr (M == Mode::Copy) {
      for (int i = 0; i < 3; ++i) px.v[i] = Bri(c, i, C::Get(raw, i));
      px.w = scaled ? (Blend ? k * a : a) : k;
    } else if constexpr (M == Mode::Alpha || M == Mode::Invert || M == Mode::MulAlpha) {
      for (int i = 0; i < 3; ++i) {
        const uint32_t ch = C::Get(raw, i);
        px.v[i] = Bri(c, i, M == Mode::Invert ? C::Max(i) - ch : ch);
      }
      const uint32_t w = Blend ? k * c.p : c.p;
      px.w = scaled ? w * a : w;
    } else if constexpr (M == Mode::Add || M == Mode::Sub) {
      uint32_t packed = 0;
      for (int i = 0; i < 3; ++i) {
        const uint32_t ch = C::Get(raw, i);
        uint32_t sp;
        if constexpr (k32) {
          const uint32_t sv = Bri(c, i, ch);
          if constexpr (Blend) sp = scaled ? (sv * k * a * c.p) >> 24 : (sv * k * c.p) >> 16;
          else sp = scaled ? (sv * a * c.p) >> 16 : c.mulP[sv];
        } else {
          if constexpr (Blend) {
            const uint32_t sv = Bri(c, i, ch);
            sp = c.mulP[scaled ? (sv * k * a) >> 16 : (sv * k) >> 8];
          } else {
            // With alpha and no blend image the alpha comes before the brightness.
            sp = c.mulP[scaled ? Bri(c, i, (ch * a) >> 8) : Bri(c, i, ch)];
          }
        }
        packed |= sp << C::Shift(i);
      }
      px.raw = packed;
    } else if constexpr (M == Mode::Mul) {
      const uint32_t w = scaled ? (Blend ? k * a : a) : (Blend ? k : 1u);
      for (int i = 0; i < 3; ++i) px.v[i] = Bri(c, i, C::Get(raw, i)) * w;
    }
    return cls;
  }

  template <bool Scaled>
  static void Store(const PixelCtx& c, const Px& px, uint8_t* d) {
    if constexpr (M == Mode::Add || M == Mode::Sub || M == Mode::SubSaturate) {
      if constexpr (k32) {
        const uint32_t dv = Load32(d);
        Store32(d, M == Mode::Add ? pixel::AddPacked32(dv, px.raw)
                   : M == Mode::Sub ? pixel::SubPacked32(dv, px.raw)
                                    : pixel::SubSat32(dv, px.raw));
      } else {
        const uint32_t dv = Load16(d);
        Store16(d, M == Mode::Add ? pixel::AddPacked565(dv, px.raw) : pixel::SubPacked565(dv, px.raw));
      }
      return;
    } else if constexpr (M == Mode::Copy && !Blend) {
      if constexpr (!Scaled) {
        if constexpr (!Bright) {
          if constexpr (k32) Store32(d, px.raw);
          else Store16(d, px.raw);
        } else {
          StoreChannels(d, px.v);
        }
        return;
      }
    }
    if constexpr (!(M == Mode::Add || M == Mode::Sub || M == Mode::SubSaturate)) {
      uint32_t dv[3];
      LoadChannels(d, dv);
      uint32_t out[3];
      for (int i = 0; i < 3; ++i) out[i] = Channel<Scaled>(c, px, i, dv[i]);
      StoreChannels(d, out);
    }
  }

 private:
  static void LoadChannels(const uint8_t* d, uint32_t out[3]) {
    if constexpr (k32) {
      for (int i = 0; i < 3; ++i) out[i] = d[i];
    } else {
      const uint32_t v = Load16(d);
      for (int i = 0; i < 3; ++i) out[i] = C::Get(v, i);
    }
  }
  // 32-bit: B, G, R one byte each, the fourth byte untouched; 16-bit: one RGB565 word.
  static void StoreChannels(uint8_t* d, const uint32_t v[3]) {
    if constexpr (k32) {
      for (int i = 0; i < 3; ++i) d[i] = static_cast<uint8_t>(v[i]);
    } else {
      Store16(d, pixel::Pack565(v[2], v[1], v[0]));
    }
  }

  // One channel of the modes that compute channel by channel.
  template <bool Scaled>
  static uint32_t Channel(const PixelCtx& c, const Px& px, int i, uint32_t d) {
    if constexpr (M == Mode::Copy) {
      // Only the weighted rows reach here: k, a, or k and a.
      if constexpr (Blend && Scaled) return pixel::Lerp(d, px.v[i], px.w, 16);
      else return pixel::Lerp(d, px.v[i], px.w, 8);
    } else if constexpr (M == Mode::Mul) {
      constexpr int n = (Scaled ? 8 : 0) + (Blend ? 8 : 0);
      return static_cast<uint32_t>((static_cast<uint64_t>(px.v[i]) * d) >> (C::Width(i) + n));
    } else {
      // Alpha, Invert, MulAlpha: blend d toward a target t by p (and k, a).
      uint32_t t = px.v[i];
      if constexpr (M == Mode::MulAlpha) {
        if constexpr (kWideGreen && Scaled) {
          if (i == 1) {
            return pixel::Lerp(32 * d, (px.v[1] * d) >> 1, px.w, 16) >> 5;
          }
        }
        t = (t * d) >> C::Width(i);
      }
      if constexpr (!Blend && !Scaled) {
        if constexpr (k32) {
          return pixel::Lerp(d, t, px.w, 8);
        } else {
          return pixel::DiffStep(c.diffP, d, t);
        }
      } else if constexpr (Blend && Scaled) {
        return pixel::Lerp(d, t, px.w, 24);
      } else {
        return pixel::Lerp(d, t, px.w, 16);
      }
    }
  }
};

// Turns the per-call flags into a kernel type and calls fn with a value of it: the one
// dispatch per call. Paletted sources have no alpha variants; the packed-byte subtract
// exists only without blend image, brightness and source alpha.
template <Fmt F, SrcKind S, Mode M, bool ZS, bool B, bool Br, bool A, class Fn>
inline void WithTrans(bool trans, Fn& fn) {
  if (trans) fn(Kernel<F, S, M, B, Br, A, true, ZS>{});
  else fn(Kernel<F, S, M, B, Br, A, false, ZS>{});
}
template <Fmt F, SrcKind S, Mode M, bool ZS, bool B, bool Br, class Fn>
inline void WithAlpha(bool alpha, bool trans, Fn& fn) {
  if constexpr (S == SrcKind::Direct) {
    if (alpha) return WithTrans<F, S, M, ZS, B, Br, true>(trans, fn);
  }
  WithTrans<F, S, M, ZS, B, Br, false>(trans, fn);
}
template <Fmt F, SrcKind S, Mode M, bool ZS, class Fn>
inline void WithKernel(bool blend, bool bright, bool alpha, bool trans, Fn&& fn) {
  if constexpr (M == Mode::SubSaturate) {
    WithTrans<F, S, M, ZS, false, false, false>(trans, fn);
  } else if (blend) {
    if (bright) WithAlpha<F, S, M, ZS, true, true>(alpha, trans, fn);
    else WithAlpha<F, S, M, ZS, true, false>(alpha, trans, fn);
  } else {
    if (bright) WithAlpha<F, S, M, ZS, false, true>(alpha, trans, fn);
    else WithAlpha<F, S, M, ZS, false, false>(alpha, trans, fn);
  }
}

}  // namespace tamrak::soft
