// Registrations of the layer's own filters, gathered by BuiltinFilters() in registry.cpp.
#pragma once

#include <new>
#include <vector>

#include "platform/media/media.h"

FilterRegistration AudioRendererRegistration();

// Pulls an MPEG audio byte stream (MEDIATYPE_Stream) from a reader and gives 16-bit PCM.
constexpr CLSID CLSID_MpegAudioDecoder = MakeGuid("4c7e2a91-d35b-4f08-a6e2-9b1d07c3f5e8");
FilterRegistration MpegAudioDecoderRegistration();

// Hands a new object out in the class factory's form, with its first reference.
template <class T>
HRESULT HandOut(T* object, IUnknown** out) {
  if (!object) return E_OUTOFMEMORY;
  *out = static_cast<IUnknown*>(object);
  (*out)->AddRef();
  return S_OK;
}
