// Objects, ids, media types, samples and the memory allocator.
#include <sys/mman.h>

#include "platform/media/picture_memory.h"
#include "test_filters.h"

using namespace mtest;

TEST_F(MediaTest, IdsAndResultCodesHaveTheirValues) {
  constexpr GUID g = MakeGuid("71771540-2017-11CF-AE26-0020AFD79767");
  static_assert(g.Data1 == 0x71771540 && g.Data2 == 0x2017 && g.Data3 == 0x11CF, "");
  static_assert(g.Data4[0] == 0xAE && g.Data4[1] == 0x26 && g.Data4[7] == 0x67, "");
  EXPECT_EQ(uint32_t(E_POINTER), 0x80004003u);
  EXPECT_EQ(uint32_t(E_INVALIDARG), 0x80070057u);
  EXPECT_EQ(uint32_t(E_OUTOFMEMORY), 0x8007000Eu);
  EXPECT_EQ(uint32_t(VFW_E_TIMEOUT), 0x8004022Eu);
  EXPECT_EQ(uint32_t(VFW_E_WRONG_STATE), 0x80040227u);
  EXPECT_EQ(uint32_t(VFW_S_NO_MORE_ITEMS), 0x00040103u);
  EXPECT_TRUE(SUCCEEDED(S_FALSE) && FAILED(E_FAIL) && !FAILED(VFW_S_NO_MORE_ITEMS));
  // Subtypes of wave formats carry the tag.
  EXPECT_EQ(MEDIASUBTYPE_PCM.Data1, 1u);
  EXPECT_NE(MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB32);
  EXPECT_EQ(MEDIASUBTYPE_YUY2.Data1, MakeFourCC('Y', 'U', 'Y', '2'));
}

TEST_F(MediaTest, FactoryMakesObjectsByClassAndCountsReferences) {
  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(CreateMediaObject(CLSID_FilterGraph, nullptr, IID_IGraphBuilder, graph.PutVoid()), S_OK);
  // Every interface of the graph is one object.
  auto control = graph.As<IMediaControl>();
  auto seeking = graph.As<IMediaSeeking>();
  auto event = graph.As<IMediaEvent>();
  auto filter = graph.As<IMediaFilter>();
  auto audio = graph.As<IBasicAudio>();
  ASSERT_TRUE(control && seeking && event && filter && audio);
  EXPECT_EQ(graph.As<IUnknown>().Get(), control.As<IUnknown>().Get());
  EXPECT_EQ(control.As<IGraphBuilder>().Get(), graph.Get());
  EXPECT_FALSE(graph.As<IPin>());
  graph->AddRef();
  EXPECT_EQ(graph->Release(), 6u);  // graph, control, seeking, event, filter, audio

  ComPtr<IBaseFilter> null;
  EXPECT_EQ(CreateMediaObject(CLSID_NullRenderer, nullptr, IID_IBaseFilter, null.PutVoid()), S_OK);
  CLSID id;
  null->GetClassID(&id);
  EXPECT_EQ(id, CLSID_NullRenderer);

  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(CreateMediaObject(kSinkId, nullptr, IID_IBaseFilter, &none), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(none, nullptr);
  // Asked for an interface it lacks, the new object goes away again.
  EXPECT_EQ(CreateMediaObject(CLSID_NullRenderer, nullptr, IID_IMediaSeeking, &none), E_NOINTERFACE);

  RegisterMediaClass(kSinkId, [](IUnknown*, IUnknown** out) {
    *out = static_cast<IUnknown*>(static_cast<IBaseFilter*>(new RecordingSink));
    (*out)->AddRef();
    return S_OK;
  });
  ComPtr<IBasicAudio> sinkAudio;
  EXPECT_EQ(CreateMediaObject(kSinkId, nullptr, IID_IBasicAudio, sinkAudio.PutVoid()), S_OK);
  UnregisterMediaFilter(kSinkId);
  EXPECT_EQ(CreateMediaObject(kSinkId, nullptr, IID_IBaseFilter, &none), CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(MediaTest, PinsShareTheirFiltersCount) {
  auto sink = Make(new RecordingSink);
  ComPtr<IPin> pin = PinOf(sink.Get(), 0);
  sink->AddRef();
  EXPECT_EQ(sink->Release(), 2u);
  PinInfo info;
  ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
  EXPECT_EQ(info.filter.Get(), static_cast<IBaseFilter*>(sink.Get()));
  EXPECT_EQ(info.dir, PinDirection::Input);
  EXPECT_EQ(info.name, u"In");
  sink.Reset();
  info.filter.Reset();
  EXPECT_EQ(MediaLiveObjects(), 2);  // the filter and its pin, held through the pin
  pin.Reset();
}

TEST_F(MediaTest, MediaTypesCarryTheirFormats) {
  WAVEFORMATEX wf{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  MediaType pcm = MakePcmMediaType(wf);
  EXPECT_EQ(pcm.FormatSize(), 18u);
  EXPECT_EQ(pcm.lSampleSize, 4u);
  WAVEFORMATEX back{};
  ASSERT_TRUE(pcm.GetWaveFormat(&back));
  EXPECT_TRUE(SameWaveFormat(wf, back));
  EXPECT_EQ(pcm.VideoInfo(), nullptr);

  // A 16-byte format block (no size word) reads with cbSize 0.
  MediaType shortBlock(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx);
  shortBlock.SetFormat(&wf, 16);
  ASSERT_TRUE(shortBlock.GetWaveFormat(&back));
  EXPECT_EQ(back.cbSize, 0);
  shortBlock.SetFormat(&wf, 12);
  EXPECT_FALSE(shortBlock.GetWaveFormat(&back));

  MediaType rgb = MakeVideoMediaType(MEDIASUBTYPE_RGB24, 101, -20, 24);
  ASSERT_NE(rgb.VideoInfo(), nullptr);
  EXPECT_EQ(rgb.VideoInfo()->bmiHeader.biHeight, -20);
  EXPECT_EQ(rgb.VideoInfo()->bmiHeader.biSizeImage, 304u * 20);
  EXPECT_EQ(MakeVideoMediaType(MEDIASUBTYPE_YUY2, 8, 2, 16).VideoInfo()->bmiHeader.biSizeImage, 32u);

  // An empty id of a pattern matches anything.
  EXPECT_TRUE(pcm.Matches(MediaType(MEDIATYPE_Audio, GUID_NULL, GUID_NULL)));
  EXPECT_TRUE(pcm.Matches(MediaType()));
  EXPECT_FALSE(pcm.Matches(MediaType(MEDIATYPE_Audio, MEDIASUBTYPE_MP3, GUID_NULL)));
  EXPECT_FALSE(MediaType(MEDIATYPE_Audio, GUID_NULL).IsComplete());
  MediaType other = pcm;
  EXPECT_EQ(other, pcm);
  other.format[4] ^= 1;
  EXPECT_NE(other, pcm);
}

TEST_F(MediaTest, SamplesKeepTimesFlagsAndLengths) {
  uint8_t buffer[32];
  auto s = Make<IMediaSample>(new MediaSample(nullptr, buffer, 32));
  REFERENCE_TIME a, b;
  EXPECT_EQ(s->GetTime(&a, &b), VFW_E_SAMPLE_TIME_NOT_SET);
  REFERENCE_TIME t0 = 5, t1 = 9;
  s->SetTime(&t0, nullptr);
  EXPECT_EQ(s->GetTime(&a, &b), VFW_S_NO_STOP_TIME);
  EXPECT_EQ(a, 5);
  s->SetTime(&t0, &t1);
  EXPECT_EQ(s->GetTime(&a, &b), S_OK);
  EXPECT_EQ(b, 9);
  EXPECT_EQ(s->IsDiscontinuity(), S_FALSE);
  s->SetDiscontinuity(true);
  EXPECT_EQ(s->IsDiscontinuity(), S_OK);
  EXPECT_EQ(s->GetActualDataLength(), 32);
  EXPECT_EQ(s->SetActualDataLength(33), VFW_E_BUFFER_OVERFLOW);
  EXPECT_EQ(s->SetActualDataLength(7), S_OK);
  EXPECT_EQ(s->GetStreamId(), AM_STREAM_MEDIA);
  MediaType mt;
  EXPECT_EQ(s->GetMediaType(&mt), S_FALSE);
  MediaType a1 = TypeA();
  s->SetMediaType(&a1);
  EXPECT_EQ(s->GetMediaType(&mt), S_OK);
  EXPECT_EQ(mt, a1);
}

TEST_F(MediaTest, AllocatorRoundsCommitsAndHandsOutBuffers) {
  auto alloc = Make<IMemAllocator>(new MemAllocator);
  AllocatorProperties want{2, 1000, 16, 0}, got;
  IMediaSample* s = nullptr;
  EXPECT_EQ(alloc->Commit(), VFW_E_SIZENOTSET);
  AllocatorProperties badAlign{1, 10, 3, 0};
  EXPECT_EQ(alloc->SetProperties(&badAlign, &got), VFW_E_BADALIGN);
  badAlign.cbAlign = 0;
  EXPECT_EQ(alloc->SetProperties(&badAlign, &got), VFW_E_BADALIGN);
  ASSERT_EQ(alloc->SetProperties(&want, &got), S_OK);
  EXPECT_EQ(got.cBuffers, 2);
  EXPECT_EQ(got.cbBuffer, 1008);
  EXPECT_EQ(alloc->GetBuffer(&s, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
  ASSERT_EQ(alloc->Commit(), S_OK);
  EXPECT_EQ(alloc->SetProperties(&want, &got), VFW_E_ALREADY_COMMITTED);

  ComPtr<IMediaSample> one, two;
  ASSERT_EQ(alloc->GetBuffer(one.Put(), nullptr, nullptr, 0), S_OK);
  ASSERT_EQ(alloc->GetBuffer(two.Put(), nullptr, nullptr, 0), S_OK);
  uint8_t *p1, *p2;
  one->GetPointer(&p1);
  two->GetPointer(&p2);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p1) % 16, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p2) % 16, 0u);
  EXPECT_GE(std::abs(p1 - p2), 1008);
  EXPECT_EQ(alloc->GetBuffer(&s, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);

  // A thread waiting for a buffer gets the one released, properties cleared.
  one->SetDiscontinuity(true);
  std::thread waiter([&] {
    ComPtr<IMediaSample> third;
    EXPECT_EQ(alloc->GetBuffer(third.Put(), nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(third->IsDiscontinuity(), S_FALSE);
    EXPECT_EQ(third->GetActualDataLength(), 1008);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  one.Reset();
  waiter.join();

  // Decommit wakes a waiter with VFW_E_NOT_COMMITTED; the buffers live on until returned.
  ComPtr<IMediaSample> again;
  ASSERT_EQ(alloc->GetBuffer(again.Put(), nullptr, nullptr, 0), S_OK);
  std::thread blocked([&] {
    IMediaSample* none = nullptr;
    EXPECT_EQ(alloc->GetBuffer(&none, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  alloc->Decommit();
  blocked.join();
  again->GetPointer(&p1);
  p1[1007] = 1;  // still ours
  alloc.Reset();  // the samples out keep the allocator
  again.Reset();
  two.Reset();
}

TEST_F(MediaTest, PictureMemoryIsKeptForTheNextPictureUntilAMovieCloses) {
  const size_t bytes = 3840 * 2160 * 4 + 100;
  BeginMoviePictures();
  uint8_t* block = TakePictureMemory(bytes);
  ASSERT_NE(block, nullptr);
  block[0] = block[bytes - 1] = 1;  // all of it is there
  GivePictureMemory(block, bytes);
  EXPECT_EQ(TakePictureMemory(bytes), block);
  GivePictureMemory(block, bytes);
  unsigned char in;
  void* page = reinterpret_cast<void*>(uintptr_t(block + bytes - 1) & ~uintptr_t(4095));
  EXPECT_EQ(mincore(page, 1, &in), 0);
  EndMoviePictures();
  EXPECT_NE(mincore(page, 1, &in), 0);
}

// A subclass puts its samples over memory of its own, as a delivery buffer does.
class OneBufferAllocator : public MemAllocator {
 public:
  explicit OneBufferAllocator(uint8_t* b) : buffer_(b) {}
  int frees = 0;

 protected:
  HRESULT Alloc() override {
    AddFreeSample(new MediaSample(this, buffer_, props_.cbBuffer));
    return S_OK;
  }
  void Free() override {
    ++frees;
    DeleteSamples();
  }
  uint8_t* buffer_;
};

TEST_F(MediaTest, AllocatorSubclassPlacesItsOwnSamples) {
  uint8_t buffer[64];
  auto* raw = new OneBufferAllocator(buffer);
  auto alloc = Make<IMemAllocator>(raw);
  AllocatorProperties want{1, 64, 1, 0}, got;
  ASSERT_EQ(alloc->SetProperties(&want, &got), S_OK);
  ASSERT_EQ(alloc->Commit(), S_OK);
  ComPtr<IMediaSample> s;
  ASSERT_EQ(alloc->GetBuffer(s.Put(), nullptr, nullptr, 0), S_OK);
  uint8_t* p;
  s->GetPointer(&p);
  EXPECT_EQ(p, buffer);
  alloc->Decommit();
  EXPECT_EQ(raw->frees, 0);  // not while the sample is out
  s.Reset();
  EXPECT_EQ(raw->frees, 1);
}
