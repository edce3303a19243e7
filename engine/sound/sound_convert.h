// Conversion of sound data (WAVE, compressed WAVE, Ogg Vorbis, MP3) to PCM, block by block.
#pragma once

#include <cstdint>

#include "engine/sound/sound.h"
#include "engine/system/system.h"
#include "platform/audio/audio.h"

struct AcmStream;
struct OggVorbis_File;
struct VorbisMix;

enum SoundConvertKind : int {
  SOUNDCONV_KIND_WAVE = 0,    // plain PCM WAVE
  SOUNDCONV_KIND_ACM = 1,     // compressed WAVE or MP3 through the compression manager
  SOUNDCONV_KIND_OGG = 2,     // Ogg Vorbis
  SOUNDCONV_KIND_MEMORY = 3,  // PCM held whole in memory (made by the media graph)
};

enum : int {
  SOUNDCONV_MASK_WAVE = 1,
  SOUNDCONV_MASK_ACM = 2,
  SOUNDCONV_MASK_OGG = 4,
  SOUNDCONV_MASK_MP3 = 8,
  SOUNDCONV_MASK_GRAPH = 16,
};

struct SoundConvertRecord {
  int initialized;
  int endFlag;    // the source is used up
  int errorFlag;  // the decoder met corrupt data
  int kind;
  StreamFunctions stream;
  StreamHandle streamHandle;
  int64_t fmtPosition;
  uint32_t fmtSize;
  int64_t dataPosition;
  uint32_t dataSize;
  WAVEFORMATEX outFormat;  // always PCM

  // Plain WAVE: bytes of the data read so far.
  uint32_t waveOffset;

  // Compression manager.
  uint8_t* acmSrcFormat;
  uint32_t acmSrcFormatSize;
  AcmStream* acmStream;
  AcmStream* acmSpare;  // a fresh stream for seeking back
  uint8_t* acmSrcData;  // the whole source data
  uint32_t acmSrcSize;
  uint32_t acmSrcOffset;
  int64_t acmTotalSamples;  // -1 when not counted
  int acmFlushed;           // the decoder has handed out all it held back

  // Ogg Vorbis.
  OggVorbis_File* vorbis;
  int vorbisBytesPerSample;
  VorbisMix* vorbisMix;  // more than two channels, mixed to stereo

  // PCM in memory.
  uint8_t* pcm;
  uint32_t pcmCapacity;
  uint32_t pcmSize;
  uint32_t pcmOffset;

  // The block handed out.
  uint8_t* block;
  uint32_t blockSize;
  uint32_t blockLeft;    // bytes not yet handed out
  uint32_t blockOffset;  // read offset in the block
  int64_t outputPosition;  // PCM bytes handed out since the start

  int vorbisLayer;
  int outputBytesPerSample;
};

int SetupSoundConvert(const SoundLoadSettings* settings, const StreamFunctions* functions, StreamHandle stream,
                      SoundConvertRecord* record);
// Bytes written (fewer than asked at the end, 0 after it), or -1 when the record is not set up.
int RunSoundConvert(SoundConvertRecord* record, void* dest, uint32_t bytes);
int SeekSoundConvert(SoundConvertRecord* record, int64_t sample);
int64_t GetSoundConvertDestSize(SoundConvertRecord* record);
int TerminateSoundConvert(SoundConvertRecord* record);
int GetSoundConvertFormat(SoundConvertRecord* record, WAVEFORMATEX* format);
// The whole sound as PCM in one block from the engine allocator (MemFree it); size is what the decoder gave.
int ConvertSoundToPCM(SoundConvertRecord* record, WAVEFORMATEX* format, void** pcm, uint32_t* size);

// Makes the record a kind-3 conversion over PCM that it now owns (engine allocator). 0 or -1.
int SetupSoundConvert_PCMMemory(SoundConvertRecord* record, const WAVEFORMATEX* format, uint8_t* pcm,
                                uint32_t size, uint32_t capacity);
// Decodes the whole source through the media framework into a kind-3 record. 0 or -1.
int SetupSoundConvert_MP3Graph(SoundConvertRecord* record);

// The 28 + formatSize bytes before the PCM of a RIFF WAVE file.
void WriteWaveHeader(uint8_t* header, const void* format, uint32_t formatSize, uint32_t pcmSize);
// A RIFF WAVE image of 28 + formatSize + pcmSize bytes from the engine allocator.
int MakeWaveFileImage(void** image, uint32_t* imageSize, const void* format, uint32_t formatSize, const void* pcm,
                      uint32_t pcmSize);
int ReadStreamToMem(const StreamFunctions* functions, StreamHandle stream, void** block, uint32_t* size);

struct MP3FrameInfo {
  int mpeg1;           // 1 MPEG-1, 0 MPEG-2
  int layer;           // 0 Layer I, 1 Layer II, 2 Layer III
  int bitRateIndex;
  int sampleRateIndex;
  int padding;
  int channels;
  int bitRate;         // kbit/s
  int sampleRate;
  int frameLength;     // bytes, header included
  int samplesPerFrame;
};

// 0, -1 for a bad field, -2 when the bytes are no frame sync.
int AnalyseMP3FrameHeader(const uint8_t header[4], MP3FrameInfo* info);
