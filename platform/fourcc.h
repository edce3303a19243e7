// Four-character codes as the device and media layers name formats with them: the first
// character in the lowest byte.
#pragma once

#include <cstdint>

constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}
