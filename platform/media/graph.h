// The filter graph (internal to the layer; made through CLSID_FilterGraph).
#pragma once

#include <deque>
#include <set>

#include "platform/media/media_base.h"

class FilterGraph : public MediaObject,
                    public IGraphBuilder,
                    public IMediaControl,
                    public IMediaEvent,
                    public IMediaEventSink,
                    public IMediaSeeking,
                    public IMediaFilter,
                    public IBasicAudio {
 public:
  FilterGraph();
  ~FilterGraph() override;

  // IFilterGraph, IGraphBuilder
  HRESULT AddFilter(IBaseFilter* filter, const char16_t* name) override;
  HRESULT RemoveFilter(IBaseFilter* filter) override;
  HRESULT EnumFilters(FilterList* filters) override;
  HRESULT FindFilterByName(const char16_t* name, IBaseFilter** filter) override;
  HRESULT ConnectDirect(IPin* out, IPin* in, const MediaType* type) override;
  HRESULT Disconnect(IPin* pin) override;
  HRESULT Connect(IPin* out, IPin* in) override;
  HRESULT Render(IPin* out) override;
  HRESULT RenderFile(const char16_t* path, const char16_t* playList) override;

  // IMediaControl, IMediaFilter
  HRESULT Run() override;
  HRESULT Run(REFERENCE_TIME start) override;
  HRESULT Pause() override;
  HRESULT Stop() override;
  HRESULT GetState(uint32_t timeoutMs, FilterState* state) override;
  HRESULT GetClassID(CLSID* clsid) override;
  HRESULT SetSyncSource(IReferenceClock* clock) override;
  HRESULT GetSyncSource(IReferenceClock** clock) override;

  // IMediaEvent, IMediaEventSink
  HRESULT GetEvent(int32_t* code, intptr_t* param1, intptr_t* param2, uint32_t timeoutMs) override;
  HRESULT FreeEventParams(int32_t code, intptr_t param1, intptr_t param2) override { return S_OK; }
  HRESULT WaitForCompletion(uint32_t timeoutMs, int32_t* code) override;
  HRESULT Notify(int32_t code, intptr_t param1, intptr_t param2) override;

  // IMediaSeeking
  HRESULT GetCapabilities(uint32_t* caps) override;
  HRESULT GetDuration(int64_t* duration) override;
  HRESULT GetStopPosition(int64_t* stop) override;
  HRESULT GetCurrentPosition(int64_t* current) override;
  HRESULT GetPositions(int64_t* current, int64_t* stop) override;
  HRESULT SetPositions(int64_t* current, uint32_t currentFlags, int64_t* stop, uint32_t stopFlags) override;

  // IBasicAudio
  HRESULT SetVolume(int32_t volume) override;
  HRESULT GetVolume(int32_t* volume) override;
  HRESULT SetBalance(int32_t balance) override;
  HRESULT GetBalance(int32_t* balance) override;

 protected:
  void* GetInterface(const IID& iid) override;

 private:
  struct Entry {
    ComPtr<IBaseFilter> filter;
    std::u16string name;
  };
  // What an intelligent connect did, so that a failed attempt can be taken back.
  struct Step {
    ComPtr<IPin> out, in;          // a connection
    ComPtr<IBaseFilter> added;     // or a filter added
  };
  using Journal = std::vector<Step>;

  bool Contains(IBaseFilter* filter) const;
  HRESULT AddFilterLocked(IBaseFilter* filter, const char16_t* name);
  HRESULT RemoveFilterLocked(IBaseFilter* filter);
  std::vector<IBaseFilter*> DownstreamFirst() const;
  std::vector<ComPtr<IMediaSeeking>> Seekers() const;
  template <class T>
  ComPtr<T> FirstFilterWith() const;
  template <class Call>
  HRESULT ToAudio(Call call);  // call on the first filter with IBasicAudio, under the lock
  void SetStateLocked(FilterState state);  // keeps the list of graphs out of the stopped state
  HRESULT ChooseClock();
  HRESULT PauseFilters();
  HRESULT RunFilters(REFERENCE_TIME start);
  void StopFilters();
  void ResetCompletion(int renderers);
  int CountRenderers() const;
  REFERENCE_TIME ClockNow() const;
  int64_t StopPositionLocked();
  int64_t CurrentPositionLocked();

  HRESULT ConnectVia(IPin* out, IPin* target, int depth, Journal& journal);
  HRESULT TryThrough(IPin* out, IPin* in, IPin* target, int depth, Journal& journal);
  HRESULT RenderOutputs(IBaseFilter* filter, int depth, Journal& journal, int* rendered, int* outputs);
  void Undo(Journal& journal, size_t mark);

  // Graph lock, the outermost of the layer (media_base.h): the fields up to the event lock.
  std::recursive_mutex lock_;
  std::vector<Entry> filters_;
  FilterState state_ = FilterState::Stopped;
  ComPtr<IReferenceClock> clock_;
  bool clockByApp_ = false;  // set by SetSyncSource, else chosen when leaving stopped
  REFERENCE_TIME start_ = 0;     // clock time of stream time 0
  REFERENCE_TIME pausedAt_ = 0;  // stream time when paused
  int64_t positionBase_ = 0;     // media position at stream time 0
  int64_t stopPosition_ = -1;    // -1: the sources' own

  std::mutex eventLock_;  // innermost (media_base.h): the fields below
  std::condition_variable eventReady_;
  struct Event {
    int32_t code;
    intptr_t param1, param2;
  };
  std::deque<Event> events_;
  std::set<intptr_t> completed_;
  int renderers_ = 0;
  int32_t doneCode_ = 0;  // EC_COMPLETE, EC_ERRORABORT or EC_USERABORT once the stream ended
};
