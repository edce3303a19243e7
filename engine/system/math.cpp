// Conversions, clipping, random numbers and what the processor offers.
#include <cmath>
#include <mutex>
#include <thread>

#include "engine/system/system.h"
#include "engine/system/system_internal.h"
#include "platform/time/time.h"

int ProcessorHasMMX = 0;

namespace {

// Mersenne Twister MT19937 with its original seeding (the 69069 generator).
struct Twister {
  static constexpr int N = 624, M = 397;
  uint32_t mt[N];
  int index = N + 1;  // not seeded

  void Seed(uint32_t seed) {
    for (int i = 0; i < N; ++i) {
      mt[i] = seed & 0xFFFF0000u;
      seed = 69069u * seed + 1u;
      mt[i] |= (seed & 0xFFFF0000u) >> 16;
      seed = 69069u * seed + 1u;
    }
    index = N;
  }

  uint32_t Next() {
    if (index >= N) {
      if (index == N + 1) Seed(4357);
      for (int k = 0; k < N; ++k) {
        uint32_t y = (mt[k] & 0x80000000u) | (mt[(k + 1) % N] & 0x7FFFFFFFu);
        mt[k] = mt[(k + M) % N] ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
      }
      index = 0;
    }
    uint32_t y = mt[index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
  }
};

Twister twister;
std::mutex randomLock;
int processorOverride = 0;

}  // namespace

int ClipRect(RECT* r, const RECT* clip) {
  if (!r || !clip) return 0;
  if (r->right < r->left) r->right = r->left;
  if (r->bottom < r->top) r->bottom = r->top;
  auto clamp = [](int v, int low, int high) { return v > high ? high : (v < low ? low : v); };
  r->bottom = clamp(r->bottom, clip->top, clip->bottom);
  r->top = clamp(r->top, clip->top, clip->bottom);
  r->right = clamp(r->right, clip->left, clip->right);
  r->left = clamp(r->left, clip->left, clip->right);
  return 0;
}

int DoubleToInt(double value) {
  if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
  return static_cast<int>(value);
}

int FloatToInt(float value) { return DoubleToInt(static_cast<double>(value)); }

void SinCosF(float angle, float* sinOut, float* cosOut) {
  double a = static_cast<double>(angle);
  if (sinOut) *sinOut = static_cast<float>(std::sin(a));
  if (cosOut) *cosOut = static_cast<float>(std::cos(a));
}

int SetRandSeed(int seed) {
  std::lock_guard<std::mutex> guard(randomLock);
  twister.Seed(static_cast<uint32_t>(seed));
  return 0;
}

int GetRandRange(int max) {
  uint32_t r;
  {
    std::lock_guard<std::mutex> guard(randomLock);
    r = twister.Next();
  }
  // The high word of r * (max + 1); a negative max gives max..0.
  uint64_t span = static_cast<uint64_t>(max < 0 ? -static_cast<int64_t>(max) : static_cast<int64_t>(max)) + 1;
  int64_t value = static_cast<int64_t>((static_cast<uint64_t>(r) * span) >> 32);
  return static_cast<int>(max < 0 ? -value : value);
}

int GetRandRange(int max) { return GetRandRange(max); }

void SeedRandomFromClock() { SetRandSeed(static_cast<int>(static_cast<uint32_t>(PlatformTime_Microseconds()))); }

void DetectProcessorFeatures() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  ProcessorHasMMX = __builtin_cpu_supports("mmx") ? 1 : 0;
#else
  ProcessorHasMMX = 0;
#endif
}

int GetLogicalProcessorCount() {
  if (processorOverride > 0) return processorOverride;
  // Read once: the library asks the system files each time, and the message pump asks every frame.
  static const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : static_cast<int>(n);
}

int SetLogicalProcessorCount(int count) {
  processorOverride = count > 0 ? count : 0;
  return 0;
}

int64_t GetMicrosecondCount(int) { return PlatformTime_Microseconds(); }

int GetNowCount(int) {
  uint64_t ms = static_cast<uint64_t>(PlatformTime_Microseconds() / 1000);
  return static_cast<int>(ms & 0x7FFFFFFFu);
}

void SleepMilliseconds(int ms) { PlatformTime_Sleep(ms); }

void SleepUntilMicrosecondCount(int64_t time) { PlatformTime_SleepUntil(time); }

int GetLocalDateTime(LocalDateTime* out) {
  if (!out) return -1;
  PlatformDateTime t{};
  if (PlatformTime_LocalDateTime(&t) != 0) return -1;
  out->Year = t.year;
  out->Month = t.month;
  out->Day = t.day;
  out->Hour = t.hour;
  out->Minute = t.minute;
  out->Second = t.second;
  return 0;
}
