// Colour bars for checking a player's colour matrix: flat bars of chosen Y'CbCr, coded without
// loss by libx264 and tagged with a matrix and range (or untagged).
#pragma once

#include <string>

extern "C" {
#include <libavutil/pixfmt.h>
}

constexpr int kColorBars = 8;
constexpr int kColorBarWidth = 32;  // pixels; the picture is kColorBars bars wide and 64 high
constexpr int kColorBarsHeight = 64;

struct ColorBarsSpec {
  AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;  // the tag; unspecified writes none
  AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
  int frames = 3;
};

// Y'CbCr of bar i (0..7): SMPTE-style 75 % bars, white, yellow, cyan, green, magenta, red, blue,
// black, coded with the bars' matrix (BT.601 when it has none) and range (limited unless full).
void ColorBarYCbCr(const ColorBarsSpec& bars, int bar, int* y, int* cb, int* cr);

// H.264 in MP4; false (with a line on stderr) when the encoder or the muxer fails.
bool WriteColorBars(const std::string& path, const ColorBarsSpec& bars);
