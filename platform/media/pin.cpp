// Pins: connection and media type agreement.
#include "platform/media/media_base.h"

BasePin::BasePin(BaseFilter* filter, const char16_t* name, PinDirection dir)
    : MediaObject(filter), filter_(filter), name_(name ? name : u""), dir_(dir) {}

void* BasePin::GetInterface(const IID& iid) {
  if (iid == IID_IPin) return static_cast<IPin*>(this);
  return MediaObject::GetInterface(iid);
}

std::recursive_mutex& BasePin::Lock() const { return filter_->FilterLock(); }

bool BasePin::FilterStopped() const { return filter_->IsStopped(); }

HRESULT BasePin::Connect(IPin* receivePin, const MediaType* type) {
  if (!receivePin) return E_POINTER;
  if (dir_ != PinDirection::Output) return E_UNEXPECTED;
  std::lock_guard<std::recursive_mutex> lock(Lock());
  if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
  if (!FilterStopped()) return VFW_E_NOT_STOPPED;
  HRESULT hr = CheckConnect(receivePin);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  hr = AgreeMediaType(receivePin, type);
  if (FAILED(hr)) BreakConnect();
  return hr;
}

// A type with all three ids is tried alone. Otherwise the receiving pin's types come first, then ours;
// incomplete types (a pattern, not a type) are skipped, and so is any type outside the pattern.
HRESULT BasePin::AgreeMediaType(IPin* receivePin, const MediaType* pattern) {
  if (pattern && pattern->IsComplete() && pattern->formattype != GUID_NULL) return AttemptConnection(receivePin, *pattern);
  HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
  IPin* sources[2] = {receivePin, this};
  for (IPin* source : sources) {
    MediaType mt;
    for (int i = 0; source->GetMediaType(i, &mt) == S_OK; ++i) {
      if (!mt.IsComplete() || (pattern && !mt.Matches(*pattern))) continue;
      HRESULT hr = AttemptConnection(receivePin, mt);
      if (hr == S_OK) return S_OK;
      last = hr;
    }
  }
  return last == VFW_E_TYPE_NOT_ACCEPTED ? VFW_E_NO_ACCEPTABLE_TYPES : last;
}

HRESULT BasePin::AttemptConnection(IPin* receivePin, const MediaType& type) {
  if (CheckMediaType(type) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
  connected_ = receivePin;
  HRESULT hr = SetMediaType(type);
  if (SUCCEEDED(hr)) {
    hr = receivePin->ReceiveConnection(this, type);
    if (SUCCEEDED(hr)) {
      hr = CompleteConnect(receivePin);
      if (SUCCEEDED(hr)) return S_OK;
      receivePin->Disconnect();
    }
  }
  ClearConnection();
  return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT BasePin::ReceiveConnection(IPin* connector, const MediaType& type) {
  if (!connector) return E_POINTER;
  if (dir_ != PinDirection::Input) return E_UNEXPECTED;
  std::lock_guard<std::recursive_mutex> lock(Lock());
  if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
  if (!FilterStopped()) return VFW_E_NOT_STOPPED;
  HRESULT hr = CheckConnect(connector);
  if (SUCCEEDED(hr)) {
    hr = CheckMediaType(type) == S_OK ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    if (SUCCEEDED(hr)) {
      connected_ = connector;
      hr = SetMediaType(type);
      if (SUCCEEDED(hr)) hr = CompleteConnect(connector);
      if (SUCCEEDED(hr)) return S_OK;
      ClearConnection();
    }
  }
  BreakConnect();
  return hr;
}

void BasePin::ClearConnection() {
  connected_.Reset();
  type_ = MediaType();
}

HRESULT BasePin::Disconnect() {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  if (!FilterStopped()) return VFW_E_NOT_STOPPED;
  if (!IsConnected()) return S_FALSE;
  HRESULT hr = BreakConnect();
  if (FAILED(hr)) return hr;
  ClearConnection();
  return S_OK;
}

HRESULT BasePin::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(Lock());
  *pin = connected_.Get();
  if (!*pin) return VFW_E_NOT_CONNECTED;
  (*pin)->AddRef();
  return S_OK;
}

HRESULT BasePin::ConnectionMediaType(MediaType* type) {
  if (!type) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(Lock());
  if (!IsConnected()) {
    *type = MediaType();
    return VFW_E_NOT_CONNECTED;
  }
  *type = type_;
  return S_OK;
}

HRESULT BasePin::QueryPinInfo(PinInfo* info) {
  if (!info) return E_POINTER;
  info->filter = static_cast<IBaseFilter*>(filter_);
  info->dir = dir_;
  info->name = name_;
  return S_OK;
}

HRESULT BasePin::QueryDirection(PinDirection* dir) {
  if (!dir) return E_POINTER;
  *dir = dir_;
  return S_OK;
}

HRESULT BasePin::QueryAccept(const MediaType& type) { return CheckMediaType(type) == S_OK ? S_OK : S_FALSE; }

HRESULT BasePin::GetMediaType(int index, MediaType* type) {
  if (index < 0) return E_INVALIDARG;
  return VFW_S_NO_MORE_ITEMS;
}

HRESULT BasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME, double) {
  segStart_ = start;
  return S_OK;
}

HRESULT BasePin::SetMediaType(const MediaType& type) {
  type_ = type;
  return S_OK;
}

HRESULT BasePin::CheckConnect(IPin* pin) {
  PinDirection other;
  if (FAILED(pin->QueryDirection(&other))) return E_FAIL;
  return other == dir_ ? VFW_E_INVALID_DIRECTION : S_OK;
}
