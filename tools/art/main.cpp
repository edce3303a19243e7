// Writes every image of the game folder:
//   kestrune_art DATA_DIR GAME_DIR        sheets to GAME_DIR/common, scenes to GAME_DIR/stages
//   kestrune_art DATA_DIR GAME_DIR --preview FILE   also a contact sheet (x3, dark backdrop)
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tools/art/sheets.h"

namespace {

void makeDir(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) throw std::runtime_error("cannot create " + path);
  }
}

// All images side by side, scaled up, the key shown as a dark backdrop.
void writePreview(const std::vector<std::pair<std::string, art::Canvas>>& all, const std::string& path) {
  // ART_PREVIEW_ONLY picks images by a part of their name; ART_PREVIEW_SCALE zooms.
  const char* only = std::getenv("ART_PREVIEW_ONLY");
  const char* zoom = std::getenv("ART_PREVIEW_SCALE");
  auto picked = [&](const std::string& name) {
    if (!only) return true;
    std::string list = std::string(only) + ",";
    for (size_t a = 0, b; (b = list.find(',', a)) != std::string::npos; a = b + 1)
      if (b > a && name.find(list.substr(a, b - a)) != std::string::npos) return true;
    return false;
  };
  std::vector<std::pair<std::string, art::Canvas>> images;
  for (const auto& im : all)
    if (picked(im.first)) images.push_back(im);
  // The ninja as the game puts it together: legs at y+16, upper body at y-8.
  const art::Canvas& player = all[0].second;
  art::Canvas poses(10 * 34, 56);
  const int pairs[10][2] = {{0, 0}, {0, 32}, {0, 64}, {0, 96}, {32, 0}, {64, 0}, {96, 0}, {0, 128}, {128, 160}, {192, 192}};
  for (int i = 0; i < 10; ++i) {
    poses.blit(player, pairs[i][1], 32, 32, 32, i * 34, 24);
    poses.blit(player, pairs[i][0], 0, 32, 32, i * 34, 0);
  }
  if (picked("poses")) images.push_back({"poses", poses});
  const int scale = zoom ? std::max(1, std::atoi(zoom)) : 3, gap = 4, maxW = 1400;
  int x = 0, y = 0, rowH = 0, w = 0;
  std::vector<std::pair<int, int>> at;
  for (const auto& im : images) {
    int iw = im.second.width() * scale, ih = im.second.height() * scale;
    if (x > 0 && x + iw > maxW) { x = 0; y += rowH + gap; rowH = 0; }
    at.push_back({x, y});
    x += iw + gap;
    rowH = std::max(rowH, ih);
    w = std::max(w, x);
  }
  art::Canvas sheet(w, y + rowH);
  sheet.rect(0, 0, sheet.width(), sheet.height(), art::col(art::NIGHT, art::DARK));
  for (size_t i = 0; i < images.size(); ++i) {
    const art::Canvas& c = images[i].second;
    for (int j = 0; j < c.height() * scale; ++j)
      for (int k = 0; k < c.width() * scale; ++k) {
        uint8_t p = c.at(k / scale, j / scale);
        sheet.set(at[i].first + k, at[i].second + j, p == art::KEY ? art::col(art::INK, art::BASE) : p);
      }
  }
  art::writePng(sheet, path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && !(argc == 5 && std::string(argv[3]) == "--preview")) {
    std::fprintf(stderr, "usage: %s DATA_DIR GAME_DIR [--preview FILE]\n", argv[0]);
    return 2;
  }
  try {
    art::loadMaps(argv[1]);
    std::string game = argv[2];
    makeDir(game);
    makeDir(game + "/common");
    makeDir(game + "/stages");
    std::vector<std::pair<std::string, art::Canvas>> images = {
        {"common/player.png", art::makePlayer()}, {"common/blocks.png", art::makeBlocks()},
        {"common/items.png", art::makeItems()},   {"common/status.png", art::makeStatus()},
        {"common/misc.png", art::makeMisc()},     {"common/font.png", art::makeFont()},
        {"common/enemy1.png", art::makeEnemy1()}, {"common/enemy2.png", art::makeEnemy2()},
        {"common/enemy3.png", art::makeEnemy3()}, {"common/enemy4.png", art::makeEnemy4()},
        {"common/enemy5.png", art::makeEnemy5()}, {"common/enemy6.png", art::makeEnemy6()},
        {"common/enemy7.png", art::makeEnemy7()}, {"common/enemy8.png", art::makeEnemy8()},
        {"common/enemy9.png", art::makeEnemy9()}, {"common/select.png", art::makeSelect()},
        {"stages/title.png", art::makeTitle()},   {"stages/ending.png", art::makeEnding()},
    };
    for (int w = 1; w <= 5; ++w) images.push_back({"stages/bg" + std::to_string(w) + ".png", art::makeBackground(w)});
    for (const auto& im : images) art::writePng(im.second, game + "/" + im.first);
    if (argc == 5) writePreview(images, argv[4]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kestrune_art: %s\n", e.what());
    return 1;
  }
  return 0;
}
