// Tamrak engine: filled boxes in software images.
#include "engine/softrender/blend_rows.h"
#include "engine/softrender/solid.h"

using namespace softrender;

namespace {

struct BoxRows {
  uint8_t* first;  // top-left pixel of the box
  ptrdiff_t pitch;
  int width, height;
};

template <class Op>
void FillRows(const BoxRows& box, const SolidCall& call) {
  for (int y = 0; y < box.height; ++y) Op::Run(box.first + y * box.pitch, box.width, call);
}

// Whole-row stores; 16-bit rows pair two pixels per 32-bit store whatever their alignment.
void FillRowsStore32(const BoxRows& box, uint32_t color) {
  for (int y = 0; y < box.height; ++y) {
    uint8_t* px = box.first + y * box.pitch;
    for (int x = 0; x < box.width; ++x, px += 4) Store32(px, color);
  }
}

void FillRowsStore16(const BoxRows& box, uint32_t color) {
  const uint32_t pair = (color & 0xFFFFu) | (color << 16);
  for (int y = 0; y < box.height; ++y) {
    uint8_t* px = box.first + y * box.pitch;
    for (int x = 0; x < box.width / 2; ++x, px += 4) Store32(px, pair);
    if (box.width & 1) Store16(px, color);
  }
}

}  // namespace

void FillBoxMemImg(MEMIMG* dest, const RECT* rect, uint32_t color) {
  if (!IsSolidDestination(dest)) return;
  RECT r{0, 0, dest->Width, dest->Height};
  if (rect != nullptr) {
    r.left = rect->left < rect->right ? rect->left : rect->right;
    r.right = rect->left < rect->right ? rect->right : rect->left;
    r.top = rect->top < rect->bottom ? rect->top : rect->bottom;
    r.bottom = rect->top < rect->bottom ? rect->bottom : rect->top;
  }
  RECT clip;
  if (!GetDrawClip(dest, &clip)) return;
  ClipRect(&r, &clip);
  if (r.left >= r.right || r.top >= r.bottom) return;

  const int colorType = dest->Base->ColorType;
  const int bytes = colorType == MEMIMG_COLOR_32 ? 4 : 2;
  SolidCall call;
  if (!BeginSolidCall(&call, color, colorType)) return;
  const ptrdiff_t pitch = dest->Base->Pitch;
  const BoxRows box{dest->TopLeft + r.top * pitch + r.left * bytes, pitch, r.right - r.left, r.bottom - r.top};
  if (call.mode == 0) {
    if (colorType == MEMIMG_COLOR_32) {
      FillRowsStore32(box, call.color.color);
    } else {
      FillRowsStore16(box, call.color.color);
    }
    return;
  }
  if (call.mode == 1 || call.mode == 10) {
    const rows::SolidFn row = rows::Active().solid[bytes == 4 ? rows::kSolidLerp32 : rows::kSolidLerp565];
    for (int y = 0; y < box.height; ++y) row(box.first + y * box.pitch, box.width, call);
    return;
  }
  WithSolidOp(call, colorType, [&](auto op) { FillRows<decltype(op)>(box, call); });
}
