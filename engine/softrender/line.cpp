// Tamrak engine: lines and line lists in software images.
#include "engine/softrender/solid.h"

using namespace softrender;

namespace {

// Whether the segment touches the closed pixel rectangle at all: the box test, then
// whether all four corners lie strictly on one side of the segment's line.
bool SegmentMeetsRect(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t l, int64_t t, int64_t r,
                      int64_t b) {
  if ((x1 < l && x2 < l) || (x1 > r && x2 > r) || (y1 < t && y2 < t) || (y1 > b && y2 > b)) return false;
  const __int128 dx = x2 - x1, dy = y2 - y1;
  const int64_t cornersX[4] = {l, r, l, r};
  const int64_t cornersY[4] = {t, t, b, b};
  int above = 0, below = 0;
  for (int i = 0; i < 4; ++i) {
    const __int128 cross = dx * (cornersY[i] - y1) - dy * (cornersX[i] - x1);
    above += cross > 0;
    below += cross < 0;
  }
  return above < 4 && below < 4;
}

struct LineSteps {
  uint8_t* origin;  // pixel (0, 0)
  ptrdiff_t start;  // byte offset of the first pixel
  ptrdiff_t majorStep, minorStep;
  int64_t major, minor;
};

// Offsets rather than pointers: the end point, never written, may lie outside the image.
template <class Op>
void StepLine(const LineSteps& s, const SolidCall& call) {
  ptrdiff_t at = s.start;
  int64_t e = 0;
  for (int64_t i = 0; i < s.major; ++i) {
    Op::Apply(s.origin + at, call);
    e += s.minor;
    at += s.majorStep;
    if (e >= s.major) {
      at += s.minorStep;
      e -= s.major;
    }
  }
}

int64_t Clamp(int64_t v, int64_t lo, int64_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

void DrawLineMemImg(MEMIMG* dest, int x1, int y1, int x2, int y2, uint32_t color) {
  if (!IsSolidDestination(dest)) return;
  RECT clip;
  if (!GetDrawClip(dest, &clip)) return;
  const int64_t l = clip.left, t = clip.top, r = clip.right, b = clip.bottom;
  const int64_t minX = x1 < x2 ? x1 : x2, maxX = x1 < x2 ? x2 : x1;
  const int64_t minY = y1 < y2 ? y1 : y2, maxY = y1 < y2 ? y2 : y1;
  if (b - 1 - minY < 0 || r - 1 - minX < 0 || maxY - t < 0 || maxX - l < 0) return;
  // A segment that passes beside the area would otherwise leave a dot on its corner.
  if (!SegmentMeetsRect(x1, y1, x2, y2, l, t, r - 1, b - 1)) return;

  const double kx = y1 == y2 ? 0.0 : static_cast<double>(int64_t{x2} - x1) / static_cast<double>(int64_t{y2} - y1);
  const double ky = x1 == x2 ? 0.0 : static_cast<double>(int64_t{y2} - y1) / static_cast<double>(int64_t{x2} - x1);
  const double bx = x1 - kx * y1;
  const double by = y1 - ky * x1;
  auto onX = [&](int64_t y) { return int64_t{DoubleToInt(kx * static_cast<double>(y) + bx)}; };
  auto onY = [&](int64_t x) { return int64_t{DoubleToInt(ky * static_cast<double>(x) + by)}; };

  // The start is clamped into the area, the end (never drawn) into the frame one pixel wider.
  int64_t sx = x1, sy = y1, ex = x2, ey = y2;
  if (sx < l) {
    sx = l;
    sy = onY(l);
  } else if (sx >= r) {
    sx = r - 1;
    sy = onY(r - 1);
  }
  if (ex < l) {
    ex = l - 1;
    ey = onY(l - 1);
  } else if (ex >= r) {
    ex = r;
    ey = onY(r);
  }
  if (sy < t) {
    sy = t;
    sx = onX(t);
  } else if (sy >= b) {
    sy = b - 1;
    sx = onX(b - 1);
  }
  if (ey < t) {
    ey = t - 1;
    ex = onX(t - 1);
  } else if (ey >= b) {
    ey = b;
    ex = onX(b);
  }
  sx = Clamp(sx, l, r - 1);
  ex = Clamp(ex, l - 1, r);
  sy = Clamp(sy, t, b - 1);
  ey = Clamp(ey, t - 1, b);

  const int64_t dx = ex - sx, dy = ey - sy;
  if (dx == 0 && dy == 0) return;
  const int colorType = dest->Base->ColorType;
  const ptrdiff_t bytes = colorType == MEMIMG_COLOR_32 ? 4 : 2;
  SolidCall call;
  if (!BeginSolidCall(&call, color, colorType)) return;

  const ptrdiff_t pitch = dest->Base->Pitch;
  const ptrdiff_t xStep = dx >= 0 ? bytes : -bytes;
  const ptrdiff_t yStep = dy >= 0 ? pitch : -pitch;
  const int64_t adx = dx >= 0 ? dx : -dx, ady = dy >= 0 ? dy : -dy;
  LineSteps steps{dest->TopLeft, static_cast<ptrdiff_t>(sy * pitch + sx * bytes), xStep, yStep, adx, ady};
  if (adx < ady) steps = LineSteps{dest->TopLeft, steps.start, yStep, xStep, ady, adx};
  WithSolidOp(call, colorType, [&](auto op) { StepLine<decltype(op)>(steps, call); });
}

void DrawLineListMemImg(MEMIMG* dest, const MemImgLine* list, int count) {
  if (list == nullptr) return;
  for (int i = 0; i < count; ++i) {
    DrawLineMemImg(dest, list[i].x1, list[i].y1, list[i].x2, list[i].y2, list[i].color);
  }
}
