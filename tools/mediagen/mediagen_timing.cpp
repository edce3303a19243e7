#include "mediagen_timing.h"

#include <filesystem>
#include <system_error>

namespace {

TestClipSpec Clip(const char* container, const char* video, const char* audio, int bFrames) {
  TestClipSpec s;
  s.container = container;
  s.videoCodec = video;
  s.audioCodec = audio;
  s.width = 320;
  s.height = 240;
  s.fps = 30;
  s.frames = 120;
  s.audioRate = 48000;
  s.gop = 30;
  s.bFrames = bFrames;
  s.videoBitRate = 600000;
  s.maxQuantiser = 31;
  return s;
}

std::vector<TimingClip> MakeClips() {
  std::vector<TimingClip> clips;
  // Xvid's tag, as the DivX/Xvid AVIs people have.
  TestClipSpec xvid = Clip("avi", "mpeg4", "libmp3lame", 2);
  xvid.codecTag = "XVID";
  clips.push_back({"reorder_mpeg4_mp3.avi", xvid, false});
  clips.push_back({"reorder_h264_mp3.avi", Clip("avi", "libx264", "libmp3lame", 2), false});
  // Small pictures: several go into one pack, and only the first of them carries times.
  TestClipSpec ps = Clip("mpeg", "mpeg2video", "mp2", 2);
  ps.width = 176;
  ps.height = 144;
  ps.gop = 15;
  clips.push_back({"reorder_mpeg2.mpg", ps, false});
  // MP3 in FLV takes 44.1 kHz; libavformat writes no index of key frames.
  TestClipSpec flv = Clip("flv", "flv", "libmp3lame", 0);
  flv.audioRate = 44100;
  clips.push_back({"loop_flv1_mp3.flv", flv, false});
  // Its cues and the rest of its clusters lost, as a download that broke off.
  clips.push_back({"loop_cut.webm", Clip("webm", "libvpx", "libvorbis", 0), true});
  return clips;
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
    if (c.cutInHalf) std::filesystem::resize_file(path, std::filesystem::file_size(path, e) / 2, e);
    ok = !e && ok;
  }
  return ok;
}
