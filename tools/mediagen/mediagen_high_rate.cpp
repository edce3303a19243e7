#include "mediagen_high_rate.h"

#include <cmath>

#include "mediagen.h"

namespace {

float TwoTones(int rate, long i) {
  const double t = double(i) / rate;
  return float(kHighRateToneLevel *
               (std::sin(2 * M_PI * kHighRateLowToneHz * t) + std::sin(2 * M_PI * kHighRateHighToneHz * t)));
}

}  // namespace

bool WriteHighRateClip(const std::string& dir) {
  TestClipSpec clip;  // 15 small MPEG-4 pictures, 0.6 s of mono sound
  clip.container = "matroska";
  clip.audioCodec = "flac";
  clip.audioRate = kHighRateClipRate;
  clip.audioChannels = 1;
  clip.frames = 15;
  clip.quality = 12;
  clip.sound = TwoTones;
  return WriteTestClip(dir + "tone30k_96k.mkv", clip);
}
