// Triangle loops of the copy and alpha-blend modes.
#include "engine/softrender/triangle_rows.h"

namespace tamrak::soft {
TAMRAK_TRIANGLE_MODE(Mode::Copy)
TAMRAK_TRIANGLE_MODE(Mode::Alpha)
}  // namespace tamrak::soft
