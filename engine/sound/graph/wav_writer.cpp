// The WAV writer filter.
#include "engine/sound/graph/wav_writer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "engine/sound/sound_convert.h"

HRESULT WavWriterOutputPin::CheckMediaType(const MediaType& type) {
  if (type.majortype != MEDIATYPE_Stream) return S_FALSE;
  return TransformOutputPin::CheckMediaType(type);
}

WavWriterFilter::WavWriterFilter(IUnknown* outer) : TransformFilter("WAV Dest", outer, kClassId) {
  SetPins(nullptr, new WavWriterOutputPin(this));
}

HRESULT WavWriterFilter::CheckInputType(const MediaType& type) {
  return type.formattype == FORMAT_WaveFormatEx ? S_OK : S_FALSE;
}

HRESULT WavWriterFilter::CheckTransform(const MediaType& in, const MediaType& out) {
  return out.majortype == MEDIATYPE_Stream && (out.subtype == MEDIASUBTYPE_WAVE || out.subtype == GUID_NULL)
             ? S_OK
             : S_FALSE;
}

HRESULT WavWriterFilter::GetMediaType(int index, MediaType* type) {
  if (!type) return E_POINTER;
  if (index < 0) return E_INVALIDARG;
  if (index > 0) return VFW_S_NO_MORE_ITEMS;
  *type = MediaType(MEDIATYPE_Stream, MEDIASUBTYPE_WAVE);
  return S_OK;
}

HRESULT WavWriterFilter::DecideBufferSize(IMemAllocator* allocator, AllocatorProperties* request) {
  AllocatorProperties upstream;
  if (IMemAllocator* in = InputPin()->Allocator()) in->GetProperties(&upstream);
  AllocatorProperties want, got;
  want.cBuffers = 1;
  want.cbAlign = 1;
  want.cbBuffer = std::max(upstream.cbBuffer, 1);
  HRESULT hr = allocator->SetProperties(&want, &got);
  if (FAILED(hr)) return hr;
  return got.cbBuffer < want.cbBuffer ? E_FAIL : S_OK;
}

HRESULT WavWriterFilter::StartStreaming() {
  written_ = 0;
  headerSize_ = InputPin()->CurrentMediaType().FormatSize() + 28;
  return S_OK;
}

HRESULT WavWriterFilter::Transform(IMediaSample* in, IMediaSample* out) {
  const int32_t length = in->GetActualDataLength();
  if (length < 0 || length > out->GetSize()) return E_FAIL;
  const uint64_t start = uint64_t(headerSize_) + written_;
  const uint64_t stop = start + uint64_t(length);
  if (stop > 0xFFFFFFFFu) return E_FAIL;  // past what a RIFF size can say
  uint8_t *from, *to;
  in->GetPointer(&from);
  out->GetPointer(&to);
  if (length > 0) std::memcpy(to, from, size_t(length));
  out->SetActualDataLength(length);
  REFERENCE_TIME t0 = REFERENCE_TIME(start), t1 = REFERENCE_TIME(stop);
  out->SetTime(&t0, &t1);
  written_ += uint32_t(length);
  return S_OK;
}

HRESULT WavWriterFilter::StopStreaming() {
  IPin* down = OutputPin()->GetConnected();
  if (!down) return E_FAIL;
  ComPtr<IStream> stream = ComPtr<IPin>(down).As<IStream>();
  if (!stream) return E_NOINTERFACE;
  const MediaType& type = InputPin()->CurrentMediaType();
  std::vector<uint8_t> header(28 + type.FormatSize());
  WriteWaveHeader(header.data(), type.format.data(), type.FormatSize(), written_);
  uint32_t done = 0;
  HRESULT hr = stream->Seek(0, StreamSeek::Set, nullptr);
  if (SUCCEEDED(hr)) hr = stream->Write(header.data(), uint32_t(header.size()), &done);
  if (SUCCEEDED(hr) && done != header.size()) hr = E_FAIL;
  return hr;
}

WavWriterFilter* CreateWavWriterFilter(IUnknown* outer, HRESULT* hr) {
  auto* filter = new (std::nothrow) WavWriterFilter(outer);
  if (hr) *hr = filter ? S_OK : E_OUTOFMEMORY;
  return filter;
}
