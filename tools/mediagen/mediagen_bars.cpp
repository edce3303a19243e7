// Colour bars through libx264 at quantiser 0, so the decoder gets back the exact Y'CbCr written.
#include "mediagen_bars.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include "mediagen_ffmpeg.h"

namespace {

}  // namespace

void ColorBarYCbCr(const ColorBarsSpec& bars, int bar, int* y, int* cb, int* cr) {
  // Bits of the bar's colour: red 4, green 2, blue 1, in the usual bar order.
  static constexpr int kRgb[kColorBars] = {7, 6, 3, 2, 5, 4, 1, 0};
  double kr = 0.299, kb = 0.114;
  if (bars.matrix == AVCOL_SPC_BT709) kr = 0.2126, kb = 0.0722;
  if (bars.matrix == AVCOL_SPC_BT2020_NCL) kr = 0.2627, kb = 0.0593;
  const int bits = kRgb[std::clamp(bar, 0, kColorBars - 1)];
  const double r = bits & 4 ? 0.75 : 0, g = bits & 2 ? 0.75 : 0, b = bits & 1 ? 0.75 : 0;
  const double luma = kr * r + (1 - kr - kb) * g + kb * b;
  const double pb = (b - luma) / (2 * (1 - kb)), pr = (r - luma) / (2 * (1 - kr));
  const bool full = bars.range == AVCOL_RANGE_JPEG;
  auto level = [](double v) { return int(std::clamp(std::lround(v), 0L, 255L)); };
  *y = level(full ? 255 * luma : 16 + 219 * luma);
  *cb = level(128 + (full ? 255 : 224) * pb);
  *cr = level(128 + (full ? 255 : 224) * pr);
}

bool WriteColorBars(const std::string& path, const ColorBarsSpec& bars) {
  AVFormatContext* made = nullptr;
  if (avformat_alloc_output_context2(&made, nullptr, "mp4", path.c_str()) < 0 || !made)
    return Fail(path, "no such container");
  OutputPtr out(made);
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  if (!codec) return Fail(path, "no H.264 encoder");
  CodecPtr c(avcodec_alloc_context3(codec));
  c->width = kColorBars * kColorBarWidth;
  c->height = kColorBarsHeight;
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  c->time_base = AVRational{1, 25};
  c->framerate = AVRational{25, 1};
  c->thread_count = 1;
  c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  c->colorspace = bars.matrix;
  c->color_range = bars.range;
  if (bars.matrix != AVCOL_SPC_UNSPECIFIED) {
    const bool hd = bars.matrix == AVCOL_SPC_BT709, uhd = bars.matrix == AVCOL_SPC_BT2020_NCL;
    c->color_primaries = hd ? AVCOL_PRI_BT709 : uhd ? AVCOL_PRI_BT2020 : AVCOL_PRI_SMPTE170M;
    c->color_trc = hd ? AVCOL_TRC_BT709 : uhd ? AVCOL_TRC_BT2020_10 : AVCOL_TRC_SMPTE170M;
  }
  av_opt_set(c->priv_data, "preset", "ultrafast", 0);
  av_opt_set_int(c->priv_data, "qp", 0, 0);  // without loss
  if (avcodec_open2(c.get(), codec, nullptr) < 0) return Fail(path, "video encoder refuses the settings");
  AVStream* st = avformat_new_stream(out.get(), nullptr);
  avcodec_parameters_from_context(st->codecpar, c.get());
  st->time_base = c->time_base;

  FramePtr f(av_frame_alloc());
  f->format = c->pix_fmt;
  f->width = c->width;
  f->height = c->height;
  f->colorspace = bars.matrix;
  f->color_range = bars.range;
  if (av_frame_get_buffer(f.get(), 0) < 0) return Fail(path, "no memory");
  for (int bar = 0; bar < kColorBars; ++bar) {
    int y, cb, cr;
    ColorBarYCbCr(bars, bar, &y, &cb, &cr);
    for (int row = 0; row < c->height; ++row)
      std::fill_n(f->data[0] + row * f->linesize[0] + bar * kColorBarWidth, kColorBarWidth, uint8_t(y));
    for (int row = 0; row < c->height / 2; ++row) {
      std::fill_n(f->data[1] + row * f->linesize[1] + bar * kColorBarWidth / 2, kColorBarWidth / 2, uint8_t(cb));
      std::fill_n(f->data[2] + row * f->linesize[2] + bar * kColorBarWidth / 2, kColorBarWidth / 2, uint8_t(cr));
    }
  }

  if (avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return Fail(path, "cannot create the file");
  if (avformat_write_header(out.get(), nullptr) < 0) return Fail(path, "muxer refuses the stream");
  PacketPtr packet(av_packet_alloc());
  for (int i = 0; i < bars.frames; ++i) {
    f->pts = i;
    if (!Drain(out.get(), c.get(), st, f.get(), packet.get())) return Fail(path, "encoding failed");
  }
  if (!Drain(out.get(), c.get(), st, nullptr, packet.get())) return Fail(path, "encoding failed");
  if (av_write_trailer(out.get()) < 0) return Fail(path, "cannot finish the file");
  return true;
}
