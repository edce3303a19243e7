// Image files (PNG, JPEG, BMP) through the loader the engine uses for graphs.
#include "engine/draw/baseimage.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LiveBlocks blocks;
  BaseImage image;
  int hasAlpha = -1;
  if (LoadBaseImageFromMemory(data, size, &image, &hasAlpha) == 0) {
    FUZZ_CHECK(image.Width >= 1 && image.Height >= 1);
    FUZZ_CHECK(image.Width <= IMAGE_MAX_SIDE && image.Height <= IMAGE_MAX_SIDE);
    FUZZ_CHECK(int64_t(image.Width) * image.Height <= IMAGE_MAX_PIXELS);
    FUZZ_CHECK(image.Pitch >= image.Width * 4 && image.Pixels != nullptr);
    FUZZ_CHECK(hasAlpha == 0 || hasAlpha == 1);
    // Every row is readable to its end.
    const auto* last = static_cast<const uint8_t*>(image.Pixels) + size_t(image.Pitch) * (image.Height - 1);
    volatile uint8_t sink = last[size_t(image.Width) * 4 - 1];
    (void)sink;
    FUZZ_CHECK(ReleaseBaseImage(&image) == 0);
  } else {
    FUZZ_CHECK(hasAlpha == 0);
  }
  return 0;
}
