// MP3 files in the shapes people's tools leave them, encoded by libmp3lame: two files joined end
// to end, junk between frames, free format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TestMp3 {
  const char* name;  // file name in the test media folder
  std::vector<uint8_t> bytes;
};
// Empty when the encoder refuses its settings.
std::vector<TestMp3> MakeTestMp3s();

// Writes every file of MakeTestMp3s into the folder (ending in '/'); false when one fails.
bool WriteTestMp3s(const std::string& dir);
