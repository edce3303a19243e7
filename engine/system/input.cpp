// Keyboard and joypads, read through the platform layer.
#include <cstring>

#include "engine/system/system.h"
#include "engine/system/system_internal.h"
#include "platform/input/input.h"

namespace {

struct InputState {
  bool started = false;
  unsigned char keys[256] = {};
};

InputState state;

}  // namespace

int InitInputSystem() {
  if (state.started) return 0;
  if (PlatformInput_Init() != 0) LogPrint("Joypads cannot be read: only the keyboard is used\n");
  std::memset(state.keys, 0, sizeof state.keys);
  state.started = true;
  return 0;
}

int TermInputSystem() {
  if (!state.started) return 0;
  PlatformInput_Term();
  std::memset(state.keys, 0, sizeof state.keys);
  state.started = false;
  return 0;
}

void UpdateKeyboardState() {
  // An inactive window reads no keys, as the keyboard is given up while in the background.
  if (IsLibInitialized() && !IsWindowActive()) {
    std::memset(state.keys, 0, sizeof state.keys);
    return;
  }
  PlatformInput_GetKeyState(state.keys);
}

void ClearInputState() { std::memset(state.keys, 0, sizeof state.keys); }

int IsKeyDown(int keyCode) {
  if (keyCode < 0 || keyCode > 255) return 0;
  WaitWhileInactive();
  UpdateKeyboardState();
  return state.keys[keyCode] ? 1 : 0;
}

int GetAllKeyStates(char* table256) {
  if (!table256) return -1;
  WaitWhileInactive();
  UpdateKeyboardState();
  for (int i = 0; i < 256; ++i) table256[i] = state.keys[i] ? 1 : 0;
  return 0;
}

int GetPadInputState(int pad) {
  WaitWhileInactive();
  if (IsLibInitialized() && !IsWindowActive()) return 0;
  return PlatformInput_GetPadState(pad);
}
