// Platform layer: a small media framework. Filters with pins pass media samples from a source
// to renderers inside a filter graph; objects are reference counted and answer interface
// queries by id. Result codes, times (100 ns units) and ids follow the conventions the engine's
// filters are written against. Filter writers include media_base.h for the base classes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/audio/audio.h"
#include "platform/fourcc.h"

// ---------------------------------------------------------------------------------------------
// Result codes

using HRESULT = int32_t;

constexpr HRESULT MakeResult(uint32_t value) { return static_cast<HRESULT>(value); }
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeResult(0x80004001u);
constexpr HRESULT E_NOINTERFACE = MakeResult(0x80004002u);
constexpr HRESULT E_POINTER = MakeResult(0x80004003u);
constexpr HRESULT E_ABORT = MakeResult(0x80004004u);
constexpr HRESULT E_FAIL = MakeResult(0x80004005u);
constexpr HRESULT E_UNEXPECTED = MakeResult(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = MakeResult(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = MakeResult(0x80070057u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeResult(0x80040111u);

constexpr HRESULT VFW_S_NO_MORE_ITEMS = MakeResult(0x00040103u);
constexpr HRESULT VFW_S_DUPLICATE_NAME = MakeResult(0x0004022Du);
constexpr HRESULT VFW_S_STATE_INTERMEDIATE = MakeResult(0x00040237u);
constexpr HRESULT VFW_S_PARTIAL_RENDER = MakeResult(0x00040242u);
constexpr HRESULT VFW_S_NO_STOP_TIME = MakeResult(0x00040270u);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = MakeResult(0x80040204u);
constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = MakeResult(0x80040207u);
constexpr HRESULT VFW_E_INVALID_DIRECTION = MakeResult(0x80040208u);
constexpr HRESULT VFW_E_NOT_CONNECTED = MakeResult(0x80040209u);
constexpr HRESULT VFW_E_NO_ALLOCATOR = MakeResult(0x8004020Au);
constexpr HRESULT VFW_E_RUNTIME_ERROR = MakeResult(0x8004020Bu);
constexpr HRESULT VFW_E_BUFFER_OVERFLOW = MakeResult(0x8004020Du);
constexpr HRESULT VFW_E_BADALIGN = MakeResult(0x8004020Eu);
constexpr HRESULT VFW_E_ALREADY_COMMITTED = MakeResult(0x8004020Fu);
constexpr HRESULT VFW_E_BUFFERS_OUTSTANDING = MakeResult(0x80040210u);
constexpr HRESULT VFW_E_NOT_COMMITTED = MakeResult(0x80040211u);
constexpr HRESULT VFW_E_SIZENOTSET = MakeResult(0x80040212u);
constexpr HRESULT VFW_E_NOT_FOUND = MakeResult(0x80040216u);
constexpr HRESULT VFW_E_CANNOT_CONNECT = MakeResult(0x80040217u);
constexpr HRESULT VFW_E_CANNOT_RENDER = MakeResult(0x80040218u);
constexpr HRESULT VFW_E_NOT_STOPPED = MakeResult(0x80040224u);
constexpr HRESULT VFW_E_WRONG_STATE = MakeResult(0x80040227u);
constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = MakeResult(0x8004022Au);
constexpr HRESULT VFW_E_TIMEOUT = MakeResult(0x8004022Eu);
constexpr HRESULT VFW_E_UNKNOWN_FILE_TYPE = MakeResult(0x80040240u);
constexpr HRESULT VFW_E_INVALIDMEDIATYPE = MakeResult(0x80040248u);
constexpr HRESULT VFW_E_SAMPLE_TIME_NOT_SET = MakeResult(0x80040249u);
// Ours: a source cannot reach the place a stream is to start from (a pipe cannot go back).
constexpr HRESULT MEDIA_E_CANNOT_SEEK = MakeResult(0x80040A00u);

// ---------------------------------------------------------------------------------------------
// Ids

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;

constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
constexpr bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }

namespace media_detail {
constexpr uint32_t Hex(const char* s, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) {
    char c = s[i];
    uint32_t d = c >= '0' && c <= '9' ? uint32_t(c - '0') : c >= 'a' && c <= 'f' ? uint32_t(c - 'a' + 10)
                                                                                 : uint32_t(c - 'A' + 10);
    v = v * 16 + d;
  }
  return v;
}
}  // namespace media_detail

// From the usual text form "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX".
constexpr GUID MakeGuid(const char (&s)[37]) {
  using media_detail::Hex;
  return GUID{Hex(s, 8),
              uint16_t(Hex(s + 9, 4)),
              uint16_t(Hex(s + 14, 4)),
              {uint8_t(Hex(s + 19, 2)), uint8_t(Hex(s + 21, 2)), uint8_t(Hex(s + 24, 2)), uint8_t(Hex(s + 26, 2)),
               uint8_t(Hex(s + 28, 2)), uint8_t(Hex(s + 30, 2)), uint8_t(Hex(s + 32, 2)), uint8_t(Hex(s + 34, 2))}};
}

// Subtypes named by a four-character code or a wave format tag share one base id (the one
// WAVE_FORMAT_EXTENSIBLE files carry for their subformat).
constexpr GUID FourCCGuid(uint32_t code) {
  return GUID{code, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

constexpr GUID GUID_NULL{};

constexpr GUID MEDIATYPE_Video = FourCCGuid(MakeFourCC('v', 'i', 'd', 's'));
constexpr GUID MEDIATYPE_Audio = FourCCGuid(MakeFourCC('a', 'u', 'd', 's'));
constexpr GUID MEDIATYPE_Stream = MakeGuid("6b0a8a3e-52e1-4c2f-9d5b-3f1c0e7a9d21");

constexpr GUID MEDIASUBTYPE_PCM = FourCCGuid(WAVE_FORMAT_PCM);
constexpr GUID MEDIASUBTYPE_MPEG1AudioPayload = FourCCGuid(WAVE_FORMAT_MPEG);
constexpr GUID MEDIASUBTYPE_MP3 = FourCCGuid(WAVE_FORMAT_MPEGLAYER3);
constexpr GUID MEDIASUBTYPE_MPEG1Audio = MakeGuid("d7c4f0a1-8e3b-4b6a-a2c9-5e0f13b7c842");
constexpr GUID MEDIASUBTYPE_WAVE = MakeGuid("2c9e51d4-07b8-4f3e-8a61-c4d2e9f07b15");
constexpr GUID MEDIASUBTYPE_RGB24 = MakeGuid("8f1a3c62-9d4e-4b07-b5e8-2a6c0d9f4e31");
constexpr GUID MEDIASUBTYPE_RGB32 = MakeGuid("8f1a3c63-9d4e-4b07-b5e8-2a6c0d9f4e31");
constexpr GUID MEDIASUBTYPE_YV12 = FourCCGuid(MakeFourCC('Y', 'V', '1', '2'));
constexpr GUID MEDIASUBTYPE_NV12 = FourCCGuid(MakeFourCC('N', 'V', '1', '2'));
constexpr GUID MEDIASUBTYPE_YUY2 = FourCCGuid(MakeFourCC('Y', 'U', 'Y', '2'));
constexpr GUID MEDIASUBTYPE_UYVY = FourCCGuid(MakeFourCC('U', 'Y', 'V', 'Y'));
constexpr GUID MEDIASUBTYPE_YVYU = FourCCGuid(MakeFourCC('Y', 'V', 'Y', 'U'));
constexpr GUID MEDIASUBTYPE_NV11 = FourCCGuid(MakeFourCC('N', 'V', '1', '1'));

constexpr GUID FORMAT_None = MakeGuid("87fb017f-46ac-416f-8a47-d3c6eb021275");
constexpr GUID FORMAT_WaveFormatEx = MakeGuid("5e2a9b47-3c1d-4f8e-9b06-d81a7c4e2f90");
constexpr GUID FORMAT_VideoInfo = MakeGuid("5e2a9b48-3c1d-4f8e-9b06-d81a7c4e2f90");

// Built-in classes.
constexpr CLSID CLSID_FilterGraph = MakeGuid("a1f3e5c7-2b4d-4e6f-8a0c-1d3e5f7a9b2c");
constexpr CLSID CLSID_NullRenderer = MakeGuid("a1f3e5c8-2b4d-4e6f-8a0c-1d3e5f7a9b2c");
constexpr CLSID CLSID_SystemClock = MakeGuid("a1f3e5c9-2b4d-4e6f-8a0c-1d3e5f7a9b2c");
// Plays PCM through the sound output given to SetMediaAudioDevice; offers IBasicAudio.
constexpr CLSID CLSID_AudioRenderer = MakeGuid("a1f3e5ca-2b4d-4e6f-8a0c-1d3e5f7a9b2c");

// ---------------------------------------------------------------------------------------------
// Times, states, events

using REFERENCE_TIME = int64_t;  // 100 ns units
constexpr REFERENCE_TIME UNITS = 10000000;  // one second
constexpr uint32_t INFINITE = 0xFFFFFFFFu;  // a timeout that never runs out, in milliseconds

enum class FilterState { Stopped, Paused, Running };
enum class PinDirection { Input, Output };

// Media event codes; their two parameters are pointer-sized words.
constexpr int32_t EC_COMPLETE = 1;    // every renderer has reached the end (param2: the last one)
constexpr int32_t EC_USERABORT = 2;
constexpr int32_t EC_ERRORABORT = 3;  // param1: the HRESULT that stopped the stream

// Seeking flags: how SetPositions treats each of its two positions.
enum : uint32_t {
  AM_SEEKING_NoPositioning = 0,
  AM_SEEKING_AbsolutePositioning = 1,
  AM_SEEKING_RelativePositioning = 2,
  AM_SEEKING_PositioningBitsMask = 3,
  AM_SEEKING_ReturnTime = 8,  // write the position reached back into the argument
};
enum : uint32_t {
  AM_SEEKING_CanSeekAbsolute = 1,
  AM_SEEKING_CanSeekForwards = 2,
  AM_SEEKING_CanSeekBackwards = 4,
  AM_SEEKING_CanGetCurrentPos = 8,
  AM_SEEKING_CanGetStopPos = 16,
  AM_SEEKING_CanGetDuration = 32,
};

// Stream of a sample: media data, or a control message that filters pass on without looking.
enum : uint32_t { AM_STREAM_MEDIA = 0, AM_STREAM_CONTROL = 1 };

// GetBuffer flags.
enum : uint32_t { AM_GBF_NOWAIT = 4 };

// Filter merits: intelligent connect tries registered filters from the highest down and never
// one at or below MERIT_DO_NOT_USE.
enum : uint32_t {
  MERIT_PREFERRED = 0x800000,
  MERIT_NORMAL = 0x600000,
  MERIT_UNLIKELY = 0x400000,
  MERIT_DO_NOT_USE = 0x200000,
};

// ---------------------------------------------------------------------------------------------
// Media types and format records

struct MediaRect {
  int32_t left, top, right, bottom;
};

struct BITMAPINFOHEADER {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;  // negative: rows top-down
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;  // 0 for RGB, else the four-character code
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};

struct VIDEOINFOHEADER {
  MediaRect rcSource;
  MediaRect rcTarget;
  uint32_t dwBitRate;
  uint32_t dwBitErrorRate;
  REFERENCE_TIME AvgTimePerFrame;
  BITMAPINFOHEADER bmiHeader;
};

// Bytes of a WAVEFORMATEX as stored in a format block (the record without its tail padding).
constexpr size_t kWaveFormatBytes = 18;

// A media type owns its format block. An empty (null) major type, subtype or format type in a
// type used as a pattern matches anything.
struct MediaType {
  GUID majortype = GUID_NULL;
  GUID subtype = GUID_NULL;
  bool bFixedSizeSamples = true;
  bool bTemporalCompression = false;
  uint32_t lSampleSize = 0;
  GUID formattype = GUID_NULL;
  std::vector<uint8_t> format;

  MediaType() = default;
  MediaType(const GUID& major, const GUID& sub, const GUID& formatType = FORMAT_None)
      : majortype(major), subtype(sub), formattype(formatType) {}

  const uint8_t* FormatData() const { return format.empty() ? nullptr : format.data(); }
  uint32_t FormatSize() const { return static_cast<uint32_t>(format.size()); }
  void SetFormat(const void* data, size_t size);

  // Major and subtype set: the type can be a connection's type.
  bool IsComplete() const { return majortype != GUID_NULL && subtype != GUID_NULL; }
  // Every set id of the pattern equals ours.
  bool Matches(const MediaType& pattern) const;
  bool operator==(const MediaType& other) const;
  bool operator!=(const MediaType& other) const { return !(*this == other); }

  // The wave format of a FORMAT_WaveFormatEx type (false when there is none or it is short).
  bool GetWaveFormat(WAVEFORMATEX* out) const;
  // Format block made of the record and cbSize bytes of extra data.
  void SetWaveFormat(const WAVEFORMATEX& wf, const void* extra = nullptr);
  // The video info of a FORMAT_VideoInfo type, or null.
  const VIDEOINFOHEADER* VideoInfo() const;
  void SetVideoInfo(const VIDEOINFOHEADER& vih);
};

// Audio PCM: major type, subtype, wave format, fixed sample size of one block.
MediaType MakePcmMediaType(const WAVEFORMATEX& wf);
// Uncompressed or YUV video of the given subtype; height < 0 for top-down RGB rows.
MediaType MakeVideoMediaType(const GUID& subtype, int32_t width, int32_t height, uint16_t bitCount,
                             REFERENCE_TIME avgTimePerFrame = 0);

// ---------------------------------------------------------------------------------------------
// Interfaces

struct IUnknown {
  static constexpr IID iid = MakeGuid("ba558211-a100-4c3f-8575-023d9ccc1a5c");
  virtual HRESULT QueryInterface(const IID& iid, void** out) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

// Holds one reference.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  ComPtr(T* p) : p_(p) {  // takes a new reference
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ~ComPtr() { Reset(); }
  ComPtr& operator=(const ComPtr& o) {
    ComPtr(o).Swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& o) noexcept {
    ComPtr(std::move(o)).Swap(*this);
    return *this;
  }
  ComPtr& operator=(T* p) {
    ComPtr(p).Swap(*this);
    return *this;
  }
  // Adopts a reference the caller already holds.
  static ComPtr Attach(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  T* Detach() { return std::exchange(p_, nullptr); }
  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // For out-parameters: drops the held reference first.
  T** Put() {
    Reset();
    return &p_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }
  void Swap(ComPtr& o) { std::swap(p_, o.p_); }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  template <class U>
  ComPtr<U> As() const {
    ComPtr<U> u;
    if (p_) p_->QueryInterface(U::iid, u.PutVoid());
    return u;
  }

 private:
  T* p_ = nullptr;
};

struct IReferenceClock : virtual IUnknown {
  static constexpr IID iid = MakeGuid("3b8e0f21-6d4a-4c9e-b1f7-0a2d5c8e6b01");
  virtual HRESULT GetTime(REFERENCE_TIME* time) = 0;
};

struct IMediaSample : virtual IUnknown {
  static constexpr IID iid = MakeGuid("3b8e0f22-6d4a-4c9e-b1f7-0a2d5c8e6b01");
  virtual HRESULT GetPointer(uint8_t** data) = 0;
  virtual int32_t GetSize() = 0;
  // S_OK with both, VFW_S_NO_STOP_TIME with the start only, VFW_E_SAMPLE_TIME_NOT_SET.
  virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
  virtual HRESULT SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* stop) = 0;
  virtual HRESULT IsSyncPoint() = 0;  // S_OK or S_FALSE, like the other flags
  virtual HRESULT SetSyncPoint(bool sync) = 0;
  virtual HRESULT IsPreroll() = 0;
  virtual HRESULT SetPreroll(bool preroll) = 0;
  virtual HRESULT IsDiscontinuity() = 0;
  virtual HRESULT SetDiscontinuity(bool discontinuity) = 0;
  virtual int32_t GetActualDataLength() = 0;
  virtual HRESULT SetActualDataLength(int32_t length) = 0;  // VFW_E_BUFFER_OVERFLOW past the size
  // A type change that travels with the sample: S_OK and the type, or S_FALSE when none.
  virtual HRESULT GetMediaType(MediaType* type) = 0;
  virtual HRESULT SetMediaType(const MediaType* type) = 0;
  virtual uint32_t GetStreamId() = 0;
  virtual HRESULT SetStreamId(uint32_t id) = 0;
};

struct AllocatorProperties {
  int32_t cBuffers = 0;
  int32_t cbBuffer = 0;
  int32_t cbAlign = 0;
  int32_t cbPrefix = 0;
};

struct IMemAllocator : virtual IUnknown {
  static constexpr IID iid = MakeGuid("3b8e0f23-6d4a-4c9e-b1f7-0a2d5c8e6b01");
  virtual HRESULT SetProperties(const AllocatorProperties* request, AllocatorProperties* actual) = 0;
  virtual HRESULT GetProperties(AllocatorProperties* props) = 0;
  virtual HRESULT Commit() = 0;
  virtual HRESULT Decommit() = 0;  // wakes every waiting GetBuffer
  // Waits for a free sample unless AM_GBF_NOWAIT (then VFW_E_TIMEOUT); VFW_E_NOT_COMMITTED.
  virtual HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                            uint32_t flags) = 0;
  virtual HRESULT ReleaseBuffer(IMediaSample* sample) = 0;
};

struct IPin;
struct IBaseFilter;
struct IFilterGraph;

struct PinInfo {
  ComPtr<IBaseFilter> filter;
  PinDirection dir = PinDirection::Input;
  std::u16string name;
};

struct FilterInfo {
  std::u16string name;
  ComPtr<IFilterGraph> graph;
};

using PinList = std::vector<ComPtr<IPin>>;
using FilterList = std::vector<ComPtr<IBaseFilter>>;

struct IPin : virtual IUnknown {
  static constexpr IID iid = MakeGuid("3b8e0f24-6d4a-4c9e-b1f7-0a2d5c8e6b01");
  // Output pins: connect to an input pin with the given type (all three ids set), else with the
  // first type both take (within the given one as a pattern): the input pin's types, then ours.
  virtual HRESULT Connect(IPin* receivePin, const MediaType* type) = 0;
  // Input pins: the connecting output pin proposes a type.
  virtual HRESULT ReceiveConnection(IPin* connector, const MediaType& type) = 0;
  virtual HRESULT Disconnect() = 0;  // this side only; S_FALSE when not connected
  virtual HRESULT ConnectedTo(IPin** pin) = 0;  // VFW_E_NOT_CONNECTED
  virtual HRESULT ConnectionMediaType(MediaType* type) = 0;
  virtual HRESULT QueryPinInfo(PinInfo* info) = 0;
  virtual HRESULT QueryDirection(PinDirection* dir) = 0;
  virtual HRESULT QueryAccept(const MediaType& type) = 0;  // S_OK only means yes
  // Preferred types: S_OK, VFW_S_NO_MORE_ITEMS past the last, E_INVALIDARG below 0.
  virtual HRESULT GetMediaType(int index, MediaType* type) = 0;
  virtual HRESULT EndOfStream() = 0;
  virtual HRESULT BeginFlush() = 0;
  virtual HRESULT EndFlush() = 0;
  virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) = 0;
};

// Push transport, offered by input pins.
struct IMemInputPin : virtual IUnknown {
  static constexpr IID iid = MakeGuid("3b8e0f25-6d4a-4c9e-b1f7-0a2d5c8e6b01");
  virtual HRESULT GetAllocator(IMemAllocator** allocator) = 0;
  virtual HRESULT NotifyAllocator(IMemAllocator* allocator, bool readOnly) = 0;
  virtual HRESULT GetAllocatorRequirements(AllocatorProperties* props) = 0;  // E_NOTIMPL: none
  virtual HRESULT Receive(IMediaSample* sample) = 0;
};

// Pull transport, offered by output pins of readers. Positions and lengths are in bytes; a
// sample's times carry its byte range times UNITS.
struct IAsyncReader : virtual IUnknown {
  static constexpr IID iid = MakeGuid("3b8e0f26-6d4a-4c9e-b1f7-0a2d5c8e6b01");
  virtual HRESULT RequestAllocator(IMemAllocator* preferred, AllocatorProperties* props,
                                   IMemAllocator** actual) = 0;
  virtual HRESULT Request(IMediaSample* sample, uintptr_t user) = 0;
  virtual HRESULT WaitForNext(uint32_t timeoutMs, IMediaSample** sample, uintptr_t* user) = 0;
  virtual HRESULT SyncReadAligned(IMediaSample* sample) = 0;
  virtual HRESULT SyncRead(int64_t position, int32_t length, uint8_t* buffer) = 0;
  virtual HRESULT Length(int64_t* total, int64_t* available) = 0;
  virtual HRESULT BeginFlush() = 0;
  virtual HRESULT EndFlush() = 0;
};

struct IMediaFilter : virtual IUnknown {
  static constexpr IID iid = MakeGuid("3b8e0f27-6d4a-4c9e-b1f7-0a2d5c8e6b01");
  virtual HRESULT GetClassID(CLSID* clsid) = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Run(REFERENCE_TIME start) = 0;  // stream time 0 is this clock time
  virtual HRESULT GetState(uint32_t timeoutMs, FilterState* state) = 0;
  virtual HRESULT SetSyncSource(IReferenceClock* clock) = 0;  // null: no clock, as fast as it goes
  virtual HRESULT GetSyncSource(IReferenceClock** clock) = 0;
};

struct IBaseFilter : IMediaFilter {
  static constexpr IID iid = MakeGuid("3b8e0f28-6d4a-4c9e-b1f7-0a2d5c8e6b01");
  virtual HRESULT EnumPins(PinList* pins) = 0;
  virtual HRESULT FindPin(const char16_t* name, IPin** pin) = 0;
  virtual HRESULT QueryFilterInfo(FilterInfo* info) = 0;
  // The graph does not hold a reference of the filter's making (no cycle); null leaves it.
  virtual HRESULT JoinFilterGraph(IFilterGraph* graph, const char16_t* name) = 0;
};

struct IFileSourceFilter : virtual IUnknown {
  static constexpr IID iid = MakeGuid("3b8e0f29-6d4a-4c9e-b1f7-0a2d5c8e6b01");
  virtual HRESULT Load(const char16_t* path, const MediaType* type) = 0;
  virtual HRESULT GetCurFile(std::u16string* path, MediaType* type) = 0;
};

struct IFilterGraph : virtual IUnknown {
  static constexpr IID iid = MakeGuid("3b8e0f2a-6d4a-4c9e-b1f7-0a2d5c8e6b01");
  // A name already taken gets a number appended and VFW_S_DUPLICATE_NAME.
  virtual HRESULT AddFilter(IBaseFilter* filter, const char16_t* name) = 0;
  virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;  // disconnects its pins
  virtual HRESULT EnumFilters(FilterList* filters) = 0;  // in the order they were added
  virtual HRESULT FindFilterByName(const char16_t* name, IBaseFilter** filter) = 0;
  virtual HRESULT ConnectDirect(IPin* out, IPin* in, const MediaType* type) = 0;
  virtual HRESULT Disconnect(IPin* pin) = 0;
};

struct IGraphBuilder : IFilterGraph {
  static constexpr IID iid = MakeGuid("3b8e0f2b-6d4a-4c9e-b1f7-0a2d5c8e6b01");
  // Directly, else through filters of the graph, then registered ones by merit.
  virtual HRESULT Connect(IPin* out, IPin* in) = 0;
  // Connects the output pin on until renderers; the graph is unchanged when this fails.
  virtual HRESULT Render(IPin* out) = 0;
  virtual HRESULT RenderFile(const char16_t* path, const char16_t* playList) = 0;
};

struct IMediaControl : virtual IUnknown {
  static constexpr IID iid = MakeGuid("3b8e0f2c-6d4a-4c9e-b1f7-0a2d5c8e6b01");
  virtual HRESULT Run() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Stop() = 0;  // returns when every streaming thread has ended
  virtual HRESULT GetState(uint32_t timeoutMs, FilterState* state) = 0;
};

struct IMediaEvent : virtual IUnknown {
  static constexpr IID iid = MakeGuid("3b8e0f2d-6d4a-4c9e-b1f7-0a2d5c8e6b01");
  // The next event; E_ABORT when none comes in time.
  virtual HRESULT GetEvent(int32_t* code, intptr_t* param1, intptr_t* param2, uint32_t timeoutMs) = 0;
  virtual HRESULT FreeEventParams(int32_t code, intptr_t param1, intptr_t param2) = 0;
  // Until the graph completes or aborts: S_OK and EC_COMPLETE, EC_ERRORABORT or EC_USERABORT;
  // E_ABORT and code 0 when the time runs out.
  virtual HRESULT WaitForCompletion(uint32_t timeoutMs, int32_t* code) = 0;
};

// Filters report events through the graph they joined.
struct IMediaEventSink : virtual IUnknown {
  static constexpr IID iid = MakeGuid("3b8e0f2e-6d4a-4c9e-b1f7-0a2d5c8e6b01");
  virtual HRESULT Notify(int32_t code, intptr_t param1, intptr_t param2) = 0;
};

// Positions in 100 ns units; offered by the graph and by seekable sources.
struct IMediaSeeking : virtual IUnknown {
  static constexpr IID iid = MakeGuid("3b8e0f2f-6d4a-4c9e-b1f7-0a2d5c8e6b01");
  virtual HRESULT GetCapabilities(uint32_t* caps) = 0;
  virtual HRESULT GetDuration(int64_t* duration) = 0;
  virtual HRESULT GetStopPosition(int64_t* stop) = 0;
  virtual HRESULT GetCurrentPosition(int64_t* current) = 0;
  virtual HRESULT GetPositions(int64_t* current, int64_t* stop) = 0;
  virtual HRESULT SetPositions(int64_t* current, uint32_t currentFlags, int64_t* stop, uint32_t stopFlags) = 0;
};

// Volume in hundredths of a decibel (0 full, -10000 silent); balance -10000 left to 10000 right.
struct IBasicAudio : virtual IUnknown {
  static constexpr IID iid = MakeGuid("3b8e0f30-6d4a-4c9e-b1f7-0a2d5c8e6b01");
  virtual HRESULT SetVolume(int32_t volume) = 0;
  virtual HRESULT GetVolume(int32_t* volume) = 0;
  virtual HRESULT SetBalance(int32_t balance) = 0;
  virtual HRESULT GetBalance(int32_t* balance) = 0;
};

// A byte stream that a writer filter finds behind its downstream pin.
enum class StreamSeek { Set, Current, End };
struct IStream : virtual IUnknown {
  static constexpr IID iid = MakeGuid("3b8e0f31-6d4a-4c9e-b1f7-0a2d5c8e6b01");
  virtual HRESULT Read(void* data, uint32_t size, uint32_t* read) = 0;
  virtual HRESULT Write(const void* data, uint32_t size, uint32_t* written) = 0;
  virtual HRESULT Seek(int64_t move, StreamSeek origin, uint64_t* position) = 0;
};

constexpr IID IID_IUnknown = IUnknown::iid;
constexpr IID IID_IBaseFilter = IBaseFilter::iid;
constexpr IID IID_IMediaFilter = IMediaFilter::iid;
constexpr IID IID_IPin = IPin::iid;
constexpr IID IID_IMemInputPin = IMemInputPin::iid;
constexpr IID IID_IMemAllocator = IMemAllocator::iid;
constexpr IID IID_IMediaSample = IMediaSample::iid;
constexpr IID IID_IAsyncReader = IAsyncReader::iid;
constexpr IID IID_IReferenceClock = IReferenceClock::iid;
constexpr IID IID_IFileSourceFilter = IFileSourceFilter::iid;
constexpr IID IID_IFilterGraph = IFilterGraph::iid;
constexpr IID IID_IGraphBuilder = IGraphBuilder::iid;
constexpr IID IID_IMediaControl = IMediaControl::iid;
constexpr IID IID_IMediaEvent = IMediaEvent::iid;
constexpr IID IID_IMediaEventSink = IMediaEventSink::iid;
constexpr IID IID_IMediaSeeking = IMediaSeeking::iid;
constexpr IID IID_IBasicAudio = IBasicAudio::iid;
constexpr IID IID_IStream = IStream::iid;

// ---------------------------------------------------------------------------------------------
// Object creation by class id, and the filters that intelligent connect and RenderFile may use

using CreateMediaObjectFn = std::function<HRESULT(IUnknown* outer, IUnknown** object)>;

// Stands in for creating a COM object: the class's new object, asked for the interface.
// CLASS_E_CLASSNOTAVAILABLE for an unknown class, E_NOINTERFACE when it lacks the interface.
HRESULT CreateMediaObject(const CLSID& clsid, IUnknown* outer, const IID& iid, void** object);
// Replaces an earlier class of the same id.
void RegisterMediaClass(const CLSID& clsid, CreateMediaObjectFn create);

struct FilterRegistration {
  CLSID clsid = GUID_NULL;
  std::u16string name;  // the name it gets in a graph
  uint32_t merit = MERIT_DO_NOT_USE;
  CreateMediaObjectFn create;
  // An input type it may take (a quick look before the filter is made; the pins decide).
  std::function<bool(const MediaType&)> takesType;
  // A source that may open this file.
  std::function<bool(const std::u16string& path)> takesFile;
};

// Registers the class too. A later registration of the same id replaces the earlier one.
void RegisterMediaFilter(const FilterRegistration& registration);
void UnregisterMediaFilter(const CLSID& clsid);
// Registrations above MERIT_DO_NOT_USE, highest merit first (equal merits: first registered first).
std::vector<FilterRegistration> RegisteredMediaFilters();

// Objects and layer threads alive now: both come back to 0 when everything is released.
int MediaLiveObjects();
int MediaLiveThreads();
// Stops every graph that is paused or running, which joins its filters' threads: for an exit()
// with graphs still playing. No other thread may release a graph meanwhile.
void StopMediaGraphs();

// The sound output that audio renderers play through (the engine's device), or null for none:
// their sound is then dropped. Renderers let go of buffers on the old device before this returns.
void SetMediaAudioDevice(AudioDevice* device);

// The largest movie picture played on either movie path: DCI 4K and UHD fit (up to 4096 x 2304).
// Larger pictures are refused before a decoder allocates for them.
constexpr int kMaxMoviePictureSide = 4096;
constexpr int64_t kMaxMoviePicturePixels = int64_t(4096) * 2304;
constexpr bool MoviePictureSizeSane(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kMaxMoviePictureSide && height <= kMaxMoviePictureSide &&
         width * height <= kMaxMoviePicturePixels;
}
