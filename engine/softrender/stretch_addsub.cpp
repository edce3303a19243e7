// Stretched-draw loops of the add and subtract modes.
#include "engine/softrender/stretch_rows.h"

namespace tamrak::soft {
TAMRAK_STRETCH_MODE(Mode::Add)
TAMRAK_STRETCH_MODE(Mode::Sub)
template void StretchDraw<Fmt::C32, SrcKind::Palette, Mode::SubSaturate>(const StretchWalk&, const PixelCtx&,
                                                                        const DrawFlags&);
template void StretchDraw<Fmt::C32, SrcKind::Direct, Mode::SubSaturate>(const StretchWalk&, const PixelCtx&,
                                                                       const DrawFlags&);
}  // namespace tamrak::soft
