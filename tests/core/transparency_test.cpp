#include "gau/transparency.h"

#include <gtest/gtest.h>

#include "platform/file_channels.h"
#include "temp_dir.h"
#include "tools/gauge_builder.h"

using gaugebuild::Gauge;

namespace {

struct Planted {
  std::vector<uint8_t> bytes;
  int32_t pos;
};

// An 8 x 3 bitmap (pixel bytes 1 to 24, so every zero shows) between filler,
// its size fields then set to w x h; `keep` > 0 cuts the file to pos + keep - 1 bytes.
Planted plant(int32_t w, int32_t h, int32_t colors, int64_t keep = 0) {
  Gauge g;
  g.filler(40);
  const int32_t pos = g.plant(gaugebuild::patterned(8, 3, colors, 1));
  g.filler(16, 9);
  g.poke32(pos - 8, w);
  g.poke32(pos - 4, h);
  if (keep > 0) g.bytes().resize(static_cast<size_t>(pos + keep - 1));
  return {g.bytes(), pos};
}

std::vector<uint8_t> zeroed(std::vector<uint8_t> b, int64_t first, int64_t count) {
  for (int64_t i = 0; i < count; ++i) b.at(static_cast<size_t>(first - 1 + i)) = 0;
  return b;
}

}  // namespace

TEST(MakeTransparent, ZeroesExactlyThePixelArrayWithinTheFile) {
  struct Row { int32_t w, h, colors; int64_t keep, from, count; };
  const Row rows[] = {
      {8, 3, 0, 0, 1052, 24},  // stored count 0 is 256; +1076 keeps its value
      {5, 2, 16, 0, 92, 16},   // two rows of 5 pixels and 3 padding bytes
      {7, 0, 2, 0, 0, 0},      {7, -3, 2, 0, 0, 0}, {-5, 2, 2, 0, 0, 0},  // no pixels, done
      {4, 1000, 2, 60, 36, 24},  // runs past the end: zeroed to the end, never longer
      {4, 1000, 2, 30, 0, 0},    // starts past the end
  };
  for (const Row& r : rows) {
    const Planted p = plant(r.w, r.h, r.colors, r.keep);
    auto gauge = platform::memoryChannel(p.bytes);
    const gau::TransparentResult res = gau::makeTransparent(*gauge, p.pos);
    EXPECT_TRUE(res) << res.error;
    EXPECT_EQ(res.bytesZeroed, r.count) << r.w << "x" << r.h;
    EXPECT_EQ(gauge->bytes(), zeroed(p.bytes, p.pos + r.from, r.count)) << r.w << "x" << r.h;
  }
}

TEST(MakeTransparent, RefusesAndWritesNothing) {
  struct Row { const char* why; int32_t w, h, colors, pos; };
  const Row rows[] = {
      {"size fields before byte 1", 4, 2, 2, 8},
      {"length beyond 32 bits", 70000, 70000, 2, 0},
      {"negative length beyond 32 bits", 4, INT32_MIN, 2, 0},
      {"row length beyond 32 bits", INT32_MAX, 1, 2, 0},
      {"end position beyond 32 bits", 4, 536870911, 2, 0},
      {"colour count not 0 to 256", 4, 2, 300, 0},
  };
  for (const Row& r : rows) {
    Planted p = plant(r.w, r.h, r.colors);
    if (r.pos) {  // a signature 8 bytes into the file
      p.bytes.erase(p.bytes.begin(), p.bytes.begin() + (p.pos - r.pos));
      p.pos = r.pos;
    }
    auto gauge = platform::memoryChannel(p.bytes);
    const gau::TransparentResult res = gau::makeTransparent(*gauge, p.pos);
    EXPECT_FALSE(res) << r.why;
    EXPECT_NE(res.error.find("Nothing was written"), std::string::npos) << res.error;
    EXPECT_EQ(gauge->bytes(), p.bytes) << r.why;
    EXPECT_EQ(gauge->readsBeforeStart(), 0) << r.why;
  }
}

TEST(MakeTransparent, WriteFailureIsNoSuccess) {
  const Planted p = plant(4, 2, 2);
  auto gauge = platform::memoryChannel(p.bytes);
  gauge->failWrites(true);
  EXPECT_FALSE(gau::makeTransparent(*gauge, p.pos));
  EXPECT_FALSE(gau::makeZeroTransparent(*gauge, p.pos));
}

TEST(MakeZeroTransparent, ChangesOnlyBlueGreenRedOfEntryZeroOnDisk) {
  TempDir dir;
  for (int32_t colors : {0, 2}) {
    const Planted p = plant(5, 2, colors);
    Gauge().raw(p.bytes).writeTo(dir.file("z.gau"));
    std::string why;
    auto gauge = platform::openFileChannel(dir.file("z.gau"), platform::OpenMode::ReadWriteExisting, &why);
    for (int twice = 0; twice < 2; ++twice) {
      EXPECT_TRUE(gau::makeZeroTransparent(*gauge, p.pos));
      EXPECT_EQ(dir.read("z.gau"), zeroed(p.bytes, p.pos + 28, 3)) << colors;
    }
  }
}

TEST(MakeZeroTransparent, RefusesWhenEntryZeroIsCutByTheEnd) {
  Planted p = plant(5, 2, 2);
  p.bytes.resize(static_cast<size_t>(p.pos + 29));  // blue and green present, red missing
  auto gauge = platform::memoryChannel(p.bytes);
  EXPECT_FALSE(gau::makeZeroTransparent(*gauge, p.pos));
  EXPECT_EQ(gauge->bytes(), p.bytes);
}
