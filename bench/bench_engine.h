// The engine as the benchmarks run it: no display, a small 32-bit screen, and the null sound
// output, which a benchmark mixes as its time goes.
#pragma once

#include <cstdlib>

#include "engine/draw/draw.h"
#include "engine/system/system.h"
#include "platform/audio/audio.h"

struct BenchEngine {
  BenchEngine() {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    AudioNull_Install(&audio);
    SetScreenMode(128, 64, 32);
    started = LibInit() == 0;
    device = AudioNull_Current();
  }
  ~BenchEngine() {
    if (started) LibEnd();
    AudioNull_Install(nullptr);
  }
  BenchEngine(const BenchEngine&) = delete;
  BenchEngine& operator=(const BenchEngine&) = delete;

  NullAudioConfig audio;
  AudioDevice* device = nullptr;
  bool started = false;
};
