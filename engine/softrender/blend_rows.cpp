// Tamrak engine: the generic row kernels and the choice of the set in use.
#include "engine/softrender/blend_rows.h"

#include "engine/softrender/drawmemimg_walk.h"
#include "engine/softrender/pixel_ops.h"
#include "engine/softrender/solid.h"

namespace rows {

namespace {

using namespace drawmemimg;

template <class S, class Kern>
void SetPlain(Table* t, Op op) {
  t->blend[op][0] = PlainRow<S, Kern, false>;
  t->blend[op][1] = PlainRow<S, Kern, true>;
}
template <class Kern>
void SetPairs(Table* t, Op op) {
  t->blend[op][0] = PairRow<Source16, Kern, false>;
  t->blend[op][1] = PairRow<Source16, Kern, true>;
}

template <class Op>
void SolidRow(uint8_t* dst, int n, const softrender::SolidCall& c) {
  Op::Run(dst, n, c);
}

template <int kBytes>
void DoubleRow(uint8_t* dst, uint8_t* dst2, const uint8_t* src, int n) {
  for (int i = 0; i < n; ++i, src += kBytes) {
    std::memcpy(dst + 2 * i * kBytes, src, kBytes);
    std::memcpy(dst + (2 * i + 1) * kBytes, src, kBytes);
  }
  if (dst2 != nullptr) std::memcpy(dst2, dst, size_t(n) * 2 * kBytes);
}

template <int kBytes, bool T>
void MirrorRow(uint8_t* dst, const uint8_t* src, int n, uint32_t key) {
  src += static_cast<ptrdiff_t>(n - 1) * kBytes;
  for (int i = 0; i < n; ++i, src -= kBytes, dst += kBytes) {
    const uint32_t v = kBytes == 4 ? pixel::Load32(src) : pixel::Load16(src);
    if (T && v == key) continue;
    if (kBytes == 4) pixel::Store32(dst, v);
    else pixel::Store16(dst, v);
  }
}

bool Runs(Isa isa) {
#if defined(__x86_64__) || defined(__i386__)
  switch (isa) {
    case Isa::Generic: return true;
    case Isa::Sse2: return __builtin_cpu_supports("sse2");
    case Isa::Avx2: return __builtin_cpu_supports("avx2");
  }
  return false;
#else
  return isa == Isa::Generic;
#endif
}

Table Make(Isa isa) {
  Table t{};
  FillGeneric(&t);
  if (isa == Isa::Sse2 || isa == Isa::Avx2) FillSse2(&t);
  if (isa == Isa::Avx2) FillAvx2(&t);
  return t;
}

struct Current {
  Table table;
  Current() : table(Make(Best())) {}
};
bool gSpecialWalks = true;

Current& State() {
  static Current current;
  return current;
}

}  // namespace

void FillGeneric(Table* t) {
  SetPlain<Source32, Copy32<false, false>>(t, kCopy32);
  SetPlain<Source32, Alpha32Plain<false, false>>(t, kAlpha32);
  SetPlain<Source32, Alpha32Inverted<false, false>>(t, kInvert32);
  SetPlain<Source32, Add32<false, false>>(t, kAdd32);
  SetPlain<Source32, Sub32<false, false>>(t, kSub32);
  SetPlain<Source32, Halve32Kernel>(t, kHalve32);
  SetPlain<Source32, AddSat32Kernel>(t, kAddSat32);
  SetPlain<Source32, SubSat32Kernel>(t, kSubSat32);
  SetPlain<Source32, AddWhole32Kernel>(t, kAddWhole32);
  SetPlain<Source32, SubWhole32Kernel>(t, kSubWhole32);
  SetPlain<Source32, Copy32<false, true>>(t, kBright32);
  SetPlain<Source16, Copy565<false, false>>(t, kCopy565);
  SetPlain<Source16, Lerp6Kernel565>(t, kLerp565);
  SetPlain<Source16, Alpha565Inverted<false, false>>(t, kInvert565);
  SetPlain<Source16, Add565<false, false>>(t, kAdd565);
  SetPlain<Source16, Sub565<false, false>>(t, kSub565);
  SetPlain<Source16, Halve565Kernel>(t, kHalve565);
  SetPairs<AddPair565Kernel>(t, kAddPair565);
  SetPairs<SubPair565Kernel>(t, kSubPair565);
  SetPlain<Source16, Copy565<false, true>>(t, kBright565);
  t->solid[kSolidLerp32] = SolidRow<softrender::SolidLerp32>;
  t->solid[kSolidLerp565] = SolidRow<softrender::SolidLerp16>;
  t->double16 = DoubleRow<2>;
  t->double32 = DoubleRow<4>;
  t->mirror16[0] = MirrorRow<2, false>;
  t->mirror16[1] = MirrorRow<2, true>;
  t->mirror32[0] = MirrorRow<4, false>;
  t->mirror32[1] = MirrorRow<4, true>;
}

Isa Best() {
  static const Isa best = Runs(Isa::Avx2) ? Isa::Avx2 : Runs(Isa::Sse2) ? Isa::Sse2 : Isa::Generic;
  return best;
}

const Table& Active() { return State().table; }

void UseSpecialWalks(bool on) { gSpecialWalks = on; }
bool SpecialWalks() { return gSpecialWalks; }

bool Use(Isa isa) {
  if (!Runs(isa)) return false;
  State().table = Make(isa);
  return true;
}

}  // namespace rows
