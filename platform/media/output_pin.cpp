// Output pins of the push transport: allocator agreement and delivery.
#include "platform/media/media_base.h"

BaseOutputPin::BaseOutputPin(BaseFilter* filter, const char16_t* name) : BasePin(filter, name, PinDirection::Output) {}

HRESULT BaseOutputPin::CheckConnect(IPin* pin) {
  HRESULT hr = BasePin::CheckConnect(pin);
  if (FAILED(hr)) return hr;
  input_ = ComPtr<IPin>(pin).As<IMemInputPin>();
  return input_ ? S_OK : E_NOINTERFACE;
}

HRESULT BaseOutputPin::CompleteConnect(IPin* pin) { return DecideAllocator(input_.Get(), &allocator_); }

HRESULT BaseOutputPin::BreakConnect() {
  if (allocator_) allocator_->Decommit();
  allocator_.Reset();
  input_.Reset();
  return S_OK;
}

HRESULT BaseOutputPin::DecideAllocator(IMemInputPin* pin, ComPtr<IMemAllocator>* allocator) {
  if (!pin) return E_POINTER;
  AllocatorProperties request;
  pin->GetAllocatorRequirements(&request);
  if (request.cbAlign == 0) request.cbAlign = 1;

  ComPtr<IMemAllocator> a;
  if (SUCCEEDED(pin->GetAllocator(a.Put()))) {
    AllocatorProperties wanted = request;
    if (SUCCEEDED(DecideBufferSize(a.Get(), &wanted)) && SUCCEEDED(pin->NotifyAllocator(a.Get(), false))) {
      *allocator = a;
      return S_OK;
    }
  }
  HRESULT hr = InitAllocator(&a);
  if (FAILED(hr)) return hr;
  hr = DecideBufferSize(a.Get(), &request);
  if (FAILED(hr)) return hr;
  hr = pin->NotifyAllocator(a.Get(), false);
  if (FAILED(hr)) return hr;
  *allocator = a;
  return S_OK;
}

HRESULT BaseOutputPin::InitAllocator(ComPtr<IMemAllocator>* allocator) {
  *allocator = static_cast<IMemAllocator*>(new MemAllocator);
  return S_OK;
}

HRESULT BaseOutputPin::Active() { return allocator_ ? allocator_->Commit() : VFW_E_NO_ALLOCATOR; }

HRESULT BaseOutputPin::Inactive() { return allocator_ ? allocator_->Decommit() : S_OK; }

HRESULT BaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                         uint32_t flags) {
  if (!allocator_) return VFW_E_NO_ALLOCATOR;
  return allocator_->GetBuffer(sample, start, stop, flags);
}

HRESULT BaseOutputPin::Deliver(IMediaSample* sample) {
  if (!input_) return VFW_E_NOT_CONNECTED;
  return input_->Receive(sample);
}

HRESULT BaseOutputPin::DeliverEndOfStream() { return connected_ ? connected_->EndOfStream() : VFW_E_NOT_CONNECTED; }

HRESULT BaseOutputPin::DeliverBeginFlush() { return connected_ ? connected_->BeginFlush() : VFW_E_NOT_CONNECTED; }

HRESULT BaseOutputPin::DeliverEndFlush() { return connected_ ? connected_->EndFlush() : VFW_E_NOT_CONNECTED; }

HRESULT BaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  BasePin::NewSegment(start, stop, rate);
  return connected_ ? connected_->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}
