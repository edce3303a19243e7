// player.png: the ninja in two cells (upper body over legs), the slash arc,
// the ball and its spinner, and the two knives.
#include <cmath>

#include "tools/art/figure.h"
#include "tools/art/sheets.h"

namespace art {

namespace {

constexpr double kPi = 3.14159265358979323846;

// A figure frame is 32 x 56: rows 0..31 are the upper cell (screen y-8 ..),
// rows 24..55 the leg cell (screen y+16 ..). The head's outline tops out at
// row 8 and the feet end at row 36 (leg row 12).
constexpr int kTop = 8, kFloor = 36;

Look ninjaLook() {
  Look l;
  l.torso = col(NAVY);
  l.sleeve = col(NAVY);
  l.leg = col(NAVY);
  l.hood = col(NAVY);
  l.belt = col(RED);
  l.scarf = col(RED);
  l.foot = col(INK);
  return l;
}

void swordOnBack(Canvas& c, const Pose& p) {
  // Scabbard across the back, hilt over the rear shoulder.
  double dx = p.hip.x - p.neck.x;
  part(c, [&](Canvas& l) {
    l.capsule(p.neck.x - 3.5 + dx * 0.2, p.neck.y + 0.5, p.neck.x - 7.5 + dx * 0.9, p.neck.y + 9.5, 1.0,
              col(INK, BASE));
    l.capsule(p.neck.x - 2.5 + dx * 0.1, p.neck.y - 1.0, p.neck.x - 3.5 + dx * 0.2, p.neck.y + 0.5, 0.8,
              col(RED, DARK));
  }, false, true);
}

struct Upper {
  Pose pose;
  bool backSword;
  bool hasSword;
  Pt hilt, tip;
  bool hurt;
};

Canvas figureCell(const Pose& pose, const Look& look, int parts) {
  Canvas c(32, 56);
  drawHuman(c, pose, look, parts);
  return c;
}

Pose withLegs(Pose p, double stride, double lift) {
  Pose s = standingPose(16, kTop, kFloor, stride);
  p.kF = s.kF;
  p.fF = s.fF;
  p.kB = s.kB;
  p.fB = s.fB;
  if (lift > 0) {
    // The trailing foot is in the air while passing.
    if (stride >= 0) { p.fB.y -= lift; p.kB.y -= lift * 0.4; }
    else { p.fF.y -= lift; p.kF.y -= lift * 0.4; }
  }
  return p;
}

Canvas upperFrame(const Upper& u) {
  Look look = ninjaLook();
  look.hurt = u.hurt;
  Canvas c(32, 56);
  if (u.backSword) swordOnBack(c, u.pose);
  if (u.hasSword && u.tip.y < u.hilt.y - 4) drawSword(c, u.hilt, u.tip, 3);  // raised: behind the head
  drawHuman(c, u.pose, look, P_TORSO | P_ARMS | P_HEAD);
  if (u.hasSword && !(u.tip.y < u.hilt.y - 4)) drawSword(c, u.hilt, u.tip, 3);
  return c.crop(0, 0, 32, 32);
}

Canvas legFrame(const Pose& p) {
  Canvas c = figureCell(p, ninjaLook(), P_LEGS);
  Canvas cell = c.crop(0, 24, 32, 32);
  // Everything below the playfield floor (leg row 14 on) stays empty.
  cell.rect(0, 14, 32, 18, KEY);
  return cell;
}

void slashArc(Canvas& sheet, int ox, int frame) {
  // A crescent sweeping from above the head down in front of the ninja.
  Canvas c(48, 18);
  double grow = frame == 0 ? 0.6 : 1.0;
  for (int y = 0; y < 18; ++y)
    for (int x = 0; x < 48; ++x) {
      double px = x + 0.5, py = y + 0.5;
      double ox1 = (px - 14) / (33 * grow), oy1 = (py - 12) / 10.5;
      double ox2 = (px - 10) / (31 * grow), oy2 = (py - 13.5) / 8.5;
      double outer = ox1 * ox1 + oy1 * oy1, inner = ox2 * ox2 + oy2 * oy2;
      if (outer > 1.0 || inner < 1.0 || px < 16) continue;
      double edge = 1.0 - outer;  // 0 at the outer rim
      uint8_t colour = edge < 0.12 ? col(WHITE, LIGHT) : edge < 0.3 ? col(SKY, LIGHT) : col(SKY, BASE);
      if (frame == 2 && ((x + y) % 3 == 0 || edge > 0.25)) continue;  // breaking up
      c.set(x, y, colour);
    }
  if (frame == 2) {
    c.set(44, 7, col(WHITE, LIGHT));
    c.set(40, 14, col(WHITE, LIGHT));
    c.set(45, 11, col(SKY, LIGHT));
  }
  sheet.blit(c, ox, 64);
}

void spinner(Canvas& sheet, int ox, double angle) {
  Canvas c(24, 24);
  part(c, [&](Canvas& l) {
    for (int i = 0; i < 4; ++i) {
      double a = angle + i * kPi / 2;
      double tx = 12 + std::sin(a) * 10.5, ty = 12 - std::cos(a) * 10.5;
      double bx = 12 + std::sin(a + 0.6) * 4.5, by = 12 - std::cos(a + 0.6) * 4.5;
      double cx = 12 + std::sin(a - 0.5) * 3.5, cy = 12 - std::cos(a - 0.5) * 3.5;
      l.poly({{cx, cy}, {tx, ty}, {bx, by}}, col(SKY, BASE));
    }
  });
  c.blit(map("ball"), 8, 8);
  sheet.blit(c, ox, 72);
}

}  // namespace

Canvas makePlayer() {
  Canvas sheet(256, 96);
  Pose stand = standingPose(16, kTop, kFloor, 0.6);

  // Upper bodies.
  Upper idle{stand, true, false, {}, {}, false};
  Pose p;

  p = stand;  // slash 1: sword drawn back over the shoulder
  p.head = {16.0, 13.8};
  p.eF = {19.5, 15.5};
  p.hF = {15.0, 11.5};
  p.eB = {12.5, 16.0};
  p.hB = {13.8, 12.2};
  Upper wind{p, false, true, {15.5, 12.0}, {6.0, 1.0}, false};

  p = stand;  // slash 2: overhead, the blade swinging forward
  p.head = {17.0, 13.8};
  p.eF = {21.0, 15.0};
  p.hF = {22.5, 10.5};
  p.eB = {19.0, 16.5};
  p.hB = {21.5, 11.5};
  Upper swing{p, false, true, {21.0, 12.5}, {29.5, 1.5}, false};

  p = stand;  // slash 3: follow-through, arms out in front
  p.head = {18.0, 14.0};
  p.neck = {17.0, 18.8};
  p.eF = {21.5, 19.5};
  p.hF = {25.0, 19.0};
  p.eB = {19.5, 20.0};
  p.hB = {23.5, 19.5};
  Upper follow{p, false, true, {22.5, 19.5}, {31.0, 24.5}, false};

  Pose dashP = stand;  // dash: leaning into the run, arms swept back
  dashP.head = {21.0, 15.5};
  dashP.neck = {19.0, 20.0};
  dashP.hip = {14.0, 26.5};
  dashP.eF = {15.5, 22.5};
  dashP.hF = {10.5, 24.0};
  dashP.eB = {14.5, 21.5};
  dashP.hB = {9.5, 21.5};
  dashP.scarfLift = 3.5;
  Upper dash{dashP, true, false, {}, {}, false};

  p = stand;  // guard: both palms forward (pose preview)
  p.eF = {20.5, 18.5};
  p.hF = {23.5, 16.0};
  p.eB = {18.5, 19.0};
  p.hB = {22.0, 17.5};
  Upper guard{p, true, false, {}, {}, false};

  Pose hurtP = stand;  // hurt: thrown back, arms up
  hurtP.head = {13.5, 14.0};
  hurtP.neck = {14.5, 19.0};
  hurtP.hip = {16.5, 26.0};
  hurtP.eF = {19.5, 16.0};
  hurtP.hF = {22.0, 12.0};
  hurtP.eB = {10.5, 17.5};
  hurtP.hB = {7.5, 14.0};
  Upper hurt{hurtP, true, false, {}, {}, true};

  const Upper uppers[] = {idle, wind, swing, follow, dash, guard, hurt};
  for (int i = 0; i < 7; ++i) sheet.blit(upperFrame(uppers[i]), i * 32, 0);

  // Legs: stance, the walk (0, 32, 64, 96 swing from one stride to the other), jump, dash, hurt.
  sheet.blit(legFrame(withLegs(stand, 0.6, 0)), 0, 32);
  sheet.blit(legFrame(withLegs(stand, 0.2, 2.0)), 32, 32);
  sheet.blit(legFrame(withLegs(stand, -0.2, 2.0)), 64, 32);
  sheet.blit(legFrame(withLegs(stand, -0.6, 0)), 96, 32);
  p = stand;
  p.kF = {20.5, 28.5};
  p.fF = {19.5, 33.0};
  p.kB = {14.0, 30.0};
  p.fB = {10.5, 32.5};
  sheet.blit(legFrame(p), 128, 32);
  p = dashP;
  p.kF = {20.0, 29.5};
  p.fF = {25.0, 33.5};
  p.kB = {9.5, 30.0};
  p.fB = {4.0, 32.5};
  sheet.blit(legFrame(p), 160, 32);
  p = hurtP;
  p.kF = {19.5, 30.0};
  p.fF = {20.5, 34.4};
  p.kB = {13.5, 30.5};
  p.fB = {12.0, 34.4};
  sheet.blit(legFrame(p), 192, 32);

  // Dash-attack flash (224, 0, 32, 48): a glowing rim round the dashing figure
  // and streaks trailing behind it.
  {
    Canvas fig(32, 56);
    drawHuman(fig, [&] {
      Pose q = dashP;
      q.kF = {20.0, 29.5};
      q.fF = {25.0, 33.5};
      q.kB = {9.5, 30.0};
      q.fB = {4.0, 32.5};
      return q;
    }(), ninjaLook());
    Canvas flash(32, 48);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 32; ++x) {
        if (fig.opaque(x + 1, y)) continue;  // drawn one pixel left of the body
        int near = 0;
        for (int j = -2; j <= 2; ++j)
          for (int i = -2; i <= 2; ++i)
            if (std::abs(i) + std::abs(j) <= 2 && fig.opaque(x + 1 + i, y + j)) ++near;
        if (near > 0) flash.set(x, y, near > 3 ? col(WHITE, LIGHT) : col(SKY, LIGHT));
      }
    const int streaks[][3] = {{12, 1, 10}, {17, 0, 8}, {22, 2, 11}, {27, 0, 7}, {31, 3, 9}, {36, 1, 6}};
    for (const auto& s : streaks) flash.hline(s[1], s[1] + s[2], s[0], col(SKY, LIGHT));
    flash.hline(26, 31, 21, col(WHITE, LIGHT));
    sheet.blit(flash, 224, 0);
  }

  for (int f = 0; f < 3; ++f) slashArc(sheet, f * 48, f);
  sheet.blit(map("ball"), 144, 64);
  sheet.blit(map("shot"), 152, 64);
  for (int f = 0; f < 3; ++f) spinner(sheet, 144 + f * 24, f * kPi / 6);
  sheet.blit(map("kunai_player"), 216, 64);
  sheet.blit(map("kunai_enemy"), 224, 64);
  return sheet;
}

}  // namespace art
