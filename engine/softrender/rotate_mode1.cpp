// Tamrak engine: the rotation scans of blend mode 1.
#include "engine/softrender/rotate_scan.h"

namespace softrender {
template RotateScanFn SelectRotateScan<1>(const RotateVariant&);
}  // namespace softrender
