#include "platform/media/ffmpeg/ffmpeg_downmix.h"

SwrContext* MakeSoundMixer(const AVChannelLayout* in, AVSampleFormat inFormat, int inRate, int outChannels,
                           AVSampleFormat outFormat, int outRate) {
  AVChannelLayout outLayout;
  av_channel_layout_default(&outLayout, outChannels);
  SwrContext* s = nullptr;
  const int made = swr_alloc_set_opts2(&s, &outLayout, outFormat, outRate, const_cast<AVChannelLayout*>(in), inFormat,
                                       inRate, 0, nullptr);
  av_channel_layout_uninit(&outLayout);
  if (made < 0 || !s || swr_init(s) < 0) {
    swr_free(&s);
    return nullptr;
  }
  return s;
}
