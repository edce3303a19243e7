// A movie whose sound is faster than the sound output plays: 96 kHz FLAC holding a tone the
// output can carry and one above the Nyquist frequency of any output rate up to 48 kHz.
#pragma once

#include <string>

constexpr int kHighRateClipRate = 96000;
constexpr double kHighRateLowToneHz = 1000;
constexpr double kHighRateHighToneHz = 30000;
constexpr double kHighRateToneLevel = 0.45;  // of full scale, each tone

// Writes "tone30k_96k.mkv" into the folder (ending in '/'); false when an encoder or the muxer fails.
bool WriteHighRateClip(const std::string& dir);
