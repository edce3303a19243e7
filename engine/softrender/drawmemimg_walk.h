// Tamrak engine: the walks of DrawMemImg and the choice of one loop per call.
//
// Each walk takes its kernel and the per-call flags as template arguments, so every
// combination compiles to its own loop; per pixel only the transparency and alpha tests of
// the rule remain. DrawGeneral<Source> and DrawRuns<Source> are instantiated once per source
// kind in their own files.
#pragma once

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "engine/softrender/blend_rows.h"
#include "engine/softrender/drawmemimg_kernels.h"

namespace drawmemimg {

// ---------------------------------------------------------------- pixel stores

struct Dest32 {
  static constexpr int kStep = 4;
  static uint32_t Load(const uint8_t* p) { return pixel::Load32(p); }
  static void Store(uint8_t* p, uint32_t v) { pixel::Store32(p, v); }
};
struct Dest16 {
  static constexpr int kStep = 2;
  static uint32_t Load(const uint8_t* p) { return pixel::Load16(p); }
  static void Store(uint8_t* p, uint32_t v) { pixel::Store16(p, v); }
};

// Source kinds. kAlpha: may carry alpha (0 never, 1 by the base's flag, 2 always).
struct Source32 {  // B, G, R, X (X is alpha when the base says so)
  using Dest = Dest32;
  static constexpr int kStep = 4, kAlpha = 1;
  static constexpr bool kCopyRows = true;
  static uint32_t Color(const Context&, const uint8_t* p) { return pixel::Load32(p); }
  static uint32_t Alpha(const uint8_t* p) { return p[3]; }
  static bool IsKey(const Context& c, const uint8_t*, uint32_t s) { return s == c.key; }
};
struct Palette32 {
  using Dest = Dest32;
  static constexpr int kStep = 1, kAlpha = 0;
  static constexpr bool kCopyRows = false;
  static uint32_t Color(const Context& c, const uint8_t* p) { return c.palette[*p]; }
  static bool IsKey(const Context& c, const uint8_t* p, uint32_t) { return *p == c.key; }
};
struct Source16 {  // RGB565 word
  using Dest = Dest16;
  static constexpr int kStep = 2, kAlpha = 0;
  static constexpr bool kCopyRows = true;
  static uint32_t Color(const Context&, const uint8_t* p) { return pixel::Load16(p); }
  static bool IsKey(const Context& c, const uint8_t*, uint32_t s) { return s == c.key; }
};
struct Source16Alpha {  // RGB565 word, alpha byte, unused byte
  using Dest = Dest16;
  static constexpr int kStep = 4, kAlpha = 2;
  static constexpr bool kCopyRows = false;
  static uint32_t Color(const Context&, const uint8_t* p) { return pixel::Load16(p); }
  static uint32_t Alpha(const uint8_t* p) { return p[2]; }
  static bool IsKey(const Context& c, const uint8_t*, uint32_t s) { return s == c.key; }
};
struct Palette16 {
  using Dest = Dest16;
  static constexpr int kStep = 1, kAlpha = 0;
  static constexpr bool kCopyRows = false;
  static uint32_t Color(const Context& c, const uint8_t* p) { return c.palette[*p]; }
  static bool IsKey(const Context& c, const uint8_t* p, uint32_t) { return *p == c.key; }
};

// The call's choices, after the frame has settled the mode (mode 1 at p == 255 is mode 0).
struct Choice {
  int mode;
  bool blend, bright, alpha, trans, mmx;
};

// How a walk treats the source alpha: not at all (key test when T); skip 0, drop the factor
// at 255 (transparency on); always a factor (transparency off).
enum class AlphaUse { None, Trans, Always };

// ---------------------------------------------------------------- walks

// One row of the rectangle walk: n pixels from dp, sp and (when K) the blend row bp.
template <class S, class Kern, bool K, AlphaUse A, bool T>
void RectRow(uint8_t* dp, const uint8_t* sp, const uint8_t* bp, int n, const Context& c) {
  using D = typename S::Dest;
  for (int x = 0; x < n; ++x, sp += S::kStep, dp += D::kStep) {
    uint32_t k = 0;
    if constexpr (K) k = BlendGraphAlphaTable[bp[x]];
    if constexpr (A == AlphaUse::None) {
      const uint32_t s = S::Color(c, sp);
      if (T && S::IsKey(c, sp, s)) continue;
      D::Store(dp, Kern::Opaque(c, D::Load(dp), s, k));
    } else if constexpr (A == AlphaUse::Trans) {
      const uint32_t a = S::Alpha(sp);
      if (a == 0) continue;
      const uint32_t s = S::Color(c, sp);
      D::Store(dp, a == 255 ? Kern::Opaque(c, D::Load(dp), s, k) : Kern::Blend(c, D::Load(dp), s, a, k));
    } else {
      D::Store(dp, Kern::Blend(c, D::Load(dp), S::Color(c, sp), S::Alpha(sp), k));
    }
  }
}

// span(y, x, n) for each row y of the clipped rectangle and each span of columns x .. x + n - 1
// (from the rectangle's left) that the sheet's code does not mark clear. Neighbouring runs
// that are not clear make one span. With even, spans start at an even x: the pixel put in
// front is clear, so a walk that tests transparency skips it. A damaged code stays in its
// buffer and its rows.
template <class F>
void SheetSpans(const Context& c, bool even, F span) {
  const int x0 = c.sheetCol, x1 = c.sheetCol + c.w;
  const ptrdiff_t size = c.codeEnd - c.code;
  const int blocks = (c.sheetWidth + 63) / 64;
  for (int y = 0; y < c.h; ++y) {
    const int* entry = c.sheetIndex + 2 * (ptrdiff_t(c.sheetRow + y) * blocks + x0 / 64);
    const int at = entry[0];
    int x = entry[1];
    if (at < 0 || at >= size || x < 0 || x > x0) continue;
    auto flush = [&](int a, int b) {
      a = std::max(a, x0), b = std::min(b, x1);
      if (a >= b) return;
      const int from = even ? (a - x0) & ~1 : a - x0;
      span(y, from, b - x0 - from);
    };
    const uint8_t* p = c.code + at;
    int open = -1;
    while (p < c.codeEnd && x < x1) {
      const uint32_t run = *p++;
      if ((run & MEMIMG_TRANSCODE_ROWEND) == MEMIMG_TRANSCODE_ROWEND) break;
      const int end = std::min(x + int(run & 63) + 1, c.sheetWidth);
      if ((run & 0xC0) == MEMIMG_TRANSCODE_CLEAR) {
        if (open >= 0) flush(open, x);
        open = -1;
      } else if (open < 0) {
        open = x;
      }
      x = end;
    }
    if (open >= 0) flush(open, x);
  }
}

template <class S, class Kern, bool K, AlphaUse A, bool T>
void WalkRect(const Context& c) {
  using D = typename S::Dest;
  if constexpr (T || A == AlphaUse::Trans) {
    if (c.sheetIndex != nullptr) {
      return SheetSpans(c, false, [&](int y, int x, int n) {
        RectRow<S, Kern, K, A, T>(c.dst + y * c.dstPitch + x * D::kStep, c.src + y * c.srcPitch + x * S::kStep,
                                  K ? c.blend + y * c.blendPitch + x : nullptr, n, c);
      });
    }
  }
  for (int y = 0; y < c.h; ++y)
    RectRow<S, Kern, K, A, T>(c.dst + y * c.dstPitch, c.src + y * c.srcPitch, K ? c.blend + y * c.blendPitch : nullptr,
                              c.w, c);
}

// Plain copy of a source whose pixels have the destination's layout: one block when the rows
// lie end to end in both images, else whole rows.
template <class S>
void CopyRows(const Context& c) {
  const size_t bytes = size_t(c.w) * S::kStep;
  if (c.srcPitch == ptrdiff_t(bytes) && c.dstPitch == ptrdiff_t(bytes) && rows::SpecialWalks()) {
    std::memmove(c.dst, c.src, bytes * size_t(c.h));
    return;
  }
  for (int y = 0; y < c.h; ++y) std::memcpy(c.dst + y * c.dstPitch, c.src + y * c.srcPitch, bytes);
}

// 16-bit shortcuts that work neighbouring pixels in pairs, counted from the row's first drawn
// pixel; a pair with one transparent pixel does the other alone.
template <class S, class Kern, bool T>
void PairRow(uint8_t* dp, const uint8_t* sp, int n, const Context& c) {
  int x = 0;
  for (; x + 1 < n; x += 2, sp += 2 * S::kStep, dp += 4) {
    const uint32_t s0 = S::Color(c, sp), s1 = S::Color(c, sp + S::kStep);
    const bool skip0 = T && S::IsKey(c, sp, s0), skip1 = T && S::IsKey(c, sp + S::kStep, s1);
    if (!skip0 && !skip1) {
      const uint32_t r = Kern::Pair(pixel::Load32(dp), s0 | (s1 << 16));
      pixel::Store32(dp, r);
    } else if (!skip0) {
      pixel::Store16(dp, Kern::One(pixel::Load16(dp), s0));
    } else if (!skip1) {
      pixel::Store16(dp + 2, Kern::One(pixel::Load16(dp + 2), s1));
    }
  }
  if (x < n) {
    const uint32_t s = S::Color(c, sp);
    if (!(T && S::IsKey(c, sp, s))) pixel::Store16(dp, Kern::One(pixel::Load16(dp), s));
  }
}

// The rectangle walk of the plain blends, as row kernels (the generic set of rows::Table).
template <class S, class Kern, bool T>
void PlainRow(uint8_t* dst, const uint8_t* src, int n, const Context& c) {
  RectRow<S, Kern, false, AlphaUse::None, T>(dst, src, nullptr, n, c);
}

// Every row of the rectangle, or with spans every span of a sheet, through one row kernel (one
// that tests transparency when a sheet is given). pairs: the kernel works pixels in pairs
// counted from the rectangle's left.
template <class S>
void WalkRows(const Context& c, rows::BlendFn row, bool pairs, bool spans) {
  if (spans && c.sheetIndex != nullptr) {
    return SheetSpans(c, pairs, [&](int y, int x, int n) {
      row(c.dst + y * c.dstPitch + x * S::Dest::kStep, c.src + y * c.srcPitch + x * S::kStep, n, c);
    });
  }
  for (int y = 0; y < c.h; ++y) row(c.dst + y * c.dstPitch, c.src + y * c.srcPitch, c.w, c);
}

// The row kernel of a plain blend, or kOpCount for a mode without one. The frame has made
// mode 1 at p == 255 into mode 0, so p here is the blend's own parameter.
template <bool k32>
rows::Op PlainOp(int mode, uint32_t p, bool mmx, bool trans) {
  switch (mode) {
    case 0:
      if (trans) return k32 ? rows::kCopy32 : rows::kCopy565;
      return rows::kOpCount;
    case 1:
      if (p == 128) return k32 ? rows::kHalve32 : rows::kHalve565;
      return k32 ? rows::kAlpha32 : rows::kLerp565;
    case 10:
      return k32 ? rows::kInvert32 : rows::kInvert565;
    case 2:
      if (p == 255) return k32 ? (mmx ? rows::kAddSat32 : rows::kAddWhole32) : rows::kAddPair565;
      return k32 ? rows::kAdd32 : rows::kAdd565;
    case 3:
      if (p == 255) return k32 ? (mmx ? rows::kSubSat32 : rows::kSubWhole32) : rows::kSubPair565;
      return k32 ? rows::kSub32 : rows::kSub565;
    default:
      return rows::kOpCount;
  }
}

// Opaque runs of a copy of a direct source need no kernel per pixel: a plain copy is a block
// of bytes, one with brightness a row kernel.
template <class S, class Kern>
constexpr int RunCopy() {
  if constexpr (!S::kCopyRows) return 0;
  else if constexpr (std::is_same<Kern, Copy32<false, false>>::value || std::is_same<Kern, Copy565<false, false>>::value)
    return 1;
  else if constexpr (std::is_same<Kern, Copy32<false, true>>::value || std::is_same<Kern, Copy565<false, true>>::value)
    return 2;
  else return 0;
}

// The run-length walk: transparency comes from the code alone (clear runs skipped, opaque
// runs without alpha, partial runs with the pixel's alpha). Runs are cut at the row's end and
// the walk stops at the end of the code, so a damaged code cannot leave the image.
template <class S, class Kern, bool K, bool A>
void WalkRuns(const Context& c) {
  using D = typename S::Dest;
  constexpr int kRunCopy = K ? 0 : RunCopy<S, Kern>();
  const bool whole = kRunCopy != 0 && rows::SpecialWalks();
  rows::BlendFn brightRow = nullptr;
  if constexpr (kRunCopy == 2)
    brightRow = rows::Active().blend[std::is_same<D, Dest32>::value ? rows::kBright32 : rows::kBright565][0];
  const uint8_t* code = c.code;
  for (int y = 0; y < c.h && code < c.codeEnd; ++y) {
    const uint8_t* sp = c.src + y * c.srcPitch;
    uint8_t* dp = c.dst + y * c.dstPitch;
    const uint8_t* bp = K ? c.blend + y * c.blendPitch : nullptr;
    int x = 0;
    while (code < c.codeEnd) {
      const uint32_t run = *code++;
      if ((run & MEMIMG_TRANSCODE_ROWEND) == MEMIMG_TRANSCODE_ROWEND) break;
      int n = int(run & 63) + 1;
      if (n > c.w - x) n = c.w - x;
      const int end = x + n;
      if ((run & 0xC0) == MEMIMG_TRANSCODE_CLEAR) {
        x = end;
      } else if ((!A || (run & 0xC0) == MEMIMG_TRANSCODE_OPAQUE) && whole) {
        if constexpr (kRunCopy == 1) std::memcpy(dp + x * D::kStep, sp + x * S::kStep, size_t(n) * D::kStep);
        else brightRow(dp + x * D::kStep, sp + x * S::kStep, n, c);
        x = end;
      } else if (!A || (run & 0xC0) == MEMIMG_TRANSCODE_OPAQUE) {
        for (; x < end; ++x) {
          uint32_t k = 0;
          if constexpr (K) k = BlendGraphAlphaTable[bp[x]];
          uint8_t* d = dp + x * D::kStep;
          D::Store(d, Kern::Opaque(c, D::Load(d), S::Color(c, sp + x * S::kStep), k));
        }
      } else {
        if constexpr (A) {
          for (; x < end; ++x) {
            uint32_t k = 0;
            if constexpr (K) k = BlendGraphAlphaTable[bp[x]];
            uint8_t* d = dp + x * D::kStep;
            const uint8_t* s = sp + x * S::kStep;
            D::Store(d, Kern::Blend(c, D::Load(d), S::Color(c, s), S::Alpha(s), k));
          }
        }
      }
    }
  }
}

// ---------------------------------------------------------------- choice of the loop

// Source alpha, then transparency.
template <class S, class Kern, bool K>
void PickAlpha(const Context& c, const Choice& ch) {
  if constexpr (S::kAlpha != 0) {
    if (S::kAlpha == 2 || ch.alpha) {
      if (ch.trans) WalkRect<S, Kern, K, AlphaUse::Trans, false>(c);
      else WalkRect<S, Kern, K, AlphaUse::Always, false>(c);
      return;
    }
  }
  if constexpr (S::kAlpha != 2) {
    if (ch.trans) WalkRect<S, Kern, K, AlphaUse::None, true>(c);
    else WalkRect<S, Kern, K, AlphaUse::None, false>(c);
  }
}

// Blend image, then brightness.
template <class S, template <bool, bool> class KernelOf>
void PickGeneral(const Context& c, const Choice& ch) {
  if (ch.blend) {
    if (ch.bright) PickAlpha<S, KernelOf<true, true>, true>(c, ch);
    else PickAlpha<S, KernelOf<true, false>, true>(c, ch);
  } else {
    if (ch.bright) PickAlpha<S, KernelOf<false, true>, false>(c, ch);
    else PickAlpha<S, KernelOf<false, false>, false>(c, ch);
  }
}

template <class S, class Kern>
void PickTrans(const Context& c, const Choice& ch) {
  if (ch.trans) WalkRect<S, Kern, false, AlphaUse::None, true>(c);
  else WalkRect<S, Kern, false, AlphaUse::None, false>(c);
}

template <class D>
struct KernelSet;
template <>
struct KernelSet<Dest32> {
  template <bool K, bool B> using Copy = Copy32<K, B>;
  template <bool K, bool B> using Alpha = Alpha32Plain<K, B>;
  template <bool K, bool B> using Add = Add32<K, B>;
  template <bool K, bool B> using Sub = Sub32<K, B>;
  template <bool K, bool B> using Mul = Mul32<K, B>;
  template <bool K, bool B> using Invert = Alpha32Inverted<K, B>;
  template <bool K, bool B> using MulAlpha = MulAlpha32<K, B>;
};
template <>
struct KernelSet<Dest16> {
  template <bool K, bool B> using Copy = Copy565<K, B>;
  template <bool K, bool B> using Alpha = Alpha565Plain<K, B>;
  template <bool K, bool B> using Add = Add565<K, B>;
  template <bool K, bool B> using Sub = Sub565<K, B>;
  template <bool K, bool B> using Mul = Mul565<K, B>;
  template <bool K, bool B> using Invert = Alpha565Inverted<K, B>;
  template <bool K, bool B> using MulAlpha = MulAlpha565<K, B>;
};

// The general path: every pixel of the clipped rectangle is looked at.
template <class S>
void DrawGeneral(const Context& c, const Choice& ch) {
  using Set = KernelSet<typename S::Dest>;
  constexpr bool k32 = std::is_same<typename S::Dest, Dest32>::value;
  const bool simple = !ch.blend && !ch.bright && !(S::kAlpha == 2 || ch.alpha);
  if constexpr (S::kCopyRows) {
    if (simple) {
      const rows::Op op = PlainOp<k32>(ch.mode, c.p, ch.mmx, ch.trans);
      // Vector kernels test transparency faster than the runs of a sheet would skip it.
      if (op != rows::kOpCount)
        return WalkRows<S>(c, rows::Active().blend[op][ch.trans], op == rows::kAddPair565 || op == rows::kSubPair565,
                           false);
    }
  }
  switch (ch.mode) {
    case 0:
      // Without blend image and brightness an alpha source drawn without transparency is
      // copied whole too.
      if (!ch.blend && !ch.bright && !(ch.trans && (S::kAlpha == 2 || ch.alpha))) {
        if constexpr (S::kCopyRows) {
          if (!ch.trans) return CopyRows<S>(c);
        }
        using Copy = typename Set::template Copy<false, false>;
        if constexpr (S::kAlpha == 2) return WalkRect<S, Copy, false, AlphaUse::None, false>(c);
        else return PickTrans<S, Copy>(c, ch);
      }
      // With brightness a sheet's spans are followed, as the general walk follows them.
      if constexpr (S::kCopyRows) {
        if (!ch.blend && !ch.alpha)
          return WalkRows<S>(c, rows::Active().blend[k32 ? rows::kBright32 : rows::kBright565][ch.trans], false, true);
      }
      return PickGeneral<S, Set::template Copy>(c, ch);
    case 1:
      if (simple) {
        if constexpr (S::kAlpha != 2) {
          if (c.p == 128) {
            if constexpr (k32) return PickTrans<S, Halve32Kernel>(c, ch);
            else return PickTrans<S, Halve565Kernel>(c, ch);
          }
          if constexpr (!k32) return PickTrans<S, Lerp6Kernel565>(c, ch);
        }
      }
      return PickGeneral<S, Set::template Alpha>(c, ch);
    case 2:
    case 3:
      if (simple && c.p == 255) {
        if constexpr (S::kAlpha != 2) {
          const bool add = ch.mode == 2;
          if constexpr (k32) {
            if (ch.mmx) return add ? PickTrans<S, AddSat32Kernel>(c, ch) : PickTrans<S, SubSat32Kernel>(c, ch);
            return add ? PickTrans<S, AddWhole32Kernel>(c, ch) : PickTrans<S, SubWhole32Kernel>(c, ch);
          } else {
            if (ch.trans)
              return WalkRows<S>(c, add ? PairRow<S, AddPair565Kernel, true> : PairRow<S, SubPair565Kernel, true>, true,
                                 true);
            return WalkRows<S>(c, add ? PairRow<S, AddPair565Kernel, false> : PairRow<S, SubPair565Kernel, false>, true,
                               true);
          }
        }
      }
      if (ch.mode == 2) return PickGeneral<S, Set::template Add>(c, ch);
      return PickGeneral<S, Set::template Sub>(c, ch);
    case 4:
      return PickGeneral<S, Set::template Mul>(c, ch);
    case 10:
      return PickGeneral<S, Set::template Invert>(c, ch);
    case 11:
      return PickGeneral<S, Set::template MulAlpha>(c, ch);
    default:
      return;
  }
}

// The run-length path: the same rules with no shortcut by parameter value.
template <class S, template <bool, bool> class KernelOf>
void PickRuns(const Context& c, const Choice& ch) {
  const bool alpha = S::kAlpha == 2 || ch.alpha;
  auto walk = [&](auto kernel, auto blendTag) {
    using Kern = decltype(kernel);
    constexpr bool K = decltype(blendTag)::value;
    if constexpr (S::kAlpha != 0) {
      if (alpha) return WalkRuns<S, Kern, K, true>(c);
    }
    if constexpr (S::kAlpha != 2) WalkRuns<S, Kern, K, false>(c);
  };
  if (ch.blend) {
    if (ch.bright) walk(KernelOf<true, true>{}, std::true_type{});
    else walk(KernelOf<true, false>{}, std::true_type{});
  } else {
    if (ch.bright) walk(KernelOf<false, true>{}, std::false_type{});
    else walk(KernelOf<false, false>{}, std::false_type{});
  }
}

template <class S>
void DrawRuns(const Context& c, const Choice& ch) {
  using Set = KernelSet<typename S::Dest>;
  switch (ch.mode) {
    case 0: return PickRuns<S, Set::template Copy>(c, ch);
    case 1: return PickRuns<S, Set::template Alpha>(c, ch);
    case 2: return PickRuns<S, Set::template Add>(c, ch);
    case 3: return PickRuns<S, Set::template Sub>(c, ch);
    case 4: return PickRuns<S, Set::template Mul>(c, ch);
    case 10: return PickRuns<S, Set::template Invert>(c, ch);
    case 11: return PickRuns<S, Set::template MulAlpha>(c, ch);
    default: return;
  }
}

extern template void DrawGeneral<Source32>(const Context&, const Choice&);
extern template void DrawGeneral<Palette32>(const Context&, const Choice&);
extern template void DrawGeneral<Source16>(const Context&, const Choice&);
extern template void DrawGeneral<Source16Alpha>(const Context&, const Choice&);
extern template void DrawGeneral<Palette16>(const Context&, const Choice&);
extern template void DrawRuns<Source32>(const Context&, const Choice&);
extern template void DrawRuns<Palette32>(const Context&, const Choice&);
extern template void DrawRuns<Source16>(const Context&, const Choice&);
extern template void DrawRuns<Source16Alpha>(const Context&, const Choice&);
extern template void DrawRuns<Palette16>(const Context&, const Choice&);

}  // namespace drawmemimg
