// MPEG audio (Layers I to III) behind the compression manager.
#include "platform/acm/acm_codecs.h"
#include "platform/mpeg/mpeg_decode.h"

int MpegOpen(AcmStream* s) {
  s->mpeg = MpegDecoderOpen(static_cast<long>(s->dst.nSamplesPerSec), s->dst.nChannels == 1 ? 1 : 2);
  return s->mpeg ? 0 : -1;
}

void MpegClose(AcmStream* s) {
  MpegDecoderClose(s->mpeg);
  s->mpeg = nullptr;
}

// Takes the whole source piece; hands out as much PCM as fits and keeps the rest for the next call.
int MpegConvert(AcmStream* s, AcmStreamHeader* h, uint32_t flags) {
  if (!s->mpeg) return -1;
  if (h->srcLength) {
    if (MpegDecoderFeed(s->mpeg, h->src, h->srcLength) != 0) return -1;
    h->srcLengthUsed = h->srcLength;
  }
  size_t used = h->dstLengthUsed;
  MpegRead r = MpegDecoderRead(s->mpeg, static_cast<long>(s->dst.nSamplesPerSec), s->dst.nChannels == 1 ? 1 : 2,
                               h->dst, h->dstLength, &used);
  h->dstLengthUsed = static_cast<uint32_t>(used);
  if (r == MpegRead::BadFormat) return -1;
  if (r == MpegRead::Error) return used ? 0 : -1;
  return 0;
}
