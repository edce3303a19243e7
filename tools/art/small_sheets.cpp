// blocks.png, items.png, status.png and misc.png.
#include <cmath>

#include "tools/art/figure.h"
#include "tools/art/sheets.h"

namespace art {

namespace {

constexpr double kPi = 3.14159265358979323846;

// A 24 x 12 tile with a bevel: light top and left edge, dark bottom and right.
void tile(Canvas& c, int x, int y, int ramp, uint8_t trim) {
  c.rect(x, y, 24, 12, col(ramp));
  c.hline(x, x + 23, y, col(ramp, LIGHT));
  c.vline(x, y, y + 11, col(ramp, LIGHT));
  c.hline(x, x + 23, y + 11, col(ramp, DARK));
  c.vline(x + 23, y, y + 11, col(ramp, DARK));
  c.hline(x + 1, x + 22, y + 10, OUTLINE);
  c.vline(x + 22, y + 1, y + 10, OUTLINE);
  // Lacquered panel with a trim line.
  c.hline(x + 3, x + 19, y + 3, trim);
  c.hline(x + 3, x + 19, y + 7, trim);
  c.vline(x + 3, y + 3, y + 7, trim);
  c.vline(x + 19, y + 3, y + 7, trim);
}

void stoneTile(Canvas& c, int x, int y, bool cracked) {
  c.rect(x, y, 24, 12, col(STONE));
  c.hline(x, x + 23, y, col(STONE, LIGHT));
  c.vline(x, y, y + 11, col(STONE, LIGHT));
  c.hline(x, x + 23, y + 11, OUTLINE);
  c.vline(x + 23, y, y + 11, OUTLINE);
  c.hline(x + 1, x + 22, y + 10, col(STONE, DARK));
  c.vline(x + 22, y + 1, y + 10, col(STONE, DARK));
  // Iron corner studs.
  const int studs[4][2] = {{3, 3}, {19, 3}, {3, 7}, {19, 7}};
  for (const auto& s : studs) {
    c.rect(x + s[0], y + s[1], 2, 2, col(GREY, LIGHT));
    c.set(x + s[0] + 1, y + s[1] + 1, col(GREY, DARK));
  }
  c.vline(x + 11, y + 1, y + 9, col(STONE, DARK));
  if (cracked) {
    const int crack[][2] = {{6, 1}, {7, 2}, {7, 3}, {8, 4}, {9, 5}, {9, 6}, {10, 7}, {9, 8}, {10, 9},
                            {14, 2}, {15, 3}, {14, 4}, {15, 5}, {16, 6}, {16, 7}, {17, 8}, {8, 5}, {7, 6}};
    for (const auto& p : crack) c.set(x + p[0], y + p[1], OUTLINE);
  }
}

// A wooden crate frame with a dark recess: the enemy's portrait sits on it.
void enemyFrame(Canvas& c, int x, int y) {
  c.rect(x, y, 24, 24, col(BROWN));
  c.rect(x + 3, y + 3, 18, 18, col(INK, DARK));
  c.hline(x, x + 23, y, col(BROWN, LIGHT));
  c.vline(x, y, y + 23, col(BROWN, LIGHT));
  c.hline(x, x + 23, y + 23, OUTLINE);
  c.vline(x + 23, y, y + 23, OUTLINE);
  c.hline(x + 1, x + 22, y + 22, col(BROWN, DARK));
  c.vline(x + 22, y + 1, y + 22, col(BROWN, DARK));
  c.hline(x + 3, x + 20, y + 3, OUTLINE);
  c.vline(x + 3, y + 3, y + 20, OUTLINE);
  const int nails[4][2] = {{1, 1}, {21, 1}, {1, 21}, {21, 21}};
  for (const auto& n : nails) c.set(x + n[0], y + n[1], col(GOLD));
}

// Head-and-shoulders portrait of an enemy for its block.
enum class Bust { Soldier, Flag, Katana, Wrestler, Ninja };

Canvas bust(Bust kind, uint8_t cloth, int throwFrame) {
  Canvas c(24, 24);
  Look look;
  look.headR = 5.2;
  look.torsoTop = 6.0;
  look.torsoBottom = 6.5;
  look.armR = 1.8;
  look.torso = look.sleeve = look.hood = cloth;
  look.belt = cloth;
  Pose p{};
  p.head = {12.5, 10.0};
  p.neck = {12.0, 16.0};
  p.hip = {12.0, 26.0};
  p.eF = {17.0, 21.0};
  p.hF = {18.5, 25.0};
  p.eB = {7.0, 21.0};
  p.hB = {5.5, 25.0};
  switch (kind) {
    case Bust::Soldier:
    case Bust::Flag:
    case Bust::Katana:
      look.head = Headgear::Jingasa;
      look.hat = col(INK);
      break;
    case Bust::Wrestler:
      look.head = Headgear::Topknot;
      look.torso = look.sleeve = col(SKIN);
      look.belt = col(SKIN);
      look.torsoTop = 7.5;
      look.torsoBottom = 8.0;
      look.armR = 2.4;
      break;
    case Bust::Ninja:
      look.head = Headgear::Hood;
      look.belt = cloth;
      if (throwFrame == 1 || throwFrame == 2) {  // hand drawn back over the shoulder
        p.eF = {15.0, 13.0 + throwFrame};
        p.hF = {10.0, 8.0 + throwFrame};
      } else if (throwFrame == 3) {  // arm flung forward
        p.eF = {18.0, 17.0};
        p.hF = {21.5, 13.5};
      }
      break;
  }
  if (kind == Bust::Flag) {
    part(c, [&](Canvas& l) {
      l.rect(4, 2, 1, 18, col(BROWN));
      l.rect(5, 2, 6, 7, col(WHITE));
      l.disc(8.0, 5.5, 1.7, col(RED));
    }, false);
  }
  drawHuman(c, p, look, P_TORSO | P_ARMS | P_HEAD);
  if (kind == Bust::Katana) drawSword(c, {19.0, 24.0}, {22.5, 3.0}, 3);
  if (kind == Bust::Ninja && throwFrame >= 1) {
    double hx = throwFrame == 3 ? 21.5 : 10.0, hy = throwFrame == 3 ? 13.5 : 8.0 + throwFrame;
    part(c, [&](Canvas& l) {
      l.poly({{hx - 2.5, hy - 2.5}, {hx + 0.5, hy - 0.5}, {hx + 2.5, hy - 2.5}, {hx + 0.5, hy + 0.5},
              {hx + 2.5, hy + 2.5}, {hx - 0.5, hy + 0.5}, {hx - 2.5, hy + 2.5}, {hx - 0.5, hy - 0.5}},
             col(GREY, LIGHT));
    }, false);
  }
  return c;
}

void shuriken(Canvas& c, double cx, double cy, double r, double angle) {
  part(c, [&](Canvas& l) {
    std::vector<Pt> pts;
    for (int i = 0; i < 8; ++i) {
      double a = angle + i * kPi / 4;
      double rr = i % 2 == 0 ? r : r * 0.42;
      pts.push_back({cx + std::sin(a) * rr, cy - std::cos(a) * rr});
    }
    l.poly(pts, col(GREY));
  });
  c.set(static_cast<int>(cx), static_cast<int>(cy), OUTLINE);
}

void flame(Canvas& c, int x, int y, int w, int h, int frame) {
  // Tongues of fire rising from the bottom, hotter towards the centre.
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      double u = (i + 0.5) / w * 2 - 1;            // -1..1 across
      double v = 1.0 - (j + 0.5) / h;              // 1 at the top, 0 at the bottom
      double wobble = std::sin(v * 9.0 + frame * 2.4 + u * 1.5) * 0.12;
      double width = std::pow(1.0 - v, 0.55) * 0.95 + wobble;
      double d = std::fabs(u + wobble * 0.8) / (width > 0.05 ? width : 0.05);
      if (d > 1.0 || v > 0.97) continue;
      uint8_t colour = d > 0.78 ? col(RED) : d > 0.5 ? col(ORANGE) : d > 0.25 ? col(GOLD) : col(GOLD, LIGHT);
      if (v > 0.8 && d > 0.5) colour = col(RED, DARK);
      c.set(x + i, y + j, colour);
    }
}

}  // namespace

Canvas makeBlocks() {
  Canvas c(144, 72);
  tile(c, 0, 0, RED, col(GOLD));
  tile(c, 0, 12, SKY, col(WHITE, LIGHT));
  stoneTile(c, 0, 24, false);
  stoneTile(c, 0, 36, true);
  enemyFrame(c, 0, 48);
  c.blit(bust(Bust::Soldier, col(BROWN), 0), 48, 0);
  c.blit(bust(Bust::Flag, col(BROWN), 0), 72, 0);
  c.blit(bust(Bust::Katana, col(RED, DARK), 0), 96, 0);
  c.blit(bust(Bust::Wrestler, col(SKIN), 0), 120, 0);
  for (int f = 0; f < 4; ++f) {
    c.blit(bust(Bust::Ninja, col(PURPLE), f), 48 + 24 * f, 24);
    c.blit(bust(Bust::Ninja, col(RED), f), 48 + 24 * f, 48);
  }
  return c;
}

Canvas makeItems() {
  Canvas c(112, 29);
  const char* items[] = {"scroll", "riceball", "coin", "gourd", "moneybag"};
  for (int i = 0; i < 5; ++i) c.blit(map(items[i]), 16 * i, 0);
  const char* values[] = {"500", "1000", "2000", "4000", "8000"};
  for (int i = 0; i < 5; ++i) {
    int x = 96 + (16 - tinyWidth(values[i])) / 2;
    tinyText(c, x, 6 * i, values[i], col(GOLD, LIGHT));
  }
  return c;
}

Canvas makeStatus() {
  Canvas c(112, 240);
  // Panel: dark lacquer in a wooden frame.
  c.rect(0, 0, 80, 240, col(NIGHT, BASE));
  for (int y = 0; y < 240; y += 4)
    for (int x = (y / 4) % 2 * 2; x < 80; x += 4) c.set(x, y, col(NIGHT, DARK));
  c.rect(0, 0, 3, 240, col(BROWN));
  c.rect(77, 0, 3, 240, col(BROWN));
  c.rect(0, 0, 80, 3, col(BROWN));
  c.rect(0, 237, 80, 3, col(BROWN));
  c.vline(0, 0, 239, col(BROWN, LIGHT));
  c.hline(0, 79, 0, col(BROWN, LIGHT));
  c.vline(79, 0, 239, OUTLINE);
  c.hline(0, 79, 239, OUTLINE);
  c.vline(2, 2, 237, col(BROWN, DARK));
  c.vline(77, 2, 237, col(BROWN, DARK));
  c.vline(3, 3, 236, col(GOLD, DARK));
  c.vline(76, 3, 236, col(GOLD, DARK));
  c.hline(3, 76, 3, col(GOLD, DARK));
  c.hline(3, 76, 236, col(GOLD, DARK));

  auto recess = [&](int x, int y, int w, int h) {
    c.rect(x, y, w, h, col(INK, DARK));
    c.hline(x, x + w - 1, y, OUTLINE);
    c.vline(x, y, y + h - 1, OUTLINE);
    c.hline(x + 1, x + w - 1, y + h - 1, col(NIGHT, LIGHT));
    c.vline(x + w - 1, y + 1, y + h - 1, col(NIGHT, LIGHT));
  };
  auto label = [&](int y, const std::string& text) {
    int w = tinyWidth(text);
    int x = (80 - w) / 2;
    c.hline(7, x - 3, y + 2, col(GOLD, DARK));
    c.hline(x + w + 2, 72, y + 2, col(GOLD, DARK));
    tinyText(c, x, y, text, col(GOLD));
  };

  // Header: the game's name under a throwing star.
  shuriken(c, 40, 13, 7.5, 0.3);
  tinyText(c, 40 - tinyWidth("KESTRUNE") / 2, 24, "KESTRUNE", col(WHITE, LIGHT));
  label(36, "STAGE");
  // The title box reaches into the frame, gold-edged like an inlay: nine letters from
  // (4, 48) keep two pixels clear all round.
  c.rect(1, 44, 78, 16, col(GOLD, DARK));
  recess(2, 45, 76, 14);
  label(62, "ENEMY");
  recess(5, 69, 70, 54);     // marks (8..72, 72..120), boss names and gauge
  c.blit(map("livesicon"), 14, 144);
  tinyText(c, 26, 146, "x", col(WHITE));  // lives digit at (32, 144)
  label(156, "LIFE");
  recess(6, 164, 68, 16);    // health pips (8..73, 166..178)
  label(182, "POWER");
  recess(6, 190, 68, 19);    // gauge (8..72, 192..200) and the ready marks below it
  label(213, "SCORE");
  recess(5, 221, 70, 13);    // score (8..72, 224..232)

  // Pieces drawn over the panel by the game.
  c.blit(map("health"), 80, 0);
  for (int y = 0; y < 8; ++y) {
    c.set(80, 16 + y, y < 2 ? col(GOLD, LIGHT) : y < 6 ? col(GOLD) : col(ORANGE));
    c.set(81, 16 + y, y < 2 ? col(ORANGE, LIGHT) : y < 6 ? col(ORANGE) : col(ORANGE, DARK));
  }
  c.blit(map("enemymark"), 80, 48);
  for (int y = 0; y < 8; ++y) {
    uint8_t bar1 = y == 0 ? col(RED, LIGHT) : y < 6 ? col(RED) : col(RED, DARK);
    uint8_t bar2 = y == 0 ? col(GOLD, LIGHT) : y < 6 ? col(GOLD) : col(ORANGE, DARK);
    c.hline(80, 95, 64 + y, bar1);
    c.hline(80, 95, 112 + y, bar2);
  }
  auto tab = [&](int y, int ramp, const std::string& text) {
    c.rect(80, y, 32, 8, col(ramp));
    c.hline(80, 111, y, col(ramp, LIGHT));
    c.hline(80, 111, y + 7, col(ramp, DARK));
    c.vline(80, y, y + 7, col(ramp, LIGHT));
    c.vline(111, y, y + 7, col(ramp, DARK));
    tinyText(c, 80 + (32 - tinyWidth(text)) / 2, y + 2, text, OUTLINE);
  };
  tab(80, ORANGE, "DASH");
  tab(88, SKY, "GUARD");
  // Boss gauge frame: two copies side by side make the 64 x 16 trough.
  c.rect(80, 96, 32, 16, col(INK, DARK));
  c.hline(80, 111, 96, col(GOLD));
  c.hline(80, 111, 111, col(GOLD, DARK));
  c.hline(80, 111, 104, col(INK));
  c.vline(80, 96, 111, col(GOLD, DARK));
  return c;
}

Canvas makeMisc() {
  Canvas c(256, 112);
  // Smoke puff, seven pictures: a burst of clouds that swells and thins out.
  for (int f = 0; f < 7; ++f) {
    Canvas puff(32, 32);
    const double blobs[6][3] = {{16, 16, 7}, {10, 14, 5}, {22, 13, 5}, {12, 21, 5}, {21, 21, 5}, {16, 9, 4.5}};
    // Swelling for four pictures, then the cloud drifts apart and shrinks.
    double spread = f < 4 ? 0.55 + 0.15 * f : 1.0 + 0.3 * (f - 3);
    double size = f < 4 ? 0.55 + 0.15 * f : 1.0 - 0.22 * (f - 3);
    for (const auto& b : blobs) {
      double bx = 16 + (b[0] - 16) * spread, by = 16 + (b[1] - 16) * spread - (f > 3 ? f - 3 : 0);
      puff.disc(bx, by, b[2] * size, col(f < 5 ? WHITE : GREY, f < 5 ? BASE : LIGHT));
    }
    puff.shade();
    puff.outline(col(GREY, DARK));
    c.blit(puff, 32 * f, 32);
  }
  // (224, 32) stays empty: it is shown on the smoke's last frame.

  for (int f = 0; f < 3; ++f) {
    Canvas star(16, 16);
    shuriken(star, 8, 8, 7.0, f * kPi / 6);
    c.blit(star, 16 * f, 64);
  }
  // Fire bomb: a burning ball with its flame streaming upward.
  {
    Canvas b(8, 16);
    flame(b, 1, 0, 6, 11, 0);
    part(b, [](Canvas& l) { l.disc(4, 11.5, 3.0, col(INK, LIGHT)); });
    b.set(3, 10, col(GREY, LIGHT));
    c.blit(b, 48, 64);
  }
  // Drops: tea (row 64), seeds (row 80), ink (row 96), four pictures each.
  for (int f = 0; f < 4; ++f) {
    double wob = std::sin(f * kPi / 2) * 0.6;
    Canvas tea(10, 10), ink(10, 10), seed(10, 10);
    part(tea, [&](Canvas& l) { l.ellipse(5, 5, 3.4 + wob, 3.4 - wob, col(TEAL)); });
    tea.set(3, 3, col(WHITE, LIGHT));
    part(ink, [&](Canvas& l) { l.ellipse(5, 5, 3.4 - wob, 3.4 + wob, col(INK)); });
    ink.set(3, 3, col(GREY, LIGHT));
    part(seed, [&](Canvas& l) {
      l.poly({{1.5, 5.0 - wob}, {5.0, 2.0}, {8.8, 5.0}, {5.0, 8.0}}, col(BROWN));
    });
    seed.set(6, 4, col(GOLD, LIGHT));
    c.blit(tea, 56 + 10 * f, 64);
    c.blit(seed, 56 + 10 * f, 80);
    c.blit(ink, 56 + 10 * f, 96);
    if (f == 0) c.blit(ink, 96, 64);
  }
  flame(c, 0, 80, 16, 32, 0);
  flame(c, 16, 80, 16, 32, 1);
  return c;
}

}  // namespace art
