// The compression manager: format suggestion, stream open, size and block conversion.
#include <cstring>

#include "platform/acm/acm_codecs.h"

namespace {

// The fixed part of a format block, with its checks shared by every decoder.
bool ReadFormat(const uint8_t* fmt, size_t size, WAVEFORMATEX* f) {
  if (!fmt || size < 16) return false;
  f->wFormatTag = AcmReadU16(fmt);
  f->nChannels = AcmReadU16(fmt + 2);
  f->nSamplesPerSec = AcmReadU32(fmt + 4);
  f->nAvgBytesPerSec = AcmReadU32(fmt + 8);
  f->nBlockAlign = AcmReadU16(fmt + 12);
  f->wBitsPerSample = AcmReadU16(fmt + 14);
  f->cbSize = size >= 18 ? AcmReadU16(fmt + 16) : 0;
  if (size >= 18 && 18u + f->cbSize > size) return false;
  return f->nChannels >= 1 && f->nChannels <= 2 && f->nSamplesPerSec >= DSBFREQUENCY_MIN &&
         f->nSamplesPerSec <= DSBFREQUENCY_MAX && f->nBlockAlign >= 1;
}

WAVEFORMATEX Pcm16(const WAVEFORMATEX& src) {
  WAVEFORMATEX d{};
  d.wFormatTag = WAVE_FORMAT_PCM;
  d.nChannels = src.nChannels;
  d.nSamplesPerSec = src.nSamplesPerSec;
  d.nBlockAlign = static_cast<uint16_t>(2 * src.nChannels);
  d.nAvgBytesPerSec = d.nBlockAlign * src.nSamplesPerSec;
  d.wBitsPerSample = 16;
  d.cbSize = 0;
  return d;
}

// Fills the stream's decoder state for a format; 0 or -1.
int SetupCodec(AcmStream* s, const uint8_t* fmt, size_t size) {
  if (!ReadFormat(fmt, size, &s->src)) return -1;
  s->dst = Pcm16(s->src);
  switch (s->src.wFormatTag) {
    case WAVE_FORMAT_ADPCM:
      return MsAdpcmSetup(s, fmt, size);
    case WAVE_FORMAT_IMA_ADPCM:
      return ImaAdpcmSetup(s, fmt, size);
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
      if (s->src.wBitsPerSample != 8 || s->src.nBlockAlign != s->src.nChannels) return -1;
      s->srcBlock = s->src.nBlockAlign;
      s->dstBlock = s->dst.nBlockAlign;
      return 0;
    case WAVE_FORMAT_MPEG:
    case WAVE_FORMAT_MPEGLAYER3:
      if (s->src.nSamplesPerSec < 8000 || s->src.nSamplesPerSec > 48000) return -1;
      s->srcBlock = 1;
      s->dstBlock = 0;
      return 0;
    default:
      return -1;
  }
}

}  // namespace

int AcmFormatSuggest(const uint8_t* srcFormat, size_t srcFormatSize, WAVEFORMATEX* suggest, uint32_t flags) {
  if (!suggest) return -1;
  if ((flags & ACM_FORMATSUGGESTF_WFORMATTAG) && suggest->wFormatTag != WAVE_FORMAT_PCM) return -1;
  AcmStream probe;
  if (SetupCodec(&probe, srcFormat, srcFormatSize) != 0) return -1;
  *suggest = probe.dst;
  return 0;
}

int AcmMetricsMaxFormatSize(uint32_t* size) {
  if (!size) return -1;
  *size = 18 + 4 + 7 * 4;  // MS ADPCM with its seven standard coefficient pairs
  return 0;
}

int AcmStreamOpen(AcmStream** out, const uint8_t* srcFormat, size_t srcFormatSize, const WAVEFORMATEX* dst,
                  uint32_t flags) {
  if (!out || !dst) return -1;
  *out = nullptr;
  auto* s = new AcmStream;
  if (SetupCodec(s, srcFormat, srcFormatSize) != 0 || !SameWaveFormat(s->dst, *dst)) {
    delete s;
    return -1;
  }
  if ((s->src.wFormatTag == WAVE_FORMAT_MPEG || s->src.wFormatTag == WAVE_FORMAT_MPEGLAYER3) && MpegOpen(s) != 0) {
    delete s;
    return -1;
  }
  *out = s;
  return 0;
}

int AcmStreamClose(AcmStream* s) {
  if (!s) return -1;
  MpegClose(s);
  delete s;
  return 0;
}

int AcmStreamSize(AcmStream* s, uint32_t input, uint32_t* output, uint32_t flags) {
  if (!s || !output || (flags & ACM_STREAMSIZEF_DESTINATION)) return -1;
  uint64_t bytes;
  if (s->dstBlock) {
    bytes = static_cast<uint64_t>(input / s->srcBlock) * s->dstBlock;
  } else {
    // MPEG: from the stated bit rate, one second over; the caller grows its buffer if a stream runs longer.
    uint32_t avg = s->src.nAvgBytesPerSec ? s->src.nAvgBytesPerSec : 1000;
    bytes = (static_cast<uint64_t>(input) / avg + 1) * s->dst.nAvgBytesPerSec;
  }
  if (bytes > 0xFFFFFFFFu) return -1;
  *output = static_cast<uint32_t>(bytes);
  return 0;
}

int AcmStreamBlockSizes(AcmStream* s, uint32_t* srcBlock, uint32_t* dstBlock) {
  if (!s) return -1;
  if (srcBlock) *srcBlock = s->srcBlock;
  if (dstBlock) *dstBlock = s->dstBlock;
  return 0;
}

int AcmStreamConvert(AcmStream* s, AcmStreamHeader* h, uint32_t flags) {
  if (!s || !h || (h->srcLength && !h->src) || (h->dstLength && !h->dst)) return -1;
  h->srcLengthUsed = 0;
  h->dstLengthUsed = 0;
  if (!s->dstBlock) return MpegConvert(s, h, flags);
  uint32_t blocks = h->srcLength / s->srcBlock;
  uint32_t room = h->dstLength / s->dstBlock;
  if (room < blocks) blocks = room;
  const uint16_t tag = s->src.wFormatTag;
  for (uint32_t i = 0; i < blocks; ++i) {
    const uint8_t* in = h->src + static_cast<size_t>(i) * s->srcBlock;
    uint8_t* out = h->dst + static_cast<size_t>(i) * s->dstBlock;
    int r = 0;
    if (tag == WAVE_FORMAT_ADPCM) {
      r = MsAdpcmDecodeBlock(s, in, out);
    } else if (tag == WAVE_FORMAT_IMA_ADPCM) {
      r = ImaAdpcmDecodeBlock(s, in, out);
    } else {
      for (uint32_t c = 0; c < s->srcBlock; ++c)
        AcmWriteS16(out + 2 * c, tag == WAVE_FORMAT_ALAW ? ALawToLinear(in[c]) : MuLawToLinear(in[c]));
    }
    if (r != 0) return -1;
    h->srcLengthUsed += s->srcBlock;
    h->dstLengthUsed += s->dstBlock;
  }
  return 0;
}

// ITU-T G.711 expansions.
int16_t ALawToLinear(uint8_t a) {
  a ^= 0x55;
  int t = (a & 0x0F) << 4;
  int seg = (a & 0x70) >> 4;
  if (seg == 0) {
    t += 8;
  } else {
    t += 0x108;
    if (seg > 1) t <<= seg - 1;
  }
  return static_cast<int16_t>((a & 0x80) ? t : -t);
}

int16_t MuLawToLinear(uint8_t u) {
  u = static_cast<uint8_t>(~u);
  int t = ((u & 0x0F) << 3) + 0x84;
  t <<= (u & 0x70) >> 4;
  return static_cast<int16_t>((u & 0x80) ? (0x84 - t) : (t - 0x84));
}
