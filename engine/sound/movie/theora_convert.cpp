// Movie pictures into 32-bit images and into the device's YUV surfaces.
#include <cstring>

#include "engine/sound/movie/theora_decode.h"

YUVToRGBTables YUVTable;

int InitializeYUVToRGBTable() {
  // 1.164, 1.596, 0.391, 0.813 and 2.018 in units of 1/16384.
  for (int i = 0; i < 256; ++i) {
    YUVTable.Y[i] = 19070 * (i - 16);
    YUVTable.VR[i] = 26148 * (i - 128);
    YUVTable.UG[i] = -6406 * (i - 128);
    YUVTable.VG[i] = -13320 * (i - 128);
    YUVTable.UB[i] = 33062 * (i - 128);
  }
  for (int i = -512; i < 768; ++i) YUVTable.clampStore[i + 512] = uint8_t(i < 0 ? 0 : i > 255 ? 255 : i);
  return 0;
}

namespace {

inline uint8_t ClampFloat(float v) {
  const int i = int(v);  // the planes hold bytes, so v stays within a few hundred
  return uint8_t(i < 0 ? 0 : i > 255 ? 255 : i);
}

void Planes420ToImage(const TheoraPlanes& p, BaseImage* image) {
  const uint8_t* clamp = YUVTable.Clamp();
  const int width = p.yWidth < image->Width ? p.yWidth : image->Width;
  const int height = p.yHeight < image->Height ? p.yHeight : image->Height;
  for (int y = 0; y < height; ++y) {
    const uint8_t* yRow = p.y + ptrdiff_t(y) * p.yStride;
    const uint8_t* uRow = p.u + ptrdiff_t(y / 2) * p.uvStride;
    const uint8_t* vRow = p.v + ptrdiff_t(y / 2) * p.uvStride;
    uint8_t* out = static_cast<uint8_t*>(image->GraphData) + size_t(y) * size_t(image->Pitch);
    for (int x = 0; x < width; ++x, out += 4) {
      const int u = uRow[x / 2], v = vRow[x / 2];
      const int l = YUVTable.Y[yRow[x]];
      out[0] = clamp[(l + YUVTable.UB[u]) / 16384];
      out[1] = clamp[(l + YUVTable.UG[u] + YUVTable.VG[v]) / 16384];
      out[2] = clamp[(l + YUVTable.VR[v]) / 16384];
      out[3] = 255;
    }
  }
}

// Chroma is sampled where the pixel lies in proportion to the plane sizes (4:2:2, 4:4:4).
void PlanesAnyToImage(const TheoraPlanes& p, BaseImage* image) {
  const int width = p.yWidth < image->Width ? p.yWidth : image->Width;
  const int height = p.yHeight < image->Height ? p.yHeight : image->Height;
  for (int y = 0; y < height; ++y) {
    const int cy = int(int64_t(y) * p.uvHeight / p.yHeight);
    const uint8_t* yRow = p.y + ptrdiff_t(y) * p.yStride;
    const uint8_t* uRow = p.u + ptrdiff_t(cy) * p.uvStride;
    const uint8_t* vRow = p.v + ptrdiff_t(cy) * p.uvStride;
    uint8_t* out = static_cast<uint8_t*>(image->GraphData) + size_t(y) * size_t(image->Pitch);
    for (int x = 0; x < width; ++x, out += 4) {
      const int cx = int(int64_t(x) * p.uvWidth / p.yWidth);
      const float yf = float(yRow[x] - 16) * 1.164f;
      const float u = float(uRow[cx] - 128), v = float(vRow[cx] - 128);
      out[0] = ClampFloat(2.018f * u + yf);
      out[1] = ClampFloat(yf - 0.391f * u - 0.813f * v);
      out[2] = ClampFloat(1.596f * v + yf);
      out[3] = 255;
    }
  }
}

bool Is420(const TheoraPlanes& p) { return p.yWidth == p.uvWidth * 2 && p.yHeight == p.uvHeight * 2; }

}  // namespace

void TheoraDecode_PlanesToImage(const TheoraPlanes& planes, BaseImage* image) {
  if (planes.yWidth < 1 || planes.yHeight < 1 || planes.uvWidth < 1 || planes.uvHeight < 1) return;
  if (Is420(planes)) {
    Planes420ToImage(planes, image);
  } else {
    PlanesAnyToImage(planes, image);
  }
}

bool TheoraDecode_PlanesToSurface(const TheoraPlanes& p, uint32_t fourCC, uint8_t* bits, int pitch) {
  if (!Is420(p)) return false;
  if (fourCC == MakeFourCC('Y', 'V', '1', '2')) {
    const int chromaPitch = pitch / 2;
    uint8_t* vPlane = bits + size_t(pitch) * size_t(p.yHeight);
    uint8_t* uPlane = vPlane + size_t(chromaPitch) * size_t(p.uvHeight);
    for (int y = 0; y < p.yHeight; ++y)
      std::memcpy(bits + size_t(y) * size_t(pitch), p.y + ptrdiff_t(y) * p.yStride, size_t(p.yWidth));
    for (int y = 0; y < p.uvHeight; ++y) {
      std::memcpy(vPlane + size_t(y) * size_t(chromaPitch), p.v + ptrdiff_t(y) * p.uvStride, size_t(p.uvWidth));
      std::memcpy(uPlane + size_t(y) * size_t(chromaPitch), p.u + ptrdiff_t(y) * p.uvStride, size_t(p.uvWidth));
    }
    return true;
  }
  const bool yuy2 = fourCC == MakeFourCC('Y', 'U', 'Y', '2');
  if (!yuy2 && fourCC != MakeFourCC('U', 'Y', 'V', 'Y')) return false;
  // Byte positions of Y0, U, Y1, V in a pixel pair.
  const int y0 = yuy2 ? 0 : 1, u = yuy2 ? 1 : 0, y1 = yuy2 ? 2 : 3, v = yuy2 ? 3 : 2;
  for (int y = 0; y < p.yHeight; ++y) {
    const uint8_t* yRow = p.y + ptrdiff_t(y) * p.yStride;
    const uint8_t* uRow = p.u + ptrdiff_t(y / 2) * p.uvStride;
    const uint8_t* vRow = p.v + ptrdiff_t(y / 2) * p.uvStride;
    uint8_t* out = bits + size_t(y) * size_t(pitch);
    for (int x = 0; x < p.uvWidth; ++x, out += 4) {
      out[y0] = yRow[2 * x];
      out[u] = uRow[x];
      out[y1] = yRow[2 * x + 1];
      out[v] = vRow[x];
    }
  }
  return true;
}
