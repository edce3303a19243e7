// The asynchronous reader filter, its output pin with the pull transport, and the memory reader.
#include <new>

#include "engine/sound/graph/async_reader.h"

// --- pin

AsyncStreamReaderPin::AsyncStreamReaderPin(AsyncStreamReader* reader, AsyncIoWorker* io)
    : BaseOutputPin(reader, u"Output"), reader_(reader), io_(io) {}

void* AsyncStreamReaderPin::GetInterface(const IID& iid) {
  if (iid == IID_IAsyncReader) {
    queriedForReader_ = true;
    return static_cast<IAsyncReader*>(this);
  }
  return BaseOutputPin::GetInterface(iid);
}

HRESULT AsyncStreamReaderPin::GetMediaType(int index, MediaType* type) {
  if (!type) return E_POINTER;
  if (index < 0) return E_INVALIDARG;
  if (index > 0) return VFW_S_NO_MORE_ITEMS;
  *type = reader_->OfferedType();
  return S_OK;
}

HRESULT AsyncStreamReaderPin::CheckMediaType(const MediaType& type) {
  const MediaType& ours = reader_->OfferedType();
  if (type.majortype != ours.majortype) return S_FALSE;
  return ours.subtype == GUID_NULL || type.subtype == ours.subtype ? S_OK : S_FALSE;
}

HRESULT AsyncStreamReaderPin::CheckConnect(IPin* pin) {
  queriedForReader_ = false;
  return BasePin::CheckConnect(pin);
}

// A pin that never asked for the reader interface could not take a sample from us.
HRESULT AsyncStreamReaderPin::CompleteConnect(IPin*) { return queriedForReader_ ? S_OK : E_NOINTERFACE; }

HRESULT AsyncStreamReaderPin::BreakConnect() {
  queriedForReader_ = false;
  return S_OK;
}

HRESULT AsyncStreamReaderPin::RequestAllocator(IMemAllocator* preferred, AllocatorProperties* props,
                                               IMemAllocator** actual) {
  if (!props || !actual) return E_POINTER;
  *actual = nullptr;
  const int32_t align = int32_t(io_->Stream()->Alignment());
  if (props->cbAlign <= 0 || props->cbAlign % align != 0) props->cbAlign = align;
  AllocatorProperties got;
  if (preferred && SUCCEEDED(preferred->SetProperties(props, &got)) && got.cbAlign % align == 0) {
    preferred->AddRef();
    *actual = preferred;
    return S_OK;
  }
  ComPtr<IMemAllocator> own = static_cast<IMemAllocator*>(new (std::nothrow) MemAllocator);
  if (!own) return E_OUTOFMEMORY;
  HRESULT hr = own->SetProperties(props, &got);
  if (FAILED(hr)) return hr;
  if (got.cbAlign % align != 0) return VFW_E_BADALIGN;
  *actual = own.Detach();
  return S_OK;
}

HRESULT AsyncStreamReaderPin::SampleRange(IMediaSample* sample, int64_t* start, int32_t* length, uint8_t** buffer) {
  REFERENCE_TIME t0, t1;
  HRESULT hr = sample->GetTime(&t0, &t1);
  if (FAILED(hr)) return hr;
  // Past the end, backwards or bigger than the sample: no read could serve it.
  if (t0 < 0 || t1 < t0) return E_INVALIDARG;
  const int64_t total = io_->Stream()->Size();
  const int64_t align = io_->Stream()->Alignment();
  int64_t position = t0 / UNITS, bytes = (t1 - t0) / UNITS;
  if (position > total) return E_INVALIDARG;
  if (position + bytes > total) {
    bytes = (total + align - 1) / align * align - position;
    t1 = (position + bytes) * UNITS;
    sample->SetTime(&t0, &t1);
  }
  if (bytes > sample->GetSize()) return E_INVALIDARG;
  *start = position;
  *length = int32_t(bytes);
  return sample->GetPointer(buffer);
}

HRESULT AsyncStreamReaderPin::Request(IMediaSample* sample, uintptr_t user) {
  if (!sample) return E_POINTER;
  int64_t start;
  int32_t length;
  uint8_t* buffer;
  HRESULT hr = SampleRange(sample, &start, &length, &buffer);
  if (FAILED(hr)) return hr;
  return io_->Request(start, length, true, buffer, sample, user);
}

HRESULT AsyncStreamReaderPin::WaitForNext(uint32_t timeoutMs, IMediaSample** sample, uintptr_t* user) {
  if (!sample || !user) return E_POINTER;
  void* context = nullptr;
  int32_t actual = 0;
  HRESULT hr = io_->WaitForNext(timeoutMs, &context, user, &actual);
  *sample = static_cast<IMediaSample*>(context);
  if (!*sample) return hr;
  (*sample)->SetActualDataLength(actual);
  if (hr == S_FALSE) {
    // Short is fine only when the read reached the end of the stream.
    REFERENCE_TIME t0, t1;
    (*sample)->GetTime(&t0, &t1);
    hr = t0 / UNITS + actual == io_->Stream()->Size() ? S_OK : E_FAIL;
  }
  return hr;
}

HRESULT AsyncStreamReaderPin::SyncReadAligned(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  int64_t start;
  int32_t length, actual = 0;
  uint8_t* buffer;
  HRESULT hr = SampleRange(sample, &start, &length, &buffer);
  if (FAILED(hr)) return hr;
  hr = io_->SyncReadAligned(start, length, buffer, &actual, sample);
  if (hr != VFW_E_BADALIGN) sample->SetActualDataLength(actual);
  return hr;
}

HRESULT AsyncStreamReaderPin::SyncRead(int64_t position, int32_t length, uint8_t* buffer) {
  if (!buffer && length > 0) return E_POINTER;
  if (length < 0) return E_INVALIDARG;
  if (io_->IsAlignedRead(position, length, buffer)) {
    int32_t actual = 0;
    return io_->SyncReadAligned(position, length, buffer, &actual, nullptr);
  }
  return io_->SyncRead(position, length, buffer);
}

HRESULT AsyncStreamReaderPin::Length(int64_t* total, int64_t* available) {
  if (!total || !available) return E_POINTER;
  *total = io_->Stream()->Size(available);
  return S_OK;
}

HRESULT AsyncStreamReaderPin::BeginFlush() { return io_->BeginFlush(); }
HRESULT AsyncStreamReaderPin::EndFlush() { return io_->EndFlush(); }

// --- filter

AsyncStreamReader::AsyncStreamReader(const char* objectName, IUnknown* outer, AsyncStream* stream,
                                     const MediaType& type, HRESULT* hr)
    : BaseFilter(objectName, outer, kClassId), io_(stream), pin_(this, &io_), type_(type) {
  if (hr) *hr = S_OK;
}

AsyncStreamReader::~AsyncStreamReader() { io_.Close(); }

BasePin* AsyncStreamReader::GetPin(int index) { return index == 0 ? &pin_ : nullptr; }

// --- the memory reader

Tamrak_CMemReader::Tamrak_CMemReader(Tamrak_CMemStream* stream, const MediaType* type, HRESULT* hr)
    : AsyncStreamReader("Mem Reader", nullptr, stream, type ? *type : MediaType(), hr) {}

void DeleteMemReaderObject(Tamrak_CMemReader* reader) { delete reader; }
