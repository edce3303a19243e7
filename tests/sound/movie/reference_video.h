// FFmpeg's own decodes, the references the sound and movie tests compare with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct AVFrame;

// Each frame of the file's best sound or picture stream, decoded on one thread, goes to `take`
// until it returns false. False when the stream does not open.
bool DecodeFramesWithFFmpeg(const std::string& path, bool video, const std::function<bool(const AVFrame&)>& take);

// A 4:2:0 picture as FFmpeg crops it from the coded frame; planes packed, rows of their width.
struct ReferencePicture {
  int width = 0, height = 0, chromaWidth = 0, chromaHeight = 0;
  std::vector<uint8_t> y, u, v;
  // Of 32-bit BGRX pixels against this picture through the BT.601 limited-range formulas in
  // 14-bit fixed point; infinite when every byte matches.
  double Psnr(const uint8_t* bgrx, ptrdiff_t pitch) const;
};

// Picture `index` (0 first) of the file's video stream; false when FFmpeg does not give it as 4:2:0.
bool DecodeReferencePicture(const std::string& path, int index, ReferencePicture* out);
