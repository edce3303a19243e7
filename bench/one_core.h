// Holds the process to the core it runs on while alive, so a figure is one core's.
#pragma once

#include <sched.h>

struct OneCore {
  cpu_set_t saved;
  OneCore() {
    sched_getaffinity(0, sizeof(saved), &saved);
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    sched_setaffinity(0, sizeof(one), &one);
  }
  ~OneCore() { sched_setaffinity(0, sizeof(saved), &saved); }
};
