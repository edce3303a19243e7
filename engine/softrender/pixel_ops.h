// Tamrak engine: per-pixel building blocks shared by the software draw routines.
//
// 32-bit pixels are little-endian words: blue in bits 0..7, green 8..15, red 16..23, the
// fourth byte (X, or alpha) in 24..31. 16-bit pixels are RGB565 words held zero-extended in
// a uint32_t. All arithmetic is unsigned and wraps where the comments say so; nothing here
// can overflow a signed type.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/draw/memimg.h"

namespace pixel {

// ---------------------------------------------------------------- memory access

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline uint32_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline void Store16(uint8_t* p, uint32_t v) {
  const uint16_t w = static_cast<uint16_t>(v);
  std::memcpy(p, &w, 2);
}

// ---------------------------------------------------------------- 32-bit channels

inline uint32_t Blue(uint32_t px) { return px & 0xFFu; }
inline uint32_t Green(uint32_t px) { return (px >> 8) & 0xFFu; }
inline uint32_t Red(uint32_t px) { return (px >> 16) & 0xFFu; }
inline uint32_t Fourth(uint32_t px) { return px >> 24; }
// Channels 0..255 each; the fourth byte is 0.
inline uint32_t PackBGR(uint32_t b, uint32_t g, uint32_t r) { return b | (g << 8) | (r << 16); }
// New blue, green and red with the fourth byte of old kept.
inline uint32_t KeepFourth(uint32_t bgr, uint32_t old) { return (old & 0xFF000000u) | (bgr & 0x00FFFFFFu); }
// 255 - c on blue, green and red; fourth byte 0.
inline uint32_t Invert32(uint32_t px) { return ~px & 0x00FFFFFFu; }

// ---------------------------------------------------------------- RGB565 fields

constexpr unsigned kRedBits565 = 5, kGreenBits565 = 6, kBlueBits565 = 5;
inline uint32_t Red565(uint32_t w) { return (w >> 11) & 0x1Fu; }
inline uint32_t Green565(uint32_t w) { return (w >> 5) & 0x3Fu; }
inline uint32_t Blue565(uint32_t w) { return w & 0x1Fu; }
inline uint32_t Pack565(uint32_t r, uint32_t g, uint32_t b) { return (r << 11) | (g << 5) | b; }
// Each field becomes its maximum minus itself.
inline uint32_t Invert565(uint32_t w) { return ~w & 0xFFFFu; }

// ---------------------------------------------------------------- tables

// M(x, y) = x * y / 255 truncated: the row of x.
inline const uint32_t* MulRow(int x) { return BlendMulTable[x]; }
// x * p / 255 toward zero for x = -255..255: row p addressed at x = 0.
inline const int32_t* DiffRow(int p) { return &BlendDiffTable[p][255]; }
// (u * L + v * (63 - L)) / 63 with L = p / 4: [u][v].
inline const uint8_t (*Lerp6Level(int p))[64] { return BlendLerp6Table[p / 4]; }

// d + diff(t - d): a move of (t - d) * p / 255 toward t, for fields or channels 0..255.
inline uint32_t DiffStep(const int32_t* diffRow, uint32_t d, uint32_t t) {
  const int32_t x = static_cast<int32_t>(t) - static_cast<int32_t>(d);
  return static_cast<uint32_t>(static_cast<int32_t>(d) + diffRow[x]);
}

// (d * 2^shift + (t - d) * w) >> shift, the weighted move of d toward t. Computed modulo 2^32:
// exact whenever the true numerator lies in 0..2^32-1, which holds for d, t < 2^(32-shift)
// and w <= 2^shift.
inline uint32_t Lerp(uint32_t d, uint32_t t, uint32_t w, unsigned shift) {
  return ((d << shift) + (t - d) * w) >> shift;
}

// The same move for blue, green and red of 32-bit pixels at once with shift 8 (w <= 256):
// d * (256 - w) + t * w never leaves a 16-bit lane. The fourth byte comes out 0.
inline uint32_t LerpBGR8(uint32_t d, uint32_t t, uint32_t w) {
  const uint32_t iw = 256 - w;
  const uint32_t rb = (((d & 0xFF00FFu) * iw + (t & 0xFF00FFu) * w) >> 8) & 0xFF00FFu;
  const uint32_t g = (((d & 0xFF00u) * iw + (t & 0xFF00u) * w) >> 8) & 0xFF00u;
  return rb | g;
}

// ---------------------------------------------------------------- brightness

// Off when the low 24 bits are all ones; the top byte is ignored.
inline bool BrightnessOn(uint32_t bright) { return (bright & 0xFFFFFFu) != 0xFFFFFFu; }

// The BlendMulTable rows of the three brightness bytes.
struct BrightRows {
  const uint32_t* r;
  const uint32_t* g;
  const uint32_t* b;
};
inline BrightRows MakeBrightRows(uint32_t bright) {
  return {MulRow((bright >> 16) & 0xFF), MulRow((bright >> 8) & 0xFF), MulRow(bright & 0xFF)};
}
// Blue, green and red scaled by their brightness bytes; fourth byte 0.
inline uint32_t Bright32(const BrightRows& br, uint32_t px) {
  return PackBGR(br.b[Blue(px)], br.g[Green(px)], br.r[Red(px)]);
}
// Each field scaled at its own width (the field value is the table column).
inline uint32_t Bright565(const BrightRows& br, uint32_t w) {
  return Pack565(br.r[Red565(w)], br.g[Green565(w)], br.b[Blue565(w)]);
}

// ---------------------------------------------------------------- packed 32-bit add and subtract

// Saturating add of the blue, green and red of q to d with guard bits: blue exact; green and
// red add their upper seven bits, their lowest bit is the OR of both lowest bits and the
// carry from below; the fourth byte becomes red's carry.
inline uint32_t AddPacked32(uint32_t d, uint32_t q) {
  const uint32_t sum = (d & 0x00FEFEFFu) + (q & 0x00FEFEFFu);
  const uint32_t cy = sum & 0x01010100u;
  return sum | (cy - (cy >> 8)) | ((d | q) & 0x00010100u);
}
// The same without the lowest-bit term.
inline uint32_t AddPacked32NoLowBits(uint32_t d, uint32_t q) {
  const uint32_t sum = (d & 0x00FEFEFFu) + (q & 0x00FEFEFFu);
  const uint32_t cy = sum & 0x01010100u;
  return sum | (cy - (cy >> 8));
}
// d - q floored at 0 per channel with guard bits (modulo 2^32); the fourth byte becomes 0.
inline uint32_t SubPacked32(uint32_t d, uint32_t q) {
  const uint32_t u = (d | 0x01010100u) - (q & 0xFEFEFEFFu);
  const uint32_t g = u & 0x01010100u;
  return u & (g - (g >> 8));
}
// Per-byte saturating add and subtract on all four bytes (the packed-byte instructions).
inline uint32_t AddSat32(uint32_t d, uint32_t s) {
  uint32_t r = 0;
  for (unsigned i = 0; i < 32; i += 8) {
    const uint32_t v = ((d >> i) & 0xFFu) + ((s >> i) & 0xFFu);
    r |= (v > 0xFFu ? 0xFFu : v) << i;
  }
  return r;
}
inline uint32_t SubSat32(uint32_t d, uint32_t s) {
  uint32_t r = 0;
  for (unsigned i = 0; i < 32; i += 8) {
    const uint32_t a = (d >> i) & 0xFFu, b = (s >> i) & 0xFFu;
    r |= (a > b ? a - b : 0u) << i;
  }
  return r;
}
// s_c / 2 + d_c / 2 per channel, each half truncated; fourth byte 0.
inline uint32_t Halve32(uint32_t s, uint32_t d) { return ((s >> 1) & 0x7F7F7Fu) + ((d >> 1) & 0x7F7F7Fu); }

// ---------------------------------------------------------------- packed RGB565 add and subtract

// One pixel, zero-extended; the result's low 16 bits are the pixel. Blue exact; green and red
// add their upper bits, their lowest bits come from (t | d) & 0x820 and the carry below.
inline uint32_t AddPacked565(uint32_t d, uint32_t t) {
  const uint32_t s = (d & 0xF7DEF7DFu) + (t & 0xF7DEF7DFu);
  const uint32_t c = s & 0x08210820u;
  return (s | (c - (c >> 5)) | ((t | d) & 0x820u)) & 0xFFFFu;
}
inline uint32_t AddPacked565NoLowBits(uint32_t d, uint32_t t) {
  const uint32_t s = (d & 0xF7DEF7DFu) + (t & 0xF7DEF7DFu);
  const uint32_t c = s & 0x08210820u;
  return (s | (c - (c >> 5))) & 0xFFFFu;
}
// A field whose guard bit borrows becomes 0; green's lowest bit always ends 0.
inline uint32_t SubPacked565(uint32_t d, uint32_t t) {
  const uint32_t u = (d | 0x08210820u) - (t & 0xF7DEF7DFu);
  const uint32_t c = u & 0x08210820u;
  return (u & (c - (c >> 5))) & 0xFFFFu;
}
// Two neighbouring pixels in one word (first in the low half). The first pixel's red guard
// sits on the second pixel's lowest blue bit, which is lost; the carry or borrow out of bit 31
// is the second pixel's red guard.
inline uint32_t AddPacked565Pair(uint32_t d2, uint32_t s2) {
  const uint32_t a = s2 & 0xF7DEF7DFu, b = d2 & 0xF7DEF7DFu;
  const uint32_t s = a + b;
  const uint32_t carry = s < a ? 1u : 0u;
  const uint32_t c = s & 0x08210820u;
  return s | (c - ((c >> 5) | (carry << 27)));
}
inline uint32_t SubPacked565Pair(uint32_t d2, uint32_t s2) {
  const uint32_t a = d2 | 0x08210820u, b = s2 & 0xF7DEF7DFu;
  const uint32_t u = a - b;
  const uint32_t c = u & 0x08210820u;
  uint32_t keep = c - (c >> 5);
  if (a >= b) keep |= 0xF8000000u;
  return u & keep;
}
// floor(s_f / 2) + floor(d_f / 2) per field; also right for a pair of pixels in one word.
inline uint32_t Halve565(uint32_t s, uint32_t d) { return ((s >> 1) & 0x7BEF7BEFu) + ((d >> 1) & 0x7BEF7BEFu); }

}  // namespace pixel
