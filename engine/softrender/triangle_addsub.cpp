// Triangle loops of the add and subtract modes.
#include "engine/softrender/triangle_rows.h"

namespace tamrak::soft {
TAMRAK_TRIANGLE_MODE(Mode::Add)
TAMRAK_TRIANGLE_MODE(Mode::Sub)
}  // namespace tamrak::soft
