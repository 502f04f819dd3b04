// What the windows' tests do not reach: odd sizes, the end of the file, refusals, write errors.

#include "gau/transparency.h"

#include <gtest/gtest.h>

#include "io/file_channels.h"
#include "tools/gauge_builder.h"

namespace {

struct Planted {
  std::vector<uint8_t> bytes;
  int32_t pos;
};

// An 8 x 3 bitmap (pixel bytes 1 to 24, so every zero shows) between filler, its
// size fields then set to w x h; `keep` > 0 ends the file at BmpPos + keep - 1.
Planted plant(int32_t w, int32_t h, int32_t colors = 2, int64_t keep = 0) {
  gaugebuild::Gauge g;
  g.filler(40);
  const int32_t pos = g.plant(gaugebuild::patterned(8, 3, colors, 1));
  g.filler(16, 9);
  g.poke32(pos - 8, w);
  g.poke32(pos - 4, h);
  if (keep > 0) g.bytes().resize(static_cast<size_t>(pos + keep - 1));
  return {g.bytes(), pos};
}

}  // namespace

TEST(MakeTransparent, ZeroesThePixelArray) {
  struct Row {
    int32_t w, h;
    int64_t keep, count;
  };                                                       // pixels start at +36
  for (const Row r : {Row{7, -3, 0, 0}, Row{-5, 2, 0, 0},  // no pixels, yet done
                      Row{8, 3, 60, 24}}) {                // the last pixel byte ends the file
    const Planted p = plant(r.w, r.h, 2, r.keep);
    auto gauge = io::memoryChannel(p.bytes);
    const Result<gau::Transparent> res = gau::makeTransparent(*gauge, p.pos);
    EXPECT_TRUE(res) << res.reason();
    auto expected = p.bytes;
    std::fill_n(expected.begin() + p.pos + 35, r.count, 0);
    EXPECT_EQ(gauge->bytes(), expected) << r.w << " x " << r.h << ", " << r.keep;
  }
}

TEST(MakeTransparent, RefusesAndWritesNothing) {
  struct Row {
    const char* why;
    Planted p;
    bool failWrites = false;
    bool failFlushes = false;  // the zeros are written, but DONE must not be reported
  };
  Planted early = plant(4, 2);  // a signature at byte 8: the width would be at byte 0
  early.bytes.erase(early.bytes.begin(), early.bytes.begin() + (early.pos - 8));
  early.pos = 8;
  const Row rows[] = {
      {"size fields before byte 1", early},
      {"length beyond 32 bits", plant(70000, 70000)},
      {"negative length beyond 32 bits", plant(4, INT32_MIN)},
      {"row length beyond 32 bits", plant(INT32_MAX, 1)},
      {"end position beyond 32 bits", plant(4, 536870911)},
      {"colour count not 0 to 256", plant(4, 2, 300)},
      // A false hit: zeroing to the end of the file would wipe what follows.
      {"pixels run past the end", plant(4, 1000, 2, 60)},
      {"pixels start past the end", plant(4, 1000, 2, 30)},
      {"last pixel byte one past the end", plant(8, 3, 2, 59)},
      {"write error", plant(4, 2), true},
      {"flush error", plant(4, 2), false, true},
  };
  for (const Row& r : rows) {
    auto gauge = io::memoryChannel(r.p.bytes);
    gauge->failWrites(r.failWrites);
    gauge->failFlushes(r.failFlushes);
    const Result<gau::Transparent> res = gau::makeTransparent(*gauge, r.p.pos);
    EXPECT_FALSE(res) << r.why;
    if (!r.failFlushes) {
      EXPECT_EQ(gauge->bytes(), r.p.bytes) << r.why;
    }
    EXPECT_EQ(gauge->readsBeforeStart(), 0) << r.why;
  }
}

TEST(MakeZeroTransparent, RefusesEntryZeroCutByTheEndAndWriteErrors) {
  for (const bool cut : {true, false}) {
    const Planted p = plant(5, 2, 2, cut ? 30 : 0);  // cut: blue and green in, red out
    auto gauge = io::memoryChannel(p.bytes);
    gauge->failWrites(!cut);
    EXPECT_FALSE(gau::makeZeroTransparent(*gauge, p.pos));
    EXPECT_EQ(gauge->bytes(), p.bytes);
  }
}
