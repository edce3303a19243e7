// The sample grabber filter, its input pin and the allocator over an owner's buffer.
#include "engine/sound/graph/sample_grabber.h"

#include <new>

// --- filter

Tamrak_CSampleGrabber::Tamrak_CSampleGrabber(IUnknown* outer)
    : InPlaceTransformFilter("SampleGrabber", outer, kClassId, false) {
  SetPins(new SampleGrabberInputPin(this), nullptr);
}

void* Tamrak_CSampleGrabber::GetInterface(const IID& iid) {
  if (iid == ISampleGrabberControl::iid) return static_cast<ISampleGrabberControl*>(this);
  return InPlaceTransformFilter::GetInterface(iid);
}

SampleGrabberInputPin* Tamrak_CSampleGrabber::GrabberInput() { return static_cast<SampleGrabberInputPin*>(InputPin()); }

MediaType Tamrak_CSampleGrabber::AcceptedType() {
  std::lock_guard<std::mutex> lock(grabLock_);
  return accepted_;
}

HRESULT Tamrak_CSampleGrabber::SetAcceptedMediaType(const MediaType* type) {
  std::lock_guard<std::mutex> lock(grabLock_);
  accepted_ = type ? *type : MediaType();
  return S_OK;
}

HRESULT Tamrak_CSampleGrabber::GetConnectedMediaType(MediaType* type) {
  if (!type) return E_POINTER;
  return InputPin()->ConnectionMediaType(type) == S_OK ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT Tamrak_CSampleGrabber::SetCallback(SampleGrabberCallback callback, void* user) {
  std::lock_guard<std::mutex> lock(grabLock_);
  callback_ = callback;
  user_ = user;
  return S_OK;
}

HRESULT Tamrak_CSampleGrabber::SetDeliveryBuffer(const AllocatorProperties& props, uint8_t* buffer) {
  if (InputPin()->IsConnected() || OutputPin()->IsConnected() || props.cBuffers != 1) return E_INVALIDARG;
  if (!buffer) return E_POINTER;
  return GrabberInput()->SetDeliveryBuffer(props, buffer);
}

HRESULT Tamrak_CSampleGrabber::CheckInputType(const MediaType& type) {
  std::lock_guard<std::mutex> lock(grabLock_);
  return type.Matches(accepted_) ? S_OK : VFW_E_INVALIDMEDIATYPE;
}

HRESULT Tamrak_CSampleGrabber::Transform(IMediaSample* sample) {
  std::lock_guard<std::mutex> lock(grabLock_);
  if (!callback_) return S_OK;
  REFERENCE_TIME start = 0, stop = 0;
  sample->GetTime(&start, &stop);
  const REFERENCE_TIME offset = InputPin()->CurrentStartTime();
  // Stream time is the segment's start plus the sample's; a time that cannot be said stays as it is.
  REFERENCE_TIME sum;
  if (!__builtin_add_overflow(start, offset, &sum)) start = sum;
  if (!__builtin_add_overflow(stop, offset, &sum)) stop = sum;
  return callback_(sample, &start, &stop, GrabberInput()->TakeTypeChanged(), user_);
}

// As the in-place base, but a sample the callback keeps back returns the callback's result.
HRESULT Tamrak_CSampleGrabber::Receive(IMediaSample* sample) {
  if (sample->GetStreamId() != AM_STREAM_MEDIA)
    return OutputPin()->IsConnected() ? OutputPin()->Deliver(sample) : S_OK;
  ComPtr<IMediaSample> work = sample;
  if (UsingDifferentAllocators() && OutputPin()->IsConnected()) {
    work = ComPtr<IMediaSample>::Attach(Copy(sample));
    if (!work) return E_UNEXPECTED;
  }
  HRESULT hr = Transform(work.Get());
  // A callback that fails stops the graph: upstream would only decode on into nothing.
  if (FAILED(hr)) NotifyEvent(EC_ERRORABORT, hr, reinterpret_cast<intptr_t>(static_cast<IBaseFilter*>(this)));
  if (hr != S_OK) return hr;
  return OutputPin()->IsConnected() ? OutputPin()->Deliver(work.Get()) : S_OK;
}

Tamrak_CSampleGrabber* CreateSampleGrabberFilter(IUnknown* outer, HRESULT* hr) {
  auto* grabber = new (std::nothrow) Tamrak_CSampleGrabber(outer);
  if (hr) *hr = grabber ? S_OK : E_OUTOFMEMORY;
  return grabber;
}

// --- input pin

SampleGrabberInputPin::SampleGrabberInputPin(Tamrak_CSampleGrabber* grabber)
    : InPlaceInputPin(grabber, u"Input"), grabber_(grabber) {}

HRESULT SampleGrabberInputPin::GetMediaType(int index, MediaType* type) {
  if (!type) return E_POINTER;
  if (index < 0) return E_INVALIDARG;
  if (index > 0) return VFW_S_NO_MORE_ITEMS;
  *type = MediaType();
  type->majortype = grabber_->AcceptedType().majortype;
  return S_OK;
}

HRESULT SampleGrabberInputPin::SetMediaType(const MediaType& type) {
  typeChanged_ = true;
  return InPlaceInputPin::SetMediaType(type);
}

HRESULT SampleGrabberInputPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  if (custom_) {
    *allocator = custom_.Get();
    custom_->AddRef();
    return S_OK;
  }
  return InPlaceInputPin::GetAllocator(allocator);
}

HRESULT SampleGrabberInputPin::GetAllocatorRequirements(AllocatorProperties* props) {
  if (!props) return E_POINTER;
  if (custom_) {
    *props = deliveryProps_;
    return S_OK;
  }
  return InPlaceInputPin::GetAllocatorRequirements(props);
}

HRESULT SampleGrabberInputPin::NotifyAllocator(IMemAllocator* allocator, bool readOnly) {
  if (custom_ && (allocator != custom_.Get() || readOnly)) return E_FAIL;
  return InPlaceInputPin::NotifyAllocator(allocator, readOnly);
}

HRESULT SampleGrabberInputPin::SetDeliveryBuffer(const AllocatorProperties& props, uint8_t* buffer) {
  custom_.Reset();
  deliveryProps_ = props;
  deliveryBuffer_ = buffer;
  custom_ = static_cast<IMemAllocator*>(new (std::nothrow) SampleGrabberAllocator(this));
  return custom_ ? S_OK : E_OUTOFMEMORY;
}

// --- allocator

HRESULT SampleGrabberAllocator::Alloc() {
  // One sample, and no larger than the buffer it lies over.
  if (props_.cBuffers != 1 || props_.cbPrefix != 0 || props_.cbBuffer > pin_->deliveryProps_.cbBuffer ||
      !pin_->deliveryBuffer_)
    return E_INVALIDARG;
  AddFreeSample(new MediaSample(this, pin_->deliveryBuffer_, props_.cbBuffer));
  return S_OK;
}
