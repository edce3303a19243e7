// Graph handles, the screen mode, the draw target and area, and the draw state setters.
#include "draw_test_util.h"

using namespace drawtest;

namespace {

class GraphScreen : public Engine {};

TEST_P(GraphScreen, GraphHandlesLiveUntilDeleted) {
  const int g = MakeGraphFromCurrentParams(20, 10, 0);
  ASSERT_GE(g, 0);
  EXPECT_EQ((uint32_t(g) & HANDLE_TYPE_MASK) >> HANDLE_TYPE_SHIFT, uint32_t(HandleType::Graph));
  int w = 0, h = 0;
  EXPECT_EQ(GetGraphSize(g, &w, &h), 0);
  EXPECT_EQ(w, 20);
  EXPECT_EQ(h, 10);
  // New graphs are black, in the screen's format, and keyed on the transparent colour.
  const MEMIMG* img = GraphImage(g);
  EXPECT_EQ(img->Base->ColorType, is32() ? MEMIMG_COLOR_32 : MEMIMG_COLOR_16);
  EXPECT_EQ(Px(img, 19, 9), 0u);
  EXPECT_EQ(img->Base->TransColor, Rgb(0, 255, 0));
  EXPECT_EQ(GetGraphRecord(g)->TextureSetValid, 0);

  EXPECT_EQ(DeleteGraph(g), 0);
  EXPECT_EQ(GetGraphSize(g, &w, &h), -1);
  EXPECT_EQ(DeleteGraph(g), -1);
  EXPECT_EQ(DrawGraph(0, 0, g, 0), -1);

  // Bad handles and sizes.
  EXPECT_EQ(GetGraphSize(-1, &w, &h), -1);
  EXPECT_EQ(GetGraphSize(0x12345678, &w, &h), -1);
  EXPECT_EQ(MakeGraphFromCurrentParams(0, 5), -1);
  EXPECT_EQ(MakeGraphFromCurrentParams(5, -1), -1);
  EXPECT_EQ(MakeGraphFromCurrentParams(GRAPH_MAX_SIZE + 1, 1), -1);

  const int a = MakeGraphFromCurrentParams(4, 4), b = MakeGraphFromCurrentParams(4, 4);
  EXPECT_EQ(DeleteAllGraphs(), 0);
  EXPECT_EQ(GetGraphSize(a, &w, &h), -1);
  EXPECT_EQ(GetGraphSize(b, &w, &h), -1);
  EXPECT_EQ(SetUseGraphTextureDivision(0), 0);
}

TEST_P(GraphScreen, DerivedGraphSharesPixelsAndOutlivesItsParent) {
  const int parent = MakeSprite(8, 8, [&](int x, int y) { return Rgb(x * 30, y * 30, 0); });
  const int part = DeriveGraph(2, 3, 4, 5, parent);
  ASSERT_GE(part, 0);
  int w, h;
  GetGraphSize(part, &w, &h);
  EXPECT_EQ(w, 4);
  EXPECT_EQ(h, 5);
  EXPECT_EQ(Px(GraphImage(part), 0, 0), Rgb(60, 90, 0));
  SetPx(GraphImage(parent), 5, 7, Rgb(255, 255, 255));
  EXPECT_EQ(Px(GraphImage(part), 3, 4), Rgb(255, 255, 255));
  DeleteGraph(parent);
  EXPECT_EQ(Px(GraphImage(part), 1, 1), Rgb(90, 120, 0));
  // Rectangles that leave the parent are refused.
  const int other = MakeGraphFromCurrentParams(8, 8);
  EXPECT_EQ(DeriveGraph(5, 0, 4, 4, other), -1);
  EXPECT_EQ(DeriveGraph(-1, 0, 4, 4, other), -1);
  EXPECT_EQ(DeriveGraph(0, 0, 0, 4, other), -1);
  EXPECT_EQ(DeriveGraph(0, 0, 4, 4, parent), -1);
}

TEST_P(GraphScreen, ColorValuesFollowTheScreenFormat) {
  EXPECT_EQ(GetColor(255, 255, 255), Rgb(255, 255, 255));
  EXPECT_EQ(GetColor(0x12, 0x34, 0x56), is32() ? 0x123456u : uint32_t((0x12 >> 3) << 11 | (0x34 >> 2) << 5 | 0x56 >> 3));
  EXPECT_EQ(GetColor(0, 255, 0), is32() ? 0x00FF00u : 0x07E0u);
  int w, h, b;
  GetScreenState(&w, &h, &b);
  EXPECT_EQ(w, kScreenW);
  EXPECT_EQ(h, kScreenH);
  EXPECT_EQ(b, bits());
}

TEST_P(GraphScreen, DrawTargetAndAreaStayInsideTheTarget) {
  EXPECT_EQ(GetDrawTargetGraph(), DrawTarget::BackBuffer);
  EXPECT_EQ(Target(), GetScreenMemImg());
  EXPECT_EQ(SetDrawArea(10, 5, 30, 20), 0);
  EXPECT_EQ(DrawArea.left, 10);
  EXPECT_EQ(DrawArea.bottom, 20);
  // Reversed corners are ordered, and the area is clamped into the target.
  SetDrawArea(100, 60, -5, 4);
  EXPECT_EQ(DrawArea.left, 0);
  EXPECT_EQ(DrawArea.top, 4);
  EXPECT_EQ(DrawArea.right, kScreenW);
  EXPECT_EQ(DrawArea.bottom, kScreenH);

  const int off = MakeGraphFromCurrentParams(16, 12);
  SetDrawArea(1, 1, 5, 5);
  ASSERT_EQ(SetDrawTarget(off), 0);
  EXPECT_EQ(Target(), GraphImage(off));
  // A new target gets the whole of itself as area.
  EXPECT_EQ(DrawArea.right, 16);
  EXPECT_EQ(DrawArea.bottom, 12);
  SetDrawArea(0, 0, 320, 240);
  EXPECT_EQ(DrawArea.right, 16);
  EXPECT_EQ(SetDrawTarget(0x7000), -1);
  EXPECT_EQ(Target(), GraphImage(off));
  // Deleting the target returns drawing to the back buffer.
  DeleteGraph(off);
  EXPECT_EQ(GetDrawTargetGraph(), DrawTarget::BackBuffer);
  EXPECT_EQ(DrawArea.right, kScreenW);
  EXPECT_EQ(DrawFillBox(0, 0, 4, 4, GetColor(255, 0, 0)), 0);
  EXPECT_EQ(Px(GetScreenMemImg(), 3, 3), Rgb(255, 0, 0));
}

TEST_P(GraphScreen, ClearScreenBlackensTheWholeTarget) {
  MEMIMG* screen = GetScreenMemImg();
  SetDrawArea(0, 0, 4, 4);
  for (int y = 0; y < kScreenH; ++y)
    for (int x = 0; x < kScreenW; ++x) SetPx(screen, x, y, Rgb(200, 100, 50));
  EXPECT_EQ(ClearScreen(0), 0);
  for (uint32_t v : Snapshot(screen)) ASSERT_EQ(v, 0u);
  // On a graph target only that graph is cleared.
  const int off = MakeSprite(8, 8, [&](int, int) { return Rgb(255, 255, 255); });
  SetPx(screen, 0, 0, Rgb(1, 2, 3));
  SetDrawTarget(off);
  ClearScreen(0);
  EXPECT_EQ(Px(GraphImage(off), 7, 7), 0u);
  EXPECT_EQ(Px(screen, 0, 0), Rgb(1, 2, 3));
}

TEST_P(GraphScreen, ScreenModeChangesAfterStart) {
  ASSERT_EQ(SetScreenMode(32, 24, bits()), 0);
  EXPECT_EQ(GetScreenMemImg()->Width, 32);
  EXPECT_EQ(DrawArea.right, 32);
  int w, h;
  GetMainWindowClientSize(&w, &h);
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 24);
  EXPECT_EQ(SetScreenMode(32, 24, 24), -1);
  EXPECT_EQ(SetScreenMode(0, 24, bits()), -1);
  // The depth may change only while no graph exists: graphs keep the screen's format.
  const int other = is32() ? 16 : 32;
  const int g = MakeGraphFromCurrentParams(4, 4);
  EXPECT_EQ(SetScreenMode(32, 24, other), -1);
  EXPECT_EQ(GetScreenColorType(), is32() ? MEMIMG_COLOR_32 : MEMIMG_COLOR_16);
  DeleteGraph(g);
  EXPECT_EQ(SetScreenMode(32, 24, other), 0);
  EXPECT_EQ(GetScreenMemImg()->Base->ColorType, is32() ? MEMIMG_COLOR_16 : MEMIMG_COLOR_32);
}

TEST_P(GraphScreen, BlendModeAndBrightnessAreClampedState) {
  EXPECT_EQ(SetDrawBlendMode(BlendMode::Alpha, 128), 0);
  EXPECT_EQ(DrawBlendMode, 1);
  EXPECT_EQ(DrawBlendParam, 128);
  SetDrawBlendMode(BlendMode::Add, 300);
  EXPECT_EQ(DrawBlendParam, 255);
  SetDrawBlendMode(BlendMode::InvertedAlpha, -20);
  EXPECT_EQ(DrawBlendMode, 10);
  EXPECT_EQ(DrawBlendParam, 0);
  SetDrawBlendMode(BlendMode::None, 0);

  EXPECT_EQ(SetDrawBrightness(255, 32, 32), 0);
  EXPECT_EQ(DrawBrightness, 0xFF2020u);
  SetDrawBrightness(-5, 400, 64);
  EXPECT_EQ(DrawBrightness, 0x00FF40u);
  SetDrawBrightness(255, 255, 255);
  EXPECT_EQ(DrawBrightness & 0xFFFFFF, 0xFFFFFFu);

  EXPECT_EQ(SetFontSize(12), 0);
  EXPECT_EQ(SetFontThickness(2), 0);
  EXPECT_EQ(GetFontSize(), 12);
  EXPECT_EQ(GetFontThickness(), 2);
  EXPECT_EQ(SetFontThickness(12), -1);
  EXPECT_EQ(ReturnZeroStub(), 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, GraphScreen, ::testing::Values(16, 32), BitsName);

TEST(GraphsBeforeStart, SettersOnlyStoreAndGraphCallsFail) {
  TestDriver_Reset();
  SetLogOutputFlag(0);
  EXPECT_EQ(SetScreenMode(320, 240, 16), 0);
  EXPECT_EQ(MakeGraphFromCurrentParams(4, 4), -1);
  EXPECT_EQ(SetDrawTarget(DrawTarget::BackBuffer), -1);
  EXPECT_EQ(LoadGraph("nothing.png"), -1);
  EXPECT_EQ(DrawBox(0, 0, 4, 4, 0, 1), -1);
  EXPECT_EQ(FlipScreen(), -1);
  EXPECT_EQ(DeleteAllGraphs(), 0);
  ASSERT_EQ(LibInit(), 0);
  EXPECT_EQ(GetScreenMemImg()->Width, 320);
  EXPECT_EQ(GetScreenMemImg()->Height, 240);
  LibEnd();
  SetScreenMode(640, 480, 16);
}

}  // namespace
