// Tamrak engine: DrawMemImg loops for one source kind (explicit instantiations).
#include "engine/softrender/drawmemimg_walk.h"

namespace drawmemimg {
template void DrawGeneral<Palette32>(const Context&, const Choice&);
template void DrawRuns<Palette32>(const Context&, const Choice&);
}  // namespace drawmemimg
