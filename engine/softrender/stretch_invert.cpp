// Stretched-draw loops of the inverted and multiply-then-alpha modes.
#include "engine/softrender/stretch_rows.h"

namespace tamrak::soft {
TAMRAK_STRETCH_MODE(Mode::Invert)
TAMRAK_STRETCH_MODE(Mode::MulAlpha)
}  // namespace tamrak::soft
