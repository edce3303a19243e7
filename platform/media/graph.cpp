// The filter graph: membership, state, events, positions and volume.
#include "platform/media/graph.h"

#include <algorithm>
#include <chrono>
#include <functional>

#include "platform/lifelong.h"

namespace {

// The graphs out of the stopped state, whose filters may have threads running.
struct ActiveGraphs {
  std::mutex lock;  // taken under graph locks (media_base.h); nothing is taken under it
  std::vector<FilterGraph*> graphs;
};

ActiveGraphs& Active() { return Lifelong<ActiveGraphs>(); }

}  // namespace

void StopMediaGraphs() {
  std::vector<FilterGraph*> graphs;
  {
    std::lock_guard<std::mutex> lock(Active().lock);
    graphs = Active().graphs;
  }
  for (FilterGraph* graph : graphs) graph->Stop();
}

FilterGraph::FilterGraph() = default;

FilterGraph::~FilterGraph() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  StopFilters();
  SetStateLocked(FilterState::Stopped);
  while (!filters_.empty()) RemoveFilterLocked(filters_.back().filter.Get());
}

void* FilterGraph::GetInterface(const IID& iid) {
  if (iid == IID_IGraphBuilder) return static_cast<IGraphBuilder*>(this);
  if (iid == IID_IFilterGraph) return static_cast<IFilterGraph*>(this);
  if (iid == IID_IMediaControl) return static_cast<IMediaControl*>(this);
  if (iid == IID_IMediaEvent) return static_cast<IMediaEvent*>(this);
  if (iid == IID_IMediaEventSink) return static_cast<IMediaEventSink*>(this);
  if (iid == IID_IMediaSeeking) return static_cast<IMediaSeeking*>(this);
  if (iid == IID_IMediaFilter) return static_cast<IMediaFilter*>(this);
  if (iid == IID_IBasicAudio) return static_cast<IBasicAudio*>(this);
  return MediaObject::GetInterface(iid);
}

// --- membership

bool FilterGraph::Contains(IBaseFilter* filter) const {
  return std::any_of(filters_.begin(), filters_.end(), [&](const Entry& e) { return e.filter.Get() == filter; });
}

HRESULT FilterGraph::AddFilter(IBaseFilter* filter, const char16_t* name) {
  if (!filter) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  return AddFilterLocked(filter, name);
}

HRESULT FilterGraph::AddFilterLocked(IBaseFilter* filter, const char16_t* name) {
  if (Contains(filter)) return E_INVALIDARG;
  std::u16string base = name && *name ? name : u"Filter";
  std::u16string unique = base;
  auto taken = [&](const std::u16string& n) {
    return std::any_of(filters_.begin(), filters_.end(), [&](const Entry& e) { return e.name == n; });
  };
  HRESULT result = S_OK;
  for (int n = 1; taken(unique); ++n) {
    char16_t digits[6] = {u' ', char16_t(u'0' + n / 1000 % 10), char16_t(u'0' + n / 100 % 10),
                          char16_t(u'0' + n / 10 % 10), char16_t(u'0' + n % 10), 0};
    unique = base + digits;
    result = VFW_S_DUPLICATE_NAME;
  }
  HRESULT hr = filter->JoinFilterGraph(static_cast<IFilterGraph*>(this), unique.c_str());
  if (FAILED(hr)) return hr;
  if (clock_) filter->SetSyncSource(clock_.Get());
  filters_.push_back(Entry{filter, unique});
  return result;
}

HRESULT FilterGraph::RemoveFilter(IBaseFilter* filter) {
  if (!filter) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (!Contains(filter)) return VFW_E_NOT_FOUND;
  if (state_ != FilterState::Stopped) return VFW_E_NOT_STOPPED;
  return RemoveFilterLocked(filter);
}

HRESULT FilterGraph::RemoveFilterLocked(IBaseFilter* filter) {
  auto it = std::find_if(filters_.begin(), filters_.end(), [&](const Entry& e) { return e.filter.Get() == filter; });
  if (it == filters_.end()) return VFW_E_NOT_FOUND;
  ComPtr<IBaseFilter> keep = it->filter;
  filters_.erase(it);
  PinList pins;
  keep->EnumPins(&pins);
  for (auto& pin : pins) {
    ComPtr<IPin> other;
    if (SUCCEEDED(pin->ConnectedTo(other.Put()))) other->Disconnect();
    pin->Disconnect();
  }
  keep->SetSyncSource(nullptr);
  keep->JoinFilterGraph(nullptr, nullptr);
  return S_OK;
}

HRESULT FilterGraph::EnumFilters(FilterList* filters) {
  if (!filters) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  filters->clear();
  for (auto& e : filters_) filters->push_back(e.filter);
  return S_OK;
}

HRESULT FilterGraph::FindFilterByName(const char16_t* name, IBaseFilter** filter) {
  if (!name || !filter) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  *filter = nullptr;
  for (auto& e : filters_)
    if (e.name == name) {
      *filter = e.filter.Get();
      (*filter)->AddRef();
      return S_OK;
    }
  return VFW_E_NOT_FOUND;
}

// Renderers before the filters that feed them, so that nothing pushes into a filter that has not
// changed state yet, and stopping a renderer releases a thread blocked in it.
std::vector<IBaseFilter*> FilterGraph::DownstreamFirst() const {
  std::vector<IBaseFilter*> order;
  std::set<IBaseFilter*> seen;
  std::function<void(IBaseFilter*)> visit = [&](IBaseFilter* f) {
    if (!seen.insert(f).second) return;
    PinList pins;
    f->EnumPins(&pins);
    for (auto& pin : pins) {
      PinDirection dir;
      ComPtr<IPin> other;
      if (FAILED(pin->QueryDirection(&dir)) || dir != PinDirection::Output) continue;
      if (FAILED(pin->ConnectedTo(other.Put()))) continue;
      PinInfo info;
      if (SUCCEEDED(other->QueryPinInfo(&info)) && Contains(info.filter.Get())) visit(info.filter.Get());
    }
    order.push_back(f);
  };
  for (auto& e : filters_) visit(e.filter.Get());
  return order;
}

int FilterGraph::CountRenderers() const {
  int count = 0;
  for (auto& e : filters_) {
    PinList pins;
    e.filter->EnumPins(&pins);
    bool connectedInput = false, output = false;
    for (auto& pin : pins) {
      PinDirection dir;
      pin->QueryDirection(&dir);
      ComPtr<IPin> other;
      if (dir == PinDirection::Output)
        output = true;
      else if (SUCCEEDED(pin->ConnectedTo(other.Put())))
        connectedInput = true;
    }
    if (connectedInput && !output) ++count;
  }
  return count;
}

template <class T>
ComPtr<T> FilterGraph::FirstFilterWith() const {
  for (auto& e : filters_)
    if (auto p = e.filter.As<T>()) return p;
  return nullptr;
}

std::vector<ComPtr<IMediaSeeking>> FilterGraph::Seekers() const {
  std::vector<ComPtr<IMediaSeeking>> seekers;
  for (auto& e : filters_)
    if (auto s = e.filter.As<IMediaSeeking>()) seekers.push_back(s);
  return seekers;
}

// --- state

REFERENCE_TIME FilterGraph::ClockNow() const {
  REFERENCE_TIME now = 0;
  if (clock_) clock_->GetTime(&now);
  return now;
}

HRESULT FilterGraph::ChooseClock() {
  if (!clockByApp_) {
    clock_ = FirstFilterWith<IReferenceClock>();
    if (!clock_) {
      HRESULT hr = CreateMediaObject(CLSID_SystemClock, nullptr, IID_IReferenceClock, clock_.PutVoid());
      if (FAILED(hr)) return hr;
    }
  }
  for (auto& e : filters_) e.filter->SetSyncSource(clock_.Get());
  return S_OK;
}

HRESULT FilterGraph::PauseFilters() {
  for (IBaseFilter* f : DownstreamFirst()) {
    HRESULT hr = f->Pause();
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT FilterGraph::RunFilters(REFERENCE_TIME start) {
  for (IBaseFilter* f : DownstreamFirst()) {
    HRESULT hr = f->Run(start);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

void FilterGraph::StopFilters() {
  for (IBaseFilter* f : DownstreamFirst()) f->Stop();
}

void FilterGraph::ResetCompletion(int renderers) {
  std::lock_guard<std::mutex> lock(eventLock_);
  completed_.clear();
  renderers_ = renderers;
  doneCode_ = 0;
}

void FilterGraph::SetStateLocked(FilterState state) {
  const bool wasStopped = state_ == FilterState::Stopped;
  state_ = state;
  if (wasStopped == (state == FilterState::Stopped)) return;
  std::lock_guard<std::mutex> lock(Active().lock);
  auto& graphs = Active().graphs;
  if (wasStopped)
    graphs.push_back(this);
  else
    graphs.erase(std::remove(graphs.begin(), graphs.end(), this), graphs.end());
}

HRESULT FilterGraph::Pause() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (state_ == FilterState::Paused) return S_OK;
  if (state_ == FilterState::Stopped) {
    HRESULT hr = ChooseClock();
    if (FAILED(hr)) return hr;
    ResetCompletion(CountRenderers());
    pausedAt_ = 0;
  } else {
    pausedAt_ = clock_ ? ClockNow() - start_ : 0;
  }
  HRESULT hr = PauseFilters();
  if (FAILED(hr)) {
    StopFilters();
    SetStateLocked(FilterState::Stopped);
    return hr;
  }
  SetStateLocked(FilterState::Paused);
  return S_OK;
}

HRESULT FilterGraph::Run() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (state_ == FilterState::Running) return S_OK;
  if (state_ == FilterState::Stopped) {
    HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  // Stream time goes on from where the pause held it.
  start_ = clock_ ? ClockNow() - pausedAt_ : 0;
  HRESULT hr = RunFilters(start_);
  if (FAILED(hr)) {
    StopFilters();
    SetStateLocked(FilterState::Stopped);
    return hr;
  }
  SetStateLocked(FilterState::Running);
  bool noRenderers;
  {
    std::lock_guard<std::mutex> events(eventLock_);
    noRenderers = renderers_ == 0;
  }
  if (noRenderers) Notify(EC_COMPLETE, S_OK, 0);
  return S_OK;
}

HRESULT FilterGraph::Run(REFERENCE_TIME) { return Run(); }

HRESULT FilterGraph::Stop() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  StopFilters();
  SetStateLocked(FilterState::Stopped);
  pausedAt_ = 0;
  ResetCompletion(0);
  return S_OK;
}

// A pause is complete once every filter has reached it (each renderer holds its first sample).
// The filters are asked without the graph lock, which their streaming threads never need but a
// caller on another thread may.
HRESULT FilterGraph::GetState(uint32_t timeoutMs, FilterState* state) {
  if (!state) return E_POINTER;
  std::vector<ComPtr<IBaseFilter>> filters;
  {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    *state = state_;
    if (state_ != FilterState::Paused) return S_OK;
    for (auto& e : filters_) filters.push_back(e.filter);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (auto& f : filters) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    FilterState reached;
    if (f->GetState(uint32_t(std::max<int64_t>(left.count(), 0)), &reached) == VFW_S_STATE_INTERMEDIATE)
      return VFW_S_STATE_INTERMEDIATE;
  }
  return S_OK;
}

HRESULT FilterGraph::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = CLSID_FilterGraph;
  return S_OK;
}

HRESULT FilterGraph::SetSyncSource(IReferenceClock* clock) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (state_ != FilterState::Stopped) return VFW_E_NOT_STOPPED;
  clock_ = clock;
  clockByApp_ = true;
  for (auto& e : filters_) e.filter->SetSyncSource(clock);
  return S_OK;
}

HRESULT FilterGraph::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  *clock = clock_.Get();
  if (*clock) (*clock)->AddRef();
  return S_OK;
}

// --- events

HRESULT FilterGraph::Notify(int32_t code, intptr_t param1, intptr_t param2) {
  std::lock_guard<std::mutex> lock(eventLock_);
  if (code == EC_COMPLETE) {
    // One complete for the graph, once every renderer has sent its own.
    if (doneCode_ != 0) return S_OK;
    completed_.insert(param2);
    if (static_cast<int>(completed_.size()) < renderers_) return S_OK;
    doneCode_ = EC_COMPLETE;
  } else if ((code == EC_ERRORABORT || code == EC_USERABORT) && doneCode_ == 0) {
    doneCode_ = code;
  }
  events_.push_back(Event{code, param1, param2});
  eventReady_.notify_all();
  return S_OK;
}

namespace {
template <class Pred>
bool WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, uint32_t timeoutMs, Pred pred) {
  if (timeoutMs == INFINITE) {
    cv.wait(lock, pred);
    return true;
  }
  return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), pred);
}
}  // namespace

HRESULT FilterGraph::GetEvent(int32_t* code, intptr_t* param1, intptr_t* param2, uint32_t timeoutMs) {
  if (!code || !param1 || !param2) return E_POINTER;
  std::unique_lock<std::mutex> lock(eventLock_);
  if (!WaitUntil(eventReady_, lock, timeoutMs, [&] { return !events_.empty(); })) {
    *code = 0;
    *param1 = *param2 = 0;
    return E_ABORT;
  }
  Event e = events_.front();
  events_.pop_front();
  *code = e.code;
  *param1 = e.param1;
  *param2 = e.param2;
  return S_OK;
}

HRESULT FilterGraph::WaitForCompletion(uint32_t timeoutMs, int32_t* code) {
  if (!code) return E_POINTER;
  std::unique_lock<std::mutex> lock(eventLock_);
  bool done = WaitUntil(eventReady_, lock, timeoutMs, [&] { return doneCode_ != 0; });
  *code = done ? doneCode_ : 0;
  return done ? S_OK : E_ABORT;
}

// --- positions

HRESULT FilterGraph::GetCapabilities(uint32_t* caps) {
  if (!caps) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  auto seekers = Seekers();
  uint32_t all = seekers.empty() ? 0 : 0xFFFFFFFFu;
  for (auto& s : seekers) {
    uint32_t c = 0;
    s->GetCapabilities(&c);
    all &= c;
  }
  *caps = all | AM_SEEKING_CanGetCurrentPos;
  return S_OK;
}

HRESULT FilterGraph::GetDuration(int64_t* duration) {
  if (!duration) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  auto seekers = Seekers();
  if (seekers.empty()) return E_NOTIMPL;
  int64_t longest = 0;
  for (auto& s : seekers) {
    int64_t d = 0;
    if (SUCCEEDED(s->GetDuration(&d))) longest = std::max(longest, d);
  }
  *duration = longest;
  return S_OK;
}

int64_t FilterGraph::StopPositionLocked() {
  if (stopPosition_ >= 0) return stopPosition_;
  int64_t stop = 0;
  for (auto& s : Seekers()) {
    int64_t p = 0;
    if (SUCCEEDED(s->GetStopPosition(&p)) || SUCCEEDED(s->GetDuration(&p))) stop = std::max(stop, p);
  }
  return stop;
}

int64_t FilterGraph::CurrentPositionLocked() {
  int64_t stop = StopPositionLocked();
  {
    std::lock_guard<std::mutex> lock(eventLock_);
    if (doneCode_ == EC_COMPLETE) return stop;
  }
  int64_t streamTime = 0;
  if (state_ == FilterState::Running && clock_)
    streamTime = ClockNow() - start_;
  else if (state_ == FilterState::Paused)
    streamTime = pausedAt_;
  int64_t position = positionBase_ + std::max<int64_t>(streamTime, 0);
  return stop > 0 ? std::min(position, stop) : position;
}

HRESULT FilterGraph::GetStopPosition(int64_t* stop) {
  if (!stop) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (Seekers().empty()) return E_NOTIMPL;
  *stop = StopPositionLocked();
  return S_OK;
}

HRESULT FilterGraph::GetCurrentPosition(int64_t* current) {
  if (!current) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  *current = CurrentPositionLocked();
  return S_OK;
}

HRESULT FilterGraph::GetPositions(int64_t* current, int64_t* stop) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (current) *current = CurrentPositionLocked();
  if (stop) *stop = StopPositionLocked();
  return S_OK;
}

HRESULT FilterGraph::SetPositions(int64_t* current, uint32_t currentFlags, int64_t* stop, uint32_t stopFlags) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  uint32_t curMode = currentFlags & AM_SEEKING_PositioningBitsMask;
  uint32_t stopMode = stopFlags & AM_SEEKING_PositioningBitsMask;
  if ((curMode && !current) || (stopMode && !stop)) return E_POINTER;
  if (curMode > AM_SEEKING_RelativePositioning || stopMode > AM_SEEKING_RelativePositioning) return E_INVALIDARG;
  auto seekers = Seekers();
  if (seekers.empty()) return E_NOTIMPL;

  int64_t newCurrent = curMode == AM_SEEKING_AbsolutePositioning ? *current
                       : curMode ? CurrentPositionLocked() + *current : 0;
  int64_t newStop = stopMode == AM_SEEKING_AbsolutePositioning ? *stop : stopMode ? StopPositionLocked() + *stop : 0;
  if (newCurrent < 0) newCurrent = 0;

  // A running graph holds still while the sources move, then runs on from the new position.
  bool rerun = curMode && state_ == FilterState::Running;
  if (rerun) PauseFilters();
  // Cleared before the sources move: one that cannot start the new stream aborts it at once.
  if (curMode) ResetCompletion(state_ == FilterState::Stopped ? 0 : CountRenderers());
  HRESULT result = S_OK;
  for (auto& s : seekers) {
    int64_t c = newCurrent, e = newStop;
    HRESULT hr = s->SetPositions(curMode ? &c : nullptr, curMode ? uint32_t(AM_SEEKING_AbsolutePositioning) : 0u,
                                 stopMode ? &e : nullptr, stopMode ? uint32_t(AM_SEEKING_AbsolutePositioning) : 0u);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  if (curMode) {
    positionBase_ = newCurrent;
    pausedAt_ = 0;
  }
  if (stopMode) stopPosition_ = newStop;
  if (rerun) {
    start_ = ClockNow();
    RunFilters(start_);
  }
  if (current && (currentFlags & AM_SEEKING_ReturnTime)) *current = positionBase_;
  if (stop && (stopFlags & AM_SEEKING_ReturnTime)) *stop = StopPositionLocked();
  return result;
}

// --- volume: the first filter that has one

template <class Call>
HRESULT FilterGraph::ToAudio(Call call) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  auto audio = FirstFilterWith<IBasicAudio>();
  return audio ? call(audio.Get()) : E_NOTIMPL;
}

HRESULT FilterGraph::SetVolume(int32_t volume) {
  return ToAudio([&](IBasicAudio* a) { return a->SetVolume(volume); });
}

HRESULT FilterGraph::GetVolume(int32_t* volume) {
  return ToAudio([&](IBasicAudio* a) { return a->GetVolume(volume); });
}

HRESULT FilterGraph::SetBalance(int32_t balance) {
  return ToAudio([&](IBasicAudio* a) { return a->SetBalance(balance); });
}

HRESULT FilterGraph::GetBalance(int32_t* balance) {
  return ToAudio([&](IBasicAudio* a) { return a->GetBalance(balance); });
}
