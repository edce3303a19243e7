// Numbered handles: type bits, a check number and the index in the type's table.
#include <mutex>
#include <new>
#include <vector>

#include "engine/system/system.h"
#include "platform/time/time.h"

struct HandleManagerImpl {
  std::recursive_mutex lock;
  HandleHeader* last = nullptr;
  int nextCheck = 1;
};

namespace {

constexpr int kMaxTableSize = 0x10000;  // the index has 16 bits
constexpr int kCheckLimit = 0x400;      // the check number has 10 bits

// One lock over every set's async-load counts; a set's own lock is taken first.
std::recursive_mutex& GlobalHandleLock() {
  static std::recursive_mutex lock;
  return lock;
}

HandleHeader* Find(HandleManager* m, HandleValue handle) {
  if (!m || !m->initialized || handle < 0) return nullptr;
  uint32_t v = static_cast<uint32_t>(handle);
  if ((v & HANDLE_TYPE_MASK) != m->typeBits) return nullptr;
  uint32_t index = v & HANDLE_INDEX_MASK;
  if (index >= static_cast<uint32_t>(m->maxCount)) return nullptr;
  HandleHeader* h = m->table[index];
  if (!h) return nullptr;
  if (static_cast<uint32_t>(h->checkNumber) != (v & HANDLE_CHECK_MASK) >> HANDLE_CHECK_SHIFT) return nullptr;
  return h;
}

void Unlink(HandleManager* m, HandleHeader* h) {
  if (h->prev) h->prev->next = h->next;
  else m->first = h->next;
  if (h->next) h->next->prev = h->prev;
  else m->impl->last = h->prev;
  h->prev = h->next = nullptr;
}

void Release(HandleManager* m, HandleHeader* h) {
  m->table[static_cast<uint32_t>(h->handle) & HANDLE_INDEX_MASK] = nullptr;
  Unlink(m, h);
  --m->count;
  MemFree(h);
}

}  // namespace

int InitHandleManager(HandleManager* manager, int handleType, int recordSize, int maxCount,
                      int (*initCallback)(HandleHeader*), int (*deleteCallback)(HandleHeader*),
                      const char* name) {
  if (!manager || manager->initialized) return -1;
  if (handleType < 1 || handleType > 31 || recordSize < static_cast<int>(sizeof(HandleHeader)) ||
      maxCount < 1 || maxCount > kMaxTableSize) {
    return -1;
  }
  auto table = static_cast<HandleHeader**>(TK_CALLOC(sizeof(HandleHeader*) * static_cast<size_t>(maxCount)));
  if (!table) return -1;
  manager->impl = new HandleManagerImpl;
  manager->typeBits = static_cast<uint32_t>(handleType) << HANDLE_TYPE_SHIFT;
  manager->recordSize = recordSize;
  manager->maxCount = maxCount;
  manager->count = 0;
  manager->table = table;
  manager->first = nullptr;
  manager->initCallback = initCallback;
  manager->deleteCallback = deleteCallback;
  manager->name = name ? name : "";
  manager->initialized = 1;
  return 0;
}

int TermHandleManager(HandleManager* manager) {
  if (!manager || !manager->initialized) return -1;
  DeleteAllHandles(manager, nullptr);
  {
    std::lock_guard<std::recursive_mutex> guard(manager->impl->lock);
    // Records that their delete callback kept go now.
    while (manager->first) Release(manager, manager->first);
    MemFree(manager->table);
    manager->table = nullptr;
    manager->initialized = 0;
  }
  delete manager->impl;
  manager->impl = nullptr;
  return 0;
}

HandleValue AddHandle(HandleManager* manager, HandleValue wanted) {
  if (!manager || !manager->initialized) return -1;
  std::lock_guard<std::recursive_mutex> guard(manager->impl->lock);
  int index = -1;
  int check = 0;
  if (wanted != -1) {
    uint32_t v = static_cast<uint32_t>(wanted);
    uint32_t wantedIndex = v & HANDLE_INDEX_MASK;
    if (wanted < 0 || (v & HANDLE_TYPE_MASK) != manager->typeBits ||
        wantedIndex >= static_cast<uint32_t>(manager->maxCount) || manager->table[wantedIndex]) {
      LogPrintf("%s handle 0x%08x cannot be made again", manager->name, static_cast<unsigned>(v));
      return -1;
    }
    index = static_cast<int>(wantedIndex);
    check = static_cast<int>((v & HANDLE_CHECK_MASK) >> HANDLE_CHECK_SHIFT);
  } else {
    if (manager->count >= manager->maxCount) {
      LogPrintf("%sハンドルの数が限界数( %d )に達していて新たなハンドルを作成できません", manager->name,
                manager->maxCount);
      return -1;
    }
    for (int i = 0; i < manager->maxCount; ++i) {
      if (!manager->table[i]) {
        index = i;
        break;
      }
    }
    check = manager->impl->nextCheck;
    manager->impl->nextCheck = check + 1 >= kCheckLimit ? 1 : check + 1;
  }
  auto h = static_cast<HandleHeader*>(TK_CALLOC(static_cast<size_t>(manager->recordSize)));
  if (!h) return -1;
  new (&h->asyncLoadCount) std::atomic<int>(0);
  h->checkNumber = check;
  h->handle = static_cast<HandleValue>(manager->typeBits | (static_cast<uint32_t>(check) << HANDLE_CHECK_SHIFT) |
                                       static_cast<uint32_t>(index));
  h->recordSize = manager->recordSize;
  manager->table[index] = h;
  h->prev = manager->impl->last;
  if (h->prev) h->prev->next = h;
  else manager->first = h;
  manager->impl->last = h;
  ++manager->count;
  if (manager->initCallback && manager->initCallback(h) < 0) {
    Release(manager, h);
    return -1;
  }
  return h->handle;
}

int SubHandle(HandleManager* manager, HandleValue handle) {
  if (!manager || !manager->initialized) return -1;
  std::unique_lock<std::recursive_mutex> guard(manager->impl->lock);
  HandleHeader* h = Find(manager, handle);
  if (!h) return -1;
  // A loading thread may need this lock or the main thread to finish its load.
  while (h->asyncLoadCount.load() != 0) {
    guard.unlock();
    if (IsMainThread()) ProcessAsyncMainThreadRequests();
    PlatformTime_RealSleep(1);
    guard.lock();
    h = Find(manager, handle);
    if (!h) return -1;
  }
  if (manager->deleteCallback && manager->deleteCallback(h) == 1) return 0;
  if (Find(manager, handle) == h) Release(manager, h);
  return 0;
}

int DeleteAllHandles(HandleManager* manager, int (*filter)(HandleHeader*)) {
  if (!manager || !manager->initialized) return -1;
  std::vector<HandleValue> doomed;
  {
    std::lock_guard<std::recursive_mutex> guard(manager->impl->lock);
    for (HandleHeader* h = manager->first; h; h = h->next) {
      if (!filter || filter(h)) doomed.push_back(h->handle);
    }
  }
  // Unlocked between handles, so a load that SubHandle waits for can finish.
  for (HandleValue v : doomed) SubHandle(manager, v);
  return 0;
}

HandleHeader* GetHandleRecord(HandleManager* manager, HandleValue handle) {
  if (!manager || !manager->initialized) return nullptr;
  std::lock_guard<std::recursive_mutex> guard(manager->impl->lock);
  return Find(manager, handle);
}

int IncHandleAsyncLoadCount(HandleManager* manager, HandleValue handle, int requestNumber) {
  if (!manager || !manager->initialized) return -1;
  std::lock_guard<std::recursive_mutex> guard(manager->impl->lock);
  std::lock_guard<std::recursive_mutex> global(GlobalHandleLock());
  HandleHeader* h = Find(manager, handle);
  if (!h) return -1;
  ++h->asyncLoadCount;
  h->asyncRequestNumber = requestNumber;
  return 0;
}

int DecHandleAsyncLoadCount(HandleManager* manager, HandleValue handle) {
  if (!manager || !manager->initialized) return -1;
  std::lock_guard<std::recursive_mutex> guard(manager->impl->lock);
  std::lock_guard<std::recursive_mutex> global(GlobalHandleLock());
  HandleHeader* h = Find(manager, handle);
  if (!h || h->asyncLoadCount.load() <= 0) return -1;
  --h->asyncLoadCount;
  return 0;
}

void LockHandleManager(HandleManager* manager) {
  if (manager && manager->initialized) manager->impl->lock.lock();
}

void UnlockHandleManager(HandleManager* manager) {
  if (manager && manager->initialized) manager->impl->lock.unlock();
}
