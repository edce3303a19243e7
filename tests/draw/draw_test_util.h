// Shared helpers of the drawing tests: a headless engine on a small screen, pixel access,
// and writers of test image files made with the libraries directly.
#pragma once

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/d3d9/graphics.h"
#include "engine/draw/draw.h"
#include "engine/system/system.h"
#include "platform/window/test_driver.h"
#include "common/scratch.h"
#include "draw/bmp_bytes.h"

namespace drawtest {

using ::ReadWholeFile;
using ::ScratchName;
using ::WriteWholeFile;

constexpr int kScreenW = 64, kScreenH = 48;

inline bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// RGB565 and 0x00RRGGBB, as the formats define them.
inline uint32_t Rgb565(int r, int g, int b) { return uint32_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)); }
inline uint32_t Rgb32(int r, int g, int b) { return uint32_t(r << 16 | g << 8 | b); }

inline uint32_t Px(const MEMIMG* img, int x, int y) {
  const int bpp = img->Base->Color->BytesPerPixel;
  uint32_t v = 0;
  std::memcpy(&v, img->TopLeft + size_t(y) * img->Base->Pitch + size_t(x) * bpp, bpp);
  return v;
}
// The colour part of a pixel (the RGB565 word of a 16-bit pixel with alpha).
inline uint32_t Color(const MEMIMG* img, int x, int y) {
  const uint32_t v = Px(img, x, y);
  return img->Base->ColorType == MEMIMG_COLOR_16 ? (v & 0xFFFF) : (v & 0xFFFFFF);
}
inline void SetPx(MEMIMG* img, int x, int y, uint32_t v) {
  const int bpp = img->Base->Color->BytesPerPixel;
  std::memcpy(img->TopLeft + size_t(y) * img->Base->Pitch + size_t(x) * bpp, &v, bpp);
}

inline MEMIMG* GraphImage(int graph) { return &GetGraphRecord(graph)->SoftImage; }
inline MEMIMG* Target() { return GetDrawTargetMemImg(); }

// A graph whose pixels come from a function of (x, y), with its run-length code.
inline int MakeSprite(int w, int h, const std::function<uint32_t(int, int)>& color) {
  const int g = MakeGraphFromCurrentParams(w, h, 0);
  if (g < 0) return g;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) SetPx(GraphImage(g), x, y, color(x, y));
  MakeMemImgTransCode(GraphImage(g));
  return g;
}

// The whole target as words, for comparing before and after.
inline std::vector<uint32_t> Snapshot(const MEMIMG* img) {
  std::vector<uint32_t> v;
  for (int y = 0; y < img->Height; ++y)
    for (int x = 0; x < img->Width; ++x) v.push_back(Px(img, x, y));
  return v;
}

// The engine started headless on a 64 x 48 screen of the parameter's colour bits,
// transparent colour pure green.
class Engine : public ::testing::TestWithParam<int> {
 protected:
  int bits() const { return GetParam(); }
  bool is32() const { return GetParam() == 32; }
  uint32_t Rgb(int r, int g, int b) const { return is32() ? Rgb32(r, g, b) : Rgb565(r, g, b); }
  void SetUp() override {
    TestDriver_Reset();
    SetLogOutputFlag(0);
    ASSERT_EQ(SetScreenMode(kScreenW, kScreenH, bits()), 0);
    ASSERT_EQ(LibInit(), 0);
    SetTransparentColor(0, 255, 0);
  }
  void TearDown() override {
    LibEnd();
    TestDriver_Reset();
    SetScreenMode(640, 480, 16);
  }
};

inline std::string BitsName(const ::testing::TestParamInfo<int>& info) {
  return "Bits" + std::to_string(info.param);
}

// ---------------------------------------------------------------- test image files

struct PngSpec {
  int width = 0, height = 0;
  int colorType = PNG_COLOR_TYPE_RGB;
  int bitDepth = 8;
  int interlace = PNG_INTERLACE_NONE;
  std::vector<uint8_t> rows;  // packed rows as the colour type and depth lay them out
  std::vector<png_color> palette;
  std::vector<uint8_t> trns;  // palette alphas
};

inline bool WritePng(const std::string& path, const PngSpec& s) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colorType, s.interlace, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), int(s.palette.size()));
  if (!s.trns.empty()) png_set_tRNS(png, info, s.trns.data(), int(s.trns.size()), nullptr);
  png_write_info(png, info);
  const size_t rowBytes = s.rows.size() / size_t(s.height);
  for (int pass = png_set_interlace_handling(png); pass > 0; --pass)
    for (int y = 0; y < s.height; ++y) png_write_row(png, s.rows.data() + size_t(y) * rowBytes);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

// RGB rows, quality 95 with 4:4:4 sampling so flat colours come back close.
inline bool WriteJpeg(const std::string& path, int w, int h, const std::vector<uint8_t>& rgb) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = JDIMENSION(w);
  cinfo.image_height = JDIMENSION(h);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  cinfo.comp_info[0].h_samp_factor = 1;
  cinfo.comp_info[0].v_samp_factor = 1;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(rgb.data()) + size_t(cinfo.next_scanline) * size_t(w) * 3;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return std::fclose(f) == 0;
}

}  // namespace drawtest
