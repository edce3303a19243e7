// The demultiplexing half shared by the file source and the parser: a libavformat input, one
// output pin per audio and video stream a decoder of ours can take, the thread that reads the
// packets and queues each (without a copy) on its pin, a streaming thread per pin that delivers
// them, and seeking.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/ffmpeg/ffmpeg_common.h"

namespace ffmedia {

struct IoContextFree {
  void operator()(AVIOContext* io) const {
    av_freep(&io->buffer);
    avio_context_free(&io);
  }
};
struct FormatContextClose {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextFree>;
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextClose>;

// Bytes of a known length read at a position: bytes in memory, or an upstream reader.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // The whole range lies within the length; false when it cannot be read.
  virtual bool ReadAt(int64_t position, int32_t bytes, uint8_t* buffer) = 0;

  int64_t length = 0;
  int64_t position = 0;
};

// A read-only I/O context over the source that reads and seeks only within its length; null when
// memory runs out. The source outlives it.
IoContextPtr MakeIoContext(ByteSource* source);

class DemuxPin;

class DemuxFilter : public BaseFilter, public IMediaSeeking {
 public:
  DemuxFilter(const char* objectName, const CLSID& clsid);
  ~DemuxFilter() override;  // a subclass calls CloseInput first when its reads need it

  HRESULT Pause() override;
  HRESULT Stop() override;

  // IMediaSeeking
  HRESULT GetCapabilities(uint32_t* caps) override;
  HRESULT GetDuration(int64_t* duration) override;
  HRESULT GetStopPosition(int64_t* stop) override;
  HRESULT GetCurrentPosition(int64_t* current) override;
  HRESULT GetPositions(int64_t* current, int64_t* stop) override;
  HRESULT SetPositions(int64_t* current, uint32_t currentFlags, int64_t* stop, uint32_t stopFlags) override;

 protected:
  void* GetInterface(const IID& iid) override;

  // Opens the file at url, or reads through io when it is given; makes the output pins.
  // VFW_E_UNKNOWN_FILE_TYPE when nothing in it plays (the input is then closed again).
  HRESULT OpenInput(const char* url, IoContextPtr io);
  // Stops streaming, disconnects and drops the output pins, closes the input.
  void CloseInput();
  bool InputOpen() const { return ctx_ != nullptr; }

  int OutputCount() const { return int(pins_.size()); }
  BasePin* Output(int index) const;

 private:
  static int Interrupted(void* opaque);
  // The input at url_ (through io when given), probed; null when libavformat refuses it.
  FormatContextPtr OpenFormat(AVIOContext* io);
  HRESULT FindStreams();
  // On the demultiplexing thread: the input moved to the start of a pass; false when no way
  // reaches it.
  bool MoveTo(int64_t start, AVPacket* first);
  // The input opened again at its top, with the same streams; false when it cannot be.
  bool Reopen();
  // Both start and stop the pins' streaming threads with the reading one.
  void StartThread();
  void StopThread();
  bool AnyConnected() const;
  DemuxPin* PinOfStream(int stream) const;
  void Stream();

  // The I/O context outlives the format context that reads through it.
  IoContextPtr io_;
  FormatContextPtr ctx_;  // the demultiplexing thread's while it runs: it may open the input again
  std::string url_;
  std::vector<std::unique_ptr<DemuxPin>> pins_;
  // Pins of an input since closed: a caller may still hold one.
  std::vector<std::unique_ptr<DemuxPin>> retired_;
  REFERENCE_TIME base_ = 0;  // the input's first time
  REFERENCE_TIME duration_ = 0;
  std::atomic<int64_t> startAt_{0}, stopAt_{-1};
  bool streamed_ = false;  // the demuxer has moved: a new pass seeks
  std::atomic<bool> quit_{false};
  MediaThread thread_;
};

}  // namespace ffmedia
