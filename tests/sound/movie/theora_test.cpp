// The Theora decoder: index, seeks, advancing with wraps and jumps, open failures, YUV surfaces.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "engine/d3d9/graphics.h"
#include "movie_test_util.h"
#include "reference_video.h"

using namespace movietest;

namespace {

const char* const kPagings[] = {"count100.ogv", "count100_many.ogv", "count100_small.ogv", "count100_vorbis.ogv"};

class TheoraDecoder : public ::testing::Test {
 protected:
  void SetUp() override { InitializeYUVToRGBTable(); }
};

}  // namespace

TEST_F(TheoraDecoder, IndexesEveryPagingAlike) {
  std::vector<uint8_t> keys;
  for (const char* name : kPagings) {
    SCOPED_TRACE(name);
    Decoder d(MoviePath(name));
    ASSERT_NE(d.record, nullptr);
    TheoraMovieInfo info;
    TheoraDecode_GetInfo(d.record, &info);
    EXPECT_EQ(info.frameRate, 25.0);
    EXPECT_EQ(info.totalFrames, 100);
    EXPECT_EQ(info.width, 128);
    EXPECT_EQ(info.height, 64);
    // Frame 0 is in the image from the open on.
    EXPECT_EQ(TheoraDecode_GetCurrentFrame(d.record), 0);
    EXPECT_EQ(ImageNumber(TheoraDecode_GetBaseImage(d.record)), 0);
    std::vector<uint8_t> k(d.record->keyFrames, d.record->keyFrames + 100);
    for (int f = 0; f < 100; f += 16) EXPECT_EQ(k[f], 1) << f;
    if (keys.empty()) keys = k;
    EXPECT_EQ(k, keys);  // the same packets, however they are paged
    int64_t counted = 0;
    for (int64_t i = 0; i < d.record->pageCount; ++i) counted += d.record->pages[i].frames;
    EXPECT_EQ(counted, 100);
  }
}

TEST_F(TheoraDecoder, EveryFrameThroughSeeksShowsItsOwnNumber) {
  for (const char* name : kPagings) {
    SCOPED_TRACE(name);
    Decoder d(MoviePath(name));
    ASSERT_NE(d.record, nullptr);
    std::vector<int> order(100);
    for (int i = 0; i < 100; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(42));
    for (int f : order) {
      TheoraDecode_Seek(d.record, f);
      ASSERT_EQ(TheoraDecode_GetCurrentFrame(d.record), f);
      ASSERT_EQ(d.Shown(), f);
    }
  }
}

TEST_F(TheoraDecoder, AdvanceWrapsAndJumpsShowTheirOwnFrames) {
  Decoder d(MoviePath("count100_small.ogv"));
  ASSERT_NE(d.record, nullptr);
  int64_t expected = 0;
  // Frame by frame through two wraps: after a wrap the frames come from a key frame again.
  for (int i = 0; i < 230; ++i) {
    TheoraDecode_AdvanceFrame(d.record, 1);
    expected = (expected + 1) % 100;
    ASSERT_EQ(d.Shown(), expected) << i;
  }
  // Jumps past the stock's window, backwards through the wrap and far ahead.
  for (int64_t step : {3, 11, 57, 99, 1, 64, 97, 13, 250}) {
    TheoraDecode_AdvanceFrame(d.record, step);
    expected = (expected + step) % 100;
    ASSERT_EQ(TheoraDecode_GetCurrentFrame(d.record), expected);
    ASSERT_EQ(d.Shown(), expected) << step;
  }
  TheoraDecode_Seek(d.record, 98);
  TheoraDecode_AdvanceFrame(d.record, 3);
  EXPECT_EQ(TheoraDecode_GetCurrentFrame(d.record), 1);
  EXPECT_EQ(d.Shown(), 1);
  TheoraDecode_AdvanceFrame(d.record, 0);  // nothing for a step below 1
  TheoraDecode_AdvanceFrame(d.record, -4);
  EXPECT_EQ(TheoraDecode_GetCurrentFrame(d.record), 1);
}

TEST_F(TheoraDecoder, SeeksClampToTheMovie) {
  Decoder d(MoviePath("count100.ogv"));
  ASSERT_NE(d.record, nullptr);
  TheoraDecode_Seek(d.record, 40);
  TheoraDecode_Seek(d.record, -5);
  EXPECT_EQ(TheoraDecode_GetCurrentFrame(d.record), 0);
  EXPECT_EQ(d.Shown(), 0);
  TheoraDecode_Seek(d.record, 100000);
  EXPECT_EQ(TheoraDecode_GetCurrentFrame(d.record), 99);
  EXPECT_EQ(d.Shown(), 99);
  // Nothing more to convert until the frame changes.
  EXPECT_EQ(TheoraDecode_ConvertFrame(d.record, 1, 0, 0), 0);
}

TEST_F(TheoraDecoder, FullChromaMovie) {
  Decoder d(MoviePath("count24_444.ogv"));
  ASSERT_NE(d.record, nullptr);
  for (int f = 23; f >= 0; f -= 5) {
    TheoraDecode_Seek(d.record, f);
    EXPECT_EQ(d.Shown(), f);
  }
  ASSERT_TRUE(d.record->stock[0].used.load() || d.record->stock[1].used.load());
  for (int i = 0; i < d.record->stockCount; ++i) {
    if (d.record->stock[i].used.load()) {
      EXPECT_EQ(d.record->stock[i].uvWidth, d.record->stock[i].yWidth);
    }
  }
}

TEST_F(TheoraDecoder, RefusesWhatIsNoTheoraMovie) {
  const std::string junk = ScratchName("junk.bin"), headers = MoviePath("headers_only.ogv");
  WriteWholeFile(junk, std::string(5000, 'x'));
  EXPECT_EQ(Decoder(junk).record, nullptr);
  EXPECT_EQ(Decoder(headers).record, nullptr);  // no frame: nothing to time
  EXPECT_EQ(Decoder(MoviePath("tone.ogg")).record, nullptr);
  const std::string movie = ReadWholeFile(MoviePath("count100.ogv"));
  WriteWholeFile(junk, movie.substr(0, 3000));  // cut inside the headers
  EXPECT_EQ(Decoder(junk).record, nullptr);
  std::remove(junk.c_str());
}

TEST_F(TheoraDecoder, PicturesLargerThanAMovieNeedsAreRefused) {
  // Frames of 32 x 32 under headers that claim other sizes: 4096 x 2304 is the largest picture.
  struct Claim {
    int width, height;
    bool opens;
  };
  const std::string path = ScratchName("claim.ogv");
  for (const Claim c : {Claim{4096, 2304, true}, Claim{4112, 16, false}, Claim{4096, 2320, false},
                        Claim{16384, 4096, false}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    TestMovieSpec shape;
    shape.width = shape.height = 32;
    shape.frames = 8;
    shape.claimWidth = c.width;
    shape.claimHeight = c.height;
    const std::vector<uint8_t> bytes = MakeTestMovie(shape);
    WriteWholeFile(path, std::string(bytes.begin(), bytes.end()));
    Decoder d(path);
    ASSERT_EQ(d.record != nullptr, c.opens);
    if (!c.opens) continue;
    TheoraMovieInfo info;
    TheoraDecode_GetInfo(d.record, &info);
    EXPECT_EQ(info.width, c.width);
    EXPECT_EQ(info.height, c.height);
    // Pictures this large fill 4 entries of the stock of 10 ahead, not all 8 frames.
    while (d.record->threadState.load() != THEORA_THREAD_IDLE) std::this_thread::yield();
    int filled = 0;
    for (int i = 0; i < d.record->stockCount; ++i) filled += d.record->stock[i].y != nullptr;
    EXPECT_EQ(filled, 4);
  }
  std::remove(path.c_str());
}

TEST_F(TheoraDecoder, DamagedFilesStillPlayWhatTheyHold) {
  const std::string movie = ReadWholeFile(MoviePath("count100.ogv"));
  const std::string path = ScratchName("cut.ogv");
  // Cut in the middle of a page: the frames before the cut play.
  WriteWholeFile(path, movie.substr(0, movie.size() / 2 + 77));
  {
    Decoder d(path);
    ASSERT_NE(d.record, nullptr);
    TheoraMovieInfo info;
    TheoraDecode_GetInfo(d.record, &info);
    ASSERT_GT(info.totalFrames, 30);
    ASSERT_LT(info.totalFrames, 100);
    for (int f = info.totalFrames - 1; f >= 0; f -= 7) {
      TheoraDecode_Seek(d.record, f);
      ASSERT_EQ(d.Shown(), f);
    }
  }
  // Junk between pages moves every later page: seeks still land on their frames.
  const size_t at = movie.find("OggS", movie.size() / 3);
  WriteWholeFile(path, movie.substr(0, at) + std::string(333, '\x5A') + movie.substr(at));
  {
    Decoder d(path);
    ASSERT_NE(d.record, nullptr);
    TheoraMovieInfo info;
    TheoraDecode_GetInfo(d.record, &info);
    EXPECT_EQ(info.totalFrames, 100);
    for (int f : {99, 70, 50, 34, 5}) {
      TheoraDecode_Seek(d.record, f);
      ASSERT_EQ(d.Shown(), f);
    }
  }
  std::remove(path.c_str());
}

TEST_F(TheoraDecoder, FramesGoIntoTheOfferedSurface) {
  const uint32_t yv12 = MakeFourCC('Y', 'V', '1', '2'), yuy2 = MakeFourCC('Y', 'U', 'Y', '2'),
                 uyvy = MakeFourCC('U', 'Y', 'V', 'Y');
  {
    Decoder none(MoviePath("count100.ogv"));  // no device: the image alone
    ASSERT_NE(none.record, nullptr);
    EXPECT_EQ(TheoraDecode_GetYV12Surface(none.record), nullptr);
  }
  for (uint32_t fourCC : {yv12, yuy2, uyvy}) {
    const uint32_t offered[] = {fourCC, 0};
    G_D3D_SetMovieSurfaceFormats(offered);
    Decoder d(MoviePath("count100.ogv"));
    ASSERT_NE(d.record, nullptr);
    EXPECT_EQ(d.record->surfaceFourCC, fourCC);
    for (int round = 0; round < 2; ++round) {
      if (round == 1) TheoraDecode_SetSurfaceLost(d.record);  // made again before the next frame
      TheoraDecode_Seek(d.record, 37 + round);
      ASSERT_EQ(TheoraDecode_ConvertFrame(d.record, 1, 1, 0), 1);
      D3DSurface s = TheoraDecode_GetYV12Surface(d.record);
      ASSERT_NE(s, nullptr);
      EXPECT_EQ(d.record->surfaceLost, 0);
      // The surface holds the picture the image was made from: the same pixels through the formulas.
      D3DLockedRect locked{};
      ASSERT_EQ(G_D3D_SurfaceLockRect(s, &locked, nullptr, 0, 0), 0);
      const auto* bits = static_cast<const uint8_t*>(locked.pBits);
      const BaseImage* image = TheoraDecode_GetBaseImage(d.record);
      for (int row = 0; row < 64; row += 3)
        for (int col = 0; col < 128; col += 5) {
          int Y, U, V;
          if (fourCC == yv12) {
            const size_t half = size_t(locked.Pitch / 2);
            const size_t vPlane = size_t(locked.Pitch) * 64, uPlane = vPlane + half * 32;
            Y = bits[size_t(row) * locked.Pitch + col];
            V = bits[vPlane + size_t(row / 2) * half + col / 2];
            U = bits[uPlane + size_t(row / 2) * half + col / 2];
          } else {
            const uint8_t* pair = bits + size_t(row) * locked.Pitch + size_t(col / 2) * 4;
            const bool packedY = fourCC == yuy2;
            Y = pair[packedY ? (col & 1) * 2 : 1 + (col & 1) * 2];
            U = pair[packedY ? 1 : 0];
            V = pair[packedY ? 3 : 2];
          }
          const int l = 19070 * (Y - 16);
          auto c = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
          const uint8_t* px = static_cast<const uint8_t*>(image->Pixels) + size_t(row) * image->Pitch + col * 4;
          ASSERT_EQ(px[2], c((l + 26148 * (V - 128)) / 16384)) << col << "," << row;
          ASSERT_EQ(px[0], c((l + 33062 * (U - 128)) / 16384)) << col << "," << row;
        }
      G_D3D_SurfaceUnlockRect(s, 0);
    }
  }
  G_D3D_SetMovieSurfaceFormats(nullptr);
}

namespace {

// The generator's picture of frame f, as the encoder was given it (even offsets only).
ReferencePicture Constructed(int f, const TestMovieSpec& s) {
  ReferencePicture p;
  p.width = s.width;
  p.height = s.height;
  p.chromaWidth = (s.width + 1) / 2;
  p.chromaHeight = (s.height + 1) / 2;
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) p.y.push_back(TestMovieLuma(f, s.picX + x, s.picY + y));
  for (int y = 0; y < p.chromaHeight; ++y)
    for (int x = 0; x < p.chromaWidth; ++x) {
      p.u.push_back(TestMovieChromaU(f, s.picX + 2 * x, s.picY + 2 * y));
      p.v.push_back(TestMovieChromaV(f, s.picX + 2 * x, s.picY + 2 * y));
    }
  return p;
}

}  // namespace

TEST_F(TheoraDecoder, PicturesShowTheirRegionWithoutPadding) {
  // Sizes that are not whole macroblocks, odd ones, and a picture set in from the frame's corner.
  // FFmpeg's decoder takes no picture narrower than 18 or away from the left edge: those are
  // compared with what the generator drew, within the coding loss.
  struct Shape {
    int width, height, x, y, frames;
    bool ffmpeg;
  };
  const uint32_t offered[] = {MakeFourCC('Y', 'V', '1', '2'), 0};
  G_D3D_SetMovieSurfaceFormats(offered);
  const std::string path = ScratchName("region.ogv");
  for (const Shape s : {Shape{322, 242, 0, 0, 3, true}, Shape{323, 241, 0, 0, 3, true}, Shape{17, 9, 0, 0, 3, false},
                        Shape{34, 20, 4, 2, 3, false}, Shape{1920, 1080, 0, 0, 2, true}}) {
    SCOPED_TRACE(testing::Message() << s.width << "x" << s.height << "+" << s.x << "+" << s.y);
    TestMovieSpec shape;
    shape.width = s.width, shape.height = s.height, shape.picX = s.x, shape.picY = s.y;
    shape.frames = s.frames, shape.quality = 63;
    const std::vector<uint8_t> bytes = MakeTestMovie(shape);
    WriteWholeFile(path, std::string(bytes.begin(), bytes.end()));
    Decoder d(path);
    ASSERT_NE(d.record, nullptr);
    TheoraMovieInfo info;
    TheoraDecode_GetInfo(d.record, &info);
    EXPECT_EQ(info.width, s.width);
    EXPECT_EQ(info.height, s.height);
    const BaseImage* image = TheoraDecode_GetBaseImage(d.record);
    ASSERT_EQ(image->Width, s.width);
    ASSERT_EQ(image->Height, s.height);
    for (int f = s.frames - 1; f >= 0; f -= s.frames - 1) {
      ReferencePicture ref = Constructed(f, shape);
      ASSERT_TRUE(!s.ffmpeg || DecodeReferencePicture(path, f, &ref));
      ASSERT_EQ(ref.width, s.width);
      ASSERT_EQ(ref.height, s.height);
      TheoraDecode_Seek(d.record, f);
      TheoraDecode_ConvertFrame(d.record, 1, 1, 0);
      const double psnr = ref.Psnr(static_cast<const uint8_t*>(image->Pixels), image->Pitch);
      EXPECT_GT(psnr, 30.0) << f;
      if (!s.ffmpeg) continue;
      EXPECT_TRUE(std::isinf(psnr)) << f;  // every byte as FFmpeg decodes it
      // The surface holds the picture's own luma and chroma.
      D3DSurface surface = TheoraDecode_GetYV12Surface(d.record);
      D3DLockedRect locked{};
      ASSERT_EQ(G_D3D_SurfaceLockRect(surface, &locked, nullptr, 0, 0), 0);
      const auto* bits = static_cast<const uint8_t*>(locked.pBits);
      const uint8_t* vPlane = bits + size_t(locked.Pitch) * s.height;
      for (int row = 0; row < s.height; ++row)
        ASSERT_EQ(std::memcmp(bits + size_t(row) * locked.Pitch, &ref.y[size_t(row) * s.width], size_t(s.width)), 0)
            << row;
      for (int row = 0; row < ref.chromaHeight; ++row)
        ASSERT_EQ(std::memcmp(vPlane + size_t(row) * (locked.Pitch / 2), &ref.v[size_t(row) * ref.chromaWidth],
                              size_t(ref.chromaWidth)),
                  0)
            << row;
      G_D3D_SurfaceUnlockRect(surface, 0);
    }
  }
  G_D3D_SetMovieSurfaceFormats(nullptr);
  std::remove(path.c_str());
}
