// The engine's own media filters: memory stream, asynchronous reader, sample grabber, WAV writer.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <numeric>

#include "engine/sound/graph/async_reader.h"
#include "engine/sound/graph/sample_grabber.h"
#include "engine/sound/graph/wav_writer.h"
#include "media/test_filters.h"

using namespace mtest;

namespace {

using Clock = std::chrono::steady_clock;

std::vector<uint8_t> Counting(size_t n) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 7 + i / 251);
  return b;
}

int64_t MsSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// A stream over a vector with a chosen alignment that can refuse positions and cut reads short.
class TestStream : public AsyncStream {
 public:
  explicit TestStream(std::vector<uint8_t> b, uint32_t align = 1) : bytes(std::move(b)), align_(align) {}
  HRESULT SetPointer(int64_t p) override {
    if (refusePositions || p < 0 || p > int64_t(bytes.size())) return S_FALSE;
    pos_ = p;
    return S_OK;
  }
  HRESULT Read(uint8_t* buf, uint32_t n, bool, uint32_t* read) override {
    uint32_t take = uint32_t(std::min<int64_t>(n, int64_t(bytes.size()) - pos_));
    if (shortBy && take > shortBy) take -= shortBy;
    std::memcpy(buf, bytes.data() + pos_, take);
    pos_ += take;
    *read = take;
    return S_OK;
  }
  int64_t Size(int64_t* available) override {
    if (available) *available = int64_t(bytes.size());
    return int64_t(bytes.size());
  }
  uint32_t Alignment() override { return align_; }
  void Lock() override {}
  void Unlock() override {}

  std::vector<uint8_t> bytes;
  bool refusePositions = false;
  uint32_t shortBy = 0;

 private:
  uint32_t align_;
  int64_t pos_ = 0;
};

// A reader over a stream with an allocator of its own, asked through the pull interface.
struct ReaderRig {
  explicit ReaderRig(AsyncStream* stream, int buffers = 4, int size = 512) {
    MediaType type(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG1Audio);
    HRESULT hr = E_FAIL;
    filter = new AsyncStreamReader("Test Reader", nullptr, stream, type, &hr);
    EXPECT_EQ(hr, S_OK);
    pin = PinOf(filter.Get(), 0);
    async = pin.As<IAsyncReader>();
    AllocatorProperties props{buffers, size, 1, 0};
    ComPtr<IMemAllocator> own = static_cast<IMemAllocator*>(new MemAllocator);
    EXPECT_EQ(async->RequestAllocator(own.Get(), &props, allocator.Put()), S_OK);
    EXPECT_EQ(allocator->Commit(), S_OK);
  }
  ~ReaderRig() {
    if (allocator) allocator->Decommit();
  }
  ComPtr<IMediaSample> Sample(int64_t start, int64_t length) {
    ComPtr<IMediaSample> s;
    EXPECT_EQ(allocator->GetBuffer(s.Put(), nullptr, nullptr, 0), S_OK);
    REFERENCE_TIME t0 = start * UNITS, t1 = (start + length) * UNITS;
    s->SetTime(&t0, &t1);
    return s;
  }
  ComPtr<AsyncStreamReader> filter;
  ComPtr<IPin> pin;
  ComPtr<IAsyncReader> async;
  ComPtr<IMemAllocator> allocator;
};

class EngineFilters : public MediaTest {};

}  // namespace

TEST_F(EngineFilters, MemoryStreamPositionsAndUnlimitedReads) {
  std::vector<uint8_t> data = Counting(3 << 20);
  EXPECT_EQ(CreateMemStreamObject(data.data(), 100, 0, 0), nullptr);  // a rate of nothing
  DeleteMemStreamObject(nullptr);
  Tamrak_CMemStream* s = CreateMemStreamObject(data.data(), uint32_t(data.size()), 0, Tamrak_CMemStream::kUnlimited);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->SetPointer(int64_t(data.size())), S_OK);
  EXPECT_EQ(s->SetPointer(int64_t(data.size()) + 1), S_FALSE);
  EXPECT_EQ(s->SetPointer(-1), S_FALSE);
  EXPECT_EQ(s->Alignment(), 1u);

  // Everything is there from the start and no read waits.
  int64_t available = -1;
  EXPECT_EQ(s->Size(&available), int64_t(data.size()));
  EXPECT_EQ(available, int64_t(data.size()));
  std::vector<uint8_t> got(data.size() + 10);
  uint32_t read = 0;
  const auto t = Clock::now();
  ASSERT_EQ(s->SetPointer(0), S_OK);
  EXPECT_EQ(s->Read(got.data(), uint32_t(got.size()), false, &read), S_OK);
  EXPECT_LT(MsSince(t), 1000);
  EXPECT_EQ(read, data.size());  // cut at the end
  EXPECT_TRUE(std::equal(data.begin(), data.end(), got.begin()));
  EXPECT_EQ(s->Read(got.data(), 10, false, &read), S_OK);
  EXPECT_EQ(read, 0u);
  DeleteMemStreamObject(s);
}

TEST_F(EngineFilters, RateLimitedStreamDeliversAtItsRate) {
  // 100 kilobytes a second: 10,000 bytes are due 100 ms after the stream was made.
  std::vector<uint8_t> data = Counting(10000);
  Tamrak_CMemStream* s = CreateMemStreamObject(data.data(), uint32_t(data.size()), 0, 100);
  ASSERT_NE(s, nullptr);
  const auto made = Clock::now();
  int64_t available = -1;
  s->Size(&available);
  EXPECT_LT(available, int64_t(data.size()));
  std::vector<uint8_t> got(5000);
  uint32_t read = 0;
  EXPECT_EQ(s->Read(got.data(), 5000, false, &read), S_OK);
  EXPECT_GE(MsSince(made), 45);
  EXPECT_EQ(s->Read(got.data(), 5000, false, &read), S_OK);
  EXPECT_GE(MsSince(made), 95);
  EXPECT_LT(MsSince(made), 3000);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin() + 5000));
  s->Size(&available);
  EXPECT_EQ(available, int64_t(data.size()));
  DeleteMemStreamObject(s);
}

TEST_F(EngineFilters, ReaderCutsRequestsAtTheEndAndRefusesImpossibleOnes) {
  TestStream stream(Counting(1000));
  {
    ReaderRig rig(&stream);
    int64_t total = 0, available = 0;
    EXPECT_EQ(rig.async->Length(&total, &available), S_OK);
    EXPECT_EQ(total, 1000);
    EXPECT_EQ(available, 1000);

    ComPtr<IMediaSample> s = rig.Sample(768, 512);
    EXPECT_EQ(rig.async->Request(s.Get(), 42), S_OK);
    IMediaSample* done = nullptr;
    uintptr_t user = 0;
    EXPECT_EQ(rig.async->WaitForNext(5000, &done, &user), S_OK);
    EXPECT_EQ(done, s.Get());
    EXPECT_EQ(user, 42u);
    REFERENCE_TIME t0, t1;
    s->GetTime(&t0, &t1);
    EXPECT_EQ(t0, 768 * UNITS);
    EXPECT_EQ(t1, 1000 * UNITS);
    ASSERT_EQ(s->GetActualDataLength(), 232);
    uint8_t* p;
    s->GetPointer(&p);
    EXPECT_EQ(std::memcmp(p, stream.bytes.data() + 768, 232), 0);

    // Past the end, backwards, or longer than the sample: refused before any read.
    EXPECT_EQ(rig.async->Request(rig.Sample(1001, 10).Get(), 0), E_INVALIDARG);
    EXPECT_EQ(rig.async->Request(rig.Sample(10, -5).Get(), 0), E_INVALIDARG);
    EXPECT_EQ(rig.async->Request(rig.Sample(0, 513).Get(), 0), E_INVALIDARG);
    EXPECT_EQ(rig.async->SyncReadAligned(rig.Sample(0, 513).Get()), E_INVALIDARG);
    EXPECT_EQ(rig.async->WaitForNext(0, &done, &user), VFW_E_TIMEOUT);
    EXPECT_EQ(done, nullptr);

    // In place: the sample form, and plain bytes.
    ComPtr<IMediaSample> sync = rig.Sample(990, 100);
    EXPECT_EQ(rig.async->SyncReadAligned(sync.Get()), S_OK);
    EXPECT_EQ(sync->GetActualDataLength(), 10);
    uint8_t buf[20];
    EXPECT_EQ(rig.async->SyncRead(5, 20, buf), S_OK);
    EXPECT_EQ(std::memcmp(buf, stream.bytes.data() + 5, 20), 0);
    EXPECT_EQ(rig.async->SyncRead(995, 10, buf), S_FALSE);  // short at the end
    EXPECT_EQ(rig.async->SyncRead(1001, 10, buf), E_FAIL);

    // A short read that does not reach the end fails; so does a position the stream refuses.
    stream.shortBy = 3;
    ComPtr<IMediaSample> s2 = rig.Sample(0, 100);
    EXPECT_EQ(rig.async->Request(s2.Get(), 1), S_OK);
    EXPECT_EQ(rig.async->WaitForNext(5000, &done, &user), E_FAIL);
    EXPECT_EQ(s2->GetActualDataLength(), 97);
    stream.shortBy = 0;
    stream.refusePositions = true;
    ComPtr<IMediaSample> s3 = rig.Sample(0, 100);
    s3->GetPointer(&p);
    std::memset(p, 0xEE, 100);
    EXPECT_EQ(rig.async->Request(s3.Get(), 1), S_OK);
    EXPECT_EQ(rig.async->WaitForNext(5000, &done, &user), E_FAIL);
    EXPECT_EQ(s3->GetActualDataLength(), 0);
    EXPECT_EQ(p[0], 0xEE);
  }
}

TEST_F(EngineFilters, ReaderFlushCompletesPendingRequests) {
  // 20 kilobytes a second: each 100-byte read waits its turn, so requests queue up.
  std::vector<uint8_t> data = Counting(2000);
  Tamrak_CMemStream* stream = CreateMemStreamObject(data.data(), uint32_t(data.size()), 0, 20);
  {
    ReaderRig rig(stream, 8, 100);
    std::vector<ComPtr<IMediaSample>> samples;
    for (int i = 0; i < 8; ++i) {
      samples.push_back(rig.Sample(i * 100, 100));
      ASSERT_EQ(rig.async->Request(samples.back().Get(), uintptr_t(i)), S_OK);
    }
    EXPECT_EQ(rig.async->BeginFlush(), S_OK);
    EXPECT_EQ(rig.async->Request(samples[0].Get(), 0), VFW_E_WRONG_STATE);
    std::vector<bool> seen(8, false);
    for (int i = 0; i < 8; ++i) {
      IMediaSample* done = nullptr;
      uintptr_t user = 99;
      HRESULT hr = rig.async->WaitForNext(1000, &done, &user);
      ASSERT_NE(done, nullptr) << std::hex << hr;
      ASSERT_LT(user, 8u);
      EXPECT_EQ(done, samples[user].Get());
      EXPECT_FALSE(seen[user]);
      seen[user] = true;
      if (hr == S_OK)
        EXPECT_EQ(done->GetActualDataLength(), 100);
      else
        EXPECT_EQ(hr, VFW_E_TIMEOUT);  // never read
    }
    IMediaSample* done = nullptr;
    uintptr_t user = 0;
    EXPECT_EQ(rig.async->WaitForNext(1000, &done, &user), VFW_E_WRONG_STATE);
    EXPECT_EQ(rig.async->EndFlush(), S_OK);
    EXPECT_EQ(rig.async->WaitForNext(0, &done, &user), VFW_E_TIMEOUT);
  }
  DeleteMemStreamObject(stream);
}

TEST_F(EngineFilters, ReaderKeepsItsStreamsAlignment) {
  TestStream stream(Counting(1002), 4);
  {
    MediaType type(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG1Audio);
    ComPtr<AsyncStreamReader> filter(new AsyncStreamReader("Test Reader", nullptr, &stream, type, nullptr));
    ComPtr<IAsyncReader> async = PinOf(filter.Get(), 0).As<IAsyncReader>();
    AllocatorProperties props{2, 64, 1, 0};
    ComPtr<IMemAllocator> own = static_cast<IMemAllocator*>(new MemAllocator), actual;
    EXPECT_EQ(async->RequestAllocator(own.Get(), &props, actual.Put()), S_OK);
    EXPECT_EQ(props.cbAlign, 4);
    AllocatorProperties got;
    actual->GetProperties(&got);
    EXPECT_EQ(got.cbAlign, 4);
    // Without a preferred allocator the pin makes its own.
    ComPtr<IMemAllocator> made;
    props = AllocatorProperties{2, 64, 3, 0};
    EXPECT_EQ(async->RequestAllocator(nullptr, &props, made.Put()), S_OK);
    EXPECT_NE(made.Get(), nullptr);

    ASSERT_EQ(actual->Commit(), S_OK);
    ComPtr<IMediaSample> s;
    ASSERT_EQ(actual->GetBuffer(s.Put(), nullptr, nullptr, 0), S_OK);
    REFERENCE_TIME t0 = 2 * UNITS, t1 = 10 * UNITS;
    s->SetTime(&t0, &t1);
    EXPECT_EQ(async->Request(s.Get(), 0), VFW_E_BADALIGN);
    EXPECT_EQ(async->SyncReadAligned(s.Get()), VFW_E_BADALIGN);
    // The end rounds up to the alignment.
    t0 = 1000 * UNITS, t1 = 1008 * UNITS;
    s->SetTime(&t0, &t1);
    EXPECT_EQ(async->SyncReadAligned(s.Get()), S_FALSE);
    EXPECT_EQ(t1, 1008 * UNITS);
    s->GetTime(&t0, &t1);
    EXPECT_EQ(t1, 1004 * UNITS);
    EXPECT_EQ(s->GetActualDataLength(), 2);
    // Plain reads need no alignment.
    uint8_t buf[8];
    EXPECT_EQ(async->SyncRead(3, 5, buf), S_OK);
    EXPECT_EQ(std::memcmp(buf, stream.bytes.data() + 3, 5), 0);
    s.Reset();
    actual->Decommit();
  }
}

TEST_F(EngineFilters, ReaderServesAPullSinkThroughAGraph) {
  std::vector<uint8_t> data = Counting(100000);
  Tamrak_CMemStream* stream = CreateMemStreamObject(data.data(), uint32_t(data.size()), 0, Tamrak_CMemStream::kUnlimited);
  MediaType type(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG1Audio);
  auto* reader = new Tamrak_CMemReader(stream, &type, nullptr);
  {
    ComPtr<IPin> out = PinOf(reader, 0);
    MediaType mt;
    EXPECT_EQ(out->GetMediaType(0, &mt), S_OK);
    EXPECT_EQ(mt, type);
    EXPECT_EQ(out->GetMediaType(1, &mt), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(out->GetMediaType(-1, &mt), E_INVALIDARG);
    EXPECT_EQ(out->QueryAccept(MediaType(MEDIATYPE_Stream, MEDIASUBTYPE_WAVE)), S_FALSE);
    EXPECT_EQ(out->QueryAccept(MediaType(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Audio)), S_FALSE);

    auto g = NewGraph();
    auto sink = Make(new PullSink);
    ASSERT_EQ(g->AddFilter(reader, u"MemFile"), S_OK);
    ASSERT_EQ(g->AddFilter(sink.Get(), u"Sink"), S_OK);
    ASSERT_EQ(g->ConnectDirect(out.Get(), PinOf(sink.Get(), 0).Get(), nullptr), S_OK);
    auto control = g.As<IMediaControl>();
    g.As<IMediaFilter>()->SetSyncSource(nullptr);
    ASSERT_EQ(control->Run(), S_OK);
    int32_t code = 0;
    EXPECT_EQ(g.As<IMediaEvent>()->WaitForCompletion(10000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    control->Stop();
    EXPECT_EQ(sink->data, data);
    // A pin that never asks for the pull interface cannot connect.
    g->Disconnect(out.Get());
    g->Disconnect(PinOf(sink.Get(), 0).Get());
    auto push = Make(new StreamWriterSink);
    ASSERT_EQ(g->AddFilter(push.Get(), u"Push"), S_OK);
    EXPECT_TRUE(FAILED(out->Connect(PinOf(push.Get(), 0).Get(), nullptr)));
  }
  DeleteMemReaderObject(reader);
  DeleteMemStreamObject(stream);
}

// --- sample grabber

namespace {

struct Grab {
  std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> times;
  std::vector<bool> changed;
  HRESULT result = S_OK;
};

HRESULT GrabCallback(IMediaSample*, REFERENCE_TIME* start, REFERENCE_TIME* stop, bool changed, void* user) {
  auto* g = static_cast<Grab*>(user);
  g->times.emplace_back(*start, *stop);
  g->changed.push_back(changed);
  return g->result;
}

ComPtr<Tamrak_CSampleGrabber> NewGrabber() {
  HRESULT hr = E_FAIL;
  ComPtr<Tamrak_CSampleGrabber> g(CreateSampleGrabberFilter(nullptr, &hr));
  EXPECT_EQ(hr, S_OK);
  return g;
}

// source -> grabber -> sink, run to the end.
std::vector<RecordingSink::Got> RunThrough(Tamrak_CSampleGrabber* grabber, const MediaType& type, int samples,
                                           REFERENCE_TIME seekTo = 0, uint32_t waitMs = 5000) {
  auto g = NewGraph();
  auto src = Make(new PushSource({type}, Seconds(samples)));
  auto sink = Make(new RecordingSink);
  g->AddFilter(src.Get(), u"Source");
  g->AddFilter(grabber, u"SampleGrabber");
  g->AddFilter(sink.Get(), u"Sink");
  EXPECT_EQ(g->ConnectDirect(PinOf(src.Get(), 0).Get(), PinOf(grabber, 0).Get(), nullptr), S_OK);
  EXPECT_EQ(g->ConnectDirect(PinOf(grabber, 1).Get(), PinOf(sink.Get(), 0).Get(), nullptr), S_OK);
  if (seekTo) {
    int64_t c = seekTo;
    g.As<IMediaSeeking>()->SetPositions(&c, AM_SEEKING_AbsolutePositioning, nullptr, 0);
  }
  g.As<IMediaFilter>()->SetSyncSource(nullptr);
  auto control = g.As<IMediaControl>();
  EXPECT_EQ(control->Run(), S_OK);
  int32_t code = 0;
  g.As<IMediaEvent>()->WaitForCompletion(waitMs, &code);
  control->Stop();
  return sink->Samples();
}

// source -> grabber -> sink, unclocked, with a callback that stops at a gate.
struct HeldGrabber {
  ComPtr<Tamrak_CSampleGrabber> grabber = NewGrabber();
  ComPtr<PushSource> src = Make(new PushSource({TypeA()}, Seconds(4)));
  ComPtr<RecordingSink> sink = Make(new RecordingSink);
  ComPtr<IGraphBuilder> graph = NewGraph();
  ComPtr<IMediaControl> control = graph.As<IMediaControl>();
  Gate gate;

  HeldGrabber() {
    graph->AddFilter(src.Get(), u"Source");
    graph->AddFilter(grabber.Get(), u"SampleGrabber");
    graph->AddFilter(sink.Get(), u"Sink");
    EXPECT_EQ(graph->ConnectDirect(PinOf(src.Get(), 0).Get(), PinOf(grabber.Get(), 0).Get(), nullptr), S_OK);
    EXPECT_EQ(graph->ConnectDirect(PinOf(grabber.Get(), 1).Get(), PinOf(sink.Get(), 0).Get(), nullptr), S_OK);
    graph.As<IMediaFilter>()->SetSyncSource(nullptr);
    grabber->SetCallback(
        [](IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*, bool, void* gate) {
          static_cast<Gate*>(gate)->Pass();
          return S_OK;
        },
        &gate);
  }
};

}  // namespace

TEST_F(EngineFilters, StoppingWhileTheGrabbersCallbackRunsReturnsOnceItDoes) {
  HeldGrabber x;
  ASSERT_EQ(x.control->Run(), S_OK);
  ASSERT_TRUE(x.gate.Reached());
  {
    // From the moment the grabber reads stopped, its stop holds the filter lock and waits for
    // the sample in the callback.
    Call stop([&] { x.control->Stop(); });
    ASSERT_TRUE(Eventually([&] { return x.grabber->IsStopped(); }));
    EXPECT_FALSE(stop.Returned(0));
    x.gate.Open();
    EXPECT_TRUE(stop.Returned());
  }
  EXPECT_EQ(MediaLiveThreads(), 0);
  EXPECT_EQ(x.sink->Count(), 0u);
}

TEST_F(EngineFilters, GrabbersTypeCheckWaitsForTheCallbackAndTheStreamGoesOn) {
  HeldGrabber x;
  ASSERT_EQ(x.control->Run(), S_OK);
  ASSERT_TRUE(x.gate.Reached());
  std::atomic<bool> haveFilterLock{false};
  HRESULT checked = E_FAIL;
  Gate letGo;
  {
    // The type check of a connection: under the filter lock, it takes the grabber's lock,
    // which the running callback holds.
    Call check([&] {
      std::lock_guard<std::recursive_mutex> lock(x.grabber->FilterLock());
      haveFilterLock = true;
      checked = x.grabber->CheckInputType(TypeA());
      letGo.Pass();
    });
    ASSERT_TRUE(Eventually([&] { return haveFilterLock.load(); }));
    x.gate.Open();
    // Every sample reaches the sink while the other thread still holds the filter lock.
    EXPECT_TRUE(Eventually([&] { return x.sink->Count() == 4; }));
    letGo.Open();
    EXPECT_TRUE(check.Returned());
  }
  EXPECT_EQ(checked, S_OK);
  int32_t code = 0;
  EXPECT_EQ(x.graph.As<IMediaEvent>()->WaitForCompletion(5000, &code), S_OK);
  x.control->Stop();
}

TEST_F(EngineFilters, GrabberAcceptsWhatItsOwnerSets) {
  auto grabber = NewGrabber();
  auto control = grabber.As<ISampleGrabberControl>();
  ASSERT_TRUE(control);
  ComPtr<IPin> in = PinOf(grabber.Get(), 0);
  MediaType mt;
  EXPECT_EQ(control->GetConnectedMediaType(&mt), VFW_E_NOT_CONNECTED);
  // Nothing set: anything goes.
  EXPECT_EQ(in->QueryAccept(TypeA()), S_OK);
  EXPECT_EQ(in->QueryAccept(MediaType(MEDIATYPE_Audio, MEDIASUBTYPE_MP3)), S_OK);

  MediaType pcm(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, GUID_NULL);
  EXPECT_EQ(control->SetAcceptedMediaType(&pcm), S_OK);
  EXPECT_EQ(in->QueryAccept(MediaType(MEDIATYPE_Audio, MEDIASUBTYPE_MP3)), S_FALSE);
  EXPECT_EQ(in->QueryAccept(TypeA()), S_FALSE);
  WAVEFORMATEX wf{WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
  EXPECT_EQ(in->QueryAccept(MakePcmMediaType(wf)), S_OK);
  EXPECT_EQ(in->GetMediaType(0, &mt), S_OK);
  EXPECT_EQ(mt.majortype, MEDIATYPE_Audio);
  EXPECT_EQ(mt.subtype, GUID_NULL);
  EXPECT_EQ(in->GetMediaType(1, &mt), VFW_S_NO_MORE_ITEMS);
  EXPECT_EQ(in->GetMediaType(-1, &mt), E_INVALIDARG);

  // Compressed audio reaches the grabber only through a decoder that intelligent connect finds.
  const MediaType mp3(MEDIATYPE_Audio, MEDIASUBTYPE_MP3);
  FilterRegistration reg;
  reg.clsid = kCopyId;
  reg.name = u"Decoder";
  reg.merit = MERIT_NORMAL;
  reg.takesType = [mp3](const MediaType& t) { return t == mp3; };
  reg.create = [mp3, wf](IUnknown*, IUnknown** out) -> HRESULT {
    *out = static_cast<IBaseFilter*>(new CopyTransform(mp3, MakePcmMediaType(wf)));
    (*out)->AddRef();
    return S_OK;
  };
  RegisterMediaFilter(reg);
  {
    auto g = NewGraph();
    auto src = Make(new PushSource({mp3}, Seconds(1)));
    g->AddFilter(src.Get(), u"Source");
    g->AddFilter(grabber.Get(), u"SampleGrabber");
    EXPECT_EQ(PinOf(src.Get(), 0)->Connect(in.Get(), nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_EQ(g->Connect(PinOf(src.Get(), 0).Get(), in.Get()), S_OK);
    FilterList filters;
    g->EnumFilters(&filters);
    EXPECT_EQ(filters.size(), 3u);
    EXPECT_EQ(control->GetConnectedMediaType(&mt), S_OK);
    EXPECT_EQ(mt, MakePcmMediaType(wf));
    g->RemoveFilter(grabber.Get());
  }
  UnregisterMediaFilter(kCopyId);
  control->SetAcceptedMediaType(nullptr);
  EXPECT_EQ(in->QueryAccept(TypeA()), S_OK);
}

TEST_F(EngineFilters, GrabberPassesSamplesOnUnlessTheCallbackKeepsThem) {
  auto reference = Seconds(4);
  auto check = [&](const std::vector<RecordingSink::Got>& got, size_t from) {
    ASSERT_EQ(got.size(), reference.size() - from);
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].data, reference[i + from].data);
  };
  {
    auto grabber = NewGrabber();
    check(RunThrough(grabber.Get(), TypeA(), 4), 0);
  }
  {
    auto grabber = NewGrabber();
    Grab grab;
    grabber->SetCallback(GrabCallback, &grab);
    check(RunThrough(grabber.Get(), TypeA(), 4), 0);
    ASSERT_EQ(grab.times.size(), 4u);
    EXPECT_EQ(grab.times[1], std::make_pair(1 * UNITS, 2 * UNITS));
    EXPECT_EQ(grab.changed, (std::vector<bool>{true, false, false, false}));
  }
  {
    // After a seek the segment starts at 2 s and the samples at 0: the callback gets stream times.
    auto grabber = NewGrabber();
    Grab grab;
    grabber->SetCallback(GrabCallback, &grab);
    check(RunThrough(grabber.Get(), TypeA(), 4, 2 * UNITS), 2);
    ASSERT_EQ(grab.times.size(), 2u);
    EXPECT_EQ(grab.times[0], std::make_pair(2 * UNITS, 3 * UNITS));
  }
  {
    auto grabber = NewGrabber();
    Grab grab;
    grab.result = S_FALSE;
    grabber->SetCallback(GrabCallback, &grab);
    // Kept back, the first sample also ends the stream: there is no end to wait for.
    EXPECT_TRUE(RunThrough(grabber.Get(), TypeA(), 4, 0, 200).empty());
    EXPECT_GE(grab.times.size(), 1u);
  }
}

TEST_F(EngineFilters, GrabberDeliveryBufferRules) {
  auto grabber = NewGrabber();
  std::vector<uint8_t> buffer(64);
  EXPECT_EQ(grabber->SetDeliveryBuffer(AllocatorProperties{2, 64, 1, 0}, buffer.data()), E_INVALIDARG);
  EXPECT_EQ(grabber->SetDeliveryBuffer(AllocatorProperties{1, 64, 1, 0}, nullptr), E_POINTER);
  ASSERT_EQ(grabber->SetDeliveryBuffer(AllocatorProperties{1, 64, 1, 0}, buffer.data()), S_OK);

  auto in = PinOf(grabber.Get(), 0).As<IMemInputPin>();
  AllocatorProperties req;
  EXPECT_EQ(in->GetAllocatorRequirements(&req), S_OK);
  EXPECT_EQ(req.cBuffers, 1);
  EXPECT_EQ(req.cbBuffer, 64);
  ComPtr<IMemAllocator> custom;
  ASSERT_EQ(in->GetAllocator(custom.Put()), S_OK);
  ComPtr<IMemAllocator> other = static_cast<IMemAllocator*>(new MemAllocator);
  EXPECT_EQ(in->NotifyAllocator(other.Get(), false), E_FAIL);
  EXPECT_EQ(in->NotifyAllocator(custom.Get(), true), E_FAIL);
  EXPECT_EQ(in->NotifyAllocator(custom.Get(), false), S_OK);

  // Its one sample lies over the buffer, which it may not outgrow.
  AllocatorProperties got;
  AllocatorProperties big{1, 65, 1, 0};
  ASSERT_EQ(custom->SetProperties(&big, &got), S_OK);
  EXPECT_TRUE(FAILED(custom->Commit()));
  AllocatorProperties fits{1, 64, 1, 0};
  ASSERT_EQ(custom->SetProperties(&fits, &got), S_OK);
  ASSERT_EQ(custom->Commit(), S_OK);
  {
    ComPtr<IMediaSample> s;
    ASSERT_EQ(custom->GetBuffer(s.Put(), nullptr, nullptr, 0), S_OK);
    uint8_t* p;
    s->GetPointer(&p);
    EXPECT_EQ(p, buffer.data());
  }
  custom->Decommit();

  // Not once a pin is connected.
  auto g = NewGraph();
  auto src = Make(new PushSource({TypeA()}, Seconds(1)));
  g->AddFilter(src.Get(), u"Source");
  g->AddFilter(grabber.Get(), u"SampleGrabber");
  ComPtr<IPin> inPin = PinOf(grabber.Get(), 0);
  ASSERT_EQ(g->ConnectDirect(PinOf(src.Get(), 0).Get(), inPin.Get(), nullptr), S_OK);
  EXPECT_EQ(grabber->SetDeliveryBuffer(AllocatorProperties{1, 64, 1, 0}, buffer.data()), E_INVALIDARG);
  g->RemoveFilter(grabber.Get());
}

// --- WAV writer

TEST_F(EngineFilters, WavWriterWritesAWholeRiffFile) {
  WAVEFORMATEX wf{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
  const MediaType pcm = MakePcmMediaType(wf);
  auto script = Seconds(3, 16);
  HRESULT hr = E_FAIL;
  ComPtr<WavWriterFilter> writer(CreateWavWriterFilter(nullptr, &hr));
  ASSERT_EQ(hr, S_OK);
  ComPtr<IPin> in = PinOf(writer.Get(), 0), out = PinOf(writer.Get(), 1);
  PinInfo info;
  out->QueryPinInfo(&info);
  EXPECT_EQ(info.name, u"Out");
  EXPECT_EQ(in->QueryAccept(MediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM)), S_FALSE);  // no wave format
  EXPECT_EQ(in->QueryAccept(pcm), S_OK);
  {
    auto g = NewGraph();
    auto src = Make(new PushSource({pcm}, script));
    auto sink = Make(new StreamWriterSink);
    g->AddFilter(src.Get(), u"Source");
    g->AddFilter(writer.Get(), u"WAV Dest");
    g->AddFilter(sink.Get(), u"File Writer");
    ASSERT_EQ(g->ConnectDirect(PinOf(src.Get(), 0).Get(), in.Get(), nullptr), S_OK);
    MediaType mt;
    EXPECT_EQ(out->GetMediaType(0, &mt), S_OK);
    EXPECT_EQ(mt, MediaType(MEDIATYPE_Stream, MEDIASUBTYPE_WAVE));
    EXPECT_EQ(out->GetMediaType(1, &mt), VFW_S_NO_MORE_ITEMS);
    ASSERT_EQ(g->ConnectDirect(out.Get(), PinOf(sink.Get(), 0).Get(), nullptr), S_OK);
    g.As<IMediaFilter>()->SetSyncSource(nullptr);
    auto control = g.As<IMediaControl>();
    ASSERT_EQ(control->Run(), S_OK);
    int32_t code = 0;
    EXPECT_EQ(g.As<IMediaEvent>()->WaitForCompletion(5000, &code), S_OK);
    EXPECT_EQ(control->Stop(), S_OK);

    std::vector<uint8_t> expected;
    auto put = [&](const void* p, size_t n) {
      auto* b = static_cast<const uint8_t*>(p);
      expected.insert(expected.end(), b, b + n);
    };
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) expected.push_back(uint8_t(v >> (8 * i))); };
    const uint32_t data = 3 * 16;
    put("RIFF", 4), u32(4 + 8 + 18 + 8 + data), put("WAVE", 4), put("fmt ", 4), u32(18);
    put("\x01\x00\x01\x00\x40\x1f\x00\x00\x80\x3e\x00\x00\x02\x00\x10\x00\x00\x00", 18);
    put("data", 4), u32(data);
    for (auto& s : script) put(s.data.data(), s.data.size());
    EXPECT_EQ(sink->Written(), expected);
    EXPECT_EQ(sink->writes, 1);
    g->RemoveFilter(writer.Get());
  }
  // Streaming with nothing downstream: the header has nowhere to go.
  {
    auto g = NewGraph();
    auto src = Make(new PushSource({pcm}, {}));
    g->AddFilter(src.Get(), u"Source");
    g->AddFilter(writer.Get(), u"WAV Dest");
    ASSERT_EQ(g->ConnectDirect(PinOf(src.Get(), 0).Get(), in.Get(), nullptr), S_OK);
    EXPECT_EQ(writer->Pause(), S_OK);
    EXPECT_EQ(writer->Stop(), E_FAIL);
    g->RemoveFilter(writer.Get());
  }
}
