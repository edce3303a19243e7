// The memory allocator: a fixed set of samples handed out by GetBuffer and returned at their
// last release.
#include "platform/media/media_base.h"
#include "platform/media/picture_memory.h"

namespace {

// A block of samples this big holds pictures: it comes from picture memory, so that it leaves
// the process when its movie closes.
constexpr size_t kPictureBlockBytes = size_t(1) << 20;

}  // namespace

void MemAllocator::BlockRelease::operator()(uint8_t* block) const {
  if (pictureBytes)
    GivePictureMemory(block, pictureBytes);
  else
    delete[] block;
}

MemAllocator::MemAllocator() = default;

MemAllocator::~MemAllocator() {
  if (allocated_) Free();
}

void* MemAllocator::GetInterface(const IID& iid) {
  if (iid == IID_IMemAllocator) return static_cast<IMemAllocator*>(this);
  return MediaObject::GetInterface(iid);
}

HRESULT MemAllocator::SetProperties(const AllocatorProperties* request, AllocatorProperties* actual) {
  if (!request || !actual) return E_POINTER;
  std::lock_guard<std::mutex> lock(mutex_);
  if (committed_) return VFW_E_ALREADY_COMMITTED;
  if (outstanding_ > 0 || allocated_) return VFW_E_BUFFERS_OUTSTANDING;
  int32_t align = request->cbAlign;
  if (align <= 0 || (align & (align - 1)) != 0) return VFW_E_BADALIGN;
  if (request->cBuffers < 0 || request->cbBuffer < 0 || request->cbPrefix < 0) return E_INVALIDARG;
  int64_t whole = int64_t(request->cbBuffer) + request->cbPrefix;
  whole = (whole + align - 1) / align * align;
  int64_t count = request->cBuffers < 1 ? 1 : request->cBuffers;
  if (whole * count > INT32_MAX) return E_OUTOFMEMORY;
  props_.cBuffers = static_cast<int32_t>(count);
  props_.cbBuffer = static_cast<int32_t>(whole - request->cbPrefix);
  props_.cbAlign = align;
  props_.cbPrefix = request->cbPrefix;
  propsSet_ = true;
  *actual = props_;
  return S_OK;
}

HRESULT MemAllocator::GetProperties(AllocatorProperties* props) {
  if (!props) return E_POINTER;
  std::lock_guard<std::mutex> lock(mutex_);
  *props = props_;
  return S_OK;
}

HRESULT MemAllocator::Commit() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (committed_) return S_OK;
  if (!propsSet_) return VFW_E_SIZENOTSET;
  // Samples still out from before a decommit stay in use.
  if (!allocated_) {
    HRESULT hr = Alloc();
    if (FAILED(hr)) return hr;
    allocated_ = true;
  }
  committed_ = true;
  return S_OK;
}

HRESULT MemAllocator::Decommit() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!committed_) return S_OK;
  committed_ = false;
  freed_.notify_all();
  if (outstanding_ == 0 && allocated_) {
    Free();
    allocated_ = false;
  }
  return S_OK;
}

HRESULT MemAllocator::Alloc() {
  int64_t whole = int64_t(props_.cbBuffer) + props_.cbPrefix;
  size_t bytes = static_cast<size_t>(whole * props_.cBuffers) + static_cast<size_t>(props_.cbAlign);
  if (bytes >= kPictureBlockBytes)
    block_ = Block(TakePictureMemory(bytes), BlockRelease{bytes});
  else
    block_ = Block(new (std::nothrow) uint8_t[bytes], BlockRelease{0});
  if (!block_) return E_OUTOFMEMORY;
  uintptr_t base = reinterpret_cast<uintptr_t>(block_.get());
  uintptr_t aligned = (base + props_.cbPrefix + props_.cbAlign - 1) / props_.cbAlign * props_.cbAlign;
  uint8_t* p = block_.get() + (aligned - base);
  for (int i = 0; i < props_.cBuffers; ++i, p += whole) AddFreeSample(new MediaSample(this, p, props_.cbBuffer));
  return S_OK;
}

void MemAllocator::Free() {
  DeleteSamples();
  block_.reset();
}

void MemAllocator::AddFreeSample(MediaSample* sample) { free_.push_back(sample); }

void MemAllocator::DeleteSamples() {
  for (MediaSample* s : free_) delete s;
  free_.clear();
}

HRESULT MemAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, uint32_t flags) {
  if (!sample) return E_POINTER;
  *sample = nullptr;
  MediaSample* s;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (!committed_) return VFW_E_NOT_COMMITTED;
      if (!free_.empty()) break;
      if (flags & AM_GBF_NOWAIT) return VFW_E_TIMEOUT;
      freed_.wait(lock);
    }
    s = free_.back();
    free_.pop_back();
    ++outstanding_;
  }
  AddRef();  // a sample out keeps its allocator
  s->ResetProperties();
  if (start) s->SetTime(start, stop);
  s->AddRef();
  *sample = s;
  return S_OK;
}

HRESULT MemAllocator::ReleaseBuffer(IMediaSample* sample) {
  auto* s = dynamic_cast<MediaSample*>(sample);
  if (!s) return E_POINTER;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(s);
    --outstanding_;
    freed_.notify_one();
    if (!committed_ && outstanding_ == 0 && allocated_) {
      Free();
      allocated_ = false;
    }
  }
  Release();
  return S_OK;
}
