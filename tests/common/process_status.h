// The process's memory as the kernel counts it, for the tests and benchmarks that measure it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// A field of /proc/self/status in kB ("VmRSS", "VmHWM", "RssAnon"), in bytes; 0 when absent.
inline double ProcessStatusBytes(const char* field) {
  const std::string name = std::string(field) + ":";
  long kb = 0;
  char line[256];
  std::FILE* f = std::fopen("/proc/self/status", "r");
  while (f && std::fgets(line, sizeof line, f))
    if (std::strncmp(line, name.c_str(), name.size()) == 0) kb = std::atol(line + name.size());
  if (f) std::fclose(f);
  return kb * 1024.0;
}
