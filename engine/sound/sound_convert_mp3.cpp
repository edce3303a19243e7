// MP3 data through the compression manager: tags, frame headers and the frame walk.
#include <algorithm>
#include <cstring>

#include "engine/sound/sound_convert_internal.h"
#include "platform/acm/acm.h"
#include "platform/mpeg/mpeg_decode.h"

namespace {

const int kSampleRates[2][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}};

constexpr uint16_t kMpegLayer3IdMpeg = 1;
constexpr uint32_t kMpegLayer3PaddingOn = 1;
constexpr uint32_t kMpegLayer3PaddingOff = 2;
constexpr uint16_t kMpegCodecDelay = 700;

void PutU16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v & 0xFF);
  p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}
void PutU32(uint8_t* p, uint32_t v) {
  PutU16(p, v & 0xFFFF);
  PutU16(p + 2, v >> 16);
}

// A frame the walk can step over: parsed, with a bit rate and a length beyond its header.
bool UsableFrame(const uint8_t* p, MP3FrameInfo* info) {
  return AnalyseMP3FrameHeader(p, info) == 0 && info->bitRate > 0 && info->frameLength > 4;
}

}  // namespace

int AnalyseMP3FrameHeader(const uint8_t h[4], MP3FrameInfo* info) {
  if (!h || !info) return -1;
  if (h[0] != 0xFF || (h[1] & 0xF0) != 0xF0) return -2;
  MP3FrameInfo f{};
  f.mpeg1 = (h[1] & 0x08) ? 1 : 0;
  const int layerCode = (h[1] >> 1) & 3;
  if (layerCode == 0) return -1;
  f.layer = 3 - layerCode;
  f.bitRateIndex = h[2] >> 4;
  if (f.bitRateIndex == 15) return -1;
  f.sampleRateIndex = (h[2] >> 2) & 3;
  if (f.sampleRateIndex == 3) return -1;
  f.padding = (h[2] >> 1) & 1;
  f.channels = (h[3] & 0xC0) == 0xC0 ? 1 : 2;
  f.bitRate = kMpegBitRates[f.mpeg1][f.layer][f.bitRateIndex];
  f.sampleRate = kSampleRates[f.mpeg1][f.sampleRateIndex];
  switch (f.layer) {
    case 0:
      f.frameLength = (12000 * f.bitRate / f.sampleRate + f.padding) * 4;
      f.samplesPerFrame = 384;
      break;
    case 1:
      f.frameLength = 144000 * f.bitRate / f.sampleRate + f.padding;
      f.samplesPerFrame = 1152;
      break;
    default:
      f.frameLength = (f.mpeg1 ? 144000 : 72000) * f.bitRate / f.sampleRate + f.padding;
      f.samplesPerFrame = f.mpeg1 ? 1152 : 576;
      break;
  }
  *info = f;
  return 0;
}

int64_t WalkMP3Frames(const uint8_t* data, uint32_t start, uint32_t end, bool resync, uint32_t* first,
                      uint32_t* stop, MP3FrameInfo* head) {
  auto findSync = [&](uint32_t at) {
    while (at + 1 < end && !(data[at] == 0xFF && (data[at + 1] & 0xF0) == 0xF0)) ++at;
    return at;
  };
  uint32_t pos = findSync(start);
  *first = *stop = pos;
  int64_t samples = 0;
  MP3FrameInfo frame;
  while (pos + 4 <= end) {
    if (UsableFrame(data + pos, &frame) && static_cast<uint32_t>(frame.frameLength) <= end - pos) {
      if (samples == 0) {
        *first = pos;
        if (head) *head = frame;
      }
      samples += frame.samplesPerFrame;
      pos += static_cast<uint32_t>(frame.frameLength);
      *stop = pos;
    } else if (resync) {
      pos = findSync(pos + 1);
    } else {
      break;
    }
  }
  return samples;
}

int SetupMP3Convert(SoundConvertRecord* r) {
  void* whole = nullptr;
  uint32_t length = 0;
  if (ReadStreamToMem(&r->stream, r->streamHandle, &whole, &length) != 0) return -1;
  auto* file = static_cast<uint8_t*>(whole);
  // WAVE and Ogg sources that their own decoders refused are no raw MP3 data.
  if (length < 4 || std::memcmp(file, "RIFF", 4) == 0 || std::memcmp(file, "OggS", 4) == 0) {
    MemFree(file);
    return -1;
  }
  uint32_t start = 0;
  uint32_t end = length;
  // Every ID3v2 tag in front: a second one (a tool that added its own) may hold whole frames.
  while (length - start >= 10 && std::memcmp(file + start, "ID3", 3) == 0) {
    const uint8_t* h = file + start;
    uint32_t tag = (static_cast<uint32_t>(h[6] & 0x7F) << 21) | (static_cast<uint32_t>(h[7] & 0x7F) << 14) |
                   (static_cast<uint32_t>(h[8] & 0x7F) << 7) | static_cast<uint32_t>(h[9] & 0x7F);
    tag += 10;
    if (h[3] == 4 && (h[5] & 0x10)) tag += 10;
    if (tag > length - start) break;
    start += tag;
  }
  if (length > 128 && std::memcmp(file + length - 128, "TAG", 3) == 0) end = length - 128;
  // Frames count only in a run of one format that the decoder reads (0xFF 0xFx alone is common
  // in other data), and so do the frames after a tag or junk between them; MPEG-2.5, which the
  // headers here do not describe, is left to the graph.
  MpegFrames frames;
  if (start >= end || !MpegGatherFrames(file + start, end - start, &frames)) {
    MemFree(file);
    return -1;
  }
  // The gathered frames move to the front of the file image, which becomes the source data: what
  // lay between them (tags, junk) never reaches the decoder.
  const uint32_t first = start + uint32_t(frames.first);
  const uint32_t size = uint32_t(frames.size);
  std::memmove(file, file + start, size);
  MP3FrameInfo head;
  long rate = 0;
  int channels = 0;
  if (AnalyseMP3FrameHeader(file, &head) != 0 || MpegProbeFormat(file, size, &rate, &channels) != 0 ||
      rate != head.sampleRate || channels != head.channels) {
    MemFree(file);
    return -1;
  }
  // A free-format header has no length or bit rate: the first frame as the walk measured it.
  uint32_t bytesPerSecond = uint32_t(head.bitRate) * 1000 / 8;
  if (head.bitRate == 0) {
    head.frameLength = int(frames.firstLength);
    bytesPerSecond = uint32_t(uint64_t(frames.firstLength) * uint32_t(head.sampleRate) / uint32_t(head.samplesPerFrame));
  }

  uint32_t formatSize = 0;
  AcmMetricsMaxFormatSize(&formatSize);
  formatSize = std::max<uint32_t>(formatSize, 30);
  auto* fmt = static_cast<uint8_t*>(TK_CALLOC(formatSize));
  if (!fmt) {
    MemFree(file);
    return -1;
  }
  PutU16(fmt, WAVE_FORMAT_MPEGLAYER3);
  PutU16(fmt + 2, static_cast<uint32_t>(head.channels));
  PutU32(fmt + 4, static_cast<uint32_t>(head.sampleRate));
  PutU32(fmt + 8, bytesPerSecond);
  PutU16(fmt + 12, 1);
  PutU16(fmt + 14, 0);
  PutU16(fmt + 16, 12);
  PutU16(fmt + 18, kMpegLayer3IdMpeg);
  PutU32(fmt + 20, head.padding ? kMpegLayer3PaddingOn : kMpegLayer3PaddingOff);
  PutU16(fmt + 24, static_cast<uint32_t>(head.frameLength));
  PutU16(fmt + 26, 1);
  PutU16(fmt + 28, kMpegCodecDelay);
  r->acmSrcFormat = fmt;
  r->acmSrcFormatSize = 30;

  WAVEFORMATEX out{};
  out.wFormatTag = WAVE_FORMAT_PCM;
  if (AcmFormatSuggest(fmt, 30, &out, ACM_FORMATSUGGESTF_WFORMATTAG) != 0) {
    MemFree(fmt);
    MemFree(file);
    r->acmSrcFormat = nullptr;
    return -1;
  }
  r->outFormat = out;
  r->acmSrcData = file;
  r->acmSrcSize = size;
  r->dataPosition = first;
  r->dataSize = size;
  // What the decoder gives, not frames times their samples: it leaves out the encoder's delay and
  // padding that an info frame states.
  r->acmTotalSamples = MpegCountSamples(file, size);
  if (r->acmTotalSamples < 0) r->acmTotalSamples = frames.samples;
  r->blockSize = out.nAvgBytesPerSec * 4 / 3;
  if (OpenAcmStreams(r) != 0) {
    MemFree(fmt);
    MemFree(file);
    r->acmSrcFormat = r->acmSrcData = nullptr;
    return -1;
  }
  r->kind = SOUNDCONV_KIND_ACM;
  return 0;
}
