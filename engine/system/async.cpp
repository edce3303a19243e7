// The API lock, the loading threads and the calls they hand to the main thread.
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/system/system.h"
#include "engine/system/system_internal.h"
#include "engine/system/test_hooks.h"
#include "platform/lifelong.h"
#include "platform/time/time.h"

namespace {

// Re-entrant for its owner; waiting threads get it in the order they came (tickets).
struct ApiLock {
  std::mutex lock;
  std::condition_variable turn;
  std::thread::id owner;
  int depth = 0;
  uint64_t nextTicket = 0;
  uint64_t serving = 0;
};

// Lifelong: a thread may still be waiting for it as the process ends.
ApiLock& TheApiLock() { return Lifelong<ApiLock>(); }

struct PendingCall {
  MainThreadRequest* request;
  int result = 0;
  bool done = false;
};

struct AsyncState {
  std::mutex lock;  // the fields up to mainThread; only the log's lock is taken under it
  std::condition_variable work;
  std::condition_variable callDone;
  std::deque<AsyncLoadRequest*> queue;
  std::deque<PendingCall*> mainCalls;
  std::vector<PendingCall*> serving;  // the calls the main thread is running, innermost last
  std::vector<std::thread> threads;
  bool running = false;
  bool stopping = false;
  bool exiting = false;  // the process is ending: calls to the main thread are refused
  int active = 0;  // requests being run
  int nextNumber = 0;
  bool asyncFlag = false;
  // Read by every draw call: kept out of the lock.
  std::atomic<std::thread::id> mainThread{};
};

AsyncState& State() { return Lifelong<AsyncState>(); }

thread_local bool onLoadingThread = false;

void LoadingThread() {
  onLoadingThread = true;
  AsyncState& s = State();
  std::unique_lock<std::mutex> guard(s.lock);
  for (;;) {
    s.work.wait(guard, [&] { return s.stopping || !s.queue.empty(); });
    if (s.queue.empty()) return;  // stopping, and nothing left to run
    AsyncLoadRequest* request = s.queue.front();
    s.queue.pop_front();
    ++s.active;
    guard.unlock();
    if (request->routine) request->routine(request);
    MemFree(request);
    guard.lock();
    --s.active;
  }
}

}  // namespace

void EnterApiLock() {
  ApiLock& l = TheApiLock();
  std::unique_lock<std::mutex> guard(l.lock);
  std::thread::id me = std::this_thread::get_id();
  if (l.depth > 0 && l.owner == me) {
    ++l.depth;
    return;
  }
  uint64_t ticket = l.nextTicket++;
  l.turn.wait(guard, [&] { return l.depth == 0 && l.serving == ticket; });
  l.owner = me;
  l.depth = 1;
}

void LeaveApiLock() {
  ApiLock& l = TheApiLock();
  std::lock_guard<std::mutex> guard(l.lock);
  if (l.depth == 0 || l.owner != std::this_thread::get_id()) return;
  if (--l.depth > 0) return;
  l.owner = std::thread::id();
  ++l.serving;
  l.turn.notify_all();
}

int GetApiLockWaiterCount() {
  ApiLock& l = TheApiLock();
  std::lock_guard<std::mutex> guard(l.lock);
  return static_cast<int>(l.nextTicket - l.serving) - (l.depth > 0 ? 1 : 0);
}

void SetMainThread() { State().mainThread.store(std::this_thread::get_id(), std::memory_order_release); }

int IsMainThread() {
  const std::thread::id main = State().mainThread.load(std::memory_order_acquire);
  return main == std::thread::id() || main == std::this_thread::get_id() ? 1 : 0;
}

int StartAsyncLoadThreads() {
  AsyncState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.running) return 0;
  s.stopping = false;
  s.running = true;
  try {
    for (int i = 0; i < ASYNC_LOAD_THREAD_COUNT; ++i) s.threads.emplace_back(LoadingThread);
  } catch (const std::system_error&) {
    LogPrint("Loading threads cannot be started\n");
    s.stopping = true;
    s.work.notify_all();
    return -1;  // the caller stops those that did start
  }
  return 0;
}

int StopAsyncLoadThreads() {
  AsyncState& s = State();
  {
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.running) return 0;
    s.stopping = true;
    s.work.notify_all();
  }
  // Queued loads still run; their calls to the main thread are served meanwhile.
  for (;;) {
    ProcessAsyncMainThreadRequests();
    std::unique_lock<std::mutex> guard(s.lock);
    if (s.queue.empty() && s.active == 0) break;
    guard.unlock();
    PlatformTime_RealSleep(1);
  }
  for (std::thread& t : s.threads) t.join();
  std::lock_guard<std::mutex> guard(s.lock);
  s.threads.clear();
  s.running = false;
  s.stopping = false;
  return 0;
}

void EndAsyncLoadThreadsForExit() {
  AsyncState& s = State();
  std::vector<std::thread> threads;
  std::deque<AsyncLoadRequest*> dropped;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.running) return;
    // The main thread is ending the process and serves nothing more, not even the call it may be
    // running (exit() from inside it): queued loads are dropped, and a load waiting for the main
    // thread gets a failure and finishes.
    s.stopping = true;
    s.exiting = true;
    dropped.swap(s.queue);
    if (IsMainThread()) s.mainCalls.insert(s.mainCalls.end(), s.serving.begin(), s.serving.end());
    for (PendingCall* call : s.mainCalls) {
      call->result = -1;
      call->done = true;
    }
    s.mainCalls.clear();
    s.callDone.notify_all();
    s.work.notify_all();
    threads.swap(s.threads);
  }
  for (AsyncLoadRequest* request : dropped) MemFree(request);
  for (std::thread& t : threads) {
    if (t.get_id() == std::this_thread::get_id())
      t.detach();  // exit() was called on this loading thread
    else
      t.join();
  }
  std::lock_guard<std::mutex> guard(s.lock);
  s.running = false;
}

AsyncLoadRequest* AllocAsyncLoadRequest(size_t paramSize) {
  if (paramSize > SIZE_MAX - sizeof(AsyncLoadRequest)) {
    LogPrintf("Loading request of %zu parameter bytes cannot be made", paramSize);
    return nullptr;
  }
  auto request = static_cast<AsyncLoadRequest*>(TK_CALLOC(sizeof(AsyncLoadRequest) + paramSize));
  if (!request) {
    LogPrintf("Loading request of %zu parameter bytes cannot be made", paramSize);
    return nullptr;
  }
  request->paramSize = paramSize;
  request->number = -1;
  request->params = reinterpret_cast<unsigned char*>(request + 1);
  return request;
}

int AddAsyncLoadRequest(AsyncLoadRequest* request, const char* name) {
  if (!request) return -1;
  AsyncState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.running || s.stopping) {
    LogPrintf("Loading request %s refused: the loading threads are not running", name ? name : "");
    return -1;
  }
  request->number = s.nextNumber;
  s.nextNumber = s.nextNumber == INT32_MAX ? 0 : s.nextNumber + 1;
  s.queue.push_back(request);
  s.work.notify_one();
  return request->number;
}

int SetAsyncLoadFlag(int flag) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().asyncFlag = flag != 0;
  return 0;
}

int GetAsyncLoadFlag() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().asyncFlag ? 1 : 0;
}

int GetAsyncLoadRequestCount() {
  std::lock_guard<std::mutex> guard(State().lock);
  return static_cast<int>(State().queue.size()) + State().active;
}

int RequestMainThreadCall(MainThreadRequest* request) {
  if (!request || !request->routine) return -1;
  if (IsMainThread()) return request->routine(request->argument);
  AsyncState& s = State();
  PendingCall call{request};
  std::unique_lock<std::mutex> guard(s.lock);
  if (s.exiting) return -1;
  s.mainCalls.push_back(&call);
  s.callDone.wait(guard, [&] { return call.done; });
  return call.result;
}

int ProcessAsyncMainThreadRequests() {
  AsyncState& s = State();
  int served = 0;
  for (;;) {
    std::unique_lock<std::mutex> guard(s.lock);
    if (s.mainCalls.empty()) break;
    PendingCall* call = s.mainCalls.front();
    s.mainCalls.pop_front();
    s.serving.push_back(call);
    guard.unlock();
    int result = call->request->routine(call->request->argument);
    guard.lock();
    s.serving.pop_back();
    call->result = result;
    call->done = true;
    s.callDone.notify_all();
    ++served;
  }
  return served;
}
