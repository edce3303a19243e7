#include "moviegen.h"

#include <ogg/ogg.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& out, const ogg_page& page) {
  out.insert(out.end(), page.header, page.header + page.header_len);
  out.insert(out.end(), page.body, page.body + page.body_len);
}

// Pages of at most four segments (about a kilobyte), so that frames span several pages, some of
// which complete no packet at all. libogg fills pages with at least four packets.
class SmallPager {
 public:
  SmallPager(int serial, long pageNumber) : serial_(serial), pageNumber_(pageNumber) {}
  void Add(const ogg_packet& op, Bytes& out) {
    const uint8_t* data = op.packet;
    long left = op.bytes;
    for (;;) {
      const int value = int(std::min<long>(left, 255));
      segments_.push_back({value, Bytes(data, data + value)});
      data += value;
      left -= value;
      const bool done = value < 255;  // a packet of whole segments ends with an empty one
      if (done) granule_ = op.granulepos;
      if (segments_.size() == 4) Emit(out, false);
      if (done) break;
    }
  }
  void Finish(Bytes& out) {
    if (!segments_.empty()) Emit(out, true);
  }

 private:
  void Emit(Bytes& out, bool last) {
    const ogg_int64_t granule = granule_;
    granule_ = -1;
    Bytes header(27 + segments_.size());
    std::memcpy(header.data(), "OggS", 4);
    header[5] = uint8_t((continued_ ? 1 : 0) | (last ? 4 : 0));
    for (int i = 0; i < 8; ++i) header[6 + i] = uint8_t(uint64_t(granule) >> (8 * i));
    for (int i = 0; i < 4; ++i) header[14 + i] = uint8_t(uint32_t(serial_) >> (8 * i));
    for (int i = 0; i < 4; ++i) header[18 + i] = uint8_t(uint32_t(pageNumber_) >> (8 * i));
    header[26] = uint8_t(segments_.size());
    Bytes body;
    for (size_t i = 0; i < segments_.size(); ++i) {
      header[27 + i] = uint8_t(segments_[i].first);
      body.insert(body.end(), segments_[i].second.begin(), segments_[i].second.end());
    }
    continued_ = segments_.back().first == 255;
    ogg_page page{header.data(), long(header.size()), body.data(), long(body.size())};
    ogg_page_checksum_set(&page);
    Append(out, page);
    segments_.clear();
    ++pageNumber_;
  }
  int serial_;
  long pageNumber_;
  bool continued_ = false;
  std::vector<std::pair<int, Bytes>> segments_;
  ogg_int64_t granule_ = -1;  // of the last packet completed on the page
};

bool NumberArea(int x, int y) { return y < 16 && x < kMovieNumberBits * 8; }

// Vorbis pages with the time (seconds) at their end.
std::vector<std::pair<double, Bytes>> EncodeVorbis(double seconds, int channels, int serial, Bytes* headerPage,
                                                   Bytes* headerRest) {
  constexpr int kRate = 22050;
  vorbis_info vi;
  vorbis_info_init(&vi);
  vorbis_encode_init_vbr(&vi, channels, kRate, 0.2f);
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block vb;
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, serial);
  ogg_packet id, comments, code;
  vorbis_analysis_headerout(&vd, &vc, &id, &comments, &code);
  ogg_page page;
  ogg_stream_packetin(&os, &id);
  while (ogg_stream_flush(&os, &page)) Append(*headerPage, page);
  ogg_stream_packetin(&os, &comments);
  ogg_stream_packetin(&os, &code);
  while (ogg_stream_flush(&os, &page)) Append(*headerRest, page);

  std::vector<std::pair<double, Bytes>> pages;
  auto drain = [&](bool flush) {
    ogg_packet op;
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      while (vorbis_bitrate_flushpacket(&vd, &op)) ogg_stream_packetin(&os, &op);
    }
    while (flush ? ogg_stream_flush(&os, &page) : ogg_stream_pageout(&os, &page)) {
      Bytes b;
      Append(b, page);
      pages.emplace_back(double(ogg_page_granulepos(&page)) / kRate, std::move(b));
    }
  };
  const long total = long(seconds * kRate);
  for (long done = 0; done < total;) {
    const int n = int(std::min<long>(1024, total - done));
    float** buffer = vorbis_analysis_buffer(&vd, n);
    for (int c = 0; c < channels; ++c) {
      const bool sounding = channels <= 2 || c == 1;  // Vorbis puts the centre second
      for (int i = 0; i < n; ++i) buffer[c][i] = sounding ? TestTone(kRate, done + i) : 0.0f;
    }
    vorbis_analysis_wrote(&vd, n);
    done += n;
    drain(false);
  }
  vorbis_analysis_wrote(&vd, 0);
  drain(true);
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return pages;
}

}  // namespace

uint8_t TestMovieLuma(int frame, int x, int y) {
  if (NumberArea(x, y)) {
    const int bit = (frame >> (x / 8)) & 1;
    return (bit ^ (y >= 8)) ? 235 : 16;
  }
  // A texture that moves, so that inter frames carry real work.
  const int v = ((x + frame * 3) * 7 ^ (y + frame) * 5) & 0x7F;
  return uint8_t(40 + v + ((x / 16 + y / 16 + frame / 4) & 1) * 40);
}

uint8_t TestMovieChromaU(int frame, int x, int y) {
  if (NumberArea(x, y)) return 128;
  return uint8_t(64 + ((x / 4 + frame) % 8) * 16);
}

uint8_t TestMovieChromaV(int frame, int x, int y) {
  if (NumberArea(x, y)) return 128;
  return uint8_t(200 - ((y / 4 + x / 8) % 8) * 16);
}

void FillTestMovieFrame(int frame, int width, int height, uint8_t* y, int yStride, int cw, int ch, uint8_t* u,
                        uint8_t* v, int uvStride) {
  for (int j = 0; j < height; ++j)
    for (int i = 0; i < width; ++i) y[size_t(j) * size_t(yStride) + size_t(i)] = TestMovieLuma(frame, i, j);
  const int sx = width / cw, sy = height / ch;
  for (int j = 0; j < ch; ++j)
    for (int i = 0; i < cw; ++i) {
      u[size_t(j) * size_t(uvStride) + size_t(i)] = TestMovieChromaU(frame, i * sx, j * sy);
      v[size_t(j) * size_t(uvStride) + size_t(i)] = TestMovieChromaV(frame, i * sx, j * sy);
    }
}

float TestTone(int rate, long i) { return 0.3f * float(std::sin(2.0 * M_PI * 440.0 * double(i) / rate)); }

int ReadTestMovieNumber(const uint8_t* pixels, int pitch) {
  int number = 0;
  for (int bit = 0; bit < kMovieNumberBits; ++bit) {
    const int x = bit * 8 + 4;
    const bool one = pixels[size_t(4) * size_t(pitch) + size_t(x) * 4 + 1] > 128;
    const bool inverted = pixels[size_t(12) * size_t(pitch) + size_t(x) * 4 + 1] > 128;
    if (one == inverted) return -1;
    if (one) number |= 1 << bit;
  }
  return number;
}

std::vector<uint8_t> MakeTestMovie(const TestMovieSpec& shape) {
  th_info ti;
  th_info_init(&ti);
  ti.frame_width = uint32_t((shape.picX + shape.width + 15) & ~15);
  ti.frame_height = uint32_t((shape.picY + shape.height + 15) & ~15);
  ti.pic_width = uint32_t(shape.width);
  ti.pic_height = uint32_t(shape.height);
  ti.pic_x = uint32_t(shape.picX);
  ti.pic_y = uint32_t(shape.picY);
  ti.fps_numerator = uint32_t(shape.fpsNumerator);
  ti.fps_denominator = uint32_t(shape.fpsDenominator);
  ti.aspect_numerator = ti.aspect_denominator = 1;
  ti.colorspace = TH_CS_UNSPECIFIED;
  ti.pixel_fmt = shape.chroma444 ? TH_PF_444 : TH_PF_420;
  ti.target_bitrate = 0;
  ti.quality = shape.quality;
  ti.keyframe_granule_shift = 6;
  th_enc_ctx* enc = th_encode_alloc(&ti);
  if (!enc) return {};
  int interval = shape.keyInterval;
  th_encode_ctl(enc, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &interval, sizeof(interval));

  Bytes out;
  ogg_stream_state os;
  ogg_stream_init(&os, 0x7E0A);
  th_comment tc;
  th_comment_init(&tc);
  ogg_packet op;
  ogg_page page;
  // Beginning-of-stream pages of both streams first, then the rest of the headers.
  th_encode_flushheader(enc, &tc, &op);
  Bytes ident(op.packet, op.packet + op.bytes);
  if (shape.claimWidth > 0 && ident.size() >= 20) {
    // Frame size in macroblocks (16 bits each), then the picture size (24 bits each), big-endian.
    const uint32_t mbw = uint32_t(shape.claimWidth + 15) / 16, mbh = uint32_t(shape.claimHeight + 15) / 16;
    const uint32_t fields[4][2] = {{10, mbw}, {12, mbh}, {14, uint32_t(shape.claimWidth)}, {17, uint32_t(shape.claimHeight)}};
    for (int f = 0; f < 4; ++f) {
      const int bytes = f < 2 ? 2 : 3;
      for (int i = 0; i < bytes; ++i) ident[fields[f][0] + i] = uint8_t(fields[f][1] >> (8 * (bytes - 1 - i)));
    }
  }
  op.packet = ident.data();
  ogg_stream_packetin(&os, &op);
  while (ogg_stream_flush(&os, &page)) Append(out, page);
  Bytes vorbisFirst, vorbisRest;
  std::vector<std::pair<double, Bytes>> audio;
  if (shape.vorbis)
    audio = EncodeVorbis(double(shape.frames) * shape.fpsDenominator / shape.fpsNumerator, shape.vorbisChannels,
                         0x50B, &vorbisFirst, &vorbisRest);
  out.insert(out.end(), vorbisFirst.begin(), vorbisFirst.end());
  while (th_encode_flushheader(enc, &tc, &op) > 0) ogg_stream_packetin(&os, &op);
  while (ogg_stream_flush(&os, &page)) Append(out, page);
  out.insert(out.end(), vorbisRest.begin(), vorbisRest.end());

  const int fw = int(ti.frame_width), fh = int(ti.frame_height);
  const int cw = shape.chroma444 ? fw : fw / 2, ch = shape.chroma444 ? fh : fh / 2;
  Bytes y(size_t(fw) * fh), u(size_t(cw) * ch), v(size_t(cw) * ch);
  size_t nextAudio = 0;
  SmallPager small(0x7E0A, os.pageno);
  const int frames = shape.headersOnly ? 0 : shape.frames;
  for (int f = 0; f < frames; ++f) {
    FillTestMovieFrame(f, fw, fh, y.data(), fw, cw, ch, u.data(), v.data(), cw);
    th_ycbcr_buffer buf = {{fw, fh, fw, y.data()}, {cw, ch, cw, u.data()}, {cw, ch, cw, v.data()}};
    th_encode_ycbcr_in(enc, buf);
    while (th_encode_packetout(enc, f == frames - 1, &op) > 0) {
      if (shape.paging != MoviePaging::Small) ogg_stream_packetin(&os, &op);
      switch (shape.paging) {
        case MoviePaging::OnePerFrame:
          while (ogg_stream_flush(&os, &page)) Append(out, page);
          break;
        case MoviePaging::Many:
          while (ogg_stream_pageout(&os, &page)) Append(out, page);
          break;
        case MoviePaging::Small:
          small.Add(op, out);
          break;
      }
    }
    const double now = double(f + 1) * shape.fpsDenominator / shape.fpsNumerator;
    for (; nextAudio < audio.size() && audio[nextAudio].first <= now; ++nextAudio)
      out.insert(out.end(), audio[nextAudio].second.begin(), audio[nextAudio].second.end());
  }
  small.Finish(out);
  while (ogg_stream_flush(&os, &page)) Append(out, page);
  for (; nextAudio < audio.size(); ++nextAudio)
    out.insert(out.end(), audio[nextAudio].second.begin(), audio[nextAudio].second.end());
  ogg_stream_clear(&os);
  th_comment_clear(&tc);
  th_encode_free(enc);
  th_info_clear(&ti);
  return out;
}

std::vector<uint8_t> MakeTestVorbis(double seconds) {
  Bytes first, rest, out;
  auto pages = EncodeVorbis(seconds, 1, 0x50B, &first, &rest);
  out = first;
  out.insert(out.end(), rest.begin(), rest.end());
  for (auto& p : pages) out.insert(out.end(), p.second.begin(), p.second.end());
  return out;
}
