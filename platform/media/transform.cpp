// The transform filter and its two pins.
#include "platform/media/media_base.h"

TransformFilter::TransformFilter(const char* objectName, IUnknown* outer, const CLSID& clsid)
    : BaseFilter(objectName, outer, clsid),
      input_(new TransformInputPin(this)),
      output_(new TransformOutputPin(this)) {}

TransformFilter::~TransformFilter() = default;

void TransformFilter::SetPins(TransformInputPin* input, TransformOutputPin* output) {
  if (input) input_.reset(input);
  if (output) output_.reset(output);
}

BasePin* TransformFilter::GetPin(int index) {
  if (index == 0) return input_.get();
  if (index == 1) return output_.get();
  return nullptr;
}

HRESULT TransformFilter::Stop() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (IsStopped()) return S_OK;
  // Inactive pins make a running Receive return; then streaming can end. The streaming thread
  // never takes the filter lock, so waiting for it here cannot close a cycle.
  HRESULT hr = BaseFilter::Stop();
  std::lock_guard<std::mutex> streaming(receiveLock_);
  HRESULT stopped = StopStreaming();
  return FAILED(hr) ? hr : stopped;
}

HRESULT TransformFilter::Pause() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (IsStopped()) {
    HRESULT hr = StartStreaming();
    if (FAILED(hr)) return hr;
  }
  return BaseFilter::Pause();
}

void TransformFilter::CopySampleProperties(IMediaSample* from, IMediaSample* to) {
  REFERENCE_TIME start, stop;
  HRESULT hr = from->GetTime(&start, &stop);
  if (hr == S_OK)
    to->SetTime(&start, &stop);
  else if (hr == VFW_S_NO_STOP_TIME)
    to->SetTime(&start, nullptr);
  else
    to->SetTime(nullptr, nullptr);
  to->SetSyncPoint(from->IsSyncPoint() == S_OK);
  to->SetPreroll(from->IsPreroll() == S_OK);
  to->SetDiscontinuity(from->IsDiscontinuity() == S_OK);
  to->SetStreamId(from->GetStreamId());
  MediaType mt;
  if (from->GetMediaType(&mt) == S_OK)
    to->SetMediaType(&mt);
  else
    to->SetMediaType(nullptr);
}

HRESULT TransformFilter::Receive(IMediaSample* sample) {
  if (sample->GetStreamId() != AM_STREAM_MEDIA)
    return output_->IsConnected() ? output_->Deliver(sample) : S_OK;
  ComPtr<IMediaSample> out;
  HRESULT hr = output_->GetDeliveryBuffer(out.Put(), nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  CopySampleProperties(sample, out.Get());
  hr = Transform(sample, out.Get());
  if (hr == S_OK) return output_->Deliver(out.Get());
  return hr == S_FALSE ? S_OK : hr;
}

HRESULT TransformFilter::EndOfStream() { return output_->IsConnected() ? output_->DeliverEndOfStream() : S_OK; }

HRESULT TransformFilter::BeginFlush() { return output_->IsConnected() ? output_->DeliverBeginFlush() : S_OK; }

HRESULT TransformFilter::EndFlush() { return output_->IsConnected() ? output_->DeliverEndFlush() : S_OK; }

HRESULT TransformFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  return output_->IsConnected() ? output_->DeliverNewSegment(start, stop, rate) : S_OK;
}

// --- input pin

TransformInputPin::TransformInputPin(TransformFilter* filter, const char16_t* name)
    : BaseInputPin(filter, name), transform_(filter) {}

HRESULT TransformInputPin::CheckMediaType(const MediaType& type) { return transform_->CheckInputType(type); }

HRESULT TransformInputPin::SetMediaType(const MediaType& type) {
  BasePin::SetMediaType(type);
  return transform_->SetMediaType(PinDirection::Input, type);
}

HRESULT TransformInputPin::CheckConnect(IPin* pin) {
  HRESULT hr = BaseInputPin::CheckConnect(pin);
  return FAILED(hr) ? hr : transform_->CheckConnect(PinDirection::Input, pin);
}

HRESULT TransformInputPin::CompleteConnect(IPin* pin) { return transform_->CompleteConnect(PinDirection::Input, pin); }

HRESULT TransformInputPin::BreakConnect() {
  transform_->BreakConnect(PinDirection::Input);
  return BaseInputPin::BreakConnect();
}

HRESULT TransformInputPin::Receive(IMediaSample* sample) {
  std::lock_guard<std::mutex> streaming(transform_->receiveLock_);
  HRESULT hr = BaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  hr = transform_->Receive(sample);
  if (FAILED(hr)) SetRuntimeError();
  return hr;
}

HRESULT TransformInputPin::EndOfStream() {
  std::lock_guard<std::mutex> streaming(transform_->receiveLock_);
  HRESULT hr = CheckStreaming();
  return hr == S_OK ? transform_->EndOfStream() : hr;
}

HRESULT TransformInputPin::BeginFlush() {
  BaseInputPin::BeginFlush();
  return transform_->BeginFlush();
}

HRESULT TransformInputPin::EndFlush() {
  BaseInputPin::EndFlush();
  return transform_->EndFlush();
}

HRESULT TransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  BasePin::NewSegment(start, stop, rate);
  return transform_->NewSegment(start, stop, rate);
}

// --- output pin

TransformOutputPin::TransformOutputPin(TransformFilter* filter, const char16_t* name)
    : BaseOutputPin(filter, name), transform_(filter) {}

HRESULT TransformOutputPin::CheckMediaType(const MediaType& type) {
  TransformInputPin* in = transform_->InputPin();
  if (!in->IsConnected()) return E_UNEXPECTED;
  return transform_->CheckTransform(in->CurrentMediaType(), type);
}

HRESULT TransformOutputPin::GetMediaType(int index, MediaType* type) {
  if (index < 0) return E_INVALIDARG;
  if (!transform_->InputPin()->IsConnected()) return VFW_S_NO_MORE_ITEMS;
  return transform_->GetMediaType(index, type);
}

HRESULT TransformOutputPin::SetMediaType(const MediaType& type) {
  BasePin::SetMediaType(type);
  return transform_->SetMediaType(PinDirection::Output, type);
}

HRESULT TransformOutputPin::CheckConnect(IPin* pin) {
  if (!transform_->InputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  HRESULT hr = BaseOutputPin::CheckConnect(pin);
  return FAILED(hr) ? hr : transform_->CheckConnect(PinDirection::Output, pin);
}

HRESULT TransformOutputPin::CompleteConnect(IPin* pin) {
  HRESULT hr = BaseOutputPin::CompleteConnect(pin);
  return FAILED(hr) ? hr : transform_->CompleteConnect(PinDirection::Output, pin);
}

HRESULT TransformOutputPin::BreakConnect() {
  transform_->BreakConnect(PinDirection::Output);
  return BaseOutputPin::BreakConnect();
}

HRESULT TransformOutputPin::DecideBufferSize(IMemAllocator* allocator, AllocatorProperties* request) {
  return transform_->DecideBufferSize(allocator, request);
}
