// Shared by the FFmpeg filters: the compressed stream's format block and owners of FFmpeg objects.
#pragma once

#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "platform/media/builtin_filters.h"
#include "platform/media/ffmpeg/ffmpeg_filters.h"
#include "platform/media/media_base.h"

namespace ffmedia {

// Limits on what a file may ask for (pictures: kMaxMoviePictureSide and kMaxMoviePicturePixels).
// FFmpeg's largest single allocation: an accepted picture at 4 bytes a pixel with its padding
// fits, a chunk that claims gigabytes does not.
constexpr size_t kMaxAllocation = size_t(64) << 20;
constexpr int kMaxChannels = 64;
constexpr int kMaxSampleRate = 768000;
constexpr int kMaxExtradata = 1 << 20;

// The format block of a compressed stream: these fields, then the codec's extra data.
struct CodecFormat {
  int32_t codecId;
  int32_t codecType;  // AVMEDIA_TYPE_*
  int32_t format;     // pixel or sample format, -1 unknown
  int32_t width, height;
  int32_t sampleRate;
  int32_t channels;
  int32_t blockAlign;
  int32_t bitsPerCodedSample;
  int32_t frameSize;
  int64_t bitRate;
  uint64_t channelMask;  // 0: the default order for the count
  REFERENCE_TIME avgTimePerFrame;
  int32_t extradataSize;
  int16_t colorSpace;  // AVColorSpace of the pictures, AVCOL_SPC_UNSPECIFIED when untagged
  int16_t colorRange;  // AVColorRange
};

// An enum field FFmpeg fills from the file, as a number: it may hold a value the enum lacks.
template <class E>
int RawValue(const E& field) {
  static_assert(sizeof(E) == sizeof(int), "an enum of FFmpeg's");
  int value;
  std::memcpy(&value, &field, sizeof value);
  return value;
}

// A sample that is a packet libavformat read. Beside the bytes the packet carries what libavcodec
// is to know of them: its times in the container (100 ns units on the segment's clock,
// AV_NOPTS_VALUE where the container gives none; the sample's own start is the presentation time,
// else the decode time, and cannot tell which), and the samples to drop at the start and the end
// of the sound (an encoder's delay, the padding of the last frame), as the container states them.
struct IPacketSample : virtual IUnknown {
  static constexpr IID iid = MakeGuid("c41e7a2d-5b3d-4f19-9e8a-2d6b0f4c7a31");
  virtual const AVPacket* Packet() = 0;
  virtual void GetPacketTimes(REFERENCE_TIME* presentation, REFERENCE_TIME* decode) = 0;
};

// Media type of a stream from its parameters.
MediaType MakeCodecMediaType(const AVCodecParameters* par, REFERENCE_TIME avgTimePerFrame);
// The parameters back from a media type of ours; false when it is not one or is malformed.
bool ReadCodecMediaType(const MediaType& type, AVMediaType kind, CodecFormat* format, const uint8_t** extradata);
// Sound limits of a stream a decoder can take.
bool CodecParametersSane(const CodecFormat& format);
// The video decoders' get_buffer2: pictures in picture memory (platform/media/picture_memory.h).
int GetPictureBuffer(AVCodecContext* ctx, AVFrame* frame, int flags);

struct CodecContextFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SwrFree {
  void operator()(SwrContext* s) const { swr_free(&s); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFree>;

// A decoder opened from the format block (video on FFmpeg's threads, sound on the caller's); null when the
// codec is unknown or refuses the parameters. Packet times are 100 ns units.
CodecContextPtr OpenDecoder(const CodecFormat& format, const uint8_t* extradata);

// The one conversion of decoded sound to interleaved PCM of 1 or 2 channels, any layout mixed
// with libswresample's matrix for it; null when it refuses.
SwrPtr MakePcmMix(const AVChannelLayout& in, AVSampleFormat inFormat, int inRate, int outChannels,
                  AVSampleFormat outFormat, int outRate);

// The frame's start in 100 ns units, or AV_NOPTS_VALUE when it carries none.
REFERENCE_TIME FrameTime(const AVFrame* frame);

// Makers of the filters (class factory form).
HRESULT CreateMediaFileSource(IUnknown* outer, IUnknown** object);
HRESULT CreateMediaParser(IUnknown* outer, IUnknown** object);
HRESULT CreateVideoDecoder(IUnknown* outer, IUnknown** object);
HRESULT CreateAudioDecoder(IUnknown* outer, IUnknown** object);

}  // namespace ffmedia
