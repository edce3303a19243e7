#include "platform/time/time.h"

#include <chrono>
#include <ctime>
#include <thread>

#include "platform/window/test_driver.h"

int64_t PlatformTime_Microseconds() {
  int64_t manual;
  if (TestDriver_ClockRead(&manual)) return manual;
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void PlatformTime_Sleep(int milliseconds) {
  if (milliseconds < 0) milliseconds = 0;
  if (TestDriver_ClockSleep(milliseconds)) return;
  PlatformTime_RealSleep(milliseconds);
}

void PlatformTime_RealSleep(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds));
}

int PlatformTime_LocalDateTime(PlatformDateTime* out) {
  if (!out) return -1;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (!localtime_r(&now, &local)) return -1;
  out->year = local.tm_year + 1900;
  out->month = local.tm_mon + 1;
  out->day = local.tm_mday;
  out->hour = local.tm_hour;
  out->minute = local.tm_min;
  out->second = local.tm_sec;
  return 0;
}
