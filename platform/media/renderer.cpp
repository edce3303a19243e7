// The base renderer: samples are shown on the streaming thread at their time on the clock, or
// as they come without one; a paused renderer shows one sample and holds the stream.
#include "platform/media/media_base.h"

#include <algorithm>

BaseRenderer::BaseRenderer(const CLSID& clsid, const char* objectName, IUnknown* outer, HRESULT* hr)
    : BaseFilter(objectName, outer, clsid), pin_(new RendererInputPin(this)) {
  if (hr) *hr = S_OK;
}

BaseRenderer::~BaseRenderer() = default;

BasePin* BaseRenderer::GetPin(int index) { return index == 0 ? pin_.get() : nullptr; }

void BaseRenderer::Wake() {
  std::lock_guard<std::mutex> lock(mutex_);
  wake_.notify_all();
}

HRESULT BaseRenderer::Stop() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (IsStopped()) return S_OK;
  HRESULT hr = BaseFilter::Stop();
  {
    std::lock_guard<std::mutex> guard(mutex_);
    eos_ = completeSent_ = havePoster_ = false;
    lastStop_ = kNoTime;
    runClock_.Reset();
    wake_.notify_all();
  }
  // A sample being rendered finishes before streaming ends.
  std::lock_guard<std::mutex> rendering(renderLock_);
  OnStopStreaming();
  return hr;
}

HRESULT BaseRenderer::Pause() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (IsStopped()) {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      eos_ = completeSent_ = havePoster_ = false;
      lastStop_ = kNoTime;
    }
    HRESULT hr = OnStartStreaming();
    if (FAILED(hr)) return hr;
  }
  HRESULT hr = BaseFilter::Pause();
  Wake();
  return hr;
}

HRESULT BaseRenderer::Run(REFERENCE_TIME start) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (IsStopped()) {
    HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  {
    // The clock first: a sample that sees the filter running must also see when to show it.
    std::lock_guard<std::mutex> guard(mutex_);
    runClock_ = clock_;
    runStart_ = start;
  }
  HRESULT hr = BaseFilter::Run(start);
  std::lock_guard<std::mutex> guard(mutex_);
  SendCompleteIfDue();
  wake_.notify_all();
  return hr;
}

void BaseRenderer::SendCompleteIfDue() {
  if (eos_ && !completeSent_ && State() == FilterState::Running) {
    completeSent_ = true;
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<intptr_t>(static_cast<IBaseFilter*>(this)));
  }
}

HRESULT BaseRenderer::Receive(IMediaSample* sample) {
  if (sample->GetStreamId() != AM_STREAM_MEDIA) return S_OK;
  std::unique_lock<std::mutex> lock(mutex_);
  if (eos_) return S_FALSE;
  for (;;) {
    if (pin_->IsFlushing()) return S_FALSE;
    FilterState state = State();
    if (state == FilterState::Stopped) return VFW_E_WRONG_STATE;
    if (state == FilterState::Paused) {
      if (!havePoster_) break;
      wake_.wait(lock);
      continue;
    }
    REFERENCE_TIME start, stop, now;
    if (SyncToClock() && runClock_ && SUCCEEDED(sample->GetTime(&start, &stop)) &&
        SUCCEEDED(runClock_->GetTime(&now)) && (now -= runStart_) < start) {
      // In short steps: the clock may not run at the pace of the machine's.
      wake_.wait_for(lock, std::chrono::microseconds(std::min<REFERENCE_TIME>(start - now, UNITS / 20) / 10 + 1));
      continue;
    }
    break;
  }
  const bool poster = !havePoster_;
  REFERENCE_TIME start, stop;
  if (SUCCEEDED(sample->GetTime(&start, &stop))) lastStop_ = std::max(start, stop);
  lock.unlock();
  HRESULT hr;
  {
    std::lock_guard<std::mutex> rendering(renderLock_);
    if (IsStopped()) return VFW_E_WRONG_STATE;
    hr = DoRenderSample(sample);
  }
  // A pause is complete once the sample is rendered: whoever waited for it then finds it shown.
  lock.lock();
  if (poster && !pin_->IsFlushing() && !IsStopped()) {
    havePoster_ = true;
    wake_.notify_all();
  }
  return hr;
}

HRESULT BaseRenderer::GetState(uint32_t timeoutMs, FilterState* state) {
  HRESULT hr = BaseFilter::GetState(timeoutMs, state);
  if (hr != S_OK || *state != FilterState::Paused) return hr;
  std::unique_lock<std::mutex> lock(mutex_);
  const bool cued = wake_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    return havePoster_ || eos_ || State() != FilterState::Paused || pin_->IsFlushing();
  });
  return cued ? S_OK : VFW_S_STATE_INTERMEDIATE;
}

bool BaseRenderer::WaitFor(std::chrono::microseconds time) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto interrupted = [&] { return pin_->IsFlushing() || IsStopped(); };
  return !wake_.wait_for(lock, time, interrupted);
}

// The end is due once the last sample has had its time, so that it is seen for its length.
HRESULT BaseRenderer::EndOfStream() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (pin_->IsFlushing() || IsStopped()) return S_OK;
    if (!SyncToClock() || !havePoster_ || lastStop_ == kNoTime) break;
    if (State() == FilterState::Paused) {
      wake_.wait(lock);
      continue;
    }
    REFERENCE_TIME now;
    if (!runClock_ || FAILED(runClock_->GetTime(&now)) || (now -= runStart_) >= lastStop_) break;
    wake_.wait_for(lock, std::chrono::microseconds(std::min<REFERENCE_TIME>(lastStop_ - now, UNITS / 20) / 10 + 1));
  }
  eos_ = true;
  wake_.notify_all();
  SendCompleteIfDue();
  return S_OK;
}

HRESULT BaseRenderer::BeginFlush() {
  Wake();
  return S_OK;
}

HRESULT BaseRenderer::EndFlush() {
  std::lock_guard<std::mutex> lock(mutex_);
  eos_ = completeSent_ = havePoster_ = false;
  lastStop_ = kNoTime;
  return S_OK;
}

// --- input pin

RendererInputPin::RendererInputPin(BaseRenderer* renderer, const char16_t* name)
    : BaseInputPin(renderer, name), renderer_(renderer) {}

HRESULT RendererInputPin::CheckMediaType(const MediaType& type) { return renderer_->CheckMediaType(&type); }

HRESULT RendererInputPin::GetMediaType(int index, MediaType* type) { return renderer_->GetMediaType(index, type); }

HRESULT RendererInputPin::SetMediaType(const MediaType& type) {
  BasePin::SetMediaType(type);
  return renderer_->SetMediaType(&type);
}

HRESULT RendererInputPin::CompleteConnect(IPin* pin) { return renderer_->CompleteConnect(pin); }

HRESULT RendererInputPin::BreakConnect() {
  renderer_->BreakConnect();
  return BaseInputPin::BreakConnect();
}

HRESULT RendererInputPin::Receive(IMediaSample* sample) {
  HRESULT hr = BaseInputPin::Receive(sample);
  return hr == S_OK ? renderer_->Receive(sample) : hr;
}

HRESULT RendererInputPin::EndOfStream() {
  HRESULT hr = CheckStreaming();
  return hr == S_OK ? renderer_->EndOfStream() : hr;
}

HRESULT RendererInputPin::BeginFlush() {
  BaseInputPin::BeginFlush();
  return renderer_->BeginFlush();
}

HRESULT RendererInputPin::EndFlush() {
  renderer_->EndFlush();
  return BaseInputPin::EndFlush();
}

// --- the null renderer

NullRenderer::NullRenderer(IUnknown* outer, HRESULT* hr) : BaseRenderer(CLSID_NullRenderer, "Null Renderer", outer, hr) {}
