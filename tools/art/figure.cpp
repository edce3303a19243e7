#include "tools/art/figure.h"

#include <cmath>

namespace art {

namespace {

uint8_t darker(uint8_t c) {
  int r, t;
  return rampOf(c, &r, &t) ? col(r, DARK) : c;
}

void limb(Canvas& c, Pt a, Pt b, Pt d, double r, uint8_t colour) {
  c.capsule(a.x, a.y, b.x, b.y, r, colour);
  c.capsule(b.x, b.y, d.x, d.y, r * 0.9, colour);
}

void leg(Canvas& c, Pt hip, Pt knee, Pt foot, const Look& look, bool back) {
  uint8_t legc = back ? darker(look.leg) : look.leg;
  uint8_t footc = back ? darker(look.foot) : look.foot;
  limb(c, hip, knee, foot, look.legR, legc);
  c.ellipse(foot.x + 1.0, foot.y, look.legR + 0.9, 1.4, footc);
}

void arm(Canvas& c, Pt shoulder, Pt elbow, Pt hand, const Look& look, bool back) {
  uint8_t s = back ? darker(look.sleeve) : look.sleeve;
  limb(c, shoulder, elbow, hand, look.armR, s);
  c.disc(hand.x, hand.y, look.armR + 0.3, back ? darker(look.skin) : look.skin);
}

void torso(Canvas& c, const Pose& p, const Look& look) {
  double ax = p.hip.x - p.neck.x, ay = p.hip.y - p.neck.y;
  double len = std::sqrt(ax * ax + ay * ay);
  double nx = -ay / len, ny = ax / len;  // across the body
  double t = look.torsoTop, b = look.torsoBottom;
  c.poly({{p.neck.x + nx * t, p.neck.y + ny * t - 0.5},
          {p.neck.x - nx * t, p.neck.y - ny * t - 0.5},
          {p.hip.x - nx * b, p.hip.y - ny * b + 0.5},
          {p.hip.x + nx * b, p.hip.y + ny * b + 0.5}},
         look.torso);
  if (look.belly > 0)
    c.ellipse((p.neck.x + p.hip.x) / 2 + look.belly * 0.3, (p.neck.y + p.hip.y) / 2 + 1,
              look.belly, look.belly * 1.05, look.torso);
  // Belt: a band across the hip end.
  double by = 0.78;
  Pt m{p.neck.x + ax * by, p.neck.y + ay * by};
  double bw = (t + (b - t) * by) + (look.belly > 0 ? 1.0 : 0.3);
  c.capsule(m.x + nx * bw, m.y + ny * bw, m.x - nx * bw, m.y - ny * bw, look.belly > 0 ? 2.2 : 1.0,
            look.belt);
}

void head(Canvas& c, const Pose& p, const Look& look) {
  double cx = p.head.x, cy = p.head.y, r = look.headR;
  Canvas layer(c.width(), c.height());
  if (look.scarf && look.head == Headgear::Hood) {
    // Knot tails streaming behind the head.
    double lift = p.scarfLift;
    layer.capsule(cx - r * 0.8, cy - 0.5, cx - r * 1.9, cy + 1.5 - lift, 0.9, look.scarf);
    layer.capsule(cx - r * 0.8, cy, cx - r * 1.6, cy + 3.2 - lift * 0.6, 0.8, look.scarf);
    layer.shade();
    layer.outline();
    c.blit(layer, 0, 0);
    layer = Canvas(c.width(), c.height());
  }
  switch (look.head) {
    case Headgear::Hood:
      layer.disc(cx, cy, r, look.hood);
      break;
    case Headgear::Jingasa:
    case Headgear::Topknot:
    case Headgear::Bare:
      layer.disc(cx, cy, r, look.skin);
      break;
  }
  layer.shade();
  // Face details after shading so they keep their tones.
  int ex = static_cast<int>(std::floor(cx + r * 0.45));
  int ey = static_cast<int>(std::floor(cy - 0.2));
  if (look.head == Headgear::Hood) {
    for (int x = static_cast<int>(std::floor(cx - 0.5)); x <= static_cast<int>(std::floor(cx + r)); ++x)
      for (int y = ey - 1; y <= ey + 1; ++y)
        if (layer.opaque(x, y)) layer.set(x, y, y == ey + 1 ? col(SKIN, DARK) : col(SKIN));
  }
  if (look.head == Headgear::Topknot) {
    // Oiled hair over the crown and the back, topknot folded forward.
    for (int y = static_cast<int>(cy - r - 1); y <= static_cast<int>(cy); ++y)
      for (int x = static_cast<int>(cx - r - 1); x <= static_cast<int>(cx + r + 1); ++x)
        if (layer.opaque(x, y) && (y < cy - r * 0.35 || x < cx - r * 0.2)) layer.set(x, y, col(INK));
    layer.capsule(cx - r * 0.3, cy - r - 0.3, cx + r * 0.6, cy - r - 0.8, 0.9, col(INK));
  }
  if (look.hurt) {
    layer.set(ex - 1, ey - 1, OUTLINE);
    layer.set(ex + 1, ey - 1, OUTLINE);
    layer.set(ex, ey, OUTLINE);
    layer.set(ex - 1, ey + 1, OUTLINE);
    layer.set(ex + 1, ey + 1, OUTLINE);
  } else if (look.eyesClosed) {
    layer.set(ex, ey, OUTLINE);
    layer.set(ex + 1, ey, OUTLINE);
  } else {
    layer.set(ex, ey, OUTLINE);
    layer.set(ex, ey - (r > 6 ? 1 : 0), OUTLINE);
    if (r > 6) layer.set(ex + 1, ey - 1, OUTLINE);
  }
  layer.outline();
  c.blit(layer, 0, 0);
  if (look.head == Headgear::Jingasa) {
    // The round lacquered hat: a wide, flat cone over the brow.
    part(c, [&](Canvas& h) {
      double brim = cy - r * 0.25;
      h.poly({{cx - r * 1.75, brim + 1.2}, {cx + r * 1.85, brim + 1.2}, {cx + r * 0.35, cy - r * 1.35},
              {cx - r * 0.25, cy - r * 1.35}},
             look.hat);
    });
  }
}

}  // namespace

void drawHuman(Canvas& c, const Pose& p, const Look& look, int parts) {
  Pt sF{p.neck.x + 0.8, p.neck.y + 1.6}, sB{p.neck.x - 0.8, p.neck.y + 1.6};
  Pt hipF{p.hip.x + 0.9, p.hip.y}, hipB{p.hip.x - 0.9, p.hip.y};
  if (parts & P_LEGS) {
    part(c, [&](Canvas& l) { leg(l, hipB, p.kB, p.fB, look, true); });
    part(c, [&](Canvas& l) {
      l.ellipse(p.hip.x, p.hip.y, look.torsoBottom + 0.3, look.legR + 0.4, look.leg);
      leg(l, hipF, p.kF, p.fF, look, false);
    });
  }
  if (parts & P_ARMS) part(c, [&](Canvas& l) { arm(l, sB, p.eB, p.hB, look, true); });
  if (parts & P_TORSO) part(c, [&](Canvas& l) { torso(l, p, look); });
  if (parts & P_HEAD) head(c, p, look);
  if (parts & P_ARMS) part(c, [&](Canvas& l) { arm(l, sF, p.eF, p.hF, look, false); });
}

void drawSword(Canvas& c, Pt a, Pt b, double hilt, uint8_t blade) {
  double dx = b.x - a.x, dy = b.y - a.y, len = std::sqrt(dx * dx + dy * dy);
  double ux = dx / len, uy = dy / len;
  Pt g{a.x + ux * hilt, a.y + uy * hilt};
  part(c, [&](Canvas& l) {
    l.capsule(a.x, a.y, g.x, g.y, 0.7, col(BROWN, DARK));
    l.capsule(g.x, g.y, b.x, b.y, 0.6, blade);
    // Guard.
    l.capsule(g.x - uy * 1.4, g.y + ux * 1.4, g.x + uy * 1.4, g.y - ux * 1.4, 0.6, col(GOLD));
  }, false, true);
}

Pose standingPose(double cx, double top, double floor, double stride) {
  double h = floor - top;
  double s = h / 28.0;
  Pose p{};
  p.head = {cx + 0.5, top + 5.6 * s};
  p.neck = {cx, top + 10.5 * s};
  p.hip = {cx - 0.3, top + 18.0 * s};
  p.eF = {cx + 2.0 * s, top + 14.5 * s};
  p.hF = {cx + 2.8 * s, top + 17.5 * s};
  p.eB = {cx - 2.0 * s, top + 14.5 * s};
  p.hB = {cx - 2.6 * s, top + 17.5 * s};
  double footY = floor - 1.6;
  p.kF = {cx + 1.2 * s + stride * 1.5 * s, top + 22.5 * s};
  p.fF = {cx + 0.5 * s + stride * 3.0 * s, footY};
  p.kB = {cx - 1.4 * s - stride * 1.5 * s, top + 22.5 * s};
  p.fB = {cx - 2.0 * s - stride * 3.0 * s, footY};
  return p;
}

}  // namespace art
