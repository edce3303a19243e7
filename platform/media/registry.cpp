// Object creation by class id, and the filters intelligent connect and RenderFile may choose.
#include <algorithm>

#include "platform/lifelong.h"
#include "platform/media/builtin_filters.h"
#include "platform/media/ffmpeg/ffmpeg_filters.h"
#include "platform/media/graph.h"

namespace {

// Filters of the layer that a graph may pick by itself.
std::vector<FilterRegistration> BuiltinFilters() {
  std::vector<FilterRegistration> list;
  // MPEG audio byte streams from a reader.
  list.push_back(MpegAudioDecoderRegistration());
  // Sound output, and the file source, parser and decoders over FFmpeg.
  list.push_back(AudioRendererRegistration());
  for (auto& reg : FFmpegFilterRegistrations()) list.push_back(reg);
  return list;
}

struct Registry {
  std::mutex lock;  // the lists below; innermost (media_base.h): a class's maker runs without it
  std::vector<std::pair<CLSID, CreateMediaObjectFn>> classes;
  std::vector<FilterRegistration> filters;

  Registry() {
    classes.emplace_back(CLSID_FilterGraph, [](IUnknown*, IUnknown** out) { return HandOut(new FilterGraph, out); });
    classes.emplace_back(CLSID_SystemClock, [](IUnknown*, IUnknown** out) { return HandOut(new SystemClock, out); });
    classes.emplace_back(CLSID_NullRenderer, [](IUnknown* outer, IUnknown** out) {
      HRESULT hr = S_OK;
      return HandOut(new NullRenderer(outer, &hr), out);
    });
    for (auto& reg : BuiltinFilters()) Add(reg);
  }

  void AddClass(const CLSID& clsid, CreateMediaObjectFn create) {
    auto it = std::find_if(classes.begin(), classes.end(), [&](auto& c) { return c.first == clsid; });
    if (it != classes.end())
      it->second = std::move(create);
    else
      classes.emplace_back(clsid, std::move(create));
  }

  void Add(const FilterRegistration& reg) {
    AddClass(reg.clsid, reg.create);
    auto it = std::find_if(filters.begin(), filters.end(), [&](auto& f) { return f.clsid == reg.clsid; });
    if (it != filters.end())
      *it = reg;
    else
      filters.push_back(reg);
  }
};

Registry& TheRegistry() { return Lifelong<Registry>(); }

}  // namespace

HRESULT CreateMediaObject(const CLSID& clsid, IUnknown* outer, const IID& iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  CreateMediaObjectFn create;
  {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.lock);
    auto it = std::find_if(r.classes.begin(), r.classes.end(), [&](auto& c) { return c.first == clsid; });
    if (it == r.classes.end()) return CLASS_E_CLASSNOTAVAILABLE;
    create = it->second;
  }
  ComPtr<IUnknown> made;
  HRESULT hr = create(outer, made.Put());
  if (FAILED(hr)) return hr;
  if (!made) return E_OUTOFMEMORY;
  return made->QueryInterface(iid, object);
}

void RegisterMediaClass(const CLSID& clsid, CreateMediaObjectFn create) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.lock);
  r.AddClass(clsid, std::move(create));
}

void RegisterMediaFilter(const FilterRegistration& registration) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.lock);
  r.Add(registration);
}

void UnregisterMediaFilter(const CLSID& clsid) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.lock);
  r.filters.erase(std::remove_if(r.filters.begin(), r.filters.end(), [&](auto& f) { return f.clsid == clsid; }),
                  r.filters.end());
  r.classes.erase(std::remove_if(r.classes.begin(), r.classes.end(), [&](auto& c) { return c.first == clsid; }),
                  r.classes.end());
}

std::vector<FilterRegistration> RegisteredMediaFilters() {
  Registry& r = TheRegistry();
  std::vector<FilterRegistration> list;
  {
    std::lock_guard<std::mutex> lock(r.lock);
    for (auto& f : r.filters)
      if (f.merit > MERIT_DO_NOT_USE) list.push_back(f);
  }
  std::stable_sort(list.begin(), list.end(), [](auto& a, auto& b) { return a.merit > b.merit; });
  return list;
}
