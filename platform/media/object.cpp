// Reference counting, interface queries and the layer's thread.
#include "platform/media/media_base.h"

namespace {
std::atomic<int> liveObjects{0};
std::atomic<int> liveThreads{0};
}  // namespace

int MediaLiveObjects() { return liveObjects; }
int MediaLiveThreads() { return liveThreads; }

MediaObject::MediaObject(MediaObject* owner) : owner_(owner) { ++liveObjects; }

MediaObject::~MediaObject() { --liveObjects; }

HRESULT MediaObject::QueryInterface(const IID& iid, void** out) {
  if (!out) return E_POINTER;
  *out = GetInterface(iid);
  if (!*out) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

uint32_t MediaObject::AddRef() {
  if (owner_) return owner_->AddRef();
  return ++refs_;
}

uint32_t MediaObject::Release() {
  if (owner_) return owner_->Release();
  uint32_t left = --refs_;
  if (left == 0) OnFinalRelease();
  return left;
}

void* MediaObject::GetInterface(const IID& iid) {
  if (iid == IID_IUnknown) return static_cast<IUnknown*>(this);
  return nullptr;
}

bool MediaThread::Start(std::function<void()> body) {
  if (thread_.joinable()) return false;
  ++liveThreads;
  try {
    thread_ = std::thread(std::move(body));
  } catch (const std::system_error&) {
    --liveThreads;
    return false;
  }
  return true;
}

void MediaThread::Join() {
  if (!thread_.joinable()) return;
  thread_.join();
  --liveThreads;
}
