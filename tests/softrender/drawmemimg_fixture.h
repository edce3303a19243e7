// Small helpers for the DrawMemImg tests: owned images, pixel access, a clean draw state.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "engine/draw/memimg.h"
#include "engine/softrender/drawmemimg.h"
#include "softrender/ref_drawmemimg.h"

struct TestImg {
  MEMIMG m{};
  TestImg(int w, int h, int type, int pal = 0, int alpha = 0) {
    EXPECT_EQ(MakeMemImg(&m, w, h, type, pal, alpha), 0);
  }
  TestImg(const TestImg& o) {  // same kind, same pixels and palette
    const MemImgBase* b = o.m.Base;
    EXPECT_EQ(MakeMemImg(&m, b->Width, b->Height, b->ColorType, b->UsePalette, b->UseAlpha), 0);
    std::memcpy(m.Base->Pixels, b->Pixels, size_t(b->Pitch) * b->Height);
    if (b->Palette) std::memcpy(m.Base->Palette, b->Palette, 1024);
    m.Base->TransColor = b->TransColor;
    m.Base->PaletteCount = b->PaletteCount;
  }
  TestImg& operator=(const TestImg&) = delete;
  ~TestImg() { TerminateMemImg(&m); }

  MemImgBase* base() const { return m.Base; }
  int bytes() const { return m.Base->Color->BytesPerPixel; }
  uint8_t* at(int x, int y) const { return m.TopLeft + y * m.Base->Pitch + x * bytes(); }
  uint32_t get(int x, int y) const { return ref::Load(at(x, y), bytes()); }
  void set(int x, int y, uint32_t v) { ref::Store(at(x, y), v, bytes()); }
  void fill(uint32_t v) {
    for (int y = 0; y < m.Height; ++y)
      for (int x = 0; x < m.Width; ++x) set(x, y, v);
  }
  void setPalette(int i, uint32_t v) {
    ref::Store(static_cast<uint8_t*>(m.Base->Palette) + i * (m.Base->ColorType == 1 ? 4 : 2), v,
               m.Base->ColorType == 1 ? 4 : 2);
  }
  bool sameStore(const TestImg& o) const {
    return std::memcmp(m.Base->Pixels, o.m.Base->Pixels, size_t(m.Base->Pitch) * m.Base->Height) == 0;
  }
};

// The draw state every test starts from: whole destination area, no blend, no brightness.
inline void ResetDrawState(int areaW = 1000, int areaH = 1000) {
  InitBlendTables();
  DrawArea = {0, 0, areaW, areaH};
  DrawBlendMode = 0;
  DrawBlendParam = 255;
  DrawBrightness = 0xFFFFFF;
  ProcessorHasMMX = 0;
}

inline void SetMode(int mode, int p) {
  DrawBlendMode = mode;
  DrawBlendParam = p;
}

// The destination pixel d after drawing a 1 x 1 source of colour s (with alpha when alpha >= 0).
inline uint32_t DrawOne(bool is32, uint32_t d, uint32_t s, int alpha = -1, int trans = 0) {
  TestImg dst(1, 1, is32 ? 1 : 0), src(1, 1, is32 ? 1 : 0, 0, alpha >= 0);
  dst.set(0, 0, d);
  if (alpha >= 0) s = is32 ? (s & 0xFFFFFF) | uint32_t(alpha) << 24 : (s & 0xFFFF) | uint32_t(alpha) << 16;
  src.set(0, 0, s);
  DrawMemImg(&dst.m, &src.m, 0, 0, trans, nullptr);
  return dst.get(0, 0);
}
