// Test clips through FFmpeg's encoders and muxers: frames that carry their own number (as the
// Theora test movies do) and a 440 Hz tone.
#pragma once

#include <string>

struct TestClipSpec {
  const char* container = "mp4";     // muxer name: mp4, webm, matroska
  const char* videoCodec = "mpeg4";  // encoder name, or null for sound alone
  const char* audioCodec = nullptr;  // encoder name, or null for a silent clip
  int width = 128, height = 64;      // the number needs a width of 128
  int frames = 50;
  int fps = 25;
  int audioRate = 44100;
  int audioChannels = 2;
  int quality = 2;  // MPEG-4 quantiser: 2 best
  int soundFrames = -1;  // length of the sound in picture frames; -1: as long as the picture
  int startFrame = 0;    // time of the first frame in frames; below 0 an MP4 edit list starts later
  int gop = 12;          // frames from one key frame to the next
  int bFrames = 0;       // most pictures stored after the one they precede
  const char* codecTag = nullptr;  // four characters the container names the codec by; null: the muxer's
  int videoBitRate = 0;   // bits a second for H.264, VP8 and MPEG-1/2; 0: by the picture's size
  int maxQuantiser = 12;  // coarsest quantiser of VP8 and MPEG-1/2
  float (*sound)(int rate, long i) = nullptr;  // sample i in [-1, 1] of every channel; null: TestTone
};

// Writes the clip; false (with a line on stderr) when an encoder or the muxer fails.
bool WriteTestClip(const std::string& path, const TestClipSpec& shape);

// Sound files of the kinds other programs make (AIFF, AU, GSM, AAC, 32-bit and MS ADPCM WAVE, Opus)
// into a folder; false when an encoder or a muxer fails.
bool WriteTestSounds(const std::string& dir);
