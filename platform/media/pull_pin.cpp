// Pull mode: reads an upstream asynchronous reader on a thread of its own.
#include <algorithm>

#include "platform/media/media_base.h"

HRESULT PullInputPin::CheckConnect(IPin* pin) {
  HRESULT hr = BaseInputPin::CheckConnect(pin);
  if (FAILED(hr)) return hr;
  return ComPtr<IPin>(pin).As<IAsyncReader>() ? S_OK : E_NOINTERFACE;
}

PullPin::~PullPin() {
  Inactive();
  Disconnect();
}

HRESULT PullPin::Connect(IPin* outputPin, const AllocatorProperties& wanted) {
  if (!outputPin) return E_POINTER;
  if (thread_.Joinable()) return VFW_E_WRONG_STATE;
  ComPtr<IAsyncReader> reader = ComPtr<IPin>(outputPin).As<IAsyncReader>();
  if (!reader) return E_NOINTERFACE;
  AllocatorProperties props = wanted;
  if (props.cbAlign < 1) props.cbAlign = 1;
  if (props.cBuffers < 1) props.cBuffers = 1;
  ComPtr<IMemAllocator> own = static_cast<IMemAllocator*>(new MemAllocator);
  ComPtr<IMemAllocator> actual;
  HRESULT hr = reader->RequestAllocator(own.Get(), &props, actual.Put());
  if (FAILED(hr)) return hr;
  AllocatorProperties got;
  actual->GetProperties(&got);
  reader_ = reader;
  allocator_ = actual;
  align_ = got.cbAlign > 0 ? got.cbAlign : 1;
  start_ = 0;
  stop_ = -1;
  return S_OK;
}

void PullPin::Disconnect() {
  Inactive();
  reader_.Reset();
  allocator_.Reset();
}

void PullPin::Seek(int64_t start, int64_t stop) {
  start_ = std::max<int64_t>(start, 0);
  stop_ = stop;
}

HRESULT PullPin::Active() {
  if (!reader_) return VFW_E_NOT_CONNECTED;
  if (thread_.Joinable()) return S_OK;
  HRESULT hr = allocator_->Commit();
  if (FAILED(hr)) return hr;
  stopping_ = false;
  if (!thread_.Start([this] { Process(); })) {
    allocator_->Decommit();
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT PullPin::Inactive() {
  if (!thread_.Joinable()) return S_OK;
  stopping_ = true;
  // A pending request completes at once and a thread waiting for a buffer wakes.
  reader_->BeginFlush();
  allocator_->Decommit();
  thread_.Join();
  reader_->EndFlush();
  return S_OK;
}

void PullPin::Process() {
  int64_t total = 0, available = 0;
  if (FAILED(reader_->Length(&total, &available))) {
    OnError(E_FAIL);
    return;
  }
  int64_t stop = stop_ < 0 || stop_ > total ? total : stop_;
  int64_t position = start_ / align_ * align_;
  bool first = true;
  while (!stopping_) {
    if (position >= stop) {
      EndOfStream();
      return;
    }
    ComPtr<IMediaSample> sample;
    if (FAILED(allocator_->GetBuffer(sample.Put(), nullptr, nullptr, 0))) return;
    int64_t size = sample->GetSize() / align_ * align_;
    if (size <= 0) {
      OnError(VFW_E_BADALIGN);
      return;
    }
    // The last piece still asks for whole aligned units; the reader cuts it at the end.
    int64_t want = std::min<int64_t>(size, (stop - position + align_ - 1) / align_ * align_);
    REFERENCE_TIME t0 = position * UNITS, t1 = (position + want) * UNITS;
    sample->SetTime(&t0, &t1);
    sample->SetDiscontinuity(first);
    HRESULT hr = reader_->Request(sample.Get(), 0);
    if (FAILED(hr)) {
      if (!stopping_) OnError(hr);
      return;
    }
    IMediaSample* done = nullptr;
    uintptr_t user = 0;
    hr = reader_->WaitForNext(INFINITE, &done, &user);
    if (stopping_) return;
    if (FAILED(hr) || done != sample.Get()) {
      OnError(FAILED(hr) ? hr : E_UNEXPECTED);
      return;
    }
    REFERENCE_TIME s, e;
    if (sample->GetTime(&s, &e) != S_OK) e = t1;
    int64_t end = std::min<int64_t>(e / UNITS, stop);
    sample->SetActualDataLength(static_cast<int32_t>(std::clamp<int64_t>(end - position, 0, size)));
    if (end > position && Receive(sample.Get()) != S_OK) return;
    first = false;
    position = end;
    if (hr == S_FALSE || end <= t0 / UNITS) {  // short or empty read: the stream ended early
      EndOfStream();
      return;
    }
  }
}
