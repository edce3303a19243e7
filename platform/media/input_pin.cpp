// Input pins of the push transport.
#include "platform/media/media_base.h"

BaseInputPin::BaseInputPin(BaseFilter* filter, const char16_t* name) : BasePin(filter, name, PinDirection::Input) {}

void* BaseInputPin::GetInterface(const IID& iid) {
  if (iid == IID_IMemInputPin) return static_cast<IMemInputPin*>(this);
  return BasePin::GetInterface(iid);
}

HRESULT BaseInputPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(Lock());
  if (!allocator_) allocator_ = static_cast<IMemAllocator*>(new MemAllocator);
  *allocator = allocator_.Get();
  (*allocator)->AddRef();
  return S_OK;
}

HRESULT BaseInputPin::NotifyAllocator(IMemAllocator* allocator, bool readOnly) {
  if (!allocator) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(Lock());
  allocator_ = allocator;
  readOnly_ = readOnly;
  return S_OK;
}

HRESULT BaseInputPin::CheckStreaming() {
  if (!IsConnected()) return VFW_E_NOT_CONNECTED;
  if (FilterStopped()) return VFW_E_WRONG_STATE;
  if (flushing_) return S_FALSE;
  if (runtimeError_) return VFW_E_RUNTIME_ERROR;
  return S_OK;
}

HRESULT BaseInputPin::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  return CheckStreaming();
}

HRESULT BaseInputPin::BeginFlush() {
  flushing_ = true;
  return S_OK;
}

HRESULT BaseInputPin::EndFlush() {
  flushing_ = false;
  runtimeError_ = false;
  return S_OK;
}

HRESULT BaseInputPin::BreakConnect() {
  if (allocator_) allocator_->Decommit();
  allocator_.Reset();
  readOnly_ = false;
  return S_OK;
}

// A sample that failed while the filter was stopping may have marked an error after Inactive:
// a new run starts clean.
HRESULT BaseInputPin::Active() {
  runtimeError_ = false;
  return S_OK;
}

HRESULT BaseInputPin::Inactive() {
  runtimeError_ = false;
  flushing_ = false;
  if (allocator_) allocator_->Decommit();
  return S_OK;
}
