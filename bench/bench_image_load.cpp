// Big pictures into graphs: LoadGraph of a PNG (opaque and with alpha), a JPEG, a 24-bit BMP and a
// run-length BMP of 4096 x 4096 (PNG and RLE also 8192 x 8192) on a 16- and a 32-bit screen, and
// two tiny run-length BMPs that declare 8192 x 8192. Items are pixels of the graphs made. Counters:
// the highest resident memory above the level before the load (peak_mb), the graph's pixels
// (copy_mb), and for PNG and JPEG the time against libpng's or libjpeg's own decode of the file
// into 32-bit pixels in the same run (ratio).
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench_files.h"
#include "engine/d3d9/graphics.h"
#include "engine/draw/baseimage.h"
#include "engine/draw/draw.h"
#include "engine/system/system.h"
#include "tests/draw/bmp_bytes.h"

namespace {

enum Kind : int { kPng, kPngAlpha, kJpeg, kBmp24, kRle8, kRleEndOnly16, kRleEndOnly256 };
const char* const kKindNames[] = {"png", "png_alpha", "jpeg", "bmp24", "rle8", "rle8_120_bytes", "rle8_1080_bytes"};

// A smooth picture with a little noise, as photographs compress.
void Pixel(int x, int y, int side, uint8_t* rgba) {
  const uint32_t h = (uint32_t(x) * 73856093u) ^ (uint32_t(y) * 19349663u);
  const int noise = int((h >> 13) & 15) - 8;
  const int s = side - 1;
  auto clamp = [](int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
  rgba[0] = clamp(x * 255 / s + noise);
  rgba[1] = clamp(y * 255 / s - noise);
  rgba[2] = clamp((x + y) * 255 / (2 * s) + noise / 2);
  rgba[3] = uint8_t(x < side / 4 ? 0 : x < side / 2 ? (x * 7) & 255 : 255);
}

bool WritePngFile(const std::string& path, int side, bool alpha) {
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
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, png_uint_32(side), png_uint_32(side), 8, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> row(size_t(side) * 4);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      uint8_t p[4];
      Pixel(x, y, side, p);
      std::copy(p, p + (alpha ? 4 : 3), row.data() + size_t(x) * (alpha ? 4 : 3));
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

bool WriteJpegOrBmp(const std::string& path, int side, int saveType) {
  BaseImage image;
  if (MakeBaseImageXRGB8(side, side, &image) != 0) return false;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      uint8_t p[4];
      Pixel(x, y, side, p);
      uint8_t* out = static_cast<uint8_t*>(image.Pixels) + size_t(y) * size_t(image.Pitch) + size_t(x) * 4;
      out[0] = p[2], out[1] = p[1], out[2] = p[0], out[3] = 255;
    }
  const bool ok = SaveBaseImageToFile(path.c_str(), &image, saveType, 90, 0, 1) == 0;
  ReleaseBaseImage(&image);
  return ok;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// Bands of 256 colours in runs of 1 to 32 pixels, as drawings keep them.
std::string RleFile(int side) {
  drawtest::BmpLayout b;
  b.width = side, b.height = side, b.bits = 8, b.compression = 1;
  for (uint32_t i = 0; i < 256; ++i) b.palette.push_back(i * 0x010203u & 0xFFFFFF);
  std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(side), std::vector<uint8_t>(static_cast<size_t>(side)));
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) rows[size_t(y)][size_t(x)] = uint8_t(x / (1 + y % 32) + y / 64);
  b.pixels = drawtest::RleCodes(rows, 8);
  return drawtest::BmpBytes(b);
}

// Only an end of bitmap after the palette (16 or 256 entries): 120 or 1,080 bytes.
std::string EndOnlyRleFile(int colours) {
  drawtest::BmpLayout b;
  b.width = 8192, b.height = 8192, b.bits = 8, b.compression = 1;
  b.palette.assign(size_t(colours), 0x336699);
  b.pixels = {0, 1};
  return drawtest::BmpBytes(b);
}

// Written once per kind and size, removed when the program ends; empty when it cannot be made.
const std::string& FileOf(Kind kind, int side) {
  static std::map<int, BenchFile> files;
  BenchFile& f = files[kind * 100000 + side];
  if (f.path.empty()) {
    static const char* const kExtensions[] = {".png", ".png", ".jpg", ".bmp", ".bmp", ".bmp", ".bmp"};
    const std::string path = BenchFileName(kKindNames[kind] + ("_" + std::to_string(side)) + kExtensions[kind]);
    bool ok = false;
    switch (kind) {
      case kPng: ok = WritePngFile(path, side, false); break;
      case kPngAlpha: ok = WritePngFile(path, side, true); break;
      case kJpeg: ok = WriteJpegOrBmp(path, side, 1); break;
      case kBmp24: ok = WriteJpegOrBmp(path, side, 0); break;
      case kRle8: ok = WriteBytes(path, RleFile(side)); break;
      case kRleEndOnly16: ok = WriteBytes(path, EndOnlyRleFile(16)); break;
      case kRleEndOnly256: ok = WriteBytes(path, EndOnlyRleFile(256)); break;
    }
    f.path = ok ? path : "-";
  }
  static const std::string none;
  return f.path == "-" ? none : f.path;
}

std::string ReadAll(const std::string& path) {
  std::string bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
    std::fclose(f);
  }
  return bytes;
}

// libpng's simplified reader, or libjpeg, decoding the file into 32-bit BGRA: seconds taken.
double LibraryAlone(Kind kind, const std::string& path, int side, std::vector<uint8_t>* pixels) {
  const auto start = std::chrono::steady_clock::now();
  const std::string bytes = ReadAll(path);
  pixels->resize(size_t(side) * size_t(side) * 4);
  if (kind == kJpeg) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&cinfo);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = pixels->data() + size_t(cinfo.output_scanline) * size_t(side) * 4;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
  } else {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
      image.format = PNG_FORMAT_BGRA;
      png_image_finish_read(&image, nullptr, pixels->data(), 0, nullptr);
    }
    png_image_free(&image);
  }
  benchmark::DoNotOptimize(pixels->data());
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_LoadGraph(benchmark::State& state) {
  const Kind kind = Kind(state.range(0));
  const int side = int(state.range(1));
  const int bits = int(state.range(2));
  const std::string& path = FileOf(kind, side);
  if (path.empty()) return state.SkipWithError("no file");
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  SetScreenMode(128, 64, bits);
  SetLogOutputFlag(0);
  if (LibInit() != 0) return state.SkipWithError("no engine");
  const bool reference = kind == kPng || kind == kPngAlpha || kind == kJpeg;
  std::vector<uint8_t> scratch;
  double peak = 0, copy = 0, ours = 0, library = 0;
  int loaded = 0;
  for (auto _ : state) {
    state.PauseTiming();
    double before, highest;
    ResidentBytes(&before, &highest);
    ResetHighestResident();
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    const int graph = LoadGraph(path.c_str());
    ours += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.PauseTiming();
    double now;
    ResidentBytes(&now, &highest);
    peak = std::max(peak, highest - before);
    if (graph != -1) {
      ++loaded;
      const MEMIMG& image = GetGraphRecord(graph)->SoftImage;
      copy = double(image.Base->Pitch) * image.Height;
      DeleteGraph(graph);
    }
    if (reference) library += LibraryAlone(kind, path, side, &scratch);
    state.ResumeTiming();
  }
  LibEnd();
  state.counters["peak_mb"] = peak / (1 << 20);
  state.counters["copy_mb"] = copy / (1 << 20);
  if (copy > 0) state.counters["peak_per_copy"] = peak / copy;
  if (library > 0) state.counters["ratio"] = ours / library;
  if (!loaded) state.SetLabel("refused");
  state.SetItemsProcessed(int64_t(loaded) * side * side);
}

void LoadArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"kind", "side", "bits"});
  for (int bits : {16, 32}) {
    for (int kind : {kPng, kPngAlpha, kJpeg, kBmp24, kRle8}) b->Args({kind, 4096, bits});
    for (int kind : {kPng, kRle8, kRleEndOnly16, kRleEndOnly256}) b->Args({kind, 8192, bits});
  }
}

}  // namespace

BENCHMARK(BM_LoadGraph)->Apply(LoadArgs)->Unit(benchmark::kMillisecond)->Iterations(2);
