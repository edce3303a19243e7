// MPEG audio (Layers I to III) through libmpg123, fed piece by piece.
#include <mpg123.h>

#include "platform/acm/acm_codecs.h"

int MpegOpen(AcmStream* s) {
  int err = MPG123_OK;
  mpg123_handle* mh = mpg123_new(nullptr, &err);
  if (!mh) return -1;
  mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  const int channels = s->dst.nChannels == 1 ? MPG123_MONO : MPG123_STEREO;
  if (mpg123_format_none(mh) != MPG123_OK ||
      mpg123_format(mh, static_cast<long>(s->dst.nSamplesPerSec), channels, MPG123_ENC_SIGNED_16) != MPG123_OK ||
      mpg123_open_feed(mh) != MPG123_OK) {
    mpg123_delete(mh);
    return -1;
  }
  s->mpeg = mh;
  return 0;
}

void MpegClose(AcmStream* s) {
  if (!s->mpeg) return;
  mpg123_close(s->mpeg);
  mpg123_delete(s->mpeg);
  s->mpeg = nullptr;
}

// Takes the whole source piece; hands out as much PCM as fits and keeps the rest for the next call.
int MpegConvert(AcmStream* s, AcmStreamHeader* h, uint32_t flags) {
  if (!s->mpeg) return -1;
  if (h->srcLength) {
    if (mpg123_feed(s->mpeg, h->src, h->srcLength) != MPG123_OK) return -1;
    h->srcLengthUsed = h->srcLength;
  }
  int idle = 0;
  while (h->dstLengthUsed < h->dstLength) {
    size_t done = 0;
    int r = mpg123_read(s->mpeg, h->dst + h->dstLengthUsed, h->dstLength - h->dstLengthUsed, &done);
    h->dstLengthUsed += static_cast<uint32_t>(done);
    if (r == MPG123_NEED_MORE || r == MPG123_DONE) break;
    if (r == MPG123_NEW_FORMAT) {
      long rate = 0;
      int channels = 0, encoding = 0;
      mpg123_getformat(s->mpeg, &rate, &channels, &encoding);
      if (rate != static_cast<long>(s->dst.nSamplesPerSec) || channels != s->dst.nChannels ||
          encoding != MPG123_ENC_SIGNED_16)
        return -1;
      continue;
    }
    if (r != MPG123_OK) return h->dstLengthUsed ? 0 : -1;
    // A frame that decodes to nothing (a tag frame) is fine; endless nothing is not.
    if (done == 0 && ++idle > 64) break;
  }
  return 0;
}
