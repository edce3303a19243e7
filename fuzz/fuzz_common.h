// Shared by the fuzz targets: checks that stop the run on a finding, and a scratch folder for
// parsers that read files.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/system/system.h"

#define FUZZ_CHECK(cond)                                                              \
  do {                                                                                \
    if (!(cond)) {                                                                    \
      std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                                   \
    }                                                                                 \
  } while (0)

namespace fuzz {

// Millions of refused inputs would fill "Log.txt"; the checks here say what matters.
inline const bool kLogOff = (SetLogOutputFlag(0), true);

// The engine's live blocks at construction must be the live blocks at destruction.
class LiveBlocks {
 public:
  LiveBlocks() { count_ = GetAllocMemoryCount(&bytes_); }
  ~LiveBlocks() {
    size_t bytes = 0;
    const int count = GetAllocMemoryCount(&bytes);
    if (count != count_ || bytes != bytes_) {
      std::fprintf(stderr, "fuzz check failed: live blocks %d (%zu bytes) before, %d (%zu bytes) after\n", count_,
                   bytes_, count, bytes);
      std::abort();
    }
  }
  LiveBlocks(const LiveBlocks&) = delete;
  LiveBlocks& operator=(const LiveBlocks&) = delete;

 private:
  int count_;
  size_t bytes_ = 0;
};

// Makes a fresh folder under the temporary folder the working folder, headless drivers set.
inline void EnterScratchFolder() {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tamrak-fuzz-XXXXXX";
  if (!mkdtemp(pattern.data()) || chdir(pattern.c_str()) != 0) std::abort();
}

// Starts the engine for the whole run; it ends at exit, before the engine's statics go.
inline void StartEngine() {
  if (LibInit() != 0) std::abort();
  std::atexit([] { LibEnd(); });
}

inline void WriteWholeFile(const char* path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path, "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

}  // namespace fuzz
