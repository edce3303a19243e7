// Tamrak engine: the rotation scans of blend mode 11.
#include "engine/softrender/rotate_scan.h"

namespace softrender {
template RotateScanFn SelectRotateScan<11>(const RotateVariant&);
}  // namespace softrender
