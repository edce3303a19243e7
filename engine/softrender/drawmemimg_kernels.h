// Tamrak engine: the pixel rules of DrawMemImg, one kernel per blend mode and format.
//
// A kernel turns a destination pixel d and a source colour s (a 32-bit word, or an RGB565 word
// zero-extended; a paletted source passes its entry) into the new destination pixel:
//   Opaque(c, d, s, k)     the rule without the source alpha factor
//   Blend(c, d, s, a, k)   the rule with the source alpha a
// k is the blend-image weight (only read when K). B says the draw brightness is on.
#pragma once

#include <cstdint>

#include "engine/softrender/pixel_ops.h"

namespace drawmemimg {

// What one call fixes for every pixel.
struct Context {
  uint8_t* dst;
  const uint8_t* src;
  const uint8_t* blend;
  ptrdiff_t dstPitch, srcPitch, blendPitch;
  int w, h;
  uint32_t key;  // transparent colour, or transparent palette index
  uint32_t p;
  const uint32_t* mulP;  // BlendMulTable row p
  pixel::BrightRows bright;
  uint32_t brightness;  // the brightness bytes the rows of bright were made from: red, green, blue from bit 16
  const int32_t* diffP;  // BlendDiffTable row p at its centre
  const uint8_t (*lerp6)[64];
  const uint8_t* code;  // run-length code of the whole source, or of the sheet below
  const uint8_t* codeEnd;
  // With a sheet: its code's index (MemImgBase::TransCodeIndex), and the base column and row
  // of the clipped rectangle's top-left pixel; the general walks then visit only the spans
  // not marked clear.
  const int* sheetIndex;
  int sheetCol, sheetRow, sheetWidth;
  uint32_t palette[256];  // entries of a paletted source, unused ones zero
};

using pixel::Blue;
using pixel::Green;
using pixel::Red;
using pixel::Lerp;

// ---------------------------------------------------------------- 32-bit

// The source colour a rule works with: inverted (mode 10), then brightness.
template <bool B, bool Inv>
inline uint32_t Tone32(const Context& c, uint32_t s) {
  if constexpr (Inv) s = pixel::Invert32(s);
  if constexpr (B) s = pixel::Bright32(c.bright, s);
  return s;
}

// Blue, green and red moved toward t by w / 2^shift; the fourth byte kept.
inline uint32_t Lerp32(uint32_t d, uint32_t t, uint32_t w, unsigned shift) {
  if (shift == 8) return pixel::KeepFourth(pixel::LerpBGR8(d, t, w), d);
  return pixel::KeepFourth(
      pixel::PackBGR(Lerp(Blue(d), Blue(t), w, shift), Lerp(Green(d), Green(t), w, shift), Lerp(Red(d), Red(t), w, shift)),
      d);
}

// Mode 0: copy; the plain form copies the whole pixel, fourth byte included.
template <bool K, bool B>
struct Copy32 {
  static uint32_t Opaque(const Context& c, uint32_t d, uint32_t s, uint32_t k) {
    if constexpr (K) return Lerp32(d, Tone32<B, false>(c, s), k, 8);
    else if constexpr (B) return pixel::KeepFourth(pixel::Bright32(c.bright, s), d);
    else return s;
  }
  static uint32_t Blend(const Context& c, uint32_t d, uint32_t s, uint32_t a, uint32_t k) {
    if constexpr (K) return Lerp32(d, Tone32<B, false>(c, s), k * a, 16);
    else return Lerp32(d, Tone32<B, false>(c, s), a, 8);
  }
};

// Modes 1 (alpha) and 10 (inverted source): a move toward the source by the weight [k][a] p.
template <bool K, bool B, bool Inv>
struct Alpha32 {
  static uint32_t Opaque(const Context& c, uint32_t d, uint32_t s, uint32_t k) {
    if constexpr (K) return Lerp32(d, Tone32<B, Inv>(c, s), k * c.p, 16);
    else return Lerp32(d, Tone32<B, Inv>(c, s), c.p, 8);
  }
  static uint32_t Blend(const Context& c, uint32_t d, uint32_t s, uint32_t a, uint32_t k) {
    if constexpr (K) return Lerp32(d, Tone32<B, Inv>(c, s), k * a * c.p, 24);
    else return Lerp32(d, Tone32<B, Inv>(c, s), a * c.p, 16);
  }
};
template <bool K, bool B>
using Alpha32Plain = Alpha32<K, B, false>;
template <bool K, bool B>
using Alpha32Inverted = Alpha32<K, B, true>;

// Mode 11: multiply (d * t >> 8 per channel), then move toward that like mode 1.
template <bool K, bool B>
struct MulAlpha32 {
  static uint32_t Product(const Context& c, uint32_t d, uint32_t s) {
    const uint32_t t = Tone32<B, false>(c, s);
    return pixel::PackBGR((Blue(d) * Blue(t)) >> 8, (Green(d) * Green(t)) >> 8, (Red(d) * Red(t)) >> 8);
  }
  static uint32_t Opaque(const Context& c, uint32_t d, uint32_t s, uint32_t k) {
    if constexpr (K) return Lerp32(d, Product(c, d, s), k * c.p, 16);
    else return Lerp32(d, Product(c, d, s), c.p, 8);
  }
  static uint32_t Blend(const Context& c, uint32_t d, uint32_t s, uint32_t a, uint32_t k) {
    if constexpr (K) return Lerp32(d, Product(c, d, s), k * a * c.p, 24);
    else return Lerp32(d, Product(c, d, s), a * c.p, 16);
  }
};

// Mode 4: d * t * weights, one shift per factor; p is not read.
template <bool K, bool B>
struct Mul32 {
  static uint32_t Scale(uint32_t d, uint32_t t, uint32_t w, unsigned shift) {
    return pixel::KeepFourth(pixel::PackBGR((Blue(d) * Blue(t) * w) >> shift, (Green(d) * Green(t) * w) >> shift,
                                            (Red(d) * Red(t) * w) >> shift),
                             d);
  }
  static uint32_t Opaque(const Context& c, uint32_t d, uint32_t s, uint32_t k) {
    if constexpr (K) return Scale(d, Tone32<B, false>(c, s), k, 16);
    else return Scale(d, Tone32<B, false>(c, s), 1, 8);
  }
  static uint32_t Blend(const Context& c, uint32_t d, uint32_t s, uint32_t a, uint32_t k) {
    if constexpr (K) return Scale(d, Tone32<B, false>(c, s), k * a, 24);
    else return Scale(d, Tone32<B, false>(c, s), a, 16);
  }
};

// Modes 2 and 3: the source amount q, then the packed saturating add or subtract.
template <bool K, bool B, bool Sub>
struct AddSub32 {
  static uint32_t Apply(uint32_t d, uint32_t q) { return Sub ? pixel::SubPacked32(d, q) : pixel::AddPacked32(d, q); }
  static uint32_t Scale(uint32_t t, uint32_t w, unsigned shift) {
    return pixel::PackBGR((Blue(t) * w) >> shift, (Green(t) * w) >> shift, (Red(t) * w) >> shift);
  }
  static uint32_t Opaque(const Context& c, uint32_t d, uint32_t s, uint32_t k) {
    const uint32_t t = Tone32<B, false>(c, s);
    if constexpr (K) return Apply(d, Scale(t, k * c.p, 16));
    else return Apply(d, pixel::PackBGR(c.mulP[Blue(t)], c.mulP[Green(t)], c.mulP[Red(t)]));
  }
  static uint32_t Blend(const Context& c, uint32_t d, uint32_t s, uint32_t a, uint32_t k) {
    const uint32_t t = Tone32<B, false>(c, s);
    if constexpr (K) return Apply(d, Scale(t, k * a * c.p, 24));
    else return Apply(d, Scale(t, a * c.p, 16));
  }
};
template <bool K, bool B>
using Add32 = AddSub32<K, B, false>;
template <bool K, bool B>
using Sub32 = AddSub32<K, B, true>;

// Shortcuts without blend image, brightness or source alpha (opaque rule only).
struct Halve32Kernel {  // mode 1, p == 128
  static uint32_t Opaque(const Context&, uint32_t d, uint32_t s, uint32_t) { return pixel::Halve32(s, d); }
};
struct AddSat32Kernel {  // mode 2, p == 255, packed-byte instructions
  static uint32_t Opaque(const Context&, uint32_t d, uint32_t s, uint32_t) { return pixel::AddSat32(d, s); }
};
struct SubSat32Kernel {  // mode 3, p == 255, packed-byte instructions
  static uint32_t Opaque(const Context&, uint32_t d, uint32_t s, uint32_t) { return pixel::SubSat32(d, s); }
};
struct AddWhole32Kernel {  // mode 2, p == 255, plain
  static uint32_t Opaque(const Context&, uint32_t d, uint32_t s, uint32_t) { return pixel::AddPacked32NoLowBits(d, s); }
};
struct SubWhole32Kernel {  // mode 3, p == 255, plain
  static uint32_t Opaque(const Context&, uint32_t d, uint32_t s, uint32_t) { return pixel::SubPacked32(d, s); }
};

// ---------------------------------------------------------------- RGB565

using pixel::Blue565;
using pixel::Green565;
using pixel::Red565;
constexpr unsigned kR = pixel::kRedBits565, kG = pixel::kGreenBits565, kB = pixel::kBlueBits565;

template <bool B, bool Inv>
inline uint32_t Tone565(const Context& c, uint32_t s) {
  if constexpr (Inv) s = pixel::Invert565(s);
  if constexpr (B) s = pixel::Bright565(c.bright, s);
  return s;
}

// f(d_field, t_field, field width) on red, green and blue, packed again.
template <class F>
inline uint32_t Fields565(uint32_t d, uint32_t t, F f) {
  return pixel::Pack565(f(Red565(d), Red565(t), kR), f(Green565(d), Green565(t), kG), f(Blue565(d), Blue565(t), kB));
}
inline uint32_t Lerp565(uint32_t d, uint32_t t, uint32_t w, unsigned shift) {
  return Fields565(d, t, [=](uint32_t df, uint32_t tf, unsigned) { return Lerp(df, tf, w, shift); });
}
inline uint32_t Diff565(const Context& c, uint32_t d, uint32_t t) {
  return Fields565(d, t, [&](uint32_t df, uint32_t tf, unsigned) { return pixel::DiffStep(c.diffP, df, tf); });
}
// m_f = t_f * d_f >> width.
inline uint32_t Product565(uint32_t d, uint32_t t) {
  return Fields565(d, t, [](uint32_t df, uint32_t tf, unsigned n) { return (tf * df) >> n; });
}

template <bool K, bool B>
struct Copy565 {
  static uint32_t Opaque(const Context& c, uint32_t d, uint32_t s, uint32_t k) {
    if constexpr (K) return Lerp565(d, Tone565<B, false>(c, s), k, 8);
    else return Tone565<B, false>(c, s);
  }
  static uint32_t Blend(const Context& c, uint32_t d, uint32_t s, uint32_t a, uint32_t k) {
    if constexpr (K) return Lerp565(d, Tone565<B, false>(c, s), a * k, 16);
    else return Lerp565(d, Tone565<B, false>(c, s), a, 8);
  }
};

// Modes 1 and 10; the plain rule moves by (t - d) * p / 255 through the difference table.
template <bool K, bool B, bool Inv>
struct Alpha565 {
  static uint32_t Opaque(const Context& c, uint32_t d, uint32_t s, uint32_t k) {
    if constexpr (K) return Lerp565(d, Tone565<B, Inv>(c, s), k * c.p, 16);
    else return Diff565(c, d, Tone565<B, Inv>(c, s));
  }
  static uint32_t Blend(const Context& c, uint32_t d, uint32_t s, uint32_t a, uint32_t k) {
    if constexpr (K) return Lerp565(d, Tone565<B, Inv>(c, s), a * k * c.p, 24);
    else return Lerp565(d, Tone565<B, Inv>(c, s), a * c.p, 16);
  }
};
template <bool K, bool B>
using Alpha565Plain = Alpha565<K, B, false>;
template <bool K, bool B>
using Alpha565Inverted = Alpha565<K, B, true>;

// Mode 1 of a source without alpha, blend image or brightness: the 6-bit lerp table at p / 4.
struct Lerp6Kernel565 {
  static uint32_t Opaque(const Context& c, uint32_t d, uint32_t s, uint32_t) {
    return Fields565(d, s, [&](uint32_t df, uint32_t sf, unsigned) { return uint32_t(c.lerp6[sf][df]); });
  }
};
struct Halve565Kernel {  // mode 1, p == 128
  static uint32_t Opaque(const Context&, uint32_t d, uint32_t s, uint32_t) { return pixel::Halve565(s, d); }
};

template <bool K, bool B>
struct MulAlpha565 {
  static uint32_t Opaque(const Context& c, uint32_t d, uint32_t s, uint32_t k) {
    const uint32_t m = Product565(d, Tone565<B, false>(c, s));
    if constexpr (K) return Lerp565(d, m, k * c.p, 16);
    else return Diff565(c, d, m);
  }
  static uint32_t Blend(const Context& c, uint32_t d, uint32_t s, uint32_t a, uint32_t k) {
    const uint32_t t = Tone565<B, false>(c, s);
    const uint32_t m = Product565(d, t);
    if constexpr (K) {
      return Lerp565(d, m, a * k * c.p, 24);
    } else if constexpr (B) {
      return Lerp565(d, m, a * c.p, 16);
    } else {
      // Green keeps five more bits of the product: 2^21 scale.
      const uint32_t dg = Green565(d);
      const uint32_t g = ((dg << 21) + (((Green565(t) * dg) >> 1) - 32 * dg) * (a * c.p)) >> 21;
      const uint32_t w = a * c.p;
      return pixel::Pack565(Lerp(Red565(d), Red565(m), w, 16), g, Lerp(Blue565(d), Blue565(m), w, 16));
    }
  }
};

template <bool K, bool B>
struct Mul565 {
  static uint32_t Scale(uint32_t d, uint32_t t, uint32_t w, unsigned extra) {
    return Fields565(d, t, [=](uint32_t df, uint32_t tf, unsigned n) { return (tf * df * w) >> (n + extra); });
  }
  static uint32_t Opaque(const Context& c, uint32_t d, uint32_t s, uint32_t k) {
    if constexpr (K) return Scale(d, Tone565<B, false>(c, s), k, 8);
    else return Scale(d, Tone565<B, false>(c, s), 1, 0);
  }
  static uint32_t Blend(const Context& c, uint32_t d, uint32_t s, uint32_t a, uint32_t k) {
    if constexpr (K) return Scale(d, Tone565<B, false>(c, s), a * k, 16);
    else return Scale(d, Tone565<B, false>(c, s), a, 8);
  }
};

// Modes 2 and 3: v from the source, scaled by p through the table, then the packed operation.
template <bool K, bool B, bool Sub>
struct AddSub565 {
  static uint32_t Apply(const Context& c, uint32_t d, uint32_t v) {
    const uint32_t t = pixel::Pack565(c.mulP[Red565(v)], c.mulP[Green565(v)], c.mulP[Blue565(v)]);
    return Sub ? pixel::SubPacked565(d, t) : pixel::AddPacked565(d, t);
  }
  static uint32_t Scale(uint32_t t, uint32_t w, unsigned shift) {
    return pixel::Pack565((Red565(t) * w) >> shift, (Green565(t) * w) >> shift, (Blue565(t) * w) >> shift);
  }
  static uint32_t Opaque(const Context& c, uint32_t d, uint32_t s, uint32_t k) {
    if constexpr (K) return Apply(c, d, Scale(Tone565<B, false>(c, s), k, 8));
    else return Apply(c, d, Tone565<B, false>(c, s));
  }
  static uint32_t Blend(const Context& c, uint32_t d, uint32_t s, uint32_t a, uint32_t k) {
    if constexpr (K) return Apply(c, d, Scale(Tone565<B, false>(c, s), a * k, 16));
    // Here the alpha scales first and the brightness after it.
    else if constexpr (B) return Apply(c, d, pixel::Bright565(c.bright, Scale(s, a, 8)));
    else return Apply(c, d, Scale(s, a, 8));
  }
};
template <bool K, bool B>
using Add565 = AddSub565<K, B, false>;
template <bool K, bool B>
using Sub565 = AddSub565<K, B, true>;

// Mode 2 and 3 at p == 255 without blend image, brightness or alpha: neighbouring pixels are
// worked in pairs (One for a pixel alone, Pair for two in one word).
struct AddPair565Kernel {
  static uint32_t One(uint32_t d, uint32_t s) { return pixel::AddPacked565NoLowBits(d, s); }
  static uint32_t Pair(uint32_t d2, uint32_t s2) { return pixel::AddPacked565Pair(d2, s2); }
};
struct SubPair565Kernel {
  static uint32_t One(uint32_t d, uint32_t s) { return pixel::SubPacked565(d, s); }
  static uint32_t Pair(uint32_t d2, uint32_t s2) { return pixel::SubPacked565Pair(d2, s2); }
};

}  // namespace drawmemimg
