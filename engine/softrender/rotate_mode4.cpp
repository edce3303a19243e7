// Tamrak engine: the rotation scans of blend mode 4.
#include "engine/softrender/rotate_scan.h"

namespace softrender {
template RotateScanFn SelectRotateScan<4>(const RotateVariant&);
}  // namespace softrender
