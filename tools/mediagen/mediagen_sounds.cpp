// Sound files in the forms other programs write, encoded by libavcodec and muxed by libavformat:
// PCM whose bytes hold 0xFF 0xFx pairs that parse as MPEG audio frame headers, AAC in ADTS and
// MP4, 32-bit PCM and big-block MS ADPCM in WAVE, Opus in Ogg.
#include <cmath>
#include <cstdio>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include "mediagen.h"

#include "mediagen_ffmpeg.h"

namespace {

// The noise of the GSM speech and of 32-bit samples' low bits: with it the files hold 0xFF 0xFx
// pairs that parse as MPEG audio frame headers.
constexpr uint32_t kSpeechSeed = 7 * 7919;

enum class Signal {
  Tone,       // 440 Hz left, 660 Hz right
  QuietTone,  // 440 Hz at an eighth of full scale in every channel
  AiffSync,   // big-endian -2 then 4608: FF FE 12 00, a Layer I header; then runs of -1 to -16
  MulawSync,  // 0, 28, 3000, 3000 in mu-law: FF FB B7 B7, a Layer III header
  Speech,     // a few partials and noise, for GSM
};

struct SoundSpec {
  const char* file;
  const char* muxer;
  const char* codec;
  int rate, channels;
  double seconds;
  Signal signal;
  const char* codecOption = nullptr;  // "name=value"
  const char* muxerOption = nullptr;
};

// Sample i of channel ch in [-32768, 32767] (16-bit scale; 32-bit output scales it up).
double SampleOf(const SoundSpec& s, long i, int ch) {
  const double t = double(i) / s.rate;
  switch (s.signal) {
    case Signal::AiffSync: {
      if (i < 2) return i == 0 ? -2 : 4608;
      if (i % 1000 < 16) return -1 - i % 16;
      return std::round(8000 * std::sin(2 * M_PI * 440 * t));
    }
    case Signal::MulawSync: {
      const int prefix[] = {0, 28, 3000, 3000};
      if (i < 4) return prefix[i];
      return std::round(6000 * std::sin(2 * M_PI * 300 * t));
    }
    case Signal::Speech: {
      uint32_t x = (uint32_t(i) + kSpeechSeed) * 2654435761u;
      x ^= x >> 15;
      return std::round(5000 * std::sin(2 * M_PI * 180 * t) + 3000 * std::sin(2 * M_PI * 730 * t) +
                        double(int(x % 2001) - 1000));
    }
    case Signal::QuietTone: return std::round(4096 * std::sin(2 * M_PI * 440 * t));
    case Signal::Tone:
    default: return std::round(16000 * std::sin(2 * M_PI * (ch ? 660 : 440) * t));
  }
}

// The 16 bits below a 32-bit sample's 16-bit value: noise, whose bytes meet the high ones in
// 0xFF 0xFx pairs the MPEG audio decoder once took for frames.
int32_t LowBits(long i, int ch) {
  uint32_t x = (uint32_t(i) * 2 + uint32_t(ch) + kSpeechSeed) * 2654435761u;
  x ^= x >> 15;
  return int32_t(x >> 24) * 257;
}

void FillFrame(const SoundSpec& s, AVFrame* f, long first) {
  const AVSampleFormat format = AVSampleFormat(f->format);
  const bool planar = av_sample_fmt_is_planar(format);
  const AVSampleFormat packed = av_get_packed_sample_fmt(format);
  const int channels = f->ch_layout.nb_channels;
  const long total = long(s.seconds * s.rate);
  for (int i = 0; i < f->nb_samples; ++i) {
    for (int ch = 0; ch < channels; ++ch) {
      const double v = first + i < total ? SampleOf(s, first + i, ch) : 0.0;
      const int at = planar ? i : i * channels + ch;
      uint8_t* plane = f->data[planar ? ch : 0];
      if (packed == AV_SAMPLE_FMT_S16)
        reinterpret_cast<int16_t*>(plane)[at] = int16_t(v);
      else if (packed == AV_SAMPLE_FMT_S32)
        reinterpret_cast<int32_t*>(plane)[at] = int32_t(v) * 65536 + LowBits(first + i, ch);
      else
        reinterpret_cast<float*>(plane)[at] = float(v / 32768.0);
    }
  }
}

bool WriteSound(const std::string& path, const SoundSpec& s) {
  AVFormatContext* made = nullptr;
  if (avformat_alloc_output_context2(&made, nullptr, s.muxer, path.c_str()) < 0 || !made)
    return Fail(path, "no such container");
  OutputPtr out(made);
  out->flags |= AVFMT_FLAG_BITEXACT;  // no random stream ids: the same bytes every run
  const AVCodec* codec = avcodec_find_encoder_by_name(s.codec);
  if (!codec) return Fail(path, "no encoder");
  CodecPtr c(avcodec_alloc_context3(codec));
  c->sample_rate = s.rate;
  av_channel_layout_default(&c->ch_layout, s.channels);
  c->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
  c->bit_rate = codec->id == AV_CODEC_ID_AAC ? 128000 : 0;  // libgsm takes only its own
  c->time_base = AVRational{1, s.rate};
  if (out->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* codecOptions = nullptr;
  if (s.codecOption) av_dict_parse_string(&codecOptions, s.codecOption, "=", ",", 0);
  const int opened = avcodec_open2(c.get(), codec, &codecOptions);
  av_dict_free(&codecOptions);
  if (opened < 0) return Fail(path, "encoder refuses the settings");
  AVStream* st = avformat_new_stream(out.get(), nullptr);
  avcodec_parameters_from_context(st->codecpar, c.get());
  st->time_base = c->time_base;
  FramePtr frame(av_frame_alloc());
  frame->format = c->sample_fmt;
  frame->nb_samples = c->frame_size > 0 ? c->frame_size : 1024;
  av_channel_layout_copy(&frame->ch_layout, &c->ch_layout);
  frame->sample_rate = s.rate;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return Fail(path, "no memory");

  if (avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return Fail(path, "cannot create the file");
  AVDictionary* muxerOptions = nullptr;
  if (s.muxerOption) av_dict_parse_string(&muxerOptions, s.muxerOption, "=", ",", 0);
  const int header = avformat_write_header(out.get(), &muxerOptions);
  av_dict_free(&muxerOptions);
  if (header < 0) return Fail(path, "muxer refuses the stream");
  PacketPtr packet(av_packet_alloc());
  const long total = long(s.seconds * s.rate);
  for (long next = 0; next < total; next += frame->nb_samples) {
    if (av_frame_make_writable(frame.get()) < 0) return Fail(path, "no memory");
    FillFrame(s, frame.get(), next);
    frame->pts = next;
    if (!Drain(out.get(), c.get(), st, frame.get(), packet.get())) return Fail(path, "encoding failed");
  }
  if (!Drain(out.get(), c.get(), st, nullptr, packet.get())) return Fail(path, "encoding failed");
  if (av_write_trailer(out.get()) < 0) return Fail(path, "cannot finish the file");
  return true;
}

}  // namespace

bool WriteTestSounds(const std::string& dir) {
  const SoundSpec specs[] = {
      {"false_sync.aiff", "aiff", "pcm_s16be", 22050, 1, 2.0, Signal::AiffSync},
      {"false_sync.au", "au", "pcm_mulaw", 8000, 1, 2.0, Signal::MulawSync},
      {"speech.gsm", "gsm", "libgsm", 8000, 1, 30.0, Signal::Speech},
      {"tone.aac", "adts", "aac", 44100, 2, 2.0, Signal::Tone},
      {"tone.m4a", "mp4", "aac", 48000, 1, 2.0, Signal::QuietTone},
      {"tone_index_first.m4a", "mp4", "aac", 44100, 2, 2.0, Signal::Tone, nullptr, "movflags=+faststart"},
      {"pcm32.wav", "wav", "pcm_s32le", 44100, 2, 2.0, Signal::QuietTone},
      {"adpcm_88200.wav", "wav", "adpcm_ms", 88200, 2, 2.0, Signal::QuietTone, "block_size=4096"},
      {"adpcm_96000.wav", "wav", "adpcm_ms", 96000, 2, 2.0, Signal::QuietTone, "block_size=4096"},
      // 48,312 frames with the encoder's delay, in 51 packets of 960: the last page trims 648.
      {"tone.opus", "ogg", "libopus", 48000, 2, 1.0, Signal::Tone},
  };
  bool ok = true;
  for (const SoundSpec& s : specs) ok = WriteSound(dir + s.file, s) && ok;
  return ok;
}
