// Platform layer: MPEG audio (Layers I to III) through libmpg123, fed piece by piece. The one
// MPEG audio decoder of the program: the compression manager and the media layer's decoder
// filter both go through it, so that both give the same samples.
#pragma once

#include <cstddef>
#include <cstdint>

struct mpg123_handle_struct;
using MpegDecoder = mpg123_handle_struct;

// A quiet decoder in feed mode that gives signed 16-bit samples at exactly this rate and
// channel count; null when libmpg123 refuses.
MpegDecoder* MpegDecoderOpen(long rate, int channels);
void MpegDecoderClose(MpegDecoder* decoder);
int MpegDecoderFeed(MpegDecoder* decoder, const uint8_t* data, size_t size);  // 0 or -1

enum class MpegRead {
  Full,       // dst is full (or the decoder gives nothing but empty frames)
  NeedMore,   // everything fed so far is decoded
  Done,
  BadFormat,  // the stream changed to another rate or channel count
  Error,      // corrupt data
};
// Decodes into dst from *used up to capacity, advancing *used.
MpegRead MpegDecoderRead(MpegDecoder* decoder, long rate, int channels, uint8_t* dst, size_t capacity,
                         size_t* used);

// kbit/s by [MPEG-1][layer - 1][index] (index 0: free format); MPEG-2 and 2.5 share a table.
extern const int kMpegBitRates[2][3][15];

// Where MPEG audio frames (MPEG-1, 2 and 2.5) really begin: the first header followed by
// kMpegFrameRun - 1 more of the same version, layer, rate and channel count, each where the one
// before ends, or by such frames up to the exact end of the data (or
// of an ID3v1 tag there). A lone 0xFF 0xFx in other
// data (big-endian samples of -1 to -16, a tag's text) is passed over. -1 when there is none.
// A free-format frame (bit-rate index 0) ends where the next free-format header of its format
// begins, at most kMpegMaxFreeFrame bytes on; the frames after it have its length, padding apart.
constexpr int kMpegFrameRun = 4;
constexpr size_t kMpegMaxFreeFrame = 4096;
int64_t MpegFindFrames(const uint8_t* data, size_t size);

// Moves the frames of one stream to the front of the data, in their order, leaving out what lies
// between them. The stream starts at the run MpegFindFrames finds and goes on to the end of the
// data: an ID3v2 tag between frames is stepped over, and after any other bytes the frames go on
// where the next run of the first run's version, layer, rate and channel count begins (a run
// that changes one of them ends the stream). Free format and fixed bit rates may take turns, each
// free-format run with the frame length measured where it begins.
struct MpegFrames {
  size_t first = 0;        // where the first frame was
  size_t firstLength = 0;  // its bytes
  size_t size = 0;         // bytes of frames now at the front
  int64_t samples = 0;     // per channel, of every frame
};
// False, the data untouched, when there is no run of frames.
bool MpegGatherFrames(uint8_t* data, size_t size, MpegFrames* out);

// Samples per channel the decoder gives for these frames, as it plays them: the encoder's delay
// and padding that an info frame states are left out. -1 when it cannot tell.
int64_t MpegCountSamples(const uint8_t* data, size_t size);

// Rate and channel count of MPEG audio in the data: 0 when a run of frames is found and the
// decoder gives sound from its first frame in that format; else -1.
int MpegProbeFormat(const uint8_t* data, size_t size, long* rate, int* channels);
