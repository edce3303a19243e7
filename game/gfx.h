// The engine calls the game draws and plays through. Each one calls the engine (or the
// music library) and, while a trace is set, also records the call as one line of text,
// so tests can read what a frame drew and which music calls it made.
#pragma once

#include <string>
#include <vector>

// Lines such as "DrawRectPartGraph 248 166 80 0 12 12 img=5 t=1 turn=0".
void SetGameTrace(std::vector<std::string>* trace);
std::vector<std::string>* GetGameTrace();

int GfxDrawRectPartGraph(int x, int y, int srcX, int srcY, int width, int height, int graph, int transFlag,
                         int turnFlag);
int GfxDrawStretchRectPartGraph(int x1, int y1, int x2, int y2, int srcX, int srcY, int width, int height,
                                int graph, int transFlag);
int GfxDrawGraph(int x, int y, int graph, int transFlag);
int GfxDrawStretchGraph(int x1, int y1, int x2, int y2, int graph, int transFlag);
int GfxDrawBox(int x1, int y1, int x2, int y2, unsigned int color, int fillFlag);
int GfxDrawFillBox(int x1, int y1, int x2, int y2, unsigned int color);
int GfxSetDrawBlendMode(int mode, int param);
int GfxSetDrawBrightness(int red, int green, int blue);
int GfxDrawCircle(int x, int y, int radius, unsigned int color, int fillFlag);
int GfxDrawRectRotateGraph(int x, int y, int srcX, int srcY, int width, int height, double scale, double angle,
                           int graph, int transFlag, int turnFlag);
int GfxClearScreen();
int GfxFlipScreen();
int GfxSetDrawTarget(int graph);
int GfxSaveDrawScreen(const char* fileName);  // the whole 320 x 240 area, BMP
int GfxPlaySoundMem(int handle);                // in the background, from the start

// The music library's ten calls.
int MusicReady(int sampleRate);
int MusicReset(int sampleRate);
int MusicRelease();
int MusicTuneLoad(const char* path);
int MusicTuneRelease();
int MusicTuneStart();
int MusicTuneStop();
int MusicTuneFadeout(int milliseconds);
void MusicTuneSetLoop(int loop);
void MusicTuneSetVolume(float volume);
