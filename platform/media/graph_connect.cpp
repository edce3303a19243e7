// Intelligent connect: direct connections, chains through filters already in the graph, then
// through registered filters by merit. Whatever a failed attempt built is taken down again.
#include <algorithm>

#include "platform/media/graph.h"

namespace {

constexpr int kMaxDepth = 6;  // filters in one chain between two pins

ComPtr<IBaseFilter> FilterOf(IPin* pin) {
  PinInfo info;
  if (!pin || FAILED(pin->QueryPinInfo(&info))) return nullptr;
  return info.filter;
}

PinList FreePins(IBaseFilter* filter, PinDirection want) {
  PinList all, free;
  filter->EnumPins(&all);
  for (auto& pin : all) {
    PinDirection dir;
    ComPtr<IPin> other;
    if (SUCCEEDED(pin->QueryDirection(&dir)) && dir == want && FAILED(pin->ConnectedTo(other.Put())))
      free.push_back(pin);
  }
  return free;
}

}  // namespace

void FilterGraph::Undo(Journal& journal, size_t mark) {
  while (journal.size() > mark) {
    Step step = std::move(journal.back());
    journal.pop_back();
    if (step.added) {
      RemoveFilterLocked(step.added.Get());
    } else {
      step.out->Disconnect();
      step.in->Disconnect();
    }
  }
}

HRESULT FilterGraph::ConnectDirect(IPin* out, IPin* in, const MediaType* type) {
  if (!out || !in) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (!Contains(FilterOf(out).Get()) || !Contains(FilterOf(in).Get())) return VFW_E_NOT_FOUND;
  if (state_ != FilterState::Stopped) return VFW_E_NOT_STOPPED;
  return out->Connect(in, type);
}

HRESULT FilterGraph::Disconnect(IPin* pin) {
  if (!pin) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  return pin->Disconnect();
}

HRESULT FilterGraph::Connect(IPin* out, IPin* in) {
  if (!out || !in) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (!Contains(FilterOf(out).Get()) || !Contains(FilterOf(in).Get())) return VFW_E_NOT_FOUND;
  if (state_ != FilterState::Stopped) return VFW_E_NOT_STOPPED;
  Journal journal;
  if (SUCCEEDED(ConnectVia(out, in, 0, journal))) return S_OK;
  Undo(journal, 0);
  return VFW_E_CANNOT_CONNECT;
}

HRESULT FilterGraph::Render(IPin* out) {
  if (!out) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (!Contains(FilterOf(out).Get())) return VFW_E_NOT_FOUND;
  if (state_ != FilterState::Stopped) return VFW_E_NOT_STOPPED;
  PinDirection dir;
  ComPtr<IPin> other;
  if (FAILED(out->QueryDirection(&dir)) || dir != PinDirection::Output) return VFW_E_INVALID_DIRECTION;
  if (SUCCEEDED(out->ConnectedTo(other.Put()))) return VFW_E_ALREADY_CONNECTED;
  Journal journal;
  if (SUCCEEDED(ConnectVia(out, nullptr, 0, journal))) return S_OK;
  Undo(journal, 0);
  return VFW_E_CANNOT_RENDER;
}

HRESULT FilterGraph::RenderFile(const char16_t* path, const char16_t*) {
  if (!path) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (state_ != FilterState::Stopped) return VFW_E_NOT_STOPPED;
  std::u16string file(path);
  HRESULT last = VFW_E_UNKNOWN_FILE_TYPE;
  for (const FilterRegistration& reg : RegisteredMediaFilters()) {
    if (!reg.takesFile || !reg.takesFile(file)) continue;
    ComPtr<IUnknown> object;
    if (FAILED(reg.create(nullptr, object.Put())) || !object) continue;
    auto filter = object.As<IBaseFilter>();
    auto source = object.As<IFileSourceFilter>();
    if (!filter || !source || FAILED(AddFilterLocked(filter.Get(), path))) continue;
    Journal journal;
    journal.push_back(Step{nullptr, nullptr, filter});
    HRESULT hr = source->Load(path, nullptr);
    int rendered = 0, outputs = 0;
    if (SUCCEEDED(hr)) RenderOutputs(filter.Get(), 0, journal, &rendered, &outputs);
    if (rendered > 0) return rendered == outputs ? S_OK : VFW_S_PARTIAL_RENDER;
    Undo(journal, 0);
    last = FAILED(hr) ? hr : VFW_E_CANNOT_RENDER;
  }
  return last;
}

HRESULT FilterGraph::RenderOutputs(IBaseFilter* filter, int depth, Journal& journal, int* rendered, int* outputs) {
  *rendered = *outputs = 0;
  for (auto& pin : FreePins(filter, PinDirection::Output)) {
    ++*outputs;
    size_t mark = journal.size();
    if (SUCCEEDED(ConnectVia(pin.Get(), nullptr, depth, journal)))
      ++*rendered;
    else
      Undo(journal, mark);
  }
  return *rendered > 0 ? S_OK : VFW_E_CANNOT_RENDER;
}

// Connects out to target, or with no target on until renderers.
HRESULT FilterGraph::ConnectVia(IPin* out, IPin* target, int depth, Journal& journal) {
  if (target && SUCCEEDED(out->Connect(target, nullptr))) {
    journal.push_back(Step{out, target, nullptr});
    return S_OK;
  }
  if (depth >= kMaxDepth) return VFW_E_CANNOT_CONNECT;
  ComPtr<IBaseFilter> outFilter = FilterOf(out);
  ComPtr<IBaseFilter> targetFilter = FilterOf(target);

  std::vector<ComPtr<IBaseFilter>> present;
  for (auto& e : filters_) present.push_back(e.filter);
  for (auto& f : present) {
    if (f.Get() == outFilter.Get() || f.Get() == targetFilter.Get() || !Contains(f.Get())) continue;
    for (auto& in : FreePins(f.Get(), PinDirection::Input))
      if (SUCCEEDED(TryThrough(out, in.Get(), target, depth, journal))) return S_OK;
  }

  std::vector<MediaType> offered;
  MediaType mt;
  for (int i = 0; i < 64 && out->GetMediaType(i, &mt) == S_OK; ++i) offered.push_back(mt);
  for (const FilterRegistration& reg : RegisteredMediaFilters()) {
    if (!reg.takesType) continue;
    if (!offered.empty() && std::none_of(offered.begin(), offered.end(), reg.takesType)) continue;
    ComPtr<IUnknown> object;
    if (FAILED(reg.create(nullptr, object.Put())) || !object) continue;
    auto filter = object.As<IBaseFilter>();
    if (!filter) continue;
    size_t mark = journal.size();
    if (FAILED(AddFilterLocked(filter.Get(), reg.name.c_str()))) continue;
    journal.push_back(Step{nullptr, nullptr, filter});
    for (auto& in : FreePins(filter.Get(), PinDirection::Input))
      if (SUCCEEDED(TryThrough(out, in.Get(), target, depth, journal))) return S_OK;
    Undo(journal, mark);
  }
  return VFW_E_CANNOT_CONNECT;
}

HRESULT FilterGraph::TryThrough(IPin* out, IPin* in, IPin* target, int depth, Journal& journal) {
  size_t mark = journal.size();
  HRESULT hr = out->Connect(in, nullptr);
  if (FAILED(hr)) return hr;
  journal.push_back(Step{out, in, nullptr});
  ComPtr<IBaseFilter> filter = FilterOf(in);
  if (target) {
    for (auto& next : FreePins(filter.Get(), PinDirection::Output))
      if (SUCCEEDED(ConnectVia(next.Get(), target, depth + 1, journal))) return S_OK;
  } else {
    int rendered, outputs;
    RenderOutputs(filter.Get(), depth + 1, journal, &rendered, &outputs);
    if (outputs == 0 || rendered > 0) return S_OK;
  }
  Undo(journal, mark);
  return VFW_E_CANNOT_CONNECT;
}
