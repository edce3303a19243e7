// Encodes the test clips with libavcodec and writes them with libavformat.
#include "mediagen.h"

#include <cstdio>
#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include "moviegen.h"

#include "mediagen_ffmpeg.h"

namespace {

struct Track {
  CodecPtr codec;
  AVStream* stream = nullptr;
  FramePtr frame;
  int64_t next = 0;  // pts of the next frame, in the codec's time base
  bool done = false;
};

// Sends a frame (null: drain) and writes what comes out.
bool Encode(AVFormatContext* out, Track& t, AVFrame* frame, AVPacket* packet) {
  if (avcodec_send_frame(t.codec.get(), frame) < 0) return false;
  for (;;) {
    const int r = avcodec_receive_packet(t.codec.get(), packet);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) return false;
    // Without its length the last frame ends where it starts, and MP4's edit list drops it.
    if (packet->duration <= 0 && t.codec->codec_type == AVMEDIA_TYPE_VIDEO) packet->duration = 1;
    av_packet_rescale_ts(packet, t.codec->time_base, t.stream->time_base);
    packet->stream_index = t.stream->index;
    if (av_interleaved_write_frame(out, packet) < 0) return false;
  }
}

}  // namespace

bool WriteTestClip(const std::string& path, const TestClipSpec& shape) {
  AVFormatContext* made = nullptr;
  if (avformat_alloc_output_context2(&made, nullptr, shape.container, path.c_str()) < 0 || !made)
    return Fail(path, "no such container");
  OutputPtr out(made);
  out->flags |= AVFMT_FLAG_BITEXACT;  // no random stream ids: the same bytes every run
  // A program stream's rate is guessed from the streams' nominal rates, which a noisy picture
  // passes: the muxer then falls behind and stores pictures seconds ahead of their sound.
  if (std::strcmp(shape.container, "mpeg") == 0) av_opt_set_int(out->priv_data, "muxrate", 10000000, 0);
  const bool globalHeader = (out->oformat->flags & AVFMT_GLOBALHEADER) != 0;

  Track video;
  video.done = shape.videoCodec == nullptr;
  if (shape.videoCodec) {
    const AVCodec* codec = avcodec_find_encoder_by_name(shape.videoCodec);
    if (!codec) return Fail(path, "no video encoder");
    video.codec.reset(avcodec_alloc_context3(codec));
    AVCodecContext* c = video.codec.get();
    c->width = shape.width;
    c->height = shape.height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, shape.fps};
    c->framerate = AVRational{shape.fps, 1};
    c->gop_size = shape.gop;
    c->max_b_frames = shape.bFrames;
    if (shape.codecTag) c->codec_tag = MKTAG(shape.codecTag[0], shape.codecTag[1], shape.codecTag[2], shape.codecTag[3]);
    c->thread_count = 1;
    if (codec->id == AV_CODEC_ID_MPEG4) {
      c->flags |= AV_CODEC_FLAG_QSCALE;
      c->global_quality = FF_QP2LAMBDA * shape.quality;
    } else if (codec->id == AV_CODEC_ID_H264) {
      c->bit_rate = shape.videoBitRate > 0 ? shape.videoBitRate
                                           : int64_t(shape.width) * shape.height * shape.fps / 10;  // about 25 Mbit/s at 2160p30
      av_opt_set(c->priv_data, "preset", "ultrafast", 0);
    } else {
      c->bit_rate = shape.videoBitRate > 0 ? shape.videoBitRate : 4000000;
      c->qmin = 2;
      c->qmax = shape.maxQuantiser;
      av_opt_set(c->priv_data, "deadline", "realtime", 0);
      av_opt_set_int(c->priv_data, "cpu-used", 8, 0);
    }
    if (globalHeader) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(c, codec, nullptr) < 0) return Fail(path, "video encoder refuses the settings");
    video.stream = avformat_new_stream(out.get(), nullptr);
    avcodec_parameters_from_context(video.stream->codecpar, c);
    video.stream->time_base = c->time_base;
    video.frame.reset(av_frame_alloc());
    video.frame->format = c->pix_fmt;
    video.frame->width = c->width;
    video.frame->height = c->height;
    if (av_frame_get_buffer(video.frame.get(), 0) < 0) return Fail(path, "no memory");
  }

  Track audio;
  audio.done = shape.audioCodec == nullptr;
  int audioFrameSize = 1024;
  const long audioSamples = long(shape.soundFrames >= 0 ? shape.soundFrames : shape.frames) * shape.audioRate / shape.fps;
  const long audioStart = long(shape.startFrame) * shape.audioRate / shape.fps;
  if (shape.audioCodec) {
    const AVCodec* codec = avcodec_find_encoder_by_name(shape.audioCodec);
    if (!codec) return Fail(path, "no audio encoder");
    audio.codec.reset(avcodec_alloc_context3(codec));
    AVCodecContext* c = audio.codec.get();
    c->sample_rate = shape.audioRate;
    av_channel_layout_default(&c->ch_layout, shape.audioChannels);
    c->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    c->bit_rate = 128000;
    c->time_base = AVRational{1, shape.audioRate};
    if (globalHeader) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(c, codec, nullptr) < 0) return Fail(path, "audio encoder refuses the settings");
    if (c->frame_size > 0 && !(codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) audioFrameSize = c->frame_size;
    audio.stream = avformat_new_stream(out.get(), nullptr);
    avcodec_parameters_from_context(audio.stream->codecpar, c);
    audio.stream->time_base = c->time_base;
    audio.frame.reset(av_frame_alloc());
    audio.frame->format = c->sample_fmt;
    audio.frame->nb_samples = audioFrameSize;
    av_channel_layout_copy(&audio.frame->ch_layout, &c->ch_layout);
    audio.frame->sample_rate = c->sample_rate;
    if (av_frame_get_buffer(audio.frame.get(), 0) < 0) return Fail(path, "no memory");
  }

  if (avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return Fail(path, "cannot create the file");
  if (avformat_write_header(out.get(), nullptr) < 0) return Fail(path, "muxer refuses the streams");
  PacketPtr packet(av_packet_alloc());

  while (!video.done || !audio.done) {
    const bool videoNext =
        !video.done && (audio.done || av_compare_ts(video.next, video.codec->time_base, audio.next,
                                                    audio.codec->time_base) <= 0);
    Track& t = videoNext ? video : audio;
    if (videoNext && video.next >= shape.frames) {
      if (!Encode(out.get(), video, nullptr, packet.get())) return Fail(path, "video encoding failed");
      video.done = true;
      continue;
    }
    if (!videoNext && audio.next >= audioSamples) {
      if (!Encode(out.get(), audio, nullptr, packet.get())) return Fail(path, "audio encoding failed");
      audio.done = true;
      continue;
    }
    AVFrame* f = t.frame.get();
    if (av_frame_make_writable(f) < 0) return Fail(path, "no memory");
    if (videoNext) {
      FillTestMovieFrame(int(video.next), shape.width, shape.height, f->data[0], f->linesize[0], shape.width / 2,
                         shape.height / 2, f->data[1], f->data[2], f->linesize[1]);
      f->pts = shape.startFrame + video.next++;
      f->pict_type = AV_PICTURE_TYPE_NONE;
      f->quality = video.codec->global_quality;  // the quantiser of a fixed-quality encode
    } else {
      const bool planar = av_sample_fmt_is_planar(AVSampleFormat(f->format));
      const bool s16 = av_get_packed_sample_fmt(AVSampleFormat(f->format)) == AV_SAMPLE_FMT_S16;
      const int channels = f->ch_layout.nb_channels;
      for (int i = 0; i < f->nb_samples; ++i) {
        const long n = long(audio.next) + i;
        const float v = n < audioSamples ? (shape.sound ? shape.sound : TestTone)(shape.audioRate, n) : 0.0f;
        for (int ch = 0; ch < channels; ++ch) {
          const int at = planar ? i : i * channels + ch;
          uint8_t* plane = f->data[planar ? ch : 0];
          if (s16)
            reinterpret_cast<int16_t*>(plane)[at] = int16_t(v * 32767.0f);
          else
            reinterpret_cast<float*>(plane)[at] = v;
        }
      }
      f->pts = audioStart + audio.next;
      audio.next += f->nb_samples;
    }
    if (!Encode(out.get(), t, f, packet.get())) return Fail(path, "encoding failed");
  }
  if (av_write_trailer(out.get()) < 0) return Fail(path, "cannot finish the file");
  return true;
}
