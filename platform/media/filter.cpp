// The base filter: state, clock, pins and the graph it belongs to.
#include "platform/media/media_base.h"

BaseFilter::BaseFilter(const char* objectName, IUnknown* outer, const CLSID& clsid)
    : objectName_(objectName ? objectName : ""), clsid_(clsid) {}

void* BaseFilter::GetInterface(const IID& iid) {
  if (iid == IID_IBaseFilter) return static_cast<IBaseFilter*>(this);
  if (iid == IID_IMediaFilter) return static_cast<IMediaFilter*>(this);
  return MediaObject::GetInterface(iid);
}

HRESULT BaseFilter::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = clsid_;
  return S_OK;
}

HRESULT BaseFilter::Stop() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  HRESULT result = S_OK;
  if (state_ != FilterState::Stopped) {
    for (int i = 0; i < GetPinCount(); ++i) {
      BasePin* pin = GetPin(i);
      if (pin && pin->IsConnected()) {
        HRESULT hr = pin->Inactive();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
      }
    }
  }
  state_ = FilterState::Stopped;
  return result;
}

HRESULT BaseFilter::Pause() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (state_ == FilterState::Stopped) {
    for (int i = 0; i < GetPinCount(); ++i) {
      BasePin* pin = GetPin(i);
      if (pin && pin->IsConnected()) {
        HRESULT hr = pin->Active();
        if (FAILED(hr)) return hr;
      }
    }
  }
  state_ = FilterState::Paused;
  return S_OK;
}

HRESULT BaseFilter::Run(REFERENCE_TIME start) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  start_ = start;
  if (state_ == FilterState::Stopped) {
    HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  state_ = FilterState::Running;
  return S_OK;
}

HRESULT BaseFilter::GetState(uint32_t, FilterState* state) {
  if (!state) return E_POINTER;
  *state = state_;
  return S_OK;
}

HRESULT BaseFilter::SetSyncSource(IReferenceClock* clock) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  clock_ = clock;
  return S_OK;
}

HRESULT BaseFilter::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  *clock = clock_.Get();
  if (*clock) (*clock)->AddRef();
  return S_OK;
}

HRESULT BaseFilter::StreamTime(REFERENCE_TIME* time) {
  if (!time) return E_POINTER;
  ComPtr<IReferenceClock> clock;
  {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    clock = clock_;
  }
  if (!clock) return VFW_E_WRONG_STATE;
  HRESULT hr = clock->GetTime(time);
  if (SUCCEEDED(hr)) *time -= start_;
  return hr;
}

HRESULT BaseFilter::EnumPins(PinList* pins) {
  if (!pins) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  pins->clear();
  for (int i = 0; i < GetPinCount(); ++i)
    if (BasePin* pin = GetPin(i)) pins->emplace_back(static_cast<IPin*>(pin));
  return S_OK;
}

HRESULT BaseFilter::FindPin(const char16_t* name, IPin** pin) {
  if (!name || !pin) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  *pin = nullptr;
  for (int i = 0; i < GetPinCount(); ++i) {
    BasePin* p = GetPin(i);
    if (p && p->Name() == name) {
      *pin = p;
      p->AddRef();
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

HRESULT BaseFilter::QueryFilterInfo(FilterInfo* info) {
  if (!info) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  info->name = name_;
  info->graph = graph_;
  return S_OK;
}

HRESULT BaseFilter::JoinFilterGraph(IFilterGraph* graph, const char16_t* name) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  graph_ = graph;
  sink_ = nullptr;
  if (graph) {
    // Borrowed like the graph itself: the graph outlives our membership.
    ComPtr<IMediaEventSink> sink = ComPtr<IFilterGraph>(graph).As<IMediaEventSink>();
    sink_ = sink.Get();
  }
  name_ = graph && name ? name : u"";
  return S_OK;
}

HRESULT BaseFilter::NotifyEvent(int32_t code, intptr_t param1, intptr_t param2) {
  IMediaEventSink* sink = sink_;
  if (!sink) return E_NOTIMPL;
  if (code == EC_COMPLETE && param2 == 0) param2 = reinterpret_cast<intptr_t>(static_cast<IBaseFilter*>(this));
  return sink->Notify(code, param1, param2);
}
