// Sound of more channels than the output takes, mixed down by libswresample with FFmpeg's default
// matrix, the same for every path that plays it (the media graph's audio decoder, the engine's Ogg
// Vorbis decoder).
#pragma once

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

// A resampler from the input to outChannels (1 or 2) of the output format at outRate, ready for
// use; null when libswresample refuses the layouts or formats.
SwrContext* MakeSoundMixer(const AVChannelLayout* in, AVSampleFormat inFormat, int inRate, int outChannels,
                           AVSampleFormat outFormat, int outRate);
