#include "mediagen_clips.h"

TestClipSpec SmallTestClip(const char* container, const char* video, const char* audio, int audioRate) {
  TestClipSpec s;
  s.container = container;
  s.videoCodec = video;
  s.audioCodec = audio;
  s.width = 320;
  s.height = 240;
  s.fps = 30;
  s.frames = 120;
  s.audioRate = audioRate;
  s.gop = 30;
  s.videoBitRate = 600000;
  s.maxQuantiser = 31;
  return s;
}

namespace {

std::vector<SyncClip> MakeClips() {
  std::vector<SyncClip> clips;
  clips.push_back({"sync_h264_aac.mp4", SmallTestClip("mp4", "libx264", "aac")});
  TestClipSpec shortSound = SmallTestClip("mp4", "libx264", "aac");
  shortSound.soundFrames = 60;
  clips.push_back({"sync_sound2s.mp4", shortSound});
  TestClipSpec shortPicture = SmallTestClip("mp4", "libx264", "aac");
  shortPicture.frames = 60;
  shortPicture.soundFrames = 120;
  clips.push_back({"sync_picture2s.mp4", shortPicture});
  clips.push_back({"sync_vp8_opus.ogg", SmallTestClip("ogg", "libvpx", "libopus")});
  clips.push_back({"sync_vp8_vorbis.ogg", SmallTestClip("ogg", "libvpx", "libvorbis")});
  clips.push_back({"sync_mpeg2_mp2.mpg", SmallTestClip("mpeg", "mpeg2video", "mp2")});
  clips.push_back({"sync_h264_aac.ts", SmallTestClip("mpegts", "libx264", "aac")});
  clips.push_back({"sync_mpeg2_ac3.ts", SmallTestClip("mpegts", "mpeg2video", "ac3")});
  TestClipSpec m1v = SmallTestClip("mpeg1video", "mpeg1video", nullptr);
  m1v.frames = 30;
  clips.push_back({"sync_raw.m1v", m1v});
  TestClipSpec h264 = SmallTestClip("h264", "libx264", nullptr);
  h264.frames = 30;
  clips.push_back({"sync_raw.h264", h264});
  // Groups of 25 pictures at 25 a second, no sound.
  TestClipSpec oneGroup = SmallTestClip("mpeg", "mpeg2video", nullptr);
  oneGroup.fps = 25;
  oneGroup.frames = oneGroup.gop = 25;
  clips.push_back({"sync_gop1.mpg", oneGroup});
  TestClipSpec twoGroups = oneGroup;
  twoGroups.frames = 50;
  clips.push_back({"sync_gop2.mpg", twoGroups});
  // 5.5 s of media of which the edit list shows the last 4 s.
  TestClipSpec edit = SmallTestClip("mp4", "libx264", "aac");
  edit.frames = edit.soundFrames = 165;
  edit.startFrame = -45;
  clips.push_back({"sync_editlist.mp4", edit});
  return clips;
}

}  // namespace

const std::vector<SyncClip>& SyncClips() {
  static const std::vector<SyncClip> clips = MakeClips();
  return clips;
}

bool WriteSyncClips(const std::string& dir) {
  bool ok = true;
  for (const SyncClip& c : SyncClips()) ok = WriteTestClip(dir + c.name, c.shape) && ok;
  return ok;
}
