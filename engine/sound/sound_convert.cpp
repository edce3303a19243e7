// Sound conversion: the decoder chain, plain and compressed WAVE, PCM in memory, whole-sound conversion.
#include <algorithm>
#include <cstring>

#include "engine/sound/sound_convert_internal.h"
#include "platform/acm/acm.h"

namespace {

constexpr int64_t kFirstDecodeBlock = 16 << 20;


constexpr uint32_t kAcmPieceBytes = 2048;  // source bytes given to the compression manager at a time
constexpr uint32_t kMaxFormatBytes = 4096;

uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
void WriteU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Finds "fmt " and "data" of a RIFF WAVE source; the format chunk comes back in a block of its own.
// Every size is checked against the source: a chunk that runs past the end refuses the file.
int ParseWave(SoundConvertRecord* r, uint8_t** fmtOut) {
  *fmtOut = nullptr;
  const int64_t length = ConvertStreamLength(r);
  uint8_t head[12];
  if (length < 20 || !ConvertReadAt(r, 0, head, 12)) return -1;
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return -1;
  int64_t pos = 12;
  uint8_t chunk[8];
  if (!ConvertReadAt(r, pos, chunk, 8)) return -1;
  if (std::memcmp(chunk, "bext", 4) == 0) {
    pos += 8 + static_cast<int64_t>(ReadU32(chunk + 4));
    if (pos + 8 > length || !ConvertReadAt(r, pos, chunk, 8)) return -1;
  }
  if (std::memcmp(chunk, "fmt ", 4) != 0) return -1;
  const uint32_t fmtSize = ReadU32(chunk + 4);
  if (fmtSize < 16 || fmtSize > kMaxFormatBytes || pos + 8 + fmtSize > length) return -1;
  auto* fmt = static_cast<uint8_t*>(TK_MALLOC(fmtSize));
  if (!fmt) return -1;
  if (!ConvertReadAt(r, pos + 8, fmt, fmtSize)) {
    MemFree(fmt);
    return -1;
  }
  r->fmtPosition = pos + 8;
  r->fmtSize = fmtSize;
  pos += 8 + fmtSize + (fmtSize & 1);
  for (;;) {
    if (pos + 8 > length || !ConvertReadAt(r, pos, chunk, 8)) {
      MemFree(fmt);
      return -1;
    }
    const uint32_t size = ReadU32(chunk + 4);
    if (std::memcmp(chunk, "data", 4) == 0) {
      if (pos + 8 + static_cast<int64_t>(size) > length) {
        MemFree(fmt);
        return -1;
      }
      r->dataPosition = pos + 8;
      r->dataSize = size;
      break;
    }
    pos += 8 + static_cast<int64_t>(size) + (size & 1);
  }
  *fmtOut = fmt;
  return 0;
}

void ReadFixedFormat(const uint8_t* fmt, WAVEFORMATEX* f) {
  f->wFormatTag = ReadU16(fmt);
  f->nChannels = ReadU16(fmt + 2);
  f->nSamplesPerSec = ReadU32(fmt + 4);
  f->nAvgBytesPerSec = ReadU32(fmt + 8);
  f->nBlockAlign = ReadU16(fmt + 12);
  f->wBitsPerSample = ReadU16(fmt + 14);
  f->cbSize = 0;
}

int SetupWaveConvert(SoundConvertRecord* r) {
  uint8_t* fmt;
  if (ParseWave(r, &fmt) != 0) return -1;
  WAVEFORMATEX f;
  ReadFixedFormat(fmt, &f);
  MemFree(fmt);
  if (f.wFormatTag != WAVE_FORMAT_PCM || f.nChannels == 0 || f.nSamplesPerSec == 0 || f.nBlockAlign == 0)
    return -1;
  if (r->fmtSize == 16) f.wBitsPerSample = static_cast<uint16_t>(f.nBlockAlign / f.nChannels * 8);
  if (f.wBitsPerSample == 0 || f.nBlockAlign != f.nChannels * ((f.wBitsPerSample + 7) / 8)) return -1;
  // One second of the data as it plays, whatever the file says its byte rate is.
  const uint64_t perSecond = static_cast<uint64_t>(f.nBlockAlign) * f.nSamplesPerSec;
  if (perSecond > kMaxConvertBlockBytes) return -1;
  f.nAvgBytesPerSec = static_cast<uint32_t>(perSecond);
  r->outFormat = f;
  r->kind = SOUNDCONV_KIND_WAVE;
  r->blockSize = f.nAvgBytesPerSec;
  r->waveOffset = 0;
  return r->stream.Seek(r->streamHandle, r->dataPosition, 0) == 0 ? 0 : -1;
}

int DecodeWaveBlock(SoundConvertRecord* r) {
  const uint32_t want = std::min(r->blockSize, r->dataSize - r->waveOffset);
  if (want == 0) return 0;
  const size_t got = r->stream.Read(r->block, 1, want, r->streamHandle);
  r->waveOffset += static_cast<uint32_t>(got);
  return static_cast<int>(got);
}

void CloseAcm(SoundConvertRecord* r) {
  if (r->acmStream) AcmStreamClose(r->acmStream);
  if (r->acmSpare) AcmStreamClose(r->acmSpare);
  r->acmStream = r->acmSpare = nullptr;
  MemFree(r->acmSrcFormat);
  MemFree(r->acmSrcData);
  r->acmSrcFormat = r->acmSrcData = nullptr;
}

int SetupAcmWaveConvert(SoundConvertRecord* r) {
  uint8_t* fmt;
  if (ParseWave(r, &fmt) != 0) return -1;
  r->acmSrcFormat = fmt;
  r->acmSrcFormatSize = r->fmtSize;
  WAVEFORMATEX src;
  ReadFixedFormat(fmt, &src);
  WAVEFORMATEX out{};
  out.wFormatTag = WAVE_FORMAT_PCM;
  if (src.wFormatTag == WAVE_FORMAT_PCM || r->dataSize == 0 ||
      AcmFormatSuggest(fmt, r->fmtSize, &out, ACM_FORMATSUGGESTF_WFORMATTAG) != 0) {
    CloseAcm(r);
    return -1;
  }
  r->outFormat = out;
  r->acmTotalSamples = -1;
  r->acmSrcData = static_cast<uint8_t*>(TK_MALLOC(r->dataSize));
  if (!r->acmSrcData || !ConvertReadAt(r, r->dataPosition, r->acmSrcData, r->dataSize)) {
    CloseAcm(r);
    return -1;
  }
  r->acmSrcSize = r->dataSize;
  if (src.wFormatTag == WAVE_FORMAT_MPEG || src.wFormatTag == WAVE_FORMAT_MPEGLAYER3) {
    // The size is what the frames hold, not what the header's byte rate claims.
    uint32_t first, stop;
    r->acmTotalSamples = WalkMP3Frames(r->acmSrcData, 0, r->acmSrcSize, true, &first, &stop, nullptr);
  }
  r->stream.Seek(r->streamHandle, r->dataPosition, 0);
  r->blockSize = out.nAvgBytesPerSec;
  if (OpenAcmStreams(r) != 0) {
    CloseAcm(r);
    return -1;
  }
  r->kind = SOUNDCONV_KIND_ACM;
  return 0;
}

// One block through the main stream. A piece that uses source but gives nothing yet (a decoder
// that holds frames back) is followed by the next piece; at the end of the source what the decoder
// still holds is drained before the end is reported.
int DecodeAcmBlock(SoundConvertRecord* r) {
  if (!r->acmStream) return 0;
  for (;;) {
    AcmStreamHeader h{};
    h.dst = r->block;
    h.dstLength = r->blockSize;
    if (r->acmSrcOffset >= r->acmSrcSize) {
      if (r->acmFlushed) return 0;
      if (AcmStreamConvert(r->acmStream, &h, ACM_STREAMCONVERTF_END) != 0) {
        r->errorFlag = 1;
        return 0;
      }
      if (h.dstLengthUsed == 0) r->acmFlushed = 1;
      return static_cast<int>(h.dstLengthUsed);
    }
    h.src = r->acmSrcData + r->acmSrcOffset;
    h.srcLength = std::min(kAcmPieceBytes, r->acmSrcSize - r->acmSrcOffset);
    if (AcmStreamConvert(r->acmStream, &h, ACM_STREAMCONVERTF_BLOCKALIGN) != 0) {
      r->errorFlag = 1;
      r->acmSrcOffset = r->acmSrcSize;
      r->acmFlushed = 1;
      return 0;
    }
    r->acmSrcOffset += h.srcLengthUsed;
    if (h.dstLengthUsed) return static_cast<int>(h.dstLengthUsed);
    if (h.srcLengthUsed == 0) r->acmSrcOffset = r->acmSrcSize;  // a partial block at the end
  }
}

void SeekAcmConvert(SoundConvertRecord* r, int64_t target) {
  const int64_t blockStart = r->outputPosition - r->blockOffset;
  const int64_t blockBytes = static_cast<int64_t>(r->blockOffset) + r->blockLeft;
  if (target >= blockStart && target < blockStart + blockBytes) {
    r->blockOffset = static_cast<uint32_t>(target - blockStart);
    r->blockLeft = static_cast<uint32_t>(blockBytes) - r->blockOffset;
    r->outputPosition = target;
    return;
  }
  if (target < r->outputPosition) {
    // Back to the start on the fresh spare stream; the used one is reopened as the next spare.
    AcmStreamClose(r->acmStream);
    r->acmStream = r->acmSpare;
    r->acmSpare = nullptr;
    if (!r->acmStream) AcmStreamOpen(&r->acmStream, r->acmSrcFormat, r->acmSrcFormatSize, &r->outFormat, 0);
    AcmStreamOpen(&r->acmSpare, r->acmSrcFormat, r->acmSrcFormatSize, &r->outFormat,
                  ACM_STREAMOPENF_NONREALTIME);
    r->acmSrcOffset = 0;
    r->acmFlushed = 0;
    r->outputPosition = 0;
  } else {
    r->outputPosition = blockStart + blockBytes;
  }
  r->blockOffset = r->blockLeft = 0;
  for (;;) {
    const int got = DecodeAcmBlock(r);
    if (got <= 0) {
      r->endFlag = 1;
      return;
    }
    if (r->outputPosition + got > target) {
      r->blockOffset = static_cast<uint32_t>(target - r->outputPosition);
      r->blockLeft = static_cast<uint32_t>(got) - r->blockOffset;
      r->outputPosition = target;
      return;
    }
    r->outputPosition += got;
  }
}

int DecodeMemoryBlock(SoundConvertRecord* r) {
  const uint32_t n = std::min(r->blockSize, r->pcmSize - r->pcmOffset);
  if (n == 0) return 0;
  std::memcpy(r->block, r->pcm + r->pcmOffset, n);
  r->pcmOffset += n;
  return static_cast<int>(n);
}

int DecodeBlock(SoundConvertRecord* r) {
  switch (r->kind) {
    case SOUNDCONV_KIND_WAVE: return DecodeWaveBlock(r);
    case SOUNDCONV_KIND_ACM: return DecodeAcmBlock(r);
    case SOUNDCONV_KIND_OGG: return DecodeOggBlock(r);
    case SOUNDCONV_KIND_MEMORY: return DecodeMemoryBlock(r);
    default: return 0;
  }
}

void ReleaseKindState(SoundConvertRecord* r) {
  switch (r->kind) {
    case SOUNDCONV_KIND_ACM: CloseAcm(r); break;
    case SOUNDCONV_KIND_OGG: CloseOggConvert(r); break;
    case SOUNDCONV_KIND_MEMORY:
      MemFree(r->pcm);
      r->pcm = nullptr;
      break;
    default: break;
  }
}

// Allocates the block of a decoder that has been set up; the record is ready after it.
int FinishSetup(SoundConvertRecord* r) {
  if (r->initialized) return 0;
  if (r->blockSize == 0 || r->blockSize > kMaxConvertBlockBytes) {
    ReleaseKindState(r);
    return -1;
  }
  r->block = static_cast<uint8_t*>(TK_MALLOC(r->blockSize));
  if (!r->block) {
    ReleaseKindState(r);
    return -1;
  }
  r->blockLeft = r->blockOffset = 0;
  r->outputPosition = 0;
  r->endFlag = 0;
  r->initialized = 1;
  return 0;
}

}  // namespace

int64_t ConvertStreamLength(SoundConvertRecord* r) {
  if (r->stream.Seek(r->streamHandle, 0, 2) != 0) return -1;
  const int64_t length = r->stream.Tell(r->streamHandle);
  r->stream.Seek(r->streamHandle, 0, 0);
  return length;
}

bool ConvertReadAt(SoundConvertRecord* r, int64_t position, void* buffer, uint32_t bytes) {
  if (r->stream.Seek(r->streamHandle, position, 0) != 0) return false;
  return r->stream.Read(buffer, 1, bytes, r->streamHandle) == bytes;
}

int OpenAcmStreams(SoundConvertRecord* r) {
  if (AcmStreamOpen(&r->acmStream, r->acmSrcFormat, r->acmSrcFormatSize, &r->outFormat,
                    ACM_STREAMOPENF_NONREALTIME) != 0 ||
      AcmStreamOpen(&r->acmSpare, r->acmSrcFormat, r->acmSrcFormatSize, &r->outFormat,
                    ACM_STREAMOPENF_NONREALTIME) != 0) {
    if (r->acmStream) AcmStreamClose(r->acmStream);
    r->acmStream = nullptr;
    return -1;
  }
  // A source block must fit the piece handed over and decode into one output block, or nothing would come out.
  uint32_t srcBlock = 0, dstBlock = 0;
  AcmStreamBlockSizes(r->acmStream, &srcBlock, &dstBlock);
  if (srcBlock > kAcmPieceBytes || dstBlock > r->blockSize) {
    LogPrintf("圧縮音声のブロックが大きすぎて変換できません( %u バイト )", srcBlock);
    AcmStreamClose(r->acmStream);
    AcmStreamClose(r->acmSpare);
    r->acmStream = r->acmSpare = nullptr;
    return -1;
  }
  r->acmSrcOffset = 0;
  r->acmFlushed = 0;
  return 0;
}

int SetupSoundConvert(const SoundLoadSettings* settings, const StreamFunctions* functions, StreamHandle stream,
                      SoundConvertRecord* r) {
  if (!settings || !functions || !r) return -1;
  std::memset(r, 0, sizeof(*r));
  r->stream = *functions;
  r->streamHandle = stream;
  r->vorbisLayer = settings->vorbisLayer;
  r->outputBytesPerSample = settings->outputBytesPerSample;
  r->stream.Seek(stream, 0, 0);

  struct Decoder {
    int maskBit;
    int (*setup)(SoundConvertRecord*);
  };
  const Decoder chain[] = {{SOUNDCONV_MASK_WAVE, SetupWaveConvert},
                           {SOUNDCONV_MASK_ACM, SetupAcmWaveConvert},
                           {SOUNDCONV_MASK_OGG, SetupOggConvert},
                           {SOUNDCONV_MASK_MP3, SetupMP3Convert}};
  bool found = false;
  for (const Decoder& d : chain) {
    if (settings->decoderMask & d.maskBit) continue;
    if (d.setup(r) == 0) {
      found = true;
      break;
    }
    r->stream.Seek(stream, 0, 0);
  }
  if (!found) {
    if (settings->decoderMask & SOUNDCONV_MASK_GRAPH) return -1;
    if (SetupSoundConvert_MP3Graph(r) != 0) return -1;
  }
  return FinishSetup(r);
}

int SetupSoundConvert_PCMMemory(SoundConvertRecord* r, const WAVEFORMATEX* format, uint8_t* pcm, uint32_t size,
                                uint32_t capacity) {
  if (!r || !format || !AudioFormatPlayable(*format) || (size && !pcm)) return -1;
  r->kind = SOUNDCONV_KIND_MEMORY;
  r->outFormat = *format;
  r->outFormat.nAvgBytesPerSec = static_cast<uint32_t>(format->nBlockAlign) * format->nSamplesPerSec;
  r->outFormat.cbSize = 0;
  r->pcm = pcm;
  r->pcmSize = size;
  r->pcmCapacity = capacity;
  r->pcmOffset = 0;
  r->blockSize = r->outFormat.nAvgBytesPerSec;
  return FinishSetup(r);
}

int RunSoundConvert(SoundConvertRecord* r, void* dest, uint32_t bytes) {
  if (!r || !r->initialized) return -1;
  if (r->endFlag) return 0;
  auto* out = static_cast<uint8_t*>(dest);
  uint32_t written = 0;
  while (written < bytes) {
    if (r->blockLeft == 0) {
      const int got = DecodeBlock(r);
      if (got <= 0) {
        r->endFlag = 1;
        break;
      }
      r->blockLeft = static_cast<uint32_t>(got);
      r->blockOffset = 0;
    }
    const uint32_t n = std::min(bytes - written, r->blockLeft);
    std::memcpy(out + written, r->block + r->blockOffset, n);
    written += n;
    r->blockOffset += n;
    r->blockLeft -= n;
    r->outputPosition += n;
  }
  return static_cast<int>(written);
}

int SeekSoundConvert(SoundConvertRecord* r, int64_t sample) {
  if (!r || !r->initialized) return -1;
  if (sample < 0) sample = 0;
  const int64_t target = static_cast<int64_t>(r->outFormat.nBlockAlign) * sample;
  const int64_t distance = target - r->outputPosition;
  if (distance > -16 && distance < 16) return 0;
  switch (r->kind) {
    case SOUNDCONV_KIND_WAVE: {
      const uint32_t offset = static_cast<uint32_t>(std::min<int64_t>(target, r->dataSize));
      r->stream.Seek(r->streamHandle, r->dataPosition + offset, 0);
      r->waveOffset = offset;
      r->blockLeft = r->blockOffset = 0;
      r->outputPosition = offset;
      break;
    }
    case SOUNDCONV_KIND_ACM: SeekAcmConvert(r, target); break;
    case SOUNDCONV_KIND_OGG: SeekOggConvert(r, sample); break;
    case SOUNDCONV_KIND_MEMORY:
      r->pcmOffset = static_cast<uint32_t>(std::min<int64_t>(target, r->pcmSize));
      r->blockLeft = r->blockOffset = 0;
      r->outputPosition = r->pcmOffset;
      break;
    default: break;
  }
  r->endFlag = 0;
  return 0;
}

int64_t GetSoundConvertDestSize(SoundConvertRecord* r) {
  if (!r) return 0;
  switch (r->kind) {
    case SOUNDCONV_KIND_WAVE: return r->dataSize;
    case SOUNDCONV_KIND_ACM: {
      if (r->acmTotalSamples >= 0) return r->acmTotalSamples * r->outFormat.nBlockAlign;
      uint32_t size = 0;
      if (!r->acmStream || AcmStreamSize(r->acmStream, r->acmSrcSize, &size, ACM_STREAMSIZEF_SOURCE) != 0) return 0;
      return size;
    }
    case SOUNDCONV_KIND_OGG: return OggConvertDestSize(r);
    case SOUNDCONV_KIND_MEMORY: return r->pcmSize;
    default: return 0;
  }
}

int TerminateSoundConvert(SoundConvertRecord* r) {
  if (!r || !r->initialized) return -1;
  MemFree(r->block);
  r->block = nullptr;
  ReleaseKindState(r);
  r->initialized = 0;
  return 0;
}

int GetSoundConvertFormat(SoundConvertRecord* r, WAVEFORMATEX* format) {
  if (!r || !format) return -1;
  *format = r->outFormat;
  return 0;
}

int ConvertSoundToPCM(SoundConvertRecord* r, WAVEFORMATEX* format, void** pcm, uint32_t* size) {
  if (!r || !r->initialized || !format || !pcm || !size) return -1;
  *pcm = nullptr;
  *size = 0;
  const int64_t expected = GetSoundConvertDestSize(r);
  if (expected < 0 || expected > 0xFFFFFFFFll) return -1;
  SeekSoundConvert(r, 0);
  // A decoder's size comes from the file (Ogg granule positions, frame counts): it only sets the
  // first block, which grows as the data really decodes.
  const int64_t first = r->kind == SOUNDCONV_KIND_WAVE ? expected : std::min<int64_t>(expected, kFirstDecodeBlock);
  uint32_t capacity = std::max<uint32_t>(static_cast<uint32_t>(first), 1);
  auto* data = static_cast<uint8_t*>(TK_MALLOC(capacity));
  if (!data) return -1;
  uint32_t used = 0;
  if (r->kind == SOUNDCONV_KIND_WAVE) {
    r->stream.Seek(r->streamHandle, r->dataPosition, 0);
    used = static_cast<uint32_t>(r->stream.Read(data, 1, r->dataSize, r->streamHandle));
    // The record stands where the read ended, so a later seek and run see the data, not what follows.
    r->waveOffset = used;
    r->outputPosition = used;
    r->blockLeft = r->blockOffset = 0;
  } else {
    const int64_t here = r->stream.Tell(r->streamHandle);
    const int64_t source = ConvertStreamLength(r);
    r->stream.Seek(r->streamHandle, here, 0);  // a decoder may read on from where it stood
    const uint64_t limit = std::min<uint64_t>(MaxPcmFromSource(uint64_t(std::max<int64_t>(source, 0))), 0xFFFFFFFFu);
    // Decoders may give more than they announced (an estimate) or less (trimmed frames): keep what comes.
    for (;;) {
      const int got = RunSoundConvert(r, data + used, capacity - used);
      if (got < 0) break;
      used += static_cast<uint32_t>(got);
      if (r->endFlag || r->errorFlag || used < capacity) break;
      // Full: grow only when the decoder really has more.
      uint8_t next;
      if (RunSoundConvert(r, &next, 1) != 1) break;
      if (used >= limit) {
        LogPrint("音声ファイルの大きさに比べて変換後のデータが大きすぎます");
        MemFree(data);
        return -1;
      }
      const uint64_t grown = std::min<uint64_t>(limit, static_cast<uint64_t>(capacity) * 3 / 2 + 65536);
      if (grown == capacity) break;
      auto* bigger = static_cast<uint8_t*>(TK_REALLOC(data, static_cast<size_t>(grown)));
      if (!bigger) {
        MemFree(data);
        return -1;
      }
      data = bigger;
      capacity = static_cast<uint32_t>(grown);
      data[used++] = next;
    }
  }
  if (r->errorFlag) {
    MemFree(data);
    return -1;
  }
  // The size was an estimate: only what was decoded is kept.
  if (used < capacity && used > 0) {
    if (auto* fitted = static_cast<uint8_t*>(TK_REALLOC(data, used))) data = fitted;
  }
  *format = r->outFormat;
  *pcm = data;
  *size = used;
  return 0;
}

void WriteWaveHeader(uint8_t* header, const void* format, uint32_t formatSize, uint32_t pcmSize) {
  std::memcpy(header, "RIFF", 4);
  WriteU32(header + 4, static_cast<uint32_t>(20ull + formatSize + pcmSize));
  std::memcpy(header + 8, "WAVEfmt ", 8);
  WriteU32(header + 16, formatSize);
  if (formatSize) std::memcpy(header + 20, format, formatSize);
  std::memcpy(header + 20 + formatSize, "data", 4);
  WriteU32(header + 24 + formatSize, pcmSize);
}

int MakeWaveFileImage(void** image, uint32_t* imageSize, const void* format, uint32_t formatSize, const void* pcm,
                      uint32_t pcmSize) {
  if (!image || !imageSize || !format || (pcmSize && !pcm)) return -1;
  const uint64_t total = 28ull + formatSize + pcmSize;
  if (total > 0xFFFFFFFFull) return -1;
  auto* p = static_cast<uint8_t*>(TK_MALLOC(static_cast<size_t>(total)));
  if (!p) {
    LogPrint("仮WAVEファイルイメージ用のメモリ確保に失敗しました\n");
    return -1;
  }
  WriteWaveHeader(p, format, formatSize, pcmSize);
  if (pcmSize) std::memcpy(p + 28 + formatSize, pcm, pcmSize);
  *image = p;
  *imageSize = static_cast<uint32_t>(total);
  return 0;
}

int ReadStreamToMem(const StreamFunctions* f, StreamHandle stream, void** block, uint32_t* size) {
  if (!f || !block || !size) return -1;
  f->Seek(stream, 0, 2);
  const int64_t length = f->Tell(stream);
  f->Seek(stream, 0, 0);
  if (length < 0 || length > 0xFFFFFFFFll) return -1;
  void* p = TK_MALLOC(std::max<size_t>(static_cast<size_t>(length), 1));
  if (!p) {
    LogPrint("ストリームの読み込みに必要なメモリの確保に失敗しました");
    return -1;
  }
  if (f->Read(p, 1, static_cast<size_t>(length), stream) != static_cast<size_t>(length)) {
    MemFree(p);
    return -1;
  }
  *block = p;
  *size = static_cast<uint32_t>(length);
  return 0;
}
