// Ogg Vorbis files made in memory with libvorbisenc, for test and benchmark sounds.
#pragma once

#include <cstdint>
#include <vector>

// Interleaved 16-bit PCM of the given channels and rate, at a VBR quality (-0.1 to 1.0), in a
// logical stream with the given serial; empty when the encoder refuses the layout.
std::vector<uint8_t> EncodeOggVorbis(const std::vector<int16_t>& pcm, int channels, int rate, float quality,
                                     int serial);
