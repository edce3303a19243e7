// Triangle loops of the inverted and multiply-then-alpha modes.
#include "engine/softrender/triangle_rows.h"

namespace tamrak::soft {
TAMRAK_TRIANGLE_MODE(Mode::Invert)
TAMRAK_TRIANGLE_MODE(Mode::MulAlpha)
}  // namespace tamrak::soft
