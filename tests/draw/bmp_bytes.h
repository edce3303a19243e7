// BMP files written byte by byte, plain or run-length coded, for the image tests and the
// fuzz seeds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace drawtest {

// A BMP file laid out byte by byte: 40-byte info header, optional masks and palette.
struct BmpLayout {
  int32_t width = 0, height = 0;  // negative height: rows top-down
  uint16_t bits = 24;
  uint32_t compression = 0;
  std::vector<uint32_t> masks;    // written after the header (bit fields)
  std::vector<uint32_t> palette;  // 0x00RRGGBB entries
  std::vector<uint8_t> pixels;    // rows as stored, padded to 4 bytes, or run-length codes
};

inline void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
}
inline void Put16(std::string& s, uint32_t v) {
  s.push_back(char(v & 0xFF));
  s.push_back(char((v >> 8) & 0xFF));
}

inline std::string BmpBytes(const BmpLayout& b) {
  std::string info;
  Put32(info, 40);
  Put32(info, uint32_t(b.width));
  Put32(info, uint32_t(b.height));
  Put16(info, 1);
  Put16(info, b.bits);
  Put32(info, b.compression);
  Put32(info, uint32_t(b.pixels.size()));
  Put32(info, 2835);
  Put32(info, 2835);
  Put32(info, uint32_t(b.palette.size()));
  Put32(info, 0);
  for (uint32_t m : b.masks) Put32(info, m);
  for (uint32_t c : b.palette) Put32(info, c);
  std::string file = "BM";
  const uint32_t offset = 14 + uint32_t(info.size());
  Put32(file, offset + uint32_t(b.pixels.size()));
  Put32(file, 0);
  Put32(file, offset);
  return file + info + std::string(b.pixels.begin(), b.pixels.end());
}

// Rows of palette indices as a plain 8- or 4-bit file stores them.
inline std::vector<uint8_t> PackedRows(const std::vector<std::vector<uint8_t>>& rows, int bits) {
  std::vector<uint8_t> out;
  for (const std::vector<uint8_t>& row : rows) {
    const size_t stride = (row.size() * size_t(bits) + 31) / 32 * 4;
    std::vector<uint8_t> packed(stride, 0);
    for (size_t x = 0; x < row.size(); ++x) {
      if (bits == 8) packed[x] = row[x];
      else packed[x / 2] = uint8_t(packed[x / 2] | row[x] << (x % 2 ? 0 : 4));
    }
    out.insert(out.end(), packed.begin(), packed.end());
  }
  return out;
}

// RLE8 or RLE4 codes of rows of palette indices in file row order: encoded runs of repeats
// (pairs of nibbles for 4 bits), absolute runs of any length from 3, deltas over index 0
// (which readers leave as index 0), also into the next row, end of line and end of bitmap.
inline std::vector<uint8_t> RleCodes(const std::vector<std::vector<uint8_t>>& rows, int bits) {
  const auto zerosFrom = [](const std::vector<uint8_t>& row, size_t x) {
    size_t n = 0;
    while (x + n < row.size() && row[x + n] == 0) ++n;
    return n;
  };
  const auto pair = [bits](uint8_t a, uint8_t b) { return uint8_t(bits == 8 ? a : a << 4 | b); };
  std::vector<uint8_t> out;
  size_t x = 0;
  for (size_t y = 0; y < rows.size(); ++y) {
    const std::vector<uint8_t>& row = rows[y];
    bool intoNextRow = false;
    while (x < row.size()) {
      const size_t zeros = std::min<size_t>(zerosFrom(row, x), 255);
      if (x + zeros == row.size()) {
        const size_t next = y + 1 < rows.size() ? zerosFrom(rows[y + 1], 0) : 0;
        intoNextRow = y + 1 < rows.size() && next >= x && next - x <= 255 && next < row.size();
        if (intoNextRow) out.insert(out.end(), {0, 2, uint8_t(next - x), 1}), x = next;
        break;
      }
      if (zeros >= 2) {
        out.insert(out.end(), {0, 2, uint8_t(zeros), 0});
        x += zeros;
        continue;
      }
      size_t same = 1;
      while (x + same < row.size() && same < 255 && row[x + same] == row[x]) ++same;
      if (same >= 3) {
        out.insert(out.end(), {uint8_t(same), pair(row[x], row[x])});
        x += same;
        continue;
      }
      // Literal pixels up to the next three alike or two zeros.
      size_t n = 0;
      for (size_t at = x; at < row.size() && n < 255; ++at, ++n) {
        if (at + 2 < row.size() && row[at] == row[at + 1] && row[at] == row[at + 2]) break;
        if (at + 1 < row.size() && row[at] == 0 && row[at + 1] == 0) break;
      }
      if (n >= 3) {
        out.insert(out.end(), {0, uint8_t(n)});
        const size_t bytes = bits == 8 ? n : (n + 1) / 2;
        for (size_t i = 0; i < bytes; ++i)
          out.push_back(bits == 8 ? row[x + i] : pair(row[x + 2 * i], 2 * i + 1 < n ? row[x + 2 * i + 1] : 0));
        if (bytes % 2) out.push_back(0);
      } else if (bits == 4 && n == 2) {
        out.insert(out.end(), {2, pair(row[x], row[x + 1])});
      } else {
        for (size_t i = 0; i < n; ++i) out.insert(out.end(), {1, pair(row[x + i], 0)});
      }
      x += n;
    }
    if (!intoNextRow) {
      if (y + 1 < rows.size()) out.insert(out.end(), {0, 0});
      x = 0;
    }
  }
  out.insert(out.end(), {0, 1});
  return out;
}

}  // namespace drawtest
