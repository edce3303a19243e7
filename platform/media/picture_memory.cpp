// Picture memory: mapped blocks, a list of spare ones, and their release with the C library's
// pools when a movie closes.
#include "platform/media/picture_memory.h"

#include <malloc.h>
#include <sys/mman.h>

#include <mutex>
#include <utility>
#include <vector>

#include "platform/lifelong.h"

namespace {

constexpr size_t kPageBytes = 4096;

size_t MappedLength(size_t bytes) { return (bytes + kPageBytes - 1) / kPageBytes * kPageBytes; }

// The C library's thresholds while movies are open, and after the last (its starting ones).
constexpr int kMovieMappingBytes = 1 << 20, kMovieTrimBytes = 2 << 20;
constexpr int kStartMappingBytes = 128 << 10, kStartTrimBytes = 128 << 10;

struct SpareBlocks {
  std::mutex lock;  // guards blocks and movies; innermost: no lock of ours is taken under it
  std::vector<std::pair<size_t, uint8_t*>> blocks;  // mapped length, block
  int movies = 0;   // between BeginMoviePictures and EndMoviePictures
};

// The least block the C library maps on its own, and the free end above which a pool gives back.
void SetPoolThresholds(int mappingBytes, int trimBytes) {
#ifdef M_MMAP_THRESHOLD
  mallopt(M_MMAP_THRESHOLD, mappingBytes);
  mallopt(M_TRIM_THRESHOLD, trimBytes);
#endif
}

SpareBlocks& Spare() { return Lifelong<SpareBlocks>(); }

}  // namespace

uint8_t* TakePictureMemory(size_t bytes) {
  const size_t length = MappedLength(bytes);
  {
    SpareBlocks& s = Spare();
    std::lock_guard<std::mutex> guard(s.lock);
    for (auto it = s.blocks.begin(); it != s.blocks.end(); ++it) {
      if (it->first != length) continue;
      uint8_t* block = it->second;
      s.blocks.erase(it);
      return block;
    }
  }
  void* mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  return static_cast<uint8_t*>(mapped);
}

void GivePictureMemory(uint8_t* block, size_t bytes) {
  if (!block) return;
  SpareBlocks& s = Spare();
  std::lock_guard<std::mutex> guard(s.lock);
  s.blocks.emplace_back(MappedLength(bytes), block);
}

void BeginMoviePictures() {
  SpareBlocks& s = Spare();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.movies++ == 0) SetPoolThresholds(kMovieMappingBytes, kMovieTrimBytes);
}

void EndMoviePictures() {
  std::vector<std::pair<size_t, uint8_t*>> gone;
  SpareBlocks& s = Spare();
  {
    std::lock_guard<std::mutex> guard(s.lock);
    gone.swap(s.blocks);
  }
  for (const auto& [length, block] : gone) munmap(block, length);
#ifdef __GLIBC__
  // What FFmpeg's threads freed below the mapping size lies in their pools in pieces.
  malloc_trim(0);
#endif
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.movies > 0 && --s.movies == 0) SetPoolThresholds(kStartMappingBytes, kStartTrimBytes);
}
