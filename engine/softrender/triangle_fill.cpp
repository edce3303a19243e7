// Flat-coloured triangle loops, every mode on both formats.
#include "engine/softrender/triangle_rows.h"

namespace tamrak::soft {
#define TAMRAK_FILL_MODE(M)                                                                   \
  template void TriangleFill<Fmt::C32, M>(const TriSetup&, const PixelCtx&, uint32_t);        \
  template void TriangleFill<Fmt::C16, M>(const TriSetup&, const PixelCtx&, uint32_t);
TAMRAK_FILL_MODE(Mode::Copy)
TAMRAK_FILL_MODE(Mode::Alpha)
TAMRAK_FILL_MODE(Mode::Add)
TAMRAK_FILL_MODE(Mode::Sub)
TAMRAK_FILL_MODE(Mode::Mul)
TAMRAK_FILL_MODE(Mode::Invert)
TAMRAK_FILL_MODE(Mode::MulAlpha)
#undef TAMRAK_FILL_MODE
}  // namespace tamrak::soft
