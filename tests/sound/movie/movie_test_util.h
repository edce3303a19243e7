// Shared helpers of the movie tests: the generated test movies and reading their frame numbers.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/sound/movie/theora_decode.h"
#include "moviegen.h"
#include "common/scratch.h"

namespace movietest {

using ::ReadWholeFile;
using ::ScratchName;
using ::WriteWholeFile;

// A movie made by the generator in the build tree.
inline std::string MoviePath(const char* name) {
  const char* dir = std::getenv("TAMRAK_BINARY_DIR");
  return std::string(dir ? dir : ".") + "/testmedia/movie/" + name;
}

inline int ImageNumber(const BaseImage* image) {
  return ReadTestMovieNumber(static_cast<const uint8_t*>(image->Pixels), image->Pitch);
}

// The decoder over a file of the plain file layer; null when it refuses the file.
struct Decoder {
  StreamHandle stream = 0;
  TheoraDecodeRecord* record = nullptr;
  explicit Decoder(const std::string& path, int stock = 10) {
    stream = GetFileAccessTable()->Open(path.c_str(), 0, 1, 0);
    if (stream) record = TheoraDecode_Open(GetFileAccessTable(), stream, stock, 0);
  }
  ~Decoder() {
    if (record) TheoraDecode_Close(record);
    if (stream) GetFileAccessTable()->Close(stream);
  }
  // The current frame's number as the image shows it.
  int Shown() {
    TheoraDecode_ConvertFrame(record, 1, 0, 0);
    return ImageNumber(TheoraDecode_GetBaseImage(record));
  }
};

}  // namespace movietest
