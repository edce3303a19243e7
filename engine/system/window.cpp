// The main window, the message pump and waiting while the window is inactive.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "engine/sound/sound.h"
#include "engine/system/system.h"
#include "engine/system/system_internal.h"
#include "platform/time/time.h"
#include "platform/window/window.h"

namespace {

constexpr int kEventsPerPass = 5;
constexpr int kMaxClientSide = 16384;

using PassHook = std::pair<void (*)(void*), void*>;
using ActivationHook = std::pair<void (*)(int, void*), void*>;

struct WindowState {
  std::string title = "Tamrak";
  bool windowed = true;
  double xRate = 1.0, yRate = 1.0;
  int screenWidth = 640, screenHeight = 480;
  bool active = true;
  std::atomic<bool> closed{false};  // read by loading threads too
  bool alwaysRun = false;
  bool inPass = false;
  int screenLogFontSize = 16;
  std::vector<std::string> screenLog;
  std::vector<PassHook> passHooks;
  std::vector<ActivationHook> activationHooks;
};

WindowState state;

int ScaledSide(int side, double rate) {
  double v = std::floor(static_cast<double>(side) * rate);
  if (!(v >= 1.0)) return 1;
  return v > kMaxClientSide ? kMaxClientSide : static_cast<int>(v);
}

void ResizeWindow() {
  if (!PlatformWindow_Exists()) return;
  int w, h;
  GetMainWindowClientSize(&w, &h);
  PlatformWindow_SetClientSize(w, h);
}

void SetActive(bool active) {
  if (active == state.active) return;
  state.active = active;
  if (!active) ClearInputState();
  if (!state.alwaysRun) {
    if (!active) {
      PauseSoundMemAll(1);
      PauseSoftSoundAll(1);
      PauseMovieAll();
    } else {
      PauseSoundMemAll(0);
      PauseSoftSoundAll(0);
      ResumeMovieAll();
    }
  }
  std::vector<ActivationHook> hooks = state.activationHooks;  // a hook may remove itself
  for (const ActivationHook& h : hooks) h.first(active ? 1 : 0, h.second);
}

}  // namespace

// ---- settings

int SetWindowTitleText(const char* text) {
  if (!text) return -1;
  state.title = text;
  PlatformWindow_SetTitle(text);
  return 0;
}

int ChangeWindowMode(int windowFlag) {
  bool windowed = windowFlag != 0;
  if (!PlatformWindow_Exists()) {
    state.windowed = windowed;
    return 0;
  }
  if (PlatformWindow_SetFullScreen(windowed ? 0 : 1) != 0) {
    LogPrintf("Display mode cannot be changed: %s", PlatformWindow_LastError());
    return -1;
  }
  state.windowed = windowed;
  if (windowed) ResizeWindow();
  return 0;
}

int GetWindowModeFlag() { return state.windowed ? 1 : 0; }

int SetWindowSizeRate(double xRate, double yRate) {
  if (!(xRate > 0.0) || !std::isfinite(xRate)) xRate = 1.0;
  if (!(yRate > 0.0) || !std::isfinite(yRate)) yRate = xRate;
  state.xRate = xRate;
  state.yRate = yRate;
  ResizeWindow();
  return 0;
}

int SetMainWindowClientSize(int width, int height) {
  if (width < 1 || height < 1) return -1;
  state.screenWidth = width;
  state.screenHeight = height;
  ResizeWindow();
  return 0;
}

int GetMainWindowClientSize(int* width, int* height) {
  if (!width || !height) return -1;
  *width = ScaledSide(state.screenWidth, state.xRate);
  *height = ScaledSide(state.screenHeight, state.yRate);
  return 0;
}

WindowHandle GetMainWindow() { return PlatformWindow_GetHandle(); }
int IsWindowActive() { return state.active ? 1 : 0; }
int IsWindowClosed() { return state.closed ? 1 : 0; }

int SetRunInBackgroundFlag(int flag) {
  state.alwaysRun = flag != 0;
  return 0;
}

int ClearScreenLog() {
  state.screenLog.clear();
  return 0;
}

int SetScreenLogFontSize(int size) {
  if (size < 1) return -1;
  state.screenLogFontSize = size;
  return 0;
}

int ShowMessageBox(const char* text, const char* caption) {
  return PlatformWindow_MessageBox(text, caption ? caption : state.title.c_str());
}

// ---- hooks

int AddMessagePassHook(void (*hook)(void*), void* user) {
  if (!hook) return -1;
  PassHook h{hook, user};
  if (std::find(state.passHooks.begin(), state.passHooks.end(), h) == state.passHooks.end()) {
    state.passHooks.push_back(h);
  }
  return 0;
}

int RemoveMessagePassHook(void (*hook)(void*), void* user) {
  auto at = std::find(state.passHooks.begin(), state.passHooks.end(), PassHook{hook, user});
  if (at == state.passHooks.end()) return -1;
  state.passHooks.erase(at);
  return 0;
}

int AddActivationHook(void (*hook)(int, void*), void* user) {
  if (!hook) return -1;
  ActivationHook h{hook, user};
  if (std::find(state.activationHooks.begin(), state.activationHooks.end(), h) == state.activationHooks.end()) {
    state.activationHooks.push_back(h);
  }
  return 0;
}

int RemoveActivationHook(void (*hook)(int, void*), void* user) {
  auto at = std::find(state.activationHooks.begin(), state.activationHooks.end(), ActivationHook{hook, user});
  if (at == state.activationHooks.end()) return -1;
  state.activationHooks.erase(at);
  return 0;
}

// ---- window life

int InitWindow() {
  state.active = true;
  state.closed = false;
  if (PlatformWindow_Init() != 0) {
    LogPrintf("ウインドウの作成に失敗しました: %s", PlatformWindow_LastError());
    ShowMessageBox(PlatformWindow_LastError(), "Tamrak");
    return -1;
  }
  int w, h;
  GetMainWindowClientSize(&w, &h);
  int mode = PlatformWindow_Create(state.title.c_str(), w, h, state.windowed ? 0 : 1);
  if (mode == -1) {
    LogPrintf("ウインドウの作成に失敗しました: %s", PlatformWindow_LastError());
    ShowMessageBox(PlatformWindow_LastError(), "Tamrak");
    PlatformWindow_Quit();
    return -1;
  }
  if (!state.windowed && mode == 0) {
    LogPrint("Full screen cannot be had: the program runs in a window\n");
    state.windowed = true;
  }
  LogPrintf("Window %d x %d (%s)", w, h, state.windowed ? "window" : "full screen");
  return 0;
}

void EndWindow() {
  PlatformWindow_Quit();
  state.screenLog.clear();
}

// ---- the pump

int ProcessWindowMessages() {
  if (!IsLibInitialized()) return -1;
  // A hook that pumps again gets the state as it stands, not a nested pass.
  if (state.inPass) return state.closed ? -1 : 0;
  state.inPass = true;
  PlatformEvent event;
  for (int i = 0; i < kEventsPerPass && PlatformWindow_PollEvent(&event); ++i) {
    switch (event.type) {
      case PLATFORM_EVENT_CLOSE: state.closed = true; break;
      case PLATFORM_EVENT_FOCUS_GAINED: SetActive(true); break;
      case PLATFORM_EVENT_FOCUS_LOST: SetActive(false); break;
      default: break;
    }
  }
  UpdateKeyboardState();
  if (GetLogicalProcessorCount() == 1) {
    ProcessStreamSoundMemAll();
    ProcessSoftSoundPlayerAll();
  }
  ProcessAsyncMainThreadRequests();
  UpdateMusicPlayState();
  std::vector<PassHook> hooks = state.passHooks;
  for (const PassHook& h : hooks) h.first(h.second);
  state.inPass = false;
  return state.closed ? -1 : 0;
}

int WaitWhileInactive() {
  if (!IsLibInitialized() || !IsMainThread() || state.inPass) return 0;
  while (!state.active && !state.alwaysRun && !state.closed) {
    if (ProcessWindowMessages() == -1) break;
    if (!state.active) PlatformTime_RealSleep(1);
  }
  return 0;
}
