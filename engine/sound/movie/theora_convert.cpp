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

// The picture within the frame, kept inside the planes.
struct Region {
  int x, y, width, height;
};

Region PictureRegion(const TheoraPlanes& p) {
  Region r;
  r.x = p.picX < 0 ? 0 : p.picX < p.yWidth ? p.picX : p.yWidth;
  r.y = p.picY < 0 ? 0 : p.picY < p.yHeight ? p.picY : p.yHeight;
  r.width = p.yWidth - r.x;
  r.height = p.yHeight - r.y;
  if (p.picWidth > 0 && p.picWidth < r.width) r.width = p.picWidth;
  if (p.picHeight > 0 && p.picHeight < r.height) r.height = p.picHeight;
  return r;
}

// Chroma rows and columns are found from frame coordinates, so a picture at an odd offset or of
// an odd size takes the samples its pixels were coded with.
void Planes420ToImage(const TheoraPlanes& p, BaseImage* image) {
  const uint8_t* clamp = YUVTable.Clamp();
  const Region pic = PictureRegion(p);
  const int width = pic.width < image->Width ? pic.width : image->Width;
  const int height = pic.height < image->Height ? pic.height : image->Height;
  for (int y = 0; y < height; ++y) {
    const int fy = pic.y + y;
    const uint8_t* yRow = p.y + ptrdiff_t(fy) * p.yStride + pic.x;
    const uint8_t* uRow = p.u + ptrdiff_t(fy / 2) * p.uvStride;
    const uint8_t* vRow = p.v + ptrdiff_t(fy / 2) * p.uvStride;
    uint8_t* out = static_cast<uint8_t*>(image->Pixels) + size_t(y) * size_t(image->Pitch);
    for (int x = 0; x < width; ++x, out += 4) {
      const int cx = (pic.x + x) / 2;
      const int u = uRow[cx], v = vRow[cx];
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
  const Region pic = PictureRegion(p);
  const int width = pic.width < image->Width ? pic.width : image->Width;
  const int height = pic.height < image->Height ? pic.height : image->Height;
  for (int y = 0; y < height; ++y) {
    const int fy = pic.y + y;
    const int cy = int(int64_t(fy) * p.uvHeight / p.yHeight);
    const uint8_t* yRow = p.y + ptrdiff_t(fy) * p.yStride + pic.x;
    const uint8_t* uRow = p.u + ptrdiff_t(cy) * p.uvStride;
    const uint8_t* vRow = p.v + ptrdiff_t(cy) * p.uvStride;
    uint8_t* out = static_cast<uint8_t*>(image->Pixels) + size_t(y) * size_t(image->Pitch);
    for (int x = 0; x < width; ++x, out += 4) {
      const int cx = int(int64_t(pic.x + x) * p.uvWidth / p.yWidth);
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
  const Region pic = PictureRegion(p);
  // Chroma of a picture at an odd offset starts half a sample early: the layouts cannot say less.
  const int cx = pic.x / 2, cy = pic.y / 2;
  const int cw = (pic.width + 1) / 2, ch = (pic.height + 1) / 2;
  if (fourCC == MakeFourCC('Y', 'V', '1', '2')) {
    const int chromaPitch = pitch / 2;
    uint8_t* vPlane = bits + size_t(pitch) * size_t(pic.height);
    uint8_t* uPlane = vPlane + size_t(chromaPitch) * size_t(ch);
    for (int y = 0; y < pic.height; ++y)
      std::memcpy(bits + size_t(y) * size_t(pitch), p.y + ptrdiff_t(pic.y + y) * p.yStride + pic.x, size_t(pic.width));
    for (int y = 0; y < ch; ++y) {
      const ptrdiff_t from = ptrdiff_t(cy + y) * p.uvStride + cx;
      std::memcpy(vPlane + size_t(y) * size_t(chromaPitch), p.v + from, size_t(cw));
      std::memcpy(uPlane + size_t(y) * size_t(chromaPitch), p.u + from, size_t(cw));
    }
    return true;
  }
  const bool yuy2 = fourCC == MakeFourCC('Y', 'U', 'Y', '2');
  if (!yuy2 && fourCC != MakeFourCC('U', 'Y', 'V', 'Y')) return false;
  // Byte positions of Y0, U, Y1, V in a pixel pair.
  const int y0 = yuy2 ? 0 : 1, u = yuy2 ? 1 : 0, y1 = yuy2 ? 2 : 3, v = yuy2 ? 3 : 2;
  for (int y = 0; y < pic.height; ++y) {
    const int fy = pic.y + y;
    const uint8_t* yRow = p.y + ptrdiff_t(fy) * p.yStride + pic.x;
    const uint8_t* uRow = p.u + ptrdiff_t(fy / 2) * p.uvStride + cx;
    const uint8_t* vRow = p.v + ptrdiff_t(fy / 2) * p.uvStride + cx;
    uint8_t* out = bits + size_t(y) * size_t(pitch);
    for (int x = 0; x < cw; ++x, out += 4) {
      // The second pixel of the last pair of an odd width repeats the first.
      const int second = 2 * x + 1 < pic.width ? 2 * x + 1 : 2 * x;
      out[y0] = yRow[2 * x];
      out[u] = uRow[x];
      out[y1] = yRow[second];
      out[v] = vRow[x];
    }
  }
  return true;
}
