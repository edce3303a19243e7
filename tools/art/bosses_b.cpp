// enemy5.png (origami master), enemy6.png (flower-arranging master),
// enemy7.png (calligraphy master) and enemy8.png (its sheets and attacks).
#include <cmath>

#include "tools/art/master.h"
#include "tools/art/sheets.h"

namespace art {

namespace {

constexpr double kPi = 3.14159265358979323846;

Pt rot(Pt c, Pt p, double a) {
  double s = std::sin(a), k = std::cos(a);
  return {c.x + (p.x - c.x) * k - (p.y - c.y) * s, c.y + (p.x - c.x) * s + (p.y - c.y) * k};
}

std::vector<Pt> square(Pt c, double half, double a) {
  return {rot(c, {c.x - half, c.y - half}, a), rot(c, {c.x + half, c.y - half}, a),
          rot(c, {c.x + half, c.y + half}, a), rot(c, {c.x - half, c.y + half}, a)};
}

// ---- Origami -------------------------------------------------------------

MasterFigure origamiMaster() {
  MasterFigure f;
  f.width = 96;
  f.cx = 48;
  f.robe.ramp = SKY;
  f.robe.obi = col(RED);
  f.robe.hakama = NAVY;
  f.robe.shoulderY = 28;
  f.head = [](Canvas& c) {
    face(c, 48, 19, 7.5, false);
    // A folded paper helmet with its two horns.
    part(c, [](Canvas& l) {
      l.poly({{36, 15}, {60, 15}, {48, 2}}, col(RED));
      l.poly({{37, 15}, {33, 6}, {42, 11}}, col(RED, LIGHT));
      l.poly({{59, 15}, {63, 6}, {54, 11}}, col(RED, LIGHT));
      l.rect(37, 14, 23, 3, col(RED, DARK));
    });
    c.line(48, 4, 48, 13, col(RED, DARK));
  };
  f.props = [](Canvas& c) {
    // Paper cranes on the robe.
    for (Pt p : {Pt{42, 36}, Pt{55, 44}}) {
      c.line(static_cast<int>(p.x - 3), static_cast<int>(p.y), static_cast<int>(p.x + 3), static_cast<int>(p.y - 2), col(WHITE, LIGHT));
      c.line(static_cast<int>(p.x), static_cast<int>(p.y - 3), static_cast<int>(p.x + 1), static_cast<int>(p.y + 1), col(WHITE, LIGHT));
    }
  };
  return f;
}

void cloudPuffs(Canvas& c, int frame) {
  // Seven pictures: a ring round the body, filling in, then paper pieces
  // showing through as it thins.
  Canvas l(96, 96);
  double ring = 34;
  int n = 12;
  for (int i = 0; i < n; ++i) {
    double a = i * 2 * kPi / n + frame * 0.2;
    double r = frame < 4 ? 11 + frame * 1.5 : 15 - (frame - 4) * 3;
    l.disc(48 + std::sin(a) * ring, 48 - std::cos(a) * ring, r, col(WHITE));
  }
  if (frame >= 1 && frame <= 5) {
    double r = frame <= 4 ? 8 + frame * 5 : 16;
    for (int i = 0; i < 6; ++i) {
      double a = i * kPi / 3 + 0.4;
      l.disc(48 + std::sin(a) * r * 0.8, 48 - std::cos(a) * r * 0.8, r * 0.7, col(WHITE));
    }
    l.disc(48, 48, r, col(WHITE));
  }
  l.shade();
  l.outline(col(GREY, DARK));
  c.blit(l, 0, 0);
  if (frame >= 5) {
    const double at[4][2] = {{30, 30}, {66, 30}, {30, 66}, {66, 66}};
    for (const auto& p : at) {
      double half = frame == 5 ? 5 : 8;
      part(c, [&](Canvas& k) { k.poly(square({p[0], p[1]}, half, kPi / 4), col(RED)); });
    }
  }
}

void frogShape(Canvas& c, double cx, double cy, double legs, double k) {
  // A paper frog facing right; `legs` 0 sitting .. 1 fully stretched.
  part(c, [&](Canvas& l) {
    l.poly({{cx - 12 * k - legs * 8, cy + 6 * k}, {cx - 5 * k, cy + 2 * k}, {cx - 4 * k, cy + 8 * k}}, col(TEAL, DARK));
  });
  part(c, [&](Canvas& l) {
    l.poly({{cx - 11 * k, cy + 6 * k}, {cx - 6 * k, cy - 5 * k - legs * 2}, {cx + 8 * k, cy - 4 * k - legs * 2},
            {cx + 12 * k, cy + 2 * k}, {cx + 4 * k, cy + 7 * k}},
           col(TEAL));
    l.disc(cx + 6 * k, cy - 5 * k - legs * 2, 2.6 * k, col(TEAL));
    l.poly({{cx + 5 * k, cy + 5 * k}, {cx + 9 * k + legs * 4, cy + 9 * k}, {cx + 3 * k, cy + 8 * k}}, col(TEAL));
  });
  c.set(static_cast<int>(cx + 6 * k + 1), static_cast<int>(cy - 5 * k - legs * 2), OUTLINE);
  c.line(static_cast<int>(cx - 6 * k), static_cast<int>(cy - 5 * k - legs * 2), static_cast<int>(cx + 4 * k),
         static_cast<int>(cy + 7 * k), col(TEAL, LIGHT));
}

void paperPlane(Canvas& c, double cx, double cy, int ramp) {
  part(c, [&](Canvas& l) {
    l.poly({{cx, cy - 13}, {cx + 8, cy + 10}, {cx, cy + 5}, {cx - 8, cy + 10}}, col(ramp));
  });
  c.line(static_cast<int>(cx), static_cast<int>(cy - 12), static_cast<int>(cx), static_cast<int>(cy + 5), col(ramp, DARK));
}

void bigPiece(Canvas& c, int frame, bool top) {
  // A large sheet folding in on itself; the top pieces carry a face.
  int ramp = top ? GOLD : RED;
  double half = 19 - frame * 3.5;
  part(c, [&](Canvas& l) {
    if (frame == 0) {
      l.rect(5, 5, 38, 38, col(ramp));
    } else {
      l.poly({{24 - half, 24 - half}, {24 + half, 24 - half}, {24 + half, 24 + half}}, col(ramp));
      l.poly({{24 - half, 24 - half}, {24 + half, 24 + half}, {24 - half * 0.6, 24 + half}}, col(ramp, LIGHT));
    }
  });
  if (frame == 0) {
    c.line(6, 6, 42, 42, col(ramp, DARK));
    c.line(42, 6, 6, 42, col(ramp, DARK));
  }
  if (top && frame == 3) {
    c.rect(18, 20, 3, 3, BLACK);
    c.rect(28, 20, 3, 3, BLACK);
    c.set(19, 20, col(WHITE, LIGHT));
    c.set(29, 20, col(WHITE, LIGHT));
    c.hline(20, 28, 30, OUTLINE);
  }
}

// ---- Flowers ---------------------------------------------------------------

void blossom(Canvas& c, double cx, double cy, double r, int ramp, int petals, double open) {
  part(c, [&](Canvas& l) {
    for (int p = 0; p < petals; ++p) {
      double a = p * 2 * kPi / petals;
      l.disc(cx + std::sin(a) * r * 0.55 * open, cy - std::cos(a) * r * 0.55 * open, r * 0.5, col(ramp));
    }
  });
  c.disc(cx, cy, r * 0.28, col(GOLD));
}

void stem(Canvas& c, double x, double y0, double y1) {
  part(c, [&](Canvas& l) {
    l.capsule(x, y0, x, y1, 1.0, col(TEAL));
    l.ellipse(x + 3, (y0 + y1) / 2, 2.8, 1.3, col(TEAL));
    l.ellipse(x - 3, (y0 + y1) / 2 + 3, 2.8, 1.3, col(TEAL));
  });
}

MasterFigure flowerMaster() {
  MasterFigure f;
  f.width = 96;
  f.cx = 48;
  f.robe.ramp = PINK;
  f.robe.obi = col(GOLD);
  f.robe.shoulderY = 28;
  f.robe.hemHalf = 17;
  f.head = [](Canvas& c) {
    part(c, [](Canvas& l) {
      l.disc(48, 9, 6, col(INK));  // hair bun
      l.disc(48, 18, 9, col(INK));
    });
    face(c, 48, 20, 7, false);
    c.line(43, 17, 46, 17, OUTLINE);
    c.line(50, 17, 53, 17, OUTLINE);
    blossom(c, 56, 9, 6, WHITE, 5, 1.0);  // hairpin flower
    c.line(40, 6, 56, 13, col(GOLD));
  };
  f.props = [](Canvas& c) {
    for (Pt p : {Pt{41, 36}, Pt{55, 50}, Pt{44, 62}, Pt{58, 68}}) blossom(c, p.x, p.y, 4, WHITE, 5, 1.0);
  };
  return f;
}

void heldFlower(Canvas& c, int ox, int oy, int ramp) {
  Canvas f(24, 24);
  stem(f, 12, 11, 23);
  blossom(f, 12, 8, 10, ramp, 5, 1.0);
  c.blit(f, ox, oy);
}

// ---- Calligraphy ------------------------------------------------------------

MasterFigure shodoMaster() {
  MasterFigure f;
  f.width = 80;
  f.cx = 40;
  f.robe.ramp = INK;
  f.robe.trim = WHITE;
  f.robe.obi = col(RED);
  f.robe.shoulderY = 32;
  f.robe.shoulderHalf = 11;
  f.robe.hemHalf = 17;
  f.head = [](Canvas& c) {
    part(c, [](Canvas& l) { l.poly({{34, 17}, {46, 17}, {44, 1}, {37, 3}}, col(INK, DARK)); });  // tall hat
    face(c, 40, 22, 7, true);
    part(c, [](Canvas& l) {  // long white beard
      l.poly({{35, 25}, {45, 25}, {42, 36}, {40, 39}, {38, 36}}, col(WHITE));
    });
    c.rect(37, 20, 2, 1, OUTLINE);
    c.rect(42, 20, 2, 1, OUTLINE);
  };
  return f;
}

void brush(Canvas& c, int ox, int oy, bool horizontal, bool tipFirst, int length) {
  // An inked tip tapering to a point, a brass ferrule, a bamboo handle.
  int tip = length / 3;
  for (int i = 0; i < length; ++i) {
    int along = tipFirst ? i : length - 1 - i;
    int half = i < tip ? (i < 2 ? 0 : 1) : 1;
    uint8_t colour = i < tip ? col(INK, i < tip / 2 ? DARK : BASE) : i < tip + 2 ? col(GOLD) : col(BROWN, LIGHT);
    for (int w = -half - 1; w <= half + 1; ++w) {
      uint8_t px = (w < -half || w > half) ? OUTLINE : colour;
      if (i >= tip + 2 && w == half) px = col(BROWN);
      if (horizontal) c.set(ox + along, oy + 4 + w, px);
      else c.set(ox + 4 + w, oy + along, px);
    }
  }
}

void inkGlyph(Canvas& c, int ox, int oy, int kind, bool seal = true) {
  // Big brush strokes: ice (a crystal), thunder (a zigzag), fire (a flame).
  auto stroke = [&](double x0, double y0, double x1, double y1, double r) {
    c.capsule(ox + x0, oy + y0, ox + x1, oy + y1, r, col(INK, DARK));
  };
  switch (kind) {
    case 0:
      stroke(32, 3, 32, 21, 1.4);
      stroke(24, 7, 40, 17, 1.2);
      stroke(40, 7, 24, 17, 1.2);
      break;
    case 1:
      stroke(36, 2, 26, 11, 1.4);
      stroke(26, 11, 38, 12, 1.3);
      stroke(38, 12, 28, 22, 1.4);
      break;
    default:
      stroke(32, 2, 26, 14, 1.3);
      stroke(26, 14, 32, 21, 1.6);
      stroke(32, 21, 38, 13, 1.6);
      stroke(38, 13, 33, 6, 1.2);
      stroke(20, 17, 24, 21, 1.0);
      stroke(44, 17, 40, 21, 1.0);
      break;
  }
  if (seal) c.rect(ox + 50, oy + 16, 5, 5, col(RED));
}

void paperSheet(Canvas& c, int ox, int oy, int w, int h) {
  c.rect(ox, oy, w, h, col(WHITE));
  c.hline(ox, ox + w - 1, oy, col(WHITE, LIGHT));
  c.hline(ox, ox + w - 1, oy + h - 1, col(WHITE, DARK));
  c.vline(ox + w - 1, oy, oy + h - 1, col(WHITE, DARK));
}

}  // namespace

Canvas makeEnemy5() {
  Canvas c(448, 416);
  MasterFigure f = origamiMaster();
  const Arm rest{{36, 40}, {35, 50}};
  const Arm up{{31, 24}, {28, 12}};
  const Arm throwing{{42, 40}, {53, 44}};
  const Arm hold{{30, 24}, {24, 10}};
  const Arm arms[4] = {rest, up, throwing, hold};
  for (int i = 0; i < 4; ++i) {
    c.blit(leftHalf(f, arms[i], 56), 112 * i, 0);
    c.blit(rightHalf(f, mirror(arms[i], f.cx), 56), 112 * i + 56, 0);
  }
  // (272, 0) and (280, 0) are the columns of the throwing halves themselves.
  const int cloudAt[7][2] = {{0, 80}, {96, 80}, {192, 80}, {288, 80}, {96, 176}, {192, 176}, {288, 176}};
  for (int i = 0; i < 7; ++i) {
    Canvas cl(96, 96);
    cloudPuffs(cl, i);
    c.blit(cl, cloudAt[i][0], cloudAt[i][1]);
  }
  // Frog paper, folded, and held; paper planes.
  for (int i = 0; i < 2; ++i) {
    Canvas p(32, 32);
    part(p, [&](Canvas& l) { l.poly(square({16, 16}, 9 - i, kPi / 4), col(TEAL)); });
    p.line(16, 4, 16, 28, col(TEAL, DARK));
    p.line(9, 16, 23, 16, col(TEAL, LIGHT));
    c.blit(p, 32 * i, 176);
  }
  for (int i = 0; i < 3; ++i) {
    Canvas p(32, 32);
    paperPlane(p, 16, 16, i == 2 ? GREY : WHITE);
    c.blit(p, 32 * i, 208);
  }
  // Unfolding into a frog: 12 pictures, then sitting and three hops.
  for (int i = 0; i < 16; ++i) {
    Canvas p(48, 48);
    if (i < 12) {
      double t = i / 11.0;
      if (t < 0.7)
        part(p, [&](Canvas& l) { l.poly(square({24, 30}, 10 * (1 - t * 0.8), kPi / 4 + t * 1.5), col(TEAL)); });
      if (t > 0.35) frogShape(p, 24, 32, 0, 0.4 + 0.6 * t);
    } else if (i == 12) {
      frogShape(p, 24, 32, 0, 1.0);
    } else {
      frogShape(p, 24, 30 - (i - 12) * 2, (i - 12) / 3.0, 1.0);
    }
    int slot = i;
    c.blit(p, 48 * (slot % 5), 272 + 48 * (slot / 5));
  }
  for (int k = 0; k < 4; ++k) {
    Canvas p(48, 48), q(48, 48);
    bigPiece(p, k, false);
    bigPiece(q, k, true);
    c.blit(p, 240 + 48 * k, 272);
    c.blit(q, 240 + 48 * k, 320);
  }
  return c;
}

Canvas makeEnemy6() {
  Canvas c(480, 168);
  MasterFigure f = flowerMaster();
  const Arm rest{{36, 42}, {42, 50}};
  const Arm raised{{32, 24}, {28, 12}};
  const Arm holding{{31, 26}, {26, 12}};
  const Arm throwing{{30, 36}, {21, 48}};
  const Arm follow{{31, 44}, {20, 56}};
  const Arm left[5] = {rest, raised, holding, throwing, follow};
  for (int i = 0; i < 5; ++i) {
    c.blit(leftHalf(f, left[i], 48), 96 * i, 0);
    c.blit(rightHalf(f, mirror(left[i], f.cx), 48), 96 * i + 48, 0);
  }
  heldFlower(c, 0, 80, WHITE);
  heldFlower(c, 24, 80, SKY);
  heldFlower(c, 80, 144, GOLD);
  heldFlower(c, 104, 144, RED);
  {  // white bud falling
    Canvas s(16, 32);
    part(s, [](Canvas& l) { l.ellipse(8, 22, 4, 6, col(WHITE)); });
    s.vline(5, 4, 12, col(WHITE, DARK));
    s.vline(10, 2, 10, col(WHITE, DARK));
    c.blit(s, 0, 112);
  }
  {  // sprout
    Canvas s(16, 40);
    stem(s, 8, 24, 39);
    part(s, [](Canvas& l) { l.ellipse(8, 22, 3, 4, col(WHITE)); });
    c.blit(s, 16, 104);
  }
  {  // whole plant: closed bloom, stem, leaves at the root
    Canvas p(32, 88);
    part(p, [](Canvas& l) {
      l.capsule(16, 28, 16, 86, 1.6, col(TEAL));
      l.ellipse(22, 46, 5, 2, col(TEAL));
      l.ellipse(10, 56, 5, 2, col(TEAL));
      l.ellipse(9, 78, 7, 3, col(TEAL));
      l.ellipse(23, 80, 7, 3, col(TEAL));
    });
    part(p, [](Canvas& l) { l.ellipse(16, 18, 8, 11, col(WHITE)); });
    p.line(16, 9, 16, 27, col(WHITE, DARK));
    c.blit(p, 48, 80);
  }
  for (int k = 0; k < 3; ++k) {  // the bloom opening into a shooting mouth
    Canvas b(32, 32);
    blossom(b, 16, 18, 14, WHITE, 6, 0.6 + 0.25 * k);
    b.disc(16, 18, 2.0 + k, col(RED, DARK));
    c.blit(b, 80 + 32 * k, 80);
  }
  for (int k = 0; k < 4; ++k) {  // blue flower: bud falling and opening
    Canvas b(32, 32);
    stem(b, 16, 16, 31);
    if (k == 0) part(b, [](Canvas& l) { l.ellipse(16, 12, 5, 8, col(SKY)); });
    else blossom(b, 16, 12, 8 + 2 * k, SKY, 5, 0.4 + 0.2 * k);
    c.blit(b, 240 + 32 * k, 80);
  }
  for (int k = 0; k < 4; ++k) {  // blue flower walking on two root feet
    Canvas b(32, 32);
    double step = std::sin(k * kPi / 2) * 3;
    part(b, [&](Canvas& l) {
      l.capsule(16, 18, 12 - step, 30, 1.3, col(TEAL));
      l.capsule(16, 18, 20 + step, 30, 1.3, col(TEAL));
    });
    stem(b, 16, 14, 22);
    blossom(b, 16 + step * 0.3, 10, 14, SKY, 5, 1.0);
    b.rect(18, 8, 2, 2, OUTLINE);
    c.blit(b, 240 + 32 * k, 112);
  }
  for (int row = 0; row < 2; ++row)  // petals, eight turns each
    for (int k = 0; k < 8; ++k) {
      Canvas p(13, 13);
      double a = kPi / 4 + k * kPi / 4;
      part(p, [&](Canvas& l) {
        std::vector<Pt> pts;
        for (int i = 0; i < 16; ++i) {
          double t = i * 2 * kPi / 16;
          pts.push_back(rot({6.5, 6.5}, {6.5 + std::cos(t) * 5.0, 6.5 + std::sin(t) * 2.6}, a));
        }
        l.poly(pts, row ? col(GOLD) : col(RED));
      });
      c.blit(p, 80 + 16 * k, 112 + 16 * row);
    }
  for (int r = 0; r < 4; ++r) {  // the vine, four animation rows
    Canvas v(32, 16);
    for (int x = 0; x < 32; ++x) {
      double y = 7.5 + std::sin((x + r * 4) * kPi / 8) * 1.5;
      bool tip = (x < 8 && x < 3) || (x >= 24 && x > 28);
      v.capsule(x, y, x + 1, y, tip ? 0.8 : 1.4, col(TEAL));
    }
    for (int x = 12 + r % 2 * 4; x < 24; x += 8) v.ellipse(x + 0.5, 4.5, 2.5, 1.2, col(TEAL, LIGHT));
    v.shade();
    v.outline();
    c.blit(v, 208, 80 + 16 * r);
  }
  return c;
}

Canvas makeEnemy7() {
  Canvas c(320, 160);
  MasterFigure f = shodoMaster();
  const Arm rest{{29, 44}, {33, 52}};
  const Arm raised{{24, 28}, {8, 22}};
  const Arm windup{{23, 36}, {8, 36}};
  const Arm throwing{{27, 40}, {30, 50}};
  const Arm arms[4] = {rest, raised, windup, throwing};
  for (int i = 0; i < 4; ++i) {
    c.blit(leftHalf(f, arms[i], 40), 80 * i, 0);
    c.blit(rightHalf(f, mirror(arms[i], f.cx), 40), 80 * i + 40, 0);
  }
  // Writing: bent over the sheet, the brush hand moving side to side.
  MasterFigure w = f;
  w.robe.shoulderY = 40;
  w.head = [](Canvas& k) {
    part(k, [](Canvas& l) { l.poly({{34, 25}, {46, 25}, {44, 10}, {37, 12}}, col(INK, DARK)); });
    face(k, 40, 30, 7, true);
    part(k, [](Canvas& l) { l.poly({{35, 33}, {45, 33}, {42, 43}, {40, 45}, {38, 43}}, col(WHITE)); });
  };
  for (int pair = 0; pair < 2; ++pair) {
    Arm l{{30, 52}, {34.0 - pair * 6, 62}};
    Arm r{{50, 52}, {46.0 + pair * 6, 62}};
    MasterFigure wp = w;
    double bx = 46 + pair * 6;
    wp.props = [bx](Canvas& k) { brush(k, static_cast<int>(bx) - 3, 56, false, false, 22); };
    c.blit(leftHalf(wp, l, 40), 80 * pair, 80);
    c.blit(rightHalf(wp, r, 40), 80 * pair + 40, 80);
  }
  brush(c, 168, 80, false, true, 32);
  brush(c, 176, 80, false, true, 32);
  brush(c, 184, 80, false, true, 32);
  brush(c, 192, 80, true, true, 32);
  brush(c, 192, 88, true, false, 32);
  brush(c, 200, 96, false, true, 16);
  brush(c, 192, 96, false, true, 16);
  return c;
}

Canvas makeEnemy8() {
  Canvas c(352, 256);
  paperSheet(c, 2, 2, 60, 44);
  for (int kind = 0; kind < 3; ++kind) {
    int row = 48 + 48 * kind;
    // Finished sheet: writing on its upper half.
    paperSheet(c, 2, row + 2, 60, 44);
    inkGlyph(c, 0, row, kind);
    // Folding before release.
    for (int k = 1; k < 5; ++k) {
      int w = 60 - k * 12, h = 44 - k * 6;
      paperSheet(c, 64 * k + 32 - w / 2, row + 24 - h / 2, w, h);
      c.vline(64 * k + 32, row + 24 - h / 2, row + 23 + h / 2, col(WHITE, DARK));
    }
  }
  auto sheet48 = [&](int ox, int tint, int flick) {
    paperSheet(c, ox + 6, 4, 36, 40);
    inkGlyph(c, ox - 8, 12, tint, false);
    for (int i = 0; i < 10; ++i) {
      int x = ox + 4 + (i * 7 + flick * 3) % 40, y = 2 + (i * 13 + flick * 5) % 42;
      uint8_t colour = tint == 2 ? col(ORANGE, LIGHT) : tint == 1 ? col(GOLD, LIGHT) : col(SKY, LIGHT);
      c.set(x, y, colour);
      c.set(x + 1, y, colour);
    }
  };
  sheet48(64, 2, 0);
  sheet48(112, 2, 1);
  sheet48(160, 1, 0);
  sheet48(208, 1, 1);
  sheet48(256, 0, 0);
  sheet48(304, 0, 1);
  // Fire along the sheets' bottom edges.
  for (int k = 0; k < 2; ++k)
    for (int x = 0; x < 36; ++x) {
      int h = 4 + static_cast<int>(std::fabs(std::sin((x + k * 3) * 0.7)) * 6);
      for (int y = 0; y < h; ++y) c.set(64 + 48 * k + 6 + x, 44 - y, y < h / 2 ? col(ORANGE) : col(RED));
    }
  // Thunder cloud heads and bolt pieces.
  for (int k = 0; k < 6; ++k) {
    Canvas cl(32, 32);
    part(cl, [&](Canvas& l) {
      l.disc(16, 16, 9 + (k % 2), col(INK, LIGHT));
      l.disc(8, 18, 6, col(INK, LIGHT));
      l.disc(24, 18, 6, col(INK, LIGHT));
      l.disc(16, 10, 6, col(INK, LIGHT));
    });
    if (k >= 2) {
      cl.line(14, 22, 17, 27, col(GOLD, LIGHT));
      cl.line(17, 27, 15, 31, col(GOLD, LIGHT));
      cl.set(10 + k, 14, col(GOLD, LIGHT));
    }
    c.blit(cl, 32 * k, 192);
  }
  for (int k = 0; k < 4; ++k) {
    Canvas b(32, 32);
    int x = 16;
    for (int y = 0; y < 32; ++y) {
      // Zigzag that meets itself at the piece's top and bottom.
      int off = ((y + k * 8) % 16 < 8) ? (y + k * 8) % 8 - 4 : 4 - (y + k * 8) % 8;
      b.hline(x + off - 1, x + off + 1, y, col(GOLD, LIGHT));
      b.set(x + off - 2, y, col(SKY, LIGHT));
      b.set(x + off + 2, y, col(SKY, LIGHT));
    }
    c.blit(b, 64 + 32 * k, 224);
  }
  {  // ice block and shard
    Canvas ice(48, 48);
    part(ice, [](Canvas& l) {
      l.poly({{24, 2}, {44, 14}, {42, 38}, {24, 46}, {6, 38}, {4, 14}}, col(SKY, LIGHT));
    });
    ice.line(24, 3, 24, 45, col(WHITE, LIGHT));
    ice.line(5, 14, 24, 24, col(SKY));
    ice.line(43, 14, 24, 24, col(SKY));
    c.blit(ice, 192, 192);
    Canvas shard(16, 16);
    part(shard, [](Canvas& l) { l.poly({{8, 1}, {12, 8}, {8, 15}, {4, 8}}, col(SKY, LIGHT)); });
    c.blit(shard, 192, 240);
  }
  return c;
}

}  // namespace art
