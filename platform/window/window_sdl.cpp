#include <SDL.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/input/input_sdl.h"
#include "platform/window/screen_convert.h"
#include "platform/window/test_driver.h"
#include "platform/window/window.h"

namespace {

constexpr int kMaxFrameSide = 16384;

struct WindowState {
  bool videoStarted = false;
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  int textureWidth = 0, textureHeight = 0;
  int clientWidth = 0, clientHeight = 0;
  bool fullScreen = false;
  std::string error;
  bool displayFailed = false;  // the session's display could not be opened
  // The last frame as it was presented, kept only while asked for (tests).
  bool keepFrames = false;
  std::vector<unsigned char> lastFrame;
  int lastWidth = 0, lastHeight = 0, lastBits = 0;
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
  state.textureWidth = state.textureHeight = 0;
}

void KeepFrame(const unsigned char* pixels, int width, int height, int pitch, int bits) {
  const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(bits / 8);
  state.lastFrame.resize(rowBytes * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    std::memcpy(&state.lastFrame[rowBytes * static_cast<size_t>(y)], pixels + static_cast<ptrdiff_t>(y) * pitch,
                rowBytes);
  }
  state.lastWidth = width;
  state.lastHeight = height;
  state.lastBits = bits;
}

// The renderer's output in pixels; 0 x 0 when it cannot tell.
void OutputSize(int* width, int* height) {
  if (SDL_GetRendererOutputSize(state.renderer, width, height) != 0) *width = *height = 0;
}

// A window of the frame's size or twice it gets the frame converted straight into its own
// framebuffer (shared memory on X11), which SDL then only hands to the display. False
// when the framebuffer is of another size or format.
bool PresentToWindowSurface(const void* pixels, int width, int height, int pitch, int bits) {
  if (state.fullScreen) return false;
  SDL_Surface* surface = SDL_GetWindowSurface(state.window);
  if (!surface || surface->format->format != SDL_PIXELFORMAT_RGB888) return false;
  const int scale = surface->w == 2 * width && surface->h == 2 * height ? 2
                    : surface->w == width && surface->h == height   ? 1
                                                                    : 0;
  if (scale == 0) return false;
  DestroyRenderer();
  if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
  ConvertScreen(ScreenConvertBest(), pixels, pitch, bits, width, height, surface->pixels, surface->pitch, scale);
  if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  SDL_UpdateWindowSurface(state.window);
  return true;
}

bool EnsureRenderer() {
  if (state.renderer) return true;
  // Full screen is scaled on the GPU; a window of any other size by the software renderer.
  if (state.fullScreen) state.renderer = SDL_CreateRenderer(state.window, -1, SDL_RENDERER_ACCELERATED);
  if (!state.renderer) state.renderer = SDL_CreateRenderer(state.window, -1, SDL_RENDERER_SOFTWARE);
  return state.renderer != nullptr;
}

bool EnsureTexture(int width, int height) {
  if (state.texture && state.textureWidth == width && state.textureHeight == height) return true;
  if (state.texture) SDL_DestroyTexture(state.texture);
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  // Filled by our own conversion; B, G, R, X bytes are one little-endian XRGB word.
  state.texture =
      SDL_CreateTexture(state.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height);
  if (!state.texture) return false;
  state.textureWidth = width;
  state.textureHeight = height;
  return true;
}

// The local socket of an X display name (":1", ":1.0", "unix:1"); empty for a remote display.
std::string XSocket(const std::string& display) {
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos) return {};
  const std::string host = display.substr(0, colon);
  if (!host.empty() && host != "unix") return {};
  const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return {};
  return "/tmp/.X11-unix/X" + number;
}

// The Wayland socket a display name leads to, or empty with the reason in *why.
std::string WaylandSocket(const std::string& display, std::string* why) {
  if (!display.empty() && display[0] == '/') return display;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat st {};
  if (!runtime || runtime[0] != '/' || stat(runtime, &st) != 0 || !S_ISDIR(st.st_mode)) {
    *why = "XDG_RUNTIME_DIR does not name a folder";
    return {};
  }
  return std::string(runtime) + "/" + display;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

// SDL's drivers for the session's display variables: "x11", "wayland" or both, X11 first
// as SDL itself tries them. A Wayland display whose socket cannot be found is not
// tried: its reason goes to *why straight away.
void SessionDrivers(std::string* drivers, std::string* why) {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const bool hasX = x && *x, hasWayland = wayland && *wayland;
  if (!hasX && !hasWayland) {
    *why = "neither DISPLAY nor WAYLAND_DISPLAY is set";
    return;
  }
  if (hasX) *drivers = "x11";
  if (hasWayland) {
    std::string reason;
    std::string socket = WaylandSocket(wayland, &reason);
    if (!socket.empty() && !Exists(socket)) reason = "no socket at " + socket;
    if (reason.empty()) {
      *drivers += drivers->empty() ? "wayland" : ",wayland";
    } else {
      *why = std::string("WAYLAND_DISPLAY=") + wayland + ": " + reason;
    }
  }
}

// Why the session's display did not open, for each display variable set.
std::string DisplayFailure(const std::string& waylandWhy) {
  std::string text;
  const char* x = std::getenv("DISPLAY");
  if (x && *x) {
    const std::string socket = XSocket(x);
    text = std::string("DISPLAY=") + x + ": ";
    text += !socket.empty() && !Exists(socket) ? "no X server at " + socket : "SDL's x11 driver could not open it";
  }
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (wayland && *wayland) {
    if (!text.empty()) text += "; ";
    text += !waylandWhy.empty() ? waylandWhy : std::string("WAYLAND_DISPLAY=") + wayland + ": SDL's wayland driver could not open it";
  }
  return text;
}

// A display server that goes away while the program writes to it would end the process by
// SIGPIPE, with no exit() and no status of its own. Ignored, the write fails and Xlib reports the
// lost display, and exits, as it does when a read finds it gone. A disposition the program was
// started with is kept.
void IgnoreBrokenConnections() {
  struct sigaction current {};
  if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int PlatformWindow_Init() {
  if (state.videoStarted) return 0;
  state.displayFailed = false;
  // Without a display SDL falls back to a driver that shows nothing, and a program started
  // so by mistake would seem to hang. Running unseen has to be asked for.
  const char* asked = std::getenv("SDL_VIDEODRIVER");
  const bool chosen = asked && *asked;
  std::string drivers, why;
  if (!chosen) {
    SessionDrivers(&drivers, &why);
    if (drivers.empty()) {
      state.error = "No display: " + why;
      state.displayFailed = true;
      return -1;
    }
    // Only the session's own drivers: no fallback that shows nothing, and no probe of a
    // window system that is not there (its library would complain on standard error).
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, drivers.c_str(), SDL_HINT_OVERRIDE);
  }
  // The window's framebuffer without a GPU texture behind it (see PresentToWindowSurface);
  // the environment may still ask for one.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  IgnoreBrokenConnections();
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    if (chosen) {
      SetError("SDL video");
    } else {
      state.error = "No display: " + DisplayFailure(why);
      state.displayFailed = true;
    }
    return -1;
  }
  state.videoStarted = true;
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
  DestroyRenderer();  // the next frame makes the kind of renderer the new mode wants
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
  if (bitsPerPixel == 16 && ((reinterpret_cast<uintptr_t>(pixels) | static_cast<uintptr_t>(pitch)) & 1) != 0) return -1;
  if (state.keepFrames) KeepFrame(static_cast<const unsigned char*>(pixels), width, height, pitch, bitsPerPixel);
  ++state.presentCount;
  if (!state.window) return 0;
  if (PresentToWindowSurface(pixels, width, height, pitch, bitsPerPixel)) return 0;
  if (!EnsureRenderer()) return 0;  // a window that cannot render still takes frames
  // An output twice the frame's size gets it doubled here, so the renderer only copies.
  int outWidth, outHeight;
  OutputSize(&outWidth, &outHeight);
  const int scale = !state.fullScreen && outWidth == 2 * width && outHeight == 2 * height ? 2 : 1;
  void* texels = nullptr;
  int texturePitch = 0;
  if (!EnsureTexture(width * scale, height * scale) ||
      SDL_LockTexture(state.texture, nullptr, &texels, &texturePitch) != 0) {
    DestroyRenderer();
    return 0;
  }
  ConvertScreen(ScreenConvertBest(), pixels, pitch, bitsPerPixel, width, height, texels, texturePitch, scale);
  SDL_UnlockTexture(state.texture);
  if (outWidth != width * scale || outHeight != height * scale) {
    // Scaled by the renderer, aspect kept, with bars beside the frame.
    SDL_RenderSetLogicalSize(state.renderer, width * scale, height * scale);
    SDL_SetRenderDrawColor(state.renderer, 0, 0, 0, 255);
    SDL_RenderClear(state.renderer);
  } else {
    SDL_RenderSetLogicalSize(state.renderer, 0, 0);
  }
  SDL_RenderCopy(state.renderer, state.texture, nullptr, nullptr);
  SDL_RenderPresent(state.renderer);
  return 0;
}

void PlatformWindow_KeepFrames(int keep) {
  state.keepFrames = keep != 0;
  if (!state.keepFrames) {
    state.lastFrame.clear();
    state.lastFrame.shrink_to_fit();
    state.lastWidth = state.lastHeight = state.lastBits = 0;
  }
}

int PlatformWindow_GetLastFrame(uint32_t* out, size_t outCount, int* width, int* height) {
  if (width) *width = state.lastWidth;
  if (height) *height = state.lastHeight;
  const size_t count = static_cast<size_t>(state.lastWidth) * static_cast<size_t>(state.lastHeight);
  if (out && outCount >= count && count > 0) {
    const int rowBytes = state.lastWidth * state.lastBits / 8;
    ConvertScreen(kScreenConvertScalar, state.lastFrame.data(), rowBytes, state.lastBits, state.lastWidth,
                  state.lastHeight, out, state.lastWidth * 4, 1);
  }
  return static_cast<int>(count);
}

int PlatformWindow_ReadShown(uint32_t* out, size_t outCount, int* width, int* height) {
  if (width) *width = 0;
  if (height) *height = 0;
  if (!state.window) return 0;
  int w = 0, h = 0;
  if (state.renderer) {
    if (SDL_GetRendererOutputSize(state.renderer, &w, &h) != 0) return 0;
  } else {
    SDL_Surface* surface = SDL_GetWindowSurface(state.window);
    if (!surface) return 0;
    w = surface->w;
    h = surface->h;
  }
  const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
  if (width) *width = w;
  if (height) *height = h;
  if (!out || outCount < count) return static_cast<int>(count);
  if (state.renderer) {
    // The whole output, not only the frame's viewport; the next present sets it again.
    // (Only the software renderer keeps what it presented.)
    SDL_RenderSetLogicalSize(state.renderer, 0, 0);
    SDL_RenderSetViewport(state.renderer, nullptr);
    if (SDL_RenderReadPixels(state.renderer, nullptr, SDL_PIXELFORMAT_RGB888, out, w * 4) != 0) return 0;
  } else {
    SDL_Surface* surface = SDL_GetWindowSurface(state.window);
    SDL_ConvertPixels(w, h, surface->format->format, surface->pixels, surface->pitch, SDL_PIXELFORMAT_RGB888, out,
                      w * 4);
  }
  for (size_t i = 0; i < count; ++i) out[i] &= 0x00FFFFFFu;
  return static_cast<int>(count);
}

int PlatformWindow_GetPresentCount() { return state.presentCount; }

int PlatformWindow_MessageBox(const char* text, const char* caption) {
  if (!text) text = "";
  if (!caption) caption = "";
  bool display = !HeadlessDriver() || (!state.videoStarted && !state.displayFailed &&
                                       (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")));
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (driver && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0)) display = false;
  if (display && SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, state.window) == 0) return 0;
  std::fprintf(stderr, "%s: %s\n", caption, text);
  return 0;
}
