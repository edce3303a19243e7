// Tamrak engine: the rotation scans of blend mode 10.
#include "engine/softrender/rotate_scan.h"

namespace softrender {
template RotateScanFn SelectRotateScan<10>(const RotateVariant&);
}  // namespace softrender
