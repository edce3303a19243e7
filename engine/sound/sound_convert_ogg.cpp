// Ogg Vorbis through libvorbisfile, read through the engine's stream of the record.
#include <vorbis/vorbisfile.h>

#include <cstring>

#include "engine/sound/sound_convert_internal.h"
#include "platform/media/ffmpeg/ffmpeg_audio_mix.h"

namespace {

constexpr uint32_t kOggBlockBytes = 4096;
constexpr int kMaxHolesInARow = 1024;  // gaps skipped before a stream counts as broken

size_t OggReadCallback(void* ptr, size_t size, size_t count, void* source) {
  auto* r = static_cast<SoundConvertRecord*>(source);
  if (!r) return static_cast<size_t>(-1);
  return r->stream.Read(ptr, size, count, r->streamHandle);
}

int OggSeekCallback(void* source, ogg_int64_t offset, int origin) {
  auto* r = static_cast<SoundConvertRecord*>(source);
  if (!r) return -1;
  return r->stream.Seek(r->streamHandle, offset, origin);
}

int OggCloseCallback(void*) { return 0; }  // the stream stays open: it is the caller's

long OggTellCallback(void* source) {
  auto* r = static_cast<SoundConvertRecord*>(source);
  if (!r) return -1;
  return static_cast<long>(r->stream.Tell(r->streamHandle));
}

}  // namespace

int SetupOggConvert(SoundConvertRecord* r) {
  auto* vf = static_cast<OggVorbis_File*>(TK_CALLOC(sizeof(OggVorbis_File)));
  if (!vf) return -1;
  ov_callbacks callbacks = {OggReadCallback, OggSeekCallback, OggCloseCallback, OggTellCallback};
  if (ov_open_callbacks(r, vf, nullptr, 0, callbacks) < 0) {
    MemFree(vf);
    return -1;
  }
  // Opening a chain leaves the read position after the first link when that link is one
  // page; decoding starts at the start whatever the caller's seeks skip as too small.
  vorbis_info* info = ov_pcm_seek(vf, 0) == 0 ? ov_info(vf, -1) : nullptr;
  if (!info || info->channels < 1 || info->channels > 255 || info->rate < 1 || info->rate > 1000000) {
    ov_clear(vf);
    MemFree(vf);
    return -1;
  }
  const int bytes = r->outputBytesPerSample == 1 ? 1 : 2;
  // Surround plays as stereo, mixed as the graph mixes it; beyond eight channels Vorbis has no layout.
  VorbisMix* mix = info->channels > 2 ? VorbisMixOpen(info->channels, static_cast<int>(info->rate), bytes) : nullptr;
  if (info->channels > 2 && !mix) {
    ov_clear(vf);
    MemFree(vf);
    return -1;
  }
  r->vorbis = vf;
  r->vorbisMix = mix;
  r->vorbisBytesPerSample = bytes;
  WAVEFORMATEX& f = r->outFormat;
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = static_cast<uint16_t>(mix ? 2 : info->channels);
  f.nSamplesPerSec = static_cast<uint32_t>(info->rate);
  f.wBitsPerSample = static_cast<uint16_t>(bytes * 8);
  f.nBlockAlign = static_cast<uint16_t>(f.nChannels * bytes);
  f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
  f.cbSize = 0;
  r->kind = SOUNDCONV_KIND_OGG;
  r->blockSize = kOggBlockBytes;
  const int64_t size = OggConvertDestSize(r);
  r->dataSize = size > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<uint32_t>(size);
  return 0;
}

int DecodeOggBlock(SoundConvertRecord* r) {
  if (!r->vorbis) return 0;
  const int bytes = r->vorbisBytesPerSample;
  const vorbis_info* first = ov_info(r->vorbis, 0);
  for (int holes = 0; holes < kMaxHolesInARow; ++holes) {
    int link = 0;
    long n;
    float** planes = nullptr;
    if (r->vorbisMix)
      n = ov_read_float(r->vorbis, &planes, static_cast<int>(r->blockSize / r->outFormat.nBlockAlign), &link);
    else
      n = ov_read(r->vorbis, reinterpret_cast<char*>(r->block), static_cast<int>(r->blockSize), 0, bytes,
                  bytes == 1 ? 0 : 1, &link);
    if (n == OV_HOLE) continue;  // a gap in the data: read on
    if (n < 0) {
      r->errorFlag = 1;
      return 0;
    }
    // A chained link of another layout would be read as this one's: the sound ends before it.
    vorbis_info* info = ov_info(r->vorbis, link);
    if (n > 0 && (!info || !first || info->channels != first->channels ||
                  static_cast<uint32_t>(info->rate) != r->outFormat.nSamplesPerSec))
      return 0;
    if (r->vorbisMix && n > 0) {
      const int frames = VorbisMixRun(r->vorbisMix, planes, static_cast<int>(n), r->block);
      if (frames < 0) {
        r->errorFlag = 1;
        return 0;
      }
      return frames * r->outFormat.nBlockAlign;
    }
    return static_cast<int>(n);
  }
  r->errorFlag = 1;
  return 0;
}

int SeekOggConvert(SoundConvertRecord* r, int64_t sample) {
  if (!r->vorbis) return -1;
  ov_pcm_seek(r->vorbis, sample);
  r->blockLeft = r->blockOffset = 0;
  r->outputPosition = sample * r->outFormat.nBlockAlign;
  return 0;
}

int64_t OggConvertDestSize(SoundConvertRecord* r) {
  if (!r->vorbis) return 0;
  const ogg_int64_t samples = ov_pcm_total(r->vorbis, -1);
  if (samples <= 0) return 0;
  return static_cast<int64_t>(samples) * r->outFormat.nBlockAlign;
}

void CloseOggConvert(SoundConvertRecord* r) {
  if (!r->vorbis) return;
  VorbisMixClose(r->vorbisMix);
  r->vorbisMix = nullptr;
  ov_clear(r->vorbis);
  MemFree(r->vorbis);
  r->vorbis = nullptr;
}
