// What the two FFmpeg decoders share: a transform whose input is a compressed stream of one kind,
// fed packet by packet to libavcodec, every decoded frame handed to the decoder's DeliverFrame.
#pragma once

#include "platform/media/ffmpeg/ffmpeg_common.h"

namespace ffmedia {

class CodecFilter : public TransformFilter {
 public:
  CodecFilter(const char* objectName, const CLSID& clsid, AVMediaType kind)
      : TransformFilter(objectName, nullptr, clsid), kind_(kind) {}

  HRESULT CheckInputType(const MediaType& type) override;
  HRESULT BreakConnect(PinDirection dir) override;
  HRESULT StartStreaming() override;
  HRESULT StopStreaming() override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndOfStream() override;
  HRESULT EndFlush() override;

 protected:
  // Opens the decoder for the input type; false when the codec is unknown or refuses it.
  bool OpenInput(const MediaType& type, CodecFormat* format);
  // A frame out; S_OK to go on.
  virtual HRESULT DeliverFrame(const AVFrame* frame) = 0;
  // Forgets the decoder's state: after a flush, at a stop and at the end of the stream.
  virtual void Reset();
  virtual void Disconnected() {}

  CodecContextPtr ctx_;
  REFERENCE_TIME nextTime_ = AV_NOPTS_VALUE;  // where a frame without a time starts

 private:
  HRESULT DeliverFrames();

  const AVMediaType kind_;
  FramePtr frame_;
  PacketPtr packet_;
};

}  // namespace ffmedia
