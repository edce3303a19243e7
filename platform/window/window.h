// Platform layer: the program's one window, its input and presentation.
// Backed by SDL2; nothing outside platform/ includes SDL.
#pragma once

#include <cstdint>

// Shows a frame, scaled to the window's client area (or the full screen).
// bitsPerPixel: 16 = RGB565 words, 32 = bytes B, G, R, X. 0 or -1.
int PlatformWindow_Present(const void* pixels, int width, int height, int pitch, int bitsPerPixel);
