// Triangle loops of the multiply mode.
#include "engine/softrender/triangle_rows.h"

namespace tamrak::soft {
TAMRAK_TRIANGLE_MODE(Mode::Mul)
}  // namespace tamrak::soft
