// enemy1.png (foot soldiers), enemy2.png (ninjas), enemy3.png (the wrestler).
#include <cmath>

#include "tools/art/figure.h"
#include "tools/art/sheets.h"

namespace art {

namespace {

constexpr double kPi = 3.14159265358979323846;

Look soldierLook(int ramp) {
  Look l;
  l.head = Headgear::Jingasa;
  l.hat = col(INK);
  l.headR = 4.8;
  l.torso = col(ramp);
  l.sleeve = col(INK, LIGHT);
  l.leg = col(INK, LIGHT);
  l.belt = col(GOLD, DARK);
  l.foot = col(BROWN, DARK);
  l.torsoTop = 4.6;
  l.torsoBottom = 4.2;
  l.armR = 1.6;
  l.legR = 1.9;
  return l;
}

// A figure of the 32 x 40 enemy cells: hat or hood at `top`, feet on row 39.
Pose walkPose(double top, double floor, int frame, int frames) {
  double ph = 2 * kPi * frame / frames;
  double stride = std::sin(ph) * 0.75;
  Pose p = standingPose(16, top, floor, stride);
  double s = (floor - top) / 28.0;
  double bob = std::fabs(std::cos(ph)) * 0.6;
  p.head.y -= bob;
  p.neck.y -= bob;
  p.hip.y -= bob * 0.5;
  // Arms swing against the legs.
  p.hF.x -= stride * 2.2 * s;
  p.eF.x -= stride * 1.0 * s;
  p.hB.x += stride * 2.2 * s;
  p.eB.x += stride * 1.0 * s;
  double lift = std::fabs(std::cos(ph)) * 1.6;
  if (std::cos(ph) > 0) p.fB.y -= lift;
  else p.fF.y -= lift;
  return p;
}

Canvas soldierFrame(const Pose& p, const Look& look, int sword) {
  Canvas c(32, 40);
  // sword: 0 none, 1 on the shoulder, 2 raised overhead, 3 held low behind.
  if (sword == 2) drawSword(c, {p.hF.x, p.hF.y + 1}, {p.hF.x - 9, p.hF.y - 12}, 3);
  drawHuman(c, p, look);
  if (sword == 1) drawSword(c, {p.hF.x, p.hF.y + 1}, {p.hF.x - 4, p.hF.y - 13}, 3);
  if (sword == 3) drawSword(c, {p.hF.x, p.hF.y}, {p.hF.x - 13, p.hF.y + 3}, 3);
  return c;
}

void katanaBlade(Canvas& c, int oy, bool swung) {
  // Hilt from the soldier's hands (column 0), blade along rows 13..14.
  c.rect(0, oy + 13, 4, 2, col(BROWN, DARK));
  c.rect(4, oy + 12, 1, 4, col(GOLD));
  c.hline(5, 26, oy + 13, col(WHITE, LIGHT));
  c.hline(5, 25, oy + 14, col(GREY));
  c.set(27, oy + 13, col(WHITE));
  c.hline(5, 25, oy + 12, OUTLINE);
  c.hline(5, 26, oy + 15, OUTLINE);
  c.set(28, oy + 13, OUTLINE);
  c.set(27, oy + 14, OUTLINE);
  if (swung) {
    // The arc of the cut above and below the blade.
    for (int x = 8; x < 30; ++x) {
      double t = (x - 8) / 22.0;
      int up = static_cast<int>(std::round(13 - t * 9 + t * t * 6));
      if (up < 12) c.set(x, oy + up, col(SKY, LIGHT));
      int down = static_cast<int>(std::round(15 + t * 2));
      if (x > 14 && down > 15) c.set(x, oy + down, col(SKY, BASE));
    }
  }
}

Look ninjaLook(int ramp) {
  Look l;
  l.torso = l.sleeve = l.leg = l.hood = col(ramp);
  l.belt = col(INK);
  l.scarf = col(ramp, DARK);
  l.foot = col(INK);
  return l;
}

void kite(Canvas& c, double tilt) {
  // A paper kite on a bamboo cross, leaning into the flight.
  part(c, [&](Canvas& l) {
    l.poly({{8, 3 + tilt}, {40, 1 - tilt}, {39, 19 - tilt}, {10, 21 + tilt}}, col(GOLD));
  });
  c.disc(24.5, 10.5, 5.5, col(RED));
  c.disc(24.5, 10.5, 3.0, col(RED, DARK));
  c.line(24, 2, 24, 19, col(BROWN, DARK));
  c.line(10, 11, 38, 10, col(BROWN, DARK));
  // Tail ribbons flutter behind.
  c.line(9, 20, 4, 25, col(RED));
  c.line(10, 21, 6, 27, col(RED));
}

void flameBall(Canvas& c, int x, int y) {
  c.disc(x + 4, y + 4.5, 3.5, col(RED));
  c.disc(x + 4, y + 4.8, 2.4, col(ORANGE));
  c.disc(x + 4, y + 5.2, 1.2, col(GOLD, LIGHT));
  c.set(x + 4, y, col(ORANGE));
  c.set(x + 3, y + 1, col(RED));
}

Look sumoLook() {
  Look l;
  l.head = Headgear::Topknot;
  l.headR = 5.0;
  l.torso = l.sleeve = l.leg = l.foot = col(SKIN);
  l.belt = col(NAVY, DARK);
  l.torsoTop = 7.5;
  l.torsoBottom = 8.5;
  l.belly = 9.0;
  l.armR = 2.6;
  l.legR = 3.0;
  return l;
}

}  // namespace

Canvas makeEnemy1() {
  Canvas c(256, 120);
  const int ramps[3] = {BROWN, SKY, RED};
  for (int row = 0; row < 3; ++row) {
    Look look = soldierLook(ramps[row]);
    for (int f = 0; f < 5; ++f) {
      Pose p = walkPose(8, 39, f, 5);
      if (row == 1) {  // both hands on the banner pole at his back
        p.eF = {17.5, 23.0};
        p.hF = {15.5, 20.5};
      }
      c.blit(soldierFrame(p, look, row == 2 ? 1 : 0), 32 * f, 40 * row);
    }
  }
  Look ks = soldierLook(RED);
  Pose p = standingPose(16, 8, 39, 0.8);  // wind-up: sword raised
  p.eF = {19.5, 20.0};
  p.hF = {17.5, 13.5};
  p.eB = {13.5, 21.0};
  p.hB = {16.0, 14.5};
  c.blit(soldierFrame(p, ks, 2), 160, 80);
  p = standingPose(17, 9, 39, 1.0);  // lunge step: crouched, blade low behind
  p.head.x += 2.5;
  p.neck.x += 2.0;
  p.eF = {17.0, 27.0};
  p.hF = {13.5, 28.5};
  p.eB = {16.0, 26.0};
  p.hB = {12.5, 27.5};
  c.blit(soldierFrame(p, ks, 3), 192, 80);
  p = standingPose(15, 9, 39, 1.1);  // strike: arms thrust out to the katana
  p.head.x += 3.0;
  p.neck.x += 2.5;
  p.eF = {24.0, 22.0};
  p.hF = {30.0, 22.5};
  p.eB = {22.5, 21.5};
  p.hB = {28.5, 22.0};
  c.blit(soldierFrame(p, ks, 0), 224, 80);

  // The banner on its pole (hit box 4, 8, 8, 40).
  {
    Canvas f(16, 80);
    part(f, [](Canvas& l) { l.rect(1, 3, 2, 60, col(BROWN)); }, false);
    part(f, [](Canvas& l) {
      l.rect(3, 6, 11, 36, col(WHITE));
      l.hline(3, 13, 6, col(WHITE, LIGHT));
    });
    f.disc(8.5, 16.5, 3.6, col(RED));
    f.rect(5, 27, 7, 1, col(INK));
    f.rect(5, 31, 7, 1, col(INK));
    f.rect(8, 34, 1, 5, col(INK));
    f.disc(2, 2.5, 1.5, col(GOLD));
    c.blit(f, 160, 0);
  }
  {
    Canvas k(32, 32);
    katanaBlade(k, 0, false);
    katanaBlade(k, 16, true);
    c.blit(k, 176, 0);
  }
  return c;
}

Canvas makeEnemy2() {
  Canvas c(96, 88);
  Look purple = ninjaLook(PURPLE);
  Pose p = standingPose(16, 11, 39, 0.7);  // standing guard
  p.eF = {19.5, 24.0};
  p.hF = {21.0, 27.5};
  Canvas f(32, 40);
  drawHuman(f, p, purple);
  c.blit(f, 0, 0);
  p = standingPose(15, 11, 39, 0.9);  // wind-up: star drawn back behind the head
  p.eF = {13.5, 20.0};
  p.hF = {10.0, 16.0};
  f = Canvas(32, 40);
  drawHuman(f, p, purple);
  f.blit(map("shot"), 6, 12);
  c.blit(f, 32, 0);
  p = standingPose(17, 11, 39, 1.0);  // throw: arm flung forward
  p.head.x += 1.5;
  p.eF = {22.0, 22.0};
  p.hF = {26.0, 21.5};
  f = Canvas(32, 40);
  drawHuman(f, p, purple);
  c.blit(f, 64, 0);

  // Red ninja hanging from a kite.
  Look red = ninjaLook(RED);
  red.scarf = col(RED, DARK);
  for (int frame = 0; frame < 2; ++frame) {
    Canvas k(48, 40);
    kite(k, frame ? 1.0 : 0.0);
    Pose q{};
    q.head = {29.0, 24.0};
    q.neck = {25.0, 26.5};
    q.hip = {16.0, 28.0};
    q.eB = {26.5, 21.5};
    q.hB = {27.5, 17.5};
    if (frame == 0) {
      q.eF = {29.0, 22.0};
      q.hF = {31.0, 18.0};
    } else {  // one hand down, holding the fire bomb
      q.eF = {25.5, 29.5};
      q.hF = {24.0, 25.5};
    }
    q.kF = {10.0, 30.0};
    q.fF = {4.5, 31.5};
    q.kB = {10.5, 27.5};
    q.fB = {5.0, 26.5};
    q.scarfLift = 2.0;
    Look rl = red;
    rl.headR = 4.4;
    drawHuman(k, q, rl);
    c.blit(k, frame * 48, 40);
  }
  Canvas fire(8, 8);
  flameBall(fire, 0, 0);
  c.blit(fire, 0, 80);
  return c;
}

Canvas makeEnemy3() {
  Canvas c(160, 112);
  Look look = sumoLook();
  for (int f = 0; f < 5; ++f) {
    double ph = 2 * kPi * f / 5;
    double sway = std::sin(ph);
    Pose p = standingPose(16, 12, 55, 0.0);
    p.head = {17.5 + sway * 0.5, 18.5};
    p.neck = {16.5 + sway * 0.5, 25.0};
    p.hip = {15.5, 41.0};
    p.eF = {23.5, 33.0};
    p.hF = {24.5, 39.0 - std::fabs(sway)};
    p.eB = {9.0, 33.0};
    p.hB = {8.0, 39.0};
    // A heavy, wide-legged shuffle: one foot lifts at a time.
    p.kF = {21.5, 46.0};
    p.fF = {23.0 + sway, 53.0 - (sway > 0.3 ? 2.5 * sway : 0)};
    p.kB = {10.0, 46.0};
    p.fB = {8.5 + sway, 53.0 - (sway < -0.3 ? -2.5 * sway : 0)};
    Canvas fr(32, 56);
    drawHuman(fr, p, look);
    c.blit(fr, 32 * f, 0);
  }
  // Jump: crouch, deeper crouch (also falling and landing), take-off.
  const double drop[3] = {4.0, 8.0, -3.0};
  for (int k = 0; k < 3; ++k) {
    Pose p{};
    double d = drop[k];
    p.head = {27.0, 19.0 + d};
    p.neck = {25.5, 25.5 + d};
    p.hip = {22.5, 41.0 + d * 0.6};
    if (k < 2) {
      p.eF = {31.0, 34.0 + d};
      p.hF = {32.0, 41.0 + d * 0.6};
      p.eB = {16.0, 34.0 + d};
      p.hB = {15.0, 41.0 + d * 0.6};
      p.kF = {32.0, 45.5 + d * 0.3};
      p.fF = {33.0, 53.0};
      p.kB = {13.0, 45.5 + d * 0.3};
      p.fB = {12.0, 53.0};
    } else {
      p.eF = {33.0, 22.0};
      p.hF = {36.0, 16.0};
      p.eB = {17.0, 22.0};
      p.hB = {14.5, 16.0};
      p.kF = {27.0, 45.0};
      p.fF = {26.0, 52.0};
      p.kB = {18.0, 45.0};
      p.fB = {17.5, 52.0};
    }
    Canvas fr(48, 56);
    drawHuman(fr, p, look);
    c.blit(fr, 48 * k, 56);
  }
  return c;
}

}  // namespace art
