// Tamrak engine: the rotation scans of blend mode 3.
#include "engine/softrender/rotate_scan.h"

namespace softrender {
template RotateScanFn SelectRotateScan<3>(const RotateVariant&);
}  // namespace softrender
