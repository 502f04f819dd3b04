// Thumbnails of every shape: the size they take, the bitmap's own pixels in
// order, and no picture where a hit has no pixels.

#include "imageio/bitmap_sheet.h"

#include <gtest/gtest.h>

#include "io/file_channels.h"
#include "tools/gauge_builder.h"

namespace {

struct Shape {
  const char* name;
  int32_t width, height;
  QSize thumbnail;
};

class Thumbnails : public testing::TestWithParam<Shape> {};

// Pixel (x, y) is index x * 250 / width + y * 250 / height, capped: a ramp
// along each side, so a thumbnail out of order or sampled past an edge shows.
gaugebuild::Bitmap ramp(int32_t w, int32_t h) {
  gaugebuild::Bitmap b = gaugebuild::patterned(w, h, 0);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      b.pixels[static_cast<size_t>((h - 1 - y) * b.rowBytes() + x)] =
          static_cast<uint8_t>(std::min<int64_t>(250, int64_t{x} * 125 / w + int64_t{y} * 125 / h));
  return b;
}

TEST_P(Thumbnails, KeepTheShapeAndTheOrderOfTheBitmap) {
  const Shape s = GetParam();
  gaugebuild::Gauge g;
  g.filler(30);
  g.plant(ramp(s.width, s.height));
  auto gauge = io::memoryChannel(g.bytes(), "RAMP.GAU");
  const imageio::Sheet sheet = imageio::readSheet(*gauge, imageio::Depths::EightBit);
  ASSERT_EQ(sheet.cells.size(), 1u);
  const Result<QImage> t = imageio::thumbnail(*gauge, sheet.cells[0]);
  ASSERT_TRUE(t) << t.reason();
  ASSERT_EQ(t->size(), s.thumbnail);
  for (int y = 0; y < t->height(); ++y)
    for (int x = 0; x < t->width(); ++x) {
      const int here = t->pixelIndex(x, y);
      EXPECT_GE(here, x > 0 ? t->pixelIndex(x - 1, y) : 0) << x << "," << y;
      EXPECT_GE(here, y > 0 ? t->pixelIndex(x, y - 1) : 0) << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, Thumbnails,
    testing::Values(Shape{"one_pixel", 1, 1, {1, 1}}, Shape{"full_cell", 96, 96, {96, 96}},
                    Shape{"wide", 300, 40, {96, 12}}, Shape{"tall", 10, 500, {1, 96}},
                    Shape{"wider_than_a_row_is_read_whole", 20000, 3, {96, 1}},
                    Shape{"one_past_the_cell", 97, 5, {96, 4}}),
    [](const testing::TestParamInfo<Shape>& i) { return std::string(i.param.name); });

TEST(Thumbnails, AHitWithoutPixelsHasNone) {
  for (const int32_t height : {0, -3}) {
    gaugebuild::Gauge g;
    g.filler(30);
    gaugebuild::Bitmap b = gaugebuild::patterned(4, 1, 2);
    const int32_t pos = g.plant(b);
    g.poke32(pos - 4, height);
    g.filler(64);
    auto gauge = io::memoryChannel(g.bytes(), "FLAT.GAU");
    const imageio::Sheet sheet = imageio::readSheet(*gauge, imageio::Depths::All);
    ASSERT_EQ(sheet.cells.size(), 1u);
    EXPECT_EQ(sheet.cells[0].sizeText(), QStringLiteral("4x%1 2 colours").arg(height));
    const Result<QImage> t = imageio::thumbnail(*gauge, sheet.cells[0]);
    EXPECT_FALSE(t);
    EXPECT_EQ(t.fault(), Fault::Bitmap);
  }
}

}  // namespace
