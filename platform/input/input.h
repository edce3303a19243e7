// Platform layer: keyboard and joypads, in the engine's codes.
#pragma once

// Opens the game-controller and joystick support; pads are hot-plugged through the
// window's event stream. 0, or -1 when no pad can ever be read (the keyboard still works).
int PlatformInput_Init();
void PlatformInput_Term();

// Key state in engine key codes (classic PC set-1 scan codes): out[code] is 1 while down.
// Includes keys held by the test driver.
void PlatformInput_GetKeyState(unsigned char out[256]);
// Pad 1..4: 1 down, 2 left, 4 right, 8 up, then one bit per button from 16 upward.
// Includes bits set by the test driver.
int PlatformInput_GetPadState(int pad);

// The engine key code of an SDL scancode (a USB HID usage number), 0 when it has none.
int PlatformInput_KeyCodeFromScancode(int scancode);
