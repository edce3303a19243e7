#include "game/gfx.h"

#include <cstdarg>
#include <cstdio>

#include "engine/draw/draw.h"
#include "engine/sound/sound.h"
#include "pxtone/pxtone.h"

namespace {

std::vector<std::string>* trace = nullptr;

void Trace(const char* format, ...) {
  if (trace == nullptr) return;
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  trace->emplace_back(line);
}

}  // namespace

void SetGameTrace(std::vector<std::string>* t) { trace = t; }
std::vector<std::string>* GetGameTrace() { return trace; }

int GfxDrawRectPartGraph(int x, int y, int srcX, int srcY, int width, int height, int graph, int transFlag,
                         int turnFlag) {
  Trace("DrawRectPartGraph %d %d %d %d %d %d img=%d t=%d turn=%d", x, y, srcX, srcY, width, height, graph,
        transFlag, turnFlag);
  return DrawRectPartGraph(x, y, srcX, srcY, width, height, graph, transFlag, turnFlag);
}

int GfxDrawStretchRectPartGraph(int x1, int y1, int x2, int y2, int srcX, int srcY, int width, int height,
                                int graph, int transFlag) {
  Trace("DrawStretchRectPartGraph %d %d %d %d %d %d %d %d img=%d t=%d", x1, y1, x2, y2, srcX, srcY, width,
        height, graph, transFlag);
  return DrawStretchRectPartGraph(x1, y1, x2, y2, srcX, srcY, width, height, graph, transFlag);
}

int GfxDrawGraph(int x, int y, int graph, int transFlag) {
  Trace("DrawGraph %d %d img=%d t=%d", x, y, graph, transFlag);
  return DrawGraph(x, y, graph, transFlag);
}

int GfxDrawStretchGraph(int x1, int y1, int x2, int y2, int graph, int transFlag) {
  Trace("DrawStretchGraph %d %d %d %d img=%d t=%d", x1, y1, x2, y2, graph, transFlag);
  return DrawStretchGraph(x1, y1, x2, y2, graph, transFlag);
}

int GfxDrawBox(int x1, int y1, int x2, int y2, unsigned int color, int fillFlag) {
  Trace("DrawBox %d %d %d %d c=%u fill=%d", x1, y1, x2, y2, color, fillFlag);
  return DrawBox(x1, y1, x2, y2, color, fillFlag);
}

int GfxDrawFillBox(int x1, int y1, int x2, int y2, unsigned int color) {
  Trace("DrawFillBox %d %d %d %d c=%u", x1, y1, x2, y2, color);
  return DrawFillBox(x1, y1, x2, y2, color);
}

int GfxSetDrawBlendMode(int mode, int param) {
  Trace("SetDrawBlendMode %d %d", mode, param);
  return SetDrawBlendMode(mode, param);
}

int GfxSetDrawBrightness(int red, int green, int blue) {
  Trace("SetDrawBrightness %d %d %d", red, green, blue);
  return SetDrawBrightness(red, green, blue);
}

int GfxDrawCircle(int x, int y, int radius, unsigned int color, int fillFlag) {
  Trace("DrawCircle %d %d %d c=%u fill=%d", x, y, radius, color, fillFlag);
  return DrawCircle(x, y, radius, color, fillFlag);
}

int GfxDrawRectRotateGraph(int x, int y, int srcX, int srcY, int width, int height, double scale, double angle,
                           int graph, int transFlag, int turnFlag) {
  Trace("DrawRectRotateGraph %d %d %d %d %d %d %.3f %.4f img=%d t=%d turn=%d", x, y, srcX, srcY, width, height, scale,
        angle, graph, transFlag, turnFlag);
  return DrawRectRotateGraph(x, y, srcX, srcY, width, height, scale, angle, graph, transFlag, turnFlag);
}

int GfxClearScreen() {
  Trace("ClearScreen");
  return ClearScreen(0);
}

int GfxFlipScreen() {
  Trace("FlipScreen");
  return FlipScreen();
}

int GfxSetDrawTarget(int graph) {
  Trace("SetDrawTarget %d", graph);
  return SetDrawTarget(graph);
}

int GfxSaveDrawScreen(const char* fileName) {
  Trace("SaveDrawScreen %s", fileName);
  return SaveDrawScreen(0, 0, 320, 240, fileName, 0, 80, 1, -1);
}

int GfxPlaySoundMem(int handle) {
  Trace("PlaySoundMem %d", handle);
  return PlaySoundMem(handle, PlayType::Background, 1);
}

// The music library: the fixed arguments are those the game always passes.
int MusicReady(int sampleRate) {
  Trace("pxtone_Ready %d", sampleRate);
  return pxtone_Ready(GetMainWindow(), 1, sampleRate, 16, 0.1f, 1, nullptr);
}

int MusicReset(int sampleRate) {
  Trace("pxtone_Reset %d", sampleRate);
  return pxtone_Reset(GetMainWindow(), 1, sampleRate, 16, 0.1f, 1, nullptr);
}

int MusicRelease() {
  Trace("pxtone_Release");
  return pxtone_Release();
}

int MusicTuneLoad(const char* path) {
  Trace("pxtone_Tune_Load %s", path);
  return pxtone_Tune_Load(nullptr, nullptr, path);
}

int MusicTuneRelease() {
  Trace("pxtone_Tune_Release");
  return pxtone_Tune_Release();
}

int MusicTuneStart() {
  Trace("pxtone_Tune_Start");
  return pxtone_Tune_Start(0, 0);
}

int MusicTuneStop() {
  Trace("pxtone_Tune_Stop");
  return pxtone_Tune_Stop();
}

int MusicTuneFadeout(int milliseconds) {
  Trace("pxtone_Tune_Fadeout %d", milliseconds);
  return pxtone_Tune_Fadeout(milliseconds);
}

void MusicTuneSetLoop(int loop) {
  Trace("pxtone_Tune_SetLoop %d", loop);
  pxtone_Tune_SetLoop(loop);
}

void MusicTuneSetVolume(float volume) {
  Trace("pxtone_Tune_SetVolume %.2f", static_cast<double>(volume));
  pxtone_Tune_SetVolume(volume);
}
