#include "platform/window/screen_convert.h"

#include <cstring>

#include "platform/cpu.h"

namespace {

uint32_t Widen565(uint32_t p) {
  const uint32_t r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
  return ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}

void Rgb565Row(const uint16_t* src, uint32_t* row, uint32_t*, size_t width) {
  for (size_t x = 0; x < width; ++x) row[x] = Widen565(src[x]);
}

void Rgb565RowDoubled(const uint16_t* src, uint32_t* row, uint32_t* row2, size_t width) {
  for (size_t x = 0; x < width; ++x) {
    const uint32_t v = Widen565(src[x]);
    row[2 * x] = row[2 * x + 1] = row2[2 * x] = row2[2 * x + 1] = v;
  }
}

}  // namespace

const ScreenConvertKernels kScreenConvertScalar = {Rgb565Row, Rgb565RowDoubled, "scalar"};

const ScreenConvertKernels& ScreenConvertBest() {
  static const ScreenConvertKernels& best = ProcessorHasAvx2() && kScreenConvertAvx2.rgb565  ? kScreenConvertAvx2
                                            : kScreenConvertSse2.rgb565            ? kScreenConvertSse2
                                                                                   : kScreenConvertScalar;
  return best;
}

void ConvertScreen(const ScreenConvertKernels& kernels, const void* src, int srcPitch, int bitsPerPixel,
                   int width, int height, void* dst, int dstPitch, int scale) {
  const auto* in = static_cast<const unsigned char*>(src);
  auto* out = static_cast<unsigned char*>(dst);
  const size_t w = static_cast<size_t>(width);
  for (int y = 0; y < height; ++y, in += srcPitch, out += static_cast<ptrdiff_t>(dstPitch) * scale) {
    auto* row = reinterpret_cast<uint32_t*>(out);
    auto* row2 = scale == 2 ? reinterpret_cast<uint32_t*>(out + dstPitch) : nullptr;
    if (bitsPerPixel == 16) {
      const auto* words = reinterpret_cast<const uint16_t*>(in);
      (scale == 2 ? kernels.rgb565Doubled : kernels.rgb565)(words, row, row2, w);
      continue;
    }
    for (size_t x = 0; x < w; ++x) {
      uint32_t v;
      std::memcpy(&v, in + 4 * x, 4);
      v &= 0x00FFFFFFu;
      if (scale == 2) {
        row[2 * x] = row[2 * x + 1] = row2[2 * x] = row2[2 * x + 1] = v;
      } else {
        row[x] = v;
      }
    }
  }
}
