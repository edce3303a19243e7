// Platform layer: base classes for writing filters of the media framework (media.h).
//
// A filter derives from BaseFilter (or TransformFilter, InPlaceTransformFilter, BaseRenderer),
// owns its pins and hands them out through GetPinCount/GetPin. Pins share the filter's lock and
// reference count. Every thread a filter starts is a MediaThread joined by the filter itself,
// at the latest in its Stop.
//
// Locks, in the one order in which they are taken (a lock on the left may be held while one on
// its right is taken, never the reverse; locks separated by commas are never taken one under
// another):
//
//   movie handle lock -> graph lock -> filter lock -> streaming lock -> audio output lock
//     -> a filter's own locks -> sound device mutex -> allocator lock, event lock, registry lock,
//     active graphs lock, a clock's own lock -> picture memory lock, engine allocator lock
//
// Held above them, and taken under none of them: the API lock (LibInit and LibEnd start and end
// the sound output and the movies; an exit() inside the message pump closes the movies under it)
// and a drawing graph's handle lock (DeleteGraphCallback closes its movie).
//
// - Movie handle lock (the movie handle set's, engine/system/handle.cpp): the movie handles. Held
//   by SubHandle while a closing movie goes (CloseMovie, a failed OpenMovie, TerminateMovieManage:
//   DeleteMovieHandle, then ReleaseMovieGraph), so the graph stops, joins its threads and is
//   released under it. Only application threads take it; no streaming thread does.
// - Graph lock (FilterGraph::lock_): the graph's filters, state, clock and positions. Held while
//   it changes its filters' states, seeks them, sets the audio renderer's volume (its ring lock),
//   reads the clock and makes objects (the registry lock). A pause's completion is asked of the
//   filters without it.
// - Filter lock (BaseFilter::lock_, also the lock of the filter's pins): the filter's state
//   changes, its pins' connections and types, its clock. Only application threads take it (the
//   graph, the filter's owner); no streaming-thread path does. Pins that exist from the filter's
//   construction are reached without it (GetPin, TransformFilter::InputPin and OutputPin), and
//   what a streaming thread reads of a connection is set only while the filter is stopped.
//   A connection holds the upstream filter's lock while it takes the downstream one's.
// - Streaming lock (TransformFilter::receiveLock_, BaseRenderer::renderLock_): held by the
//   streaming thread through one sample or end of stream. Delivering downstream takes the next
//   filter's streaming lock with this one held, so they nest from upstream to downstream. The
//   application takes it under a filter lock (the filter's own, or a source's that flushes
//   downstream): to stop, to flush, to open or drop a decoder.
// - Audio output lock (AudioOutput::lock, filters/audio_renderer.cpp): the sound device the
//   audio renderers play through and the renderers alive. Only application threads take it: a
//   renderer leaving the stopped state (under its filter lock), SetMediaAudioDevice and
//   MediaAudioQueuedMs, each of which takes ring locks under it; the renderer's GetMediaType,
//   which proposes the mix's rate while a connection holds the upstream filter's lock, and takes
//   nothing under it; a renderer made or destroyed, to add or drop itself.
// - A filter's own locks: their own fields only. None is held while another of them is taken,
//   nothing under them delivers a sample, and no thread is joined under one.
//     - the renderer's wait lock (BaseRenderer::mutex_): the running stream's clock and start,
//       what was rendered, the wait for a sample's time; the clock is read and EC_COMPLETE sent
//       (the event lock) under it;
//     - the audio renderer's ring lock (bufferLock_): its play buffer and the ring's counts; every
//       call on the play buffer takes the sound device mutex under it. Its clearing thread takes
//       this lock, and the device mutex under it, and nothing else;
//     - the video decoder's clock lock: the running stream's clock (none unless running) and
//       start. The application sets them in Run and clears them in Pause and Stop, never holding
//       it while it takes the filter lock; the streaming thread, under its streaming lock, copies
//       both out to tell a late picture and reads the clock after letting go. Nothing is taken
//       under it;
//     - the movie renderer's frame lock: the ready frame and the new-frame flag; a kept sample let
//       go under it returns to its allocator (the allocator lock);
//     - the sample grabber's lock: the accepted type and the owner's callback, held through it.
//       Taken under the filter locks of a connection (the type checked, the type offered
//       upstream) and under the streaming lock; the sound conversion's callback, growing its PCM
//       buffer, takes the engine allocator lock under it;
//     - a demultiplexer pin's queue lock: the packets waiting for its streaming thread;
//     - the asynchronous reader's request lock (its lists of reads) and its stream lock (held
//       through one read, with the memory stream's own lock taken under it).
// - Sound device mutex (AudioDevice::mutex, platform/audio): a device's buffers and their play
//   state. A mix holds it throughout and takes under it only the sound output's own client and
//   music locks, never one of this layer.
// - Allocator lock (MemAllocator), the graph's event lock, the registry lock and whatever lock a
//   reference clock's GetTime takes: nothing but the picture memory lock is taken under them.
// - Active graphs lock (graph.cpp): the graphs out of the stopped state. Taken under a graph's
//   lock as it leaves or reaches the stopped state, and alone by StopMediaGraphs, which lets go
//   of it before stopping any graph. Nothing is taken under it.
// - Picture memory lock (picture_memory.cpp): the spare picture blocks. A picture goes back to
//   it from whichever thread lets it go last, under any of the locks above; innermost.
// - Engine allocator lock (engine/system/memory.cpp): the engine's list of live blocks, held only
//   within MemAlloc, MemFree and their kin. Taken under the sample grabber's lock on the
//   streaming thread (MP3GrabberCallback); under the movie renderer's filter lock, with the
//   upstream filter's held, while a connection sets its type (MovieRenderer::SetMediaType: its
//   frame buffers and conversion image); under the movie handle lock as a movie closes.
//   Innermost: only the log's lock is taken under it.
//
// So a Stop may hold its filter lock while it waits for the streaming lock: it first marks the
// filter stopped and makes the pins inactive (a decommitted allocator wakes a thread waiting for
// a buffer, a stopped renderer returns at once), and the thread it waits for never asks for the
// filter lock. The graph stops renderers first, so a thread blocked downstream is released
// before its upstream filters wait for it. A thread is joined only where its joiner holds no lock
// the thread takes: a filter joins its threads (and FFmpeg's) under the movie handle lock, the
// graph lock, its own filter lock and at most its own streaming lock, which they never take; the
// audio renderer lets go of its ring lock before it joins its clearing thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/media/media.h"

// ---------------------------------------------------------------------------------------------
// Reference-counted object. A new object has no reference yet: the first QueryInterface or
// ComPtr takes it. An object made with an owner (a pin of its filter) shares the owner's count.
class MediaObject : public virtual IUnknown {
 public:
  explicit MediaObject(MediaObject* owner = nullptr);
  MediaObject(const MediaObject&) = delete;
  MediaObject& operator=(const MediaObject&) = delete;
  ~MediaObject() override;

  HRESULT QueryInterface(const IID& iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

 protected:
  // The interface for the id, cast from this, or null. Overrides end with the base's answer.
  virtual void* GetInterface(const IID& iid);
  // The count reached 0.
  virtual void OnFinalRelease() { delete this; }

 private:
  MediaObject* owner_;
  std::atomic<uint32_t> refs_{0};
};

// A streaming thread of the layer, counted while it runs (MediaLiveThreads) and joined by the
// object that started it.
class MediaThread {
 public:
  MediaThread() = default;
  MediaThread(const MediaThread&) = delete;
  MediaThread& operator=(const MediaThread&) = delete;
  ~MediaThread() { Join(); }
  // false when it is already running or cannot start.
  bool Start(std::function<void()> body);
  void Join();
  bool Joinable() const { return thread_.joinable(); }

 private:
  std::thread thread_;
};

// ---------------------------------------------------------------------------------------------
// Samples and the memory allocator

class MemAllocator;

class MediaSample : public MediaObject, public IMediaSample {
 public:
  // With an allocator the sample returns to it at its last release; without one it is deleted.
  MediaSample(MemAllocator* allocator, uint8_t* data, int32_t size);

  HRESULT GetPointer(uint8_t** data) override;
  int32_t GetSize() override { return size_; }
  HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
  HRESULT SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* stop) override;
  HRESULT IsSyncPoint() override { return sync_ ? S_OK : S_FALSE; }
  HRESULT SetSyncPoint(bool sync) override;
  HRESULT IsPreroll() override { return preroll_ ? S_OK : S_FALSE; }
  HRESULT SetPreroll(bool preroll) override;
  HRESULT IsDiscontinuity() override { return discontinuity_ ? S_OK : S_FALSE; }
  HRESULT SetDiscontinuity(bool discontinuity) override;
  int32_t GetActualDataLength() override { return actual_; }
  HRESULT SetActualDataLength(int32_t length) override;
  HRESULT GetMediaType(MediaType* type) override;
  HRESULT SetMediaType(const MediaType* type) override;
  uint32_t GetStreamId() override { return streamId_; }
  HRESULT SetStreamId(uint32_t id) override;

  // Clears times, flags, type change and stream id; the actual length becomes the size.
  void ResetProperties();

 protected:
  void* GetInterface(const IID& iid) override;
  void OnFinalRelease() override;

 private:
  MemAllocator* allocator_;
  uint8_t* data_;
  int32_t size_;
  int32_t actual_;
  REFERENCE_TIME start_ = 0, stop_ = 0;
  bool hasStart_ = false, hasStop_ = false;
  bool sync_ = false, preroll_ = false, discontinuity_ = false;
  uint32_t streamId_ = AM_STREAM_MEDIA;
  std::unique_ptr<MediaType> typeChange_;
};

// Samples over one block of memory. A subclass places the samples elsewhere by replacing
// Alloc and Free (and then calls AddFreeSample/DeleteSamples itself).
class MemAllocator : public MediaObject, public IMemAllocator {
 public:
  MemAllocator();
  ~MemAllocator() override;

  // Size rounded up so that every buffer (after its prefix) starts aligned; cbAlign must be a
  // power of two; at least one buffer.
  HRESULT SetProperties(const AllocatorProperties* request, AllocatorProperties* actual) override;
  HRESULT GetProperties(AllocatorProperties* props) override;
  HRESULT Commit() override;
  HRESULT Decommit() override;
  HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, uint32_t flags) override;
  HRESULT ReleaseBuffer(IMediaSample* sample) override;

 protected:
  void* GetInterface(const IID& iid) override;
  // Makes props_.cBuffers samples of props_.cbBuffer bytes each. Alloc and Free run under the
  // allocator lock: they take no lock but the picture memory lock.
  virtual HRESULT Alloc();
  // Frees what Alloc made; called with every sample back.
  virtual void Free();
  void AddFreeSample(MediaSample* sample);  // the allocator owns it from now on
  void DeleteSamples();

  AllocatorProperties props_;

 private:
  friend class MediaSample;
  std::mutex mutex_;  // allocator lock (see the order above): props_ and the fields below
  std::condition_variable freed_;
  std::vector<MediaSample*> free_;
  struct BlockRelease {
    size_t pictureBytes;  // from picture memory; 0: from new[]
    void operator()(uint8_t* block) const;
  };
  using Block = std::unique_ptr<uint8_t[], BlockRelease>;
  Block block_{nullptr, BlockRelease{0}};
  int outstanding_ = 0;
  bool propsSet_ = false;
  bool committed_ = false;
  bool allocated_ = false;
};

// ---------------------------------------------------------------------------------------------
// Pins

class BaseFilter;

class BasePin : public MediaObject, public IPin {
 public:
  BasePin(BaseFilter* filter, const char16_t* name, PinDirection dir);

  HRESULT Connect(IPin* receivePin, const MediaType* type) override;
  HRESULT ReceiveConnection(IPin* connector, const MediaType& type) override;
  HRESULT Disconnect() override;
  HRESULT ConnectedTo(IPin** pin) override;
  HRESULT ConnectionMediaType(MediaType* type) override;
  HRESULT QueryPinInfo(PinInfo* info) override;
  HRESULT QueryDirection(PinDirection* dir) override;
  HRESULT QueryAccept(const MediaType& type) override;
  HRESULT GetMediaType(int index, MediaType* type) override;  // none by default
  HRESULT EndOfStream() override { return E_UNEXPECTED; }
  HRESULT BeginFlush() override { return E_UNEXPECTED; }
  HRESULT EndFlush() override { return E_UNEXPECTED; }
  HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  // Hooks of the connection. Only S_OK from CheckMediaType accepts a type.
  virtual HRESULT CheckMediaType(const MediaType& type) = 0;
  virtual HRESULT SetMediaType(const MediaType& type);  // the agreed type, stored by the base
  virtual HRESULT CheckConnect(IPin* pin);               // direction
  virtual HRESULT CompleteConnect(IPin* pin) { return S_OK; }
  virtual HRESULT BreakConnect() { return S_OK; }
  // The filter leaves or enters the stopped state.
  virtual HRESULT Active() { return S_OK; }
  virtual HRESULT Inactive() { return S_OK; }

  bool IsConnected() const { return connected_.Get() != nullptr; }
  IPin* GetConnected() const { return connected_.Get(); }
  const MediaType& CurrentMediaType() const { return type_; }
  BaseFilter* Filter() const { return filter_; }
  const std::u16string& Name() const { return name_; }
  // The start of the last NewSegment.
  REFERENCE_TIME CurrentStartTime() const { return segStart_; }

 protected:
  void* GetInterface(const IID& iid) override;
  std::recursive_mutex& Lock() const;
  bool FilterStopped() const;

  ComPtr<IPin> connected_;
  MediaType type_;

 private:
  HRESULT AgreeMediaType(IPin* receivePin, const MediaType* pattern);
  HRESULT AttemptConnection(IPin* receivePin, const MediaType& type);
  void ClearConnection();

  BaseFilter* filter_;
  std::u16string name_;
  PinDirection dir_;
  REFERENCE_TIME segStart_ = 0;
};

class BaseInputPin : public BasePin, public IMemInputPin {
 public:
  BaseInputPin(BaseFilter* filter, const char16_t* name);

  // Our own memory allocator unless one was set.
  HRESULT GetAllocator(IMemAllocator** allocator) override;
  HRESULT NotifyAllocator(IMemAllocator* allocator, bool readOnly) override;
  HRESULT GetAllocatorRequirements(AllocatorProperties* props) override { return E_NOTIMPL; }
  // The base only checks that samples may flow now (CheckStreaming); subclasses do the work.
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndOfStream() override { return CheckStreaming(); }
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;

  HRESULT BreakConnect() override;
  HRESULT Active() override;
  HRESULT Inactive() override;

  // S_OK when a sample may be taken: VFW_E_NOT_CONNECTED, VFW_E_WRONG_STATE when stopped,
  // S_FALSE while flushing, VFW_E_RUNTIME_ERROR after a streaming error.
  HRESULT CheckStreaming();
  bool IsFlushing() const { return flushing_; }
  bool IsReadOnly() const { return readOnly_; }
  void SetRuntimeError() { runtimeError_ = true; }
  IMemAllocator* Allocator() const { return allocator_.Get(); }

 protected:
  void* GetInterface(const IID& iid) override;

  ComPtr<IMemAllocator> allocator_;
  bool readOnly_ = false;
  std::atomic<bool> flushing_{false};
  std::atomic<bool> runtimeError_{false};
};

class BaseOutputPin : public BasePin {
 public:
  BaseOutputPin(BaseFilter* filter, const char16_t* name);

  HRESULT CheckConnect(IPin* pin) override;      // the input pin must offer push transport
  HRESULT CompleteConnect(IPin* pin) override;   // agrees on an allocator
  HRESULT BreakConnect() override;
  HRESULT Active() override;    // commits the allocator
  HRESULT Inactive() override;  // decommits it, waking a thread waiting for a buffer

  // Sets the allocator's properties from the downstream request (cbAlign at least 1).
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, AllocatorProperties* request) { return E_NOTIMPL; }
  // The downstream pin's allocator when it takes our sizes, else one of InitAllocator's.
  virtual HRESULT DecideAllocator(IMemInputPin* pin, ComPtr<IMemAllocator>* allocator);
  virtual HRESULT InitAllocator(ComPtr<IMemAllocator>* allocator);

  HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, uint32_t flags);
  HRESULT Deliver(IMediaSample* sample);
  HRESULT DeliverEndOfStream();
  HRESULT DeliverBeginFlush();
  HRESULT DeliverEndFlush();
  HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  IMemAllocator* Allocator() const { return allocator_.Get(); }
  IMemInputPin* ConnectedInput() const { return input_.Get(); }

 protected:
  ComPtr<IMemAllocator> allocator_;
  ComPtr<IMemInputPin> input_;
};

// ---------------------------------------------------------------------------------------------
// Filters

class BaseFilter : public MediaObject, public IBaseFilter {
 public:
  // The outer object is accepted for the callers' sake; filters are not aggregated.
  BaseFilter(const char* objectName, IUnknown* outer, const CLSID& clsid);

  HRESULT GetClassID(CLSID* clsid) override;
  HRESULT Stop() override;                        // pins inactive
  HRESULT Pause() override;                       // from stopped: connected pins active
  HRESULT Run(REFERENCE_TIME start) override;     // pauses first when stopped
  HRESULT GetState(uint32_t timeoutMs, FilterState* state) override;
  HRESULT SetSyncSource(IReferenceClock* clock) override;
  HRESULT GetSyncSource(IReferenceClock** clock) override;
  HRESULT EnumPins(PinList* pins) override;
  HRESULT FindPin(const char16_t* name, IPin** pin) override;
  HRESULT QueryFilterInfo(FilterInfo* info) override;
  HRESULT JoinFilterGraph(IFilterGraph* graph, const char16_t* name) override;

  virtual int GetPinCount() = 0;
  virtual BasePin* GetPin(int index) = 0;  // null past the last

  // Posts an event to the graph; E_NOTIMPL outside one.
  HRESULT NotifyEvent(int32_t code, intptr_t param1, intptr_t param2);
  FilterState State() const { return state_; }
  bool IsStopped() const { return state_ == FilterState::Stopped; }
  bool IsActive() const { return state_ != FilterState::Stopped; }
  std::recursive_mutex& FilterLock() { return lock_; }
  IFilterGraph* Graph() const { return graph_; }
  const char* ObjectName() const { return objectName_; }
  // The clock (not add-referenced; null when running without one) and the stream's start on it.
  IReferenceClock* Clock() const { return clock_.Get(); }
  REFERENCE_TIME StartTime() const { return start_; }
  // Clock time minus the start; VFW_E_WRONG_STATE when there is no clock.
  HRESULT StreamTime(REFERENCE_TIME* time);

 protected:
  void* GetInterface(const IID& iid) override;

  std::recursive_mutex lock_;  // filter lock (see the order above): state changes, pins, clock
  std::atomic<FilterState> state_{FilterState::Stopped};
  ComPtr<IReferenceClock> clock_;
  REFERENCE_TIME start_ = 0;

 private:
  const char* objectName_;
  CLSID clsid_;
  IFilterGraph* graph_ = nullptr;  // the graph holds us, not the reverse
  std::atomic<IMediaEventSink*> sink_{nullptr};
  std::u16string name_;
};

// A filter with one input and one output whose samples go through Transform on the way.
class TransformInputPin;
class TransformOutputPin;

class TransformFilter : public BaseFilter {
 public:
  TransformFilter(const char* objectName, IUnknown* outer, const CLSID& clsid);
  ~TransformFilter() override;

  int GetPinCount() override { return 2; }
  BasePin* GetPin(int index) override;  // 0 input, 1 output
  HRESULT Stop() override;   // StopStreaming once no Receive is running
  HRESULT Pause() override;  // StartStreaming when leaving stopped

  // Hooks.
  virtual HRESULT CheckInputType(const MediaType& type) = 0;
  virtual HRESULT CheckTransform(const MediaType& in, const MediaType& out) = 0;
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, AllocatorProperties* request) = 0;
  virtual HRESULT GetMediaType(int index, MediaType* type) = 0;  // the output's types
  virtual HRESULT Transform(IMediaSample* in, IMediaSample* out) { return E_UNEXPECTED; }
  virtual HRESULT SetMediaType(PinDirection dir, const MediaType& type) { return S_OK; }
  virtual HRESULT CheckConnect(PinDirection dir, IPin* pin) { return S_OK; }
  virtual HRESULT CompleteConnect(PinDirection dir, IPin* pin) { return S_OK; }
  virtual HRESULT BreakConnect(PinDirection dir) { return S_OK; }
  virtual HRESULT StartStreaming() { return S_OK; }
  virtual HRESULT StopStreaming() { return S_OK; }

  // The streaming path; the defaults pass each call downstream.
  virtual HRESULT Receive(IMediaSample* sample);  // output buffer, properties, Transform, Deliver
  virtual HRESULT EndOfStream();
  virtual HRESULT BeginFlush();
  virtual HRESULT EndFlush();
  virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  // Made with the filter and never replaced afterwards: no lock needed to reach them.
  TransformInputPin* InputPin() const { return input_.get(); }
  TransformOutputPin* OutputPin() const { return output_.get(); }

 protected:
  // For the constructors of subclasses with pins of their own (null keeps the pin there is).
  void SetPins(TransformInputPin* input, TransformOutputPin* output);
  // Copies times, flags, stream id and a type change from one sample to another.
  static void CopySampleProperties(IMediaSample* from, IMediaSample* to);

  // Streaming lock (see the order above): held through each Receive and EndOfStream.
  std::mutex receiveLock_;

 private:
  friend class TransformInputPin;
  std::unique_ptr<TransformInputPin> input_;
  std::unique_ptr<TransformOutputPin> output_;
};

class TransformInputPin : public BaseInputPin {
 public:
  TransformInputPin(TransformFilter* filter, const char16_t* name = u"Input");
  HRESULT CheckMediaType(const MediaType& type) override;
  HRESULT SetMediaType(const MediaType& type) override;
  HRESULT CheckConnect(IPin* pin) override;
  HRESULT CompleteConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndOfStream() override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;
  HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

 protected:
  TransformFilter* transform_;
};

class TransformOutputPin : public BaseOutputPin {
 public:
  TransformOutputPin(TransformFilter* filter, const char16_t* name = u"Output");
  HRESULT CheckMediaType(const MediaType& type) override;  // the input must be connected
  HRESULT GetMediaType(int index, MediaType* type) override;
  HRESULT SetMediaType(const MediaType& type) override;
  HRESULT CheckConnect(IPin* pin) override;
  HRESULT CompleteConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, AllocatorProperties* request) override;

 protected:
  TransformFilter* transform_;
};

// A transform that works on the sample it receives and passes that same sample on. Upstream
// and downstream share one allocator when both take it; otherwise each sample is copied.
class InPlaceTransformFilter : public TransformFilter {
 public:
  InPlaceTransformFilter(const char* objectName, IUnknown* outer, const CLSID& clsid, bool modifiesData);

  // S_OK passes the sample on, anything else keeps it back (S_FALSE: quietly).
  virtual HRESULT Transform(IMediaSample* sample) = 0;

  HRESULT Receive(IMediaSample* sample) override;
  // The output takes exactly the input's type.
  HRESULT CheckTransform(const MediaType& in, const MediaType& out) override;
  HRESULT GetMediaType(int index, MediaType* type) override;
  // Copies the upstream allocator's sizes.
  HRESULT DecideBufferSize(IMemAllocator* allocator, AllocatorProperties* request) override;

  bool UsingDifferentAllocators() const;
  // An output buffer holding the sample's data and properties (a new reference), or null.
  IMediaSample* Copy(IMediaSample* source);

 private:
  using TransformFilter::Transform;
  bool modifiesData_;
};

class InPlaceInputPin : public TransformInputPin {
 public:
  InPlaceInputPin(InPlaceTransformFilter* filter, const char16_t* name = u"Input");
  // Downstream's allocator when the output is connected, so that upstream fills its buffers.
  HRESULT GetAllocator(IMemAllocator** allocator) override;
  HRESULT GetAllocatorRequirements(AllocatorProperties* props) override;
  HRESULT CheckMediaType(const MediaType& type) override;  // also downstream's when connected
};

class InPlaceOutputPin : public TransformOutputPin {
 public:
  InPlaceOutputPin(InPlaceTransformFilter* filter, const char16_t* name = u"Output");
  // Offers the input's allocator downstream first.
  HRESULT DecideAllocator(IMemInputPin* pin, ComPtr<IMemAllocator>* allocator) override;
};

// ---------------------------------------------------------------------------------------------
// Renderers: one input pin; samples are rendered on the streaming thread that delivers them.
// With a clock a sample waits for its start time; without one it is rendered as it comes.
// Paused, the first sample is rendered at once and the next ones wait for Run.
class RendererInputPin;

class BaseRenderer : public BaseFilter {
 public:
  BaseRenderer(const CLSID& clsid, const char* objectName, IUnknown* outer, HRESULT* hr);
  ~BaseRenderer() override;

  int GetPinCount() override { return 1; }
  BasePin* GetPin(int index) override;
  HRESULT Stop() override;
  HRESULT Pause() override;
  HRESULT Run(REFERENCE_TIME start) override;
  // Paused, the state is reached once the first sample is rendered (or the end of the stream has
  // come): until then, up to the time given, it waits, then answers VFW_S_STATE_INTERMEDIATE.
  HRESULT GetState(uint32_t timeoutMs, FilterState* state) override;

  // Hooks.
  virtual HRESULT CheckMediaType(const MediaType* type) = 0;
  virtual HRESULT SetMediaType(const MediaType* type) { return S_OK; }
  // The types the input pin proposes, tried before the upstream pin's own; none by default.
  virtual HRESULT GetMediaType(int index, MediaType* type) { return index < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS; }
  virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;
  virtual HRESULT CompleteConnect(IPin* pin) { return S_OK; }
  virtual HRESULT BreakConnect() { return S_OK; }
  virtual HRESULT OnStartStreaming() { return S_OK; }  // leaving stopped
  virtual HRESULT OnStopStreaming() { return S_OK; }   // stopped
  // false: render at once even with a clock (a renderer that paces itself, like audio).
  virtual bool SyncToClock() const { return true; }

  // The streaming path.
  virtual HRESULT Receive(IMediaSample* sample);
  virtual HRESULT EndOfStream();  // EC_COMPLETE once running and the last sample's time is over
  virtual HRESULT BeginFlush();
  virtual HRESULT EndFlush();

  RendererInputPin* InputPin() { return pin_.get(); }
  // Waits up to the time unless the renderer stops or flushes meanwhile (then false).
  bool WaitFor(std::chrono::microseconds time);

 private:
  void Wake();
  void SendCompleteIfDue();  // under mutex_

  std::unique_ptr<RendererInputPin> pin_;
  // The wait lock, one of a filter's own (see the order above): the fields below and the wait for
  // a sample's time. The clock is read and the graph's event lock taken under it.
  std::mutex mutex_;
  std::mutex renderLock_;  // streaming lock (see the order above): held through DoRenderSample
  std::condition_variable wake_;
  ComPtr<IReferenceClock> runClock_;  // the clock and start of the running stream, under mutex_
  REFERENCE_TIME runStart_ = 0;
  bool havePoster_ = false;  // a sample was rendered since the stream started or flushed
  static constexpr REFERENCE_TIME kNoTime = INT64_MIN;
  REFERENCE_TIME lastStop_ = kNoTime;  // stream time at which the last rendered sample ends
  bool eos_ = false;
  bool completeSent_ = false;
};

class RendererInputPin : public BaseInputPin {
 public:
  RendererInputPin(BaseRenderer* renderer, const char16_t* name = u"In");
  HRESULT CheckMediaType(const MediaType& type) override;
  HRESULT GetMediaType(int index, MediaType* type) override;
  HRESULT SetMediaType(const MediaType& type) override;
  HRESULT CompleteConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndOfStream() override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;

 private:
  BaseRenderer* renderer_;
};

// The base for renderers of video frames.
class BaseVideoRenderer : public BaseRenderer {
 public:
  using BaseRenderer::BaseRenderer;
};

// The monotonic clock of the machine, the default clock of a graph without a clock of its own.
class SystemClock : public MediaObject, public IReferenceClock {
 public:
  HRESULT GetTime(REFERENCE_TIME* time) override;

 protected:
  void* GetInterface(const IID& iid) override;
};

// Takes any type and drops every sample.
class NullRenderer : public BaseRenderer {
 public:
  NullRenderer(IUnknown* outer, HRESULT* hr);
  HRESULT CheckMediaType(const MediaType* type) override { return type ? S_OK : E_POINTER; }
  HRESULT DoRenderSample(IMediaSample* sample) override { return S_OK; }
};

// ---------------------------------------------------------------------------------------------
// Pull mode: the input pin of a parser connects only to a pin offering IAsyncReader. The parser
// reads on its own thread, started and stopped by the filter rather than by the pin.
class PullInputPin : public BaseInputPin {
 public:
  using BaseInputPin::BaseInputPin;
  HRESULT CheckConnect(IPin* pin) override;
  HRESULT Active() override { return S_OK; }
  HRESULT Inactive() override { return S_OK; }
};

// An input pin of a parser keeps one of these for its upstream reader. Active runs
// a thread that reads the byte range in allocator-sized pieces and hands each to Receive.
class PullPin {
 public:
  PullPin() = default;
  PullPin(const PullPin&) = delete;
  PullPin& operator=(const PullPin&) = delete;
  virtual ~PullPin();  // the owner calls Inactive first: the thread calls the owner's hooks

  // Finds the reader behind the output pin and agrees on an allocator of about these sizes.
  HRESULT Connect(IPin* outputPin, const AllocatorProperties& wanted);
  void Disconnect();
  HRESULT Active();    // commits the allocator and starts reading at the start position
  HRESULT Inactive();  // flushes the reader, joins the thread, decommits
  // Byte range read by the next Active; stop < 0 means the end.
  void Seek(int64_t start, int64_t stop);

  IAsyncReader* Reader() const { return reader_.Get(); }

 protected:
  // S_OK keeps reading; anything else ends the thread quietly.
  virtual HRESULT Receive(IMediaSample* sample) = 0;
  virtual void EndOfStream() = 0;
  virtual void OnError(HRESULT hr) = 0;

 private:
  void Process();

  ComPtr<IAsyncReader> reader_;
  ComPtr<IMemAllocator> allocator_;
  MediaThread thread_;
  std::atomic<bool> stopping_{false};
  int64_t start_ = 0, stop_ = -1;
  int32_t align_ = 1;
};
