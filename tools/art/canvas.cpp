#include "tools/art/canvas.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace art {

namespace {

// Light, base and dark tone of every ramp. Greens are kept bluish or dark so
// that nothing comes near the pure-green key, even at 16 bits a pixel.
const Rgb kRamps[RAMP_COUNT][3] = {
    {{196, 196, 208}, {136, 136, 152}, {84, 84, 104}},    // GREY
    {{255, 255, 255}, {226, 226, 236}, {172, 172, 192}},  // WHITE
    {{255, 222, 184}, {236, 176, 128}, {184, 118, 82}},   // SKIN
    {{100, 116, 200}, {56, 64, 140}, {32, 36, 88}},       // NAVY
    {{250, 100, 84}, {208, 40, 48}, {128, 20, 36}},       // RED
    {{255, 204, 100}, {240, 140, 40}, {176, 84, 24}},     // ORANGE
    {{255, 244, 148}, {240, 200, 56}, {170, 122, 30}},    // GOLD
    {{204, 144, 88}, {150, 96, 52}, {96, 58, 34}},        // BROWN
    {{188, 124, 224}, {128, 64, 168}, {76, 36, 104}},     // PURPLE
    {{84, 176, 164}, {40, 128, 120}, {22, 80, 82}},       // TEAL
    {{180, 226, 255}, {112, 176, 232}, {64, 120, 192}},   // SKY
    {{76, 72, 90}, {46, 42, 58}, {30, 28, 40}},           // INK
    {{255, 196, 214}, {234, 134, 170}, {168, 76, 116}},   // PINK
    {{60, 64, 124}, {34, 36, 84}, {18, 20, 48}},          // NIGHT
    {{255, 168, 120}, {200, 100, 120}, {110, 60, 110}},   // DUSK
    {{240, 246, 255}, {200, 214, 236}, {150, 164, 200}},  // SNOW
    {{164, 150, 136}, {116, 104, 96}, {72, 64, 62}},      // STONE
    {{92, 150, 112}, {52, 104, 84}, {30, 64, 60}},        // FOLIAGE
};

}  // namespace

Rgb paletteColour(uint8_t index) {
  if (index == KEY) return {0, 255, 0};
  if (index == OUTLINE) return {22, 18, 30};
  if (index == BLACK) return {0, 0, 0};
  int r, t;
  if (!rampOf(index, &r, &t)) return {255, 0, 255};
  return kRamps[r][t];
}

bool rampOf(uint8_t index, int* ramp, int* tone) {
  if (index < FIRST_RAMP || index >= PALETTE_SIZE) return false;
  *ramp = (index - FIRST_RAMP) / 3;
  *tone = (index - FIRST_RAMP) % 3;
  return true;
}

void Canvas::rect(int x, int y, int w, int h, uint8_t c) {
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i) set(i, j, c);
}

void Canvas::disc(double cx, double cy, double r, uint8_t c) { ellipse(cx, cy, r, r, c); }

void Canvas::ellipse(double cx, double cy, double rx, double ry, uint8_t c) {
  if (rx <= 0 || ry <= 0) return;
  int x0 = static_cast<int>(std::floor(cx - rx)), x1 = static_cast<int>(std::ceil(cx + rx));
  int y0 = static_cast<int>(std::floor(cy - ry)), y1 = static_cast<int>(std::ceil(cy + ry));
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) {
      double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
      if (dx * dx + dy * dy <= 1.0) set(x, y, c);
    }
}

void Canvas::capsule(double x0, double y0, double x1, double y1, double r, uint8_t c) {
  int bx0 = static_cast<int>(std::floor(std::fmin(x0, x1) - r));
  int bx1 = static_cast<int>(std::ceil(std::fmax(x0, x1) + r));
  int by0 = static_cast<int>(std::floor(std::fmin(y0, y1) - r));
  int by1 = static_cast<int>(std::ceil(std::fmax(y0, y1) + r));
  double vx = x1 - x0, vy = y1 - y0, len2 = vx * vx + vy * vy;
  for (int y = by0; y <= by1; ++y)
    for (int x = bx0; x <= bx1; ++x) {
      double px = x + 0.5 - x0, py = y + 0.5 - y0;
      double t = len2 > 0 ? (px * vx + py * vy) / len2 : 0.0;
      t = t < 0 ? 0 : (t > 1 ? 1 : t);
      double dx = px - t * vx, dy = py - t * vy;
      if (dx * dx + dy * dy <= r * r) set(x, y, c);
    }
}

void Canvas::poly(const std::vector<Pt>& pts, uint8_t c) {
  if (pts.size() < 3) return;
  double minY = pts[0].y, maxY = pts[0].y;
  for (const Pt& p : pts) {
    minY = std::fmin(minY, p.y);
    maxY = std::fmax(maxY, p.y);
  }
  for (int y = static_cast<int>(std::floor(minY)); y <= static_cast<int>(std::ceil(maxY)); ++y) {
    double sy = y + 0.5;
    std::vector<double> xs;
    for (size_t i = 0; i < pts.size(); ++i) {
      const Pt& a = pts[i];
      const Pt& b = pts[(i + 1) % pts.size()];
      if ((a.y <= sy && b.y > sy) || (b.y <= sy && a.y > sy))
        xs.push_back(a.x + (sy - a.y) * (b.x - a.x) / (b.y - a.y));
    }
    std::sort(xs.begin(), xs.end());
    for (size_t i = 0; i + 1 < xs.size(); i += 2)
      for (int x = static_cast<int>(std::ceil(xs[i] - 0.5)); x + 0.5 < xs[i + 1]; ++x) set(x, y, c);
  }
}

void Canvas::line(int x0, int y0, int x1, int y1, uint8_t c) {
  int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
  int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  for (;;) {
    set(x0, y0, c);
    if (x0 == x1 && y0 == y1) break;
    int e2 = 2 * err;
    if (e2 >= dy) { err += dy; x0 += sx; }
    if (e2 <= dx) { err += dx; y0 += sy; }
  }
}

void Canvas::shade() {
  std::vector<uint8_t> out = px_;
  for (int y = 0; y < h_; ++y)
    for (int x = 0; x < w_; ++x) {
      int r, t;
      if (!rampOf(at(x, y), &r, &t) || t != BASE) continue;
      bool darkEdge = !opaque(x + 1, y) || !opaque(x, y + 1);
      bool lightEdge = !opaque(x - 1, y) || !opaque(x, y - 1);
      if (darkEdge) out[static_cast<size_t>(y) * w_ + x] = col(r, DARK);
      else if (lightEdge) out[static_cast<size_t>(y) * w_ + x] = col(r, LIGHT);
    }
  px_.swap(out);
}

void Canvas::outline(uint8_t c) {
  std::vector<uint8_t> out = px_;
  for (int y = 0; y < h_; ++y)
    for (int x = 0; x < w_; ++x) {
      if (opaque(x, y)) continue;
      if (opaque(x - 1, y) || opaque(x + 1, y) || opaque(x, y - 1) || opaque(x, y + 1))
        out[static_cast<size_t>(y) * w_ + x] = c;
    }
  px_.swap(out);
}

void Canvas::recolour(uint8_t from, uint8_t to) {
  for (uint8_t& p : px_)
    if (p == from) p = to;
}

void Canvas::blit(const Canvas& src, int dx, int dy, bool mirror) {
  blit(src, 0, 0, src.width(), src.height(), dx, dy, mirror);
}

void Canvas::blit(const Canvas& src, int sx, int sy, int w, int h, int dx, int dy, bool mirror) {
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      uint8_t p = src.at(sx + (mirror ? w - 1 - i : i), sy + j);
      if (p != KEY) set(dx + i, dy + j, p);
    }
}

Canvas Canvas::crop(int x, int y, int w, int h) const {
  Canvas c(w, h);
  c.blit(*this, x, y, w, h, 0, 0);
  return c;
}

Canvas Canvas::mirrored() const {
  Canvas c(w_, h_);
  c.blit(*this, 0, 0, true);
  return c;
}

void writePng(const Canvas& c, const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!f) throw std::runtime_error("cannot write " + path);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    throw std::runtime_error("libpng: out of memory");
  }
  std::vector<uint8_t> row(static_cast<size_t>(c.width()) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("libpng: cannot encode " + path);
  }
  png_init_io(png, f.get());
  png_set_IHDR(png, info, c.width(), c.height(), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  for (int y = 0; y < c.height(); ++y) {
    for (int x = 0; x < c.width(); ++x) {
      Rgb p = paletteColour(c.at(x, y));
      row[static_cast<size_t>(x) * 3] = p.r;
      row[static_cast<size_t>(x) * 3 + 1] = p.g;
      row[static_cast<size_t>(x) * 3 + 2] = p.b;
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fflush(f.get()) != 0) throw std::runtime_error("cannot write " + path);
}

}  // namespace art
