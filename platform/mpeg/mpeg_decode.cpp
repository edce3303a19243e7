// MPEG audio through libmpg123.
#include "platform/mpeg/mpeg_decode.h"

#include <mpg123.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

const int kMpegBitRates[2][3][15] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
};

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

struct FrameHeader {
  int format;  // version, layer, rate, mono-or-not and free-or-not: equal in every frame of one run
  size_t length;   // 0 in free format
  size_t padding;  // bytes the padding bit adds
  int samples;     // per channel
};

const int kMpeg1Rates[3] = {44100, 48000, 32000};
constexpr int kFreeFormat = 0x10;

// Runs of one stream: free format and fixed bit rates may take turns, nothing else may change.
bool SameStream(int a, int b) { return (a & ~kFreeFormat) == (b & ~kFreeFormat); }

// A header that parses; a free-format one (bit-rate index 0) has no length of its own.
bool ParseHeader(const uint8_t* h, FrameHeader* f) {
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
  const int version = (h[1] >> 3) & 3;  // 0: 2.5, 1: reserved, 2: MPEG-2, 3: MPEG-1
  const int layer = 4 - ((h[1] >> 1) & 3);
  const int bitIndex = h[2] >> 4, rateIndex = (h[2] >> 2) & 3;
  const bool reservedEmphasis = (h[3] & 3) == 2;
  if (version == 1 || layer == 4 || bitIndex == 15 || rateIndex == 3 || reservedEmphasis) return false;
  const bool mpeg1 = version == 3;
  const int rate = kMpeg1Rates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
  const int bitRate = kMpegBitRates[mpeg1][layer - 1][bitIndex] * 1000;
  const int padding = (h[2] >> 1) & 1;
  f->padding = size_t(layer == 1 ? padding * 4 : padding);
  f->samples = layer == 1 ? 384 : layer == 3 && !mpeg1 ? 576 : 1152;
  f->format = (h[1] & 0x1E) << 8 | (h[2] & 0x0C) | ((h[3] & 0xC0) == 0xC0) | (bitIndex == 0 ? kFreeFormat : 0);
  if (bitIndex == 0) {
    f->length = 0;
    return true;
  }
  if (layer == 1)
    f->length = size_t((12 * bitRate / rate + padding) * 4);
  else
    f->length = size_t((layer == 3 && !mpeg1 ? 72 : 144) * bitRate / rate + padding);
  return f->length > 4;
}

// Where a run of frames starts, its format, and in free format the frame length without padding.
struct Run {
  size_t at = 0;
  int format = 0;
  size_t freeLength = 0;
};

size_t FrameLength(const FrameHeader& f, const Run& run) { return f.length ? f.length : run.freeLength + f.padding; }

// Free-format headers as a search meets them, each byte parsed once however many headers look
// ahead from it: for each, where the next header of its format follows within kMpegMaxFreeFrame.
class FreeHeaders {
 public:
  // The next header of the format of the free-format header at `at` (at or past every one asked
  // before), or 0 when none follows within reach.
  size_t Next(const uint8_t* data, size_t size, size_t at) {
    if (links_.empty()) {
      links_.assign(kLinks, Link{SIZE_MAX, 0});
      last_.fill(SIZE_MAX);
    }
    const size_t end = std::min(size - 4, at + kMpegMaxFreeFrame);
    FrameHeader h;
    for (frontier_ = std::max(frontier_, at); frontier_ <= end; ++frontier_) {
      if (data[frontier_] != 0xFF || !ParseHeader(data + frontier_, &h) || h.length) continue;
      size_t& last = last_[size_t(h.format >> 9 & 0xF) << 3 | size_t(h.format >> 1 & 6) | size_t(h.format & 1)];
      if (last != SIZE_MAX && frontier_ - last <= kMpegMaxFreeFrame) links_[last % kLinks].next = frontier_;
      links_[frontier_ % kLinks] = Link{frontier_, 0};
      last = frontier_;
    }
    const Link& l = links_[at % kLinks];
    return l.at == at ? l.next : 0;
  }

 private:
  struct Link {
    size_t at, next;
  };
  // More than one reach: no link is overwritten while it can still be asked for.
  static constexpr size_t kLinks = 2 * kMpegMaxFreeFrame;
  std::vector<Link> links_;
  std::array<size_t, 128> last_;  // by version, layer, rate and mono-or-not
  size_t frontier_ = 0;           // every byte before it is parsed
};

// A free-format frame ends where the next header of its format begins (the way decoders find it):
// its length without padding, or 0 when there is none or the length is too short or no whole
// number of Layer I's four-byte slots.
size_t FreeFrameLength(const uint8_t* data, size_t size, size_t at, const FrameHeader& head, FreeHeaders* heads) {
  const size_t next = heads->Next(data, size, at);
  const size_t length = next > at + head.padding ? next - at - head.padding : 0;
  return length <= 4 || (head.samples == 384 && length % 4 != 0) ? 0 : length;
}

bool RunAt(const uint8_t* data, size_t size, size_t at, Run* run, FreeHeaders* heads) {
  FrameHeader head, next;
  if (size - at < 4 || !ParseHeader(data + at, &head)) return false;
  run->at = at;
  run->format = head.format;
  run->freeLength = head.length ? 0 : FreeFrameLength(data, size, at, head, heads);
  if (!head.length && !run->freeLength) return false;
  size_t pos = at, length = FrameLength(head, *run);
  for (int frames = 1;; ++frames) {
    if (length > size - pos) return false;
    pos += length;
    const bool tail = pos == size || (size - pos == 128 && std::memcmp(data + pos, "TAG", 3) == 0);
    if (frames == kMpegFrameRun || (tail && frames > 1)) return true;
    if (size - pos < 4 || !ParseHeader(data + pos, &next) || next.format != head.format) return false;
    length = FrameLength(next, *run);
  }
}

// The first run at or past `from` (at or past every search before with the same FreeHeaders).
bool FindRun(const uint8_t* data, size_t size, size_t from, Run* run, FreeHeaders* heads) {
  for (size_t at = from; at < size && size - at >= 4; ++at)
    if (data[at] == 0xFF && RunAt(data, size, at, run, heads)) return true;
  return false;
}

// The bytes of an ID3v2 tag at p (header, body and a version 4 footer), or 0 when there is none
// or it runs past the data.
size_t Id3v2TagLength(const uint8_t* p, size_t left) {
  if (left < 10 || std::memcmp(p, "ID3", 3) != 0) return 0;
  size_t length = size_t(p[6] & 0x7F) << 21 | size_t(p[7] & 0x7F) << 14 | size_t(p[8] & 0x7F) << 7 |
                  size_t(p[9] & 0x7F);
  length += p[3] == 4 && (p[5] & 0x10) ? 20 : 10;
  return length <= left ? length : 0;
}

}  // namespace

int64_t MpegFindFrames(const uint8_t* data, size_t size) {
  Run run;
  FreeHeaders heads;
  return FindRun(data, size, 0, &run, &heads) ? int64_t(run.at) : -1;
}

bool MpegGatherFrames(uint8_t* data, size_t size, MpegFrames* out) {
  *out = MpegFrames{};
  Run run;
  FreeHeaders heads;
  if (!FindRun(data, size, 0, &run, &heads)) return false;
  const int stream = run.format;
  FrameHeader f;
  ParseHeader(data + run.at, &f);
  out->first = run.at;
  out->firstLength = FrameLength(f, run);
  size_t pos = run.at;
  for (;;) {
    const size_t begin = pos;
    // A change between free format and a fixed bit rate ends the walk here: the search below
    // finds the run that begins with it and measures its free frame length.
    while (size - pos >= 4 && ParseHeader(data + pos, &f) && f.format == run.format &&
           FrameLength(f, run) <= size - pos) {
      pos += FrameLength(f, run);
      out->samples += f.samples;
    }
    // Only bytes already walked are overwritten.
    std::memmove(data + out->size, data + begin, pos - begin);
    out->size += pos - begin;
    // Frames go on after a tag (the second of two joined files keeps its own), or after other
    // bytes where a run of frames of the same stream begins again.
    const size_t from = pos + Id3v2TagLength(data + pos, size - pos);
    if (!FindRun(data, size, from, &run, &heads) || !SameStream(run.format, stream)) return true;
    pos = run.at;
  }
}

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

int64_t MpegCountSamples(const uint8_t* data, size_t size) {
  // The decoder's own scan over the data in place: it reads the info frame and every header
  // without decoding, so the count matches what a feed of the same bytes gives.
  struct Bytes {
    const uint8_t* data;
    size_t size, at;
  } bytes{data, size, 0};
  auto read = [](void* handle, void* dst, size_t n) -> mpg123_ssize_t {
    auto* b = static_cast<Bytes*>(handle);
    n = std::min(n, b->size - b->at);
    std::memcpy(dst, b->data + b->at, n);
    b->at += n;
    return mpg123_ssize_t(n);
  };
  auto seek = [](void* handle, off_t offset, int whence) -> off_t {
    auto* b = static_cast<Bytes*>(handle);
    const off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? off_t(b->at) : off_t(b->size);
    if (offset < -base || offset > off_t(b->size) - base) return -1;
    b->at = size_t(base + offset);
    return off_t(b->at);
  };
  Handle h = NewQuietHandle();
  if (!h || mpg123_replace_reader_handle(h.get(), read, seek, nullptr) != MPG123_OK ||
      mpg123_open_handle(h.get(), &bytes) != MPG123_OK || mpg123_scan(h.get()) != MPG123_OK)
    return -1;
  const off_t samples = mpg123_length(h.get());
  return samples >= 0 ? int64_t(samples) : -1;
}

int MpegProbeFormat(const uint8_t* data, size_t size, long* rate, int* channels) {
  const int64_t at = MpegFindFrames(data, size);
  Handle h = NewQuietHandle();
  if (at < 0 || !h || mpg123_open_feed(h.get()) != MPG123_OK ||
      mpg123_feed(h.get(), data + at, size - size_t(at)) != MPG123_OK)
    return -1;
  uint8_t scratch[256];
  bool known = false;
  for (int i = 0; i < 64; ++i) {
    size_t done = 0;
    int r = mpg123_read(h.get(), scratch, sizeof scratch, &done);
    if (r == MPG123_NEW_FORMAT) {
      int encoding = 0;
      if (known || mpg123_getformat(h.get(), rate, channels, &encoding) != MPG123_OK) return -1;
      if (*rate <= 0 || (*channels != 1 && *channels != 2)) return -1;
      known = true;
      continue;
    }
    if (r != MPG123_OK) return -1;
    if (known && done > 0) return 0;
  }
  return -1;
}
