// MS ADPCM and IMA ADPCM block decoders (4 bits a sample, mono or stereo).
#include <algorithm>
#include <climits>

#include "platform/acm/acm_codecs.h"

namespace {

const int kMsAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};

const int kImaIndexStep[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

const int kImaStep[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

int Clamp16(int64_t v) { return static_cast<int>(std::min<int64_t>(32767, std::max<int64_t>(-32768, v))); }

}  // namespace

int MsAdpcmSetup(AcmStream* s, const uint8_t* fmt, size_t size) {
  const WAVEFORMATEX& f = s->src;
  const int ch = f.nChannels;
  if (f.wBitsPerSample != 4 || f.cbSize < 4 || size < 22) return -1;
  const int spb = AcmReadU16(fmt + 18);
  const int numCoef = AcmReadU16(fmt + 20);
  if (numCoef < 1 || 22u + 4u * numCoef > 18u + f.cbSize) return -1;
  if (f.nBlockAlign < 7 * ch) return -1;
  const int maxSamples = 2 + (f.nBlockAlign - 7 * ch) * 2 / ch;
  if (spb < 2 || spb > maxSamples) return -1;
  s->coefs.resize(2 * static_cast<size_t>(numCoef));
  for (int i = 0; i < 2 * numCoef; ++i) s->coefs[i] = AcmReadS16(fmt + 22 + 2 * i);
  s->samplesPerBlock = spb;
  s->srcBlock = f.nBlockAlign;
  s->dstBlock = static_cast<uint32_t>(spb) * 2u * ch;
  return 0;
}

int MsAdpcmDecodeBlock(const AcmStream* s, const uint8_t* src, uint8_t* dst) {
  const int ch = s->src.nChannels;
  const int numCoef = static_cast<int>(s->coefs.size() / 2);
  int coef1[2], coef2[2];
  int64_t delta[2], samp1[2], samp2[2];
  for (int c = 0; c < ch; ++c) {
    int predictor = src[c];
    if (predictor >= numCoef) return -1;
    coef1[c] = s->coefs[2 * predictor];
    coef2[c] = s->coefs[2 * predictor + 1];
    delta[c] = AcmReadS16(src + ch + 2 * c);
    samp1[c] = AcmReadS16(src + 3 * ch + 2 * c);
    samp2[c] = AcmReadS16(src + 5 * ch + 2 * c);
  }
  // The header's two samples come out oldest first.
  for (int c = 0; c < ch; ++c) {
    AcmWriteS16(dst + 2 * c, static_cast<int>(samp2[c]));
    AcmWriteS16(dst + 2 * (ch + c), static_cast<int>(samp1[c]));
  }
  const uint8_t* data = src + 7 * ch;
  const int nibbles = (s->samplesPerBlock - 2) * ch;
  for (int k = 0; k < nibbles; ++k) {
    const int c = k % ch;
    const int nibble = (k & 1) ? (data[k / 2] & 0x0F) : (data[k / 2] >> 4);
    const int signedNibble = nibble >= 8 ? nibble - 16 : nibble;
    const int64_t predicted = (samp1[c] * coef1[c] + samp2[c] * coef2[c]) / 256;
    const int sample = Clamp16(predicted + signedNibble * delta[c]);
    delta[c] = kMsAdaptation[nibble] * delta[c] / 256;
    delta[c] = std::min<int64_t>(std::max<int64_t>(delta[c], 16), INT_MAX / 768);
    samp2[c] = samp1[c];
    samp1[c] = sample;
    AcmWriteS16(dst + 2 * (2 * ch + k), sample);
  }
  return 0;
}

int ImaAdpcmSetup(AcmStream* s, const uint8_t* fmt, size_t size) {
  const WAVEFORMATEX& f = s->src;
  const int ch = f.nChannels;
  if (f.wBitsPerSample != 4 || f.cbSize < 2 || size < 20) return -1;
  const int spb = AcmReadU16(fmt + 18);
  // Stereo data comes in groups of four bytes a channel.
  if (f.nBlockAlign <= 4 * ch || (f.nBlockAlign - 4 * ch) % (4 * ch) != 0) return -1;
  const int maxSamples = 1 + (f.nBlockAlign - 4 * ch) * 2 / ch;
  if (spb < 1 || spb > maxSamples) return -1;
  s->samplesPerBlock = spb;
  s->srcBlock = f.nBlockAlign;
  s->dstBlock = static_cast<uint32_t>(spb) * 2u * ch;
  return 0;
}

int ImaAdpcmDecodeBlock(const AcmStream* s, const uint8_t* src, uint8_t* dst) {
  const int ch = s->src.nChannels;
  for (int c = 0; c < ch; ++c) {
    int predictor = AcmReadS16(src + 4 * c);
    int index = src[4 * c + 2];
    if (index > 88) return -1;
    AcmWriteS16(dst + 2 * c, predictor);
    for (int j = 0; j < s->samplesPerBlock - 1; ++j) {
      const uint8_t byte = src[4 * ch + (j / 8) * 4 * ch + c * 4 + (j % 8) / 2];
      const int nibble = (j & 1) ? (byte >> 4) : (byte & 0x0F);
      const int step = kImaStep[index];
      int diff = step >> 3;
      if (nibble & 4) diff += step;
      if (nibble & 2) diff += step >> 1;
      if (nibble & 1) diff += step >> 2;
      predictor = Clamp16(static_cast<int64_t>(predictor) + ((nibble & 8) ? -diff : diff));
      index = std::min(88, std::max(0, index + kImaIndexStep[nibble]));
      AcmWriteS16(dst + 2 * ((j + 1) * ch + c), predictor);
    }
  }
  return 0;
}
