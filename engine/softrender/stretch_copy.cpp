// Stretched-draw loops of the copy and alpha-blend modes.
#include "engine/softrender/stretch_rows.h"

namespace tamrak::soft {
TAMRAK_STRETCH_MODE(Mode::Copy)
TAMRAK_STRETCH_MODE(Mode::Alpha)
}  // namespace tamrak::soft
