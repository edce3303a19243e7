// The compressed stream's media type and opening its decoder.
#include "platform/media/ffmpeg/ffmpeg_common.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace ffmedia {

namespace {

// Subtypes of compressed streams: one per codec.
GUID CodecSubtype(int codecId) {
  return GUID{uint32_t(codecId), 0xC41E, 0x7A2E, {0x9E, 0x8A, 0x2D, 0x6B, 0x0F, 0x4C, 0x7A, 0x31}};
}

}  // namespace

MediaType MakeCodecMediaType(const AVCodecParameters* par, REFERENCE_TIME avgTimePerFrame) {
  const bool video = par->codec_type == AVMEDIA_TYPE_VIDEO;
  MediaType mt(video ? MEDIATYPE_Video : MEDIATYPE_Audio, CodecSubtype(par->codec_id), FORMAT_CodecParameters);
  mt.bFixedSizeSamples = false;
  mt.bTemporalCompression = true;
  CodecFormat f{};
  f.codecId = par->codec_id;
  f.codecType = par->codec_type;
  f.format = par->format;
  f.width = par->width;
  f.height = par->height;
  f.sampleRate = par->sample_rate;
  f.channels = par->ch_layout.nb_channels;
  f.channelMask = par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? par->ch_layout.u.mask : 0;
  f.blockAlign = par->block_align;
  f.bitsPerCodedSample = par->bits_per_coded_sample;
  f.frameSize = par->frame_size;
  f.bitRate = par->bit_rate;
  f.avgTimePerFrame = avgTimePerFrame;
  const int space = RawValue(par->color_space), range = RawValue(par->color_range);
  f.colorSpace = int16_t(space >= 0 && space < AVCOL_SPC_NB ? space : AVCOL_SPC_UNSPECIFIED);
  f.colorRange = int16_t(range >= 0 && range < AVCOL_RANGE_NB ? range : AVCOL_RANGE_UNSPECIFIED);
  f.extradataSize = par->extradata && par->extradata_size > 0 && par->extradata_size <= kMaxExtradata
                        ? par->extradata_size
                        : 0;
  std::vector<uint8_t> block(sizeof f + size_t(f.extradataSize));
  std::memcpy(block.data(), &f, sizeof f);
  if (f.extradataSize) std::memcpy(block.data() + sizeof f, par->extradata, size_t(f.extradataSize));
  mt.SetFormat(block.data(), block.size());
  return mt;
}

bool ReadCodecMediaType(const MediaType& type, AVMediaType kind, CodecFormat* format, const uint8_t** extradata) {
  if (type.formattype != FORMAT_CodecParameters || type.FormatSize() < sizeof(CodecFormat)) return false;
  if (type.majortype != (kind == AVMEDIA_TYPE_VIDEO ? MEDIATYPE_Video : MEDIATYPE_Audio)) return false;
  std::memcpy(format, type.FormatData(), sizeof *format);
  if (format->codecType != kind || format->extradataSize < 0 ||
      uint64_t(format->extradataSize) != type.FormatSize() - sizeof(CodecFormat) ||
      type.subtype != CodecSubtype(format->codecId))
    return false;
  if (kind == AVMEDIA_TYPE_VIDEO) {
    if (!MoviePictureSizeSane(format->width, format->height)) return false;
  } else if (!CodecParametersSane(*format)) {
    return false;
  }
  *extradata = type.FormatData() + sizeof(CodecFormat);
  return true;
}

bool CodecParametersSane(const CodecFormat& f) {
  return f.channels > 0 && f.channels <= kMaxChannels && f.sampleRate > 0 && f.sampleRate <= kMaxSampleRate;
}

CodecContextPtr OpenDecoder(const CodecFormat& f, const uint8_t* extradata) {
  const AVCodec* codec = avcodec_find_decoder(AVCodecID(f.codecId));
  if (!codec) return nullptr;
  CodecContextPtr ctx(avcodec_alloc_context3(codec));
  if (!ctx) return nullptr;
  ctx->codec_type = AVMediaType(f.codecType);
  ctx->codec_id = AVCodecID(f.codecId);
  ctx->width = f.width;
  ctx->height = f.height;
  ctx->sample_rate = f.sampleRate;
  if (f.codecType == AVMEDIA_TYPE_AUDIO) {
    if (f.channelMask && av_popcount64(f.channelMask) == f.channels)
      av_channel_layout_from_mask(&ctx->ch_layout, f.channelMask);
    else
      av_channel_layout_default(&ctx->ch_layout, f.channels);
    ctx->sample_fmt = AVSampleFormat(f.format);
  } else {
    ctx->pix_fmt = AVPixelFormat(f.format);
    ctx->max_pixels = kMaxMoviePicturePixels;  // a picture in the bitstream larger than the stream said is refused too
  }
  ctx->block_align = f.blockAlign;
  ctx->bits_per_coded_sample = f.bitsPerCodedSample;
  ctx->frame_size = f.frameSize;
  ctx->bit_rate = f.bitRate;
  if (f.extradataSize > 0) {
    ctx->extradata = static_cast<uint8_t*>(av_mallocz(size_t(f.extradataSize) + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!ctx->extradata) return nullptr;
    std::memcpy(ctx->extradata, extradata, size_t(f.extradataSize));
    ctx->extradata_size = f.extradataSize;
  }
  ctx->pkt_timebase = AVRational{1, int(UNITS)};
  if (f.codecType == AVMEDIA_TYPE_VIDEO) {
    // Pictures decode on FFmpeg's threads so that large ones keep pace: one for each two million
    // pixels, up to four, since every thread more costs CPU in hand-overs for little gain in
    // time. Sound is cheap and decodes on the streaming thread.
    const int64_t pixels = int64_t(f.width) * std::abs(f.height);
    ctx->thread_count = int(std::clamp<int64_t>((pixels + 1999999) / 2000000, 1, 4));
    ctx->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    ctx->get_buffer2 = GetPictureBuffer;
#if LIBAVCODEC_VERSION_MAJOR < 60
    // It takes calls from several threads at once; unless told so, this libavcodec keeps each
    // picture its threads let go until the thread that took it frees it, several pictures more.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ctx->thread_safe_callbacks = 1;
#pragma GCC diagnostic pop
#endif
  } else {
    ctx->thread_count = 1;
  }
  if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return nullptr;
  return ctx;
}

REFERENCE_TIME FrameTime(const AVFrame* frame) {
  const int64_t t = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
  return t;
}

}  // namespace ffmedia

std::vector<FilterRegistration> FFmpegFilterRegistrations() {
  using namespace ffmedia;
  av_log_set_level(AV_LOG_QUIET);  // a file that does not play is the caller's to report
  av_max_alloc(kMaxAllocation);
  FilterRegistration source;
  source.clsid = CLSID_MediaFileSource;
  source.name = u"File Source";
  source.merit = MERIT_NORMAL;
  source.create = CreateMediaFileSource;
  source.takesFile = [](const std::u16string& path) { return !path.empty(); };  // Load decides

  // Below the MPEG audio decoder: MP3 from a reader keeps going there.
  FilterRegistration parser;
  parser.clsid = CLSID_MediaParser;
  parser.name = u"Media Parser";
  parser.merit = MERIT_NORMAL;
  parser.create = CreateMediaParser;
  parser.takesType = [](const MediaType& t) { return t.majortype == MEDIATYPE_Stream; };

  FilterRegistration video;
  video.clsid = CLSID_MediaVideoDecoder;
  video.name = u"Video Decoder";
  video.merit = MERIT_NORMAL;
  video.create = CreateVideoDecoder;
  video.takesType = [](const MediaType& t) {
    return t.majortype == MEDIATYPE_Video && t.formattype == FORMAT_CodecParameters;
  };

  FilterRegistration audio;
  audio.clsid = CLSID_MediaAudioDecoder;
  audio.name = u"Audio Decoder";
  audio.merit = MERIT_NORMAL;
  audio.create = CreateAudioDecoder;
  audio.takesType = [](const MediaType& t) {
    return t.majortype == MEDIATYPE_Audio && t.formattype == FORMAT_CodecParameters;
  };
  return {source, parser, video, audio};
}
