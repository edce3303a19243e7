// Media samples.
#include "platform/media/media_base.h"

MediaSample::MediaSample(MemAllocator* allocator, uint8_t* data, int32_t size)
    : allocator_(allocator), data_(data), size_(size), actual_(size) {}

void* MediaSample::GetInterface(const IID& iid) {
  if (iid == IID_IMediaSample) return static_cast<IMediaSample*>(this);
  return MediaObject::GetInterface(iid);
}

void MediaSample::OnFinalRelease() {
  if (allocator_)
    allocator_->ReleaseBuffer(this);
  else
    delete this;
}

HRESULT MediaSample::GetPointer(uint8_t** data) {
  if (!data) return E_POINTER;
  *data = data_;
  return S_OK;
}

HRESULT MediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
  if (!start || !stop) return E_POINTER;
  if (!hasStart_) return VFW_E_SAMPLE_TIME_NOT_SET;
  *start = start_;
  if (!hasStop_) {
    *stop = start_ + 1;
    return VFW_S_NO_STOP_TIME;
  }
  *stop = stop_;
  return S_OK;
}

HRESULT MediaSample::SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* stop) {
  hasStart_ = start != nullptr;
  hasStop_ = start && stop;
  start_ = start ? *start : 0;
  stop_ = hasStop_ ? *stop : 0;
  return S_OK;
}

HRESULT MediaSample::SetSyncPoint(bool sync) {
  sync_ = sync;
  return S_OK;
}

HRESULT MediaSample::SetPreroll(bool preroll) {
  preroll_ = preroll;
  return S_OK;
}

HRESULT MediaSample::SetDiscontinuity(bool discontinuity) {
  discontinuity_ = discontinuity;
  return S_OK;
}

HRESULT MediaSample::SetActualDataLength(int32_t length) {
  if (length < 0 || length > size_) return VFW_E_BUFFER_OVERFLOW;
  actual_ = length;
  return S_OK;
}

HRESULT MediaSample::GetMediaType(MediaType* type) {
  if (!type) return E_POINTER;
  if (!typeChange_) return S_FALSE;
  *type = *typeChange_;
  return S_OK;
}

HRESULT MediaSample::SetMediaType(const MediaType* type) {
  typeChange_ = type ? std::make_unique<MediaType>(*type) : nullptr;
  return S_OK;
}

HRESULT MediaSample::SetStreamId(uint32_t id) {
  streamId_ = id;
  return S_OK;
}

void MediaSample::ResetProperties() {
  actual_ = size_;
  hasStart_ = hasStop_ = false;
  start_ = stop_ = 0;
  sync_ = preroll_ = discontinuity_ = false;
  streamId_ = AM_STREAM_MEDIA;
  typeChange_.reset();
}
