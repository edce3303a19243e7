// Whole frames headless: load, draw, present through the window layer; device surfaces.
#include "draw_test_util.h"
#include "platform/window/window.h"

using namespace drawtest;

namespace {

class Frame : public ::testing::Test {
 protected:
  std::string sprite = ScratchName("sprite.png");
  void Start(int w, int h) {
    TestDriver_Reset();
    SetLogOutputFlag(0);
    ASSERT_EQ(SetScreenMode(w, h, 16), 0);
    ASSERT_EQ(LibInit(), 0);
    SetTransparentColor(0, 255, 0);
    PlatformWindow_KeepFrames(1);
  }
  void TearDown() override {
    PlatformWindow_KeepFrames(0);
    LibEnd();
    TestDriver_Reset();
    SetScreenMode(640, 480, 16);
    std::remove(sprite.c_str());
  }
  // The last presented frame, 0x00RRGGBB.
  std::vector<uint32_t> Presented(int* w, int* h) {
    std::vector<uint32_t> px(size_t(640) * 480);
    const int n = PlatformWindow_GetLastFrame(px.data(), px.size(), w, h);
    px.resize(size_t(n > 0 ? n : 0));
    return px;
  }
  static uint32_t Widen(uint32_t v565) {
    const uint32_t r = v565 >> 11, g = (v565 >> 5) & 63, b = v565 & 31;
    return ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
  }
  void WriteSprite() {
    PngSpec s;
    s.width = 16, s.height = 16;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const bool corner = x < 4 && y < 4;
        s.rows.push_back(uint8_t(corner ? 0 : 248));
        s.rows.push_back(uint8_t(corner ? 255 : x * 16));
        s.rows.push_back(uint8_t(corner ? 0 : y * 16));
      }
    ASSERT_TRUE(WritePng(sprite, s));
  }
};

TEST_F(Frame, LoadDrawAndFlipShowsThePicture) {
  Start(320, 240);
  WriteSprite();
  const int g = LoadGraph(sprite.c_str());
  ASSERT_GE(g, 0);
  const int before = PlatformWindow_GetPresentCount();
  TestDriver_SetManualClock(1000, 0);
  ClearScreen(0);
  ASSERT_EQ(DrawGraph(100, 50, g, 1), 0);
  SetDrawBlendMode(BlendMode::Alpha, 128);
  DrawBox(12, 8, 228, 224, GetColor(0, 0, 0), 1);
  SetDrawBlendMode(BlendMode::None, 0);
  ASSERT_EQ(FlipScreen(), 0);
  EXPECT_EQ(GetMicrosecondCount(), 1000);  // presenting took none of the game's time
  EXPECT_EQ(PlatformWindow_GetPresentCount(), before + 1);
  int w = 0, h = 0;
  const std::vector<uint32_t> frame = Presented(&w, &h);
  ASSERT_EQ(w, 320);
  ASSERT_EQ(h, 240);
  const MEMIMG* screen = GetScreenMemImg();
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) ASSERT_EQ(frame[size_t(y) * 320 + x], Widen(Px(screen, x, y))) << x << ", " << y;
  // The keyed corner shows the dark box over black; the sprite shows through it.
  EXPECT_EQ(frame[size_t(50) * 320 + 100], 0u);
  EXPECT_NE(frame[size_t(60) * 320 + 110], 0u);
  TestDriver_ReleaseClock();
}

TEST_F(Frame, OffscreenImageStretchedOntoTheLargeScreen) {
  Start(640, 480);
  WriteSprite();
  const int off = MakeGraphFromCurrentParams(320, 240, 0);
  const int g = LoadGraph(sprite.c_str());
  ASSERT_EQ(SetDrawTarget(off), 0);
  SetDrawArea(0, 0, 320, 240);
  ClearScreen(0);
  DrawGraph(10, 20, g, 1);
  SetDrawTarget(DrawTarget::BackBuffer);
  ASSERT_EQ(DrawStretchGraph(0, 0, 640, 480, off, 0), 0);
  SetDrawTarget(off);
  ASSERT_EQ(FlipScreen(), 0);
  int w = 0, h = 0;
  const std::vector<uint32_t> frame = Presented(&w, &h);
  ASSERT_EQ(w, 640);
  ASSERT_EQ(h, 480);
  const MEMIMG* small = GraphImage(off);
  for (int y = 0; y < 480; y += 3)
    for (int x = 0; x < 640; x += 3)
      ASSERT_EQ(frame[size_t(y) * 640 + x], Widen(Px(small, x / 2, y / 2))) << x << ", " << y;
}

TEST_F(Frame, MemorySurfacesLockLikeDeviceSurfaces) {
  Start(320, 240);
  EXPECT_EQ(G_D3D_IsDeviceAvailable(), 0);
  EXPECT_EQ(G_D3D_CreateOffscreenPlainSurface(16, 16, MakeFourCC('R', 'G', 'B', 'A')), nullptr);
  EXPECT_EQ(G_D3D_CreateOffscreenPlainSurface(0, 16, MakeFourCC('Y', 'V', '1', '2')), nullptr);
  D3DSurface s = G_D3D_CreateOffscreenPlainSurface(17, 10, MakeFourCC('Y', 'V', '1', '2'));
  ASSERT_NE(s, nullptr);
  D3DLockedRect whole{};
  ASSERT_EQ(G_D3D_SurfaceLockRect(s, &whole, nullptr, 0, 0), 0);
  EXPECT_GE(whole.Pitch, 17);
  EXPECT_EQ(whole.Pitch % 16, 0);
  // Luma rows, then the two chroma planes at half the pitch.
  std::memset(whole.pBits, 0xAB, size_t(whole.Pitch) * 10 + size_t(whole.Pitch / 2) * 5 * 2);
  D3DLockedRect again{};
  EXPECT_EQ(G_D3D_SurfaceLockRect(s, &again, nullptr, 0, 0), -1);
  EXPECT_EQ(G_D3D_SurfaceUnlockRect(s, 0), 0);
  EXPECT_EQ(G_D3D_SurfaceUnlockRect(s, 0), -1);
  const RECT part{2, 4, 8, 10};
  D3DLockedRect sub{};
  ASSERT_EQ(G_D3D_SurfaceLockRect(s, &sub, &part, 0, 1), 0);  // the main thread runs it at once
  EXPECT_EQ(static_cast<uint8_t*>(sub.pBits) - static_cast<uint8_t*>(whole.pBits), 4 * whole.Pitch + 2);
  G_D3D_SurfaceUnlockRect(s, 1);
  const RECT odd{1, 0, 4, 4}, beyond{0, 0, 18, 4};
  EXPECT_EQ(G_D3D_SurfaceLockRect(s, &sub, &odd, 0, 0), -1);
  EXPECT_EQ(G_D3D_SurfaceLockRect(s, &sub, &beyond, 0, 0), -1);
  G_D3D_ReleaseSurface(s);

  D3DSurface packed = G_D3D_CreateOffscreenPlainSurface(5, 3, MakeFourCC('U', 'Y', 'V', 'Y'));
  ASSERT_NE(packed, nullptr);
  ASSERT_EQ(G_D3D_SurfaceLockRect(packed, &whole, nullptr, 0, 0), 0);
  EXPECT_GE(whole.Pitch, 12);  // three pixel pairs of four bytes
  std::memset(whole.pBits, 0, size_t(whole.Pitch) * 3);
  G_D3D_SurfaceUnlockRect(packed, 0);
  G_D3D_ReleaseSurface(packed);
}

}  // namespace
