// What the benchmarks share: files written for the run, and the process's resident memory.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/common/process_status.h"

// A file of this run in /tmp ("-" when it could not be written), removed when the program ends.
struct BenchFile {
  std::string path;
  ~BenchFile() {
    if (!path.empty() && path != "-") std::remove(path.c_str());
  }
};

inline std::string BenchFileName(const std::string& what) {
  return "/tmp/tamrak_bench_" + std::to_string(getpid()) + "_" + what;
}

// Resident memory now and at its highest since the last reset, in bytes.
inline void ResidentBytes(double* now, double* highest) {
  *now = ProcessStatusBytes("VmRSS");
  *highest = ProcessStatusBytes("VmHWM");
}

// The highest point counts from here, where the kernel lets it be reset.
inline void ResetHighestResident() {
  if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
}
