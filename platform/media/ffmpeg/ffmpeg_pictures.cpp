// Decoded pictures in picture memory (platform/media/picture_memory.h), laid out as FFmpeg lays
// out its own: a closed movie's pictures leave the process, and the next movie takes the blocks
// spare until then without faulting them in anew.
#include "platform/media/ffmpeg/ffmpeg_common.h"
#include "platform/media/picture_memory.h"

namespace ffmedia {

namespace {

constexpr size_t kPlaneAlign = 64;                      // the widest vector FFmpeg loads
constexpr size_t kPlanePadding = 16 + kPlaneAlign - 1;  // read past a plane's end, as FFmpeg pads

void GiveBack(void* bytes, uint8_t* block) { GivePictureMemory(block, reinterpret_cast<size_t>(bytes)); }

}  // namespace

int GetPictureBuffer(AVCodecContext* ctx, AVFrame* frame, int flags) {
  const auto format = AVPixelFormat(frame->format);
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  if (!(ctx->codec->capabilities & AV_CODEC_CAP_DR1) || ctx->hw_frames_ctx || !desc ||
      (desc->flags & AV_PIX_FMT_FLAG_HWACCEL) || frame->width <= 0 || frame->height <= 0)
    return avcodec_default_get_buffer2(ctx, frame, flags);
  int w = frame->width, h = frame->height, align[AV_NUM_DATA_POINTERS];
  avcodec_align_dimensions2(ctx, &w, &h, align);
  // Rows are aligned by widening the picture, not plane by plane: decoders count on the planes'
  // pitches keeping their ratio (luma twice chroma in 4:2:0).
  int pitch[4];
  for (bool aligned = false; !aligned; w += w & -w) {
    if (av_image_fill_linesizes(pitch, format, w) < 0) return AVERROR(EINVAL);
    aligned = true;
    for (int i = 0; i < 4; ++i) aligned = aligned && pitch[i] % align[i] == 0;
  }
  const ptrdiff_t pitches[4] = {pitch[0], pitch[1], pitch[2], pitch[3]};
  size_t planes[4], offsets[4], bytes = 0;
  if (av_image_fill_plane_sizes(planes, format, h, pitches) < 0) return AVERROR(EINVAL);
  for (int i = 0; i < 4; ++i) {
    offsets[i] = bytes;
    if (planes[i]) bytes += (planes[i] + kPlanePadding + kPlaneAlign - 1) / kPlaneAlign * kPlaneAlign;
  }
  uint8_t* block = TakePictureMemory(bytes);
  if (!block) return AVERROR(ENOMEM);
  frame->buf[0] = av_buffer_create(block, bytes, GiveBack, reinterpret_cast<void*>(bytes), 0);
  if (!frame->buf[0]) {
    GivePictureMemory(block, bytes);
    return AVERROR(ENOMEM);
  }
  for (int i = 0; i < AV_NUM_DATA_POINTERS; ++i) {
    const bool plane = i < 4 && planes[i];
    frame->data[i] = plane ? block + offsets[i] : nullptr;
    frame->linesize[i] = plane ? pitch[i] : 0;
  }
  frame->extended_data = frame->data;
  return 0;
}

}  // namespace ffmedia
