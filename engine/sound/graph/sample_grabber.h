// The sample grabber: an in-place pass-through that accepts only the media type its owner sets
// and hands every sample to the owner's callback before passing it on. It can also have its
// upstream fill a buffer the owner supplies.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/media/media_base.h"

// Called on the streaming thread with the sample's times in stream time; only S_OK passes the
// sample on, and a failure aborts the graph. It runs under the grabber's lock, so it must not
// call back into the graph; of the engine's locks it may take the allocator's (media_base.h).
using SampleGrabberCallback = HRESULT (*)(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                          bool typeChanged, void* user);

struct ISampleGrabberControl : virtual IUnknown {
  static constexpr IID iid = MakeGuid("6B652FFF-11FE-4FCE-92AD-0266B5D7C78F");
  // Null accepts everything; an empty id in the type matches any.
  virtual HRESULT SetAcceptedMediaType(const MediaType* type) = 0;
  virtual HRESULT GetConnectedMediaType(MediaType* type) = 0;
  virtual HRESULT SetCallback(SampleGrabberCallback callback, void* user) = 0;
  // Upstream then delivers into this one buffer (props.cBuffers must be 1, cbBuffer its size).
  virtual HRESULT SetDeliveryBuffer(const AllocatorProperties& props, uint8_t* buffer) = 0;
};

class Tamrak_CSampleGrabber;
class SampleGrabberAllocator;

class SampleGrabberInputPin : public InPlaceInputPin {
 public:
  explicit SampleGrabberInputPin(Tamrak_CSampleGrabber* grabber);

  HRESULT GetMediaType(int index, MediaType* type) override;
  HRESULT SetMediaType(const MediaType& type) override;
  HRESULT GetAllocator(IMemAllocator** allocator) override;
  HRESULT GetAllocatorRequirements(AllocatorProperties* props) override;
  HRESULT NotifyAllocator(IMemAllocator* allocator, bool readOnly) override;

  HRESULT SetDeliveryBuffer(const AllocatorProperties& props, uint8_t* buffer);
  bool TakeTypeChanged() { return typeChanged_.exchange(false); }

 private:
  friend class SampleGrabberAllocator;
  Tamrak_CSampleGrabber* grabber_;
  ComPtr<IMemAllocator> custom_;
  AllocatorProperties deliveryProps_;
  uint8_t* deliveryBuffer_ = nullptr;
  std::atomic<bool> typeChanged_{false};  // set at connection, taken by the streaming thread
};

// Places its one sample over the owner's delivery buffer.
class SampleGrabberAllocator : public MemAllocator {
 public:
  explicit SampleGrabberAllocator(SampleGrabberInputPin* pin) : pin_(pin) {}

 protected:
  HRESULT Alloc() override;
  void Free() override { DeleteSamples(); }

 private:
  SampleGrabberInputPin* pin_;
};

class Tamrak_CSampleGrabber : public InPlaceTransformFilter, public ISampleGrabberControl {
 public:
  static constexpr CLSID kClassId = MakeGuid("2FA4F053-6D60-4CB0-9503-8E89234F3F73");

  explicit Tamrak_CSampleGrabber(IUnknown* outer);

  HRESULT SetAcceptedMediaType(const MediaType* type) override;
  HRESULT GetConnectedMediaType(MediaType* type) override;
  HRESULT SetCallback(SampleGrabberCallback callback, void* user) override;
  HRESULT SetDeliveryBuffer(const AllocatorProperties& props, uint8_t* buffer) override;

  HRESULT CheckInputType(const MediaType& type) override;
  HRESULT Transform(IMediaSample* sample) override;
  HRESULT Receive(IMediaSample* sample) override;

  MediaType AcceptedType();
  SampleGrabberInputPin* GrabberInput();

 protected:
  void* GetInterface(const IID& iid) override;

 private:
  MediaType accepted_;
  SampleGrabberCallback callback_ = nullptr;
  // The accepted type, the callback and its user data; held through the callback. One of a
  // filter's own locks (platform/media/media_base.h): taken under the filter locks of a connection
  // (the type checked, the type offered upstream) and the streaming lock (Transform), and takes
  // neither; the callback may take the engine allocator lock under it.
  std::mutex grabLock_;
  void* user_ = nullptr;
};

// Null with E_OUTOFMEMORY in *hr when memory runs out.
Tamrak_CSampleGrabber* CreateSampleGrabberFilter(IUnknown* outer, HRESULT* hr);
