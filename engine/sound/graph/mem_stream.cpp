// The memory stream: bytes in memory read as a stream, optionally no faster than a given rate.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "engine/sound/graph/async_reader.h"

namespace {
int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

Tamrak_CMemStream::Tamrak_CMemStream(const uint8_t* data, int64_t length, uint32_t rate)
    : data_(data), length_(length), rate_(rate), created_(NowMs()) {}

HRESULT Tamrak_CMemStream::SetPointer(int64_t position) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (position < 0 || position > length_) return S_FALSE;
  position_ = position;
  return S_OK;
}

HRESULT Tamrak_CMemStream::Read(uint8_t* buffer, uint32_t bytes, bool, uint32_t* read) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  const int64_t count = std::clamp<int64_t>(length_ - position_, 0, bytes);
  if (rate_ != kUnlimited) {
    // The last byte asked for arrives at creation + (position + count) / rate milliseconds.
    const int64_t due = created_ + (position_ + count) / rate_;
    const int64_t wait = due - NowMs();
    if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
  }
  if (count > 0) std::memcpy(buffer, data_ + position_, size_t(count));
  position_ += count;
  if (read) *read = uint32_t(count);
  return S_OK;
}

int64_t Tamrak_CMemStream::Size(int64_t* available) {
  if (available) {
    const uint64_t elapsed = uint64_t(std::max<int64_t>(NowMs() - created_, 0));
    const bool all = rate_ == kUnlimited || elapsed >= uint64_t(length_) / rate_ + 1;
    *available = all ? length_ : int64_t(std::min<uint64_t>(uint64_t(length_), elapsed * rate_));
  }
  return length_;
}

Tamrak_CMemStream* CreateMemStreamObject(const void* data, uint32_t lengthLow, uint32_t lengthHigh, uint32_t rate) {
  const int64_t length = int64_t(uint64_t(lengthHigh) << 32 | lengthLow);
  if (rate == 0 || length < 0 || (length > 0 && !data)) return nullptr;
  return new (std::nothrow) Tamrak_CMemStream(static_cast<const uint8_t*>(data), length, rate);
}

void DeleteMemStreamObject(Tamrak_CMemStream* stream) { delete stream; }
