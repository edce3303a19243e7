// The engine's asynchronous reader: a source filter that serves a byte stream to a parser
// downstream through the pull transport, with an I/O worker thread carrying out the queued
// reads, and the memory stream and memory reader the MP3 conversion serves its file image with.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "platform/media/media_base.h"

// A byte stream the reader reads from.
class AsyncStream {
 public:
  virtual ~AsyncStream() = default;
  // S_OK, or S_FALSE when the position is negative or beyond the length.
  virtual HRESULT SetPointer(int64_t position) = 0;
  virtual HRESULT Read(uint8_t* buffer, uint32_t bytes, bool aligned, uint32_t* read) = 0;
  // The total length; *available gets the bytes that can be read now.
  virtual int64_t Size(int64_t* available = nullptr) = 0;
  virtual uint32_t Alignment() { return 1; }
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
};

// A stream over bytes it does not own, optionally delivered at a rate (kilobytes a second).
class Tamrak_CMemStream : public AsyncStream {
 public:
  static constexpr uint32_t kUnlimited = 0xFFFFFFFFu;

  Tamrak_CMemStream(const uint8_t* data, int64_t length, uint32_t rate);
  HRESULT SetPointer(int64_t position) override;
  HRESULT Read(uint8_t* buffer, uint32_t bytes, bool aligned, uint32_t* read) override;
  int64_t Size(int64_t* available = nullptr) override;
  void Lock() override { lock_.lock(); }
  void Unlock() override { lock_.unlock(); }

 private:
  std::recursive_mutex lock_;  // the position; innermost, under the reader's stream lock
  const uint8_t* data_;
  int64_t length_;
  int64_t position_ = 0;
  uint32_t rate_;
  int64_t created_;  // milliseconds
};

// Null when the rate is 0 (nothing could ever be read) or memory runs out.
Tamrak_CMemStream* CreateMemStreamObject(const void* data, uint32_t lengthLow, uint32_t lengthHigh, uint32_t rate);
void DeleteMemStreamObject(Tamrak_CMemStream* stream);

// Carries out read requests against one stream on a thread of its own.
class AsyncIoWorker {
 public:
  explicit AsyncIoWorker(AsyncStream* stream) : stream_(stream) {}
  ~AsyncIoWorker();
  AsyncIoWorker(const AsyncIoWorker&) = delete;
  AsyncIoWorker& operator=(const AsyncIoWorker&) = delete;

  // Queues a read; VFW_E_WRONG_STATE while flushing, VFW_E_BADALIGN for an aligned request that is not.
  HRESULT Request(int64_t start, int32_t length, bool aligned, uint8_t* buffer, void* context, uintptr_t user);
  // The next completed request: its result, context, user word and the bytes it read.
  HRESULT WaitForNext(uint32_t timeoutMs, void** context, uintptr_t* user, int32_t* actual);
  // Carries the read out at once on the caller's thread.
  HRESULT SyncRead(int64_t start, int32_t length, uint8_t* buffer, int32_t* actual = nullptr);
  HRESULT SyncReadAligned(int64_t start, int32_t length, uint8_t* buffer, int32_t* actual, void* context);

  // Completes every pending request unread and wakes the waiters; waits for reads under way.
  HRESULT BeginFlush();
  HRESULT EndFlush();
  void Close();  // stops and joins the thread

  AsyncStream* Stream() const { return stream_; }
  bool IsAligned(int64_t value) const { return value % stream_->Alignment() == 0; }
  // Start, length and buffer all on the stream's alignment.
  bool IsAlignedRead(int64_t start, int32_t length, const uint8_t* buffer) const {
    return IsAligned(start) && IsAligned(length) && IsAligned(int64_t(reinterpret_cast<uintptr_t>(buffer)));
  }

  // A read read from 'discontinuity' on marks its sample so.
  static constexpr HRESULT kReadDiscontinuity = MakeResult(0x00040000u);

 private:
  struct IoRequest {
    int64_t start;
    bool aligned;
    int32_t length;
    uint8_t* buffer;
    void* context;  // the caller's sample
    uintptr_t user;
    HRESULT result = VFW_E_TIMEOUT;  // until carried out
  };
  void Complete(IoRequest* request);
  void Process();

  // Two of a filter's own locks (platform/media/media_base.h), never one under the other. The
  // stream lock holds the stream's position through one read and takes the stream's own lock.
  std::mutex streamLock_;
  AsyncStream* stream_;
  std::mutex listLock_;  // the fields below; a read runs without it
  bool flushing_ = false;
  std::deque<IoRequest*> pending_, done_;
  bool work_ = false;       // manual-reset: requests are pending
  bool doneEvent_ = false;  // manual-reset: completed requests are ready
  int busy_ = 0;            // requests being carried out
  bool waitingForBusy_ = false;
  bool stop_ = false;
  std::condition_variable workReady_, doneReady_, allDone_;
  MediaThread thread_;
};

class AsyncStreamReader;

class AsyncStreamReaderPin : public BaseOutputPin, public IAsyncReader {
 public:
  AsyncStreamReaderPin(AsyncStreamReader* reader, AsyncIoWorker* io);

  HRESULT GetMediaType(int index, MediaType* type) override;
  HRESULT CheckMediaType(const MediaType& type) override;
  HRESULT CheckConnect(IPin* pin) override;  // any input pin: the transport is ours
  HRESULT CompleteConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT Active() override { return S_OK; }
  HRESULT Inactive() override { return S_OK; }

  // IAsyncReader
  HRESULT RequestAllocator(IMemAllocator* preferred, AllocatorProperties* props, IMemAllocator** actual) override;
  HRESULT Request(IMediaSample* sample, uintptr_t user) override;
  HRESULT WaitForNext(uint32_t timeoutMs, IMediaSample** sample, uintptr_t* user) override;
  HRESULT SyncReadAligned(IMediaSample* sample) override;
  HRESULT SyncRead(int64_t position, int32_t length, uint8_t* buffer) override;
  HRESULT Length(int64_t* total, int64_t* available) override;
  // Serve both the pin's flush and the reader's.
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;

 protected:
  void* GetInterface(const IID& iid) override;

 private:
  // The byte range of a sample, cut at the end of the stream (its stop time follows the cut).
  HRESULT SampleRange(IMediaSample* sample, int64_t* start, int32_t* length, uint8_t** buffer);

  AsyncStreamReader* reader_;
  AsyncIoWorker* io_;
  bool queriedForReader_ = false;
};

class AsyncStreamReader : public BaseFilter {
 public:
  static constexpr CLSID kClassId = MakeGuid("C553F2C0-1529-11D0-B4D1-00805F6CBBEA");

  AsyncStreamReader(const char* objectName, IUnknown* outer, AsyncStream* stream, const MediaType& type, HRESULT* hr);
  ~AsyncStreamReader() override;

  int GetPinCount() override { return 1; }
  BasePin* GetPin(int index) override;
  const MediaType& OfferedType() const { return type_; }

 private:
  AsyncIoWorker io_;
  AsyncStreamReaderPin pin_;
  MediaType type_;
};

// The reader over a memory stream. Its maker owns it: references do not delete it,
// DeleteMemReaderObject does, once nothing holds one (the graph released).
class Tamrak_CMemReader : public AsyncStreamReader {
 public:
  Tamrak_CMemReader(Tamrak_CMemStream* stream, const MediaType* type, HRESULT* hr);

 protected:
  void OnFinalRelease() override {}
};

void DeleteMemReaderObject(Tamrak_CMemReader* reader);
