// Tamrak engine: the movie renderer, the video renderer at the end of a movie's filter graph. It
// turns each frame into a top-down frame buffer of its own (32-bit for YUV and RGB32, 24-bit for
// RGB24) and raises a new-frame flag that UpdateMovie polls.
//
// Three buffers of one frame each: the streaming thread fills its own, then swaps it with the
// ready one under the frame lock; TakeFrame swaps the ready one with the main thread's. Neither
// thread ever sees the other's buffer, so no frame is torn and no copy runs under the lock.
// Top-down RGB from an allocator with samples to spare is not copied at all: the renderer keeps
// the ready sample and the shown one instead of its buffers.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "engine/draw/baseimage.h"
#include "platform/media/media_base.h"

constexpr CLSID CLSID_MovieRenderer = MakeGuid("71771540-2017-11CF-AE26-0020AFD79767");

// Colour types: the connection's subtype.
enum : int {
  MOVIE_COLOR_RGB24 = 0,
  MOVIE_COLOR_RGB32 = 1,
  MOVIE_COLOR_YV12 = 2,
  MOVIE_COLOR_NV12 = 3,
  MOVIE_COLOR_YUY2 = 4,
  MOVIE_COLOR_UYVY = 5,
  MOVIE_COLOR_YVYU = 6,
  MOVIE_COLOR_NV11 = 7,
};

class MovieRenderer : public BaseVideoRenderer {
 public:
  MovieRenderer(IUnknown* outer, HRESULT* hr);
  ~MovieRenderer() override;

  // E_POINTER, E_INVALIDARG without VIDEOINFOHEADER, E_FAIL for another major type or subtype.
  HRESULT CheckMediaType(const MediaType* type) override;
  // Sizes the frame buffer for the type; E_OUTOFMEMORY when it cannot be had.
  HRESULT SetMediaType(const MediaType* type) override;
  HRESULT DoRenderSample(IMediaSample* sample) override;
  HRESULT OnStartStreaming() override;
  // Kept samples go back, so that the sender's allocator can be set up anew.
  HRESULT BreakConnect() override;

  // On the main thread: true when a frame came since the last call (the new-frame flag, which
  // this clears); frameBuffer then holds that frame until the next call.
  bool TakeFrame();

  BaseImage* conversionImage = nullptr;  // YUV types: the converted frame (streaming thread)
  int colorType = 0;
  uint8_t* frameBuffer = nullptr;  // the main thread's frame: pitch x height bytes, top-down (read only)
  int bottomUp = 0;
  int width = 0, height = 0, pitch = 0;  // set with the media type, while stopped

 private:
  void FreeBuffers();
  int64_t sampleBytes_ = 0;  // what one frame of the connected type takes
  uint8_t* shownBuffer_ = nullptr;  // the main thread's own buffer
  uint8_t* fillBuffer_ = nullptr;   // the streaming thread's frame
  std::atomic<bool> keepSamples_{false};  // set while stopped
  ComPtr<IMediaSample> shownSample_;      // the main thread's, when samples are kept
  // The three below. One of a filter's own locks (platform/media/media_base.h): a sample let go
  // under it takes only its allocator's lock.
  std::mutex frameLock_;
  uint8_t* readyBuffer_ = nullptr;        // the latest whole frame
  ComPtr<IMediaSample> readySample_;      // or the sample holding it
  bool newFrame_ = false;
};

// The factory: a new renderer (no reference taken yet), or null when it cannot be allocated.
MovieRenderer* CreateMovieRenderer(IUnknown* outer, HRESULT* hr);
