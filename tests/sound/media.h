// Test media: sound files made by the tests themselves, and reference decodes through the libraries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

void PutLE(Bytes& b, uint32_t value, int bytes);
Bytes Chunk(const char* id, const Bytes& body);  // padded to an even size
Bytes RiffWave(const std::vector<Bytes>& chunks);
// A "fmt " body: 16 bytes, or 18 with an extra-size word and extra bytes.
Bytes FmtBody(int tag, int channels, int rate, int avgBytes, int blockAlign, int bits, bool sixteenBytes,
              const Bytes& extra = {});
Bytes PcmWave(int channels, int rate, int bits, const Bytes& data);

// Interleaved 16-bit test signal: a sine per channel (different pitches) with a little noise.
std::vector<int16_t> TestSignal(int channels, int frames, int rate, uint32_t seed = 1);
Bytes ToBytes(const std::vector<int16_t>& samples);
std::vector<int16_t> ToSamples(const void* data, size_t bytes);

// ADPCM encoders: blocks that an exact decoder turns into *decoded (the encoder's own reconstruction).
Bytes EncodeMsAdpcm(const std::vector<int16_t>& pcm, int channels, int blockAlign, std::vector<int16_t>* decoded);
Bytes MsAdpcmExtra(int samplesPerBlock);  // samples per block, the seven standard coefficient pairs
int MsAdpcmSamplesPerBlock(int blockAlign, int channels);
Bytes EncodeImaAdpcm(const std::vector<int16_t>& pcm, int channels, int blockAlign, std::vector<int16_t>* decoded);
int ImaAdpcmSamplesPerBlock(int blockAlign, int channels);

Bytes EncodeOggVorbis(const std::vector<int16_t>& pcm, int channels, int rate, int serial = 1);
std::vector<int16_t> DecodeOggVorbisDirect(const Bytes& file);
Bytes EncodeMp3(const std::vector<int16_t>& pcm, int channels, int rate, int kbps);
std::vector<int16_t> DecodeMp3Direct(const Bytes& file, int channels, int rate);

// A file decoded by FFmpeg's libraries: 16-bit at the stream's own rate, mono as mono and more
// channels mixed to stereo by libswresample's default matrix. No samples when it fails.
struct ReferenceSound {
  int rate = 0;
  int channels = 0;
  std::vector<int16_t> samples;
};
ReferenceSound DecodeWithFFmpeg(const std::string& path);

// A file in the working folder, named after the running test; removed by the destructor.
struct ScratchFile {
  std::string path;
  ScratchFile(const char* what, const Bytes& data);
  ~ScratchFile();
};

std::string ReadFileText(const std::string& path);
