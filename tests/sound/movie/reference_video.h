// FFmpeg's own decode of a movie's pictures, the reference the movie tests compare with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A 4:2:0 picture as FFmpeg crops it from the coded frame; planes packed, rows of their width.
struct ReferencePicture {
  int width = 0, height = 0, chromaWidth = 0, chromaHeight = 0;
  std::vector<uint8_t> y, u, v;
  // Pixel (x, y) through the BT.601 limited-range formulas in 14-bit fixed point: B, G, R.
  void Bgr(int x, int y, int out[3]) const;
};

// Picture `index` (0 first) of the file's video stream; false when FFmpeg does not give it as 4:2:0.
bool DecodeReferencePicture(const std::string& path, int index, ReferencePicture* out);
