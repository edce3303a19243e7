// The system clock: the monotonic clock in 100 ns units.
#include "platform/media/media_base.h"

void* SystemClock::GetInterface(const IID& iid) {
  if (iid == IID_IReferenceClock) return static_cast<IReferenceClock*>(this);
  return MediaObject::GetInterface(iid);
}

HRESULT SystemClock::GetTime(REFERENCE_TIME* time) {
  if (!time) return E_POINTER;
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  *time = std::chrono::duration_cast<std::chrono::duration<int64_t, std::ratio<1, UNITS>>>(now).count();
  return S_OK;
}
