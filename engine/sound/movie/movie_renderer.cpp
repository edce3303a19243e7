// The movie renderer: accepted types, frame buffer and the copy or conversion of each frame.
#include "engine/sound/movie/movie_renderer.h"

#include <cstring>
#include <new>
#include <utility>

#include "engine/system/system.h"

namespace {

struct ColorTypeEntry {
  GUID subtype;
  int colorType;
};

// In the order the check tests them.
constexpr ColorTypeEntry kColorTypes[] = {
    {MEDIASUBTYPE_NV11, MOVIE_COLOR_NV11}, {MEDIASUBTYPE_YVYU, MOVIE_COLOR_YVYU}, {MEDIASUBTYPE_UYVY, MOVIE_COLOR_UYVY},
    {MEDIASUBTYPE_YUY2, MOVIE_COLOR_YUY2}, {MEDIASUBTYPE_NV12, MOVIE_COLOR_NV12}, {MEDIASUBTYPE_YV12, MOVIE_COLOR_YV12},
    {MEDIASUBTYPE_RGB32, MOVIE_COLOR_RGB32}, {MEDIASUBTYPE_RGB24, MOVIE_COLOR_RGB24},
};

int ColorTypeOf(const GUID& subtype) {
  for (const ColorTypeEntry& e : kColorTypes)
    if (e.subtype == subtype) return e.colorType;
  return -1;
}

using Converter = int (*)(const void*, int, int, BaseImage*);

Converter ConverterOf(int colorType) {
  switch (colorType) {
    case MOVIE_COLOR_YV12: return ConvertYV12ToBaseImage;
    case MOVIE_COLOR_NV12: return ConvertNV12ToBaseImage;
    case MOVIE_COLOR_YUY2: return ConvertYUY2ToBaseImage;
    case MOVIE_COLOR_UYVY: return ConvertUYVYToBaseImage;
    case MOVIE_COLOR_YVYU: return ConvertYVYUToBaseImage;
    case MOVIE_COLOR_NV11: return ConvertYUV411ToBaseImage;
    default: return nullptr;
  }
}

// Bytes of one source frame as the copy or the converter reads it.
int64_t SourceFrameBytes(int colorType, int64_t w, int64_t h, int64_t pitch) {
  auto planes = [&](int64_t xDiv, int64_t yDiv) { return w * h + 2 * ((w + xDiv - 1) / xDiv) * ((h + yDiv - 1) / yDiv); };
  switch (colorType) {
    case MOVIE_COLOR_RGB24:
    case MOVIE_COLOR_RGB32: return pitch * h;
    case MOVIE_COLOR_YV12:
    case MOVIE_COLOR_NV12: return planes(2, 2);
    case MOVIE_COLOR_NV11: return planes(4, 1);
    default: return (w + 1) / 2 * 4 * h;
  }
}

}  // namespace

MovieRenderer::MovieRenderer(IUnknown* outer, HRESULT* hr) : BaseVideoRenderer(CLSID_MovieRenderer, nullptr, outer, hr) {
  if (hr) *hr = S_OK;
}

MovieRenderer::~MovieRenderer() { FreeBuffers(); }

void MovieRenderer::FreeBuffers() {
  {
    std::lock_guard<std::mutex> lock(frameLock_);
    readySample_.Reset();
  }
  shownSample_.Reset();
  frameBuffer = nullptr;
  for (uint8_t** buffer : {&shownBuffer_, &fillBuffer_, &readyBuffer_}) {
    MemFree(*buffer);
    *buffer = nullptr;
  }
  if (conversionImage) {
    ReleaseBaseImage(conversionImage);
    delete conversionImage;
    conversionImage = nullptr;
  }
}

HRESULT MovieRenderer::CheckMediaType(const MediaType* type) {
  if (!type) return E_POINTER;
  if (type->formattype != FORMAT_VideoInfo || !type->VideoInfo()) return E_INVALIDARG;
  if (type->majortype != MEDIATYPE_Video) return E_FAIL;
  return ColorTypeOf(type->subtype) >= 0 ? S_OK : E_FAIL;
}

HRESULT MovieRenderer::SetMediaType(const MediaType* type) {
  // The colour type comes from the type being set, not from whatever was checked last.
  if (CheckMediaType(type) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
  const BITMAPINFOHEADER& bih = type->VideoInfo()->bmiHeader;
  if (bih.biWidth <= 0 || bih.biHeight == 0 || bih.biWidth > IMAGE_MAX_SIDE || bih.biHeight < -IMAGE_MAX_SIDE ||
      bih.biHeight > IMAGE_MAX_SIDE)
    return VFW_E_TYPE_NOT_ACCEPTED;
  FreeBuffers();
  newFrame_ = false;
  colorType = ColorTypeOf(type->subtype);
  width = bih.biWidth;
  bottomUp = bih.biHeight > 0 ? 1 : 0;
  height = bih.biHeight > 0 ? bih.biHeight : -bih.biHeight;
  pitch = colorType == MOVIE_COLOR_RGB24 ? (width + 1) * 3 / 4 * 4 : width * 4;
  sampleBytes_ = SourceFrameBytes(colorType, width, height, pitch);
  if (colorType >= MOVIE_COLOR_YV12) {
    bottomUp = 0;
    conversionImage = new (std::nothrow) BaseImage{};
    if (!conversionImage || MakeBaseImageXRGB8(width, height, conversionImage) != 0) {
      FreeBuffers();
      return E_OUTOFMEMORY;
    }
  }
  for (uint8_t** buffer : {&shownBuffer_, &fillBuffer_, &readyBuffer_}) {
    *buffer = static_cast<uint8_t*>(TK_MALLOC(size_t(pitch) * size_t(height)));
    if (!*buffer) {
      FreeBuffers();
      return E_OUTOFMEMORY;
    }
  }
  frameBuffer = shownBuffer_;
  return S_OK;
}

// Samples are kept only where the sender can spare two of them (the ready one and the shown
// one) and still have one to fill: else it would wait for the main thread.
HRESULT MovieRenderer::OnStartStreaming() {
  AllocatorProperties props{};
  IMemAllocator* allocator = InputPin()->Allocator();
  keepSamples_ = (colorType == MOVIE_COLOR_RGB32 || colorType == MOVIE_COLOR_RGB24) && !bottomUp && allocator &&
                 SUCCEEDED(allocator->GetProperties(&props)) && props.cBuffers >= 4;
  return S_OK;
}

HRESULT MovieRenderer::BreakConnect() {
  {
    std::lock_guard<std::mutex> lock(frameLock_);
    readySample_.Reset();
  }
  shownSample_.Reset();
  frameBuffer = shownBuffer_;
  return S_OK;
}

bool MovieRenderer::TakeFrame() {
  ComPtr<IMediaSample> done;  // the frame shown until now goes back to its sender outside the lock
  std::lock_guard<std::mutex> lock(frameLock_);
  if (!newFrame_) return false;
  done = std::move(shownSample_);
  if (readySample_) {
    shownSample_ = std::move(readySample_);
    shownSample_->GetPointer(&frameBuffer);
  } else {
    std::swap(shownBuffer_, readyBuffer_);
    frameBuffer = shownBuffer_;
  }
  newFrame_ = false;
  return true;
}

HRESULT MovieRenderer::DoRenderSample(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  if (!fillBuffer_) return S_OK;
  uint8_t* data = nullptr;
  if (FAILED(sample->GetPointer(&data)) || !data) return S_OK;
  // A sample shorter than a frame of its type is left out rather than read past its end.
  if (sample->GetActualDataLength() < sampleBytes_) return S_OK;
  if (keepSamples_) {
    ComPtr<IMediaSample> keep(sample), done;
    std::lock_guard<std::mutex> lock(frameLock_);
    done = std::move(readySample_);
    readySample_ = std::move(keep);
    newFrame_ = true;
    return S_OK;
  }
  const uint8_t* source = data;
  if (Converter convert = ConverterOf(colorType)) {
    if (convert(data, width, height, conversionImage) != 0) return S_OK;
    source = static_cast<const uint8_t*>(conversionImage->Pixels);
  }
  if (bottomUp) {
    for (int y = 0; y < height; ++y)
      std::memcpy(fillBuffer_ + size_t(height - 1 - y) * size_t(pitch), source + size_t(y) * size_t(pitch),
                  size_t(pitch));
  } else {
    std::memcpy(fillBuffer_, source, size_t(pitch) * size_t(height));
  }
  ComPtr<IMediaSample> done;
  std::lock_guard<std::mutex> lock(frameLock_);
  done = std::move(readySample_);
  std::swap(fillBuffer_, readyBuffer_);
  newFrame_ = true;
  return S_OK;
}

MovieRenderer* CreateMovieRenderer(IUnknown* outer, HRESULT* hr) {
  auto* renderer = new (std::nothrow) MovieRenderer(outer, hr);
  if (hr) *hr = renderer ? S_OK : E_OUTOFMEMORY;
  return renderer;
}
