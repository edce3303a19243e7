// Platform layer: time.
#pragma once

#include <cstdint>

// Monotonic microseconds; follows the test driver's manual clock when it is on.
int64_t PlatformTime_Microseconds();
// Sleeps; with the manual clock on, advances it instead.
void PlatformTime_Sleep(int milliseconds);
// Always sleeps for real (waiting on other threads or devices, not on game time).
void PlatformTime_RealSleep(int milliseconds);

struct PlatformDateTime {
  int year, month, day, hour, minute, second;
};
int PlatformTime_LocalDateTime(PlatformDateTime* out);  // 0 or -1
