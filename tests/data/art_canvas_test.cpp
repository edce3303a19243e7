// The art generator's canvas: shape coverage, rim shading, outlines, the
// palette and the PNG it writes, checked against hand-worked pixels.
#include <gtest/gtest.h>
#include <png.h>

#include <string>
#include <vector>

// The generator is a tool, not a library: its canvas is compiled in here.
#include "tools/art/canvas.cpp"

namespace {

using art::Canvas;

// Renders a canvas as text: '.' key, '#' the given colour, 'o' outline,
// 'L' / 'B' / 'D' the light, base and dark tone of `ramp`.
std::vector<std::string> text(const Canvas& c, int ramp) {
  std::vector<std::string> rows;
  for (int y = 0; y < c.height(); ++y) {
    std::string r;
    for (int x = 0; x < c.width(); ++x) {
      uint8_t p = c.at(x, y);
      r += p == art::KEY ? '.' : p == art::OUTLINE ? 'o' : p == art::col(ramp, art::LIGHT) ? 'L'
           : p == art::col(ramp, art::BASE) ? 'B' : p == art::col(ramp, art::DARK) ? 'D' : '?';
    }
    rows.push_back(r);
  }
  return rows;
}

TEST(ArtCanvas, ShapesCoverThePixelsWhoseCentresTheyContain) {
  Canvas disc(6, 6);
  disc.disc(3, 3, 2, art::col(art::RED));
  EXPECT_EQ(text(disc, art::RED), (std::vector<std::string>{
      "......", "..BB..", ".BBBB.", ".BBBB.", "..BB..", "......"}));

  Canvas tri(6, 4);  // pixels whose centres lie on the hypotenuse stay out
  tri.poly({{0, 0}, {4, 0}, {0, 4}}, art::col(art::RED));
  EXPECT_EQ(text(tri, art::RED), (std::vector<std::string>{"BBB...", "BB....", "B.....", "......"}));

  Canvas cap(7, 3);  // radius 1 round the segment (1, 1.5)-(5, 1.5), round ends
  cap.capsule(1, 1.5, 5, 1.5, 1.0, art::col(art::RED));
  EXPECT_EQ(text(cap, art::RED), (std::vector<std::string>{".BBBB..", "BBBBBB.", ".BBBB.."}));

  Canvas clipped(3, 3);  // shapes past the edges are cut, not wrapped
  clipped.rect(-2, -2, 4, 4, art::col(art::RED));
  EXPECT_EQ(text(clipped, art::RED), (std::vector<std::string>{"BB.", "BB.", "..."}));
}

TEST(ArtCanvas, ShadingLightsUpperLeftRimsAndOutlinesAddAFourNeighbourRing) {
  Canvas c(5, 5);
  c.rect(1, 1, 3, 3, art::col(art::SKY));
  c.shade();
  EXPECT_EQ(text(c, art::SKY), (std::vector<std::string>{
      ".....", ".LLD.", ".LBD.", ".DDD.", "....."}));
  c.outline();
  EXPECT_EQ(text(c, art::SKY), (std::vector<std::string>{
      ".ooo.", "oLLDo", "oLBDo", "oDDDo", ".ooo."}));

  // Pixels already given a tone keep it.
  Canvas t(3, 1);
  t.rect(0, 0, 3, 1, art::col(art::SKY, art::LIGHT));
  t.shade();
  EXPECT_EQ(text(t, art::SKY), (std::vector<std::string>{"LLL"}));

  // Mirroring and cropping move pixels, never colours.
  Canvas m(3, 1);
  m.set(0, 0, art::col(art::SKY, art::DARK));
  EXPECT_EQ(text(m.mirrored(), art::SKY), (std::vector<std::string>{"..D"}));
  EXPECT_EQ(text(m.crop(0, 0, 2, 1), art::SKY), (std::vector<std::string>{"D."}));
}

TEST(ArtCanvas, PaletteKeepsClearOfTheKeyAndPngsCarryItExactly) {
  for (int i = 1; i < art::PALETTE_SIZE; ++i) {
    art::Rgb p = art::paletteColour(static_cast<uint8_t>(i));
    EXPECT_FALSE(p.r < 64 && p.g > 160 && p.b < 64) << "palette entry " << i;
    EXPECT_FALSE((p.r >> 3) == 0 && (p.g >> 2) == 63 && (p.b >> 3) == 0) << "palette entry " << i;
  }

  Canvas c(2, 2);
  c.set(1, 0, art::col(art::RED));
  c.set(0, 1, art::OUTLINE);
  std::string path = "art_canvas.png";
  art::writePng(c, path);
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&img, path.c_str()));
  EXPECT_EQ(img.format & PNG_FORMAT_FLAG_ALPHA, 0u) << "written without an alpha channel";
  img.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> px(PNG_IMAGE_SIZE(img));
  ASSERT_TRUE(png_image_finish_read(&img, nullptr, px.data(), 0, nullptr));
  EXPECT_EQ(std::vector<uint8_t>(px.begin(), px.begin() + 3), (std::vector<uint8_t>{0, 255, 0}));
  art::Rgb red = art::paletteColour(art::col(art::RED));
  EXPECT_EQ(std::vector<uint8_t>(px.begin() + 3, px.begin() + 6), (std::vector<uint8_t>{red.r, red.g, red.b}));
  EXPECT_EQ(std::vector<uint8_t>(px.begin() + 9, px.begin() + 12), (std::vector<uint8_t>{0, 255, 0}));

  EXPECT_THROW(art::writePng(c, "/nonexistent/dir/x.png"), std::runtime_error);
}

}  // namespace
