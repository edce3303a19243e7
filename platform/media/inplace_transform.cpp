// The in-place transform filter: one sample travels through, in one shared allocator when the
// pins on both sides take it.
#include <algorithm>
#include <cstring>

#include "platform/media/media_base.h"

InPlaceTransformFilter::InPlaceTransformFilter(const char* objectName, IUnknown* outer, const CLSID& clsid,
                                               bool modifiesData)
    : TransformFilter(objectName, outer, clsid), modifiesData_(modifiesData) {
  SetPins(new InPlaceInputPin(this), new InPlaceOutputPin(this));
}

HRESULT InPlaceTransformFilter::CheckTransform(const MediaType& in, const MediaType& out) {
  return in == out ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT InPlaceTransformFilter::GetMediaType(int index, MediaType* type) {
  if (index < 0) return E_INVALIDARG;
  if (index > 0 || !InputPin()->IsConnected()) return VFW_S_NO_MORE_ITEMS;
  *type = InputPin()->CurrentMediaType();
  return S_OK;
}

HRESULT InPlaceTransformFilter::DecideBufferSize(IMemAllocator* allocator, AllocatorProperties* request) {
  AllocatorProperties upstream;
  if (IMemAllocator* in = InputPin()->Allocator()) in->GetProperties(&upstream);
  AllocatorProperties want = *request;
  want.cBuffers = std::max({want.cBuffers, upstream.cBuffers, 1});
  want.cbBuffer = std::max({want.cbBuffer, upstream.cbBuffer, 1});
  want.cbAlign = std::max({want.cbAlign, upstream.cbAlign, 1});
  want.cbPrefix = std::max(want.cbPrefix, upstream.cbPrefix);
  AllocatorProperties actual;
  HRESULT hr = allocator->SetProperties(&want, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < want.cbBuffer ? E_FAIL : S_OK;
}

bool InPlaceTransformFilter::UsingDifferentAllocators() const {
  return InputPin()->Allocator() != OutputPin()->Allocator();
}

IMediaSample* InPlaceTransformFilter::Copy(IMediaSample* source) {
  REFERENCE_TIME start, stop;
  bool timed = source->GetTime(&start, &stop) == S_OK;
  ComPtr<IMediaSample> out;
  if (FAILED(OutputPin()->GetDeliveryBuffer(out.Put(), timed ? &start : nullptr, timed ? &stop : nullptr, 0)))
    return nullptr;
  int32_t length = source->GetActualDataLength();
  if (length > out->GetSize()) return nullptr;
  uint8_t *from, *to;
  source->GetPointer(&from);
  out->GetPointer(&to);
  if (length > 0) std::memcpy(to, from, static_cast<size_t>(length));
  out->SetActualDataLength(length);
  CopySampleProperties(source, out.Get());
  return out.Detach();
}

HRESULT InPlaceTransformFilter::Receive(IMediaSample* sample) {
  if (sample->GetStreamId() != AM_STREAM_MEDIA)
    return OutputPin()->IsConnected() ? OutputPin()->Deliver(sample) : S_OK;
  ComPtr<IMediaSample> work;
  // A read-only buffer is not ours to change.
  bool copy = UsingDifferentAllocators() || (modifiesData_ && InputPin()->IsReadOnly());
  if (copy && OutputPin()->IsConnected()) {
    work = ComPtr<IMediaSample>::Attach(Copy(sample));
    if (!work) return E_UNEXPECTED;
  } else {
    work = sample;
  }
  HRESULT hr = Transform(work.Get());
  if (hr == S_OK) return OutputPin()->IsConnected() ? OutputPin()->Deliver(work.Get()) : S_OK;
  return hr == S_FALSE ? S_OK : hr;
}

// --- pins

InPlaceInputPin::InPlaceInputPin(InPlaceTransformFilter* filter, const char16_t* name)
    : TransformInputPin(filter, name) {}

HRESULT InPlaceInputPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(Lock());
  if (IMemInputPin* down = transform_->OutputPin()->ConnectedInput()) return down->GetAllocator(allocator);
  return TransformInputPin::GetAllocator(allocator);
}

HRESULT InPlaceInputPin::GetAllocatorRequirements(AllocatorProperties* props) {
  if (!props) return E_POINTER;
  if (IMemInputPin* down = transform_->OutputPin()->ConnectedInput()) return down->GetAllocatorRequirements(props);
  return E_NOTIMPL;
}

HRESULT InPlaceInputPin::CheckMediaType(const MediaType& type) {
  HRESULT hr = TransformInputPin::CheckMediaType(type);
  if (hr != S_OK) return hr;
  if (IPin* down = transform_->OutputPin()->GetConnected()) return down->QueryAccept(type);
  return S_OK;
}

InPlaceOutputPin::InPlaceOutputPin(InPlaceTransformFilter* filter, const char16_t* name)
    : TransformOutputPin(filter, name) {}

HRESULT InPlaceOutputPin::DecideAllocator(IMemInputPin* pin, ComPtr<IMemAllocator>* allocator) {
  if (!pin) return E_POINTER;
  IMemAllocator* upstream = transform_->InputPin()->Allocator();
  if (upstream) {
    bool readOnly = transform_->InputPin()->IsReadOnly();
    if (SUCCEEDED(pin->NotifyAllocator(upstream, readOnly))) {
      *allocator = upstream;
      return S_OK;
    }
  }
  return TransformOutputPin::DecideAllocator(pin, allocator);
}
