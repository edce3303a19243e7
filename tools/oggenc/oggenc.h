// Ogg Vorbis files made in memory with libvorbisenc: the game's sound effects, test and benchmark sounds.
#pragma once

#include <cstdint>
#include <vector>

// Interleaved samples within -1 .. 1 of the given channels and rate, at a VBR quality (-0.1 to
// 1.0), in a logical stream with the given serial and, when given, a TITLE comment; empty when
// the encoder refuses the layout.
std::vector<uint8_t> EncodeOggVorbis(const std::vector<float>& pcm, int channels, int rate, float quality, int serial,
                                     const char* title = nullptr);
// The same from 16-bit samples.
std::vector<uint8_t> EncodeOggVorbis(const std::vector<int16_t>& pcm, int channels, int rate, float quality,
                                     int serial);
