// MP3 files as lame writes them (an ID3v2 tag, the frame that holds the encoder's delay and
// padding, the frames), then changed the way people's tools change them.
#include "mediagen_mp3.h"

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kRate = 44100;

struct Mp3Spec {
  int kbps;
  bool freeFormat;  // bit-rate index 0: the frame length is not in the header
  bool tags;        // an ID3v2 tag and the encoder's delay-and-padding frame in front
  double pitch;     // of the left channel; the right one sounds a fifth above
  // Samples per channel.
  int frames = kRate;
};

// Two tones with a slow swell, so that a misplaced stretch shows in the samples.
std::vector<short> Signal(double pitch, int frames) {
  std::vector<short> pcm(size_t(frames) * 2);
  for (int i = 0; i < frames; ++i) {
    const double t = double(i) / kRate;
    const double swell = 0.55 + 0.45 * std::sin(2 * M_PI * 3 * t);
    for (int ch = 0; ch < 2; ++ch)
      pcm[size_t(i) * 2 + ch] = short(std::lround(14000 * swell * std::sin(2 * M_PI * pitch * (ch ? 1.5 : 1.0) * t)));
  }
  return pcm;
}

struct LameDeleter {
  void operator()(lame_global_flags* gf) const { lame_close(gf); }
};

Bytes Encode(const Mp3Spec& s) {
  std::unique_ptr<lame_global_flags, LameDeleter> gf(lame_init());
  if (!gf) return {};
  lame_global_flags* g = gf.get();
  lame_set_in_samplerate(g, kRate);
  lame_set_out_samplerate(g, kRate);
  lame_set_num_channels(g, 2);
  lame_set_mode(g, JOINT_STEREO);
  lame_set_brate(g, s.kbps);
  lame_set_free_format(g, s.freeFormat ? 1 : 0);
  lame_set_quality(g, 5);
  lame_set_bWriteVbrTag(g, s.tags ? 1 : 0);
  lame_set_write_id3tag_automatic(g, 0);
  if (s.tags) {
    id3tag_init(g);
    id3tag_v2_only(g);
    id3tag_set_title(g, "Kestrune test tone");
  }
  if (lame_init_params(g) < 0) return {};

  std::vector<short> pcm = Signal(s.pitch, s.frames);
  Bytes audio(pcm.size() * 5 / 8 + 7200 * 2);
  const int n = lame_encode_buffer_interleaved(g, pcm.data(), s.frames, audio.data(), int(audio.size()));
  if (n < 0) return {};
  const int m = lame_encode_flush(g, audio.data() + n, int(audio.size()) - n);
  if (m < 0) return {};
  audio.resize(size_t(n + m));

  Bytes file;
  if (s.tags) {
    // The encoder's first frame is a blank that the finished delay-and-padding frame replaces.
    Bytes info(lame_get_lametag_frame(g, nullptr, 0));
    if (info.empty() || info.size() > audio.size() ||
        lame_get_lametag_frame(g, info.data(), info.size()) != info.size())
      return {};
    std::copy(info.begin(), info.end(), audio.begin());
    file.resize(lame_get_id3v2_tag(g, nullptr, 0));
    if (file.empty() || lame_get_id3v2_tag(g, file.data(), file.size()) != file.size()) return {};
  }
  file.insert(file.end(), audio.begin(), audio.end());
  return file;
}

// Bytes from the end of the header to the next frame, for a constant bit rate of kbps at 44.1 kHz.
size_t FrameLength(const uint8_t* header, int kbps) { return size_t(144000 * kbps / kRate + ((header[2] >> 1) & 1)); }

// A tool's leftovers after the given number of frames: text, zeros and a lone frame header of the
// stream's own format whose frame would run over the next real one.
Bytes WithJunk(const Bytes& frames, int kbps, int after) {
  size_t at = 0;
  for (int i = 0; i < after && at + 4 <= frames.size(); ++i) at += FrameLength(&frames[at], kbps);
  if (at >= frames.size()) return {};
  Bytes junk = {'j', 'u', 'n', 'k', 0, 0, 0, 0, 0xFF, 0xFB, 0x90, 0x64, 0, 0, 0, 0, 0, 0, 0, 0, 'e', 'n', 'd'};
  Bytes file(frames.begin(), frames.begin() + std::ptrdiff_t(at));
  file.insert(file.end(), junk.begin(), junk.end());
  file.insert(file.end(), frames.begin() + std::ptrdiff_t(at), frames.end());
  return file;
}

}  // namespace

std::vector<TestMp3> MakeTestMp3s() {
  const Bytes first = Encode({128, false, true, 440});
  Bytes joined = Encode({128, false, true, 550});
  const Bytes bare = Encode({128, false, false, 330});
  const Bytes freeFormat = Encode({320, true, true, 440});
  // A quarter second each: free format and a fixed bit rate, joined in both orders.
  const Bytes freeShort = Encode({320, true, true, 660, kRate / 4});
  const Bytes fixedShort = Encode({128, false, true, 330, kRate / 4});
  if (first.empty() || joined.empty() || bare.empty() || freeFormat.empty() || freeShort.empty() || fixedShort.empty())
    return {};
  joined.insert(joined.begin(), first.begin(), first.end());
  Bytes freeThenFixed = freeShort, fixedThenFree = fixedShort;
  freeThenFixed.insert(freeThenFixed.end(), fixedShort.begin(), fixedShort.end());
  fixedThenFree.insert(fixedThenFree.end(), freeShort.begin(), freeShort.end());
  const Bytes junk = WithJunk(bare, 128, 20);
  if (junk.empty()) return {};
  return {{"mp3_joined.mp3", joined},
          {"mp3_junk_between.mp3", junk},
          {"mp3_free_format.mp3", freeFormat},
          {"mp3_free_then_fixed.mp3", freeThenFixed},
          {"mp3_fixed_then_free.mp3", fixedThenFree}};
}

bool WriteTestMp3s(const std::string& dir) {
  const std::vector<TestMp3> files = MakeTestMp3s();
  if (files.empty()) {
    std::fprintf(stderr, "libmp3lame refuses the test MP3s' settings\n");
    return false;
  }
  for (const TestMp3& f : files) {
    const std::string path = dir + f.name;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    const bool ok = out && std::fwrite(f.bytes.data(), 1, f.bytes.size(), out) == f.bytes.size();
    if (!out || std::fclose(out) != 0 || !ok) {
      std::fprintf(stderr, "%s: cannot write the file\n", path.c_str());
      return false;
    }
  }
  return true;
}
