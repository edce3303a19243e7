// Helpers for the game's tests: scratch folders, small files and images made on the spot.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/scratch.h"
#include "game/task.h"

namespace gametest {

using ::ReadWholeFile;
using ::WriteWholeFile;

// The first live task of a class in a layer, in slot order; null when there is none.
template <class T>
T* FirstTask(int layer) {
  for (int i = 0; i < TaskPool_Count(layer); ++i) {
    if (T* t = dynamic_cast<T*>(TaskPool_Get(layer, i))) return t;
  }
  return nullptr;
}

// A fresh folder for one test, made the working folder while it lives.
class ScratchDir {
 public:
  ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name() + "." + std::to_string(getpid());
    old_ = std::filesystem::current_path();
    path_ = old_ / "scratch" / name;
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
  }
  ~ScratchDir() {
    std::filesystem::current_path(old_);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path old_;
  std::filesystem::path path_;
};

// A 24-bit BMP of one colour.
inline void WriteBmp(const std::string& path, int width, int height, uint8_t r, uint8_t g, uint8_t b) {
  int rowBytes = (width * 3 + 3) & ~3;
  uint32_t imageSize = static_cast<uint32_t>(rowBytes * height);
  std::string data(54 + imageSize, '\0');
  auto put16 = [&](size_t at, uint32_t v) {
    data[at] = static_cast<char>(v & 0xFF);
    data[at + 1] = static_cast<char>((v >> 8) & 0xFF);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  data[0] = 'B';
  data[1] = 'M';
  put32(2, static_cast<uint32_t>(data.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  put16(26, 1);
  put16(28, 24);
  put32(34, imageSize);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      size_t at = 54 + static_cast<size_t>(y * rowBytes + x * 3);
      data[at] = static_cast<char>(b);
      data[at + 1] = static_cast<char>(g);
      data[at + 2] = static_cast<char>(r);
    }
  }
  WriteWholeFile(path, data);
}

// A stage file: number, title, 81 cells, nine values, background, music, next stage.
inline std::string StageText(int number, const std::string& title, const std::vector<int>& cells,
                             const std::string& background, const std::string& music, const std::string& next) {
  std::string text = std::to_string(number) + "\n" + title + "\n";
  for (int r = 0; r < 9; ++r) {
    for (int c = 0; c < 9; ++c) {
      size_t i = static_cast<size_t>(r * 9 + c);
      text += std::to_string(i < cells.size() ? cells[i] : 0);
      text += c < 8 ? "," : "\n";
    }
  }
  text += "0,0,0,0,0,0,0,0,0\n" + background + "\n" + music + "\n" + next + "\n";
  return text;
}

// A game folder in the working folder: "start.txt" naming the title image and `first`, the
// title and a background, and the stages given as (file name, text) pairs.
inline void MakeGameFolder(const std::string& first,
                           const std::vector<std::pair<std::string, std::string>>& stages) {
  WriteWholeFile("stages/start.txt", "# title image and first stage\ntitle.bmp\n" + first + "\n");
  WriteBmp("stages/title.bmp", 8, 8, 1, 2, 3);
  WriteWholeFile("stages/end.txt", "ending.bmp,ending.pttune\n");
  WriteBmp("stages/bg.bmp", 8, 8, 10, 20, 30);
  for (const auto& s : stages) WriteWholeFile("stages/" + s.first, s.second);
  std::filesystem::create_directories("common/se");
  std::filesystem::create_directories("bgm");
}

}  // namespace gametest
