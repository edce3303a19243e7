#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/input/input_sdl.h"
#include "platform/window/test_driver.h"
#include "platform/window/window.h"

namespace {

constexpr int kMaxFrameSide = 16384;

struct WindowState {
  bool videoStarted = false;
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  int textureWidth = 0, textureHeight = 0, textureBits = 0;
  int clientWidth = 0, clientHeight = 0;
  bool fullScreen = false;
  std::string error;
  std::vector<uint32_t> lastFrame;
  int lastWidth = 0, lastHeight = 0;
  int presentCount = 0;
};

WindowState state;

void SetError(const char* what) {
  state.error = what;
  state.error += ": ";
  state.error += SDL_GetError();
}

bool HeadlessDriver() {
  const char* driver = state.videoStarted ? SDL_GetCurrentVideoDriver() : nullptr;
  return !driver || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0;
}

void DestroyRenderer() {
  if (state.texture) SDL_DestroyTexture(state.texture);
  if (state.renderer) SDL_DestroyRenderer(state.renderer);
  state.texture = nullptr;
  state.renderer = nullptr;
  state.textureWidth = state.textureHeight = state.textureBits = 0;
}

uint32_t Widen565(uint16_t p) {
  uint32_t r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
  r = (r << 3) | (r >> 2);
  g = (g << 2) | (g >> 4);
  b = (b << 3) | (b >> 2);
  return (r << 16) | (g << 8) | b;
}

void RecordFrame(const unsigned char* pixels, int width, int height, int pitch, int bits) {
  state.lastFrame.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    const unsigned char* row = pixels + static_cast<ptrdiff_t>(y) * pitch;
    uint32_t* out = &state.lastFrame[static_cast<size_t>(y) * static_cast<size_t>(width)];
    for (int x = 0; x < width; ++x) {
      if (bits == 16) {
        uint16_t p;
        std::memcpy(&p, row + x * 2, 2);
        out[x] = Widen565(p);
      } else {
        const unsigned char* p = row + x * 4;
        out[x] = (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[0];
      }
    }
  }
  state.lastWidth = width;
  state.lastHeight = height;
}

bool EnsureTexture(int width, int height, int bits) {
  if (!state.renderer) {
    state.renderer = SDL_CreateRenderer(state.window, -1, SDL_RENDERER_ACCELERATED);
    if (!state.renderer) state.renderer = SDL_CreateRenderer(state.window, -1, SDL_RENDERER_SOFTWARE);
    if (!state.renderer) return false;
  }
  if (state.texture && state.textureWidth == width && state.textureHeight == height &&
      state.textureBits == bits) {
    return true;
  }
  if (state.texture) SDL_DestroyTexture(state.texture);
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  // B, G, R, X bytes are one little-endian XRGB word.
  Uint32 format = bits == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888;
  state.texture = SDL_CreateTexture(state.renderer, format, SDL_TEXTUREACCESS_STREAMING, width, height);
  if (!state.texture) return false;
  state.textureWidth = width;
  state.textureHeight = height;
  state.textureBits = bits;
  return true;
}

}  // namespace

int PlatformWindow_Init() {
  if (state.videoStarted) return 0;
  // Without a display SDL falls back to a driver that shows nothing, and a program started
  // so by mistake would seem to hang. Running unseen has to be asked for.
  const char* asked = std::getenv("SDL_VIDEODRIVER");
  const bool chosen = asked && *asked;
  const char* unseen = " (SDL_VIDEODRIVER=dummy runs without one)";
  if (!chosen && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
    state.error = std::string("No display: neither DISPLAY nor WAYLAND_DISPLAY is set") + unseen;
    return -1;
  }
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    SetError(chosen ? "SDL video" : "No display");
    return -1;
  }
  state.videoStarted = true;
  if (!chosen && HeadlessDriver()) {
    state.error = std::string("No display: SDL could open only its ") + SDL_GetCurrentVideoDriver() + " driver" + unseen;
    PlatformWindow_Quit();
    return -1;
  }
  return 0;
}

void PlatformWindow_Quit() {
  PlatformWindow_Destroy();
  if (state.videoStarted) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  state.videoStarted = false;
}

const char* PlatformWindow_LastError() { return state.error.c_str(); }

int PlatformWindow_IsHeadless() { return HeadlessDriver() ? 1 : 0; }

int PlatformWindow_Create(const char* title, int clientWidth, int clientHeight, int fullScreen) {
  if (!state.videoStarted && PlatformWindow_Init() != 0) return -1;
  if (state.window) PlatformWindow_Destroy();
  if (clientWidth < 1) clientWidth = 1;
  if (clientHeight < 1) clientHeight = 1;
  state.window = SDL_CreateWindow(title ? title : "", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                  clientWidth, clientHeight, SDL_WINDOW_HIDDEN);
  if (!state.window) {
    SetError("SDL window");
    return -1;
  }
  state.clientWidth = clientWidth;
  state.clientHeight = clientHeight;
  state.fullScreen = false;
  if (fullScreen && SDL_SetWindowFullscreen(state.window, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0) {
    state.fullScreen = true;
  }
  SDL_ShowWindow(state.window);
  return state.fullScreen ? 1 : 0;
}

void PlatformWindow_Destroy() {
  DestroyRenderer();
  if (state.window) SDL_DestroyWindow(state.window);
  state.window = nullptr;
  state.fullScreen = false;
}

int PlatformWindow_Exists() { return state.window ? 1 : 0; }

void* PlatformWindow_GetHandle() { return state.window; }

int PlatformWindow_SetTitle(const char* title) {
  if (!title) return -1;
  if (state.window) SDL_SetWindowTitle(state.window, title);
  return 0;
}

int PlatformWindow_SetClientSize(int width, int height) {
  if (width < 1 || height < 1) return -1;
  state.clientWidth = width;
  state.clientHeight = height;
  if (state.window) {
    SDL_SetWindowSize(state.window, width, height);
    SDL_SetWindowPosition(state.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
  }
  return 0;
}

int PlatformWindow_GetClientSize(int* width, int* height) {
  if (!width || !height) return -1;
  *width = state.clientWidth;
  *height = state.clientHeight;
  return 0;
}

int PlatformWindow_SetFullScreen(int fullScreen) {
  bool want = fullScreen != 0;
  if (!state.window) return -1;
  if (want == state.fullScreen) return 0;
  if (SDL_SetWindowFullscreen(state.window, want ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) {
    SetError("SDL full screen");
    return -1;
  }
  state.fullScreen = want;
  if (!want) SDL_SetWindowSize(state.window, state.clientWidth, state.clientHeight);
  return 0;
}

int PlatformWindow_IsFullScreen() { return state.fullScreen ? 1 : 0; }

int PlatformWindow_PollEvent(PlatformEvent* out) {
  if (!out) return 0;
  if (TestDriver_PopEvent(out)) return 1;
  if (!state.videoStarted) return 0;
  SDL_Event event;
  if (!SDL_PollEvent(&event)) return 0;
  out->type = PLATFORM_EVENT_OTHER;
  switch (event.type) {
    case SDL_QUIT:
      out->type = PLATFORM_EVENT_CLOSE;
      break;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) out->type = PLATFORM_EVENT_CLOSE;
      if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) out->type = PLATFORM_EVENT_FOCUS_GAINED;
      if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) out->type = PLATFORM_EVENT_FOCUS_LOST;
      break;
    default:
      PlatformInput_OnEvent(event);
      break;
  }
  return 1;
}

int PlatformWindow_Present(const void* pixels, int width, int height, int pitch, int bitsPerPixel) {
  if (!pixels || width < 1 || height < 1 || width > kMaxFrameSide || height > kMaxFrameSide) return -1;
  if (bitsPerPixel != 16 && bitsPerPixel != 32) return -1;
  if (pitch < width * (bitsPerPixel / 8)) return -1;
  RecordFrame(static_cast<const unsigned char*>(pixels), width, height, pitch, bitsPerPixel);
  ++state.presentCount;
  if (!state.window) return 0;
  if (!EnsureTexture(width, height, bitsPerPixel)) {
    // A window that cannot render (no renderer for this driver) still takes frames.
    DestroyRenderer();
    return 0;
  }
  SDL_UpdateTexture(state.texture, nullptr, pixels, pitch);
  SDL_RenderSetLogicalSize(state.renderer, width, height);
  SDL_SetRenderDrawColor(state.renderer, 0, 0, 0, 255);
  SDL_RenderClear(state.renderer);
  SDL_RenderCopy(state.renderer, state.texture, nullptr, nullptr);
  SDL_RenderPresent(state.renderer);
  return 0;
}

int PlatformWindow_GetLastFrame(uint32_t* out, size_t outCount, int* width, int* height) {
  if (width) *width = state.lastWidth;
  if (height) *height = state.lastHeight;
  size_t count = state.lastFrame.size();
  if (out && outCount >= count && count > 0) std::memcpy(out, state.lastFrame.data(), count * 4);
  return static_cast<int>(count);
}

int PlatformWindow_GetPresentCount() { return state.presentCount; }

int PlatformWindow_MessageBox(const char* text, const char* caption) {
  if (!text) text = "";
  if (!caption) caption = "";
  bool display = !HeadlessDriver() || (!state.videoStarted && (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")));
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (driver && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0)) display = false;
  if (display && SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, state.window) == 0) return 0;
  std::fprintf(stderr, "%s: %s\n", caption, text);
  return 0;
}
