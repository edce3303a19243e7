// Platform layer: audio compression manager. Turns compressed sound data (MS ADPCM, IMA ADPCM,
// G.711 A-law and mu-law, MPEG audio) into 16-bit PCM, block by block.
// Source formats are passed as the raw bytes of a WAVE "fmt " chunk (little-endian, 16 bytes or more).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/audio/audio.h"

enum : uint32_t {
  ACM_FORMATSUGGESTF_WFORMATTAG = 0x00010000,
  ACM_STREAMOPENF_NONREALTIME = 0x00000004,
  ACM_STREAMSIZEF_SOURCE = 0x00000000,
  ACM_STREAMSIZEF_DESTINATION = 0x00000001,
  ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004,
  ACM_STREAMCONVERTF_END = 0x00000020,  // no more source follows: hand out what the decoder holds back
};

struct AcmStream;

struct AcmStreamHeader {
  const uint8_t* src;
  uint32_t srcLength;
  uint32_t srcLengthUsed;  // out
  uint8_t* dst;
  uint32_t dstLength;
  uint32_t dstLengthUsed;  // out
};

// The PCM format a source decodes to (suggest->wFormatTag must be WAVE_FORMAT_PCM). 0 or -1.
int AcmFormatSuggest(const uint8_t* srcFormat, size_t srcFormatSize, WAVEFORMATEX* suggest, uint32_t flags);
// Bytes of the largest format block any decoder here uses.
int AcmMetricsMaxFormatSize(uint32_t* size);
// 0, or -1 when the source format is unknown or malformed or the destination is not its suggestion.
int AcmStreamOpen(AcmStream** out, const uint8_t* srcFormat, size_t srcFormatSize, const WAVEFORMATEX* dst,
                  uint32_t flags);
int AcmStreamClose(AcmStream* stream);
// Output bytes for so many source bytes (ACM_STREAMSIZEF_SOURCE), an upper bound for MPEG.
int AcmStreamSize(AcmStream* stream, uint32_t input, uint32_t* output, uint32_t flags);
// With ACM_STREAMCONVERTF_BLOCKALIGN only whole source blocks are used. 0, or -1 for corrupt data.
int AcmStreamConvert(AcmStream* stream, AcmStreamHeader* header, uint32_t flags);
// Source bytes of one block and the PCM bytes one block decodes to (0 for MPEG: frames vary).
int AcmStreamBlockSizes(AcmStream* stream, uint32_t* srcBlock, uint32_t* dstBlock);
