// The images of the game folder: present, large enough for every rectangle
// the game cuts from them, keyed on pure green only, and drawn the same
// every time the generator runs.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Image {
  int w = 0, h = 0;
  std::vector<uint8_t> rgba;
  bool key(int x, int y) const {
    const uint8_t* p = &rgba[(static_cast<size_t>(y) * w + x) * 4];
    return p[0] == 0 && p[1] == 255 && p[2] == 0;
  }
  const uint8_t* at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * w + x) * 4]; }
  // Pixels of the rectangle that are not the key colour.
  int opaqueIn(int x, int y, int rw, int rh) const {
    int n = 0;
    for (int j = y; j < y + rh; ++j)
      for (int i = x; i < x + rw; ++i) n += key(i, j) ? 0 : 1;
    return n;
  }
};

// The build folder: from the environment, else two levels above this
// program (build/tests/test_data).
std::string binaryDir() {
  if (const char* v = std::getenv("TAMRAK_BINARY_DIR")) return v;
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string exe = n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
  for (int up = 0; up < 2 && !exe.empty(); ++up) exe = exe.substr(0, exe.find_last_of('/'));
  return exe;
}

// The source folder: from the environment, else from the build's cache.
std::string sourceDir() {
  if (const char* v = std::getenv("TAMRAK_SOURCE_DIR")) return v;
  std::ifstream cache(binaryDir() + "/CMakeCache.txt");
  const std::string key = "CMAKE_HOME_DIRECTORY:INTERNAL=";
  for (std::string line; std::getline(cache, line);)
    if (line.rfind(key, 0) == 0) return line.substr(key.size());
  return "";
}

std::string gameDir() { return binaryDir() + "/gamedir"; }

bool load(const std::string& path, Image* out) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
  img.format = PNG_FORMAT_RGBA;
  out->w = static_cast<int>(img.width);
  out->h = static_cast<int>(img.height);
  out->rgba.assign(PNG_IMAGE_SIZE(img), 0);
  if (!png_image_finish_read(&img, nullptr, out->rgba.data(), 0, nullptr)) {
    png_image_free(&img);
    return false;
  }
  return true;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Expect {
  const char* file;
  int minW, minH;
  bool exactW, exactH;
};

// Sizes: the largest rectangle the game cuts from each image, or the size
// the screen needs.
const Expect kImages[] = {
    {"common/player.png", 256, 96, false, false},  {"common/blocks.png", 144, 72, false, false},
    {"common/items.png", 112, 29, false, false},   {"common/status.png", 112, 240, false, false},
    {"common/misc.png", 256, 112, false, false},   {"common/font.png", 64, 64, true, true},
    {"common/enemy1.png", 256, 120, false, false}, {"common/enemy2.png", 96, 88, false, false},
    {"common/enemy3.png", 160, 112, false, false}, {"common/enemy4.png", 192, 160, false, true},
    {"common/enemy5.png", 448, 416, false, false}, {"common/enemy6.png", 480, 168, false, false},
    {"common/enemy7.png", 320, 160, false, false}, {"common/enemy8.png", 352, 256, false, false},
    {"common/enemy9.png", 256, 208, false, false}, {"common/select.png", 300, 300, true, true},
    {"stages/bg1.png", 320, 240, true, true},      {"stages/bg2.png", 320, 240, true, true},
    {"stages/bg3.png", 320, 240, true, true},      {"stages/bg4.png", 320, 240, true, true},
    {"stages/bg5.png", 320, 240, true, true},      {"stages/title.png", 320, 241, true, false},
    {"stages/ending.png", 320, 273, true, false},
};

TEST(ArtImages, EveryImageExistsWithTheSizeItsRectanglesNeed) {
  for (const Expect& e : kImages) {
    Image im;
    ASSERT_TRUE(load(gameDir() + "/" + e.file, &im)) << e.file;
    EXPECT_GE(im.w, e.minW) << e.file;
    EXPECT_GE(im.h, e.minH) << e.file;
    if (e.exactW) {
      EXPECT_EQ(im.w, e.minW) << e.file;
    }
    if (e.exactH) {
      EXPECT_EQ(im.h, e.minH) << e.file;
    }
  }
}

TEST(ArtImages, OnlyTheExactKeyIsGreenAndEverythingIsOpaque) {
  for (const Expect& e : kImages) {
    Image im;
    ASSERT_TRUE(load(gameDir() + "/" + e.file, &im)) << e.file;
    int nearGreen = 0, translucent = 0;
    for (int y = 0; y < im.h; ++y)
      for (int x = 0; x < im.w; ++x) {
        const uint8_t* p = im.at(x, y);
        if (p[3] != 255) ++translucent;
        if (im.key(x, y)) continue;
        // On the 16-bit screen a colour whose 5-6-5 value (truncated or
        // rounded) equals the key's also vanishes.
        bool truncKey = (p[0] >> 3) == 0 && (p[1] >> 2) == 63 && (p[2] >> 3) == 0;
        bool roundKey = (p[0] + 4) / 8 == 0 && (p[1] + 2) / 4 >= 63 && (p[2] + 4) / 8 == 0;
        bool close = p[0] < 48 && p[1] > 200 && p[2] < 48;
        if (truncKey || roundKey || close) ++nearGreen;
      }
    EXPECT_EQ(nearGreen, 0) << e.file;
    EXPECT_EQ(translucent, 0) << e.file;
  }
}

TEST(ArtImages, ScenesCoverTheWholeScreen) {
  // Backgrounds are drawn over a black clear and the ending over the stage
  // background: a keyed pixel would show through.
  for (const char* f : {"stages/bg1.png", "stages/bg2.png", "stages/bg3.png", "stages/bg4.png", "stages/bg5.png",
                        "stages/ending.png", "stages/title.png", "common/select.png"}) {
    Image im;
    ASSERT_TRUE(load(gameDir() + "/" + f, &im)) << f;
    EXPECT_EQ(im.opaqueIn(0, 0, im.w, im.h), im.w * im.h) << f;
  }
  Image status;
  ASSERT_TRUE(load(gameDir() + "/common/status.png", &status));
  EXPECT_EQ(status.opaqueIn(0, 0, 80, 240), 80 * 240) << "the panel background";
}

struct Rect {
  const char* file;
  int x, y, w, h;
};

// A sample of the pictures the game cuts out: each must hold a picture.
const Rect kPictures[] = {
    {"common/player.png", 0, 0, 32, 32},     {"common/player.png", 96, 0, 32, 32},
    {"common/player.png", 128, 0, 32, 32},   {"common/player.png", 192, 0, 32, 32},
    {"common/player.png", 224, 0, 32, 48},   {"common/player.png", 0, 32, 32, 32},
    {"common/player.png", 96, 32, 32, 32},   {"common/player.png", 160, 32, 32, 32},
    {"common/player.png", 0, 64, 48, 18},    {"common/player.png", 96, 64, 48, 18},
    {"common/player.png", 144, 64, 8, 8},    {"common/player.png", 152, 64, 8, 8},
    {"common/player.png", 192, 72, 24, 24},  {"common/player.png", 216, 64, 3, 16},
    {"common/player.png", 224, 64, 3, 16},   {"common/blocks.png", 0, 36, 24, 12},
    {"common/blocks.png", 0, 48, 24, 24},    {"common/blocks.png", 120, 0, 24, 24},
    {"common/blocks.png", 120, 48, 24, 24},  {"common/items.png", 64, 0, 16, 16},
    {"common/items.png", 96, 24, 16, 5},     {"common/status.png", 80, 0, 12, 12},
    {"common/status.png", 80, 16, 2, 8},     {"common/status.png", 80, 48, 16, 16},
    {"common/status.png", 80, 64, 16, 8},    {"common/status.png", 80, 80, 32, 8},
    {"common/status.png", 80, 88, 32, 8},    {"common/status.png", 80, 96, 32, 16},
    {"common/status.png", 80, 112, 16, 8},   {"common/misc.png", 0, 32, 32, 32},
    {"common/misc.png", 192, 32, 32, 32},    {"common/misc.png", 32, 64, 16, 16},
    {"common/misc.png", 48, 64, 8, 16},      {"common/misc.png", 86, 64, 10, 10},
    {"common/misc.png", 86, 80, 10, 10},     {"common/misc.png", 86, 96, 10, 10},
    {"common/misc.png", 16, 80, 16, 32},     {"common/enemy1.png", 128, 80, 32, 40},
    {"common/enemy1.png", 224, 80, 32, 40},  {"common/enemy1.png", 160, 0, 16, 80},
    {"common/enemy1.png", 176, 16, 32, 16},  {"common/enemy2.png", 64, 0, 32, 40},
    {"common/enemy2.png", 48, 40, 48, 40},   {"common/enemy2.png", 0, 80, 8, 8},
    {"common/enemy3.png", 128, 0, 32, 56},   {"common/enemy3.png", 96, 56, 48, 56},
    {"common/enemy4.png", 0, 80, 96, 80},    {"common/enemy4.png", 96, 80, 16, 32},
    {"common/enemy4.png", 176, 84, 16, 24},  {"common/enemy4.png", 176, 112, 16, 16},
    {"common/enemy4.png", 176, 128, 16, 32}, {"common/enemy5.png", 392, 0, 56, 80},
    {"common/enemy5.png", 288, 176, 96, 96}, {"common/enemy5.png", 64, 208, 32, 32},
    {"common/enemy5.png", 0, 368, 48, 48},   {"common/enemy5.png", 192, 368, 48, 48},
    {"common/enemy5.png", 384, 320, 48, 48}, {"common/enemy6.png", 432, 0, 48, 80},
    {"common/enemy6.png", 48, 80, 32, 88},   {"common/enemy6.png", 144, 80, 32, 32},
    {"common/enemy6.png", 336, 112, 32, 32}, {"common/enemy6.png", 192, 128, 13, 13},
    {"common/enemy6.png", 232, 128, 8, 16},  {"common/enemy6.png", 104, 144, 24, 24},
    {"common/enemy7.png", 280, 0, 40, 80},   {"common/enemy7.png", 120, 80, 40, 80},
    {"common/enemy7.png", 168, 80, 8, 32},   {"common/enemy7.png", 192, 88, 32, 8},
    {"common/enemy7.png", 192, 96, 8, 16},   {"common/enemy8.png", 0, 0, 64, 48},
    {"common/enemy8.png", 256, 144, 64, 48}, {"common/enemy8.png", 304, 0, 48, 48},
    {"common/enemy8.png", 160, 224, 32, 32}, {"common/enemy8.png", 192, 240, 16, 16},
    {"common/enemy9.png", 96, 0, 48, 72},    {"common/enemy9.png", 192, 0, 24, 34},
    {"common/enemy9.png", 144, 40, 24, 24},  {"common/enemy9.png", 96, 80, 32, 32},
    {"common/enemy9.png", 224, 112, 32, 48}, {"common/enemy9.png", 48, 160, 48, 48},
};

TEST(ArtImages, EveryCutPictureHasArtAndTheEmptyCellsStayEmpty) {
  for (const Rect& r : kPictures) {
    Image im;
    ASSERT_TRUE(load(gameDir() + "/" + r.file, &im)) << r.file;
    EXPECT_GT(im.opaqueIn(r.x, r.y, r.w, r.h), 0) << r.file << " (" << r.x << ", " << r.y << ")";
  }
  Image misc;
  ASSERT_TRUE(load(gameDir() + "/common/misc.png", &misc));
  EXPECT_EQ(misc.opaqueIn(224, 32, 32, 32), 0) << "shown on the smoke's last frame";

  Image player;
  ASSERT_TRUE(load(gameDir() + "/common/player.png", &player));
  // Leg rows 15..31 fall below the playfield floor.
  EXPECT_EQ(player.opaqueIn(0, 32 + 15, 224, 17), 0);
  // The head tops out on upper-cell row 8 (the ball rests 4 px above it);
  // rows 0..7 are only for the raised sword.
  for (int cell : {0, 128, 160, 192}) EXPECT_EQ(player.opaqueIn(cell, 0, 32, 8), 0) << cell;
  EXPECT_GT(player.opaqueIn(0, 8, 32, 1), 0);
  EXPECT_GT(player.opaqueIn(32, 0, 32, 8), 0) << "the wind-up raises the sword";
}

TEST(ArtImages, FontHasALightGlyphInEveryCell) {
  Image font;
  ASSERT_TRUE(load(gameDir() + "/common/font.png", &font));
  for (int c = 0x21; c < 0x61; ++c) {
    int ox = (c - 0x21) % 8 * 8, oy = (c - 0x21) / 8 * 8;
    int light = 0;
    for (int y = oy; y < oy + 8; ++y)
      for (int x = ox; x < ox + 8; ++x) {
        const uint8_t* p = font.at(x, y);
        if (!font.key(x, y) && p[0] > 180 && p[1] > 180 && p[2] > 180) ++light;
      }
    EXPECT_GE(light, 2) << "character 0x" << std::hex << c;
  }
}

// The stage title is drawn at (244, 48) over the panel at 240: any title the stage check
// lets through (nine characters) sits on the title box's plain ground, two pixels clear.
TEST(ArtImages, TheStageTitleFitsItsBoxWithAMargin) {
  Image font, status;
  ASSERT_TRUE(load(gameDir() + "/common/font.png", &font));
  ASSERT_TRUE(load(gameDir() + "/common/status.png", &status));
  int left = 8, right = -1, top = 8, bottom = -1;  // ink within a cell, over every glyph
  for (int c = 0; c < 64; ++c)
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        if (!font.key(c % 8 * 8 + x, c / 8 * 8 + y)) {
          left = std::min(left, x);
          right = std::max(right, x);
          top = std::min(top, y);
          bottom = std::max(bottom, y);
        }
  ASSERT_GE(right, left);
  const int x0 = 4 + left - 2, x1 = 4 + 8 * 8 + right + 2, y0 = 48 + top - 2, y1 = 48 + bottom + 2;
  ASSERT_GE(x0, 0);
  ASSERT_LT(x1, 80);
  const uint8_t* ground = status.at(x0, y0);
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x)
      ASSERT_EQ(std::memcmp(status.at(x, y), ground, 3), 0) << "panel pixel (" << x << ", " << y << ")";
}

// Stage n's picture is at ((n mod 5) x 60, (n / 5) x 60); the boss stages are 4, 9, ... 24.
// Their emblems (a seal in the upper middle of the picture) must tell the five masters apart.
TEST(ArtImages, EachBossHasItsOwnEmblemOnTheStageSelect) {
  Image select;
  ASSERT_TRUE(load(gameDir() + "/common/select.png", &select));
  auto differing = [&](int a, int b) {
    int n = 0;
    for (int y = 11; y <= 31; ++y)
      for (int x = 20; x <= 40; ++x)
        if ((x - 30) * (x - 30) + (y - 21) * (y - 21) <= 100)
          n += std::memcmp(select.at(a % 5 * 60 + x, a / 5 * 60 + y), select.at(b % 5 * 60 + x, b / 5 * 60 + y), 3) != 0;
    return n;
  };
  for (int a = 4; a < 25; a += 5)
    for (int b = a + 5; b < 25; b += 5) EXPECT_GT(differing(a, b), 60) << "boss stages " << a << " and " << b;
}

TEST(ArtImages, GenerationIsDeterministic) {
  std::string tool = binaryDir() + "/tools/art/kestrune_art";
  std::string data = sourceDir() + "/data/art";
  std::string base = "art_twice";
  for (const char* run : {"/a", "/b"}) {
    std::string cmd = "rm -rf '" + base + run + "' && mkdir -p '" + base + "' && '" + tool + "' '" + data +
                      "' '" + base + run + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  for (const Expect& e : kImages) {
    std::string a = slurp(base + "/a/" + e.file), b = slurp(base + "/b/" + e.file);
    ASSERT_FALSE(a.empty()) << e.file;
    EXPECT_EQ(a, b) << e.file;
    EXPECT_EQ(a, slurp(gameDir() + "/" + e.file)) << e.file << " differs from the built game folder";
  }
}

TEST(ArtImages, GeneratorRefusesMissingSourceMaps) {
  std::string tool = binaryDir() + "/tools/art/kestrune_art";
  std::string out = "art_nomaps";
  std::string cmd = "'" + tool + "' /nonexistent/art '" + out + "' 2>/dev/null";
  EXPECT_NE(std::system(cmd.c_str()), 0);
}

}  // namespace
