// The asynchronous reader's I/O worker: queued reads carried out on a thread of its own.
#include <chrono>
#include <new>

#include "engine/sound/graph/async_reader.h"

AsyncIoWorker::~AsyncIoWorker() {
  BeginFlush();
  Close();
  std::lock_guard<std::mutex> lock(listLock_);
  for (IoRequest* r : done_) delete r;
  done_.clear();
}

HRESULT AsyncIoWorker::Request(int64_t start, int32_t length, bool aligned, uint8_t* buffer, void* context,
                               uintptr_t user) {
  if (aligned && !IsAlignedRead(start, length, buffer)) return VFW_E_BADALIGN;
  auto* request = new (std::nothrow) IoRequest{start, aligned, length, buffer, context, user};
  if (!request) return E_OUTOFMEMORY;
  std::lock_guard<std::mutex> lock(listLock_);
  if (flushing_) {
    delete request;
    return VFW_E_WRONG_STATE;
  }
  pending_.push_back(request);
  work_ = true;
  workReady_.notify_one();
  if (!thread_.Joinable()) {
    stop_ = false;
    if (!thread_.Start([this] { Process(); })) {
      pending_.pop_back();
      delete request;
      return E_OUTOFMEMORY;
    }
  }
  return S_OK;
}

void AsyncIoWorker::Complete(IoRequest* r) {
  uint32_t read = 0;
  HRESULT hr;
  {
    std::lock_guard<std::mutex> lock(streamLock_);
    // A position the stream refuses would make the read copy from outside it.
    hr = stream_->SetPointer(r->start) == S_OK ? stream_->Read(r->buffer, uint32_t(r->length), r->aligned, &read)
                                               : E_FAIL;
  }
  if (hr == kReadDiscontinuity) {
    if (r->context) static_cast<IMediaSample*>(r->context)->SetDiscontinuity(true);
    hr = S_OK;
  }
  if (SUCCEEDED(hr) && read < uint32_t(r->length)) {
    r->length = int32_t(read);
    hr = S_FALSE;
  }
  r->result = FAILED(hr) || hr == S_FALSE ? hr : S_OK;
  if (FAILED(hr)) r->length = 0;
}

void AsyncIoWorker::Process() {
  std::unique_lock<std::mutex> lock(listLock_);
  for (;;) {
    workReady_.wait(lock, [&] { return stop_ || work_; });
    if (stop_) return;
    while (!pending_.empty()) {
      IoRequest* r = pending_.front();
      pending_.pop_front();
      ++busy_;
      lock.unlock();
      Complete(r);
      lock.lock();
      done_.push_back(r);
      doneEvent_ = true;
      doneReady_.notify_all();
      if (--busy_ == 0 && waitingForBusy_) allDone_.notify_all();
    }
    work_ = false;
  }
}

HRESULT AsyncIoWorker::WaitForNext(uint32_t timeoutMs, void** context, uintptr_t* user, int32_t* actual) {
  *context = nullptr;
  *user = 0;
  *actual = 0;
  std::unique_lock<std::mutex> lock(listLock_);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto ready = [&] { return doneEvent_; };
    if (timeoutMs == INFINITE)
      doneReady_.wait(lock, ready);
    else if (!doneReady_.wait_until(lock, deadline, ready))
      return VFW_E_TIMEOUT;
    if (!done_.empty()) {
      IoRequest* r = done_.front();
      done_.pop_front();
      if (done_.empty() && !flushing_) doneEvent_ = false;
      *context = r->context;
      *user = r->user;
      *actual = r->length;
      HRESULT hr = r->result;
      delete r;
      return hr;
    }
    if (flushing_ && !waitingForBusy_) return VFW_E_WRONG_STATE;
    doneEvent_ = false;  // another waiter took it
  }
}

HRESULT AsyncIoWorker::SyncRead(int64_t start, int32_t length, uint8_t* buffer, int32_t* actual) {
  IoRequest r{start, false, length, buffer, nullptr, 0};
  Complete(&r);
  if (actual) *actual = r.length;
  return r.result;
}

HRESULT AsyncIoWorker::SyncReadAligned(int64_t start, int32_t length, uint8_t* buffer, int32_t* actual,
                                       void* context) {
  if (!IsAlignedRead(start, length, buffer)) return VFW_E_BADALIGN;
  IoRequest r{start, true, length, buffer, context, 0};
  Complete(&r);
  *actual = r.length;
  return r.result;
}

HRESULT AsyncIoWorker::BeginFlush() {
  std::unique_lock<std::mutex> lock(listLock_);
  flushing_ = true;
  while (!pending_.empty()) {
    IoRequest* r = pending_.front();
    pending_.pop_front();
    r->length = 0;  // nothing read: its result stays VFW_E_TIMEOUT
    done_.push_back(r);
  }
  work_ = false;
  if (busy_ > 0) {
    waitingForBusy_ = true;
    allDone_.wait(lock, [&] { return busy_ == 0; });
    waitingForBusy_ = false;
  }
  doneEvent_ = true;
  doneReady_.notify_all();
  return S_OK;
}

HRESULT AsyncIoWorker::EndFlush() {
  std::lock_guard<std::mutex> lock(listLock_);
  flushing_ = false;
  doneEvent_ = !done_.empty();
  return S_OK;
}

void AsyncIoWorker::Close() {
  {
    std::lock_guard<std::mutex> lock(listLock_);
    stop_ = true;
    workReady_.notify_all();
  }
  thread_.Join();
}
