// MPEG audio through libmpg123.
#include "platform/mpeg/mpeg_decode.h"

#include <mpg123.h>

#include <memory>

namespace {

struct HandleDeleter {
  void operator()(mpg123_handle* h) const {
    mpg123_close(h);
    mpg123_delete(h);
  }
};
using Handle = std::unique_ptr<mpg123_handle, HandleDeleter>;

Handle NewQuietHandle() {
  int err = MPG123_OK;
  Handle h(mpg123_new(nullptr, &err));
  if (h) mpg123_param(h.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  return h;
}

}  // namespace

MpegDecoder* MpegDecoderOpen(long rate, int channels) {
  Handle h = NewQuietHandle();
  if (!h) return nullptr;
  const int layout = channels == 1 ? MPG123_MONO : MPG123_STEREO;
  if (mpg123_format_none(h.get()) != MPG123_OK || mpg123_format(h.get(), rate, layout, MPG123_ENC_SIGNED_16) != MPG123_OK ||
      mpg123_open_feed(h.get()) != MPG123_OK)
    return nullptr;
  return h.release();
}

void MpegDecoderClose(MpegDecoder* decoder) {
  if (decoder) HandleDeleter()(decoder);
}

int MpegDecoderFeed(MpegDecoder* decoder, const uint8_t* data, size_t size) {
  if (!decoder) return -1;
  if (size == 0) return 0;
  return mpg123_feed(decoder, data, size) == MPG123_OK ? 0 : -1;
}

MpegRead MpegDecoderRead(MpegDecoder* decoder, long rate, int channels, uint8_t* dst, size_t capacity,
                         size_t* used) {
  if (!decoder) return MpegRead::Error;
  int idle = 0;
  while (*used < capacity) {
    size_t done = 0;
    int r = mpg123_read(decoder, dst + *used, capacity - *used, &done);
    *used += done;
    if (r == MPG123_NEED_MORE) return MpegRead::NeedMore;
    if (r == MPG123_DONE) return MpegRead::Done;
    if (r == MPG123_NEW_FORMAT) {
      long gotRate = 0;
      int gotChannels = 0, encoding = 0;
      mpg123_getformat(decoder, &gotRate, &gotChannels, &encoding);
      if (gotRate != rate || gotChannels != channels || encoding != MPG123_ENC_SIGNED_16) return MpegRead::BadFormat;
      continue;
    }
    if (r != MPG123_OK) return MpegRead::Error;
    // A frame that decodes to nothing (a tag frame) is fine; endless nothing is not.
    if (done == 0 && ++idle > 64) break;
  }
  return MpegRead::Full;
}

int MpegProbeFormat(const uint8_t* data, size_t size, long* rate, int* channels) {
  Handle h = NewQuietHandle();
  if (!h || mpg123_open_feed(h.get()) != MPG123_OK || mpg123_feed(h.get(), data, size) != MPG123_OK) return -1;
  uint8_t scratch[256];
  for (int i = 0; i < 64; ++i) {
    size_t done = 0;
    int r = mpg123_read(h.get(), scratch, sizeof scratch, &done);
    if (r == MPG123_NEW_FORMAT) {
      int encoding = 0;
      if (mpg123_getformat(h.get(), rate, channels, &encoding) != MPG123_OK) return -1;
      return *rate > 0 && (*channels == 1 || *channels == 2) ? 0 : -1;
    }
    if (r != MPG123_OK) return -1;
  }
  return -1;
}
