// Text pixel maps (data/art/sprites.txt) and the two bitmap fonts.
#include <fstream>
#include <map>
#include <stdexcept>
#include <vector>

#include "tools/art/sheets.h"

namespace art {

namespace {

std::map<std::string, Canvas> g_maps;
std::map<char, std::vector<std::string>> g_font, g_tiny;

uint8_t legend(char ch) {
  static const struct { char light, base, dark; int ramp; } kRamps[] = {
      {'W', 'w', 'v', WHITE}, {'G', 'g', 'h', GREY},   {'S', 's', 'd', SKIN},
      {'N', 'n', 'm', NAVY},  {'R', 'r', 'e', RED},    {'O', 'o', 'a', ORANGE},
      {'Y', 'y', 'j', GOLD},  {'B', 'b', 'u', BROWN},  {'P', 'p', 'i', PURPLE},
      {'T', 't', 'l', TEAL},  {'C', 'c', 'z', SKY},    {'F', 'f', 'x', INK},
  };
  if (ch == '.') return KEY;
  if (ch == 'k') return OUTLINE;
  if (ch == '0') return BLACK;
  for (const auto& r : kRamps) {
    if (ch == r.light) return col(r.ramp, LIGHT);
    if (ch == r.base) return col(r.ramp, BASE);
    if (ch == r.dark) return col(r.ramp, DARK);
  }
  throw std::runtime_error(std::string("unknown map letter '") + ch + "'");
}

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.rfind("# ", 0) == 0) continue;
    lines.push_back(line);
  }
  return lines;
}

// "char X" followed by the glyph's rows, all of one width.
void readGlyphs(const std::string& path, std::map<char, std::vector<std::string>>& out) {
  std::vector<std::string> lines = readLines(path);
  char cur = 0;
  for (const std::string& l : lines) {
    if (l.rfind("char ", 0) == 0 && l.size() == 6) {
      cur = l[5];
      out[cur].clear();
    } else if (cur) {
      out[cur].push_back(l);
    } else {
      throw std::runtime_error(path + ": row before the first char");
    }
  }
}

}  // namespace

void loadMaps(const std::string& dir) {
  std::vector<std::string> lines = readLines(dir + "/sprites.txt");
  std::string name;
  std::vector<std::string> rows;
  auto flush = [&] {
    if (name.empty()) return;
    Canvas c(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (size_t y = 0; y < rows.size(); ++y) {
      if (rows[y].size() != rows[0].size()) throw std::runtime_error("map " + name + ": ragged rows");
      for (size_t x = 0; x < rows[y].size(); ++x)
        c.set(static_cast<int>(x), static_cast<int>(y), legend(rows[y][x]));
    }
    g_maps[name] = c;
  };
  for (const std::string& l : lines) {
    if (l.rfind("map ", 0) == 0) {
      flush();
      name = l.substr(4);
      rows.clear();
    } else {
      rows.push_back(l);
    }
  }
  flush();
  readGlyphs(dir + "/font.txt", g_font);
  readGlyphs(dir + "/tiny.txt", g_tiny);
}

const Canvas& map(const std::string& name) {
  auto it = g_maps.find(name);
  if (it == g_maps.end()) throw std::runtime_error("no map named " + name);
  return it->second;
}

Canvas makeFont() {
  Canvas c(64, 64);
  for (int ch = 0x21; ch < 0x61; ++ch) {
    auto it = g_font.find(static_cast<char>(ch));
    if (it == g_font.end()) throw std::runtime_error(std::string("font lacks ") + static_cast<char>(ch));
    const std::vector<std::string>& g = it->second;
    int ox = (ch - 0x21) % 8 * 8, oy = (ch - 0x21) / 8 * 8;
    // Shadow first, one pixel down and right; then the letter, brighter on top.
    for (int pass = 0; pass < 2; ++pass)
      for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 5; ++x) {
          if (g[static_cast<size_t>(y)][static_cast<size_t>(x)] != '#') continue;
          if (pass == 0) c.set(ox + 2 + x, oy + 1 + y, OUTLINE);
          else c.set(ox + 1 + x, oy + y, y < 4 ? col(WHITE, LIGHT) : col(SNOW, BASE));
        }
  }
  return c;
}

void fontText(Canvas& c, int x, int y, const std::string& text, int scale) {
  static Canvas font = makeFont();
  for (char ch : text) {
    if (ch >= 0x21 && ch < 0x61) {
      int sx = (ch - 0x21) % 8 * 8, sy = (ch - 0x21) / 8 * 8;
      for (int j = 0; j < 8 * scale; ++j)
        for (int i = 0; i < 8 * scale; ++i) {
          uint8_t p = font.at(sx + i / scale, sy + j / scale);
          if (p != KEY) c.set(x + i, y + j, p);
        }
    }
    x += 8 * scale;
  }
}

void tinyText(Canvas& c, int x, int y, const std::string& text, uint8_t colour) {
  for (char ch : text) {
    auto it = g_tiny.find(ch);
    if (it != g_tiny.end())
      for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 3; ++i)
          if (it->second[static_cast<size_t>(j)][static_cast<size_t>(i)] == '#') c.set(x + i, y + j, colour);
    x += 4;
  }
}

void bigText(Canvas& c, int x, int y, const std::string& text, int scale, int ramp) {
  Canvas layer(c.width(), c.height());
  int h = 7 * scale;
  for (char ch : text) {
    auto it = g_font.find(ch);
    if (it != g_font.end())
      for (int j = 0; j < 7; ++j)
        for (int i = 0; i < 5; ++i)
          if (it->second[static_cast<size_t>(j)][static_cast<size_t>(i)] == '#')
            for (int v = 0; v < scale; ++v)
              for (int u = 0; u < scale; ++u) {
                int row = j * scale + v;
                int tone = row < h / 3 ? LIGHT : row < h * 3 / 4 ? BASE : DARK;
                layer.set(x + i * scale + u, y + row, col(ramp, tone));
              }
    x += 6 * scale;
  }
  Canvas shadow(c.width(), c.height());
  for (int j = 0; j < c.height(); ++j)
    for (int i = 0; i < c.width(); ++i)
      if (layer.opaque(i - 2, j - 3)) shadow.set(i, j, BLACK);
  layer.outline();
  layer.outline();
  c.blit(shadow, 0, 0);
  c.blit(layer, 0, 0);
}

int bigTextWidth(const std::string& text, int scale) {
  return text.empty() ? 0 : static_cast<int>(text.size()) * 6 * scale - scale;
}

int tinyWidth(const std::string& text) { return text.empty() ? 0 : static_cast<int>(text.size()) * 4 - 1; }

}  // namespace art
