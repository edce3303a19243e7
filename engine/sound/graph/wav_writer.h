// "WAV Dest": turns a PCM stream into the bytes of a RIFF WAVE file for a file writer
// downstream, which must offer the byte stream interface; the header is written at stop.
#pragma once

#include "platform/media/media_base.h"

class WavWriterOutputPin : public TransformOutputPin {
 public:
  explicit WavWriterOutputPin(TransformFilter* filter) : TransformOutputPin(filter, u"Out") {}
  HRESULT CheckMediaType(const MediaType& type) override;
};

class WavWriterFilter : public TransformFilter {
 public:
  static constexpr CLSID kClassId = MakeGuid("3C78B8E2-6C4D-11D1-ADE2-0000F8754B99");

  explicit WavWriterFilter(IUnknown* outer);

  HRESULT CheckInputType(const MediaType& type) override;
  HRESULT CheckTransform(const MediaType& in, const MediaType& out) override;
  HRESULT GetMediaType(int index, MediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, AllocatorProperties* request) override;
  HRESULT StartStreaming() override;
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
  HRESULT StopStreaming() override;

 private:
  uint32_t written_ = 0;     // PCM bytes so far
  uint32_t headerSize_ = 0;  // bytes before the PCM
};

// The filter's factory entry ("WAV Dest"); null with E_OUTOFMEMORY in *hr when memory runs out.
WavWriterFilter* CreateWavWriterFilter(IUnknown* outer, HRESULT* hr);
