// Stretched-draw loops of the multiply mode.
#include "engine/softrender/stretch_rows.h"

namespace tamrak::soft {
TAMRAK_STRETCH_MODE(Mode::Mul)
}  // namespace tamrak::soft
