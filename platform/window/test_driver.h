// Test driver: scripts the platform's input, window events and clock without a display.
//
//   TestDriver_Reset();                       // at the start of every test
//   TestDriver_KeyDown(KeyCode::Z);          // engine key codes (1 Escape, 0x1E A, 0xC8 Up, ...)
//   TestDriver_SetPad(1, PadBit::Left | PadBit::Button1);
//   TestDriver_Focus(0); TestDriver_Close();  // queued window events
//   TestDriver_SetManualClock(0, 0);          // GetMicrosecondCount now reads 0
//   TestDriver_AdvanceClock(16666);
//
// Keys and pad bits take effect at once: the next IsKeyDown / GetAllKeyStates /
// GetPadInputState sees them, OR-ed with the real devices. Focus and close events are
// queued ahead of the real window's events and take effect when the message pump
// (ProcessWindowMessages, PumpMessages, WaitWhileInactive) dispatches them.
// With the manual clock on, GetMicrosecondCount and GetNowCount read it, and
// SleepMilliseconds advances it instead of sleeping.
//
// A script can also drive the real program from outside: when the environment variable
// TAMRAK_INPUT_SCRIPT names a file, LibInit loads it. Each line is
//   <pump> key <code> <1 down | 0 up>
//   <pump> pad <pad> <bits>
//   <pump> focus <1 | 0>
//   <pump> close
// where <pump> counts PumpMessages calls from 1 (the action applies at the start of that
// call); numbers may be decimal or 0x hex, and '#' starts a comment.
#pragma once

#include <cstdint>

void TestDriver_Reset();  // keys up, pads 0, event queue and script emptied, real clock
void TestDriver_KeyDown(int keyCode);
void TestDriver_KeyUp(int keyCode);
void TestDriver_SetPad(int pad, int bits);  // pad 1..4
void TestDriver_Focus(int active);          // queues focus gained (1) or lost (0)
void TestDriver_Close();                    // queues the window's close request

// stepPerRead: microseconds added after every reading of the clock, so that loops that
// wait for time to pass also end (0: the clock moves only by Advance and Sleep).
void TestDriver_SetManualClock(int64_t startMicroseconds, int64_t stepPerRead);
void TestDriver_AdvanceClock(int64_t microseconds);
void TestDriver_ReleaseClock();
int TestDriver_IsClockManual();

// Script text in the format above; replaces any loaded script. 0, or -1 with the line
// number of the first bad line in *badLine (when not null).
int TestDriver_LoadScript(const char* text, int* badLine);
int TestDriver_LoadScriptFile(const char* path);
// Called by the engine at the start of every PumpMessages: applies the actions due.
void TestDriver_ScriptStep();

// ---- read by the platform backends

struct PlatformEvent;
void TestDriver_AddScriptedKeys(unsigned char keys[256]);  // sets keys[code] to 1 where scripted down
int TestDriver_ScriptedPad(int pad);
int TestDriver_PopEvent(PlatformEvent* out);  // 1 when a queued event was taken
// 1 and the manual time in *now when the manual clock is on.
int TestDriver_ClockRead(int64_t* now);
// 1 when the manual clock took the sleep.
int TestDriver_ClockSleep(int milliseconds);
// 1 when the manual clock took the sleep: it moves to `time` unless it is already past it.
int TestDriver_ClockSleepUntil(int64_t time);
