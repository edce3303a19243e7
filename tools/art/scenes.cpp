// The five world backgrounds, the title and ending images and the stage
// pictures of the stage select.
#include <cmath>

#include "tools/art/figure.h"
#include "tools/art/sheets.h"

namespace art {

namespace {

constexpr double kPi = 3.14159265358979323846;

// 4x4 ordered dither: blends two colours by `t` (0..1) without new colours.
bool dither(int x, int y, double t) {
  static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  return (bayer[y & 3][x & 3] + 0.5) / 16.0 < t;
}

// Vertical sky through a list of colours, dithered between neighbours.
void sky(Canvas& c, int y0, int y1, const std::vector<uint8_t>& stops) {
  for (int y = y0; y < y1; ++y) {
    double t = (y - y0) / static_cast<double>(y1 - y0) * (stops.size() - 1);
    size_t i = static_cast<size_t>(t);
    if (i >= stops.size() - 1) i = stops.size() - 2;
    double f = t - i;
    for (int x = 0; x < c.width(); ++x) c.set(x, y, dither(x, y, f) ? stops[i + 1] : stops[i]);
  }
}

// A ridge line from sines; everything below it down to `bottom` is filled.
void ridge(Canvas& c, double base, double amp, double freq, double phase, uint8_t colour, int bottom, uint8_t rim = 0) {
  for (int x = 0; x < c.width(); ++x) {
    double h = base - amp * (0.6 * std::sin(x * freq + phase) + 0.3 * std::sin(x * freq * 2.7 + phase * 1.3) +
                             0.1 * std::sin(x * freq * 6.1 + phase * 2.1));
    int top = static_cast<int>(h);
    for (int y = top; y < bottom; ++y) c.set(x, y, colour);
    if (rim) c.set(x, top, rim);
  }
}

void stars(Canvas& c, int y1, uint32_t seed, int count) {
  Rng rng(seed);
  for (int i = 0; i < count; ++i) {
    int x = rng.range(c.width()), y = rng.range(y1);
    c.set(x, y, rng.range(4) == 0 ? col(GOLD, LIGHT) : col(WHITE, LIGHT));
  }
}

void moon(Canvas& c, double x, double y, double r, int ramp) {
  c.disc(x, y, r + 2, col(ramp, DARK));
  c.disc(x, y, r, col(ramp, LIGHT));
  c.disc(x + r * 0.3, y - r * 0.2, r * 0.25, col(ramp, BASE));
  c.disc(x - r * 0.35, y + r * 0.3, r * 0.18, col(ramp, BASE));
}

// The playfield's frame: posts at the two walls and the floor from y 224.
void frame(Canvas& c, int ramp, uint8_t floorColour, uint8_t floorLine) {
  c.rect(0, 224, c.width(), 16, floorColour);
  c.hline(0, c.width() - 1, 224, floorLine);
  for (int x = 0; x < c.width(); x += 16) c.vline(x + ((x / 16) % 2) * 8, 226, 239, floorLine);
  for (int px : {0, 228}) {
    c.rect(px, 0, 12, 240, col(ramp));
    c.vline(px, 0, 239, col(ramp, LIGHT));
    c.vline(px + 11, 0, 239, col(ramp, DARK));
    c.vline(px + 1, 0, 239, col(ramp, LIGHT));
    for (int y = 20; y < 240; y += 48) c.rect(px + 1, y, 10, 3, col(ramp, DARK));
  }
}

void bambooGrove(Canvas& c) {
  sky(c, 0, 224, {col(SKY, BASE), col(SKY, LIGHT), col(WHITE, LIGHT)});
  ridge(c, 150, 25, 0.02, 1.0, col(FOLIAGE, LIGHT), 224);
  ridge(c, 185, 18, 0.035, 2.0, col(FOLIAGE, BASE), 224);
  Rng rng(5);
  for (int i = 0; i < 16; ++i) {
    int x = 8 + i * 20 + rng.range(8);
    int w = 4 + rng.range(3);
    uint8_t colour = i % 3 == 0 ? col(TEAL, DARK) : col(TEAL, BASE);
    c.rect(x, 0, w, 224, colour);
    c.vline(x, 0, 223, col(TEAL, LIGHT));
    for (int y = 10 + rng.range(30); y < 224; y += 34 + rng.range(10)) c.hline(x - 1, x + w, y, col(TEAL, DARK));
    for (int k = 0; k < 4; ++k) {
      int ly = 10 + rng.range(150), dir = rng.range(2) ? 1 : -1;
      for (int j = 0; j < 9; ++j) c.set(x + w / 2 + dir * j, ly + j / 3, col(FOLIAGE, BASE));
    }
  }
  frame(c, BROWN, col(BROWN, DARK), col(BROWN, BASE));
}

void castleSunset(Canvas& c) {
  sky(c, 0, 224, {col(NIGHT, LIGHT), col(DUSK, DARK), col(DUSK, BASE), col(DUSK, LIGHT), col(GOLD, LIGHT)});
  c.disc(150, 170, 26, col(GOLD, LIGHT));
  c.disc(150, 170, 22, col(WHITE, LIGHT));
  ridge(c, 190, 14, 0.025, 0.5, col(DUSK, DARK), 224);
  // Castle keep: stone base, white walls, dark roofs with upturned eaves.
  c.poly({{70, 224}, {200, 224}, {190, 180}, {80, 180}}, col(STONE, DARK));
  const int tiers[4][3] = {{90, 180, 90}, {100, 148, 70}, {110, 120, 50}, {120, 96, 30}};
  for (const auto& t : tiers) {
    int x = t[0], y = t[1], w = t[2];
    c.rect(x, y - 22, w, 22, col(WHITE, DARK));
    for (int wx = x + 6; wx < x + w - 4; wx += 10) c.rect(wx, y - 14, 4, 6, col(INK));
    c.poly({{x - 12.0, y - 20.0}, {x + w + 12.0, y - 20.0}, {x + w - 4.0, y - 30.0}, {x + 4.0, y - 30.0}}, col(INK));
    c.set(x - 12, y - 22, col(INK));
    c.set(x + w + 11, y - 22, col(INK));
  }
  c.rect(133, 60, 4, 6, col(GOLD));
  frame(c, RED, col(STONE, DARK), col(STONE, BASE));
}

void snowTemple(Canvas& c) {
  sky(c, 0, 224, {col(NIGHT, DARK), col(NIGHT, BASE), col(NIGHT, LIGHT)});
  stars(c, 150, 33, 90);
  moon(c, 70, 50, 18, SNOW);
  ridge(c, 120, 45, 0.018, 2.5, col(SNOW, DARK), 224, col(SNOW, LIGHT));
  ridge(c, 170, 22, 0.03, 0.2, col(NIGHT, LIGHT), 224, col(SNOW, BASE));
  // Pagoda.
  for (int t = 0; t < 5; ++t) {
    int w = 70 - t * 10, y = 210 - t * 26, x = 150 - w / 2;
    c.rect(x + 6, y - 18, w - 12, 18, col(RED, DARK));
    c.poly({{x - 8.0, y - 16.0}, {x + w + 8.0, y - 16.0}, {x + w - 2.0, y - 26.0}, {x + 2.0, y - 26.0}}, col(INK));
    c.hline(x - 8, x + w + 7, y - 27, col(SNOW, LIGHT));
  }
  c.vline(150, 50, 80, col(GOLD, DARK));
  Rng rng(71);
  for (int i = 0; i < 120; ++i) c.set(rng.range(320), rng.range(224), col(WHITE, LIGHT));
  frame(c, STONE, col(SNOW, BASE), col(SNOW, DARK));
}

void autumnRiver(Canvas& c) {
  sky(c, 0, 170, {col(SKY, BASE), col(GOLD, LIGHT), col(ORANGE, LIGHT)});
  ridge(c, 120, 30, 0.02, 4.0, col(DUSK, DARK), 170);
  ridge(c, 150, 15, 0.04, 1.0, col(BROWN, DARK), 170);
  // River with ripples.
  for (int y = 170; y < 224; ++y)
    for (int x = 0; x < 320; ++x)
      c.set(x, y, ((x / 6 + y) % 11 == 0) ? col(SKY, LIGHT) : dither(x, y, (y - 170) / 54.0) ? col(SKY, DARK) : col(SKY));
  // Red torii gates.
  for (int g = 0; g < 2; ++g) {
    int x = 40 + g * 130, w = 70, top = 80 + g * 20;
    c.rect(x + 10, top, 6, 224 - top, col(RED));
    c.rect(x + w - 16, top, 6, 224 - top, col(RED));
    c.rect(x, top - 4, w, 6, col(INK));
    c.rect(x + 4, top + 12, w - 8, 4, col(RED));
    c.vline(x + 10, top, 223, col(RED, LIGHT));
  }
  // Maple trees.
  Rng rng(9);
  for (int t = 0; t < 5; ++t) {
    int x = 20 + t * 60, y = 60 + rng.range(30);
    c.rect(x - 2, y, 4, 110, col(BROWN, DARK));
    for (int k = 0; k < 40; ++k)
      c.disc(x + rng.range(36) - 18, y + rng.range(24) - 12, 3 + rng.range(3),
             k % 3 == 0 ? col(ORANGE) : k % 3 == 1 ? col(RED) : col(RED, LIGHT));
  }
  frame(c, BROWN, col(BROWN, DARK), col(GOLD, DARK));
}

void graveyard(Canvas& c) {
  sky(c, 0, 224, {col(INK, DARK), col(PURPLE, DARK), col(DUSK, DARK)});
  stars(c, 120, 77, 50);
  moon(c, 160, 70, 30, RED);
  ridge(c, 160, 20, 0.03, 3.0, col(INK, BASE), 224);
  // Dead trees.
  for (int t = 0; t < 3; ++t) {
    int x = 40 + t * 110;
    c.capsule(x, 224, x + 4, 110, 3, col(INK, DARK));
    c.capsule(x + 3, 150, x + 26, 120, 1.5, col(INK, DARK));
    c.capsule(x + 2, 135, x - 20, 105, 1.5, col(INK, DARK));
    c.capsule(x + 4, 115, x + 14, 95, 1.0, col(INK, DARK));
  }
  // Grave markers and ghost fires.
  Rng rng(13);
  for (int g = 0; g < 9; ++g) {
    int x = 20 + g * 34 + rng.range(8), h = 18 + rng.range(14);
    c.rect(x, 224 - h, 10, h, col(STONE));
    c.rect(x, 224 - h, 10, 2, col(STONE, LIGHT));
    c.vline(x + 9, 224 - h, 223, col(STONE, DARK));
    c.vline(x + 4, 228 - h, 220 - h / 2, col(STONE, DARK));
  }
  for (int f = 0; f < 6; ++f) {
    double x = 30 + f * 50 + rng.range(20), y = 120 + rng.range(60);
    c.disc(x, y, 4, col(PURPLE, LIGHT));
    c.disc(x, y - 4, 2.5, col(PURPLE, LIGHT));
    c.disc(x, y, 2, col(WHITE, LIGHT));
  }
  frame(c, PURPLE, col(INK, DARK), col(PURPLE, DARK));
}

Look scaleLook(Look l, double s) {
  l.headR *= s;
  l.torsoTop *= s;
  l.torsoBottom *= s;
  l.armR *= s;
  l.legR *= s;
  return l;
}

void bigNinja(Canvas& c, double cx, double top, double floor, bool jump) {
  double s = (floor - top) / 28.0;
  Pose p = standingPose(cx, top, floor, 0.5);
  auto at = [&](double x, double y) { return Pt{cx + (x - 16) * s, top + (y - 8) * s}; };
  if (jump) {
    p.head = at(21, 14);
    p.neck = at(19, 19);
    p.hip = at(14, 25);
    p.eF = at(24, 16);
    p.hF = at(28, 12);
    p.eB = at(12, 18);
    p.hB = at(8, 15);
    p.kF = at(21, 26);
    p.fF = at(19, 31);
    p.kB = at(9, 28);
    p.fB = at(4, 31);
  } else {
    p.eF = at(21, 17);
    p.hF = at(19, 21);
    p.eB = at(11, 17);
    p.hB = at(12, 13);
  }
  p.scarfLift = 3 * s;
  Look l;
  l.scarf = col(RED);
  l.belt = col(RED);
  Look big = scaleLook(l, s);
  if (!jump) {
    // A drawn sword held up behind the shoulder.
    Pt a = p.hB;
    drawSword(c, a, {a.x - 8 * s, a.y - 9 * s}, 3 * s);
  }
  drawHuman(c, p, big);
}

}  // namespace

Canvas makeBackground(int world) {
  Canvas c(320, 240);
  switch (world) {
    case 1: bambooGrove(c); break;
    case 2: castleSunset(c); break;
    case 3: snowTemple(c); break;
    case 4: autumnRiver(c); break;
    default: graveyard(c); break;
  }
  return c;
}

Canvas makeTitle() {
  Canvas c(320, 480);
  sky(c, 0, 480, {col(INK, DARK), col(NIGHT, DARK), col(NIGHT, BASE), col(PURPLE, DARK), col(DUSK, DARK)});
  stars(c, 360, 101, 220);
  moon(c, 200, 230, 48, GOLD);
  // Title, visible while the image rests at the top.
  const std::string title = "KESTRUNE";
  bigText(c, (320 - bigTextWidth(title, 6)) / 2, 62, title, 6, RED);
  const std::string tag = "SHADOW BLOCK NINJA";
  fontText(c, (320 - 8 * static_cast<int>(tag.size())) / 2, 122, tag);
  // A ninja leaping across the moon.
  bigNinja(c, 196, 196, 262, true);
  // Castle town roofs and the keep at the bottom of the scroll.
  ridge(c, 340, 20, 0.02, 0.7, col(NIGHT, LIGHT), 480);
  c.poly({{40, 480}, {160, 480}, {150, 380}, {50, 380}}, col(STONE, DARK));
  for (int t = 0; t < 3; ++t) {
    int x = 60 + t * 10, w = 80 - t * 20, y = 380 - t * 28;
    c.rect(x, y - 22, w, 22, col(WHITE, DARK));
    for (int wx = x + 6; wx < x + w - 4; wx += 10) c.rect(wx, y - 14, 4, 6, col(INK));
    c.poly({{x - 12.0, y - 20.0}, {x + w + 12.0, y - 20.0}, {x + w - 4.0, y - 30.0}, {x + 4.0, y - 30.0}}, col(INK));
  }
  for (int r = 0; r < 4; ++r) {
    int y = 400 + r * 22, x0 = (r % 2) * 40 - 20;
    for (int x = x0; x < 320; x += 90) {
      c.poly({{x + 0.0, y + 10.0}, {x + 80.0, y + 10.0}, {x + 66.0, y + 0.0}, {x + 14.0, y + 0.0}}, col(INK));
      c.rect(x + 10, y + 10, 60, 12, col(BROWN, DARK));
      c.rect(x + 30, y + 13, 8, 6, col(GOLD));
    }
  }
  // The hero on the ridge of the nearest roof, sword ready.
  bigNinja(c, 240, 330, 420, false);
  c.poly({{170, 421}, {320, 421}, {320, 440}, {182, 440}}, col(INK));
  c.rect(170, 440, 150, 40, col(BROWN, DARK));
  return c;
}

Canvas makeEnding() {
  Canvas c(320, 600);
  sky(c, 0, 420, {col(NIGHT, BASE), col(DUSK, DARK), col(DUSK, BASE), col(DUSK, LIGHT), col(GOLD, LIGHT)});
  stars(c, 150, 3, 80);
  c.disc(160, 420, 40, col(GOLD, LIGHT));
  c.disc(160, 420, 34, col(WHITE, LIGHT));
  ridge(c, 380, 40, 0.015, 1.5, col(DUSK, DARK), 600);
  ridge(c, 420, 20, 0.03, 0.3, col(NIGHT, BASE), 600);
  // A cherry tree on the hill and petals on the wind.
  c.capsule(60, 460, 70, 360, 5, col(BROWN, DARK));
  c.capsule(68, 390, 100, 350, 3, col(BROWN, DARK));
  c.capsule(66, 380, 35, 345, 3, col(BROWN, DARK));
  Rng rng(42);
  for (int k = 0; k < 90; ++k)
    c.disc(70 + rng.range(90) - 45, 345 + rng.range(40) - 20, 4 + rng.range(4), k % 2 ? col(PINK, LIGHT) : col(PINK));
  for (int k = 0; k < 60; ++k) c.set(rng.range(320), 150 + rng.range(300), col(PINK, LIGHT));
  c.rect(0, 440, 320, 160, col(NIGHT, DARK));
  ridge(c, 445, 6, 0.05, 0.0, col(FOLIAGE, DARK), 600);
  // The ninja resting on the hill, looking at the sunrise.
  bigNinja(c, 120, 412, 446, false);
  const std::string end = "THE END";
  bigText(c, (320 - bigTextWidth(end, 4)) / 2, 470, end, 4, GOLD);
  const std::string thanks = "THANK YOU FOR PLAYING";
  fontText(c, (320 - 8 * static_cast<int>(thanks.size())) / 2, 520, thanks);
  return c;
}

Canvas makeSelect() {
  Canvas c(300, 300);
  for (int n = 0; n < 25; ++n) {
    int world = n / 5 + 1, stage = n % 5;
    Canvas bg = makeBackground(world);
    int ox = (n % 5) * 60, oy = (n / 5) * 60;
    // The playfield part of the world's background, a quarter size, with a
    // different slice for each stage.
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 60; ++x) c.set(ox + x, oy + y, bg.at(x * 3 + stage * 12 + 12, y * 4));
    const int ramps[5] = {TEAL, DUSK, SNOW, ORANGE, PURPLE};
    bool boss = stage == 4;
    uint8_t border = boss ? col(RED) : col(ramps[world - 1], LIGHT);
    for (int i = 0; i < 60; ++i) {
      for (int k : {0, 1}) {
        c.set(ox + i, oy + k, border);
        c.set(ox + i, oy + 59 - k, border);
        c.set(ox + k, oy + i, border);
        c.set(ox + 59 - k, oy + i, border);
      }
    }
    // A dark band where the game writes the stage label (rows 41..47).
    for (int y = 40; y < 49; ++y)
      for (int x = 2; x < 58; ++x) c.set(ox + x, oy + y, col(INK, DARK));
    if (boss) {
      // The world's master by his emblem, on a red seal.
      static const char* const kEmblems[5] = {"emblem_tea", "emblem_ikebana", "emblem_origami", "emblem_shodo",
                                              "emblem_skull"};
      const Canvas& emblem = map(kEmblems[world - 1]);
      c.disc(ox + 30, oy + 21, 15, OUTLINE);
      c.disc(ox + 30, oy + 21, 14, col(RED, DARK));
      c.disc(ox + 30, oy + 21, 12, col(RED));
      c.blit(emblem, ox + 30 - emblem.width() / 2, oy + 21 - emblem.height() / 2);
      tinyText(c, ox + 30 - tinyWidth("BOSS") / 2, oy + 51, "BOSS", col(GOLD, LIGHT));
    } else {
      // One block for each stage of the world so far.
      for (int b = 0; b <= stage; ++b) {
        int bx = ox + 30 - (stage + 1) * 5 + b * 10;
        c.rect(bx, oy + 51, 8, 5, col(RED));
        c.hline(bx, bx + 7, oy + 51, col(RED, LIGHT));
      }
    }
  }
  return c;
}

}  // namespace art
