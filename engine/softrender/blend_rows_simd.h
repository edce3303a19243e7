// Tamrak engine: the vector row kernels, written once over a register type V (V128 for SSE2,
// V256 for AVX2) and included only by the file of each instruction set, which compiles it with
// that set's flags. Everything here has internal linkage, so no code built for a wider set can
// stand in for a function of the generic build.
//
// Each kernel gives exactly what the generic kernel of the same operation gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/softrender/blend_rows.h"
#include "engine/softrender/solid.h"

namespace rows {
namespace {

using drawmemimg::Context;
using softrender::SolidCall;

// The set below this one, for the ends of rows.
Table gGeneric;

// ---------------------------------------------------------------- 32-bit pixels

// Blue, green and red moved toward t by w / 256 (w = p <= 255); the fourth byte kept from d.
// d * (256 - w) + t * w is at most 255 * 256 and fits a 16-bit lane.
template <class V>
typename V::R LerpBGR(typename V::R d, typename V::R t, typename V::R w, typename V::R iw) {
  const auto lo = V::Srli16(V::Add16(V::Mullo16(V::Lo8(d), iw), V::Mullo16(V::Lo8(t), w)), 8);
  const auto hi = V::Srli16(V::Add16(V::Mullo16(V::Hi8(d), iw), V::Mullo16(V::Hi8(t), w)), 8);
  const auto fourth = V::Set32(0xFF000000u);
  return V::Or(V::AndNot(fourth, V::Pack16(lo, hi)), V::And(fourth, d));
}

// floor(x / 255) for any 16-bit x: (x * 0x8081) >> 23.
template <class V>
typename V::R Div255(typename V::R x) {
  return V::Srli16(V::MulhiU16(x, V::Set16(0x8081)), 7);
}

// floor(b * p / 255) on every byte: the BlendMulTable row p.
template <class V>
typename V::R MulBytes(typename V::R s, typename V::R p) {
  return V::Pack16(Div255<V>(V::Mullo16(V::Lo8(s), p)), Div255<V>(V::Mullo16(V::Hi8(s), p)));
}

template <class V>
typename V::R AddPacked32(typename V::R d, typename V::R q, bool lowBits) {
  const auto m = V::Set32(0x00FEFEFFu);
  const auto sum = V::Add32(V::And(d, m), V::And(q, m));
  const auto cy = V::And(sum, V::Set32(0x01010100u));
  auto r = V::Or(sum, V::Sub32(cy, V::Srli32(cy, 8)));
  if (lowBits) r = V::Or(r, V::And(V::Or(d, q), V::Set32(0x00010100u)));
  return r;
}

template <class V>
typename V::R SubPacked32(typename V::R d, typename V::R q) {
  const auto u = V::Sub32(V::Or(d, V::Set32(0x01010100u)), V::And(q, V::Set32(0xFEFEFEFFu)));
  const auto g = V::And(u, V::Set32(0x01010100u));
  return V::And(u, V::Sub32(g, V::Srli32(g, 8)));
}

struct NoConsts {
  explicit NoConsts(const Context&) {}
};
// The blend parameter p in every 16-bit lane.
template <class V>
struct ParamConst {
  typename V::R p;
  explicit ParamConst(const Context& c) : p(V::Set16(c.p)) {}
};
// The source itself; the row walks keep the destination where it is transparent.
template <class V, Op kCopyOp>
struct Copy {
  static constexpr Op kOp = kCopyOp;
  using K = NoConsts;
  static typename V::R Apply(typename V::R, typename V::R s, const K&) { return s; }
};
template <class V>
using Copy32 = Copy<V, kCopy32>;
template <class V>
using Copy565 = Copy<V, kCopy565>;

template <class V>
struct Alpha32 {
  static constexpr Op kOp = kAlpha32;
  struct K {
    typename V::R w, iw;
    explicit K(const Context& c) : w(V::Set16(c.p)), iw(V::Set16(256 - c.p)) {}
  };
  static typename V::R Apply(typename V::R d, typename V::R s, const K& k) { return LerpBGR<V>(d, s, k.w, k.iw); }
};
template <class V>
struct Invert32 {
  static constexpr Op kOp = kInvert32;
  using K = typename Alpha32<V>::K;
  static typename V::R Apply(typename V::R d, typename V::R s, const K& k) {
    return LerpBGR<V>(d, V::Xor(s, V::Set32(0xFFFFFFFFu)), k.w, k.iw);
  }
};
template <class V, bool Sub>
struct AddSub32 {
  static constexpr Op kOp = Sub ? kSub32 : kAdd32;
  using K = ParamConst<V>;
  static typename V::R Apply(typename V::R d, typename V::R s, const K& k) {
    // The amount has no fourth byte.
    const auto q = V::And(MulBytes<V>(s, k.p), V::Set32(0x00FFFFFFu));
    if constexpr (Sub) return SubPacked32<V>(d, q);
    else return AddPacked32<V>(d, q, true);
  }
};

template <class V>
struct Halve32 {
  static constexpr Op kOp = kHalve32;
  using K = NoConsts;
  static typename V::R Apply(typename V::R d, typename V::R s, const K&) {
    const auto m = V::Set32(0x007F7F7Fu);
    return V::Add32(V::And(V::Srli32(s, 1), m), V::And(V::Srli32(d, 1), m));
  }
};
template <class V>
struct AddSat32 {
  static constexpr Op kOp = kAddSat32;
  using K = NoConsts;
  static typename V::R Apply(typename V::R d, typename V::R s, const K&) { return V::AddsU8(d, s); }
};
template <class V>
struct SubSat32 {
  static constexpr Op kOp = kSubSat32;
  using K = NoConsts;
  static typename V::R Apply(typename V::R d, typename V::R s, const K&) { return V::SubsU8(d, s); }
};
template <class V>
struct AddWhole32 {
  static constexpr Op kOp = kAddWhole32;
  using K = NoConsts;
  static typename V::R Apply(typename V::R d, typename V::R s, const K&) { return AddPacked32<V>(d, s, false); }
};
template <class V>
struct SubWhole32 {
  static constexpr Op kOp = kSubWhole32;
  using K = NoConsts;
  static typename V::R Apply(typename V::R d, typename V::R s, const K&) { return SubPacked32<V>(d, s); }
};

// Blue, green and red scaled by their brightness bytes (the BlendMulTable rows); the fourth
// byte kept from d.
template <class V>
struct Bright32 {
  static constexpr Op kOp = kBright32;
  struct K {
    typename V::R w;  // per pixel's four words: blue, green and red bytes, 0
    explicit K(const Context& c)
        : w(V::Set64(uint64_t(c.brightness & 0xFF) | uint64_t((c.brightness >> 8) & 0xFF) << 16 |
                     uint64_t((c.brightness >> 16) & 0xFF) << 32)) {}
  };
  static typename V::R Apply(typename V::R d, typename V::R s, const K& k) {
    const auto fourth = V::Set32(0xFF000000u);
    return V::Or(MulBytes<V>(s, k.w), V::And(fourth, d));
  }
};

// ---------------------------------------------------------------- RGB565 pixels

template <class V>
struct Fields {
  typename V::R r, g, b;
};
template <class V>
Fields<V> Split565(typename V::R w) {
  return {V::Srli16(w, 11), V::And(V::Srli16(w, 5), V::Set16(63)), V::And(w, V::Set16(31))};
}
template <class V>
typename V::R Join565(const Fields<V>& f) {
  return V::Or(V::Or(V::Slli16(f.r, 11), V::Slli16(f.g, 5)), f.b);
}
// f(destination field, source field) on red, green and blue.
template <class V, class F>
typename V::R Map565(typename V::R d, typename V::R s, F f) {
  const Fields<V> df = Split565<V>(d), sf = Split565<V>(s);
  return Join565<V>({f(df.r, sf.r), f(df.g, sf.g), f(df.b, sf.b)});
}

// floor((s * L + d * (63 - L)) / 63), the 6-bit lerp table at level L = p / 4. The sum is
// at most 63 * 63, where the quotient is (x * 4162) >> 18.
template <class V>
struct Lerp565 {
  static constexpr Op kOp = kLerp565;
  struct K {
    typename V::R l, il;
    explicit K(const Context& c) : l(V::Set16(c.p / 4)), il(V::Set16(63 - c.p / 4)) {}
  };
  static typename V::R Apply(typename V::R d, typename V::R s, const K& k) {
    return Map565<V>(d, s, [&](auto df, auto sf) {
      const auto x = V::Add16(V::Mullo16(sf, k.l), V::Mullo16(df, k.il));
      return V::Srli16(V::MulhiU16(x, V::Set16(4162)), 2);
    });
  }
};

// d + (t - d) * p / 255 toward zero on one field: the difference table row p. scale(m) gives
// floor(m * p / 255) for the magnitude m <= 63 of t - d.
template <class V, class Scale>
typename V::R DiffStep565(typename V::R d, typename V::R t, Scale scale) {
  const auto diff = V::Sub16(t, d);
  return V::Add16(d, V::Sign16(scale(V::Abs16(diff)), diff));
}

template <class V>
struct Invert565 {
  static constexpr Op kOp = kInvert565;
  using K = ParamConst<V>;
  static typename V::R Apply(typename V::R d, typename V::R s, const K& k) {
    auto scale = [&](typename V::R m) { return Div255<V>(V::Mullo16(m, k.p)); };
    return Map565<V>(d, V::Xor(s, V::Set16(0xFFFF)), [&](auto df, auto tf) { return DiffStep565<V>(df, tf, scale); });
  }
};

template <class V>
struct Halve565 {
  static constexpr Op kOp = kHalve565;
  using K = NoConsts;
  static typename V::R Apply(typename V::R d, typename V::R s, const K&) {
    const auto m = V::Set16(0x7BEF);
    return V::Add16(V::And(V::Srli16(s, 1), m), V::And(V::Srli16(d, 1), m));
  }
};

// Modes 2 and 3: each source field scaled by p / 255, then the packed operation on one pixel
// per lane. Red's carry out of the lane is bit 15 of the rounded-up average: the sum of two
// masked words is never 0xFFFF, so rounding cannot reach it alone.
template <class V, bool Sub>
struct AddSub565 {
  static constexpr Op kOp = Sub ? kSub565 : kAdd565;
  using K = ParamConst<V>;
  static typename V::R Apply(typename V::R d, typename V::R s, const K& k) {
    const Fields<V> sf = Split565<V>(s);
    auto scale = [&](auto f) { return Div255<V>(V::Mullo16(f, k.p)); };
    const auto t = Join565<V>({scale(sf.r), scale(sf.g), scale(sf.b)});
    const auto mask = V::Set16(0xF7DF), guards = V::Set16(0x0820);
    if constexpr (Sub) {
      const auto a = V::Or(d, guards), b = V::And(t, mask);
      const auto u = V::Sub16(a, b);
      const auto c = V::And(u, guards);
      const auto redKept = V::And(V::CmpEq16(V::SubsU16(b, a), V::Zero()), V::Set16(0xF800));
      return V::And(u, V::Or(V::Sub16(c, V::Srli16(c, 5)), redKept));
    } else {
      const auto a = V::And(d, mask), b = V::And(t, mask);
      const auto sum = V::Add16(a, b);
      const auto c = V::And(sum, guards);
      const auto redFull = V::And(V::Srai16(V::AvgU16(a, b), 15), V::Set16(0xF800));
      return V::Or(V::Or(sum, V::Sub16(c, V::Srli16(c, 5))), V::Or(redFull, V::And(V::Or(t, d), guards)));
    }
  }
};

// Each field scaled at its own width by its brightness byte: floor(f * b / 255).
template <class V>
struct Bright565 {
  static constexpr Op kOp = kBright565;
  struct K {
    typename V::R r, g, b;
    explicit K(const Context& c)
        : r(V::Set16((c.brightness >> 16) & 0xFF)), g(V::Set16((c.brightness >> 8) & 0xFF)),
          b(V::Set16(c.brightness & 0xFF)) {}
  };
  static typename V::R Apply(typename V::R, typename V::R s, const K& k) {
    const Fields<V> f = Split565<V>(s);
    return Join565<V>({Div255<V>(V::Mullo16(f.r, k.r)), Div255<V>(V::Mullo16(f.g, k.g)), Div255<V>(V::Mullo16(f.b, k.b))});
  }
};

// Two neighbouring pixels per 32-bit lane; see pixel::AddPacked565Pair and SubPacked565Pair.
template <class V>
struct AddPair565 {
  static constexpr Op kOp = kAddPair565;
  using K = NoConsts;
  static typename V::R Apply(typename V::R d, typename V::R s, const K&) {
    const auto m = V::Set32(0xF7DEF7DFu);
    const auto a = V::And(s, m), b = V::And(d, m);
    const auto sum = V::Add32(a, b);
    const auto carry = V::Or(V::And(a, b), V::AndNot(sum, V::Or(a, b)));  // bit 31: carry out
    const auto c = V::And(sum, V::Set32(0x08210820u));
    return V::Or(sum, V::Sub32(c, V::Or(V::Srli32(c, 5), V::Slli32(V::Srli32(carry, 31), 27))));
  }
};
template <class V>
struct SubPair565 {
  static constexpr Op kOp = kSubPair565;
  using K = NoConsts;
  static typename V::R Apply(typename V::R d, typename V::R s, const K&) {
    const auto a = V::Or(d, V::Set32(0x08210820u)), b = V::And(s, V::Set32(0xF7DEF7DFu));
    const auto u = V::Sub32(a, b);
    // bit 31: borrow out
    const auto borrow = V::Or(V::AndNot(a, b), V::AndNot(V::Xor(a, b), u));
    const auto c = V::And(u, V::Set32(0x08210820u));
    const auto top = V::AndNot(V::Srai32(borrow, 31), V::Set32(0xF8000000u));
    return V::And(u, V::Or(V::Sub32(c, V::Srli32(c, 5)), top));
  }
};

// ---------------------------------------------------------------- one colour

// Modes 1 and 10 of the solid draws, toward the call's target (already inverted for mode 10).
template <class V>
struct SolidLerp32 {
  static constexpr SolidOp kOp = kSolidLerp32;
  static constexpr int kPxBytes = 4;
  struct K {
    typename V::R t, w, iw;
    explicit K(const SolidCall& c)
        : t(V::Set32(c.target[0] | c.target[1] << 8 | c.target[2] << 16)), w(V::Set16(c.p)), iw(V::Set16(256 - c.p)) {}
  };
  static bool Handles(const SolidCall&) { return true; }
  static typename V::R Apply(typename V::R d, const K& k) { return LerpBGR<V>(d, k.t, k.w, k.iw); }
};
// floor(m * p / 255) for m <= 63 is (m * ceil(p * 2^16 / 255)) >> 16 while p < 255; rows with
// p = 255 (mode 10 only) take the generic kernel.
template <class V>
struct SolidLerp565 {
  static constexpr SolidOp kOp = kSolidLerp565;
  static constexpr int kPxBytes = 2;
  struct K {
    typename V::R b, g, r, m;
    explicit K(const SolidCall& c)
        : b(V::Set16(c.target[0])), g(V::Set16(c.target[1])), r(V::Set16(c.target[2])),
          m(V::Set16((static_cast<uint32_t>(c.p) * 65536u + 254u) / 255u)) {}
  };
  static bool Handles(const SolidCall& c) { return c.p < 255; }
  static typename V::R Apply(typename V::R d, const K& k) {
    const Fields<V> f = Split565<V>(d);
    auto scale = [&](typename V::R mag) { return V::MulhiU16(mag, k.m); };
    return Join565<V>({DiffStep565<V>(f.r, k.r, scale), DiffStep565<V>(f.g, k.g, scale),
                       DiffStep565<V>(f.b, k.b, scale)});
  }
};

// ---------------------------------------------------------------- rows

// A row in registers. Its last register, unaligned, is computed from the row as it was and
// stored after the others, so the pixels it shares with them get the same values twice and
// none is blended twice; rows shorter than a register go to the set below. Transparent pixels
// (equal to the key) keep the destination; a 16-bit key above 16 bits matches no pixel.
// Kernels that pair pixels end with the generic kernel, which does an odd last pixel alone.
template <class V, class Kern, bool T, int kPxBytes>
void Row(uint8_t* dst, const uint8_t* src, int n, const Context& c) {
  constexpr int kPx = V::kBytes / kPxBytes;
  constexpr bool kPairs = Kern::kOp == kAddPair565 || Kern::kOp == kSubPair565;
  if (n < kPx) return gGeneric.blend[Kern::kOp][T](dst, src, n, c);
  const typename Kern::K k(c);
  const auto key = kPxBytes == 4 ? V::Set32(c.key) : V::Set16(c.key);
  const bool keyed = T && (kPxBytes == 4 || c.key <= 0xFFFFu);
  auto blend = [&](const uint8_t* d, const uint8_t* s) {
    const auto dv = V::Load(d), sv = V::Load(s);
    const auto r = Kern::Apply(dv, sv, k);
    return keyed ? V::Select(kPxBytes == 4 ? V::CmpEq32(sv, key) : V::CmpEq16(sv, key), dv, r) : r;
  };
  const size_t lastOff = static_cast<size_t>(n - kPx) * kPxBytes;
  typename V::R last{};
  if constexpr (!kPairs) last = blend(dst + lastOff, src + lastOff);
  int x = 0;
  for (; x + kPx <= n; x += kPx, dst += V::kBytes, src += V::kBytes) V::Store(dst, blend(dst, src));
  if (x == n) return;
  if constexpr (kPairs) gGeneric.blend[Kern::kOp][T](dst, src, n - x, c);
  else V::Store(dst - static_cast<size_t>(x) * kPxBytes + lastOff, last);
}

// A row blended in place with one colour. Every register is computed from the row as it was:
// the first and last ones, unaligned, are stored after the aligned ones between them, so the
// pixels they share get the same values twice and no pixel is blended twice.
template <class V, class Kern>
void SolidRow(uint8_t* dst, int n, const SolidCall& c) {
  constexpr int kPx = V::kBytes / Kern::kPxBytes;
  if (!Kern::Handles(c)) return gGeneric.solid[Kern::kOp](dst, n, c);
  const typename Kern::K k(c);
  if (n < kPx) {
    alignas(32) uint8_t buf[V::kBytes] = {};
    const size_t bytes = static_cast<size_t>(n) * Kern::kPxBytes;
    std::memcpy(buf, dst, bytes);
    V::Store(buf, Kern::Apply(V::Load(buf), k));
    std::memcpy(dst, buf, bytes);
    return;
  }
  uint8_t* last = dst + static_cast<size_t>(n - kPx) * Kern::kPxBytes;
  const auto first = Kern::Apply(V::Load(dst), k), end = Kern::Apply(V::Load(last), k);
  const size_t off = reinterpret_cast<uintptr_t>(dst) % V::kBytes;
  // Rows of odd addresses (16-bit pixels off their word) go unaligned from the second register.
  uint8_t* d = dst + (off != 0 && off % Kern::kPxBytes == 0 ? V::kBytes - off : V::kBytes);
  for (; d < last; d += V::kBytes) V::Store(d, Kern::Apply(V::Load(d), k));
  V::Store(dst, first);
  V::Store(last, end);
}

// SolidLerp565 toward black: each field loses floor(f * p / 255), taken in place. The field
// shifted up by s gives floor(f * m / 2^(16 - s)) in the high word, its low s bits cut off
// leave floor(f * m / 2^16) << s, and no field loses more than it has.
template <class V>
struct SolidDark565 {
  static constexpr SolidOp kOp = kSolidLerp565;
  static constexpr int kPxBytes = 2;
  using K = typename SolidLerp565<V>::K;
  static bool Handles(const SolidCall& c) {
    return c.p < 255 && c.target[0] == 0 && c.target[1] == 0 && c.target[2] == 0;
  }
  static typename V::R Apply(typename V::R d, const K& k) {
    auto loss = [&](uint32_t field) { return V::And(V::MulhiU16(V::And(d, V::Set16(field)), k.m), V::Set16(field)); };
    return V::Sub16(d, V::Or(V::Or(loss(0xF800), loss(0x07E0)), V::MulhiU16(V::And(d, V::Set16(0x001F)), k.m)));
  }
};
template <class V>
void SolidLerp565Row(uint8_t* dst, int n, const SolidCall& c) {
  if (SolidDark565<V>::Handles(c)) return SolidRow<V, SolidDark565<V>>(dst, n, c);
  SolidRow<V, SolidLerp565<V>>(dst, n, c);
}

template <class V, template <class> class Kern, int kPxBytes>
void Set(Table* t) {
  t->blend[Kern<V>::kOp][0] = Row<V, Kern<V>, false, kPxBytes>;
  t->blend[Kern<V>::kOp][1] = Row<V, Kern<V>, true, kPxBytes>;
}
template <class V>
using Add32 = AddSub32<V, false>;
template <class V>
using Sub32 = AddSub32<V, true>;
template <class V>
using Add565 = AddSub565<V, false>;
template <class V>
using Sub565 = AddSub565<V, true>;

// A copy, so pixels may be written twice with the same values: the first and last registers of
// a row overlap the others instead of leaving pixels to a slower loop, and the first one is
// cut short so the rest start on a block of one register pair. Writes that fill such blocks
// (whole cache lines for AVX2) are markedly faster.
template <class V, int kBytes>
void DoubleRow(uint8_t* dst, uint8_t* dst2, const uint8_t* src, int n) {
  constexpr int kPx = V::kBytes / kBytes;
  constexpr size_t kBlock = 2 * V::kBytes;
  if (n < kPx) return (kBytes == 2 ? gGeneric.double16 : gGeneric.double32)(dst, dst2, src, n);
  auto step = [&](int x) {
    typename V::R lo, hi;
    if constexpr (kBytes == 2) V::Double16(V::Load(src + x * kBytes), &lo, &hi);
    else V::Double32(V::Load(src + x * kBytes), &lo, &hi);
    V::Store(dst + 2 * x * kBytes, lo);
    V::Store(dst + 2 * x * kBytes + V::kBytes, hi);
    if (dst2 != nullptr) {
      V::Store(dst2 + 2 * x * kBytes, lo);
      V::Store(dst2 + 2 * x * kBytes + V::kBytes, hi);
    }
  };
  step(0);
  const size_t off = reinterpret_cast<uintptr_t>(dst) % kBlock;
  int x = off != 0 && off % (2 * kBytes) == 0 ? static_cast<int>((kBlock - off) / (2 * kBytes)) : kPx;
  for (; x + kPx <= n; x += kPx) step(x);
  if (x < n) step(n - kPx);
}

// Registers from the destination's left; each holds the source pixels that end it, reversed.
// A keyed copy gives the same pixel however often it is done, so the last register overlaps
// the one before it instead of leaving pixels to a slower loop.
template <class V, int kBytes, bool T>
void MirrorRow(uint8_t* dst, const uint8_t* src, int n, uint32_t key) {
  constexpr int kPx = V::kBytes / kBytes;
  if (n < kPx) return (kBytes == 2 ? gGeneric.mirror16 : gGeneric.mirror32)[T](dst, src, n, key);
  const auto k = kBytes == 4 ? V::Set32(key) : V::Set16(key);
  const bool keyed = T && (kBytes == 4 || key <= 0xFFFFu);
  auto step = [&](int x) {
    const auto v = V::Load(src + static_cast<ptrdiff_t>(n - x - kPx) * kBytes);
    const auto s = kBytes == 4 ? V::Reverse32(v) : V::Reverse16(v);
    uint8_t* d = dst + static_cast<ptrdiff_t>(x) * kBytes;
    if (keyed) V::Store(d, V::Select(kBytes == 4 ? V::CmpEq32(s, k) : V::CmpEq16(s, k), V::Load(d), s));
    else V::Store(d, s);
  };
  int x = 0;
  for (; x + kPx <= n; x += kPx) step(x);
  if (x < n) step(n - kPx);
}

// Every kernel of this file at register type V. The pair kernels work only without
// transparency; with it a pair depends on which of its pixels are drawn.
template <class V>
void FillWith(Table* t) {
  gGeneric = *t;
  Set<V, Copy32, 4>(t);
  Set<V, Alpha32, 4>(t);
  Set<V, Invert32, 4>(t);
  Set<V, Add32, 4>(t);
  Set<V, Sub32, 4>(t);
  Set<V, Halve32, 4>(t);
  Set<V, AddSat32, 4>(t);
  Set<V, SubSat32, 4>(t);
  Set<V, AddWhole32, 4>(t);
  Set<V, SubWhole32, 4>(t);
  Set<V, Bright32, 4>(t);
  Set<V, Copy565, 2>(t);
  Set<V, Lerp565, 2>(t);
  Set<V, Invert565, 2>(t);
  Set<V, Add565, 2>(t);
  Set<V, Sub565, 2>(t);
  Set<V, Halve565, 2>(t);
  Set<V, Bright565, 2>(t);
  t->blend[kAddPair565][0] = Row<V, AddPair565<V>, false, 2>;
  t->blend[kSubPair565][0] = Row<V, SubPair565<V>, false, 2>;
  t->solid[kSolidLerp32] = SolidRow<V, SolidLerp32<V>>;
  t->solid[kSolidLerp565] = SolidLerp565Row<V>;
  t->double16 = DoubleRow<V, 2>;
  t->double32 = DoubleRow<V, 4>;
  t->mirror16[0] = MirrorRow<V, 2, false>;
  t->mirror16[1] = MirrorRow<V, 2, true>;
  t->mirror32[0] = MirrorRow<V, 4, false>;
  t->mirror32[1] = MirrorRow<V, 4, true>;
}

}  // namespace
}  // namespace rows
