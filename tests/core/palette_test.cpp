// A palette byte is written only into an entry of the bitmap's own palette, inside the file.

#include "gau/palette.h"

#include <gtest/gtest.h>

#include <tuple>

#include "io/file_channels.h"
#include "tools/gauge_builder.h"

TEST(Palette, NothingOutsideThisPaletteIsReadOrWritten) {
  struct Row {
    const char* why;
    int32_t n, storedNow;
    int64_t keep;
    bool failWrites;
  };
  const Row rows[] = {
      {"entry 16 of 16", 16, 16, 0, false}, {"entry -1", -1, 16, 0, false},
      {"count now 300", 20, 300, 0, false}, {"count now -1", 0, -1, 0, false},
      {"count now 257", 0, 257, 0, false},  {"entry past the end", 15, 16, 89, false},
      {"write error", 0, 16, 0, true},
  };
  for (const Row& r : rows) {
    gaugebuild::Gauge g;
    g.filler(30);
    const int32_t pos = g.plant(gaugebuild::patterned(4, 2, 16));
    g.filler(200, 2);  // entries past the palette still lie in the file
    g.poke32(pos + 20, r.storedNow);
    if (r.keep) g.bytes().resize(static_cast<size_t>(pos + r.keep - 1));  // blue of 15 in, red out
    auto gauge = io::memoryChannel(g.bytes());
    gauge->failWrites(r.failWrites);
    EXPECT_FALSE(gau::writeEntryByte(*gauge, pos, r.n, gau::ColorChannel::Red, 7)) << r.why;
    EXPECT_EQ(gauge->bytes(), g.bytes()) << r.why;
    if (r.keep) {
      EXPECT_FALSE(gau::readEntry(*gauge, pos, r.n)) << "display past the end";
    }
    EXPECT_EQ(gauge->readsBeforeStart(), 0);
  }
}

TEST(Palette, DisplayShowsTheEntrysColoursAndSendWritesOneByte) {
  gaugebuild::Gauge g;
  g.filler(30);
  const int32_t pos = g.plant(gaugebuild::patterned(4, 2, 16));
  auto gauge = io::memoryChannel(g.bytes());
  const Result<gau::Entry> e = gau::readEntry(*gauge, pos, 5);
  ASSERT_TRUE(e) << e.reason();
  // patterned() gives entry k the colour red k / 2, green 255 - k, blue k.
  EXPECT_EQ(std::tie(e->red, e->green, e->blue), std::make_tuple(2, 250, 5));
  struct Row {
    gau::ColorChannel channel;
    int offset;
  };
  for (const Row r : {Row{gau::ColorChannel::Blue, 0}, Row{gau::ColorChannel::Green, 1},
                      Row{gau::ColorChannel::Red, 2}}) {
    auto ch = io::memoryChannel(g.bytes());
    ASSERT_TRUE(gau::writeEntryByte(*ch, pos, 3, r.channel, 10));
    auto want = g.bytes();
    want[static_cast<size_t>(pos + 28 + 12 + r.offset - 1)] = 10;
    EXPECT_EQ(ch->bytes(), want) << r.offset;
  }
}
