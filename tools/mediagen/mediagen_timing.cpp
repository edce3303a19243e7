#include "mediagen_timing.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "mediagen_clips.h"

namespace {

TestClipSpec Clip(const char* container, const char* video, const char* audio, int bFrames) {
  TestClipSpec s = SmallTestClip(container, video, audio);
  s.bFrames = bFrames;
  return s;
}

std::vector<TimingClip> MakeClips() {
  std::vector<TimingClip> clips;
  // Xvid's tag, as the DivX/Xvid AVIs people have.
  TestClipSpec xvid = Clip("avi", "mpeg4", "libmp3lame", 2);
  xvid.codecTag = "XVID";
  clips.push_back({"reorder_mpeg4_mp3.avi", xvid, ClipDamage::None});
  clips.push_back({"reorder_h264_mp3.avi", Clip("avi", "libx264", "libmp3lame", 2), ClipDamage::None});
  // Small pictures, several to a pack.
  TestClipSpec ps = Clip("mpeg", "mpeg2video", "mp2", 2);
  ps.width = 176;
  ps.height = 144;
  ps.gop = 15;
  clips.push_back({"reorder_mpeg2.mpg", ps, ClipDamage::None});
  // MP3 in FLV takes 44.1 kHz; libavformat writes no index of key frames.
  TestClipSpec flv = Clip("flv", "flv", "libmp3lame", 0);
  flv.audioRate = 44100;
  clips.push_back({"loop_flv1_mp3.flv", flv, ClipDamage::None});
  // One key picture, so one cluster, broken off in the middle with the cues after it, as a
  // download that stopped.
  TestClipSpec webm = Clip("webm", "libvpx", "libvorbis", 0);
  webm.gop = webm.frames;
  clips.push_back({"loop_cut.webm", webm, ClipDamage::CutInHalf});
  // With no key picture listed at the start libavformat cannot seek there by time, and MP4
  // takes no byte seeks.
  clips.push_back({"loop_first_key_unlisted.mp4", Clip("mp4", "libx264", "aac", 0), ClipDamage::FirstKeyUnlisted});
  return clips;
}

// The first entry of the sync sample table ('stss') becomes a copy of the second.
bool UnlistFirstKey(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t at = bytes.rfind("stss");  // in the index at the end, not in the pictures before it
  auto word = [&](size_t i) {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v = v << 8 | uint8_t(bytes[i + k]);
    return v;
  };
  // 'stss', version and flags, the count, then the numbers of the key pictures.
  if (at == std::string::npos || at + 20 > bytes.size() || word(at + 8) < 2) return false;
  bytes.replace(at + 12, 4, bytes, at + 16, 4);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  return bool(out.write(bytes.data(), std::streamsize(bytes.size())));
}

}  // namespace

const std::vector<TimingClip>& TimingClips() {
  static const std::vector<TimingClip> clips = MakeClips();
  return clips;
}

bool WriteTimingClips(const std::string& dir) {
  bool ok = true;
  for (const TimingClip& c : TimingClips()) {
    const std::string path = dir + c.name;
    if (!WriteTestClip(path, c.shape)) {
      ok = false;
      continue;
    }
    std::error_code e;
    if (c.damage == ClipDamage::CutInHalf) std::filesystem::resize_file(path, std::filesystem::file_size(path, e) / 2, e);
    ok = !e && (c.damage != ClipDamage::FirstKeyUnlisted || UnlistFirstKey(path)) && ok;
  }
  return ok;
}
