// Tamrak engine: discs and circle outlines in software images, on the midpoint walk.
#include "engine/softrender/solid.h"

using namespace softrender;

namespace {

// Coordinates are 64-bit: a centre near the integer limits must not overflow.
struct CircleTarget {
  uint8_t* origin;  // pixel (0, 0)
  ptrdiff_t pitch, bytes;
  int64_t l, t, r, b;  // inclusive last column r and last row b
};

// Runs the walk; visit(x, y, d) sees each step before d and y move on.
template <class Visit>
void MidpointWalk(int64_t radius, Visit&& visit) {
  int64_t x = 0, y = radius, d = 3 - 2 * radius;
  while (y >= x) {
    visit(x, y, d);
    if (d < 0) {
      d += 4 * x + 6;
    } else {
      d += 4 * (x - y) + 10;
      --y;
    }
    ++x;
  }
}

template <class Op>
void DrawDisc(const CircleTarget& tg, const SolidCall& call, int64_t cx, int64_t cy, int64_t radius,
              uint8_t* rowMarks) {
  auto span = [&](int64_t row, int64_t first, int64_t last) {
    if (last < tg.l || first > tg.r || row < tg.t || row > tg.b || rowMarks[row - tg.t]) return;
    if (first < tg.l) first = tg.l;
    if (last > tg.r) last = tg.r;
    rowMarks[row - tg.t] = 1;
    Op::Run(tg.origin + row * tg.pitch + first * tg.bytes, last - first + 1, call);
  };
  MidpointWalk(radius, [&](int64_t x, int64_t y, int64_t d) {
    span(cy + x, cx - y, cx + y);
    span(cy - x, cx - y, cx + y);
    if (d >= 0) {
      span(cy + y, cx - x, cx + x);
      span(cy - y, cx - x, cx + x);
    }
  });
}

template <class Op>
void DrawOutline(const CircleTarget& tg, const SolidCall& call, int64_t cx, int64_t cy, int64_t radius) {
  auto point = [&](int64_t px, int64_t py) {
    if (px < tg.l || px > tg.r || py < tg.t || py > tg.b) return;
    Op::Apply(tg.origin + py * tg.pitch + px * tg.bytes, call);
  };
  MidpointWalk(radius, [&](int64_t x, int64_t y, int64_t) {
    if (x == 0) {
      point(cx - y, cy);
      if (y == 0) return;
      point(cx + y, cy);
      point(cx, cy + y);
      point(cx, cy - y);
      return;
    }
    point(cx - y, cy + x);
    point(cx + y, cy + x);
    point(cx - y, cy - x);
    point(cx + y, cy - x);
    if (x == y) return;
    point(cx - x, cy + y);
    point(cx + x, cy + y);
    point(cx - x, cy - y);
    point(cx + x, cy - y);
  });
}

}  // namespace

void DrawCircleMemImg(MEMIMG* dest, int cx, int cy, int r, uint32_t color, int fill) {
  if (r < 0 || !IsSolidDestination(dest)) return;
  RECT clip;
  if (!GetDrawClip(dest, &clip)) return;
  const int colorType = dest->Base->ColorType;
  const CircleTarget tg{dest->TopLeft, dest->Base->Pitch, colorType == MEMIMG_COLOR_32 ? 4 : 2,
                        clip.left, clip.top, clip.right - 1, clip.bottom - 1};
  if (fill == 0) {
    SolidCall call;
    if (!BeginSolidCall(&call, color, colorType)) return;
    WithSolidOp(call, colorType, [&](auto op) { DrawOutline<decltype(op)>(tg, call, cx, cy, r); });
    return;
  }
  // One mark per row of the area, so that no row of the disc is blended twice.
  const size_t rows = static_cast<size_t>(tg.b - tg.t + 1);
  auto* rowMarks = static_cast<uint8_t*>(MemCalloc(rows, "", 0));
  if (rowMarks == nullptr) return;
  SolidCall call;
  if (BeginSolidCall(&call, color, colorType)) {
    WithSolidOp(call, colorType, [&](auto op) { DrawDisc<decltype(op)>(tg, call, cx, cy, r, rowMarks); });
  }
  MemFree(rowMarks);
}
