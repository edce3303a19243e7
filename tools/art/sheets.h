// Every image the game loads, one maker per file.
#pragma once

#include <string>

#include "tools/art/canvas.h"

namespace art {

// Text pixel maps kept in data/art/; `dir` is that folder.
void loadMaps(const std::string& dir);
// A named map from the loaded files; '.' is the key, other letters the legend.
const Canvas& map(const std::string& name);
// Draws text with the 8x8 game font (upper case) or the 3x5 label font.
void fontText(Canvas& c, int x, int y, const std::string& text, int scale = 1);
void tinyText(Canvas& c, int x, int y, const std::string& text, uint8_t colour);
int tinyWidth(const std::string& text);
// Large letters in the game font's shapes: `scale` px a font pixel, shaded
// from light to dark down the letter, with a thick outline and a shadow.
void bigText(Canvas& c, int x, int y, const std::string& text, int scale, int ramp);
int bigTextWidth(const std::string& text, int scale);

Canvas makePlayer();
Canvas makeBlocks();
Canvas makeItems();
Canvas makeStatus();
Canvas makeMisc();
Canvas makeFont();
Canvas makeEnemy1();
Canvas makeEnemy2();
Canvas makeEnemy3();
Canvas makeEnemy4();
Canvas makeEnemy5();
Canvas makeEnemy6();
Canvas makeEnemy7();
Canvas makeEnemy8();
Canvas makeEnemy9();
Canvas makeBackground(int world);  // 1..5
Canvas makeTitle();
Canvas makeEnding();
Canvas makeSelect();

}  // namespace art
