// Tamrak engine: the drawing interface the game calls.
// Results: 0 or a handle for success, -1 for failure (bad handle, bad arguments).
#pragma once

#include "engine/draw/memimg.h"  // DX_BLENDMODE_* numbers
#include "engine/system/system.h"

// Image handles and files.
int LoadGraph(const char* path, int notUse3DFlag = 0);  // PNG, JPEG or BMP
int MakeGraphFromCurrentParams(int width, int height, int notUse3DFlag = 0);
// A graph that shows a rectangle of another graph; deleting either leaves the other intact.
int DeriveGraph(int srcX, int srcY, int width, int height, int srcGraph);
int GetGraphSize(int graph, int* width, int* height);
int DeleteGraph(int graph, int logOutFlag = 0);
int DeleteAllGraphs(int logOutFlag = 0);
int SetUseGraphTextureDivision(int flag);
int SetTransparentColor(int r, int g, int b);  // for images loaded afterwards

// The screen.
constexpr int DrawTarget::BackBuffer = -2;  // the back buffer as draw target
int SetScreenMode(int width, int height, int colorBits, int refreshRate = 60);  // 16 or 32 bits
int GetScreenState(int* width, int* height, int* colorBits);
int SetDrawTarget(int graph);  // the draw area becomes the whole target
int SetDrawArea(int x1, int y1, int x2, int y2);
int ClearScreen(int flag = 0);
unsigned int GetColor(int r, int g, int b);
int FlipScreen();

enum : int {
  ImageSaveType::Bmp = 0,
  ImageSaveType::Jpeg = 1,
  ImageSaveType::Png = 2,
};
// Writes the rectangle of the draw target; the file appears complete or not at all.
int SaveDrawScreen(int x1, int y1, int x2, int y2, const char* fileName, int saveType = 0,
                   int jpegQuality = 80, int jpegSample2x1 = 1, int pngCompressionLevel = -1);

// Drawing.
int DrawGraph(int x, int y, int graph, int transFlag);
int DrawRectPartGraph(int x, int y, int srcX, int srcY, int width, int height, int graph, int transFlag,
                      int turnFlag);
int DrawStretchGraph(int x1, int y1, int x2, int y2, int graph, int transFlag);
int DrawStretchRectPartGraph(int x1, int y1, int x2, int y2, int srcX, int srcY, int width, int height,
                             int graph, int transFlag);
// Whole graph turned by angle (radians, clockwise on screen) and scaled about its centre, put at (x, y).
int DrawRotaGraph(int x, int y, double scale, double angle, int graph, int transFlag, int turnFlag);
int DrawRectRotateGraph(int x, int y, int srcX, int srcY, int width, int height, double scale, double angle,
                        int graph, int transFlag, int turnFlag);
int DrawBox(int x1, int y1, int x2, int y2, unsigned int color, int fillFlag);
int DrawFillBox(int x1, int y1, int x2, int y2, unsigned int color);
int DrawCircle(int x, int y, int radius, unsigned int color, int fillFlag);
int SetDrawBlendMode(int mode, int param);  // param clamped to 0..255
int SetDrawBrightness(int red, int green, int blue);
// Blend image for the draws that follow: the graph's red channel weights each source pixel
// through BlendGraphAlphaTable (border, range 0..255). -1 switches it off.
int SetBlendGraph(int blendGraph, int borderParam, int borderRange);

// Fonts: the game draws its text with its own bitmap font.
int SetFontSize(int size);            // -1 restores the default
int SetFontThickness(int thickness);  // 0..9, -1 restores the default
int GetFontSize();
int GetFontThickness();

int ReturnZeroStub();
