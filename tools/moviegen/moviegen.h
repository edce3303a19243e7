// Test movies: Ogg Theora files whose frames carry their own number, with or without a Vorbis track.
#pragma once

#include <cstdint>
#include <vector>

enum class MoviePaging {
  OnePerFrame,  // every frame packet on a page of its own
  Many,         // pages filled as libogg likes: many frames per page
  Small,        // pages of about 256 bytes, so larger frames span pages
};

struct TestMovieSpec {
  int width = 128, height = 64;  // of the picture; the number needs a width of 128
  int picX = 0, picY = 0;        // the picture's offset in the padded frame, from the top left
  int frames = 100;
  int fpsNumerator = 25, fpsDenominator = 1;
  int keyInterval = 16;
  bool chroma444 = false;
  bool vorbis = false;
  int vorbisChannels = 1;  // beyond two, the tone is in the centre channel alone
  bool headersOnly = false;  // Theora headers and no frame
  MoviePaging paging = MoviePaging::OnePerFrame;
  int quality = 56;  // 0..63
  // When set, the identification header claims this picture size for frames of the size above,
  // as a damaged or hostile file would.
  int claimWidth = 0, claimHeight = 0;
};

// The number is written as 16 bits in flat 8 x 8 luma blocks along the top row (bit 0 leftmost,
// 235 for 1, 16 for 0), with the inverted bits in the block row below; the rest is a moving texture.
constexpr int kMovieNumberBits = 16;
uint8_t TestMovieLuma(int frame, int x, int y);
uint8_t TestMovieChromaU(int frame, int x, int y);
uint8_t TestMovieChromaV(int frame, int x, int y);
// Frame f into three planes; chroma planes of cw x ch samples, each taken at its first luma pixel.
void FillTestMovieFrame(int frame, int width, int height, uint8_t* y, int yStride, int cw, int ch, uint8_t* u,
                        uint8_t* v, int uvStride);
// The sound of the test files: sample i of a 440 Hz tone at the rate.
float TestTone(int rate, long i);

// The frame number shown in a 32-bit B, G, R, X image, or -1 when the bits do not read back.
int ReadTestMovieNumber(const uint8_t* pixels, int pitch);

std::vector<uint8_t> MakeTestMovie(const TestMovieSpec& shape);
// A Vorbis-only Ogg file: a 440 Hz tone, mono, 22050 Hz.
std::vector<uint8_t> MakeTestVorbis(double seconds);
