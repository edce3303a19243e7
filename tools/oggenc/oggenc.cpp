#include "oggenc.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>

std::vector<uint8_t> EncodeOggVorbis(const std::vector<float>& pcm, int channels, int rate, float quality, int serial,
                                     const char* title) {
  std::vector<uint8_t> out;
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (channels < 1 || vorbis_encode_init_vbr(&vi, channels, rate, quality) != 0) {
    vorbis_info_clear(&vi);
    return out;
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  if (title) vorbis_comment_add_tag(&vc, "TITLE", title);
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, serial);
  ogg_page og;
  auto emit = [&](bool flush) {
    while (flush ? ogg_stream_flush(&os, &og) : ogg_stream_pageout(&os, &og)) {
      out.insert(out.end(), og.header, og.header + og.header_len);
      out.insert(out.end(), og.body, og.body + og.body_len);
    }
  };
  ogg_packet header, comments, codes;
  vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codes);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comments);
  ogg_stream_packetin(&os, &codes);
  emit(true);
  const int frames = static_cast<int>(pcm.size()) / channels;
  for (int at = 0;; at += 1024) {
    const int n = std::max(0, std::min(1024, frames - at));  // 0 marks the end of the stream
    if (n > 0) {
      float** buffer = vorbis_analysis_buffer(&vd, n);
      for (int i = 0; i < n; ++i)
        for (int c = 0; c < channels; ++c)
          buffer[c][i] = pcm[static_cast<size_t>(at + i) * channels + c];
    }
    vorbis_analysis_wrote(&vd, n);
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet op;
      while (vorbis_bitrate_flushpacket(&vd, &op)) {
        ogg_stream_packetin(&os, &op);
        emit(false);
      }
    }
    if (n == 0) break;
  }
  emit(true);
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

std::vector<uint8_t> EncodeOggVorbis(const std::vector<int16_t>& pcm, int channels, int rate, float quality,
                                     int serial) {
  std::vector<float> samples(pcm.size());
  std::transform(pcm.begin(), pcm.end(), samples.begin(), [](int16_t s) { return s / 32768.0f; });
  return EncodeOggVorbis(samples, channels, rate, quality, serial);
}
