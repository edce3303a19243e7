// Indexed pixel canvas for the art generator: one shared palette of colour
// ramps, shape filling at pixel centres, automatic rim shading and outlines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace art {

// Colour ramps: three tones each, light / base / dark.
enum Ramp : int {
  GREY, WHITE, SKIN, NAVY, RED, ORANGE, GOLD, BROWN, PURPLE, TEAL, SKY, INK, PINK,
  // Background-only ramps.
  NIGHT, DUSK, SNOW, STONE, FOLIAGE,
  RAMP_COUNT
};
enum Tone : int { LIGHT = 0, BASE = 1, DARK = 2 };

// Palette index 0 is the transparent key; OUTLINE is the shared dark line.
constexpr uint8_t KEY = 0;
constexpr uint8_t OUTLINE = 1;
constexpr uint8_t BLACK = 2;
constexpr uint8_t FIRST_RAMP = 3;
constexpr uint8_t col(int ramp, int tone = BASE) {
  return static_cast<uint8_t>(FIRST_RAMP + ramp * 3 + tone);
}
constexpr int PALETTE_SIZE = FIRST_RAMP + RAMP_COUNT * 3;

struct Rgb { uint8_t r, g, b; };
Rgb paletteColour(uint8_t index);
// Ramp and tone of a palette index; false for the key, outline and black.
bool rampOf(uint8_t index, int* ramp, int* tone);

struct Pt { double x, y; };

class Canvas {
 public:
  Canvas() = default;
  Canvas(int w, int h) : w_(w), h_(h), px_(static_cast<size_t>(w) * h, KEY) {}

  int width() const { return w_; }
  int height() const { return h_; }
  uint8_t at(int x, int y) const {
    return (x < 0 || y < 0 || x >= w_ || y >= h_) ? KEY : px_[static_cast<size_t>(y) * w_ + x];
  }
  void set(int x, int y, uint8_t c) {
    if (x >= 0 && y >= 0 && x < w_ && y < h_) px_[static_cast<size_t>(y) * w_ + x] = c;
  }
  bool opaque(int x, int y) const { return at(x, y) != KEY; }

  // Shapes cover the pixels whose centres fall inside them.
  void rect(int x, int y, int w, int h, uint8_t c);
  void disc(double cx, double cy, double r, uint8_t c);
  void ellipse(double cx, double cy, double rx, double ry, uint8_t c);
  void capsule(double x0, double y0, double x1, double y1, double r, uint8_t c);
  void poly(const std::vector<Pt>& pts, uint8_t c);
  void line(int x0, int y0, int x1, int y1, uint8_t c);  // one pixel wide
  void hline(int x0, int x1, int y, uint8_t c) { for (int x = x0; x <= x1; ++x) set(x, y, c); }
  void vline(int x, int y0, int y1, uint8_t c) { for (int y = y0; y <= y1; ++y) set(x, y, c); }

  // Base tones become light where the pixel up or left is empty, dark where
  // the pixel down or right is empty (light comes from the upper left).
  void shade();
  // Empty pixels touching an opaque one (4-neighbourhood) become `c`.
  void outline(uint8_t c = OUTLINE);
  // Replace every pixel of one colour by another.
  void recolour(uint8_t from, uint8_t to);

  // Copies the opaque pixels of `src` (its rectangle sx, sy, w, h) to (dx, dy).
  void blit(const Canvas& src, int dx, int dy, bool mirror = false);
  void blit(const Canvas& src, int sx, int sy, int w, int h, int dx, int dy, bool mirror = false);
  Canvas crop(int x, int y, int w, int h) const;
  Canvas mirrored() const;

  std::vector<uint8_t>& pixels() { return px_; }
  const std::vector<uint8_t>& pixels() const { return px_; }

 private:
  int w_ = 0, h_ = 0;
  std::vector<uint8_t> px_;
};

// A part drawn on its own layer, shaded, outlined and laid over `dst`.
template <class F>
void part(Canvas& dst, F draw, bool shaded = true, bool outlined = true) {
  Canvas layer(dst.width(), dst.height());
  draw(layer);
  if (shaded) layer.shade();
  if (outlined) layer.outline();
  dst.blit(layer, 0, 0);
}

// Writes an 8-bit RGB PNG; the key index becomes pure green. Throws on failure.
void writePng(const Canvas& c, const std::string& path);

// Tiny deterministic generator for scattered details (stars, grass, dither).
class Rng {
 public:
  explicit Rng(uint32_t seed) : s_(seed ? seed : 1u) {}
  uint32_t next() {
    s_ ^= s_ << 13;
    s_ ^= s_ >> 17;
    s_ ^= s_ << 5;
    return s_;
  }
  int range(int n) { return n <= 0 ? 0 : static_cast<int>(next() % static_cast<uint32_t>(n)); }

 private:
  uint32_t s_;
};

}  // namespace art
