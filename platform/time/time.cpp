#include "platform/time/time.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <thread>

#include "platform/window/test_driver.h"

namespace {

constexpr int64_t kMicrosecondsPerSecond = 1000000;

int64_t MonotonicMicroseconds() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);  // vDSO: no system call, no lock
  return static_cast<int64_t>(t.tv_sec) * kMicrosecondsPerSecond + t.tv_nsec / 1000;
}

}  // namespace

int64_t PlatformTime_Microseconds() {
  int64_t manual;
  if (TestDriver_ClockRead(&manual)) return manual;
  return MonotonicMicroseconds();
}

void PlatformTime_Sleep(int milliseconds) {
  if (milliseconds < 0) milliseconds = 0;
  if (TestDriver_ClockSleep(milliseconds)) return;
  PlatformTime_RealSleep(milliseconds);
}

void PlatformTime_SleepUntil(int64_t microseconds) {
  if (TestDriver_ClockSleepUntil(microseconds)) return;
  if (microseconds <= 0) return;
  timespec until{};
  until.tv_sec = static_cast<time_t>(microseconds / kMicrosecondsPerSecond);
  until.tv_nsec = static_cast<long>(microseconds % kMicrosecondsPerSecond) * 1000;
  // An absolute deadline: a signal that cuts the sleep short costs no drift.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
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
