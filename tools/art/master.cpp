#include "tools/art/master.h"

#include <cmath>

namespace art {

namespace {

void body(Canvas& c, const MasterFigure& f) {
  const Robe& r = f.robe;
  double cx = f.cx;
  part(c, [&](Canvas& l) {
    double waist = r.shoulderY + (r.hemY - r.shoulderY) * 0.42;
    if (r.hakama >= 0) {
      // Pleated trousers flaring to the floor, a gap between the legs.
      l.poly({{cx - r.shoulderHalf + 1, waist}, {cx + r.shoulderHalf - 1, waist}, {cx + r.hemHalf, r.hemY},
              {cx + 1.5, r.hemY}, {cx, r.hemY - 6}, {cx - 1.5, r.hemY}, {cx - r.hemHalf, r.hemY}},
             col(r.hakama));
    }
    double hem = r.hakama >= 0 ? waist + 4 : r.hemY;
    double hemHalf = r.hakama >= 0 ? r.shoulderHalf + 1.5 : r.hemHalf;
    l.poly({{cx - r.shoulderHalf, r.shoulderY - 2}, {cx + r.shoulderHalf, r.shoulderY - 2},
            {cx + hemHalf, hem}, {cx - hemHalf, hem}},
           col(r.ramp));
    l.disc(cx - r.shoulderHalf + 1.5, r.shoulderY, 3, col(r.ramp));
    l.disc(cx + r.shoulderHalf - 1.5, r.shoulderY, 3, col(r.ramp));
  });
  // Collar, sash and pleat lines on top of the shaded robe.
  double waist = r.shoulderY + (r.hemY - r.shoulderY) * 0.42;
  for (int i = 0; i < 9; ++i) {
    c.set(static_cast<int>(cx - 4 + i * 0.45), static_cast<int>(r.shoulderY - 2 + i), col(r.trim));
    c.set(static_cast<int>(cx + 3 - i * 0.45), static_cast<int>(r.shoulderY - 2 + i), col(r.trim));
  }
  double ow = r.shoulderHalf + 0.5;
  c.rect(static_cast<int>(cx - ow), static_cast<int>(waist - 2), static_cast<int>(2 * ow) + 1, 4, r.obi);
  c.hline(static_cast<int>(cx - ow), static_cast<int>(cx + ow), static_cast<int>(waist + 2), OUTLINE);
  c.hline(static_cast<int>(cx - ow), static_cast<int>(cx + ow), static_cast<int>(waist - 3), OUTLINE);
  if (r.hakama >= 0) {
    for (double px : {-5.0, 5.0})
      c.line(static_cast<int>(cx + px), static_cast<int>(waist + 4), static_cast<int>(cx + px * 1.5),
             static_cast<int>(r.hemY - 2), col(r.hakama, DARK));
  } else {
    c.vline(static_cast<int>(cx + 2), static_cast<int>(waist + 3), static_cast<int>(r.hemY - 1), col(r.ramp, DARK));
  }
  // Feet in white socks under the hem.
  part(c, [&](Canvas& l) {
    l.ellipse(cx - 5, r.hemY + 1.5, 3.2, 1.8, col(WHITE));
    l.ellipse(cx + 5, r.hemY + 1.5, 3.2, 1.8, col(WHITE));
  });
}

void arm(Canvas& c, const MasterFigure& f, const Arm& a, bool left) {
  const Robe& r = f.robe;
  Pt s{f.cx + (left ? -r.shoulderHalf + 1.5 : r.shoulderHalf - 1.5), r.shoulderY};
  part(c, [&](Canvas& l) {
    l.capsule(s.x, s.y, a.elbow.x, a.elbow.y, r.sleeveR, col(r.ramp));
    l.capsule(a.elbow.x, a.elbow.y, a.hand.x, a.hand.y, r.sleeveR * 0.8, col(r.ramp));
    // The wide sleeve hangs below the forearm.
    l.capsule(a.elbow.x, a.elbow.y + 2, (a.elbow.x + a.hand.x) / 2, (a.elbow.y + a.hand.y) / 2 + 4,
              r.sleeveR * 0.9, col(r.ramp));
  });
  part(c, [&](Canvas& l) { l.disc(a.hand.x, a.hand.y, 2.4, col(SKIN)); });
}

}  // namespace

Canvas drawMaster(const MasterFigure& f, const Arm* left, const Arm* right) {
  Canvas c(f.width, f.height);
  if (f.behind) f.behind(c);
  body(c, f);
  if (f.head) f.head(c);
  if (left) arm(c, f, *left, true);
  if (right) arm(c, f, *right, false);
  if (f.props) f.props(c);
  return c;
}

Canvas leftHalf(const MasterFigure& f, const Arm& left, int halfWidth) {
  return drawMaster(f, &left, nullptr).crop(0, 0, halfWidth, f.height);
}

Canvas rightHalf(const MasterFigure& f, const Arm& right, int halfWidth) {
  return drawMaster(f, nullptr, &right).crop(f.width - halfWidth, 0, halfWidth, f.height);
}

Arm mirror(const Arm& a, double cx) {
  return {{2 * cx - a.elbow.x, a.elbow.y}, {2 * cx - a.hand.x, a.hand.y}};
}

void face(Canvas& c, double cx, double cy, double r, bool stern) {
  part(c, [&](Canvas& l) { l.disc(cx, cy, r, col(SKIN)); });
  int ey = static_cast<int>(cy);
  int lx = static_cast<int>(cx - r * 0.4), rx = static_cast<int>(cx + r * 0.4);
  c.vline(lx, ey, ey + 1, OUTLINE);
  c.vline(rx, ey, ey + 1, OUTLINE);
  if (stern) {
    c.line(lx - 2, ey - 3, lx + 1, ey - 2, OUTLINE);
    c.line(rx + 2, ey - 3, rx - 1, ey - 2, OUTLINE);
  }
  c.hline(static_cast<int>(cx - 1), static_cast<int>(cx + 1), static_cast<int>(cy + r * 0.55), col(SKIN, DARK));
}

}  // namespace art
