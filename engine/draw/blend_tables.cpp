// Tamrak engine: the software draw state and the blend look-up tables.
#include "engine/draw/memimg.h"

RECT DrawArea = {0, 0, 0, 0};  // nothing is drawn until the area is set
int DrawBlendMode = BlendMode::None;
int DrawBlendParam = 255;
uint32_t DrawBrightness = 0xFFFFFF;

uint32_t BlendMulTable[256][256];
int32_t BlendDiffTable[256][512];
uint8_t BlendLerp6Table[64][64][64];
uint8_t BlendGraphAlphaTable[256];

int InitBlendTables() {
  for (int x = 0; x < 256; ++x)
    for (int y = 0; y < 256; ++y) BlendMulTable[x][y] = static_cast<uint32_t>(x * y / 255);

  // Integer division truncates toward zero, as the readers expect for negative x.
  for (int p = 0; p < 256; ++p) {
    for (int x = -255; x <= 255; ++x) BlendDiffTable[p][x + 255] = x * p / 255;
    BlendDiffTable[p][511] = 0;
  }

  for (int l = 0; l < 64; ++l)
    for (int u = 0; u < 64; ++u)
      for (int v = 0; v < 64; ++v) BlendLerp6Table[l][u][v] = static_cast<uint8_t>((u * l + v * (63 - l)) / 63);

  for (int i = 0; i < 256; ++i) BlendGraphAlphaTable[i] = static_cast<uint8_t>(i);
  return 0;
}

// A blend-image byte b gets weight 255 up to the border, 0 from border + range on, and falls
// linearly in between; range 0 is a hard threshold at the border.
int SetBlendGraphAlphaTable(int border, int range) {
  border = border < 0 ? 0 : border > 255 ? 255 : border;
  range = range < 0 ? 0 : range > 255 ? 255 : range;
  for (int b = 0; b < 256; ++b) {
    int k;
    if (b <= border) {
      k = 255;
    } else if (b >= border + range) {
      k = 0;
    } else {
      k = (border + range - b) * 255 / range;
    }
    BlendGraphAlphaTable[b] = static_cast<uint8_t>(k);
  }
  return 0;
}

namespace {
// The tables are ready before the first draw even if start-up has not run yet.
[[maybe_unused]] const int TablesReady = InitBlendTables();
}  // namespace
