#include <SDL.h>

#include <cstring>

#include "platform/input/input.h"
#include "platform/input/input_sdl.h"
#include "platform/window/test_driver.h"

namespace {

constexpr int kPadSlots = 4;
constexpr int kMaxPadButtons = 27;  // bits 4..30: the mask stays a positive int
constexpr Sint16 kAxisThreshold = 16384;

struct PadSlot {
  SDL_GameController* controller;
  SDL_Joystick* joystick;  // when the device has no controller mapping
  SDL_JoystickID id;
};

struct InputState {
  bool started = false;
  PadSlot pads[kPadSlots] = {};
  int keyMap[SDL_NUM_SCANCODES] = {};
  bool keyMapBuilt = false;
};

InputState state;

void BuildKeyMap() {
  if (state.keyMapBuilt) return;
  int* m = state.keyMap;
  static const SDL_Scancode letters[] = {
      SDL_SCANCODE_Q, SDL_SCANCODE_W, SDL_SCANCODE_E, SDL_SCANCODE_R, SDL_SCANCODE_T,
      SDL_SCANCODE_Y, SDL_SCANCODE_U, SDL_SCANCODE_I, SDL_SCANCODE_O, SDL_SCANCODE_P,  // 16..25
      SDL_SCANCODE_A, SDL_SCANCODE_S, SDL_SCANCODE_D, SDL_SCANCODE_F, SDL_SCANCODE_G,
      SDL_SCANCODE_H, SDL_SCANCODE_J, SDL_SCANCODE_K, SDL_SCANCODE_L,  // 30..38
      SDL_SCANCODE_Z, SDL_SCANCODE_X, SDL_SCANCODE_C, SDL_SCANCODE_V, SDL_SCANCODE_B,
      SDL_SCANCODE_N, SDL_SCANCODE_M,  // 44..50
  };
  for (int i = 0; i < 10; ++i) m[letters[i]] = 16 + i;
  for (int i = 0; i < 9; ++i) m[letters[10 + i]] = 30 + i;
  for (int i = 0; i < 7; ++i) m[letters[19 + i]] = 44 + i;
  for (int i = 0; i < 9; ++i) m[SDL_SCANCODE_1 + i] = 2 + i;
  m[SDL_SCANCODE_0] = 11;
  for (int i = 0; i < 10; ++i) m[SDL_SCANCODE_F1 + i] = 59 + i;
  m[SDL_SCANCODE_F11] = 87;
  m[SDL_SCANCODE_F12] = 88;
  m[SDL_SCANCODE_F13] = 100;
  m[SDL_SCANCODE_F14] = 101;
  m[SDL_SCANCODE_F15] = 102;

  struct Pair { SDL_Scancode sdl; int code; };
  static const Pair pairs[] = {
      {SDL_SCANCODE_ESCAPE, 1}, {SDL_SCANCODE_MINUS, 12}, {SDL_SCANCODE_EQUALS, 13},
      {SDL_SCANCODE_BACKSPACE, 14}, {SDL_SCANCODE_TAB, 15}, {SDL_SCANCODE_LEFTBRACKET, 26},
      {SDL_SCANCODE_RIGHTBRACKET, 27}, {SDL_SCANCODE_RETURN, 28}, {SDL_SCANCODE_LCTRL, 29},
      {SDL_SCANCODE_SEMICOLON, 39}, {SDL_SCANCODE_APOSTROPHE, 40}, {SDL_SCANCODE_GRAVE, 41},
      {SDL_SCANCODE_LSHIFT, 42}, {SDL_SCANCODE_BACKSLASH, 43}, {SDL_SCANCODE_NONUSHASH, 43},
      {SDL_SCANCODE_COMMA, 51}, {SDL_SCANCODE_PERIOD, 52}, {SDL_SCANCODE_SLASH, 53},
      {SDL_SCANCODE_RSHIFT, 54}, {SDL_SCANCODE_KP_MULTIPLY, 55}, {SDL_SCANCODE_LALT, 56},
      {SDL_SCANCODE_SPACE, 57}, {SDL_SCANCODE_CAPSLOCK, 58}, {SDL_SCANCODE_NUMLOCKCLEAR, 69},
      {SDL_SCANCODE_SCROLLLOCK, 70}, {SDL_SCANCODE_KP_7, 71}, {SDL_SCANCODE_KP_8, 72},
      {SDL_SCANCODE_KP_9, 73}, {SDL_SCANCODE_KP_MINUS, 74}, {SDL_SCANCODE_KP_4, 75},
      {SDL_SCANCODE_KP_5, 76}, {SDL_SCANCODE_KP_6, 77}, {SDL_SCANCODE_KP_PLUS, 78},
      {SDL_SCANCODE_KP_1, 79}, {SDL_SCANCODE_KP_2, 80}, {SDL_SCANCODE_KP_3, 81},
      {SDL_SCANCODE_KP_0, 82}, {SDL_SCANCODE_KP_PERIOD, 83}, {SDL_SCANCODE_NONUSBACKSLASH, 86},
      {SDL_SCANCODE_INTERNATIONAL2, 0x70}, {SDL_SCANCODE_INTERNATIONAL1, 0x73},
      {SDL_SCANCODE_INTERNATIONAL4, 0x79}, {SDL_SCANCODE_INTERNATIONAL5, 0x7B},
      {SDL_SCANCODE_INTERNATIONAL3, 0x7D}, {SDL_SCANCODE_KP_EQUALS, 0x8D},
      {SDL_SCANCODE_KP_ENTER, 156}, {SDL_SCANCODE_RCTRL, 157}, {SDL_SCANCODE_KP_COMMA, 0xB3},
      {SDL_SCANCODE_KP_DIVIDE, 181}, {SDL_SCANCODE_PRINTSCREEN, 183}, {SDL_SCANCODE_SYSREQ, 183},
      {SDL_SCANCODE_RALT, 184}, {SDL_SCANCODE_PAUSE, 197}, {SDL_SCANCODE_HOME, 199},
      {SDL_SCANCODE_UP, 200}, {SDL_SCANCODE_PAGEUP, 201}, {SDL_SCANCODE_LEFT, 203},
      {SDL_SCANCODE_RIGHT, 205}, {SDL_SCANCODE_END, 207}, {SDL_SCANCODE_DOWN, 208},
      {SDL_SCANCODE_PAGEDOWN, 209}, {SDL_SCANCODE_INSERT, 210}, {SDL_SCANCODE_DELETE, 211},
      {SDL_SCANCODE_LGUI, 219}, {SDL_SCANCODE_RGUI, 220}, {SDL_SCANCODE_APPLICATION, 221},
  };
  for (const Pair& p : pairs) m[p.sdl] = p.code;
  state.keyMapBuilt = true;
}

void OpenPad(int deviceIndex) {
  int slot = 0;
  while (slot < kPadSlots && (state.pads[slot].controller || state.pads[slot].joystick)) ++slot;
  if (slot == kPadSlots) return;
  SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
  for (const PadSlot& p : state.pads) {
    if ((p.controller || p.joystick) && p.id == id) return;  // added twice (controller and joystick events)
  }
  PadSlot& s = state.pads[slot];
  if (SDL_IsGameController(deviceIndex)) {
    s.controller = SDL_GameControllerOpen(deviceIndex);
  } else {
    s.joystick = SDL_JoystickOpen(deviceIndex);
  }
  if (s.controller || s.joystick) s.id = id;
}

void ClosePad(SDL_JoystickID id) {
  for (PadSlot& p : state.pads) {
    if (!(p.controller || p.joystick) || p.id != id) continue;
    if (p.controller) SDL_GameControllerClose(p.controller);
    if (p.joystick) SDL_JoystickClose(p.joystick);
    p = PadSlot{};
  }
}

unsigned DirectionBits(bool down, bool left, bool right, bool up) {
  return (down ? 1u : 0u) | (left ? 2u : 0u) | (right ? 4u : 0u) | (up ? 8u : 0u);
}

unsigned ControllerBits(SDL_GameController* c) {
  Sint16 x = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX);
  Sint16 y = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTY);
  auto button = [c](SDL_GameControllerButton b) { return SDL_GameControllerGetButton(c, b) != 0; };
  unsigned bits = DirectionBits(button(SDL_CONTROLLER_BUTTON_DPAD_DOWN) || y > kAxisThreshold,
                                button(SDL_CONTROLLER_BUTTON_DPAD_LEFT) || x < -kAxisThreshold,
                                button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT) || x > kAxisThreshold,
                                button(SDL_CONTROLLER_BUTTON_DPAD_UP) || y < -kAxisThreshold);
  // Face buttons first, as a classic pad numbers them.
  static const SDL_GameControllerButton order[] = {
      SDL_CONTROLLER_BUTTON_A, SDL_CONTROLLER_BUTTON_B, SDL_CONTROLLER_BUTTON_X,
      SDL_CONTROLLER_BUTTON_Y, SDL_CONTROLLER_BUTTON_LEFTSHOULDER,
      SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, SDL_CONTROLLER_BUTTON_BACK, SDL_CONTROLLER_BUTTON_START,
      SDL_CONTROLLER_BUTTON_LEFTSTICK, SDL_CONTROLLER_BUTTON_RIGHTSTICK, SDL_CONTROLLER_BUTTON_GUIDE,
  };
  for (unsigned i = 0; i < sizeof order / sizeof order[0]; ++i) {
    if (button(order[i])) bits |= 16u << i;
  }
  return bits;
}

unsigned JoystickBits(SDL_Joystick* j) {
  Sint16 x = SDL_JoystickNumAxes(j) > 0 ? SDL_JoystickGetAxis(j, 0) : 0;
  Sint16 y = SDL_JoystickNumAxes(j) > 1 ? SDL_JoystickGetAxis(j, 1) : 0;
  Uint8 hat = SDL_JoystickNumHats(j) > 0 ? SDL_JoystickGetHat(j, 0) : SDL_HAT_CENTERED;
  unsigned bits = DirectionBits((hat & SDL_HAT_DOWN) || y > kAxisThreshold,
                                (hat & SDL_HAT_LEFT) || x < -kAxisThreshold,
                                (hat & SDL_HAT_RIGHT) || x > kAxisThreshold,
                                (hat & SDL_HAT_UP) || y < -kAxisThreshold);
  int buttons = SDL_JoystickNumButtons(j);
  for (int i = 0; i < buttons && i < kMaxPadButtons; ++i) {
    if (SDL_JoystickGetButton(j, i)) bits |= 16u << i;
  }
  return bits;
}

}  // namespace

int PlatformInput_Init() {
  BuildKeyMap();
  if (state.started) return 0;
  if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) return -1;
  state.started = true;
  // Pads already present also arrive as device-added events; open them now all the same.
  for (int i = 0, n = SDL_NumJoysticks(); i < n; ++i) OpenPad(i);
  return 0;
}

void PlatformInput_Term() {
  if (!state.started) return;
  for (PadSlot& p : state.pads) {
    if (p.controller || p.joystick) ClosePad(p.id);
  }
  SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  state.started = false;
}

void PlatformInput_OnEvent(const SDL_Event& event) {
  if (!state.started) return;
  switch (event.type) {
    case SDL_CONTROLLERDEVICEADDED:
    case SDL_JOYDEVICEADDED:
      OpenPad(event.cdevice.which);
      break;
    case SDL_CONTROLLERDEVICEREMOVED:
    case SDL_JOYDEVICEREMOVED:
      ClosePad(event.cdevice.which);
      break;
    default:
      break;
  }
}

void PlatformInput_GetKeyState(unsigned char out[256]) {
  BuildKeyMap();
  std::memset(out, 0, 256);
  int count = 0;
  const Uint8* keys = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetKeyboardState(&count) : nullptr;
  for (int sc = 0; keys && sc < count && sc < SDL_NUM_SCANCODES; ++sc) {
    if (keys[sc] && state.keyMap[sc]) out[state.keyMap[sc]] = 1;
  }
  TestDriver_AddScriptedKeys(out);
}

int PlatformInput_GetPadState(int pad) {
  if (pad < 1 || pad > kPadSlots) return 0;
  unsigned bits = 0;
  const PadSlot& s = state.pads[pad - 1];
  if (s.controller) bits = ControllerBits(s.controller);
  if (s.joystick) bits = JoystickBits(s.joystick);
  return static_cast<int>(bits) | TestDriver_ScriptedPad(pad);
}

int PlatformInput_KeyCodeFromScancode(int scancode) {
  BuildKeyMap();
  if (scancode < 0 || scancode >= SDL_NUM_SCANCODES) return 0;
  return state.keyMap[scancode];
}
