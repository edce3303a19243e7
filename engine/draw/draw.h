// Tamrak engine: the drawing interface the game calls.
#pragma once

#include "engine/system/system.h"

// Image handles and files.
int LoadGraph(const char* path, int notUse3DFlag = 0);
int MakeGraphFromCurrentParams(int width, int height, int notUse3DFlag = 0);
int GetGraphSize(int graph, int* width, int* height);
int DeleteGraph(int graph, int logOutFlag = 0);
int DeleteAllGraphs(int logOutFlag = 0);
int SetUseGraphTextureDivision(int flag);
int SetTransparentColor(int r, int g, int b);

// The screen.
int SetScreenMode(int width, int height, int colorBits, int refreshRate = 60);
int SetDrawTarget(int graph);  // -2 is the back buffer
int SetDrawArea(int x1, int y1, int x2, int y2);
int ClearScreen(int flag = 0);
unsigned int GetColor(int r, int g, int b);
int FlipScreen();
int SaveDrawScreen(int x1, int y1, int x2, int y2, const char* fileName, int saveType = 0,
                   int jpegQuality = 80, int jpegSample2x1 = 1, int pngCompressionLevel = -1);

// Drawing.
int DrawGraph(int x, int y, int graph, int transFlag);
int DrawRectPartGraph(int x, int y, int srcX, int srcY, int width, int height, int graph, int transFlag,
                      int turnFlag);
int DrawStretchGraph(int x1, int y1, int x2, int y2, int graph, int transFlag);
int DrawStretchRectPartGraph(int x1, int y1, int x2, int y2, int srcX, int srcY, int width, int height,
                             int graph, int transFlag);
int DrawRectRotateGraph(int x, int y, int srcX, int srcY, int width, int height, double scale, double angle,
                        int graph, int transFlag, int turnFlag);
int DrawBox(int x1, int y1, int x2, int y2, unsigned int color, int fillFlag);
int DrawFillBox(int x1, int y1, int x2, int y2, unsigned int color);
int DrawCircle(int x, int y, int radius, unsigned int color, int fillFlag);
int SetDrawBlendMode(int mode, int param);
int SetDrawBrightness(int red, int green, int blue);

// Fonts: the game draws its text with its own bitmap font.
int SetFontSize(int size);
int SetFontThickness(int thickness);

int ReturnZeroStub();
