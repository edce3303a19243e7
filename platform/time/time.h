// Platform layer: time.
#pragma once

#include <cstdint>

// Monotonic microseconds; follows the test driver's manual clock when it is on.
int64_t PlatformTime_Microseconds();
// Sleeps; with the manual clock on, advances it instead.
void PlatformTime_Sleep(int milliseconds);
// Sleeps until PlatformTime_Microseconds reaches the given time (it may wake a little
// after it); with the manual clock on, moves the clock there instead.
void PlatformTime_SleepUntil(int64_t microseconds);
// Always sleeps for real (waiting on other threads or devices, not on game time).
void PlatformTime_RealSleep(int milliseconds);

struct PlatformDateTime {
  int year, month, day, hour, minute, second;
};
int PlatformTime_LocalDateTime(PlatformDateTime* out);  // 0 or -1
