// Platform layer: the program's one window, its events and presentation.
// Backed by SDL2; nothing outside platform/ includes SDL. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

enum PlatformEventType : int {
  PLATFORM_EVENT_OTHER = 0,  // anything the engine does not act on (still one message)
  PLATFORM_EVENT_CLOSE,      // the user asked to close the window, or the program to quit
  PLATFORM_EVENT_FOCUS_GAINED,
  PLATFORM_EVENT_FOCUS_LOST,
};

struct PlatformEvent {
  int type;
};

// Starts the video subsystem. 0 or -1 (the error is in PlatformWindow_LastError).
int PlatformWindow_Init();
void PlatformWindow_Quit();
const char* PlatformWindow_LastError();
// 1 when there is no real display: the dummy or offscreen video driver, or no video at all.
int PlatformWindow_IsHeadless();

// Creates the window with the given client size. fullScreen 1 asks for full screen; when
// that fails the window opens windowed. Returns 1 full screen, 0 windowed, -1 failure.
int PlatformWindow_Create(const char* title, int clientWidth, int clientHeight, int fullScreen);
void PlatformWindow_Destroy();
int PlatformWindow_Exists();
void* PlatformWindow_GetHandle();  // the SDL window, or null

int PlatformWindow_SetTitle(const char* title);
int PlatformWindow_SetClientSize(int width, int height);
// The client size asked for (the drawable size in full screen is the display's). 0 or -1.
int PlatformWindow_GetClientSize(int* width, int* height);
int PlatformWindow_SetFullScreen(int fullScreen);  // 0, or -1 and the mode is unchanged
int PlatformWindow_IsFullScreen();

// Takes the next event: the test driver's queue first, then the window's. 1 or 0.
int PlatformWindow_PollEvent(PlatformEvent* out);

// Shows a frame, scaled to the window's client area (or the full screen, aspect kept).
// bitsPerPixel: 16 = RGB565 words, 32 = bytes B, G, R, X. pitch in bytes. 0 or -1.
// 16-bit frames must lie on even addresses with an even pitch.
// Without a window it only counts the frame (and keeps it, see below).
int PlatformWindow_Present(const void* pixels, int width, int height, int pitch, int bitsPerPixel);
// For tests: 1 keeps a copy of every frame presented from now on; 0 (the start) drops it.
void PlatformWindow_KeepFrames(int keep);
// The last frame kept, as 0x00RRGGBB words, rows packed (5- and 6-bit fields widened by
// repeating their top bits). Copies when outCount >= width * height; returns the pixel
// count of the frame (0 when none was kept).
int PlatformWindow_GetLastFrame(uint32_t* out, size_t outCount, int* width, int* height);
int PlatformWindow_GetPresentCount();
// For tests: what the window shows now, as 0x00RRGGBB words of its output size. Copies when
// outCount is large enough; returns the pixel count (0 without a window).
int PlatformWindow_ReadShown(uint32_t* out, size_t outCount, int* width, int* height);

// A message box; to standard error when there is no display.
int PlatformWindow_MessageBox(const char* text, const char* caption);
