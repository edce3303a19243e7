// Ogg Vorbis through libvorbisfile, read through the engine's stream of the record.
#include <vorbis/vorbisfile.h>

#include <cstring>

#include "engine/sound/sound_convert_internal.h"
#include "platform/media/ffmpeg/ffmpeg_downmix.h"

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

// Vorbis orders the channels of 3 to 8 otherwise than FFmpeg: plane i of FFmpeg's layout is
// Vorbis channel kVorbisOrder[n - 3][i], as FFmpeg's own Vorbis decoder maps them.
constexpr int kMaxMixedChannels = 8;
constexpr uint8_t kVorbisOrder[6][kMaxMixedChannels] = {
    {0, 2, 1}, {0, 1, 2, 3}, {0, 2, 1, 3, 4}, {0, 2, 1, 5, 3, 4}, {0, 2, 1, 6, 5, 3, 4}, {0, 2, 1, 7, 5, 6, 3, 4},
};
constexpr uint64_t kVorbisLayouts[6] = {
    AV_CH_LAYOUT_SURROUND,     AV_CH_LAYOUT_QUAD,    AV_CH_LAYOUT_5POINT0_BACK,
    AV_CH_LAYOUT_5POINT1_BACK, AV_CH_LAYOUT_6POINT1, AV_CH_LAYOUT_7POINT1,
};

// Sound of more than two channels, decoded as float and mixed down into the block.
int DecodeMixedBlock(SoundConvertRecord* r, int* link) {
  const int channels = r->vorbisChannels;
  const int room = int(r->blockSize / r->outFormat.nBlockAlign);
  float** pcm = nullptr;
  const long n = ov_read_float(r->vorbis, &pcm, room, link);
  if (n <= 0) return int(n);
  vorbis_info* info = ov_info(r->vorbis, *link);
  if (!info || info->channels != channels) return 0;
  const uint8_t* planes[kMaxMixedChannels];
  for (int i = 0; i < channels; ++i) planes[i] = reinterpret_cast<const uint8_t*>(pcm[kVorbisOrder[channels - 3][i]]);
  uint8_t* out = r->block;
  const int made = swr_convert(r->vorbisMix, &out, room, planes, int(n));
  return made < 0 ? OV_EFAULT : made * r->outFormat.nBlockAlign;
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
  const int channels = info->channels > 2 ? 2 : info->channels;
  if (info->channels > 2) {
    // The output takes one or two channels: more are mixed down as other players mix them.
    AVChannelLayout layout;
    if (info->channels <= kMaxMixedChannels &&
        av_channel_layout_from_mask(&layout, kVorbisLayouts[info->channels - 3]) == 0)
      r->vorbisMix = MakeSoundMixer(&layout, AV_SAMPLE_FMT_FLTP, int(info->rate), 2,
                                    bytes == 1 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16, int(info->rate));
    if (!r->vorbisMix) {
      ov_clear(vf);
      MemFree(vf);
      return -1;
    }
  }
  r->vorbis = vf;
  r->vorbisBytesPerSample = bytes;
  r->vorbisChannels = info->channels;
  WAVEFORMATEX& f = r->outFormat;
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = static_cast<uint16_t>(channels);
  f.nSamplesPerSec = static_cast<uint32_t>(info->rate);
  f.wBitsPerSample = static_cast<uint16_t>(bytes * 8);
  f.nBlockAlign = static_cast<uint16_t>(channels * bytes);
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
  for (int holes = 0; holes < kMaxHolesInARow; ++holes) {
    int link = 0;
    long n = r->vorbisMix ? DecodeMixedBlock(r, &link)
                          : ov_read(r->vorbis, reinterpret_cast<char*>(r->block), static_cast<int>(r->blockSize), 0,
                                    bytes, bytes == 1 ? 0 : 1, &link);
    if (n == OV_HOLE) continue;  // a gap in the data: read on
    if (n < 0) {
      r->errorFlag = 1;
      return 0;
    }
    // A chained link of another layout would be read as this one's: the sound ends before it.
    vorbis_info* info = ov_info(r->vorbis, link);
    if (n > 0 && (!info || info->channels != r->vorbisChannels ||
                  static_cast<uint32_t>(info->rate) != r->outFormat.nSamplesPerSec))
      return 0;
    return static_cast<int>(n);
  }
  r->errorFlag = 1;
  return 0;
}

int SeekOggConvert(SoundConvertRecord* r, int64_t sample) {
  if (!r->vorbis) return -1;
  ov_pcm_seek(r->vorbis, sample);
  if (r->vorbisMix) swr_init(r->vorbisMix);  // nothing of the old position stays in it
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
  ov_clear(r->vorbis);
  MemFree(r->vorbis);
  r->vorbis = nullptr;
  swr_free(&r->vorbisMix);
}
