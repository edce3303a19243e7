// Tamrak engine: DrawMemImg loops for one source kind (explicit instantiations).
#include "engine/softrender/drawmemimg_walk.h"

namespace drawmemimg {
template void DrawGeneral<Source16>(const Context&, const Choice&);
template void DrawRuns<Source16>(const Context&, const Choice&);
}  // namespace drawmemimg
