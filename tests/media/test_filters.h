// Filters for the media layer's tests: a scripted push source, a recording sink, a sink with
// allocator demands, a copying and an in-place pass-through, a memory reader and a pull sink,
// a file writer sink with the byte stream interface, a stand-in renderer of PCM audio for
// intelligent connect, and a clock the test moves by hand.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/media/media_base.h"

namespace mtest {

constexpr CLSID kSourceId = MakeGuid("11111111-0000-4000-8000-000000000001");
constexpr CLSID kSinkId = MakeGuid("11111111-0000-4000-8000-000000000002");
constexpr CLSID kCopyId = MakeGuid("11111111-0000-4000-8000-000000000003");
constexpr CLSID kInPlaceId = MakeGuid("11111111-0000-4000-8000-000000000004");
constexpr CLSID kReaderId = MakeGuid("11111111-0000-4000-8000-000000000005");
constexpr CLSID kPullSinkId = MakeGuid("11111111-0000-4000-8000-000000000006");
constexpr CLSID kPickyId = MakeGuid("11111111-0000-4000-8000-000000000007");
constexpr CLSID kWriterSinkId = MakeGuid("11111111-0000-4000-8000-000000000008");
constexpr CLSID kPcmRendererId = MakeGuid("11111111-0000-4000-8000-000000000009");

constexpr GUID kSubA = FourCCGuid(MakeFourCC('T', 'S', 'T', 'A'));
constexpr GUID kSubB = FourCCGuid(MakeFourCC('T', 'S', 'T', 'B'));
inline MediaType TypeA() { return MediaType(MEDIATYPE_Video, kSubA); }
inline MediaType TypeB() { return MediaType(MEDIATYPE_Video, kSubB); }

// Waits (bounded) for a condition that another thread brings about.
template <class Pred>
bool Eventually(Pred pred, int ms = 5000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A point where a thread (a streaming one, most often) stops until the test opens the gate.
class Gate {
 public:
  // Once open, every thread goes straight through.
  void Pass() {
    std::unique_lock<std::mutex> lock(m_);
    ++arrived_;
    cv_.notify_all();
    cv_.wait(lock, [&] { return open_; });
  }
  // Bounded, so that a thread that never comes fails the test rather than hanging it.
  bool Reached(int ms = 10000) {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return arrived_ > 0; });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(m_);
    open_ = true;
    cv_.notify_all();
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  int arrived_ = 0;
  bool open_ = false;
};

// A call run on a thread of its own. A call that has not returned when the object goes is a
// hang: the program ends with a message instead of waiting for it for ever.
class Call {
 public:
  explicit Call(std::function<void()> f)
      : thread_([this, f = std::move(f)] {
          f();
          std::lock_guard<std::mutex> lock(m_);
          done_ = true;
          cv_.notify_all();
        }) {}
  ~Call() {
    if (!Returned(30000)) {
      std::fprintf(stderr, "a call under test never returned\n");
      std::abort();
    }
    thread_.join();
  }
  bool Returned(int ms = 30000) {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return done_; });
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;  // last: it starts once the rest is made
};

template <class T>
ComPtr<T> Make(T* object) {
  return ComPtr<T>(object);
}

inline ComPtr<IGraphBuilder> NewGraph() {
  ComPtr<IGraphBuilder> g;
  EXPECT_EQ(CreateMediaObject(CLSID_FilterGraph, nullptr, IID_IGraphBuilder, g.PutVoid()), S_OK);
  return g;
}

// Every test leaves no object and no thread of the layer behind.
class MediaTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(MediaLiveThreads(), 0);
    EXPECT_EQ(MediaLiveObjects(), 0);
  }
};

inline ComPtr<IPin> PinOf(BaseFilter* f, int index) { return ComPtr<IPin>(static_cast<IPin*>(f->GetPin(index))); }

class ManualClock : public MediaObject, public IReferenceClock {
 public:
  HRESULT GetTime(REFERENCE_TIME* t) override {
    *t = now_;
    return S_OK;
  }
  void Advance(REFERENCE_TIME d) { now_ += d; }

 protected:
  void* GetInterface(const IID& iid) override {
    if (iid == IID_IReferenceClock) return static_cast<IReferenceClock*>(this);
    return MediaObject::GetInterface(iid);
  }

 private:
  std::atomic<REFERENCE_TIME> now_{1000 * UNITS};
};

struct Scripted {
  REFERENCE_TIME start, stop;
  std::vector<uint8_t> data;
};

// n samples of one second each; sample i holds bytes i, i+1, ... (size bytes).
inline std::vector<Scripted> Seconds(int n, int size = 16) {
  std::vector<Scripted> s;
  for (int i = 0; i < n; ++i) {
    Scripted x{i * UNITS, (i + 1) * UNITS, std::vector<uint8_t>(size)};
    for (int k = 0; k < size; ++k) x.data[k] = uint8_t(i + k);
    s.push_back(x);
  }
  return s;
}

// A source with one output pin offering the given types, pushing the script from a thread.
// Seeking skips the samples before the new start and restarts the segment at 0.
class PushSource : public BaseFilter, public IMediaSeeking, public IFileSourceFilter {
 public:
  class Pin : public BaseOutputPin {
   public:
    explicit Pin(PushSource* f) : BaseOutputPin(f, u"Out"), src_(f) {}
    HRESULT GetMediaType(int i, MediaType* mt) override {
      if (i < 0) return E_INVALIDARG;
      if (i >= int(src_->types.size())) return VFW_S_NO_MORE_ITEMS;
      *mt = src_->types[i];
      return S_OK;
    }
    HRESULT CheckMediaType(const MediaType& mt) override {
      for (auto& t : src_->types)
        if (t == mt) return S_OK;
      return S_FALSE;
    }
    HRESULT DecideBufferSize(IMemAllocator* a, AllocatorProperties* req) override {
      AllocatorProperties want = *req, got;
      want.cBuffers = std::max(want.cBuffers, 2);
      want.cbBuffer = std::max(want.cbBuffer, 64);
      return a->SetProperties(&want, &got);
    }
    PushSource* src_;
  };

  PushSource(std::vector<MediaType> t, std::vector<Scripted> s)
      : BaseFilter("PushSource", nullptr, kSourceId), types(std::move(t)), script(std::move(s)), pin_(this) {}
  ~PushSource() override { StopThread(); }

  int GetPinCount() override { return 1; }
  BasePin* GetPin(int i) override { return i == 0 ? &pin_ : nullptr; }
  Pin& OutPin() { return pin_; }

  HRESULT Pause() override {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    bool start = IsStopped();
    HRESULT hr = BaseFilter::Pause();
    if (SUCCEEDED(hr) && start && pin_.IsConnected()) StartThread();
    return hr;
  }
  HRESULT Stop() override {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    HRESULT hr = BaseFilter::Stop();  // decommits: a thread waiting for a buffer wakes
    StopThread();
    return hr;
  }

  // IMediaSeeking
  HRESULT GetCapabilities(uint32_t* c) override {
    *c = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanGetDuration | AM_SEEKING_CanGetStopPos;
    return S_OK;
  }
  HRESULT GetDuration(int64_t* d) override {
    *d = script.empty() ? 0 : script.back().stop;
    return S_OK;
  }
  HRESULT GetStopPosition(int64_t* s) override {
    *s = stopAt_ >= 0 ? stopAt_ : (script.empty() ? 0 : script.back().stop);
    return S_OK;
  }
  HRESULT GetCurrentPosition(int64_t* c) override {
    *c = startAt_;
    return S_OK;
  }
  HRESULT GetPositions(int64_t* c, int64_t* s) override {
    GetCurrentPosition(c);
    return GetStopPosition(s);
  }
  HRESULT SetPositions(int64_t* c, uint32_t cf, int64_t* s, uint32_t sf) override {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    ++seeks;
    if (cf & AM_SEEKING_PositioningBitsMask) {
      bool restart = thread_.Joinable();
      if (restart) {
        pin_.DeliverBeginFlush();
        StopThread();
        pin_.DeliverEndFlush();
      }
      startAt_ = *c;
      if (sf & AM_SEEKING_PositioningBitsMask) stopAt_ = *s;
      if (restart && IsActive()) StartThread();
    } else if (sf & AM_SEEKING_PositioningBitsMask) {
      stopAt_ = *s;
    }
    return S_OK;
  }

  // IFileSourceFilter
  HRESULT Load(const char16_t* path, const MediaType*) override {
    file = path;
    return loadResult;
  }
  HRESULT GetCurFile(std::u16string* path, MediaType*) override {
    *path = file;
    return S_OK;
  }

  std::vector<MediaType> types;
  std::vector<Scripted> script;
  int errorAt = -1;  // index of the sample at which the stream fails
  std::atomic<int> seeks{0};
  std::atomic<int> pushed{0};
  std::atomic<int> delivered{0};  // taken downstream
  std::u16string file;
  HRESULT loadResult = S_OK;

 protected:
  void* GetInterface(const IID& iid) override {
    if (iid == IID_IMediaSeeking) return static_cast<IMediaSeeking*>(this);
    if (iid == IID_IFileSourceFilter) return static_cast<IFileSourceFilter*>(this);
    return BaseFilter::GetInterface(iid);
  }

 private:
  void StartThread() {
    quit_ = false;
    thread_.Start([this] { Push(); });
  }
  void StopThread() {
    quit_ = true;
    thread_.Join();
  }
  void Push() {
    REFERENCE_TIME base = startAt_, end = stopAt_;
    pin_.DeliverNewSegment(base, end >= 0 ? end : INT64_MAX, 1.0);
    for (size_t i = 0; i < script.size() && !quit_; ++i) {
      const Scripted& s = script[i];
      if (s.stop <= base) continue;
      if (end >= 0 && s.start >= end) break;
      if (int(i) == errorAt) {
        NotifyEvent(EC_ERRORABORT, E_FAIL, 0);
        return;
      }
      ComPtr<IMediaSample> sample;
      if (FAILED(pin_.GetDeliveryBuffer(sample.Put(), nullptr, nullptr, 0))) return;
      uint8_t* p;
      sample->GetPointer(&p);
      std::memcpy(p, s.data.data(), s.data.size());
      sample->SetActualDataLength(int32_t(s.data.size()));
      REFERENCE_TIME t0 = s.start - base, t1 = s.stop - base;
      sample->SetTime(&t0, &t1);
      sample->SetSyncPoint(true);
      sample->SetDiscontinuity(i == 0);
      ++pushed;
      if (pin_.Deliver(sample.Get()) != S_OK) return;
      ++delivered;
    }
    if (!quit_) pin_.DeliverEndOfStream();
  }

  Pin pin_;
  MediaThread thread_;
  std::atomic<bool> quit_{false};
  int64_t startAt_ = 0, stopAt_ = -1;
};

// Records what reaches it. accept decides each offered type (default S_OK for all); a gate can
// hold each rendering.
class RecordingSink : public BaseRenderer, public IBasicAudio {
 public:
  struct Got {
    REFERENCE_TIME start, stop;
    std::vector<uint8_t> data;
  };
  RecordingSink() : BaseRenderer(kSinkId, "RecordingSink", nullptr, nullptr) {}

  HRESULT CheckMediaType(const MediaType* mt) override {
    if (!mt) return E_POINTER;
    std::lock_guard<std::mutex> lock(m);
    checked.push_back(mt->subtype);
    return accept ? accept(*mt) : S_OK;
  }
  HRESULT SetMediaType(const MediaType* mt) override {
    std::lock_guard<std::mutex> lock(m);
    setType = *mt;
    return S_OK;
  }
  HRESULT DoRenderSample(IMediaSample* s) override {
    if (hold) hold->Pass();
    Got g{};
    if (FAILED(s->GetTime(&g.start, &g.stop))) g.start = g.stop = -1;
    uint8_t* p;
    s->GetPointer(&p);
    g.data.assign(p, p + s->GetActualDataLength());
    std::lock_guard<std::mutex> lock(m);
    got.push_back(std::move(g));
    return S_OK;
  }
  HRESULT EndFlush() override {
    ++flushes;
    std::lock_guard<std::mutex> lock(m);
    got.clear();
    return BaseRenderer::EndFlush();
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(m);
    return got.size();
  }
  std::vector<Got> Samples() {
    std::lock_guard<std::mutex> lock(m);
    return got;
  }

  HRESULT SetVolume(int32_t v) override {
    volume = v;
    return S_OK;
  }
  HRESULT GetVolume(int32_t* v) override {
    *v = volume;
    return S_OK;
  }
  HRESULT SetBalance(int32_t b) override { return E_NOTIMPL; }
  HRESULT GetBalance(int32_t* b) override { return E_NOTIMPL; }

  std::function<HRESULT(const MediaType&)> accept;
  Gate* hold = nullptr;
  std::mutex m;
  std::vector<GUID> checked;
  MediaType setType;
  std::vector<Got> got;
  std::atomic<int> flushes{0};
  int32_t volume = 0;

 protected:
  void* GetInterface(const IID& iid) override {
    if (iid == IID_IBasicAudio) return static_cast<IBasicAudio*>(this);
    return BaseRenderer::GetInterface(iid);
  }
};

// A sink whose input pin offers types of its own, states allocator requirements and may refuse
// allocators that are not its own.
class PickySink : public BaseFilter {
 public:
  class Pin : public BaseInputPin {
   public:
    explicit Pin(PickySink* f) : BaseInputPin(f, u"In"), sink_(f) {}
    HRESULT CheckMediaType(const MediaType& mt) override {
      for (auto& t : sink_->takes)
        if (t == mt) return S_OK;
      return S_FALSE;
    }
    HRESULT GetMediaType(int i, MediaType* mt) override {
      if (i < 0) return E_INVALIDARG;
      if (i >= int(sink_->offers.size())) return VFW_S_NO_MORE_ITEMS;
      *mt = sink_->offers[i];
      return S_OK;
    }
    HRESULT GetAllocatorRequirements(AllocatorProperties* p) override {
      *p = sink_->requirements;
      return S_OK;
    }
    HRESULT GetAllocator(IMemAllocator** a) override {
      if (sink_->noAllocator) return E_NOTIMPL;
      return BaseInputPin::GetAllocator(a);
    }
    HRESULT Receive(IMediaSample* s) override {
      HRESULT hr = BaseInputPin::Receive(s);
      if (hr != S_OK) return hr;
      uint8_t* p;
      s->GetPointer(&p);
      std::lock_guard<std::mutex> lock(sink_->m);
      sink_->pointers.push_back(p);
      return S_OK;
    }
    PickySink* sink_;
  };
  PickySink() : BaseFilter("PickySink", nullptr, kPickyId), pin_(this) {}
  int GetPinCount() override { return 1; }
  BasePin* GetPin(int i) override { return i == 0 ? &pin_ : nullptr; }

  std::vector<MediaType> takes, offers;
  AllocatorProperties requirements{3, 1000, 16, 0};
  bool noAllocator = false;
  std::mutex m;
  std::vector<uint8_t*> pointers;

 private:
  Pin pin_;
};

// Copies every sample into a buffer of its output allocator.
class CopyTransform : public TransformFilter {
 public:
  explicit CopyTransform(MediaType takes, MediaType gives)
      : TransformFilter("CopyTransform", nullptr, kCopyId), in_(std::move(takes)), out_(std::move(gives)) {}
  HRESULT CheckInputType(const MediaType& mt) override { return mt.Matches(in_) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED; }
  HRESULT CheckTransform(const MediaType& in, const MediaType& out) override { return out == out_ ? S_OK : S_FALSE; }
  HRESULT GetMediaType(int i, MediaType* mt) override {
    if (i > 0) return VFW_S_NO_MORE_ITEMS;
    *mt = out_;
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator* a, AllocatorProperties* req) override {
    AllocatorProperties want = *req, got;
    want.cBuffers = std::max(want.cBuffers, 2);
    want.cbBuffer = std::max(want.cbBuffer, 256);
    return a->SetProperties(&want, &got);
  }
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override {
    uint8_t *a, *b;
    in->GetPointer(&a);
    out->GetPointer(&b);
    std::memcpy(b, a, size_t(in->GetActualDataLength()));
    out->SetActualDataLength(in->GetActualDataLength());
    ++transformed;
    return S_OK;
  }
  HRESULT StartStreaming() override {
    ++starts;
    return S_OK;
  }
  HRESULT StopStreaming() override {
    ++stops;
    return S_OK;
  }
  std::atomic<int> transformed{0}, starts{0}, stops{0};

 private:
  MediaType in_, out_;
};

// Passes samples on in place; result decides what Transform returns, and a gate can hold it.
class InPlacePass : public InPlaceTransformFilter {
 public:
  explicit InPlacePass(MediaType takes = MediaType()) : InPlaceTransformFilter("InPlacePass", nullptr, kInPlaceId, false), takes_(std::move(takes)) {}
  HRESULT CheckInputType(const MediaType& mt) override { return mt.Matches(takes_) ? S_OK : VFW_E_INVALIDMEDIATYPE; }
  HRESULT Transform(IMediaSample* s) override {
    if (hold) hold->Pass();
    ++seen;
    return result;
  }
  std::atomic<int> seen{0};
  HRESULT result = S_OK;
  Gate* hold = nullptr;

 private:
  MediaType takes_;
};

// A reader over bytes in memory: one output pin with the pull transport; requests complete in
// WaitForNext, flushing completes them with their sample untouched.
class MemReader : public BaseFilter {
 public:
  class Pin : public BaseOutputPin, public IAsyncReader {
   public:
    explicit Pin(MemReader* f) : BaseOutputPin(f, u"Output"), r_(f) {}
    HRESULT CheckMediaType(const MediaType& mt) override { return mt.majortype == MEDIATYPE_Stream ? S_OK : S_FALSE; }
    HRESULT GetMediaType(int i, MediaType* mt) override {
      if (i < 0) return E_INVALIDARG;
      if (i > 0) return VFW_S_NO_MORE_ITEMS;
      *mt = MediaType(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG1Audio);
      return S_OK;
    }
    HRESULT CheckConnect(IPin* pin) override { return BasePin::CheckConnect(pin); }
    HRESULT CompleteConnect(IPin*) override { return S_OK; }
    HRESULT Active() override { return S_OK; }
    HRESULT Inactive() override { return S_OK; }

    HRESULT RequestAllocator(IMemAllocator* pref, AllocatorProperties* props, IMemAllocator** actual) override {
      AllocatorProperties got;
      HRESULT hr = pref->SetProperties(props, &got);
      if (FAILED(hr)) return hr;
      *actual = pref;
      pref->AddRef();
      return S_OK;
    }
    HRESULT Request(IMediaSample* s, uintptr_t user) override {
      std::lock_guard<std::mutex> lock(m_);
      if (flushing_) return VFW_E_WRONG_STATE;
      queue_.push_back({s, user});
      cv_.notify_all();
      return S_OK;
    }
    HRESULT WaitForNext(uint32_t, IMediaSample** s, uintptr_t* user) override {
      std::unique_lock<std::mutex> lock(m_);
      cv_.wait(lock, [&] { return flushing_ || !queue_.empty(); });
      if (queue_.empty()) {
        *s = nullptr;
        return VFW_E_WRONG_STATE;
      }
      auto [sample, u] = queue_.front();
      queue_.pop_front();
      *s = sample;
      *user = u;
      if (flushing_) return VFW_E_WRONG_STATE;
      lock.unlock();
      return SyncReadAligned(sample);
    }
    HRESULT SyncReadAligned(IMediaSample* s) override {
      REFERENCE_TIME t0, t1;
      s->GetTime(&t0, &t1);
      int64_t pos = t0 / UNITS, len = (t1 - t0) / UNITS;
      int64_t size = int64_t(r_->bytes.size());
      if (pos + len > size) {
        len = std::max<int64_t>(size - pos, 0);
        t1 = (pos + len) * UNITS;
        s->SetTime(&t0, &t1);
      }
      uint8_t* p;
      s->GetPointer(&p);
      if (len > 0) std::memcpy(p, r_->bytes.data() + pos, size_t(len));
      s->SetActualDataLength(int32_t(len));
      return S_OK;
    }
    HRESULT SyncRead(int64_t pos, int32_t len, uint8_t* buf) override {
      if (pos < 0 || pos + len > int64_t(r_->bytes.size())) return E_FAIL;
      std::memcpy(buf, r_->bytes.data() + pos, size_t(len));
      return S_OK;
    }
    HRESULT Length(int64_t* total, int64_t* avail) override {
      *total = *avail = int64_t(r_->bytes.size());
      return S_OK;
    }
    // One override serves IPin's flush and the reader's.
    HRESULT BeginFlush() override {
      std::lock_guard<std::mutex> lock(m_);
      flushing_ = true;
      cv_.notify_all();
      return S_OK;
    }
    HRESULT EndFlush() override {
      std::lock_guard<std::mutex> lock(m_);
      flushing_ = false;
      return S_OK;
    }

   protected:
    void* GetInterface(const IID& iid) override {
      if (iid == IID_IAsyncReader) return static_cast<IAsyncReader*>(this);
      return BaseOutputPin::GetInterface(iid);
    }

   private:
    MemReader* r_;
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::pair<IMediaSample*, uintptr_t>> queue_;
    bool flushing_ = false;
  };

  explicit MemReader(std::vector<uint8_t> b) : BaseFilter("MemReader", nullptr, kReaderId), bytes(std::move(b)), pin_(this) {}
  int GetPinCount() override { return 1; }
  BasePin* GetPin(int i) override { return i == 0 ? &pin_ : nullptr; }
  std::vector<uint8_t> bytes;

 private:
  Pin pin_;
};

// Pulls every byte from a reader through PullPin and signals the end as a renderer does.
class PullSink : public BaseFilter {
 public:
  class Puller : public PullPin {
   public:
    explicit Puller(PullSink* s) : s_(s) {}
    HRESULT Receive(IMediaSample* sample) override {
      uint8_t* p;
      sample->GetPointer(&p);
      std::lock_guard<std::mutex> lock(s_->m);
      s_->data.insert(s_->data.end(), p, p + sample->GetActualDataLength());
      ++s_->pieces;
      if (s_->slow) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return S_OK;
    }
    void EndOfStream() override { s_->NotifyEvent(EC_COMPLETE, S_OK, 0); }
    void OnError(HRESULT hr) override { s_->NotifyEvent(EC_ERRORABORT, hr, 0); }
    PullSink* s_;
  };
  // Its pin runs the puller itself, as the filter's state changes reach it.
  class Pin : public PullInputPin {
   public:
    explicit Pin(PullSink* s) : PullInputPin(s, u"Input"), s_(s) {}
    HRESULT CheckMediaType(const MediaType& mt) override { return mt.majortype == MEDIATYPE_Stream ? S_OK : S_FALSE; }
    HRESULT CompleteConnect(IPin* pin) override { return s_->puller.Connect(pin, AllocatorProperties{2, 100, 1, 0}); }
    HRESULT BreakConnect() override {
      s_->puller.Disconnect();
      return PullInputPin::BreakConnect();
    }
    HRESULT Active() override { return s_->puller.Active(); }
    HRESULT Inactive() override { return s_->puller.Inactive(); }
    PullSink* s_;
  };
  PullSink() : BaseFilter("PullSink", nullptr, kPullSinkId), puller(this), pin_(this) {}
  ~PullSink() override { puller.Inactive(); }
  int GetPinCount() override { return 1; }
  BasePin* GetPin(int i) override { return i == 0 ? &pin_ : nullptr; }

  Puller puller;
  std::mutex m;
  std::vector<uint8_t> data;
  int pieces = 0;
  bool slow = false;

 private:
  Pin pin_;
};

// A file writer: each sample's data goes to the byte position its start time gives, and the
// input pin offers the byte stream (seek, write, read) for a header written afterwards.
class StreamWriterSink : public BaseFilter {
 public:
  class Pin : public BaseInputPin, public IStream {
   public:
    explicit Pin(StreamWriterSink* f) : BaseInputPin(f, u"In"), s_(f) {}
    HRESULT CheckMediaType(const MediaType& mt) override { return mt.majortype == MEDIATYPE_Stream ? S_OK : S_FALSE; }
    HRESULT Receive(IMediaSample* sample) override {
      HRESULT hr = BaseInputPin::Receive(sample);
      if (hr != S_OK) return hr;
      REFERENCE_TIME t0, t1;
      if (sample->GetTime(&t0, &t1) != S_OK) return E_FAIL;
      uint8_t* p;
      sample->GetPointer(&p);
      std::lock_guard<std::mutex> lock(s_->m);
      s_->Put(uint64_t(t0), p, uint32_t(sample->GetActualDataLength()));
      return S_OK;
    }
    HRESULT EndOfStream() override {
      HRESULT hr = BaseInputPin::EndOfStream();
      if (hr == S_OK) s_->NotifyEvent(EC_COMPLETE, S_OK, 0);
      return hr;
    }
    HRESULT Read(void* data, uint32_t size, uint32_t* read) override {
      std::lock_guard<std::mutex> lock(s_->m);
      uint64_t n = s_->cursor < s_->bytes.size() ? std::min<uint64_t>(size, s_->bytes.size() - s_->cursor) : 0;
      if (n) std::memcpy(data, s_->bytes.data() + s_->cursor, size_t(n));
      s_->cursor += n;
      if (read) *read = uint32_t(n);
      return n == size ? S_OK : S_FALSE;
    }
    HRESULT Write(const void* data, uint32_t size, uint32_t* written) override {
      std::lock_guard<std::mutex> lock(s_->m);
      s_->Put(s_->cursor, static_cast<const uint8_t*>(data), size);
      s_->cursor += size;
      ++s_->writes;
      if (written) *written = size;
      return S_OK;
    }
    HRESULT Seek(int64_t move, StreamSeek origin, uint64_t* position) override {
      std::lock_guard<std::mutex> lock(s_->m);
      int64_t base = origin == StreamSeek::Set ? 0 : origin == StreamSeek::Current ? int64_t(s_->cursor) : int64_t(s_->bytes.size());
      if (base + move < 0) return E_INVALIDARG;
      s_->cursor = uint64_t(base + move);
      if (position) *position = s_->cursor;
      return S_OK;
    }

   protected:
    void* GetInterface(const IID& iid) override {
      if (iid == IID_IStream) return static_cast<IStream*>(this);
      return BaseInputPin::GetInterface(iid);
    }

   private:
    StreamWriterSink* s_;
  };
  StreamWriterSink() : BaseFilter("StreamWriterSink", nullptr, kWriterSinkId), pin_(this) {}
  int GetPinCount() override { return 1; }
  BasePin* GetPin(int i) override { return i == 0 ? &pin_ : nullptr; }
  std::vector<uint8_t> Written() {
    std::lock_guard<std::mutex> lock(m);
    return bytes;
  }

  std::mutex m;
  std::vector<uint8_t> bytes;
  uint64_t cursor = 0;
  int writes = 0;

 private:
  void Put(uint64_t at, const uint8_t* p, uint32_t n) {
    if (bytes.size() < at + n) bytes.resize(size_t(at + n));
    if (n) std::memcpy(bytes.data() + at, p, n);
  }
  Pin pin_;
};

inline bool IsPcmAudio(const MediaType& mt) { return mt.majortype == MEDIATYPE_Audio && mt.subtype == MEDIASUBTYPE_PCM; }

// While it lives, intelligent connect finds a renderer of PCM audio before any other (a
// recording sink that takes nothing else); rendered counts the samples every one of them got.
class ScopedPcmRenderer {
 public:
  ScopedPcmRenderer() {
    FilterRegistration reg;
    reg.clsid = kPcmRendererId;
    reg.name = u"PCM Renderer";
    reg.merit = MERIT_PREFERRED + 1;
    reg.takesType = IsPcmAudio;
    reg.create = [](IUnknown*, IUnknown** out) -> HRESULT {
      auto* sink = new CountingSink;
      sink->accept = [](const MediaType& mt) { return IsPcmAudio(mt) ? S_OK : S_FALSE; };
      *out = static_cast<IBaseFilter*>(sink);
      (*out)->AddRef();
      ++made;
      return S_OK;
    };
    RegisterMediaFilter(reg);
    made = 0;
    rendered = 0;
  }
  ~ScopedPcmRenderer() { UnregisterMediaFilter(kPcmRendererId); }
  ScopedPcmRenderer(const ScopedPcmRenderer&) = delete;
  ScopedPcmRenderer& operator=(const ScopedPcmRenderer&) = delete;

  static inline std::atomic<int> made{0};
  static inline std::atomic<int> rendered{0};

 private:
  class CountingSink : public RecordingSink {
   public:
    HRESULT DoRenderSample(IMediaSample* s) override {
      ++rendered;
      return RecordingSink::DoRenderSample(s);
    }
  };
};

}  // namespace mtest
