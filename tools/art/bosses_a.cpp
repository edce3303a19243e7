// enemy4.png (tea-ceremony master) and enemy9.png (skull master, both forms).
#include <cmath>

#include "tools/art/figure.h"
#include "tools/art/master.h"
#include "tools/art/sheets.h"

namespace art {

namespace {

constexpr double kPi = 3.14159265358979323846;

Pt rot(Pt c, Pt p, double a) {
  double s = std::sin(a), k = std::cos(a);
  return {c.x + (p.x - c.x) * k - (p.y - c.y) * s, c.y + (p.x - c.x) * s + (p.y - c.y) * k};
}

std::vector<Pt> ellipsePts(Pt c, double rx, double ry, double a) {
  std::vector<Pt> pts;
  for (int i = 0; i < 24; ++i) {
    double t = i * 2 * kPi / 24;
    pts.push_back(rot(c, {c.x + std::cos(t) * rx, c.y + std::sin(t) * ry}, a));
  }
  return pts;
}

// An iron kettle centred on (cx, cy), `k` its size (1 = 16 px wide), turned by
// `a` radians clockwise; the spout points right.
void kettle(Canvas& c, double cx, double cy, double k, double a) {
  Pt m{cx, cy};
  part(c, [&](Canvas& l) {
    // Handle arch over the lid.
    std::vector<Pt> arch;
    for (int i = 0; i <= 8; ++i) {
      double t = kPi + i * kPi / 8;
      arch.push_back(rot(m, {cx + std::cos(t) * 4.5 * k, cy - 2.5 * k + std::sin(t) * 5.0 * k}, a));
    }
    for (size_t i = 0; i + 1 < arch.size(); ++i)
      l.capsule(arch[i].x, arch[i].y, arch[i + 1].x, arch[i + 1].y, 0.6 * k, col(BROWN, DARK));
  }, false, true);
  part(c, [&](Canvas& l) {
    Pt s0 = rot(m, {cx + 4.5 * k, cy + 0.5 * k}, a), s1 = rot(m, {cx + 8.0 * k, cy - 3.5 * k}, a);
    l.capsule(s0.x, s0.y, s1.x, s1.y, 1.1 * k, col(INK, LIGHT));
    l.poly(ellipsePts(m, 6.2 * k, 4.8 * k, a), col(INK, LIGHT));
    l.poly(ellipsePts(rot(m, {cx, cy - 4.2 * k}, a), 3.2 * k, 1.2 * k, a), col(GREY));
  });
  Pt knob = rot(m, {cx, cy - 5.6 * k}, a);
  c.disc(knob.x, knob.y, 0.9 * k, col(GOLD));
  // Hammered dots on the iron.
  for (int i = -1; i <= 1; ++i) {
    Pt d = rot(m, {cx + i * 2.5 * k, cy + 1.2 * k}, a);
    c.set(static_cast<int>(d.x), static_cast<int>(d.y), col(GREY, LIGHT));
  }
}

void teaStream(Canvas& c, int ox, int oy, int phase) {
  for (int y = 0; y < 32; ++y) {
    double wob = std::sin((y + phase * 8) * kPi / 8) * 0.8;
    for (int x = 5; x <= 10; ++x) {
      double d = x + 0.5 - (8 + wob);
      if (std::fabs(d) > 2.6) continue;
      uint8_t colour = std::fabs(d) > 1.8 ? col(TEAL, DARK) : col(TEAL);
      if ((y + phase * 8) % 16 < 4 && d < 0 && d > -1.5) colour = col(TEAL, LIGHT);
      c.set(ox + x, oy + y, colour);
    }
  }
}

MasterFigure teaMaster(int width) {
  MasterFigure f;
  f.width = width;
  f.cx = width / 2.0;
  f.robe.ramp = TEAL;
  f.robe.hakama = GREY;
  f.robe.obi = col(INK);
  f.robe.shoulderHalf = 10;
  f.robe.hemHalf = 14;
  f.robe.shoulderY = 30;
  double cx = f.cx;
  f.head = [cx](Canvas& c) {
    // The master's head is an iron tea kettle with a stern face.
    kettle(c, cx - 1, 17, 2.2, 0);
    c.rect(static_cast<int>(cx - 6), 17, 3, 2, col(GOLD, LIGHT));
    c.rect(static_cast<int>(cx + 2), 17, 3, 2, col(GOLD, LIGHT));
    c.line(static_cast<int>(cx - 7), 15, static_cast<int>(cx - 3), 16, OUTLINE);
    c.line(static_cast<int>(cx + 5), 15, static_cast<int>(cx + 1), 16, OUTLINE);
    c.hline(static_cast<int>(cx - 5), static_cast<int>(cx + 3), 21, col(WHITE));
    c.hline(static_cast<int>(cx - 6), static_cast<int>(cx - 4), 22, col(WHITE));
    c.hline(static_cast<int>(cx + 2), static_cast<int>(cx + 4), 22, col(WHITE));
  };
  return f;
}

void teaBowl(Canvas& c, double x, double y) {
  part(c, [&](Canvas& l) {
    l.poly({{x - 4, y - 2}, {x + 4, y - 2}, {x + 2.5, y + 2}, {x - 2.5, y + 2}}, col(BROWN));
  });
  c.hline(static_cast<int>(x - 3), static_cast<int>(x + 3), static_cast<int>(y - 2), col(TEAL, LIGHT));
}

}  // namespace

Canvas makeEnemy4() {
  Canvas c(192, 160);
  MasterFigure f = teaMaster(48);
  const Arm folded{{16, 40}, {22, 45}};
  const Arm sides{{12, 40}, {11, 49}};
  const Arm swingA{{13, 39}, {15, 48}};
  const Arm swingB{{12, 40}, {9, 47}};
  const Arm* poses[4][2] = {{&folded, nullptr}, {&sides, nullptr}, {&swingA, nullptr}, {&swingB, nullptr}};
  for (int i = 0; i < 4; ++i) {
    Arm l = *poses[i][0];
    Arm r = mirror(i == 2 ? swingB : i == 3 ? swingA : l, f.cx);
    Canvas fr = drawMaster(f, &l, &r);
    c.blit(fr, 48 * i, (i == 3) ? 1 : 0);
  }
  // Wide pose: arms spread, a tea bowl in each hand.
  MasterFigure w = teaMaster(96);
  Arm wl{{30, 34}, {18, 33}};
  Arm wr = mirror(wl, w.cx);
  w.props = [](Canvas& k) {
    teaBowl(k, 17, 29);
    teaBowl(k, 79, 29);
  };
  c.blit(drawMaster(w, &wl, &wr), 0, 80);

  // Spout sign: steam curling up from the kettle head.
  {
    Canvas s(16, 32);
    for (int y = 0; y < 28; ++y) {
      double x = 8 + std::sin(y * 0.45) * 3.0 * (1.0 - y / 40.0);
      double r = 1.2 + (28 - y) * 0.06;
      s.disc(x, y + 2, r, y % 7 == 0 ? col(WHITE, LIGHT) : col(WHITE));
    }
    s.outline(col(GREY, DARK));
    c.blit(s, 96, 80);
  }
  // Utensil (128, 80, 16 x 32) holds the first kettle picture at rows 4..27.
  const double tilt[4] = {0, 0.25, 0.5, 0.8};
  for (int i = 0; i < 4; ++i) {
    Canvas k(16, 24);
    kettle(k, 7, 14, 1.0, tilt[i]);
    c.blit(k, 128 + 16 * i, 84);
  }
  {
    Canvas wisp(16, 4);
    wisp.set(9, 1, col(WHITE));
    wisp.set(10, 2, col(WHITE));
    wisp.set(8, 3, col(WHITE));
    c.blit(wisp, 128, 80);
  }
  // Pouring: the kettle tipped over, spout at the bottom centre.
  for (int i = 0; i < 4; ++i) {
    Canvas k(16, 16);
    kettle(k, 6.5 - (i % 2) * 0.5, 7.0, 0.95, 1.75 + 0.08 * (i % 2));
    k.set(8, 15, col(TEAL, LIGHT));
    k.set(7, 15, col(TEAL));
    c.blit(k, 128 + 16 * i, 112);
    teaStream(c, 128 + 16 * i, 128, i);
  }
  return c;
}

namespace {

void skull(Canvas& c, double cx, double cy, double r, bool glow) {
  part(c, [&](Canvas& l) {
    l.disc(cx, cy, r, col(WHITE));
    l.rect(static_cast<int>(cx - r * 0.55), static_cast<int>(cy + r * 0.5), static_cast<int>(r * 1.1) + 1,
           static_cast<int>(r * 0.55) + 1, col(WHITE));
  });
  int er = r > 6 ? 2 : 1;
  for (double sx : {-0.42, 0.42}) {
    double ex = cx + sx * r;
    c.disc(ex, cy + r * 0.1, er + 0.3, BLACK);
    if (glow) c.set(static_cast<int>(ex), static_cast<int>(cy + r * 0.1), col(RED, LIGHT));
  }
  c.set(static_cast<int>(cx), static_cast<int>(cy + r * 0.5), BLACK);
  for (int i = -1; i <= 1; ++i)
    c.set(static_cast<int>(cx + i * std::max(1.0, r * 0.3)), static_cast<int>(cy + r * 0.95), OUTLINE);
}

MasterFigure skullMaster(int width, int height) {
  MasterFigure f;
  f.width = width;
  f.height = height;
  f.cx = width / 2.0;
  f.robe.ramp = PURPLE;
  f.robe.trim = INK;
  f.robe.obi = col(RED, DARK);
  f.robe.shoulderY = 26;
  f.robe.hemY = height - 5;
  f.robe.shoulderHalf = 10;
  f.robe.hemHalf = 16;
  double cx = f.cx;
  f.behind = [cx](Canvas& c) {
    // A tattered cape behind the shoulders.
    part(c, [&](Canvas& l) {
      l.poly({{cx - 12, 22}, {cx + 12, 22}, {cx + 19, 60}, {cx + 12, 56}, {cx + 6, 63}, {cx, 57},
              {cx - 6, 63}, {cx - 12, 56}, {cx - 19, 60}},
             col(INK));
    });
  };
  f.head = [cx](Canvas& c) {
    part(c, [&](Canvas& l) { l.disc(cx, 15, 10.5, col(PURPLE, DARK)); });  // hood
    skull(c, cx, 15.5, 7.5, true);
  };
  return f;
}

Canvas bigStar(double angle) {
  Canvas s(24, 24);
  part(s, [&](Canvas& l) {
    std::vector<Pt> pts;
    for (int i = 0; i < 8; ++i) {
      double a = angle + i * kPi / 4, rr = i % 2 == 0 ? 11.0 : 4.5;
      pts.push_back({12 + std::sin(a) * rr, 12 - std::cos(a) * rr});
    }
    l.poly(pts, col(GREY));
  });
  s.disc(12, 12, 2.2, col(PURPLE));
  s.set(12, 12, OUTLINE);
  return s;
}

Look finalLook() {
  Look l;
  l.head = Headgear::Bare;
  l.skin = col(WHITE);
  l.torso = l.sleeve = l.leg = col(INK, LIGHT);
  l.belt = col(PURPLE);
  l.foot = col(INK);
  l.headR = 5.0;
  return l;
}

// The final form: a skull-faced ninja, 32 x 48 cells, feet on row 43.
Canvas finalFrame(const Pose& p, bool knives, bool dying) {
  Canvas c(32, 48);
  Look look = finalLook();
  look.hurt = dying;
  part(c, [&](Canvas& l) {  // scarf streaming from the neck
    l.capsule(p.neck.x - 1, p.neck.y - 1, p.neck.x - 8, p.neck.y + 2 - p.scarfLift, 1.2, col(PURPLE));
  });
  drawHuman(c, p, look);
  int ex = static_cast<int>(p.head.x + 1), ey = static_cast<int>(p.head.y);
  c.rect(ex, ey - 1, 2, 2, BLACK);
  c.set(ex + 1, ey - 1, dying ? BLACK : col(RED, LIGHT));
  c.set(ex + 2, ey + 2, OUTLINE);
  c.set(ex, ey + 3, OUTLINE);
  if (knives)
    for (int i = -1; i <= 1; ++i) c.line(static_cast<int>(p.hF.x), static_cast<int>(p.hF.y),
                                         static_cast<int>(p.hF.x + i * 3), static_cast<int>(p.hF.y + 5), col(GREY, LIGHT));
  return c;
}

}  // namespace

Canvas makeEnemy9() {
  Canvas c(256, 208);
  MasterFigure f = skullMaster(48, 72);
  Arm down{{13, 40}, {12, 50}};
  Arm downR = mirror(down, f.cx);
  c.blit(drawMaster(f, &down, &downR), 0, 0);
  Arm raised{{36, 18}, {31, 8}};
  MasterFigure fw = f;
  fw.props = [](Canvas& k) { k.blit(bigStar(0.2), 19, -4); };
  c.blit(drawMaster(fw, &down, &raised), 48, 0);
  Arm thrown{{40, 30}, {46, 36}};
  c.blit(drawMaster(f, &down, &thrown), 96, 0);

  // Falling skulls with a ghost-fire tail.
  for (int k = 0; k < 2; ++k) {
    Canvas s(24, 34);
    for (int y = 0; y < 14; ++y) {
      double w = (y + 3) * 0.55 + (k ? std::sin(y * 0.9) : std::cos(y * 0.9)) * 0.9;
      for (int x = 0; x < 24; ++x)
        if (std::fabs(x + 0.5 - 12) < w) s.set(x, y + 2, std::fabs(x + 0.5 - 12) < w * 0.5 ? col(PURPLE, LIGHT) : col(PURPLE));
    }
    skull(s, 12, 20, 8.5, true);
    c.blit(s, 144 + 24 * k, 0);
  }
  // The shrunk master.
  {
    Canvas s(24, 34);
    part(s, [](Canvas& l) { l.poly({{8, 12}, {16, 12}, {20, 31}, {4, 31}}, col(PURPLE)); });
    part(s, [](Canvas& l) { l.disc(12, 8, 5.5, col(PURPLE, DARK)); });
    skull(s, 12, 8.5, 4.0, true);
    c.blit(s, 192, 0);
  }
  c.blit(bigStar(0), 144, 40);

  // Weapon icons: kettle, paper crane, brush, flower on round medallions.
  for (int i = 0; i < 4; ++i) {
    Canvas m(32, 32);
    part(m, [](Canvas& l) { l.disc(16, 16, 14.5, col(PURPLE, DARK)); });
    m.disc(16, 16, 12.5, col(INK));
    switch (i) {
      case 0: kettle(m, 15, 17, 1.4, 0); break;
      case 1:
        part(m, [](Canvas& l) {
          l.poly({{5, 18}, {15, 15}, {27, 8}, {19, 19}, {24, 24}, {14, 21}}, col(RED, LIGHT));
        });
        m.line(15, 15, 19, 19, col(RED));
        break;
      case 2:
        part(m, [](Canvas& l) {
          l.capsule(10, 25, 21, 9, 1.6, col(BROWN, LIGHT));
          l.capsule(21, 9, 24, 5, 2.2, col(INK));
        });
        break;
      case 3:
        part(m, [](Canvas& l) {
          for (int p = 0; p < 5; ++p) {
            double a = p * 2 * kPi / 5;
            l.disc(16 + std::sin(a) * 5, 15 - std::cos(a) * 5, 4, p % 2 ? col(GOLD) : col(RED, LIGHT));
          }
        });
        m.disc(16, 15, 2.5, col(ORANGE, DARK));
        break;
    }
    c.blit(m, 32 * i, 80);
  }

  // Final form.
  const double top = 9, floor = 43;
  Pose st = standingPose(16, top, floor, 0.7);
  Pose p = st;  // entering: crouched landing
  p.head = {17.5, 17.0};
  p.neck = {16.5, 21.5};
  p.hip = {15.0, 29.0};
  p.kF = {21.0, 34.0};
  p.fF = {21.0, 41.4};
  p.kB = {10.0, 36.0};
  p.fB = {8.0, 41.4};
  p.eF = {20.0, 26.0};
  p.hF = {22.0, 31.0};
  c.blit(finalFrame(p, false, false), 0, 112);
  p = st;  // standing
  p.eF = {20.0, 23.0};
  p.hF = {22.5, 26.0};
  c.blit(finalFrame(p, false, false), 32, 112);
  p = st;  // back-hop: leaning back, legs tucked
  p.head = {14.0, 15.0};
  p.neck = {14.5, 20.0};
  p.kF = {20.0, 30.0};
  p.fF = {17.0, 35.0};
  p.kB = {13.0, 31.0};
  p.fB = {9.0, 34.0};
  p.hF = {9.0, 20.0};
  p.eF = {11.0, 23.0};
  c.blit(finalFrame(p, false, false), 64, 112);
  p = st;  // jump at the player: leaning forward, arm reaching
  p.head = {20.0, 15.0};
  p.neck = {18.0, 20.0};
  p.eF = {23.0, 20.0};
  p.hF = {28.0, 18.0};
  p.kF = {21.0, 30.0};
  p.fF = {18.0, 36.0};
  p.kB = {11.0, 31.0};
  p.fB = {6.0, 33.0};
  p.scarfLift = 3;
  c.blit(finalFrame(p, false, false), 96, 112);
  p = st;  // far-side jump, rising: arms up
  p.eF = {20.0, 14.0};
  p.hF = {22.0, 9.5};
  p.eB = {12.0, 14.0};
  p.hB = {10.0, 9.5};
  p.kF = {20.0, 29.0};
  p.fF = {18.0, 35.0};
  p.kB = {13.0, 31.0};
  p.fB = {11.0, 37.0};
  c.blit(finalFrame(p, false, false), 128, 112);
  p = st;  // knife fan: arms flung down and out
  p.eF = {21.0, 23.0};
  p.hF = {24.0, 28.0};
  p.eB = {11.0, 23.0};
  p.hB = {8.0, 28.0};
  p.kF = {20.0, 30.0};
  p.fF = {22.0, 35.0};
  p.kB = {12.0, 30.0};
  p.fB = {10.0, 35.0};
  c.blit(finalFrame(p, true, false), 160, 112);
  p = st;  // dash: flat out, arms back
  p.head = {23.0, 19.0};
  p.neck = {20.0, 23.0};
  p.hip = {13.0, 29.0};
  p.eF = {15.0, 25.0};
  p.hF = {9.0, 26.0};
  p.eB = {14.0, 24.0};
  p.hB = {8.0, 23.5};
  p.kF = {20.0, 33.0};
  p.fF = {26.0, 41.4};
  p.kB = {8.0, 35.0};
  p.fB = {2.0, 40.0};
  p.scarfLift = 4;
  c.blit(finalFrame(p, false, false), 192, 112);
  p = st;  // dying: on one knee, head bowed
  p.head = {19.0, 22.0};
  p.neck = {17.0, 26.0};
  p.hip = {14.0, 33.0};
  p.eF = {20.0, 32.0};
  p.hF = {22.0, 37.0};
  p.eB = {12.0, 31.0};
  p.hB = {11.0, 37.0};
  p.kF = {21.0, 35.0};
  p.fF = {22.0, 41.4};
  p.kB = {13.0, 41.0};
  p.fB = {7.0, 41.4};
  c.blit(finalFrame(p, false, true), 224, 112);

  // Star-throwing pose, 48 wide: wind-up and release.
  for (int k = 0; k < 2; ++k) {
    Canvas w(48, 48);
    Pose q = standingPose(24, top, floor, 1.0);
    if (k == 0) {
      q.eF = {22.0, 16.0};
      q.hF = {17.0, 11.0};
      w.blit(bigStar(0.4), 5, -1);
    } else {
      q.head.x += 2;
      q.eF = {30.0, 22.0};
      q.hF = {36.0, 21.0};
    }
    Canvas fr(48, 48);
    fr.blit(w, 0, 0);
    Canvas fig(48, 48);
    Look look = finalLook();
    part(fig, [&](Canvas& l) {
      l.capsule(q.neck.x - 1, q.neck.y - 1, q.neck.x - 9, q.neck.y + 2, 1.2, col(PURPLE));
    });
    drawHuman(fig, q, look);
    int ex = static_cast<int>(q.head.x + 1), ey = static_cast<int>(q.head.y);
    fig.rect(ex, ey - 1, 2, 2, BLACK);
    fig.set(ex + 1, ey - 1, col(RED, LIGHT));
    fr.blit(fig, 0, 0);
    c.blit(fr, 48 * k, 160);
  }
  return c;
}

}  // namespace art
