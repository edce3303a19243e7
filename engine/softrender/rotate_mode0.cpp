// Tamrak engine: the rotation scans of blend mode 0.
#include "engine/softrender/rotate_scan.h"

namespace softrender {
template RotateScanFn SelectRotateScan<0>(const RotateVariant&);
}  // namespace softrender
