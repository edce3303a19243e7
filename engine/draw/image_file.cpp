// Image files: PNG (libpng) and JPEG (libjpeg) through the engine's streams and source
// manager, BMP by our own reader, each handing its picture on a row at a time; BMP, PNG and
// JPEG writers.
//
// The decoders that libpng and libjpeg call back into keep no C++ objects with destructors
// in their frames: their errors return through longjmp.
#include <cerrno>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <jpeglib.h>  // needs size_t and FILE first
#include <jerror.h>
#include <png.h>
#include <unistd.h>

#include "engine/draw/baseimage.h"

namespace {

bool DimensionsOk(uint64_t width, uint64_t height) {
  return width >= 1 && height >= 1 && width <= uint64_t(IMAGE_MAX_SIDE) && height <= uint64_t(IMAGE_MAX_SIDE) &&
         width * height <= uint64_t(IMAGE_MAX_PIXELS);
}

// ---------------------------------------------------------------- growing output buffer

struct OutBuffer {
  uint8_t* data;
  size_t size, capacity;
};

bool Append(OutBuffer* out, const void* bytes, size_t count) {
  if (count > out->capacity - out->size) {
    size_t wanted = out->capacity ? out->capacity : 65536;
    while (wanted - out->size < count) {
      if (wanted > (size_t(1) << 40)) return false;
      wanted *= 2;
    }
    void* grown = TK_REALLOC(out->data, wanted);
    if (!grown) return false;
    out->data = static_cast<uint8_t*>(grown);
    out->capacity = wanted;
  }
  if (count) std::memcpy(out->data + out->size, bytes, count);
  out->size += count;
  return true;
}

// ---------------------------------------------------------------- PNG

// Ancillary chunks kept at most, and the most memory one chunk (decompressed) may take.
constexpr png_uint_32 kPngChunkCacheMax = 256;
constexpr png_alloc_size_t kPngChunkMallocMax = 8u << 20;

struct PngReader {
  const StreamFunctions* stream;
  StreamHandle handle;
  ImageRowSink* sink;
  uint8_t* row;
  png_structp png;
  png_infop info;
};

void PngError(png_structp png, png_const_charp message) {
  LogPrintf("PNG 画像の処理でエラーが発生しました : %s", message);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// libpng's own blocks come from the engine allocator too, so the engine counts what a load holds.
png_voidp PngAlloc(png_structp, png_alloc_size_t size) { return TK_MALLOC(size); }
void PngFree(png_structp, png_voidp block) { MemFree(block); }

void PngRead(png_structp png, png_bytep data, size_t length) {
  auto* r = static_cast<PngReader*>(png_get_io_ptr(png));
  if (r->stream->Read(data, 1, length, r->handle) != length) png_error(png, "データが途中で終わっています");
}

int DecodePng(PngReader* r) {
  r->png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, r, PngError, PngWarning, nullptr, PngAlloc, PngFree);
  if (!r->png) return -1;
  r->info = png_create_info_struct(r->png);
  if (!r->info) {
    png_destroy_read_struct(&r->png, nullptr, nullptr);
    return -1;
  }
  if (setjmp(png_jmpbuf(r->png))) {
    png_destroy_read_struct(&r->png, &r->info, nullptr);
    MemFree(r->row);
    r->row = nullptr;
    return -1;
  }
  png_set_read_fn(r->png, r, PngRead);
  png_set_user_limits(r->png, IMAGE_MAX_SIDE, IMAGE_MAX_SIDE);
  png_set_chunk_cache_max(r->png, kPngChunkCacheMax);
  png_set_chunk_malloc_max(r->png, kPngChunkMallocMax);
  png_read_info(r->png, r->info);
  const png_uint_32 width = png_get_image_width(r->png, r->info);
  const png_uint_32 height = png_get_image_height(r->png, r->info);
  const int colorType = png_get_color_type(r->png, r->info);
  if (!DimensionsOk(width, height)) png_error(r->png, "画像が大きすぎます");
  const int hasAlpha = ((colorType & PNG_COLOR_MASK_ALPHA) || png_get_valid(r->png, r->info, PNG_INFO_tRNS)) ? 1 : 0;
  png_set_expand(r->png);
  png_set_strip_16(r->png);
  if (!(colorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(r->png);
  png_set_bgr(r->png);
  if (!hasAlpha) png_set_filler(r->png, 0xFF, PNG_FILLER_AFTER);
  png_read_update_info(r->png, r->info);
  if (png_get_rowbytes(r->png, r->info) != size_t(width) * 4) png_error(r->png, "対応していない画素形式です");
  r->row = static_cast<uint8_t*>(TK_MALLOC(size_t(width) * 4));
  if (!r->row) png_error(r->png, "メモリの確保に失敗しました");
  if (r->sink->Start(int(width), int(height), hasAlpha) != 0) png_error(r->png, "画像用メモリの確保に失敗しました");
  // An interlaced picture comes in seven passes of every few pixels of every few rows; each
  // pixel goes to its place as it comes, so no whole picture is held for the passes.
  const bool interlaced = png_get_interlace_type(r->png, r->info) == PNG_INTERLACE_ADAM7;
  for (int pass = 0; pass < (interlaced ? 7 : 1); ++pass) {
    const png_uint_32 columns = interlaced ? PNG_PASS_COLS(width, pass) : width;
    const png_uint_32 rows = interlaced ? PNG_PASS_ROWS(height, pass) : height;
    if (columns == 0 || rows == 0) continue;  // libpng skips such a pass too
    for (png_uint_32 i = 0; i < rows; ++i) {
      png_read_row(r->png, r->row, nullptr);
      if (interlaced) {
        r->sink->PutPixels(int(PNG_ROW_FROM_PASS_ROW(i, pass)), int(PNG_PASS_START_COL(pass)),
                           int(PNG_PASS_COL_OFFSET(pass)), r->row, int(columns));
      } else {
        r->sink->PutPixels(int(i), 0, 1, r->row, int(columns));
      }
    }
  }
  png_read_end(r->png, nullptr);
  png_destroy_read_struct(&r->png, &r->info, nullptr);
  MemFree(r->row);
  r->row = nullptr;
  return 0;
}

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// The whole file is at hand: a chunk that claims more bytes than follow it is refused here,
// before libpng allocates what the length says.
bool PngChunksFit(const uint8_t* data, size_t size) {
  size_t pos = 8;
  while (size - pos >= 8) {
    const uint32_t length = Be32(data + pos);
    if (length > 0x7FFFFFFFu || size_t(length) + 12 > size - pos) return false;
    if (std::memcmp(data + pos + 4, "IEND", 4) == 0) break;
    pos += size_t(length) + 12;
  }
  return true;
}

int LoadPng(const void* data, size_t size, ImageRowSink* sink) {
  if (!PngChunksFit(static_cast<const uint8_t*>(data), size)) {
    LogPrint("PNG 画像のチャンクがファイルの終わりを越えています");
    return -1;
  }
  StreamHandle handle = MemStreamOpen(data, size);
  if (!handle) return -1;
  PngReader r{};
  r.stream = GetMemStreamFunctions();
  r.handle = handle;
  r.sink = sink;
  const int result = DecodePng(&r);
  MemStreamClose(handle);
  return result;
}

struct PngWriter {
  png_structp png;
  png_infop info;
  OutBuffer* out;
  const BaseImage* image;
  uint8_t* row;
  int level;
};

void PngWrite(png_structp png, png_bytep data, size_t length) {
  auto* w = static_cast<PngWriter*>(png_get_io_ptr(png));
  if (!Append(w->out, data, length)) png_error(png, "メモリの確保に失敗しました");
}

void PngFlush(png_structp) {}

int EncodePng(PngWriter* w) {
  w->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, w, PngError, PngWarning);
  if (!w->png) return -1;
  w->info = png_create_info_struct(w->png);
  if (!w->info) {
    png_destroy_write_struct(&w->png, nullptr);
    return -1;
  }
  if (setjmp(png_jmpbuf(w->png))) {
    png_destroy_write_struct(&w->png, &w->info);
    MemFree(w->row);
    w->row = nullptr;
    return -1;
  }
  const BaseImage* img = w->image;
  png_set_write_fn(w->png, w, PngWrite, PngFlush);
  png_set_IHDR(w->png, w->info, png_uint_32(img->Width), png_uint_32(img->Height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(w->png, w->level);
  png_write_info(w->png, w->info);
  w->row = static_cast<uint8_t*>(TK_MALLOC(size_t(img->Width) * 3));
  if (!w->row) png_error(w->png, "メモリの確保に失敗しました");
  for (int y = 0; y < img->Height; ++y) {
    for (int x = 0; x < img->Width; ++x) {
      uint8_t a;
      uint8_t* p = w->row + size_t(x) * 3;
      GetBaseImagePixel(img, x, y, &p[0], &p[1], &p[2], &a);
    }
    png_write_row(w->png, w->row);
  }
  png_write_end(w->png, nullptr);
  png_destroy_write_struct(&w->png, &w->info);
  MemFree(w->row);
  w->row = nullptr;
  return 0;
}

// ---------------------------------------------------------------- JPEG

struct JpegErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
};

void JpegErrorExit(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  LogPrintf("JPEG 画像の処理でエラーが発生しました : %s", text);
  longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings mean damaged data: such a file is refused rather than shown half grey.
void JpegEmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0) (*cinfo->err->error_exit)(cinfo);
}

void JpegOutputMessage(j_common_ptr) {}

void JpegInitSource(j_decompress_ptr) {}

boolean JpegFillInput(j_decompress_ptr cinfo) {
  ERREXIT(cinfo, JERR_INPUT_EOF);
  return FALSE;
}

void JpegSkipInput(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  if (size_t(count) > cinfo->src->bytes_in_buffer) ERREXIT(cinfo, JERR_INPUT_EOF);
  cinfo->src->next_input_byte += count;
  cinfo->src->bytes_in_buffer -= size_t(count);
}

void JpegTermSource(j_decompress_ptr) {}

struct JpegReader {
  jpeg_decompress_struct cinfo;
  JpegErrorManager err;
  jpeg_source_mgr source;
  ImageRowSink* sink;
  uint8_t* row;
  int created;
};

void InstallErrorManager(JpegErrorManager* err) {
  jpeg_std_error(&err->pub);
  err->pub.error_exit = JpegErrorExit;
  err->pub.emit_message = JpegEmitMessage;
  err->pub.output_message = JpegOutputMessage;
}

int DecodeJpeg(JpegReader* r, const uint8_t* data, size_t size) {
  InstallErrorManager(&r->err);
  r->cinfo.err = &r->err.pub;
  if (setjmp(r->err.jump)) {
    if (r->created) jpeg_destroy_decompress(&r->cinfo);
    r->created = 0;
    MemFree(r->row);
    r->row = nullptr;
    return -1;
  }
  jpeg_create_decompress(&r->cinfo);
  r->created = 1;
  r->source.next_input_byte = data;
  r->source.bytes_in_buffer = size;
  r->source.init_source = JpegInitSource;
  r->source.fill_input_buffer = JpegFillInput;
  r->source.skip_input_data = JpegSkipInput;
  r->source.resync_to_restart = jpeg_resync_to_restart;
  r->source.term_source = JpegTermSource;
  r->cinfo.src = &r->source;
  jpeg_read_header(&r->cinfo, TRUE);
  if (!DimensionsOk(r->cinfo.image_width, r->cinfo.image_height)) {
    LogPrintf("JPEG 画像が大きすぎます( %u x %u )", unsigned(r->cinfo.image_width), unsigned(r->cinfo.image_height));
    longjmp(r->err.jump, 1);
  }
  const bool cmyk = r->cinfo.jpeg_color_space == JCS_CMYK || r->cinfo.jpeg_color_space == JCS_YCCK;
  r->cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  jpeg_start_decompress(&r->cinfo);
  if (r->cinfo.output_width != r->cinfo.image_width || r->cinfo.output_height != r->cinfo.image_height ||
      r->cinfo.output_components != 4) {
    LogPrint("JPEG 画像の画素形式に対応していません");
    longjmp(r->err.jump, 1);
  }
  const int width = int(r->cinfo.output_width);
  r->row = static_cast<uint8_t*>(TK_MALLOC(size_t(width) * 4));
  if (!r->row || r->sink->Start(width, int(r->cinfo.output_height), 0) != 0) {
    LogPrint("JPEG 画像用メモリの確保に失敗しました");
    longjmp(r->err.jump, 1);
  }
  // Adobe's CMYK files store the inks inverted.
  const bool inverted = r->cinfo.saw_Adobe_marker;
  while (r->cinfo.output_scanline < r->cinfo.output_height) {
    const int y = int(r->cinfo.output_scanline);
    JSAMPROW row = r->row;
    jpeg_read_scanlines(&r->cinfo, &row, 1);
    if (cmyk) {
      uint8_t* p = r->row;
      for (int x = 0; x < width; ++x, p += 4) {
        unsigned c = p[0], m = p[1], yy = p[2], k = p[3];
        if (!inverted) c = 255 - c, m = 255 - m, yy = 255 - yy, k = 255 - k;
        p[0] = uint8_t(yy * k / 255);
        p[1] = uint8_t(m * k / 255);
        p[2] = uint8_t(c * k / 255);
        p[3] = 255;
      }
    }
    r->sink->PutPixels(y, 0, 1, r->row, width);
  }
  jpeg_finish_decompress(&r->cinfo);
  jpeg_destroy_decompress(&r->cinfo);
  r->created = 0;
  MemFree(r->row);
  r->row = nullptr;
  return 0;
}

struct JpegWriter {
  jpeg_compress_struct cinfo;
  JpegErrorManager err;
  jpeg_destination_mgr dest;
  OutBuffer* out;
  const BaseImage* image;
  uint8_t* row;
  int created;
  uint8_t chunk[16384];
};

JpegWriter* WriterOf(j_compress_ptr cinfo) {
  return reinterpret_cast<JpegWriter*>(reinterpret_cast<uint8_t*>(cinfo) - offsetof(JpegWriter, cinfo));
}

void JpegInitDestination(j_compress_ptr cinfo) {
  JpegWriter* w = WriterOf(cinfo);
  w->dest.next_output_byte = w->chunk;
  w->dest.free_in_buffer = sizeof(w->chunk);
}

boolean JpegEmptyOutput(j_compress_ptr cinfo) {
  JpegWriter* w = WriterOf(cinfo);
  if (!Append(w->out, w->chunk, sizeof(w->chunk))) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
  w->dest.next_output_byte = w->chunk;
  w->dest.free_in_buffer = sizeof(w->chunk);
  return TRUE;
}

void JpegTermDestination(j_compress_ptr cinfo) {
  JpegWriter* w = WriterOf(cinfo);
  if (!Append(w->out, w->chunk, sizeof(w->chunk) - w->dest.free_in_buffer)) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
}

int EncodeJpeg(JpegWriter* w, int quality, int sample2x1) {
  InstallErrorManager(&w->err);
  w->cinfo.err = &w->err.pub;
  if (setjmp(w->err.jump)) {
    if (w->created) jpeg_destroy_compress(&w->cinfo);
    w->created = 0;
    MemFree(w->row);
    w->row = nullptr;
    return -1;
  }
  jpeg_create_compress(&w->cinfo);
  w->created = 1;
  w->dest.init_destination = JpegInitDestination;
  w->dest.empty_output_buffer = JpegEmptyOutput;
  w->dest.term_destination = JpegTermDestination;
  w->cinfo.dest = &w->dest;
  const BaseImage* img = w->image;
  w->cinfo.image_width = JDIMENSION(img->Width);
  w->cinfo.image_height = JDIMENSION(img->Height);
  w->cinfo.input_components = 3;
  w->cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&w->cinfo);
  jpeg_set_quality(&w->cinfo, quality, TRUE);
  // Luma sampled 2 x 1 against chroma (4:2:2), or 2 x 2 (4:2:0).
  w->cinfo.comp_info[0].h_samp_factor = 2;
  w->cinfo.comp_info[0].v_samp_factor = sample2x1 ? 1 : 2;
  jpeg_start_compress(&w->cinfo, TRUE);
  w->row = static_cast<uint8_t*>(TK_MALLOC(size_t(img->Width) * 3));
  if (!w->row) ERREXIT(&w->cinfo, JERR_OUT_OF_MEMORY);
  while (w->cinfo.next_scanline < w->cinfo.image_height) {
    const int y = int(w->cinfo.next_scanline);
    for (int x = 0; x < img->Width; ++x) {
      uint8_t a;
      uint8_t* p = w->row + size_t(x) * 3;
      GetBaseImagePixel(img, x, y, &p[0], &p[1], &p[2], &a);
    }
    JSAMPROW row = w->row;
    jpeg_write_scanlines(&w->cinfo, &row, 1);
  }
  jpeg_finish_compress(&w->cinfo);
  jpeg_destroy_compress(&w->cinfo);
  w->created = 0;
  MemFree(w->row);
  w->row = nullptr;
  return 0;
}

// ---------------------------------------------------------------- BMP

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
int64_t LeS32(const uint8_t* p) {
  const uint32_t v = Le32(p);
  return v >= 0x80000000u ? int64_t(v) - (int64_t(1) << 32) : int64_t(v);
}
void PutLe16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16), p[3] = uint8_t(v >> 24);
}

struct MaskChannel {
  uint32_t mask;
  int shift;
  uint64_t max;  // the field's largest value
};

// A channel mask must be one run of set bits.
bool MakeChannel(uint32_t mask, MaskChannel* out) {
  out->mask = mask;
  out->shift = 0;
  out->max = 0;
  if (!mask) return true;
  while (!((mask >> out->shift) & 1u)) ++out->shift;
  const uint64_t field = uint64_t(mask) >> out->shift;
  if (field & (field + 1)) return false;
  out->max = field;
  return true;
}

uint8_t Extract(uint32_t value, const MaskChannel& c) {
  if (!c.mask) return 0;
  const uint64_t v = uint64_t(value & c.mask) >> c.shift;
  return uint8_t((v * 255 + c.max / 2) / c.max);
}

enum : uint32_t { kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6 };

int BmpFail(const char* why) {
  LogPrintf("BMP 画像を読み込めません : %s", why);
  return -1;
}

// Run-length coded palette indices (8 or 4 bits), each handed to paint(x, index) for the row
// being coded; endRow(file row) follows once per row, in file row order, when the codes leave
// it. Runs and deltas that leave the picture stop at its edge; pixels no code reaches keep what
// the caller put there. False when the codes end before the picture does.
template <typename Paint, typename EndRow>
bool DecodeBmpRle(const uint8_t* in, size_t size, unsigned bits, int64_t width, int64_t height, Paint paint,
                  EndRow endRow) {
  int64_t x = 0, y = 0;
  size_t at = 0;
  const auto down = [&](int64_t rows) {
    for (; rows > 0 && y < height; --rows) endRow(y++);
  };
  while (y < height) {
    if (size - at < 2) return false;
    const unsigned count = in[at], code = in[at + 1];
    at += 2;
    if (count) {  // a run of one byte: one index, or two alternating nibbles
      for (unsigned i = 0; i < count && x < width; ++i, ++x)
        paint(x, bits == 8 ? code : (i & 1 ? code & 15 : code >> 4));
    } else if (code == 0) {  // end of line
      x = 0;
      down(1);
    } else if (code == 1) {  // end of bitmap
      down(height - y);
    } else if (code == 2) {  // delta: right and up (onward in file row order)
      if (size - at < 2) return false;
      x += in[at];
      down(in[at + 1]);
      at += 2;
    } else {  // absolute run of `code` indices, padded to a whole 16-bit word
      const size_t bytes = bits == 8 ? code : (code + 1) / 2;
      if (size - at < bytes) return false;
      for (unsigned i = 0; i < code && x < width; ++i, ++x)
        paint(x, bits == 8 ? in[at + i] : (i & 1 ? in[at + i / 2] & 15 : in[at + i / 2] >> 4));
      at += (bytes + 1) & ~size_t(1);
      if (at > size) at = size;
    }
  }
  return true;
}

// Above this many pixels a run-length picture must bring codes enough to cover it at the
// format's best, 255 pixels for two bytes: else a file of a hundred bytes holds the memory of
// a picture thousands of times its size.
constexpr uint64_t kRleCheckedPixels = 1000000;

using RowBuffer = std::unique_ptr<uint8_t, decltype(&MemFree)>;

int LoadBmp(const uint8_t* data, size_t size, ImageRowSink* sink) {
  if (size < 14 + 12) return BmpFail("ヘッダが途中で終わっています");
  const uint32_t offBits = Le32(data + 10);
  const uint32_t headerSize = Le32(data + 14);
  int64_t width, height;
  unsigned bits;
  uint32_t compression = kBiRgb, colorsUsed = 0;
  size_t entryBytes = 4;
  if (headerSize == 12) {
    width = Le16(data + 18);
    height = Le16(data + 20);
    bits = Le16(data + 24);
    entryBytes = 3;
  } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124) {
    if (size < 14 + size_t(headerSize)) return BmpFail("ヘッダが途中で終わっています");
    width = LeS32(data + 18);
    height = LeS32(data + 22);
    bits = Le16(data + 28);
    compression = Le32(data + 30);
    colorsUsed = Le32(data + 46);
  } else {
    return BmpFail("対応していない情報ヘッダです");
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    return BmpFail("対応していない色ビット数です");

  // Channel masks: given by bit fields, else the defaults of the bit depth.
  uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  size_t paletteOffset = 14 + size_t(headerSize);
  if (compression == kBiBitfields || compression == kBiAlphaBitfields) {
    if (bits != 16 && bits != 32) return BmpFail("ビットフィールドの色ビット数が不正です");
    const size_t count = compression == kBiAlphaBitfields ? 4 : 3;
    size_t at = 14 + 40;
    if (headerSize == 40) {
      paletteOffset += count * 4;
    } else if (headerSize < 56 && compression == kBiAlphaBitfields) {
      return BmpFail("ヘッダが途中で終わっています");
    }
    if (size < at + count * 4) return BmpFail("ヘッダが途中で終わっています");
    for (size_t i = 0; i < count; ++i) masks[i] = Le32(data + at + i * 4);
    if (headerSize >= 56) masks[3] = Le32(data + at + 12);
  } else if (compression == kBiRle8 || compression == kBiRle4) {
    if (bits != (compression == kBiRle8 ? 8u : 4u)) return BmpFail("圧縮形式に対応していません");
  } else if (compression == kBiRgb) {
    if (bits == 16) {
      masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else if (bits == 32) {
      masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
      if (headerSize >= 56) masks[3] = Le32(data + 14 + 52);
    }
  } else {
    return BmpFail("圧縮形式に対応していません");
  }
  MaskChannel channel[4];
  for (int i = 0; i < 4; ++i) {
    if (bits == 16 && masks[i] > 0xFFFFu) return BmpFail("ビットフィールドが不正です");
    if (!MakeChannel(masks[i], &channel[i])) return BmpFail("ビットフィールドが不正です");
  }

  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (!DimensionsOk(uint64_t(width < 0 ? 0 : width), uint64_t(height))) return BmpFail("画像のサイズが不正です");
  const bool rle = compression == kBiRle8 || compression == kBiRle4;
  const uint64_t stride = (uint64_t(width) * bits + 31) / 32 * 4;
  if (offBits > size || (!rle && stride * uint64_t(height) > size - offBits))
    return BmpFail("画素データが途中で終わっています");
  const uint64_t pixels = uint64_t(width) * uint64_t(height);
  if (rle && pixels > kRleCheckedPixels && (size - offBits) / 2 * 255 < pixels)
    return BmpFail("画素データが画像の大きさに足りません");

  uint8_t palette[256][3] = {};
  size_t paletteCount = 0;
  if (bits <= 8) {
    paletteCount = colorsUsed ? colorsUsed : size_t(1) << bits;
    if (paletteCount > 256) return BmpFail("パレットの数が不正です");
    if (paletteOffset > size || paletteCount * entryBytes > size - paletteOffset)
      return BmpFail("パレットが途中で終わっています");
    for (size_t i = 0; i < paletteCount; ++i) {
      const uint8_t* e = data + paletteOffset + i * entryBytes;
      palette[i][0] = e[0], palette[i][1] = e[1], palette[i][2] = e[2];  // B, G, R
    }
  }

  // One row of decoded pixels at a time goes to the sink.
  RowBuffer row(static_cast<uint8_t*>(TK_MALLOC(size_t(width) * 4)), MemFree);
  if (!row) return BmpFail("メモリの確保に失敗しました");
  uint8_t* const out = row.get();
  const auto pictureRow = [&](int64_t fileRow) { return int(topDown ? fileRow : height - 1 - fileRow); };

  if (rle) {
    // Pixels no code reaches show index 0, as other readers show them.
    const auto clear = [&] {
      for (uint8_t* p = out; p != out + width * 4; p += 4)
        p[0] = palette[0][0], p[1] = palette[0][1], p[2] = palette[0][2], p[3] = 255;
    };
    const auto paint = [&](int64_t x, unsigned index) {
      const bool known = index < paletteCount;
      uint8_t* p = out + x * 4;
      p[0] = known ? palette[index][0] : 0, p[1] = known ? palette[index][1] : 0;
      p[2] = known ? palette[index][2] : 0;
    };
    const auto endRow = [&](int64_t fileRow) {
      sink->PutPixels(pictureRow(fileRow), 0, 1, out, int(width));
      clear();
    };
    clear();
    if (sink->Start(int(width), int(height), 0) != 0) return BmpFail("メモリの確保に失敗しました");
    if (!DecodeBmpRle(data + offBits, size - offBits, bits, width, height, paint, endRow))
      return BmpFail("画素データが途中で終わっています");
    return 0;
  }

  const auto fileRowAt = [&](int64_t fileRow) { return data + offBits + stride * uint64_t(fileRow); };
  // Many writers leave the alpha field zero: such an image is opaque.
  bool alpha = false;
  if (bits >= 16 && masks[3] != 0) {
    for (int64_t y = 0; y < height && !alpha; ++y) {
      const uint8_t* in = fileRowAt(y);
      for (int64_t x = 0; x < width && !alpha; ++x)
        alpha = Extract(bits == 16 ? Le16(in + x * 2) : Le32(in + x * 4), channel[3]) != 0;
    }
  }
  if (sink->Start(int(width), int(height), alpha ? 1 : 0) != 0) return BmpFail("メモリの確保に失敗しました");
  for (int64_t y = 0; y < height; ++y) {
    const uint8_t* in = fileRowAt(y);
    for (int64_t x = 0; x < width; ++x) {
      uint8_t b = 0, g = 0, r = 0, a = 255;
      if (bits <= 8) {
        const uint64_t bitPos = uint64_t(x) * bits;
        const unsigned byte = in[bitPos / 8];
        const unsigned index = (byte >> (8 - bits - bitPos % 8)) & ((1u << bits) - 1);
        if (index < paletteCount) b = palette[index][0], g = palette[index][1], r = palette[index][2];
      } else if (bits == 24) {
        b = in[x * 3], g = in[x * 3 + 1], r = in[x * 3 + 2];
      } else {
        const uint32_t v = bits == 16 ? Le16(in + x * 2) : Le32(in + x * 4);
        r = Extract(v, channel[0]), g = Extract(v, channel[1]), b = Extract(v, channel[2]);
        if (alpha) a = Extract(v, channel[3]);
      }
      uint8_t* p = out + x * 4;
      p[0] = b, p[1] = g, p[2] = r, p[3] = a;
    }
    sink->PutPixels(pictureRow(y), 0, 1, out, int(width));
  }
  return 0;
}

bool EncodeBmp(const BaseImage* img, OutBuffer* out) {
  const size_t stride = (size_t(img->Width) * 3 + 3) & ~size_t(3);
  const uint64_t imageBytes = uint64_t(stride) * uint64_t(img->Height);
  if (imageBytes > 0xFFFFFFFFull - 54) return false;
  uint8_t header[54] = {};
  header[0] = 'B', header[1] = 'M';
  PutLe32(header + 2, uint32_t(54 + imageBytes));
  PutLe32(header + 10, 54);
  PutLe32(header + 14, 40);
  PutLe32(header + 18, uint32_t(img->Width));
  PutLe32(header + 22, uint32_t(img->Height));
  PutLe16(header + 26, 1);
  PutLe16(header + 28, 24);
  PutLe32(header + 34, uint32_t(imageBytes));
  PutLe32(header + 38, 2835);  // 72 dpi in pixels per metre
  PutLe32(header + 42, 2835);
  if (!Append(out, header, sizeof(header))) return false;
  auto* row = static_cast<uint8_t*>(TK_CALLOC(stride));
  if (!row) return false;
  bool ok = true;
  for (int y = img->Height - 1; y >= 0 && ok; --y) {
    for (int x = 0; x < img->Width; ++x) {
      uint8_t a;
      GetBaseImagePixel(img, x, y, &row[x * 3 + 2], &row[x * 3 + 1], &row[x * 3], &a);
    }
    ok = Append(out, row, stride);
  }
  MemFree(row);
  return ok;
}

// Written under a temporary name beside the target, then renamed over it.
int WriteFileWhole(const char* path, const uint8_t* data, size_t size) {
  const std::string temp = std::string(path) + ".tmp";
  // errno is kept for the caller, who may say why the file was not written.
  std::FILE* file = std::fopen(temp.c_str(), "wb");
  if (!file) {
    const int error = errno;
    LogPrintf("画像ファイル %s を作成できませんでした", path);
    errno = error;
    return -1;
  }
  bool ok = std::fwrite(data, 1, size, file) == size;
  ok = std::fflush(file) == 0 && ok;
  ok = fsync(fileno(file)) == 0 && ok;
  ok = std::fclose(file) == 0 && ok;
  if (!ok || std::rename(temp.c_str(), path) != 0) {
    const int error = errno;
    std::remove(temp.c_str());
    LogPrintf("画像ファイル %s の書き込みに失敗しました", path);
    errno = error;
    return -1;
  }
  return 0;
}

}  // namespace

int DecodeImageFile(const void* data, size_t size, ImageRowSink* sink) {
  if (!data || !sink) return -1;
  const auto* bytes = static_cast<const uint8_t*>(data);
  static const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size >= 8 && std::memcmp(bytes, kPngSignature, 8) == 0) return LoadPng(data, size, sink);
  if (size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
    JpegReader* r = static_cast<JpegReader*>(TK_CALLOC(sizeof(JpegReader)));
    if (!r) return -1;
    r->sink = sink;
    const int result = DecodeJpeg(r, bytes, size);
    MemFree(r);
    return result;
  }
  if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return LoadBmp(bytes, size, sink);
  LogPrint("対応していない画像形式です");
  return -1;
}

namespace {

class BaseImageRows final : public ImageRowSink {
 public:
  explicit BaseImageRows(BaseImage* image) : image_(image) {}
  int hasAlpha = 0;

  int Start(int width, int height, int alpha) override {
    hasAlpha = alpha;
    return (alpha ? MakeBaseImageARGB8 : MakeBaseImageXRGB8)(width, height, image_);
  }
  void PutPixels(int y, int x, int step, const uint8_t* pixels, int count) override {
    uint8_t* out = static_cast<uint8_t*>(image_->Pixels) + size_t(y) * size_t(image_->Pitch) + size_t(x) * 4;
    for (int i = 0; i < count; ++i, out += size_t(step) * 4) std::memcpy(out, pixels + size_t(i) * 4, 4);
  }

 private:
  BaseImage* image_;
};

}  // namespace

int LoadBaseImageFromMemory(const void* data, size_t size, BaseImage* image, int* hasAlpha) {
  if (!image || !hasAlpha) return -1;
  std::memset(image, 0, sizeof(*image));
  *hasAlpha = 0;
  BaseImageRows rows(image);
  if (DecodeImageFile(data, size, &rows) != 0) {
    ReleaseBaseImage(image);
    return -1;
  }
  *hasAlpha = rows.hasAlpha;
  return 0;
}

int SaveBaseImageToFile(const char* path, const BaseImage* image, int saveType, int jpegQuality,
                        int jpegSample2x1, int pngCompressionLevel) {
  if (!path || !*path || !image || !image->Pixels || image->Width < 1 || image->Height < 1) return -1;
  OutBuffer out{};
  bool encoded = false;
  switch (saveType) {
    case 0:
      encoded = EncodeBmp(image, &out);
      break;
    case 1: {
      auto* w = static_cast<JpegWriter*>(TK_CALLOC(sizeof(JpegWriter)));
      if (w) {
        w->out = &out;
        w->image = image;
        const int quality = jpegQuality < 1 ? 1 : jpegQuality > 100 ? 100 : jpegQuality;
        encoded = EncodeJpeg(w, quality, jpegSample2x1) == 0;
        MemFree(w);
      }
      break;
    }
    case 2: {
      PngWriter w{};
      w.out = &out;
      w.image = image;
      w.level = pngCompressionLevel < 0 ? 6 : pngCompressionLevel > 9 ? 9 : pngCompressionLevel;
      encoded = EncodePng(&w) == 0;
      break;
    }
    default:
      LogPrintf("対応していない保存形式( %d )です", saveType);
      return -1;
  }
  int result = -1;
  if (encoded) {
    result = WriteFileWhole(path, out.data, out.size);
  } else {
    LogPrintf("画像ファイル %s の作成に失敗しました", path);
  }
  MemFree(out.data);
  return result;
}
