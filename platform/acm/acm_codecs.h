// Decoders behind the compression manager.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/acm/acm.h"

struct mpg123_handle_struct;

struct AcmStream {
  WAVEFORMATEX src{};
  WAVEFORMATEX dst{};
  uint32_t srcBlock = 0;  // bytes of one source block
  uint32_t dstBlock = 0;  // PCM bytes of one decoded block (0: varies)
  int samplesPerBlock = 0;
  std::vector<int16_t> coefs;  // MS ADPCM: pairs of predictor coefficients, 8.8 fixed point
  mpg123_handle_struct* mpeg = nullptr;
};

inline uint16_t AcmReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline int16_t AcmReadS16(const uint8_t* p) {
  int v = p[0] | (p[1] << 8);
  return static_cast<int16_t>(v >= 0x8000 ? v - 0x10000 : v);
}
inline uint32_t AcmReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline void AcmWriteS16(uint8_t* p, int v) {
  uint16_t u = static_cast<uint16_t>(v);
  p[0] = static_cast<uint8_t>(u & 0xFF);
  p[1] = static_cast<uint8_t>(u >> 8);
}

// Checks the format block and fills the stream's block sizes and tables. 0 or -1.
int MsAdpcmSetup(AcmStream* s, const uint8_t* fmt, size_t size);
int ImaAdpcmSetup(AcmStream* s, const uint8_t* fmt, size_t size);
// Decodes one block of s->srcBlock bytes into s->dstBlock bytes. 0, or -1 for a corrupt block.
int MsAdpcmDecodeBlock(const AcmStream* s, const uint8_t* src, uint8_t* dst);
int ImaAdpcmDecodeBlock(const AcmStream* s, const uint8_t* src, uint8_t* dst);

int MpegOpen(AcmStream* s);
void MpegClose(AcmStream* s);
int MpegConvert(AcmStream* s, AcmStreamHeader* h, uint32_t flags);

int16_t ALawToLinear(uint8_t a);
int16_t MuLawToLinear(uint8_t u);
