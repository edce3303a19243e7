// Tamrak engine: row kernels of the plain blends (direct source in the destination's format,
// no blend image or source alpha; brightness only with the copy) and of pixel doubling, one set per instruction
// set. The generic set is built from the template kernels and is the reference the others
// must match bit for bit; the set in use is picked once from the processor's features.
#pragma once

#include <cstdint>

#include "engine/softrender/drawmemimg_kernels.h"

namespace softrender {
struct SolidCall;
}

namespace rows {

// n pixels of one row, destination and source in their own formats; the context supplies p,
// the transparent colour and the table rows.
using BlendFn = void (*)(uint8_t* dst, const uint8_t* src, int n, const drawmemimg::Context& c);
// n source pixels become 2n destination pixels, each written twice side by side, into dst and,
// when not null, the same way into dst2.
using DoubleFn = void (*)(uint8_t* dst, uint8_t* dst2, const uint8_t* src, int n);
// n pixels into dst from the source row read right to left: destination pixel i shows source
// pixel n - 1 - i. With transparency a pixel equal to key keeps the destination (a 16-bit key
// above 16 bits matches none).
using MirrorFn = void (*)(uint8_t* dst, const uint8_t* src, int n, uint32_t key);
// n pixels of one row moved toward the call's target colour, in place.
using SolidFn = void (*)(uint8_t* dst, int n, const softrender::SolidCall& c);

enum Op {
  kCopy32,      // mode 0 (only with transparency: without, rows are copied whole)
  kAlpha32,     // mode 1
  kInvert32,    // mode 10
  kAdd32,       // mode 2
  kSub32,       // mode 3
  kHalve32,     // mode 1, p == 128
  kAddSat32,    // mode 2, p == 255, packed-byte instructions
  kSubSat32,    // mode 3, p == 255, packed-byte instructions
  kAddWhole32,  // mode 2, p == 255, plain
  kSubWhole32,  // mode 3, p == 255, plain
  kBright32,     // mode 0 with brightness
  kCopy565,     // mode 0 (only with transparency)
  kLerp565,     // mode 1
  kInvert565,   // mode 10
  kAdd565,      // mode 2
  kSub565,      // mode 3
  kHalve565,    // mode 1, p == 128
  kAddPair565,  // mode 2, p == 255, pixels in pairs from the row's first
  kSubPair565,  // mode 3, p == 255, pixels in pairs from the row's first
  kBright565,   // mode 0 with brightness
  kOpCount
};

// The solid-colour draws' modes 1 and 10.
enum SolidOp { kSolidLerp32, kSolidLerp565, kSolidOpCount };

struct Table {
  BlendFn blend[kOpCount][2];  // [op][transparency on]
  SolidFn solid[kSolidOpCount];
  DoubleFn double16, double32;
  MirrorFn mirror16[2], mirror32[2];  // [transparency on]
};

enum class Isa { Generic, Sse2, Avx2 };

// The set in use.
const Table& Active();
// The best set this processor runs.
Isa Best();
// Makes isa the set in use (tests and benchmarks); false, and no change, when the processor
// cannot run it.
bool Use(Isa isa);

// The walks chosen for special geometry (whole-image block copy, 2x stretch, 1:1 mirrored
// stretch, runs of a sprite-sheet view) are on unless a test turns them off to compare them
// with the general walks.
void UseSpecialWalks(bool on);
bool SpecialWalks();

// Each instruction-set file overrides the entries it has in t, which holds on entry the
// generic set with the narrower sets' entries over it; its kernels finish rows too short for
// a register with those.
void FillGeneric(Table* t);
void FillSse2(Table* t);
void FillAvx2(Table* t);

}  // namespace rows
