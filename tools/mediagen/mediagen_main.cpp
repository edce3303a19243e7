// Writes the FFmpeg test clips into a folder: mediagen <folder>.
// One clip of a chosen size, MPEG-4 in MP4 or VP8 in WebM by the name's ending:
//   mediagen <file.mp4|file.webm> <width>x<height> <frames>
#include <cstdio>
#include <string>

#include "mediagen.h"
#include "mediagen_clips.h"
#include "mediagen_high_rate.h"
#include "mediagen_mp3.h"
#include "mediagen_timing.h"

extern "C" {
#include <libavutil/log.h>
}

int main(int argc, char** argv) {
  // The encoders' notes (a clipped coefficient) are no failure of the clips.
  av_log_set_level(AV_LOG_ERROR);
  TestClipSpec one;
  if (argc == 4 && std::sscanf(argv[2], "%dx%d", &one.width, &one.height) == 2 &&
      std::sscanf(argv[3], "%d", &one.frames) == 1) {
    const std::string path = argv[1];
    if (path.size() > 5 && path.compare(path.size() - 5, 5, ".webm") == 0) {
      one.container = "webm";
      one.videoCodec = "libvpx";
    }
    return one.width > 0 && one.height > 0 && one.frames > 0 && WriteTestClip(path, one) ? 0 : 1;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: mediagen <folder>\n       mediagen <file.mp4|file.webm> <width>x<height> <frames>\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  TestClipSpec mp4;  // MPEG-4 part 2 video, AAC sound
  mp4.audioCodec = "aac";
  TestClipSpec mp3 = mp4;  // the same with MP3 sound
  mp3.audioCodec = "libmp3lame";
  TestClipSpec webm;  // VP8 video, Vorbis sound
  webm.container = "webm";
  webm.videoCodec = "libvpx";
  webm.audioCodec = "libvorbis";
  webm.audioRate = 48000;
  TestClipSpec silent;  // MPEG-4 part 2 in Matroska, no sound
  silent.container = "matroska";
  TestClipSpec large;  // for the benchmark
  large.width = 640;
  large.height = 480;
  large.frames = 100;
  large.quality = 12;
  TestClipSpec tone;  // MP3 sound alone
  tone.container = "mp3";
  tone.videoCodec = nullptr;
  tone.audioCodec = "libmp3lame";
  TestClipSpec wave = tone;  // PCM in WAVE
  wave.container = "wav";
  wave.audioCodec = "pcm_s16le";
  wave.audioRate = 22050;
  bool ok = WriteTestClip(dir + "count50.mp4", mp4) && WriteTestClip(dir + "count50_mp3.mp4", mp3) &&
            WriteTestClip(dir + "count50.webm", webm) && WriteTestClip(dir + "count50_silent.mkv", silent) &&
            WriteTestClip(dir + "count100_640x480.mp4", large) && WriteTestClip(dir + "tone.mp3", tone) &&
            WriteTestClip(dir + "tone.wav", wave) && WriteSyncClips(dir);
  // A file no demuxer takes: text that starts like nothing.
  if (std::FILE* f = std::fopen((dir + "unreadable.mp4").c_str(), "wb")) {
    for (int i = 0; i < 200; ++i) std::fputs("Kein Film, nur Text. ", f);
    ok = std::fclose(f) == 0 && ok;
  } else {
    ok = false;
  }
  ok = WriteTestSounds(dir) && ok;
  ok = WriteHighRateClip(dir) && ok;
  ok = WriteTestMp3s(dir) && ok;
  ok = WriteTimingClips(dir) && ok;
  return ok ? 0 : 1;
}
