#include "media.h"

#include <gtest/gtest.h>
#include <lame/lame.h>
#include <mpg123.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "movie/reference_video.h"
#include "oggenc.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswresample/swresample.h>
}

void PutLE(Bytes& b, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

Bytes Chunk(const char* id, const Bytes& body) {
  Bytes b(id, id + 4);
  PutLE(b, static_cast<uint32_t>(body.size()), 4);
  b.insert(b.end(), body.begin(), body.end());
  if (body.size() & 1) b.push_back(0);
  return b;
}

Bytes RiffWave(const std::vector<Bytes>& chunks) {
  Bytes body = {'W', 'A', 'V', 'E'};
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  Bytes out = {'R', 'I', 'F', 'F'};
  PutLE(out, static_cast<uint32_t>(body.size()), 4);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes FmtBody(int tag, int channels, int rate, int avgBytes, int blockAlign, int bits, bool sixteenBytes,
              const Bytes& extra) {
  Bytes b;
  PutLE(b, static_cast<uint32_t>(tag), 2);
  PutLE(b, static_cast<uint32_t>(channels), 2);
  PutLE(b, static_cast<uint32_t>(rate), 4);
  PutLE(b, static_cast<uint32_t>(avgBytes), 4);
  PutLE(b, static_cast<uint32_t>(blockAlign), 2);
  PutLE(b, static_cast<uint32_t>(bits), 2);
  if (!sixteenBytes) {
    PutLE(b, static_cast<uint32_t>(extra.size()), 2);
    b.insert(b.end(), extra.begin(), extra.end());
  }
  return b;
}

Bytes PcmWave(int channels, int rate, int bits, const Bytes& data) {
  const int align = channels * bits / 8;
  return RiffWave({Chunk("fmt ", FmtBody(1, channels, rate, rate * align, align, bits, false)), Chunk("data", data)});
}

std::vector<int16_t> TestSignal(int channels, int frames, int rate, uint32_t seed) {
  std::vector<int16_t> out(static_cast<size_t>(frames) * channels);
  uint32_t lcg = seed;
  for (int f = 0; f < frames; ++f) {
    for (int c = 0; c < channels; ++c) {
      lcg = lcg * 1664525u + 1013904223u;
      const double noise = static_cast<double>(lcg >> 22) - 512.0;
      const double tone = 12000.0 * std::sin(2.0 * M_PI * 440.0 * (c + 1) * f / rate);
      out[static_cast<size_t>(f) * channels + c] = static_cast<int16_t>(std::lround(tone + noise));
    }
  }
  return out;
}

Bytes ToBytes(const std::vector<int16_t>& samples) {
  Bytes b;
  for (int16_t s : samples) PutLE(b, static_cast<uint16_t>(s), 2);
  return b;
}

std::vector<int16_t> ToSamples(const void* data, size_t bytes) {
  std::vector<int16_t> s(bytes / 2);
  if (!s.empty()) std::memcpy(s.data(), data, s.size() * 2);
  return s;
}

namespace {

int Clamp16(int64_t v) { return static_cast<int>(std::min<int64_t>(32767, std::max<int64_t>(-32768, v))); }

const int kCoef[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
const int kAdapt[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};
const int kImaIndex[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
const int kImaStep[89] = {7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,
                          23,    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,
                          73,    80,    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,
                          230,   253,   279,   307,   337,   371,   408,   449,   494,   544,   598,   658,
                          724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
                          2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,
                          7132,  7845,  8630,  9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350,
                          22385, 24623, 27086, 29794, 32767};

}  // namespace

int MsAdpcmSamplesPerBlock(int blockAlign, int channels) { return 2 + (blockAlign - 7 * channels) * 2 / channels; }

Bytes MsAdpcmExtra(int samplesPerBlock) {
  Bytes e;
  PutLE(e, static_cast<uint32_t>(samplesPerBlock), 2);
  PutLE(e, 7, 2);
  for (const auto& c : kCoef) {
    PutLE(e, static_cast<uint16_t>(c[0]), 2);
    PutLE(e, static_cast<uint16_t>(c[1]), 2);
  }
  return e;
}

Bytes EncodeMsAdpcm(const std::vector<int16_t>& pcm, int ch, int blockAlign, std::vector<int16_t>* decoded) {
  const int spb = MsAdpcmSamplesPerBlock(blockAlign, ch);
  const int frames = static_cast<int>(pcm.size()) / ch;
  auto x = [&](int f, int c) { return f < frames ? pcm[static_cast<size_t>(f) * ch + c] : 0; };
  Bytes out;
  decoded->clear();
  for (int start = 0, block = 0; start < frames; start += spb, ++block) {
    Bytes b(static_cast<size_t>(blockAlign), 0);
    int64_t s1[2], s2[2], delta[2];
    int pred[2];
    for (int c = 0; c < ch; ++c) {
      pred[c] = (block + c) % 7;
      delta[c] = 32;
      s2[c] = x(start, c);
      s1[c] = x(start + 1, c);
      b[c] = static_cast<uint8_t>(pred[c]);
      for (int k = 0; k < 2; ++k) {
        b[ch + 2 * c + k] = static_cast<uint8_t>(static_cast<uint16_t>(delta[c]) >> (8 * k));
        b[3 * ch + 2 * c + k] = static_cast<uint8_t>(static_cast<uint16_t>(s1[c]) >> (8 * k));
        b[5 * ch + 2 * c + k] = static_cast<uint8_t>(static_cast<uint16_t>(s2[c]) >> (8 * k));
      }
    }
    std::vector<int16_t> frameOut(static_cast<size_t>(spb) * ch);
    for (int c = 0; c < ch; ++c) {
      frameOut[c] = static_cast<int16_t>(s2[c]);
      frameOut[ch + c] = static_cast<int16_t>(s1[c]);
    }
    for (int f = 2; f < spb; ++f) {
      for (int c = 0; c < ch; ++c) {
        const int64_t p = (s1[c] * kCoef[pred[c]][0] + s2[c] * kCoef[pred[c]][1]) / 256;
        int n = static_cast<int>(std::lround(static_cast<double>(x(start + f, c) - p) / static_cast<double>(delta[c])));
        n = std::min(7, std::max(-8, n));
        const int v = Clamp16(p + n * delta[c]);
        delta[c] = std::max<int64_t>(16, kAdapt[n & 15] * delta[c] / 256);
        s2[c] = s1[c];
        s1[c] = v;
        frameOut[static_cast<size_t>(f) * ch + c] = static_cast<int16_t>(v);
        const int k = (f - 2) * ch + c;
        uint8_t& byte = b[7 * ch + k / 2];
        byte = static_cast<uint8_t>(byte | ((k & 1) ? (n & 15) : ((n & 15) << 4)));
      }
    }
    decoded->insert(decoded->end(), frameOut.begin(), frameOut.end());
    out.insert(out.end(), b.begin(), b.end());
  }
  return out;
}

int ImaAdpcmSamplesPerBlock(int blockAlign, int channels) { return 1 + (blockAlign - 4 * channels) * 2 / channels; }

Bytes EncodeImaAdpcm(const std::vector<int16_t>& pcm, int ch, int blockAlign, std::vector<int16_t>* decoded) {
  const int spb = ImaAdpcmSamplesPerBlock(blockAlign, ch);
  const int frames = static_cast<int>(pcm.size()) / ch;
  auto x = [&](int f, int c) { return f < frames ? pcm[static_cast<size_t>(f) * ch + c] : 0; };
  int index[2] = {0, 0};
  Bytes out;
  decoded->clear();
  for (int start = 0; start < frames; start += spb) {
    Bytes b(static_cast<size_t>(blockAlign), 0);
    std::vector<int16_t> frameOut(static_cast<size_t>(spb) * ch);
    for (int c = 0; c < ch; ++c) {
      int predictor = x(start, c);
      b[4 * c] = static_cast<uint8_t>(static_cast<uint16_t>(predictor) & 0xFF);
      b[4 * c + 1] = static_cast<uint8_t>(static_cast<uint16_t>(predictor) >> 8);
      b[4 * c + 2] = static_cast<uint8_t>(index[c]);
      frameOut[c] = static_cast<int16_t>(predictor);
      for (int j = 0; j < spb - 1; ++j) {
        const int step = kImaStep[index[c]];
        int diff = x(start + 1 + j, c) - predictor;
        int nibble = 0;
        if (diff < 0) {
          nibble = 8;
          diff = -diff;
        }
        if (diff >= step) { nibble |= 4; diff -= step; }
        if (diff >= step / 2) { nibble |= 2; diff -= step / 2; }
        if (diff >= step / 4) nibble |= 1;
        int dq = step / 8;
        if (nibble & 4) dq += step;
        if (nibble & 2) dq += step / 2;
        if (nibble & 1) dq += step / 4;
        predictor = Clamp16(predictor + ((nibble & 8) ? -dq : dq));
        index[c] = std::min(88, std::max(0, index[c] + kImaIndex[nibble & 7]));
        frameOut[static_cast<size_t>(j + 1) * ch + c] = static_cast<int16_t>(predictor);
        // Eight samples of a channel fill four bytes, low nibble first; the channels take turns.
        uint8_t& byte = b[4 * ch + (j / 8) * 4 * ch + 4 * c + (j % 8) / 2];
        byte = static_cast<uint8_t>(byte | ((j & 1) ? nibble << 4 : nibble));
      }
    }
    decoded->insert(decoded->end(), frameOut.begin(), frameOut.end());
    out.insert(out.end(), b.begin(), b.end());
  }
  return out;
}

// libvorbisenc (Debian 1.3.7) loses a block of its own when it sets up six channels.
extern "C" const char* __lsan_default_suppressions() { return "leak:vorbis_encode_setup_init\n"; }

Bytes EncodeOggVorbis(const std::vector<int16_t>& pcm, int ch, int rate, int serial) {
  Bytes file = EncodeOggVorbis(pcm, ch, rate, 0.3f, serial);
  EXPECT_FALSE(file.empty());
  return file;
}

namespace {

struct MemSource {
  const Bytes* data;
  size_t pos;
};

size_t MemRead(void* ptr, size_t size, size_t count, void* source) {
  auto* m = static_cast<MemSource*>(source);
  const size_t n = std::min(size * count, m->data->size() - m->pos);
  std::memcpy(ptr, m->data->data() + m->pos, n);
  m->pos += n;
  return size ? n / size : 0;
}

int MemSeek(void* source, ogg_int64_t offset, int whence) {
  auto* m = static_cast<MemSource*>(source);
  const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<int64_t>(m->pos)
                                                                   : static_cast<int64_t>(m->data->size());
  const int64_t to = base + offset;
  if (to < 0 || to > static_cast<int64_t>(m->data->size())) return -1;
  m->pos = static_cast<size_t>(to);
  return 0;
}

long MemTell(void* source) { return static_cast<long>(static_cast<MemSource*>(source)->pos); }

}  // namespace

std::vector<int16_t> DecodeOggVorbisDirect(const Bytes& file) {
  MemSource source{&file, 0};
  OggVorbis_File vf;
  ov_callbacks cb = {MemRead, MemSeek, nullptr, MemTell};
  std::vector<int16_t> out;
  if (ov_open_callbacks(&source, &vf, nullptr, 0, cb) < 0) return out;
  char buffer[4096];
  int link;
  long n;
  while ((n = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &link)) > 0) {
    std::vector<int16_t> s = ToSamples(buffer, static_cast<size_t>(n));
    out.insert(out.end(), s.begin(), s.end());
  }
  ov_clear(&vf);
  return out;
}

Bytes EncodeMp3(const std::vector<int16_t>& pcm, int ch, int rate, int kbps) {
  lame_global_flags* gf = lame_init();
  lame_set_in_samplerate(gf, rate);
  lame_set_out_samplerate(gf, rate);
  lame_set_num_channels(gf, ch);
  lame_set_mode(gf, ch == 1 ? MONO : JOINT_STEREO);
  lame_set_brate(gf, kbps);
  lame_set_quality(gf, 7);
  lame_set_bWriteVbrTag(gf, 0);
  EXPECT_EQ(lame_init_params(gf), 0);
  const int frames = static_cast<int>(pcm.size()) / ch;
  Bytes out(static_cast<size_t>(frames) * 5 / 4 + 7200 * 2);
  std::vector<int16_t> copy = pcm;
  int n = ch == 1 ? lame_encode_buffer(gf, copy.data(), copy.data(), frames, out.data(), static_cast<int>(out.size()))
                  : lame_encode_buffer_interleaved(gf, copy.data(), frames, out.data(), static_cast<int>(out.size()));
  EXPECT_GE(n, 0);
  int m = lame_encode_flush(gf, out.data() + n, static_cast<int>(out.size()) - n);
  EXPECT_GE(m, 0);
  out.resize(static_cast<size_t>(n + m));
  lame_close(gf);
  return out;
}

std::vector<int16_t> DecodeMp3Direct(const Bytes& file, int ch, int rate) {
  std::vector<int16_t> out;
  mpg123_handle* mh = mpg123_new(nullptr, nullptr);
  mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  mpg123_format_none(mh);
  mpg123_format(mh, rate, ch == 1 ? MPG123_MONO : MPG123_STEREO, MPG123_ENC_SIGNED_16);
  mpg123_open_feed(mh);
  mpg123_feed(mh, file.data(), file.size());
  unsigned char buffer[8192];
  for (;;) {
    size_t done = 0;
    int r = mpg123_read(mh, buffer, sizeof buffer, &done);
    std::vector<int16_t> s = ToSamples(buffer, done);
    out.insert(out.end(), s.begin(), s.end());
    if (r != MPG123_OK && r != MPG123_NEW_FORMAT) break;
  }
  mpg123_delete(mh);
  return out;
}

ScratchFile::ScratchFile(const char* what, const Bytes& data) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  path = std::string(info ? info->name() : "sound") + "_" + std::to_string(getpid()) + "_" + what;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                              static_cast<std::streamsize>(data.size()));
}

ScratchFile::~ScratchFile() { std::remove(path.c_str()); }

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

ReferenceSound DecodeWithFFmpeg(const std::string& path) {
  ReferenceSound out;
  SwrContext* swr = nullptr;
  DecodeFramesWithFFmpeg(path, false, [&](const AVFrame& frame) {
    if (!swr) {
      out.rate = frame.sample_rate;
      out.channels = frame.ch_layout.nb_channels == 1 ? 1 : 2;
      AVChannelLayout layout;
      av_channel_layout_default(&layout, out.channels);
      swr_alloc_set_opts2(&swr, &layout, AV_SAMPLE_FMT_S16, out.rate,
                          const_cast<AVChannelLayout*>(&frame.ch_layout), AVSampleFormat(frame.format),
                          frame.sample_rate, 0, nullptr);
      swr_init(swr);
    }
    const size_t at = out.samples.size();
    out.samples.resize(at + size_t(frame.nb_samples) * out.channels);
    auto* dst = reinterpret_cast<uint8_t*>(out.samples.data() + at);
    const int made = swr_convert(swr, &dst, frame.nb_samples, const_cast<const uint8_t**>(frame.extended_data),
                                 frame.nb_samples);
    out.samples.resize(at + size_t(std::max(made, 0)) * out.channels);
    return true;
  });
  swr_free(&swr);
  return out;
}
