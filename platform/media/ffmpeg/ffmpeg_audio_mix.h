// Sound of more than two channels mixed to stereo by libswresample with FFmpeg's matrix for
// its layout: the media layer's audio decoder and the Ogg Vorbis conversion mix alike.
#pragma once

#include <cstdint>

struct VorbisMix;

// A mix of Vorbis channels (3 to 8, in Vorbis order) to interleaved stereo of 1 (unsigned) or
// 2 bytes a sample; null for another count.
VorbisMix* VorbisMixOpen(int channels, int rate, int bytesPerSample);
void VorbisMixClose(VorbisMix* mix);
// Mixes planar float frames (as libvorbisfile gives them) into out, which holds them all;
// the frames made, or -1.
int VorbisMixRun(VorbisMix* mix, float* const* planes, int frames, uint8_t* out);
