// The video decoder over libavcodec. YUV pictures go out first as RGB32 made with the stream's
// matrix and range (the renderers' own converters know BT.601 limited range only); then in the
// decoder's own layout when a filter downstream takes it as it is (YV12, NV12, YUY2, UYVY,
// YVYU). RGB pictures go out as they are (RGB32, RGB24), else as RGB32. Frames go out with
// top-down rows, tightly packed planes.
#include <algorithm>
#include <cstring>

#include "platform/media/ffmpeg/ffmpeg_codec_filter.h"
#include "platform/media/ffmpeg/yuv_to_rgb32.h"

namespace ffmedia {

namespace {

struct Layout {
  GUID subtype;
  AVPixelFormat format;  // the FFmpeg layout of the same bytes
  uint16_t bits;
};

constexpr Layout kLayouts[] = {
    {MEDIASUBTYPE_YV12, AV_PIX_FMT_YUV420P, 12}, {MEDIASUBTYPE_NV12, AV_PIX_FMT_NV12, 12},
    {MEDIASUBTYPE_YUY2, AV_PIX_FMT_YUYV422, 16}, {MEDIASUBTYPE_UYVY, AV_PIX_FMT_UYVY422, 16},
    {MEDIASUBTYPE_YVYU, AV_PIX_FMT_YVYU422, 16}, {MEDIASUBTYPE_RGB32, AV_PIX_FMT_BGRA, 32},
    {MEDIASUBTYPE_RGB24, AV_PIX_FMT_BGR24, 24},
};
constexpr Layout kFallback = {MEDIASUBTYPE_RGB32, AV_PIX_FMT_BGRA, 32};

constexpr REFERENCE_TIME kLateness = UNITS / 4;  // past a picture's end before it is dropped

const Layout* LayoutOf(const GUID& subtype) {
  for (const Layout& l : kLayouts)
    if (l.subtype == subtype) return &l;
  return nullptr;
}

const Layout* LayoutOf(AVPixelFormat format) {
  if (format == AV_PIX_FMT_BGR0) format = AV_PIX_FMT_BGRA;
  for (const Layout& l : kLayouts)
    if (l.format == format) return &l;
  return nullptr;
}

int Half(int n) { return (n + 1) / 2; }

bool IsRgb(const Layout& l) { return l.format == AV_PIX_FMT_BGRA || l.format == AV_PIX_FMT_BGR24; }

bool IsYuv(AVPixelFormat format) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  return d && !(d->flags & AV_PIX_FMT_FLAG_RGB) && d->nb_components >= 3;
}

// Full range when the frame or the stream says so; untagged, only the JPEG layouts are (as
// libswscale reads them).
bool FullRange(int range, AVPixelFormat format) {
  if (range == AVCOL_RANGE_MPEG || range == AVCOL_RANGE_JPEG) return range == AVCOL_RANGE_JPEG;
  return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
         format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
}

// The 8-bit Y'CbCr layouts our converter reads.
bool YuvLayoutOf(AVPixelFormat format, YuvLayout* layout) {
  switch (format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P: *layout = YuvLayout::k420; return true;
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P: *layout = YuvLayout::k422; return true;
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P: *layout = YuvLayout::k444; return true;
    case AV_PIX_FMT_NV12: *layout = YuvLayout::kNv12; return true;
    default: return false;
  }
}

// Bytes of a frame in the layout, planes packed as the renderers read them.
int64_t FrameBytes(const Layout& l, int w, int h) {
  switch (l.format) {
    case AV_PIX_FMT_YUV420P: return int64_t(w) * h + 2 * int64_t(Half(w)) * Half(h);
    case AV_PIX_FMT_NV12: return int64_t(w) * h + int64_t(Half(w)) * 2 * Half(h);
    case AV_PIX_FMT_YUYV422:
    case AV_PIX_FMT_UYVY422:
    case AV_PIX_FMT_YVYU422: return int64_t(Half(w)) * 4 * h;
    case AV_PIX_FMT_BGR24: return int64_t((w * 3 + 3) / 4 * 4) * h;
    default: return int64_t(w) * 4 * h;
  }
}

void CopyPlane(uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch, int rowBytes, int rows) {
  for (int y = 0; y < rows; ++y) std::memcpy(dst + int64_t(y) * dstPitch, src + int64_t(y) * srcPitch, size_t(rowBytes));
}

// Copies a frame already in the layout and size into the packed buffer.
void PackFrame(const Layout& l, const AVFrame* f, int w, int h, uint8_t* out) {
  switch (l.format) {
    case AV_PIX_FMT_YUV420P: {
      const int cw = Half(w), ch = Half(h);
      CopyPlane(out, w, f->data[0], f->linesize[0], w, h);
      uint8_t* v = out + int64_t(w) * h;
      CopyPlane(v, cw, f->data[2], f->linesize[2], cw, ch);  // YV12: V before U
      CopyPlane(v + int64_t(cw) * ch, cw, f->data[1], f->linesize[1], cw, ch);
      break;
    }
    case AV_PIX_FMT_NV12:
      CopyPlane(out, w, f->data[0], f->linesize[0], w, h);
      CopyPlane(out + int64_t(w) * h, Half(w) * 2, f->data[1], f->linesize[1], Half(w) * 2, Half(h));
      break;
    case AV_PIX_FMT_YUYV422:
    case AV_PIX_FMT_UYVY422:
    case AV_PIX_FMT_YVYU422: CopyPlane(out, Half(w) * 4, f->data[0], f->linesize[0], Half(w) * 4, h); break;
    case AV_PIX_FMT_BGR24: CopyPlane(out, (w * 3 + 3) / 4 * 4, f->data[0], f->linesize[0], w * 3, h); break;
    default: CopyPlane(out, w * 4, f->data[0], f->linesize[0], w * 4, h); break;
  }
}

class VideoDecoder : public CodecFilter {
 public:
  VideoDecoder() : CodecFilter("Video Decoder", CLSID_MediaVideoDecoder, AVMEDIA_TYPE_VIDEO) {}

  HRESULT SetMediaType(PinDirection dir, const MediaType& type) override {
    if (dir == PinDirection::Output) {
      out_ = LayoutOf(type.subtype);
      return out_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    return OpenInput(type, &format_) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }

  // RGB as it comes, else RGB32 first, then the decoder's own YUV layout when it has one of ours.
  HRESULT GetMediaType(int index, MediaType* type) override {
    std::vector<const Layout*> offers;
    const Layout* native = LayoutOf(AVPixelFormat(format_.format));
    if (native && IsRgb(*native)) offers.push_back(native);
    if (offers.empty() || offers[0]->format != kFallback.format) offers.push_back(&kFallback);
    if (native && !IsRgb(*native)) offers.push_back(native);
    if (index < 0) return E_INVALIDARG;
    if (index >= int(offers.size())) return VFW_S_NO_MORE_ITEMS;
    *type = TypeOf(*offers[size_t(index)]);
    return S_OK;
  }
  HRESULT CheckTransform(const MediaType& in, const MediaType& out) override {
    const Layout* l = LayoutOf(out.subtype);
    const VIDEOINFOHEADER* vih = out.VideoInfo();
    if (!l || out.majortype != MEDIATYPE_Video || !vih) return VFW_E_TYPE_NOT_ACCEPTED;
    const BITMAPINFOHEADER& b = vih->bmiHeader;
    const bool rgb = IsRgb(*l);
    // Rows top-down: RGB says so with a negative height.
    if (b.biWidth != format_.width || b.biHeight != (rgb ? -format_.height : format_.height))
      return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
  }
  // Running, a picture whose end passed on the clock a while ago is neither converted nor
  // delivered (one in two at most, never the first after a start or seek), so pictures that fall
  // behind catch up by dropping; a burst from FFmpeg's threads slightly late still shows.
  HRESULT Run(REFERENCE_TIME start) override {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    const HRESULT hr = CodecFilter::Run(start);
    if (SUCCEEDED(hr)) {
      std::lock_guard<std::mutex> guard(clockLock_);
      runClock_ = Clock();
      runStart_ = start;
    }
    return hr;
  }
  HRESULT Pause() override {
    {
      std::lock_guard<std::mutex> guard(clockLock_);
      runClock_.Reset();
    }
    return CodecFilter::Pause();
  }
  HRESULT Stop() override {
    {
      std::lock_guard<std::mutex> guard(clockLock_);
      runClock_.Reset();
    }
    return CodecFilter::Stop();
  }

  HRESULT DecideBufferSize(IMemAllocator* allocator, AllocatorProperties* request) override {
    AllocatorProperties want = *request, got;
    // A renderer may keep two (the frame shown, the one ready) while the next is filled.
    want.cBuffers = std::max(want.cBuffers, 4);
    want.cbBuffer = std::max<int32_t>(want.cbBuffer, int32_t(FrameBytes(*out_, format_.width, format_.height)));
    want.cbAlign = std::max(want.cbAlign, 64);  // libswscale's SIMD writes straight into the buffer
    HRESULT hr = allocator->SetProperties(&want, &got);
    if (FAILED(hr)) return hr;
    return got.cbBuffer < want.cbBuffer ? E_FAIL : S_OK;
  }

 private:
  MediaType TypeOf(const Layout& l) const {
    const bool rgb = IsRgb(l);
    MediaType mt = MakeVideoMediaType(l.subtype, format_.width, rgb ? -format_.height : format_.height, l.bits,
                                      format_.avgTimePerFrame);
    mt.lSampleSize = uint32_t(FrameBytes(l, format_.width, format_.height));
    return mt;
  }

  HRESULT DeliverFrame(const AVFrame* f) override {
    const int w = format_.width, h = format_.height;
    const REFERENCE_TIME length = format_.avgTimePerFrame > 0 ? format_.avgTimePerFrame : UNITS / 25;
    REFERENCE_TIME start = FrameTime(f);
    if (start == AV_NOPTS_VALUE) start = nextTime_ != AV_NOPTS_VALUE ? nextTime_ : 0;
    REFERENCE_TIME stop = start + length;
    nextTime_ = stop;
    if (stop <= 0) return S_OK;  // before the segment's start: decoded only to reach it
    if (f->width <= 0 || f->height <= 0) return S_OK;
    const bool drop = mayDrop_ && Late(stop);
    mayDrop_ = !drop;
    if (drop) return S_OK;

    ComPtr<IMediaSample> out;
    HRESULT hr = OutputPin()->GetDeliveryBuffer(out.Put(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    uint8_t* dst = nullptr;
    out->GetPointer(&dst);
    const int64_t bytes = FrameBytes(*out_, w, h);
    if (bytes > out->GetSize()) return E_UNEXPECTED;
    if (f->format == out_->format && f->width == w && f->height == h) {
      PackFrame(*out_, f, w, h, dst);
    } else if (!Convert(f, dst)) {
      return S_OK;  // a layout libswscale cannot read: the frame is left out
    }
    out->SetActualDataLength(int32_t(bytes));
    out->SetTime(&start, &stop);
    out->SetSyncPoint(true);
    return OutputPin()->Deliver(out.Get());
  }

  // Another layout or size. 8-bit Y'CbCr of the same size to RGB32 goes through our converter,
  // within a level where libswscale's fast one is up to 3 off, and no slower; libswscale writes
  // the rest straight into the buffer. Both follow the matrix and range of the frame, else of the
  // stream (BT.601 when neither says).
  bool Convert(const AVFrame* f, uint8_t* dst) {
    const int w = format_.width, h = format_.height;
    const bool yuv = IsYuv(AVPixelFormat(f->format));
    int matrix = 0, full = 0;
    if (yuv) {
      // A frame's own tags come from the bitstream and may be any number.
      matrix = RawValue(f->colorspace);
      int range = RawValue(f->color_range);
      if (matrix <= AVCOL_SPC_RGB || matrix == AVCOL_SPC_UNSPECIFIED || matrix >= AVCOL_SPC_NB)
        matrix = format_.colorSpace;
      if (range <= AVCOL_RANGE_UNSPECIFIED || range >= AVCOL_RANGE_NB) range = format_.colorRange;
      full = FullRange(range, AVPixelFormat(f->format)) ? 1 : 0;
    }
    YuvLayout layout;
    if (yuv && out_->format == AV_PIX_FMT_BGRA && f->width == w && f->height == h &&
        YuvLayoutOf(AVPixelFormat(f->format), &layout)) {
      const YuvPicture picture = {layout, w, h, {f->data[0], f->data[1], f->data[2]},
                                  {f->linesize[0], f->linesize[1], f->linesize[2]}};
      ConvertYuvToRgb32(YuvToRgb32Best(), picture, YuvCoefficientsFor(matrix, full != 0), dst, ptrdiff_t(w) * 4);
      return true;
    }
    const int from[4] = {f->width, f->height, f->format, out_->format};
    if (!sws_ || !std::equal(from, from + 4, swsFrom_)) {
      sws_.reset(sws_getContext(f->width, f->height, AVPixelFormat(f->format), w, h, out_->format, SWS_BILINEAR,
                                nullptr, nullptr, nullptr));
      std::copy(from, from + 4, swsFrom_);
      matrix_ = full_ = -1;
    }
    if (!sws_) return false;
    if (yuv && (matrix != matrix_ || full != full_)) {
      sws_setColorspaceDetails(sws_.get(), sws_getCoefficients(matrix), full, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                               1 << 16, 1 << 16);
      matrix_ = matrix;
      full_ = full;
    }
    uint8_t* planes[4] = {};
    int pitches[4] = {};
    if (av_image_fill_arrays(planes, pitches, dst, out_->format, w, h, 1) < 0) return false;
    if (out_->format == AV_PIX_FMT_YUV420P) std::swap(planes[1], planes[2]);  // YV12: V before U
    if (out_->format == AV_PIX_FMT_BGR24) pitches[0] = (w * 3 + 3) / 4 * 4;
    if (out_->bits == 16) pitches[0] = Half(w) * 4;
    sws_scale(sws_.get(), f->data, f->linesize, 0, f->height, planes, pitches);
    return true;
  }

  bool Late(REFERENCE_TIME stop) {
    ComPtr<IReferenceClock> clock;
    REFERENCE_TIME start = 0, now = 0;
    {
      std::lock_guard<std::mutex> guard(clockLock_);
      clock = runClock_;
      start = runStart_;
    }
    return clock && SUCCEEDED(clock->GetTime(&now)) && now - start > stop + kLateness;
  }

  void Reset() override {
    CodecFilter::Reset();
    mayDrop_ = false;
  }

  CodecFormat format_{};
  const Layout* out_ = &kFallback;
  bool mayDrop_ = false;  // a picture went out since the last drop or reset
  // One of a filter's own locks (media_base.h): the running stream's clock (null when not running)
  // and start. Never held while the filter lock is taken or the clock is read.
  std::mutex clockLock_;
  ComPtr<IReferenceClock> runClock_;
  REFERENCE_TIME runStart_ = 0;
  SwsPtr sws_;
  int swsFrom_[4] = {};          // the size and layout it converts from, and the layout to
  int matrix_ = -1, full_ = -1;  // what it was last told
};

}  // namespace

HRESULT CreateVideoDecoder(IUnknown*, IUnknown** object) { return HandOut(new (std::nothrow) VideoDecoder, object); }

}  // namespace ffmedia
