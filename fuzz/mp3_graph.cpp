// The sound conversion through the media graph alone: memory reader, the layer's MPEG audio
// parser and decoder, sample grabber, renderer swap, and the PCM buffer the callback grows.
#include "platform/media/media_base.h"
#include "sound_target.h"

namespace {

constexpr CLSID kPcmRenderer = MakeGuid("f0e1d2c3-0000-4000-8000-00000000f022");

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterScratchFolder();
  fuzz::StartEngine();
  // The graph needs a renderer of PCM to swap for the null renderer.
  FilterRegistration reg;
  reg.clsid = kPcmRenderer;
  reg.name = u"PCM Renderer";
  reg.merit = MERIT_NORMAL;
  reg.takesType = [](const MediaType& mt) { return mt.majortype == MEDIATYPE_Audio && mt.subtype == MEDIASUBTYPE_PCM; };
  reg.create = [](IUnknown* outer, IUnknown** out) -> HRESULT {
    HRESULT hr = S_OK;
    *out = static_cast<IBaseFilter*>(new NullRenderer(outer, &hr));
    (*out)->AddRef();
    return S_OK;
  };
  RegisterMediaFilter(reg);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::RunSoundConversion(data, size, SOUNDCONV_MASK_GRAPH);
  FUZZ_CHECK(MediaLiveThreads() == 0);
  FUZZ_CHECK(MediaLiveObjects() == 0);
  return 0;
}
