// Shared helpers of the movie tests: the generated test movies and reading their frame numbers.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/sound/theora_decode.h"
#include "moviegen.h"

namespace movietest {

// A movie made by the generator in the build tree.
inline std::string MoviePath(const char* name) {
  const char* dir = std::getenv("TAMRAK_BINARY_DIR");
  return std::string(dir ? dir : ".") + "/testmedia/movie/" + name;
}

// Test programs of one folder share the working folder: names carry test and process.
inline std::string Scratch(const char* what) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string(info->test_suite_name()) + "_" + info->name() + "_" + std::to_string(getpid()) + "_" + what;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary);
  out << data;
}

inline int ImageNumber(const BaseImage* image) {
  return ReadTestMovieNumber(static_cast<const uint8_t*>(image->GraphData), image->Pitch);
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
