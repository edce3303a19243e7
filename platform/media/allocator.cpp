// The memory allocator: a fixed set of samples handed out by GetBuffer and returned at their
// last release.
#include <sys/mman.h>

#include "platform/media/media_base.h"

namespace {

// A block of samples this big (pictures) is mapped on its own, in huge pages where the system
// offers them: each movie maps its samples anew (they go back to the system when it closes), and
// a 2160p picture then faults in 16 pages rather than 8,000.
constexpr size_t kMappedBlockBytes = size_t(1) << 20;
constexpr size_t kHugePageBytes = size_t(2) << 20;

}  // namespace

void MemAllocator::BlockRelease::operator()(uint8_t* block) const {
  if (mappedBytes)
    munmap(block, mappedBytes);
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
  if (bytes >= kMappedBlockBytes) {
    const size_t length = (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
    void* mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return E_OUTOFMEMORY;
    madvise(mapped, length, MADV_HUGEPAGE);
    block_ = Block(static_cast<uint8_t*>(mapped), BlockRelease{length});
  }
  if (!block_) block_ = Block(new (std::nothrow) uint8_t[bytes], BlockRelease{0});
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
