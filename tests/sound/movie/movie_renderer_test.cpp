// The movie renderer: accepted types, pitches, row order, conversions, short samples and the
// frame handed to the main thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/sound/movie/movie_renderer.h"

namespace {

ComPtr<IMediaSample> SampleOver(std::vector<uint8_t>& bytes, int32_t length = -1) {
  ComPtr<IMediaSample> s(static_cast<IMediaSample*>(new MediaSample(nullptr, bytes.data(), int32_t(bytes.size()))));
  if (length >= 0) s->SetActualDataLength(length);
  return s;
}

struct Renderer {
  ComPtr<IBaseFilter> ref;
  MovieRenderer* r;
  Renderer() {
    HRESULT hr = E_FAIL;
    r = CreateMovieRenderer(nullptr, &hr);
    ref = static_cast<IBaseFilter*>(r);
    EXPECT_EQ(hr, S_OK);
  }
};

}  // namespace

TEST(MovieRenderer, AcceptsTheSubtypesItConverts) {
  Renderer x;
  EXPECT_EQ(x.r->CheckMediaType(nullptr), E_POINTER);
  MediaType noFormat(MEDIATYPE_Video, MEDIASUBTYPE_RGB32);
  EXPECT_EQ(x.r->CheckMediaType(&noFormat), E_INVALIDARG);
  MediaType audio = MakeVideoMediaType(MEDIASUBTYPE_RGB32, 8, 8, 32);
  audio.majortype = MEDIATYPE_Audio;
  EXPECT_EQ(x.r->CheckMediaType(&audio), E_FAIL);
  MediaType other = MakeVideoMediaType(FourCCGuid(MakeFourCC('I', '4', '2', '0')), 8, 8, 12);
  EXPECT_EQ(x.r->CheckMediaType(&other), E_FAIL);
  const GUID accepted[] = {MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB32, MEDIASUBTYPE_YV12, MEDIASUBTYPE_NV12,
                           MEDIASUBTYPE_YUY2,  MEDIASUBTYPE_UYVY,  MEDIASUBTYPE_YVYU, MEDIASUBTYPE_NV11};
  for (int i = 0; i < 8; ++i) {
    MediaType mt = MakeVideoMediaType(accepted[i], 8, 8, 32);
    EXPECT_EQ(x.r->CheckMediaType(&mt), S_OK) << i;
  }
  // Checking has no side effect: the colour type is the set type's.
  MediaType yuy2 = MakeVideoMediaType(MEDIASUBTYPE_YUY2, 8, 8, 16);
  MediaType rgb24 = MakeVideoMediaType(MEDIASUBTYPE_RGB24, 101, 3, 24);
  ASSERT_EQ(x.r->SetMediaType(&rgb24), S_OK);
  EXPECT_EQ(x.r->CheckMediaType(&yuy2), S_OK);
  EXPECT_EQ(x.r->colorType, MOVIE_COLOR_RGB24);
}

TEST(MovieRenderer, PitchesAndRowOrder) {
  Renderer x;
  MediaType wide = MakeVideoMediaType(MEDIASUBTYPE_RGB24, 101, 3, 24);
  ASSERT_EQ(x.r->SetMediaType(&wide), S_OK);
  EXPECT_EQ(x.r->pitch, 304);
  EXPECT_EQ(x.r->bottomUp, 1);
  MediaType even = MakeVideoMediaType(MEDIASUBTYPE_RGB24, 100, -3, 24);
  ASSERT_EQ(x.r->SetMediaType(&even), S_OK);
  EXPECT_EQ(x.r->pitch, 300);
  EXPECT_EQ(x.r->bottomUp, 0);
  EXPECT_EQ(x.r->height, 3);

  // RGB32 rows that come bottom-up are turned over; row y of the sample holds byte value y.
  MediaType up = MakeVideoMediaType(MEDIASUBTYPE_RGB32, 4, 3, 32);
  ASSERT_EQ(x.r->SetMediaType(&up), S_OK);
  EXPECT_EQ(x.r->colorType, MOVIE_COLOR_RGB32);
  EXPECT_EQ(x.r->pitch, 16);
  std::vector<uint8_t> rows(48);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = uint8_t(i / 16);
  ASSERT_EQ(x.r->DoRenderSample(SampleOver(rows).Get()), S_OK);
  EXPECT_TRUE(x.r->TakeFrame());
  for (int y = 0; y < 3; ++y) EXPECT_EQ(x.r->frameBuffer[y * 16 + 5], 2 - y) << y;
}

TEST(MovieRenderer, Yuy2ComesOutTopDownInXrgb) {
  Renderer x;
  const int w = 6, h = 4;
  // Bottom-up in the header: YUV rows are top-down whatever the sign says.
  MediaType yuy2 = MakeVideoMediaType(MEDIASUBTYPE_YUY2, w, h, 16);
  ASSERT_EQ(x.r->SetMediaType(&yuy2), S_OK);
  EXPECT_EQ(x.r->colorType, MOVIE_COLOR_YUY2);
  EXPECT_EQ(x.r->pitch, w * 4);
  EXPECT_EQ(x.r->bottomUp, 0);
  std::vector<uint8_t> frame(size_t(w / 2) * 4 * h);
  for (int y = 0; y < h; ++y)
    for (int g = 0; g < w / 2; ++g) {
      uint8_t* p = &frame[size_t(y * (w / 2) + g) * 4];
      p[0] = p[2] = uint8_t(16 + y * 60);  // grey rows, darkest on top
      p[1] = p[3] = 128;
    }
  ASSERT_EQ(x.r->DoRenderSample(SampleOver(frame).Get()), S_OK);
  ASSERT_TRUE(x.r->TakeFrame());
  BaseImage expected{};
  ASSERT_EQ(MakeBaseImageXRGB8(w, h, &expected), 0);
  ASSERT_EQ(ConvertYUY2ToBaseImage(frame.data(), w, h, &expected), 0);
  EXPECT_EQ(std::memcmp(x.r->frameBuffer, expected.Pixels, size_t(w) * 4 * h), 0);
  EXPECT_LT(x.r->frameBuffer[2], x.r->frameBuffer[(h - 1) * w * 4 + 2]);  // the top row is the dark one
  EXPECT_EQ(x.r->frameBuffer[3], 255);
  ReleaseBaseImage(&expected);
}

TEST(MovieRenderer, ShortSamplesAreLeftOut) {
  Renderer x;
  MediaType yv12 = MakeVideoMediaType(MEDIASUBTYPE_YV12, 8, 8, 12);
  ASSERT_EQ(x.r->SetMediaType(&yv12), S_OK);
  std::vector<uint8_t> frame(8 * 8 + 2 * 4 * 4, 128);
  ASSERT_EQ(x.r->DoRenderSample(SampleOver(frame, int32_t(frame.size()) - 1).Get()), S_OK);
  EXPECT_FALSE(x.r->TakeFrame());
  ASSERT_EQ(x.r->DoRenderSample(SampleOver(frame).Get()), S_OK);
  EXPECT_TRUE(x.r->TakeFrame());
  EXPECT_FALSE(x.r->TakeFrame());
  EXPECT_EQ(x.r->DoRenderSample(nullptr), E_POINTER);
}

TEST(MovieRenderer, TheMainThreadsFrameStaysWholeUntilItTakesTheNext) {
  Renderer x;
  MediaType rgb32 = MakeVideoMediaType(MEDIASUBTYPE_RGB32, 8, -4, 32);
  ASSERT_EQ(x.r->SetMediaType(&rgb32), S_OK);
  const size_t bytes = 8 * 4 * 4;
  auto render = [&](uint8_t value) {
    std::vector<uint8_t> frame(bytes, value);
    return x.r->DoRenderSample(SampleOver(frame).Get());
  };
  // The value of a frame every byte of which is the same, else -1.
  auto shown = [&] {
    const uint8_t* p = x.r->frameBuffer;
    return std::all_of(p, p + bytes, [&](uint8_t b) { return b == p[0]; }) ? int(p[0]) : -1;
  };
  ASSERT_EQ(render(1), S_OK);
  ASSERT_TRUE(x.r->TakeFrame());
  EXPECT_EQ(shown(), 1);
  ASSERT_EQ(render(2), S_OK);
  ASSERT_EQ(render(3), S_OK);
  EXPECT_EQ(shown(), 1);  // still the frame taken
  ASSERT_TRUE(x.r->TakeFrame());
  EXPECT_EQ(shown(), 3);  // the newest; 2 was never shown
  EXPECT_FALSE(x.r->TakeFrame());

  // Frames rendered by another thread meanwhile come whole and in order.
  std::atomic<bool> done{false};
  std::thread streaming([&] {
    for (int v = 10; v < 250; ++v) render(uint8_t(v));
    done = true;
  });
  int last = 3;
  while (!done) {
    if (!x.r->TakeFrame()) continue;
    const int v = shown();
    ASSERT_GE(v, last);
    last = v;
  }
  streaming.join();
  x.r->TakeFrame();
  EXPECT_EQ(shown(), 249);
}

TEST(MovieRenderer, KeptSamplesGoBackOnlyOnceNoLongerShown) {
  Renderer x;
  MediaType rgb32 = MakeVideoMediaType(MEDIASUBTYPE_RGB32, 8, -4, 32);
  ASSERT_EQ(x.r->SetMediaType(&rgb32), S_OK);
  const size_t bytes = 8 * 4 * 4;
  // A sender with the fewest samples that lets the renderer keep them: one to fill beside two kept.
  ComPtr<MemAllocator> allocator(new MemAllocator);
  AllocatorProperties want{4, int32_t(bytes), 1, 0}, got;
  ASSERT_EQ(allocator->SetProperties(&want, &got), S_OK);
  ASSERT_EQ(allocator->Commit(), S_OK);
  ASSERT_EQ(x.r->InputPin()->NotifyAllocator(allocator.Get(), false), S_OK);
  ASSERT_EQ(x.r->OnStartStreaming(), S_OK);
  uint8_t* first = nullptr;
  auto render = [&](uint8_t value) {
    ComPtr<IMediaSample> s;
    // Never waits: a sample is free as long as the renderer keeps no more than two.
    EXPECT_EQ(allocator->GetBuffer(s.Put(), nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
    if (!s) return;
    uint8_t* p = nullptr;
    s->GetPointer(&p);
    if (!first) first = p;
    std::memset(p, value, bytes);
    s->SetActualDataLength(int32_t(bytes));
    EXPECT_EQ(x.r->DoRenderSample(s.Get()), S_OK);
  };
  render(1);
  ASSERT_TRUE(x.r->TakeFrame());
  EXPECT_EQ(x.r->frameBuffer, first);  // the sample itself, not a copy
  for (int v = 2; v < 20; ++v) render(uint8_t(v));
  EXPECT_TRUE(std::all_of(x.r->frameBuffer, x.r->frameBuffer + bytes, [](uint8_t b) { return b == 1; }));
  ASSERT_TRUE(x.r->TakeFrame());
  EXPECT_EQ(x.r->frameBuffer[0], 19);
  x.r->InputPin()->Disconnect();
  allocator->Decommit();
}
