// Media types and their format records.
#include <cstring>

#include "platform/media/media.h"

void MediaType::SetFormat(const void* data, size_t size) {
  format.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + (data ? size : 0));
}

bool MediaType::Matches(const MediaType& pattern) const {
  return (pattern.majortype == GUID_NULL || pattern.majortype == majortype) &&
         (pattern.subtype == GUID_NULL || pattern.subtype == subtype) &&
         (pattern.formattype == GUID_NULL || pattern.formattype == formattype);
}

bool MediaType::operator==(const MediaType& o) const {
  return majortype == o.majortype && subtype == o.subtype && formattype == o.formattype && format == o.format;
}

bool MediaType::GetWaveFormat(WAVEFORMATEX* out) const {
  if (formattype != FORMAT_WaveFormatEx || format.size() < 16 || !out) return false;
  *out = WAVEFORMATEX{};
  std::memcpy(out, format.data(), format.size() < kWaveFormatBytes ? 16 : kWaveFormatBytes);
  return true;
}

void MediaType::SetWaveFormat(const WAVEFORMATEX& wf, const void* extra) {
  formattype = FORMAT_WaveFormatEx;
  format.resize(kWaveFormatBytes + (extra ? wf.cbSize : 0));
  WAVEFORMATEX head = wf;
  if (!extra) head.cbSize = 0;
  std::memcpy(format.data(), &head, kWaveFormatBytes);
  if (extra && wf.cbSize) std::memcpy(format.data() + kWaveFormatBytes, extra, wf.cbSize);
}

const VIDEOINFOHEADER* MediaType::VideoInfo() const {
  if (formattype != FORMAT_VideoInfo || format.size() < sizeof(VIDEOINFOHEADER)) return nullptr;
  return reinterpret_cast<const VIDEOINFOHEADER*>(format.data());
}

void MediaType::SetVideoInfo(const VIDEOINFOHEADER& vih) {
  formattype = FORMAT_VideoInfo;
  SetFormat(&vih, sizeof vih);
}

MediaType MakePcmMediaType(const WAVEFORMATEX& wf) {
  MediaType mt(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
  mt.SetWaveFormat(wf);
  mt.lSampleSize = wf.nBlockAlign;
  return mt;
}

MediaType MakeVideoMediaType(const GUID& subtype, int32_t width, int32_t height, uint16_t bitCount,
                             REFERENCE_TIME avgTimePerFrame) {
  MediaType mt(MEDIATYPE_Video, subtype);
  VIDEOINFOHEADER vih{};
  vih.AvgTimePerFrame = avgTimePerFrame;
  BITMAPINFOHEADER& bih = vih.bmiHeader;
  bih.biSize = sizeof(BITMAPINFOHEADER);
  bih.biWidth = width;
  bih.biHeight = height;
  bih.biPlanes = 1;
  bih.biBitCount = bitCount;
  bool rgb = subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_RGB32;
  bih.biCompression = rgb ? 0 : subtype.Data1;
  int64_t absHeight = height < 0 ? -int64_t(height) : height;
  int64_t stride = rgb ? (int64_t(width) * bitCount / 8 + 3) / 4 * 4 : int64_t(width) * bitCount / 8;
  bih.biSizeImage = static_cast<uint32_t>(stride * absHeight);
  vih.rcSource = vih.rcTarget = MediaRect{0, 0, width, static_cast<int32_t>(absHeight)};
  mt.SetVideoInfo(vih);
  mt.lSampleSize = bih.biSizeImage;
  return mt;
}
