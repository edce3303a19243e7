#include "platform/media/ffmpeg/ffmpeg_audio_mix.h"

#include <new>

#include "platform/media/ffmpeg/ffmpeg_common.h"

namespace ffmedia {

SwrPtr MakePcmMix(const AVChannelLayout& in, AVSampleFormat inFormat, int inRate, int outChannels,
                  AVSampleFormat outFormat, int outRate) {
  AVChannelLayout outLayout;
  av_channel_layout_default(&outLayout, outChannels);
  SwrContext* s = nullptr;
  const int made = swr_alloc_set_opts2(&s, &outLayout, outFormat, outRate, const_cast<AVChannelLayout*>(&in),
                                       inFormat, inRate, 0, nullptr);
  av_channel_layout_uninit(&outLayout);
  SwrPtr mix(s);
  if (made < 0 || !mix || swr_init(mix.get()) < 0) return nullptr;
  return mix;
}

}  // namespace ffmedia

struct VorbisMix {
  ffmedia::SwrPtr swr;
  int channels;
};

namespace {

// FFmpeg's layout of a Vorbis stream by channel count, and where each Vorbis channel goes in it.
struct VorbisLayout {
  uint64_t mask;
  uint8_t plane[8];
};
const VorbisLayout kVorbisLayouts[] = {
    {AV_CH_LAYOUT_SURROUND, {0, 2, 1}},
    {AV_CH_LAYOUT_QUAD, {0, 1, 2, 3}},
    {AV_CH_LAYOUT_5POINT0_BACK, {0, 2, 1, 3, 4}},
    {AV_CH_LAYOUT_5POINT1_BACK, {0, 2, 1, 4, 5, 3}},
    {AV_CH_LAYOUT_6POINT1, {0, 2, 1, 5, 6, 4, 3}},
    {AV_CH_LAYOUT_7POINT1, {0, 2, 1, 6, 7, 4, 5, 3}},
};

}  // namespace

VorbisMix* VorbisMixOpen(int channels, int rate, int bytesPerSample) {
  if (channels < 3 || channels > 8 || rate <= 0) return nullptr;
  const AVSampleFormat out = bytesPerSample == 1 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
  AVChannelLayout layout;
  if (av_channel_layout_from_mask(&layout, kVorbisLayouts[channels - 3].mask) != 0) return nullptr;
  ffmedia::SwrPtr swr = ffmedia::MakePcmMix(layout, AV_SAMPLE_FMT_FLTP, rate, 2, out, rate);
  av_channel_layout_uninit(&layout);
  if (!swr) return nullptr;
  return new (std::nothrow) VorbisMix{std::move(swr), channels};
}

void VorbisMixClose(VorbisMix* mix) { delete mix; }

int VorbisMixRun(VorbisMix* mix, float* const* planes, int frames, uint8_t* out) {
  if (!mix || frames < 0) return -1;
  const uint8_t* in[8];
  const uint8_t* plane = kVorbisLayouts[mix->channels - 3].plane;
  for (int c = 0; c < mix->channels; ++c) in[plane[c]] = reinterpret_cast<const uint8_t*>(planes[c]);
  // One rate in and out: nothing is held back, every frame comes out at once.
  return swr_convert(mix->swr.get(), &out, frames, in, frames);
}
