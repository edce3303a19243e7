// The engine allocator: every block carries its source, line, number and size, sits in
// the list of live blocks and is framed by guards that a stray write breaks.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "engine/system/system.h"
#include "engine/system/test_hooks.h"
#include "platform/lifelong.h"

namespace {

constexpr size_t kGuardSize = 16;
constexpr size_t kFileNameSize = 48;
constexpr uint64_t kGuardMagic = 0x7A3C5E91D2B4F608ull;

struct alignas(16) MemBlockHeader {
  char file[kFileNameSize];  // the tail of the source path
  int line;
  uint32_t number;
  size_t size;
  MemBlockHeader* prev;
  MemBlockHeader* next;
  unsigned char guard[kGuardSize];  // just before the data; a copy follows the data
};
static_assert(offsetof(MemBlockHeader, guard) + kGuardSize == sizeof(MemBlockHeader),
              "the guard must touch the data");

struct MemState {
  // Innermost (platform/media/media_base.h): taken under media and handle locks; only the log's
  // lock is taken under it.
  std::mutex lock;
  MemBlockHeader* first = nullptr;
  uint32_t nextNumber = 1;
  int count = 0;
  size_t bytes = 0;
  size_t peak = 0;  // the most bytes live since TakeAllocMemoryPeak
};

// Lifelong also for the static destructors that free blocks.
MemState& State() { return Lifelong<MemState>(); }

void MakeGuard(const MemBlockHeader* h, unsigned char out[kGuardSize]) {
  uint64_t a = kGuardMagic ^ h->number;
  uint64_t b = kGuardMagic ^ static_cast<uint64_t>(h->size);
  std::memcpy(out, &a, 8);
  std::memcpy(out + 8, &b, 8);
}

unsigned char* DataOf(MemBlockHeader* h) { return reinterpret_cast<unsigned char*>(h + 1); }

MemBlockHeader* HeaderOf(void* block) { return static_cast<MemBlockHeader*>(block) - 1; }

[[noreturn]] void GuardBroken(const MemBlockHeader* h, const char* where) {
  char file[kFileNameSize + 1] = {};
  std::memcpy(file, h->file, kFileNameSize);
  char text[256];
  std::snprintf(text, sizeof text, "Memory guard broken (%s): block %u, %s(%d), %zu bytes", where,
                h->number, file, h->line, h->size);
  std::fprintf(stderr, "%s\n", text);
  LogPrintf("%s", text);
  std::_Exit(-1);
}

// The leading guard also vouches for the size, so the trailing one is looked for only
// where it really is.
void CheckGuards(MemBlockHeader* h, const char* where) {
  unsigned char want[kGuardSize];
  MakeGuard(h, want);
  if (std::memcmp(h->guard, want, kGuardSize) != 0) GuardBroken(h, where);
  if (std::memcmp(DataOf(h) + h->size, want, kGuardSize) != 0) GuardBroken(h, where);
}

void* Allocate(size_t size, const char* file, int line, bool zero) {
  if (size > SIZE_MAX - sizeof(MemBlockHeader) - kGuardSize) {
    LogPrintf("MemAlloc: %zu bytes cannot be had (%s(%d))", size, file ? file : "", line);
    return nullptr;
  }
  size_t total = sizeof(MemBlockHeader) + size + kGuardSize;
  void* raw = zero ? std::calloc(1, total) : std::malloc(total);
  if (!raw) {
    LogPrintf("MemAlloc: %zu bytes cannot be had (%s(%d))", size, file ? file : "", line);
    return nullptr;
  }
  MemBlockHeader* h = static_cast<MemBlockHeader*>(raw);
  std::memset(h, 0, sizeof *h);
  if (file) {
    size_t len = std::strlen(file);
    const char* tail = len > kFileNameSize - 1 ? file + len - (kFileNameSize - 1) : file;
    std::memcpy(h->file, tail, std::strlen(tail));
  }
  h->line = line;
  h->size = size;
  MemState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  h->number = s.nextNumber++;
  MakeGuard(h, h->guard);
  std::memcpy(DataOf(h) + size, h->guard, kGuardSize);
  h->next = s.first;
  if (s.first) s.first->prev = h;
  s.first = h;
  ++s.count;
  s.bytes += size;
  if (s.bytes > s.peak) s.peak = s.bytes;
  return DataOf(h);
}

}  // namespace

void* MemAlloc(size_t size, const char* file, int line) { return Allocate(size, file, line, false); }

void* MemCalloc(size_t size, const char* file, int line) { return Allocate(size, file, line, true); }

void MemFree(void* block) {
  if (!block) return;
  MemBlockHeader* h = HeaderOf(block);
  MemState& s = State();
  {
    std::lock_guard<std::mutex> guard(s.lock);
    CheckGuards(h, "free");
    if (h->prev) h->prev->next = h->next;
    else s.first = h->next;
    if (h->next) h->next->prev = h->prev;
    --s.count;
    s.bytes -= h->size;
  }
  std::memset(h->guard, 0, kGuardSize);  // a second free of the block fails its guard
  std::free(h);
}

void* MemRealloc(void* block, size_t size, const char* file, int line) {
  if (!block) return MemAlloc(size, file, line);
  MemBlockHeader* old = HeaderOf(block);
  size_t oldSize;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    CheckGuards(old, "realloc");
    oldSize = old->size;
  }
  void* fresh = MemAlloc(size, file, line);
  if (!fresh) return nullptr;  // the old block stays the caller's
  std::memcpy(fresh, block, oldSize < size ? oldSize : size);
  MemFree(block);
  return fresh;
}

void MemFill(void* dst, int value, size_t count) {
  if (dst && count) std::memset(dst, value, count);
}

void MemCopy(void* dst, const void* src, size_t count) {
  if (dst && src && count) std::memcpy(dst, src, count);
}

int MemCompare(const void* a, const void* b, size_t count) {
  if (count == 0) return 0;
  return std::memcmp(a, b, count) == 0 ? 0 : 1;
}

int GetAllocMemoryCount(size_t* bytes) {
  std::lock_guard<std::mutex> guard(State().lock);
  if (bytes) *bytes = State().bytes;
  return State().count;
}

size_t TakeAllocMemoryPeak() {
  MemState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  const size_t peak = s.peak > s.bytes ? s.peak : s.bytes;
  s.peak = s.bytes;
  return peak;
}

int CheckAllocMemory() {
  std::lock_guard<std::mutex> guard(State().lock);
  for (MemBlockHeader* h = State().first; h; h = h->next) CheckGuards(h, "check");
  return 0;
}

int DumpAllocMemory() {
  MemState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.count == 0) return 0;
  LogPrintf("Memory blocks still allocated: %d (%zu bytes)", s.count, s.bytes);
  LogIndentAdd();
  // Oldest first: the list holds the newest at its head.
  MemBlockHeader* last = s.first;
  while (last && last->next) last = last->next;
  for (MemBlockHeader* h = last; h; h = h->prev) {
    CheckGuards(h, "dump");
    char file[kFileNameSize + 1] = {};
    std::memcpy(file, h->file, kFileNameSize);
    LogPrintf("%s(%d) number %u, %zu bytes", file, h->line, h->number, h->size);
  }
  LogIndentSub();
  return s.count;
}
