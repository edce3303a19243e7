// Loading PNG, JPEG and BMP files into graphs, refusing damaged ones, and screenshots.
#include <array>
#include <climits>
#include <cstdlib>

#include "draw_test_util.h"
#include "engine/draw/baseimage.h"
#include "engine/system/test_hooks.h"

using namespace drawtest;

namespace {

class ImageFiles : public Engine {
 protected:
  std::vector<std::string> files;
  std::string Name(const char* what) {
    files.push_back(ScratchName(what));
    return files.back();
  }
  void TearDown() override {
    for (const std::string& f : files) {
      std::remove(f.c_str());
      std::remove((f + ".tmp").c_str());
    }
    Engine::TearDown();
  }
  int Load(const std::string& path) { return LoadGraph(path.c_str()); }
  int LoadBmp(const BmpLayout& layout, const std::string& what) {
    const std::string p = Name(what.c_str());
    WriteWholeFile(p, BmpBytes(layout));
    return Load(p);
  }
  int Alpha(int g, int x, int y) {
    const MEMIMG* img = GraphImage(g);
    return int((Px(img, x, y) >> (is32() ? 24 : 16)) & 0xFF);
  }
};

// RGB rows of w x h from a function.
std::vector<uint8_t> RgbRows(int w, int h, const std::function<std::array<int, 3>(int, int)>& f) {
  std::vector<uint8_t> v;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c : f(x, y)) v.push_back(uint8_t(c));
  return v;
}

TEST_P(ImageFiles, PngWithoutAlphaKeysThePureGreen) {
  PngSpec s;
  s.width = 5, s.height = 3;
  auto color = [](int x, int y) -> std::array<int, 3> {
    if (x == 0 && y == 0) return {0, 255, 0};
    return {x * 50 + 3, y * 90 + 7, 255 - x * 40};
  };
  s.rows = RgbRows(5, 3, color);
  const std::string path = Name("rgb.png");
  ASSERT_TRUE(WritePng(path, s));
  const int g = Load(path);
  ASSERT_GE(g, 0);
  int w, h;
  GetGraphSize(g, &w, &h);
  EXPECT_EQ(w, 5);
  EXPECT_EQ(h, 3);
  const MEMIMG* img = GraphImage(g);
  EXPECT_EQ(img->Base->UseAlpha, 0);
  EXPECT_EQ(img->Base->UseTransCode, 1);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      const auto c = color(x, y);
      EXPECT_EQ(Color(img, x, y), Rgb(c[0], c[1], c[2])) << x << ", " << y;
    }
  // Drawn with the flag, the green texel leaves the screen as it was.
  MEMIMG* screen = GetScreenMemImg();
  SetPx(screen, 10, 10, Rgb(1, 2, 3));
  DrawGraph(10, 10, g, 1);
  EXPECT_EQ(Px(screen, 10, 10), Rgb(1, 2, 3));
  EXPECT_EQ(Px(screen, 11, 10), Color(img, 1, 0));

  // Grey, 16-bit and paletted files reach the same format.
  PngSpec grey;
  grey.width = 2, grey.height = 1, grey.colorType = PNG_COLOR_TYPE_GRAY, grey.rows = {200, 17};
  PngSpec deep;
  deep.width = 1, deep.height = 1, deep.bitDepth = 16, deep.rows = {0xAB, 0xCD, 0x12, 0x34, 0xFE, 0x01};
  PngSpec pal;
  pal.width = 3, pal.height = 1, pal.colorType = PNG_COLOR_TYPE_PALETTE, pal.rows = {2, 0, 1};
  pal.palette = {{10, 20, 30}, {0, 255, 0}, {250, 128, 64}};
  const std::string a = Name("grey.png"), b = Name("deep.png"), c = Name("pal.png");
  ASSERT_TRUE(WritePng(a, grey));
  ASSERT_TRUE(WritePng(b, deep));
  ASSERT_TRUE(WritePng(c, pal));
  const int ga = Load(a), gb = Load(b), gc = Load(c);
  ASSERT_GE(ga, 0);
  ASSERT_GE(gb, 0);
  ASSERT_GE(gc, 0);
  EXPECT_EQ(Color(GraphImage(ga), 0, 0), Rgb(200, 200, 200));
  EXPECT_EQ(Color(GraphImage(ga), 1, 0), Rgb(17, 17, 17));
  EXPECT_EQ(Color(GraphImage(gb), 0, 0), Rgb(0xAB, 0x12, 0xFE));
  EXPECT_EQ(Color(GraphImage(gc), 0, 0), Rgb(250, 128, 64));
  EXPECT_EQ(Color(GraphImage(gc), 1, 0), Rgb(10, 20, 30));
  EXPECT_EQ(Color(GraphImage(gc), 2, 0), Rgb(0, 255, 0));
  EXPECT_EQ(GraphImage(gc)->Base->UseAlpha, 0);
}

TEST_P(ImageFiles, PngWithAlphaKeepsItsAlpha) {
  PngSpec s;
  s.width = 3, s.height = 1, s.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
  s.rows = {255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 255, 128};
  const std::string path = Name("rgba.png");
  ASSERT_TRUE(WritePng(path, s));
  const int g = Load(path);
  ASSERT_GE(g, 0);
  const MEMIMG* img = GraphImage(g);
  EXPECT_EQ(img->Base->UseAlpha, 1);
  EXPECT_EQ(img->Base->Color->BytesPerPixel, 4);
  EXPECT_EQ(Alpha(g, 0, 0), 0);
  EXPECT_EQ(Alpha(g, 1, 0), 255);
  EXPECT_EQ(Alpha(g, 2, 0), 128);
  EXPECT_EQ(Color(img, 1, 0), Rgb(0, 255, 0));
  EXPECT_EQ(Color(img, 2, 0), Rgb(0, 0, 255));
  // Alpha 0 is skipped, alpha 255 drawn whole even in the key colour.
  MEMIMG* screen = GetScreenMemImg();
  SetPx(screen, 0, 0, Rgb(9, 9, 9));
  DrawGraph(0, 0, g, 1);
  EXPECT_EQ(Px(screen, 0, 0), Rgb(9, 9, 9));
  EXPECT_EQ(Color(screen, 1, 0), Rgb(0, 255, 0));

  // A palette with transparency becomes an alpha image.
  PngSpec pal;
  pal.width = 2, pal.height = 1, pal.colorType = PNG_COLOR_TYPE_PALETTE, pal.rows = {0, 1};
  pal.palette = {{1, 2, 3}, {200, 100, 50}};
  pal.trns = {0, 255};
  const std::string p = Name("trns.png");
  ASSERT_TRUE(WritePng(p, pal));
  const int gp = Load(p);
  ASSERT_GE(gp, 0);
  EXPECT_EQ(GraphImage(gp)->Base->UseAlpha, 1);
  EXPECT_EQ(Alpha(gp, 0, 0), 0);
  EXPECT_EQ(Alpha(gp, 1, 0), 255);
  EXPECT_EQ(Color(GraphImage(gp), 1, 0), Rgb(200, 100, 50));
}

TEST_P(ImageFiles, JpegLoadsCloseToItsColours) {
  const std::string path = Name("flat.jpg");
  ASSERT_TRUE(WriteJpeg(path, 16, 8, RgbRows(16, 8, [](int x, int) -> std::array<int, 3> {
    return x < 8 ? std::array<int, 3>{200, 60, 30} : std::array<int, 3>{20, 90, 220};
  })));
  const int g = Load(path);
  ASSERT_GE(g, 0);
  int w, h;
  GetGraphSize(g, &w, &h);
  EXPECT_EQ(w, 16);
  EXPECT_EQ(h, 8);
  EXPECT_EQ(GraphImage(g)->Base->UseAlpha, 0);
  auto near = [&](uint32_t got, int r, int gg, int b) {
    int gr, ggot, gb;
    if (is32()) {
      gr = int(got >> 16 & 255), ggot = int(got >> 8 & 255), gb = int(got & 255);
    } else {
      gr = int(got >> 11) << 3, ggot = int(got >> 5 & 63) << 2, gb = int(got & 31) << 3;
    }
    return std::abs(gr - r) <= 12 && std::abs(ggot - gg) <= 12 && std::abs(gb - b) <= 12;
  };
  EXPECT_TRUE(near(Color(GraphImage(g), 2, 3), 200, 60, 30));
  EXPECT_TRUE(near(Color(GraphImage(g), 13, 4), 20, 90, 220));
}

TEST_P(ImageFiles, BmpDepthsAndRowOrders) {
  // 2 x 2, 24 bits, bottom-up rows of 6 bytes padded to 8.
  BmpLayout b24;
  b24.width = 2, b24.height = 2;
  b24.pixels = {/* bottom */ 30, 20, 10, 60, 50, 40, 0, 0, /* top */ 0, 255, 0, 255, 255, 255, 0, 0};
  BmpLayout top = b24;
  top.height = -2;
  BmpLayout b8;
  b8.width = 3, b8.height = 1, b8.bits = 8, b8.palette = {0x102030, 0xFF8040};
  b8.pixels = {1, 0, 7, 0};  // index 7 lies past the palette: black
  BmpLayout b4;
  b4.width = 3, b4.height = 1, b4.bits = 4, b4.palette = {0x000000, 0x00FF00, 0xFFFFFF};
  b4.pixels = {0x21, 0x00, 0, 0};
  BmpLayout b1;
  b1.width = 9, b1.height = 1, b1.bits = 1, b1.palette = {0x000000, 0xFFFFFF};
  b1.pixels = {0xA0, 0x80, 0, 0};
  BmpLayout b16;
  b16.width = 1, b16.height = 1, b16.bits = 16;
  b16.pixels = {0x1F, 0x7C, 0, 0};  // 555: red 31, green 0, blue 31
  BmpLayout b32;
  b32.width = 2, b32.height = 1, b32.bits = 32, b32.compression = 6;  // bit fields with alpha
  b32.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  b32.pixels = {10, 20, 30, 0, 40, 50, 60, 255};
  BmpLayout b32z = b32;
  b32z.pixels = {10, 20, 30, 0, 40, 50, 60, 0};  // alpha all zero: opaque

  const int g24 = LoadBmp(b24, "24.bmp"), gtop = LoadBmp(top, "top.bmp"), g8 = LoadBmp(b8, "8.bmp");
  const int g4 = LoadBmp(b4, "4.bmp"), g1 = LoadBmp(b1, "1.bmp"), g16 = LoadBmp(b16, "16.bmp");
  const int g32 = LoadBmp(b32, "32.bmp"), g32z = LoadBmp(b32z, "32z.bmp");
  for (int g : {g24, gtop, g8, g4, g1, g16, g32, g32z}) ASSERT_GE(g, 0);
  EXPECT_EQ(Color(GraphImage(g24), 0, 0), Rgb(0, 255, 0));
  EXPECT_EQ(Color(GraphImage(g24), 1, 0), Rgb(255, 255, 255));
  EXPECT_EQ(Color(GraphImage(g24), 0, 1), Rgb(10, 20, 30));
  EXPECT_EQ(Color(GraphImage(g24), 1, 1), Rgb(40, 50, 60));
  EXPECT_EQ(Color(GraphImage(gtop), 0, 0), Rgb(10, 20, 30));
  EXPECT_EQ(Color(GraphImage(g8), 0, 0), Rgb(0xFF, 0x80, 0x40));
  EXPECT_EQ(Color(GraphImage(g8), 1, 0), Rgb(0x10, 0x20, 0x30));
  EXPECT_EQ(Color(GraphImage(g8), 2, 0), 0u);
  EXPECT_EQ(Color(GraphImage(g4), 0, 0), Rgb(255, 255, 255));
  EXPECT_EQ(Color(GraphImage(g4), 1, 0), Rgb(0, 255, 0));
  EXPECT_EQ(Color(GraphImage(g4), 2, 0), 0u);
  const int bits1[9] = {1, 0, 1, 0, 0, 0, 0, 0, 1};
  for (int x = 0; x < 9; ++x) EXPECT_EQ(Color(GraphImage(g1), x, 0), bits1[x] ? Rgb(255, 255, 255) : 0u) << x;
  EXPECT_EQ(Color(GraphImage(g16), 0, 0), Rgb(255, 0, 255));
  EXPECT_EQ(GraphImage(g32)->Base->UseAlpha, 1);
  EXPECT_EQ(Alpha(g32, 0, 0), 0);
  EXPECT_EQ(Alpha(g32, 1, 0), 255);
  EXPECT_EQ(Color(GraphImage(g32), 1, 0), Rgb(60, 50, 40));
  EXPECT_EQ(GraphImage(g32z)->Base->UseAlpha, 0);
  EXPECT_EQ(Color(GraphImage(g32z), 0, 0), Rgb(30, 20, 10));
}

TEST_P(ImageFiles, RunLengthBmpsEqualTheirPlainTwins) {
  // File rows: runs, odd and even literal runs, deltas within a row and into the next, a row of
  // zeros, zeros left to the row's end and end of bitmap on the last row.
  const std::vector<std::vector<uint8_t>> rows = {
      {5, 5, 5, 5, 1, 2, 3, 0, 0, 0, 7, 8, 9},   {0, 0, 0, 0, 0, 4, 6, 4, 6, 4, 0, 0, 0},
      {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 11, 12}, {3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3},
      {1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1},   {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {0, 0, 9, 9, 9, 9, 15, 14, 13, 12, 0, 0, 0}};
  for (int bits : {8, 4}) {
    for (int32_t height : {7, -7}) {
      auto indices = rows;
      if (bits == 8)
        for (auto& row : indices)
          for (uint8_t& i : row) i = i ? uint8_t(i + 200) : 0;
      BmpLayout plain;
      plain.width = 13, plain.height = height, plain.bits = uint16_t(bits);
      for (uint32_t i = 0; i < (1u << bits); ++i) plain.palette.push_back(i ? (i * 0x9E3779u) & 0xFFFFFF : 0x2040F0);
      plain.pixels = PackedRows(indices, bits);
      BmpLayout rle = plain;
      rle.compression = bits == 8 ? 1 : 2;
      rle.pixels = RleCodes(indices, bits);
      const std::string name = std::to_string(bits) + (height < 0 ? "-top" : "-bottom");
      const int gp = LoadBmp(plain, name + "-plain.bmp"), gr = LoadBmp(rle, name + "-rle.bmp");
      ASSERT_GE(gp, 0) << name;
      ASSERT_GE(gr, 0) << name;
      EXPECT_EQ(Color(GraphImage(gr), 0, height < 0 ? 2 : 4), Rgb(0x20, 0x40, 0xF0)) << name;  // never set
      for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x)
          ASSERT_EQ(Color(GraphImage(gr), x, y), Color(GraphImage(gp), x, y)) << name << " " << x << "," << y;
    }
  }
}

TEST_P(ImageFiles, RunLengthCodesStopAtThePicturesEdges) {
  BmpLayout b;
  b.width = 4, b.height = 3, b.bits = 8, b.compression = 1;
  b.palette = {0x0000FF, 0xFF0000, 0x00FF00, 0xFFFFFF};
  b.pixels = {6, 1, 2, 2, 0, 0,                        // a run past the right edge, then more
              0, 5, 2, 3, 2, 3, 2, 0, 0, 2, 200, 0, 1, 1, 0, 0,  // an absolute run, a delta past it
              0, 2, 1, 0, 1, 3, 0, 2, 0, 5, 5, 1};     // a delta past the last row, then more codes
  const int g = LoadBmp(b, "edges.bmp");
  ASSERT_GE(g, 0);
  const uint32_t B = Rgb(0, 0, 255), R = Rgb(255, 0, 0), G = Rgb(0, 255, 0), W = Rgb(255, 255, 255);
  const uint32_t want[3][4] = {{B, W, B, B}, {G, W, G, W}, {R, R, R, R}};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Color(GraphImage(g), x, y), want[y][x]) << x << "," << y;
}

TEST_P(ImageFiles, DamagedFilesGiveMinusOneAndLeakNothing) {
  // Good files to cut up.
  PngSpec s;
  s.width = 40, s.height = 30;
  s.rows = RgbRows(40, 30, [](int x, int y) -> std::array<int, 3> { return {x * 6, y * 8, (x * y) & 255}; });
  const std::string png = Name("good.png"), jpg = Name("good.jpg");
  ASSERT_TRUE(WritePng(png, s));
  ASSERT_TRUE(WriteJpeg(jpg, 40, 30, s.rows));
  const std::string pngBytes = ReadWholeFile(png), jpgBytes = ReadWholeFile(jpg);
  BmpLayout bmp;
  bmp.width = 4, bmp.height = 4, bmp.pixels.assign(48, 7);
  const std::string bmpBytes = BmpBytes(bmp);

  std::vector<std::pair<const char*, std::string>> bad;
  bad.push_back({"empty", ""});
  bad.push_back({"noise", "this is not an image at all"});
  bad.push_back({"png-cut", pngBytes.substr(0, pngBytes.size() / 2)});
  bad.push_back({"png-header-only", pngBytes.substr(0, 40)});
  std::string crc = pngBytes;
  crc[crc.size() / 2] = char(crc[crc.size() / 2] ^ 0x55);
  bad.push_back({"png-crc", crc});
  bad.push_back({"jpg-cut", jpgBytes.substr(0, jpgBytes.size() / 2)});
  bad.push_back({"jpg-header-only", jpgBytes.substr(0, 20)});
  std::string garbled = jpgBytes;
  for (size_t i = jpgBytes.size() / 2; i < jpgBytes.size() / 2 + 40; ++i) garbled[i] = char(0xFF);
  bad.push_back({"jpg-garbled", garbled});
  bad.push_back({"bmp-cut", bmpBytes.substr(0, bmpBytes.size() - 5)});
  bad.push_back({"bmp-header-cut", bmpBytes.substr(0, 20)});
  BmpLayout huge = bmp;
  huge.width = 100000, huge.height = 100000;
  bad.push_back({"bmp-huge", BmpBytes(huge)});
  BmpLayout most = bmp;
  most.height = INT_MIN;
  bad.push_back({"bmp-int-min", BmpBytes(most)});
  BmpLayout zero = bmp;
  zero.width = 0;
  bad.push_back({"bmp-zero", BmpBytes(zero)});
  BmpLayout rle = bmp;
  rle.bits = 8, rle.compression = 1, rle.palette = {0xFF0000};
  rle.pixels = {4, 0, 0, 0};  // codes end before the picture does
  bad.push_back({"bmp-rle-short", BmpBytes(rle)});
  rle.pixels = {0, 5, 1, 2};  // an absolute run cut
  bad.push_back({"bmp-rle-absolute-cut", BmpBytes(rle)});
  rle.pixels = {0, 2, 1};  // a delta cut
  bad.push_back({"bmp-rle-delta-cut", BmpBytes(rle)});
  rle.pixels = {4, 0, 0, 1}, rle.compression = 2;  // RLE4 codes on 8 bits
  bad.push_back({"bmp-rle-depth", BmpBytes(rle)});
  BmpLayout manyColours = bmp;
  manyColours.bits = 8, manyColours.palette.assign(300, 0);
  bad.push_back({"bmp-palette", BmpBytes(manyColours)});
  BmpLayout mask = bmp;
  mask.bits = 32, mask.compression = 3, mask.masks = {0x00F0F000, 0xFF00, 0xFF};
  mask.pixels.assign(64, 1);
  bad.push_back({"bmp-mask", BmpBytes(mask)});
  std::string header = bmpBytes;
  header[14] = 99;  // unknown info header size
  bad.push_back({"bmp-info", header});

  size_t bytesBefore = 0;
  const int blocksBefore = GetAllocMemoryCount(&bytesBefore);
  const int graphsBefore = GetGraphHandleManager()->count;
  for (const auto& [what, bytes] : bad) {
    const std::string p = Name(what);
    WriteWholeFile(p, bytes);
    EXPECT_EQ(Load(p), -1) << what;
  }
  EXPECT_EQ(Load(Name("missing.png")), -1);
  size_t bytesAfter = 0;
  EXPECT_EQ(GetAllocMemoryCount(&bytesAfter), blocksBefore);
  EXPECT_EQ(bytesAfter, bytesBefore);
  EXPECT_EQ(GetGraphHandleManager()->count, graphsBefore);
  // The untouched files still load.
  EXPECT_GE(Load(png), 0);
  EXPECT_GE(Load(jpg), 0);
}

TEST_P(ImageFiles, PngChunksThatRunPastTheFileAreRefusedBeforeDecoding) {
  // 46 bytes whose sPLT chunk claims 0x77000000 bytes: refused without libpng taking them.
  const char* source = std::getenv("TAMRAK_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  const std::string hostile = ReadWholeFile(std::string(source) + "/fuzz/corpus/image/png-splt-2gb.png");
  ASSERT_EQ(hostile.size(), 46u);
  size_t bytesBefore = 0;
  const int blocksBefore = GetAllocMemoryCount(&bytesBefore);
  BaseImage image;
  int alpha = 0;
  EXPECT_EQ(LoadBaseImageFromMemory(hostile.data(), hostile.size(), &image, &alpha), -1);
  size_t bytesAfter = 0;
  EXPECT_EQ(GetAllocMemoryCount(&bytesAfter), blocksBefore);
  EXPECT_EQ(bytesAfter, bytesBefore);

  // A good file still loads with bytes after its end chunk; its last chunk cut by one byte does not.
  PngSpec s;
  s.width = 3, s.height = 2;
  s.rows = RgbRows(3, 2, [](int x, int y) -> std::array<int, 3> { return {x * 80, y * 90, 7}; });
  const std::string png = Name("chunks.png");
  ASSERT_TRUE(WritePng(png, s));
  const std::string good = ReadWholeFile(png);
  const std::string trailing = good + "trailing bytes";
  ASSERT_EQ(LoadBaseImageFromMemory(trailing.data(), trailing.size(), &image, &alpha), 0);
  ReleaseBaseImage(&image);
  EXPECT_EQ(LoadBaseImageFromMemory(good.data(), good.size() - 1, &image, &alpha), -1);
}

TEST_P(ImageFiles, BigPngsAreHeldOnceWhileTheyBecomeGraphs) {
  // The file, libpng's own blocks and the rows on their way count too.
  PngSpec s;
  s.width = s.height = 4096;
  s.rows = RgbRows(4096, 4096, [](int x, int y) -> std::array<int, 3> { return {x >> 4, y >> 4, (x + y) >> 5}; });
  const std::string path = Name("big.png");
  ASSERT_TRUE(WritePng(path, s));
  size_t before = 0;
  GetAllocMemoryCount(&before);
  TakeAllocMemoryPeak();
  const int g = Load(path);
  ASSERT_GE(g, 0);
  const size_t copy = size_t(4096) * 4096 * (is32() ? 4 : 2);
  EXPECT_LE(TakeAllocMemoryPeak() - before, copy + copy / 10);
  EXPECT_EQ(Color(GraphImage(g), 4095, 1234), Rgb(255, 77, 166));
}

TEST_P(ImageFiles, InterlacedPngsPlaceEveryPass) {
  // Sizes with empty passes, passes of one row or column, and all seven passes full.
  const auto rgba = [](int x, int y) { return std::array<int, 4>{x * 7 + 3, y * 13 + 1, (x * y) & 255, 255 - x - y}; };
  for (const auto& [w, h] : {std::pair{1, 1}, {2, 1}, {1, 5}, {3, 5}, {33, 17}}) {
    PngSpec s;
    s.width = w, s.height = h, s.colorType = PNG_COLOR_TYPE_RGB_ALPHA, s.interlace = PNG_INTERLACE_ADAM7;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c : rgba(x, y)) s.rows.push_back(uint8_t(c));
    const std::string path = Name("interlaced.png");
    ASSERT_TRUE(WritePng(path, s));
    const int g = Load(path);
    ASSERT_GE(g, 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const auto c = rgba(x, y);
        const uint32_t want = Rgb(c[0], c[1], c[2]) | uint32_t(c[3]) << (is32() ? 24 : 16);
        ASSERT_EQ(Px(GraphImage(g), x, y), want) << w << "x" << h << " at " << x << "," << y;
      }
  }
}

TEST_P(ImageFiles, RunLengthBmpsTooShortForTheirSizeAreRefusedBeforeAnyPicture) {
  const char* source = std::getenv("TAMRAK_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  BmpLayout b;
  b.width = b.height = 8192, b.bits = 8, b.compression = 1, b.palette = {0x2040F0, 0xFF8040}, b.pixels = {0, 1};
  // 120 and 1,080 bytes (16 or 256 colours, an end of bitmap): both sit in the corpus. Through
  // LoadGraph the media framework has its look too, in a megabyte; the picture takes 128 MB.
  for (const size_t colours : {16, 256}) {
    b.palette.resize(colours, 0xFF8040);
    const std::string bytes = BmpBytes(b), name = "rle8-8192-end-only-" + std::to_string(colours) + ".bmp";
    EXPECT_EQ(ReadWholeFile(std::string(source) + "/fuzz/corpus/image/" + name), bytes);
    size_t before = 0;
    GetAllocMemoryCount(&before);
    TakeAllocMemoryPeak();
    BaseImage image;
    int alpha = 0;
    EXPECT_EQ(LoadBaseImageFromMemory(bytes.data(), bytes.size(), &image, &alpha), -1);
    EXPECT_EQ(TakeAllocMemoryPeak(), before);
    EXPECT_EQ(LoadBmp(b, name), -1);
    EXPECT_LT(TakeAllocMemoryPeak() - before, size_t(4) << 20);
  }
  // Up to a million pixels an end of bitmap alone still loads, every pixel index 0.
  const uint32_t index0 = Rgb(0x20, 0x40, 0xF0), index1 = Rgb(0xFF, 0x80, 0x40);
  b.width = b.height = 1000;
  const int floor = LoadBmp(b, "floor.bmp");
  EXPECT_TRUE(floor >= 0 && Color(GraphImage(floor), 999, 999) == index0);
  b.width = 1001;
  EXPECT_EQ(LoadBmp(b, "over-floor.bmp"), -1);
  // Above it codes that could cover the picture load, and rows they leave keep index 0: 2000 x
  // 1000 in runs of 250 over the first file rows (the bottom ones), then the end of bitmap.
  const auto rows = [&](int count) {
    b.width = 2000, b.pixels.clear();
    for (int i = 0; i < count * 9; ++i) b.pixels.insert(b.pixels.end(), {uint8_t(i % 9 < 8 ? 250 : 0), i % 9 < 8});
    b.pixels.insert(b.pixels.end(), {0, 1});
  };
  rows(900);
  const int covered = LoadBmp(b, "covered.bmp");
  ASSERT_GE(covered, 0);
  EXPECT_EQ(Color(GraphImage(covered), 1999, 100), index1);
  EXPECT_EQ(Color(GraphImage(covered), 1999, 99), index0);
  rows(870);  // 15,662 bytes: at most 1,996,905 pixels
  EXPECT_EQ(LoadBmp(b, "short.bmp"), -1);
}

TEST_P(ImageFiles, ScreenshotsReadBackExactly) {
  MEMIMG* screen = GetScreenMemImg();
  for (int y = 0; y < kScreenH; ++y)
    for (int x = 0; x < kScreenW; ++x) SetPx(screen, x, y, Rgb(x * 4, y * 5, (x * y) & 255));
  SetPx(screen, 7, 5, Rgb(255, 255, 255));
  const std::string bmp = Name("shot.bmp"), png = Name("shot.png"), jpg = Name("shot.jpg");
  ASSERT_EQ(SaveDrawScreen(4, 3, 20, 13, bmp.c_str(), ImageSaveType::Bmp, 80, 1, -1), 0);
  ASSERT_EQ(SaveDrawScreen(4, 3, 20, 13, png.c_str(), ImageSaveType::Png, 80, 1, 9), 0);
  ASSERT_EQ(SaveDrawScreen(4, 3, 20, 13, jpg.c_str(), ImageSaveType::Jpeg, 95, 0, -1), 0);
  EXPECT_FALSE(Exists(bmp + ".tmp"));
  const std::string head = ReadWholeFile(bmp);
  ASSERT_GE(head.size(), 54u);
  EXPECT_EQ(head.substr(0, 2), "BM");
  EXPECT_EQ(uint8_t(head[28]), 24);
  EXPECT_EQ(head.size(), 54u + 16 * 3 * 10);  // 48-byte rows need no padding
  for (const std::string& file : {bmp, png}) {
    const int g = Load(file);
    ASSERT_GE(g, 0) << file;
    int w, h;
    GetGraphSize(g, &w, &h);
    EXPECT_EQ(w, 16);
    EXPECT_EQ(h, 10);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 16; ++x) ASSERT_EQ(Color(GraphImage(g), x, y), Px(screen, x + 4, y + 3)) << file;
  }
  const int gj = Load(jpg);
  ASSERT_GE(gj, 0);
  int w, h;
  GetGraphSize(gj, &w, &h);
  EXPECT_EQ(w, 16);

  // The rectangle is clipped to the target; nothing of it left is a failure.
  const std::string clipped = Name("clipped.bmp");
  ASSERT_EQ(SaveDrawScreen(60, 40, 100, 100, clipped.c_str()), 0);
  const int gc = Load(clipped);
  GetGraphSize(gc, &w, &h);
  EXPECT_EQ(w, 4);
  EXPECT_EQ(h, 8);
  EXPECT_EQ(SaveDrawScreen(70, 0, 90, 10, Name("outside.bmp").c_str()), -1);
  EXPECT_FALSE(Exists(files.back()));

  // A graph target is what gets saved.
  const int off = MakeSprite(3, 2, [&](int, int) { return Rgb(255, 0, 0); });
  SetDrawTarget(off);
  const std::string red = Name("red.png");
  ASSERT_EQ(SaveDrawScreen(0, 0, 320, 240, red.c_str(), ImageSaveType::Png), 0);
  SetDrawTarget(DrawTarget::BackBuffer);
  const int gr = Load(red);
  GetGraphSize(gr, &w, &h);
  EXPECT_EQ(w, 3);
  EXPECT_EQ(Color(GraphImage(gr), 2, 1), Rgb(255, 0, 0));
}

TEST_P(ImageFiles, FailedScreenshotsLeaveNoFile) {
  const std::string kept = Name("kept.bmp");
  WriteWholeFile(kept, "old contents");
  EXPECT_EQ(SaveDrawScreen(0, 0, 10, 10, kept.c_str(), 7), -1);
  EXPECT_EQ(ReadWholeFile(kept), "old contents");
  const std::string nowhere = "no_such_folder_" + std::to_string(getpid()) + "/shot.bmp";
  EXPECT_EQ(SaveDrawScreen(0, 0, 10, 10, nowhere.c_str()), -1);
  EXPECT_FALSE(Exists(nowhere));
  EXPECT_FALSE(Exists(nowhere + ".tmp"));
  EXPECT_EQ(SaveDrawScreen(0, 0, 10, 10, ""), -1);
  EXPECT_EQ(SaveDrawScreen(0, 0, 10, 10, nullptr), -1);
  // A successful save replaces the old file whole.
  ASSERT_EQ(SaveDrawScreen(0, 0, 10, 10, kept.c_str()), 0);
  EXPECT_EQ(ReadWholeFile(kept).substr(0, 2), "BM");
}

INSTANTIATE_TEST_SUITE_P(Depths, ImageFiles, ::testing::Values(16, 32), BitsName);

}  // namespace
