// Tamrak engine: the rotation scans of blend mode 2.
#include "engine/softrender/rotate_scan.h"

namespace softrender {
template RotateScanFn SelectRotateScan<2>(const RotateVariant&);
}  // namespace softrender
